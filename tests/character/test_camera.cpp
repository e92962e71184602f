// Camera values and the fixed light, the light read back from a real
// (headless) GL ES 1.1 context.
#include <gtest/gtest.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES/gl.h>

#include "character/girl_camera.h"

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

// A surfaceless ES 1.1 context on the software rasteriser; no display needed.
class HeadlessGL {
 public:
  HeadlessGL() {
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_platform_display)
      display_ = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) return;
    const EGLint config_attribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT, EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT, EGL_NONE};
    EGLConfig config;
    EGLint n = 0;
    if (!eglChooseConfig(display_, config_attribs, &config, 1, &n) || n < 1) return;
    eglBindAPI(EGL_OPENGL_ES_API);
    const EGLint context_attribs[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, context_attribs);
    const EGLint pbuffer_attribs[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, pbuffer_attribs);
    ok_ = context_ != EGL_NO_CONTEXT && surface_ != EGL_NO_SURFACE &&
          eglMakeCurrent(display_, surface_, surface_, context_);
  }
  ~HeadlessGL() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
  }
  bool ok() const { return ok_; }

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  bool ok_ = false;
};

void ExpectLight(GLenum pname, const float (&want)[4]) {
  GLfloat got[4] = {-1, -1, -1, -1};
  glGetLightfv(GL_LIGHT0, pname, got);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(got[i], want[i]) << "pname " << pname << " [" << i << "]";
}

}  // namespace

TEST(Camera, TestLightIsOneWhiteDirectionalLightOverGreyAmbient) {
  HeadlessGL gl;
  ASSERT_TRUE(gl.ok()) << "no headless GL ES 1.1 context";
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
