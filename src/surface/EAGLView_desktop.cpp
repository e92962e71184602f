// The desktop's windowing layer: headless or a window, chosen when the view
// is made, and each operation handed to the path in use (EAGLView_desktop.h);
// the framebuffer object every frame is drawn into.
#include <cstdio>
#include <cstring>

#include "gles/gl_texture.h"
#include "gles/gles.h"
#include "surface/EAGLView.h"
#include "surface/EAGLView_desktop.h"
#include "surface/EAGLView_internal.h"

using namespace eagl;

namespace {

EAGLPresent g_present = kEAGLPresentAuto;

// The current context's driver draws on the CPU (Mesa's rasterisers).
bool SoftwareRasteriser() {
  const char* r = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return r && (std::strstr(r, "llvmpipe") || std::strstr(r, "softpipe") || std::strstr(r, "swrast"));
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

// The common tail of the initialisers: window or display, contexts, then
// surface; on any failure everything made so far goes and the caller gets
// null.
EAGLView* EAGLView::Finish(EAGLView* view, EAGLSurfaceKind kind, GlesKind gl) {
  if (kind == kEAGLSurfaceAuto) kind = DisplayReachable() ? kEAGLSurfaceWindow : kEAGLSurfaceHeadless;
  view->_layer = new Layer();
  Layer& L = *view->_layer;
  bool ok = false;
  if (kind == kEAGLSurfaceHeadless) {
    L.display = AcquireEglDisplay();
    ok = L.display != EGL_NO_DISPLAY && eglBindAPI(EGL_OPENGL_ES_API) && view->MakeAnyContexts(gl);
  } else if (AcquireSdlVideo()) {
    // Shown by copy where a software rasteriser draws without a window:
    // reading a frame back and copying it costs it a fraction of drawing it
    // again as a textured quad from a second context, and the X server takes
    // it through shared memory. A GPU presents for next to nothing, and
    // reading back would stall it: the window gets GL contexts of its own.
    if (g_present != kEAGLPresentGl) {
      L.display = AcquireEglDisplay();
      ok = L.display != EGL_NO_DISPLAY && eglBindAPI(EGL_OPENGL_ES_API) && view->OpenWindow(kGlesAuto) &&
           view->MakeAnyContexts(gl) && (g_present == kEAGLPresentCopy || SoftwareRasteriser());
      if (!ok) view->CloseWindow();
    }
    if (!ok && g_present != kEAGLPresentCopy)
      ok = view->OpenWindow(gl == kGlesES2 ? kGlesES2 : kGlesES1) && view->MakeAnyContexts(gl);
    if (!ok) view->CloseWindow();
    if (!view->_window) ReleaseSdlVideo();
  }
  if (ok) ok = view->_createSurface();
  if (!ok) {
    delete view;
    return nullptr;
  }
  return view;
}

// Contexts of the kind asked for; auto falls back to our layer over ES 2.0
// when the driver has no ES 1.1, and says so once.
bool EAGLView::MakeAnyContexts(GlesKind gl) {
  if (MakeContexts(gl == kGlesES2 ? kGlesES2 : kGlesES1)) return true;
  if (gl != kGlesAuto || !MakeContexts(kGlesES2)) return false;
  static bool told = false;
  if (!told)
    std::fprintf(stderr, "ovanta: the driver offers no OpenGL ES 1.1; drawing with OpenGL ES 2.0 (--gl es2)\n");
  told = true;
  return true;
}

// Driver contexts of the kind `gl` asks for and their ES 1.1 halves; the
// drawing context is current after. False, with nothing left, on failure.
bool EAGLView::MakeContexts(GlesKind gl) {
  Layer& L = *_layer;
  _context = !_window || L.copy ? EglMakeContext(L, gl) : SdlMakeContexts(L, _window, gl);
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
  GlesDestroyContext(L.presentGles);
  L.gles = L.presentGles = nullptr;
  if (_window && !L.copy)
    SdlDropContexts(L, _window, _context);
  else if (L.display != EGL_NO_DISPLAY)
    EglDropContext(L, _context);
  _context = nullptr;
  L.present = nullptr;
}

EAGLView::~EAGLView() {
  if (_layer) {
    if (_context) _destroySurface();
    DropContexts();
    if (_window) {
      SDL_DestroyWindow(_window);
      ReleaseSdlVideo();
    }
    delete _layer;
  }
}

// ---------------------------------------------------------------------------
// Contexts

bool EAGLView::MakeCurrent(void* ctx) {
  const bool ok = _window && !_layer->copy ? SDL_GL_MakeCurrent(_window, static_cast<SDL_GLContext>(ctx)) == 0
                                           : EglMakeCurrent(_layer->display, ctx);
  // Another view's context brings no half of ours: its caller restores it.
  if (ok) {
    GlesContext* half = nullptr;
    if (ctx && ctx == _context) half = _layer->gles;
    if (ctx && ctx == _layer->present) half = _layer->presentGles;
    GlesMakeCurrent(half);
  }
  return ok;
}

void* EAGLView::CurrentContext() const {
  if (_window && !_layer->copy) return SDL_GL_GetCurrentContext();
  return eglGetCurrentContext();
}

// ---------------------------------------------------------------------------
// Surface

bool EAGLView::_createSurface() {
  if (!MakeCurrent(_context)) return false;
  const int width = RoundDimension(_bounds.width * _contentScale);
  const int height = RoundDimension(_bounds.height * _contentScale);
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_OES, &maxSize);
  if (width <= 0 || height <= 0 || width > maxSize || height > maxSize) return false;

  GLint oldFramebuffer = 0, oldRenderbuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &oldFramebuffer);
  glGetIntegerv(GL_RENDERBUFFER_BINDING_OES, &oldRenderbuffer);

  // The colour buffer is a texture so that the window can show it.
  _renderbuffer = GlMakeExactTexture(width, height);
  if (!_renderbuffer) return false;

  glGenFramebuffersOES(1, &_framebuffer);
  glBindFramebufferOES(GL_FRAMEBUFFER_OES, _framebuffer);
  glFramebufferTexture2DOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D, _renderbuffer, 0);
  if (_depthFormat != 0) {
    glGenRenderbuffersOES(1, &_depthBuffer);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, _depthBuffer);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, _depthFormat, width, height);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES, _depthBuffer);
  }
  // An incomplete framebuffer would swallow every frame without a word.
  if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) != GL_FRAMEBUFFER_COMPLETE_OES || glGetError() != GL_NO_ERROR) {
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(oldFramebuffer));
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, static_cast<GLuint>(oldRenderbuffer));
    _destroySurface();
    return false;
  }

  _size = {static_cast<float>(width), static_cast<float>(height)};
  // A resize deletes the bound framebuffer, which leaves 0 bound: going back
  // to that would lose every later frame, so the new one stays bound then.
  if (!_hasBeenCurrent || oldFramebuffer == 0) {
    glViewport(0, 0, width, height);
    glScissor(0, 0, width, height);
    _hasBeenCurrent = true;
  } else {
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(oldFramebuffer));
  }
  glBindRenderbufferOES(GL_RENDERBUFFER_OES, static_cast<GLuint>(oldRenderbuffer));
  if (_delegate) _delegate->didResizeEAGLSurfaceForView(this);
  return true;
}

void EAGLView::_destroySurface() {
  void* old = CurrentContext();
  GlesContext* oldGles = GlesCurrentContext();
  if (old != _context) MakeCurrent(_context);
  if (_depthFormat != 0 && _depthBuffer) {
    glDeleteRenderbuffersOES(1, &_depthBuffer);
  }
  _depthBuffer = 0;
  if (_renderbuffer) glDeleteTextures(1, &_renderbuffer);
  _renderbuffer = 0;
  if (_framebuffer) glDeleteFramebuffersOES(1, &_framebuffer);
  _framebuffer = 0;
  if (old != _context) {
    MakeCurrent(old);
    GlesMakeCurrent(oldGles);
  }
}

// ---------------------------------------------------------------------------
// Presentation

void EAGLView::swapBuffers() {
  void* old = CurrentContext();
  GlesContext* oldGles = GlesCurrentContext();
  if (old != _context) MakeCurrent(_context);
  bool ok = _framebuffer != 0;
  // A frame that could not be kept is still shown (the desktop's present
  // shows nothing without it, and says so).
  if (ok && (_keep || _desktop)) KeepFrame();
  if (ok && !_window)
    EglPresent(*_layer);
  else if (ok && _desktop)
    ok = PresentDesktop();
  else if (ok && _layer->copy)
    ok = PresentCopy();
  else if (ok)
    ok = PresentGl();
  // What presentOnly said holds for this present only.
  _presentPart = false;
  if (!ok) std::printf("Failed to swap renderbuffer in %s\n", "-[EAGLView swapBuffers]");
  if (old != _context) {
    MakeCurrent(old);
    GlesMakeCurrent(oldGles);
  }
}

void EAGLViewSetWindowPresent(EAGLPresent present) { g_present = present; }

bool EAGLView::presentsByCopy() const { return _layer && _layer->copy; }
