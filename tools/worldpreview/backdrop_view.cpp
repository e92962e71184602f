#include "backdrop_view.h"

#include "gles/gles.h"

#include <cstdlib>
#include <string>

#include "character/girl.h"
#include "character/girl_camera.h"
#include "character/girl_scene.h"
#include "files/bundle.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"
#include "texture/gamelib.h"
#include "texture/texture_library.h"

void BackdropViewInit() {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glClearColor(0.3f, 0.3f, 0.4f, 1.0f);
}

bool BackdropLoadCharacter(CPODScene* girl, int outfit, int hairColour, int skinTone) {
  std::string path;
  const char* model = kOutfitModels[outfit & 3];
  // The character is made by its own generator; a bundle without it is not an error here.
  if (!BundlePathForResource(model, "POD", path) ||
      !BundlePathForResource(kSkinTones[skinTone & 3].picture, nullptr, path))
    return false;
  if (!LoadPodModel(girl, model, "girl", false)) return false;
  if (!GirlDressModel(girl, outfit, hairColour, skinTone)) {
    girl->Destroy();
    return false;
  }
  return true;
}

void BackdropViewDraw(CPODScene* backdrop, float frame, const BackdropCamera& cam, SimpleShadow* shadow,
                      CPODScene* girl, float girlFrame, bool everyFace) {
  InitTestLight();
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  glDisable(GL_CULL_FACE);  // the app starts with culling off
  glCullFace(GL_BACK);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GirlSetCamera(cam.angle, cam.dist, cam.panX, cam.panY);
  glDisable(GL_BLEND);
  if (backdrop) {
    if (everyFace)
      DrawModel(backdrop, frame);
    else
      DrawBackdrop(backdrop, frame);
    glMatrixMode(GL_MODELVIEW);
  }
  if (girl) DrawModelWithEnv(girl, girlFrame, nullptr);
  if (shadow) {
    glDisable(GL_LIGHTING);
    glLoadIdentity();
    glTranslatef(-8, 0, 0);
    SimpleShadowDraw(shadow);
    glEnable(GL_LIGHTING);
  }
}
