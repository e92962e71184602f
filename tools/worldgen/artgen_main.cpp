// Build step: artgen OUT_DIR [--stamp FILE] writes the light and interface pictures.
#include "bundle_out.h"
#include "generators.h"

int main(int argc, char** argv) {
  CliProgram cli = {"artgen", "", 0, 0, {}, "Writes the light and interface pictures into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = BundleOutArgs(&cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  return GenerateArt(args.operands[0]) && BundleOutFinish("artgen", args.Value("--stamp")) ? 0 : 1;
}
