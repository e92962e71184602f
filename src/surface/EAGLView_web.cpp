// The GL surface's windowing layer in a browser page (the web build only;
// EAGLView.cpp holds what both layers share).
//
// The page's canvas (#canvas) gets one WebGL 1 context and our GL ES 1.1
// layer over it (es2: WebGL has no ES 1.1). The view draws straight into the
// canvas's own framebuffer (framebuffer 0): WebGL cannot share a texture with
// a second context to present from, and the page shows the canvas as the
// browser composites it, so no copy is needed. The context keeps its
// drawing buffer between frames (preserveDrawingBuffer), which gives what
// the desktop's framebuffer object gives: the tap pick and screenshots read
// what was drawn, and a tick that draws nothing leaves the last frame up.
// No alpha channel: the frame is opaque, as the desktop window shows it.
// page.js makes the context with these attributes first (to find out
// whether the browser has WebGL before loading anything); this file then
// gets that context from the canvas.
//
// The surface is the canvas's drawing buffer, sized bounds x contentScale;
// where it sits on the page and how large it looks is the page's business
// (web/web_main.cpp).
#include <emscripten/html5.h>
#include <emscripten/html5_webgl.h>

#include <cmath>
#include <cstdio>

#include "gles/gles.h"
#include "surface/EAGLView.h"

namespace {
const char* const kCanvas = "#canvas";

void* WebGLLoader(const char* name) { return emscripten_webgl_get_proc_address(name); }

int Pixels(float v) {
  if (!(v >= 0.0f) || v > 16384.0f) return -1;  // also NaN
  return static_cast<int>(std::lround(v));
}
}  // namespace

struct EAGLView::Layer {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE webgl = 0;
  GlesContext* gles = nullptr;
};

EAGLView* EAGLView::Finish(EAGLView* view, EAGLSurfaceKind /*kind*/, GlesKind gl) {
  view->_layer = new Layer();
  bool ok = gl != kGlesES1;
  if (!ok) std::fprintf(stderr, "ovanta: a browser offers no OpenGL ES 1.1; the page draws with es2\n");
  ok = ok && view->MakeContexts(kGlesES2) && view->_createSurface();
  if (!ok) {
    delete view;
    return nullptr;
  }
  return view;
}

bool EAGLView::MakeContexts(GlesKind gl) {
  Layer& L = *_layer;
  EmscriptenWebGLContextAttributes attrs;
  emscripten_webgl_init_context_attributes(&attrs);
  attrs.alpha = EM_FALSE;
  attrs.depth = _depthFormat != 0;
  attrs.stencil = EM_FALSE;
  attrs.antialias = EM_FALSE;
  attrs.preserveDrawingBuffer = EM_TRUE;
  attrs.majorVersion = 1;
  attrs.minorVersion = 0;
  // Our layer draws with WebGL 1 as it is: no extension is needed, and
  // turning on every one the browser offers (emscripten's default) asks the
  // browser about each of them while the page starts.
  attrs.enableExtensionsByDefault = EM_FALSE;
  L.webgl = emscripten_webgl_create_context(kCanvas, &attrs);
  if (L.webgl <= 0 || emscripten_webgl_make_context_current(L.webgl) != EMSCRIPTEN_RESULT_SUCCESS) {
    std::fprintf(stderr, "ovanta: the page could not get a WebGL context\n");
    DropContexts();
    return false;
  }
  _context = reinterpret_cast<void*>(static_cast<intptr_t>(L.webgl));
  L.gles = GlesCreateContext(gl, WebGLLoader, nullptr);
  if (!L.gles) {
    DropContexts();
    return false;
  }
  _gl = gl;
  GlesMakeCurrent(L.gles);
  return true;
}

void EAGLView::DropContexts() {
  Layer& L = *_layer;
  GlesDestroyContext(L.gles);
  L.gles = nullptr;
  if (L.webgl > 0) {
    if (emscripten_webgl_get_current_context() == L.webgl) emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(L.webgl);
  }
  L.webgl = 0;
  _context = nullptr;
}

EAGLView::~EAGLView() {
  if (_layer) {
    DropContexts();
    delete _layer;
  }
}

bool EAGLView::MakeCurrent(void* ctx) {
  const auto handle = static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(reinterpret_cast<intptr_t>(ctx));
  const bool ok = emscripten_webgl_make_context_current(handle) == EMSCRIPTEN_RESULT_SUCCESS;
  if (ok) GlesMakeCurrent(ctx && ctx == _context ? _layer->gles : nullptr);
  return ok;
}

void* EAGLView::CurrentContext() const {
  return reinterpret_cast<void*>(static_cast<intptr_t>(emscripten_webgl_get_current_context()));
}

// The canvas's drawing buffer at the surface's size; framebuffer 0 is the
// canvas's own, with the depth buffer the context was made with.
bool EAGLView::_createSurface() {
  if (!MakeCurrent(_context)) return false;
  const int width = Pixels(_bounds.width * _contentScale);
  const int height = Pixels(_bounds.height * _contentScale);
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_OES, &maxSize);
  if (width <= 0 || height <= 0 || width > maxSize || height > maxSize) return false;
  if (emscripten_set_canvas_element_size(kCanvas, width, height) != EMSCRIPTEN_RESULT_SUCCESS) return false;
  _framebuffer = _renderbuffer = _depthBuffer = 0;
  _size = {static_cast<float>(width), static_cast<float>(height)};
  glViewport(0, 0, width, height);
  glScissor(0, 0, width, height);
  _hasBeenCurrent = true;
  if (_delegate) _delegate->didResizeEAGLSurfaceForView(this);
  return true;
}

// The canvas's buffer is the browser's; it goes with the context.
void EAGLView::_destroySurface() {}

// The browser shows the canvas when the page's frame callback returns.
void EAGLView::swapBuffers() {
  void* old = CurrentContext();
  GlesContext* oldGles = GlesCurrentContext();
  if (old != _context) MakeCurrent(_context);
  glFlush();
  if (old != _context) {
    MakeCurrent(old);
    GlesMakeCurrent(oldGles);
  }
}
