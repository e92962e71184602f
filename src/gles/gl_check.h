// The GL error check that every unit calling GL shares (mesh drawing,
// materials, the environment light, the shadow, the frame update).
//
// GL_CHECK() fetches one error and, when there is one, prints
// "gl error NAME at FILE : LINE" on standard output; the caller carries on.
// Further queued errors are left for later checks.
//
// In a browser page GL_CHECK() does nothing: WebGL's getError waits for the
// browser's GPU process to finish everything queued before it, and a dozen
// of them a frame cost the page nine tenths of its time. The page checks
// once after each tick instead (web/web_main.cpp).
#pragma once

#include "gles/gles.h"

void GLprintError(unsigned int error, const char* file, int line);

#ifdef __EMSCRIPTEN__
#define GL_CHECK() \
  do {             \
  } while (0)
#else
#define GL_CHECK()                                                               \
  do {                                                                           \
    const GLenum gl_check_error_ = glGetError();                                 \
    if (gl_check_error_ != 0) GLprintError(gl_check_error_, __FILE__, __LINE__); \
  } while (0)
#endif
