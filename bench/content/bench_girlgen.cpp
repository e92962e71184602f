// What the build pays for her content: one outfit's mesh (surface nets,
// relaxation, weights, charts, soft marks) and all seventeen pictures.
#include <benchmark/benchmark.h>

#include "girlgen.h"

static void BM_BuildCharacter(benchmark::State& state) {
  for (auto _ : state) {
    girlgen::Mesh m = girlgen::BuildCharacter(static_cast<girlgen::Outfit>(state.range(0)));
    benchmark::DoNotOptimize(m.verts.data());
  }
}
BENCHMARK(BM_BuildCharacter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

static void BM_PaintAllPictures(benchmark::State& state) {
  for (auto _ : state) {
    girlgen::Pictures p;
    girlgen::PaintAll(p);
    benchmark::DoNotOptimize(p.skin[0].px.data());
  }
}
BENCHMARK(BM_PaintAllPictures)->Unit(benchmark::kMillisecond)->Iterations(2);

static void BM_PoseAtFrame(benchmark::State& state) {
  int f = 0;
  for (auto _ : state) {
    girlgen::Pose p = girlgen::PoseAtFrame(f);
    benchmark::DoNotOptimize(p.rot[0][0]);
    f = (f + 1) % girlgen::kFrameCount;
  }
}
BENCHMARK(BM_PoseAtFrame);
