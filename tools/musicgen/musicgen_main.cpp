// Build step: musicgen OUT_DIR [--stamp FILE] writes the dance music into the bundle.
#include "bundle_out.h"
#include "musicgen.h"

int main(int argc, char** argv) {
  CliProgram cli = {"musicgen", "", 0, 0, {}, "Writes the dance music into OUT_DIR.\n"};
  CliArgs args;
  const int parsed = BundleOutArgs(&cli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  return WriteDanceMusic(args.operands[0]) && BundleOutFinish("musicgen", args.Value("--stamp")) ? 0 : 1;
}
