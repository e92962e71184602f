// Camera values and the fixed light, the light read back from a real
// (headless) GL ES 1.1 context.
#include <gtest/gtest.h>

#include <memory>

#include "character/girl_camera.h"
#include "gles/gles.h"
#include "platform/EAGLView.h"

TEST(Camera, StartsAndResetsToTheStartUpView) {
  EXPECT_EQ(v_angle, 0.0f);
  EXPECT_EQ(v_dist, 560.0f);
  EXPECT_EQ(v_pan[0], 0.0f);
  EXPECT_EQ(v_pan[1], -200.0f);

  v_angle = 725.0f;  // two turns and a bit: never wrapped
  v_dist = 150.0f;
  v_pan[0] = 199.0f;
  v_pan[1] = -31.0f;
  ResetCamera();
  EXPECT_EQ(v_angle, 0.0f);
  EXPECT_EQ(v_dist, 560.0f);
  EXPECT_EQ(v_pan[0], 0.0f);
  EXPECT_EQ(v_pan[1], -200.0f);
}

namespace {

void ExpectLight(GLenum pname, const float (&want)[4]) {
  GLfloat got[4] = {-1, -1, -1, -1};
  glGetLightfv(GL_LIGHT0, pname, got);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(got[i], want[i]) << "pname " << pname << " [" << i << "]";
}

}  // namespace

TEST(Camera, TestLightIsOneWhiteDirectionalLightOverGreyAmbient) {
  std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(16, 16));
  ASSERT_NE(view, nullptr) << "no headless GL ES 1.1 context";
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();  // the light direction is given in whatever model-view is current
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  testing::internal::CaptureStdout();
  InitTestLight();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no GL error reported
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
  GLfloat ambient_model[4];
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient_model);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(ambient_model[i], 0.65f);
  EXPECT_FLOAT_EQ(ambient_model[3], 1.0f);
  ExpectLight(GL_POSITION, {2.9f, 1.5f, 0.9f, 0.0f});
  ExpectLight(GL_AMBIENT, {0, 0, 0, 0});
  ExpectLight(GL_DIFFUSE, {0.8f, 0.8f, 0.8f, 1.0f});
  ExpectLight(GL_SPECULAR, {0, 0, 0, 1});
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
