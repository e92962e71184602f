// Her VRM exports: her model in one look as a VRM file of either version,
// for the character import to be held to her (an import of them must draw
// and move as she does) and for anyone to take her elsewhere. Her mesh,
// skin and skeleton (every bone, the humanoid ones mapped through
// rig/girl_humanoid.h, the others kept by name), her composed picture as
// PNG, in metres; VRM 0.x faces -Z, 1.0 +Z as she does. Her face rig's
// blink and mouth shapes are expressions (morph targets baked from the rig
// itself, face/face_rig), her eyes a bone look-at turning as hers do. Her hair tails are
// spring chains that keep off her head and shoulders, and her skirt is a
// ring of chains of bones of its own that keep off her thighs (1.0
// VRMC_springBone, 0.x secondaryAnimation), with no pull of their own: at
// rest they hang as she is made. Her dance goes out as a VRM animation of her humanoid
// bones, resting as her VRM 1.0 export rests.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>

#include "face/face_rig.h"
#include "girlgen.h"
#include "picture/picture_file.h"
#include "rig/face_bones.h"
#include "rig/girl_humanoid.h"
#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"
#include "vrm/glb_write.h"

namespace girlgen {

namespace {

// Her model units in metres: she stands 1.7 m tall.
constexpr double kMetresPerUnit = 0.005;

// Writes `bytes` to `path` through a temporary file beside it.
bool WriteFileAtomically(const std::vector<uint8_t>& bytes, const std::string& path) {
  FILE* f = std::fopen((path + ".tmp").c_str(), "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) ok = std::fclose(f) == 0 && ok;
  if (!ok || std::rename((path + ".tmp").c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "girlgen: could not write %s\n", path.c_str());
    std::remove((path + ".tmp").c_str());
    return false;
  }
  return true;
}

int BoneNamed(const char* name) {
  for (int b = 0; b < kBoneCount; ++b)
    if (std::strcmp(kBones[b].name, name) == 0) return b;
  return -1;
}

// Her skirt's bones: kSkirtChains chains round it, each of kSkirtJoints
// joints from a little below its top down to its hem, on its surface; the
// first hangs from her hips. Joint k of chain c is skirt bone c *
// kSkirtJoints + k, node kBoneCount + 1 + that.
constexpr int kSkirtChains = 8, kSkirtJoints = 3;
struct SkirtBones {
  std::vector<V3> at;  // where each rests
  float rootY = 0, midY = 0, tipY = 0;
};

SkirtBones SkirtBonesOf(const Skirt& s) {
  SkirtBones b;
  b.rootY = s.top.y - 0.15f * (s.top.y - s.hem.y);
  b.tipY = s.hem.y;
  b.midY = 0.5f * (b.rootY + b.tipY);
  for (int c = 0; c < kSkirtChains; ++c) {
    const float angle = 6.2831853f * (float)c / kSkirtChains;
    for (float y : {b.rootY, b.midY, b.tipY}) {
      // The cone's radius there, as the mesh draws it.
      const float t = (s.top.y - y) / (s.top.y - s.hem.y);
      const float r = s.topRadius + (s.hemRadius - s.topRadius) * std::pow(t, 0.9f);
      b.at.push_back(V3(s.top.x + r * std::sin(angle), y, s.top.z + kSkirtDepth * r * std::cos(angle)));
    }
  }
  return b;
}

// Skins her skirt's cloth to its bones: what lies on her hips alone below
// the chains' roots, outside her legs (its underside near them stays). Round
// the skirt a vertex follows the two chains beside it; down it, the hips
// and then each joint in turn.
void SkinSkirt(const Skirt& s, const SkirtBones& b, const Vertex& v, uint16_t bone[4], float weight[4]) {
  const int hips = BoneNamed("hips");
  if (v.pos.y >= b.rootY || v.pos.y < s.hem.y - 6 || v.weight[0] < 0.999f || v.bone[0] != hips) return;
  const float dx = v.pos.x - s.top.x, dz = (v.pos.z - s.top.z) / kSkirtDepth;
  const float t = (s.top.y - v.pos.y) / (s.top.y - s.hem.y);
  const float r = s.topRadius + (s.hemRadius - s.topRadius) * std::pow(std::min(t, 1.0f), 0.9f);
  if (std::sqrt(dx * dx + dz * dz) < 0.8f * r) return;
  float round = std::atan2(dx, dz) / 6.2831853f * kSkirtChains;
  if (round < 0) round += kSkirtChains;
  const int a = (int)round % kSkirtChains, c = (a + 1) % kSkirtChains;
  const float f = round - std::floor(round);
  // Down the skirt: from the hips (level -1) to the first joint, then to the second.
  int upper;
  float u;
  if (v.pos.y >= b.midY) {
    upper = -1, u = (b.rootY - v.pos.y) / (b.rootY - b.midY);
  } else {
    upper = 0, u = std::min(1.0f, (b.midY - v.pos.y) / (b.midY - b.tipY));
  }
  auto node = [&](int chain, int level) {
    return (uint16_t)(level < 0 ? hips : kBoneCount + chain * kSkirtJoints + level);
  };
  const uint16_t bones[4] = {node(a, upper), node(c, upper), node(a, upper + 1), node(c, upper + 1)};
  const float weights[4] = {(1 - u) * (1 - f), (1 - u) * f, u * (1 - f), u * f};
  for (int k = 0; k < 4; ++k) bone[k] = bones[k], weight[k] = weights[k];
  if (upper < 0) bone[1] = 0, weight[0] = 1 - u, weight[1] = 0;  // the hips once
}

// Her hair tails as springs: each tail's bones a chain, kept off a sphere
// round her head and a bar across her shoulders; her skirt's chains (when
// `skirt`) kept off her thighs.
void AddSprings(nlohmann::json& j, vrm::Version version, bool skirt, const std::function<nlohmann::json(V3)>& place) {
  const int head = BoneNamed("head") + 1, chest = BoneNamed("chest") + 1;
  const V3 headCentre(0, 18, -1), shoulderL(22, 36, -3), shoulderR(-22, 36, -3);
  const double headRadius = 20 * kMetresPerUnit, shoulderRadius = 8 * kMetresPerUnit, hit = 4 * kMetresPerUnit;
  const double stiffness = 1.0, drag = 0.4;
  // Her thighs, hip to knee, a little inside her skin: the skirt's joints
  // at rest stay clear of them.
  const int thighs[2] = {BoneNamed("thigh_l"), BoneNamed("thigh_r")};
  const double thighRadius = 11 * kMetresPerUnit, skirtHit = 3 * kMetresPerUnit;
  auto knee = [&](int thigh) {
    return kBones[BoneNamed(thigh == thighs[0] ? "shin_l" : "shin_r")].bindPos - kBones[thigh].bindPos;
  };
  if (version == vrm::Version::k1) {
    nlohmann::json springs = nlohmann::json::array();
    auto joint = [&](int node, double radius) {
      return nlohmann::json{{"node", node},
                            {"hitRadius", radius},
                            {"stiffness", stiffness},
                            {"gravityPower", 0.0},
                            {"gravityDir", {0.0, -1.0, 0.0}},
                            {"dragForce", drag}};
    };
    for (const char* side : {"l", "r"}) {
      nlohmann::json joints = nlohmann::json::array();
      for (int k = 1; k <= 3; ++k)
        joints.push_back(joint(BoneNamed(("tail_" + std::string(side) + std::to_string(k)).c_str()) + 1, hit));
      springs.push_back({{"name", std::string("tail_") + side}, {"joints", joints}, {"colliderGroups", {0}}});
    }
    for (int c = 0; skirt && c < kSkirtChains; ++c) {
      nlohmann::json joints = nlohmann::json::array();
      for (int k = 0; k < kSkirtJoints; ++k) joints.push_back(joint(kBoneCount + 1 + c * kSkirtJoints + k, skirtHit));
      springs.push_back({{"name", "skirt_" + std::to_string(c)}, {"joints", joints}, {"colliderGroups", {1}}});
    }
    using Json = nlohmann::json;
    Json sphere = {{"offset", place(headCentre)}, {"radius", headRadius}};
    Json capsule = {{"offset", place(shoulderR)}, {"radius", shoulderRadius}, {"tail", place(shoulderL)}};
    Json colliders = Json::array();
    colliders.push_back({{"node", head}, {"shape", {{"sphere", sphere}}}});
    colliders.push_back({{"node", chest}, {"shape", {{"capsule", capsule}}}});
    Json groups = Json::array({Json{{"name", "head and shoulders"}, {"colliders", {0, 1}}}});
    if (skirt) {
      for (int thigh : thighs) {
        Json leg = {{"offset", place(V3(0, 0, 0))}, {"radius", thighRadius}, {"tail", place(knee(thigh))}};
        colliders.push_back({{"node", thigh + 1}, {"shape", {{"capsule", leg}}}});
      }
      groups.push_back(Json{{"name", "thighs"}, {"colliders", {2, 3}}});
    }
    Json ext = Json::object();
    ext["specVersion"] = "1.0";
    ext["colliders"] = colliders;
    ext["colliderGroups"] = groups;
    ext["springs"] = springs;
    j["extensions"]["VRMC_springBone"] = ext;
    j["extensionsUsed"].push_back("VRMC_springBone");
    return;
  }
  // 0.x vectors are left-handed: z turned round.
  auto vec0 = [&](V3 p) {
    const nlohmann::json v = place(p);
    return nlohmann::json{{"x", v[0]}, {"y", v[1]}, {"z", -v[2].get<double>()}};
  };
  using Json = nlohmann::json;
  Json bones = {{"comment", "hair tails"}, {"stiffiness", stiffness},
                {"gravityPower", 0.0},     {"gravityDir", {{"x", 0.0}, {"y", -1.0}, {"z", 0.0}}},
                {"dragForce", drag},       {"center", -1},
                {"hitRadius", hit}};
  bones["bones"] = {BoneNamed("tail_l1") + 1, BoneNamed("tail_r1") + 1};
  bones["colliderGroups"] = {0, 1};
  Json headGroup = {{"node", head}}, shoulders = {{"node", chest}};
  headGroup["colliders"] = Json::array({Json{{"offset", vec0(headCentre)}, {"radius", headRadius}}});
  shoulders["colliders"] = Json::array({Json{{"offset", vec0(shoulderL)}, {"radius", shoulderRadius}},
                                        Json{{"offset", vec0(shoulderR)}, {"radius", shoulderRadius}}});
  Json secondary = Json::object();
  secondary["boneGroups"] = Json::array({bones});
  secondary["colliderGroups"] = Json::array({headGroup, shoulders});
  if (skirt) {
    // 0.x colliders are spheres: four down each thigh.
    Json cloth = bones;
    cloth["comment"] = "skirt";
    cloth["hitRadius"] = skirtHit;
    cloth["bones"] = Json::array();
    for (int c = 0; c < kSkirtChains; ++c) cloth["bones"].push_back(kBoneCount + 1 + c * kSkirtJoints);
    cloth["colliderGroups"] = {2, 3};
    for (int thigh : thighs) {
      Json leg = {{"node", thigh + 1}, {"colliders", Json::array()}};
      for (int k = 0; k < 4; ++k)
        leg["colliders"].push_back({{"offset", vec0(knee(thigh) * (k / 3.0f))}, {"radius", thighRadius}});
      secondary["colliderGroups"].push_back(leg);
    }
    secondary["boneGroups"].push_back(cloth);
  }
  j["extensions"]["VRM"]["secondaryAnimation"] = secondary;
}

// The expressions her face rig makes, as morph targets: the preset and the
// rig's pose at its full weight.
struct Expression {
  const char* preset;
  const char* preset0x;
  MouthShape mouth;  // kMouthRest: the blink
};
const Expression kExpressions[] = {{"blink", "blink", kMouthRest},
                                   {"aa", "a", kMouthA},
                                   {"oh", "o", kMouthO},
                                   {"ee", "e", kMouthE},
                                   // Her mouth makes i as it makes e, u as it makes o, only less open.
                                   {"ih", "i", kMouthE},
                                   {"ou", "u", kMouthO}};

// Each expression's offsets of her vertices (in her units) and normals: the rig posed
// on a scene of her bones alone, every vertex carried by its bones.
struct Baked {
  std::vector<V3> offsets, normals;
};
std::vector<Baked> BakeExpressions(const Mesh& mesh) {
  CPODScene bones;
  bones.frameCount = 1;
  bones.nodeCount = kBoneCount;
  bones.nodes = PODAlloc<SPODNode>(kBoneCount);
  for (int b = 0; b < kBoneCount; ++b) {
    SPODNode& n = bones.nodes[b];
    n.name = PODStrDup(kBones[b].name);
    n.meshIndex = n.materialIndex = -1;
    n.parentIndex = kBones[b].parent;
    const V3 t = kBones[b].parent < 0 ? kBones[b].bindPos : kBones[b].bindPos - kBones[kBones[b].parent].bindPos;
    n.positions = PODAlloc<float>(3);
    n.positions[0] = t.x, n.positions[1] = t.y, n.positions[2] = t.z;
  }
  std::vector<Baked> out;
  FaceRig rig;
  if (!bones.InitImpl() || !FaceRigBind(&rig, &bones)) return out;
  for (const Expression& e : kExpressions) {
    FacePose pose;
    if (e.mouth == kMouthRest)
      pose.lids = 1;
    else
      FaceMouthPose(&pose, e.mouth, 1);
    FaceRigApply(&rig, &bones, pose);
    bones.SetFrame(0);
    std::vector<MATRIX> moved(kBoneCount);
    for (int b = 0; b < kBoneCount; ++b) bones.GetWorldMatrix(moved[b], bones.nodes[b]);
    std::vector<V3> offsets, normals;
    for (const Vertex& v : mesh.verts) {
      double p[3] = {0, 0, 0}, n[3] = {0, 0, 0}, sum = 0;
      for (int k = 0; k < 4; ++k) {
        if (v.weight[k] <= 0) continue;
        const MATRIX& m = moved[v.bone[k]];
        const V3 rel = v.pos - kBones[v.bone[k]].bindPos;  // bones rest unturned
        for (int r = 0; r < 3; ++r) {
          p[r] += v.weight[k] * (m.f[r] * rel.x + m.f[4 + r] * rel.y + m.f[8 + r] * rel.z + m.f[12 + r]);
          n[r] += v.weight[k] * (m.f[r] * v.nrm.x + m.f[4 + r] * v.nrm.y + m.f[8 + r] * v.nrm.z);
        }
        sum += v.weight[k];
      }
      const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      const double rest = std::sqrt((double)v.nrm.x * v.nrm.x + (double)v.nrm.y * v.nrm.y + (double)v.nrm.z * v.nrm.z);
      offsets.push_back(sum > 0 ? V3((float)(p[0] / sum), (float)(p[1] / sum), (float)(p[2] / sum)) - v.pos
                                : V3(0, 0, 0));
      // The exported normals are of unit length; so are these.
      normals.push_back(sum > 0 && len > 0 && rest > 0
                            ? V3((float)(n[0] / len), (float)(n[1] / len), (float)(n[2] / len)) -
                                  v.nrm * (float)(1 / rest)
                            : V3(0, 0, 0));
    }
    out.push_back({offsets, normals});
  }
  bones.SetPoseLayer(nullptr);
  bones.Destroy();
  return out;
}

// The expressions (morph targets `first`... of mesh 0) and her eyes' look-at.
void AddExpressions(nlohmann::json& j, vrm::Version version) {
  using Json = nlohmann::json;
  // Her eyes turn kIrisTravel / kEyeRadius radians at 25 degrees of gaze.
  const double eyeTurn = kIrisTravel / kEyeRadius * 180.0 / 3.14159265358979, gaze = 25.0;
  if (version == vrm::Version::k1) {
    Json presets = Json::object();
    for (size_t k = 0; k < std::size(kExpressions); ++k)
      presets[kExpressions[k].preset] = {
          {"morphTargetBinds", Json::array({Json{{"node", 0}, {"index", k}, {"weight", 1.0}}})}, {"isBinary", false}};
    Json& vrm = j["extensions"]["VRMC_vrm"];
    vrm["expressions"] = {{"preset", presets}};
    const Json range = {{"inputMaxValue", gaze}, {"outputScale", eyeTurn}};
    vrm["lookAt"] = {{"type", "bone"},
                     {"rangeMapHorizontalInner", range},
                     {"rangeMapHorizontalOuter", range},
                     {"rangeMapVerticalDown", range},
                     {"rangeMapVerticalUp", range}};
    return;
  }
  Json groups = Json::array();
  for (size_t k = 0; k < std::size(kExpressions); ++k)
    groups.push_back({{"name", kExpressions[k].preset},
                      {"presetName", kExpressions[k].preset0x},
                      {"binds", Json::array({Json{{"mesh", 0}, {"index", k}, {"weight", 100.0}}})},
                      {"isBinary", false}});
  Json& vrm = j["extensions"]["VRM"];
  vrm["blendShapeMaster"] = {{"blendShapeGroups", groups}};
  const Json range = {{"curve", {0, 0, 0, 1, 1, 1, 1, 0}}, {"xRange", gaze}, {"yRange", eyeTurn}};
  vrm["firstPerson"] = {{"firstPersonBone", BoneNamed("head") + 1},
                        {"firstPersonBoneOffset", {{"x", 0}, {"y", 0.06}, {"z", 0}}},
                        {"lookAtTypeName", "Bone"},
                        {"lookAtHorizontalInner", range},
                        {"lookAtHorizontalOuter", range},
                        {"lookAtVerticalDown", range},
                        {"lookAtVerticalUp", range}};
}

}  // namespace

bool WriteVrm(const Mesh& mesh, Outfit outfit, const Image& picture, vrm::Version version, const std::string& path) {
  // 0.x faces the other way: half a turn about y.
  const double flip = version == vrm::Version::k0x ? -1.0 : 1.0;
  auto place = [&](V3 p, double scale, std::vector<float>* out) {
    out->insert(out->end(), {(float)(flip * p.x * scale), (float)(p.y * scale), (float)(flip * p.z * scale)});
  };
  vrm::GlbBuilder g;
  nlohmann::json& j = g.json;

  // Node 0 holds the skinned mesh; bone b is node b + 1.
  j["nodes"].push_back({{"name", "girl"}, {"mesh", 0}, {"skin", 0}});
  std::vector<float> ibm;
  nlohmann::json joints = nlohmann::json::array();
  for (int b = 0; b < kBoneCount; ++b) {
    const BoneDef& d = kBones[b];
    std::vector<float> t;
    place(d.parent < 0 ? d.bindPos : d.bindPos - kBones[d.parent].bindPos, kMetresPerUnit, &t);
    j["nodes"].push_back({{"name", d.name}, {"translation", t}});
    if (d.parent >= 0) j["nodes"][d.parent + 1]["children"].push_back(b + 1);
    joints.push_back(b + 1);
    // Bones rest unturned: the inverse bind is a translation back.
    std::vector<float> at;
    place(d.bindPos, -kMetresPerUnit, &at);
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, at[0], at[1], at[2], 1};
    ibm.insert(ibm.end(), m, m + 16);
  }
  Skirt skirt;
  const bool skirted = SkirtOf(outfit, &skirt);
  const SkirtBones skirtBones = skirted ? SkirtBonesOf(skirt) : SkirtBones();
  for (size_t s = 0; s < skirtBones.at.size(); ++s) {
    const bool root = s % kSkirtJoints == 0;
    const int parent = root ? BoneNamed("hips") + 1 : kBoneCount + (int)s;
    const V3 from = root ? kBones[BoneNamed("hips")].bindPos : skirtBones.at[s - 1];
    std::vector<float> t, at;
    place(skirtBones.at[s] - from, kMetresPerUnit, &t);
    j["nodes"].push_back(
        {{"name", "skirt_" + std::to_string(s / kSkirtJoints) + "_" + std::to_string(s % kSkirtJoints)},
         {"translation", t}});
    j["nodes"][parent]["children"].push_back(kBoneCount + 1 + s);
    joints.push_back(kBoneCount + 1 + s);
    place(skirtBones.at[s], -kMetresPerUnit, &at);
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, at[0], at[1], at[2], 1};
    ibm.insert(ibm.end(), m, m + 16);
  }
  std::map<std::string, int> humanoid;
  for (const GirlHumanBone& h : kGirlHumanBones) {
    const int b = BoneNamed(h.girl);
    if (b < 0) {
      std::fprintf(stderr, "girlgen: her humanoid map names %s, which she does not have\n", h.girl);
      return false;
    }
    humanoid[h.humanoid] = b + 1;
  }

  std::vector<float> pos, nrm, uv, weights;
  std::vector<uint16_t> bones;
  for (const Vertex& v : mesh.verts) {
    place(v.pos, kMetresPerUnit, &pos);
    const double len = std::sqrt((double)v.nrm.x * v.nrm.x + (double)v.nrm.y * v.nrm.y + (double)v.nrm.z * v.nrm.z);
    place(len > 0 ? v.nrm * (float)(1 / len) : V3(0, 1, 0), 1.0, &nrm);
    // Her stored v is flipped for the loader (TexCoordFix); glTF's runs down the picture.
    uv.insert(uv.end(), {v.u, 1.0f - v.v});
    float sum = 0;
    uint16_t bone[4];
    float weight[4];
    for (int k = 0; k < 4; ++k) sum += v.weight[k], bone[k] = v.bone[k], weight[k] = v.weight[k];
    for (int k = 0; k < 4; ++k) weight[k] /= sum;
    if (skirted) SkinSkirt(skirt, skirtBones, v, bone, weight);
    for (int k = 0; k < 4; ++k) {
      const bool used = weight[k] > 0;
      bones.push_back(used ? bone[k] : 0);
      weights.push_back(used ? weight[k] : 0.0f);
    }
  }
  nlohmann::json prim = {{"attributes",
                          {{"POSITION", g.Floats(pos, "VEC3", true)},
                           {"NORMAL", g.Floats(nrm, "VEC3")},
                           {"TEXCOORD_0", g.Floats(uv, "VEC2")},
                           {"JOINTS_0", g.Accessor(bones.data(), bones.size() / 4, 5123, "VEC4")},
                           {"WEIGHTS_0", g.Floats(weights, "VEC4")}}},
                         {"indices", g.Accessor(mesh.tris.data(), mesh.tris.size(), 5123, "SCALAR")},
                         {"material", 0}};
  const std::vector<Baked> baked = BakeExpressions(mesh);
  if (baked.size() != std::size(kExpressions)) {
    std::fprintf(stderr, "girlgen: her face rig could not be posed for %s\n", path.c_str());
    return false;
  }
  nlohmann::json targetNames = nlohmann::json::array(), targetWeights = nlohmann::json::array();
  for (size_t k = 0; k < baked.size(); ++k) {
    std::vector<float> offsets, normals;
    for (const V3& o : baked[k].offsets) place(o, kMetresPerUnit, &offsets);
    for (const V3& n : baked[k].normals) place(n, 1.0, &normals);
    prim["targets"].push_back({{"POSITION", g.Floats(offsets, "VEC3", true)}, {"NORMAL", g.Floats(normals, "VEC3")}});
    targetNames.push_back(kExpressions[k].preset);
    targetWeights.push_back(0.0);
  }
  j["meshes"].push_back({{"name", "girl"},
                         {"primitives", {prim}},
                         {"weights", targetWeights},
                         {"extras", {{"targetNames", targetNames}}}});
  j["skins"].push_back({{"joints", joints}, {"inverseBindMatrices", g.Floats(ibm, "MAT4")}});

  std::vector<uint8_t> png;
  PngFormat rgb;
  rgb.colorType = picture.channels == 4 ? 6 : 2;
  if (!EncodePngBytes(picture.w, picture.h, picture.px.data(), &png, rgb)) {
    std::fprintf(stderr, "girlgen: could not encode her picture for %s\n", path.c_str());
    return false;
  }
  g.Image(png, "image/png");
  j["textures"].push_back({{"source", 0}});
  j["materials"].push_back({{"name", "girl_body"},
                            {"pbrMetallicRoughness", {{"baseColorTexture", {{"index", 0}}}, {"metallicFactor", 0.0}}}});
  j["scenes"].push_back({{"nodes", {0, BoneNamed("hips") + 1}}});
  j["scene"] = 0;
  vrm::AddVrmExtension(j, version, humanoid, "Ovanta", "Ovanta");
  if (version == vrm::Version::k0x) {
    // 0.x readers look for a shader entry a material; this one keeps glTF's.
    j["extensions"]["VRM"]["materialProperties"] = {{{"name", "girl_body"},
                                                     {"shader", "VRM_USE_GLTFSHADER"},
                                                     {"floatProperties", nlohmann::json::object()},
                                                     {"vectorProperties", nlohmann::json::object()},
                                                     {"textureProperties", nlohmann::json::object()},
                                                     {"keywordMap", nlohmann::json::object()},
                                                     {"tagMap", nlohmann::json::object()}}};
  }
  AddExpressions(j, version);
  AddSprings(j, version, skirted, [&](V3 p) {
    std::vector<float> v;
    place(p, kMetresPerUnit, &v);
    return nlohmann::json(v);
  });
  return WriteFileAtomically(g.Finish(), path);
}

bool WriteVrma(AnimState clip, const std::string& path) {
  vrm::GlbBuilder g;
  nlohmann::json& j = g.json;
  // Bone b is node b, resting unturned as in her VRM exports (VRM 1.0's facing).
  auto metres = [](V3 p) { return nlohmann::json{p.x * kMetresPerUnit, p.y * kMetresPerUnit, p.z * kMetresPerUnit}; };
  for (int b = 0; b < kBoneCount; ++b) {
    const BoneDef& d = kBones[b];
    j["nodes"].push_back(
        {{"name", d.name}, {"translation", metres(d.parent < 0 ? d.bindPos : d.bindPos - kBones[d.parent].bindPos)}});
    if (d.parent >= 0) j["nodes"][d.parent]["children"].push_back(b);
  }
  j["scenes"].push_back({{"nodes", {BoneNamed("hips")}}});
  j["scene"] = 0;
  // Her clip's frames, both ends: the first and last frame of a pass are the
  // ones a loop of it hands over at.
  const AnimClip& c = GirlClip(clip);
  std::vector<float> times, hips;
  std::vector<Pose> poses;
  for (int f = c.start_frame; f <= c.end_frame; ++f) {
    times.push_back((float)(f - c.start_frame) / 30.0f);
    poses.push_back(PoseAtFrame(f));
    const nlohmann::json at = metres(kBones[BoneNamed("hips")].bindPos + poses.back().rootOffset);
    for (const auto& v : at) hips.push_back(v.get<float>());
  }
  const int input = g.Floats(times, "SCALAR", true);
  nlohmann::json bones = nlohmann::json::object(), channels = nlohmann::json::array(),
                 samplers = nlohmann::json::array();
  auto channel = [&](int node, const char* pathName, int output) {
    channels.push_back({{"sampler", samplers.size()}, {"target", {{"node", node}, {"path", pathName}}}});
    samplers.push_back({{"input", input}, {"output", output}, {"interpolation", "LINEAR"}});
  };
  for (const GirlHumanBone& h : kGirlHumanBones) {
    const int b = BoneNamed(h.girl);
    bones[h.humanoid] = {{"node", b}};
    // Her eyes and jaw are the face layer's, which the clips leave alone.
    const std::string name = h.humanoid;
    if (name == "leftEye" || name == "rightEye" || name == "jaw") continue;
    std::vector<float> q;
    for (const Pose& p : poses)  // her file keeps the conjugate (see Quat)
      q.insert(q.end(), {-p.rot[b][0], -p.rot[b][1], -p.rot[b][2], p.rot[b][3]});
    channel(b, "rotation", g.Floats(q, "VEC4"));
  }
  channel(BoneNamed("hips"), "translation", g.Floats(hips, "VEC3"));
  j["animations"].push_back({{"name", "dance"}, {"channels", channels}, {"samplers", samplers}});
  j["extensions"]["VRMC_vrm_animation"] = {{"specVersion", "1.0"}, {"humanoid", {{"humanBones", bones}}}};
  j["extensionsUsed"].push_back("VRMC_vrm_animation");
  return WriteFileAtomically(g.Finish(), path);
}

}  // namespace girlgen
