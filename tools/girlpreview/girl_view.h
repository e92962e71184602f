// Loading and drawing her the way the app does, for the preview tool and the
// rendering tests: the model from the bundle, the skin + hair + outfit
// composite and the material fix-ups of the scene loading, and the frame
// update's GL state, light and camera. Needs a current GL ES 1.1 context.
#pragma once

#include "gles/gles.h"

#include "face/face_rig.h"
#include "scene/ModelPOD.h"

struct GirlView {
  CPODScene scene;
  GLuint texture = 0;
};

// Outfit, hair and skin indices 0..3; false when a file is missing.
bool GirlViewLoad(GirlView& v, int outfit, int hairColour, int skin);
// Releases the scene and every registered texture.
void GirlViewRelease(GirlView& v);
// Clears and draws her at `frame`, the camera turned by `angle` degrees,
// `dist` away and panned `panY` (560 and -200 are the app's defaults), her
// face posed by `face` when given (else at rest, as the clips leave it).
void GirlViewDraw(GirlView& v, float frame, float angle, float dist = 560.0f, float panY = -200.0f,
                  const FacePose* face = nullptr);
// The clear colour GirlViewDraw uses, as bytes.
extern const unsigned char kGirlViewBackground[3];
