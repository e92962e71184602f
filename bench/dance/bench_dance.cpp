// Added dances, against their goals:
//   - adding her dance as the generator wrote it (read, checked, its folder
//     written): at most 20 ms;
//   - laying it on her freshly loaded scene, which every scene load does
//     (retargeted through the humanoid, sampled 30 times a second, her
//     timeline grown): at most 10 ms;
//   - a tick's pose at a frame of the added dance against one of her own
//     dance (the same node walk, the same number of nodes): at most 1.1
//     times, the added dance costs a tick nothing of its own.
// Each prints its goal and what it measured (kit/goal.h).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "dance/dance.h"
#include "dance/dances.h"
#include "kit/goal.h"
#include "kit/temp_dir.h"
#include "rig/girl_clips.h"
#include "scene/ModelPOD.h"

namespace {

const std::string kHerDance = std::string(OVANTA_VRM_EXPORTS) + "/ovanta-dance.vrma";
const std::string kHerModel = std::string(OVANTA_BUNDLE) + "/girl_casual.POD";

void BM_AddHerDance(benchmark::State& state) {
  const std::vector<uint8_t> bytes = testkit::ReadFileBytes(kHerDance);
  benchgoal::WallClock wall;
  for (auto _ : state) {
    testkit::TempDir root;
    wall.Start();
    const DanceImport r = ImportDance(bytes.data(), bytes.size(), kHerDance, root.path());
    wall.Stop();
    if (!r.ok) {
      state.SkipWithError(r.message.c_str());
      return;
    }
  }
  const double ms = wall.MeanMs(state);
  benchgoal::AtMost(state, "ms", 20.0, ms);
  std::printf("goal: her dance (%zu KB) is added in at most 20 ms; measured %.2f ms\n", bytes.size() >> 10, ms);
}
BENCHMARK(BM_AddHerDance)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_LayHerDanceOnLoad(benchmark::State& state) {
  vrm::Animation dance;
  std::string why;
  if (!DanceReadFile(kHerDance, &dance, &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  benchgoal::WallClock wall;
  for (auto _ : state) {
    CPODScene scene;
    if (!scene.ReadFromFile(kHerModel.c_str())) {
      state.SkipWithError("her model cannot be read");
      return;
    }
    DanceClips clips;
    wall.Start();
    const bool laid = DanceLay(&scene, DanceHumanoid(scene, nullptr), dance, &clips, &why);
    wall.Stop();
    if (!laid) {
      state.SkipWithError(why.c_str());
      return;
    }
  }
  const double ms = wall.MeanMs(state);
  benchgoal::AtMost(state, "ms", 10.0, ms);
  std::printf("goal: her dance is laid on her loaded scene in at most 10 ms; measured %.2f ms\n", ms);
}
BENCHMARK(BM_LayHerDanceOnLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Every node's world matrix at each frame of a pass, from `first` on.
double PassMs(CPODScene& scene, int first, int frames) {
  const auto t0 = std::chrono::steady_clock::now();
  MATRIX w;
  float sum = 0;
  for (int f = 0; f < frames; ++f) {
    scene.SetFrame((float)(first + f) + 0.5f);
    for (uint32_t i = 0; i < scene.nodeCount; ++i) {
      scene.GetWorldMatrix(w, scene.nodes[i]);
      sum += w.f[12];
    }
  }
  benchmark::DoNotOptimize(sum);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_AddedDanceTickOverHers(benchmark::State& state) {
  CPODScene scene;
  vrm::Animation dance;
  std::string why;
  DanceClips clips;
  if (!scene.ReadFromFile(kHerModel.c_str()) || !DanceReadFile(kHerDance, &dance, &why) ||
      !DanceLay(&scene, DanceHumanoid(scene, nullptr), dance, &clips, &why)) {
    state.SkipWithError(("her dance cannot be laid: " + why).c_str());
    return;
  }
  const int frames = kDancePassFrames;
  std::vector<double> hers, added;
  for (auto _ : state)
    benchgoal::PooledBlocks(
        20,
        [&](bool add) {
          return std::vector<double>{PassMs(scene, add ? clips.dance_start : kDanceFirstDrawnFrame - 1, frames)};
        },
        &hers, &added);
  const double ratio = benchgoal::Median(added) / benchgoal::Median(hers);
  state.counters["hers_ms"] = benchgoal::Median(hers) / frames;
  state.counters["added_ms"] = benchgoal::Median(added) / frames;
  benchgoal::AtMost(state, "added_over_hers", 1.1, ratio);
  std::printf(
      "goal: a tick's pose in the added dance costs at most 1.1 times one in hers; measured %.3f "
      "(hers %.4f ms, added %.4f ms a tick)\n",
      ratio, benchgoal::Median(hers) / frames, benchgoal::Median(added) / frames);
}
BENCHMARK(BM_AddedDanceTickOverHers)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
