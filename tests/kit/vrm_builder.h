// Small VRM files built in code for the importer's tests, fuzz seeds and
// benchmarks (no file made by anyone else is used): a humanoid of boxes.
#pragma once

#include <string>
#include <vector>

#include "scene/ModelPOD.h"
#include "vrm/glb_write.h"

namespace testkit {

struct TinyVrmShape {
  vrm::Version version = vrm::Version::k1;  // 0.x faces -Z, 1.0 +Z
  bool aPose = false;                       // arms 40 degrees below level, else straight out
  bool restRotations = false;  // every bone's node turned (its children placed to match), as 0.x files may be
  bool optionalBones = true;   // chest, neck, shoulders, toes, eyes; else the required bones only
  double metres = 1.0;         // the whole figure scaled (1: 1.7 m tall)
};

// The humanoid: hips, spine, (chest), (neck), head and the limbs, a box
// around each bone skinned to it alone (one mesh, one skin, material 0
// with a 4x4 picture), and a hat: a rigid mesh on the head node (material
// 1, plain red) with one morph target that raises its top. Tests change
// the builder's json before Finish to make the cases they need.
vrm::GlbBuilder TinyVrm(const TinyVrmShape& shape = {});

// The node index of a humanoid bone in TinyVrm's file, -1 when not there.
int TinyVrmNode(const vrm::GlbBuilder& file, const std::string& bone);

// A small VRM animation: a humanoid (hips, spine, chest, neck, head, arms
// and legs) standing 1.7 m tall at rest with every node unturned, in which
// each bone of `turned` turns by `degrees` about the z axis over one second
// (keys at 0, 0.5 and 1 s) and the hips rise by `hipsRise` metres (no
// hips translation track when 0). The first animation; tests change the
// json before Finish for the cases they need.
vrm::GlbBuilder TinyVrma(const std::vector<std::string>& turned, double degrees = 60, double hipsRise = 0);

// A stand-in for her scene where the bundle is not at hand (the fuzz
// target): her humanoid bones by her names (rig/girl_humanoid.h) in a
// chain of her proportions, each turning a little over 4 frames, and a
// flat mesh of her height. Complete (InitImpl has run).
void BuildHerStandIn(CPODScene& s);

}  // namespace testkit
