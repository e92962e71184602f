// Mesh drawing, and the GL error check and data-type table that every unit
// calling GL shares.
//
// GL_CHECK() fetches one error and, when there is one, prints
// "gl error NAME at FILE : LINE" on standard output; the caller carries on.
#pragma once

#include <GLES/gl.h>

#include <cstdint>

void GLprintError(unsigned int error, const char* file, int line);

// Indexed by EDataType code (0..14); 0 where a code has no GL type.
extern const uint32_t TYPE2GL[15];

#define GL_CHECK()                                       \
  do {                                                   \
    const GLenum gl_check_error_ = glGetError();         \
    if (gl_check_error_ != 0)                            \
      GLprintError(gl_check_error_, __FILE__, __LINE__); \
  } while (0)
