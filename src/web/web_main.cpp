// The app in a browser page: the program behind index.html.
//
//   ovanta.js [--trace FILE]      (the page passes --trace for ?trace)
//
// The page has preloaded the bundle into the memory file system at
// /Resources (emscripten's file packager) before main runs. main sets up the
// settings store in local storage, sound through Web Audio, the device's
// motion and the trace, then returns; the app lives on in the browser's
// animation frames, which run its 30 Hz tick.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/RootViewController.h"
#include "app/app_trace.h"
#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_frame.h"
#include "character/girl_settings.h"
#include "character/girl_shake.h"
#include "character/girl_sound.h"
#include "platform/bundle.h"
#include "platform/sound_service.h"
#include "platform/uikit.h"
#include "web/web_loop.h"
#include "web/web_motion.h"
#include "web/web_store.h"

namespace {
const char* const kStoreKey = "ovanta.settings";
const char* const kStoreFile = "/settings/defaults.json";

TickClock g_clock;
long g_tick = 0;
UITextField g_name_field;

// Until the engine draws through our GL layer on WebGL, a tick runs the part
// of the app that needs no GL, in the order of the app's own tick: the
// accelerometer sample, the voice scheduler, the animation players; then the
// trace. The scene files are not loaded, nothing is drawn and taps have no
// pixel to pick.
void StartWithoutDrawing() {
  girlname = &g_name_field;
  GirlLoadSettings();
  sound_login_timer = 5;
  GirlLoadSounds();
  AnimationStartN(&anim_girl, ANIM_IDLE);
  // The accelerometer filter settles as for an upright, still device, as a
  // scene load does.
  for (int i = 0; i < kSettlingSteps / 2; ++i) GirlShake(0.0f, -1.0f, 0.0f);
  GirlSoundResetIdle();
}

void TickWithoutDrawing(const double accel[3]) {
  TraceBeforeTick();
  if (!screen_update_disabled)
    GirlShake(static_cast<float>(accel[0]), static_cast<float>(accel[1]), static_cast<float>(accel[2]));
  const bool was_playing = sound_is_played;
  GirlSoundFrame();
  if (!was_playing && current_sound >= 0 && current_sound < kSoundSlots && sounds[current_sound])
    frame_report.sound_slot = current_sound;
  Animate(&anim_girl);
  SoundServicePump();
  TraceAfterTick(++g_tick);
}

EM_BOOL OnAnimationFrame(double now_ms, void*) {
  const int due = TickClockAdvance(&g_clock, now_ms);
  for (int i = 0; i < due; ++i) {
    double accel[3];
    WebMotionSample(now_ms, accel);
    TickWithoutDrawing(accel);
    if (g_tick == 1) EM_ASM({ if (Module.ovantaFirstTick) Module.ovantaFirstTick(); });
  }
  return EM_TRUE;
}

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
  if (!trace.empty() && !TraceOpen(trace)) return 73;
  // Browsers hold Web Audio until the first tap or click, which the page
  // turns into a resume; lines due before then wait for it.
  SoundServiceUseSDL();
  WebMotionStart();
  std::srand(1);
  StartWithoutDrawing();
  emscripten_request_animation_frame_loop(OnAnimationFrame, nullptr);
  return 0;
}
