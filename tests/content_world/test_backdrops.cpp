// The four backdrops, read with the system's own scene reader and picture
// loader: structure, materials, textures, the floor under her, the walls
// round the camera, and motion that loops without a jump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "content_files.h"
#include "files/bundle.h"
#include "scene/ModelPOD.h"
#include "texture/gamelib.h"

namespace {

struct Tri {
  float a[3], b[3], c[3];
};

std::string BaseName(const std::string& n) {
  size_t cut = n.find_last_of("/\\");
  return cut == std::string::npos ? n : n.substr(cut + 1);
}

void Transform(const MATRIX& m, const float* p, float* out) {
  for (int i = 0; i < 3; ++i) out[i] = p[0] * m.f[i] + p[1] * m.f[4 + i] + p[2] * m.f[8 + i] + m.f[12 + i];
}

// Every triangle of every drawn node, in scene space at the current frame.
std::vector<Tri> Triangles(CPODScene& s) {
  std::vector<Tri> tris;
  for (uint32_t i = 0; i < s.meshNodeCount; ++i) {
    const SPODMesh& m = s.meshes[s.nodes[i].meshIndex];
    MATRIX w;
    s.GetWorldMatrix(w, s.nodes[i]);
    const float* v = reinterpret_cast<const float*>(m.vertices.data);
    const uint16_t* f = reinterpret_cast<const uint16_t*>(m.faces.data);
    for (uint32_t t = 0; t < m.faceCount; ++t) {
      Tri tri;
      Transform(w, v + 3 * f[3 * t], tri.a);
      Transform(w, v + 3 * f[3 * t + 1], tri.b);
      Transform(w, v + 3 * f[3 * t + 2], tri.c);
      tris.push_back(tri);
    }
  }
  return tris;
}

// Distances along the ray (origin o, unit direction d) at which it meets a triangle.
std::vector<float> Hits(const std::vector<Tri>& tris, const float o[3], const float d[3]) {
  std::vector<float> hits;
  for (const Tri& t : tris) {
    float e1[3], e2[3], p[3], q[3], s[3];
    for (int i = 0; i < 3; ++i) {
      e1[i] = t.b[i] - t.a[i];
      e2[i] = t.c[i] - t.a[i];
      s[i] = o[i] - t.a[i];
    }
    p[0] = d[1] * e2[2] - d[2] * e2[1];
    p[1] = d[2] * e2[0] - d[0] * e2[2];
    p[2] = d[0] * e2[1] - d[1] * e2[0];
    float det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (std::fabs(det) < 1e-9f) continue;
    float u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) / det;
    if (u < 0 || u > 1) continue;
    q[0] = s[1] * e1[2] - s[2] * e1[1];
    q[1] = s[2] * e1[0] - s[0] * e1[2];
    q[2] = s[0] * e1[1] - s[1] * e1[0];
    float v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
    if (v < 0 || u + v > 1) continue;
    float dist = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
    if (dist > 0) hits.push_back(dist);
  }
  return hits;
}

class Backdrops : public ::testing::TestWithParam<const char*> {
 protected:
  CPODScene scene;
  void SetUp() override {
    BundleSetRoot(BundleDir().c_str());
    std::string path;
    ASSERT_TRUE(BundlePathForResource(GetParam(), "POD", path)) << GetParam();
    ASSERT_TRUE(scene.ReadFromFile(path.c_str())) << path;
  }
  void TearDown() override { BundleSetRoot(nullptr); }
};

}  // namespace

TEST_P(Backdrops, AreCompleteScenesWithALoopAndEveryNodeDrawn) {
  EXPECT_GT(scene.frameCount, 1u);
  EXPECT_GT(scene.meshNodeCount, 5u);
  EXPECT_EQ(scene.meshNodeCount, scene.nodeCount);
  for (uint32_t i = 0; i < scene.meshNodeCount; ++i) {
    const SPODNode& n = scene.nodes[i];
    SCOPED_TRACE(n.name ? n.name : "?");
    ASSERT_LT(uint32_t(n.materialIndex), scene.materialCount);
    const SPODMesh& m = scene.meshes[n.meshIndex];
    EXPECT_EQ(m.vertices.type, uint32_t(EPODDataFloat));
    EXPECT_EQ(m.faces.type, uint32_t(EPODDataUnsignedShort));
    EXPECT_NE(m.normals.data, nullptr) << "lit meshes need normals";
    ASSERT_EQ(m.uvwCount, 1u);
    EXPECT_EQ(m.uvws[0].type, uint32_t(EPODDataFloat));
  }
}

TEST_P(Backdrops, UseBlendedAndUnlitMaterialsAndSensibleLitColours) {
  int alpha = 0, unlit = 0;
  for (uint32_t i = 0; i < scene.materialCount; ++i) {
    const SPODMaterial& m = scene.materials[i];
    ASSERT_NE(m.name, nullptr);
    SCOPED_TRACE(m.name);
    bool isAlpha = std::strstr(m.name, "alpha") != nullptr;
    bool isConst = !isAlpha && std::strstr(m.name, "const") != nullptr;
    alpha += isAlpha;
    unlit += isConst;
    if (isConst) {
      EXPECT_GE(m.textureIndex, 0) << "an unlit surface shows its picture";
      continue;
    }
    float ambient = 0, diffuse = 0;
    for (int c = 0; c < 3; ++c) {
      for (float v : {m.ambient[c], m.diffuse[c], m.specular[c]}) EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << v;
      ambient += m.ambient[c];
      diffuse += m.diffuse[c];
    }
    EXPECT_GT(ambient, 0.3f) << "too dark to read under the scene light";
    EXPECT_GT(diffuse, 0.1f) << "no shading from the key light";
    // Ambient light 0.65 and key light 0.8: a face towards the light must not burn out completely.
    for (int c = 0; c < 3; ++c) EXPECT_LE(0.65f * m.ambient[c] + 0.8f * m.diffuse[c], 1.25f);
    EXPECT_GE(m.shininess, 0.0f);
    EXPECT_LE(m.shininess, 128.0f);
  }
  EXPECT_GE(alpha, 1);
  EXPECT_GE(unlit, 1);
}

TEST_P(Backdrops, TextureNamesResolveToPowerOfTwoBundlePictures) {
  int withFolder = 0;
  for (uint32_t t = 0; t < scene.textureCount; ++t) {
    std::string name = scene.textures[t];
    SCOPED_TRACE(name);
    std::string base = BaseName(name);
    withFolder += base != name;
    std::string path;
    ASSERT_TRUE(BundlePathForResource(base.c_str(), nullptr, path));
    tag_TexPicDesc d = {0, 0, 0};
    unsigned char* px = ReadPictureData(base.c_str(), &d);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ((d.xs & (d.xs - 1)) | (d.ys & (d.ys - 1)), 0) << d.xs << " x " << d.ys;
    // Pictures of blended materials must carry real transparency.
    bool usedByAlpha = false;
    for (uint32_t i = 0; i < scene.materialCount; ++i)
      if (scene.materials[i].textureIndex == int32_t(t) && std::strstr(scene.materials[i].name, "alpha"))
        usedByAlpha = true;
    if (usedByAlpha) {
      int seeThrough = 0;
      for (int i = 0; i < d.xs * d.ys; ++i) seeThrough += px[i * 4 + 3] < 250;
      EXPECT_GT(seeThrough, d.xs * d.ys / 20);
    }
    std::free(px);
  }
  EXPECT_GE(withFolder, 1) << "names are written as an exporter writes them, with folders";
}

TEST_P(Backdrops, HaveAFloorWhereSheStandsUnderHerWholeShadow) {
  std::vector<Tri> tris = Triangles(scene);
  const float down[3] = {0, -1, 0};
  // The shadow disc is centred 8 units to her right and reaches 96 out.
  for (float dx : {-96.0f, 0.0f, 96.0f})
    for (float dz : {-96.0f, 0.0f, 96.0f}) {
      const float o[3] = {-8 + dx, 300, dz};
      std::vector<float> hits = Hits(tris, o, down);
      ASSERT_FALSE(hits.empty()) << "nothing under (" << o[0] << ", " << o[2] << ")";
      float first = *std::min_element(hits.begin(), hits.end());
      EXPECT_NEAR(300 - first, 0.0f, 0.5f) << "the first surface below is not the floor at height 0";
    }
}

TEST_P(Backdrops, MotionLoopsWithoutAJump) {
  const int n = int(scene.frameCount);
  std::vector<std::vector<MATRIX>> world(scene.nodeCount, std::vector<MATRIX>(size_t(n)));
  for (int k = 0; k < n; ++k) {
    scene.SetFrame(float(k));
    for (uint32_t i = 0; i < scene.nodeCount; ++i) scene.GetWorldMatrix(world[i][size_t(k)], scene.nodes[i]);
  }
  auto step = [](const MATRIX& a, const MATRIX& b) {
    float d = 0;
    for (int e = 0; e < 16; ++e) d = std::max(d, std::fabs(a.f[e] - b.f[e]) * (e >= 12 ? 0.01f : 1.0f));
    return d;
  };
  int moving = 0;
  for (uint32_t i = 0; i < scene.nodeCount; ++i) {
    SCOPED_TRACE(scene.nodes[i].name);
    float biggest = 0;
    for (int k = 0; k + 1 < n; ++k) biggest = std::max(biggest, step(world[i][size_t(k)], world[i][size_t(k + 1)]));
    float wrap = step(world[i][size_t(n - 1)], world[i][0]);
    if (biggest > 0) ++moving;
    // Played in a loop, frame n-1 is followed by frame 0: that step must look like any other.
    EXPECT_LE(wrap, biggest * 1.5f + 1e-5f);
  }
  EXPECT_GE(moving, 1) << "nothing moves";
}

TEST_P(Backdrops, LeaveTheCamerasSpaceAroundHerFree) {
  // The camera can be anywhere within about 640 of her (distance 150..600, pan
  // up to 200 aside) at heights 30..400; a wall or a chair there would fill
  // the whole view or cut it open.
  std::vector<Tri> tris = Triangles(scene);
  for (float h : {30.0f, 100.0f, 200.0f, 300.0f, 400.0f})
    for (int k = 0; k < 72; ++k) {
      float a = float(k) * float(M_PI) / 36;
      const float o[3] = {0, h, 0}, d[3] = {std::sin(a), 0, std::cos(a)};
      std::vector<float> hits = Hits(tris, o, d);
      ASSERT_FALSE(hits.empty());
      EXPECT_GT(*std::min_element(hits.begin(), hits.end()), 650.0f)
          << "something stands " << *std::min_element(hits.begin(), hits.end()) << " from her towards " << k * 5
          << " degrees at height " << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Bundle, Backdrops, ::testing::ValuesIn(kOutfitBackdrops),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });
