// The spring step for 200 joints (20 chains of 10, hair and skirt alike),
// every chain testing six colliders, the fixed nodes moving and the device
// jerking each tick. Goal: under 0.5 ms a tick.
#include <benchmark/benchmark.h>

#include <cmath>

#include "kit/goal.h"
#include "springs/springs.h"

namespace {

SpringSetup TwoHundredJoints() {
  SpringSetup s;
  s.node_ids = {0, 1};
  for (int k = 0; k < 6; ++k) {
    SpringCollider c;
    c.node = k % 2;
    c.capsule = k % 2 == 1;
    c.offset[0] = 0.05f * static_cast<float>(k) - 0.15f;
    c.offset[1] = -0.2f;
    c.tail[2] = 0.1f;
    c.radius = 0.05f;
    s.colliders.push_back(c);
  }
  s.collider_groups = {{0, 1, 2, 3, 4, 5}};
  for (int chain = 0; chain < 20; ++chain) {
    s.chains.push_back({chain % 2 ? 0 : -1, {0}});
    const float a = 0.314f * static_cast<float>(chain);
    for (int k = 0; k < 10; ++k) {
      SpringJoint j;
      j.parent_joint = k ? static_cast<int>(s.joints.size()) - 1 : -1;
      j.parent_node = k ? -1 : 0;
      j.offset[0] = k ? 0 : 0.1f * std::cos(a);
      j.offset[1] = k ? -0.04f : 0;
      j.offset[2] = k ? 0 : 0.1f * std::sin(a);
      j.tail[1] = -0.04f;
      j.hit_radius = 0.01f;
      j.stiffness = 1.0f;
      j.gravity_power = 0.5f;
      j.drag = 0.4f;
      j.chain = chain;
      s.joints.push_back(j);
    }
  }
  return s;
}

void BM_SpringsStep200(benchmark::State& state) {
  SpringState st;
  std::string error;
  if (!SpringsInit(&st, TwoHundredJoints(), &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  MATRIX nodes[2];
  const float one[3] = {1, 1, 1};
  const float q[4] = {0, 0, 0, 1};
  const float at[3] = {0, 1.4f, 0};
  SpringsLocalMatrix(at, q, one, &nodes[0]);
  nodes[1] = nodes[0];
  SpringsSettle(&st, nodes, 2);
  benchgoal::WallClock wall;
  int tick = 0;
  wall.Start();
  for (auto _ : state) {
    // The head sways and the device jolts now and then, so the chains move
    // and touch the colliders rather than rest.
    const float t = 0.1f * static_cast<float>(tick);
    const float h = 0.5f * std::sin(t);
    const float turn[4] = {0, std::sin(h / 2), 0, std::cos(h / 2)};
    const float moved[3] = {0.05f * std::sin(t), 1.4f, 0};
    SpringsLocalMatrix(moved, turn, one, &nodes[0]);
    const float jolt[3] = {tick % 30 < 3 ? 40.0f : 0.0f, 0, 0};
    SpringsStep(&st, nodes, 2, jolt);
    benchmark::DoNotOptimize(st.rotation.data());
    ++tick;
  }
  wall.Stop();
  benchgoal::AtMost(state, "ms", 0.5, wall.MeanMs(state));
  wall.ReportCpu(state);
  state.counters["joints"] = static_cast<double>(st.setup.joints.size());
  state.counters["moving"] = SpringsReadout(st).chains_moving;
}
BENCHMARK(BM_SpringsStep200);

}  // namespace
