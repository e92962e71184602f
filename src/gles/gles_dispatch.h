// The table behind the GL names of gles.h. Its implementations include this
// header, not gles.h, so that they can use the real names themselves.
#pragma once

#include <GLES/gl.h>

struct GlesDispatch {
#define GLES_FUNCTION(result, name, params) result(GL_APIENTRYP name) params;
#include "gles/gles_functions.inc"
#undef GLES_FUNCTION
};

// The implementation of the current context (no-op stubs without one).
extern GlesDispatch gles_dispatch;
