// What the build pays for her content: one outfit's mesh (surface nets,
// relaxation, weights, charts, soft marks) and all seventeen pictures. The
// generators together should stay well under 30 s: goals 2 s a mesh, 5 s
// for the pictures, 0.1 ms a pose.
#include <benchmark/benchmark.h>

#include "girlgen.h"
#include "kit/goal.h"

static void BM_BuildCharacter(benchmark::State& state) {
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state) {
    girlgen::Mesh m = girlgen::BuildCharacter(static_cast<girlgen::Outfit>(state.range(0)));
    benchmark::DoNotOptimize(m.verts.data());
  }
  wall.Stop();
  benchgoal::AtMost(state, "ms", 2000.0, wall.MeanMs(state));
}
BENCHMARK(BM_BuildCharacter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

static void BM_PaintAllPictures(benchmark::State& state) {
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state) {
    girlgen::Pictures p;
    girlgen::PaintAll(p);
    benchmark::DoNotOptimize(p.skin[0].px.data());
  }
  wall.Stop();
  benchgoal::AtMost(state, "ms", 5000.0, wall.MeanMs(state));
}
BENCHMARK(BM_PaintAllPictures)->Unit(benchmark::kMillisecond)->Iterations(2);

static void BM_PoseAtFrame(benchmark::State& state) {
  int f = 0;
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state) {
    girlgen::Pose p = girlgen::PoseAtFrame(f);
    benchmark::DoNotOptimize(p.rot[0][0]);
    f = (f + 1) % girlgen::kFrameCount;
  }
  wall.Stop();
  benchgoal::AtMost(state, "ms", 0.1, wall.MeanMs(state));
}
BENCHMARK(BM_PoseAtFrame);
