// Build step: musicgen OUT_DIR [--stamp FILE] writes the dance music into the bundle.
#include <string>

#include "bundle_out.h"
#include "musicgen.h"

int main(int argc, char** argv) {
  std::string dir, stamp;
  if (!BundleOutArgs(argc, argv, "musicgen", &dir, &stamp)) return 2;
  return WriteDanceMusic(dir) && BundleOutFinish("musicgen", stamp) ? 0 : 1;
}
