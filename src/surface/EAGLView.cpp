#include "surface/EAGLView.h"

#include "math/Letterbox.h"
#include "picture/picture_file.h"

#ifndef __EMSCRIPTEN__
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL2/SDL.h>
#endif  // !__EMSCRIPTEN__

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gles/gl_texture.h"
#include "gles/gles.h"

// ---------------------------------------------------------------------------
// The windowing layer. GL entry points, the framebuffer-object ones
// included (the GLES library does not export those), come through the
// layer's own loader. A browser page has a layer of its own
// (EAGLView_web.cpp): everything between the #ifndef __EMSCRIPTEN__ lines.

namespace {
#ifndef __EMSCRIPTEN__

void* EglLoader(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }
void* SdlLoader(const char* name) { return SDL_GL_GetProcAddress(name); }

// One surfaceless EGL display serves every headless view for the life of the
// process. It is never terminated: that would unload the driver, and
// initialising it again for the next view costs more than keeping it.
EGLDisplay AcquireEglDisplay() {
  static EGLDisplay display = EGL_NO_DISPLAY;
  if (display != EGL_NO_DISPLAY) return display;
  auto getPlatformDisplay =
      (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
  if (!getPlatformDisplay) return EGL_NO_DISPLAY;
  EGLDisplay dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (dpy == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
  EGLint major = 0, minor = 0;
  if (!eglInitialize(dpy, &major, &minor)) return EGL_NO_DISPLAY;
  display = dpy;
  return display;
}

int g_sdlUsers = 0;
EAGLPresent g_present = kEAGLPresentAuto;

bool AcquireSdlVideo() {
  if (g_sdlUsers == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  ++g_sdlUsers;
  return true;
}

void ReleaseSdlVideo() {
  if (g_sdlUsers <= 0) return;
  if (--g_sdlUsers == 0) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// A real display, not one of SDL's stand-ins that would hide the frames.
bool DisplayReachable() {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
  if (!AcquireSdlVideo()) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool real = driver && std::strcmp(driver, "offscreen") != 0 &&
                    std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "evdev") != 0;
  ReleaseSdlVideo();
  return real;
}

// The current context's driver draws on the CPU (Mesa's rasterisers).
bool SoftwareRasteriser() {
  const char* r = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return r && (std::strstr(r, "llvmpipe") || std::strstr(r, "softpipe") || std::strstr(r, "swrast"));
}

#endif  // !__EMSCRIPTEN__

int RoundDimension(float v) {
  if (!(v >= 0.0f) || v > 1.0e6f) return -1;  // also NaN
  return static_cast<int>(std::lround(v));
}

// The width x height pixels at (x, y) of the bound framebuffer, RGBA, as GL
// reads them (bottom row first); false on a GL error.
bool ReadBottomUp(int x, int y, int width, int height, std::vector<uint8_t>& raw) {
  raw.resize(static_cast<size_t>(width) * 4 * static_cast<size_t>(height));
  GLint oldAlign = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &oldAlign);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  while (glGetError() != GL_NO_ERROR) {
  }
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
  const bool ok = glGetError() == GL_NO_ERROR;
  glPixelStorei(GL_PACK_ALIGNMENT, oldAlign);
  return ok;
}

}  // namespace

#ifndef __EMSCRIPTEN__
struct EAGLView::Layer {
  // headless
  EGLDisplay display = EGL_NO_DISPLAY;
  // The frame the rasteriser may still be working on (see swapBuffers).
  EGLSyncKHR inFlight = EGL_NO_SYNC_KHR;
  PFNEGLCREATESYNCKHRPROC createSync = nullptr;
  PFNEGLCLIENTWAITSYNCKHRPROC waitSync = nullptr;
  PFNEGLDESTROYSYNCKHRPROC destroySync = nullptr;
  bool syncLooked = false;  // the fence entry points looked up (once; a driver may have none)
  // window shown by copy: the drawing context is a surfaceless one as for
  // headless, and each frame is read back into the window's own pixels
  bool copy = false;
  std::vector<uint8_t> frame;
  // The window pixels the last present filled, and their size.
  SDL_Surface* shownSurface = nullptr;
  int shownW = 0, shownH = 0;
  // window shown by GL: `present` shows the colour texture from its own state
  SDL_GLContext present = nullptr;
  // The ES 1.1 halves of the drawing and the presenting context.
  GlesContext* gles = nullptr;
  GlesContext* presentGles = nullptr;
};
#endif  // !__EMSCRIPTEN__

// ---------------------------------------------------------------------------
// Creation

EAGLView* EAGLView::initWithFrame(EAGLRect frame, GLenum format, GLenum depthFormat,
                                  bool /*preserve*/, bool multisample, EAGLSurfaceKind kind,
                                  float contentScale, GlesKind gl) {
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

EAGLView* EAGLView::initWithFrame(EAGLRect frame, GLenum format, GLenum depthFormat,
                                  bool preserve, EAGLSurfaceKind kind) {
  return initWithFrame(frame, format, depthFormat, preserve, false, kind);
}

EAGLView* EAGLView::initWithCoder(EAGLRect frame, EAGLSurfaceKind kind, float contentScale, GlesKind gl) {
  return initWithFrame(frame, GL_RGB565_OES, GL_DEPTH_COMPONENT16_OES, true, true, kind, contentScale, gl);
}

EAGLView* EAGLView::CreateHeadless(int width, int height, GlesKind gl) {
  EAGLRect frame = {0, 0, static_cast<float>(width), static_cast<float>(height)};
  return initWithFrame(frame, GL_RGBA8_OES, GL_DEPTH_COMPONENT16_OES, true, false,
                       kEAGLSurfaceHeadless, 1.0f, gl);
}

#ifndef __EMSCRIPTEN__
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

// The window at the view's size in pixels: one that GL of kind `gl` draws
// into, or with kGlesAuto one shown by copy.
bool EAGLView::OpenWindow(GlesKind kind) {
  Layer& L = *_layer;
  const bool gl = kind != kGlesAuto;
  L.copy = !gl;
  const int w = RoundDimension(_bounds.width * _contentScale);
  const int h = RoundDimension(_bounds.height * _contentScale);
  if (w <= 0 || h <= 0) return false;
  if (gl) {
    L.display = EGL_NO_DISPLAY;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, kind == kGlesES2 ? 2 : 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kind == kGlesES2 ? 0 : 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  }
  // The window's own pixels, not a texture of one of SDL's GL renderers
  // (which would take a GL context to the window behind our back).
  if (!gl) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  _window = SDL_CreateWindow("Ovanta", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                             (gl ? SDL_WINDOW_OPENGL : 0) | SDL_WINDOW_SHOWN);
  // A video driver without window pixels of its own (one that would need a
  // renderer for them) cannot be shown by copy.
  return _window != nullptr && (gl || SDL_GetWindowSurface(_window) != nullptr);
}

void EAGLView::CloseWindow() {
  DropContexts();
  if (_window) SDL_DestroyWindow(_window);
  _window = nullptr;
  _layer->copy = false;
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
  const int major = gl == kGlesES2 ? 2 : 1;
  if (!_window || L.copy) {
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, major == 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    // Surfaceless needs no drawable config; fall back to none when Mesa
    // offers no matching config on this platform.
    if (!eglChooseConfig(L.display, configAttribs, &config, 1, &count) || count < 1)
      config = EGL_NO_CONFIG_KHR;
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, major, EGL_NONE};
    _context = eglCreateContext(L.display, config, EGL_NO_CONTEXT, contextAttribs);
    if (_context != EGL_NO_CONTEXT &&
        eglMakeCurrent(L.display, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(_context)))
      L.gles = GlesCreateContext(gl, EglLoader, nullptr);
  } else {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, major == 1 ? 1 : 0);
    L.present = SDL_GL_CreateContext(_window);
    if (L.present) L.presentGles = GlesCreateContext(gl, SdlLoader, nullptr);
    if (L.presentGles) {
      SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
      _context = SDL_GL_CreateContext(_window);
      SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
      if (_context) L.gles = GlesCreateContext(gl, SdlLoader, L.presentGles);
    }
  }
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
  if (_window && !L.copy) {
    SDL_GL_MakeCurrent(_window, nullptr);
    if (_context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(_context));
    if (L.present) SDL_GL_DeleteContext(L.present);
  } else if (L.display != EGL_NO_DISPLAY) {
    if (L.inFlight != EGL_NO_SYNC_KHR) L.destroySync(L.display, L.inFlight);
    L.inFlight = EGL_NO_SYNC_KHR;
    if (_context && eglGetCurrentContext() == _context)
      eglMakeCurrent(L.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (_context) eglDestroyContext(L.display, static_cast<EGLContext>(_context));
  }
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
  bool ok = false;
  if (_window && !_layer->copy) {
    ok = SDL_GL_MakeCurrent(_window, static_cast<SDL_GLContext>(ctx)) == 0;
  } else if (!ctx) {
    EGLDisplay dpy = eglGetCurrentDisplay();
    ok = dpy == EGL_NO_DISPLAY || eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
  } else {
    ok = eglMakeCurrent(_layer->display, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(ctx)) == EGL_TRUE;
  }
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

// The frame read back (which waits for it) and copied into the window's
// pixels, turned upright, in the letterbox; the bars black. When the app
// said only part changed and the window still holds the last frame at its
// own size, only that part is read and handed to the X server.
bool EAGLView::PresentCopy() {
  SDL_Surface* shown = SDL_GetWindowSurface(_window);
  const bool part = _presentPart && !_presentWhole;
  _presentPart = false;
  _presentWhole = true;
  if (!shown) return false;
  const int w = static_cast<int>(_size.width), h = static_cast<int>(_size.height);
  const LetterboxRect box = Letterbox(shown->w, shown->h, _bounds.height > 0 ? _bounds.width / _bounds.height : 1.0f);
  const SDL_Rect dst = {static_cast<int>(box.x), static_cast<int>(box.y), static_cast<int>(box.width),
                        static_cast<int>(box.height)};
  const SDL_PixelFormat* f = shown->format;
  const bool direct = dst.w == w && dst.h == h && f->BytesPerPixel == 4;
  // What to read: the changed part, or all of it.
  int x0 = 0, y0 = 0, x1 = w, y1 = h;
  const bool same_window = shown == _layer->shownSurface && shown->w == _layer->shownW && shown->h == _layer->shownH;
  if (part && direct && same_window) {
    x0 = std::max(_part[0], 0), y0 = std::max(_part[1], 0);
    x1 = std::min(_part[2], w), y1 = std::min(_part[3], h);
    if (x1 <= x0 || y1 <= y0) {
      _presentWhole = false;
      return true;  // nothing changed
    }
  }
  const int rw = x1 - x0, rh = y1 - y0;
  const size_t row = static_cast<size_t>(rw) * 4;
  std::vector<uint8_t>& frame = _layer->frame;
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
  if (static_cast<GLuint>(bound) != _framebuffer) glBindFramebufferOES(GL_FRAMEBUFFER_OES, _framebuffer);
  bool ok = ReadBottomUp(x0, y0, rw, rh, frame);
  if (static_cast<GLuint>(bound) != _framebuffer) glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
  if (!ok) return false;

  const bool whole = rw == w && rh == h;
  if (whole) {
    const Uint32 black = SDL_MapRGB(shown->format, 0, 0, 0);
    const SDL_Rect bars[4] = {{0, 0, shown->w, dst.y},
                              {0, dst.y + dst.h, shown->w, shown->h - dst.y - dst.h},
                              {0, dst.y, dst.x, dst.h},
                              {dst.x + dst.w, dst.y, shown->w - dst.x - dst.w, dst.h}};
    for (const SDL_Rect& bar : bars)
      if (bar.w > 0 && bar.h > 0) SDL_FillRect(shown, &bar, black);
  }
  if (direct) {
    // The usual case, the frame at its own size in a 32-bit window: one pass
    // that turns it upright and moves each channel to its place.
    if (SDL_MUSTLOCK(shown) && SDL_LockSurface(shown) != 0) return false;
    const Uint32 rs = f->Rshift, gs = f->Gshift, bs = f->Bshift, opaque = f->Amask;
    for (int y = 0; y < rh; ++y) {
      const uint8_t* in = &frame[static_cast<size_t>(rh - 1 - y) * row];
      Uint32* out = reinterpret_cast<Uint32*>(static_cast<uint8_t*>(shown->pixels) +
                                              static_cast<size_t>(dst.y + h - y1 + y) * shown->pitch) + dst.x + x0;
      if (rs == 16 && gs == 8 && bs == 0) {  // X11's usual: constant shifts, which vectorise
        for (int x = 0; x < rw; ++x, in += 4)
          out[x] = (Uint32{in[0]} << 16) | (Uint32{in[1]} << 8) | Uint32{in[2]} | opaque;
      } else {
        for (int x = 0; x < rw; ++x, in += 4)
          out[x] = (Uint32{in[0]} << rs) | (Uint32{in[1]} << gs) | (Uint32{in[2]} << bs) | opaque;
      }
    }
    if (SDL_MUSTLOCK(shown)) SDL_UnlockSurface(shown);
  } else {
    // Any other size or depth: SDL scales and converts the upright frame.
    for (int y = 0; y < h / 2; ++y)
      std::swap_ranges(frame.begin() + static_cast<long>(y * row), frame.begin() + static_cast<long>((y + 1) * row),
                       frame.begin() + static_cast<long>((h - 1 - y) * row));
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(frame.data(), w, h, 32, static_cast<int>(row),
                                                          SDL_PIXELFORMAT_RGBA32);
    SDL_Rect to = dst;
    ok = src && SDL_BlitScaled(src, nullptr, shown, &to) == 0;
    SDL_FreeSurface(src);
    if (!ok) return false;
  }
  if (whole) {
    ok = SDL_UpdateWindowSurface(_window) == 0;
  } else {
    const SDL_Rect changed = {dst.x + x0, dst.y + h - y1, rw, rh};
    ok = SDL_UpdateWindowSurfaceRects(_window, &changed, 1) == 0;
  }
  // SDL may hand out a new surface after this (a resize); only the same one
  // at the same size still holds this frame.
  _layer->shownSurface = SDL_GetWindowSurface(_window);
  _layer->shownW = _layer->shownSurface ? _layer->shownSurface->w : 0;
  _layer->shownH = _layer->shownSurface ? _layer->shownSurface->h : 0;
  _presentWhole = !ok;
  return ok;
}

void EAGLViewSetWindowPresent(EAGLPresent present) { g_present = present; }

bool EAGLView::presentsByCopy() const { return _layer && _layer->copy; }

#endif  // !__EMSCRIPTEN__
void EAGLView::setCurrentContext() {
  if (!MakeCurrent(_context))
    std::printf("Failed to set current context %p in %s\n", _context,
                "-[EAGLView setCurrentContext]");
}

bool EAGLView::isCurrentContext() const { return _context && CurrentContext() == _context; }

void EAGLView::clearCurrentContext() {
  if (!MakeCurrent(nullptr))
    std::printf("Failed to clear current context in %s\n", "-[EAGLView clearCurrentContext]");
}

// ---------------------------------------------------------------------------
// Surface

#ifndef __EMSCRIPTEN__
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
  glFramebufferTexture2DOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D,
                         _renderbuffer, 0);
  if (_depthFormat != 0) {
    glGenRenderbuffersOES(1, &_depthBuffer);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, _depthBuffer);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, _depthFormat, width, height);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                              _depthBuffer);
  }
  // An incomplete framebuffer would swallow every frame without a word.
  if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) != GL_FRAMEBUFFER_COMPLETE_OES ||
      glGetError() != GL_NO_ERROR) {
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

#endif  // !__EMSCRIPTEN__
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
// Presentation

#ifndef __EMSCRIPTEN__
void EAGLView::swapBuffers() {
  void* old = CurrentContext();
  GlesContext* oldGles = GlesCurrentContext();
  if (old != _context) MakeCurrent(_context);
  bool ok = _framebuffer != 0;
  if (ok && !_window) {
    // The rasteriser's threads draw a frame while the next is being made,
    // but no further behind: presenting waits for the frame before this
    // one. (Only flushing let frames pile up in its queue without bound.)
    Layer& L = *_layer;
    if (!L.syncLooked) {
      L.syncLooked = true;
      L.createSync = (PFNEGLCREATESYNCKHRPROC)eglGetProcAddress("eglCreateSyncKHR");
      L.waitSync = (PFNEGLCLIENTWAITSYNCKHRPROC)eglGetProcAddress("eglClientWaitSyncKHR");
      L.destroySync = (PFNEGLDESTROYSYNCKHRPROC)eglGetProcAddress("eglDestroySyncKHR");
    }
    EGLSyncKHR frame = L.createSync && L.waitSync && L.destroySync
                           ? L.createSync(L.display, EGL_SYNC_FENCE_KHR, nullptr)
                           : EGL_NO_SYNC_KHR;
    if (frame == EGL_NO_SYNC_KHR) {
      glFinish();  // no fences here: nothing left in flight at all
    } else {
      glFlush();
      if (L.inFlight != EGL_NO_SYNC_KHR) {
        L.waitSync(L.display, L.inFlight, 0, EGL_FOREVER_KHR);
        L.destroySync(L.display, L.inFlight);
      }
      L.inFlight = frame;
    }
  } else if (ok && _layer->copy) {
    ok = PresentCopy();
  } else if (ok) {
    // Finish here so the presenting context samples the complete frame.
    glFinish();
    ok = MakeCurrent(_layer->present);
    if (ok) {
      int dw = 0, dh = 0;
      SDL_GL_GetDrawableSize(_window, &dw, &dh);
      // The picture keeps its shape whatever the window's: black bars
      // beside or above and below it.
      const LetterboxRect box = Letterbox(dw, dh, _bounds.height > 0 ? _bounds.width / _bounds.height : 1.0f);
      glViewport(0, 0, dw, dh);
      glDisable(GL_SCISSOR_TEST);
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      glViewport(static_cast<GLint>(box.x), static_cast<GLint>(dh - box.y - box.height),
                 static_cast<GLsizei>(box.width), static_cast<GLsizei>(box.height));
      glDisable(GL_DEPTH_TEST);
      glDisable(GL_BLEND);
      glDisable(GL_LIGHTING);
      glEnable(GL_TEXTURE_2D);
      GlDrawTextureOverViewport(_renderbuffer);
      ok = glGetError() == GL_NO_ERROR;
      SDL_GL_SwapWindow(_window);
      glFinish();
    }
    // The drawing context is current again, as it was before the swap.
    MakeCurrent(_context);
  }
  if (!ok) std::printf("Failed to swap renderbuffer in %s\n", "-[EAGLView swapBuffers]");
  if (old != _context) {
    MakeCurrent(old);
    GlesMakeCurrent(oldGles);
  }
}

#endif  // !__EMSCRIPTEN__

// ---------------------------------------------------------------------------
// Coordinates

EAGLPoint EAGLView::convertPointFromViewToSurface(EAGLPoint p) const {
  return {(p.x - _bounds.x) / _bounds.width * _size.width,
          (p.y - _bounds.y) / _bounds.height * _size.height};
}

EAGLRect EAGLView::convertRectFromViewToSurface(EAGLRect r) const {
  const EAGLPoint o = convertPointFromViewToSurface({r.x, r.y});
  return {o.x, o.y, r.width / _bounds.width * _size.width,
          r.height / _bounds.height * _size.height};
}

// ---------------------------------------------------------------------------
// Screenshots

bool EAGLReadPixels(int width, int height, std::vector<uint8_t>& rgba) {
  if (width <= 0 || height <= 0) return false;
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> raw;
  if (!ReadBottomUp(0, 0, width, height, raw)) return false;
  rgba.resize(raw.size());
  for (int y = 0; y < height; ++y)
    std::memcpy(&rgba[static_cast<size_t>(y) * row],
                &raw[static_cast<size_t>(height - 1 - y) * row], row);
  return true;
}

bool EAGLViewReadPixels(const EAGLView* view, std::vector<uint8_t>& rgba) {
  if (!view || !view->isCurrentContext()) return false;
  const EAGLSize s = view->surfaceSize();
  return EAGLReadPixels(static_cast<int>(s.width), static_cast<int>(s.height), rgba);
}

bool EAGLWritePNG(const char* path, const uint8_t* rgba, int width, int height) {
  return WritePng(path ? path : "", width, height, rgba);
}
