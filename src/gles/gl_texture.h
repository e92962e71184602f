// Making a texture and showing one over the viewport: what the GL surface
// (surface/EAGLView.h), the scene layer (redraw/redraw.h), the interface's
// fonts and artwork (app/ui_*.cpp) and the texture loader (texture/gamelib.h)
// share, so that each is written once.
#pragma once

#include "gles/gles.h"

// How a texture is sampled, and whether GL makes the mipmap chain from
// every upload (GL_GENERATE_MIPMAP). GL's own defaults but for the
// minifying filter.
struct GlTextureLook {
  GLint min_filter = GL_LINEAR;
  GLint mag_filter = GL_LINEAR;
  GLint wrap = GL_REPEAT;  // both directions
  bool mipmaps = false;
};

// A new width x height texture of `format` (GL_RGBA or GL_ALPHA, one byte a
// channel, rows without padding) holding `pixels` (null: undefined until
// drawn into or filled), sampled as `look` says. It is left bound; the
// unpack alignment is left as found. Errors stay queued for the caller.
GLuint GlMakeTexture(GLenum format, int width, int height, const void* pixels, const GlTextureLook& look);

// A width x height RGBA texture to draw into and show again pixel for pixel
// (nearest sampling at the same size, clamped); the binding as found. 0 on
// a GL error. The surface's colour buffer and the scene layer.
GLuint GlMakeExactTexture(int width, int height);

// Draws `texture` over the whole viewport, each texel as it is (GL_REPLACE)
// under identity matrices, as a textured quad. The matrices, the binding,
// the texture environment and the colour and normal arrays are left as
// found; the vertex and texture-coordinate arrays are left disabled. What
// is enabled (texturing on, depth test, blending and lighting off ...) and
// the viewport and scissor box are the caller's.
void GlDrawTextureOverViewport(GLuint texture);
