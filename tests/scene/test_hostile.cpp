// Damaged and hostile scene files: anything later code would follow out of
// bounds fails the read, leaving an empty scene; files of our own kind load.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "scene_fixtures.h"

namespace {

std::vector<uint8_t> Written(const std::function<void(CPODScene&)>& mutate, bool strips = false) {
  CPODScene s;
  BuildTestScene(s, strips);
  s.InitImpl();  // so that Destroy releases what the mutation leaves
  mutate(s);
  std::vector<uint8_t> bytes;
  PODWriteToBuffer(s, bytes);
  return bytes;
}

::testing::AssertionResult Refused(const std::vector<uint8_t>& bytes) {
  CPODScene s;
  if (ReadBytes(s, bytes)) return ::testing::AssertionFailure() << "the file was accepted";
  if (!IsZeroed(s)) return ::testing::AssertionFailure() << "the scene was left half-filled";
  if (!s.readError() || !*s.readError()) return ::testing::AssertionFailure() << "no reason given";
  return ::testing::AssertionSuccess() << s.readError();
}

long FindAfter(const std::vector<uint8_t>& b, uint32_t tag, uint32_t len, long from) {
  std::vector<uint8_t> tail(b.begin() + from, b.end());
  const long at = FindBlock(tail, tag, len);
  return at < 0 ? at : at + from;
}

}  // namespace

// Indices later code follows, loops it would walk forever and arrays
// skinning reads: a test scene with one of them spoilt is refused.
TEST(Hostile, IndicesLoopsAndSkinningArraysAreChecked) {
  using Face = uint16_t*;
  const struct {
    bool strips;
    void (*spoil)(CPODScene&);
  } cases[] = {
      {false, [](CPODScene& s) { s.nodes[0].meshIndex = 1; }},
      {false, [](CPODScene& s) { s.nodes[0].meshIndex = -1; }},
      {false, [](CPODScene& s) { s.nodes[0].materialIndex = 1; }},
      {false, [](CPODScene& s) { s.nodes[2].parentIndex = 4; }},
      {false, [](CPODScene& s) { s.meshNodeCount = 5; }},
      {false, [](CPODScene& s) { s.materials[0].textureIndex = 1; }},
      {false, [](CPODScene& s) { s.nodes[1].parentIndex = 1; }},
      {false, [](CPODScene& s) { s.nodes[1].parentIndex = 3; }},  // 1 -> 3 -> 2 -> 1
      {false, [](CPODScene& s) { Face(s.meshes[0].faces.data)[5] = 6; }},
      {true, [](CPODScene& s) { Face(s.meshes[0].faces.data)[2] = 60000; }},
      {false, [](CPODScene& s) { std::free(s.meshes[0].normals.data), s.meshes[0].normals = CPODData{}; }},
      {false, [](CPODScene& s) { s.meshes[0].boneIndices.type = EPODDataByte; }},
      {false, [](CPODScene& s) { s.meshes[0].boneWeights.componentCount = 1; }},
      {false, [](CPODScene& s) { s.meshes[0].vertices.componentCount = 2; }},
      {false, [](CPODScene& s) { s.meshes[0].vertices.type = 99; }},
      {false, [](CPODScene& s) { std::free(s.meshes[0].uvws[0].data), s.meshes[0].uvws[0].data = nullptr; }},
  };
  for (const auto& c : cases) EXPECT_TRUE(Refused(Written(c.spoil, c.strips))) << "case " << &c - cases;
  // Any negative index means "none"; nodes that are not drawn are not followed.
  CPODScene ok;
  EXPECT_TRUE(ReadBytes(ok, Written([](CPODScene& s) { s.nodes[0].materialIndex = -7; })));
  CPODScene bone;
  EXPECT_TRUE(ReadBytes(bone, Written([](CPODScene& s) {
                          s.nodes[2].materialIndex = 9;
                          s.nodes[2].meshIndex = 9;
                        })));
}

// What one damaged byte makes of a float, and blocks no writer makes.
TEST(Hostile, ValuesAndBlocksNoModelHoldsAreRefused) {
  auto at = [](CPODData& d, size_t i) -> float& { return reinterpret_cast<float*>(d.data)[i]; };
  for (float bad : {NAN, INFINITY, -1e30f, 1e-40f}) {
    EXPECT_TRUE(Refused(Written([&](CPODScene& s) { at(s.meshes[0].vertices, 4) = bad; }))) << bad;
    EXPECT_TRUE(Refused(Written([&](CPODScene& s) { at(s.meshes[0].uvws[0], 3) = bad; }))) << bad;
    EXPECT_TRUE(Refused(Written([&](CPODScene& s) { s.nodes[3].positions[7] = bad; }))) << bad;
  }
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) {
    for (int k = 0; k < 3; ++k) at(s.meshes[0].normals, k) *= 1.5f;
  })));
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { at(s.meshes[0].boneWeights, 0) += 0.25f; })));
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { at(s.meshes[0].boneWeights, 1) = -0.5f; })));
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) {
    for (uint32_t n = 0; n < s.nodeCount; ++n)
      for (int k = 0; s.nodes[n].rotations && k < 4; ++k) s.nodes[n].rotations[k] *= 1.5f;
  })));
  Blocks longer;  // a frame count whose length says 251 bytes
  const uint32_t one = 1;
  longer.version().begin(1001).marker(2009, 251).raw(&one, 4).end(1001);
  EXPECT_TRUE(Refused(longer.b));
  Blocks astray;  // a mesh's field in a node
  astray.version().begin(1001).u32(2005, 1).begin(2013).u32(5003, 0xFFFFFFFFu).u32(6000, 1).end(2013).end(1001);
  EXPECT_TRUE(Refused(astray.b));
}

TEST(Hostile, ArraysShorterThanTheirCounts) {
  // One vertex more than the arrays hold.
  std::vector<uint8_t> b = Written([](CPODScene&) {});
  PatchU32(b, FindBlock(b, 6000, 4), 7);
  EXPECT_TRUE(Refused(b));
  // A node flagged as animated with a single entry.
  b = Written([](CPODScene&) {});
  const long name = FindBlock(b, 5001, 6);  // "boneA"
  ASSERT_GT(name, 0);
  PatchU32(b, FindAfter(b, 5012, 4, name), 1);
  EXPECT_TRUE(Refused(b));
  // More frames than the animated arrays hold.
  b = Written([](CPODScene&) {});
  PatchU32(b, FindBlock(b, 2009, 4), 11);
  EXPECT_TRUE(Refused(b));
  // Strips that need more indices than are stored.
  b = Written([](CPODScene&) {}, true);
  PatchU32(b, FindBlock(b, 6004, 4), 100);
  EXPECT_TRUE(Refused(b));
}

namespace {

// The test mesh widened to a strip of `pairs` x 2 vertices, four bone slots
// each, in one batch: enough indices and vertices that the checks' wide
// steps and their leftovers both come into play.
void Widen(CPODScene& s, uint32_t pairs) {
  SPODMesh& m = s.meshes[0];
  const uint32_t n = 2 * pairs;
  m.vertexCount = n;
  m.faceCount = 2 * (pairs - 1);
  auto fresh = [](CPODData& d, uint32_t type, uint32_t comps, uint32_t size, uint32_t count) {
    std::free(d.data);
    d = {type, comps, size * comps, (uint8_t*)std::calloc(count, size * comps)};
  };
  fresh(m.vertices, EPODDataFloat, 3, 4, n);
  fresh(m.normals, EPODDataFloat, 3, 4, n);
  fresh(m.uvws[0], EPODDataFloat, 2, 4, n);
  fresh(m.colours, EPODDataARGB, 1, 4, n);
  fresh(m.boneIndices, EPODDataUnsignedByte, 4, 1, n);
  fresh(m.boneWeights, EPODDataFloat, 4, 4, n);
  for (uint32_t v = 0; v < n; ++v) {
    ((float*)m.vertices.data)[3 * v] = (float)(v / 2);
    ((float*)m.vertices.data)[3 * v + 1] = (float)(v % 2);
    ((float*)m.normals.data)[3 * v + 2] = 1;
    ((float*)m.boneWeights.data)[4 * v] = 1;
    m.boneIndices.data[4 * v + v % 4] = (uint8_t)(v % 2);
  }
  std::free(m.faces.data);
  m.faces = {EPODDataUnsignedShort, 1, 2, (uint8_t*)PODAlloc<uint16_t>(3 * m.faceCount)};
  uint16_t* idx = (uint16_t*)m.faces.data;
  for (uint32_t t = 0; t < m.faceCount; ++t)
    for (uint32_t k = 0; k < 3; ++k) idx[3 * t + k] = (uint16_t)(t + k);
  m.boneBatches.batchCount = 1;
  m.boneBatches.batchOffsets[0] = 0;
}

}  // namespace

TEST(Hostile, EveryFaceIndexAndBoneSlotIsChecked) {
  const uint32_t pairs = 23;  // 46 vertices, 132 indices
  CPODScene ok;
  ASSERT_TRUE(ReadBytes(ok, Written([&](CPODScene& s) { Widen(s, pairs); })));
  for (uint32_t i = 0; i < 6 * (pairs - 1); ++i) {
    for (uint16_t bad : {(uint16_t)(2 * pairs), (uint16_t)0x8000, (uint16_t)0xFFFF})
      EXPECT_TRUE(Refused(Written([&](CPODScene& s) {
        Widen(s, pairs);
        ((uint16_t*)s.meshes[0].faces.data)[i] = bad;
      }))) << "index "
           << i << " = " << bad;
  }
  for (uint32_t b = 0; b < 4 * 2 * pairs; ++b) {
    EXPECT_TRUE(Refused(Written([&](CPODScene& s) {
      Widen(s, pairs);
      s.meshes[0].boneIndices.data[b] = 64;
    }))) << "bone slot byte "
         << b;
    // Within the palette but beyond the batch's two bones.
    EXPECT_TRUE(Refused(Written([&](CPODScene& s) {
      Widen(s, pairs);
      s.meshes[0].boneIndices.data[b] = 2;
    }))) << "bone slot byte "
         << b;
  }
}

TEST(Hostile, BoneBatchesStayWithinThePalette) {
  auto bb = [](CPODScene& s) -> CBoneBatches& { return s.meshes[0].boneBatches; };
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { bb(s).batchBoneCounts[0] = 3; })));  // above batchBoneMax
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { bb(s).batches[1] = 4; })));          // no such node
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { bb(s).batches[1] = -1; })));
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) {
    bb(s).batchOffsets[0] = 2;
    bb(s).batchOffsets[1] = 0;
  })));
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { bb(s).batchOffsets[1] = 5; })));  // past faceCount
  std::vector<uint8_t> negative = Written([](CPODScene&) {});
  PatchU32(negative, FindBlock(negative, 6019, 4), 0xFFFFFFFFu);
  EXPECT_TRUE(Refused(negative));
  // Bone-index bytes: below 64 everywhere, below the batch's own bone count
  // for the triangles of that batch.
  EXPECT_TRUE(Refused(Written([](CPODScene& s) { s.meshes[0].boneIndices.data[9] = 2; })));
  EXPECT_TRUE(Refused(Written([](CPODScene& s) { s.meshes[0].boneIndices.data[0] = 64; })));
  // More than 64 bones in a batch, with every bone valid.
  auto wide = [](CPODScene& s, int count) {
    CBoneBatches& b = s.meshes[0].boneBatches;
    std::free(b.batches);
    b.batchBoneMax = 70;
    b.batches = PODAlloc<int32_t>(140);
    for (int i = 0; i < 140; ++i) b.batches[i] = 2 + i % 2;
    b.batchBoneCounts[0] = count;
  };
  EXPECT_TRUE(Refused(Written([&](CPODScene& s) { wide(s, 65); })));
  CPODScene ok;
  EXPECT_TRUE(ReadBytes(ok, Written([&](CPODScene& s) { wide(s, 64); })));
}

TEST(Hostile, MorphTargetsNameTheirMeshsFloatVertices) {
  CPODScene ok;
  EXPECT_TRUE(ReadBytes(ok, Written([](CPODScene& s) { AddImportedFields(s); })));
  EXPECT_TRUE(Refused(Written([](CPODScene& s) {
    AddImportedFields(s);
    s.meshes[0].morphs[0].indices[1] = s.meshes[0].vertexCount;
  })));
  EXPECT_TRUE(Refused(Written([](CPODScene& s) {
    AddImportedFields(s);
    // Not skinned (which wants floats of its own), so only the morph target minds.
    std::free(s.meshes[0].boneWeights.data);
    s.meshes[0].boneWeights = CPODData{};
    s.meshes[0].vertices.type = EPODDataShort;
  })));
}

TEST(Hostile, CountsBeyondWhatTheFileHolds) {
  Blocks b;
  b.version().begin(1001).u32(2005, 0xFFFFFFFFu).end(1001);
  EXPECT_TRUE(Refused(b.b));
  Blocks m;
  m.version().begin(1001).u32(2004, 1).begin(2012).u32(6002, 0x40000000u).end(2012).end(1001);
  EXPECT_TRUE(Refused(m.b));
  // A payload length far past the end is refused before anything is allocated.
  Blocks n;
  n.version().begin(1001).u32(2005, 1).begin(2013).marker(5007, 0xFFFFFFF0u).end(2013).end(1001);
  EXPECT_TRUE(Refused(n.b));
  // A second count block of a kind would orphan the records already read.
  Blocks twice;
  twice.version().begin(1001).u32(2005, 1).begin(2013).u32(5003, 0xFFFFFFFFu).end(2013);
  twice.u32(2005, 1).begin(2013).u32(5003, 0xFFFFFFFFu).end(2013).end(1001);
  EXPECT_TRUE(Refused(twice.b));
}

TEST(Hostile, InterleavedMeshesAreRefused) {
  Blocks b;
  b.version().begin(1001).u32(2004, 1).begin(2012).u32(6000, 1).leaf(6014, "0123456789ab", 12);
  b.begin(6006).u32(9000, 1).u32(9001, 3).u32(9002, 12).u32(9003, 0).end(6006).end(2012);
  b.u32(2005, 0).end(1001);
  EXPECT_TRUE(Refused(b.b));
}

TEST(Hostile, NamesWithoutTerminatorAreCutSafely) {
  Blocks b;
  b.version().begin(1001).u32(2005, 1).begin(2013).leaf(5001, "abc", 3).u32(5003, 0xFFFFFFFFu).end(2013);
  b.u32(2007, 1).begin(2014).leaf(4000, "tex", 3).end(2014).end(1001);
  CPODScene s;
  ASSERT_TRUE(ReadBytes(s, b.b));
  EXPECT_STREQ(s.nodes[0].name, "abc");
  EXPECT_STREQ(s.textures[0], "tex");
  // A texture entry without a name is refused: materials look its name up.
  Blocks unnamed;
  unnamed.version().begin(1001).u32(2005, 0).u32(2007, 1).begin(2014).end(2014).end(1001);
  EXPECT_TRUE(Refused(unnamed.b));
}
