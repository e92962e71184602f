// Helpers for scene tests: a temporary folder, a raw block writer for files
// the scene writer would never produce, and a small but complete scene.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/ovanta-test-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

// Blocks written by hand, for files of unusual shape.
struct Blocks {
  std::vector<uint8_t> b;
  Blocks& raw(const void* p, size_t n) {
    const uint8_t* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
    return *this;
  }
  Blocks& marker(uint32_t tag, uint32_t len) { return raw(&tag, 4).raw(&len, 4); }
  Blocks& leaf(uint32_t tag, const void* p, uint32_t n) { return marker(tag, n).raw(p, n); }
  Blocks& u32(uint32_t tag, uint32_t v) { return leaf(tag, &v, 4); }
  Blocks& floats(uint32_t tag, std::vector<float> v) { return leaf(tag, v.data(), (uint32_t)(v.size() * 4)); }
  Blocks& begin(uint32_t tag) { return marker(tag, 0); }
  Blocks& end(uint32_t tag) { return marker(tag | 0x80000000u, 0); }
  Blocks& version() { return leaf(1000, "AB.POD.2.0", 11); }
};

// The payload offset of the first block with this tag and length, or -1.
inline long FindBlock(const std::vector<uint8_t>& b, uint32_t tag, uint32_t len) {
  for (size_t i = 0; i + 8 <= b.size(); ++i) {
    uint32_t t, l;
    std::memcpy(&t, &b[i], 4);
    std::memcpy(&l, &b[i + 4], 4);
    if (t == tag && l == len) return (long)(i + 8);
  }
  return -1;
}

inline void PatchU32(std::vector<uint8_t>& b, long at, uint32_t v) { std::memcpy(&b[(size_t)at], &v, 4); }

// A scene shaped like the character: one skinned mesh node (two bone
// batches, strips optional) under a root, a bone chain whose second bone
// turns over the frames, one textured material, a camera and a light.
//   nodes: 0 mesh node, 1 root, 2 bone A (child of root), 3 bone B (child of A)
inline void BuildTestScene(SPODScene& s, bool withStrips = false) {
  s.frameCount = 10;
  s.backgroundColour[0] = 0.25f;
  s.ambientColour[2] = 0.5f;

  s.cameraCount = 1;
  s.cameras = PODAlloc<SPODCameraEntry>(1);
  s.cameras[0].targetIndex = 1;
  s.cameras[0].fieldOfView = 0.7f;
  s.cameras[0].farDistance = 5000;
  s.cameras[0].nearDistance = 5;
  s.cameras[0].fieldOfViewAnimation = PODAlloc<float>(10);
  for (int i = 0; i < 10; ++i) s.cameras[0].fieldOfViewAnimation[i] = 0.7f + 0.01f * i;

  s.lightCount = 1;
  s.lights = PODAlloc<SPODLightEntry>(1);
  s.lights[0].targetIndex = -1;
  s.lights[0].colour[0] = 1;
  s.lights[0].colour[1] = 0.5f;
  s.lights[0].lightType = 2;

  s.textureCount = 1;
  s.textures = PODAlloc<char*>(1);
  s.textures[0] = PODStrDup("maps\\skin.png");
  s.materialCount = 1;
  s.materials = PODAlloc<SPODMaterial>(1);
  SPODMaterial& mat = s.materials[0];
  mat.name = PODStrDup("body");
  mat.textureIndex = 0;
  mat.opacity = 1;
  for (int k = 0; k < 3; ++k) {
    mat.ambient[k] = 0.2f;
    mat.diffuse[k] = 0.8f;
    mat.specular[k] = 0.1f;
  }
  mat.shininess = 0.25f;
  mat.effectFile = PODStrDup("fx.pfx");
  mat.effectName = PODStrDup("skin");

  // Mesh: a strip of 6 vertices along x (two rows), 4 triangles.
  s.meshCount = 1;
  s.meshes = PODAlloc<SPODMesh>(1);
  SPODMesh& m = s.meshes[0];
  const uint32_t n = 6;
  m.vertexCount = n;
  m.faceCount = 4;
  m.vertices = {EPODDataFloat, 3, 12, (uint8_t*)PODAlloc<float>(3 * n)};
  m.normals = {EPODDataFloat, 3, 12, (uint8_t*)PODAlloc<float>(3 * n)};
  float* p = (float*)m.vertices.data;
  float* nn = (float*)m.normals.data;
  for (uint32_t v = 0; v < n; ++v) {
    p[3 * v + 0] = (float)(v / 2) * 10.0f;
    p[3 * v + 1] = (float)(v % 2) * 10.0f;
    p[3 * v + 2] = 0;
    nn[3 * v + 2] = 1;
  }
  m.uvwCount = 1;
  m.uvws = PODAlloc<CPODData>(1);
  m.uvws[0] = {EPODDataFloat, 2, 8, (uint8_t*)PODAlloc<float>(2 * n)};
  for (uint32_t v = 0; v < n; ++v) ((float*)m.uvws[0].data)[2 * v] = (float)v / n;
  m.colours = {EPODDataARGB, 1, 4, (uint8_t*)PODAlloc<uint32_t>(n)};
  for (uint32_t v = 0; v < n; ++v) ((uint32_t*)m.colours.data)[v] = 0xFF0000FFu - v;
  m.boneIndices = {EPODDataUnsignedByte, 2, 2, PODAlloc<uint8_t>(2 * n)};
  m.boneWeights = {EPODDataFloat, 2, 8, (uint8_t*)PODAlloc<float>(2 * n)};
  float* w = (float*)m.boneWeights.data;
  for (uint32_t v = 0; v < n; ++v) {
    m.boneIndices.data[2 * v] = 0;
    m.boneIndices.data[2 * v + 1] = (v >= 2) ? 1 : 0;
    w[2 * v] = v >= 2 ? 0.5f : 1.0f;
    w[2 * v + 1] = v >= 2 ? 0.5f : 0.0f;
  }
  if (withStrips) {
    m.stripCount = 1;
    m.stripLengths = PODAlloc<uint32_t>(1);
    m.stripLengths[0] = 4;
    m.faces = {EPODDataUnsignedShort, 1, 2, (uint8_t*)PODAlloc<uint16_t>(6)};
    for (uint16_t i = 0; i < 6; ++i) ((uint16_t*)m.faces.data)[i] = i;
  } else {
    const uint16_t idx[12] = {0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4};
    m.faces = {EPODDataUnsignedShort, 1, 2, (uint8_t*)PODAlloc<uint16_t>(12)};
    std::memcpy(m.faces.data, idx, sizeof idx);
  }
  // Batch 0: triangles 0..1 with bones A, B; batch 1: triangles 2..3 with B, A.
  CBoneBatches& bb = m.boneBatches;
  bb.batchCount = 2;
  bb.batchBoneMax = 2;
  bb.batches = PODAlloc<int32_t>(4);
  bb.batches[0] = 2;
  bb.batches[1] = 3;
  bb.batches[2] = 3;
  bb.batches[3] = 2;
  bb.batchBoneCounts = PODAlloc<int32_t>(2);
  bb.batchBoneCounts[0] = 2;
  bb.batchBoneCounts[1] = 2;
  bb.batchOffsets = PODAlloc<int32_t>(2);
  bb.batchOffsets[0] = 0;
  bb.batchOffsets[1] = 2;

  s.nodeCount = 4;
  s.meshNodeCount = 1;
  s.nodes = PODAlloc<SPODNode>(4);
  auto staticNode = [](SPODNode& nd, const char* name, int parent, float x, float y, float z) {
    nd.name = PODStrDup(name);
    nd.parentIndex = parent;
    nd.materialIndex = -1;
    nd.positions = PODAlloc<float>(3);
    nd.positions[0] = x;
    nd.positions[1] = y;
    nd.positions[2] = z;
    nd.rotations = PODAlloc<float>(4);
    nd.rotations[3] = 1;
    nd.scales = PODAlloc<float>(7);
    nd.scales[0] = nd.scales[1] = nd.scales[2] = 1;
  };
  staticNode(s.nodes[0], "body", -1, 0, 0, 0);
  s.nodes[0].meshIndex = 0;
  s.nodes[0].materialIndex = 0;
  staticNode(s.nodes[1], "root", -1, 0, 100, 0);
  staticNode(s.nodes[2], "boneA", 1, 0, -100, 0);
  staticNode(s.nodes[3], "boneB", 2, 10, 0, 0);
  // Bone B turns about z over the frames, and moves along x.
  SPODNode& b = s.nodes[3];
  std::free(b.rotations);
  std::free(b.positions);
  b.rotations = PODAlloc<float>(4 * 10);
  b.positions = PODAlloc<float>(3 * 10);
  for (int f = 0; f < 10; ++f) {
    const float a = 0.1f * f;
    b.rotations[4 * f + 2] = std::sin(a / 2);
    b.rotations[4 * f + 3] = std::cos(a / 2);
    b.positions[3 * f] = 10.0f + f;
  }
  b.animationFlags = 3;
}

// Reads bytes as a scene file.
inline bool ReadBytes(CPODScene& s, const std::vector<uint8_t>& bytes, char* opts = nullptr, unsigned long cap = 0) {
  static TempDir dir;
  WriteBytes(dir.file("f.pod"), bytes);
  return s.ReadFromFile(dir.file("f.pod").c_str(), opts, cap);
}

inline bool IsZeroed(const CPODScene& s) {
  CPODScene empty;
  return std::memcmp(static_cast<const SPODScene*>(&s), static_cast<const SPODScene*>(&empty), sizeof(SPODScene)) ==
             0 &&
         s.evalState == nullptr;
}
