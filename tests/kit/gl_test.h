// The fixture of the drawing tests: a headless ES 1.1 surface per test and
// access to its pixels; a headless view of any size, and an orthographic
// view of a box.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "picture/picture_file.h"
#include "surface/EAGLView.h"

namespace testkit {

inline std::unique_ptr<EAGLView> HeadlessView(int w, int h) {
  return std::unique_ptr<EAGLView>(EAGLView::CreateHeadless(w, h));
}

// An orthographic projection onto the box given, the modelview made the
// identity and left the current matrix.
inline void Ortho(float left, float right, float bottom, float top, float near, float far) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(left, right, bottom, top, near, far);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// Every drawing test runs on its own real context; a missing context is a
// failure, not a skip, since CI is meant to have Mesa.
class GLTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 128;
  static constexpr int kHeight = 128;

  void SetUp() override {
    view_.reset(EAGLView::CreateHeadless(kWidth, kHeight));
    ASSERT_NE(view_, nullptr) << "no headless GL ES 1.1 context";
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  void TearDown() override { view_.reset(); }

  // RGBA of the pixel at column x, row y counted from the top.
  std::vector<uint8_t> PixelAt(int x, int y) {
    std::vector<uint8_t> p(4);
    glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
  }
  std::vector<uint8_t> Frame() {
    std::vector<uint8_t> rgba;
    EXPECT_TRUE(EAGLViewReadPixels(view_.get(), rgba));
    return rgba;
  }
  Picture FramePicture() { return Picture{kWidth, kHeight, 32, Frame()}; }

  std::unique_ptr<EAGLView> view_;
};

}  // namespace testkit
