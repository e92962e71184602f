#include "headless_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/EAGLView.h"

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

ScratchDir::ScratchDir() {
  char tmpl[] = "/tmp/ovanta-app-test-XXXXXX";
  path = mkdtemp(tmpl) ? tmpl : "/tmp";
}

ScratchDir::~ScratchDir() {
  if (path != "/tmp") std::system(("rm -rf '" + path + "'").c_str());
}

ProgramRun RunProgram(const std::string& command_line) {
  ProgramRun run;
  ScratchDir dir;
  const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
  const int rc = std::system(("( " + command_line + " ) >'" + out + "' 2>'" + err + "' </dev/null").c_str());
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::stringstream o, e;
  o << std::ifstream(out).rdbuf();
  e << std::ifstream(err).rdbuf();
  run.out = o.str();
  run.err = e.str();
  return run;
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

bool ComparePNG(const std::string& a, const std::string& b, double* mean, double* share) {
  std::vector<uint8_t> pa, pb;
  int wa = 0, ha = 0, wb = 0, hb = 0;
  if (!EAGLReadPNG(a.c_str(), pa, &wa, &ha) || !EAGLReadPNG(b.c_str(), pb, &wb, &hb)) return false;
  // A frame drawn k pixels a point is averaged down k x k to compare.
  if (wb > 0 && hb > 0 && wa != wb && wa % wb == 0 && ha == hb * (wa / wb)) {
    const int k = wa / wb;
    std::vector<uint8_t> small(pb.size());
    for (int y = 0; y < hb; ++y)
      for (int x = 0; x < wb; ++x)
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int dy = 0; dy < k; ++dy)
            for (int dx = 0; dx < k; ++dx) sum += pa[(static_cast<size_t>(y * k + dy) * wa + x * k + dx) * 4 + c];
          small[(static_cast<size_t>(y) * wb + x) * 4 + c] = static_cast<uint8_t>(sum / (k * k));
        }
    pa.swap(small);
    wa = wb;
    ha = hb;
  }
  if (wa != wb || ha != hb || pa.size() != pb.size()) return false;
  double sum = 0;
  long off = 0;
  for (size_t i = 0; i < pa.size(); i += 4) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      const int d = std::abs(pa[i + c] - pb[i + c]);
      sum += d;
      if (d > worst) worst = d;
    }
    if (worst > 48) ++off;
  }
  *mean = sum / (pa.size() / 4 * 3);
  *share = static_cast<double>(off) / (pa.size() / 4);
  return true;
}
