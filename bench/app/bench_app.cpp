// Cost of the app's tick on the headless 320 x 480 surface: one ordinary
// tick with everything drawn (backdrop, character, shadow, physics, the
// interface composited over it), and one tick that reloads the scene with
// its 2000 settling steps. The tick budget is 33 ms at 30 Hz. The ordinary
// tick also at two pixels a point (640 x 960), as a window with room draws.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "app/app_loop.h"
#include "character/girl.h"
#include "platform/bundle.h"
#include "platform/sound_service.h"
#include "platform/user_defaults.h"

namespace {

const double kUpright[3] = {0, -1, 0};

bool StartApp(float scale = 1.0f) {
  BundleSetRoot(OVANTA_BUNDLE);
  UserDefaultsKeepInMemory();
  SoundServiceUseTicks();
  std::srand(1);
  if (!OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, scale})) return false;
  OvantaAppTick(kUpright);  // the first tick loads everything
  return true;
}

void BM_HeadlessTick(benchmark::State& state) {
  if (!StartApp(static_cast<float>(state.range(0)))) {
    state.SkipWithError("no headless GL surface");
    return;
  }
  for (auto _ : state) {
    OvantaAppTick(kUpright);
    SoundServiceAdvanceTicks(1);
    SoundServicePump();
  }
  OvantaAppStop();
}
BENCHMARK(BM_HeadlessTick)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ReloadTick(benchmark::State& state) {
  if (!StartApp()) {
    state.SkipWithError("no headless GL surface");
    return;
  }
  for (auto _ : state) {
    girl_reload_scene = true;
    OvantaAppTick(kUpright);
  }
  OvantaAppStop();
}
BENCHMARK(BM_ReloadTick)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
