#include "vrm/vrm_retarget.h"

#include <cmath>

#include "rig/girl_humanoid.h"
#include "vrm/vrm_humanoid.h"
#include "vrm/vrma_file.h"

namespace vrm {

namespace {

struct Placement {
  Quat r;
  Vec3 p;
};

// A source's humanoid bones in world space (her world: her facing, any
// units): at rest, and in every frame for those that move (`moving`, whose
// keys are a subset of `rest`'s).
struct SourceMotion {
  std::map<std::string, Placement> rest;
  std::map<std::string, std::vector<Placement>> moving;
  std::vector<Vec3> hipsPath;  // the hips' world position each frame; empty: they stay
};

// Nodes with every parent before its children.
std::vector<int> TopDown(const std::vector<int>& parent) {
  std::vector<std::vector<int>> children(parent.size());
  std::vector<int> order;
  for (size_t i = 0; i < parent.size(); ++i)
    if (parent[i] < 0 || (size_t)parent[i] >= parent.size())
      order.push_back((int)i);
    else
      children[(size_t)parent[i]].push_back((int)i);
  for (size_t k = 0; k < order.size(); ++k)
    for (int c : children[(size_t)order[k]]) order.push_back(c);
  return order;
}

// The motion laid onto the target: see the header.
void RetargetMotion(const SourceMotion& src, const RetargetTarget& t, uint32_t frames, RetargetedClips* out) {
  // The target at rest.
  const size_t n = t.parent.size();
  const std::vector<int> order = TopDown(t.parent);
  auto parentOf = [&](int node) {
    return node >= 0 && t.parent[(size_t)node] >= 0 && (size_t)t.parent[(size_t)node] < n ? t.parent[(size_t)node] : -1;
  };
  std::vector<Transform> rest(n);
  for (int node : order) {
    const int p = parentOf(node);
    rest[(size_t)node] = p >= 0 ? Compose(rest[(size_t)p], t.rest[(size_t)node]) : t.rest[(size_t)node];
  }

  // The bones both have, each aimed where hers points at rest: from its
  // joint to the first bone it points at that both have; a bone without one
  // is aimed as its nearest aimed ancestor.
  std::map<int, std::string> driven;
  for (const auto& h : t.humanoid)
    if (src.moving.count(h.first) && h.second >= 0 && (size_t)h.second < n) driven[h.second] = h.first;
  std::map<int, Quat> aim;
  for (int node : order) {
    auto d = driven.find(node);
    if (d == driven.end()) continue;
    const int info = HumanBoneIndex(d->second);
    bool aimed = false;
    for (int k = 0; info >= 0 && kHumanBones[info].tips[k] && !aimed; ++k) {
      const std::string tip = kHumanBones[info].tips[k];
      if (!t.humanoid.count(tip) || !src.rest.count(tip)) continue;
      const Vec3 mine = rest[(size_t)t.humanoid.at(tip)].t - rest[(size_t)node].t;
      const Vec3 her = src.rest.at(tip).p - src.rest.at(d->second).p;
      aim[node] = Between(mine, her);
      aimed = true;
    }
    if (!aimed) {
      int p = parentOf(node);
      while (p >= 0 && !aim.count(p)) p = parentOf(p);
      aim[node] = p >= 0 ? aim[p] : Quat{};
    }
  }

  // The hips move as hers, in proportion to their heights.
  const bool hipsMove = !src.hipsPath.empty() && src.rest.count("hips") && t.humanoid.count("hips") &&
                        t.humanoid.at("hips") >= 0 && (size_t)t.humanoid.at("hips") < n;
  const int hips = hipsMove ? t.humanoid.at("hips") : -1;
  const double herHips = hipsMove ? src.rest.at("hips").p.y : 0;
  const double ratio = hips >= 0 && herHips > 0 ? rest[(size_t)hips].t.y / herHips : 1.0;
  out->hips = hips;

  std::vector<Transform> world(n);
  for (uint32_t f = 0; f < frames; ++f) {
    for (int node : order) {
      const int p = parentOf(node);
      const Transform parentWorld = p >= 0 ? world[(size_t)p] : Transform();
      Transform local = t.rest[(size_t)node];
      const double parentScale = parentWorld.s.x != 0 ? parentWorld.s.x : 1;
      if (node == hips) {
        const Vec3 at = rest[(size_t)hips].t + (src.hipsPath[f] - src.rest.at("hips").p) * ratio;
        local.t = Rotate(Conjugate(parentWorld.r), at - parentWorld.t) * (1 / parentScale);
        out->hipsPositions.push_back(local.t);
      }
      auto d = driven.find(node);
      if (d != driven.end()) {
        const Quat turn = src.moving.at(d->second)[f].r * Conjugate(src.rest.at(d->second).r);
        local.r = Normalized(Conjugate(parentWorld.r) * (turn * aim[node] * rest[(size_t)node].r));
        std::vector<Quat>& track = out->rotations[node];
        // Neighbouring frames the same way round, so that a blend between
        // them takes the short way.
        if (!track.empty()) {
          const Quat& last = track.back();
          if (last.x * local.r.x + last.y * local.r.y + last.z * local.r.z + last.w * local.r.w < 0)
            local.r = {-local.r.x, -local.r.y, -local.r.z, -local.r.w};
        }
        track.push_back(local.r);
      }
      world[(size_t)node] = p >= 0 ? Compose(parentWorld, local) : local;
    }
  }
}

}  // namespace

bool Retarget(CPODScene& clips, const RetargetTarget& t, RetargetedClips* out, std::string* reason) {
  *out = RetargetedClips();
  // Her humanoid bones, and where each is in every frame.
  std::map<std::string, int> hers;
  for (const GirlHumanBone& b : kGirlHumanBones)
    for (uint32_t i = 0; i < clips.nodeCount; ++i)
      if (clips.nodes[i].name && std::string(clips.nodes[i].name) == b.girl) hers[b.humanoid] = (int)i;
  if (!hers.count("hips")) {
    *reason = "her clips have no hips";
    return false;
  }
  const uint32_t frames = clips.frameCount ? clips.frameCount : 1;
  SourceMotion source;
  for (uint32_t f = 0; f < frames; ++f) {
    clips.SetFrame((float)f);
    for (const auto& h : hers) {
      MATRIX w;
      clips.GetWorldMatrix(w, clips.nodes[h.second]);
      double col[3][3];
      for (int k = 0; k < 3; ++k) {
        const double len =
            std::sqrt(w.f[4 * k] * w.f[4 * k] + w.f[4 * k + 1] * w.f[4 * k + 1] + w.f[4 * k + 2] * w.f[4 * k + 2]);
        for (int r = 0; r < 3; ++r) col[k][r] = len > 0 ? w.f[4 * k + r] / len : (k == r);
      }
      source.moving[h.first].push_back({FromColumns(col), {w.f[12], w.f[13], w.f[14]}});
    }
  }
  clips.SetFrame(0.0f);
  // Her first frame is her rest; every bone moves, the hips too.
  for (const auto& h : source.moving) source.rest[h.first] = h.second[0];
  for (const Placement& p : source.moving["hips"]) source.hipsPath.push_back(p.p);
  RetargetMotion(source, t, frames, out);
  return true;
}

bool RetargetVrma(const Animation& a, const RetargetTarget& t, double fps, RetargetedClips* out, std::string* reason) {
  *out = RetargetedClips();
  if (!(fps > 0) || !(a.duration >= 0)) {
    *reason = "no frames to make";
    return false;
  }
  const uint32_t frames = (uint32_t)std::floor(a.duration * fps + 1e-6) + 1;
  std::vector<int> parent(a.nodes.size());
  for (size_t i = 0; i < a.nodes.size(); ++i) parent[i] = a.nodes[i].parent;
  const std::vector<int> order = TopDown(parent);
  // The file's world at `seconds`, or at rest; its humanoid bones' placements.
  std::vector<Transform> local, world(a.nodes.size());
  auto place = [&](bool atRest, double seconds) {
    SampleNodes(a, seconds, &local);
    if (atRest)
      for (size_t i = 0; i < a.nodes.size(); ++i) {
        const Node& nd = a.nodes[i];
        local[i].t = {nd.translation[0], nd.translation[1], nd.translation[2]};
        local[i].r = {nd.rotation[0], nd.rotation[1], nd.rotation[2], nd.rotation[3]};
      }
    for (int node : order) {
      const int p = parent[(size_t)node];
      world[(size_t)node] = p >= 0 ? Compose(world[(size_t)p], local[(size_t)node]) : local[(size_t)node];
    }
  };
  SourceMotion source;
  place(true, 0);
  for (const auto& h : a.humanoid) source.rest[h.first] = {world[(size_t)h.second].r, world[(size_t)h.second].t};
  for (uint32_t f = 0; f < frames; ++f) {
    place(false, f / fps);
    for (const auto& r : a.rotations) {
      const Transform& w = world[(size_t)a.humanoid.at(r.first)];
      source.moving[r.first].push_back({w.r, w.t});
    }
    if (!a.hipsTranslation.empty()) source.hipsPath.push_back(world[(size_t)a.humanoid.at("hips")].t);
  }
  RetargetMotion(source, t, frames, out);
  return true;
}
}  // namespace vrm
