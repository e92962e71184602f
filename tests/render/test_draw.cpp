// Mesh and node drawing and the ground shadow on a real ES 1.1 context: what
// the goldens do not show (the modelview a node draw leaves, skinned meshes
// without normals, the shadow's blend and index cap) and model loading.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "render/env_light.h"
#include "kit/gl_test.h"
#include "kit/pictures.h"
#include "kit/temp_bundle.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
#include "kit/scene_builder.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"
#include "texture/gamelib.h"

namespace {

using testkit::GLTest;

class Drawing : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
};

TEST_F(Drawing, EmptySceneAndSkinnedMeshWithoutNormalsDrawSafely) {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  CPODScene empty;
  DrawModel(&empty, 3.0f);
  DrawModel(nullptr, 0.0f);
  EXPECT_EQ(PixelAt(64, 64)[0], 0);

  // Skinning needs no normals to place the vertices; the mesh is drawn
  // without a normal array instead of reading a missing one.
  CPODScene sheet;
  testkit::BuildSkinnedSheet(sheet);
  free(sheet.meshes[0].normals.data);
  sheet.meshes[0].normals = CPODData{};
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(-3.0f, 3.0f, -1.0f, 5.0f, -10.0f, 10.0f);
  glMatrixMode(GL_MODELVIEW);
  DrawModel(&sheet, 4.0f);
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_GT(PixelAt(64, 64)[0], 0);  // the sheet covers the middle
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The mesh node's own placement is in every bone matrix (as the bind pose)
// and on the modelview as well, so a skinned mesh moves twice as far as its
// node: a sheet around x = 0 on a node at x = 1 is drawn around x = 2.
TEST_F(Drawing, SkinnedMeshNodePlacementReachesTheVerticesTwice) {
  CPODScene sheet;
  testkit::BuildSkinnedSheet(sheet);
  sheet.nodes[0].positions = PODAlloc<float>(3);
  sheet.nodes[0].positions[0] = 1.0f;
  sheet.FlushCache();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(-3.0f, 3.0f, -1.0f, 5.0f, -10.0f, 10.0f);
  glMatrixMode(GL_MODELVIEW);
  DrawModel(&sheet, 0.0f);
  // Columns: x = -3 + 6 * (col + 0.5) / 128. Row 100 is y about 0.3.
  EXPECT_EQ(PixelAt(64, 100)[0], 0);   // x = 0: where the sheet was built
  EXPECT_EQ(PixelAt(75, 100)[0], 0);   // x = 0.5: inside a single shift
  EXPECT_GT(PixelAt(86, 100)[0], 0);   // x = 1.05
  EXPECT_GT(PixelAt(106, 100)[0], 0);  // x = 2
  EXPECT_GT(PixelAt(126, 100)[0], 0);  // x = 2.9
}

// ---------------------------------------------------------------------------
// Ground shadow

TEST(ShadowGeometry, OddSegmentCounts) {
  SimpleShadow s{};
  SimpleShadowCreate(&s, 0, 0.0f, 1, 2.0f);
  EXPECT_EQ(s.vertexCount, 65);
  EXPECT_EQ(s.indexCount, 288);
  SimpleShadowCreate(&s, -5, 0.0f, 1, 2.0f);  // rebuild frees the old arrays
  EXPECT_EQ(s.vertexCount, 65);
  SimpleShadowCreate(&s, 1, 0.0f, 1, 2.0f);
  ASSERT_EQ(s.vertexCount, 3);
  const uint16_t expected[9] = {0, 1, 1, 1, 2, 2, 1, 2, 1};
  EXPECT_EQ(std::memcmp(s.indices, expected, sizeof(expected)), 0);
  // More segments than 16-bit indices can address are capped, never wrapped.
  testing::internal::CaptureStderr();
  SimpleShadowCreate(&s, 40000, 0.0f, 1, 2.0f);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("too many"), std::string::npos);
  ASSERT_EQ(s.vertexCount, 65535);
  uint16_t top = 0;
  for (int i = 0; i < s.indexCount; ++i) top = std::max(top, s.indices[i]);
  EXPECT_EQ(top, 65534);
  SimpleShadowFree(&s);
  SimpleShadow empty{};
  SimpleShadowFree(&empty);
  EXPECT_EQ(empty.positions, nullptr);
}

class ShadowBlend : public GLTest {};

TEST_F(ShadowBlend, DarkensTheGroundToTwentyFortyAndHundredPercent) {
  SimpleShadow s{};
  SimpleShadowCreate(&s, 12, 2.0f, 56, 96.0f);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glShadeModel(GL_SMOOTH);
  // Looking straight down: x to the right, z towards the bottom of the view.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(-128.0f, 128.0f, -128.0f, 128.0f, -100.0f, 100.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
  glEnable(GL_TEXTURE_2D);  // the shadow must not care about stale texture state
  glDisable(GL_TEXTURE_2D);
  SimpleShadowDraw(&s);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));

  const std::vector<uint8_t> frame = Frame();
  EAGLWritePNG(testkit::OutputPath("shadow_blend.png").c_str(), frame.data(), kWidth, kHeight);
  // One unit is half a pixel; the centre is pixel (64, 64).
  auto red = [&](int x, int y) { return static_cast<int>(frame[4 * (y * kWidth + x)]); };
  EXPECT_NEAR(red(64, 64), 51, 3);        // 20 %
  EXPECT_NEAR(red(64 + 28, 64), 102, 4);  // inner ring vertex at (56, 0): 40 %
  EXPECT_EQ(red(2, 2), 255);              // beyond the rim: untouched
  EXPECT_EQ(red(64, 64), static_cast<int>(frame[4 * (64 * kWidth + 64) + 1]));  // grey
  // Between the rings the brightness climbs towards the rim.
  EXPECT_LT(red(64 + 30, 64), red(64 + 40, 64));
  EXPECT_LT(red(64 + 40, 64), red(64 + 46, 64));
  SimpleShadowFree(&s);
}

// ---------------------------------------------------------------------------
// Model loading

class ModelLoading : public GLTest {};

TEST_F(ModelLoading, MissingResourceAndDamagedFileGiveTheirMessages) {
  testkit::TempBundle bundle;
  CPODScene scene;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadPodModel(&scene, "bg_nowhere", "background", true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "**ERROR** path for background file not found: bg_nowhere\n");
  EXPECT_EQ(scene.evalState, nullptr);

  std::ofstream(bundle.file("girl_broken.POD"), std::ios::binary) << "not a scene at all";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadPodModel(&scene, "girl_broken", "girl", false));
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string expected =
      "**ERROR** Failed to open girl file: " + bundle.file("girl_broken.POD") + "\n";
  EXPECT_NE(err.find(expected), std::string::npos) << err;
  EXPECT_EQ(scene.evalState, nullptr);
  EXPECT_EQ(scene.meshCount, 0u);
}

TEST_F(ModelLoading, WithoutPrecacheNoTextureLoadsButCoordinatesAreFlipped) {
  testkit::TempBundle bundle;
  CPODScene built;
  testkit::BuildTexturedCube(built);
  ASSERT_TRUE(testkit::WriteScene(built, bundle.path(), "cube"));
  const int before = n_textures;
  CPODScene scene;
  ASSERT_TRUE(LoadPodModel(&scene, "cube", "girl", false));
  EXPECT_EQ(n_textures, before);
  EXPECT_EQ(scene.materials[0].textureIndex, 0);  // still the scene's own index
  const float* a = reinterpret_cast<const float*>(built.meshes[0].uvws[0].data);
  const float* b = reinterpret_cast<const float*>(scene.meshes[0].uvws[0].data);
  for (uint32_t v = 0; v < scene.meshes[0].vertexCount; ++v) {
    EXPECT_EQ(b[2 * v], a[2 * v]);
    EXPECT_EQ(b[2 * v + 1], 1.0f - a[2 * v + 1]);
  }
}

}  // namespace
