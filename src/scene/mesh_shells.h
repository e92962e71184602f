// Closed shells of a triangle list: which triangles can be culled when seen
// from their back without changing a pixel.
//
// A shell is a set of triangles joined along shared edges. It is closed when
// every edge is crossed as often in one direction as in the other (as many
// triangles on either side of it: two on an ordinary edge, four where two
// sheets touch), and wound outward when the volume it bounds is positive
// for counter-clockwise front faces. A ray from a point outside such a shell
// enters it through a front face before it can reach a back face, so from
// outside every back face is hidden behind a front face of the same shell,
// whatever else is drawn: dropping it changes no pixel (up to which of two
// fragments at the same depth wins, on the silhouette).
//
// Corners are joined where they share their position and, on a skinned
// mesh, their bones and weights: copies of a corner made for texture seams
// then move together, while corners that merely start at the same place do
// not count as joined.
//
// Callers: the character generator (tools/girlgen) records the count in her
// models (SPODMesh::closedFaces), which the mesh drawing culls; the tests.
#pragma once

#include <cstdint>

struct SPODMesh;

struct MeshShells {
  uint32_t shells = 0;        // joined sets of triangles
  uint32_t closedShells = 0;  // of those, closed and wound outward
  uint32_t openEdges = 0;     // edges crossed more often one way than the other
  uint32_t sheetEdges = 0;    // closed edges with more than two triangles
  // How many of the first triangles all belong to closed, outward shells:
  // the triangles before the first one of any other shell.
  uint32_t closedLeading = 0;
};

// The shells of an indexed triangle list with float positions; an empty
// report for any other mesh (strips, no indices, other position types).
MeshShells FindShells(const SPODMesh& mesh);
