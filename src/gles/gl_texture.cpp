#include "gles/gl_texture.h"

#include <initializer_list>

GLuint GlMakeTexture(GLenum format, int width, int height, const void* pixels, const GlTextureLook& look) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, look.mipmaps ? GL_TRUE : GL_FALSE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, look.min_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, look.mag_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, look.wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, look.wrap);
  // Rows of one-byte texels are packed; back to GL's default after, without
  // asking GL what it was: over WebGL every query is a stall.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  return texture;
}

GLuint GlMakeExactTexture(int width, int height) {
  GLint old = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &old);
  while (glGetError() != GL_NO_ERROR) {
  }
  GLuint texture = GlMakeTexture(GL_RGBA, width, height, nullptr, {GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, false});
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(old));
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &texture);
    return 0;
  }
  return texture;
}

void GlDrawTextureOverViewport(GLuint texture) {
  GLint mode = GL_MODELVIEW, bound = 0;
  GLfloat env = GL_MODULATE;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  const GLboolean colours = glIsEnabled(GL_COLOR_ARRAY), normals = glIsEnabled(GL_NORMAL_ARRAY);

  glBindTexture(GL_TEXTURE_2D, texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  for (GLenum m : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
    glMatrixMode(m);
    glPushMatrix();
    glLoadIdentity();
  }
  static const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
  static const GLfloat uv[] = {0, 0, 1, 0, 0, 1, 1, 1};
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, quad);
  glTexCoordPointer(2, GL_FLOAT, 0, uv);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  for (GLenum m : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
    glMatrixMode(m);
    glPopMatrix();
  }
  glMatrixMode(static_cast<GLenum>(mode));
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(env));
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  if (colours) glEnableClientState(GL_COLOR_ARRAY);
  if (normals) glEnableClientState(GL_NORMAL_ARRAY);
}
