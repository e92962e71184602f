// Reading scene files: tags, counts, failure rules, node settlement, the
// options mode, and write/read round trips.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "scene/Streaming.h"
#include "scene_fixtures.h"

namespace {

void ExpectBytes(const void* a, const void* b, size_t n, const char* what) {
  ASSERT_EQ(a == nullptr, b == nullptr) << what;
  if (a) {
    EXPECT_EQ(std::memcmp(a, b, n), 0) << what;
  }
}

// A name as text, so that names compare by their characters.
std::string Text(const char* s) { return s ? s : "(null)"; }

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
  auto counts = [](const SPODScene& s) {
    return std::tie(s.cameraCount, s.lightCount, s.meshCount, s.nodeCount, s.meshNodeCount, s.textureCount,
                    s.materialCount, s.frameCount, s.flags);
  };
  ASSERT_EQ(counts(a), counts(b));
  for (uint32_t i = 0; i < a.cameraCount; ++i) {
    const SPODCameraEntry &x = a.cameras[i], &y = b.cameras[i];
    EXPECT_EQ(std::tie(x.targetIndex, x.fieldOfView, x.farDistance, x.nearDistance),
              std::tie(y.targetIndex, y.fieldOfView, y.farDistance, y.nearDistance));
    ExpectBytes(x.fieldOfViewAnimation, y.fieldOfViewAnimation, a.frameCount * 4, "fov animation");
  }
  for (uint32_t i = 0; i < a.lightCount; ++i) ExpectBytes(&a.lights[i], &b.lights[i], sizeof(SPODLightEntry), "light");
  for (uint32_t i = 0; i < a.textureCount; ++i) EXPECT_STREQ(a.textures[i], b.textures[i]);
  for (uint32_t i = 0; i < a.materialCount; ++i) {
    const SPODMaterial &x = a.materials[i], &y = b.materials[i];
    auto fields = [](const SPODMaterial& m) {
      return std::make_tuple(Text(m.name), m.textureIndex, m.opacity, m.shininess, Text(m.effectFile),
                             Text(m.effectName), m.alphaMode, m.alphaCutoff, m.flags);
    };
    EXPECT_EQ(fields(x), fields(y));
    ExpectBytes(x.ambient, y.ambient, 36, "colours");
  }
  for (uint32_t i = 0; i < a.meshCount; ++i) {
    const SPODMesh &x = a.meshes[i], &y = b.meshes[i];
    ASSERT_EQ(std::tie(x.vertexCount, x.faceCount, x.uvwCount, x.stripCount, x.morphCount),
              std::tie(y.vertexCount, y.faceCount, y.uvwCount, y.stripCount, y.morphCount));
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
    ASSERT_EQ(std::tie(p.batchCount, p.batchBoneMax), std::tie(q.batchCount, q.batchBoneMax));
    ExpectBytes(p.batches, q.batches, (size_t)p.batchCount * p.batchBoneMax * 4, "batches");
    ExpectBytes(p.batchBoneCounts, q.batchBoneCounts, (size_t)p.batchCount * 4, "batch bone counts");
    ExpectBytes(p.batchOffsets, q.batchOffsets, (size_t)p.batchCount * 4, "batch offsets");
    for (uint32_t k = 0; k < x.morphCount; ++k) {
      ASSERT_EQ(std::make_tuple(Text(x.morphs[k].name), x.morphs[k].weight, x.morphs[k].count),
                std::make_tuple(Text(y.morphs[k].name), y.morphs[k].weight, y.morphs[k].count));
      ExpectBytes(x.morphs[k].indices, y.morphs[k].indices, x.morphs[k].count * 4, "morph indices");
      ExpectBytes(x.morphs[k].deltas, y.morphs[k].deltas, x.morphs[k].count * 24, "morph deltas");
    }
  }
  for (uint32_t i = 0; i < a.nodeCount; ++i) {
    const SPODNode &x = a.nodes[i], &y = b.nodes[i];
    ASSERT_EQ(std::make_tuple(x.meshIndex, Text(x.name), x.materialIndex, x.parentIndex, x.animationFlags),
              std::make_tuple(y.meshIndex, Text(y.name), y.materialIndex, y.parentIndex, y.animationFlags));
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
  b.version().begin(1001).u32(2005, 1).begin(2013).u32(5003, 0xFFFFFFFFu);
  b.floats(5004, {1, 2, 3}).u32(5012, 0).end(2013).end(1001);
  CPODScene s;
  ASSERT_TRUE(ReadBytes(s, b.b));
  const SPODNode& n = s.nodes[0];
  ASSERT_TRUE(n.positions && n.rotations && n.scales);
  EXPECT_EQ(std::vector<float>(n.positions, n.positions + 3), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(std::vector<float>(n.rotations, n.rotations + 4), (std::vector<float>{0, 0, 0, 1}));
  EXPECT_EQ(std::vector<float>(n.scales, n.scales + 7), (std::vector<float>{1, 1, 1, 0, 0, 0, 0}));
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
