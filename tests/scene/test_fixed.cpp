// 16.16 fixed point: the conversions and fixed-point files.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

TEST(FixedPoint, Conversions) {
  const int fixed[3] = {65536, -32768, 1};
  float f[3];
  FixedToFloat(f, fixed, 3);
  EXPECT_EQ(std::vector<float>(f, f + 3), (std::vector<float>{1.0f, -0.5f, 1.52587890625e-05f}));
  const float real[2] = {1.99999f, -1.99999f};
  int back[2];
  FloatToFixed(back, real, 2);
  EXPECT_EQ(std::make_pair(back[0], back[1]), std::make_pair(131071, -131071));
  // In place, and nothing for null or zero counts.
  float inplace[2];
  std::memcpy(inplace, fixed, sizeof inplace);
  FixedToFloat(inplace, reinterpret_cast<int*>(inplace), 2);
  EXPECT_EQ(inplace[1], -0.5f);
  FixedToFloat(nullptr, fixed, 3);
  FloatToFixed(back, real, 0);
  EXPECT_EQ(back[0], 131071);
}

TEST(FixedPoint, StaticArraysConvertOnlyTheirFirstEntry) {
  SPODScene s{};
  s.frameCount = 100;
  s.nodeCount = 1;
  s.nodes = PODAlloc<SPODNode>(1);
  s.nodes[0].positions = PODAlloc<float>(6);
  const int raw[6] = {65536, 131072, 0, 65536, 65536, 65536};
  std::memcpy(s.nodes[0].positions, raw, sizeof raw);
  s.flags = 1;
  ModelPODToggleFixedPoint(s);
  EXPECT_EQ(s.flags, 0u);
  EXPECT_EQ(s.nodes[0].positions[1], 2.0f);
  int untouched;
  std::memcpy(&untouched, &s.nodes[0].positions[3], 4);
  EXPECT_EQ(untouched, 65536);
  CPODScene owner;  // releases the arrays
  static_cast<SPODScene&>(owner) = s;
  owner.InitImpl();
}

TEST(FixedPoint, FixedFilesReadAsFloats) {
  CPODScene src;
  BuildTestScene(src);
  src.InitImpl();
  std::vector<uint8_t> floatFile;
  PODWriteToBuffer(src, floatFile);
  ModelPODToggleFixedPoint(src);  // to fixed point, flag set
  ASSERT_EQ(src.flags, 1u);
  std::vector<uint8_t> fixedFile;
  PODWriteToBuffer(src, fixedFile);
  ModelPODToggleFixedPoint(src);  // back, for the comparison

  CPODScene s;
  ASSERT_TRUE(ReadBytes(s, fixedFile));
  EXPECT_EQ(s.flags & 1u, 0u);
  EXPECT_FLOAT_EQ(s.materials[0].diffuse[0], src.materials[0].diffuse[0]);
  EXPECT_NEAR(s.materials[0].diffuse[1], 0.8f, 1.0f / 65536);
  EXPECT_NEAR(s.cameras[0].fieldOfViewAnimation[9], 0.79f, 1.0f / 65536);
  for (int f = 0; f < 10; ++f) EXPECT_NEAR(s.nodes[3].rotations[4 * f + 3], src.nodes[3].rotations[4 * f + 3], 2e-5f);
  EXPECT_FLOAT_EQ(s.nodes[3].positions[27], 19.0f);
  // Vertex arrays carry their own type and are left as stored.
  EXPECT_EQ(std::memcmp(s.meshes[0].vertices.data, src.meshes[0].vertices.data, 72), 0);
}
