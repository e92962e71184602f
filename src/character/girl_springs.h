// An imported character's spring bones (springs/springs.h) in the app: the
// setup its folder keeps (character.json's "spring_setup"), made ready at
// every load and settled in the idle's first pose, then one step a tick
// with the device's motion (the same filtered reading that pushes her soft
// parts), written into the scene's pose layer together with the face
// layer's matrices. She has none of her own: for her all of this does
// nothing and the readout is zero.
//
// The scene loading (character/girl_scene) calls GirlSpringsLoad, the reload
// GirlSpringsSettle, the frame update GirlSpringsTick after the face layer;
// the trace reads GirlSpringsReadout.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

class CPODScene;

// Takes the setup from a character's character.json (null or without one:
// no springs) for `scene`. One line on standard error when it is there but
// cannot run; the character then goes without springs.
void GirlSpringsLoad(const nlohmann::json* info, const CPODScene* scene);
// Every chain at rest in the scene's pose at `frame`, then let hang still.
void GirlSpringsSettle(CPODScene* scene, float frame);
// One tick at `frame`: the fixed nodes' pose (face layer on), the device's
// acceleration (`force`: the shake filter's, in g) turned by the camera's
// `view_yaw`, and the joints' turns into the pose layer.
void GirlSpringsTick(CPODScene* scene, float frame, const float force[3], float view_yaw);

struct GirlSpringsReport {
  int chains_moving = 0;
  float max_speed = 0;  // metres a second, at the file's own size
};
GirlSpringsReport GirlSpringsReadout();
