// The EGL path of the desktop layer: Mesa's surfaceless display, its
// contexts, and handing each frame to the rasteriser.
#include "gles/gles.h"
#include "surface/EAGLView_desktop.h"

namespace eagl {
namespace {

void* EglLoader(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

}  // namespace

// One surfaceless EGL display serves every headless view for the life of the
// process. It is never terminated: that would unload the driver, and
// initialising it again for the next view costs more than keeping it.
EGLDisplay AcquireEglDisplay() {
  static EGLDisplay display = EGL_NO_DISPLAY;
  if (display != EGL_NO_DISPLAY) return display;
  auto getPlatformDisplay = (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
  if (!getPlatformDisplay) return EGL_NO_DISPLAY;
  EGLDisplay dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (dpy == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
  EGLint major = 0, minor = 0;
  if (!eglInitialize(dpy, &major, &minor)) return EGL_NO_DISPLAY;
  display = dpy;
  return display;
}

void* EglMakeContext(EAGLView::Layer& L, GlesKind gl) {
  const int major = gl == kGlesES2 ? 2 : 1;
  void* context = nullptr;
  const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, major == 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  // Surfaceless needs no drawable config; fall back to none when Mesa
  // offers no matching config on this platform.
  if (!eglChooseConfig(L.display, configAttribs, &config, 1, &count) || count < 1) config = EGL_NO_CONFIG_KHR;
  const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, major, EGL_NONE};
  context = eglCreateContext(L.display, config, EGL_NO_CONTEXT, contextAttribs);
  if (context != EGL_NO_CONTEXT &&
      eglMakeCurrent(L.display, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(context)))
    L.gles = GlesCreateContext(gl, EglLoader, nullptr);
  return context;
}

void EglDropContext(EAGLView::Layer& L, void* context) {
  if (L.inFlight != EGL_NO_SYNC_KHR) L.destroySync(L.display, L.inFlight);
  L.inFlight = EGL_NO_SYNC_KHR;
  if (context && eglGetCurrentContext() == context)
    eglMakeCurrent(L.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (context) eglDestroyContext(L.display, static_cast<EGLContext>(context));
}

bool EglMakeCurrent(EGLDisplay display, void* ctx) {
  if (!ctx) {
    EGLDisplay dpy = eglGetCurrentDisplay();
    return dpy == EGL_NO_DISPLAY || eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
  }
  return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(ctx)) == EGL_TRUE;
}

void EglPresent(EAGLView::Layer& L) {
  // The rasteriser's threads draw a frame while the next is being made,
  // but no further behind: presenting waits for the frame before this
  // one. (Only flushing let frames pile up in its queue without bound.)
  if (!L.syncLooked) {
    L.syncLooked = true;
    L.createSync = (PFNEGLCREATESYNCKHRPROC)eglGetProcAddress("eglCreateSyncKHR");
    L.waitSync = (PFNEGLCLIENTWAITSYNCKHRPROC)eglGetProcAddress("eglClientWaitSyncKHR");
    L.destroySync = (PFNEGLDESTROYSYNCKHRPROC)eglGetProcAddress("eglDestroySyncKHR");
  }
  EGLSyncKHR frame = L.createSync && L.waitSync && L.destroySync ? L.createSync(L.display, EGL_SYNC_FENCE_KHR, nullptr)
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
}

}  // namespace eagl
