// The VRM reader: the GLB container and its JSON are looked at first (size,
// nesting, the picture ranges tinygltf would follow unchecked), then
// tinygltf parses the document, and every part the conversion uses is
// copied out of it into the plain records with its indices and ranges
// checked. The VRM extensions are read from the JSON as it stands.
#include "vrm/vrm_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <set>

#include "picture/picture_file.h"
#include "vrm/gltf_read.h"
#include "vrm/vrm_humanoid.h"
#include "vrm/vrm_json.h"
#include "vrm/vrm_math.h"

namespace vrm {
namespace {

using Json = nlohmann::json;

std::string Text(const Json& o, const char* key) {
  const Json& v = Member(o, key);
  return v.is_string() ? v.get<std::string>() : std::string();
}

struct Reader : GltfAccessors {
  const Json& doc;
  Document& d;
  std::set<std::string> notes;

  Reader(const tinygltf::Model& model, const Json& document, Document& out)
      : GltfAccessors(model), doc(document), d(out) {}
  void Note(const char* what) { notes.insert(what); }

  // ---- meshes -------------------------------------------------------------

  uint64_t vertices = 0;

  bool ReadPrimitive(const tinygltf::Primitive& p, const std::string& what, Primitive* out) {
    const int mode = p.mode < 0 ? TINYGLTF_MODE_TRIANGLES : p.mode;
    auto attr = [&](const char* name) {
      auto it = p.attributes.find(name);
      return it == p.attributes.end() ? -1 : it->second;
    };
    const int position = attr("POSITION");
    if (position < 0) return Fail("inconsistent: " + what + " has no positions");
    if ((size_t)position < m.accessors.size() && m.accessors[(size_t)position].count > kMaxVertices - vertices)
      return Fail("more than " + std::to_string(kMaxVertices) + " vertices");
    size_t n = 0, c = 0;
    if (!Floats(position, TINYGLTF_TYPE_VEC3, kMaxVertices, &out->positions, &n, what + " positions")) return false;
    vertices += n;
    if (attr("NORMAL") >= 0) {
      if (!Floats(attr("NORMAL"), TINYGLTF_TYPE_VEC3, n, &out->normals, &c, what + " normals")) return false;
      if (c != n)
        return Fail("inconsistent: " + what + " has " + std::to_string(c) + " normals for " + std::to_string(n) +
                    " vertices");
    }
    if (attr("TEXCOORD_0") >= 0) {
      if (!Floats(attr("TEXCOORD_0"), TINYGLTF_TYPE_VEC2, n, &out->uvs, &c, what + " texture coordinates"))
        return false;
      if (c != n) return Fail("inconsistent: " + what + " has texture coordinates for another vertex count");
    }
    if (attr("COLOR_0") >= 0) Note("vertex colours");
    if (attr("JOINTS_1") >= 0) Note("more than 4 joints a vertex");
    if (attr("JOINTS_0") >= 0 && attr("WEIGHTS_0") >= 0) {
      std::vector<float> j, w;
      if (!Floats(attr("JOINTS_0"), TINYGLTF_TYPE_VEC4, n, &j, &c, what + " joints")) return false;
      if (c != n) return Fail("inconsistent: " + what + " has joints for another vertex count");
      if (!Floats(attr("WEIGHTS_0"), TINYGLTF_TYPE_VEC4, n, &w, &c, what + " weights")) return false;
      if (c != n) return Fail("inconsistent: " + what + " has weights for another vertex count");
      out->joints.resize(4 * n);
      out->weights.resize(4 * n);
      for (size_t v = 0; v < n; ++v) {
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
          const float wk = w[4 * v + k] > 0 ? w[4 * v + k] : 0.0f;
          const float jk = j[4 * v + k];
          if (wk > 0 && (jk != std::floor(jk) || jk < 0 || jk > 65535))
            return Fail("inconsistent: " + what + " names a joint that does not exist");
          out->joints[4 * v + k] = wk > 0 ? (uint16_t)jk : 0;
          out->weights[4 * v + k] = wk;
          sum += wk;
        }
        // Weights are meant to sum to 1; a vertex of none follows slot 0.
        if (sum <= 0) out->weights[4 * v] = 1, sum = 1;
        for (int k = 0; k < 4; ++k) out->weights[4 * v + k] /= sum;
      }
    }
    // Indices, strips and fans made lists.
    std::vector<uint32_t> order;
    if (p.indices >= 0) {
      std::vector<float> iv;
      // Each index takes a byte of the file at least (or is one of few zeros).
      if (!Floats(p.indices, TINYGLTF_TYPE_SCALAR,
                  std::max<uint64_t>(3 * kMaxVertices, m.buffers.empty() ? 0 : m.buffers[0].data.size()), &iv, &c,
                  what + " indices"))
        return false;
      const int ct = m.accessors[(size_t)p.indices].componentType;
      if (ct == TINYGLTF_COMPONENT_TYPE_FLOAT || ct == TINYGLTF_COMPONENT_TYPE_BYTE ||
          ct == TINYGLTF_COMPONENT_TYPE_SHORT)
        return Fail("inconsistent: " + what + " has indices that are not whole numbers");
      order.resize(c);
      for (size_t i = 0; i < c; ++i) {
        if (iv[i] >= (double)n) return Fail("inconsistent: " + what + " has an index past its vertices");
        order[i] = (uint32_t)iv[i];
      }
    } else {
      order.resize(n);
      for (size_t i = 0; i < n; ++i) order[i] = (uint32_t)i;
    }
    if (mode == TINYGLTF_MODE_TRIANGLES) {
      if (order.size() % 3 != 0) return Fail("inconsistent: " + what + " has indices that are not whole triangles");
      out->indices = std::move(order);
    } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP || mode == TINYGLTF_MODE_TRIANGLE_FAN) {
      for (size_t i = 2; i < order.size(); ++i) {
        uint32_t a, b, cc = order[i];
        if (mode == TINYGLTF_MODE_TRIANGLE_FAN)
          a = order[0], b = order[i - 1];
        else if (i % 2 == 0)
          a = order[i - 2], b = order[i - 1];
        else
          a = order[i - 1], b = order[i - 2];
        out->indices.insert(out->indices.end(), {a, b, cc});
      }
    } else {
      Note("points and lines");
      out->indices.clear();
    }
    for (size_t t = 0; t < p.targets.size(); ++t) {
      MorphTarget target;
      const std::string tw = what + " morph target " + std::to_string(t);
      for (const auto& kv : p.targets[t]) {
        std::vector<float>* dst = kv.first == "POSITION" ? &target.positions
                                  : kv.first == "NORMAL" ? &target.normals
                                                         : nullptr;
        if (!dst) continue;
        if (!Floats(kv.second, TINYGLTF_TYPE_VEC3, n, dst, &c, tw)) return false;
        if (c != n) return Fail("inconsistent: " + tw + " is for another vertex count");
      }
      out->targets.push_back(std::move(target));
    }
    if (p.material >= (int)m.materials.size())
      return Fail("inconsistent: " + what + " names a material that does not exist");
    out->material = p.material;
    return true;
  }

  bool ReadMeshes() {
    for (size_t i = 0; i < m.meshes.size(); ++i) {
      const tinygltf::Mesh& src = m.meshes[i];
      Mesh mesh;
      mesh.name = src.name;
      for (size_t k = 0; k < src.primitives.size(); ++k) {
        Primitive p;
        if (!ReadPrimitive(src.primitives[k], "mesh " + std::to_string(i) + " primitive " + std::to_string(k), &p))
          return false;
        if (!p.targets.empty() && !mesh.primitives.empty() && p.targets.size() != mesh.primitives[0].targets.size())
          return Fail("inconsistent: mesh " + std::to_string(i) + " has primitives with different morph targets");
        mesh.primitives.push_back(std::move(p));
      }
      for (double w : src.weights) mesh.weights.push_back(std::isfinite(w) ? (float)w : 0.0f);
      const Json& names = Member(Member(JsonAt(Member(doc, "meshes"), i), "extras"), "targetNames");
      if (names.is_array())
        for (const Json& nm : names) mesh.targetNames.push_back(nm.is_string() ? nm.get<std::string>() : "");
      // VRM 0.x keeps the names with the primitives.
      const Json& prims = Member(JsonAt(Member(doc, "meshes"), i), "primitives");
      if (mesh.targetNames.empty() && prims.is_array() && !prims.empty()) {
        const Json& pn = Member(Member(prims[0], "extras"), "targetNames");
        if (pn.is_array())
          for (const Json& nm : pn) mesh.targetNames.push_back(nm.is_string() ? nm.get<std::string>() : "");
      }
      d.meshes.push_back(std::move(mesh));
    }
    return true;
  }

  // ---- nodes and skins ------------------------------------------------------

  bool ReadSkins() {
    std::set<int> joints;
    for (size_t i = 0; i < m.skins.size(); ++i) {
      const tinygltf::Skin& src = m.skins[i];
      Skin s;
      const std::string what = "skin " + std::to_string(i);
      for (int j : src.joints) {
        if (j < 0 || (size_t)j >= d.nodes.size())
          return Fail("inconsistent: " + what + " names a joint that does not exist");
        s.joints.push_back(j);
        joints.insert(j);
      }
      if ((int)joints.size() > kMaxJoints) return Fail("more than " + std::to_string(kMaxJoints) + " joints");
      if (src.inverseBindMatrices >= 0) {
        size_t c = 0;
        if (!Floats(src.inverseBindMatrices, TINYGLTF_TYPE_MAT4, std::max<size_t>(s.joints.size(), kMaxJoints),
                    &s.inverseBinds, &c, what + " bind matrices"))
          return false;
        if (c < s.joints.size()) return Fail("inconsistent: " + what + " has fewer bind matrices than joints");
        s.inverseBinds.resize(16 * s.joints.size());
      } else {
        for (size_t j = 0; j < s.joints.size(); ++j)
          for (int k = 0; k < 16; ++k) s.inverseBinds.push_back(k % 5 == 0 ? 1.0f : 0.0f);
      }
      d.skins.push_back(std::move(s));
    }
    // A skinned node's primitives may only name joints of its skin.
    for (const Node& n : d.nodes) {
      if (n.mesh < 0 || n.skin < 0) continue;
      const size_t slots = d.skins[(size_t)n.skin].joints.size();
      for (const Primitive& p : d.meshes[(size_t)n.mesh].primitives)
        for (size_t k = 0; k < p.joints.size(); ++k)
          if (p.weights[k] > 0 && p.joints[k] >= slots)
            return Fail("inconsistent: mesh " + std::to_string(n.mesh) + " names a joint its skin does not have");
    }
    return true;
  }

  // ---- materials and pictures --------------------------------------------------

  // The picture behind texture `t`, -1 when none can be drawn.
  int TexturePicture(int64_t t, bool* ok) {
    if (t < 0 || (size_t)t >= m.textures.size()) {
      *ok = Fail("inconsistent: a material names a texture that does not exist");
      return -1;
    }
    const int source = m.textures[(size_t)t].source;
    if (source < 0) {
      Note("pictures in formats other than PNG and JPEG");
      return -1;
    }
    if ((size_t)source >= m.images.size()) {
      *ok = Fail("inconsistent: texture " + std::to_string(t) + " names a picture that does not exist");
      return -1;
    }
    return source;
  }

  static bool NonZero(const Json& v) {
    if (!v.is_array()) return false;
    for (const Json& x : v)
      if (x.is_number() && x.get<double>() != 0) return true;
    return false;
  }

  bool ReadMaterials() {
    const Json& mats = Member(doc, "materials");
    const Json& props0x = Member(d.vrm, "materialProperties");
    bool ok = true;
    for (size_t i = 0; i < m.materials.size(); ++i) {
      const tinygltf::Material& src = m.materials[i];
      const Json& js = JsonAt(mats, i);
      Material mat;
      mat.name = src.name;
      const auto& f = src.pbrMetallicRoughness.baseColorFactor;
      for (size_t k = 0; k < 4 && k < f.size(); ++k)
        mat.baseColor[k] = std::isfinite(f[k]) ? (float)std::min(std::max(f[k], 0.0), 1.0) : 1.0f;
      const Json& base = Member(Member(js, "pbrMetallicRoughness"), "baseColorTexture");
      int64_t t;
      if (JsonIndex(base, "index", &t)) mat.image = TexturePicture(t, &ok);
      if (!ok) return false;
      if (Number(base, "texCoord", 0) != 0) Note("a second set of texture coordinates");
      if (!Member(Member(base, "extensions"), "KHR_texture_transform").is_null()) Note("texture transforms");
      mat.alphaMode = src.alphaMode == "MASK"    ? AlphaMode::kMask
                      : src.alphaMode == "BLEND" ? AlphaMode::kBlend
                                                 : AlphaMode::kOpaque;
      mat.alphaCutoff = std::isfinite(src.alphaCutoff) ? (float)src.alphaCutoff : 0.5f;
      mat.doubleSided = src.doubleSided;
      const Json& ext = Member(js, "extensions");
      mat.unlit = !Member(ext, "KHR_materials_unlit").is_null();
      if (NonZero(Member(js, "emissiveFactor")) && !Member(js, "emissiveTexture").is_null()) Note("emission");
      if (!Member(js, "normalTexture").is_null()) Note("normal maps");
      const Json& toon = Member(ext, "VRMC_materials_mtoon");
      if (toon.is_object()) {
        mat.toon = true;
        if (Text(toon, "outlineWidthMode") != "" && Text(toon, "outlineWidthMode") != "none" &&
            Number(toon, "outlineWidthFactor", 0) > 0)
          Note("outlines");
        if (NonZero(Member(toon, "parametricRimColorFactor")) || !Member(toon, "rimMultiplyTexture").is_null())
          Note("rim light");
        if (!Member(toon, "matcapTexture").is_null() && NonZero(Member(toon, "matcapFactor"))) Note("matcaps");
        if (Number(toon, "uvAnimationScrollXSpeedFactor", 0) != 0 ||
            Number(toon, "uvAnimationScrollYSpeedFactor", 0) != 0 ||
            Number(toon, "uvAnimationRotationSpeedFactor", 0) != 0)
          Note("texture animation");
      }
      if (d.version == Version::k0x && props0x.is_array()) {
        // VRM 0.x keeps its shaders' settings beside the materials, by index.
        const Json& p = JsonAt(props0x, i);
        const std::string shader = Text(p, "shader");
        const Json& fp = Member(p, "floatProperties");
        const Json& vp = Member(p, "vectorProperties");
        const Json& tp = Member(p, "textureProperties");
        if (shader.rfind("VRM/Unlit", 0) == 0) mat.unlit = true;
        if (shader == "VRM/MToon") {
          mat.toon = true;
          if (Number(fp, "_OutlineWidthMode", 0) != 0 && Number(fp, "_OutlineWidth", 0) > 0) Note("outlines");
          const Json& rim = Member(vp, "_RimColor");
          if ((rim.is_array() && rim.size() >= 3 && (NonZero(Json::array({rim[0], rim[1], rim[2]})))) ||
              !Member(tp, "_RimTexture").is_null())
            Note("rim light");
          if (!Member(tp, "_SphereAdd").is_null()) Note("matcaps");
        }
        const Json& st = Member(vp, "_MainTex");
        if (st.is_array() && st.size() == 4 && st[0].is_number() && st[1].is_number() && st[2].is_number() &&
            st[3].is_number() &&
            (st[0].get<double>() != 1 || st[1].get<double>() != 1 || st[2].get<double>() != 0 ||
             st[3].get<double>() != 0))
          Note("texture transforms");
        if (mat.image < 0 && JsonIndex(tp, "_MainTex", &t)) mat.image = TexturePicture(t, &ok);
        if (!ok) return false;
      }
      d.materials.push_back(mat);
    }
    return true;
  }

  // The encoded bytes of picture `i` (tinygltf kept them for us).
  bool DecodePictureAt(int i) {
    Picture& pic = d.pictures[(size_t)i];
    if (!pic.rgba.empty()) return true;
    const std::vector<unsigned char>& bytes = m.images[(size_t)i].image;
    if (bytes.empty()) {
      Note("pictures in formats other than PNG and JPEG");
      return true;
    }
    // The size first where it can be had without decoding everything.
    int32_t w = 0, h = 0, bpp = 0;
    if (PictureRows* rows = PictureRowsOpen(bytes.data(), bytes.size(), &w, &h, &bpp)) {
      PictureRowsClose(rows);
      if (w > kMaxPictureSide || h > kMaxPictureSide)
        return Fail("picture " + std::to_string(i) + " is " + std::to_string(w) + "x" + std::to_string(h) +
                    ", more than " + std::to_string(kMaxPictureSide) + " pixels a side");
    }
    DecodedPicture dp;
    const PictureStatus status = DecodePicture(bytes.data(), bytes.size(), &dp, false);
    const bool large = status == kPictureTooLarge ||
                       (status == kPictureOk && (dp.width > kMaxPictureSide || dp.height > kMaxPictureSide));
    if (large) {
      std::free(dp.pixels);
      return Fail("picture " + std::to_string(i) + " is " + std::to_string(dp.width) + "x" + std::to_string(dp.height) +
                  ", more than " + std::to_string(kMaxPictureSide) + " pixels a side");
    }
    if (status != kPictureOk) {
      Note("pictures in formats other than PNG and JPEG");
      return true;
    }
    pic.width = dp.width;
    pic.height = dp.height;
    pic.rgba.assign(dp.pixels, dp.pixels + (size_t)dp.width * dp.height * 4);
    std::free(dp.pixels);
    pic.file = bytes;
    pic.jpeg = bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    return true;
  }

  bool ReadPictures() {
    d.pictures.resize(m.images.size());
    for (const Material& mat : d.materials)
      if (mat.image >= 0 && !DecodePictureAt(mat.image)) return false;
    if (d.meta.thumbnail >= 0 && !DecodePictureAt(d.meta.thumbnail)) return false;
    return true;
  }

  // ---- VRM ------------------------------------------------------------------

  bool ReadHumanoid() {
    const Json& bones = Member(Member(d.vrm, "humanoid"), "humanBones");
    std::map<int, std::string> byNode;
    auto add = [&](const std::string& name, const Json& entry) {
      if (HumanBoneIndex(name) < 0 || d.humanoid.count(name)) return true;
      int64_t node;
      if (!JsonIndex(entry, "node", &node) || (size_t)node >= d.nodes.size())
        return Fail("inconsistent: humanoid bone " + name + " names a node that does not exist");
      if (byNode.count((int)node))
        return Fail("inconsistent: humanoid bones " + byNode[(int)node] + " and " + name + " are one node");
      byNode[(int)node] = name;
      d.humanoid[name] = (int)node;
      return true;
    };
    if (d.version == Version::k1 && bones.is_object()) {
      for (auto it = bones.begin(); it != bones.end(); ++it)
        if (!add(it.key(), it.value())) return false;
    } else if (d.version == Version::k0x && bones.is_array()) {
      for (const Json& b : bones)
        if (!add(HumanBoneFrom0x(Text(b, "bone")), b)) return false;
    }
    std::string missing;
    for (int i = 0; i < kHumanBoneCount; ++i)
      if (kHumanBones[i].required && !d.humanoid.count(kHumanBones[i].name))
        missing += std::string(missing.empty() ? "" : ", ") + kHumanBones[i].name;
    if (!missing.empty()) return Fail("not humanoid: no " + missing);
    return true;
  }

  void ReadMeta() {
    const Json& meta = Member(d.vrm, "meta");
    Meta& mt = d.meta;
    int64_t t;
    if (d.version == Version::k1) {
      mt.title = Text(meta, "name");
      mt.version = Text(meta, "version");
      const Json& authors = Member(meta, "authors");
      if (authors.is_array())
        for (const Json& a : authors)
          if (a.is_string()) mt.authors += (mt.authors.empty() ? "" : ", ") + a.get<std::string>();
      mt.license = Text(meta, "licenseUrl");
      if (JsonIndex(meta, "thumbnailImage", &t) && (size_t)t < m.images.size()) mt.thumbnail = (int)t;
    } else {
      mt.title = Text(meta, "title");
      mt.version = Text(meta, "version");
      mt.authors = Text(meta, "author");
      mt.license = Text(meta, "licenseName");
      const std::string other = Text(meta, "otherLicenseUrl");
      if (!other.empty()) mt.license += (mt.license.empty() ? "" : " ") + other;
      if (JsonIndex(meta, "texture", &t) && (size_t)t < m.textures.size() && m.textures[(size_t)t].source >= 0 &&
          (size_t)m.textures[(size_t)t].source < m.images.size())
        mt.thumbnail = m.textures[(size_t)t].source;
    }
  }
};

}  // namespace

bool ReadVrm(const uint8_t* data, size_t size, Document* out, std::string* reason) {
  *out = Document();
  auto refuse = [&](const std::string& why) {
    *out = Document();
    *reason = why;
    return false;
  };
  Json doc;
  std::string why;
  if (!OpenGlb(data, size, kMaxFileBytes, &doc, &why)) return refuse(why);
  const Json& ext = Member(doc, "extensions");
  if (Member(ext, "VRMC_vrm").is_object()) {
    out->version = Version::k1;
    out->vrm = Member(ext, "VRMC_vrm");
    out->springs = Member(ext, "VRMC_springBone");
  } else if (Member(ext, "VRM").is_object()) {
    out->version = Version::k0x;
    out->vrm = Member(ext, "VRM");
  } else {
    return refuse("not a VRM file: a glTF model without a humanoid");
  }
  tinygltf::Model model;
  if (!ParseGlb(data, size, doc, &model, &why)) return refuse(why);

  Reader r(model, doc, *out);
  const bool ok =
      r.ReadNodes(&out->nodes, &out->roots) && r.ReadMeshes() && r.ReadSkins() && r.ReadMaterials() && r.ReadHumanoid();
  if (!ok) return refuse(r.reason);
  r.ReadMeta();
  if (!r.ReadPictures()) return refuse(r.reason);
  out->approximated.assign(r.notes.begin(), r.notes.end());
  return true;
}

}  // namespace vrm
