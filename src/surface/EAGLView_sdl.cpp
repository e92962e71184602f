// The SDL path of the desktop layer: the video subsystem, the window and,
// where the window is drawn with GL, its presenting and drawing contexts
// and the present that draws the frame into it.
#include <cstdlib>
#include <cstring>

#include "gles/gl_texture.h"
#include "gles/gles.h"
#include "math/Letterbox.h"
#include "surface/EAGLView_desktop.h"
#include "surface/EAGLView_internal.h"

namespace eagl {
namespace {

void* SdlLoader(const char* name) { return SDL_GL_GetProcAddress(name); }

int g_sdlUsers = 0;
bool g_hidden = false;  // windows start hidden

}  // namespace

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
  const bool real = driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0 &&
                    std::strcmp(driver, "evdev") != 0;
  ReleaseSdlVideo();
  return real;
}

void* SdlMakeContexts(EAGLView::Layer& L, SDL_Window* window, GlesKind gl) {
  const int major = gl == kGlesES2 ? 2 : 1;
  void* context = nullptr;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, major == 1 ? 1 : 0);
  L.present = SDL_GL_CreateContext(window);
  if (L.present) L.presentGles = GlesCreateContext(gl, SdlLoader, nullptr);
  if (L.presentGles) {
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    context = SDL_GL_CreateContext(window);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    if (context) L.gles = GlesCreateContext(gl, SdlLoader, L.presentGles);
  }
  return context;
}

void SdlDropContexts(EAGLView::Layer& L, SDL_Window* window, void* context) {
  SDL_GL_MakeCurrent(window, nullptr);
  if (context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
  if (L.present) SDL_GL_DeleteContext(L.present);
}

}  // namespace eagl

using namespace eagl;

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
                             (gl ? SDL_WINDOW_OPENGL : 0) | (g_hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN));
  // A video driver without window pixels of its own (one that would need a
  // renderer for them) cannot be shown by copy.
  return _window != nullptr && (gl || SDL_GetWindowSurface(_window) != nullptr);
}

void EAGLViewSetWindowHidden(bool hidden) { g_hidden = hidden; }

void EAGLView::CloseWindow() {
  DropContexts();
  if (_window) SDL_DestroyWindow(_window);
  _window = nullptr;
  _layer->copy = false;
}

// The colour texture drawn into the window from the presenting context, in
// the letterbox; the drawing context is current again after.
bool EAGLView::PresentGl() {
  // Finish here so the presenting context samples the complete frame.
  glFinish();
  bool ok = MakeCurrent(_layer->present);
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
    glViewport(static_cast<GLint>(box.x), static_cast<GLint>(dh - box.y - box.height), static_cast<GLsizei>(box.width),
               static_cast<GLsizei>(box.height));
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
  return ok;
}
