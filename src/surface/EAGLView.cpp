#include "surface/EAGLView.h"

#include <cmath>
#include <cstdio>

#include "gles/gles.h"
#include "surface/EAGLView_internal.h"

// What both windowing layers share: the initialisers, making the context
// current, the surface's layout and the coordinates. The layer itself is
// EAGLView_desktop.cpp (with the EGL and SDL paths) or, in a browser page,
// EAGLView_web.cpp; the pixels read back, EAGLView_pixels.cpp.

namespace eagl {

int RoundDimension(float v) {
  if (!(v >= 0.0f) || v > 1.0e6f) return -1;  // also NaN
  return static_cast<int>(std::lround(v));
}

}  // namespace eagl

using eagl::RoundDimension;

// ---------------------------------------------------------------------------
// Creation

EAGLView* EAGLView::initWithFrame(EAGLRect frame, GLenum format, GLenum depthFormat, bool /*preserve*/,
                                  bool multisample, EAGLSurfaceKind kind, float contentScale, GlesKind gl) {
  EAGLView* view = new EAGLView();
  view->_bounds = frame;
  // Pixels a point: a sensible factor, else one.
  view->_contentScale = contentScale >= 0.25f && contentScale <= 4.0f ? contentScale : 1.0f;
  view->_format = format;
  view->_depthFormat = depthFormat;
  view->_multisample = multisample;
  return Finish(view, kind, gl);
}

EAGLView* EAGLView::initWithFrame(EAGLRect frame, EAGLSurfaceKind kind) {
  return initWithFrame(frame, GL_RGB565_OES, 0, false, false, kind);
}

EAGLView* EAGLView::initWithFrame(EAGLRect frame, GLenum format, EAGLSurfaceKind kind) {
  return initWithFrame(frame, format, 0, false, false, kind);
}

EAGLView* EAGLView::initWithFrame(EAGLRect frame, GLenum format, GLenum depthFormat, bool preserve,
                                  EAGLSurfaceKind kind) {
  return initWithFrame(frame, format, depthFormat, preserve, false, kind);
}

EAGLView* EAGLView::initWithCoder(EAGLRect frame, EAGLSurfaceKind kind, float contentScale, GlesKind gl) {
  return initWithFrame(frame, GL_RGB565_OES, GL_DEPTH_COMPONENT16_OES, true, true, kind, contentScale, gl);
}

EAGLView* EAGLView::CreateHeadless(int width, int height, GlesKind gl) {
  EAGLRect frame = {0, 0, static_cast<float>(width), static_cast<float>(height)};
  return initWithFrame(frame, GL_RGBA8_OES, GL_DEPTH_COMPONENT16_OES, true, false, kEAGLSurfaceHeadless, 1.0f, gl);
}

// ---------------------------------------------------------------------------
// Contexts

void EAGLView::setCurrentContext() {
  if (!MakeCurrent(_context))
    std::printf("Failed to set current context %p in %s\n", _context, "-[EAGLView setCurrentContext]");
}

bool EAGLView::isCurrentContext() const { return _context && CurrentContext() == _context; }

void EAGLView::clearCurrentContext() {
  if (!MakeCurrent(nullptr)) std::printf("Failed to clear current context in %s\n", "-[EAGLView clearCurrentContext]");
}

// ---------------------------------------------------------------------------
// Surface

void EAGLView::layoutSubviews() {
  if (!_autoresize) return;
  const int width = RoundDimension(_bounds.width * _contentScale);
  const int height = RoundDimension(_bounds.height * _contentScale);
  if (width == static_cast<int>(_size.width) && height == static_cast<int>(_size.height)) return;
  _destroySurface();
  _createSurface();
}

void EAGLView::setAutoresizesEAGLSurface(bool on) {
  _autoresize = on;
  if (on) layoutSubviews();
}

// ---------------------------------------------------------------------------
// Coordinates

EAGLPoint EAGLView::convertPointFromViewToSurface(EAGLPoint p) const {
  return {(p.x - _bounds.x) / _bounds.width * _size.width, (p.y - _bounds.y) / _bounds.height * _size.height};
}

EAGLRect EAGLView::convertRectFromViewToSurface(EAGLRect r) const {
  const EAGLPoint o = convertPointFromViewToSurface({r.x, r.y});
  return {o.x, o.y, r.width / _bounds.width * _size.width, r.height / _bounds.height * _size.height};
}
