// The humanoid bones a VRM file maps onto its nodes: their names (VRM 1.0
// spelling; VRM 0.x names its thumbs one joint further out), which ones a
// file must have, and for the retargeting (vrm/vrm_retarget) which bone
// each one points at in its rest pose. Read by the file reader, which checks
// a file's map against it, and by the retargeting.
#pragma once

#include <string>

namespace vrm {

struct HumanBoneInfo {
  const char* name;
  bool required;
  // The bones this one points at, nearest first: its direction is from its
  // joint to the first of them both skeletons have. Null-terminated.
  const char* tips[5];
};

extern const HumanBoneInfo kHumanBones[];
extern const int kHumanBoneCount;

// Index into kHumanBones, -1 for a name that is no humanoid bone.
int HumanBoneIndex(const std::string& name);
// A VRM 0.x bone name in VRM 1.0 spelling ("leftThumbProximal" is
// "leftThumbMetacarpal", "leftThumbIntermediate" "leftThumbProximal").
std::string HumanBoneFrom0x(const std::string& name);

}  // namespace vrm
