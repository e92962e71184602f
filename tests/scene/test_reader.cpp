// Reading scene files: tags, counts, failure rules, node settlement, the
// options mode, and write/read round trips.
#include <gtest/gtest.h>

#include "scene/Streaming.h"
#include "scene_fixtures.h"

namespace {

void ExpectBytes(const void* a, const void* b, size_t n, const char* what) {
  ASSERT_EQ(a == nullptr, b == nullptr) << what;
  if (a) {
    EXPECT_EQ(std::memcmp(a, b, n), 0) << what;
  }
}

void ExpectData(const CPODData& a, const CPODData& b, uint32_t count, const char* what) {
  EXPECT_EQ(a.type, b.type) << what;
  EXPECT_EQ(a.componentCount, b.componentCount) << what;
  EXPECT_EQ(a.stride, b.stride) << what;
  ExpectBytes(a.data, b.data, PODDataBytes(a, count), what);
}

// Field by field: every array compared over the length its counts give.
void ExpectScenesEqual(const SPODScene& a, const SPODScene& b) {
  ExpectBytes(a.backgroundColour, b.backgroundColour, 12, "background");
  ExpectBytes(a.ambientColour, b.ambientColour, 12, "ambient");
  ASSERT_EQ(a.cameraCount, b.cameraCount);
  ASSERT_EQ(a.lightCount, b.lightCount);
  ASSERT_EQ(a.meshCount, b.meshCount);
  ASSERT_EQ(a.nodeCount, b.nodeCount);
  ASSERT_EQ(a.meshNodeCount, b.meshNodeCount);
  ASSERT_EQ(a.textureCount, b.textureCount);
  ASSERT_EQ(a.materialCount, b.materialCount);
  ASSERT_EQ(a.frameCount, b.frameCount);
  EXPECT_EQ(a.flags, b.flags);
  for (uint32_t i = 0; i < a.cameraCount; ++i) {
    const SPODCameraEntry &x = a.cameras[i], &y = b.cameras[i];
    EXPECT_EQ(x.targetIndex, y.targetIndex);
    EXPECT_EQ(x.fieldOfView, y.fieldOfView);
    EXPECT_EQ(x.farDistance, y.farDistance);
    EXPECT_EQ(x.nearDistance, y.nearDistance);
    ExpectBytes(x.fieldOfViewAnimation, y.fieldOfViewAnimation, a.frameCount * 4, "fov animation");
  }
  for (uint32_t i = 0; i < a.lightCount; ++i) ExpectBytes(&a.lights[i], &b.lights[i], sizeof(SPODLightEntry), "light");
  for (uint32_t i = 0; i < a.textureCount; ++i) EXPECT_STREQ(a.textures[i], b.textures[i]);
  for (uint32_t i = 0; i < a.materialCount; ++i) {
    const SPODMaterial &x = a.materials[i], &y = b.materials[i];
    EXPECT_STREQ(x.name, y.name);
    EXPECT_EQ(x.textureIndex, y.textureIndex);
    EXPECT_EQ(x.opacity, y.opacity);
    ExpectBytes(x.ambient, y.ambient, 36, "colours");
    EXPECT_EQ(x.shininess, y.shininess);
    EXPECT_STREQ(x.effectFile, y.effectFile);
    EXPECT_STREQ(x.effectName, y.effectName);
    EXPECT_EQ(x.alphaMode, y.alphaMode);
    EXPECT_EQ(x.alphaCutoff, y.alphaCutoff);
    EXPECT_EQ(x.flags, y.flags);
  }
  for (uint32_t i = 0; i < a.meshCount; ++i) {
    const SPODMesh &x = a.meshes[i], &y = b.meshes[i];
    ASSERT_EQ(x.vertexCount, y.vertexCount);
    ASSERT_EQ(x.faceCount, y.faceCount);
    ASSERT_EQ(x.uvwCount, y.uvwCount);
    ASSERT_EQ(x.stripCount, y.stripCount);
    ExpectBytes(x.stripLengths, y.stripLengths, x.stripCount * 4, "strips");
    EXPECT_EQ(x.faces.type, y.faces.type);
    ExpectBytes(x.faces.data, y.faces.data, PODIndexCount(x) * 2, "faces");
    ExpectData(x.vertices, y.vertices, x.vertexCount, "vertices");
    ExpectData(x.normals, y.normals, x.vertexCount, "normals");
    ExpectData(x.tangents, y.tangents, x.vertexCount, "tangents");
    ExpectData(x.binormals, y.binormals, x.vertexCount, "binormals");
    for (uint32_t k = 0; k < x.uvwCount; ++k) ExpectData(x.uvws[k], y.uvws[k], x.vertexCount, "uvw");
    ExpectData(x.colours, y.colours, x.vertexCount, "colours");
    ExpectData(x.boneIndices, y.boneIndices, x.vertexCount, "bone indices");
    ExpectData(x.boneWeights, y.boneWeights, x.vertexCount, "bone weights");
    const CBoneBatches &p = x.boneBatches, &q = y.boneBatches;
    ASSERT_EQ(p.batchCount, q.batchCount);
    ASSERT_EQ(p.batchBoneMax, q.batchBoneMax);
    ExpectBytes(p.batches, q.batches, (size_t)p.batchCount * p.batchBoneMax * 4, "batches");
    ExpectBytes(p.batchBoneCounts, q.batchBoneCounts, (size_t)p.batchCount * 4, "batch bone counts");
    ExpectBytes(p.batchOffsets, q.batchOffsets, (size_t)p.batchCount * 4, "batch offsets");
    ASSERT_EQ(x.morphCount, y.morphCount);
    for (uint32_t k = 0; k < x.morphCount; ++k) {
      EXPECT_STREQ(x.morphs[k].name, y.morphs[k].name);
      EXPECT_EQ(x.morphs[k].weight, y.morphs[k].weight);
      ASSERT_EQ(x.morphs[k].count, y.morphs[k].count);
      ExpectBytes(x.morphs[k].indices, y.morphs[k].indices, x.morphs[k].count * 4, "morph indices");
      ExpectBytes(x.morphs[k].deltas, y.morphs[k].deltas, x.morphs[k].count * 24, "morph deltas");
    }
  }
  for (uint32_t i = 0; i < a.nodeCount; ++i) {
    const SPODNode &x = a.nodes[i], &y = b.nodes[i];
    EXPECT_EQ(x.meshIndex, y.meshIndex);
    EXPECT_STREQ(x.name, y.name);
    EXPECT_EQ(x.materialIndex, y.materialIndex);
    EXPECT_EQ(x.parentIndex, y.parentIndex);
    ASSERT_EQ(x.animationFlags, y.animationFlags);
    const uint32_t f = x.animationFlags, fc = a.frameCount;
    ExpectBytes(x.positions, y.positions, 12 * ((f & 1) ? fc : 1), "positions");
    ExpectBytes(x.rotations, y.rotations, 16 * ((f & 2) ? fc : 1), "rotations");
    ExpectBytes(x.scales, y.scales, 28 * ((f & 4) ? fc : 1), "scales");
    ExpectBytes(x.matrices, y.matrices, 64 * ((f & 8) ? fc : 1), "matrices");
    ExpectBytes(x.inverseBind, y.inverseBind, 64, "inverse bind");
  }
}

}  // namespace

// A minimal file loads empty; the version block is required and exact;
// unknown blocks are skipped by their length, and a skip past the end fails.
TEST(Reader, VersionRequiredUnknownBlocksSkippedMinimalLoadsEmpty) {
  Blocks b;
  std::vector<uint8_t> junk(100, 0xAB);
  b.version().leaf(5555, junk.data(), 100).begin(1001).leaf(2999, junk.data(), 7).u32(2005, 0).end(1001);
  CPODScene s;
  ASSERT_TRUE(ReadBytes(s, b.b));
  EXPECT_NE(s.evalState, nullptr);
  EXPECT_EQ(s.nodeCount, 0u);
  EXPECT_EQ(s.evalState->currentFrame, 0.0f);
  Blocks bad[4];
  bad[0].begin(1001).u32(2005, 0).end(1001);
  bad[1].leaf(1000, "AB.POD.2.0", 10).begin(1001).u32(2005, 0).end(1001);
  bad[2].leaf(1000, "AB.POD.1.0", 11).begin(1001).u32(2005, 0).end(1001);
  bad[3].version().begin(1001).u32(2005, 0).end(1001).marker(5555, 1000).raw(junk.data(), 10);
  for (const Blocks& f : bad) {
    CPODScene t;
    EXPECT_FALSE(ReadBytes(t, f.b)) << &f - bad;
    EXPECT_TRUE(IsZeroed(t)) << &f - bad;
  }
}

TEST(Reader, NodeStaticValuesBecomeOneEntryArraysOrMarkTheGivenOnes) {
  Blocks b;
  b.version()
      .begin(1001)
      .u32(2005, 1)
      .begin(2013)
      .u32(5003, 0xFFFFFFFFu)
      .floats(5004, {1, 2, 3})
      .u32(5012, 0)
      .end(2013)
      .end(1001);
  CPODScene s;
  ASSERT_TRUE(ReadBytes(s, b.b));
  const SPODNode& n = s.nodes[0];
  ASSERT_NE(n.positions, nullptr);
  EXPECT_EQ(n.positions[0], 1);
  EXPECT_EQ(n.positions[2], 3);
  ASSERT_NE(n.rotations, nullptr);
  EXPECT_EQ(n.rotations[3], 1);
  EXPECT_EQ(n.rotations[0], 0);
  ASSERT_NE(n.scales, nullptr);
  const float scale[7] = {1, 1, 1, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(n.scales, scale, sizeof scale), 0);
  EXPECT_EQ(n.animationFlags, 0u);

  // A static value beside a given array: that array is marked animated.
  b = Blocks();
  b.version().begin(1001).u32(2009, 2).u32(2005, 1).begin(2013).u32(5003, 0xFFFFFFFFu).floats(5004, {1, 2, 3});
  b.floats(5007, {0, 0, 0, 5, 5, 5}).u32(5012, 8).end(2013).end(1001);
  CPODScene marked;
  ASSERT_TRUE(ReadBytes(marked, b.b));
  EXPECT_EQ(marked.nodes[0].animationFlags, 8u | 1u);
  EXPECT_EQ(marked.nodes[0].positions[3], 5);

  // No static values: the arrays stay as read.
  b = Blocks();
  b.version().begin(1001).u32(2009, 1).u32(2005, 1).begin(2013).u32(5003, 0xFFFFFFFFu).floats(5007, {1, 2, 3});
  b.floats(5008, {0, 0, 0, 1}).u32(5012, 3).end(2013).end(1001);
  CPODScene asRead;
  ASSERT_TRUE(ReadBytes(asRead, b.b));
  EXPECT_EQ(asRead.nodes[0].animationFlags, 3u);
  EXPECT_EQ(asRead.nodes[0].scales, nullptr);
}

// Counts must match the records; the records start zeroed, so a node with
// no parent block names node 0: for node 0 itself that is a loop.
TEST(Reader, CountsMustMatchRecordsAndNodeZeroIsNoParentOfItself) {
  Blocks b[4];
  b[0].version().begin(1001).u32(2004, 2).begin(2012).u32(6000, 0).end(2012).u32(2005, 0).end(1001);
  // A record with no entry left.
  b[1].version().begin(1001).u32(2005, 0).begin(2013).u32(5003, 0xFFFFFFFFu).end(2013).end(1001);
  // A mesh promising a texture-coordinate set it does not hold.
  b[2].version().begin(1001).u32(2004, 1).begin(2012).u32(6002, 1).end(2012).u32(2005, 0).end(1001);
  b[3].version().begin(1001).u32(2005, 1).begin(2013).end(2013).end(1001);
  for (const Blocks& f : b) {
    CPODScene s;
    EXPECT_FALSE(ReadBytes(s, f.b)) << &f - b;
    EXPECT_TRUE(IsZeroed(s)) << &f - b;
  }
}

TEST(Reader, OptionsModeCopiesTheExportText) {
  std::string text(40, 'x');
  text[0] = 'o';
  Blocks before;
  before.version().leaf(1002, text.data(), 40).begin(1001).u32(2005, 0).end(1001);
  char buf[32];
  std::memset(buf, '.', sizeof buf);
  CPODScene s;
  ASSERT_TRUE(ReadBytes(s, before.b, buf, 16));
  EXPECT_EQ(buf[0], 'o');
  EXPECT_EQ(buf[15], 'x');
  EXPECT_EQ(buf[16], '.');  // no terminator, nothing past the capacity
  EXPECT_EQ(s.nodeCount, 0u);

  Blocks after;
  after.version().begin(1001).u32(2005, 0).end(1001).leaf(1002, text.data(), 40);
  CPODScene t;
  EXPECT_FALSE(ReadBytes(t, after.b, buf, 16));
}

// Every prefix that stops before the scene's end marker is complete fails
// and leaves the scene empty, releasing whatever had been read; a stray
// partial marker after the scene does not matter.
TEST(Reader, EveryTruncationFailsCleanlyACutAfterTheSceneLoads) {
  CPODScene src;
  BuildTestScene(src);
  src.InitImpl();
  std::vector<uint8_t> bytes;
  PODWriteToBuffer(src, bytes);
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + (long)n);
    CPODScene s;
    EXPECT_FALSE(ReadBytes(s, cut)) << n;
    EXPECT_TRUE(IsZeroed(s)) << n;
  }
  bytes.push_back(0x12);
  bytes.push_back(0x34);
  CPODScene s;
  EXPECT_TRUE(ReadBytes(s, bytes));
  EXPECT_EQ(s.nodeCount, 4u);
}

// Variants: plain, with strips, an imported character's fields (alpha
// mode, flags, a bind pose, a morph target), and static transforms written
// as single values.
TEST(Reader, RoundTripKeepsEveryField) {
  for (int variant = 0; variant < 4; ++variant) {
    CPODScene src;
    BuildTestScene(src, variant == 1);
    if (variant == 2) AddImportedFields(src);
    src.InitImpl();
    PODWriteOptions opt;
    opt.staticTransforms = variant == 3;
    std::vector<uint8_t> bytes;
    PODWriteToBuffer(src, bytes, opt);
    EXPECT_EQ(FindBlock(bytes, 5004, 12) >= 0, variant == 3);
    TempDir dir;
    CPODScene back;
    if (variant == 3) {
      ASSERT_TRUE(ReadBytes(back, bytes));
    } else {
      ASSERT_TRUE(PODWriteToFile(src, dir.file("a.pod").c_str()));
      ASSERT_TRUE(back.ReadFromFile(dir.file("a.pod").c_str()));
    }
    ExpectScenesEqual(src, back);
    std::vector<uint8_t> again;
    PODWriteToBuffer(back, again, opt);
    EXPECT_EQ(bytes, again);
  }
}

TEST(Reader, DataBlocksReadDirectly) {
  // A data block whose array is an offset into interleaved data.
  Blocks b;
  b.u32(9000, EPODDataFloat).u32(9001, 3).u32(9002, 24).u32(9003, 12).end(6007);
  CSourceStream s;
  ASSERT_TRUE(s.InitFromMemory(b.b.data(), static_cast<unsigned>(b.b.size())));
  CPODData d{};
  ASSERT_TRUE(ReadCPODData(d, s, 6007, false));
  EXPECT_EQ(d.stride, 24u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(d.data), 12u);

  Blocks n;
  n.u32(5000, 7).leaf(5001, "bone", 5).u32(5003, 2).marker(5010, 3).raw("abc", 3).end(2013);
  ASSERT_TRUE(s.InitFromMemory(n.b.data(), static_cast<unsigned>(n.b.size())));
  SPODNode node{};
  ASSERT_TRUE(ReadNode(node, s));
  EXPECT_EQ(node.meshIndex, 7);
  EXPECT_STREQ(node.name, "bone");
  EXPECT_EQ(node.parentIndex, 2);
  std::free(node.name);
}
