#include "kit/vrm_builder.h"

#include <cmath>
#include <iterator>
#include <map>
#include <vector>

#include "kit/scene_builder.h"
#include "picture/picture_file.h"
#include "rig/girl_humanoid.h"
#include "vrm/vrm_math.h"

namespace testkit {

namespace {

using vrm::Quat;
using vrm::Vec3;

struct BoneRow {
  const char* name;
  const char* parent;
  Vec3 at;  // joint in the T-pose, 1.0's facing, metres
  bool optional;
};

#define LIMBS(side, sign)                                              \
  {side "Shoulder", "chest", {sign 0.04, 1.36, 0}, true},              \
      {side "UpperArm", side "Shoulder", {sign 0.15, 1.36, 0}, false}, \
      {side "LowerArm", side "UpperArm", {sign 0.40, 1.36, 0}, false}, \
      {side "Hand", side "LowerArm", {sign 0.63, 1.36, 0}, false},     \
      {side "UpperLeg", "hips", {sign 0.09, 0.90, 0}, false},          \
      {side "LowerLeg", side "UpperLeg", {sign 0.09, 0.50, 0}, false}, \
      {side "Foot", side "LowerLeg", {sign 0.09, 0.08, 0}, false},     \
      {side "Toes", side "Foot", {sign 0.09, 0.02, 0.10}, true}, {     \
    side "Eye", "head", {sign 0.03, 1.58, 0.07}, true                  \
  }

const BoneRow kRows[] = {
    {"hips", nullptr, {0, 0.95, 0}, false},
    {"spine", "hips", {0, 1.05, 0}, false},
    {"chest", "spine", {0, 1.20, 0}, true},
    {"neck", "chest", {0, 1.40, 0}, true},
    {"head", "neck", {0, 1.50, 0}, false},
    {"jaw", "head", {0, 1.53, 0.03}, true},
    LIMBS("left", +),
    LIMBS("right", -),
};
#undef LIMBS

const BoneRow* Row(const std::string& name) {
  for (const BoneRow& r : kRows)
    if (name == r.name) return &r;
  return nullptr;
}

bool IsArm(const std::string& name, bool* left) {
  for (const char* part : {"UpperArm", "LowerArm", "Hand"})
    for (const char* side : {"left", "right"})
      if (name == std::string(side) + part) {
        *left = side[0] == 'l';
        return true;
      }
  return false;
}

// A box (8 corners) along the segment a..b, `half` thick each way and
// reaching `half` past either end: positions, outward normals, triangles
// wound counter-clockwise seen from outside.
void Box(Vec3 a, Vec3 b, double half, std::vector<Vec3>* pos, std::vector<Vec3>* nrm, std::vector<uint16_t>* tri) {
  const uint16_t base = static_cast<uint16_t>(pos->size());
  const Vec3 along = (b - a) * (1 / vrm::Length(b - a));
  Vec3 across = vrm::Cross(along, std::fabs(along.y) < 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0});
  across = across * (1 / vrm::Length(across));
  const Vec3 third = vrm::Cross(along, across);
  const Vec3 lo = a - along * half, hi = b + along * half;
  const Vec3 mid = (lo + hi) * 0.5;
  for (int i = 0; i < 8; ++i) {
    const Vec3 p = (i & 1 ? hi : lo) + across * (i & 2 ? half : -half) + third * (i & 4 ? half : -half);
    pos->push_back(p);
    const Vec3 d = p - mid;
    nrm->push_back(d * (1 / vrm::Length(d)));
  }
  const int quads[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
  for (const auto& q : quads) {
    uint16_t t[6] = {(uint16_t)q[0], (uint16_t)q[1], (uint16_t)q[2], (uint16_t)q[0], (uint16_t)q[2], (uint16_t)q[3]};
    const Vec3 p0 = (*pos)[base + t[0]], p1 = (*pos)[base + t[1]], p2 = (*pos)[base + t[2]];
    if (vrm::Dot(vrm::Cross(p1 - p0, p2 - p0), ((p0 + p2) * 0.5) - mid) < 0)
      std::swap(t[1], t[2]), std::swap(t[4], t[5]);
    for (uint16_t k : t) tri->push_back(static_cast<uint16_t>(base + k));
  }
}

std::vector<float> Flat(const std::vector<Vec3>& v) {
  std::vector<float> out;
  for (const Vec3& p : v) out.insert(out.end(), {(float)p.x, (float)p.y, (float)p.z});
  return out;
}

}  // namespace

vrm::GlbBuilder TinyVrma(const std::vector<std::string>& turned, double degrees, double hipsRise) {
  struct Bone {
    const char* name;
    int parent;
    float at[3];  // from the parent, metres
  };
  static const Bone kBones[] = {
      {"hips", -1, {0, 0.9f, 0}},
      {"spine", 0, {0, 0.1f, 0}},
      {"chest", 1, {0, 0.15f, 0}},
      {"neck", 2, {0, 0.2f, 0}},
      {"head", 3, {0, 0.1f, 0}},
      {"leftUpperArm", 2, {0.18f, 0.15f, 0}},
      {"leftLowerArm", 5, {0.25f, 0, 0}},
      {"leftHand", 6, {0.22f, 0, 0}},
      {"rightUpperArm", 2, {-0.18f, 0.15f, 0}},
      {"rightLowerArm", 8, {-0.25f, 0, 0}},
      {"rightHand", 9, {-0.22f, 0, 0}},
      {"leftUpperLeg", 0, {0.09f, -0.05f, 0}},
      {"leftLowerLeg", 11, {0, -0.4f, 0}},
      {"leftFoot", 12, {0, -0.4f, 0}},
      {"rightUpperLeg", 0, {-0.09f, -0.05f, 0}},
      {"rightLowerLeg", 14, {0, -0.4f, 0}},
      {"rightFoot", 15, {0, -0.4f, 0}},
  };
  vrm::GlbBuilder g;
  nlohmann::json& j = g.json;
  nlohmann::json bones = nlohmann::json::object();
  for (size_t b = 0; b < std::size(kBones); ++b) {
    j["nodes"].push_back(
        {{"name", kBones[b].name}, {"translation", {kBones[b].at[0], kBones[b].at[1], kBones[b].at[2]}}});
    if (kBones[b].parent >= 0) j["nodes"][(size_t)kBones[b].parent]["children"].push_back(b);
    bones[kBones[b].name] = {{"node", b}};
  }
  j["scenes"].push_back({{"nodes", {0}}});
  j["scene"] = 0;
  const std::vector<float> times = {0, 0.5f, 1};
  const int input = g.Floats(times, "SCALAR", true);
  nlohmann::json channels = nlohmann::json::array(), samplers = nlohmann::json::array();
  auto channel = [&](int node, const char* path, int output) {
    channels.push_back({{"sampler", samplers.size()}, {"target", {{"node", node}, {"path", path}}}});
    samplers.push_back({{"input", input}, {"output", output}, {"interpolation", "LINEAR"}});
  };
  for (const std::string& name : turned) {
    std::vector<float> q;
    for (double u : {0.0, 0.5, 1.0}) {
      const double half = degrees * u * M_PI / 360;
      q.insert(q.end(), {0, 0, (float)std::sin(half), (float)std::cos(half)});
    }
    channel(bones.at(name)["node"].get<int>(), "rotation", g.Floats(q, "VEC4"));
  }
  if (hipsRise != 0)
    channel(0, "translation",
            g.Floats({0, 0.9f, 0, 0, (float)(0.9 + hipsRise / 2), 0, 0, (float)(0.9 + hipsRise), 0}, "VEC3"));
  j["animations"].push_back({{"channels", channels}, {"samplers", samplers}});
  j["extensions"]["VRMC_vrm_animation"] = {{"specVersion", "1.0"}, {"humanoid", {{"humanBones", bones}}}};
  j["extensionsUsed"].push_back("VRMC_vrm_animation");
  return g;
}

vrm::GlbBuilder TinyVrm(const TinyVrmShape& shape) {
  const bool v0 = shape.version == vrm::Version::k0x;
  // 0.x faces the other way: half a turn about y.
  auto face = [&](Vec3 p) { return v0 ? Vec3{-p.x, p.y, -p.z} : p; };
  auto faceQ = [&](Quat q) { return v0 ? Quat{-q.x, q.y, -q.z, q.w} : q; };

  // The bones present, with their world placements at rest.
  struct Bone {
    std::string name;
    int parent = -1;  // into bones
    Vec3 at;
    Quat turn;
  };
  std::vector<Bone> bones;
  std::map<std::string, int> index;
  for (const BoneRow& r : kRows) {
    if (r.optional && !shape.optionalBones) continue;
    Bone b;
    b.name = r.name;
    for (const char* p = r.parent; p; p = Row(p)->parent)
      if (index.count(p)) {
        b.parent = index[p];
        break;
      }
    b.at = r.at;
    bool left = false;
    if (shape.aPose && IsArm(b.name, &left)) {
      const Vec3 pivot = Row(left ? "leftUpperArm" : "rightUpperArm")->at;
      const Quat down = vrm::AxisAngle({0, 0, 1}, (left ? -40.0 : 40.0) * M_PI / 180);
      b.at = pivot + vrm::Rotate(down, b.at - pivot);
    }
    if (shape.restRotations) {
      const double k = static_cast<double>(bones.size());
      const Vec3 axis{std::sin(k), std::cos(k * 0.7), 0.5};
      b.turn = vrm::AxisAngle(axis * (1 / vrm::Length(axis)), 0.4 + 0.15 * k);
    }
    b.at = face(b.at * shape.metres);
    b.turn = faceQ(b.turn);
    index[b.name] = static_cast<int>(bones.size());
    bones.push_back(b);
  }

  vrm::GlbBuilder g;
  nlohmann::json& j = g.json;
  // Node 0 holds the skinned mesh; bones follow; the hat comes last.
  j["nodes"].push_back({{"name", "body"}, {"mesh", 0}, {"skin", 0}});
  std::map<std::string, int> humanoid;
  for (size_t i = 0; i < bones.size(); ++i) {
    const Bone& b = bones[i];
    Vec3 t = b.at;
    Quat r = b.turn;
    if (b.parent >= 0) {
      const Bone& p = bones[(size_t)b.parent];
      t = vrm::Rotate(vrm::Conjugate(p.turn), b.at - p.at);
      r = vrm::Conjugate(p.turn) * b.turn;
    }
    nlohmann::json node = {{"name", b.name}, {"translation", {t.x, t.y, t.z}}};
    if (shape.restRotations) node["rotation"] = {r.x, r.y, r.z, r.w};
    j["nodes"].push_back(node);
    humanoid[b.name] = static_cast<int>(i) + 1;
  }
  for (size_t i = 0; i < bones.size(); ++i)
    if (bones[i].parent >= 0) j["nodes"][(size_t)bones[i].parent + 1]["children"].push_back(i + 1);

  // A box around each bone, up to its first child (leaves: a small cube).
  std::vector<Vec3> pos, nrm;
  std::vector<uint16_t> tri, joints;
  std::vector<float> weights, ibm;
  for (size_t i = 0; i < bones.size(); ++i) {
    // Leaves go on the way their parent points (the head straight up).
    const Vec3 a = bones[i].at;
    Vec3 tip = a + face(Vec3{0, 0.2, 0} * shape.metres);
    if (bones[i].name != "head" && bones[i].parent >= 0) {
      const Vec3 d = a - bones[(size_t)bones[i].parent].at;
      tip = a + d * (0.05 * shape.metres / vrm::Length(d));
    }
    for (size_t c = 0; c < bones.size(); ++c)
      if (bones[c].parent == (int)i) {
        tip = bones[c].at;
        break;
      }
    Box(a, tip, (bones[i].name == "head" ? 0.08 : 0.035) * shape.metres, &pos, &nrm, &tri);
    for (int v = 0; v < 8; ++v) {
      joints.insert(joints.end(), {static_cast<uint16_t>(i), 0, 0, 0});
      weights.insert(weights.end(), {1, 0, 0, 0});
    }
    // The inverse of the bone's placement, column-major.
    const Quat inv = vrm::Conjugate(bones[i].turn);
    const Vec3 c0 = vrm::Rotate(inv, {1, 0, 0}), c1 = vrm::Rotate(inv, {0, 1, 0}), c2 = vrm::Rotate(inv, {0, 0, 1});
    const Vec3 t = vrm::Rotate(inv, bones[i].at) * -1.0;
    const double m[16] = {c0.x, c0.y, c0.z, 0, c1.x, c1.y, c1.z, 0, c2.x, c2.y, c2.z, 0, t.x, t.y, t.z, 1};
    for (double v : m) ibm.push_back((float)v);
  }
  std::vector<float> uv;
  for (const Vec3& p : pos) uv.insert(uv.end(), {(float)(p.x * 4), (float)(1 - p.y)});
  nlohmann::json body = {{"attributes",
                          {{"POSITION", g.Floats(Flat(pos), "VEC3", true)},
                           {"NORMAL", g.Floats(Flat(nrm), "VEC3")},
                           {"TEXCOORD_0", g.Floats(uv, "VEC2")},
                           {"JOINTS_0", g.Accessor(joints.data(), joints.size() / 4, 5123, "VEC4")},
                           {"WEIGHTS_0", g.Floats(weights, "VEC4")}}},
                         {"indices", g.Accessor(tri.data(), tri.size(), 5123, "SCALAR")},
                         {"material", 0}};
  j["meshes"].push_back({{"name", "body"}, {"primitives", {body}}});
  nlohmann::json skinJoints;
  for (size_t i = 0; i < bones.size(); ++i) skinJoints.push_back(i + 1);
  j["skins"].push_back({{"joints", skinJoints}, {"inverseBindMatrices", g.Floats(ibm, "MAT4")}});

  // The hat, on the head node, in the head's own axes.
  const Bone& head = bones[(size_t)index["head"]];
  std::vector<Vec3> hp, hn;
  std::vector<uint16_t> ht;
  const double s = shape.metres;
  Box({0, 0.03 * s, 0}, {0, 0.03 * s + 1e-3, 0}, 0.07 * s, &hp, &hn, &ht);
  std::vector<Vec3> raise(hp.size());
  for (size_t v = 0; v < hp.size(); ++v)
    if (hp[v].y > 0.05 * s) raise[v] = {0, 0.05 * s, 0};
  const Quat toHead = vrm::Conjugate(head.turn);
  for (auto* list : {&hp, &hn, &raise})
    for (Vec3& v : *list) v = vrm::Rotate(toHead, face(v));
  const Vec3 lift = vrm::Rotate(vrm::Conjugate(head.turn), face(Vec3{0, 0.22 * s, 0}));
  nlohmann::json hat = {
      {"attributes", {{"POSITION", g.Floats(Flat(hp), "VEC3", true)}, {"NORMAL", g.Floats(Flat(hn), "VEC3")}}},
      {"indices", g.Accessor(ht.data(), ht.size(), 5123, "SCALAR")},
      {"material", 1},
      {"targets", {{{"POSITION", g.Floats(Flat(raise), "VEC3", true)}}}}};
  j["meshes"].push_back(
      {{"name", "hat"}, {"primitives", {hat}}, {"weights", {0.0}}, {"extras", {{"targetNames", {"raise"}}}}});
  const int hatNode = static_cast<int>(j["nodes"].size());
  j["nodes"].push_back({{"name", "hat"}, {"mesh", 1}, {"translation", {lift.x, lift.y, lift.z}}});
  j["nodes"][(size_t)index["head"] + 1]["children"].push_back(hatNode);

  // A 4x4 checker picture and two materials.
  std::vector<uint8_t> rgba;
  for (int p = 0; p < 16; ++p) {
    const uint8_t v = ((p & 1) ^ ((p >> 2) & 1)) ? 230 : 120;
    rgba.insert(rgba.end(), {v, v, v, 255});
  }
  std::vector<uint8_t> png;
  EncodePngBytes(4, 4, rgba.data(), &png);
  g.Image(png, "image/png");
  j["textures"].push_back({{"source", 0}});
  j["materials"].push_back({{"name", "skin"}, {"pbrMetallicRoughness", {{"baseColorTexture", {{"index", 0}}}}}});
  j["materials"].push_back({{"name", "hat"}, {"pbrMetallicRoughness", {{"baseColorFactor", {1.0, 0.2, 0.2, 1.0}}}}});
  j["scenes"].push_back({{"nodes", {0, 1}}});
  j["scene"] = 0;
  vrm::AddVrmExtension(j, shape.version, humanoid, "Tiny", "Ovanta's tests");
  return g;
}

int TinyVrmNode(const vrm::GlbBuilder& file, const std::string& bone) {
  const nlohmann::json& ext = file.json["extensions"];
  if (ext.contains("VRMC_vrm")) {
    const nlohmann::json& bones = ext["VRMC_vrm"]["humanoid"]["humanBones"];
    return bones.contains(bone) ? bones[bone]["node"].get<int>() : -1;
  }
  for (const nlohmann::json& b : ext["VRM"]["humanoid"]["humanBones"])
    if (b["bone"] == bone) return b["node"].get<int>();
  return -1;
}

void BuildHerStandIn(CPODScene& s) {
  const uint32_t frames = 4;
  AllocScene(s, 1, 1 + kGirlHumanBoneCount, 1, 0, 0, frames);
  SetFloats(s.meshes[0].vertices, 3, {-40, 0, 0, 40, 0, 0, 0, 340, 0});
  SetFloats(s.meshes[0].normals, 3, {0, 0, 1, 0, 0, 1, 0, 0, 1});
  SetIndices(s.meshes[0], {0, 1, 2});
  s.meshes[0].vertexCount = 3;
  s.meshes[0].faceCount = 1;
  // The tiny humanoid's joints, 200 units a metre, each bone under the
  // nearest of its parents she has.
  for (int b = 0; b < kGirlHumanBoneCount; ++b) {
    SPODNode& n = s.nodes[1 + b];
    std::free(n.name);
    n.name = PODStrDup(kGirlHumanBones[b].girl);
    const BoneRow* row = Row(kGirlHumanBones[b].humanoid);
    Vec3 at = row->at * 200.0, parentAt;
    for (const char* p = row->parent; p; p = Row(p)->parent)
      for (int k = 0; k < b; ++k)
        if (n.parentIndex < 0 && std::string(kGirlHumanBones[k].humanoid) == p) {
          n.parentIndex = 1 + k;
          parentAt = Row(p)->at * 200.0;
        }
    at = at - parentAt;
    SetPosition(n, (float)at.x, (float)at.y, (float)at.z);
    SetSpinZ(n, frames, 0.05f * (b % 3));
  }
  s.InitImpl();
}

}  // namespace testkit
