#include "springs/springs_store.h"

#include <vector>

namespace {

using Json = nlohmann::json;

Json Floats(const float* v, int n) { return Json(std::vector<float>(v, v + n)); }

// Reads what the writer wrote; a wrong type or length makes the whole read fail.
struct Reader {
  std::string what;
  bool Int(const Json& o, const char* key, int* out) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_number_integer()) return Fail(key);
    const long long v = it->get<long long>();
    if (v < -1 || v > 1000000000) return Fail(key);
    *out = static_cast<int>(v);
    return true;
  }
  bool Float(const Json& o, const char* key, float* out) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_number()) return Fail(key);
    *out = it->get<float>();
    return true;
  }
  bool Floats(const Json& o, const char* key, float* out, size_t n) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_array() || it->size() != n) return Fail(key);
    for (size_t i = 0; i < n; ++i) {
      if (!(*it)[i].is_number()) return Fail(key);
      out[i] = (*it)[i].get<float>();
    }
    return true;
  }
  bool Ints(const Json& j, const char* key, std::vector<int>* out) {
    if (!j.is_array()) return Fail(key);
    for (const Json& v : j) {
      if (!v.is_number_integer()) return Fail(key);
      const long long x = v.get<long long>();
      if (x < -1 || x > 1000000000) return Fail(key);
      out->push_back(static_cast<int>(x));
    }
    return true;
  }
  bool Array(const Json& o, const char* key, const Json** out) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_array()) return Fail(key);
    *out = &*it;
    return true;
  }
  bool Fail(const char* key) {
    what = key;
    return false;
  }
};

}  // namespace

nlohmann::json SpringsToJson(const SpringSetup& s) {
  Json joints = Json::array(), chains = Json::array(), colliders = Json::array();
  for (const SpringJoint& j : s.joints)
    joints.push_back({{"parent_joint", j.parent_joint},
                      {"parent_node", j.parent_node},
                      {"offset", Floats(j.offset, 3)},
                      {"rotation", Floats(j.rotation, 4)},
                      {"scale", Floats(j.scale, 3)},
                      {"tail", Floats(j.tail, 3)},
                      {"hit_radius", j.hit_radius},
                      {"stiffness", j.stiffness},
                      {"gravity_power", j.gravity_power},
                      {"gravity_dir", Floats(j.gravity_dir, 3)},
                      {"drag", j.drag},
                      {"chain", j.chain}});
  for (const SpringChain& c : s.chains)
    chains.push_back({{"centre_node", c.centre_node}, {"collider_groups", c.collider_groups}});
  for (const SpringCollider& c : s.colliders)
    colliders.push_back({{"node", c.node},
                         {"capsule", c.capsule},
                         {"offset", Floats(c.offset, 3)},
                         {"tail", Floats(c.tail, 3)},
                         {"radius", c.radius}});
  return {{"node_ids", s.node_ids}, {"joint_ids", s.joint_ids}, {"joints", joints},
          {"chains", chains},       {"colliders", colliders},   {"collider_groups", s.collider_groups}};
}

bool SpringsFromJson(const nlohmann::json& j, SpringSetup* out, std::string* error) {
  SpringSetup s;
  Reader r;
  const Json *joints = nullptr, *chains = nullptr, *colliders = nullptr, *groups = nullptr, *nodes = nullptr,
             *ids = nullptr;
  bool ok = j.is_object() && r.Array(j, "node_ids", &nodes) && r.Array(j, "joint_ids", &ids) &&
            r.Array(j, "joints", &joints) && r.Array(j, "chains", &chains) && r.Array(j, "colliders", &colliders) &&
            r.Array(j, "collider_groups", &groups) && r.Ints(*nodes, "node_ids", &s.node_ids) &&
            r.Ints(*ids, "joint_ids", &s.joint_ids);
  if (!j.is_object()) r.what = "the setup";
  for (size_t i = 0; ok && i < joints->size(); ++i) {
    const Json& o = (*joints)[i];
    SpringJoint k;
    ok = o.is_object() && r.Int(o, "parent_joint", &k.parent_joint) && r.Int(o, "parent_node", &k.parent_node) &&
         r.Floats(o, "offset", k.offset, 3) && r.Floats(o, "rotation", k.rotation, 4) &&
         r.Floats(o, "scale", k.scale, 3) && r.Floats(o, "tail", k.tail, 3) &&
         r.Float(o, "hit_radius", &k.hit_radius) && r.Float(o, "stiffness", &k.stiffness) &&
         r.Float(o, "gravity_power", &k.gravity_power) && r.Floats(o, "gravity_dir", k.gravity_dir, 3) &&
         r.Float(o, "drag", &k.drag) && r.Int(o, "chain", &k.chain);
    if (!o.is_object()) r.what = "joints";
    s.joints.push_back(k);
  }
  for (size_t i = 0; ok && i < chains->size(); ++i) {
    const Json& o = (*chains)[i];
    SpringChain c;
    auto it = o.is_object() ? o.find("collider_groups") : o.end();
    ok = o.is_object() && r.Int(o, "centre_node", &c.centre_node) && it != o.end() &&
         r.Ints(*it, "collider_groups", &c.collider_groups);
    if (!ok && r.what.empty()) r.what = "chains";
    s.chains.push_back(c);
  }
  for (size_t i = 0; ok && i < colliders->size(); ++i) {
    const Json& o = (*colliders)[i];
    SpringCollider c;
    auto it = o.is_object() ? o.find("capsule") : o.end();
    ok = o.is_object() && r.Int(o, "node", &c.node) && it != o.end() && it->is_boolean() &&
         r.Floats(o, "offset", c.offset, 3) && r.Floats(o, "tail", c.tail, 3) && r.Float(o, "radius", &c.radius);
    if (!ok && r.what.empty()) r.what = "colliders";
    if (ok) c.capsule = it->get<bool>();
    s.colliders.push_back(c);
  }
  for (size_t i = 0; ok && i < groups->size(); ++i) {
    s.collider_groups.emplace_back();
    ok = r.Ints((*groups)[i], "collider_groups", &s.collider_groups.back());
  }
  if (!ok) {
    *error = "springs: the stored setup's " + r.what + " cannot be read";
    return false;
  }
  *out = std::move(s);
  return true;
}
