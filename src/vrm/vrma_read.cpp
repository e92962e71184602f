// The animation reader: the container and JSON are checked as a VRM file's
// are (vrm/gltf_read), the humanoid map read from the extension as it
// stands, and the first animation's channels copied out of tinygltf's model
// with every index, count and value checked. Channels of nodes that are no
// mapped bone (nor an expression or the look-at node) are left out.
#include <algorithm>
#include <cmath>
#include <set>

#include "vrm/gltf_read.h"
#include "vrm/vrm_humanoid.h"
#include "vrm/vrm_json.h"
#include "vrm/vrma_file.h"

namespace vrm {
namespace {

using Json = nlohmann::json;

struct AnimationReader : GltfAccessors {
  const Json& ext;
  Animation& a;
  uint64_t keys = 0;

  AnimationReader(const tinygltf::Model& model, const Json& extension, Animation& out)
      : GltfAccessors(model), ext(extension), a(out) {}

  bool NodeOf(const Json& entry, const std::string& what, int* node) {
    int64_t n;
    if (!JsonIndex(entry, "node", &n) || (size_t)n >= a.nodes.size())
      return Fail("inconsistent: " + what + " names a node that does not exist");
    *node = (int)n;
    return true;
  }

  bool ReadHumanoid() {
    const Json& bones = Member(Member(ext, "humanoid"), "humanBones");
    if (!bones.is_object()) return Fail("not a VRM animation: it has no humanoid bones");
    std::map<int, std::string> byNode;
    for (auto it = bones.begin(); it != bones.end(); ++it) {
      if (HumanBoneIndex(it.key()) < 0) continue;
      int node;
      if (!NodeOf(it.value(), "humanoid bone " + it.key(), &node)) return false;
      if (byNode.count(node))
        return Fail("inconsistent: humanoid bones " + byNode[node] + " and " + it.key() + " are one node");
      byNode[node] = it.key();
      a.humanoid[it.key()] = node;
    }
    if (a.humanoid.empty()) return Fail("not a VRM animation: it has no humanoid bones");
    return true;
  }

  // The expression and look-at nodes: which node carries which.
  bool ReadFace(std::map<int, std::string>* expressionNodes, int* lookAt) {
    const Json& expr = Member(ext, "expressions");
    for (const char* group : {"preset", "custom"}) {
      const Json& g = Member(expr, group);
      if (!g.is_object()) continue;
      for (auto it = g.begin(); it != g.end(); ++it) {
        int node;
        if (!NodeOf(it.value(), "expression " + it.key(), &node)) return false;
        (*expressionNodes)[node] = it.key();
      }
    }
    *lookAt = -1;
    if (!Member(ext, "lookAt").is_null() && !NodeOf(Member(ext, "lookAt"), "the look-at", lookAt)) return false;
    return true;
  }

  bool ReadSampler(const tinygltf::AnimationSampler& s, int type, int width, const std::string& what, Track* t) {
    if (!t->empty()) return Fail("inconsistent: " + what + " is animated twice");
    t->width = width;
    t->interpolation = s.interpolation == "STEP"          ? Interpolation::kStep
                       : s.interpolation == "CUBICSPLINE" ? Interpolation::kCubic
                                                          : Interpolation::kLinear;
    if (s.interpolation != "STEP" && s.interpolation != "CUBICSPLINE" && s.interpolation != "LINEAR" &&
        !s.interpolation.empty())
      return Fail("inconsistent: " + what + " has an unknown interpolation");
    size_t n = 0, c = 0;
    const uint64_t left = kMaxAnimationKeys - keys;
    if (!Floats(s.input, TINYGLTF_TYPE_SCALAR, left, &t->times, &n, what + " times")) {
      if (reason.find("out of range") != std::string::npos && (size_t)s.input < m.accessors.size() &&
          m.accessors[(size_t)s.input].count > left)
        reason = "more than " + std::to_string(kMaxAnimationKeys) + " keys";
      return false;
    }
    keys += n;
    if (n == 0) return Fail("inconsistent: " + what + " has no keys");
    for (size_t i = 0; i < n; ++i) {
      if (t->times[i] < 0 || (i > 0 && t->times[i] < t->times[i - 1]))
        return Fail("inconsistent: " + what + " has times that fall");
      if (t->times[i] > kMaxAnimationSeconds)
        return Fail("longer than " + std::to_string((int)kMaxAnimationSeconds) + " seconds");
    }
    const size_t per = t->interpolation == Interpolation::kCubic ? 3 : 1;
    if (!Floats(s.output, type, per * n, &t->values, &c, what + " values")) return false;
    if (c != per * n)
      return Fail("inconsistent: " + what + " has " + std::to_string(c) + " values for " + std::to_string(n) + " keys");
    if (width == 4)
      for (size_t k = 0; k < c; ++k) {
        const float* q = &t->values[4 * k];
        const double len =
            std::sqrt((double)q[0] * q[0] + (double)q[1] * q[1] + (double)q[2] * q[2] + (double)q[3] * q[3]);
        // Tangents of a cubic spline may be of any length; values may not be 0.
        if (len < 1e-6 && (per == 1 || k % 3 == 1))
          return Fail("inconsistent: " + what + " has a rotation of length 0");
      }
    a.duration = std::max(a.duration, (double)t->times.back());
    return true;
  }

  bool ReadAnimation() {
    if (m.animations.empty()) return Fail("not a VRM animation: it holds no animation");
    const tinygltf::Animation& anim = m.animations[0];
    std::map<int, std::string> bones;
    for (const auto& h : a.humanoid) bones[h.second] = h.first;
    std::map<int, std::string> expressionNodes;
    int lookAt = -1;
    if (!ReadFace(&expressionNodes, &lookAt)) return false;
    for (size_t i = 0; i < anim.channels.size(); ++i) {
      const tinygltf::AnimationChannel& ch = anim.channels[i];
      const std::string what = "channel " + std::to_string(i);
      if (ch.sampler < 0 || (size_t)ch.sampler >= anim.samplers.size())
        return Fail("inconsistent: " + what + " names a sampler that does not exist");
      if (ch.target_node < 0) continue;  // glTF lets a channel name no node; nothing moves then
      if ((size_t)ch.target_node >= a.nodes.size())
        return Fail("inconsistent: " + what + " names a node that does not exist");
      const tinygltf::AnimationSampler& s = anim.samplers[(size_t)ch.sampler];
      auto bone = bones.find(ch.target_node);
      if (bone != bones.end() && ch.target_path == "rotation") {
        if (!ReadSampler(s, TINYGLTF_TYPE_VEC4, 4, "the " + bone->second + " rotation", &a.rotations[bone->second]))
          return false;
      } else if (bone != bones.end() && bone->second == "hips" && ch.target_path == "translation") {
        if (!ReadSampler(s, TINYGLTF_TYPE_VEC3, 3, "the hips translation", &a.hipsTranslation)) return false;
      } else if (expressionNodes.count(ch.target_node) && ch.target_path == "translation") {
        Track t;
        const std::string name = expressionNodes[ch.target_node];
        if (a.expressions.count(name)) return Fail("inconsistent: expression " + name + " is animated twice");
        if (!ReadSampler(s, TINYGLTF_TYPE_VEC3, 3, "expression " + name, &t)) return false;
        // The weight is the x of the translation, 0 to 1.
        Track& w = a.expressions[name];
        w.times = t.times;
        w.width = 1;
        w.interpolation = t.interpolation;
        for (size_t k = 0; k < t.values.size(); k += 3) w.values.push_back(std::min(std::max(t.values[k], 0.0f), 1.0f));
      } else if (ch.target_node == lookAt && ch.target_path == "rotation") {
        if (!ReadSampler(s, TINYGLTF_TYPE_VEC4, 4, "the look-at rotation", &a.lookAt)) return false;
      }
    }
    if (a.rotations.empty() && a.hipsTranslation.empty()) return Fail("not a VRM animation: it moves no humanoid bone");
    return true;
  }
};

}  // namespace

bool ReadVrma(const uint8_t* data, size_t size, Animation* out, std::string* reason) {
  *out = Animation();
  auto refuse = [&](const std::string& why) {
    *out = Animation();
    *reason = why;
    return false;
  };
  Json doc;
  std::string why;
  if (!OpenGlb(data, size, kMaxAnimationBytes, &doc, &why)) return refuse(why);
  const Json& ext = Member(Member(doc, "extensions"), "VRMC_vrm_animation");
  if (!ext.is_object()) return refuse("not a VRM animation: a glTF file without VRMC_vrm_animation");
  const Json& nodes = Member(doc, "nodes");
  if (nodes.is_array() && nodes.size() > kMaxAnimationNodes)
    return refuse("more than " + std::to_string(kMaxAnimationNodes) + " nodes");
  tinygltf::Model model;
  if (!ParseGlb(data, size, doc, &model, &why)) return refuse(why);
  AnimationReader r(model, ext, *out);
  std::vector<int> roots;
  if (!r.ReadNodes(&out->nodes, &roots) || !r.ReadHumanoid() || !r.ReadAnimation()) return refuse(r.reason);
  return true;
}

void SampleTrack(const Track& t, double seconds, float* out) {
  const size_t n = t.times.size(), w = (size_t)t.width;
  if (n == 0) return;
  const bool cubic = t.interpolation == Interpolation::kCubic;
  auto value = [&](size_t k) { return &t.values[(cubic ? 3 * k + 1 : k) * w]; };
  size_t k = (size_t)(std::upper_bound(t.times.begin(), t.times.end(), (float)seconds) - t.times.begin());
  if (k == 0 || k >= n || t.interpolation == Interpolation::kStep) {
    const float* v = value(k == 0 ? 0 : k - 1);
    std::copy(v, v + w, out);
  } else {
    const size_t a = k - 1;
    const double span = (double)t.times[k] - t.times[a];
    const double u = span > 0 ? (seconds - t.times[a]) / span : 1.0;
    const float *p0 = value(a), *p1 = value(k);
    if (cubic) {
      // Hermite, with glTF's out-tangent of a and in-tangent of k.
      const float* m0 = &t.values[(3 * a + 2) * w];
      const float* m1 = &t.values[(3 * k) * w];
      const double u2 = u * u, u3 = u2 * u;
      for (size_t i = 0; i < w; ++i)
        out[i] = (float)((2 * u3 - 3 * u2 + 1) * p0[i] + (u3 - 2 * u2 + u) * span * m0[i] + (-2 * u3 + 3 * u2) * p1[i] +
                         (u3 - u2) * span * m1[i]);
    } else if (w == 4) {
      // The short way round, as glTF's linear rotations are meant.
      Quat q0{p0[0], p0[1], p0[2], p0[3]}, q1{p1[0], p1[1], p1[2], p1[3]};
      double d = q0.x * q1.x + q0.y * q1.y + q0.z * q1.z + q0.w * q1.w;
      if (d < 0) q1 = {-q1.x, -q1.y, -q1.z, -q1.w}, d = -d;
      double s0 = 1 - u, s1 = u;
      if (d < 0.9995) {
        const double th = std::acos(std::min(d, 1.0)), sn = std::sin(th);
        s0 = std::sin((1 - u) * th) / sn, s1 = std::sin(u * th) / sn;
      }
      out[0] = (float)(s0 * q0.x + s1 * q1.x), out[1] = (float)(s0 * q0.y + s1 * q1.y);
      out[2] = (float)(s0 * q0.z + s1 * q1.z), out[3] = (float)(s0 * q0.w + s1 * q1.w);
    } else {
      for (size_t i = 0; i < w; ++i) out[i] = (float)(p0[i] + (p1[i] - p0[i]) * u);
    }
  }
  if (w == 4) {
    const Quat q = Normalized({out[0], out[1], out[2], out[3]});
    out[0] = (float)q.x, out[1] = (float)q.y, out[2] = (float)q.z, out[3] = (float)q.w;
  }
}

void SampleNodes(const Animation& a, double seconds, std::vector<Transform>* locals) {
  locals->resize(a.nodes.size());
  for (size_t i = 0; i < a.nodes.size(); ++i) {
    const Node& n = a.nodes[i];
    Transform& t = (*locals)[i];
    t.t = {n.translation[0], n.translation[1], n.translation[2]};
    t.r = {n.rotation[0], n.rotation[1], n.rotation[2], n.rotation[3]};
    t.s = {n.scale[0], n.scale[1], n.scale[2]};
  }
  float v[4];
  for (const auto& r : a.rotations) {
    SampleTrack(r.second, seconds, v);
    (*locals)[(size_t)a.humanoid.at(r.first)].r = {v[0], v[1], v[2], v[3]};
  }
  if (!a.hipsTranslation.empty() && a.humanoid.count("hips")) {
    SampleTrack(a.hipsTranslation, seconds, v);
    (*locals)[(size_t)a.humanoid.at("hips")].t = {v[0], v[1], v[2]};
  }
}

}  // namespace vrm
