#include "render/env_light.h"

#include <cstdio>
#include <cstdlib>

#include "gles/gl_check.h"
#include "texture/gamelib.h"

EnvLight env;

bool EnvLight::Load(const char* name) {
  texture = LoadTextureRGBA(name, TEXMIP_NONE);
  return texture != 0;
}

void EnvLight::Apply(int count, const VECTOR3* normals) {
  std::free(coordinates);
  coordinates = nullptr;
  if (count > 0) {
    coordinates = static_cast<float*>(std::malloc(sizeof(float) * 2 * static_cast<size_t>(count)));
    if (coordinates) {
      for (int i = 0; i < count; ++i) {
        coordinates[2 * i] = static_cast<float>(0.5 + 0.5 * static_cast<double>(normals[i].x));
        coordinates[2 * i + 1] = static_cast<float>(0.5 + 0.5 * static_cast<double>(normals[i].y));
      }
    } else {
      std::fprintf(stderr, "EnvLight: out of memory for %d coordinates\n", count);
    }
  }
  glActiveTexture(GL_TEXTURE1);
  glEnable(GL_TEXTURE_2D);
  glClientActiveTexture(GL_TEXTURE1);
  if (coordinates) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 8, coordinates);
  }
  glClientActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture);
  GL_CHECK();
}

void EnvLight::Remove() {
  glActiveTexture(GL_TEXTURE1);
  glDisable(GL_TEXTURE_2D);
  glClientActiveTexture(GL_TEXTURE1);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glClientActiveTexture(GL_TEXTURE0);
  GL_CHECK();
  std::free(coordinates);
  coordinates = nullptr;
}

void EnvLight::Free() {
  if (texture != 0) {
    GLuint name = texture;
    glDeleteTextures(1, &name);
    texture = 0;
  }
}
