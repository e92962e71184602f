// Skinning batches of a mesh: which bones each run of triangles uses.
//
// Batch b draws triangles batchOffsets[b] up to the next batch's offset (the
// last one up to the mesh's faceCount) with the bones
// batches[b * batchBoneMax .. + batchBoneCounts[b]] (node indices). A
// vertex's bone indices are slots in its batch's list.
//
// batchVertexRanges is derived, not stored in files: made once a scene is
// complete (CPODScene::InitImpl, through PODMakeBatchVertexRanges), it holds
// for each batch the first vertex its triangles use and one past the last,
// so the skinning need not scan a batch's indices every frame. Null for
// meshes that are not indexed triangle lists.
#pragma once

#include <cstdint>

struct CBoneBatches {
  int32_t* batches;
  int32_t* batchBoneCounts;
  int32_t* batchOffsets;
  int32_t batchBoneMax;
  int32_t batchCount;  // 0 for a rigid mesh
  int32_t* batchVertexRanges;  // 2 per batch: [first, end) of the vertices used
};
