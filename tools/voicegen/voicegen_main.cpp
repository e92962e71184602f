// Build step: voicegen <bundle folder> speaks the voice lines into the bundle.
#include "cli/cli.h"
#include "voicegen.h"

int main(int argc, char** argv) {
  const CliProgram cli = {"voicegen", "OUT_DIR", 1, 1, {}, "Speaks the voice lines into OUT_DIR as WAV files.\n"};
  CliArgs args;
  const int parsed = CliParse(cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  if (!CliIsFolder(cli, args.operands[0])) return kExitIoError;
  return SpeakVoiceLines(args.operands[0]) ? 0 : 1;
}
