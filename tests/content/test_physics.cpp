// Her soft parts under the real spring network: after the settling of a
// scene load and under the resting pull of an upright, still device every
// soft vertex stays within 2 % of her height of where it was modelled; a
// shake sways them visibly and they are back at rest within 3 seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "content/content_util.h"
#include "physics/boobs_physics_b0.h"

using namespace content;

namespace {

PhySkinObj g_net;  // too large for the stack

float Drift(const SPODMesh& m, const std::vector<float>& modelled) {
  const float* p = reinterpret_cast<const float*>(m.vertices.data);
  float worst = 0;
  for (uint32_t i = 0; i < m.vertexCount * 3; i += 3) {
    const float dx = p[i] - modelled[i], dy = p[i + 1] - modelled[i + 1], dz = p[i + 2] - modelled[i + 2];
    const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(d == d)) return 1e9f;  // NaN: the network exploded
    worst = std::max(worst, d);
  }
  return worst;
}

class SoftPhysics : public ::testing::TestWithParam<int> {};

TEST_P(SoftPhysics, StaysNearItsShapeAtRestAndSwaysUnderAShake) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const SPODMesh& m = scene->meshes[0];
  const float* p = reinterpret_cast<const float*>(m.vertices.data);
  const std::vector<float> modelled(p, p + m.vertexCount * 3);
  float lo = 1e9f, hi = -1e9f;
  for (uint32_t i = 0; i < m.vertexCount; ++i) lo = std::min(lo, p[i * 3 + 1]), hi = std::max(hi, p[i * 3 + 1]);
  const float limit = 0.02f * (hi - lo);

  std::memset(&g_net, 0, sizeof g_net);
  ASSERT_EQ(PhySkinParse(&g_net, scene.get()), 1);
  EXPECT_GT(g_net.n_vertex, 30);
  EXPECT_LE(g_net.n_vertex, kPhyMaxVertex);
  EXPECT_LE(g_net.n_link, kPhyMaxLink);
  // The scene load's settling: 2000 steps, no external force.
  for (int i = 0; i < 1000; ++i) PhySkinFrame(&g_net), PhySkinFrame(&g_net);
  EXPECT_LT(Drift(m, modelled), limit);
  // Ten seconds of frames with the device upright and still: the force the
  // frame update passes is (-Fx, Fy, Fz) of a resting filter, (0, -1, 0).
  for (int i = 0; i < 300; ++i) PhySkinFrame(&g_net), PhySkinFrame(&g_net), PhySkinForce(&g_net, 0, -1, 0);
  const float rest = Drift(m, modelled);
  EXPECT_LT(rest, limit);
  // The sideways test shake of the main screen, then three seconds.
  PhySkinForce(&g_net, -10, 0, 0);
  float peak = 0;
  for (int i = 0; i < 90; ++i) {
    PhySkinFrame(&g_net), PhySkinFrame(&g_net), PhySkinForce(&g_net, 0, -1, 0);
    peak = std::max(peak, Drift(m, modelled));
  }
  EXPECT_GT(peak, rest + 1.0f) << "a shake must show";
  EXPECT_LT(peak, 4 * limit) << "nothing flies off";
  EXPECT_NEAR(Drift(m, modelled), rest, 0.25f) << "back at rest within 3 seconds";
}

INSTANTIATE_TEST_SUITE_P(Outfits, SoftPhysics, ::testing::Range(0, 4));

}  // namespace
