// ovanta: the app in a window. Portrait 320 x 480 points, twice that in
// pixels where the display has room, else scaled down to fit.
//
//   ovanta [--bundle DIR] [--defaults FILE] [--trace FILE] [--shot FILE] [--gl es1|es2]
//
// Mouse: one finger (click = tap, drag = pan); Alt + drag: two fingers
// mirrored about the centre (pinch and twist); wheel: pinch. Arrow keys tilt
// the emulated device, S shakes it, 0 stands it upright again; F12 writes the
// frame to the --shot file; Esc quits.
#include <SDL2/SDL.h>
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/RootViewController.h"
#include "app/app_loop.h"
#include "app/app_trace.h"
#include "app/window_input.h"
#include "platform/accelerometer.h"
#include "platform/bundle.h"
#include "platform/input_queue.h"
#include "platform/sound_service.h"
#include "platform/user_defaults.h"

namespace {
void DeliverTouch(const TouchEvent& e) {
  if (myEAGLview* v = OvantaView()) v->processTouches(e);
}

void SetKeyMap() {
  ImGuiIO& io = ImGui::GetIO();
  io.KeyMap[ImGuiKey_Tab] = SDL_SCANCODE_TAB;
  io.KeyMap[ImGuiKey_LeftArrow] = SDL_SCANCODE_LEFT;
  io.KeyMap[ImGuiKey_RightArrow] = SDL_SCANCODE_RIGHT;
  io.KeyMap[ImGuiKey_UpArrow] = SDL_SCANCODE_UP;
  io.KeyMap[ImGuiKey_DownArrow] = SDL_SCANCODE_DOWN;
  io.KeyMap[ImGuiKey_Home] = SDL_SCANCODE_HOME;
  io.KeyMap[ImGuiKey_End] = SDL_SCANCODE_END;
  io.KeyMap[ImGuiKey_Delete] = SDL_SCANCODE_DELETE;
  io.KeyMap[ImGuiKey_Backspace] = SDL_SCANCODE_BACKSPACE;
  io.KeyMap[ImGuiKey_Enter] = SDL_SCANCODE_RETURN;
  io.KeyMap[ImGuiKey_KeyPadEnter] = SDL_SCANCODE_KP_ENTER;
  io.KeyMap[ImGuiKey_Escape] = SDL_SCANCODE_ESCAPE;
  io.KeyMap[ImGuiKey_A] = SDL_SCANCODE_A;
  io.KeyMap[ImGuiKey_C] = SDL_SCANCODE_C;
  io.KeyMap[ImGuiKey_V] = SDL_SCANCODE_V;
  io.KeyMap[ImGuiKey_X] = SDL_SCANCODE_X;
}

int Usage() {
  std::fprintf(stderr, "usage: ovanta [--bundle DIR] [--defaults FILE] [--trace FILE] [--shot FILE] [--gl es1|es2]\n"
                       "       --gl (or OVANTA_GL): the driver's GL ES 1.1, or ours over GL ES 2.0\n");
  return 64;
}
}  // namespace

int main(int argc, char** argv) {
  std::string bundle, defaults, trace, shot = "ovanta-shot.png", gl_text;
  bool gl_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string* target = a == "--bundle" ? &bundle : a == "--defaults" ? &defaults : a == "--trace" ? &trace
                          : a == "--shot" ? &shot : a == "--gl" ? &gl_text : nullptr;
    if (!target || i + 1 >= argc) return Usage();
    *target = argv[++i];
    gl_given = gl_given || target == &gl_text;
  }
  GlesKind gl = kGlesAuto;
  if (!OvantaGlChoice(gl_given ? gl_text.c_str() : nullptr, &gl)) return Usage();
  if (!bundle.empty()) BundleSetRoot(bundle.c_str());
  if (!defaults.empty()) UserDefaultsSetPath(defaults.c_str());
  if (!trace.empty() && !TraceOpen(trace)) return 73;

  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "ovanta: no display (%s); try ovanta-headless\n", SDL_GetError());
    return 69;
  }
  // Without a display SDL falls back to drivers that show nothing; a window
  // nobody can see is no window. Asking for one by name is still allowed.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver && !std::getenv("SDL_VIDEODRIVER") &&
      (std::string(driver) == "offscreen" || std::string(driver) == "dummy")) {
    std::fprintf(stderr, "ovanta: no display here; try ovanta-headless\n");
    SDL_Quit();
    return 69;
  }
  SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
  SoundServiceUseSDL();
  // Twice the points where the display has room, else as large as fits; the
  // frame is drawn at the window's own pixels, not stretched up to them.
  SDL_Rect usable{0, 0, 640, 960};
  SDL_GetDisplayUsableBounds(0, &usable);
  float scale = std::min((usable.w - 16) / 320.0f, (usable.h - 48) / 480.0f);
  scale = scale >= 2.0f ? 2.0f : std::max(0.5f, scale);
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceWindow, scale, gl})) {
    SoundServiceShutdown();
    SDL_Quit();
    return 69;
  }
  // The view made its window centred and as large as its surface.
  const EAGLSize pixels = OvantaView()->eagl()->surfaceSize();
  const int ww = static_cast<int>(pixels.width), wh = static_cast<int>(pixels.height);
  SDL_StartTextInput();
  SetKeyMap();

  Accelerometer accel;
  accel.Open(true);
  WindowInput input;
  input.SetWindowSize(ww, wh);
  InputQueue queue;
  std::srand(static_cast<unsigned>(SDL_GetTicks()) | 1u);

  const Uint64 freq = SDL_GetPerformanceFrequency();
  const Uint64 period = freq / 30;
  Uint64 next = SDL_GetPerformanceCounter();
  long tick = 0;
  bool running = true;
  while (running) {
    // Wait for the timer, gathering input; nothing runs during a tick.
    for (;;) {
      const Uint64 now = SDL_GetPerformanceCounter();
      if (now >= next) break;
      SDL_Event e;
      const int ms = static_cast<int>((next - now) * 1000 / freq);
      if (SDL_WaitEventTimeout(&e, std::max(1, ms))) queue.Push(e);
    }
    SDL_Event e;
    while (SDL_PollEvent(&e)) queue.Push(e);
    for (const SDL_Event& ev : queue.TakeFrame())
      if (!input.Handle(ev, OvantaApp()->navigationController, &accel.emulator, DeliverTouch)) running = false;

    double sample[3];
    accel.Sample(sample);
    TraceBeforeTick();
    OvantaAppTick(sample);
    SoundServicePump();
    TraceAfterTick(++tick);
    if (input.screenshotRequested()) {
      std::vector<uint8_t> rgba;
      const bool read = EAGLViewReadPixels(OvantaView()->eagl(), rgba);
      for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;  // the window shows no alpha
      if (read && EAGLWritePNG(shot.c_str(), rgba.data(), ww, wh))
        std::printf("ovanta: frame written to %s\n", shot.c_str());
    }
    // A slow tick delays the next one; none is skipped.
    next = std::max(next + period, SDL_GetPerformanceCounter());
  }
  OvantaAppStop();
  accel.Close();
  SoundServiceShutdown();
  TraceClose();
  SDL_Quit();
  return 0;
}
