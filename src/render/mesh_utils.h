// Model loading from the resource bundle: the one way the character and
// backdrop loading turn a resource name into a drawable scene.
#pragma once

#include <string>

class CPODScene;

// Looks up resourceName with type "POD" in the bundle, reads it into the
// empty `scene` and runs the load-time material fix-ups (PrecacheMaterials
// when `precache`, then the texture-coordinate flip). `label` names the model
// in the two messages: "**ERROR** path for %s file not found: %s\n" and
// "**ERROR** Failed to open %s file: %s\n" (standard error). On failure the
// scene stays empty and the result is false.
bool LoadPodModel(CPODScene* scene, const char* resourceName, const char* label, bool precache);
// An imported character's model from its folder (vrm/characters.h):
// model.POD read, its pictures loaded from the folder, texture coordinates
// flipped as for every scene. False, with "Character PATH: reason" on
// standard error, when it cannot be read.
bool LoadCharacterModel(CPODScene* scene, const std::string& folder);
