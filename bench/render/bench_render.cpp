// Skinning throughput of the straightforward blend against the shipped one,
// on equal work: both blend, batch by batch, the vertices that batch's
// triangles use (points and normals), on a synthetic grid and on her
// generated model; the results must be bit-identical (else the benchmark
// fails). Goal: the shipped blend at least 3x as fast (kit/goal.h). Also
// the wall time of drawing a frame of the grid on a headless
// 320x480 surface (the rasteriser's threads included).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "files/bundle.h"
#include "kit/goal.h"
#include "kit/scene_builder.h"
#include "render/render_mesh.h"
#include "render/skin_reference.h"
#include "scene/ModelPOD.h"
#include "surface/EAGLView.h"

namespace {

constexpr double kGoalSpeedup = 3.0;
const int kVertices = 10000, kBones = 40, kSlots = 4;
const uint32_t kFrames = 30;

struct Model {
  CPODScene scene;
  bool ok = false;
  explicit Model(bool character) {
    if (!character) {
      testkit::BuildSkinnedGrid(scene, kVertices, kBones, kSlots, kFrames);
      ok = true;
      return;
    }
    BundleSetRoot(OVANTA_BUNDLE);
    std::string path;
    ok = BundlePathForResource(kOutfitModels[1], "POD", path) && scene.ReadFromFile(path.c_str());
  }
  // Her mesh node and mesh.
  const SPODMesh& mesh() const { return scene.meshes[scene.nodes[0].meshIndex]; }
};

// The palette of batch b at the scene's frame, as DrawNodeP fills it
// (identity view).
void FillPalette(CPODScene& s, int b) {
  const SPODMesh& m = s.meshes[s.nodes[0].meshIndex];
  const CBoneBatches& bb = m.boneBatches;
  for (int j = 0; j < bb.batchBoneCounts[b] && j < kMatrixPaletteSize; ++j)
    s.GetBoneWorldMatrix(matrix_palette[j], s.nodes[0], s.nodes[bb.batches[b * bb.batchBoneMax + j]]);
}

void BatchTriangles(const SPODMesh& m, int b, int* first, int* count) {
  const CBoneBatches& bb = m.boneBatches;
  *first = bb.batchOffsets[b];
  *count = (b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : static_cast<int>(m.faceCount)) - *first;
}

// The vertices batch b's triangles use, as a range (what the shipped code
// blends).
void BatchVertices(const SPODMesh& m, int b, int* lo, int* hi) {
  int first = 0, count = 0;
  BatchTriangles(m, b, &first, &count);
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data) + 3L * first;
  int mn = 0xFFFF, mx = -1;
  for (long k = 0; k < 3L * count; ++k) {
    mn = std::min<int>(mn, idx[k]);
    mx = std::max<int>(mx, idx[k]);
  }
  *lo = mx < 0 ? 0 : mn;
  *hi = mx < 0 ? 0 : mx + 1;
}

void ReferenceBatch(const SPODMesh& m, int b, VECTOR3* pos, VECTOR3* nrm) {
  int lo = 0, hi = 0;
  BatchVertices(m, b, &lo, &hi);
  const int slots = static_cast<int>(m.boneIndices.componentCount);
  const uint8_t* bones = m.boneIndices.data + static_cast<long>(lo) * m.boneIndices.stride;
  const float* w = reinterpret_cast<const float*>(m.boneWeights.data + static_cast<long>(lo) * m.boneWeights.stride);
  const auto* vin = reinterpret_cast<const VECTOR3*>(m.vertices.data + static_cast<long>(lo) * m.vertices.stride);
  const auto* nin = reinterpret_cast<const VECTOR3*>(m.normals.data + static_cast<long>(lo) * m.normals.stride);
  ReferenceWeightedTransform(pos + lo, 12, vin, m.vertices.stride, hi - lo, bones, m.boneIndices.stride, w,
                             m.boneWeights.stride, slots, matrix_palette, false);
  ReferenceWeightedTransform(nrm + lo, 12, nin, m.normals.stride, hi - lo, bones, m.boneIndices.stride, w,
                             m.boneWeights.stride, slots, matrix_palette, true);
}

const VECTOR3* ShippedBatch(const SPODMesh& m, int b, const VECTOR3** normals) {
  int first = 0, count = 0;
  BatchTriangles(m, b, &first, &count);
  return SkinMeshP(&m, first, count, normals);
}

// Every batch's vertices through both blends at one frame; false when any
// bit differs.
bool SameOutput(Model& g) {
  const SPODMesh& m = g.mesh();
  std::vector<VECTOR3> pos(m.vertexCount), nrm(m.vertexCount);
  for (int b = 0; b < m.boneBatches.batchCount; ++b) {
    FillPalette(g.scene, b);
    ReferenceBatch(m, b, pos.data(), nrm.data());
    const VECTOR3* normals = nullptr;
    const VECTOR3* points = ShippedBatch(m, b, &normals);
    int lo = 0, hi = 0;
    BatchVertices(m, b, &lo, &hi);
    if (std::memcmp(points + lo, pos.data() + lo, sizeof(VECTOR3) * (hi - lo)) != 0 ||
        std::memcmp(normals + lo, nrm.data() + lo, sizeof(VECTOR3) * (hi - lo)) != 0)
      return false;
  }
  return true;
}

using Clock = std::chrono::steady_clock;

// Both blends over the whole model, alternating in pairs so both see the
// same machine; the figure is the shipped one's time, the counters its
// speed-up over the straightforward blend against the goal.
void Skin(benchmark::State& state, bool character) {
  Model g(character);
  if (!g.ok) {
    state.SkipWithError("no model");
    return;
  }
  g.scene.SetFrame(7.0f);
  if (!SameOutput(g)) {
    state.SkipWithError("the shipped blend differs from the straightforward one");
    return;
  }
  const SPODMesh& m = g.mesh();
  std::vector<VECTOR3> pos(m.vertexCount), nrm(m.vertexCount);
  const int batches = m.boneBatches.batchCount;
  double reference = 0, shipped = 0;
  long vertices = 0;
  for (int b = 0; b < batches; ++b) {
    int lo = 0, hi = 0;
    BatchVertices(m, b, &lo, &hi);
    vertices += hi - lo;
  }
  for (auto _ : state) {
    Clock::time_point t0 = Clock::now();
    for (int b = 0; b < batches; ++b) {
      FillPalette(g.scene, b);
      ReferenceBatch(m, b, pos.data(), nrm.data());
    }
    benchmark::DoNotOptimize(pos.data());
    benchmark::DoNotOptimize(nrm.data());
    Clock::time_point t1 = Clock::now();
    for (int b = 0; b < batches; ++b) {
      FillPalette(g.scene, b);
      const VECTOR3* normals = nullptr;
      benchmark::DoNotOptimize(ShippedBatch(m, b, &normals));
      benchmark::DoNotOptimize(normals);
    }
    Clock::time_point t2 = Clock::now();
    reference += std::chrono::duration<double>(t1 - t0).count();
    shipped += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
  }
  state.counters["vertices"] = static_cast<double>(vertices);
  benchgoal::AtLeast(state, "speedup", kGoalSpeedup, shipped > 0 ? reference / shipped : 0);
  state.SetItemsProcessed(state.iterations() * vertices);
}

void BM_SkinGrid(benchmark::State& state) { Skin(state, false); }
void BM_SkinCharacter(benchmark::State& state) { Skin(state, true); }
BENCHMARK(BM_SkinGrid)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SkinCharacter)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One frame: clear, draw the skinned grid lit, wait for the rasteriser.
void BM_DrawFrame320x480(benchmark::State& state) {
  EAGLView* view = EAGLView::CreateHeadless(320, 480);
  if (!view) {
    state.SkipWithError("no headless GL ES 1.1 context");
    return;
  }
  Model g(false);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(-2.0f, 2.0f, -0.5f, 5.5f, -10.0f, 10.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  float frame = 0.0f;
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawModel(&g.scene, frame);
    glFinish();
    frame = frame + 1.0f < kFrames ? frame + 1.0f : 0.0f;
  }
  state.SetItemsProcessed(state.iterations());
  delete view;
}
BENCHMARK(BM_DrawFrame320x480)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
