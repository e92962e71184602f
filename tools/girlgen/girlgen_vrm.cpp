// Her VRM exports: her model in one look as a VRM file of either version,
// for the character import to be held to her (an import of them must draw
// and move as she does) and for anyone to take her elsewhere. Her mesh,
// skin and skeleton (every bone, the humanoid ones mapped through
// rig/girl_humanoid.h, the others kept by name), her composed picture as
// PNG, in metres; VRM 0.x faces -Z, 1.0 +Z as she does. Her hair tails are
// spring chains that keep off her head and shoulders (1.0 VRMC_springBone,
// 0.x secondaryAnimation), with no pull of their own: at rest they hang
// as she is made.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "girlgen.h"
#include "picture/picture_file.h"
#include "rig/girl_humanoid.h"
#include "vrm/glb_write.h"

namespace girlgen {

namespace {

// Her model units in metres: she stands 1.7 m tall.
constexpr double kMetresPerUnit = 0.005;

int BoneNamed(const char* name) {
  for (int b = 0; b < kBoneCount; ++b)
    if (std::strcmp(kBones[b].name, name) == 0) return b;
  return -1;
}

// Her hair tails as springs: each tail's bones a chain, kept off a sphere
// round her head and a bar across her shoulders.
void AddSprings(nlohmann::json& j, vrm::Version version, const std::function<nlohmann::json(V3)>& place) {
  const int head = BoneNamed("head") + 1, chest = BoneNamed("chest") + 1;
  const V3 headCentre(0, 18, -1), shoulderL(22, 36, -3), shoulderR(-22, 36, -3);
  const double headRadius = 20 * kMetresPerUnit, shoulderRadius = 8 * kMetresPerUnit, hit = 4 * kMetresPerUnit;
  const double stiffness = 1.0, drag = 0.4;
  if (version == vrm::Version::k1) {
    nlohmann::json springs = nlohmann::json::array();
    for (const char* side : {"l", "r"}) {
      nlohmann::json joints = nlohmann::json::array();
      for (int k = 1; k <= 3; ++k)
        joints.push_back({{"node", BoneNamed(("tail_" + std::string(side) + std::to_string(k)).c_str()) + 1},
                          {"hitRadius", hit},
                          {"stiffness", stiffness},
                          {"gravityPower", 0.0},
                          {"gravityDir", {0.0, -1.0, 0.0}},
                          {"dragForce", drag}});
      springs.push_back({{"name", std::string("tail_") + side}, {"joints", joints}, {"colliderGroups", {0}}});
    }
    using Json = nlohmann::json;
    Json sphere = {{"offset", place(headCentre)}, {"radius", headRadius}};
    Json capsule = {{"offset", place(shoulderR)}, {"radius", shoulderRadius}, {"tail", place(shoulderL)}};
    Json colliders = Json::array();
    colliders.push_back({{"node", head}, {"shape", {{"sphere", sphere}}}});
    colliders.push_back({{"node", chest}, {"shape", {{"capsule", capsule}}}});
    Json group = {{"name", "head and shoulders"}, {"colliders", {0, 1}}};
    Json ext = Json::object();
    ext["specVersion"] = "1.0";
    ext["colliders"] = colliders;
    ext["colliderGroups"] = Json::array({group});
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
  Json bones = {{"comment", "hair tails"},
                {"stiffiness", stiffness},
                {"gravityPower", 0.0},
                {"gravityDir", {{"x", 0.0}, {"y", -1.0}, {"z", 0.0}}},
                {"dragForce", drag},
                {"center", -1},
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
  j["extensions"]["VRM"]["secondaryAnimation"] = secondary;
}

}  // namespace

bool WriteVrm(const Mesh& mesh, const Image& picture, vrm::Version version, const std::string& path) {
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
    for (int k = 0; k < 4; ++k) sum += v.weight[k];
    for (int k = 0; k < 4; ++k) {
      const bool used = v.weight[k] > 0;
      bones.push_back(used ? v.bone[k] : 0);
      weights.push_back(used ? v.weight[k] / sum : 0.0f);
    }
  }
  nlohmann::json prim = {
      {"attributes",
       {{"POSITION", g.Floats(pos, "VEC3", true)}, {"NORMAL", g.Floats(nrm, "VEC3")}, {"TEXCOORD_0", g.Floats(uv, "VEC2")},
        {"JOINTS_0", g.Accessor(bones.data(), bones.size() / 4, 5123, "VEC4")}, {"WEIGHTS_0", g.Floats(weights, "VEC4")}}},
      {"indices", g.Accessor(mesh.tris.data(), mesh.tris.size(), 5123, "SCALAR")},
      {"material", 0}};
  j["meshes"].push_back({{"name", "girl"}, {"primitives", {prim}}});
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
  AddSprings(j, version, [&](V3 p) {
    std::vector<float> v;
    place(p, kMetresPerUnit, &v);
    return nlohmann::json(v);
  });
  const std::vector<uint8_t> bytes = g.Finish();
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

}  // namespace girlgen
