// Skinning batches of a mesh: which bones each run of triangles uses.
//
// Batch b draws triangles batchOffsets[b] up to the next batch's offset (the
// last one up to the mesh's faceCount) with the bones
// batches[b * batchBoneMax .. + batchBoneCounts[b]] (node indices). A
// vertex's bone indices are slots in its batch's list.
//
// batchVertexRanges is derived, not stored in files: made once a scene is
// complete (CPODScene::InitImpl, through PODMakeBatchVertexRanges), it says
// for each batch which vertices its triangles use, so the skinning need not
// scan a batch's indices every frame. Each entry keeps the triangles it was
// made for, so changed batches only miss it; changed faces need it made
// again. Null for meshes that are not indexed triangle lists.
#pragma once

#include <cstdint>

struct CBatchVertexRange {
  int32_t firstTriangle, endTriangle;  // the batch's triangles
  int32_t firstVertex, endVertex;      // the vertices they use; both 0 for none
};

struct CBoneBatches {
  int32_t* batches;
  int32_t* batchBoneCounts;
  int32_t* batchOffsets;
  int32_t batchBoneMax;
  int32_t batchCount;                    // 0 for a rigid mesh
  CBatchVertexRange* batchVertexRanges;  // batchVertexRangeCount entries, by first triangle
  int32_t batchVertexRangeCount;
};
