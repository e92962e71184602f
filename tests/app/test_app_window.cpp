// The real window under Xvfb: ovanta starts, a click on the dance button
// starts the dance, the settings button opens the settings screen, and a
// screenshot shows her. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "headless_run.h"

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

std::string Shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

TEST(AppWindow, DanceSettingsAndScreenshotInARealWindow) {
  if (!Have("Xvfb") || !Have("xdotool")) GTEST_SKIP() << "Xvfb or xdotool is missing; the real-window test is skipped";
  ScratchDir dir;
  const std::string display = ":" + std::to_string(70 + getpid() % 200);
  const pid_t xvfb = Spawn({"Xvfb", display, "-screen", "0", "1024x1100x24", "-nolisten", "tcp"}, "",
                           dir.file("xvfb.log"));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  const std::string trace = dir.file("trace.jsonl"), shot = dir.file("shot.png");
  const pid_t app = Spawn({OVANTA_WINDOW, "--bundle", OVANTA_BUNDLE, "--defaults", dir.file("d.json"), "--trace",
                           trace, "--shot", shot},
                          display, dir.file("app.log"));
  const std::string x = "DISPLAY=" + display + " xdotool ";
  auto cleanup = [&] {
    Stop(app);
    Stop(xvfb);
  };
  if (!WaitFor([&] { return ReadTicks(trace).size() >= 10; }, 60)) {
    cleanup();
    FAIL() << "the window never ticked";
  }
  std::string wid = Shell(x + "search --name '^Ovanta$' | head -1");
  while (!wid.empty() && (wid.back() == '\n' || wid.back() == ' ')) wid.pop_back();
  ASSERT_FALSE(wid.empty());
  const std::string geo = Shell(x + "getwindowgeometry --shell " + wid);
  int width = 320;
  if (auto at = geo.find("WIDTH="); at != std::string::npos) width = std::atoi(geo.c_str() + at + 6);
  const float scale = width / 320.0f;
  auto click = [&](float px, float py) {
    Shell(x + "mousemove --window " + wid + " " + std::to_string(int(px * scale)) + " " +
        std::to_string(int(py * scale)) + " click 1");
  };

  Shell(x + "key --window " + wid + " F12");
  EXPECT_TRUE(WaitFor([&] { return std::ifstream(shot).good(); }, 20)) << "F12 writes the frame";

  click(160, 440);  // the dance button
  EXPECT_TRUE(WaitFor([&] {
    auto t = ReadTicks(trace);
    return !t.empty() && (t.back()["state"] == 3 || t.back()["state"] == 4);
  }, 20)) << "a click on the dance button starts the dance";

  click(40, 440);   // options
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  click(160, 440);  // settings
  EXPECT_TRUE(WaitFor([&] {
    auto t = ReadTicks(trace);
    return !t.empty() && t.back()["screen_update_disabled"] == true;
  }, 20)) << "the settings button opens the settings screen";
  cleanup();

  // She stands in the middle of the frame the window showed, as headless draws her.
  EXPECT_LT(testkit::Difference(shot, std::string(OVANTA_SOURCE) + "/tests/golden/app/main.png").mean, 12.0);
}

}  // namespace
