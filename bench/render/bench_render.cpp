// Skinning throughput of the straightforward blend (every vertex of the mesh,
// once per batch) against the shipped one (each batch's own vertices, four
// lanes at a time), and the cost of drawing a whole frame of that mesh on a
// headless 320x480 surface.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/EAGLView.h"
#include "render/render_mesh.h"
#include "kit/scene_builder.h"
#include "render/skin_reference.h"
#include "scene/ModelPOD.h"

namespace {

const int kVertices = 10000, kBones = 40, kSlots = 4;
const uint32_t kFrames = 30;

struct GridScene {
  CPODScene scene;
  GridScene() {
    testkit::BuildSkinnedGrid(scene, kVertices, kBones, kSlots, kFrames);
  }
};

// The palette of batch b at a frame, as DrawNodeP fills it (identity view).
void FillPalette(CPODScene& s, int b) {
  const SPODMesh& m = s.meshes[0];
  const CBoneBatches& bb = m.boneBatches;
  for (int j = 0; j < bb.batchBoneCounts[b]; ++j)
    s.GetBoneWorldMatrix(matrix_palette[j], s.nodes[0], s.nodes[bb.batches[b * bb.batchBoneMax + j]]);
}

void BM_SkinWholeMeshPerBatch(benchmark::State& state) {
  GridScene g;
  const SPODMesh& m = g.scene.meshes[0];
  std::vector<VECTOR3> pos(m.vertexCount), nrm(m.vertexCount);
  g.scene.SetFrame(7.0f);
  for (auto _ : state) {
    for (int b = 0; b < m.boneBatches.batchCount; ++b) {
      FillPalette(g.scene, b);
      const float* w = reinterpret_cast<const float*>(m.boneWeights.data);
      ReferenceWeightedTransform(pos.data(), 12, reinterpret_cast<const VECTOR3*>(m.vertices.data),
                                 m.vertices.stride, m.vertexCount, m.boneIndices.data,
                                 m.boneIndices.stride, w, m.boneWeights.stride, kSlots,
                                 matrix_palette, false);
      ReferenceWeightedTransform(nrm.data(), 12, reinterpret_cast<const VECTOR3*>(m.normals.data),
                                 m.normals.stride, m.vertexCount, m.boneIndices.data,
                                 m.boneIndices.stride, w, m.boneWeights.stride, kSlots,
                                 matrix_palette, true);
    }
    benchmark::DoNotOptimize(pos.data());
    benchmark::DoNotOptimize(nrm.data());
  }
  state.SetItemsProcessed(state.iterations() * m.vertexCount);
}
BENCHMARK(BM_SkinWholeMeshPerBatch);

void BM_SkinShipped(benchmark::State& state) {
  GridScene g;
  const SPODMesh& m = g.scene.meshes[0];
  const CBoneBatches& bb = m.boneBatches;
  g.scene.SetFrame(7.0f);
  for (auto _ : state) {
    for (int b = 0; b < bb.batchCount; ++b) {
      FillPalette(g.scene, b);
      const int first = bb.batchOffsets[b];
      const int end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : static_cast<int>(m.faceCount);
      const VECTOR3* normals = nullptr;
      benchmark::DoNotOptimize(SkinMeshP(&m, first, end - first, &normals));
      benchmark::DoNotOptimize(normals);
    }
  }
  state.SetItemsProcessed(state.iterations() * m.vertexCount);
}
BENCHMARK(BM_SkinShipped);

// One frame: clear, draw the skinned mesh lit, wait for the GPU to finish.
void BM_DrawFrame320x480(benchmark::State& state) {
  EAGLView* view = EAGLView::CreateHeadless(320, 480);
  if (!view) {
    state.SkipWithError("no headless GL ES 1.1 context");
    return;
  }
  GridScene g;
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
BENCHMARK(BM_DrawFrame320x480)->Unit(benchmark::kMillisecond);

}  // namespace
