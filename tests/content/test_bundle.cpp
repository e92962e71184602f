// The generated bundle: files, the model contract, the shared texture layout
// and reproducible output.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "content/content_util.h"
#include "girlgen.h"
#include "scene/mesh_shells.h"

using namespace content;

namespace {

TEST(ContentBundle, EveryPictureDecodesAtOnePowerOfTwoSize) {
  for (const std::string& file : kPictures) {
    SCOPED_TRACE(file);
    Picture p;
    ASSERT_TRUE(LoadPicture(ResourcePath(file), p));
    EXPECT_EQ(p.w, 1024);
    EXPECT_EQ(p.h, 1024);
    EXPECT_EQ(p.bitDepth, 8);
    // The compositing walks at least 3 bytes a pixel; masks are RGB PNG.
    EXPECT_EQ(p.channels, 3);
  }
}

TEST(ContentBundle, MasksAreGreyWithBothCoveredAndFreeTexels) {
  for (const char* name : {kHairColours[0].mask, kOutfitClothes[0].mask, kOutfitClothes[1].mask, kOutfitClothes[2].mask,
                           kOutfitClothes[3].mask}) {
    SCOPED_TRACE(name);
    Picture p;
    ASSERT_TRUE(LoadPicture(ResourcePath(name), p));
    size_t white = 0, black = 0;
    bool grey = true;
    for (size_t i = 0; i < p.px.size(); i += 3) {
      grey = grey && p.px[i] == p.px[i + 1] && p.px[i] == p.px[i + 2];
      white += p.px[i] == 255;
      black += p.px[i] == 0;
    }
    EXPECT_TRUE(grey);
    EXPECT_GT(white, 10000u);
    EXPECT_GT(black, 10000u);
  }
}

class ModelContract : public ::testing::TestWithParam<int> {};

TEST_P(ModelContract, LoadsAsOneSkinnedIndexedTriangleList) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene) << kModels[GetParam()];
  ASSERT_EQ(scene->meshNodeCount, 1u);
  ASSERT_EQ(scene->meshCount, 1u);
  const SPODMesh& m = scene->meshes[scene->nodes[0].meshIndex];
  EXPECT_EQ(m.stripCount, 0u);
  EXPECT_EQ(m.interleaved, nullptr);
  ASSERT_EQ(m.uvwCount, 1u);
  ASSERT_NE(m.boneWeights.data, nullptr);
  EXPECT_EQ(m.boneIndices.componentCount, m.boneWeights.componentCount);
  // Type, components and stride of each array: packed, as the physics and
  // the normal fix-up read them without strides.
  auto shape = [](const CPODData& d) { return std::vector<uint32_t>{d.type, d.componentCount, d.stride}; };
  EXPECT_EQ(shape(m.vertices), (std::vector<uint32_t>{EPODDataFloat, 3, 12}));
  EXPECT_EQ(shape(m.normals), (std::vector<uint32_t>{EPODDataFloat, 3, 12}));
  EXPECT_EQ(shape(m.uvws[0]), (std::vector<uint32_t>{EPODDataFloat, 2, 8}));
  EXPECT_EQ(shape(m.colours), (std::vector<uint32_t>{EPODDataARGB, 1, 4}));
  EXPECT_EQ((std::vector<uint32_t>{m.faces.type, m.boneIndices.type, m.boneWeights.type}),
            (std::vector<uint32_t>{EPODDataUnsignedShort, EPODDataUnsignedByte, EPODDataFloat}));
  // Smooth, yet cheap enough to skin on the CPU every frame (her face rig's
  // eyes, lids and mouth included).
  EXPECT_GE(m.vertexCount, 6000u);
  EXPECT_LE(m.vertexCount, 12500u);
  EXPECT_GE(scene->frameCount, 345u);
}

TEST_P(ModelContract, BatchesStayWithinThePaletteAndWeightsAreWhole) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const SPODMesh& m = scene->meshes[0];
  const CBoneBatches& bb = m.boneBatches;
  ASSERT_GE(bb.batchCount, 1);
  EXPECT_EQ(bb.batchOffsets[0], 0);
  for (int b = 0; b < bb.batchCount; ++b) {
    EXPECT_LE(bb.batchBoneCounts[b], 64);
    for (int j = 0; j < bb.batchBoneCounts[b]; ++j) {
      const int node = bb.batches[b * bb.batchBoneMax + j];
      EXPECT_GE(node, static_cast<int>(scene->meshNodeCount));
      EXPECT_LT(node, static_cast<int>(scene->nodeCount));
    }
  }
  const int slots = static_cast<int>(m.boneIndices.componentCount);
  ASSERT_LE(slots, 4);
  for (int b = 0; b < bb.batchCount; ++b) {
    const int first = bb.batchOffsets[b];
    const int end = b + 1 < bb.batchCount ? bb.batchOffsets[b + 1] : static_cast<int>(m.faceCount);
    const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
    for (int t = first * 3; t < end * 3; ++t) {
      const uint8_t* bi = m.boneIndices.data + idx[t] * m.boneIndices.stride;
      for (int s = 0; s < slots; ++s) ASSERT_LT(bi[s], bb.batchBoneCounts[b]);
    }
  }
  for (uint32_t v = 0; v < m.vertexCount; ++v) {
    const float* w = reinterpret_cast<const float*>(m.boneWeights.data + v * m.boneWeights.stride);
    float sum = 0;
    for (int s = 0; s < slots; ++s) {
      EXPECT_GE(w[s], 0.0f);
      sum += w[s];
    }
    // Weights that do not add up to 1 pull the vertex towards the origin.
    ASSERT_NEAR(sum, 1.0f, 1e-4f) << "vertex " << v;
  }
}

TEST_P(ModelContract, OneTexturedMaterialThatTakesTheComposite) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->materialCount, 1u);
  EXPECT_EQ(scene->nodes[0].materialIndex, 0);
  const SPODMaterial& mat = scene->materials[0];
  // A scene texture index is what ReplaceAllMaterials swaps for the composite.
  ASSERT_GE(mat.textureIndex, 0);
  EXPECT_LT(static_cast<uint32_t>(mat.textureIndex), scene->textureCount);
  ASSERT_NE(mat.name, nullptr);
  EXPECT_EQ(std::strstr(mat.name, "alpha"), nullptr);
  EXPECT_EQ(std::strstr(mat.name, "const"), nullptr);
}

TEST_P(ModelContract, NormalsAreUnitAndFacesAreNotDegenerate) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const SPODMesh& m = scene->meshes[0];
  const float* n = reinterpret_cast<const float*>(m.normals.data);
  for (uint32_t v = 0; v < m.vertexCount; ++v)
    ASSERT_NEAR(std::sqrt(n[v * 3] * n[v * 3] + n[v * 3 + 1] * n[v * 3 + 1] + n[v * 3 + 2] * n[v * 3 + 2]), 1.0f,
                1e-3f);
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
  for (uint32_t t = 0; t < m.faceCount; ++t) {
    ASSERT_NE(idx[t * 3], idx[t * 3 + 1]);
    ASSERT_NE(idx[t * 3 + 1], idx[t * 3 + 2]);
    ASSERT_NE(idx[t * 3], idx[t * 3 + 2]);
  }
}

// Her body's triangles follow her surface wherever the mesh is made
// sparser: they face outwards (no fold or turned triangle), close up into
// shells, and their middles
// lie on average a small fraction of a pixel from the surface at the default
// camera (where a unit is about a pixel); only in the creases where two
// parts blend (under the arms, between the legs) a few lie further off.
TEST_P(ModelContract, BodyTrianglesHugTheSurfaceFaceOutwardsAndClose) {
  auto scene = LoadModel(kModels[GetParam()]);
  ASSERT_TRUE(scene);
  const auto outfit = static_cast<girlgen::Outfit>(GetParam());
  const SPODMesh& m = scene->meshes[0];
  const float* pos = reinterpret_cast<const float*>(m.vertices.data);
  const uint16_t* idx = reinterpret_cast<const uint16_t*>(m.faces.data);
  auto at = [&](uint16_t v) { return girlgen::V3(pos[v * 3], pos[v * 3 + 1], pos[v * 3 + 2]); };
  int body = 0, off = 0;
  double sum = 0;
  for (uint32_t t = 0; t < m.faceCount; ++t) {
    const girlgen::V3 a = at(idx[t * 3]), b = at(idx[t * 3 + 1]), c = at(idx[t * 3 + 2]);
    bool onBody = true;
    for (const girlgen::V3& p : {a, b, c}) onBody = onBody && std::fabs(girlgen::BodyDistance(outfit, p)) < 0.05f;
    if (!onBody) continue;
    ++body;
    const girlgen::V3 mid = (a + b + c) * (1.0f / 3.0f);
    const float d = std::fabs(girlgen::BodyDistance(outfit, mid));
    sum += d;
    off += d > 0.5f;
    ASSERT_GT(girlgen::Dot(girlgen::Cross(b - a, c - a), girlgen::BodyNormal(outfit, mid)), 0.0f) << "triangle " << t;
  }
  EXPECT_GT(body, static_cast<int>(m.faceCount) / 3);
  EXPECT_LT(sum / body, 0.15);
  EXPECT_LT(off, body / 20);
  // Body, hands and hair are closed shells, stored before the face rig's
  // parts: the draw culls what they hide, nearly all of her.
  const MeshShells shells = FindShells(m);
  EXPECT_EQ(shells.closedLeading, m.closedFaces);
  EXPECT_EQ(shells.sheetEdges, 0u);
  EXPECT_GT(m.closedFaces, m.faceCount / 10 * 9);
}

INSTANTIATE_TEST_SUITE_P(Outfits, ModelContract, ::testing::Range(0, 4));

// Every model samples the same pictures: her face, her hair and the skin
// under the clothes must land on the same texels whatever she wears.
TEST(ContentLayout, AllModelsShareOneTextureLayout) {
  Picture hairMask;
  ASSERT_TRUE(LoadPicture(ResourcePath(kHairColours[0].mask), hairMask));
  Picture outfitMask[kCatalogOptions];
  for (int o = 0; o < kCatalogOptions; ++o)
    ASSERT_TRUE(LoadPicture(ResourcePath(kOutfitClothes[o].mask), outfitMask[o]));
  for (int o = 0; o < 4; ++o) {
    SCOPED_TRACE(kModels[o]);
    auto scene = LoadModel(kModels[o]);
    ASSERT_TRUE(scene);
    const SPODMesh& m = scene->meshes[0];
    const float* pos = reinterpret_cast<const float*>(m.vertices.data);
    const float* uv = reinterpret_cast<const float*>(m.uvws[0].data);
    int crown = 0, face = 0;
    for (uint32_t v = 0; v < m.vertexCount; ++v) {
      const float u = uv[v * 2], t = uv[v * 2 + 1];
      ASSERT_TRUE(u >= 0.0f && u <= 1.0f && t >= 0.0f && t <= 1.0f) << "vertex " << v << " at " << u << ", " << t;
      // Inside one of the charts, never in unused space.
      const float px = u * girlgen::kTexSize, py = (1.0f - t) * girlgen::kTexSize;
      bool inChart = false;
      for (const girlgen::AtlasRect& r : girlgen::kAtlas)
        inChart = inChart || (px >= r.x - 1 && px <= r.x + r.w + 1 && py >= r.y - 1 && py <= r.y + r.h + 1);
      for (const girlgen::AtlasRect& r : girlgen::kFaceAtlas)
        inChart = inChart || (px >= r.x - 1 && px <= r.x + r.w + 1 && py >= r.y - 1 && py <= r.y + r.h + 1);
      ASSERT_TRUE(inChart) << "vertex " << v << " at " << u << ", " << t;
      const float x = pos[v * 3], y = pos[v * 3 + 1], z = pos[v * 3 + 2];
      if (y > 364.0f) {  // the crown of her head (above the scalp) is hair in every outfit
        ++crown;
        EXPECT_EQ(MaskAt(hairMask, u, t), 255) << "vertex " << v;
      }
      if (z > 19.0f && y > 306.0f && y < 328.0f && std::fabs(x) < 10.0f) {  // the face: skin only
        ++face;
        EXPECT_EQ(MaskAt(hairMask, u, t), 0) << "vertex " << v;
        EXPECT_EQ(MaskAt(outfitMask[o], u, t), 0) << "vertex " << v;
      }
    }
    EXPECT_GT(crown, 20);
    EXPECT_GT(face, 20);
  }
}

}  // namespace

// A garment's edge is a line on her body, not on the texture charts: where
// the mesh splits one position into copies in two charts (or across the wrap
// of one chart), every copy must find the same coverage in the outfit mask.
// Copies that disagree are where an edge breaks into triangle-sized steps.
TEST(ContentLayout, ChartCopiesOfOnePositionAgreeOnGarmentCover) {
  for (int o = 0; o < kCatalogOptions; ++o) {
    SCOPED_TRACE(kModels[o]);
    Picture mask;
    ASSERT_TRUE(LoadPicture(ResourcePath(kOutfitClothes[o].mask), mask));
    auto scene = LoadModel(kModels[o]);
    ASSERT_TRUE(scene);
    const SPODMesh& m = scene->meshes[0];
    const float* pos = reinterpret_cast<const float*>(m.vertices.data);
    const float* uv = reinterpret_cast<const float*>(m.uvws[0].data);
    auto cover = [&](uint32_t v) { return static_cast<int>(MaskAt(mask, uv[v * 2], uv[v * 2 + 1])); };
    std::map<std::array<float, 3>, std::vector<uint32_t>> copies;
    for (uint32_t v = 0; v < m.vertexCount; ++v) copies[{pos[v * 3], pos[v * 3 + 1], pos[v * 3 + 2]}].push_back(v);
    int pairs = 0, torn = 0;
    std::string where;
    for (const auto& c : copies) {
      for (size_t i = 1; i < c.second.size(); ++i) {
        ++pairs;
        if (std::abs(cover(c.second[0]) - cover(c.second[i])) > 160) {
          if (torn++ < 8)
            where += " (" + std::to_string(c.first[0]) + ", " + std::to_string(c.first[1]) + ", " +
                     std::to_string(c.first[2]) + ")";
        }
      }
    }
    ASSERT_GT(pairs, 200) << "the charts meet somewhere";
    // A handful may sit exactly on an edge's soft rim and round either way.
    EXPECT_LE(torn, 6) << torn << " of " << pairs << " copies disagree, e.g. at" << where;
  }
}
