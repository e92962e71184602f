// CPU skinning: the shipped blend against the plain definition, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kit/scene_builder.h"
#include "render/render_mesh.h"
#include "render/skin_reference.h"
#include "scene/ModelPOD.h"

namespace {

void RandomPalette(std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-2.0f, 2.0f);
  for (MATRIX& m : matrix_palette) {
    for (float& f : m.f) f = d(rng);
    m.f[3] = m.f[7] = m.f[11] = 0.0f;
    m.f[15] = 1.0f;
  }
}

bool SameBits(const VECTOR3& a, const VECTOR3& b) { return std::memcmp(&a, &b, 12) == 0; }

// Skins faces [first, first + count) of `m` on both paths and holds every
// vertex they draw (every vertex of a strip mesh) to the definition, bit for
// bit, points and normals alike.
void ExpectSkinnedAsDefined(const SPODMesh& m, int first, int count) {
  const int n = static_cast<int>(m.vertexCount), slots = static_cast<int>(m.boneIndices.componentCount);
  const float* w = reinterpret_cast<const float*>(m.boneWeights.data);
  std::vector<VECTOR3> refP(n), refN(n);
  ReferenceWeightedTransform(refP.data(), 12, reinterpret_cast<const VECTOR3*>(m.vertices.data),
                             static_cast<int>(m.vertices.stride), n, m.boneIndices.data,
                             static_cast<int>(m.boneIndices.stride), w, static_cast<int>(m.boneWeights.stride), slots,
                             matrix_palette, false);
  ReferenceWeightedTransform(refN.data(), 12, reinterpret_cast<const VECTOR3*>(m.normals.data),
                             static_cast<int>(m.normals.stride), n, m.boneIndices.data,
                             static_cast<int>(m.boneIndices.stride), w, static_cast<int>(m.boneWeights.stride), slots,
                             matrix_palette, true);
  std::vector<int> drawn;
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
  if (m.stripCount)
    for (int v = 0; v < n; ++v) drawn.push_back(v);
  else
    for (int k = 3 * first; k < 3 * (first + count); ++k) drawn.push_back(idx[k]);
  EXPECT_FALSE(drawn.empty());
  for (bool avx : {true, false}) {
    SCOPED_TRACE(SkinUseAvx(avx) ? "avx" : "portable");
    const VECTOR3* normals = nullptr;
    const VECTOR3* positions = SkinMeshP(&m, first, count, &normals);
    ASSERT_NE(normals, nullptr);
    for (int v : drawn) {
      ASSERT_TRUE(SameBits(refP[v], positions[v])) << "vertex " << v;
      ASSERT_TRUE(SameBits(refN[v], normals[v])) << "vertex " << v;
    }
  }
  SkinUseAvx(true);
}

TEST(Skinning, WeightedTransformsMatchTheDefinitionBitForBit) {
  std::mt19937 rng(7);
  RandomPalette(rng);
  std::uniform_real_distribution<float> d(-10.0f, 10.0f), w(0.0f, 1.0f);
  std::uniform_int_distribution<int> bone(0, 63);
  // Interleaved input: 7 floats a vertex with the point at offset 8, as an
  // exporter's packed buffer might hold it; 5 slots with a padded stride.
  const int n = 257, slots = 5, inStride = 28, boneStride = 6, weightStride = 24;
  std::vector<uint8_t> in(n * inStride), bones(n * boneStride), weights(n * weightStride);
  for (int v = 0; v < n; ++v) {
    for (int k = 0; k < 7; ++k) {
      const float f = d(rng);
      std::memcpy(&in[v * inStride + 4 * k], &f, 4);
    }
    for (int s = 0; s < slots; ++s) {
      bones[v * boneStride + s] = static_cast<uint8_t>(bone(rng));
      const float f = w(rng);
      std::memcpy(&weights[v * weightStride + 4 * s], &f, 4);
    }
  }
  const VECTOR3* points = reinterpret_cast<const VECTOR3*>(in.data() + 8);
  const float* wts = reinterpret_cast<const float*>(weights.data());
  for (bool direction : {false, true}) {
    std::vector<VECTOR3> ref(n), got(n);
    ReferenceWeightedTransform(ref.data(), 12, points, inStride, n, bones.data(), boneStride, wts, weightStride, slots,
                               matrix_palette, direction);
    if (direction)
      TransVec3TransformWeightedArrayN(got.data(), 12, points, inStride, n, bones.data(), boneStride, wts, weightStride,
                                       slots);
    else
      TransVec3TransformWeightedArray(got.data(), 12, points, inStride, n, bones.data(), boneStride, wts, weightStride,
                                      slots);
    for (int v = 0; v < n; ++v) ASSERT_TRUE(SameBits(ref[v], got[v])) << "vertex " << v << " direction " << direction;
  }

  // The drawing's own pass does points and normals together, on both paths.
  SPODMesh mesh{};
  mesh.vertexCount = n;
  mesh.stripCount = 1;  // strips skin every vertex
  mesh.vertices = {EPODDataFloat, 3, static_cast<uint32_t>(inStride), in.data() + 8};
  mesh.normals = {EPODDataFloat, 3, static_cast<uint32_t>(inStride), in.data() + 4};
  mesh.boneIndices = {EPODDataUnsignedByte, static_cast<uint32_t>(slots), static_cast<uint32_t>(boneStride),
                      bones.data()};
  mesh.boneWeights = {EPODDataFloat, static_cast<uint32_t>(slots), static_cast<uint32_t>(weightStride), weights.data()};
  ExpectSkinnedAsDefined(mesh, 0, 1);
}

// The drawing leaves out zero weights where that keeps the bits: vertices
// with one to all slots weighted, on both paths, also when a left-out slot's
// matrix holds a NaN or an infinity, or a coordinate is so large that a
// left-out term would overflow (zero times either is NaN in the definition).
TEST(Skinning, LeavingOutZeroWeightsKeepsTheBitsWhateverTheValues) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-10.0f, 10.0f), w(0.05f, 1.0f);
  std::uniform_int_distribution<int> bone(0, 62), used(1, 5);
  for (int slots : {4, 5}) {
    const int n = 300;
    std::vector<float> pos(3 * n), nrm(3 * n), weights(n * slots);
    std::vector<uint8_t> bones(n * slots);
    for (float& f : pos) f = d(rng);
    for (float& f : nrm) f = d(rng);
    for (int v = 0; v < n; ++v) {
      const int u = std::min(used(rng), slots);
      for (int s = 0; s < slots; ++s) {
        bones[v * slots + s] = static_cast<uint8_t>(bone(rng));
        weights[v * slots + s] = s < u ? w(rng) : 0.0f;
      }
    }
    SPODMesh mesh{};
    mesh.vertexCount = n;
    mesh.stripCount = 1;
    mesh.vertices = {EPODDataFloat, 3, 12, reinterpret_cast<uint8_t*>(pos.data())};
    mesh.normals = {EPODDataFloat, 3, 12, reinterpret_cast<uint8_t*>(nrm.data())};
    mesh.boneIndices = {EPODDataUnsignedByte, static_cast<uint32_t>(slots), static_cast<uint32_t>(slots), bones.data()};
    mesh.boneWeights = {EPODDataFloat, static_cast<uint32_t>(slots), static_cast<uint32_t>(4 * slots),
                        reinterpret_cast<uint8_t*>(weights.data())};
    // Palette entry 63 is named only by the last slot of vertex 0, whose
    // weight is zero; the cases below also change vertex 0's x.
    const uint8_t lonely = 63;
    weights[slots - 1] = 0.0f;
    bones[slots - 1] = lonely;
    struct Case {
      const char* what;
      float element, x;
    };
    for (const Case& c :
         {Case{"plain", 1.0f, 1.0f}, Case{"NaN matrix", NAN, 1.0f}, Case{"infinite matrix", INFINITY, 1.0f},
          Case{"overflow", 1e30f, 1e30f}, Case{"NaN point", 1.0f, NAN}}) {
      RandomPalette(rng);
      matrix_palette[lonely].f[0] = c.element;
      pos[0] = c.x;
      SCOPED_TRACE(std::string(c.what) + " slots " + std::to_string(slots));
      ExpectSkinnedAsDefined(mesh, 0, 1);
    }
  }
}

// The drawing skins only what a batch draws; for those vertices the result
// must be exactly the whole-mesh blend.
TEST(Skinning, BatchRangeEqualsWholeMeshBlendForEveryDrawnVertex) {
  CPODScene scene;
  testkit::BuildSkinnedGrid(scene, 10000, 40, 4, 4);
  const SPODMesh& m = scene.meshes[0];
  std::mt19937 rng(11);
  const CBoneBatches& bb = m.boneBatches;
  ASSERT_EQ(bb.batchCount, 2);
  for (int b = 0; b < bb.batchCount; ++b) {
    SCOPED_TRACE("batch " + std::to_string(b));
    RandomPalette(rng);
    const int first = bb.batchOffsets[b];
    const int end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : static_cast<int>(m.faceCount);
    ExpectSkinnedAsDefined(m, first, end - first);
  }
}

// A frame blends her twice, once for where she lands and once to draw: the
// second pass takes the first one's results while nothing changed, and
// blends afresh when a palette entry its vertices name has changed.
TEST(Skinning, KeptBlendIsTakenOnlyWhileItsPaletteHolds) {
  CPODScene scene;
  testkit::BuildSkinnedGrid(scene, 10000, 40, 4, 4);
  SPODMesh& m = scene.meshes[0];
  const CBoneBatches& bb = m.boneBatches;
  ASSERT_EQ(bb.batchCount, 2);
  std::mt19937 rng(5);
  RandomPalette(rng);
  const int split = bb.batchOffsets[1], faces = static_cast<int>(m.faceCount);
  SkinKeepBegin();
  // The first pass, both batches.
  SkinMeshP(&m, 0, split, nullptr);
  SkinMeshP(&m, split, faces - split, nullptr);
  // The second pass takes what the first kept: a moved vertex (which the
  // caller promises not to do) is not seen, and neither is a palette entry
  // no vertex of the batch names.
  const uint16_t v = reinterpret_cast<const uint16_t*>(m.faces.data)[0];
  float* moved = reinterpret_cast<float*>(m.vertices.data + v * m.vertices.stride);
  const float was = *moved;
  const VECTOR3 kept = SkinMeshP(&m, 0, split, nullptr)[v];
  *moved += 1.0f;
  int unnamed = kMatrixPaletteSize - 1;
  for (int k = 0; k < static_cast<int>(m.vertexCount * m.boneIndices.componentCount); ++k)
    ASSERT_NE(m.boneIndices.data[k] & (kMatrixPaletteSize - 1), unnamed);
  matrix_palette[unnamed].f[12] += 3.0f;
  EXPECT_TRUE(SameBits(SkinMeshP(&m, 0, split, nullptr)[v], kept));
  // A named entry changed: blended afresh, as defined (both calls of the
  // check, the second one taken from what the first kept).
  matrix_palette[m.boneIndices.data[v * m.boneIndices.stride]].f[12] += 3.0f;
  ExpectSkinnedAsDefined(m, 0, split);
  // Outside the window every call blends.
  SkinKeepEnd();
  *moved = was;
  ExpectSkinnedAsDefined(m, 0, split);
  ExpectSkinnedAsDefined(m, split, faces - split);
}

// A 65535-vertex strip mesh skins every vertex (strips draw whole) without
// touching the stack for its scratch arrays.
TEST(Skinning, LargestMeshSkinsWholeWhenDrawnAsStrips) {
  SPODMesh m{};
  const int n = 65535;
  std::vector<float> pos(3 * n), nrm(3 * n, 0.0f), weights(n, 1.0f);
  for (int v = 0; v < n; ++v) {
    pos[3 * v] = static_cast<float>(v);
    nrm[3 * v + 2] = 1.0f;
  }
  testkit::SetFloats(m.vertices, 3, pos);
  testkit::SetFloats(m.normals, 3, nrm);
  testkit::SetFloats(m.boneWeights, 1, weights);
  testkit::SetBytes(m.boneIndices, 1, std::vector<uint8_t>(n, 0));
  m.vertexCount = n;
  m.stripCount = 1;
  MatrixTranslation(matrix_palette[0], 0.0f, 5.0f, 0.0f);
  const VECTOR3* normals = nullptr;
  const VECTOR3* out = SkinMeshP(&m, 0, 1, &normals);
  EXPECT_EQ(out[n - 1].x, static_cast<float>(n - 1));
  EXPECT_EQ(out[n - 1].y, 5.0f);
  EXPECT_EQ(out[0].y, 5.0f);
  EXPECT_EQ(normals[n - 1].z, 1.0f);
  for (CPODData* d : {&m.vertices, &m.normals, &m.boneWeights, &m.boneIndices}) free(d->data);
}

}  // namespace
