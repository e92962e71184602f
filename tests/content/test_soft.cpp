// The soft parts as the physics will see them: marks, where they are, and
// the size of the network they make (points merged by position, one spring
// per edge) against its capacities of 512 points and 1024 springs.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "content/content_util.h"

using namespace content;

namespace {

struct Network {
  int points = 0, springs = 0, free = 0, maxShare = 0;
};

Network Build(const SPODMesh& m) {
  const float* pos = reinterpret_cast<const float*>(m.vertices.data);
  const uint8_t* col = m.colours.data;
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
  std::vector<int> pointOf(m.vertexCount, -1);
  std::vector<std::array<float, 3>> pts;
  std::vector<int> share;
  Network n;
  auto add = [&](int v) {
    if (pointOf[v] >= 0) return;
    const float* p = pos + v * 3;
    for (size_t i = 0; i < pts.size(); ++i) {
      const float dx = pts[i][0] - p[0], dy = pts[i][1] - p[1], dz = pts[i][2] - p[2];
      if (dx * dx + dy * dy + dz * dz < 0.0001f) {
        pointOf[v] = static_cast<int>(i);
        ++share[i];
        return;
      }
    }
    pointOf[v] = static_cast<int>(pts.size());
    pts.push_back({p[0], p[1], p[2]});
    share.push_back(1);
    n.free += col[v * 4] <= 250;
  };
  for (uint32_t t = 0; t < m.faceCount; ++t)
    for (int k = 0; k < 3; ++k) {
      const int a = idx[t * 3 + k], b = idx[t * 3 + (k + 1) % 3];
      if (col[a * 4] != 255 || col[b * 4] != 255) add(a), add(b);
    }
  std::set<std::pair<int, int>> springs;
  for (uint32_t t = 0; t < m.faceCount; ++t)
    for (int k = 0; k < 3; ++k) {
      const int a = pointOf[idx[t * 3 + k]], b = pointOf[idx[t * 3 + (k + 1) % 3]];
      if (a >= 0 && b >= 0 && a != b) springs.insert({std::min(a, b), std::max(a, b)});
    }
  n.points = static_cast<int>(pts.size());
  n.springs = static_cast<int>(springs.size());
  for (int s : share) n.maxShare = std::max(n.maxShare, s);
  return n;
}

class SoftParts : public ::testing::TestWithParam<int> {};

TEST_P(SoftParts, NetworkFitsTheCapacities) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const Network n = Build(scene->meshes[0]);
  EXPECT_GT(n.free, 30);
  EXPECT_LE(n.points, 512);
  EXPECT_LE(n.springs, 1024);
  EXPECT_LE(n.maxShare, 4);
}

TEST_P(SoftParts, FreePointsSitOnChestHairEndsOrHemAndArePinnedAround) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const SPODMesh& m = scene->meshes[0];
  const float* pos = reinterpret_cast<const float*>(m.vertices.data);
  const uint8_t* col = m.colours.data;
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
  int chest = 0, hair = 0, hem = 0;
  for (uint32_t v = 0; v < m.vertexCount; ++v) {
    const uint8_t mark = col[v * 4];
    if (mark > 250) {
      ASSERT_GE(mark, 251) << "vertex " << v;
      continue;
    }
    const float x = pos[v * 3], y = pos[v * 3 + 1], z = pos[v * 3 + 2];
    const bool onChest = y > 236 && y < 268 && z > 4 && std::fabs(x) < 24;
    const bool onHair = std::fabs(x) > 30 && z < -8 && y < 260;
    const bool onHem = y < 175 && std::sqrt(x * x + z * z) > 17;
    EXPECT_TRUE(onChest || onHair || onHem) << "free vertex " << v << " at " << x << ", " << y << ", " << z;
    chest += onChest;
    hair += onHair;
    hem += onHem;
  }
  EXPECT_GT(chest, 0);
  EXPECT_GT(hair, 0);
  if (GetParam() != 0) {
    EXPECT_GT(hem, 0) << "the skirt hem sways";
  }
  // No free point touches an unmarked vertex: a pinned rim holds every soft part.
  for (uint32_t t = 0; t < m.faceCount; ++t)
    for (int k = 0; k < 3; ++k) {
      const int a = idx[t * 3 + k], b = idx[t * 3 + (k + 1) % 3];
      ASSERT_FALSE(col[a * 4] <= 250 && col[b * 4] == 255) << "vertices " << a << ", " << b;
    }
}

TEST_P(SoftParts, CopiesOfOnePositionCarryOneMark) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const SPODMesh& m = scene->meshes[0];
  const float* pos = reinterpret_cast<const float*>(m.vertices.data);
  std::map<std::array<float, 3>, uint8_t> markAt;
  for (uint32_t v = 0; v < m.vertexCount; ++v) {
    const std::array<float, 3> p{pos[v * 3], pos[v * 3 + 1], pos[v * 3 + 2]};
    auto it = markAt.find(p);
    if (it == markAt.end()) {
      markAt.emplace(p, m.colours.data[v * 4]);
    } else {
      ASSERT_EQ(it->second, m.colours.data[v * 4]) << "vertex " << v;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Outfits, SoftParts, ::testing::Range(0, 4));

}  // namespace
