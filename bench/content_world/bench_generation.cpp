// How long each bundle generator takes: the build runs all three on every
// fresh build (twice in CI), so together they should stay well under 30 s:
// goals 5 s for the backdrops, 5 s for the art, 10 s for the voices.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "generators.h"
#include "kit/goal.h"
#include "voicegen.h"

namespace {

std::string ScratchDir(const char* tag) {
  std::string dir = (std::filesystem::temp_directory_path() / (std::string("ovanta_bench_") + tag)).string();
  std::filesystem::create_directories(dir);
  return dir;
}

void BM_GenerateBackdrops(benchmark::State& state) {
  std::string dir = ScratchDir("world");
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state)
    if (!GenerateBackdrops(dir)) state.SkipWithError("backdrop generation failed");
  wall.Stop();
  benchgoal::AtMost(state, "ms", 5000.0, wall.MeanMs(state));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GenerateBackdrops)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GenerateArt(benchmark::State& state) {
  std::string dir = ScratchDir("art");
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state)
    if (!GenerateArt(dir)) state.SkipWithError("art generation failed");
  wall.Stop();
  benchgoal::AtMost(state, "ms", 5000.0, wall.MeanMs(state));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GenerateArt)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SpeakVoiceLines(benchmark::State& state) {
  std::string dir = ScratchDir("voices");
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state)
    if (SpeakVoiceLines(dir) != 0) state.SkipWithError("voice generation failed");
  wall.Stop();
  benchgoal::AtMost(state, "ms", 10000.0, wall.MeanMs(state));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SpeakVoiceLines)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
