// ovanta: the app in a window. Portrait 320 x 480 points, drawn at the
// window's own pixels: twice the points where the display has room at the
// first start, then the size and place the window had when it was closed.
// The window can be resized and goes full screen with F11; the view keeps
// its 2:3 shape between black bars, and input maps through the same box.
//
//   ovanta [--bundle DIR] [--defaults FILE] [--trace FILE] [--shot FILE] [--gl es1|es2] [--import FILE]
//          [--mascot]
//
// Input goes through the one input handler (input/input.h, app/app_input.h):
// mouse as one finger, Alt + drag a mirrored second finger, wheel a pinch,
// touch-screen fingers, keys by name. Arrow keys tilt the emulated device,
// S shakes it, 0 stands it upright again; F1 or ? shows the help (also at
// the first start); F12 writes the frame to the --shot file; Esc backs out
// of the menu and the settings; Ctrl+Q or closing the window quits. Where
// the mouse hovers is where she looks; M switches the sound off and back.
// A VRM file dropped on the window is imported and shown (and chosen for
// later launches, as --import does).
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/RootViewController.h"
#include "app/app_character.h"
#include "app/app_dance.h"
#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/app_trace.h"
#include "app/help_overlay.h"
#include "app/mascot_app.h"
#include "app/mascot_window.h"
#include "app/window_input.h"
#include "app/window_seen.h"
#include "app/window_state.h"
#include "character/girl_settings.h"
#include "cli/cli.h"
#include "devices/accelerometer.h"
#include "devices/input_queue.h"
#include "face/face.h"
#include "files/bundle.h"
#include "pacing/pacing.h"
#include "picture/picture_file.h"
#include "sound/sound_service.h"
#include "store/user_defaults.h"

namespace {

const CliProgram kCli = {
    "ovanta",
    "",
    0,
    0,
    {{"--bundle", "DIR", "the resource folder (Resources beside the program, else ../share/ovanta)"},
     {"--defaults", "FILE", "the settings file (~/.config/ovanta/defaults.json)"},
     {"--trace", "FILE", "write a JSON-lines trace of every tick ('-': standard output)"},
     {"--shot", "FILE", "where F12 writes the frame (ovanta-shot.png)"},
     {"--gl", "es1|es2", "the driver's GL ES 1.1, or ours over GL ES 2.0 (also OVANTA_GL)"},
     {"--import", "FILE", "import a VRM file as a character and show it, or a .vrma as her dance"},
     {"--mascot", nullptr, "desktop mode: she stands on the desktop itself (D toggles)"}},
    "Exit status: 0 done, 64 usage, 66 no bundle, 69 no display, 74 a trace, shot or settings\n"
    "that could not be written.\n"};

std::vector<WindowGeometry> Displays() {
  std::vector<WindowGeometry> out;
  for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
    SDL_Rect r;
    if (SDL_GetDisplayUsableBounds(i, &r) == 0) out.push_back({r.x, r.y, r.w, r.h});
  }
  return out;
}

// Twice the points where the display has room, else as large as fits.
float FirstScale() {
  SDL_Rect usable{0, 0, 640, 960};
  SDL_GetDisplayUsableBounds(0, &usable);
  const float scale = std::min((usable.w - 16) / 320.0f, (usable.h - 48) / 480.0f);
  return scale >= 2.0f ? 2.0f : std::max(0.5f, scale);
}

// OVANTA_SLOW_DRAW_MS=N makes every drawn tick N ms slower, as a slow
// machine would: the tests see the clock keep time through it.
Uint32 SlowDrawMs() {
  const char* env = std::getenv("OVANTA_SLOW_DRAW_MS");
  const long ms = env ? std::strtol(env, nullptr, 10) : 0;
  return ms > 0 && ms < 10000 ? static_cast<Uint32>(ms) : 0;
}

bool Fullscreen(SDL_Window* w) { return (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0; }

WindowGeometry Geometry(SDL_Window* w) {
  WindowGeometry g;
  SDL_GetWindowPosition(w, &g.x, &g.y);
  SDL_GetWindowSize(w, &g.width, &g.height);
  return g;
}

// The window is shown with the picture the bundle's icon holds.
void SetIcon(SDL_Window* window) {
  std::string path;
  Picture pic;
  if (!BundlePathForResource("ovanta_icon.png", nullptr, path) || !ReadPicture(path, pic)) return;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pic.rgba.data(), pic.width, pic.height, 32, pic.width * 4,
                                                         SDL_PIXELFORMAT_RGBA32);
  if (!icon) return;
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

// The view drawn at the window's pixels, input mapped through its box.
void FitToWindow(SDL_Window* window) {
  int ww = 0, wh = 0, dw = 0, dh = 0;
  SDL_GetWindowSize(window, &ww, &wh);
  SDL_GL_GetDrawableSize(window, &dw, &dh);
  InputSetWindow(AppInputState(), ww, wh);
  OvantaAppSetScale(WindowViewScale(dw, dh));
}

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  const int parsed = CliParse(kCli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const std::string bundle = args.Value("--bundle"), defaults = args.Value("--defaults"), trace = args.Value("--trace"),
                    shot = args.Value("--shot", "ovanta-shot.png");
  GlesKind gl = kGlesAuto;
  if (!OvantaGlChoice(args.Has("--gl") ? args.Value("--gl").c_str() : nullptr, &gl))
    return CliUsageError(kCli, "--gl wants es1 or es2");
  if (!bundle.empty()) BundleSetRoot(bundle.c_str());
  const std::string bundle_problem = BundleProblem();
  if (!bundle_problem.empty()) {
    std::fprintf(stderr, "ovanta: %s\n", bundle_problem.c_str());
    return kExitNoInput;
  }
  if (!defaults.empty()) UserDefaultsSetPath(defaults.c_str());
  // A file refused leaves the character chosen before shown; its line says
  // why. One taken is the one chosen from now on.
  // A dance (.vrma) is added and chosen the same way (stored with the
  // settings' next save, so that a first start stays a first start).
  if (args.Has("--import") && AppIsDanceFile(args.Value("--import")))
    AppDanceAddAtStart("ovanta", args.Value("--import"));
  else if (args.Has("--import") && AppUseCharacter("ovanta", args.Value("--import")) == 0)
    UserDefaultsSetString(kGirlKeyCharacter, AppCharacterShown());
  // A trace that cannot be written fails the run at its end; she still runs.
  const bool trace_failed = !trace.empty() && !TraceOpen(trace);

  // A companion stays open all day: the screen saver and the power settings
  // of the desktop keep working while she is on screen.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Where Mesa's software rasteriser draws, one thread of its own beside the
  // tick: a tick that redraws only what changed is done in half the 30 Hz
  // period that way, and the threads' hand-overs no longer cost a tenth of
  // the app's CPU. A value the user set stays; other drivers ignore it.
  setenv("LP_NUM_THREADS", "1", 0);
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
  // Where the window was, when that still fits a display; the first start
  // shows the help once.
  WindowGeometry placed;
  const bool stored = WindowGeometryLoad(&placed);
  const bool restore = stored && WindowGeometryFits(placed, Displays());
  const float scale = restore ? WindowViewScale(placed.width, placed.height) : FirstScale();
  // Desktop mode as the flag or the last run left it. Then she appears
  // on the desktop directly: the normal window starts hidden, and is shown
  // when the mode ends or cannot start.
  MascotAppLoad();
  if (args.Has("--mascot")) Mascot().on = true;
  EAGLViewSetWindowHidden(Mascot().on);
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceWindow, scale, gl})) {
    SoundServiceShutdown();
    SDL_Quit();
    return 69;
  }
  SDL_Window* window = OvantaView()->eagl()->window();
  SDL_SetWindowResizable(window, SDL_TRUE);
  SDL_SetWindowMinimumSize(window, 160, 240);
  if (restore) {
    SDL_SetWindowSize(window, placed.width, placed.height);
    SDL_SetWindowPosition(window, placed.x, placed.y);
  }
  SetIcon(window);
  FitToWindow(window);
  // A stored place of hers off every display is forgotten.
  if (Mascot().anchored && !WindowGeometryFits({Mascot().feet_x - 50, Mascot().feet_y - 150, 100, 150}, Displays()))
    Mascot().anchored = false;
  // The help is shown over the normal window only.
  if (!stored && !Mascot().on) HelpShow();
  SDL_StartTextInput();

  Accelerometer accel;
  accel.Open(true);
  InputQueue queue;
  std::srand(static_cast<unsigned>(SDL_GetTicks()) | 1u);
  FaceReset(static_cast<uint32_t>(SDL_GetPerformanceCounter()) | 1u);

  AppInput& input = AppInputSink();
  bool shot_requested = false;
  input.hooks.accel = &accel.emulator;
  input.hooks.screenshot = [&] { shot_requested = true; };
  WindowGeometry windowed = Geometry(window);
  input.hooks.toggle_fullscreen = [window, &windowed] {
    if (!Fullscreen(window)) {
      windowed = Geometry(window);
      SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
      return;
    }
    // Back to the size and place it had; not every window manager (nor
    // the lack of one) restores them by itself.
    SDL_SetWindowFullscreen(window, 0);
    SDL_SetWindowSize(window, windowed.width, windowed.height);
    SDL_SetWindowPosition(window, windowed.x, windowed.y);
  };
  input.hooks.clipboard = [] {
    std::string text;
    if (char* c = SDL_GetClipboardText()) {
      text = c;
      SDL_free(c);
    }
    return text;
  };

  // Her logic keeps 30 ticks a second of wall time; the clock says which
  // ticks draw (none while nobody can see the window) and how long to sleep.
  Pace pace;
  WindowSeen seen;
  WindowSeenWatch(window);
  const double freq = static_cast<double>(SDL_GetPerformanceFrequency());
  const auto now = [freq] { return static_cast<double>(SDL_GetPerformanceCounter()) / freq; };
  const Uint32 slow_draw_ms = SlowDrawMs();
  long tick = 0;
  bool running = true;
  bool shot_failed = false;
  while (running) {
    // Wait for the tick's time, gathering input; nothing runs during a tick.
    for (;;) {
      const double wait = PaceWait(pace, now(), WindowSeenNow(seen, window));
      if (wait <= 0) break;
      SDL_Event e;
      if (SDL_WaitEventTimeout(&e, std::max(1, static_cast<int>(wait * 1000))) && !WindowSeenEvent(&seen, e)) {
        queue.Push(e);
        if (e.type == SDL_QUIT) break;  // answered now, not at the next tick
      }
    }
    SDL_Event e;
    while (SDL_PollEvent(&e))
      if (!WindowSeenEvent(&seen, e)) queue.Push(e);
    bool resized = false;
    for (const SDL_Event& ev : queue.TakeFrame()) {
      if (MascotWindowEvent(ev)) continue;  // her own window's mouse
      // Uncovered, shown again, resized: the window shows the whole frame
      // anew rather than only what changed.
      if (ev.type == SDL_WINDOWEVENT && OvantaView()) OvantaView()->eagl()->presentWhole();
      if (ev.type == SDL_WINDOWEVENT &&
          (ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || ev.window.event == SDL_WINDOWEVENT_MOVED))
        resized = true;
      if (!WindowInputTranslate(ev, AppInputState(), input)) running = false;
      if (ev.type == SDL_DROPFILE || ev.type == SDL_DROPTEXT) SDL_free(ev.drop.file);
    }
    if (input.quit_requested) running = false;
    // Asked to quit (Ctrl+Q, or the window manager's close): no tick more.
    if (!running) break;
    if (resized) {
      FitToWindow(window);
      // The size and place to come back to are the window's own, not full screen.
      if (!Fullscreen(window)) windowed = Geometry(window);
    }

    // Desktop mode opens, follows and closes its own window around the tick.
    if (MascotWindowBeforeTick(window)) FitToWindow(window);

    // A frame to write or a tap to answer from the pixels is drawn whatever
    // the clock says. On the desktop her own window is the one seen.
    const bool seen_now = WindowSeenNow(seen, window) || MascotWindowShown();
    const bool draw = PaceTick(&pace, now(), seen_now, shot_requested || OvantaAppMustDraw());
    double sample[3];
    accel.Sample(sample);
    TraceBeforeTick();
    OvantaAppTick(sample, draw);
    if (draw && slow_draw_ms) SDL_Delay(slow_draw_ms);
    SoundServicePump();
    TraceAfterTick(++tick, draw);
    MascotWindowAfterTick();
    if (shot_requested) {
      shot_requested = false;
      if (!OvantaScreenshot(shot)) shot_failed = true;
    }
  }
  if (!Fullscreen(window) && !MascotWindowShown()) windowed = Geometry(window);
  // The window goes at once; saving and taking everything down follow
  // unseen.
  MascotWindowClose(nullptr);
  SDL_HideWindow(window);
  WindowGeometryStore(windowed);
  MascotAppStore();
  UserDefaultsSynchronize();
  OvantaAppStop();
  accel.Close();
  SoundServiceShutdown();
  const bool traced = TraceClose() && !trace_failed;
  SDL_Quit();
  // Choices the store could not save are an output lost too (it said why).
  return traced && !shot_failed && !UserDefaultsUnsaved() ? 0 : kExitIoError;
}
