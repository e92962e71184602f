// Loading and drawing her the way the app does (see girl_view.h).
#include "girl_view.h"

#include <cstdlib>

#include "character/girl.h"
#include "character/girl_camera.h"
#include "character/girl_scene.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
#include "texture/gamelib.h"
#include "texture/texture_library.h"

const unsigned char kGirlViewBackground[3] = {196, 209, 227};

bool GirlViewLoad(GirlView& v, int outfit, int hairColour, int skin) {
  if (!LoadPodModel(&v.scene, kOutfitModels[outfit & 3], "girl", false)) return false;
  v.texture = GirlDressModel(&v.scene, outfit, hairColour, skin);
  return v.texture != 0;
}

void GirlViewRelease(GirlView& v) {
  ReleaseTextures();
  v.texture = 0;
  v.scene.Destroy();
}

void GirlViewDraw(GirlView& v, float frame, float angle, float dist, float panY, const FacePose* face) {
  FaceRig rig;
  if (FaceRigBind(&rig, &v.scene)) FaceRigApply(&rig, &v.scene, face ? *face : FacePose());
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glClearColor(kGirlViewBackground[0] / 255.0f, kGirlViewBackground[1] / 255.0f, kGirlViewBackground[2] / 255.0f, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  InitTestLight();
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  glDisable(GL_CULL_FACE);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GirlSetCamera(angle, dist, 0.0f, panY);
  glDisable(GL_BLEND);
  DrawModelWithEnv(&v.scene, frame, nullptr);
  glFinish();
  v.scene.SetPoseLayer(nullptr);  // the rig's matrices go with it
}
