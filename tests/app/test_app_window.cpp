// The real window under Xvfb: the first start shows the help, which takes
// the first key, and her first-meeting greeting waits for it to go; a
// screenshot shows her; clicks work the buttons; Esc backs
// out; the window resizes with the picture letterboxed and clicks mapped
// through the same box; F11 goes full screen and back; size and place come
// back at the next start, after the window manager closed the window;
// --import shows another character, from then on. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "headless_run.h"
#include "kit/vrm_builder.h"
#include "surface/EAGLView.h"
#include "vrm/characters.h"

namespace {

bool Have(const char* tool) { return RunProgram(std::string("command -v ") + tool).status == 0; }

pid_t Spawn(const std::vector<std::string>& argv, const std::string& display, const std::string& log,
            const std::vector<std::pair<std::string, std::string>>& env = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    for (const auto& e : env) setenv(e.first.c_str(), e.second.c_str(), 1);
    FILE* f = std::fopen(log.c_str(), "w");
    if (f) {
      dup2(fileno(f), 1);
      dup2(fileno(f), 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

bool WaitFor(const std::function<bool()>& ok, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (ok()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

long Ticks(const std::string& trace) { return static_cast<long>(ReadTrace(trace).ticks.size()); }
long Picks(const std::string& trace) { return static_cast<long>(ReadTrace(trace).of("pick").size()); }

// One field of the trace's events of one kind, space-separated.
std::string EventField(const std::string& trace, const std::string& kind, const std::string& field) {
  std::string out;
  for (const auto& e : ReadTrace(trace).of(kind)) out += (out.empty() ? "" : " ") + e.value(field, "");
  return out;
}
std::string Sounds(const std::string& trace) { return EventField(trace, "sound", "file"); }

// Waits until `n` more ticks have passed (false: the window stopped ticking).
bool WaitTicks(const std::string& trace, long n) {
  const long until = Ticks(trace) + n;
  return WaitFor([&] { return Ticks(trace) >= until; }, 30);
}

std::string Shell(const std::string& cmd) { return RunProgram(cmd).out; }

// One Xvfb display and one app on it, stopped by the destructor.
struct Desktop {
  ScratchDir dir;
  std::string display = ":" + std::to_string(70 + getpid() % 200);
  std::string trace = dir.file("trace.jsonl"), shot = dir.file("shot.png"), store = dir.file("d.json");
  std::string x = "DISPLAY=" + display + " xdotool ";
  pid_t xvfb = -1, app = -1;
  std::string wid;
  std::vector<std::pair<std::string, std::string>> env;  // the app's, besides DISPLAY

  Desktop() {
    xvfb = Spawn({"Xvfb", display, "-screen", "0", "1024x1100x24", "-nolisten", "tcp"}, "", dir.file("xvfb.log"));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
  }
  ~Desktop() {
    Stop(app);
    Stop(xvfb);
  }
  // Starts the app (with `extra` arguments) and waits for its window;
  // false when it never ticked.
  bool Start(const std::vector<std::string>& extra = {}) {
    std::remove(trace.c_str());
    std::vector<std::string> argv = {OVANTA_WINDOW, "--bundle", OVANTA_BUNDLE, "--defaults", store,
                                     "--trace",     trace,      "--shot",      shot};
    argv.insert(argv.end(), extra.begin(), extra.end());
    app = Spawn(argv, display, dir.file("app.log"), env);
    if (!WaitFor([&] { return Ticks(trace) >= 10; }, 60)) return false;
    wid = Shell(x + "search --onlyvisible --name '^Ovanta$' | head -1");
    while (!wid.empty() && (wid.back() == '\n' || wid.back() == ' ')) wid.pop_back();
    return !wid.empty();
  }
  // Ctrl+Q; the app's exit status.
  int Quit() {
    Key("ctrl+q");
    return Wait();
  }
  int Wait() {
    int status = -1;
    for (int i = 0; i < 600 && waitpid(app, &status, WNOHANG) != app;
         ++i)  // a sanitized app checks for leaks as it exits
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    app = -1;
    const int rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (rc != 0) {  // what the app said, for the failure message
      std::ifstream log(dir.file("app.log"));
      std::cerr << log.rdbuf();
    }
    return rc;
  }
  // Closes the window as a window manager does (WM_DELETE_WINDOW); the
  // app's exit status.
  int CloseFromWindowManager() {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return -1;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = std::stoul(wid);
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, e.xclient.window, False, NoEventMask, &e);
    XCloseDisplay(dpy);
    return Wait();
  }
  // Drops a file on the window as a file manager does (the drag-and-drop
  // protocol, version 5): enter offering a URI list, a position over the
  // window, the drop; the window asks for the list, gets it and says it is
  // finished. False when it never did.
  bool DropFile(const std::string& path) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return false;
    const Window target = std::stoul(wid), root = DefaultRootWindow(dpy);
    const Window source = XCreateSimpleWindow(dpy, root, 0, 0, 1, 1, 0, 0, 0);
    auto atom = [dpy](const char* name) { return XInternAtom(dpy, name, False); };
    const Atom uris = atom("text/uri-list");
    XSetSelectionOwner(dpy, atom("XdndSelection"), source, CurrentTime);
    auto send = [&](const char* type, long l1, long l2, long l3, long l4) {
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = target;
      e.xclient.message_type = atom(type);
      e.xclient.format = 32;
      e.xclient.data.l[0] = static_cast<long>(source);
      e.xclient.data.l[1] = l1;
      e.xclient.data.l[2] = l2;
      e.xclient.data.l[3] = l3;
      e.xclient.data.l[4] = l4;
      XSendEvent(dpy, target, False, NoEventMask, &e);
      XFlush(dpy);
    };
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(dpy, target, root, 100, 100, &rx, &ry, &child);
    send("XdndEnter", 5L << 24, static_cast<long>(uris), 0, 0);
    send("XdndPosition", 0, (static_cast<long>(rx) << 16) | ry, CurrentTime, static_cast<long>(atom("XdndActionCopy")));
    send("XdndDrop", 0, CurrentTime, 0, 0);
    const std::string list = "file://" + path + "\r\n";
    bool finished = false;
    for (int i = 0; i < 300 && !finished; ++i) {
      while (!finished && XPending(dpy)) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == SelectionRequest) {
          const XSelectionRequestEvent& q = e.xselectionrequest;
          XChangeProperty(dpy, q.requestor, q.property, q.target, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(list.data()), static_cast<int>(list.size()));
          XEvent r{};
          r.xselection.type = SelectionNotify;
          r.xselection.requestor = q.requestor;
          r.xselection.selection = q.selection;
          r.xselection.target = q.target;
          r.xselection.property = q.property;
          r.xselection.time = q.time;
          XSendEvent(dpy, q.requestor, False, NoEventMask, &r);
          XFlush(dpy);
        } else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndFinished")) {
          finished = true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    XDestroyWindow(dpy, source);
    XCloseDisplay(dpy);
    return finished;
  }
  void Key(const std::string& key) { Shell(x + "key --window " + wid + " " + key); }
  void Click(int wx, int wy) {
    Shell(x + "mousemove --window " + wid + " " + std::to_string(wx) + " " + std::to_string(wy) + " click 1");
  }
  std::string Geometry() { return Shell(x + "getwindowgeometry " + wid); }
  nlohmann::json Last() {
    const auto t = ReadTrace(trace).ticks;
    return t.empty() ? nlohmann::json() : t.back();
  }
  // F12; the size of the frame it wrote (0 x 0: none within a few ticks).
  std::pair<int, int> Screenshot() {
    std::remove(shot.c_str());
    const long t0 = Ticks(trace);
    Key("F12");
    // The key is taken at the next tick; a slow machine only makes ticks slow.
    WaitFor([&] { return std::ifstream(shot).good() || Ticks(trace) >= t0 + 15; }, 60);
    WaitTicks(trace, 2);
    Picture frame;
    if (!std::ifstream(shot).good() || !ReadPicture(shot, frame)) return {0, 0};
    return {frame.width, frame.height};
  }
};

bool Ready() { return Have("Xvfb") && Have("xdotool"); }

// The ticks of the trace after tick `from`, those drawn, and the first drawn.
struct Drawing {
  long ticks = 0, drawn = 0, first_drawn = -1;
};
Drawing DrawsAfter(const std::string& trace, long from) {
  Drawing d;
  for (const auto& t : ReadTrace(trace).ticks) {
    const long tick = t["tick"].get<long>();
    if (tick <= from) continue;
    ++d.ticks;
    if (t.value("drawn", true) && d.drawn++ == 0) d.first_drawn = tick;
  }
  return d;
}

TEST(AppWindow, HelpFirstThenButtonsEscapeAndTheIcon) {
  if (!Ready()) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  Desktop d;
  ASSERT_TRUE(d.Start()) << "the window never ticked";
  EXPECT_EQ(
      Shell("DISPLAY=" + d.display + " xprop -id " + d.wid + " -notype -f _NET_WM_ICON 32c '=$0x$1\\n' _NET_WM_ICON"),
      "_NET_WM_ICON=256x256\n")
      << "the window shows the icon";
  // The first start shows the help, and her first-meeting line waits for it.
  ASSERT_TRUE(WaitTicks(d.trace, 30));
  EXPECT_EQ(Sounds(d.trace), "") << "she greets behind the help";
  // It takes the first key, F12 included.
  EXPECT_EQ(d.Screenshot(), std::make_pair(0, 0));
  EXPECT_TRUE(WaitFor([&] { return Sounds(d.trace) == "hello"; }, 20)) << Sounds(d.trace);
  const auto frame = d.Screenshot();
  ASSERT_EQ(frame, std::make_pair(640, 960)) << "two pixels a point where the display has room";
  // She stands in the middle of the frame the window showed, as headless draws her.
  EXPECT_LT(testkit::Difference(d.shot, std::string(OVANTA_SOURCE) + "/tests/golden/app/main.png").mean, 12.0);

  const float s = 2.0f;       // window pixels a point
  d.Click(160 * s, 440 * s);  // the dance button
  EXPECT_TRUE(WaitFor(
      [&] {
        auto t = d.Last();
        return t.is_object() && (t["state"] == 3 || t["state"] == 4);
      },
      20))
      << "a click on the dance button starts the dance";
  d.Click(40 * s, 440 * s);  // menu
  ASSERT_TRUE(WaitTicks(d.trace, 3));
  d.Click(160 * s, 440 * s);  // the gear
  EXPECT_TRUE(WaitFor([&] { return d.Last()["screen_update_disabled"] == true; }, 20))
      << "the settings button opens the settings screen";
  // Typed into the name field (characters beyond 16 bits: WindowInput.*).
  ASSERT_TRUE(WaitTicks(d.trace, 10));
  d.Click(160 * s, 85 * s);
  ASSERT_TRUE(WaitTicks(d.trace, 2));
  d.Key("End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace");
  Shell(d.x + "type --window " + d.wid + " 'Zoe Q'");
  d.Key("Escape");  // ends the typing only
  ASSERT_TRUE(WaitTicks(d.trace, 3));
  EXPECT_EQ(d.Last()["screen_update_disabled"], true);
  d.Key("Escape");
  EXPECT_TRUE(WaitFor([&] { return d.Last()["screen_update_disabled"] == false; }, 20)) << "Esc leaves the settings";
  EXPECT_EQ(d.Last()["name"], "Zoe Q");
  ASSERT_TRUE(WaitTicks(d.trace, 12));
  EXPECT_EQ(d.Last()["buttons"], nlohmann::json({"backButton", "settingsButton"}));
  d.Key("Escape");
  EXPECT_TRUE(WaitFor(
      [&] {
        return d.Last()["buttons"] == nlohmann::json({"optionsButton", "danceButton2", "resetButton"}) ||
               d.Last()["buttons"] == nlohmann::json({"optionsButton", "danceButton", "resetButton"});
      },
      20))
      << "Esc takes the menu bar down";
  EXPECT_EQ(d.Quit(), 0);
}

TEST(AppWindow, ResizedLetterboxedFullScreenAndRemembered) {
  if (!Ready()) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  Desktop d;
  ASSERT_TRUE(d.Start()) << "the window never ticked";
  d.Key("x");  // the help of the first start goes
  Shell(d.x + "windowsize " + d.wid + " 900 700");
  ASSERT_TRUE(WaitFor([&] { return d.Geometry().find("900x700") != std::string::npos; }, 20));
  ASSERT_TRUE(WaitTicks(d.trace, 5));
  // Drawn at the window's pixels: a 2:3 picture 700 high between bars.
  EXPECT_EQ(d.Screenshot(), std::make_pair(467, 700));
  // A click on her chest goes through the same box: view point (160, 250).
  const long before = Picks(d.trace);
  d.Click(216 + static_cast<int>(160 * 700 / 480.0f), static_cast<int>(250 * 700 / 480.0f));
  ASSERT_TRUE(WaitFor([&] { return Picks(d.trace) > before; }, 20));
  const nlohmann::json pick = ReadTrace(d.trace).of("pick").back();
  EXPECT_EQ(pick["hit"], true);
  EXPECT_NEAR(pick["x"].get<int>(), 160, 1);
  EXPECT_NEAR(pick["y"].get<int>(), 480 - 250, 1);
  // A click on a bar touches nothing.
  d.Click(50, 350);
  ASSERT_TRUE(WaitTicks(d.trace, 5));
  EXPECT_EQ(Picks(d.trace), before + 1);

  // F11: full screen at the screen's pixels, and back to the window's.
  d.Key("F11");
  ASSERT_TRUE(WaitTicks(d.trace, 5));
  EXPECT_EQ(d.Screenshot(), std::make_pair(733, 1100));
  d.Key("F11");
  ASSERT_TRUE(WaitTicks(d.trace, 5));
  EXPECT_EQ(d.Screenshot(), std::make_pair(467, 700));
  ASSERT_EQ(d.CloseFromWindowManager(), 0);

  // The next start comes back at that size, without the help, and greets as
  // every start after the first.
  ASSERT_TRUE(d.Start());
  EXPECT_NE(d.Geometry().find("900x700"), std::string::npos) << d.Geometry();
  EXPECT_EQ(d.Screenshot(), std::make_pair(467, 700));
  EXPECT_TRUE(WaitFor([&] { return Sounds(d.trace) == "login"; }, 20)) << Sounds(d.trace);
  EXPECT_EQ(d.Quit(), 0);
}

// Desktop mode. A plain window of one colour, as another program's on the
// desktop, that notes the clicks it gets.
struct TestWindow {
  Display* dpy = nullptr;
  Window w = 0;
  TestWindow(const std::string& display, int x, int y, int width, int height, unsigned long rgb) {
    dpy = XOpenDisplay(display.c_str());
    if (!dpy) return;
    w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), x, y, width, height, 0, 0, rgb);
    XSelectInput(dpy, w, ButtonPressMask);
    XMapWindow(dpy, w);
    XSync(dpy, False);
  }
  ~TestWindow() {
    if (dpy) XCloseDisplay(dpy);
  }
  bool Clicked() {
    XSync(dpy, False);
    XEvent e;
    bool any = false;
    while (XCheckWindowEvent(dpy, w, ButtonPressMask, &e)) any = true;
    return any;
  }
  void Move(int x, int y) {
    XMoveWindow(dpy, w, x, y);
    XSync(dpy, False);
  }
  void Hide() {
    XUnmapWindow(dpy, w);
    XSync(dpy, False);
  }
  std::string Id() const { return std::to_string(w); }
  // Where window `id` is on the screen and its size.
  void Rect(const std::string& id, int* x, int* y, int* width, int* height) const {
    XWindowAttributes a;
    Window child = 0;
    XGetWindowAttributes(dpy, std::stoul(id), &a);
    XTranslateCoordinates(dpy, std::stoul(id), DefaultRootWindow(dpy), 0, 0, x, y, &child);
    *width = a.width, *height = a.height;
  }
};

// Her feet start above (x, y): stored where a last run left them.
void StoreFeet(const std::string& store, int x, int y) {
  std::ofstream(store) << "{\"Ovanta_name\": \"Ovanta\", \"Ovanta_mascot_x\": " << x << ", \"Ovanta_mascot_y\": " << y
                       << "}";
}

bool StandsOn(Desktop& d, const std::string& on, int feet_y) {
  return WaitFor(
      [&] {
        const nlohmann::json p = d.Last()["place"];
        return p.is_object() && p["pose"] == "standing" && p["on"] == on && p["feet"][1] == feet_y;
      },
      30);
}

// A w x h mask with every pixel within `reach` of a set one of `m` set.
std::vector<uint8_t> Grown(const std::vector<uint8_t>& m, int w, int h, int reach) {
  std::vector<uint8_t> out(m.size(), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (m[static_cast<size_t>(y) * w + x])
        for (int dy = -reach; dy <= reach; ++dy)
          for (int dx = -reach; dx <= reach; ++dx)
            if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h)
              out[static_cast<size_t>(y + dy) * w + x + dx] = 1;
  return out;
}

// The window's SHAPE region of `kind` against the frame's alpha: within two
// pixels of each other (aligned by their boxes), no corner of the window in it.
void ExpectShapeIsHerSilhouette(Display* dpy, Window her, int kind, const Picture& frame) {
  SCOPED_TRACE(kind == ShapeInput ? "input shape" : "bounding shape");
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(dpy, her, &a));
  const int w = a.width, h = a.height;
  int n = 0, order = 0;
  XRectangle* rects = XShapeGetRectangles(dpy, her, kind, &n, &order);
  std::vector<uint8_t> shape(static_cast<size_t>(w) * h, 0);
  int sx0 = w, sy0 = h;
  for (int i = 0; i < n; ++i)
    for (int y = std::max(0, int{rects[i].y}); y < std::min(h, rects[i].y + rects[i].height); ++y)
      for (int x = std::max(0, int{rects[i].x}); x < std::min(w, rects[i].x + rects[i].width); ++x) {
        shape[static_cast<size_t>(y) * w + x] = 1;
        sx0 = std::min(sx0, x), sy0 = std::min(sy0, y);
      }
  if (rects) XFree(rects);
  ASSERT_GT(n, 10) << "her silhouette, not a box";
  for (int cx : {0, w - 1})
    for (int cy : {0, h - 1}) EXPECT_EQ(shape[static_cast<size_t>(cy) * w + cx], 0) << "corner " << cx << "," << cy;
  // The frame's opaque and visible pixels, moved onto the window by the
  // boxes and then by the offset that fits best (the soft edge may widen
  // the frame's box by a pixel).
  int fx0 = frame.width, fy0 = frame.height;
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x)
      if (frame.rgba[(static_cast<size_t>(y) * frame.width + x) * 4 + 3] > 0)
        fx0 = std::min(fx0, x), fy0 = std::min(fy0, y);
  std::vector<uint8_t> solid, seen;
  long best = -1;
  int best_ox = 0, best_oy = 0;
  for (int oy = -3; oy <= 3; ++oy)
    for (int ox = -3; ox <= 3; ++ox) {
      std::vector<uint8_t> s1(shape.size(), 0), s2(shape.size(), 0);
      long wrong = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int fx = x - sx0 + fx0 + ox, fy = y - sy0 + fy0 + oy;
          const size_t i = static_cast<size_t>(y) * w + x;
          if (fx >= 0 && fy >= 0 && fx < frame.width && fy < frame.height) {
            const uint8_t alpha = frame.rgba[(static_cast<size_t>(fy) * frame.width + fx) * 4 + 3];
            s1[i] = alpha == 255;
            s2[i] = alpha > 0;
          }
          wrong += s1[i] != shape[i];
        }
      if (best < 0 || wrong < best) best = wrong, solid.swap(s1), seen.swap(s2), best_ox = ox, best_oy = oy;
    }
  const std::vector<uint8_t> shape_near = Grown(shape, w, h, 2), seen_near = Grown(seen, w, h, 2);
  long missed = 0, extra = 0, area = 0;
  for (size_t i = 0; i < shape.size(); ++i) {
    missed += solid[i] && !shape_near[i];
    extra += shape[i] && !seen_near[i];
    area += solid[i];
  }
  EXPECT_EQ(missed, 0) << "opaque pixels of hers the shape leaves out (of " << area << ")";
  EXPECT_EQ(extra, 0) << "shape pixels where she is not";
  if (kind != ShapeBounding) return;
  // What the window shows inside its shape is the frame's colour, pixel for
  // pixel where she is opaque (the window's pixels are sent only where the
  // frames changed: a part sent wrong or left out shows here).
  // Read from the screen (a window partly off it cannot be read itself).
  const Window root = DefaultRootWindow(dpy);
  XWindowAttributes ra;
  ASSERT_TRUE(XGetWindowAttributes(dpy, root, &ra));
  int wx = 0, wy = 0;
  Window child = 0;
  XTranslateCoordinates(dpy, her, root, 0, 0, &wx, &wy, &child);
  const int x0 = std::max(0, -wx), y0 = std::max(0, -wy);
  const int x1 = std::min(w, ra.width - wx), y1 = std::min(h, ra.height - wy);
  ASSERT_TRUE(x1 > x0 && y1 > y0);
  XImage* img = XGetImage(dpy, root, wx + x0, wy + y0, static_cast<unsigned>(x1 - x0), static_cast<unsigned>(y1 - y0),
                          AllPlanes, ZPixmap);
  ASSERT_TRUE(img);
  long compared = 0, off = 0, unsent = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      if (!shape[static_cast<size_t>(y) * w + x] || !solid[static_cast<size_t>(y) * w + x]) continue;
      const uint8_t* f =
          &frame.rgba[(static_cast<size_t>(y - sy0 + fy0 + best_oy) * frame.width + (x - sx0 + fx0 + best_ox)) * 4];
      const unsigned long px = XGetPixel(img, x - x0, y - y0);
      ++compared;
      const bool d = ((px >> 16) & 0xff) != f[0] || ((px >> 8) & 0xff) != f[1] || (px & 0xff) != f[2];
      // Black: pixels the shape took in after the frame was sent, which
      // must be sent again at once.
      (px & 0xffffff ? off : unsent) += d;
    }
  XDestroyImage(img);
  EXPECT_GT(compared, area / 2);
  EXPECT_EQ(off, 0) << "pixels of her window unlike the frame (of " << compared << ")";
  EXPECT_EQ(unsent, 0) << "pixels of her window never sent";
}

TEST(MascotWindow, ShapedAboveClickedThroughDraggedDroppedCarriedAndBack) {
  if (!Ready()) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  Desktop d;
  TestWindow t(d.display, 100, 500, 600, 300, 0x00c000);
  ASSERT_TRUE(t.dpy);
  StoreFeet(d.store, 400, 300);
  // Every window mapped from the start on is told (there is no window manager).
  XSelectInput(t.dpy, DefaultRootWindow(t.dpy), SubstructureNotifyMask);
  XSync(t.dpy, False);
  ASSERT_TRUE(d.Start({"--mascot"})) << "the window never ticked";
  ASSERT_TRUE(StandsOn(d, t.Id(), 500)) << d.Last().dump();
  // She appeared on the desktop directly: her window was mapped, the normal
  // one (hidden, of the same name) never was.
  std::vector<std::string> mapped;
  for (XEvent e; XCheckWindowEvent(t.dpy, DefaultRootWindow(t.dpy), SubstructureNotifyMask, &e);)
    if (e.type == MapNotify) mapped.push_back(std::to_string(e.xmap.window));
  XSelectInput(t.dpy, DefaultRootWindow(t.dpy), NoEventMask);
  EXPECT_NE(std::find(mapped.begin(), mapped.end(), d.wid), mapped.end());
  std::istringstream named(Shell(d.x + "search --name '^Ovanta$'"));
  int normal = 0;
  for (std::string id; named >> id;)
    if (id != d.wid) {
      ++normal;
      EXPECT_EQ(std::find(mapped.begin(), mapped.end(), id), mapped.end()) << "the normal window flashed";
    }
  EXPECT_EQ(normal, 1);
  const std::string state = Shell("DISPLAY=" + d.display + " xprop -id " + d.wid + " _NET_WM_STATE");
  EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << state;
  EXPECT_NE(state.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << state;

  // Without a compositor the window is cut to her: both shapes are her
  // silhouette. The shape is set before F12's frame is written; the app is
  // stopped as soon as the frame is there, so both are of the same tick.
  std::remove(d.shot.c_str());
  d.Key("F12");
  Picture frame;
  bool caught = false;
  for (int i = 0; i < 20000 && !caught; ++i) {
    if (std::ifstream(d.shot).good()) {
      kill(d.app, SIGSTOP);
      caught = ReadPicture(d.shot, frame);
      if (caught) {
        const Window her = std::stoul(d.wid);
        ExpectShapeIsHerSilhouette(t.dpy, her, ShapeInput, frame);
        ExpectShapeIsHerSilhouette(t.dpy, her, ShapeBounding, frame);
      }
      kill(d.app, SIGCONT);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(caught) << "F12 wrote no frame";

  // A click in her window beside her reaches the window below; one on her taps her.
  int hx = 0, hy = 0, hw = 0, hh = 0;
  t.Rect(d.wid, &hx, &hy, &hw, &hh);
  ASSERT_GT(hy + hh, 502) << "her window reaches over the test window's top";
  t.Clicked();
  Shell(d.x + "mousemove " + std::to_string(hx + 1) + " 502 click 1");
  EXPECT_TRUE(WaitFor([&] { return t.Clicked(); }, 10)) << "the click went through";
  const int feet_x = d.Last()["place"]["feet"][0], place_x = d.Last()["place"]["x"];
  const long picks = Picks(d.trace);
  Shell(d.x + "mousemove " + std::to_string(feet_x) + " 100 click 1");  // her waist
  EXPECT_TRUE(WaitFor([&] { return Picks(d.trace) > picks; }, 10)) << "the click on her is a tap";
  EXPECT_NE(Shell("grep '\"event\":\"pick\"' " + d.trace + " | tail -1").find("\"hit\":true"), std::string::npos);

  // Dragged by (150, -100) she is held there; let go, she lands on the window again.
  Shell(d.x + "mousemove " + std::to_string(feet_x) + " 100 mousedown 1");
  ASSERT_TRUE(WaitTicks(d.trace, 3));
  for (int step = 1; step <= 5; ++step) {
    Shell(d.x + "mousemove " + std::to_string(feet_x + 30 * step) + " " + std::to_string(100 - 20 * step));
    ASSERT_TRUE(WaitTicks(d.trace, 2));
  }
  EXPECT_EQ(d.Last()["place"]["pose"], "held");
  EXPECT_EQ(d.Last()["place"]["x"], place_x + 150);
  EXPECT_NEAR(d.Last()["place"]["feet"][1].get<int>(), 400, 2);
  // The X window is moved after the tick's trace line: it may be a tick behind.
  int mx = 0, my = 0, mw = 0, mh = 0;
  EXPECT_TRUE(WaitFor(
      [&] {
        t.Rect(d.wid, &mx, &my, &mw, &mh);
        return mx - hx == 150 && my - hy == -100;
      },
      10))
      << "the window moved by " << mx - hx << ", " << my - hy;
  Shell(d.x + "mouseup 1");
  ASSERT_TRUE(StandsOn(d, t.Id(), 500)) << d.Last().dump();
  EXPECT_EQ(d.Last()["place"]["x"], place_x + 150);
  EXPECT_EQ(Picks(d.trace), picks + 1) << "a drag is no tap";

  // The window she stands on moves: she goes with it; it goes: she falls.
  t.Move(150, 450);
  ASSERT_TRUE(StandsOn(d, t.Id(), 450)) << d.Last().dump();
  EXPECT_EQ(d.Last()["place"]["x"], place_x + 200);
  t.Hide();
  ASSERT_TRUE(StandsOn(d, "", 1100)) << d.Last().dump();

  // The wheel on her zooms her, the window follows, her feet stay.
  const int before_h = d.Last()["place"]["h"], at_x = d.Last()["place"]["feet"][0];
  Shell(d.x + "mousemove " + std::to_string(at_x) + " 680 click 4");  // her waist
  EXPECT_TRUE(WaitFor([&] { return d.Last()["place"]["h"].get<int>() > before_h * 21 / 20; }, 20))
      << "taller by the wheel: " << d.Last().dump();
  ASSERT_TRUE(StandsOn(d, "", 1100)) << d.Last().dump();
  // As tall (within her breathing) as the wheel left her: `zoomed`.
  const int zoomed = d.Last()["silhouette"]["h"];
  const auto as_zoomed = [&] { return std::abs(d.Last()["silhouette"]["h"].get<int>() - zoomed) <= zoomed / 40; };
  // The right button on her head opens her menu, drawn with her from her
  // window's left edge down; its third item switches the sound off.
  const long plain = d.Last()["silhouette"]["area"];
  const int top_y = 1100 - d.Last()["silhouette"]["h"].get<int>() + 60, left = d.Last()["place"]["x"];
  const float scale = static_cast<float>(d.Last()["place"]["h"].get<int>()) / before_h * 2;
  Shell(d.x + "mousemove " + std::to_string(at_x) + " " + std::to_string(top_y) + " click 3");
  EXPECT_TRUE(WaitFor([&] { return d.Last()["silhouette"]["area"].get<long>() > plain * 5 / 4; }, 20));
  Shell(d.x + "mousemove " + std::to_string(left + static_cast<int>(40 * scale)) + " " +
        std::to_string(top_y + static_cast<int>((4 + 2 * 32 + 14) * scale)) + " click 1");
  EXPECT_TRUE(WaitFor([&] { return d.Last()["volume"] == 0; }, 20)) << "Sound off";
  EXPECT_TRUE(WaitFor([&] { return d.Last()["silhouette"]["area"].get<long>() < plain * 11 / 10; }, 20));

  // D: the normal window as it was; D there: back on the desktop.
  d.Key("d");
  ASSERT_TRUE(WaitFor([&] { return d.Last()["mascot"] == 0; }, 20));
  const std::string desktop = d.wid;
  ASSERT_TRUE(WaitFor(
      [&] {
        const std::string shown = Shell(d.x + "search --onlyvisible --name '^Ovanta$'");
        d.wid = shown.substr(0, shown.find('\n'));
        // Her desktop window may have been made anew on the way (a zoom), so
        // only the normal window's size tells that it is the one shown.
        return !d.wid.empty() && shown.find(desktop) == std::string::npos &&
               d.Geometry().find("640x960") != std::string::npos;
      },
      20))
      << "the normal window again, and only it: " << d.Geometry();
  // A person presses D once the window has the keyboard; a synthetic key
  // sent while the window manager is still handing it over can go nowhere
  // (seen 1 run in 3 beside other window tests), so a lost one is sent
  // again: the trace tells a lost key from a second toggle.
  (void)WaitFor([&] { return Shell(d.x + "getwindowfocus").find(d.wid) == 0; }, 5);
  d.Key("d");
  if (!WaitFor([&] { return d.Last()["mascot"] == 1; }, 5)) d.Key("d");
  ASSERT_TRUE(StandsOn(d, "", 1100)) << d.Last().dump();
  EXPECT_TRUE(WaitFor(as_zoomed, 5)) << "back on the desktop at her zoom: " << d.Last().dump();
  d.wid = Shell(d.x + "search --onlyvisible --name '^Ovanta$' | head -1");
  d.wid.pop_back();
  EXPECT_EQ(d.Quit(), 0);
  std::ifstream in(d.store);
  const nlohmann::json stored = nlohmann::json::parse(in, nullptr, false);
  EXPECT_EQ(stored.value("Ovanta_mascot", -1), 1) << "the next start comes back to the desktop";
  EXPECT_NEAR(stored.value("Ovanta_mascot_zoom", 0), scale * 100, 8) << "her zoom is kept for the next start";
}

TEST(MascotWindow, WithACompositorTheDesktopShowsThroughHerWindow) {
  if (!Ready() || !Have("xcompmgr")) GTEST_SKIP() << "Xvfb, xdotool or xcompmgr is missing";
  Desktop d;
  const pid_t compositor = Spawn({"xcompmgr"}, d.display, d.dir.file("xcompmgr.log"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const unsigned long desk_colour = 0x3070b0;
  TestWindow t(d.display, 150, 800, 700, 300, desk_colour);
  ASSERT_TRUE(t.dpy);
  StoreFeet(d.store, 500, 300);
  ASSERT_TRUE(d.Start({"--mascot"})) << "the window never ticked";
  ASSERT_TRUE(StandsOn(d, t.Id(), 800)) << d.Last().dump();
  ASSERT_TRUE(WaitTicks(d.trace, 5));
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(t.dpy, std::stoul(d.wid), &a));
  EXPECT_EQ(a.depth, 32) << "transparent per pixel";
  int hx = 0, hy = 0, hw = 0, hh = 0;
  t.Rect(d.wid, &hx, &hy, &hw, &hh);
  // The screen as the compositor shows it: the desk's colour beside her, in
  // her window; not at her middle.
  XImage* img = XGetImage(t.dpy, DefaultRootWindow(t.dpy), 0, 0, 1024, 1100, AllPlanes, ZPixmap);
  ASSERT_TRUE(img);
  const int feet_x = d.Last()["place"]["feet"][0];
  ASSERT_GT(hy + hh, 803);
  EXPECT_EQ(XGetPixel(img, hx + 1, 803) & 0xffffff, desk_colour) << "through her window beside her";
  EXPECT_NE(XGetPixel(img, feet_x, 400) & 0xffffff, XGetPixel(img, 5, 5) & 0xffffff) << "she is drawn";
  Picture shot;
  shot.width = 1024, shot.height = 1100;
  shot.rgba.resize(static_cast<size_t>(shot.width) * shot.height * 4);
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      const unsigned long px = XGetPixel(img, x, y);
      uint8_t* o = &shot.rgba[(static_cast<size_t>(y) * shot.width + x) * 4];
      o[0] = static_cast<uint8_t>(px >> 16), o[1] = static_cast<uint8_t>(px >> 8), o[2] = static_cast<uint8_t>(px),
      o[3] = 255;
    }
  XDestroyImage(img);
  // For people to look at: her on the desk's top edge.
  EXPECT_TRUE(testkit::WritePngRgba(testkit::OutputPath("mascot_on_desktop.png"), shot.width, shot.height, shot.rgba));
  EXPECT_EQ(d.Quit(), 0);
  Stop(compositor);
}

// Her clock is the wall's: with every draw made 100 ms slower, 3 s still
// run about 90 ticks, most of them undrawn. Unmapped or wholly covered, the
// window draws nothing while the ticks go on, and the first tick back in
// view is drawn.
TEST(AppWindow, KeepsTimeThroughSlowDrawsAndDrawsNothingUnseen) {
  if (!Ready()) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  Desktop d;
  d.env = {{"OVANTA_SLOW_DRAW_MS", "100"}};
  ASSERT_TRUE(d.Start()) << "the window never ticked";
  d.Key("x");  // the help of the first start goes
  long from = Ticks(d.trace);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const Drawing slow = DrawsAfter(d.trace, from);
  // About 90 on a quiet machine. Waiting for each draw it would run 30 at
  // most, each drawn; where the machine is so busy that a real draw takes
  // over 67 ms more, four undrawn ticks no longer fill the gap and time
  // slips (35 at load 24): hence the wide band.
  EXPECT_GT(slow.ticks, 30);
  EXPECT_LE(slow.ticks, 100);
  EXPECT_GE(slow.drawn, 5);
  EXPECT_LE(slow.drawn * 3, slow.ticks) << "most ticks run undrawn";

  // `back_in_view` puts the window back; the tick that follows soon is drawn.
  const auto unseen_then_back = [&](const std::string& what, const std::function<void()>& back_in_view) {
    ASSERT_TRUE(WaitTicks(d.trace, 3));  // a tick under way as it went may still draw
    from = Ticks(d.trace);
    ASSERT_TRUE(WaitTicks(d.trace, 20)) << what << ": the ticks go on";
    EXPECT_EQ(DrawsAfter(d.trace, from).drawn, 0) << what;
    back_in_view();
    from = Ticks(d.trace);
    ASSERT_TRUE(WaitTicks(d.trace, 8));
    const Drawing back = DrawsAfter(d.trace, from);
    EXPECT_GE(back.first_drawn, from) << what << ": drawn again";
    EXPECT_LE(back.first_drawn - from, 3) << what << ": drawn at once";
  };
  Shell(d.x + "windowunmap --sync " + d.wid);
  unseen_then_back("unmapped", [&] { Shell(d.x + "windowmap --sync " + d.wid); });

  // A window of another client over the whole screen.
  Display* dpy = XOpenDisplay(d.display.c_str());
  ASSERT_TRUE(dpy);
  const Window cover = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1024, 1100, 0, 0, 0);
  XMapRaised(dpy, cover);
  XSync(dpy, False);
  unseen_then_back("covered", [&] {
    XDestroyWindow(dpy, cover);
    XSync(dpy, False);
  });
  XCloseDisplay(dpy);
  EXPECT_EQ(d.Quit(), 0);
}

// --import shows a VRM file's character, as headless draws it, and chooses
// it for later launches; a file refused there is one line, and the
// character chosen before is shown.
TEST(AppWindow, ImportShowsTheCharacterARefusalKeepsIt) {
  if (!Ready()) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  Desktop d;
  setenv("XDG_DATA_HOME", d.dir.file("data").c_str(), 1);
  const std::string tiny = d.dir.file("tiny.vrm"), bad = d.dir.file("bad.vrm");
  const std::vector<uint8_t> tiny_bytes = testkit::TinyVrm().Finish();
  testkit::WriteFileBytes(tiny, tiny_bytes);
  testkit::WriteFileBytes(bad, {'n', 'o'});
  // Headless frames of it and of her, drawn as the window draws (two pixels a point).
  auto drawn = [&](const std::string& name, const std::string& args) {
    const std::string file = d.dir.file(name);
    const ProgramRun r =
        RunProgram("echo 'tick 10\nshot " + file + "' | " + HeadlessCommand() + "--scale 2 " + args + " -");
    EXPECT_EQ(r.status, 0) << r.err;
    return file;
  };
  const std::string it = drawn("it.png", "--character '" + tiny + "'"), her = drawn("her.png", "");
  // Where she stands, above the captions (which the first meeting changes).
  auto standing = [](const std::string& file) {
    Picture whole, part{440, 560, 32, {}};
    EXPECT_TRUE(ReadPicture(file, whole));
    for (int y = 120; y < 680 && whole.width == 640; ++y)
      part.rgba.insert(part.rgba.end(), whole.rgba.begin() + 4 * (y * 640 + 100),
                       whole.rgba.begin() + 4 * (y * 640 + 540));
    return part;
  };

  ASSERT_TRUE(d.Start({"--import", tiny})) << "the window never ticked";
  EXPECT_EQ(d.Screenshot(), std::make_pair(0, 0));  // the help of the first start takes the key
  ASSERT_EQ(d.Screenshot(), std::make_pair(640, 960));
  // Each frame far nearer the one it should be than the other (the
  // window's ticks and headless ones differ in the idle's phase).
  auto nearer = [&](const std::string& to, const std::string& than) {
    const Picture shown = standing(d.shot);
    return 4 * testkit::Difference(shown, standing(to)).mean < testkit::Difference(shown, standing(than)).mean;
  };
  EXPECT_TRUE(nearer(it, her)) << "the character, as headless draws it";
  EXPECT_EQ(d.Quit(), 0);

  ASSERT_TRUE(d.Start({"--import", bad}));
  ASSERT_EQ(d.Screenshot(), std::make_pair(640, 960));
  EXPECT_TRUE(nearer(it, her)) << "the character chosen before";
  // Dropped on the window: another character is shown; a file refused
  // keeps it.
  testkit::TinyVrmShape shape;
  shape.aPose = true;
  const std::vector<uint8_t> other = testkit::TinyVrm(shape).Finish();
  testkit::WriteFileBytes(d.dir.file("other.vrm"), other);
  // (The trace names the one chosen before as the start shows it.)
  const std::string shown =
      vrm::CharacterId(tiny_bytes.data(), tiny_bytes.size()) + " " + vrm::CharacterId(other.data(), other.size());
  EXPECT_TRUE(d.DropFile(d.dir.file("other.vrm")));
  EXPECT_TRUE(WaitFor([&] { return EventField(d.trace, "character", "id") == shown; }, 30))
      << EventField(d.trace, "character", "id");
  EXPECT_TRUE(d.DropFile(bad));
  EXPECT_TRUE(WaitTicks(d.trace, 5));
  EXPECT_EQ(EventField(d.trace, "character", "id"), shown);
  EXPECT_EQ(d.Quit(), 0);
  std::ifstream log(d.dir.file("app.log"));
  std::string line, lines;
  while (std::getline(log, line))
    if (line.find(bad) != std::string::npos) lines += line + "\n";
  EXPECT_EQ(lines, "ovanta: " + bad + ": not a glTF binary file\n" + "ovanta: " + bad + ": not a glTF binary file\n");
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
