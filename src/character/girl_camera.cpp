#include "character/girl_camera.h"

#include "gles/gl_check.h"
#include "math/Matrix.h"

float v_angle = 0.0f;
float v_dist = kCameraResetDist;
float v_pan[2] = {kCameraResetPanX, kCameraResetPanY};

void ResetCamera() {
  v_pan[0] = kCameraResetPanX;
  v_pan[1] = kCameraResetPanY;
  v_dist = kCameraResetDist;
  v_angle = 0.0f;
}

void InitTestLight() {
  static const GLfloat ambient_model[4] = {0.65f, 0.65f, 0.65f, 1.0f};
  // w = 0: a direction, fixed in scene coordinates because the model-view
  // matrix carries no rotation when this runs.
  static const GLfloat position[4] = {2.9f, 1.5f, 0.9f, 0.0f};
  static const GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  static const GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  static const GLfloat specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  glEnable(GL_LIGHTING);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient_model);
  glEnable(GL_LIGHT0);
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  GL_CHECK();
}

void GirlSetCamera(float angle, float dist, float panX, float panY) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  MATRIX m;
  MatrixPerspectiveFovRH(m, 70.0f, 2.0f / 3.0f, 10.0001f, 10000.0f, false);
  glMultMatrixf(m.f);
  glTranslatef(panX, panY, -dist);
  glRotatef(angle, 0, 1, 0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
