// Writes the seed corpus of the scene reader's fuzz target: scenes of our own
// kind in each shape the writer makes.
#include <cstdio>
#include <string>

#include "scene/scene_fixtures.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pod_seed DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  int k = 0;
  for (int variant = 0; variant < 4; ++variant) {
    CPODScene s;
    BuildTestScene(s, variant == 1);
    s.InitImpl();
    PODWriteOptions opt;
    if (variant == 2) opt.staticTransforms = true;
    if (variant == 3) {
      ModelPODToggleFixedPoint(s);
      opt.exportOptions = "exported by our tools";
      opt.exportOptionsLength = 21;
    }
    std::vector<uint8_t> bytes;
    PODWriteToBuffer(s, bytes, opt);
    WriteFileBytes(dir + "/seed" + std::to_string(k++) + ".pod", bytes);
    if (variant == 3) ModelPODToggleFixedPoint(s);
  }
  Blocks minimal;
  minimal.version().begin(1001).u32(2005, 0).end(1001);
  WriteFileBytes(dir + "/minimal.pod", minimal.b);
  return 0;
}
