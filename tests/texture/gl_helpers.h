// Drawing a texture 1:1 on a headless surface and reading it back, so that
// uploads are checked through real rendering.
#pragma once

#include "kit/gl_test.h"
#include "surface/EAGLView.h"

#include <string>
#include <utility>
#include <vector>

using testkit::HeadlessView;

// Draws `tex` into the rectangle (0, 0, w, h) of a surface of the same
// orthographic size with the picture's top row at the top, replacing the
// colour, and returns the surface pixels (top row first).
inline std::vector<uint8_t> DrawTexture(const EAGLView& view, GLuint tex, float w, float h) {
  const EAGLSize s = view.surfaceSize();
  glViewport(0, 0, static_cast<GLsizei>(s.width), static_cast<GLsizei>(s.height));
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  testkit::Ortho(0, s.width, s.height, 0, -1, 1);  // y down, like the picture rows
  const GLfloat v[] = {0, 0, w, 0, 0, h, w, h};
  const GLfloat uv[] = {0, 0, 1, 0, 0, 1, 1, 1};
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, v);
  glTexCoordPointer(2, GL_FLOAT, 0, uv);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisable(GL_TEXTURE_2D);
  std::vector<uint8_t> rgba;
  EAGLViewReadPixels(&view, rgba);
  return rgba;
}

// A texture of w x h RGBA texels whose other levels the driver generates.
inline GLuint DriverMipmapped(const uint8_t* rgba, int w, int h) {
  GLuint tex = 0;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  return tex;
}

// Every level of two w x h textures below level 0, drawn at its own size
// (nearest, a texel a pixel) into a surface at least w / 2 x h / 2 large:
// the pairs of frames, one for each level. Leaves both textures sampling
// their nearest level.
inline std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> LevelsShown(const EAGLView& view, GLuint a,
                                                                                      GLuint b, int w, int h) {
  std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> out;
  for (GLuint t : {a, b}) {
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
  for (int lw = w / 2, lh = h / 2; lw >= 1 || lh >= 1; lw /= 2, lh /= 2) {
    const float x = static_cast<float>(lw > 1 ? lw : 1), y = static_cast<float>(lh > 1 ? lh : 1);
    out.emplace_back(DrawTexture(view, a, x, y), DrawTexture(view, b, x, y));
  }
  return out;
}
