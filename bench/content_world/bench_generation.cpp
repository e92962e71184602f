// How long each bundle generator takes: the build runs all three on every
// fresh build (twice in CI), so together they should stay well under 30 s.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "generators.h"
#include "voicegen.h"

namespace {

std::string ScratchDir(const char* tag) {
  std::string dir = (std::filesystem::temp_directory_path() / (std::string("ovanta_bench_") + tag)).string();
  std::filesystem::create_directories(dir);
  return dir;
}

void BM_GenerateBackdrops(benchmark::State& state) {
  std::string dir = ScratchDir("world");
  for (auto _ : state)
    if (!GenerateBackdrops(dir)) state.SkipWithError("backdrop generation failed");
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GenerateBackdrops)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GenerateArt(benchmark::State& state) {
  std::string dir = ScratchDir("art");
  for (auto _ : state)
    if (!GenerateArt(dir)) state.SkipWithError("art generation failed");
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GenerateArt)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SpeakVoiceLines(benchmark::State& state) {
  std::string dir = ScratchDir("voices");
  for (auto _ : state)
    if (!SpeakVoiceLines(dir)) state.SkipWithError("voice generation failed");
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SpeakVoiceLines)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
