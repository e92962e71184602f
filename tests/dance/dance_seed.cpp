// Writes the seed corpus of dance_fuzz: the test kit's small VRM animations
// (a few bones, every bone with the hips moving, each interpolation).
#include <cstdio>
#include <string>
#include <vector>

#include "kit/temp_dir.h"
#include "kit/vrm_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dance_seed CORPUS_DIR\n");
    return 64;
  }
  const std::vector<std::string> all = {"hips", "spine",        "chest",         "neck",
                                        "head", "leftUpperArm", "rightUpperArm", "leftLowerLeg"};
  int n = 0;
  for (const char* interpolation : {"LINEAR", "STEP", "CUBICSPLINE"})
    for (int variant = 0; variant < 2; ++variant) {
      vrm::GlbBuilder g = testkit::TinyVrma(variant ? all : std::vector<std::string>{"head"}, 45, variant ? 0.1 : 0);
      if (std::string(interpolation) == "CUBICSPLINE") {
        // Three values a key: in-tangent, value, out-tangent.
        nlohmann::json& s = g.json["animations"][0]["samplers"][0];
        s["output"] = g.Floats({0,     0,     0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,    0,    0, 0, 0, 0,
                                0.38f, 0.92f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.7f, 0.7f, 0, 0, 0, 0},
                               "VEC4");
      }
      g.json["animations"][0]["samplers"][0]["interpolation"] = interpolation;
      const std::string path = std::string(argv[1]) + "/tiny" + std::to_string(n++) + ".vrma";
      if (!testkit::WriteFileBytes(path, g.Finish())) return 1;
    }
  return 0;
}
