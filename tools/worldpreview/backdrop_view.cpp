#include "backdrop_view.h"

#include <GLES/gl.h>

#include "math/Matrix.h"
#include "render/render_mesh.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"

void BackdropViewInit() {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glClearColor(0.3f, 0.3f, 0.4f, 1.0f);
}

void BackdropViewDraw(CPODScene* bg, float frame, const BackdropCamera& cam, SimpleShadow* shadow) {
  glEnable(GL_LIGHTING);
  const GLfloat ambient[] = {0.65f, 0.65f, 0.65f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glEnable(GL_LIGHT0);
  const GLfloat pos[] = {2.9f, 1.5f, 0.9f, 0.0f}, none[] = {0, 0, 0, 0}, diffuse[] = {0.8f, 0.8f, 0.8f, 1},
                spec[] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, pos);
  glLightfv(GL_LIGHT0, GL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, spec);
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
  if (shadow) {
    glDisable(GL_LIGHTING);
    glLoadIdentity();
    glTranslatef(-8, 0, 0);
    SimpleShadowDraw(shadow);
    glEnable(GL_LIGHTING);
  }
}
