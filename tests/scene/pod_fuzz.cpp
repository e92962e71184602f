// Fuzz target: the scene reader on arbitrary bytes, and on success everything
// that later code reads from a scene: node and bone matrices at a few frames
// and every byte of the vertex and index arrays the checks vouched for.
#include <cstdint>
#include <cstdlib>

#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

static volatile uint32_t g_sink;

static void Touch(const CPODData& d, uint32_t count, uint32_t components) {
  const size_t n = PODDataBytes(CPODData{d.type, components, d.stride, d.data}, count);
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += d.data[i];
  g_sink = g_sink + sum;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CPODScene s;
  if (!s.ReadFromMemory(data, size)) {
    if (!s.readError() || !*s.readError()) std::abort();  // a refusal always says why
    return 0;
  }
  const float frames[3] = {0.0f, 0.5f, s.frameCount ? (float)s.frameCount - 1.0f : 0.0f};
  for (float fr : frames) {
    s.SetFrame(fr);
    MATRIX m;
    for (uint32_t i = 0; i < s.nodeCount && i < 256; ++i) s.GetWorldMatrix(m, s.nodes[i]);
    for (uint32_t i = 0; i < s.meshNodeCount && i < 16; ++i) {
      const SPODMesh& mesh = s.meshes[s.nodes[i].meshIndex];
      const CBoneBatches& bb = mesh.boneBatches;
      for (int32_t b = 0; b < bb.batchCount && b < 8; ++b)
        for (int32_t j = 0; j < bb.batchBoneCounts[b]; ++j)
          s.GetBoneWorldMatrix(m, s.nodes[i], s.nodes[bb.batches[(size_t)b * bb.batchBoneMax + j]]);
    }
  }
  for (uint32_t i = 0; i < s.meshCount; ++i) {
    const SPODMesh& m = s.meshes[i];
    Touch(m.vertices, m.vertexCount, m.vertices.componentCount);
    Touch(m.normals, m.vertexCount, 3);
    if (m.uvwCount) Touch(m.uvws[0], m.vertexCount, 2);
    Touch(m.colours, m.vertexCount, m.colours.componentCount);
    Touch(m.boneIndices, m.vertexCount, m.boneIndices.componentCount);
    Touch(m.boneWeights, m.vertexCount, m.boneWeights.componentCount);
    if (m.faces.data) {
      const uint64_t n = PODIndexCount(m);
      uint32_t sum = 0;
      for (uint64_t k = 0; k < n * 2; ++k) sum += m.faces.data[k];
      g_sink = g_sink + sum;
    }
  }
  return 0;
}
