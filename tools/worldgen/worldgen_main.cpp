// Build step: worldgen OUT_DIR [--stamp FILE] writes the backdrops and their textures.
#include "bundle_out.h"
#include "generators.h"

int main(int argc, char** argv) {
  CliProgram cli = {"worldgen", "", 0, 0, {}, "Writes the backdrops and their textures into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = BundleOutArgs(&cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  return GenerateBackdrops(args.operands[0]) && BundleOutFinish("worldgen", args.Value("--stamp")) ? 0 : 1;
}
