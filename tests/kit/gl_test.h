// Shared pieces of the drawing tests: a headless ES 1.1 surface per test, a
// throw-away resource bundle, pixel access and PNG files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/EAGLView.h"
#include "platform/bundle.h"

namespace testkit {

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

  std::unique_ptr<EAGLView> view_;
};

// A fresh folder used as the resource bundle for one test; removed after.
class TempBundle {
 public:
  TempBundle() {
    char tmpl[] = "/tmp/ovanta_render_XXXXXX";
    const char* made = mkdtemp(tmpl);
    dir_ = made ? made : "";
    BundleSetRoot(dir_.c_str());
  }
  ~TempBundle() {
    BundleSetRoot(nullptr);
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& file) const { return dir_ + "/" + file; }

 private:
  std::string dir_;
};

// Where tests leave the pictures they render, for people to look at.
inline std::string OutputDir() {
  const char* dir = std::getenv("TEST_OUTPUT_DIR");
  return dir && *dir ? dir : ".";
}

}  // namespace testkit
