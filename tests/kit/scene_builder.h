// Small scenes for the scene, drawing, physics tests and benchmarks, built in
// memory the way the content generator builds its models. Every array comes
// from PODCalloc so that the scene can own it and the writer can write it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

namespace testkit {

// Copies `values` into a new data block with `components` values per vertex.
void SetFloats(CPODData& block, uint32_t components, const std::vector<float>& values);
void SetBytes(CPODData& block, uint32_t components, const std::vector<uint8_t>& values);
void SetIndices(SPODMesh& mesh, const std::vector<uint16_t>& indices);

// Allocates the node, mesh, material and texture lists (zeroed). A scene
// filled by hand only owns its arrays once InitImpl has run on it.
void AllocScene(SPODScene& s, uint32_t meshes, uint32_t nodes, uint32_t meshNodes, uint32_t materials,
                uint32_t textures, uint32_t frames);
// A lit material with the given diffuse colour.
void SetMaterial(SPODMaterial& m, const char* name, int32_t textureIndex, float r, float g, float b);
void SetPosition(SPODNode& node, float x, float y, float z);
// Rotation about z for every frame: angle(frame) = step * frame (radians).
void SetSpinZ(SPODNode& node, uint32_t frames, float step);

// A cube of side 2 around the origin with normals and (u, v) per face,
// textured through scene texture 0 ("art/checker.png", a folder part the
// material loading strips). Node 0 turns it so three faces show.
void BuildTexturedCube(CPODScene& s);
// A vertical sheet (x in [-1, 1], y in [0, 4]) skinned to two bones, split
// into two bone batches that list the bones in opposite order. Bone 2 (the
// upper one) turns about z over 10 frames, bending the upper half.
void BuildSkinnedSheet(CPODScene& s);
// Two indexed strips (2 and 3 triangles) side by side, then one unindexed
// strip mesh, all on "const" (unlit) materials.
void BuildStrips(CPODScene& s);
// An unindexed triangle list with neither normals nor texture coordinates,
// drawn with the default material (index -1).
void BuildNoNormals(CPODScene& s);

// One skinned mesh on one bone at rest: a box (x in [-1.5, -0.5], y and z
// in [-0.5, 0.5]) wound counter-clockwise outward, each face with corners
// of its own as texture seams copy them, then a square card (x in [0.5,
// 1.5], y in [-0.5, 0.5], z = 0) whose front faces -z. closedFaces is left 0.
void BuildBoxAndCard(CPODScene& s);
// Triangles of BuildBoxAndCard's box, stored first, and of its card.
constexpr uint32_t kBoxTriangles = 12, kCardTriangles = 2;

// A sheet of `vertices` vertices (two halves, one per batch) with `bones`
// bones split evenly over 2 batches and `slots` weights per vertex; bones
// form a chain and turn over `frames` frames. For skinning benchmarks.
void BuildSkinnedGrid(CPODScene& s, int vertices, int bones, int slots, uint32_t frames);

// The arrays of a skinned triangle-list mesh, `slots` bone indices and
// weights a vertex; and its bone batches: the palette of each and the first
// triangle it draws.
void SetSkinnedMesh(SPODMesh& m, const std::vector<uint16_t>& idx, const std::vector<float>& pos,
                    const std::vector<float>& nrm, uint32_t slots, const std::vector<uint8_t>& bones,
                    const std::vector<float>& weights);
void SetBatches(SPODMesh& m, const std::vector<std::vector<int32_t>>& lists, const std::vector<int32_t>& offsets);

// The Build* functions finish with InitImpl, so the scene can be drawn and
// its destructor releases everything.

// Writes the scene to dir/name.POD; false when the writer fails.
bool WriteScene(const SPODScene& s, const std::string& dir, const std::string& name);
// Writes `in` with the scene writer and reads it back into `out` from memory,
// so a test sees what the reader really hands over.
bool RoundTrip(const SPODScene& in, CPODScene& out, const PODWriteOptions& options = {});

// A scene shaped like the character: one skinned mesh node (two bone
// batches, strips optional) under a root, a bone chain whose second bone
// turns over the frames, one textured material, a camera and a light; every
// field the writer writes is set. Not yet initialised (no InitImpl).
//   nodes: 0 mesh node, 1 root, 2 bone A (child of root), 3 bone B (child of A)
void BuildTestScene(SPODScene& s, bool withStrips = false);

// A soft-skin mesh of the physics tests: points with a mark (byte 0 of the
// vertex colour) and normals, and a triangle list.
struct SoftMesh {
  std::vector<float> pos;       // 3 per vertex
  std::vector<float> normal;    // 3 per vertex
  std::vector<uint8_t> mark;    // byte 0 of the vertex colour
  std::vector<uint16_t> faces;  // triangle list

  int Add(float x, float y, float z, uint8_t m, float nx = 0, float ny = 0, float nz = 1) {
    pos.insert(pos.end(), {x, y, z});
    normal.insert(normal.end(), {nx, ny, nz});
    mark.push_back(m);
    return static_cast<int>(mark.size()) - 1;
  }
  void Tri(int a, int b, int c) {
    faces.insert(faces.end(), {static_cast<uint16_t>(a), static_cast<uint16_t>(b), static_cast<uint16_t>(c)});
  }
};
// Hangs the mesh on an otherwise empty scene; `meshNodes` nodes all use it.
void BuildSoftScene(CPODScene& s, const SoftMesh& m, uint32_t meshNodes = 1);
// An n x n grid of unit squares in the z = 0 plane, two triangles each; the
// rim points marked `rimMark`, the inner ones `innerMark`.
SoftMesh SoftGrid(int n, uint8_t rimMark, uint8_t innerMark);
// Three pinned corners (marks 252 to 254) around a free centre at height
// `centreZ` with the normal (0.6, 0.8, 0); vertex 4 is a seam copy of the
// centre. Every point has three springs, so nothing is pruned.
SoftMesh SoftFan(float centreZ);
// BuildSoftScene, then RoundTrip into `out`.
bool LoadSoftScene(const SoftMesh& m, CPODScene& out, uint32_t meshNodes = 1);

}  // namespace testkit
