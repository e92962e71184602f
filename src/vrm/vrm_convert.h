// Turning a read VRM file (vrm/vrm_file.h) into a character of ours, in
// memory: her scene file's records, the pictures to store beside it and the
// small character.json that keeps what is not drawn (humanoid map,
// expressions, look-at, springs, meta, and where each of the file's nodes,
// meshes and materials went) and the springs' setup in the scene's nodes
// and units (vrm/vrm_springs, springs/springs_store).
//
// The model is put into her world: in her units and facing (VRM 0.x is
// turned to face +Z), scaled to her height and standing on her ground, so
// the camera, the tap pick and the shadow frame it as they frame her. Every
// triangle primitive becomes a mesh of ours (split into bone batches of at
// most 64 bones and into meshes of at most 65535 vertices), skinned ones
// bound in the file's rest pose (the nodes' inverse binds), others hung on
// their node; opaque meshes draw first, then alpha-tested, then blended.
// Her clip table's timeline is retargeted onto the humanoid bones
// (vrm/vrm_retarget). Pictures become powers of two, at most 2048 a side.
//
// Called by the character import (vrm/characters) and the fuzz target.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scene/ModelPOD.h"
#include "vrm/vrm_file.h"

namespace vrm {

constexpr int kMaxTextureSide = 2048;
// The version of what ConvertVrm makes: a folder made by another version is
// made again when its file is imported.
constexpr int kCharacterFormat = 2;

struct CharacterPicture {
  std::string name;  // file name in the folder
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // straight alpha, top row first
  // The file's own PNG or JPEG bytes when the picture is kept as it was
  // (already a power of two within the limit): stored as they are.
  std::vector<uint8_t> file;
};

struct Character {
  CPODScene scene;             // complete and evaluable (InitImpl has run)
  std::vector<uint8_t> model;  // the scene as its file, read back once: the app can load it
  std::vector<CharacterPicture> pictures;
  CharacterPicture thumbnail;  // no pixels when the file has none
  nlohmann::json info;         // character.json, without the folder's own fields
};

// `clips` is her scene (any of her models): her timeline, her height and
// ground, and her bones by name (rig/girl_humanoid.h). It is left at
// frame 0. False with `reason` when the file cannot be made a character,
// among others when its scene file would not pass the scene reader's
// checks (values out of any model's proportion).
bool ConvertVrm(const Document& doc, CPODScene& clips, Character* out, std::string* reason);

}  // namespace vrm
