// Build step: artgen <bundle folder> writes the light and interface pictures.
#include "cli/cli.h"
#include "generators.h"

int main(int argc, char** argv) {
  const CliProgram cli = {"artgen", "OUT_DIR", 1, 1, {}, "Writes the light and interface pictures into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = CliParse(cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  if (!CliIsFolder(cli, args.operands[0])) return kExitIoError;
  return GenerateArt(args.operands[0]) ? 0 : 1;
}
