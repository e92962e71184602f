// Build step: worldgen <bundle folder> writes the backdrops and their textures.
#include "cli/cli.h"
#include "generators.h"

int main(int argc, char** argv) {
  const CliProgram cli = {"worldgen", "OUT_DIR", 1, 1, {}, "Writes the backdrops and their textures into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = CliParse(cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  if (!CliIsFolder(cli, args.operands[0])) return kExitIoError;
  return GenerateBackdrops(args.operands[0]) ? 0 : 1;
}
