// An imported character's face as its file rigs it: expressions (presets
// by their VRM 1.0 names, each setting morph targets of the character's
// meshes, with isBinary and the override rules) and the look-at (eye bones
// turned within the file's range maps, or the look expressions), with the
// head and neck turned through the humanoid map. The import writes the
// setup into character.json's "face" (vrm/vrm_expressions); the face layer
// (face/face.h) drives it from the same blink, lip sync and gaze that move
// her own face rig.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "face/face_rig.h"
#include "math/Matrix.h"

class CPODScene;

enum FaceOverride { kOverrideNone, kOverrideBlock, kOverrideBlend };

struct FaceMorphBind {
  int mesh, morph;
  float weight;
};

struct FaceExpression {
  std::string name;
  std::vector<FaceMorphBind> binds;
  bool binary = false;
  int override_blink = kOverrideNone, override_look_at = kOverrideNone, override_mouth = kOverrideNone;
};

// Degrees of gaze up to `input` give up to `output` (degrees of eye turn,
// or an expression's weight).
struct FaceRangeMap {
  float input = 90, output = 10;
  float At(float degrees) const;
};

struct FaceCharacter {
  const CPODScene* scene = nullptr;
  std::vector<FaceExpression> presets;
  bool look_expressions = false;  // the look-at moves the look expressions, not the eyes
  FaceRangeMap inner, outer, down, up;
  int head = -1, neck = -1, eye[2] = {-1, -1};  // scene nodes (left, right), -1 where there is none
  std::vector<float> rest;                      // per preset bind: its morph's weight as the file left it
  std::vector<MATRIX> layer;                    // the scene's pose layer
};

// The face of a character folder's character.json for its loaded scene;
// binds to meshes or morphs the scene lacks are left out. False (one line in
// *error) when the folder keeps no face setup or one that cannot be read.
bool FaceCharacterRead(const nlohmann::json& info, const CPODScene* scene, FaceCharacter* out, std::string* error);

// The presets' weights for the weights the face layer asks of them (name ->
// 0..1), after isBinary (over a half is whole) and the override rules (a
// preset blocking or blending the blink, mouth or look presets holds them
// to none, or to one less its own weight). The look-at's own share (for
// turning eye bones) comes back under "lookAt".
std::map<std::string, float> FaceExpressionWeights(const FaceCharacter& c, const std::map<std::string, float>& wanted);

// Sets the scene's morph weights for `weights` and its pose layer: the head
// and neck turned as her face rig turns hers, and the eyes (bone look-at).
void FaceCharacterApply(FaceCharacter* c, CPODScene* scene, const FacePose& pose,
                        const std::map<std::string, float>& weights);
