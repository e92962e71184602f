// Scene reading and evaluation costs.
//
// Reading a scene file against only loading its bytes into one zero-filled
// buffer (the goal is at most 2x): a synthetic file of about 1 MB, her
// generated model and the biggest generated backdrop.
// SkeletonFrame: SetFrame and the world matrices of a 30-bone skeleton, as
// one animated frame needs (goal 0.1 ms). BoneMatrix: one bone matrix with
// warm caches (goal 1 us).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kit/goal.h"
#include "scene/scene_fixtures.h"

namespace {

constexpr double kGoalTimes = 2.0;

// A character-sized scene: one skinned mesh of 20,000 vertices (about 1 MB)
// under a 30-bone chain animated over 300 frames.
void BuildBig(CPODScene& s, uint32_t vertices, uint32_t bones, uint32_t frames) {
  s.frameCount = frames;
  s.meshCount = 1;
  s.meshes = PODAlloc<SPODMesh>(1);
  SPODMesh& m = s.meshes[0];
  m.vertexCount = vertices;
  m.faceCount = vertices - 2;
  m.vertices = {EPODDataFloat, 3, 12, (uint8_t*)PODAlloc<float>(3 * vertices)};
  m.normals = {EPODDataFloat, 3, 12, (uint8_t*)PODAlloc<float>(3 * vertices)};
  m.uvwCount = 1;
  m.uvws = PODAlloc<CPODData>(1);
  m.uvws[0] = {EPODDataFloat, 2, 8, (uint8_t*)PODAlloc<float>(2 * vertices)};
  m.colours = {EPODDataARGB, 1, 4, (uint8_t*)PODAlloc<uint32_t>(vertices)};
  m.boneIndices = {EPODDataUnsignedByte, 4, 4, PODAlloc<uint8_t>(4 * vertices)};
  m.boneWeights = {EPODDataFloat, 4, 16, (uint8_t*)PODAlloc<float>(4 * vertices)};
  float* p = (float*)m.vertices.data;
  for (uint32_t v = 0; v < vertices; ++v) {
    p[3 * v] = (float)(v % 100);
    p[3 * v + 1] = (float)(v / 100);
    ((float*)m.normals.data)[3 * v + 2] = 1;
    ((float*)m.boneWeights.data)[4 * v] = 1;
    m.boneIndices.data[4 * v] = (uint8_t)(v % bones);
  }
  m.faces = {EPODDataUnsignedShort, 1, 2, (uint8_t*)PODAlloc<uint16_t>(3 * m.faceCount)};
  uint16_t* idx = (uint16_t*)m.faces.data;
  for (uint32_t t = 0; t < m.faceCount; ++t)
    for (uint32_t k = 0; k < 3; ++k) idx[3 * t + k] = (uint16_t)((t + k) % 65535);
  m.boneBatches.batchCount = 1;
  m.boneBatches.batchBoneMax = (int32_t)bones;
  m.boneBatches.batches = PODAlloc<int32_t>(bones);
  m.boneBatches.batchBoneCounts = PODAlloc<int32_t>(1);
  m.boneBatches.batchOffsets = PODAlloc<int32_t>(1);
  m.boneBatches.batchBoneCounts[0] = (int32_t)bones;
  s.nodeCount = bones + 1;
  s.meshNodeCount = 1;
  s.nodes = PODAlloc<SPODNode>(bones + 1);
  s.nodes[0].parentIndex = -1;
  s.nodes[0].materialIndex = -1;
  for (uint32_t b = 1; b <= bones; ++b) {
    m.boneBatches.batches[b - 1] = (int32_t)b;
    SPODNode& n = s.nodes[b];
    n.parentIndex = b == 1 ? -1 : (int32_t)b - 1;
    n.materialIndex = -1;
    n.animationFlags = 2;
    n.positions = PODAlloc<float>(3);
    n.positions[1] = 10;
    n.rotations = PODAlloc<float>(4 * frames);
    for (uint32_t f = 0; f < frames; ++f) {
      const float a = 0.01f * (float)f + 0.02f * (float)b;
      n.rotations[4 * f + 2] = std::sin(a / 2);
      n.rotations[4 * f + 3] = std::cos(a / 2);
    }
    n.scales = PODAlloc<float>(7);
    n.scales[0] = n.scales[1] = n.scales[2] = 1;
  }
  s.InitImpl();
}

struct BigFile {
  TempDir dir;
  std::string path;
  BigFile() {
    CPODScene s;
    BuildBig(s, 20000, 30, 300);
    path = dir.file("big.pod");
    PODWriteToFile(s, path.c_str());
  }
};

BigFile& Big() {
  static BigFile f;
  return f;
}

size_t FileBytes(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::fclose(f);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

// The plain read: the file's bytes into one buffer that is zero-filled
// first, as the reader's own allocations are.
bool PlainRead(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  char* buf = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  std::memset(buf, 0, static_cast<size_t>(n) + 1);
  benchmark::DoNotOptimize(buf);
  const bool ok = std::fread(buf, 1, static_cast<size_t>(n), f) == static_cast<size_t>(n);
  benchmark::DoNotOptimize(buf[n / 2]);
  std::free(buf);
  std::fclose(f);
  return ok;
}

using Clock = std::chrono::steady_clock;

// Reading a scene against the plain read of the same file, alternating so
// both see the same machine. The figure is the reader's time; the counters
// the ratio of the two against the goal of at most 2x.
void ReadScene(benchmark::State& state, const std::string& path) {
  const size_t bytes = FileBytes(path);
  if (bytes == 0) {
    state.SkipWithError("no file");
    return;
  }
  double scene = 0, plain = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    {
      CPODScene s;
      if (!s.ReadFromFile(path.c_str())) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(s.nodeCount);
    }
    const Clock::time_point t1 = Clock::now();
    if (!PlainRead(path)) state.SkipWithError("plain read failed");
    const Clock::time_point t2 = Clock::now();
    scene += std::chrono::duration<double>(t1 - t0).count();
    plain += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["file_kb"] = static_cast<double>(bytes) / 1024.0;
  benchgoal::AtMost(state, "x_plain", kGoalTimes, plain > 0 ? scene / plain : 0);
}

void BM_ReadSynthetic(benchmark::State& state) { ReadScene(state, Big().path); }
void BM_ReadCharacter(benchmark::State& state) { ReadScene(state, OVANTA_BUNDLE "/girl_casual.POD"); }
void BM_ReadBackdrop(benchmark::State& state) { ReadScene(state, OVANTA_BUNDLE "/bg_pool.POD"); }
BENCHMARK(BM_ReadSynthetic)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadCharacter)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBackdrop)->UseManualTime()->Unit(benchmark::kMicrosecond);

void SkeletonFrame(benchmark::State& state) {
  CPODScene s;
  BuildBig(s, 100, 30, 300);
  float frame = 1.0f;
  MATRIX m;
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state) {
    frame += 1.0f;
    if (frame >= 299.0f) frame = 1.0f;
    s.SetFrame(frame + 0.5f);
    for (uint32_t i = 0; i < s.nodeCount; ++i) s.GetWorldMatrix(m, s.nodes[i]);
    benchmark::DoNotOptimize(m);
  }
  wall.Stop();
  benchgoal::AtMost(state, "ms", 0.1, wall.MeanMs(state));
}
BENCHMARK(SkeletonFrame)->Unit(benchmark::kMicrosecond);

void BoneMatrix(benchmark::State& state) {
  CPODScene s;
  BuildBig(s, 100, 30, 300);
  s.SetFrame(42.5f);
  MATRIX m;
  for (uint32_t b = 1; b <= 30; ++b) s.GetBoneWorldMatrix(m, s.nodes[0], s.nodes[b]);  // warm
  uint32_t b = 1;
  benchgoal::WallClock wall;
  wall.Start();
  for (auto _ : state) {
    s.GetBoneWorldMatrix(m, s.nodes[0], s.nodes[b]);
    benchmark::DoNotOptimize(m);
    b = b == 30 ? 1 : b + 1;
  }
  wall.Stop();
  benchgoal::AtMost(state, "us", 1.0, 1000.0 * wall.MeanMs(state));
}
BENCHMARK(BoneMatrix);

}  // namespace
