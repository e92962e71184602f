#include "headless_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

std::vector<nlohmann::json> HeadlessRun::of(const std::string& kind, long tick) const {
  std::vector<nlohmann::json> out;
  for (const auto& e : events)
    if (e["event"] == kind && (tick == 0 || e["tick"] == tick)) out.push_back(e);
  return out;
}

std::vector<nlohmann::json> HeadlessRun::sounds(int slot) const {
  std::vector<nlohmann::json> out;
  for (const auto& e : of("sound"))
    if (e["slot"] == slot) out.push_back(e);
  return out;
}

HeadlessRun ReadTrace(const std::string& path) {
  HeadlessRun run;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_discarded()) (j.contains("event") ? run.events : run.ticks).push_back(j);
  }
  return run;
}

namespace {

using testkit::Exists;
bool IsRegular(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

HeadlessRun RunOnce(const std::string& script, const std::string& args, const ScratchDir& dir, const std::string& tag) {
  // Each run in a folder of its own, under the same file names.
  const std::string folder = dir.file(tag);
  mkdir(folder.c_str(), 0700);
  const std::string script_file = folder + "/script.txt", trace = folder + "/trace.jsonl", err = folder + "/err.txt",
                    out = folder + "/out.txt";
  std::ofstream(script_file) << script;
  const std::string cmd =
      HeadlessCommand() + "--trace '" + trace + "' " + args + " '" + script_file + "' >'" + out + "' 2>'" + err + "'";
  const int rc = std::system(cmd.c_str());
  HeadlessRun run = ReadTrace(trace);
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  const std::vector<uint8_t> said = testkit::ReadFileBytes(err);
  run.err.assign(said.begin(), said.end());
  return run;
}

void ExpectSameLines(const std::vector<nlohmann::json>& es1, const std::vector<nlohmann::json>& es2, const char* what) {
  EXPECT_EQ(es2.size(), es1.size()) << what;
  for (size_t i = 0; i < std::min(es1.size(), es2.size()); ++i)
    if (es1[i] != es2[i]) {
      ADD_FAILURE() << what << " " << i << " differs on es2:\n  es1 " << es1[i].dump() << "\n  es2 " << es2[i].dump();
      return;
    }
}

}  // namespace

HeadlessRun RunHeadless(const std::string& script, const std::string& args) {
  ScratchDir dir;
  // The second run gets its own copy of a named store.
  std::string args2 = args, store;
  const std::string key = "--defaults '";
  if (const size_t at = args.find(key); at != std::string::npos) {
    const size_t from = at + key.size(), end = args.find('\'', from);
    store = args.substr(from, end - from);
    // A pipe, device or folder stands in both runs' way as it is (opening a
    // pipe here would wait for a writer); a regular store is copied.
    if (Exists(store) && !IsRegular(store)) {
      store.clear();
    } else {
      if (IsRegular(store)) testkit::WriteFileBytes(dir.file("store-es2.json"), testkit::ReadFileBytes(store));
      args2.replace(from, end - from, dir.file("store-es2.json"));
    }
  }
  // ... and writes its shots beside the first run's.
  std::istringstream lines(script);
  std::string script2;
  std::vector<std::string> shots;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string cmd, file;
    if (words >> cmd >> file && cmd == "shot" && !(Exists(file) && !IsRegular(file))) {
      shots.push_back(file);
      line = "shot " + file + ".es2.png";
    }
    script2 += line + "\n";
  }
  HeadlessRun es2;
  std::thread second([&] { es2 = RunOnce(script2, "--gl es2 " + args2, dir, "es2"); });
  HeadlessRun es1 = RunOnce(script, "--gl es1 " + args, dir, "es1");
  second.join();

  EXPECT_EQ(es2.status, es1.status) << "es2 exit status";
  std::string err2 = es2.err;
  for (size_t at; (at = err2.find(dir.file("es2/"))) != std::string::npos;)
    err2.replace(at, dir.file("es2/").size(), dir.file("es1/"));
  EXPECT_EQ(err2, es1.err) << "es2 diagnostics";
  EXPECT_EQ(testkit::ReadFileBytes(dir.file("es2/out.txt")), testkit::ReadFileBytes(dir.file("es1/out.txt")))
      << "es2 output (GL errors among it)";
  ExpectSameLines(es1.ticks, es2.ticks, "tick");
  ExpectSameLines(es1.events, es2.events, "event");
  if (!store.empty()) {
    EXPECT_EQ(testkit::ReadFileBytes(dir.file("store-es2.json")), testkit::ReadFileBytes(store)) << "es2 store";
  }
  for (const std::string& shot : shots) {
    if (!IsRegular(shot)) continue;  // the run was meant to fail there
    testkit::ExpectMatchesOracle(shot, shot + ".es2.png", shot + " drawn by es2");
  }
  return es1;
}

HeadlessRun RunHeadlessOnce(const std::string& script, const std::string& args) {
  ScratchDir dir;
  return RunOnce(script, "--gl es1 " + args, dir, "es1");
}

std::string Golden(const std::string& name) { return std::string(OVANTA_SOURCE) + "/tests/golden/app/" + name; }

void ExpectLikeGolden(const std::string& shot, const std::string& name) {
  Picture frame;
  ASSERT_TRUE(ReadPicture(shot, frame));
  const testkit::FrameDifference d = testkit::GoldenDifference(frame, Golden(name));
  EXPECT_LT(d.mean, 2.0) << name;
  EXPECT_LT(d.shareOver48, 0.01) << name;
}

std::string HeadlessCommand() { return std::string("'") + OVANTA_HEADLESS + "' --bundle '" + OVANTA_BUNDLE + "' "; }

testing::AssertionResult HasFields(const nlohmann::json& line, const nlohmann::json& want) {
  std::string wrong;
  for (const auto& field : want.items())
    if (const nlohmann::json has = line.value(field.key(), nlohmann::json()); has != field.value())
      wrong += field.key() + " is " + has.dump() + ", not " + field.value().dump() + "; ";
  if (wrong.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << wrong << "in " << line.dump();
}

void ExpectRedrawnWhole(const std::string& script, const std::string& args) {
  ScratchDir dir;
  std::vector<std::string> shots;
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("shot DIR/", 0) == 0) shots.push_back(line.substr(9));
  ASSERT_FALSE(shots.empty());
  for (const std::string redraw : {"all", "changed"}) {
    std::string text = script;
    for (size_t at; (at = text.find("DIR")) != std::string::npos;) text.replace(at, 3, dir.file(redraw));
    mkdir(dir.file(redraw).c_str(), 0700);
    testkit::WriteFileBytes(dir.file(redraw + ".txt"), std::vector<uint8_t>(text.begin(), text.end()));
    const ProgramRun r = RunProgram("OVANTA_REDRAW=" + std::string(redraw == "all" ? "all " : " ") + HeadlessCommand() +
                                    args + " '" + dir.file(redraw + ".txt") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
  }
  for (const std::string& shot : shots) {
    const testkit::FrameDifference d = testkit::Difference(dir.file("all/") + shot, dir.file("changed/") + shot);
    EXPECT_TRUE(d.comparable) << shot;
    EXPECT_EQ(d.worst, 0) << shot;
  }
}
