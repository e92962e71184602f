// Materials: binding a scene material to GL state, and the load-time fix-ups
// that make a freshly read scene drawable.
//
// The model loader calls PrecacheMaterials (backdrops) and TexCoordFix (every
// scene); the character loading calls ReplaceAllMaterials with its composited
// texture, NormalizeModelNormals and ReplaceAllMaterials_FB; node drawing calls
// LoadMaterialI before each node. Textures that materials refer to live in the
// texture registry (texture/gamelib.h) as references k - 513 to entry k.
#pragma once

#include "scene/ModelPOD.h"

enum TexFixMode {
  TEXFIX_NONE = 0,
  TEXFIX_FLIP_V = 1,  // v -> 1 - v: pictures are stored top row first
};

// Loads each mesh node's material texture from the bundle (mipmapped) and
// registers it; a texture that cannot be loaded, or that finds the registry
// full, leaves its material at -1 (untextured).
void PrecacheMaterials(CPODScene* scene);
// Registers `tex` and points every textured material of a mesh node at it.
// Texture 0 does nothing. A full registry refuses the texture (message on
// standard error), deletes it and changes no material.
void ReplaceAllMaterials(CPODScene* scene, unsigned int tex);
// Sets the diffuse colour of every mesh node's material to white.
void ReplaceAllMaterials_FB(CPODScene* scene);

// Whether material `index` of the scene blends (its name has "alpha"); an
// index out of range binds the default material, which does not.
bool MaterialBlends(const CPODScene* scene, int index);

// Binds material `index` of the scene; a negative index, or one at or above
// the material count, binds the default grey untextured material.
void LoadMaterialI(const CPODScene* scene, int index);
// Binds one material: a name with "alpha" turns blending on (a picture's
// premultiplied colours blended once), "const" draws unlit at full texture
// brightness (with "alpha" too), a registry reference (-513..-2) binds its
// texture on unit 0; anything else, including values below -513, turns
// texturing off on both units.
void LoadMaterialP(const SPODMaterial* material);

// Mode 1 flips v of the first float texture-coordinate set of every mesh.
void TexCoordFix(CPODScene* scene, TexFixMode mode);
// Scales every mesh normal to unit length. Only packed float[3] normals are
// touched, and zero-length normals are kept as they are.
void NormalizeModelNormals(CPODScene* scene);
void NormalizeMeshNormals(SPODMesh* mesh);
