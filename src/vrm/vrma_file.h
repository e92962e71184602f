// Reading a VRM animation (a glTF binary with VRMC_vrm_animation: a
// humanoid bone -> node map and an animation of those nodes) from memory
// into a plain record, checked through like a VRM file (vrm/vrm_file.h):
// after a successful read every track names a mapped bone, its times rise,
// its values are finite and as many as its times ask, and the limits hold;
// anything else is refused with one short reason.
//
// Kept of the file: the nodes at rest, the humanoid map, the rotation of
// every mapped bone that has one, the hips' translation, the expression
// weights (an expression node's x translation) and the look-at node's
// rotation. The retargeting (vrm/vrm_retarget) turns it into a character's
// local rotations; the dances the user adds (dance/) read files through
// here, and so does the fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vrm/vrm_file.h"
#include "vrm/vrm_math.h"

namespace vrm {

// What an animation may hold at most.
constexpr uint64_t kMaxAnimationBytes = 64ull << 20;
constexpr double kMaxAnimationSeconds = 300;
constexpr uint64_t kMaxAnimationKeys = 2000000;  // all tracks' keys together
constexpr size_t kMaxAnimationNodes = 1024;

enum class Interpolation { kLinear, kStep, kCubic };

// Keyframes of one value: `width` numbers a key (4 a rotation, x y z w;
// 3 a translation; 1 a weight). A cubic spline keeps glTF's three values a
// key (in-tangent, value, out-tangent).
struct Track {
  std::vector<float> times;  // seconds, never falling
  std::vector<float> values;
  int width = 0;
  Interpolation interpolation = Interpolation::kLinear;
  bool empty() const { return times.empty(); }
};

struct Animation {
  std::vector<Node> nodes;                   // at rest; parents and children checked
  std::map<std::string, int> humanoid;       // bone (VRM 1.0 spelling) -> node
  std::map<std::string, Track> rotations;    // humanoid bone -> its local rotation
  Track hipsTranslation;                     // the hips' local translation, or empty
  std::map<std::string, Track> expressions;  // preset or custom name -> weight 0..1
  Track lookAt;                              // the look-at node's local rotation, or empty
  double duration = 0;                       // seconds: the last key of any track
};

// Reads `size` bytes at `data`. False with `reason` set ("not a glTF
// binary file", "not a VRM animation: ...", "inconsistent: ...").
bool ReadVrma(const uint8_t* data, size_t size, Animation* out, std::string* reason);

// A track at `seconds` (held before its first key and after its last),
// `track.width` numbers into `out`; a rotation comes out of unit length.
void SampleTrack(const Track& track, double seconds, float* out);

// Every node's local placement at `seconds`: its rest, with the tracks the
// file has laid over it.
void SampleNodes(const Animation& a, double seconds, std::vector<Transform>* locals);

}  // namespace vrm
