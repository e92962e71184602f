// A VRM file's expressions (1.0 `expressions.preset`, 0.x
// `blendShapeMaster`) and look-at (1.0 `lookAt`, 0.x `firstPerson`) as the
// face layer drives them (face/face_expressions.h reads what this writes
// into character.json's "face"): presets by their 1.0 names, each a list of
// [our mesh, morph, weight] binds, isBinary and the override rules; the
// look-at's type and range maps. The conversion (vrm/vrm_convert) calls it
// with where each drawn primitive went.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "vrm/vrm_file.h"

namespace vrm {

// A primitive drawn by a file node (of a file mesh), and our meshes it became.
struct DrawnInto {
  int node, mesh;
  std::vector<int> ours;
};

nlohmann::json FileExpressions(const Document& doc, const std::vector<DrawnInto>& drawn);

}  // namespace vrm
