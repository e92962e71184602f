// How every benchmark states its goal: three counters, `goal_UNIT` (the
// goal), `UNIT` (what it measured) and `ratio`, which is at most 1 when the
// goal is met: measured / goal for a cost that must stay under its goal,
// goal / measured for a speed-up that must reach it. scripts/bench.sh
// gathers them into one table. WallClock sums the wall time of the part of
// an iteration that is measured (GL work runs on the rasteriser's threads,
// so CPU time of the calling thread would understate it), and beside it the
// CPU time of the whole process, every thread (what a machine shared with
// other work disturbs least, and what an idle window costs).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace benchgoal {

inline void AtMost(benchmark::State& state, const std::string& unit, double goal, double measured) {
  state.counters["goal_" + unit] = goal;
  state.counters[unit] = measured;
  state.counters["ratio"] = goal > 0 ? measured / goal : 0.0;
}

inline void AtLeast(benchmark::State& state, const std::string& unit, double goal, double measured) {
  state.counters["goal_" + unit] = goal;
  state.counters[unit] = measured;
  state.counters["ratio"] = measured > 0 ? goal / measured : 0.0;
}

// Milliseconds of each of `n` calls of `step` on the wall clock, after ten
// to settle.
template <typename Step>
std::vector<double> TimedSteps(int n, Step step) {
  std::vector<double> ms;
  for (int i = 0; i < 10; ++i) step();
  for (int i = 0; i < n; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    step();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  return ms;
}

// The median of `v`, 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Two things compared side by side in `blocks` blocks: run(false),
// run(true), then run(true), run(false), and so on, so that whatever else
// the machine does weighs on both alike (on a shared machine the ratio of
// single blocks swings far either way, pooled medians much less).
template <typename Run>
void AlternatingBlocks(int blocks, Run run) {
  for (int block = 0; block < blocks; ++block) run((block % 2 == 1) != (block / 2 % 2 == 1));
}

// The same, measure(which) giving a block's samples, pooled into *first
// (which false) and *second. False when either got none.
template <typename Measure>
bool PooledBlocks(int blocks, Measure measure, std::vector<double>* first, std::vector<double>* second) {
  AlternatingBlocks(blocks, [&](bool which) {
    const std::vector<double> samples = measure(which);
    std::vector<double>& all = which ? *second : *first;
    all.insert(all.end(), samples.begin(), samples.end());
  });
  return !first->empty() && !second->empty();
}

inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct WallClock {
  using Clock = std::chrono::steady_clock;
  double seconds = 0, cpu = 0, cpuStarted = 0;
  Clock::time_point started;
  void Start() {
    started = Clock::now();
    cpuStarted = ProcessCpuSeconds();
  }
  // Adds the time since Start and returns it, in seconds.
  double Stop() {
    const double s = std::chrono::duration<double>(Clock::now() - started).count();
    seconds += s;
    cpu += ProcessCpuSeconds() - cpuStarted;
    return s;
  }
  // Mean process CPU milliseconds an iteration, as the counter `cpu_ms`.
  void ReportCpu(benchmark::State& state) const {
    state.counters["cpu_ms"] = state.iterations() ? 1000.0 * cpu / static_cast<double>(state.iterations()) : 0.0;
  }
  // Mean milliseconds an iteration.
  double MeanMs(const benchmark::State& state) const {
    return state.iterations() ? 1000.0 * seconds / static_cast<double>(state.iterations()) : 0.0;
  }
};

}  // namespace benchgoal
