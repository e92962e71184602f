// Mesh drawing.
//
// The frame update draws the backdrop with DrawModel and the character with
// DrawModelWithEnv. Skinning runs on the CPU: for each bone batch the node
// fills matrix_palette with the batch's bone matrices (times the modelview in
// force), and DrawMeshP blends the positions and normals of the vertices that
// batch draws into scratch arrays kept between frames. The mesh data itself
// is never written, so the physics' positions are read afresh every draw.
// Drawn without culling, an indexed triangle list's leading closed triangles
// (SPODMesh::closedFaces: closed shells, whose back faces no viewer outside
// them sees) are drawn with their back faces culled; the rest, skinned, hand
// GL the triangles that face the viewer before those that face away (each
// kind in stored order), so hidden back faces fail the depth test instead of
// being shaded. A mesh without closed triangles is drawn from both sides.
// Blending left on by whatever was drawn before is switched off for a draw
// whose every fragment has alpha 1 (texture/gamelib.h knows which textures
// have no translucent texel): the same pixels, without reading them back.
//
// State left behind: the vertex, normal and texture-coordinate arrays off,
// the matrix mode GL_MODELVIEW, the modelview stack as found. With an
// environment light lighting is switched on after each mesh.
#pragma once

#include <cstdint>

#include "math/Matrix.h"
#include "math/Vector.h"

class CPODScene;
class EnvLight;
struct SPODNode;
struct SPODMesh;

// Bone matrices of the batch being drawn; bone-index bytes select entries.
const int kMatrixPaletteSize = 64;
extern MATRIX matrix_palette[kMatrixPaletteSize];

// Draws every mesh node of the scene at `frame`, in file order.
void DrawModel(CPODScene* scene, float frame);
// As DrawModel, for a backdrop: the back faces of its opaque meshes are
// culled whatever culling the caller has on. A backdrop's opaque surfaces
// are closed or face its inside, where the camera always is, so no back face
// of theirs shows; culled, they cost the rasteriser nothing. Blended meshes
// (leaves, cards seen from either side) keep the caller's culling, which is
// in force again after.
// With `drawn` (meshNodeCount entries), only the nodes marked non-zero draw.
void DrawBackdrop(CPODScene* scene, float frame, const uint8_t* drawn = nullptr);
// As DrawModel; `light` (may be null) lights each mesh from its picture.
void DrawModelWithEnv(CPODScene* scene, float frame, EnvLight* light);
// Draws one mesh node. With useWorldMatrix the node's world matrix is pushed
// on the modelview; without it a rigid mesh draws in the caller's modelview.
void DrawNodeP(CPODScene* scene, SPODNode* node, bool useWorldMatrix, bool bindMaterial, EnvLight* light);
// Draws one mesh. Skinned meshes are blended with matrix_palette first. Only
// an indexed triangle list honours the triangle range; strips and unindexed
// meshes draw whole.
void DrawMeshP(const SPODMesh* mesh, bool skinned, int firstTriangle, int triangleCount, EnvLight* light);

// The skinning step of DrawMeshP on its own: blends the positions (and the
// normals, when the mesh has them) of the vertices that triangles
// [firstTriangle, firstTriangle + triangleCount) use with matrix_palette, into
// scratch arrays of vertexCount entries that stay valid until the next call.
// Strips and unindexed meshes blend every vertex. Other entries keep what an
// earlier call left there. *normalsOut is null for a mesh without normals.
// The results are those of TransVec3TransformWeightedArray(N) bit for bit;
// to get there faster it takes a batch's vertices from the ranges the scene
// made at load, and leaves out a vertex's trailing zero-weight slots
// whenever that cannot change a bit (see render_mesh.cpp).
const VECTOR3* SkinMeshP(const SPODMesh* mesh, int firstTriangle, int triangleCount, const VECTOR3** normalsOut);

// Skinning kept for a second use. A frame blends her twice: once to find
// the pixels she covers (redraw/redraw.h), once to draw. Between
// SkinKeepBegin and SkinKeepEnd the caller promises that no mesh's vertex
// data, bones or morph weights change; SkinMeshP then blends into arrays
// of the call's own (of vertexCount entries: the range's vertices blended,
// the others as an earlier frame left them), and a later call for the same
// mesh and triangle range whose palette entries (those the range's
// vertices name) are the same bits returns them without blending again.
// The range's vertices are the same bits either way. SkinKeepEnd forgets
// everything kept; the arrays stay valid until the next SkinKeepBegin.
void SkinKeepBegin();
void SkinKeepEnd();

// The mesh's positions with the morph targets of non-zero weight added, as
// DrawMeshP draws a rigid mesh, in scratch kept until the next call (normals
// beside them); null when no target has a weight (the mesh's own are drawn).
const VECTOR3* MorphMeshP(const SPODMesh* mesh);

// Skinning uses eight-lane AVX code when the CPU has it, four-lane code
// otherwise; both give the same bits. Lets tests run both paths. Returns
// whether the AVX path is now in use.
bool SkinUseAvx(bool enable);

// out[i] = sum over slots b of weight[b] * (matrix_palette[bone[b]] * (in[i], 1)).
// Strides in bytes. Weights are neither skipped when zero nor renormalised.
void TransVec3TransformWeightedArray(VECTOR3* out, int outStride, const VECTOR3* in, int inStride, int count,
                                     const unsigned char* bones, int boneStride, const float* weights, int weightStride,
                                     int slots);
// The same for directions: the translation of the palette matrices is left out,
// and the result is not renormalised.
void TransVec3TransformWeightedArrayN(VECTOR3* out, int outStride, const VECTOR3* in, int inStride, int count,
                                      const unsigned char* bones, int boneStride, const float* weights,
                                      int weightStride, int slots);
