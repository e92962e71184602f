// The desktop's windowing layer behind the GL surface (surface/EAGLView.h),
// in its files: EAGLView_desktop.cpp picks headless or window and hands each
// operation to the path in use, EAGLView_egl.cpp is the EGL path (headless,
// and the drawing context of a window shown by copy), EAGLView_sdl.cpp the
// SDL window and its GL contexts, EAGLView_copy.cpp the present by copy.
// GL entry points, the framebuffer-object ones included (the GLES library
// does not export those), come through the path's own loader. A browser
// page has a layer of its own (EAGLView_web.cpp). Not for any other caller.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL2/SDL.h>

#include <cstdint>
#include <vector>

#include "gles/gles_context.h"
#include "surface/EAGLView.h"

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

namespace eagl {

// EAGLView_egl.cpp. The one surfaceless EGL display of the process
// (EGL_NO_DISPLAY when there is none).
EGLDisplay AcquireEglDisplay();
// A context of the kind `gl` asks for on L.display, made current, and its
// ES 1.1 half in L.gles (left null on failure); returns the context.
void* EglMakeContext(EAGLView::Layer& L, GlesKind gl);
void EglDropContext(EAGLView::Layer& L, void* context);
// ctx null: no context current.
bool EglMakeCurrent(EGLDisplay display, void* ctx);
// Hands the frame to the rasteriser, no more than one frame behind.
void EglPresent(EAGLView::Layer& L);

// EAGLView_sdl.cpp. SDL's video subsystem, counted by its users.
bool AcquireSdlVideo();
void ReleaseSdlVideo();
// A real display, not one of SDL's stand-ins that would hide the frames.
bool DisplayReachable();
// The presenting context (L.present, L.presentGles) and a drawing context
// sharing its textures (L.gles, left null on failure) of the kind `gl`
// asks for on `window`; returns the drawing context.
void* SdlMakeContexts(EAGLView::Layer& L, SDL_Window* window, GlesKind gl);
void SdlDropContexts(EAGLView::Layer& L, SDL_Window* window, void* context);

}  // namespace eagl
