// The step and the external force: against the rules applied one by one, bit
// for bit, and on a parsed network that must settle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "kit/scene_builder.h"
#include "physics/boobs_physics_b0.h"

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

// (Seam copies written alike, anchors and z held: the bit-for-bit case
// below, which steps points with two mesh copies and pinned ones.)
TEST(PhyStep, ParsedNetworkSettles) {
  CPODScene scene;
  ASSERT_TRUE(testkit::LoadSoftScene(testkit::SoftFan(0.5f), scene));
  auto o = NewObj();
  testing::internal::CaptureStderr();
  ASSERT_EQ(PhySkinParse(o.get(), &scene), 1);
  testing::internal::GetCapturedStderr();
  for (int i = 0; i < 2000; ++i) PhySkinFrame(o.get());
  const float* centre = reinterpret_cast<const float*>(scene.meshes[0].vertices.data) + 3 * 3;
  EXPECT_TRUE(std::isfinite(centre[0]) && std::isfinite(centre[1]));
  EXPECT_NE(centre[0], 1.0f) << "it moved";
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
    PhyVertex& v =
        AddPoint(*fast, frand(-5, 5), frand(-5, 5), frand(-1, 1), (i % 5 == 0) ? 0.0f : 1.0f / frand(50, 300));
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
