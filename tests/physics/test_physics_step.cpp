// The step and the external force against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "physics/boobs_physics_b0.h"
#include "physics/phy_test_mesh.h"

namespace {

std::unique_ptr<PhySkinObj> NewObj() {
  std::unique_ptr<PhySkinObj> o(new PhySkinObj());
  for (auto& row : o->mesh_index)
    for (int32_t& s : row) s = -1;
  return o;
}

// Adds a point; normal and momentum zero unless set afterwards.
PhyVertex& AddPoint(PhySkinObj& o, float x, float y, float z, float inv_mass) {
  PhyVertex& v = o.vertex[o.n_vertex++];
  v = PhyVertex{{x, y, z}, {0, 0, 0}, {0, 0, 0}, inv_mass, 0.95f};
  return v;
}

void AddLink(PhySkinObj& o, int a, int b, float rest) { o.link[o.n_link++] = PhyLink{a, b, rest}; }

}  // namespace

TEST(PhyStep, EmptyNetworkTouchesNothing) {
  auto o = NewObj();
  std::vector<float> mesh(30, -7.0f);
  o->mesh_pos = mesh.data();
  PhySkinFrame(o.get());
  PhySkinForce(o.get(), 1, 2, 3);
  for (float v : mesh) EXPECT_EQ(v, -7.0f);
}

TEST(PhyStep, PointMovesInXYThenPushesAndWritesBackThroughItsRow) {
  auto o = NewObj();
  std::vector<float> mesh(50 * 3, -7.0f);
  o->mesh_pos = mesh.data();
  PhyVertex& v = AddPoint(*o, 1, 2, 3, 0.5f);
  v.normal[0] = 1;
  v.momentum[0] = 3;
  v.momentum[1] = 6;
  v.momentum[2] = 9;
  o->mesh_index[0][0] = 12;
  o->mesh_index[0][1] = 40;

  PhySkinFrame(o.get());
  // The move uses the momentum from before the push.
  EXPECT_FLOAT_EQ(v.pos[0], 2.5f);
  EXPECT_FLOAT_EQ(v.pos[1], 5.0f);
  EXPECT_EQ(v.pos[2], 3.0f);
  EXPECT_FLOAT_EQ(v.momentum[0], 12.5f + 0.95f * 3);
  EXPECT_FLOAT_EQ(v.momentum[1], 0.95f * 6);
  EXPECT_FLOAT_EQ(v.momentum[2], 0.95f * 9);
  for (int i = 0; i < 50; ++i) {
    for (int c = 0; c < 3; ++c) {
      if (i == 12 || i == 40)
        EXPECT_EQ(mesh[3 * i + c], v.pos[c]) << i;
      else
        EXPECT_EQ(mesh[3 * i + c], -7.0f) << i;
    }
  }

  PhySkinFrame(o.get());
  EXPECT_FLOAT_EQ(v.pos[0], 2.5f + 0.5f * 15.35f);
  EXPECT_FLOAT_EQ(v.pos[1], 5.0f + 0.5f * 5.7f);
  EXPECT_EQ(v.pos[2], 3.0f);
  EXPECT_EQ(mesh[3 * 40], v.pos[0]);
}

TEST(PhyStep, SpringPullsWhenStretchedPushesWhenCompressedAndIsClamped) {
  struct Case {
    float bx, by, bz, rest;
    float f;  // expected force along a -> b
  };
  const Case cases[] = {
      {1, 0, 0, 1, 0.0f},                     // at rest length
      {0.9f, 0, 0, 1, 5 * -0.1f / 0.9f},      // compressed: linear push
      {3, 0, 0, 1, 5 * 4 / 3.0f},             // stretched: square of the extension
      {3, 4, 0, 1, 16.0f},                    // off-axis, length 5
      {0, 3, 4, 1, 16.0f},
      {2000, 0, 0, 1, 5500.0f},               // 1999^2 * 5 / 2000 clamped
      {1, 0, 0, 10000, -5500.0f},             // 5 * -9999 clamped
  };
  for (const Case& c : cases) {
    auto o = NewObj();
    AddPoint(*o, 0, 0, 0, 0);
    AddPoint(*o, c.bx, c.by, c.bz, 0);
    AddLink(*o, 0, 1, c.rest);
    PhySkinFrame(o.get());
    const float len = std::sqrt(c.bx * c.bx + c.by * c.by + c.bz * c.bz);
    const float u[3] = {c.bx / len, c.by / len, c.bz / len};
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(o->vertex[0].momentum[k], c.f * u[k], 1e-4f * (1 + std::fabs(c.f))) << c.bx << " axis " << k;
      EXPECT_NEAR(o->vertex[1].momentum[k], -c.f * u[k], 1e-4f * (1 + std::fabs(c.f))) << c.bx << " axis " << k;
    }
  }
}

TEST(PhyStep, FreePointOnASpringTwoStepsByHand) {
  auto o = NewObj();
  PhyVertex& a = AddPoint(*o, 0, 0, 0, 0.01f);
  PhyVertex& b = AddPoint(*o, 2, 0, 0, 0);
  a.momentum[0] = 10;
  AddLink(*o, 0, 1, 1.0f);

  PhySkinFrame(o.get());
  EXPECT_FLOAT_EQ(a.pos[0], 0.1f);
  // Spring after the move: length 1.9, strain 0.81, f = 0.81 * 5 / 1.9.
  EXPECT_NEAR(a.momentum[0], 9.5f + 2.1315789f, 1e-5);
  EXPECT_NEAR(b.momentum[0], -2.1315789f, 1e-5);
  EXPECT_EQ(b.pos[0], 2.0f);

  PhySkinFrame(o.get());
  EXPECT_NEAR(a.pos[0], 0.2163158f, 1e-6);
  EXPECT_NEAR(a.momentum[0], 12.7716078f, 1e-4);
  EXPECT_NEAR(b.momentum[0], -3.7466078f, 1e-4);
  EXPECT_EQ(a.momentum[1], 0.0f);
  EXPECT_EQ(b.pos[0], 2.0f);  // pinned: momentum has no effect
}

TEST(PhyStep, CoincidentEndsSkipTheSpringForThatStep) {
  auto o = NewObj();
  PhyVertex& a = AddPoint(*o, 1, 1, 1, 0.1f);
  PhyVertex& b = AddPoint(*o, 1, 1, 1, 0);
  AddLink(*o, 0, 1, 0.5f);
  PhySkinFrame(o.get());
  PhySkinFrame(o.get());
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(a.momentum[k], 0.0f);
    EXPECT_EQ(b.momentum[k], 0.0f);
    EXPECT_EQ(a.pos[k], 1.0f);
  }
  // Once they part, the spring acts again (compressed: pushes a away from b).
  a.pos[0] = 1.25f;
  PhySkinFrame(o.get());
  EXPECT_NEAR(a.momentum[0], -5 * (0.25f - 0.5f) / 0.25f, 1e-5);
}

TEST(PhyStep, PinnedPointsAndZMomentumDoNotMove) {
  auto o = NewObj();
  PhyVertex& pinned = AddPoint(*o, 1, 2, 3, 0);
  PhyVertex& free = AddPoint(*o, 4, 5, 6, 1.0f);
  for (int k = 0; k < 3; ++k) pinned.momentum[k] = 100;
  free.momentum[2] = 5;
  for (int i = 0; i < 3; ++i) PhySkinFrame(o.get());
  EXPECT_EQ(pinned.pos[0], 1.0f);
  EXPECT_EQ(pinned.pos[1], 2.0f);
  EXPECT_EQ(pinned.pos[2], 3.0f);
  EXPECT_EQ(free.pos[0], 4.0f);
  EXPECT_EQ(free.pos[1], 5.0f);
  EXPECT_EQ(free.pos[2], 6.0f);
  EXPECT_FLOAT_EQ(free.momentum[2], 5 * 0.95f * 0.95f * 0.95f);
}

TEST(PhyStep, ExternalForceScalesWithMassAndSparesPinnedPoints) {
  auto o = NewObj();
  PhyVertex& heavy = AddPoint(*o, 0, 0, 0, 1.0f / 200);
  PhyVertex& light = AddPoint(*o, 0, 0, 0, 1.0f / 50);
  PhyVertex& pinned = AddPoint(*o, 0, 0, 0, 0);
  heavy.momentum[0] = 1;

  PhySkinForce(o.get(), 0, 0, 0);
  EXPECT_EQ(heavy.momentum[0], 1.0f);
  EXPECT_EQ(light.momentum[1], 0.0f);

  PhySkinForce(o.get(), 1, 2, 3);
  EXPECT_NEAR(heavy.momentum[0], 1 - 16.0f, 1e-4);
  EXPECT_NEAR(heavy.momentum[1], -32.0f, 1e-4);
  EXPECT_NEAR(heavy.momentum[2], -48.0f, 1e-4);
  EXPECT_NEAR(light.momentum[0], -4.0f, 1e-5);
  EXPECT_NEAR(light.momentum[2], -12.0f, 1e-5);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(pinned.momentum[k], 0.0f);
  // Same change of velocity for every free point.
  EXPECT_NEAR(heavy.momentum[2] * heavy.inv_mass, light.momentum[2] * light.inv_mass, 1e-5);
}

TEST(PhyStep, ParsedNetworkSettlesAndKeepsSeamsClosed) {
  PhyTestMesh m;
  m.Add(0, 0, 0, 252);
  m.Add(4, 0, 0, 253);
  m.Add(0, 4, 0, 254);
  m.Add(1, 1, 0.5f, 100, 0.6f, 0.8f, 0);
  m.Add(1, 1, 0.5f, 100, 0.6f, 0.8f, 0);
  m.Tri(0, 1, 3);
  m.Tri(1, 2, 4);
  m.Tri(2, 0, 3);
  CPODScene scene;
  ASSERT_TRUE(PhyTestLoad(m, scene, "settle"));
  auto o = NewObj();
  testing::internal::CaptureStderr();
  ASSERT_EQ(PhySkinParse(o.get(), &scene), 1);
  testing::internal::GetCapturedStderr();
  for (int i = 0; i < 2000; ++i) PhySkinFrame(o.get());

  const float* mesh = reinterpret_cast<const float*>(scene.meshes[0].vertices.data);
  for (int c = 0; c < 3; ++c) {
    EXPECT_TRUE(std::isfinite(mesh[3 * 3 + c]));
    EXPECT_EQ(mesh[3 * 3 + c], mesh[3 * 4 + c]);  // both copies of the centre
    EXPECT_EQ(mesh[3 * 3 + c], o->vertex[2].pos[c]);
  }
  EXPECT_EQ(mesh[3 * 3 + 2], 0.5f);
  EXPECT_NE(mesh[3 * 3 + 0], 1.0f);
  EXPECT_EQ(mesh[3 * 1 + 0], 4.0f);  // anchors stay
  EXPECT_EQ(mesh[3 * 2 + 1], 4.0f);

  // Settled: another step hardly moves it.
  const float x = o->vertex[2].pos[0], y = o->vertex[2].pos[1];
  PhySkinFrame(o.get());
  EXPECT_NEAR(o->vertex[2].pos[0], x, 1e-3);
  EXPECT_NEAR(o->vertex[2].pos[1], y, 1e-3);
}

namespace {

// The step exactly as the rules read, one point and one spring at a time;
// the real step works on several springs at once and must agree to the bit.
void ReferenceStep(PhySkinObj& o) {
  for (int i = 0; i < o.n_vertex; ++i) {
    PhyVertex& v = o.vertex[i];
    v.pos[0] = v.pos[0] + v.inv_mass * v.momentum[0];
    v.pos[1] = v.pos[1] + v.inv_mass * v.momentum[1];
    for (int c = 0; c < 3; ++c) v.momentum[c] = 12.5f * v.normal[c] + v.damping * v.momentum[c];
    for (int s = 0; s < 4 && o.mesh_index[i][s] != -1; ++s)
      for (int c = 0; c < 3; ++c) o.mesh_pos[3 * o.mesh_index[i][s] + c] = v.pos[c];
  }
  for (int j = 0; j < o.n_link; ++j) {
    PhyVertex& a = o.vertex[o.link[j].a];
    PhyVertex& b = o.vertex[o.link[j].b];
    float d[3];
    for (int c = 0; c < 3; ++c) d[c] = b.pos[c] - a.pos[c];
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len == 0.0f) continue;
    const float r = 1.0f / len;
    float strain = len - o.link[j].rest_len;
    if (len > o.link[j].rest_len) strain = strain * strain;
    float f = strain * 5.0f / len;
    if (f > 5500.0f) f = 5500.0f;
    if (f < -5500.0f) f = -5500.0f;
    for (int c = 0; c < 3; ++c) {
      a.momentum[c] += f * (d[c] * r);
      b.momentum[c] -= f * (d[c] * r);
    }
  }
}

}  // namespace

TEST(PhyStep, AgreesToTheBitWithTheRulesAppliedOneByOne) {
  std::srand(1234);
  auto frand = [](float lo, float hi) { return lo + (hi - lo) * (std::rand() / (float)RAND_MAX); };
  auto fast = NewObj();
  const int points = 37;
  std::vector<float> mesh_fast(points * 2 * 3, 0.0f);
  for (int i = 0; i < points; ++i) {
    PhyVertex& v = AddPoint(*fast, frand(-5, 5), frand(-5, 5), frand(-1, 1), (i % 5 == 0) ? 0.0f : 1.0f / frand(50, 300));
    v.normal[0] = frand(-1, 1);
    v.normal[1] = frand(-1, 1);
    v.normal[2] = frand(-1, 1);
    fast->mesh_index[i][0] = 2 * i;
    if (i % 3) fast->mesh_index[i][1] = 2 * i + 1;
  }
  fast->vertex[7].pos[0] = fast->vertex[6].pos[0];  // a spring whose ends meet
  fast->vertex[7].pos[1] = fast->vertex[6].pos[1];
  fast->vertex[7].pos[2] = fast->vertex[6].pos[2];
  AddLink(*fast, 6, 7, 0.3f);
  AddLink(*fast, 0, 1, 1e4f);  // clamped push
  AddLink(*fast, 2, 3, 1e-3f);
  while (fast->n_link < 61) {  // not a multiple of four: the tail is stepped too
    const int a = std::rand() % points, b = std::rand() % points;
    if (a != b) AddLink(*fast, a, b, frand(0.01f, 3));
  }
  auto ref = NewObj();
  *ref = *fast;
  std::vector<float> mesh_ref = mesh_fast;
  fast->mesh_pos = mesh_fast.data();
  ref->mesh_pos = mesh_ref.data();

  for (int step = 0; step < 300; ++step) {
    PhySkinFrame(fast.get());
    ReferenceStep(*ref);
    if (step % 7 == 0) {
      PhySkinForce(fast.get(), 0.3f, -1, 0.2f);
      for (int i = 0; i < ref->n_vertex; ++i) {
        PhyVertex& v = ref->vertex[i];
        if (v.inv_mass == 0) continue;
        const float k = 0.08f / v.inv_mass;
        v.momentum[0] -= k * 0.3f;
        v.momentum[1] -= k * -1.0f;
        v.momentum[2] -= k * 0.2f;
      }
    }
    ASSERT_EQ(std::memcmp(fast->vertex, ref->vertex, sizeof(PhyVertex) * points), 0) << "step " << step;
    ASSERT_EQ(mesh_fast, mesh_ref) << "step " << step;
  }
  for (int i = 0; i < points; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_TRUE(std::isfinite(fast->vertex[i].pos[c]));
}
