// Build step: voicegen OUT_DIR [--stamp FILE] [--captions TABLE] speaks the
// captions table's lines into the bundle.
#include "bundle_out.h"
#include "voicegen.h"

int main(int argc, char** argv) {
  CliProgram cli = {"voicegen",
                    "",
                    0,
                    0,
                    {{"--captions", "TABLE", "the captions table to speak"}},
                    "Speaks the voice lines into OUT_DIR as WAV files.\n"};
  CliArgs args;
  const int parsed = BundleOutArgs(&cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const int spoken = SpeakVoiceLines(args.operands[0], args.Value("--captions", OVANTA_CAPTIONS_SOURCE));
  if (spoken != 0) return spoken;
  return BundleOutFinish("voicegen", args.Value("--stamp")) ? 0 : 1;
}
