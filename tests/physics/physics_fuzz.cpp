// Fuzz target: arbitrary meshes (counts, type codes, strides, marks, face
// indices, positions) through network construction, steps and forces. The
// network must stay consistent and the step must never touch memory outside
// the mesh, whatever the mesh holds.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "physics/boobs_physics_b0.h"
#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"

namespace {

struct Bytes {
  const uint8_t* p;
  size_t n;
  template <typename T>
  T Take() {
    T v{};
    const size_t k = n < sizeof(T) ? n : sizeof(T);
    std::memcpy(&v, p, k);
    p += k;
    n -= k;
    return v;
  }
};

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in{data, size};
  const uint32_t vertices = in.Take<uint16_t>() % 2048 + 1;
  const uint32_t faces = in.Take<uint16_t>() % 4096;
  const uint8_t types = in.Take<uint8_t>();
  const uint8_t strides = in.Take<uint8_t>();

  CPODScene scene;
  scene.meshCount = 1;
  scene.meshes = PODAlloc<SPODMesh>(1);
  scene.nodeCount = scene.meshNodeCount = (types & 0x80) ? 2 : 1;
  scene.nodes = PODAlloc<SPODNode>(scene.nodeCount);
  for (uint32_t i = 0; i < scene.nodeCount; ++i) scene.nodes[i].parentIndex = -1;
  scene.InitImpl();
  SPODMesh& m = scene.meshes[0];
  m.vertexCount = vertices;
  m.faceCount = faces;
  // Mostly the right types, sometimes not; the blocks always hold what their
  // counts promise, as the reader guarantees.
  m.vertices = CPODData{(types & 1) ? uint32_t(types % 16) : 1u, (types & 2) ? 2u : 3u, (strides & 1) ? 16u : 12u,
                        PODAlloc<uint8_t>(vertices * 16)};
  m.normals = CPODData{1, 3, (strides & 2) ? 20u : 0u, PODAlloc<uint8_t>(vertices * 20)};
  m.colours = CPODData{(types & 4) ? 4u : 5u, 1, 4, PODAlloc<uint8_t>(vertices * 4)};
  m.faces = CPODData{(types & 8) ? 2u : 3u, 1, 2, PODAlloc<uint8_t>(faces * 6 + 2)};

  float* pos = reinterpret_cast<float*>(m.vertices.data);
  for (uint32_t i = 0; i < vertices * 3; ++i) {
    const int8_t q = in.Take<int8_t>();
    pos[i] = (q == -128) ? NAN : q * 0.05f;
  }
  for (uint32_t i = 0; i < vertices; ++i) m.colours.data[i * 4] = in.Take<uint8_t>();
  float* nrm = reinterpret_cast<float*>(m.normals.data);
  for (uint32_t i = 0; i < vertices * 3; ++i) nrm[i] = in.Take<int8_t>() / 128.0f;
  uint16_t* idx = reinterpret_cast<uint16_t*>(m.faces.data);
  for (uint32_t i = 0; i < faces * 3; ++i) idx[i] = in.Take<uint16_t>() % (vertices + ((types & 16) ? 2 : 0));

  std::unique_ptr<PhySkinObj> obj(new PhySkinObj());
  const int ok = PhySkinParse(obj.get(), &scene);
  Check(obj->n_vertex >= 0 && obj->n_vertex <= kPhyMaxVertex);
  Check(obj->n_link >= 0 && obj->n_link <= kPhyMaxLink);
  if (!ok) Check(obj->n_vertex == 0 && obj->n_link == 0);
  for (int i = 0; i < obj->n_link; ++i) {
    Check(obj->link[i].a >= 0 && obj->link[i].a < obj->n_vertex);
    Check(obj->link[i].b >= 0 && obj->link[i].b < obj->n_vertex);
  }
  for (int i = 0; i < obj->n_vertex; ++i)
    for (int s = 0; s < kPhyMeshIndexSlots && obj->mesh_index[i][s] >= 0; ++s)
      Check(static_cast<uint32_t>(obj->mesh_index[i][s]) < vertices);
  for (int step = 0; step < 20; ++step) {
    PhySkinFrame(obj.get());
    PhySkinForce(obj.get(), 0, -1, 0);
  }
  return 0;
}
