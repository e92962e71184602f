#include "kit/scene_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "scene/PODWriter.h"

namespace testkit {

namespace {

template <typename T>
void SetBlock(CPODData& block, EDataType type, uint32_t components, const std::vector<T>& values) {
  block.type = type;
  block.componentCount = components;
  block.stride = static_cast<uint32_t>(sizeof(T)) * components;
  block.data = PODAlloc<uint8_t>(values.size() * sizeof(T));
  if (!values.empty()) std::memcpy(block.data, values.data(), values.size() * sizeof(T));
}

}  // namespace

void SetFloats(CPODData& block, uint32_t components, const std::vector<float>& values) {
  SetBlock(block, EPODDataFloat, components, values);
}
void SetBytes(CPODData& block, uint32_t components, const std::vector<uint8_t>& values) {
  SetBlock(block, EPODDataUnsignedByte, components, values);
}
void SetIndices(SPODMesh& mesh, const std::vector<uint16_t>& indices) {
  SetBlock(mesh.faces, EPODDataUnsignedShort, 1, indices);
}

void AllocScene(SPODScene& s, uint32_t meshes, uint32_t nodes, uint32_t meshNodes, uint32_t materials,
                uint32_t textures, uint32_t frames) {
  s.meshCount = meshes;
  s.meshes = PODAlloc<SPODMesh>(meshes);
  s.nodeCount = nodes;
  s.meshNodeCount = meshNodes;
  s.nodes = PODAlloc<SPODNode>(nodes);
  for (uint32_t i = 0; i < nodes; ++i) {
    s.nodes[i].parentIndex = -1;
    s.nodes[i].materialIndex = -1;
    s.nodes[i].meshIndex = i < meshNodes ? static_cast<int32_t>(i) : -1;
    char name[32];
    std::snprintf(name, sizeof(name), "node%u", i);
    s.nodes[i].name = PODStrDup(name);
  }
  s.materialCount = materials;
  s.materials = materials ? PODAlloc<SPODMaterial>(materials) : nullptr;
  s.textureCount = textures;
  s.textures = textures ? PODAlloc<char*>(textures) : nullptr;
  s.frameCount = frames;
}

void SetMaterial(SPODMaterial& m, const char* name, int32_t textureIndex, float r, float g, float b) {
  m.name = PODStrDup(name);
  m.textureIndex = textureIndex;
  m.opacity = 1.0f;
  for (int k = 0; k < 3; ++k) {
    m.ambient[k] = 0.25f;
    m.specular[k] = 0.0f;
  }
  m.diffuse[0] = r;
  m.diffuse[1] = g;
  m.diffuse[2] = b;
  m.shininess = 0.0f;
}

void SetPosition(SPODNode& node, float x, float y, float z) {
  node.positions = PODAlloc<float>(3);
  const float at[3] = {x, y, z};
  std::memcpy(node.positions, at, sizeof at);
}

void SetSpinZ(SPODNode& node, uint32_t frames, float step) {
  node.animationFlags |= 2u;
  node.rotations = PODAlloc<float>(4 * frames);
  for (uint32_t f = 0; f < frames; ++f) {
    const float half = 0.5f * step * static_cast<float>(f);
    const float q[4] = {0.0f, 0.0f, std::sin(half), std::cos(half)};
    std::memcpy(node.rotations + 4 * f, q, sizeof q);
  }
}

void BuildTexturedCube(CPODScene& s) {
  AllocScene(s, 1, 1, 1, 1, 1, 0);
  s.textures[0] = PODStrDup("art/checker.png");
  SetMaterial(s.materials[0], "cube", 0, 1.0f, 1.0f, 1.0f);
  s.nodes[0].materialIndex = 0;
  // Turn about the axis (1, 1, 0) so that three faces face the camera.
  const float angle = 0.6f, k = std::sin(angle / 2) / std::sqrt(2.0f);
  s.nodes[0].rotations = PODAlloc<float>(4);
  const float turn[4] = {k, k, 0.0f, std::cos(angle / 2)};
  std::memcpy(s.nodes[0].rotations, turn, sizeof turn);

  std::vector<float> pos, nrm, uv;
  std::vector<uint16_t> idx;
  // Each face: normal n, and two in-plane axes u, v with u x v = n.
  const float faces[6][9] = {
      {0, 0, 1, 1, 0, 0, 0, 1, 0},  {0, 0, -1, -1, 0, 0, 0, 1, 0}, {1, 0, 0, 0, 0, -1, 0, 1, 0},
      {-1, 0, 0, 0, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 0, 0, 0, -1},  {0, -1, 0, 1, 0, 0, 0, 0, 1},
  };
  const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int f = 0; f < 6; ++f) {
    const float* n = faces[f];
    const uint16_t base = static_cast<uint16_t>(pos.size() / 3);
    for (const auto& c : corners) {
      for (int a = 0; a < 3; ++a) {
        pos.push_back(n[a] + c[0] * n[3 + a] + c[1] * n[6 + a]);
        nrm.push_back(n[a]);
      }
      uv.push_back(0.5f + 0.5f * c[0]);
      uv.push_back(0.5f + 0.5f * c[1]);
    }
    for (uint16_t t : {0, 1, 2, 0, 2, 3}) idx.push_back(static_cast<uint16_t>(base + t));
  }
  SPODMesh& m = s.meshes[0];
  m.vertexCount = 24;
  m.faceCount = 12;
  SetIndices(m, idx);
  SetFloats(m.vertices, 3, pos);
  SetFloats(m.normals, 3, nrm);
  m.uvwCount = 1;
  m.uvws = PODAlloc<CPODData>(1);
  SetFloats(m.uvws[0], 2, uv);
  s.InitImpl();
}

namespace {

// A sheet of cols x rows vertices, x in [-1, 1], y from y0 to y1, facing +z;
// appends positions, normals and triangle indices.
void AppendSheet(int cols, int rows, float y0, float y1, std::vector<float>& pos, std::vector<float>& nrm,
                 std::vector<uint16_t>& idx) {
  const int base = static_cast<int>(pos.size() / 3);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      pos.push_back(-1.0f + 2.0f * c / (cols - 1));
      pos.push_back(y0 + (y1 - y0) * r / (rows - 1));
      pos.push_back(0.0f);
      nrm.insert(nrm.end(), {0.0f, 0.0f, 1.0f});
    }
  for (int r = 0; r + 1 < rows; ++r)
    for (int c = 0; c + 1 < cols; ++c) {
      const int a = base + r * cols + c, b = a + 1, d = a + cols, e = d + 1;
      for (int v : {a, b, e, a, e, d}) idx.push_back(static_cast<uint16_t>(v));
    }
}

}  // namespace

void SetSkinnedMesh(SPODMesh& m, const std::vector<uint16_t>& idx, const std::vector<float>& pos,
                    const std::vector<float>& nrm, uint32_t slots, const std::vector<uint8_t>& bones,
                    const std::vector<float>& weights) {
  m.vertexCount = static_cast<uint32_t>(pos.size() / 3);
  m.faceCount = static_cast<uint32_t>(idx.size() / 3);
  SetIndices(m, idx);
  SetFloats(m.vertices, 3, pos);
  SetFloats(m.normals, 3, nrm);
  SetBytes(m.boneIndices, slots, bones);
  SetFloats(m.boneWeights, slots, weights);
}

void SetBatches(SPODMesh& m, const std::vector<std::vector<int32_t>>& lists, const std::vector<int32_t>& offsets) {
  CBoneBatches& bb = m.boneBatches;
  bb.batchCount = static_cast<int32_t>(lists.size());
  bb.batchBoneMax = 0;
  for (const auto& l : lists) bb.batchBoneMax = std::max<int32_t>(bb.batchBoneMax, l.size());
  bb.batches = PODAlloc<int32_t>(lists.size() * bb.batchBoneMax);
  bb.batchBoneCounts = PODAlloc<int32_t>(lists.size());
  bb.batchOffsets = PODAlloc<int32_t>(lists.size());
  for (size_t b = 0; b < lists.size(); ++b) {
    bb.batchBoneCounts[b] = static_cast<int32_t>(lists[b].size());
    bb.batchOffsets[b] = offsets[b];
    for (size_t j = 0; j < lists[b].size(); ++j) bb.batches[b * bb.batchBoneMax + j] = lists[b][j];
  }
}

void BuildSkinnedSheet(CPODScene& s) {
  AllocScene(s, 1, 3, 1, 1, 0, 10);
  SetMaterial(s.materials[0], "skin", -1, 1.0f, 0.55f, 0.2f);
  s.nodes[0].materialIndex = 0;
  SetPosition(s.nodes[1], 0.0f, 0.0f, 0.0f);  // bone A, the lower half
  SetPosition(s.nodes[2], 0.0f, 2.0f, 0.0f);  // bone B, child of A
  s.nodes[2].parentIndex = 1;
  SetSpinZ(s.nodes[2], 10, 0.12f);

  std::vector<float> pos, nrm, weights;
  std::vector<uint16_t> idx;
  std::vector<uint8_t> bones;
  AppendSheet(3, 5, 0.0f, 2.0f, pos, nrm, idx);
  const size_t lowerTriangles = idx.size() / 3;
  AppendSheet(3, 5, 2.0f, 4.0f, pos, nrm, idx);
  const int n = static_cast<int>(pos.size() / 3);
  for (int v = 0; v < n; ++v) {
    const float y = pos[3 * v + 1];
    const bool upper = v >= n / 2;
    // Weight of bone B grows from 0 at y = 1 to 1 at y = 3.
    float wb = std::min(1.0f, std::max(0.0f, (y - 1.0f) * 0.5f));
    // Batch 0 lists (A, B), batch 1 lists (B, A): slot 0 is always A.
    bones.push_back(upper ? 1 : 0);
    bones.push_back(upper ? 0 : 1);
    weights.push_back(1.0f - wb);
    weights.push_back(wb);
  }
  SPODMesh& m = s.meshes[0];
  SetSkinnedMesh(m, idx, pos, nrm, 2, bones, weights);
  SetBatches(m, {{1, 2}, {2, 1}}, {0, static_cast<int32_t>(lowerTriangles)});
  s.InitImpl();
}

void BuildStrips(CPODScene& s) {
  AllocScene(s, 2, 2, 2, 2, 0, 0);
  SetMaterial(s.materials[0], "const_ribbon", -1, 0.0f, 0.0f, 0.0f);
  SetMaterial(s.materials[1], "green", -1, 0.1f, 0.9f, 0.2f);
  s.nodes[0].materialIndex = 0;
  s.nodes[1].materialIndex = 1;

  // Mesh 0: strip of 2 triangles (a quad on the left) then one of 3
  // triangles (a fan-like band on the right), indexed.
  SPODMesh& a = s.meshes[0];
  const std::vector<float> pa = {-1.8f, -1.0f, 0, -1.8f, 0.0f,  0, -0.8f, -1.0f, 0, -0.8f, 0.0f,  0, 0.2f, -1.0f, 0,
                                 0.2f,  0.0f,  0, 1.0f,  -1.0f, 0, 1.0f,  0.0f,  0, 1.8f,  -1.0f, 0};
  a.vertexCount = 9;
  a.faceCount = 5;
  SetFloats(a.vertices, 3, pa);
  std::vector<float> facing;
  for (int v = 0; v < 9; ++v) facing.insert(facing.end(), {0.0f, 0.0f, 1.0f});
  SetFloats(a.normals, 3, facing);
  SetIndices(a, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  a.stripCount = 2;
  a.stripLengths = PODAlloc<uint32_t>(2);
  a.stripLengths[0] = 2;
  a.stripLengths[1] = 3;

  // Mesh 1: one unindexed strip of 2 triangles above, lit green.
  SPODMesh& b = s.meshes[1];
  b.vertexCount = 4;
  b.faceCount = 2;
  SetFloats(b.vertices, 3, {-1.0f, 0.4f, 0, -1.0f, 1.6f, 0, 1.0f, 0.4f, 0, 1.0f, 1.6f, 0});
  SetFloats(b.normals, 3, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});
  b.stripCount = 1;
  b.stripLengths = PODAlloc<uint32_t>(1);
  b.stripLengths[0] = 2;
  s.InitImpl();
}

void BuildNoNormals(CPODScene& s) {
  AllocScene(s, 1, 1, 1, 0, 0, 0);
  SPODMesh& m = s.meshes[0];
  m.vertexCount = 6;
  m.faceCount = 2;
  SetFloats(m.vertices, 3,
            {-1.5f, -1.5f, 0, 1.5f, -1.5f, 0, 0.0f, 1.5f, 0,  //
             0.5f, -0.5f, 0.5f, 1.8f, -0.5f, 0.5f, 1.2f, 1.0f, 0.5f});
  s.InitImpl();
}

void BuildBoxAndCard(CPODScene& s) {
  AllocScene(s, 1, 2, 1, 1, 0, 1);
  SetMaterial(s.materials[0], "box", -1, 0.9f, 0.8f, 0.7f);
  s.nodes[0].materialIndex = 0;
  std::vector<float> pos, nrm;
  std::vector<uint16_t> idx;
  auto quad = [&](const float(&c)[4][3], float nx, float ny, float nz) {
    const uint16_t first = static_cast<uint16_t>(pos.size() / 3);
    for (const auto& p : c) {
      pos.insert(pos.end(), {p[0], p[1], p[2]});
      nrm.insert(nrm.end(), {nx, ny, nz});
    }
    idx.insert(idx.end(), {first, static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first + 2), first,
                           static_cast<uint16_t>(first + 2), static_cast<uint16_t>(first + 3)});
  };
  const float x0 = -1.5f, x1 = -0.5f, lo = -0.5f, hi = 0.5f;
  quad({{x0, lo, lo}, {x0, lo, hi}, {x0, hi, hi}, {x0, hi, lo}}, -1, 0, 0);
  quad({{x1, lo, lo}, {x1, hi, lo}, {x1, hi, hi}, {x1, lo, hi}}, 1, 0, 0);
  quad({{x0, lo, lo}, {x1, lo, lo}, {x1, lo, hi}, {x0, lo, hi}}, 0, -1, 0);
  quad({{x0, hi, lo}, {x0, hi, hi}, {x1, hi, hi}, {x1, hi, lo}}, 0, 1, 0);
  quad({{x0, lo, lo}, {x0, hi, lo}, {x1, hi, lo}, {x1, lo, lo}}, 0, 0, -1);
  quad({{x0, lo, hi}, {x1, lo, hi}, {x1, hi, hi}, {x0, hi, hi}}, 0, 0, 1);
  quad({{0.5f, lo, 0}, {0.5f, hi, 0}, {1.5f, hi, 0}, {1.5f, lo, 0}}, 0, 0, -1);
  const size_t n = pos.size() / 3;
  SetSkinnedMesh(s.meshes[0], idx, pos, nrm, 1, std::vector<uint8_t>(n, 0), std::vector<float>(n, 1.0f));
  SetBatches(s.meshes[0], {{1}}, {0});
  s.InitImpl();
}

void BuildSkinnedGrid(CPODScene& s, int vertices, int bones, int slots, uint32_t frames) {
  const int half = vertices / 2;
  const int cols = 50;
  const int rows = half / cols;
  AllocScene(s, 1, 1 + bones, 1, 1, 0, frames);
  SetMaterial(s.materials[0], "grid", -1, 0.8f, 0.8f, 0.8f);
  s.nodes[0].materialIndex = 0;
  for (int k = 0; k < bones; ++k) {
    SPODNode& bone = s.nodes[1 + k];
    SetPosition(bone, 0.0f, k == 0 ? 0.0f : 4.0f / bones, 0.0f);
    bone.parentIndex = k == 0 ? -1 : k;  // a chain: bone k hangs from bone k - 1
    SetSpinZ(bone, frames, 0.01f * ((k % 3) - 1));
  }
  std::vector<float> pos, nrm, weights;
  std::vector<uint16_t> idx;
  std::vector<uint8_t> boneBytes;
  AppendSheet(cols, rows, 0.0f, 2.0f, pos, nrm, idx);
  const size_t lowerTriangles = idx.size() / 3;
  AppendSheet(cols, rows, 2.0f, 4.0f, pos, nrm, idx);
  const int n = static_cast<int>(pos.size() / 3);
  const int perBatch = bones / 2;
  const float w[4] = {0.4f, 0.3f, 0.2f, 0.1f};
  for (int v = 0; v < n; ++v) {
    const int row = (v % half) / cols;
    for (int k = 0; k < slots; ++k) {
      boneBytes.push_back(static_cast<uint8_t>((row * perBatch / rows + 3 * k) % perBatch));
      weights.push_back(k < 4 ? w[k] : 0.0f);
    }
  }
  std::vector<std::vector<int32_t>> lists(2);
  for (int k = 0; k < bones; ++k) lists[k < perBatch ? 0 : 1].push_back(1 + k);
  SPODMesh& m = s.meshes[0];
  SetSkinnedMesh(m, idx, pos, nrm, static_cast<uint32_t>(slots), boneBytes, weights);
  SetBatches(m, lists, {0, static_cast<int32_t>(lowerTriangles)});
  s.InitImpl();
}

bool WriteScene(const SPODScene& s, const std::string& dir, const std::string& name) {
  return PODWriteToFile(s, (dir + "/" + name + ".POD").c_str());
}

bool RoundTrip(const SPODScene& in, CPODScene& out, const PODWriteOptions& options) {
  std::vector<uint8_t> bytes;
  return PODWriteToBuffer(in, bytes, options) && out.ReadFromMemory(bytes.data(), bytes.size());
}

// A scene shaped like the character: one skinned mesh node (two bone
// batches, strips optional) under a root, a bone chain whose second bone
// turns over the frames, one textured material, a camera and a light.
//   nodes: 0 mesh node, 1 root, 2 bone A (child of root), 3 bone B (child of A)
void BuildTestScene(SPODScene& s, bool withStrips) {
  AllocScene(s, 1, 4, 1, 1, 1, 10);
  s.backgroundColour[0] = 0.25f;
  s.ambientColour[2] = 0.5f;

  s.cameraCount = 1;
  s.cameras = PODAlloc<SPODCameraEntry>(1);
  s.cameras[0] = {1, 0.7f, 5000, 5, PODAlloc<float>(10)};
  for (int i = 0; i < 10; ++i) s.cameras[0].fieldOfViewAnimation[i] = 0.7f + 0.01f * i;
  s.lightCount = 1;
  s.lights = PODAlloc<SPODLightEntry>(1);
  s.lights[0] = {-1, {1, 0.5f, 0}, 2};

  s.textures[0] = PODStrDup("maps\\skin.png");
  SPODMaterial& mat = s.materials[0];
  SetMaterial(mat, "body", 0, 0.8f, 0.8f, 0.8f);
  for (int k = 0; k < 3; ++k) {
    mat.ambient[k] = 0.2f;
    mat.specular[k] = 0.1f;
  }
  mat.shininess = 0.25f;
  mat.effectFile = PODStrDup("fx.pfx");
  mat.effectName = PODStrDup("skin");

  // Mesh: a strip of 6 vertices along x (two rows), 4 triangles; the first
  // two vertices on bone A alone, the rest half and half.
  SPODMesh& m = s.meshes[0];
  const uint32_t n = 6;
  m.vertexCount = n;
  m.faceCount = 4;
  std::vector<float> pos, nrm, uv, weights;
  std::vector<uint8_t> bones;
  std::vector<uint32_t> colours;
  for (uint32_t v = 0; v < n; ++v) {
    pos.insert(pos.end(), {static_cast<float>(v / 2) * 10.0f, static_cast<float>(v % 2) * 10.0f, 0});
    nrm.insert(nrm.end(), {0, 0, 1});
    uv.insert(uv.end(), {static_cast<float>(v) / n, 0});
    colours.push_back(0xFF0000FFu - v);
    bones.insert(bones.end(), {0, static_cast<uint8_t>(v >= 2 ? 1 : 0)});
    weights.insert(weights.end(), {v >= 2 ? 0.5f : 1.0f, v >= 2 ? 0.5f : 0.0f});
  }
  SetFloats(m.vertices, 3, pos);
  SetFloats(m.normals, 3, nrm);
  m.uvwCount = 1;
  m.uvws = PODAlloc<CPODData>(1);
  SetFloats(m.uvws[0], 2, uv);
  SetBytes(m.colours, 4,
           std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(colours.data()),
                                reinterpret_cast<const uint8_t*>(colours.data() + n)));
  m.colours.type = EPODDataARGB;
  m.colours.componentCount = 1;
  SetBytes(m.boneIndices, 2, bones);
  SetFloats(m.boneWeights, 2, weights);
  if (withStrips) {
    m.stripCount = 1;
    m.stripLengths = PODAlloc<uint32_t>(1);
    m.stripLengths[0] = 4;
    SetIndices(m, {0, 1, 2, 3, 4, 5});
  } else {
    SetIndices(m, {0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4});
  }
  // Batch 0: triangles 0..1 with bones A, B; batch 1: triangles 2..3 with B, A.
  SetBatches(m, {{2, 3}, {3, 2}}, {0, 2});

  const char* names[4] = {"body", "root", "boneA", "boneB"};
  const int parents[4] = {-1, -1, 1, 2};
  const float places[4][3] = {{0, 0, 0}, {0, 100, 0}, {0, -100, 0}, {10, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    SPODNode& nd = s.nodes[i];
    std::free(nd.name);
    nd.name = PODStrDup(names[i]);
    nd.parentIndex = parents[i];
    nd.meshIndex = 0;
    SetPosition(nd, places[i][0], places[i][1], places[i][2]);
    nd.rotations = PODAlloc<float>(4);
    nd.rotations[3] = 1;
    nd.scales = PODAlloc<float>(7);
    nd.scales[0] = nd.scales[1] = nd.scales[2] = 1;
  }
  s.nodes[0].materialIndex = 0;
  // Bone B turns about z over the frames, and moves along x.
  SPODNode& b = s.nodes[3];
  std::free(b.rotations);
  std::free(b.positions);
  SetSpinZ(b, 10, 0.1f);
  b.positions = PODAlloc<float>(3 * 10);
  for (int f = 0; f < 10; ++f) b.positions[3 * f] = 10.0f + f;
  b.animationFlags = 3;
}

void BuildSoftScene(CPODScene& s, const SoftMesh& m, uint32_t meshNodes) {
  AllocScene(s, 1, meshNodes, meshNodes, 0, 0, 0);
  SPODMesh& mesh = s.meshes[0];
  mesh.vertexCount = static_cast<uint32_t>(m.mark.size());
  mesh.faceCount = static_cast<uint32_t>(m.faces.size() / 3);
  SetIndices(mesh, m.faces);
  SetFloats(mesh.vertices, 3, m.pos);
  SetFloats(mesh.normals, 3, m.normal);
  std::vector<uint8_t> colours;
  for (uint8_t k : m.mark) colours.insert(colours.end(), {k, 0x40, 0x80, 0xC0});
  SetBytes(mesh.colours, 4, colours);
  mesh.colours.type = EPODDataARGB;
  mesh.colours.componentCount = 1;
  for (uint32_t i = 0; i < meshNodes; ++i) {
    s.nodes[i].meshIndex = 0;
    free(s.nodes[i].name);
    s.nodes[i].name = PODStrDup("soft");
  }
  s.InitImpl();
}

SoftMesh SoftGrid(int n, uint8_t rimMark, uint8_t innerMark) {
  SoftMesh m;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const bool rim = x == 0 || y == 0 || x == n - 1 || y == n - 1;
      m.Add(static_cast<float>(x), static_cast<float>(y), 0, rim ? rimMark : innerMark);
    }
  for (int y = 0; y + 1 < n; ++y)
    for (int x = 0; x + 1 < n; ++x) {
      const int v = y * n + x;
      m.Tri(v, v + 1, v + n);
      m.Tri(v + 1, v + n + 1, v + n);
    }
  return m;
}

SoftMesh SoftFan(float centreZ) {
  SoftMesh m;
  m.Add(0, 0, 0, 252);
  m.Add(4, 0, 0, 253);
  m.Add(0, 4, 0, 254);
  m.Add(1, 1, centreZ, 100, 0.6f, 0.8f, 0);
  m.Add(1, 1, centreZ, 100, 0.6f, 0.8f, 0);
  m.Tri(0, 1, 3);
  m.Tri(1, 2, 4);
  m.Tri(2, 0, 3);
  return m;
}

bool LoadSoftScene(const SoftMesh& m, CPODScene& out, uint32_t meshNodes) {
  CPODScene built;
  BuildSoftScene(built, m, meshNodes);
  return RoundTrip(built, out);
}

}  // namespace testkit
