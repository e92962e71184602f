// Her clips on another humanoid skeleton. Her timeline (every clip of the
// clip table, rig/girl_clips.h) is read from her scene, bone by bone through
// rig/girl_humanoid.h, as world-space turns away from her bind pose; each
// turn is laid on the same humanoid bone of the target after that bone has
// been aimed the way hers points at rest (so a T-pose rest takes her
// hanging arms, an A-pose the same), and turned back into the target's
// local rotations. Bones she lacks (fingers, toes, upper chest) keep their
// rest; bones the target lacks pass their turn on in world space. The hips
// also move as hers do, scaled by the two hips' heights.
//
// A VRM animation (vrm/vrma_file.h) is laid on the same way, its own rest
// pose taking the place of her first frame: only the bones it turns are
// driven (the others are left to whatever else moves them), and the hips
// move only when it moves them.
//
// Called by the conversion (vrm/vrm_convert) and the dances the user adds
// (dance/), with the target already in her world: her units, facing +Z,
// standing on her ground.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scene/ModelPOD.h"
#include "vrm/vrm_math.h"

namespace vrm {

struct RetargetTarget {
  std::vector<int> parent;              // every node's parent, -1 for a root
  std::vector<Transform> rest;          // every node's local placement at rest
  std::map<std::string, int> humanoid;  // bone (VRM 1.0 spelling) -> node
};

struct RetargetedClips {
  std::map<int, std::vector<Quat>> rotations;  // driven node -> its local rotation each frame
  int hips = -1;                               // the node that also moves
  std::vector<Vec3> hipsPositions;             // its local translation each frame
};

// As many frames as `clips` has. False, with `reason`, when her scene
// lacks her hips. `clips` is left at frame 0.
bool Retarget(CPODScene& clips, const RetargetTarget& target, RetargetedClips* out, std::string* reason);

struct Animation;
// `animation` sampled `fps` times a second from 0 to its duration, both
// ends included. False, with `reason`, when there is nothing to sample.
bool RetargetVrma(const Animation& animation, const RetargetTarget& target, double fps, RetargetedClips* out,
                  std::string* reason);

}  // namespace vrm
