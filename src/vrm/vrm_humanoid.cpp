#include "vrm/vrm_humanoid.h"

#include <cstring>

namespace vrm {

#define FINGER(side, f)                                               \
  {side #f "Proximal", false, {side #f "Intermediate", nullptr}},     \
      {side #f "Intermediate", false, {side #f "Distal", nullptr}}, { \
    side #f "Distal", false, { nullptr }                              \
  }
#define SIDE(side)                                                                                                  \
  {side "Shoulder", false, {side "UpperArm", nullptr}}, {side "UpperArm", true, {side "LowerArm", nullptr}},        \
      {side "LowerArm", true, {side "Hand", nullptr}},                                                              \
      {side "Hand", true, {side "MiddleProximal", side "IndexProximal", nullptr}},                                  \
      {side "UpperLeg", true, {side "LowerLeg", nullptr}}, {side "LowerLeg", true, {side "Foot", nullptr}},         \
      {side "Foot", true, {side "Toes", nullptr}}, {side "Toes", false, {nullptr}}, {side "Eye", false, {nullptr}}, \
      {side "ThumbMetacarpal", false, {side "ThumbProximal", nullptr}},                                             \
      {side "ThumbProximal", false, {side "ThumbDistal", nullptr}}, {side "ThumbDistal", false, {nullptr}},         \
      FINGER(side, Index), FINGER(side, Middle), FINGER(side, Ring), FINGER(side, Little)

const HumanBoneInfo kHumanBones[] = {
    {"hips", true, {"spine", nullptr}},
    {"spine", true, {"chest", "upperChest", "neck", "head", nullptr}},
    {"chest", false, {"upperChest", "neck", "head", nullptr}},
    {"upperChest", false, {"neck", "head", nullptr}},
    {"neck", false, {"head", nullptr}},
    {"head", true, {nullptr}},
    {"jaw", false, {nullptr}},
    SIDE("left"),
    SIDE("right"),
};
const int kHumanBoneCount = sizeof kHumanBones / sizeof kHumanBones[0];

#undef SIDE
#undef FINGER

int HumanBoneIndex(const std::string& name) {
  for (int i = 0; i < kHumanBoneCount; ++i)
    if (name == kHumanBones[i].name) return i;
  return -1;
}

std::string HumanBoneFrom0x(const std::string& name) {
  for (const char* side : {"left", "right"}) {
    const std::string s = side;
    if (name == s + "ThumbProximal") return s + "ThumbMetacarpal";
    if (name == s + "ThumbIntermediate") return s + "ThumbProximal";
  }
  return name;
}

}  // namespace vrm
