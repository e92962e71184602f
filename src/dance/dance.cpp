#include "dance/dance.h"

#include <algorithm>
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

Quat Mix(Quat a, Quat b, double u) { return Slerp(a, b, u); }
vrm::Vec3 Mix(vrm::Vec3 a, vrm::Vec3 b, double u) { return a + (b - a) * u; }
float Mix(float a, float b, double u) { return (float)(a + (b - a) * u); }

// What the frames laid after the timeline show. A dance: a lead-in from the
// idle's first pose, `body` frames a pass, a lead-out back. An idle: a
// lead-in, then a loop of `body` frames (the file's first `loop` frames
// `body / loop` times, its seam blended over `blend` frames when its ends
// differ) and one frame more, the loop's first again, that a frame drawn
// just before the wrap leans on.
struct Plan {
  bool idle = false;
  uint32_t kept = 0;  // the file's frames
  uint32_t body = 0;
  uint32_t loop = 1, blend = 0;
  // Each new frame: where in the built-in idle (frames from its first, a
  // fraction between two blended) the bones left alone are, blended towards
  // a second place by `w` across a seam.
  struct IdleAt {
    double at = 0, to = 0;
    float w = 0;
  };
  std::vector<IdleAt> idleAt;
  uint32_t Count() const {
    return idle ? kIdleLeadInFrames + body + 1 : kDanceLeadInFrames + body + kDanceLeadOutFrames;
  }
};

// Frame `j` of an idle's loop, from the file's track `r` (a value a frame).
template <class T>
T LoopFrame(const Plan& p, const std::vector<T>& r, uint32_t j) {
  const uint32_t k = j % p.loop;
  return k < p.blend ? Mix(r[p.loop + k], r[k], Smooth((double)(k + 1) / (p.blend + 1))) : r[k];
}

// New frame `k` of a track `r` of the file's; `rest`: the idle's first pose.
template <class T>
T NewFrame(const Plan& p, const std::vector<T>& r, T rest, uint32_t k) {
  const uint32_t last = p.kept - 1;
  if (p.idle) {
    if (k < kIdleLeadInFrames) return Mix(rest, LoopFrame(p, r, 0), Smooth((double)k / kIdleLeadInFrames));
    return LoopFrame(p, r, k - kIdleLeadInFrames);
  }
  if (k < kDanceLeadInFrames) return Mix(rest, r[0], Smooth((double)k / kDanceLeadInFrames));
  k -= kDanceLeadInFrames;
  if (k < p.body) return r[std::min(k, last)];
  return Mix(r[last], rest, Smooth((double)(k - p.body + 1) / kDanceLeadOutFrames));
}

// An idle loops seamlessly: ends that match (within a degree, a hundredth
// of the hips' height) close the loop on the last frame; ends that differ
// are blended. A short loop repeats until it is about as long as the
// built-in idle, which the bones it leaves alone play, slowed or hastened to
// a whole number of rounds a loop so they join at the seam too.
void PlanIdle(const vrm::RetargetedClips& moves, uint32_t idleLength, Plan* p) {
  const uint32_t last = p->kept - 1;
  bool same = last > 0;
  for (const auto& r : moves.rotations) {
    const double d = std::fabs(r.second[0].x * r.second[last].x + r.second[0].y * r.second[last].y +
                               r.second[0].z * r.second[last].z + r.second[0].w * r.second[last].w);
    if (2 * std::acos(std::min(1.0, d)) > M_PI / 180) same = false;
  }
  if (moves.hips >= 0) {
    const std::vector<vrm::Vec3>& h = moves.hipsPositions;
    if (vrm::Length(h[last] - h[0]) > 0.01 * vrm::Length(h[0])) same = false;
  }
  p->blend = same || p->kept < 4 ? 0 : std::min<uint32_t>(10, p->kept / 4);
  p->loop = same ? last : p->kept - p->blend;
  const uint32_t rounds = p->loop >= idleLength ? 1 : (idleLength + p->loop - 1) / p->loop;
  p->body = p->loop * rounds;
  const double idleRounds = std::max(1.0, std::round((double)p->body / idleLength));
  const double pace = idleRounds * idleLength / p->body;
  p->idleAt.resize(p->Count());
  for (uint32_t k = 0; k < p->idleAt.size(); ++k) {
    const uint32_t t = k < kIdleLeadInFrames + p->body ? k : kIdleLeadInFrames;
    p->idleAt[k].at = std::fmod(t * pace, idleLength);
  }
}

// A dance's passes join without a jump in what it leaves alone: those bones
// play the idle on from the lead-in, and over the last frames of a pass
// (up to 10, a third of it) blend into where the idle was a pass earlier,
// so the pass ends where it began, and the next pass, or the lead-out, go
// on from there.
void PlanDance(uint32_t idleLength, Plan* p) {
  // A pass draws the frames 1 .. body - 2 of the dance clip.
  const uint32_t pass = p->body - 2, blend = std::min<uint32_t>(10, pass / 3);
  p->idleAt.resize(p->Count());
  auto at = [&](uint32_t t) { return (double)(t % idleLength); };
  for (uint32_t k = 0; k < p->idleAt.size(); ++k) {
    Plan::IdleAt& a = p->idleAt[k];
    const uint32_t d = k - kDanceLeadInFrames;  // the dance clip's frame
    if (k < kDanceLeadInFrames || d == 0) {
      a.at = at(k);
    } else if (d <= pass) {
      a.at = at(k);
      if (d + blend > pass) a.to = at(k - pass), a.w = (float)Smooth((double)(d + blend - pass) / blend);
    } else if (d <= pass + 1) {
      a.at = at(kDanceLeadInFrames + 1);  // frame body - 1 of the clip: the next pass's first
    } else {
      a.at = at(k - p->body);  // the lead-out, from where a next pass would go on
    }
  }
}

// `to` blended towards `next` by `u` (a rotation the short way round, kept
// of unit length).
void Blend(float* to, const float* next, uint32_t width, double u) {
  float sign = 1, length = 0;
  if (width == 4 && to[0] * next[0] + to[1] * next[1] + to[2] * next[2] + to[3] * next[3] < 0) sign = -1;
  for (uint32_t i = 0; i < width; ++i) to[i] = Mix(to[i], sign * next[i], u), length += to[i] * to[i];
  if (width == 4 && length > 0)
    for (uint32_t i = 0; i < 4; ++i) to[i] /= std::sqrt(length);
}

// Grows one per-frame array of `width` floats a frame from `frames` to
// `total` frames, the new ones showing the idle where `idleAt` says. A node
// that held the value still gets it every frame.
bool Grow(float** array, uint32_t width, bool animated, uint32_t frames, uint32_t total, uint32_t idleFirst,
          uint32_t idleLength, const std::vector<Plan::IdleAt>& idleAt) {
  float* grown = static_cast<float*>(std::malloc(sizeof(float) * width * total));
  if (!grown) return false;
  const float* old = *array;
  // The idle `at` frames from its first into `out`.
  auto idle = [&](double at, float* out) {
    const uint32_t whole = (uint32_t)at;
    std::memcpy(out, old + (size_t)(idleFirst + whole) * width, sizeof(float) * width);
    if (at > whole) Blend(out, old + (size_t)(idleFirst + (whole + 1) % idleLength) * width, width, at - whole);
  };
  std::vector<float> other(width);
  for (uint32_t f = 0; f < total; ++f) {
    float* to = grown + (size_t)f * width;
    if (!animated || f < frames) {
      std::memcpy(to, old + (size_t)(animated ? f : 0) * width, sizeof(float) * width);
      continue;
    }
    const Plan::IdleAt& a = idleAt[f - frames];
    idle(a.at, to);
    if (a.w <= 0) continue;
    idle(a.to, other.data());
    Blend(to, other.data(), width, a.w);
  }
  std::free(*array);
  *array = grown;
  return true;
}

// What the file asks of the face at each of its frames: expression weights
// by name, and the gaze its look-at track turns the face's forward (+z) to.
struct FileFace {
  std::map<std::string, std::vector<float>> expressions;
  std::vector<float> yaw, pitch;
};

// Lays `file` on `s` after its last frame as a dance or (plan->idle) an
// idle; `plan` says what the new frames are, `face` what the file asks of
// the face.
bool Lay(CPODScene* s, const std::map<std::string, int>& humanoid, const vrm::Animation& file, Plan* plan,
         FileFace* face, std::string* reason) {
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
  if (!vrm::RetargetVrma(file, target, kClipFramesPerSecond, &moves, reason)) return false;
  if (moves.rotations.empty() && moves.hips < 0) {
    *reason = "the character has none of the bones it moves";
    return false;
  }
  plan->kept = moves.hips >= 0 ? (uint32_t)moves.hipsPositions.size() : 0;
  for (const auto& r : moves.rotations) plan->kept = (uint32_t)r.second.size();

  // What the dance leaves alone plays the idle, round and round.
  const AnimClip& idleClip = GirlClip(ANIM_IDLE);
  const uint32_t idleFirst = (uint32_t)idleClip.start_frame < frames ? (uint32_t)idleClip.start_frame : 0;
  const uint32_t idleEnd = (uint32_t)idleClip.end_frame < frames ? (uint32_t)idleClip.end_frame : frames;
  const uint32_t idleLength = idleEnd > idleFirst ? idleEnd - idleFirst : 1;
  if (plan->idle) {
    PlanIdle(moves, idleLength, plan);
  } else {
    // At least one frame drawn a pass: a pass draws all but its two ends.
    plan->body = std::max<uint32_t>(plan->kept, 3);
    PlanDance(idleLength, plan);
  }
  const uint32_t total = frames + plan->Count();

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
      if (!Grow(p.array, p.width, (node.animationFlags & p.flag) != 0, frames, total, idleFirst, idleLength,
                plan->idleAt))
        return (*reason = "out of memory", false);
      node.animationFlags |= p.flag;
    }
    if (turned) {
      const Quat idle0 = Stored(node.rotations + 4 * idleFirst);
      for (uint32_t k = 0; k < total - frames; ++k)
        Store(NewFrame(*plan, turns->second, idle0, k), node.rotations + 4 * (frames + k));
    }
    if (moved) {
      const float* p0 = node.positions + 3 * idleFirst;
      for (uint32_t k = 0; k < total - frames; ++k) {
        const vrm::Vec3 v = NewFrame(*plan, moves.hipsPositions, vrm::Vec3{p0[0], p0[1], p0[2]}, k);
        float* o = node.positions + 3 * (frames + k);
        o[0] = (float)v.x, o[1] = (float)v.y, o[2] = (float)v.z;
      }
    }
  }
  *face = FileFace();
  for (const auto& e : file.expressions) {
    std::vector<float>& w = face->expressions[e.first];
    w.resize(plan->kept);
    for (uint32_t k = 0; k < plan->kept; ++k) vrm::SampleTrack(e.second, (double)k / kClipFramesPerSecond, &w[k]);
  }
  for (uint32_t k = 0; !file.lookAt.empty() && k < plan->kept; ++k) {
    float q[4];
    vrm::SampleTrack(file.lookAt, (double)k / kClipFramesPerSecond, q);
    const vrm::Vec3 d = vrm::Rotate({q[0], q[1], q[2], q[3]}, {0, 0, 1});
    face->yaw.push_back((float)(std::atan2(d.x, d.z) * 180 / M_PI));
    face->pitch.push_back((float)(std::atan2(d.y, std::hypot(d.x, d.z)) * 180 / M_PI));
  }
  s->frameCount = total;
  s->FlushCache();
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
  const uint32_t frames = s ? s->frameCount : 0;
  Plan plan;
  FileFace face;
  if (!Lay(s, humanoid, dance, &plan, &face, reason)) return false;
  clips->expressions.clear();
  clips->gaze.clear();
  for (uint32_t k = 0; k < plan.body; ++k) {
    const uint32_t f = std::min(k, plan.kept - 1);
    for (const auto& e : face.expressions) clips->expressions[e.first].push_back(e.second[f]);
    if (!face.yaw.empty()) clips->gaze.push_back({face.yaw[f], face.pitch[f]});
  }
  const uint32_t danceAt = frames + kDanceLeadInFrames, outAt = danceAt + plan.body;
  clips->in_start = (int32_t)frames;
  clips->in_end = (int32_t)danceAt;
  clips->dance_start = (int32_t)danceAt;
  clips->dance_end = (int32_t)(outAt - 1);
  clips->out_start = (int32_t)outAt;
  clips->out_end = (int32_t)(outAt + kDanceLeadOutFrames - 1);
  return true;
}

bool DanceLayIdle(CPODScene* s, const std::map<std::string, int>& humanoid, const vrm::Animation& idle,
                  IdleClips* clips, std::string* reason) {
  const uint32_t frames = s ? s->frameCount : 0;
  Plan plan;
  plan.idle = true;
  FileFace face;
  if (!Lay(s, humanoid, idle, &plan, &face, reason)) return false;
  clips->expressions.clear();
  clips->gaze.clear();
  for (uint32_t j = 0; j <= plan.body; ++j) {
    for (const auto& e : face.expressions) clips->expressions[e.first].push_back(LoopFrame(plan, e.second, j));
    if (!face.yaw.empty()) clips->gaze.push_back({LoopFrame(plan, face.yaw, j), LoopFrame(plan, face.pitch, j)});
  }
  clips->in_start = (int32_t)frames;
  clips->loop_start = (int32_t)(frames + kIdleLeadInFrames);
  clips->loop_end = (int32_t)(frames + kIdleLeadInFrames + plan.body);
  return true;
}
