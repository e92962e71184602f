// Her VRM exports: her model in one look as a VRM file of either version,
// for the character import to be held to her (an import of them must draw
// and move as she does) and for anyone to take her elsewhere. Her mesh,
// skin and skeleton (every bone, the humanoid ones mapped through
// rig/girl_humanoid.h, the others kept by name), her composed picture as
// PNG, in metres; VRM 0.x faces -Z, 1.0 +Z as she does. Springs and
// expressions are left for later: her soft parts and face rig are bones.
#include <cmath>
#include <cstdio>
#include <cstring>
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
