#include "backdrop_view.h"

#include <GLES/gl.h>

#include <cstdlib>
#include <string>

#include "character/girl.h"
#include "math/Matrix.h"
#include "platform/bundle.h"
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
  const char* model = girl_model_name[outfit & 3];
  // The character is made by its own generator; a bundle without it is not an error here.
  if (!BundlePathForResource(model, "POD", path) || !BundlePathForResource(body[skinTone & 3].picture, nullptr, path))
    return false;
  if (!LoadPodModel(girl, model, "girl", false)) return false;
  tag_TexPicDesc desc = {0, 0, 0};
  unsigned char* px = ReadPictureData(body[skinTone & 3].picture, &desc);
  if (!px) {
    girl->Destroy();
    return false;
  }
  OverlayMaskedTexture32(px, &desc, hair[hairColour & 3].mask, hair[hairColour & 3].picture);
  OverlayMaskedTexture32(px, &desc, clothes[outfit & 3].mask, clothes[outfit & 3].picture);
  GLuint tex = LoadTextureData(px, &desc, TEXMIP_LINEAR);
  std::free(px);
  ReplaceAllMaterials(girl, tex);
  NormalizeModelNormals(girl);
  ReplaceAllMaterials_FB(girl);
  return true;
}

void BackdropViewDraw(CPODScene* bg, float frame, const BackdropCamera& cam, SimpleShadow* shadow,
                      CPODScene* girl, float girlFrame) {
  glEnable(GL_LIGHTING);
  const GLfloat ambient[] = {0.65f, 0.65f, 0.65f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glEnable(GL_LIGHT0);
  const GLfloat pos[] = {2.9f, 1.5f, 0.9f, 0.0f}, none[] = {0, 0, 0, 0}, diffuse[] = {0.8f, 0.8f, 0.8f, 1},
                black[] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, pos);
  glLightfv(GL_LIGHT0, GL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, black);
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  glDisable(GL_CULL_FACE);  // the app starts with culling off
  glCullFace(GL_BACK);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  MATRIX m;
  MatrixPerspectiveFovRH(m, 70.0f, 2.0f / 3.0f, 10.0001f, 10000.0f, false);
  glMultMatrixf(m.f);
  glTranslatef(cam.panX, cam.panY, -cam.dist);
  glRotatef(cam.angle, 0, 1, 0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_BLEND);
  if (bg) {
    DrawModel(bg, frame);
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
