#include "app/app_loop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/RootViewController.h"
#include "app/app_input.h"
#include "app/help_overlay.h"
#include "app/mascot_app.h"
#include "app/mascot_menu.h"
#include "app/notice.h"
#include "app/ui_draw.h"
#include "app/ui_text.h"
#include "character/girl_frame.h"
#include "character/girl_sound.h"
#include "character/girl_touch.h"

namespace {
std::function<void()> g_timer;
OvantaAppDelegate* g_app = nullptr;
RootViewController* g_root = nullptr;
bool g_draws = true;  // whether the turn running now draws

// This tick's frame in the scene layer, and what of it changed.
struct SceneTick {
  bool layered = false;
  bool all = true;
  PixelRect changed;
} g_scene;

// A browser's GPU draws a frame for next to nothing: the page draws all of
// it straight onto the canvas.
bool LayerWanted(const EAGLView* view) {
#ifdef __EMSCRIPTEN__
  (void)view;
  return false;
#else
  const char* env = std::getenv("OVANTA_REDRAW");
  if (env && std::strcmp(env, "all") == 0) return false;
  return view->isHeadless() || view->presentsByCopy();
#endif
}

bool InterfaceReady() { return g_app && g_app->navigationController && UIKitReady(); }

// The window's refresh: the loading picture and the screens over the frame,
// and the help over everything while it is shown.
void Composite() {
  if (!InterfaceReady()) return;
  // On the desktop she stands alone: no screen is drawn, only her menu
  // when it is open.
  if (!girl_on_desktop) MascotMenuClose();
  UIKitSetDesktop(girl_on_desktop, MascotMenuShown());
  UIKitSetOverlay(HelpShown() && !girl_on_desktop ? &HelpContent() : nullptr);
  if (!g_scene.layered) {
    UIKitFrame(*g_app->navigationController, true);
    return;
  }
  g_scene.layered = false;
  EAGLView* view = g_app->window->eagl();
  const EAGLSize size = view->surfaceSize();
  PixelRect changed;
  if (!UIKitFrameOverScene(*g_app->navigationController, g_scene.all, g_scene.changed, static_cast<int>(size.width),
                           static_cast<int>(size.height), &changed))
    view->presentOnly(changed.x0, changed.y0, changed.x1, changed.y1);
}
}  // namespace

void OvantaSceneBegin() {
  g_scene = SceneTick();
  frame_pixels = kFramePixelsNone;
  if (!g_app || !LayerWanted(g_app->window->eagl())) return;
  EAGLView* view = g_app->window->eagl();
  const EAGLSize size = view->surfaceSize();
  bool fresh = false;
  if (!RedrawSceneBegin(static_cast<int>(size.width), static_cast<int>(size.height), view->depthbuffer(),
                        view->colorbuffer(), &fresh))
    return;
  frame_pixels = fresh ? kFramePixelsFresh : kFramePixelsKept;
  g_scene.layered = true;
}

void OvantaSceneEnd() {
  if (!g_scene.layered) return;
  glBindFramebufferOES(GL_FRAMEBUFFER_OES, g_app->window->eagl()->framebuffer());
  g_scene.all = frame_changed.all;
  g_scene.changed = frame_changed.rect;
  frame_pixels = kFramePixelsNone;
}

UIAccelerometer& UIAccelerometer::sharedAccelerometer() {
  static UIAccelerometer shared;
  return shared;
}

void ScheduleRepeatingTimer(double /*interval*/, std::function<void()> action) { g_timer = std::move(action); }
bool TimerScheduled() { return static_cast<bool>(g_timer); }

OvantaAppDelegate::~OvantaAppDelegate() {
  delete navigationController;
  navigationController = nullptr;
  delete window;
  window = nullptr;
}

void OvantaAppDelegate::applicationDidFinishLaunching() {
  // The navigation controller's view fills the window: the main screen loads
  // now (viewDidLoad starts the character logic and the timer).
  navigationController = new UINavigationController();
  g_root = new RootViewController(window);
  navigationController->setRoot(g_root);
  sound_login_timer = 5;
}

bool OvantaGlChoice(const char* flag, GlesKind* gl) {
  const char* env = std::getenv("OVANTA_GL");
  const char* value = flag ? flag : env && *env ? env : "auto";
  return GlesParseKind(value, gl);
}

bool OvantaAppStart(const OvantaAppOptions& options) {
  OvantaAppStop();
  EAGLView* view = EAGLView::initWithCoder({0, 0, 320, 480}, options.surface, options.scale, options.gl);
  if (!view) {
    std::fprintf(stderr, "ovanta: no OpenGL ES 1.1 surface could be made\n");
    return false;
  }
  if (!UIKitInit(320, 480, view->contentScaleFactor()))
    std::fprintf(stderr, "ovanta: the interface font could not be loaded\n");
  // Input starts afresh: no press in progress, no help, no quit asked for.
  AppInputState() = InputState();
  AppInputSink().quit_requested = false;
  HelpHide();
  NoticeClear();
  g_app = new OvantaAppDelegate();
  g_app->window = new myEAGLview(view);
  g_app->window->compositor = Composite;
  g_app->applicationDidFinishLaunching();
  return true;
}

void OvantaAppTick(const double accel[3], bool draw) {
  if (!g_app) return;
  g_draws = draw;
  UIAccelerometer& acc = UIAccelerometer::sharedAccelerometer();
  if (acc.delegate) acc.delegate(accel[0], accel[1], accel[2]);
  const int before = g_app->window->presents;
  // Her greeting waits until the help over her (the first start's) is gone.
  sound_greeting_held = HelpShown();
  girl_on_desktop = MascotAppActive();
  // On the desktop her silhouette and window are read from the frame kept
  // at each present (app/mascot_app.h).
  g_app->window->eagl()->keepFrame(girl_on_desktop);
  if (g_timer) g_timer();
  g_draws = true;
  if (!draw) {
    // Undrawn, the interface still takes the pointer and runs what was
    // clicked; the window keeps the last frame drawn.
    if (InterfaceReady()) {
      UIKitSetOverlay(HelpShown() && !girl_on_desktop ? &HelpContent() : nullptr);
      UIKitFrame(*g_app->navigationController, false);
    }
  } else if (g_app->window->presents == before) {
    // A paused tick presents nothing of the GL view; the window still shows
    // the loading picture and the screens over it.
    Composite();
    g_app->window->eagl()->swapBuffers();
  }
  MascotAppAfterTick();
}

bool OvantaTickDraws() { return g_draws; }
bool OvantaAppMustDraw() { return touch.request; }

void OvantaAppSetScale(float scale) {
  if (!g_app || !g_app->window) return;
  EAGLView* view = g_app->window->eagl();
  if (scale == view->contentScaleFactor()) return;
  view->setContentScaleFactor(scale);
  view->setAutoresizesEAGLSurface(true);
  UIKitSetScale(view->contentScaleFactor());
}

void OvantaAppStop() {
  if (!g_app) return;
  UIAccelerometer::sharedAccelerometer().delegate = nullptr;
  g_timer = nullptr;
  // The controllers go first (the main screen's dealloc quits the character
  // logic with the GL context still current), then the kit and the scene
  // layer, then the surface.
  delete g_app->navigationController;
  g_app->navigationController = nullptr;
  g_root = nullptr;
  UIKitShutdown();
  RedrawRelease();
  g_scene = SceneTick();
  delete g_app;
  g_app = nullptr;
}

FrameWrite OvantaWriteFrame(const std::string& path) {
  std::vector<uint8_t> rgba;
  if (!g_app || !EAGLViewReadPixels(g_app->window->eagl(), rgba)) return kFrameNotRead;
  // The view is opaque: what the blends left in the alpha channel is never
  // shown. On the desktop the alpha is what the desktop shows through.
  if (!girl_on_desktop)
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  const EAGLSize s = g_app->window->eagl()->surfaceSize();
  // The writer says why it could not, in one line.
  return EAGLWritePNG(path.c_str(), rgba.data(), static_cast<int>(s.width), static_cast<int>(s.height))
             ? kFrameWritten
             : kFrameNotWritten;
}

bool OvantaScreenshot(const std::string& path) {
  const FrameWrite wrote = OvantaWriteFrame(path);
  const std::string file = path.substr(path.rfind('/') + 1);
  if (wrote == kFrameWritten) {
    std::printf("ovanta: frame written to %s\n", path.c_str());
    NoticeShow(UiTextWith("Saved %s", file));
    return true;
  }
  if (wrote == kFrameNotRead) std::fprintf(stderr, "ovanta: no frame to write to %s\n", path.c_str());
  NoticeShow(UiTextWith("Could not save %s", file));
  return false;
}

OvantaAppDelegate* OvantaApp() { return g_app; }
RootViewController* OvantaRoot() { return g_root; }
UIViewController* OvantaTopScreen() {
  return g_app && g_app->navigationController ? g_app->navigationController->topViewController() : nullptr;
}
myEAGLview* OvantaView() { return g_app ? g_app->window : nullptr; }
