#include "app/headless.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <vector>

#include "app/RootViewController.h"
#include "app/app_character.h"
#include "app/app_dance.h"
#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/app_trace.h"
#include "app/mascot_app.h"
#include "app/mascot_menu.h"
#include "app/ui_draw.h"
#include "character/girl_touch.h"
#include "cli/cli.h"
#include "face/face.h"
#include "files/bundle.h"
#include "files/files.h"
#include "sound/sound_service.h"
#include "store/user_defaults.h"

namespace {

const long kMaxTicksPerLine = 1000000;
// A script is a text file of commands; one this large is something else.
const uint64_t kMaxScriptBytes = 64u << 20;
double g_accel[3] = {0, -1, 0};
long g_tick = 0;
// A shot could not be written: the run fails with kExitIoError.
bool g_output_failed = false;

bool ParseFloat(const std::string& s, float* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(v) || std::fabs(v) > 1e9) return false;
  *out = static_cast<float>(v);
  return true;
}

bool ParsePhase(const std::string& s, int32_t* phase) {
  static const char* const names[] = {"began", "moved", "stationary", "ended", "cancelled"};
  for (int i = 0; i < 5; ++i)
    if (s == names[i]) {
      *phase = i + 1;
      return true;
    }
  return false;
}

void Tick() {
  TraceBeforeTick();
  OvantaAppTick(g_accel);
  SoundServiceAdvanceTicks(1);
  SoundServicePump();
  TraceAfterTick(++g_tick);
}

void Touch(const std::vector<TouchPoint>& points) {
  TouchEvent e{points.data(), static_cast<int32_t>(points.size()), 480.0f};
  if (myEAGLview* v = OvantaView()) v->processTouches(e);
}

// One script line: the words after the command, and the line itself.
struct Line {
  std::string text;
  std::vector<std::string> args;
};

// Each command runs one line; "" when it was fine, else the message.
std::string Ticks(const Line& l) {
  long n = 1;
  if (l.args.size() > 1) return "tick takes at most one count";
  if (l.args.size() == 1) {
    char* end = nullptr;
    errno = 0;
    n = std::strtol(l.args[0].c_str(), &end, 10);
    if (*end != '\0' || errno || n < 1 || n > kMaxTicksPerLine)
      return "tick count must be a whole number from 1 to " + std::to_string(kMaxTicksPerLine);
  }
  for (long i = 0; i < n; ++i) Tick();
  return "";
}

std::string Touches(const Line& l) {
  const std::vector<std::string>& args = l.args;
  if (args.empty() || args.size() % 3 != 0) return "usage: touch PHASE X Y [PHASE X Y]...";
  std::vector<TouchPoint> points;
  for (size_t i = 0; i < args.size(); i += 3) {
    TouchPoint p{};
    if (!ParsePhase(args[i], &p.phase))
      return "unknown phase '" + args[i] + "' (began, moved, stationary, ended, cancelled)";
    if (!ParseFloat(args[i + 1], &p.x) || !ParseFloat(args[i + 2], &p.y)) return "touch position must be two numbers";
    points.push_back(p);
  }
  Touch(points);
  return "";
}

// A tap touches the view where it is, buttons or not (they are `press`).
std::string Tap(const Line& l) {
  TouchPoint p{};
  if (l.args.size() != 2 || !ParseFloat(l.args[0], &p.x) || !ParseFloat(l.args[1], &p.y)) return "usage: tap X Y";
  p.phase = TOUCH_BEGAN;
  Touch({p});
  p.phase = TOUCH_ENDED;
  Touch({p});
  return "";
}

std::string Accel(const Line& l) {
  float v[3];
  if (l.args.size() != 3 || !ParseFloat(l.args[0], &v[0]) || !ParseFloat(l.args[1], &v[1]) ||
      !ParseFloat(l.args[2], &v[2]))
    return "usage: accel X Y Z (numbers, in g)";
  for (int i = 0; i < 3; ++i) g_accel[i] = v[i];
  return "";
}

std::string Action(const Line& l) {
  if (l.args.size() != 1) return "usage: action NAME";
  UIViewController* top = OvantaTopScreen();
  if (!top || !top->sendAction(l.args[0])) return "the screen on top has no action '" + l.args[0] + "'";
  return "";
}

std::string Press(const Line& l) {
  if (l.args.size() != 1) return "usage: press OUTLET";
  // Desktop mode's menu, while open, is what takes clicks.
  UIViewController* menu = MascotMenuShown();
  UIViewController* top = menu ? menu : OvantaTopScreen();
  UIView* v = top ? top->outletNamed(l.args[0]) : nullptr;
  // Buttons, and the name field (a click puts the caret in it).
  const auto* field = dynamic_cast<UITextField*>(v);
  if (!v || !(dynamic_cast<UIButton*>(v) || (field && field->editable)))
    return "the screen on top has no button '" + l.args[0] + "'";
  if (v->isHidden()) return "";
  if (OvantaApp() && OvantaApp()->navigationController) {
    UINavigationController& nav = *OvantaApp()->navigationController;
    // Where it is drawn: a screen still sliding in is offset to the right.
    float offset = 0;
    for (const auto& s : nav.visible(320))
      if (s.first == top) offset = s.second;
    const float x = offset + v->frame.x + v->frame.width / 2, y = v->frame.y + v->frame.height / 2;
    // Over the help, the click only takes the help away, as in the window.
    if (AppInputSink().OverlayShown()) {
      InputPointerDown(AppInputState(), AppInputSink(), x, y, false);
      InputPointerUp(AppInputState(), AppInputSink(), x, y);
    } else {
      UIKitClick(nav, x, y);
    }
  }
  return "";
}

// The text after the command word, blanks at either end left out.
std::string RestOfLine(const Line& l, const std::string& command) {
  const size_t at = l.text.find(command) + command.size();
  std::string text = at < l.text.size() ? l.text.substr(at) : "";
  const size_t first = text.find_first_not_of(" \t");
  text = first == std::string::npos ? "" : text.substr(first);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string Name(const Line& l) {
  const std::string text = RestOfLine(l, "name");
  UIViewController* top = OvantaTopScreen();
  if (top)
    for (UIView* v : top->subviews)
      if (auto* tf = dynamic_cast<UITextField*>(v))
        if (tf->editable && !tf->isHidden()) {
          tf->becomeFirstResponder();
          // Typed over what was there: the field keeps what it can hold.
          tf->setText("");
          tf->insertText(text);
          // Typing ends with Return, which sends the field's action.
          if (tf->action) tf->action();
          return "";
        }
  return "the screen on top has no name field";
}

std::string Shot(const Line& l) {
  if (l.args.size() != 1) return "usage: shot FILE";
  const FrameWrite wrote = OvantaWriteFrame(l.args[0]);
  if (wrote == kFrameNotRead) return "no frame to write";
  // The line itself was fine; the run fails at its end.
  if (wrote == kFrameNotWritten) g_output_failed = true;
  return "";
}

// A key pressed and released, as in the window.
std::string Key(const Line& l) {
  InputKey key;
  if (l.args.size() != 1) return "usage: key NAME (e.g. m, escape, f1, ctrl+q)";
  if (!InputParseKey(l.args[0], &key)) return "unknown key '" + l.args[0] + "'";
  InputKeyDown(AppInputState(), AppInputSink(), key);
  InputKeyUp(AppInputState(), AppInputSink(), key);
  return "";
}

// The pointer hovers at a view point, or leaves the view.
std::string Point(const Line& l) {
  if (l.args.size() == 1 && l.args[0] == "none") {
    InputPointerLeave(AppInputState(), AppInputSink());
    return "";
  }
  float x, y;
  if (l.args.size() != 2 || !ParseFloat(l.args[0], &x) || !ParseFloat(l.args[1], &y))
    return "usage: point X Y | point none";
  InputPointerMove(AppInputState(), AppInputSink(), x, y);
  return "";
}

// Desktop mode's lines: the work area, the desktop's windows, her window
// picked up and moved, and let go.
bool ParseInts(const std::vector<std::string>& args, size_t from, int n, int* out) {
  if (args.size() != from + n) return false;
  for (int i = 0; i < n; ++i) {
    float v;
    if (!ParseFloat(args[from + i], &v) || v != std::floor(v) || std::fabs(v) > 100000) return false;
    out[i] = static_cast<int>(v);
  }
  return true;
}

std::string Screen(const Line& l) {
  int v[4];
  if (!ParseInts(l.args, 0, 4, v) || v[2] <= 0 || v[3] <= 0)
    return "usage: screen X Y W H (the work area, whole pixels)";
  Mascot().work = {v[0], v[1], v[2], v[3]};
  return "";
}

std::string Under(const Line& l) {
  std::vector<MascotDeskWindow>& windows = Mascot().windows;
  int v[4];
  const bool gone = l.args.size() == 2 && l.args[1] == "gone";
  if (l.args.empty() || (!gone && (!ParseInts(l.args, 1, 4, v) || v[2] <= 0 || v[3] <= 0)))
    return "usage: under NAME X Y W H | under NAME gone";
  for (size_t i = 0; i < windows.size(); ++i)
    if (windows[i].id == l.args[0]) {
      // Moved or gone: either way it leaves its place in the stacking order.
      windows.erase(windows.begin() + static_cast<long>(i));
      break;
    }
  if (!gone) windows.push_back({l.args[0], {v[0], v[1], v[2], v[3]}});
  return "";
}

std::string Window(const Line& l) {
  int v[2];
  if (!ParseInts(l.args, 0, 2, v)) return "usage: window X Y (whole pixels)";
  MascotState& m = Mascot();
  MascotHold(m.place);
  m.place.x = v[0];
  m.place.y = static_cast<float>(v[1]);
  return "";
}

// A right-click on her at view point X, Y.
std::string Menu(const Line& l) {
  float x, y;
  if (l.args.size() != 2 || !ParseFloat(l.args[0], &x) || !ParseFloat(l.args[1], &y)) return "usage: menu X Y";
  if (!MascotAppActive()) return "the menu is desktop mode's";
  const MascotRect& p = Mascot().part;
  const float s = OvantaView() ? OvantaView()->eagl()->contentScaleFactor() : 1.0f;
  MascotMenuOpen(x, y, p.x / s, p.y / s, (p.x + p.w) / s, (p.y + p.h) / s);
  return "";
}

// `drop`: desktop mode lets her go; `drop FILE`: a file dropped on the
// window, through the same handler as the window's.
std::string Drop(const Line& l) {
  if (l.args.empty()) {
    MascotDrop(Mascot().place);
    return "";
  }
  InputFileDropped(AppInputState(), AppInputSink(), RestOfLine(l, "drop"));
  return "";
}

struct Command {
  const char* name;
  std::string (*run)(const Line&);
};

const Command kCommands[] = {
    {"tick", Ticks},    {"touch", Touches}, {"tap", Tap},       {"accel", Accel}, {"action", Action},
    {"press", Press},   {"name", Name},     {"shot", Shot},     {"key", Key},     {"point", Point},
    {"screen", Screen}, {"under", Under},   {"window", Window}, {"drop", Drop},   {"menu", Menu},
};

// One line; "" when it was fine, else the message.
std::string RunLine(const std::string& text) {
  std::istringstream in(text);
  std::string cmd;
  if (!(in >> cmd)) return "";
  Line line{text, {}};
  for (std::string a; in >> a;) line.args.push_back(a);
  for (const Command& c : kCommands)
    if (cmd == c.name) return c.run(line);
  return "unknown command '" + cmd + "'";
}

const CliProgram kCli = {
    "ovanta-headless",
    "SCRIPT",
    1,
    1,
    {{"--bundle", "DIR", "the resource folder (Resources beside the program)"},
     {"--defaults", "FILE", "the settings file (a fresh store kept in memory)"},
     {"--trace", "FILE", "write a JSON-lines trace of every tick ('-': standard output)"},
     {"--scale", "N", "pixels a point, 1 to 4 (1)"},
     {"--gl", "es1|es2", "the driver's GL ES 1.1, or ours over GL ES 2.0 (also OVANTA_GL)"},
     {"--character", "FILE|ID", "show a character of a VRM file (imported first) or imported before"},
     {"--dance", "FILE|ID", "the dance button plays a VRM animation (.vrma) or a dance added before"},
     {"--idle", "FILE|ID", "she idles with a VRM animation (.vrma) or a dance added before"},
     {"--mascot", nullptr, "desktop mode: she alone on a transparent surface"}},
    "SCRIPT '-' reads standard input.\n"
    "Exit status: 0 done, 2 a malformed script line, 64 usage, 65 a character or dance file refused,\n"
    "66 a missing script, bundle, character or dance, 69 no GL surface, 74 a trace, shot or settings that\n"
    "cannot be written.\n"};

}  // namespace

int HeadlessRunScript(std::istream& in, const std::string& name) {
  int bad = 0;
  std::string line;
  // Ctrl+Q ends the run as it quits the window.
  for (long number = 1; !AppInputSink().quit_requested && std::getline(in, line); ++number) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    const std::string message = RunLine(line);
    if (!message.empty()) {
      // Control characters of the line (a NUL would end the text) are shown as \xNN.
      std::string shown;
      for (const char c : message) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? std::string(hex) : std::string(1, c);
      }
      std::fprintf(stderr, "%s:%ld: %s\n", name.c_str(), number, shown.c_str());
      ++bad;
    }
  }
  return bad;
}

int HeadlessMain(int argc, char** argv) {
  CliArgs args;
  const int parsed = CliParse(kCli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const std::string bundle = args.Value("--bundle"), defaults = args.Value("--defaults"), trace = args.Value("--trace"),
                    script = args.operands[0], scale_text = args.Value("--scale");
  GlesKind gl = kGlesAuto;
  if (!OvantaGlChoice(args.Has("--gl") ? args.Value("--gl").c_str() : nullptr, &gl))
    return CliUsageError(kCli, "--gl wants es1 or es2");
  float scale = 1.0f;
  if (args.Has("--scale") && (!ParseFloat(scale_text, &scale) || !(scale >= 1.0f && scale <= 4.0f)))
    return CliUsageError(kCli, "--scale wants a number from 1 to 4, not '" + scale_text + "'");

  std::istringstream file;
  if (script != "-") {
    std::string text;
    struct stat st;
    const FileStatus read = FileReadText(script.c_str(), kMaxScriptBytes, &text, &st);
    if (read != kFileOk) {
      std::fprintf(stderr, "ovanta-headless: cannot read script %s: %s\n", script.c_str(),
                   FileStatusText(read, st, errno).c_str());
      return kExitNoInput;
    }
    file.str(text);
  }
  if (!bundle.empty()) BundleSetRoot(bundle.c_str());
  const std::string bundle_problem = BundleProblem();
  if (!bundle_problem.empty()) {
    std::fprintf(stderr, "ovanta-headless: %s\n", bundle_problem.c_str());
    return kExitNoInput;
  }
  // A dance file refused writes nothing, the settings file included.
  if (args.Has("--dance")) {
    const int picked = AppUseDance("ovanta-headless", args.Value("--dance"));
    if (picked != 0) return picked;
  }
  if (args.Has("--idle")) {
    const int picked = AppUseDance("ovanta-headless", args.Value("--idle"), DanceUse::kIdle);
    if (picked != 0) return picked;
  }
  if (defaults.empty()) {
    // A fresh, empty store that goes away with the run.
    UserDefaultsKeepInMemory();
  } else {
    UserDefaultsSetPath(defaults.c_str());
    // A named store that does not exist yet is created (empty), so the run
    // leaves the file it was pointed at even when nothing is saved.
    // (A store that cannot be made says why itself.)
    if (access(defaults.c_str(), F_OK) != 0) UserDefaultsSynchronize();
  }
  if (args.Has("--character")) {
    const int picked = AppUseCharacter("ovanta-headless", args.Value("--character"));
    if (picked != 0) return picked;
  }
  // A trace that cannot be written fails the run at its end; the run still goes on.
  if (!trace.empty() && !TraceOpen(trace)) g_output_failed = true;

  AppInputSink().program = "ovanta-headless";
  std::srand(1);
  FaceReset(1);
  SoundServiceUseTicks();
  int status = 0;
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, scale, gl})) {
    status = 69;
  } else {
    MascotAppLoad();
    if (args.Has("--mascot")) Mascot().on = true;
    const int bad = script == "-" ? HeadlessRunScript(std::cin, "stdin") : HeadlessRunScript(file, script);
    if (bad) status = 2;
    OvantaAppStop();
  }
  SoundServiceShutdown();
  // Choices the store could not save are an output lost too (it said why).
  if (!TraceClose() || g_output_failed || UserDefaultsUnsaved()) status = kExitIoError;
  return status;
}
