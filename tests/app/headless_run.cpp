#include "headless_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>


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

HeadlessRun RunHeadless(const std::string& script, const std::string& args) {
  HeadlessRun run;
  ScratchDir dir;
  const std::string script_file = dir.file("script.txt"), trace = dir.file("trace.jsonl"),
                    err = dir.file("err.txt");
  std::ofstream(script_file) << script;
  const std::string cmd = std::string("'") + OVANTA_HEADLESS + "' --bundle '" + OVANTA_BUNDLE + "' --trace '" +
                          trace + "' " + args + " '" + script_file + "' >/dev/null 2>'" + err + "'";
  const int rc = std::system(cmd.c_str());
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::stringstream ss;
  ss << std::ifstream(err).rdbuf();
  run.err = ss.str();
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded()) continue;
    (j.contains("event") ? run.events : run.ticks).push_back(j);
  }
  return run;
}
