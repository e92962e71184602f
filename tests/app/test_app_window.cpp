// The real window under Xvfb: the first start shows the help, which takes
// the first key, and her first-meeting greeting waits for it to go; a
// screenshot shows her; clicks work the buttons; Esc backs
// out; the window resizes with the picture letterboxed and clicks mapped
// through the same box; F11 goes full screen and back; size and place come
// back at the next start, after the window manager closed the window;
// --import shows another character, from then on. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <functional>
#include <thread>

#include "headless_run.h"
#include "kit/vrm_builder.h"
#include "surface/EAGLView.h"
#include "vrm/characters.h"

namespace {

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& display, const std::string& log) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
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

std::vector<nlohmann::json> ReadTicks(const std::string& trace) {
  std::vector<nlohmann::json> out;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    auto j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_discarded() && !j.contains("event")) out.push_back(j);
  }
  return out;
}

bool WaitFor(const std::function<bool()>& ok, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (ok()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

long Ticks(const std::string& trace) { return static_cast<long>(ReadTicks(trace).size()); }

long Picks(const std::string& trace) {
  long n = 0;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) n += line.find("\"event\":\"pick\"") != std::string::npos;
  return n;
}

// The IDs of the trace's character events, space-separated.
std::string CharacterEvents(const std::string& trace) {
  std::string out;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    auto j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_discarded() && j.value("event", "") == "character") out += (out.empty() ? "" : " ") + j.value("id", "");
  }
  return out;
}

// The voice files of the trace's sound events, space-separated.
std::string Sounds(const std::string& trace) {
  std::string out;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    auto j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_discarded() && j.value("event", "") == "sound") out += (out.empty() ? "" : " ") + j.value("file", "");
  }
  return out;
}

// Waits until `n` more ticks have passed (false: the window stopped ticking).
bool WaitTicks(const std::string& trace, long n) {
  const long until = Ticks(trace) + n;
  return WaitFor([&] { return Ticks(trace) >= until; }, 30);
}

std::string Shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// One Xvfb display and one app on it, stopped by the destructor.
struct Desktop {
  ScratchDir dir;
  std::string display = ":" + std::to_string(70 + getpid() % 200);
  std::string trace = dir.file("trace.jsonl"), shot = dir.file("shot.png"), store = dir.file("d.json");
  std::string x = "DISPLAY=" + display + " xdotool ";
  pid_t xvfb = -1, app = -1;
  std::string wid;

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
                                     "--trace", trace, "--shot", shot};
    argv.insert(argv.end(), extra.begin(), extra.end());
    app = Spawn(argv, display, dir.file("app.log"));
    if (!WaitFor([&] { return Ticks(trace) >= 10; }, 60)) return false;
    wid = Shell(x + "search --name '^Ovanta$' | head -1");
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
    for (int i = 0; i < 600 && waitpid(app, &status, WNOHANG) != app; ++i)  // a sanitized app checks for leaks as it exits
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
    auto t = ReadTicks(trace);
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

TEST(AppWindow, HelpFirstThenButtonsEscapeAndTheIcon) {
  if (!Ready()) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  Desktop d;
  ASSERT_TRUE(d.Start()) << "the window never ticked";
  EXPECT_EQ(Shell("DISPLAY=" + d.display + " xprop -id " + d.wid + " -notype -f _NET_WM_ICON 32c '=$0x$1\\n' _NET_WM_ICON"),
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

  const float s = 2.0f;  // window pixels a point
  d.Click(160 * s, 440 * s);  // the dance button
  EXPECT_TRUE(WaitFor([&] {
    auto t = d.Last();
    return t.is_object() && (t["state"] == 3 || t["state"] == 4);
  }, 20)) << "a click on the dance button starts the dance";
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
  EXPECT_TRUE(WaitFor([&] { return d.Last()["buttons"] == nlohmann::json({"optionsButton", "danceButton2", "resetButton"}) ||
                                   d.Last()["buttons"] == nlohmann::json({"optionsButton", "danceButton", "resetButton"}); },
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
  std::ifstream in(d.trace);
  nlohmann::json pick;
  for (std::string line; std::getline(in, line);)
    if (line.find("\"pick\"") != std::string::npos) pick = nlohmann::json::parse(line);
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
    const ProgramRun r = RunProgram("echo 'tick 10\nshot " + file + "' | '" + OVANTA_HEADLESS + "' --bundle '" +
                                    OVANTA_BUNDLE + "' --scale 2 " + args + " -");
    EXPECT_EQ(r.status, 0) << r.err;
    return file;
  };
  const std::string it = drawn("it.png", "--character '" + tiny + "'"), her = drawn("her.png", "");
  // Where she stands, above the captions (which the first meeting changes).
  auto standing = [](const std::string& file) {
    Picture whole, part{440, 560, 32, {}};
    EXPECT_TRUE(ReadPicture(file, whole));
    for (int y = 120; y < 680 && whole.width == 640; ++y)
      part.rgba.insert(part.rgba.end(), whole.rgba.begin() + 4 * (y * 640 + 100), whole.rgba.begin() + 4 * (y * 640 + 540));
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
  const std::string shown = vrm::CharacterId(tiny_bytes.data(), tiny_bytes.size()) + " " +
                            vrm::CharacterId(other.data(), other.size());
  EXPECT_TRUE(d.DropFile(d.dir.file("other.vrm")));
  EXPECT_TRUE(WaitFor([&] { return CharacterEvents(d.trace) == shown; }, 30)) << CharacterEvents(d.trace);
  EXPECT_TRUE(d.DropFile(bad));
  EXPECT_TRUE(WaitTicks(d.trace, 5));
  EXPECT_EQ(CharacterEvents(d.trace), shown);
  EXPECT_EQ(d.Quit(), 0);
  std::ifstream log(d.dir.file("app.log"));
  std::string line, lines;
  while (std::getline(log, line))
    if (line.find(bad) != std::string::npos) lines += line + "\n";
  EXPECT_EQ(lines, "ovanta: " + bad + ": not a glTF binary file\n" + "ovanta: " + bad + ": not a glTF binary file\n");
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
