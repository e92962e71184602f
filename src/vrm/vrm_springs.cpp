#include "vrm/vrm_springs.h"

#include "vrm/vrm_json.h"

namespace vrm {

namespace {

using Json = nlohmann::json;

int Index(const Json& v) {
  if (!v.is_number_integer()) return -2;  // out of range for every list
  const long long i = v.get<long long>();
  return i < -1 || i > 1 << 30 ? -2 : static_cast<int>(i);
}

// [x, y, z] (1.0) or {"x", "y", "z"} (0.x).
void Vector(const Json& v, float out[3]) {
  if (v.is_array() && v.size() == 3) {
    for (int k = 0; k < 3; ++k)
      if (v[k].is_number()) out[k] = v[k].get<float>();
  } else if (v.is_object()) {
    const char* names[3] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k) out[k] = Number(v, names[k], out[k]);
  }
}

std::vector<int> Indices(const Json& v) {
  std::vector<int> out;
  if (v.is_array())
    for (const Json& e : v) out.push_back(Index(e));
  return out;
}

const Json& List(const Json& o, const char* key) {
  static const Json empty = Json::array();
  const Json& v = Member(o, key);
  return v.is_array() ? v : empty;
}

Vrm1SpringBoneIn Read1(const Json& ext) {
  Vrm1SpringBoneIn in;
  for (const Json& c : List(ext, "colliders")) {
    Vrm1ColliderIn k;
    k.node = Index(Member(c, "node"));
    const Json& shape = Member(c, "shape");
    const Json& sphere = Member(shape, "sphere");
    const Json& capsule = Member(shape, "capsule");
    k.capsule = capsule.is_object();
    const Json& s = k.capsule ? capsule : sphere;
    Vector(Member(s, "offset"), k.offset);
    k.radius = Number(s, "radius", 0);
    if (k.capsule) Vector(Member(s, "tail"), k.tail);
    if (!k.capsule && !sphere.is_object()) k.node = -2;  // no shape: left out
    in.colliders.push_back(k);
  }
  for (const Json& g : List(ext, "colliderGroups")) in.collider_groups.push_back(Indices(Member(g, "colliders")));
  for (const Json& s : List(ext, "springs")) {
    Vrm1SpringIn spring;
    for (const Json& j : List(s, "joints")) {
      Vrm1JointIn joint;
      joint.node = Index(Member(j, "node"));
      joint.hit_radius = Number(j, "hitRadius", joint.hit_radius);
      joint.stiffness = Number(j, "stiffness", joint.stiffness);
      joint.gravity_power = Number(j, "gravityPower", joint.gravity_power);
      Vector(Member(j, "gravityDir"), joint.gravity_dir);
      joint.drag = Number(j, "dragForce", joint.drag);
      spring.joints.push_back(joint);
    }
    spring.collider_groups = Indices(Member(s, "colliderGroups"));
    const Json& centre = Member(s, "center");
    spring.center = centre.is_null() ? -1 : Index(centre);
    in.springs.push_back(spring);
  }
  return in;
}

Vrm0SecondaryIn Read0(const Json& ext) {
  Vrm0SecondaryIn in;
  for (const Json& g : List(ext, "colliderGroups")) {
    Vrm0ColliderGroupIn group;
    group.node = Index(Member(g, "node"));
    for (const Json& c : List(g, "colliders")) {
      Vrm0ColliderIn k;
      Vector(Member(c, "offset"), k.offset);
      k.radius = Number(c, "radius", 0);
      group.colliders.push_back(k);
    }
    in.collider_groups.push_back(group);
  }
  for (const Json& g : List(ext, "boneGroups")) {
    Vrm0BoneGroupIn group;
    // The format's own spelling, and the word as it should be.
    group.stiffness = Number(g, "stiffiness", Number(g, "stiffness", group.stiffness));
    group.gravity_power = Number(g, "gravityPower", group.gravity_power);
    Vector(Member(g, "gravityDir"), group.gravity_dir);
    group.drag = Number(g, "dragForce", group.drag);
    group.hit_radius = Number(g, "hitRadius", group.hit_radius);
    const Json& centre = Member(g, "center");
    group.center = centre.is_null() ? -1 : Index(centre);
    group.bones = Indices(Member(g, "bones"));
    group.collider_groups = Indices(Member(g, "colliderGroups"));
    in.bone_groups.push_back(group);
  }
  return in;
}

}  // namespace

SpringSetup FileSprings(const Document& doc, std::string* warning) {
  std::vector<SpringFileNode> nodes(doc.nodes.size());
  for (size_t i = 0; i < doc.nodes.size(); ++i) {
    const Node& n = doc.nodes[i];
    SpringFileNode& f = nodes[i];
    f.children = n.children;
    std::copy(n.translation, n.translation + 3, f.translation);
    std::copy(n.rotation, n.rotation + 4, f.rotation);
    std::copy(n.scale, n.scale + 3, f.scale);
  }
  warning->clear();
  if (doc.version == Version::k1)
    return doc.springs.is_object() ? SpringsFromVrm1(nodes, Read1(doc.springs), warning) : SpringSetup();
  const Json& secondary = Member(doc.vrm, "secondaryAnimation");
  return secondary.is_object() ? SpringsFromVrm0(nodes, Read0(secondary), warning) : SpringSetup();
}

}  // namespace vrm
