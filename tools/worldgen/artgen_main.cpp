// Build step: artgen OUT_DIR [--stamp FILE] writes the light and interface pictures.
#include <string>

#include "bundle_out.h"
#include "generators.h"

int main(int argc, char** argv) {
  std::string dir, stamp;
  if (!BundleOutArgs(argc, argv, "artgen", &dir, &stamp)) return 2;
  return GenerateArt(dir) && BundleOutFinish("artgen", stamp) ? 0 : 1;
}
