// A VRM file's spring bones (1.0 `VRMC_springBone`, 0.x
// `secondaryAnimation`) read from the JSON the file reader kept, as the
// solver's setup (springs/springs.h) over the file's own node indices and in
// the file's frame. What does not fit is left out, with the first such
// thing in *warning. The conversion (vrm/vrm_convert) moves the setup into
// the scene it makes; the fuzz target reaches it through the conversion.
#pragma once

#include <string>

#include "springs/springs.h"
#include "vrm/vrm_file.h"

namespace vrm {

SpringSetup FileSprings(const Document& doc, std::string* warning);

}  // namespace vrm
