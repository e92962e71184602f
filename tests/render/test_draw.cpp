// Mesh and node drawing and the ground shadow on a real ES 1.1 context: what
// the goldens do not show (the modelview a node draw leaves, skinned meshes
// without normals, the shadow's blend and index cap) and model loading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "kit/gl_test.h"
#include "kit/pictures.h"
#include "kit/scene_builder.h"
#include "kit/temp_bundle.h"
#include "render/env_light.h"
#include "render/mesh_utils.h"
#include "render/render_mesh.h"
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
  testkit::Ortho(-3.0f, 3.0f, -1.0f, 5.0f, -10.0f, 10.0f);
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
  testkit::Ortho(-3.0f, 3.0f, -1.0f, 5.0f, -10.0f, 10.0f);
  DrawModel(&sheet, 0.0f);
  // Columns: x = -3 + 6 * (col + 0.5) / 128. Row 100 is y about 0.3.
  EXPECT_EQ(PixelAt(64, 100)[0], 0);   // x = 0: where the sheet was built
  EXPECT_EQ(PixelAt(75, 100)[0], 0);   // x = 0.5: inside a single shift
  EXPECT_GT(PixelAt(86, 100)[0], 0);   // x = 1.05
  EXPECT_GT(PixelAt(106, 100)[0], 0);  // x = 2
  EXPECT_GT(PixelAt(126, 100)[0], 0);  // x = 2.9
}

// Blending left on from a translucent part is skipped for a draw only where
// it changes nothing: every fragment's alpha is 1. A translucent texel still
// blends, and blending is on again after either draw.
TEST_F(Drawing, BlendingLeftOnStillBlendsTranslucentTexels) {
  CPODScene cube;
  testkit::BuildTexturedCube(cube);
  testkit::Ortho(-2.0f, 2.0f, -2.0f, 2.0f, -10.0f, 10.0f);
  glDisable(GL_LIGHTING);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_CULL_FACE);  // one layer of the cube over each pixel
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  auto drawn = [&](uint8_t alpha) {
    std::vector<uint8_t> texels(8 * 8 * 4);
    for (size_t i = 0; i < texels.size(); i += 4) texels[i + 2] = 200, texels[i + 3] = alpha;
    tag_TexPicDesc d = {8, 8, 32};
    const GLuint tex = LoadTextureData(texels.data(), &d, TEXMIP_NONE);
    EXPECT_EQ(TextureOpaque(tex), alpha == 255);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawMeshP(&cube.meshes[0], false, 0, static_cast<int>(cube.meshes[0].faceCount), nullptr);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    DeleteTexture(tex);
    EXPECT_FALSE(TextureOpaque(tex));
    return PixelAt(64, 64);
  };
  const std::vector<uint8_t> opaque = drawn(255), translucent = drawn(128);
  EXPECT_EQ(opaque[0], 0);
  EXPECT_EQ(opaque[2], 200);
  EXPECT_NEAR(translucent[0], 127, 2);  // half the red behind
  EXPECT_NEAR(translucent[2], 100, 2);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Scattered triangles of both windings on one bone at rest, each vertex
// with a normal of its own, so lighting gives every triangle its own shade;
// every fourth one has a twin in its plane wound the other way, stored just
// before it, so the two meet at exactly the same depths.
void BuildSkinnedScatter(CPODScene& s, int triangles) {
  testkit::AllocScene(s, 1, 2, 1, 1, 0, 1);
  testkit::SetMaterial(s.materials[0], "scatter", -1, 0.9f, 0.8f, 0.7f);
  s.nodes[0].materialIndex = 0;
  uint32_t state = 12345;
  auto rnd = [&] {  // -1 .. 1
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
  };
  std::vector<float> pos, nrm, weights;
  std::vector<uint16_t> idx;
  std::vector<uint8_t> bones;
  auto vertex = [&](float x, float y, float z) {
    pos.insert(pos.end(), {x, y, z});
    const float nx = rnd(), ny = rnd(), nz = 1.5f + rnd();
    const float l = std::sqrt(nx * nx + ny * ny + nz * nz);
    nrm.insert(nrm.end(), {nx / l, ny / l, nz / l});
    bones.push_back(0);
    weights.push_back(1.0f);
    return static_cast<uint16_t>(pos.size() / 3 - 1);
  };
  for (int t = 0; t < triangles; ++t) {
    const float cx = rnd(), cy = rnd(), cz = rnd();
    float c[9];
    for (int k = 0; k < 3; ++k)
      c[3 * k] = cx + 0.7f * rnd(), c[3 * k + 1] = cy + 0.7f * rnd(), c[3 * k + 2] = cz + 0.3f * rnd();
    if (t % 4 == 0) {
      const uint16_t a = vertex(c[0], c[1], c[2]), b = vertex(c[6], c[7], c[8]), d = vertex(c[3], c[4], c[5]);
      idx.insert(idx.end(), {a, b, d});
    }
    const uint16_t a = vertex(c[0], c[1], c[2]), b = vertex(c[3], c[4], c[5]), d = vertex(c[6], c[7], c[8]);
    idx.insert(idx.end(), {a, b, d});
  }
  testkit::SetSkinnedMesh(s.meshes[0], idx, pos, nrm, 1, bones, weights);
  testkit::SetBatches(s.meshes[0], {{1}}, {0});
  s.InitImpl();
}

// Without culling a skinned mesh is drawn whole, its triangles facing the
// viewer before those facing away, each kind in stored order: the frame is
// that of two culled draws, front faces then back faces, pixel for pixel,
// whichever winding faces the front and wherever the viewer stands.
TEST_F(Drawing, UnculledSkinnedMeshDrawsFrontFacesFirst) {
  CPODScene scatter;
  BuildSkinnedScatter(scatter, 160);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glShadeModel(GL_SMOOTH);
  for (GLenum winding : {GL_CCW, GL_CW})
    for (float turn : {0.0f, 150.0f}) {
      glFrontFace(winding);
      glMatrixMode(GL_PROJECTION);
      // A perspective from z = 0 towards -z, near 1, far 10, 53 degrees wide.
      const float n = 1.0f, f = 10.0f;
      const float frustum[16] = {
          2.0f, 0, 0, 0, 0, 2.0f, 0, 0, 0, 0, -(f + n) / (f - n), -1.0f, 0, 0, -2.0f * f * n / (f - n), 0};
      glLoadMatrixf(frustum);
      glTranslatef(0.0f, 0.0f, -3.0f);
      glRotatef(turn, 0.3f, 1.0f, 0.0f);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      auto draw = [&](bool cull, GLenum side) {
        if (cull)
          glEnable(GL_CULL_FACE);
        else
          glDisable(GL_CULL_FACE);
        glCullFace(side);
        DrawModel(&scatter, 0.0f);
      };
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      draw(false, GL_BACK);
      const std::vector<uint8_t> unculled = Frame();
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      draw(true, GL_BACK);
      const std::vector<uint8_t> frontOnly = Frame();
      draw(true, GL_FRONT);
      const std::vector<uint8_t> twoPasses = Frame();
      glDisable(GL_CULL_FACE);
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
      // Back faces show: the second pass changed the picture.
      ASSERT_NE(frontOnly, twoPasses);
      EXPECT_EQ(unculled, twoPasses) << "winding " << winding << ", turn " << turn;
    }
}

// A mesh's leading closed triangles are drawn with their back faces culled
// and the rest from both sides, culling off again after: the box looks the
// same either way, while a card counted among them (which no file of ours
// does) loses the side it turns away, and a mesh that counts none (an
// imported one drawn from both sides) keeps it.
TEST_F(Drawing, ClosedShellsLoseOnlyTheirBackFaces) {
  CPODScene scene;
  testkit::BuildBoxAndCard(scene);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(-2.0f, 2.0f, -2.0f, 2.0f, -10.0f, 10.0f);
  glRotatef(30.0f, 1.0f, 1.0f, 0.0f);  // the box's corner, the card from behind
  glMatrixMode(GL_MODELVIEW);
  auto draw = [&](uint32_t closed) {
    scene.meshes[0].closedFaces = closed;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawModel(&scene, 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    return Frame();
  };
  const std::vector<uint8_t> bothSides = draw(0);
  EXPECT_EQ(draw(testkit::kBoxTriangles), bothSides);
  const std::vector<uint8_t> cardCulled = draw(testkit::kBoxTriangles + testkit::kCardTriangles);
  EXPECT_NE(cardCulled, bothSides);
  // Culling already on culls everything, whatever the count.
  glEnable(GL_CULL_FACE);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  scene.meshes[0].closedFaces = 0;
  DrawModel(&scene, 0.0f);
  EXPECT_EQ(Frame(), cardCulled);
  glDisable(GL_CULL_FACE);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---------------------------------------------------------------------------
// Ground shadow

TEST(ShadowGeometry, OddSegmentCounts) {
  SimpleShadow s{};
  SimpleShadowCreate(&s, 0, 0.0f, 1, 2.0f);
  EXPECT_EQ(std::make_pair(s.vertexCount, s.indexCount), std::make_pair(65, 288));
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
  testkit::Ortho(-128.0f, 128.0f, -128.0f, 128.0f, -100.0f, 100.0f);
  glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
  glEnable(GL_TEXTURE_2D);  // the shadow must not care about stale texture state
  glDisable(GL_TEXTURE_2D);
  SimpleShadowDraw(&s);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_FALSE(glIsEnabled(GL_BLEND) || glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_COLOR_ARRAY)) << "state left on";

  const std::vector<uint8_t> frame = Frame();
  EAGLWritePNG(testkit::OutputPath("shadow_blend.png").c_str(), frame.data(), kWidth, kHeight);
  // One unit is half a pixel; the centre is pixel (64, 64).
  auto red = [&](int x, int y) { return static_cast<int>(frame[4 * (y * kWidth + x)]); };
  EXPECT_NEAR(red(64, 64), 51, 3);                                              // 20 %
  EXPECT_NEAR(red(64 + 28, 64), 102, 4);                                        // inner ring vertex at (56, 0): 40 %
  EXPECT_EQ(red(2, 2), 255);                                                    // beyond the rim: untouched
  EXPECT_EQ(red(64, 64), static_cast<int>(frame[4 * (64 * kWidth + 64) + 1]));  // grey
  // Between the rings the brightness climbs towards the rim.
  EXPECT_LT(red(64 + 30, 64), red(64 + 40, 64));
  EXPECT_LT(red(64 + 40, 64), red(64 + 46, 64));
  SimpleShadowFree(&s);
}

// ---------------------------------------------------------------------------
// Model loading

class ModelLoading : public GLTest {};

// Each message there always was, then a line of its own naming the file and why.
TEST_F(ModelLoading, MissingResourceAndDamagedFileGiveTheirMessages) {
  testkit::TempBundle bundle;
  CPODScene scene;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadPodModel(&scene, "bg_nowhere", "background", true));
  std::string err = testing::internal::GetCapturedStderr();
  std::string expected =
      "**ERROR** path for background file not found: bg_nowhere\nScene " + bundle.file("bg_nowhere.POD") + ": ";
  EXPECT_EQ(err.substr(0, expected.size()), expected);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_EQ(scene.evalState, nullptr);

  std::ofstream(bundle.file("girl_broken.POD"), std::ios::binary) << "not a scene at all";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadPodModel(&scene, "girl_broken", "girl", false));
  err = testing::internal::GetCapturedStderr();
  expected = "**ERROR** Failed to open girl file: " + bundle.file("girl_broken.POD") + "\nScene " +
             bundle.file("girl_broken.POD") + ": " + scene.readError() + "\n";
  EXPECT_EQ(err, expected);
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
