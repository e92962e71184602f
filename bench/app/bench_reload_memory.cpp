// Long run: resident memory across many settings changes, each one a full
// reload of her and the backdrop (the scenes, the composited texture, the
// physics network, the voices) through the settings screen as a user makes
// it. Goal: after 1000 reloads resident memory is within 2 MB of where it
// was after 50 (nothing kept per reload). Takes minutes; run by hand or by
// `make bench`:
//   build/bench/app/bench_reload_memory [--benchmark_filter=...]
// OVANTA_RELOADS=N changes the length of the run (1000).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/app_loop.h"
#include "app/headless.h"
#include "character/girl.h"
#include "files/bundle.h"
#include "kit/goal.h"
#include "sound/sound_service.h"
#include "store/user_defaults.h"

namespace {

double ResidentMB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// One visit to the settings screen that picks another outfit; the next tick reloads.
void ChangeOutfit(int n) {
  std::istringstream script("action menuView\naction settingsView\ntick 2\naction onSetting\naction onButton" +
                            std::to_string(n % 4) + "\naction backToMainView\ntick 2\n");
  HeadlessRunScript(script, "reload");
}

void BM_ReloadMemory(benchmark::State& state) {
  const char* env = std::getenv("OVANTA_RELOADS");
  const int total = env && std::atoi(env) >= 60 ? std::atoi(env) : 1000;
  const int early = 50;
  BundleSetRoot(OVANTA_BUNDLE);
  UserDefaultsKeepInMemory();
  SoundServiceUseTicks();
  std::srand(1);
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, 1.0f})) {
    state.SkipWithError("no headless GL surface");
    return;
  }
  std::istringstream first("tick 2\n");
  HeadlessRunScript(first, "start");
  double at_early = 0, at_end = 0;
  for (auto _ : state) {
    for (int i = 1; i <= total; ++i) {
      ChangeOutfit(i);
      if (i == early) at_early = ResidentMB();
      // Resident memory that grows while the heap in use does not is
      // memory freed but not handed back.
      if (i % 100 == 0)
        std::fprintf(stderr, "  %d reloads: %.1f MB resident, %.1f MB of heap in use\n", i, ResidentMB(),
                     static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0));
    }
    at_end = ResidentMB();
  }
  OvantaAppStop();
  SoundServiceShutdown();
  state.counters["MB_after_50"] = at_early;
  state.counters["MB_at_end"] = at_end;
  benchgoal::AtMost(state, "growth_MB", 2.0, at_end - at_early);
  std::printf(
      "goal: resident memory after %d reloads within 2 MB of after %d; measured %.1f MB -> %.1f MB "
      "(%+.2f MB, %.1f KB a reload)\n",
      total, early, at_early, at_end, at_end - at_early, (at_end - at_early) * 1024.0 / (total - early));
}
BENCHMARK(BM_ReloadMemory)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
