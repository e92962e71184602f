// The app in a browser page: the program behind index.html.
//
//   ovanta.js [--trace FILE]      (the page passes --trace for ?trace)
//
// The page has preloaded the bundle into the memory file system at
// /Resources (emscripten's file packager) before main runs. main sets up the
// settings store in local storage, sound through Web Audio (its device
// opened at the first tap: ovanta_sound_on), the device's motion, the input
// and the trace, and starts the app as the desktop window does
// (app/app_loop.h) on the canvas's WebGL context (the one page.js made);
// then it returns and the app lives on in the browser's animation frames,
// which run its 30 Hz tick: the motion reading, the app's tick (which draws
// her), sound, trace. The page hears when she starts and stops dancing
// (Module.ovantaDancing: it keeps the screen on).
// The frames come at the display's rate (usually 60 a second, fewer on slow
// machines); each runs the ticks due by the window's clock (pacing/pacing.h):
// only the last of them draws, since the page shows one picture a frame,
// and a hidden page draws none. A traced page draws every tick, as
// ovanta-headless does, so its frames and trace match tick for tick.
//
// Characters (app/app_character.h) live in the browser's IndexedDB: pre.js
// mounts it where the program keeps them and reads it in before main; each
// import or removal writes it back. The settings' Character list offers
// the page's file picker (Module.ovantaPickFile); a file picked there or
// dropped on the page comes in through ovanta_import.
//
// The page is the window: the canvas shows the 320 x 480 point view as large
// as the browser window allows, letterboxed in the same box the input
// handler maps through, at the device's pixels. Input takes the window's
// path (web_input.h); the emulated device of the desktop (arrow keys, S)
// stands in where no motion sensor reports.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_character.h"
#include "app/app_dance.h"
#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/app_trace.h"
#include "app/window_input.h"
#include "app/window_state.h"
#include "character/girl.h"
#include "character/girl_animation.h"
#include "devices/input_queue.h"
#include "face/face.h"
#include "files/bundle.h"
#include "gles/gl_check.h"
#include "pacing/pacing.h"
#include "sound/sound_service.h"
#include "web/web_input.h"
#include "web/web_motion.h"
#include "web/web_store.h"

namespace {
const char* const kStoreKey = "ovanta.settings";
const char* const kStoreFile = "/settings/defaults.json";

Pace g_pace;
InputQueue g_queue;
long g_tick = 0;
bool g_traced = false;
bool g_layout_due = false;
bool g_dancing = false;

// The browser window in CSS pixels and device pixels a CSS pixel.
void WindowMetrics(int* w, int* h, double* ratio) {
  *w = EM_ASM_INT({ return window.innerWidth | 0; });
  *h = EM_ASM_INT({ return window.innerHeight | 0; });
  *ratio = emscripten_get_device_pixel_ratio();
  if (!(*ratio > 0)) *ratio = 1;
}

// The view's pixel scale for the window: the letterboxed box's device pixels.
float ScaleFor(int w, int h, double ratio) {
  return WindowViewScale(static_cast<int>(std::lround(w * ratio)), static_cast<int>(std::lround(h * ratio)));
}

// The canvas where the input handler's box is, drawn at the device's pixels.
void Layout() {
  int w = 0, h = 0;
  double ratio = 1;
  WindowMetrics(&w, &h, &ratio);
  InputSetWindow(AppInputState(), w, h);
  const InputViewport& vp = AppInputState().viewport;
  EM_ASM(
      {
        var s = Module.canvas.style;
        s.left = $0 + 'px';
        s.top = $1 + 'px';
        s.width = $2 + 'px';
        s.height = $3 + 'px';
      },
      vp.x, vp.y, vp.width, vp.height);
  OvantaAppSetScale(ScaleFor(w, h, ratio));
}

EM_BOOL OnResize(int, const EmscriptenUiEvent*, void*) {
  g_layout_due = true;
  return EM_FALSE;
}

void Tick(double now_ms, bool seen) {
  if (g_layout_due) {
    g_layout_due = false;
    Layout();
  }
  AppInput& input = AppInputSink();
  for (const SDL_Event& e : g_queue.TakeFrame()) WindowInputTranslate(e, AppInputState(), input);
  double sample[3];
  WebMotionSample(now_ms, sample);
  const bool draw = PaceTick(&g_pace, now_ms / 1000, seen, g_traced || OvantaAppMustDraw());
  TraceBeforeTick();
  OvantaAppTick(sample, draw);
  WebKeyboardTick();
  const bool dancing = continue_dancing || (anim_girl.state >= ANIM_DANCE_IN && anim_girl.state <= ANIM_DANCE_OUT);
  if (dancing != g_dancing) {
    g_dancing = dancing;
    EM_ASM(
        {
          if (Module.ovantaDancing) Module.ovantaDancing($0);
        },
        dancing);
  }
  // GL errors are looked for once a second (GL_CHECK() is silent on the
  // web): each look waits until the browser has drawn everything queued.
  if (g_tick % 30 == 0) {
    const GLenum gl_error = glGetError();
    if (gl_error != GL_NO_ERROR) GLprintError(gl_error, __FILE__, __LINE__);
  }
  SoundServiceAdvanceTicks(1);  // the clock of plays until the audio device opens
  SoundServicePump();
  TraceAfterTick(++g_tick, draw);
}

EM_BOOL OnAnimationFrame(double now_ms, void*) {
  const bool seen = !EM_ASM_INT({ return document.hidden ? 1 : 0; });
  while (PaceWait(g_pace, now_ms / 1000, seen) <= 0) {
    Tick(now_ms, seen);
    if (g_tick == 1)
      EM_ASM({
        if (Module.ovantaFirstTick) Module.ovantaFirstTick();
      });
  }
  return EM_TRUE;
}

}  // namespace

// The page's first tap (or an earlier one, once the app is up): browsers
// let Web Audio play from a gesture on, so the audio device opens here.
extern "C" EMSCRIPTEN_KEEPALIVE void ovanta_sound_on() { SoundServiceOpenSDL(); }

// A file the user picked or dropped on the page: imported and shown, or
// refused with a notice and one line. 1 when it was taken.
extern "C" EMSCRIPTEN_KEEPALIVE int ovanta_import(const uint8_t* data, int size, const char* name) {
  if (!data || size < 0) return 0;
  const std::string file = name ? name : "";
  if (AppIsDanceFile(file)) return AppDanceImportBytes("ovanta", data, static_cast<size_t>(size), file) ? 1 : 0;
  return AppCharacterImportBytes("ovanta", data, static_cast<size_t>(size), file) ? 1 : 0;
}

namespace {
int Usage() {
  std::fprintf(stderr, "usage: ovanta.js [--trace FILE]\n");
  return 64;
}
}  // namespace

int main(int argc, char** argv) {
  std::string trace;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--trace" && i + 1 < argc)
      trace = argv[++i];
    else
      return Usage();
  }
  BundleSetRoot("/Resources");
  WebStoreOpen(kStoreKey, kStoreFile);
  // Written back after each change; the page counts the writes done
  // (Module.ovantaCharactersKept) and says what failed.
  app_characters_changed = [] {
    EM_ASM({
      FS.syncfs(
          false, function(e) {
            if (e)
              console.warn('Ovanta: the characters could not be kept in this browser (' + e + ')');
            else
              Module.ovantaCharactersKept = (Module.ovantaCharactersKept || 0) + 1;
          });
    });
  };
  app_character_picker = [] {
    EM_ASM({
      if (Module.ovantaPickFile) Module.ovantaPickFile();
    });
  };
  if (!trace.empty() && !TraceOpen(trace)) return 73;
  g_traced = !trace.empty();
  // Frame times jitter by a millisecond or two around the display's period:
  // a tick due this close to a frame runs in it.
  g_pace.early = 0.004;
  // Browsers hold Web Audio until the first tap or click, which opens the
  // device (ovanta_sound_on); lines due before then show their captions.
  SoundServiceUseSDLLater();
  WebMotionStart();
  // A traced page draws the same random numbers as ovanta-headless.
  const unsigned seed = trace.empty() ? static_cast<unsigned>(emscripten_get_now()) | 1u : 1u;
  std::srand(seed);
  FaceReset(seed);

  int w = 0, h = 0;
  double ratio = 1;
  WindowMetrics(&w, &h, &ratio);
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceWindow, ScaleFor(w, h, ratio), kGlesES2})) {
    EM_ASM({
      if (Module.ovantaFailed) Module.ovantaFailed('no WebGL drawing surface could be made');
    });
    return 69;
  }
  Layout();
  AppInputSink().hooks.accel = &WebMotionEmulator();
  WebInputStart([](const SDL_Event& e) { g_queue.Push(e); });
  emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnResize);
  emscripten_request_animation_frame_loop(OnAnimationFrame, nullptr);
  return 0;
}
