// Closed shells: which leading triangles a draw may cull, and the count's
// way through the scene file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "kit/scene_builder.h"
#include "scene/ModelPOD.h"
#include "scene/mesh_shells.h"

namespace {

uint16_t* Indices(SPODMesh& m) { return reinterpret_cast<uint16_t*>(m.faces.data); }

// The box is one closed shell although no two of its faces share a corner
// index; the card after it is open, and only the triangles before the first
// triangle of an open or inward shell count.
TEST(MeshShells, LeadingTrianglesOfClosedOutwardShells) {
  CPODScene s;
  testkit::BuildBoxAndCard(s);
  SPODMesh& m = s.meshes[0];
  // shells, closed ones, closed leading triangles, open edges (the card's rim), edges of more than two faces
  auto counts = [](const MeshShells& r) {
    return std::vector<uint32_t>{r.shells, r.closedShells, r.closedLeading, r.openEdges, r.sheetEdges};
  };
  EXPECT_EQ(counts(FindShells(m)), (std::vector<uint32_t>{2, 1, testkit::kBoxTriangles, 4, 0}));

  // The card stored first: nothing leads.
  uint16_t* idx = Indices(m);
  std::rotate(idx, idx + 3 * testkit::kBoxTriangles, idx + 3 * m.faceCount);
  EXPECT_EQ(FindShells(m).closedLeading, 0u);
  EXPECT_EQ(FindShells(m).closedShells, 1u);
  std::rotate(idx, idx + 3 * testkit::kCardTriangles, idx + 3 * m.faceCount);

  // A corner of the box that moves with another bone is not joined to its
  // copies: the box opens there.
  m.boneIndices.data[idx[0]] = 1;
  EXPECT_EQ(FindShells(m).closedLeading, 0u);
  m.boneIndices.data[idx[0]] = 0;

  // Wound inward, the box is closed but its fronts face in.
  for (uint32_t t = 0; t < testkit::kBoxTriangles; ++t) std::swap(idx[3 * t + 1], idx[3 * t + 2]);
  EXPECT_EQ(counts(FindShells(m)), (std::vector<uint32_t>{2, 0, 0, 4, 0}));
  for (uint32_t t = 0; t < testkit::kBoxTriangles; ++t) std::swap(idx[3 * t + 1], idx[3 * t + 2]);

  // Strips and unindexed meshes are not judged.
  m.stripCount = 1;
  EXPECT_EQ(FindShells(m).shells, 0u);
}

// Her models say how many leading triangles are closed; the count comes
// back from a file as written, and one beyond the mesh's triangles is
// refused with the reason.
TEST(MeshShells, CountIsWrittenReadAndChecked) {
  CPODScene s;
  testkit::BuildBoxAndCard(s);
  s.meshes[0].closedFaces = testkit::kBoxTriangles;
  CPODScene back;
  ASSERT_TRUE(testkit::RoundTrip(s, back));
  EXPECT_EQ(back.meshes[0].closedFaces, testkit::kBoxTriangles);
  s.meshes[0].closedFaces = s.meshes[0].faceCount + 1;
  CPODScene refused;
  EXPECT_FALSE(testkit::RoundTrip(s, refused));
  ASSERT_NE(refused.readError(), nullptr);
  EXPECT_NE(std::string(refused.readError()).find("closed triangles"), std::string::npos) << refused.readError();
}

}  // namespace
