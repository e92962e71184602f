// Any bytes as an ovanta-headless script, run on one app started once on a
// headless surface with an empty bundle: every line either runs or is
// reported, never a crash, a sanitizer report or a hang. Scripts that would
// write files (shot) or run long (more than a few dozen ticks) are passed
// over, so the run stays in memory and quick.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/headless.h"
#include "files/bundle.h"
#include "sound/sound_service.h"
#include "store/user_defaults.h"

namespace {

const long kMaxTicks = 40;

// False for a script that writes a file or ticks more than kMaxTicks.
bool Harmless(const std::string& script) {
  std::istringstream in(script);
  long ticks = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string cmd, count;
    words >> cmd;
    if (cmd == "shot") return false;
    if (cmd != "tick") continue;
    if (!(words >> count)) count = "1";
    char* end = nullptr;
    const long n = std::strtol(count.c_str(), &end, 10);
    if (*end == '\0' && n > 0) ticks += n;
    if (ticks > kMaxTicks) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char bundle[] = "/tmp/ovanta-headless-fuzz-XXXXXX";
  if (!mkdtemp(bundle)) std::abort();
  BundleSetRoot(bundle);
  UserDefaultsKeepInMemory();
  SoundServiceUseTicks();
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, 1.0f, kGlesAuto})) std::abort();
  std::atexit([] { rmdir(bundle); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  if (!Harmless(script)) return 0;
  std::istringstream in(script);
  long lines = 0;
  for (char c : script) lines += c == '\n';
  const int bad = HeadlessRunScript(in, "fuzz");
  if (bad < 0 || bad > lines + 1) std::abort();
  AppInputSink().quit_requested = false;  // key ctrl+q ends one script, not the fuzzing
  return 0;
}
