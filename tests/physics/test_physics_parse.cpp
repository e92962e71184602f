// Building the spring network from marked meshes: point order, merges,
// springs, the pruning cascade, refused meshes and the capacities.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "kit/scene_builder.h"
#include "physics/boobs_physics_b0.h"

namespace {

std::unique_ptr<PhySkinObj> NewObj() { return std::unique_ptr<PhySkinObj>(new PhySkinObj()); }

void ExpectConsistent(const PhySkinObj& o) {
  for (int i = 0; i < o.n_link; ++i) {
    EXPECT_GE(o.link[i].a, 0);
    EXPECT_LT(o.link[i].a, o.n_vertex);
    EXPECT_GE(o.link[i].b, 0);
    EXPECT_LT(o.link[i].b, o.n_vertex);
    EXPECT_NE(o.link[i].a, o.link[i].b);
  }
}

}  // namespace

TEST(PhyParse, FanMeshGivesPointsInDiscoveryOrderSpringsAndMerge) {
  CPODScene scene;
  ASSERT_TRUE(testkit::LoadSoftScene(testkit::SoftFan(0), scene));
  auto o = NewObj();
  testing::internal::CaptureStderr();
  ASSERT_EQ(PhySkinParse(o.get(), &scene), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Physics: Vertices merged: dest[2] <- src[ 3 4 ]\n");

  EXPECT_EQ(o->mesh_pos, reinterpret_cast<float*>(scene.meshes[0].vertices.data));
  ASSERT_EQ(o->n_vertex, 4);
  const int rows[4][4] = {{0, -1, -1, -1}, {1, -1, -1, -1}, {3, 4, -1, -1}, {2, -1, -1, -1}};
  for (int i = 0; i < 4; ++i)
    for (int s = 0; s < 4; ++s) EXPECT_EQ(o->mesh_index[i][s], rows[i][s]) << i << "," << s;
  // Unused rows stay empty.
  EXPECT_EQ(o->mesh_index[4][0], -1);

  EXPECT_EQ(o->vertex[1].pos[0], 4.0f);
  EXPECT_EQ(o->vertex[2].pos[0], 1.0f);
  EXPECT_EQ(o->vertex[2].normal[0], 0.6f);
  EXPECT_EQ(o->vertex[2].normal[1], 0.8f);
  EXPECT_EQ(o->vertex[0].inv_mass, 0.0f);
  EXPECT_EQ(o->vertex[1].inv_mass, 0.0f);
  EXPECT_EQ(o->vertex[3].inv_mass, 0.0f);
  EXPECT_EQ(o->vertex[2].inv_mass, 1.0f / 200.0f);

  ASSERT_EQ(o->n_link, 6);
  struct {
    int a, b;
    float rest;
  } const want[6] = {{0, 1, 0.35f * 4},
                     {1, 2, 0.35f * std::sqrt(10.0f)},
                     {2, 0, 0.35f * std::sqrt(2.0f)},
                     {1, 3, 0.35f * std::sqrt(32.0f)},
                     {3, 2, 0.35f * std::sqrt(10.0f)},
                     {3, 0, 0.35f * 4}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(o->link[i].a, want[i].a) << i;
    EXPECT_EQ(o->link[i].b, want[i].b) << i;
    EXPECT_NEAR(o->link[i].rest_len, want[i].rest, 1e-5) << i;
  }
}

TEST(PhyParse, PruningCascadeEmptiesALoneTriangle) {
  testkit::SoftMesh m;
  m.Add(0, 0, 0, 100);
  m.Add(1, 0, 0, 255);
  m.Add(0, 1, 0, 255);
  m.Tri(0, 1, 2);
  CPODScene scene;
  ASSERT_TRUE(testkit::LoadSoftScene(m, scene));
  auto o = NewObj();
  testing::internal::CaptureStderr();
  EXPECT_EQ(PhySkinParse(o.get(), &scene), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Physics: vertex 0 deleted\nPhysics: vertex 1 deleted\nPhysics: vertex 0 deleted\n");
  EXPECT_EQ(o->n_vertex, 0);
  EXPECT_EQ(o->n_link, 0);
}

TEST(PhyParse, PruningKeepsPinnedPairsAndDropsFreeOnes) {
  // Built by hand: a pinned square (each corner two springs) stays; a free
  // point hanging on two of its corners goes, and takes its springs along.
  auto o = NewObj();
  o->n_vertex = 5;
  for (int i = 0; i < 5; ++i) {
    o->vertex[i].inv_mass = 0.0f;
    o->mesh_index[i][0] = 10 + i;
    for (int s = 1; s < 4; ++s) o->mesh_index[i][s] = -1;
  }
  o->vertex[2].inv_mass = 0.01f;  // the free one, between corners
  const PhyLink links[] = {{0, 1, 1}, {1, 3, 1}, {3, 4, 1}, {4, 0, 1}, {2, 0, 1}, {2, 3, 1}};
  o->n_link = 6;
  for (int i = 0; i < 6; ++i) o->link[i] = links[i];

  testing::internal::CaptureStderr();
  RemoveFuckingTie(o.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Physics: vertex 2 deleted\n");
  ASSERT_EQ(o->n_vertex, 4);
  ASSERT_EQ(o->n_link, 4);
  // Later points moved down with their mesh rows; spring ends renumbered.
  EXPECT_EQ(o->mesh_index[2][0], 13);
  EXPECT_EQ(o->mesh_index[3][0], 14);
  EXPECT_EQ(o->mesh_index[4][0], -1);
  const PhyLink kept[] = {{0, 1, 1}, {1, 2, 1}, {2, 3, 1}, {3, 0, 1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(o->link[i].a, kept[i].a);
    EXPECT_EQ(o->link[i].b, kept[i].b);
  }

  // Deleting past the end changes nothing.
  PhyDelVertex(o.get(), 4);
  PhyDelVertex(o.get(), -1);
  EXPECT_EQ(o->n_vertex, 4);
  EXPECT_EQ(o->n_link, 4);
}

TEST(PhyParse, CoincidentVerticesMergeUpToFourThenOverflow) {
  // Vertices 1, 2, 3, 5 and 9 share a spot (within 0.01); the others do not.
  float pos[10 * 3] = {};
  float nrm[10 * 3] = {};
  unsigned char col[10 * 4] = {};
  for (int i = 0; i < 10; ++i) pos[3 * i] = 10.0f + i;
  for (int i : {1, 2, 3, 5, 9}) pos[3 * i] = 0.005f * (i % 2);
  VECTOR3* p = reinterpret_cast<VECTOR3*>(pos);
  VECTOR3* n = reinterpret_cast<VECTOR3*>(nrm);
  auto o = NewObj();
  for (int s = 0; s < 4; ++s) o->mesh_index[0][s] = -1;

  testing::internal::CaptureStderr();
  EXPECT_EQ(TryAddVertex(o.get(), col, p, n, 5), 0);
  EXPECT_EQ(TryAddVertex(o.get(), col, p, n, 9), 0);
  EXPECT_EQ(TryAddVertex(o.get(), col, p, n, 9), 0);  // already there: no report
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Physics: Vertices merged: dest[0] <- src[ 5 9 ]\n");
  EXPECT_EQ(o->mesh_index[0][0], 5);
  EXPECT_EQ(o->mesh_index[0][1], 9);
  EXPECT_EQ(o->mesh_index[0][2], -1);
  EXPECT_EQ(o->mesh_index[0][3], -1);

  testing::internal::CaptureStderr();
  EXPECT_EQ(TryAddVertex(o.get(), col, p, n, 1), 0);
  EXPECT_EQ(TryAddVertex(o.get(), col, p, n, 2), 0);
  EXPECT_EQ(TryAddVertex(o.get(), col, p, n, 3), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Physics: Vertices merged: dest[0] <- src[ 5 9 1 ]\n"
            "Physics: Vertices merged: dest[0] <- src[ 5 9 1 2 ]\n"
            " -------- Physics: Index Overflow!  unable to add dest[0] <- src[3]\n");
  EXPECT_EQ(o->n_vertex, 1);
  EXPECT_EQ(PhyVertexFound(o.get(), &pos[3 * 4]), -1);
  // Point 0 stands at x = 0.005, where vertex 5 put it.
  const float near[3] = {0.0149f, 0, 0};
  const float far[3] = {0.0151f, 0, 0};
  EXPECT_EQ(PhyVertexFound(o.get(), near), 0);
  EXPECT_EQ(PhyVertexFound(o.get(), far), -1);
}

namespace {

// A pinned triangle with a fourth point at (x, y) joined to all three corners.
testkit::SoftMesh PinnedTriangleAround(float x, float y, uint8_t mark) {
  testkit::SoftMesh m;
  m.Add(0, 0, 0, 252);
  m.Add(4, 0, 0, 252);
  m.Add(0, 4, 0, 252);
  m.Add(x, y, 0, mark);
  m.Tri(0, 1, 3);
  m.Tri(1, 2, 3);
  m.Tri(2, 0, 3);
  return m;
}

}  // namespace

TEST(PhyParse, VeryShortEdgesGetNoSpring) {
  // All pinned so nothing is pruned; the centre sits 0.02 from corner 0,
  // which would give a rest length of 0.007.
  CPODScene scene;
  ASSERT_TRUE(testkit::LoadSoftScene(PinnedTriangleAround(0.02f, 0, 252), scene));
  auto o = NewObj();
  ASSERT_EQ(PhySkinParse(o.get(), &scene), 1);
  EXPECT_EQ(o->n_vertex, 4);
  EXPECT_EQ(o->n_link, 5);
  // Points: 0 -> 0, 1 -> 1, 3 -> 2, 2 -> 3.
  for (int i = 0; i < o->n_link; ++i) {
    const bool pair02 = (o->link[i].a == 0 && o->link[i].b == 2) || (o->link[i].a == 2 && o->link[i].b == 0);
    EXPECT_FALSE(pair02) << "spring " << i;
    EXPECT_GE(o->link[i].rest_len, 0.01f);
  }
}

TEST(PhyParse, APositionThatIsNotANumberGetsNoSpring) {
  CPODScene scene;
  testkit::BuildSoftScene(scene, PinnedTriangleAround(NAN, 1, 100));
  auto o = NewObj();
  testing::internal::CaptureStderr();
  ASSERT_EQ(PhySkinParse(o.get(), &scene), 1);
  const std::string bad = " -------- Physics: Bad position!  unable to add src[3]\n";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), bad + bad + bad + bad + bad + bad);
  ASSERT_EQ(o->n_vertex, 3);  // the pinned triangle
  ASSERT_EQ(o->n_link, 3);
  for (int i = 0; i < o->n_link; ++i) EXPECT_TRUE(std::isfinite(o->link[i].rest_len));
  ExpectConsistent(*o);
}

TEST(PhyParse, MeshesThatDoNotQualifyAreRefusedWithTheirMessage) {
  struct Case {
    const char* name;
    void (*spoil)(CPODScene&);
    const char* message;
  };
  const Case cases[] = {
      {"two mesh nodes", [](CPODScene& s) { s.meshNodeCount = 2; }, "Physics: Number of mesh nodes in scene is not 1"},
      {"node without mesh", [](CPODScene& s) { s.nodes[0].meshIndex = 3; }, "Physics: Mesh node has no mesh"},
      {"int positions", [](CPODScene& s) { s.meshes[0].vertices.type = EPODDataInt; },
       "Physics: Mesh vertices must be of float[3] type"},
      {"interleaved positions", [](CPODScene& s) { s.meshes[0].vertices.stride = 24; },
       "Physics: Mesh vertices must be of float[3] type"},
      {"no normals",
       [](CPODScene& s) {
         std::free(s.meshes[0].normals.data);
         s.meshes[0].normals.data = nullptr;
       },
       "Physics: Mesh normals must be of float[3] type"},
      {"RGBA colours", [](CPODScene& s) { s.meshes[0].colours.type = EPODDataRGBA; },
       "Physics: Mesh vertex colors must be of ARGB type"},
      {"int faces", [](CPODScene& s) { s.meshes[0].faces.type = EPODDataInt; },
       "Physics: Mesh face indices must be of ushort[3] type"},
      {"face beyond the vertices", [](CPODScene& s) { reinterpret_cast<uint16_t*>(s.meshes[0].faces.data)[4] = 5; },
       "Physics: Mesh face index 5 out of range"},
  };
  for (const Case& c : cases) {
    CPODScene scene;
    testkit::BuildSoftScene(scene, testkit::SoftFan(0));
    c.spoil(scene);
    auto o = NewObj();
    o->n_vertex = 7;  // whatever was there before is cleared
    o->n_link = 7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(PhySkinParse(o.get(), &scene), 0) << c.name;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
    EXPECT_EQ(o->n_vertex, 0) << c.name;
    EXPECT_EQ(o->n_link, 0) << c.name;
    EXPECT_EQ(o->mesh_index[0][0], -1) << c.name;
  }
  auto o = NewObj();
  testing::internal::CaptureStderr();
  EXPECT_EQ(PhySkinParse(o.get(), nullptr), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Physics: Number of mesh nodes in scene is not 1");
}

TEST(PhyParse, CapacitiesAreKeptAndTheNetworkStaysConsistent) {
  // A 30 x 30 pinned grid asks for 900 points and about 2600 springs.
  const int n = 30;
  const testkit::SoftMesh m = testkit::SoftGrid(n, 252, 252);
  CPODScene scene;
  ASSERT_TRUE(testkit::LoadSoftScene(m, scene));
  auto o = NewObj();
  testing::internal::CaptureStderr();
  ASSERT_EQ(PhySkinParse(o.get(), &scene), 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(" -------- Physics: Vertex Overflow!  unable to add src["), std::string::npos);
  EXPECT_NE(err.find(" -------- Physics: Link Overflow!  unable to add link["), std::string::npos);
  // Both lists filled up; pruning then took the thin fringe that the refused
  // points and springs left behind.
  EXPECT_GT(o->n_vertex, 300);
  EXPECT_LE(o->n_vertex, kPhyMaxVertex);
  EXPECT_GT(o->n_link, 900);
  EXPECT_LE(o->n_link, kPhyMaxLink);
  ExpectConsistent(*o);
  for (int i = 0; i < o->n_vertex; ++i) {
    EXPECT_GE(o->mesh_index[i][0], 0);
    EXPECT_LT(o->mesh_index[i][0], n * n);
  }

  // A full network refuses a new point and says so.
  auto full = NewObj();
  full->n_vertex = kPhyMaxVertex;
  float far[3] = {1e6f, 0, 0}, nrm[3] = {};
  unsigned char col[4] = {100, 0, 0, 0};
  testing::internal::CaptureStderr();
  EXPECT_EQ(TryAddVertex(full.get(), col, reinterpret_cast<VECTOR3*>(far), reinterpret_cast<VECTOR3*>(nrm), 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), " -------- Physics: Vertex Overflow!  unable to add src[0]\n");
  EXPECT_EQ(full->n_vertex, kPhyMaxVertex);
}
