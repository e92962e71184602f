// Golden pictures: small scenes written with the scene writer, loaded back
// through the model loader and drawn headless, compared with the pictures in
// tests/golden (OVANTA_UPDATE_GOLDEN=1 rewrites them; every rendering is also
// left in TEST_OUTPUT_DIR for inspection). Each scene is drawn twice: by the
// driver's GL ES 1.1, held to the stored picture, and by our translation onto
// GL ES 2.0, held to the first within the oracle tolerance.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kit/gl_test.h"
#include "kit/pictures.h"
#include "kit/scene_builder.h"
#include "kit/temp_bundle.h"
#include "render/env_light.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
#include "render/simple_ogl_shadow.h"
#include "scene/ModelPOD.h"
#include "texture/gamelib.h"

namespace {

using testkit::GLTest;

// An 8x8 checker of orange and blue cells, 64x64 pixels, with a white cell
// in the top left corner so a flipped picture would show.
void WriteChecker(const std::string& path) {
  std::vector<uint8_t> rgba(64 * 64 * 4);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = &rgba[4 * (y * 64 + x)];
      const bool odd = ((x / 8) + (y / 8)) % 2;
      const bool corner = x < 8 && y < 8;
      p[0] = corner ? 255 : odd ? 40 : 240;
      p[1] = corner ? 255 : odd ? 90 : 140;
      p[2] = corner ? 255 : odd ? 220 : 30;
      p[3] = 255;
    }
  ASSERT_TRUE(WritePng(path, 64, 64, rgba.data()));
}

class Golden : public GLTest {
 protected:
  void TearDown() override {
    ReleaseTextures();
    GLTest::TearDown();
  }

  // Runs `draw` on a fresh es1 surface, then on a fresh es2 one.
  void OnBoth(const std::function<void()>& draw) {
    for (GlesKind kind : {kGlesES1, kGlesES2}) {
      ReleaseTextures();
      view_.reset(EAGLView::CreateHeadless(kWidth, kHeight, kind));
      ASSERT_NE(view_, nullptr) << GlesKindName(kind);
      kind_ = kind;
      draw();
    }
  }

  // What the frame update sets before drawing: camera in the projection,
  // identity modelview, one directional light, depth test, smooth shading.
  void BeginFrame(float left, float right, float bottom, float top) {
    glClearColor(0.1f, 0.12f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    testkit::Ortho(left, right, bottom, top, -10.0f, 10.0f);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float dir[4] = {0.3f, 0.5f, 1.0f, 0.0f};
    const float ambient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    const float diffuse[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, dir);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  }

  // Loads `name` back from the bundle where `build` wrote it.
  void Load(CPODScene& scene, void (*build)(CPODScene&), const char* name, bool precache) {
    CPODScene built;
    build(built);
    ASSERT_TRUE(testkit::WriteScene(built, bundle_.path(), name));
    ASSERT_TRUE(LoadPodModel(&scene, name, "golden", precache));
  }

  // Compares the frame with tests/golden/<name>.png: at most 0.2 % of the
  // pixels may differ by more than 8 in a channel, and none by more than 64.
  void ExpectMatchesGolden(const std::string& name) {
    if (kind_ == kGlesES2) {
      const Picture frame = FramePicture();
      EAGLWritePNG(testkit::OutputPath(name + "_es2.png").c_str(), frame.rgba.data(), kWidth, kHeight);
      testkit::ExpectMatchesOracle(es1_[name], frame, name + " drawn by es2");
      return;
    }
    es1_[name] = FramePicture();
    const testkit::FrameDifference d =
        testkit::GoldenDifference(FramePicture(), std::string(OVANTA_GOLDEN_DIR) + "/" + name + ".png");
    EXPECT_LE(d.shareOver8, 0.002) << name;
    EXPECT_LE(d.worst, 64) << name;
  }

  testkit::TempBundle bundle_;
  GlesKind kind_ = kGlesES1;
  std::map<std::string, Picture> es1_;  // this run's es1 frames
};

TEST_F(Golden, TexturedCubeFromTheRegistry) {
  WriteChecker(bundle_.file("checker.png"));
  OnBoth([&] {
    CPODScene scene;
    Load(scene, testkit::BuildTexturedCube, "cube", true);
    ASSERT_EQ(n_textures, 1);
    BeginFrame(-2.5f, 2.5f, -2.5f, 2.5f);
    DrawModel(&scene, 0.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ExpectMatchesGolden("textured_cube");
  });
}

TEST_F(Golden, SkinnedSheetBendsWithItsBoneOverTheFrames) {
  OnBoth([&] {
    CPODScene scene;
    Load(scene, testkit::BuildSkinnedSheet, "sheet", false);
    BeginFrame(-3.0f, 3.0f, -1.0f, 5.0f);
    DrawModel(&scene, 0.0f);
    ExpectMatchesGolden("skinned_frame0");

    BeginFrame(-3.0f, 3.0f, -1.0f, 5.0f);
    DrawModel(&scene, 6.0f);
    ExpectMatchesGolden("skinned_frame6");
  });
}

// Strips indexed and unindexed; a mesh without normals or material.
TEST_F(Golden, StripsAndABareMesh) {
  const struct {
    void (*build)(CPODScene&);
    const char *file, *golden;
  } cases[] = {{testkit::BuildStrips, "strips", "strips"}, {testkit::BuildNoNormals, "bare", "no_normals"}};
  for (const auto& c : cases)
    OnBoth([&] {
      CPODScene scene;
      Load(scene, c.build, c.file, false);
      BeginFrame(-2.0f, 2.0f, -2.0f, 2.0f);
      DrawModel(&scene, 0.0f);
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
      ExpectMatchesGolden(c.golden);
    });
}

// A round light picture: bright in the middle (normals facing the viewer),
// dark towards the rim, warm on the right so a swapped axis would show.
void WriteRoundLight(const std::string& path) {
  std::vector<uint8_t> rgba(64 * 64 * 4);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const float u = (x + 0.5f) / 32.0f - 1.0f, v = (y + 0.5f) / 32.0f - 1.0f;
      const float r = std::min(1.0f, std::sqrt(u * u + v * v));
      const float light = 1.0f - 0.8f * r;
      uint8_t* p = &rgba[4 * (y * 64 + x)];
      p[0] = static_cast<uint8_t>(255 * light);
      p[1] = static_cast<uint8_t>(255 * light * (u > 0 ? 0.7f : 1.0f));
      p[2] = static_cast<uint8_t>(255 * light * (u > 0 ? 0.5f : 1.0f));
      p[3] = 255;
    }
  ASSERT_TRUE(WritePng(path, 64, 64, rgba.data()));
}

TEST_F(Golden, TexturedCubeUnderTheEnvironmentLight) {
  WriteChecker(bundle_.file("checker.png"));
  WriteRoundLight(bundle_.file("round.png"));
  OnBoth([&] {
    CPODScene scene;
    Load(scene, testkit::BuildTexturedCube, "cube", true);
    EnvLight light;
    ASSERT_TRUE(light.Load("round.png"));
    BeginFrame(-2.5f, 2.5f, -2.5f, 2.5f);
    DrawModelWithEnv(&scene, 0.0f, &light);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ExpectMatchesGolden("textured_cube_env");
    light.Free();
  });
}

// The tap pick: a pixel read before and after drawing tells whether the
// character covers the tapped point.
TEST_F(Golden, PixelPickSeesTheDrawnMeshOnlyWhereItIs) {
  WriteChecker(bundle_.file("checker.png"));
  CPODScene scene;
  Load(scene, testkit::BuildTexturedCube, "cube", true);
  BeginFrame(-2.5f, 2.5f, -2.5f, 2.5f);
  const std::vector<uint8_t> centreBefore = PixelAt(64, 64), cornerBefore = PixelAt(3, 3);
  DrawModel(&scene, 0.0f);
  SimpleShadow none{};
  SimpleShadowDraw(&none);
  const std::vector<uint8_t> centreAfter = PixelAt(64, 64), cornerAfter = PixelAt(3, 3);
  EXPECT_NE(centreBefore[0], centreAfter[0]);
  EXPECT_EQ(cornerBefore, cornerAfter);
}

}  // namespace
