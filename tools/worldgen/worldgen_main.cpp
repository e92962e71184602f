// Build step: worldgen OUT_DIR [--stamp FILE] writes the backdrops and their textures.
#include <string>

#include "bundle_out.h"
#include "generators.h"

int main(int argc, char** argv) {
  std::string dir, stamp;
  if (!BundleOutArgs(argc, argv, "worldgen", &dir, &stamp)) return 2;
  return GenerateBackdrops(dir) && BundleOutFinish("worldgen", stamp) ? 0 : 1;
}
