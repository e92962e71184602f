// Writes the seed corpus of vrm_fuzz: the test kit's small humanoids in
// both versions and every rest-pose variant.
#include <cstdio>
#include <string>

#include "kit/temp_dir.h"
#include "kit/vrm_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vrm_seed CORPUS_DIR\n");
    return 64;
  }
  int n = 0;
  for (vrm::Version v : {vrm::Version::k1, vrm::Version::k0x})
    for (int variant = 0; variant < 4; ++variant) {
      testkit::TinyVrmShape shape;
      shape.version = v;
      shape.aPose = variant & 1;
      shape.restRotations = variant & 2;
      shape.optionalBones = variant != 3;
      const std::string path = std::string(argv[1]) + "/tiny" + std::to_string(n++) + ".vrm";
      if (!testkit::WriteFileBytes(path, testkit::TinyVrm(shape).Finish())) return 1;
    }
  return 0;
}
