#include "vrm/vrm_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>

#include "scene/PODWriter.h"
#include "springs/springs_store.h"
#include "vrm/vrm_expressions.h"
#include "vrm/vrm_math.h"
#include "vrm/vrm_retarget.h"
#include "vrm/vrm_springs.h"

namespace vrm {

namespace {

constexpr int kBatchBones = 64;            // the drawing's matrix palette
constexpr uint32_t kMeshVertices = 65535;  // 16-bit indices
constexpr int kThumbnailSide = 512;

struct Extent {
  double lo = std::numeric_limits<double>::max(), hi = -std::numeric_limits<double>::max();
  void Add(double y) { lo = std::min(lo, y), hi = std::max(hi, y); }
  bool Valid() const { return hi > lo; }
};

// Her height: the y extent of her meshes as bound (frame 0).
Extent SceneExtent(CPODScene& s) {
  Extent e;
  s.SetFrame(0.0f);
  for (uint32_t i = 0; i < s.meshNodeCount; ++i) {
    const SPODMesh& m = s.meshes[s.nodes[i].meshIndex];
    if (!m.vertices.data || m.vertices.type != EPODDataFloat || m.vertices.componentCount != 3) continue;
    MATRIX w;
    s.GetWorldMatrix(w, s.nodes[i]);
    const size_t stride = m.vertices.stride ? m.vertices.stride : 12;
    for (uint32_t v = 0; v < m.vertexCount; ++v) {
      float p[3];
      std::memcpy(p, m.vertices.data + v * stride, 12);
      e.Add(w.f[1] * p[0] + w.f[5] * p[1] + w.f[9] * p[2] + w.f[13]);
    }
  }
  return e;
}

// The change from the file's space into hers: p -> offset + scale * F p,
// F turning a 0.x model half round about y.
struct Change {
  double f = 1, scale = 1;
  Vec3 offset;
  Vec3 P(Vec3 p) const { return {f * p.x * scale, p.y * scale, f * p.z * scale}; }
  Vec3 V(Vec3 v) const { return {f * v.x, v.y, f * v.z}; }
  Quat Q(Quat q) const { return {f * q.x, q.y, f * q.z, q.w}; }
  // A placement of the file's space as one of hers (without the offset).
  Mat4 M(const Mat4& a) const {
    const double c[3] = {f * scale, scale, f * scale};
    Mat4 r = a;
    for (int col = 0; col < 3; ++col)
      for (int row = 0; row < 3; ++row) r.m[4 * col + row] = a.m[4 * col + row] * c[row] / c[col];
    for (int row = 0; row < 3; ++row) r.m[12 + row] = a.m[12 + row] * c[row];
    return r;
  }
};

Vec3 At(const std::vector<float>& v, size_t i) { return {v[3 * i], v[3 * i + 1], v[3 * i + 2]}; }

// A value for the scene file: magnitudes far below anything a model holds
// (what rounding leaves of a zero) are zero, which the reader expects.
float F(double v) { return std::fabs(v) < 1e-20 ? 0.0f : (float)v; }

Transform LocalOf(const Node& n) {
  Transform t;
  t.t = {n.translation[0], n.translation[1], n.translation[2]};
  t.r = Normalized({n.rotation[0], n.rotation[1], n.rotation[2], n.rotation[3]});
  t.s = {n.scale[0], n.scale[1], n.scale[2]};
  return t;
}

// Every node's world placement in the file's rest pose.
std::vector<Mat4> RestWorlds(const Document& d) {
  std::vector<Mat4> world(d.nodes.size());
  std::vector<uint8_t> done(d.nodes.size(), 0);
  for (size_t i = 0; i < d.nodes.size(); ++i) {
    std::vector<int> chain;
    for (int p = (int)i; p >= 0 && !done[(size_t)p]; p = d.nodes[(size_t)p].parent) chain.push_back(p);
    for (size_t k = chain.size(); k-- > 0;) {
      const int n = chain[k];
      const int parent = d.nodes[(size_t)n].parent;
      const Mat4 local = ToMat4(LocalOf(d.nodes[(size_t)n]));
      world[(size_t)n] = parent >= 0 ? world[(size_t)parent] * local : local;
      done[(size_t)n] = 1;
    }
  }
  return world;
}

// The nodes of the scene shown.
std::vector<uint8_t> Shown(const Document& d) {
  std::vector<uint8_t> shown(d.nodes.size(), 0);
  std::vector<int> stack(d.roots.begin(), d.roots.end());
  while (!stack.empty()) {
    const int n = stack.back();
    stack.pop_back();
    if (shown[(size_t)n]) continue;
    shown[(size_t)n] = 1;
    for (int c : d.nodes[(size_t)n].children) stack.push_back(c);
  }
  return shown;
}

// A primitive drawn by a node, with its vertices in the file's world at
// rest (skinned) or in its node's space (rigid), and the joints' nodes.
struct Drawn {
  int node, mesh, primitive;
  bool skinned;
  std::vector<Mat4> binds;  // skinned: per skin slot, joint rest world x inverse bind
};

std::vector<Drawn> DrawnPrimitives(const Document& d, const std::vector<uint8_t>& shown,
                                   const std::vector<Mat4>& world) {
  std::vector<Drawn> out;
  for (size_t n = 0; n < d.nodes.size(); ++n) {
    const Node& node = d.nodes[n];
    if (!shown[n] || node.mesh < 0) continue;
    const Mesh& mesh = d.meshes[(size_t)node.mesh];
    for (size_t k = 0; k < mesh.primitives.size(); ++k) {
      const Primitive& p = mesh.primitives[k];
      if (p.indices.empty()) continue;
      Drawn dr{(int)n, node.mesh, (int)k, node.skin >= 0 && !p.joints.empty(), {}};
      if (dr.skinned) {
        const Skin& s = d.skins[(size_t)node.skin];
        for (size_t j = 0; j < s.joints.size(); ++j) {
          Mat4 ibm;
          for (int e = 0; e < 16; ++e) ibm.m[e] = s.inverseBinds[16 * j + e];
          dr.binds.push_back(world[(size_t)s.joints[j]] * ibm);
        }
      }
      out.push_back(std::move(dr));
    }
  }
  return out;
}

// A skinned vertex at rest: its placement blended by its weights.
Mat4 Blend(const Drawn& dr, const Primitive& p, size_t v) {
  Mat4 r;
  for (int e = 0; e < 16; ++e) r.m[e] = 0;
  for (int k = 0; k < 4; ++k) {
    const float w = p.weights[4 * v + k];
    if (w <= 0) continue;
    const Mat4& b = dr.binds[p.joints[4 * v + k]];
    for (int e = 0; e < 16; ++e) r.m[e] += w * b.m[e];
  }
  return r;
}

// ---- pictures ------------------------------------------------------------

int PowerOfTwoNear(int side) {
  int p = 1;
  while (p * 2 <= side) p *= 2;
  if (side > p + p / 2) p *= 2;  // nearer the next one up
  return std::min(std::max(p, 1), kMaxTextureSide);
}

// Resamples straight-alpha RGBA with a tent filter as wide as a source pixel
// or an output pixel, whichever is larger, weighting colour by alpha so
// that transparent texels lend no colour.
std::vector<uint8_t> Resample(const std::vector<uint8_t>& src, int w, int h, int ow, int oh) {
  auto pass = [](const std::vector<float>& in, int n, int lines, int on, size_t step, size_t lineStep, size_t outStep,
                 size_t outLineStep, std::vector<float>* out) {
    const double scale = (double)n / on, radius = std::max(1.0, scale);
    for (int o = 0; o < on; ++o) {
      const double centre = (o + 0.5) * scale - 0.5;
      const int a = std::max(0, (int)std::floor(centre - radius)), b = std::min(n - 1, (int)std::ceil(centre + radius));
      std::vector<std::pair<int, double>> taps;
      double sum = 0;
      for (int i = a; i <= b; ++i) {
        const double wt = 1 - std::fabs(i - centre) / radius;
        if (wt > 0) taps.push_back({i, wt}), sum += wt;
      }
      for (int l = 0; l < lines; ++l)
        for (int c = 0; c < 4; ++c) {
          double v = 0;
          for (auto& t : taps) v += in[l * lineStep + t.first * step + c] * t.second;
          (*out)[l * outLineStep + o * outStep + c] = (float)(sum > 0 ? v / sum : 0);
        }
    }
  };
  std::vector<float> pre((size_t)w * h * 4);
  for (size_t i = 0; i < (size_t)w * h; ++i) {
    const float a = src[4 * i + 3] / 255.0f;
    for (int c = 0; c < 3; ++c) pre[4 * i + c] = src[4 * i + c] * a;
    pre[4 * i + 3] = src[4 * i + 3];
  }
  std::vector<float> across((size_t)ow * h * 4), both((size_t)ow * oh * 4);
  pass(pre, w, h, ow, 4, (size_t)w * 4, 4, (size_t)ow * 4, &across);
  pass(across, h, ow, oh, (size_t)ow * 4, 4, (size_t)ow * 4, 4, &both);
  std::vector<uint8_t> out((size_t)ow * oh * 4);
  for (size_t i = 0; i < (size_t)ow * oh; ++i) {
    const float a = both[4 * i + 3];
    for (int c = 0; c < 3; ++c) {
      const float v = a > 0 ? both[4 * i + c] / (a / 255.0f) : 0;
      out[4 * i + c] = (uint8_t)std::lround(std::min(std::max(v, 0.0f), 255.0f));
    }
    out[4 * i + 3] = (uint8_t)std::lround(std::min(std::max(a, 0.0f), 255.0f));
  }
  return out;
}

// The picture at ow x oh, named `stem` and the extension of its kind. One
// kept at its size keeps its file's bytes: nothing is encoded again.
CharacterPicture Sized(const Picture& p, int ow, int oh, const std::string& stem) {
  CharacterPicture c;
  c.width = ow;
  c.height = oh;
  c.rgba = ow == p.width && oh == p.height ? p.rgba : Resample(p.rgba, p.width, p.height, ow, oh);
  const bool kept = ow == p.width && oh == p.height && !p.file.empty();
  if (kept) c.file = p.file;
  c.name = stem + (kept && p.jpeg ? ".jpg" : ".png");
  return c;
}

// ---- meshes ------------------------------------------------------------

// One mesh of ours being filled: vertices, triangles and bone batches.
struct OutMesh {
  int material = -1;
  int parent = -1;  // the file's node a rigid mesh hangs on
  std::string name;
  bool skinned = false;
  std::vector<float> pos, nrm, uv, weights;
  std::vector<uint8_t> bones;
  std::vector<uint16_t> tris;
  std::vector<int> source;  // the primitive's vertex each one copies
  struct Batch {
    uint32_t firstTriangle;
    std::vector<int32_t> nodes;  // the file's joint nodes, by palette slot
  };
  std::vector<Batch> batches;
  size_t order = 0;
  AlphaMode mode = AlphaMode::kOpaque;
};

class Converter {
 public:
  Converter(const Document& d, CPODScene& clips, Character* out) : d_(d), clips_(clips), out_(*out) {}

  bool Run(std::string* reason) {
    world_ = RestWorlds(d_);
    shown_ = Shown(d_);
    drawn_ = DrawnPrimitives(d_, shown_, world_);
    if (!Place(reason)) return false;
    BuildMeshes();
    return Assemble(reason);
  }

 private:
  const Document& d_;
  CPODScene& clips_;
  Character& out_;
  std::vector<Mat4> world_;
  std::vector<uint8_t> shown_;
  std::vector<Drawn> drawn_;
  Change change_;
  std::vector<OutMesh> meshes_;

  // Her scale and ground for the model, from both rest extents.
  bool Place(std::string* reason) {
    change_.f = d_.version == Version::k0x ? -1 : 1;
    Extent target;
    for (const Drawn& dr : drawn_) {
      const Primitive& p = d_.meshes[(size_t)dr.mesh].primitives[(size_t)dr.primitive];
      for (size_t v = 0; v < p.vertexCount(); ++v) {
        const Vec3 at = At(p.positions, v);
        target.Add((dr.skinned ? Point(Blend(dr, p, v), at) : Point(world_[(size_t)dr.node], at)).y);
      }
    }
    const Extent hers = SceneExtent(clips_);
    if (!target.Valid()) return Fail(reason, "inconsistent: nothing of it has any height");
    if (!hers.Valid()) return Fail(reason, "her model, which the clips come from, has no height");
    change_.scale = (hers.hi - hers.lo) / (target.hi - target.lo);
    change_.offset = {0, hers.lo - change_.scale * target.lo, 0};
    return true;
  }

  static bool Fail(std::string* reason, const std::string& why) {
    *reason = why;
    return false;
  }

  // Our node index of the file's node n (mesh nodes and the root come first).
  int NodeIndex(int n) const { return meshCountFinal_ + 1 + n; }
  int meshCountFinal_ = 0;

  void BuildMeshes() {
    for (size_t i = 0; i < drawn_.size(); ++i)
      Split(drawn_[i], d_.meshes[(size_t)drawn_[i].mesh].primitives[(size_t)drawn_[i].primitive], i);
  }

  OutMesh& NewMesh(const Drawn& dr, const Primitive& p, size_t drawnIndex) {
    meshes_.emplace_back();
    OutMesh& m = meshes_.back();
    m.material = p.material;
    m.skinned = dr.skinned;
    m.parent = dr.skinned ? -1 : dr.node;
    m.order = drawnIndex;
    m.mode = p.material >= 0 ? d_.materials[(size_t)p.material].alphaMode : AlphaMode::kOpaque;
    const std::string& meshName = d_.meshes[(size_t)dr.mesh].name;
    m.name = (meshName.empty() ? "mesh" + std::to_string(dr.mesh) : meshName) + "#" + std::to_string(dr.primitive);
    return m;
  }

  // The primitive's triangles into meshes of ours: a new bone batch when
  // the next triangle's bones would not fit the palette, a new mesh when its
  // corners would not fit 16-bit indices. A vertex is copied into each batch
  // that uses it (its bone bytes are slots of one batch).
  void Split(const Drawn& dr, const Primitive& p, size_t drawnIndex) {
    const Skin* skin = dr.skinned ? &d_.skins[(size_t)d_.nodes[(size_t)dr.node].skin] : nullptr;
    OutMesh* m = &NewMesh(dr, p, drawnIndex);
    std::unordered_map<int, uint16_t> copies;  // the current batch's (or rigid mesh's) copies
    std::map<int, int> slots;                  // the current batch's joint slots -> palette slot
    auto startBatch = [&]() {
      copies.clear();
      slots.clear();
      if (dr.skinned) m->batches.push_back({(uint32_t)(m->tris.size() / 3), {}});
    };
    startBatch();
    for (size_t t = 0; t + 2 < p.indices.size(); t += 3) {
      const uint32_t c[3] = {p.indices[t], p.indices[t + 1], p.indices[t + 2]};
      if (dr.skinned) {
        std::map<int, int> need = slots;
        for (uint32_t v : c)
          for (int k = 0; k < 4; ++k)
            if (p.weights[4 * v + k] > 0) need.emplace(p.joints[4 * v + k], 0);
        if (need.size() > (size_t)kBatchBones) startBatch();
      }
      size_t fresh = 0;
      for (uint32_t v : c) fresh += copies.count((int)v) ? 0 : 1;
      if (m->source.size() + fresh > kMeshVertices) {
        m = &NewMesh(dr, p, drawnIndex);
        startBatch();
      }
      if (dr.skinned)
        for (uint32_t v : c)
          for (int k = 0; k < 4; ++k)
            if (p.weights[4 * v + k] > 0 && !slots.count(p.joints[4 * v + k])) {
              const int slot = (int)slots.size();
              slots[p.joints[4 * v + k]] = slot;
              m->batches.back().nodes.push_back(skin->joints[p.joints[4 * v + k]]);
            }
      for (uint32_t v : c) {
        auto it = copies.find((int)v);
        if (it == copies.end()) it = copies.emplace((int)v, AddVertex(*m, dr, p, v, slots)).first;
        m->tris.push_back(it->second);
      }
    }
  }

  uint16_t AddVertex(OutMesh& m, const Drawn& dr, const Primitive& p, uint32_t v, const std::map<int, int>& slots) {
    const uint16_t index = (uint16_t)m.source.size();
    m.source.push_back((int)v);
    Vec3 at = At(p.positions, v), n = p.normals.empty() ? Vec3{} : At(p.normals, v);
    if (dr.skinned) {
      const Mat4 b = Blend(dr, p, v);
      at = change_.P(Point(b, at)) + change_.offset;
      n = change_.V(Direction(b, n));
      for (int k = 0; k < 4; ++k) {
        const float w = p.weights[4 * v + k];
        m.bones.push_back(w > 0 ? (uint8_t)slots.at(p.joints[4 * v + k]) : 0);
        m.weights.push_back(F(w));
      }
    } else {
      at = change_.P(at);
      n = change_.V(n);
    }
    // Normals of unit length (the reader holds them to it); a file's zero
    // normal points up. A primitive without any gets them made (MakeNormals).
    const double len = Length(n);
    if (len > 0)
      n = n * (1 / len);
    else if (!p.normals.empty())
      n = {0, 1, 0};
    m.pos.insert(m.pos.end(), {F(at.x), F(at.y), F(at.z)});
    m.nrm.insert(m.nrm.end(), {F(n.x), F(n.y), F(n.z)});
    if (!p.uvs.empty()) m.uv.insert(m.uv.end(), {F(p.uvs[2 * v]), F(1.0 - p.uvs[2 * v + 1])});  // the loader flips v
    return index;
  }

  // Normals the file left out: each vertex's faces, weighted by area.
  static void MakeNormals(OutMesh& m) {
    std::vector<double> acc(m.pos.size(), 0.0);
    for (size_t t = 0; t + 2 < m.tris.size(); t += 3) {
      const Vec3 a = At(m.pos, m.tris[t]), b = At(m.pos, m.tris[t + 1]), c = At(m.pos, m.tris[t + 2]);
      const Vec3 f = Cross(b - a, c - a);
      for (int k = 0; k < 3; ++k) {
        acc[3 * m.tris[t + k]] += f.x, acc[3 * m.tris[t + k] + 1] += f.y, acc[3 * m.tris[t + k] + 2] += f.z;
      }
    }
    for (size_t v = 0; v < m.pos.size() / 3; ++v) {
      const Vec3 n{acc[3 * v], acc[3 * v + 1], acc[3 * v + 2]};
      const double len = Length(n);
      const Vec3 u = len > 0 ? n * (1 / len) : Vec3{0, 1, 0};
      m.nrm[3 * v] = F(u.x), m.nrm[3 * v + 1] = F(u.y), m.nrm[3 * v + 2] = F(u.z);
    }
  }

  // ---- the scene ------------------------------------------------------------

  template <typename T>
  static T* Copy(const std::vector<T>& v) {
    T* p = PODAlloc<T>(v.size());
    if (!v.empty()) std::memcpy(p, v.data(), v.size() * sizeof(T));
    return p;
  }

  static void Static(SPODNode& n, Vec3 t, Quat r, Vec3 s) {
    n.positions = PODAlloc<float>(3);
    n.rotations = PODAlloc<float>(4);
    n.scales = PODAlloc<float>(7);
    const float pos[3] = {F(t.x), F(t.y), F(t.z)};
    // Our files store the conjugate (math/Matrix.h).
    const float rot[4] = {F(-r.x), F(-r.y), F(-r.z), F(r.w)};
    const float scale[7] = {F(s.x), F(s.y), F(s.z), 0, 0, 0, 0};
    std::memcpy(n.positions, pos, sizeof pos);
    std::memcpy(n.rotations, rot, sizeof rot);
    std::memcpy(n.scales, scale, sizeof scale);
  }

  bool Assemble(std::string* reason) {
    // Opaque first, then alpha-tested, then blended, each in file order.
    std::stable_sort(meshes_.begin(), meshes_.end(),
                     [](const OutMesh& a, const OutMesh& b) { return (int)a.mode < (int)b.mode; });
    meshCountFinal_ = (int)meshes_.size();
    CPODScene& s = out_.scene;
    s.Destroy();
    s.ambientColour[0] = s.ambientColour[1] = s.ambientColour[2] = 1;
    s.frameCount = clips_.frameCount ? clips_.frameCount : 1;

    // Pictures: each one a material draws, once.
    std::map<int, int> textureOf;
    std::vector<std::string> textureNames;
    for (const Material& mat : d_.materials) {
      if (mat.image < 0 || textureOf.count(mat.image) || d_.pictures[(size_t)mat.image].rgba.empty()) continue;
      const Picture& pic = d_.pictures[(size_t)mat.image];
      out_.pictures.push_back(
          Sized(pic, PowerOfTwoNear(pic.width), PowerOfTwoNear(pic.height), "picture" + std::to_string(mat.image)));
      textureOf[mat.image] = (int)textureNames.size();
      textureNames.push_back(out_.pictures.back().name);
    }
    s.textureCount = (uint32_t)textureNames.size();
    s.textures = PODAlloc<char*>(textureNames.size());
    for (size_t i = 0; i < textureNames.size(); ++i) s.textures[i] = PODStrDup(textureNames[i].c_str());

    // Materials: the file's, then a plain one for primitives without.
    s.materialCount = (uint32_t)d_.materials.size() + 1;
    s.materials = PODAlloc<SPODMaterial>(s.materialCount);
    for (uint32_t i = 0; i < s.materialCount; ++i) {
      const Material plain;
      const Material& mat = i < d_.materials.size() ? d_.materials[i] : plain;
      SPODMaterial& m = s.materials[i];
      m.name = PODStrDup(mat.name.empty() ? ("material" + std::to_string(i)).c_str() : mat.name.c_str());
      m.textureIndex = mat.image >= 0 && textureOf.count(mat.image) ? textureOf[mat.image] : -1;
      m.opacity = mat.baseColor[3];
      // Lit as she is: ambient at 0.8 of the colour, no highlight.
      for (int k = 0; k < 3; ++k) m.diffuse[k] = mat.baseColor[k], m.ambient[k] = 0.8f * mat.baseColor[k];
      m.alphaMode = mat.alphaMode == AlphaMode::kBlend  ? EPODAlphaBlend
                    : mat.alphaMode == AlphaMode::kMask ? EPODAlphaMask
                                                        : EPODAlphaOpaque;
      m.alphaCutoff = mat.alphaCutoff;
      m.flags = (mat.doubleSided ? kPODMaterialDoubleSided : 0) | (mat.unlit ? kPODMaterialUnlit : 0);
    }

    // Meshes and their nodes.
    s.meshCount = s.meshNodeCount = (uint32_t)meshes_.size();
    s.meshes = PODAlloc<SPODMesh>(meshes_.size());
    s.nodeCount = (uint32_t)(meshes_.size() + 1 + d_.nodes.size());
    s.nodes = PODAlloc<SPODNode>(s.nodeCount);
    for (size_t i = 0; i < meshes_.size(); ++i) FillMesh(meshes_[i], s.meshes[i], s.nodes[i], (int)i);
    SPODNode& root = s.nodes[meshes_.size()];
    root.name = PODStrDup("vrm_root");
    root.meshIndex = root.materialIndex = -1;
    root.parentIndex = -1;
    Static(root, change_.offset, Quat{}, {1, 1, 1});
    std::vector<int> jointOf(d_.nodes.size(), 0);
    for (const Skin& sk : d_.skins)
      for (int j : sk.joints) jointOf[(size_t)j] = 1;
    for (size_t n = 0; n < d_.nodes.size(); ++n) {
      const Node& src = d_.nodes[n];
      SPODNode& dst = s.nodes[(size_t)NodeIndex((int)n)];
      dst.name = PODStrDup(src.name.empty() ? ("node" + std::to_string(n)).c_str() : src.name.c_str());
      dst.meshIndex = dst.materialIndex = -1;
      dst.parentIndex = src.parent >= 0 ? NodeIndex(src.parent) : (int)meshes_.size();
      const Transform local = LocalOf(src);
      Static(dst, change_.P(local.t), change_.Q(local.r), local.s);
      if (jointOf[n]) {
        // Bound in the file's rest pose, placed in hers.
        Mat4 rest = change_.M(world_[n]);
        rest.m[12] += change_.offset.x, rest.m[13] += change_.offset.y, rest.m[14] += change_.offset.z;
        const Mat4 inv = Inverse(rest);
        dst.inverseBind = PODAlloc<float>(16);
        for (int e = 0; e < 16; ++e) dst.inverseBind[e] = F(inv.m[e]);
      }
    }
    if (!Animate(reason)) return false;
    if (!s.InitImpl()) return Fail(reason, "out of memory");
    Describe();
    Thumbnail();
    return true;
  }

  void FillMesh(OutMesh& om, SPODMesh& m, SPODNode& node, int index) {
    if (std::all_of(om.nrm.begin(), om.nrm.end(), [](float v) { return v == 0; })) MakeNormals(om);
    const uint32_t n = (uint32_t)om.source.size();
    m.vertexCount = n;
    m.faceCount = (uint32_t)(om.tris.size() / 3);
    m.faces = {EPODDataUnsignedShort, 1, 2, reinterpret_cast<uint8_t*>(Copy(om.tris))};
    m.vertices = {EPODDataFloat, 3, 12, reinterpret_cast<uint8_t*>(Copy(om.pos))};
    m.normals = {EPODDataFloat, 3, 12, reinterpret_cast<uint8_t*>(Copy(om.nrm))};
    if (!om.uv.empty()) {
      m.uvwCount = 1;
      m.uvws = PODAlloc<CPODData>(1);
      m.uvws[0] = {EPODDataFloat, 2, 8, reinterpret_cast<uint8_t*>(Copy(om.uv))};
    }
    if (om.skinned) {
      m.boneIndices = {EPODDataUnsignedByte, 4, 4, Copy(om.bones)};
      m.boneWeights = {EPODDataFloat, 4, 16, reinterpret_cast<uint8_t*>(Copy(om.weights))};
      CBoneBatches& bb = m.boneBatches;
      bb.batchCount = (int32_t)om.batches.size();
      bb.batchBoneMax = kBatchBones;
      bb.batches = PODAlloc<int32_t>(om.batches.size() * kBatchBones);
      bb.batchBoneCounts = PODAlloc<int32_t>(om.batches.size());
      bb.batchOffsets = PODAlloc<int32_t>(om.batches.size());
      for (size_t b = 0; b < om.batches.size(); ++b) {
        const OutMesh::Batch& batch = om.batches[b];
        bb.batchBoneCounts[b] = std::max<int32_t>(1, (int32_t)batch.nodes.size());
        bb.batchOffsets[b] = (int32_t)batch.firstTriangle;
        // A batch of vertices with no weight at all still has slot 0 (the root).
        bb.batches[b * kBatchBones] = meshCountFinal_;
        for (size_t k = 0; k < batch.nodes.size(); ++k) bb.batches[b * kBatchBones + k] = NodeIndex(batch.nodes[k]);
      }
    }
    FillMorphs(om, m);
    node.meshIndex = index;
    node.name = PODStrDup(om.name.c_str());
    node.materialIndex = om.material >= 0 ? om.material : (int32_t)d_.materials.size();
    node.parentIndex = om.skinned ? -1 : NodeIndex(om.parent);
  }

  // The morph targets of the mesh's primitive, kept where they move a vertex.
  void FillMorphs(const OutMesh& om, SPODMesh& m) {
    const Drawn* dr = &drawn_[om.order];
    const Mesh& mesh = d_.meshes[(size_t)dr->mesh];
    const Primitive& p = mesh.primitives[(size_t)dr->primitive];
    if (p.targets.empty()) return;
    m.morphCount = (uint32_t)p.targets.size();
    m.morphs = PODAlloc<SPODMorph>(p.targets.size());
    for (size_t k = 0; k < p.targets.size(); ++k) {
      const MorphTarget& t = p.targets[k];
      SPODMorph& mo = m.morphs[k];
      mo.name = PODStrDup(k < mesh.targetNames.size() ? mesh.targetNames[k].c_str() : "");
      mo.weight = k < mesh.weights.size() ? mesh.weights[k] : 0.0f;
      std::vector<uint32_t> idx;
      std::vector<float> deltas;
      for (size_t v = 0; v < om.source.size(); ++v) {
        const size_t sv = (size_t)om.source[v];
        Vec3 dp = t.positions.empty() ? Vec3{} : At(t.positions, sv),
             dn = t.normals.empty() ? Vec3{} : At(t.normals, sv);
        if (dp.x == 0 && dp.y == 0 && dp.z == 0 && dn.x == 0 && dn.y == 0 && dn.z == 0) continue;
        if (dr->skinned) {
          const Mat4 b = Blend(*dr, p, sv);
          dp = Direction(b, dp);
          dn = Direction(b, dn);
        }
        dp = change_.P(dp);
        dn = change_.V(dn);
        idx.push_back((uint32_t)v);
        deltas.insert(deltas.end(), {F(dp.x), F(dp.y), F(dp.z), F(dn.x), F(dn.y), F(dn.z)});
      }
      mo.count = (uint32_t)idx.size();
      mo.indices = Copy(idx);
      mo.deltas = Copy(deltas);
    }
  }

  // Her timeline on the humanoid bones; every other node holds still.
  bool Animate(std::string* reason) {
    RetargetTarget target;
    CPODScene& s = out_.scene;
    for (uint32_t i = 0; i < s.nodeCount; ++i) {
      const SPODNode& n = s.nodes[i];
      Transform local;
      if (n.positions) local.t = {n.positions[0], n.positions[1], n.positions[2]};
      if (n.rotations) local.r = {-n.rotations[0], -n.rotations[1], -n.rotations[2], n.rotations[3]};
      if (n.scales) local.s = {n.scales[0], n.scales[1], n.scales[2]};
      target.parent.push_back(n.parentIndex);
      target.rest.push_back(local);
    }
    for (const auto& h : d_.humanoid) target.humanoid[h.first] = NodeIndex(h.second);
    RetargetedClips clips;
    if (!Retarget(clips_, target, &clips, reason)) return false;
    const uint32_t frames = s.frameCount;
    for (const auto& a : clips.rotations) {
      SPODNode& n = s.nodes[(size_t)a.first];
      std::free(n.rotations);
      n.rotations = PODAlloc<float>((size_t)frames * 4);
      for (uint32_t f = 0; f < frames; ++f) {
        const Quat& q = a.second[f];
        const float r[4] = {F(-q.x), F(-q.y), F(-q.z), F(q.w)};
        std::memcpy(n.rotations + 4 * f, r, sizeof r);
      }
      n.animationFlags |= 2u;
    }
    if (clips.hips >= 0) {
      SPODNode& n = s.nodes[(size_t)clips.hips];
      std::free(n.positions);
      n.positions = PODAlloc<float>((size_t)frames * 3);
      for (uint32_t f = 0; f < frames; ++f) {
        const Vec3& p = clips.hipsPositions[f];
        const float v[3] = {F(p.x), F(p.y), F(p.z)};
        std::memcpy(n.positions + 3 * f, v, sizeof v);
      }
      n.animationFlags |= 1u;
    }
    return true;
  }

  // ---- character.json ----------------------------------------------------------

  void Describe() {
    using Json = nlohmann::json;
    const bool v1 = d_.version == Version::k1;
    Json& j = out_.info;
    j = Json::object();
    j["format"] = kCharacterFormat;
    j["vrm"] = v1 ? "1.0" : "0.x";
    j["meta"] = {{"title", d_.meta.title},
                 {"version", d_.meta.version},
                 {"authors", d_.meta.authors},
                 {"license", d_.meta.license},
                 {"file", d_.vrm.contains("meta") ? d_.vrm["meta"] : Json()}};
    Json humanoid = Json::object();
    for (const auto& h : d_.humanoid)
      humanoid[h.first] = {{"node", NodeIndex(h.second)}, {"name", out_.scene.nodes[NodeIndex(h.second)].name}};
    j["humanoid"] = humanoid;
    auto raw = [&](const char* key) { return d_.vrm.contains(key) ? d_.vrm[key] : Json(); };
    j["expressions"] = v1 ? raw("expressions") : raw("blendShapeMaster");
    j["lookAt"] = v1 ? raw("lookAt") : Json();
    j["firstPerson"] = raw("firstPerson");  // 0.x keeps its look-at here too
    j["springs"] = v1 ? d_.springs : raw("secondaryAnimation");
    std::string left_out;
    j["spring_setup"] = SpringsToJson(Springs(&left_out));
    if (!left_out.empty()) j["springs_left_out"] = left_out;
    Json nodes = Json::array();
    for (size_t n = 0; n < d_.nodes.size(); ++n) nodes.push_back(NodeIndex((int)n));
    j["nodes"] = nodes;
    // Where each drawn primitive went: our meshes, in order (the meshes were
    // sorted by alpha mode, so they are found by name and source).
    Json prims = Json::array();
    for (size_t i = 0; i < drawn_.size(); ++i) {
      Json ours = Json::array();
      for (size_t k = 0; k < meshes_.size(); ++k)
        if (meshes_[k].order == i) ours.push_back(k);
      prims.push_back(
          {{"node", drawn_[i].node}, {"mesh", drawn_[i].mesh}, {"primitive", drawn_[i].primitive}, {"meshes", ours}});
    }
    j["primitives"] = prims;  // a morph target k of a file's mesh is morph k of each of these
    std::vector<DrawnInto> into;
    for (const Json& p : prims)
      into.push_back({p["node"].get<int>(), p["mesh"].get<int>(), p["meshes"].get<std::vector<int>>()});
    j["face"] = FileExpressions(d_, into);
    Json mats = Json::array();
    for (size_t m = 0; m < d_.materials.size(); ++m) mats.push_back(m);
    j["materials"] = mats;
    j["approximated"] = d_.approximated;
    j["scale"] = change_.scale;
    j["offset"] = {change_.offset.x, change_.offset.y, change_.offset.z};
  }

  // The file's springs moved into the scene made of it: its nodes are ours
  // (a file's root hangs from ours, which stands on her ground), lengths are
  // in her units and turned as the model is, and so are the rates (a
  // distance a second) and the pull's direction.
  SpringSetup Springs(std::string* left_out) const {
    SpringSetup s = FileSprings(d_, left_out);
    const double k = change_.scale, f = change_.f;
    const double off[3] = {change_.offset.x, change_.offset.y, change_.offset.z};
    auto point = [&](float v[3]) { v[0] = F(f * k * v[0]), v[1] = F(k * v[1]), v[2] = F(f * k * v[2]); };
    for (SpringJoint& j : s.joints) {
      point(j.offset);
      if (j.parent_joint < 0 && j.parent_node < 0)
        for (int a = 0; a < 3; ++a) j.offset[a] = F(j.offset[a] + off[a]);
      j.rotation[0] = F(f * j.rotation[0]), j.rotation[2] = F(f * j.rotation[2]);
      point(j.tail);
      j.hit_radius = F(k * j.hit_radius);
      j.stiffness = F(k * j.stiffness);
      j.gravity_power = F(k * j.gravity_power);
      j.gravity_dir[0] = F(f * j.gravity_dir[0]), j.gravity_dir[2] = F(f * j.gravity_dir[2]);
    }
    for (SpringCollider& c : s.colliders) {
      point(c.offset);
      point(c.tail);
      c.radius = F(k * c.radius);
    }
    for (int& n : s.node_ids) n = NodeIndex(n);
    for (int& n : s.joint_ids) n = NodeIndex(n);
    return s;
  }

  void Thumbnail() {
    if (d_.meta.thumbnail < 0 || d_.pictures[(size_t)d_.meta.thumbnail].rgba.empty()) return;
    const Picture& p = d_.pictures[(size_t)d_.meta.thumbnail];
    const double k = std::min(1.0, (double)kThumbnailSide / std::max(p.width, p.height));
    out_.thumbnail =
        Sized(p, std::max(1, (int)std::lround(p.width * k)), std::max(1, (int)std::lround(p.height * k)), "thumbnail");
    // Always a PNG by that name, where the settings screen looks for it.
    if (out_.thumbnail.name != "thumbnail.png") out_.thumbnail.file.clear(), out_.thumbnail.name = "thumbnail.png";
  }
};

}  // namespace

bool ConvertVrm(const Document& doc, CPODScene& clips, Character* out, std::string* reason) {
  out->scene.Destroy();
  out->pictures.clear();
  out->thumbnail = CharacterPicture();
  out->info = nlohmann::json();
  out->model.clear();
  Converter c(doc, clips, out);
  bool ok = c.Run(reason);
  clips.SetFrame(0.0f);
  // What is written must load: the reader's checks are the judge.
  CPODScene back;
  if (ok && (!PODWriteToBuffer(out->scene, out->model) || !back.ReadFromMemory(out->model.data(), out->model.size()))) {
    *reason = std::string("inconsistent: ") + (back.readError() ? back.readError() : "its model cannot be written");
    ok = false;
  }
  if (!ok) {
    out->scene.Destroy();
    out->pictures.clear();
    out->model.clear();
  }
  return ok;
}

}  // namespace vrm
