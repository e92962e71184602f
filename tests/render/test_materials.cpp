// Material binding and the load-time material fix-ups: how textures reach the
// registry (the material colours show in the goldens), and what the fix-ups
// do (and refuse to do) to scene data.
#include <gtest/gtest.h>

#include <string>

#include "kit/gl_test.h"
#include "kit/scene_builder.h"
#include "kit/temp_bundle.h"
#include "scene/ModelPOD.h"
#include "scene/PODWriter.h"
#include "texture/gamelib.h"
#include "texture/texture_library.h"

namespace {

using testkit::GLTest;

GLint Int(GLenum what) {
  GLint v = 0;
  glGetIntegerv(what, &v);
  return v;
}

bool TexturingOn(GLenum unit) {
  glActiveTexture(unit);
  const bool on = glIsEnabled(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  return on;
}

// A scene with `n` mesh nodes over the given materials, no meshes drawn.
void MaterialScene(CPODScene& s, uint32_t nodes, uint32_t materials, uint32_t textures) {
  testkit::AllocScene(s, 0, nodes, nodes, materials, textures, 0);
  s.InitImpl();
}

class Materials : public GLTest {
 protected:
  void TearDown() override {
    ReleaseTextures();
    GLTest::TearDown();
  }
};

TEST_F(Materials, ReplacementRegistersOnceAndBindsOnUnitZero) {
  CPODScene s;
  MaterialScene(s, 3, 2, 1);
  s.textures[0] = PODStrDup("skin.png");
  testkit::SetMaterial(s.materials[0], "body", 0, 0.3f, 0.3f, 0.3f);
  testkit::SetMaterial(s.materials[1], "eyes", -1, 0.3f, 0.3f, 0.3f);
  s.nodes[0].materialIndex = 0;
  s.nodes[1].materialIndex = 1;
  s.nodes[2].materialIndex = 0;  // shares the first material

  GLuint tex = 0;
  glGenTextures(1, &tex);
  ASSERT_EQ(n_textures, 0);
  testing::internal::CaptureStderr();
  ReplaceAllMaterials(&s, tex);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(n_textures, 1);
  EXPECT_EQ(texture[0], tex);
  EXPECT_EQ(s.materials[0].textureIndex, -513);
  EXPECT_EQ(s.materials[1].textureIndex, -1);

  ReplaceAllMaterials_FB(&s);
  EXPECT_EQ(s.materials[0].diffuse[0], 1.0f);
  EXPECT_EQ(s.materials[1].diffuse[2], 1.0f);
  EXPECT_EQ(s.materials[0].ambient[0], 0.25f);

  glActiveTexture(GL_TEXTURE0);
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  LoadMaterialI(&s, 0);
  EXPECT_TRUE(TexturingOn(GL_TEXTURE0));
  EXPECT_EQ(Int(GL_TEXTURE_BINDING_2D), static_cast<GLint>(tex));
  GLfloat mode = 0;
  glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  EXPECT_EQ(static_cast<GLenum>(mode), static_cast<GLenum>(GL_MODULATE));

  // A value below every reference names no registry entry: untextured.
  s.materials[1].textureIndex = -600;
  LoadMaterialI(&s, 1);
  EXPECT_FALSE(TexturingOn(GL_TEXTURE0));

  // Nothing left to replace: reported, and the texture is still registered.
  GLuint second = 0;
  glGenTextures(1, &second);
  testing::internal::CaptureStderr();
  ReplaceAllMaterials(&s, second);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to replace texture, not a single texture found!");
  EXPECT_EQ(n_textures, 2);

  testing::internal::CaptureStderr();
  ReplaceAllMaterials(&s, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(n_textures, 2);
}

TEST_F(Materials, FullRegistryRefusesWithAMessageAndLosesNothing) {
  CPODScene s;
  MaterialScene(s, 1, 1, 1);
  s.textures[0] = PODStrDup("skin.png");
  testkit::SetMaterial(s.materials[0], "body", 0, 1, 1, 1);
  s.nodes[0].materialIndex = 0;
  std::vector<GLuint> names(kMaxTextures);
  glGenTextures(kMaxTextures, names.data());
  for (GLuint name : names) texture[n_textures++] = name;

  GLuint tex = 0;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  testing::internal::CaptureStderr();
  ReplaceAllMaterials(&s, tex);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("registry full"), std::string::npos);
  EXPECT_EQ(n_textures, kMaxTextures);
  EXPECT_EQ(s.materials[0].textureIndex, 0);  // untouched, still drawable later
  EXPECT_FALSE(glIsTexture(tex));             // not leaked
  EXPECT_EQ(texture[kMaxTextures - 1], names.back());

  testkit::TempBundle bundle;
  testing::internal::CaptureStderr();
  PrecacheMaterials(&s);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("registry full"), std::string::npos);
  EXPECT_EQ(s.materials[0].textureIndex, -1);
  EXPECT_EQ(n_textures, kMaxTextures);
}

TEST_F(Materials, PrecacheLoadsBaseNamesOnceAndGivesUpOnBadNames) {
  testkit::TempBundle bundle;
  std::vector<uint8_t> pixels(8 * 8 * 4, 200);
  ASSERT_TRUE(WritePng(bundle.file("wall.png"), 8, 8, pixels.data()));
  CPODScene s;
  MaterialScene(s, 6, 5, 5);
  const char* names[5] = {"C:\\art\\wall.png", "maps/wall.png", "maps/", "", "nowhere.png"};
  for (int i = 0; i < 5; ++i) {
    s.textures[i] = PODStrDup(names[i]);
    testkit::SetMaterial(s.materials[i], "m", i, 1, 1, 1);
    s.nodes[i].materialIndex = i;
  }
  s.nodes[5].materialIndex = 1;  // a second node on material 1

  testing::internal::CaptureStderr();
  PrecacheMaterials(&s);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(s.materials[0].textureIndex, -513);
  EXPECT_EQ(s.materials[1].textureIndex, -512);  // not shared by file name
  EXPECT_EQ(s.materials[2].textureIndex, -1);    // ends with a separator
  EXPECT_EQ(s.materials[3].textureIndex, -1);    // empty
  EXPECT_EQ(s.materials[4].textureIndex, -1);    // not in the bundle
  EXPECT_EQ(n_textures, 2);
  EXPECT_NE(err.find("nowhere.png"), std::string::npos) << err;
  EXPECT_EQ(err.find("maps/"), std::string::npos) << err;
  EXPECT_TRUE(glIsTexture(texture[0]));
  // The registry textures are mipmapped with GL_LINEAR_MIPMAP_NEAREST.
  glBindTexture(GL_TEXTURE_2D, texture[0]);
  GLint minFilter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
}

// A half-transparent white picture on an "alpha" material over black shows
// half grey: its soft edges are blended once, not darkened by alpha twice
// (the picture is uploaded premultiplied). Without a picture the material's
// colour is blended by its alpha as given.
TEST_F(Materials, AlphaMaterialsBlendAPictureOnce) {
  testkit::TempBundle bundle;
  const uint8_t half = 128;
  std::vector<uint8_t> pixels(8 * 8 * 4, 255);
  for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = half;
  ASSERT_TRUE(WritePng(bundle.file("soft.png"), 8, 8, pixels.data()));
  CPODScene s;
  MaterialScene(s, 1, 2, 1);
  s.textures[0] = PODStrDup("soft.png");
  testkit::SetMaterial(s.materials[0], "soft alpha", 0, 1, 1, 1);
  testkit::SetMaterial(s.materials[1], "tint alpha", -1, 1, 1, 1);
  s.nodes[0].materialIndex = 0;
  PrecacheMaterials(&s);
  ASSERT_EQ(n_textures, 1);

  const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
  const GLfloat uv[] = {0, 0, 1, 0, 0, 1, 1, 1};
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, quad);
  glTexCoordPointer(2, GL_FLOAT, 0, uv);
  auto drawn = [&](int material, float alpha) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    LoadMaterialI(&s, material);
    glColor4f(1, 1, 1, alpha);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    return static_cast<int>(PixelAt(kWidth / 2, kHeight / 2)[0]);
  };
  EXPECT_NEAR(drawn(0, 1.0f), half, 3) << "the picture's own alpha, once";
  EXPECT_NEAR(drawn(1, half / 255.0f), half, 3) << "the colour's alpha, once";
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

// ---------------------------------------------------------------------------
// Scene-data fix-ups (no GL needed)

TEST(MaterialFixups, NormalsBecomeUnitLengthUnlessZeroOrNotPackedFloats) {
  CPODScene s;
  testkit::AllocScene(s, 3, 0, 0, 0, 0, 0);
  s.meshes[0].vertexCount = 3;
  testkit::SetFloats(s.meshes[0].normals, 3, {3, 4, 0, 0, 0, 0, 0, 0, -2});
  s.meshes[1].vertexCount = 1;
  testkit::SetFloats(s.meshes[1].normals, 4, {3, 4, 0, 7});  // stride 16
  s.meshes[2].vertexCount = 1;
  testkit::SetFloats(s.meshes[2].normals, 3, {3, 4, 0});
  s.meshes[2].normals.type = EPODDataShort;
  s.InitImpl();

  NormalizeModelNormals(&s);
  auto floats = [&s](int mesh, int n) {
    const float* f = reinterpret_cast<const float*>(s.meshes[mesh].normals.data);
    return std::vector<float>(f, f + n);
  };
  // The zero normal stays zero, no NaN; 3-4-5 divides exactly.
  EXPECT_EQ(floats(0, 9), (std::vector<float>{0.6f, 0.8f, 0, 0, 0, 0, 0, 0, -1}));
  EXPECT_EQ(floats(1, 4), (std::vector<float>{3, 4, 0, 7}));
  EXPECT_EQ(floats(2, 3), (std::vector<float>{3, 4, 0}));
}

}  // namespace
