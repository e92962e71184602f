// Writes a scene in the format CPODScene::ReadFromFile reads.
//
// The content generator builds its models in memory and writes them here;
// the tests build small scenes the same way. Every block the reader knows is
// written: counts, cameras, lights, meshes (faces, strips, every data block,
// bone batches), nodes, textures, materials, frame count and the fixed-point
// flag. Real fields are written as they are held, so a scene turned to fixed
// point by ModelPODToggleFixedPoint is written as a fixed-point file.
//
// Arrays of a scene are sized by its counts (vertexCount x stride, faceCount
// or the strips, frameCount for per-frame node arrays); a scene whose arrays
// are shorter than its counts say must not be handed to the writer.
// Arrays hung on a scene by hand must come from PODCalloc / PODStrDup, since
// CPODScene::Destroy releases them with free(); Destroy releases only a
// scene that has its evaluation state, so call InitImpl() on a scene built by
// hand once it is complete (it also makes the scene evaluable).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/ModelPOD.h"

struct PODWriteOptions {
  // Nodes whose arrays hold one entry and whose flag bit is clear are written
  // as static values (position, rotation, scale blocks) instead of arrays.
  bool staticTransforms = false;
  // Export options text (tag 1002); written when not null.
  const char* exportOptions = nullptr;
  unsigned int exportOptionsLength = 0;
  // Put the options block after the scene instead of before it.
  bool optionsAfterScene = false;
};

bool PODWriteToBuffer(const SPODScene& scene, std::vector<uint8_t>& out,
                      const PODWriteOptions& options = PODWriteOptions());
// Writes through a temporary file and a rename, so a reader never sees half a file.
bool PODWriteToFile(const SPODScene& scene, const char* path, const PODWriteOptions& options = PODWriteOptions());

// Bytes the reader needs for the data block of a mesh with `count` vertices
// (0 when the block has no data).
size_t PODDataBytes(const CPODData& data, uint32_t count);
// Indices the faces of a mesh hold: faceCount * 3, or the strips' lengths + 2.
uint64_t PODIndexCount(const SPODMesh& mesh);

// Zeroed heap memory and string copies that CPODScene::Destroy may free.
void* PODCalloc(size_t count, size_t size);
char* PODStrDup(const char* s);
template <typename T>
T* PODAlloc(size_t count) {
  return static_cast<T*>(PODCalloc(count, sizeof(T)));
}
