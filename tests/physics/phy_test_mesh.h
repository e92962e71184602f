// Small soft-skin meshes for the physics tests: built in memory as a
// one-mesh scene, and written and read back so the network is built from
// what the reader really hands over.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

struct PhyTestMesh {
  std::vector<float> pos;      // 3 per vertex
  std::vector<float> normal;   // 3 per vertex
  std::vector<uint8_t> mark;   // byte 0 of the vertex colour
  std::vector<uint16_t> faces;  // triangle list

  int Add(float x, float y, float z, uint8_t m, float nx = 0, float ny = 0, float nz = 1) {
    pos.insert(pos.end(), {x, y, z});
    normal.insert(normal.end(), {nx, ny, nz});
    mark.push_back(m);
    return static_cast<int>(mark.size()) - 1;
  }
  void Tri(int a, int b, int c) {
    faces.insert(faces.end(), {static_cast<uint16_t>(a), static_cast<uint16_t>(b),
                               static_cast<uint16_t>(c)});
  }
};

template <typename T>
inline uint8_t* PhyTestCopy(const std::vector<T>& v) {
  uint8_t* p = static_cast<uint8_t*>(PODCalloc(v.size() ? v.size() : 1, sizeof(T)));
  if (!v.empty()) std::memcpy(p, v.data(), v.size() * sizeof(T));
  return p;
}

// Hangs the mesh on an empty scene; `mesh_nodes` nodes all use it.
inline void PhyTestScene(CPODScene& s, const PhyTestMesh& m, uint32_t mesh_nodes = 1) {
  s.meshCount = 1;
  s.meshes = PODAlloc<SPODMesh>(1);
  SPODMesh& mesh = s.meshes[0];
  mesh.vertexCount = static_cast<uint32_t>(m.mark.size());
  mesh.faceCount = static_cast<uint32_t>(m.faces.size() / 3);
  mesh.faces = CPODData{EPODDataUnsignedShort, 1, 2, PhyTestCopy(m.faces)};
  mesh.vertices = CPODData{EPODDataFloat, 3, 12, PhyTestCopy(m.pos)};
  mesh.normals = CPODData{EPODDataFloat, 3, 12, PhyTestCopy(m.normal)};
  std::vector<uint8_t> colours;
  for (uint8_t k : m.mark) colours.insert(colours.end(), {k, 0x40, 0x80, 0xC0});
  mesh.colours = CPODData{EPODDataARGB, 1, 4, PhyTestCopy(colours)};
  s.nodeCount = mesh_nodes;
  s.meshNodeCount = mesh_nodes;
  s.nodes = PODAlloc<SPODNode>(mesh_nodes);
  for (uint32_t i = 0; i < mesh_nodes; ++i) {
    s.nodes[i].meshIndex = 0;
    s.nodes[i].materialIndex = -1;
    s.nodes[i].parentIndex = -1;
    s.nodes[i].name = PODStrDup("soft");
  }
  // A scene owns its arrays only once it has its evaluation state.
  EXPECT_TRUE(s.InitImpl());
}

// Writes the scene to a file and reads it back into `out`.
inline ::testing::AssertionResult PhyTestRoundTrip(const CPODScene& in, CPODScene& out,
                                                   const char* name) {
  const std::string path = ::testing::TempDir() + "phy_" + name + ".pod";
  if (!PODWriteToFile(in, path.c_str())) return ::testing::AssertionFailure() << "write " << path;
  const bool ok = out.ReadFromFile(path.c_str());
  std::remove(path.c_str());
  if (!ok) return ::testing::AssertionFailure() << "read back " << path;
  return ::testing::AssertionSuccess();
}

// Builds the scene, round-trips it and returns the read-back scene in `out`.
inline ::testing::AssertionResult PhyTestLoad(const PhyTestMesh& m, CPODScene& out,
                                              const char* name, uint32_t mesh_nodes = 1) {
  CPODScene built;
  PhyTestScene(built, m, mesh_nodes);
  return PhyTestRoundTrip(built, out, name);
}
