#include "scene_build.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

namespace {
const float kPi = 3.14159265f;
}

V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Normalized(V3 a) {
  float l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return l > 0 ? a * (1.0f / l) : a;
}
static float Len(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

void AxisAngle(V3 axis, float radians, float q[4]) {
  V3 n = Normalized(axis);
  float s = std::sin(radians * 0.5f);
  q[0] = n.x * s;
  q[1] = n.y * s;
  q[2] = n.z * s;
  q[3] = std::cos(radians * 0.5f);
}

static void PushVertex(Mesh& m, V3 p, V3 n, float u, float v) {
  m.pos.insert(m.pos.end(), {p.x, p.y, p.z});
  m.nrm.insert(m.nrm.end(), {n.x, n.y, n.z});
  m.uv.insert(m.uv.end(), {u, v});
}

void Mesh::Quad(V3 p, V3 u, V3 v, float tile) {
  V3 n = Normalized(Cross(u, v));
  float su = tile > 0 ? Len(u) / tile : 1, sv = tile > 0 ? Len(v) / tile : 1;
  uint16_t b = uint16_t(VertexCount());
  PushVertex(*this, p, n, 0, 0);
  PushVertex(*this, p + u, n, su, 0);
  PushVertex(*this, p + u + v, n, su, sv);
  PushVertex(*this, p + v, n, 0, sv);
  idx.insert(idx.end(), {b, uint16_t(b + 1), uint16_t(b + 2), b, uint16_t(b + 2), uint16_t(b + 3)});
}

void Mesh::Box(V3 c, V3 h, float tile, bool inward, bool withBottom) {
  V3 X{2 * h.x, 0, 0}, Y{0, 2 * h.y, 0}, Z{0, 0, 2 * h.z};
  V3 lo = c - h, hi = c + h;
  // Each face as (corner, u, v) with u x v pointing out of the box.
  struct F {
    V3 p, u, v;
  };
  std::vector<F> faces = {
      {{lo.x, lo.y, hi.z}, X, Y},       // front +z
      {{hi.x, lo.y, lo.z}, X * -1, Y},  // back -z
      {{hi.x, lo.y, hi.z}, Z * -1, Y},  // right +x
      {{lo.x, lo.y, lo.z}, Z, Y},       // left -x
      {{lo.x, hi.y, hi.z}, X, Z * -1},  // top +y
  };
  // A box standing on the floor gets no bottom: with culling off it would
  // fight the floor for the same depth.
  if (withBottom && lo.y != 0.0f) faces.push_back({{lo.x, lo.y, lo.z}, X, Z});  // bottom -y
  for (F f : faces) {
    if (inward)
      Quad(f.p + f.u, f.u * -1, f.v, tile);
    else
      Quad(f.p, f.u, f.v, tile);
  }
}

void Mesh::Cylinder(V3 base, float r0, float r1, float h, int seg, bool caps, float tile) {
  uint16_t b = uint16_t(VertexCount());
  float slope = (r0 - r1) / h;  // normal tilts up on a cone
  float circumference = 2 * kPi * std::max(r0, r1);
  for (int i = 0; i <= seg; ++i) {
    float a = 2 * kPi * float(i) / float(seg);
    float c = std::cos(a), s = std::sin(a);
    V3 n = Normalized({c, slope, s});
    float u = tile > 0 ? circumference / tile * float(i) / float(seg) : float(i) / float(seg);
    float vt = tile > 0 ? h / tile : 1;
    PushVertex(*this, base + V3{c * r0, 0, s * r0}, n, u, 0);
    PushVertex(*this, base + V3{c * r1, h, s * r1}, n, u, vt);
  }
  for (int i = 0; i < seg; ++i) {
    uint16_t a0 = uint16_t(b + 2 * i), a1 = uint16_t(a0 + 1), b0 = uint16_t(a0 + 2), b1 = uint16_t(a0 + 3);
    // Angle grows from +x towards +z, so (a0, a1, b1) turns counter-clockwise seen from outside.
    idx.insert(idx.end(), {a0, a1, b1, a0, b1, b0});
  }
  if (caps) {
    if (r1 > 0) Disc(base + V3{0, h, 0}, r1, seg, true);
    if (r0 > 0) Disc(base, r0, seg, false);
  }
}

void Mesh::Disc(V3 c, float r, int seg, bool up) {
  uint16_t b = uint16_t(VertexCount());
  V3 n{0, up ? 1.0f : -1.0f, 0};
  PushVertex(*this, c, n, 0.5f, 0.5f);
  for (int i = 0; i <= seg; ++i) {
    float a = 2 * kPi * float(i) / float(seg);
    float x = std::cos(a), z = std::sin(a);
    PushVertex(*this, c + V3{x * r, 0, z * r}, n, 0.5f + 0.5f * x, 0.5f - 0.5f * z);
  }
  for (int i = 0; i < seg; ++i) {
    uint16_t p = uint16_t(b + 1 + i), q = uint16_t(b + 2 + i);
    if (up)
      idx.insert(idx.end(), {b, q, p});
    else
      idx.insert(idx.end(), {b, p, q});
  }
}

void Mesh::Torus(V3 c, float R, float r, int seg, int sides) {
  uint16_t b = uint16_t(VertexCount());
  for (int i = 0; i <= seg; ++i) {
    float a = 2 * kPi * float(i) / float(seg);
    for (int j = 0; j <= sides; ++j) {
      float t = 2 * kPi * float(j) / float(sides);
      V3 n{std::cos(a) * std::cos(t), std::sin(t), std::sin(a) * std::cos(t)};
      V3 p{std::cos(a) * (R + r * std::cos(t)), r * std::sin(t), std::sin(a) * (R + r * std::cos(t))};
      PushVertex(*this, c + p, n, float(i) / float(seg) * 4, float(j) / float(sides));
    }
  }
  for (int i = 0; i < seg; ++i)
    for (int j = 0; j < sides; ++j) {
      uint16_t a0 = uint16_t(b + i * (sides + 1) + j), a1 = uint16_t(a0 + 1);
      uint16_t b0 = uint16_t(a0 + sides + 1), b1 = uint16_t(b0 + 1);
      idx.insert(idx.end(), {a0, a1, b1, a0, b1, b0});
    }
}

void Mesh::Card(V3 c, float w, float h, float yaw) {
  V3 u{std::cos(yaw) * w, 0, -std::sin(yaw) * w};
  Quad(c - u * 0.5f - V3{0, h * 0.5f, 0}, u, {0, h, 0});
}

void Mesh::Append(const Mesh& m, V3 o) {
  uint16_t b = uint16_t(VertexCount());
  for (size_t i = 0; i < m.VertexCount(); ++i) {
    pos.insert(pos.end(), {m.pos[3 * i] + o.x, m.pos[3 * i + 1] + o.y, m.pos[3 * i + 2] + o.z});
    nrm.insert(nrm.end(), {m.nrm[3 * i], m.nrm[3 * i + 1], m.nrm[3 * i + 2]});
    uv.insert(uv.end(), {m.uv[2 * i], m.uv[2 * i + 1]});
  }
  for (uint16_t k : m.idx) idx.push_back(uint16_t(b + k));
}

int SceneBuilder::Texture(const std::string& name) {
  for (size_t i = 0; i < textures.size(); ++i)
    if (textures[i] == name) return int(i);
  textures.push_back(name);
  return int(textures.size() - 1);
}

int SceneBuilder::Lit(const std::string& name, int texture, float r, float g, float b, float specular,
                      float shininess) {
  Material m;
  m.name = name;
  m.texture = texture;
  const float col[3] = {r, g, b};
  for (int i = 0; i < 3; ++i) {
    m.ambient[i] = col[i];
    m.diffuse[i] = col[i] * 0.55f;
    m.specular[i] = specular;
  }
  m.shininess = shininess;
  materials.push_back(m);
  return int(materials.size() - 1);
}

int SceneBuilder::Const(const std::string& name, int texture) {
  int m = Lit(name, texture, 1, 1, 1, 0, 0);
  return m;
}

void SceneBuilder::Add(const std::string& name, Mesh mesh, int material, V3 at, Motion motion, Layer layer) {
  items.push_back({name, std::move(mesh), material, at, std::move(motion), {0, 0, 0, 1}, layer});
}

void SceneBuilder::AddTurned(const std::string& name, Mesh mesh, int material, V3 at, V3 axis, float radians) {
  Add(name, std::move(mesh), material, at);
  AxisAngle(axis, radians, items.back().turn);
}

void Mesh::QuadUV(V3 p, V3 u, V3 v, float u0, float v0, float u1, float v1, bool twoSided) {
  for (int side = 0; side < (twoSided ? 2 : 1); ++side) {
    V3 n = Normalized(Cross(u, v));
    if (side) n = n * -1;
    uint16_t b = uint16_t(VertexCount());
    PushVertex(*this, p, n, u0, v0);
    PushVertex(*this, p + u, n, u1, v0);
    PushVertex(*this, p + u + v, n, u1, v1);
    PushVertex(*this, p + v, n, u0, v1);
    if (side)
      idx.insert(idx.end(), {b, uint16_t(b + 2), uint16_t(b + 1), b, uint16_t(b + 3), uint16_t(b + 2)});
    else
      idx.insert(idx.end(), {b, uint16_t(b + 1), uint16_t(b + 2), b, uint16_t(b + 2), uint16_t(b + 3)});
  }
}

void Mesh::Flip() {
  TurnWinding();
  for (float& v : nrm) v = -v;
}

void Mesh::TurnWinding() {
  for (size_t i = 0; i + 2 < idx.size(); i += 3) std::swap(idx[i + 1], idx[i + 2]);
}

static void FillData(CPODData& d, const std::vector<float>& v, uint32_t comps) {
  d.type = EPODDataFloat;
  d.componentCount = comps;
  d.stride = comps * 4;
  d.data = static_cast<uint8_t*>(PODCalloc(v.size(), 4));
  std::memcpy(d.data, v.data(), v.size() * 4);
}

bool SceneBuilder::Write(const std::string& path) const {
  CPODScene s;
  s.frameCount = uint32_t(frames);
  s.ambientColour[0] = s.ambientColour[1] = s.ambientColour[2] = 0.65f;
  s.textureCount = uint32_t(textures.size());
  s.textures = PODAlloc<char*>(textures.size());
  for (size_t i = 0; i < textures.size(); ++i) s.textures[i] = PODStrDup(textures[i].c_str());
  s.materialCount = uint32_t(materials.size());
  s.materials = PODAlloc<SPODMaterial>(materials.size());
  for (size_t i = 0; i < materials.size(); ++i) {
    const Material& m = materials[i];
    SPODMaterial& o = s.materials[i];
    o.name = PODStrDup(m.name.c_str());
    o.textureIndex = m.texture;
    o.opacity = 1;
    std::memcpy(o.ambient, m.ambient, sizeof o.ambient);
    std::memcpy(o.diffuse, m.diffuse, sizeof o.diffuse);
    std::memcpy(o.specular, m.specular, sizeof o.specular);
    o.shininess = m.shininess;
  }
  s.meshCount = s.nodeCount = s.meshNodeCount = uint32_t(items.size());
  s.meshes = PODAlloc<SPODMesh>(items.size());
  s.nodes = PODAlloc<SPODNode>(items.size());
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  size_t opaque = 0;
  while (opaque < items.size() && !(size_t(items[opaque].material) < materials.size() &&
                                    materials[size_t(items[opaque].material)].name.find("alpha") != std::string::npos))
    ++opaque;
  std::stable_sort(order.begin(), order.begin() + long(opaque),
                   [this](size_t a, size_t b) { return items[a].layer < items[b].layer; });
  bool ok = true;
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[order[i]];
    if (it.mesh.VertexCount() == 0 || it.mesh.VertexCount() > 65535) {
      std::fprintf(stderr, "worldgen: mesh %s has %zu vertices\n", it.name.c_str(), it.mesh.VertexCount());
      ok = false;
      break;
    }
    SPODMesh& m = s.meshes[i];
    m.vertexCount = uint32_t(it.mesh.VertexCount());
    m.faceCount = uint32_t(it.mesh.idx.size() / 3);
    m.faces.type = EPODDataUnsignedShort;
    m.faces.componentCount = 1;
    m.faces.stride = 2;
    m.faces.data = static_cast<uint8_t*>(PODCalloc(it.mesh.idx.size(), 2));
    std::memcpy(m.faces.data, it.mesh.idx.data(), it.mesh.idx.size() * 2);
    FillData(m.vertices, it.mesh.pos, 3);
    FillData(m.normals, it.mesh.nrm, 3);
    m.uvwCount = 1;
    m.uvws = PODAlloc<CPODData>(1);
    FillData(m.uvws[0], it.mesh.uv, 2);

    SPODNode& n = s.nodes[i];
    n.meshIndex = int32_t(i);
    n.name = PODStrDup(it.name.c_str());
    n.materialIndex = it.material;
    n.parentIndex = -1;
    size_t entries = (it.motion && frames > 1) ? size_t(frames) : 1;
    n.positions = PODAlloc<float>(3 * entries);
    n.rotations = PODAlloc<float>(4 * entries);
    for (size_t k = 0; k < entries; ++k) {
      V3 p = it.at;
      float q[4] = {it.turn[0], it.turn[1], it.turn[2], it.turn[3]};
      if (entries > 1) it.motion(int(k), frames, p, q);
      float* pp = n.positions + 3 * k;
      pp[0] = p.x;
      pp[1] = p.y;
      pp[2] = p.z;
      std::memcpy(n.rotations + 4 * k, q, sizeof q);
    }
    n.animationFlags = entries > 1 ? 3u : 0u;
  }
  if (ok && !PODWriteToFile(s, path.c_str())) {
    std::fprintf(stderr, "worldgen: cannot write %s\n", path.c_str());
    ok = false;
  }
  // Destroy frees the records only of a scene with an evaluation state.
  s.InitImpl();
  s.Destroy();
  return ok;
}
