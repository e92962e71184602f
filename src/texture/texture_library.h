// Materials: binding a scene material to GL state, and the load-time fix-ups
// that make a freshly read scene drawable.
//
// The model loader calls PrecacheMaterials (backdrops) and TexCoordFix (every
// scene); the character loading calls ReplaceAllMaterials with its composited
// texture, NormalizeModelNormals and ReplaceAllMaterials_FB; node drawing calls
// LoadMaterialI before each node. Textures that materials refer to live in the
// texture registry (texture/gamelib.h) as references k - 513 to entry k.
#pragma once

#include <string>

#include "scene/ModelPOD.h"

enum TexFixMode {
  TEXFIX_NONE = 0,
  TEXFIX_FLIP_V = 1,  // v -> 1 - v: pictures are stored top row first
};

// Loads each mesh node's material texture from the bundle (mipmapped) and
// registers it; a texture that cannot be loaded, or that finds the registry
// full, leaves its material at -1 (untextured).
void PrecacheMaterials(CPODScene* scene);
// The same for an imported character: its pictures are files in `folder`
// (straight alpha, mipmapped), not in the bundle.
void PrecacheMaterialsFrom(CPODScene* scene, const std::string& folder);
// Registers `tex` and points every textured material of a mesh node at it.
// Texture 0 does nothing. A full registry refuses the texture (message on
// standard error), deletes it and changes no material.
void ReplaceAllMaterials(CPODScene* scene, unsigned int tex);
// Sets the diffuse colour of every mesh node's material to white.
void ReplaceAllMaterials_FB(CPODScene* scene);

// Whether material `index` of the scene blends (its name has "alpha"); an
// index out of range binds the default material, which does not.
bool MaterialBlends(const CPODScene* scene, int index);

// An imported character's material modes: whether material `index` is drawn
// from both sides, and whether it tests alpha (the node drawing turns the
// test off after it). False for the built-in files' materials.
bool MaterialDrawsBothSides(const CPODScene* scene, int index);
bool MaterialTestsAlpha(const CPODScene* scene, int index);

// Binds material `index` of the scene; a negative index, or one at or above
// the material count, binds the default grey untextured material.
void LoadMaterialI(const CPODScene* scene, int index);
// Binds one material: a name with "alpha" turns blending on (a picture's
// premultiplied colours blended once), "const" draws unlit at full texture
// brightness (with "alpha" too), a registry reference (-513..-2) binds its
// texture on unit 0; anything else, including values below -513, turns
// texturing off on both units. A material with an alpha mode (an imported
// character's) goes by its mode and flags instead of its name: opaque turns
// blending off, mask turns the alpha test on at its cutoff, blend turns
// blending on; unlit draws its diffuse colour at full light; its opacity
// is the colour's alpha.
void LoadMaterialP(const SPODMaterial* material);

// Mode 1 flips v of the first float texture-coordinate set of every mesh.
void TexCoordFix(CPODScene* scene, TexFixMode mode);
// Scales every mesh normal to unit length. Only packed float[3] normals are
// touched, and zero-length normals are kept as they are.
void NormalizeModelNormals(CPODScene* scene);
void NormalizeMeshNormals(SPODMesh* mesh);
