// The translation of GL ES 1.1 onto GL ES 2.0: its per-context state and
// its entry points, one for each line of gles_functions.inc.
//
// Only gles_context.cpp calls this: it creates an Es2Context per driver
// context and fills the dispatch table with the gles2:: functions, which
// work on the context made current by Es2MakeCurrent.
#pragma once

#include <GLES/gl.h>
#include <GLES/glext.h>

#include "gles/gles_context.h"

struct Es2Context;

Es2Context* Es2Create(GlesLoader load, Es2Context* share);
void Es2Destroy(Es2Context* ctx, bool current);
void Es2MakeCurrent(Es2Context* ctx);

namespace gles2 {
#define GLES_FUNCTION(result, name, params) result GL_APIENTRY name params;
#include "gles/gles_functions.inc"
#undef GLES_FUNCTION
}  // namespace gles2
