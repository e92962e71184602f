#include "dance/dance.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

#include "files/files.h"
#include "rig/girl_clips.h"
#include "rig/girl_humanoid.h"
#include "scene/ModelPOD.h"
#include "vrm/vrm_retarget.h"

namespace {

using vrm::Quat;

// Our files keep the conjugate of glTF's quaternion (vrm/vrm_math.h).
Quat Stored(const float* q) { return {-q[0], -q[1], -q[2], q[3]}; }
void Store(Quat q, float* out) {
  out[0] = (float)-q.x, out[1] = (float)-q.y, out[2] = (float)-q.z, out[3] = (float)q.w;
}

Quat Slerp(Quat a, Quat b, double u) {
  double d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (d < 0) b = {-b.x, -b.y, -b.z, -b.w}, d = -d;
  double s0 = 1 - u, s1 = u;
  if (d < 0.9995) {
    const double th = std::acos(d), sn = std::sin(th);
    s0 = std::sin((1 - u) * th) / sn, s1 = std::sin(u * th) / sn;
  }
  return vrm::Normalized({s0 * a.x + s1 * b.x, s0 * a.y + s1 * b.y, s0 * a.z + s1 * b.z, s0 * a.w + s1 * b.w});
}

double Smooth(double u) { return u * u * (3 - 2 * u); }

// Grows one per-frame array of `width` floats a frame from `frames` to
// `total` frames, the new ones copying the idle (`idle(k)` is the frame the
// k-th new one copies). A node that held the value still gets it every frame.
bool Grow(float** array, uint32_t width, bool animated, uint32_t frames, uint32_t total,
          const std::vector<uint32_t>& idle) {
  float* grown = static_cast<float*>(std::malloc(sizeof(float) * width * total));
  if (!grown) return false;
  const float* old = *array;
  for (uint32_t f = 0; f < total; ++f) {
    const uint32_t from = !animated ? 0 : f < frames ? f : idle[f - frames];
    std::memcpy(grown + (size_t)f * width, old + (size_t)from * width, sizeof(float) * width);
  }
  std::free(*array);
  *array = grown;
  return true;
}

}  // namespace

bool DanceReadBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* reason, bool* missing) {
  char* data = nullptr;
  size_t size = 0;
  struct stat st;
  const FileStatus status = FileReadAll(path.c_str(), vrm::kMaxAnimationBytes, &data, &size, &st);
  if (missing) *missing = status != kFileOk && status != kFileTooLarge;
  if (status != kFileOk) {
    *reason = status == kFileTooLarge ? "larger than " + std::to_string(vrm::kMaxAnimationBytes >> 20) + " MB"
                                      : FileStatusText(status, st, errno);
    return false;
  }
  bytes->assign(data, data + size);
  std::free(data);
  return true;
}

bool DanceReadFile(const std::string& path, vrm::Animation* out, std::string* reason) {
  std::vector<uint8_t> bytes;
  return DanceReadBytes(path, &bytes, reason) && vrm::ReadVrma(bytes.data(), bytes.size(), out, reason);
}

std::map<std::string, int> DanceHumanoid(const CPODScene& scene, const nlohmann::json* info) {
  std::map<std::string, int> bones;
  if (info) {
    const nlohmann::json& h = info->is_object() && info->contains("humanoid") ? (*info)["humanoid"] : nlohmann::json();
    if (!h.is_object()) return bones;
    for (auto it = h.begin(); it != h.end(); ++it) {
      const nlohmann::json& node = it.value().is_object() && it.value().contains("node") ? it.value()["node"] : nullptr;
      if (node.is_number_integer() && node.get<int64_t>() >= 0 && node.get<int64_t>() < (int64_t)scene.nodeCount)
        bones[it.key()] = (int)node.get<int64_t>();
    }
    return bones;
  }
  for (const GirlHumanBone& b : kGirlHumanBones)
    for (uint32_t i = 0; i < scene.nodeCount; ++i)
      if (scene.nodes[i].name && std::strcmp(scene.nodes[i].name, b.girl) == 0) bones[b.humanoid] = (int)i;
  return bones;
}

bool DanceLay(CPODScene* s, const std::map<std::string, int>& humanoid, const vrm::Animation& dance, DanceClips* clips,
              std::string* reason) {
  if (!s || !s->evalState || s->frameCount == 0 || !s->nodes) {
    *reason = "the character has no timeline to add it to";
    return false;
  }
  const uint32_t n = s->nodeCount, frames = s->frameCount;
  // The character at rest: its first frame.
  vrm::RetargetTarget target;
  target.parent.resize(n);
  target.rest.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    const SPODNode& node = s->nodes[i];
    target.parent[i] = node.parentIndex >= 0 && (uint32_t)node.parentIndex < n ? node.parentIndex : -1;
    vrm::Transform& t = target.rest[i];
    if (node.positions) t.t = {node.positions[0], node.positions[1], node.positions[2]};
    if (node.rotations) t.r = vrm::Normalized(Stored(node.rotations));
    if (node.scales) t.s = {node.scales[0], node.scales[1], node.scales[2]};
  }
  target.humanoid = humanoid;
  vrm::RetargetedClips moves;
  if (!vrm::RetargetVrma(dance, target, kClipFramesPerSecond, &moves, reason)) return false;
  if (moves.rotations.empty() && moves.hips < 0) {
    *reason = "the character has none of the bones it moves";
    return false;
  }
  // At least one frame drawn a pass: a pass draws all but its two ends.
  uint32_t danceFrames = moves.hips >= 0 ? (uint32_t)moves.hipsPositions.size() : 0;
  for (const auto& r : moves.rotations) danceFrames = (uint32_t)r.second.size();
  const uint32_t kept = danceFrames;
  if (danceFrames < 3) danceFrames = 3;
  const uint32_t total = frames + kDanceLeadInFrames + danceFrames + kDanceLeadOutFrames;

  // The frames the new ones copy for what the dance leaves alone: the idle, round and round.
  const AnimClip& idleClip = GirlClip(ANIM_IDLE);
  const uint32_t idleFirst = (uint32_t)idleClip.start_frame < frames ? (uint32_t)idleClip.start_frame : 0;
  const uint32_t idleEnd = (uint32_t)idleClip.end_frame < frames ? (uint32_t)idleClip.end_frame : frames;
  const uint32_t idleLength = idleEnd > idleFirst ? idleEnd - idleFirst : 1;
  std::vector<uint32_t> idle(total - frames);
  for (uint32_t k = 0; k < idle.size(); ++k) idle[k] = idleFirst + k % idleLength;

  const uint32_t danceAt = frames + kDanceLeadInFrames, outAt = danceAt + danceFrames;
  auto danceFrame = [&](uint32_t k) { return k < kept ? k : kept - 1; };
  for (uint32_t i = 0; i < n; ++i) {
    SPODNode& node = s->nodes[i];
    const auto turns = moves.rotations.find((int)i);
    const bool turned = turns != moves.rotations.end();
    const bool moved = (int)i == moves.hips;
    if (turned && !node.rotations) {
      node.rotations = static_cast<float*>(std::calloc(4, sizeof(float)));
      if (!node.rotations) return (*reason = "out of memory", false);
      node.rotations[3] = 1;
    }
    if (moved && !node.positions) {
      node.positions = static_cast<float*>(std::calloc(3, sizeof(float)));
      if (!node.positions) return (*reason = "out of memory", false);
    }
    struct {
      float** array;
      uint32_t width, flag;
      bool needed;
    } parts[] = {{&node.positions, 3, 1u, moved},
                 {&node.rotations, 4, 2u, turned},
                 {&node.scales, 7, 4u, false},
                 {&node.matrices, 16, 8u, false}};
    for (auto& p : parts) {
      if (!*p.array || (!(node.animationFlags & p.flag) && !p.needed)) continue;
      if (!Grow(p.array, p.width, (node.animationFlags & p.flag) != 0, frames, total, idle))
        return (*reason = "out of memory", false);
      node.animationFlags |= p.flag;
    }
    if (turned) {
      const Quat idle0 = Stored(node.rotations + 4 * idleFirst);
      const std::vector<Quat>& r = turns->second;
      for (uint32_t k = 0; k < kDanceLeadInFrames; ++k)
        Store(Slerp(idle0, r[0], Smooth((double)k / kDanceLeadInFrames)), node.rotations + 4 * (frames + k));
      for (uint32_t k = 0; k < danceFrames; ++k) Store(r[danceFrame(k)], node.rotations + 4 * (danceAt + k));
      for (uint32_t k = 0; k < kDanceLeadOutFrames; ++k)
        Store(Slerp(r[kept - 1], idle0, Smooth((double)(k + 1) / kDanceLeadOutFrames)),
              node.rotations + 4 * (outAt + k));
    }
    if (moved) {
      const float* p0 = node.positions + 3 * idleFirst;
      const vrm::Vec3 idle0{p0[0], p0[1], p0[2]};
      const std::vector<vrm::Vec3>& h = moves.hipsPositions;
      auto put = [&](vrm::Vec3 a, vrm::Vec3 b, double u, uint32_t at) {
        const vrm::Vec3 v = a + (b - a) * u;
        float* o = node.positions + 3 * at;
        o[0] = (float)v.x, o[1] = (float)v.y, o[2] = (float)v.z;
      };
      for (uint32_t k = 0; k < kDanceLeadInFrames; ++k)
        put(idle0, h[0], Smooth((double)k / kDanceLeadInFrames), frames + k);
      for (uint32_t k = 0; k < danceFrames; ++k) put(h[danceFrame(k)], h[danceFrame(k)], 0, danceAt + k);
      for (uint32_t k = 0; k < kDanceLeadOutFrames; ++k)
        put(h[kept - 1], idle0, Smooth((double)(k + 1) / kDanceLeadOutFrames), outAt + k);
    }
  }
  clips->expressions.clear();
  for (const auto& e : dance.expressions) {
    std::vector<float>& w = clips->expressions[e.first];
    for (uint32_t k = 0; k < danceFrames; ++k) {
      float v = 0;
      vrm::SampleTrack(e.second, (double)danceFrame(k) / kClipFramesPerSecond, &v);
      w.push_back(v);
    }
  }
  s->frameCount = total;
  s->FlushCache();
  clips->in_start = (int32_t)frames;
  clips->in_end = (int32_t)danceAt;
  clips->dance_start = (int32_t)danceAt;
  clips->dance_end = (int32_t)(outAt - 1);
  clips->out_start = (int32_t)outAt;
  clips->out_end = (int32_t)(outAt + kDanceLeadOutFrames - 1);
  return true;
}
