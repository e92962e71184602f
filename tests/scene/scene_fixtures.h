// Helpers for scene tests: a raw block writer for files the scene writer
// would never produce, reading bytes as a scene, and the kit's scenes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kit/scene_builder.h"
#include "kit/temp_dir.h"
#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

using testkit::BuildTestScene;
using testkit::TempDir;
using testkit::WriteFileBytes;

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

// Reads bytes as a scene file.
inline bool ReadBytes(CPODScene& s, const std::vector<uint8_t>& bytes, char* opts = nullptr, unsigned long cap = 0) {
  return s.ReadFromMemory(bytes.data(), bytes.size(), opts, cap);
}

inline bool IsZeroed(const CPODScene& s) {
  CPODScene empty;
  return std::memcmp(static_cast<const SPODScene*>(&s), static_cast<const SPODScene*>(&empty), sizeof(SPODScene)) ==
             0 &&
         s.evalState == nullptr;
}

// What an imported character's scene adds to BuildTestScene's: an alpha
// mode and flags on the material, a bind pose on bone A, a morph target
// moving two vertices of the mesh.
inline void AddImportedFields(SPODScene& s) {
  s.materials[0].alphaMode = EPODAlphaMask;
  s.materials[0].alphaCutoff = 0.25f;
  s.materials[0].flags = kPODMaterialDoubleSided | kPODMaterialUnlit;
  s.nodes[2].inverseBind = PODAlloc<float>(16);
  for (int k = 0; k < 16; ++k) s.nodes[2].inverseBind[k] = k % 5 == 0 ? 1.0f : 0.0f;
  s.nodes[2].inverseBind[13] = 7;
  SPODMesh& m = s.meshes[0];
  m.morphCount = 1;
  m.morphs = PODAlloc<SPODMorph>(1);
  m.morphs[0].name = PODStrDup("smile");
  m.morphs[0].weight = 0.5f;
  m.morphs[0].count = 2;
  m.morphs[0].indices = PODAlloc<uint32_t>(2);
  m.morphs[0].indices[0] = 1;
  m.morphs[0].indices[1] = 4;
  m.morphs[0].deltas = PODAlloc<float>(12);
  for (int k = 0; k < 12; ++k) m.morphs[0].deltas[k] = 0.5f * k;
}
