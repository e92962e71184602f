// Shared pieces of the drawing tests: a headless ES 1.1 surface per test, a
// throw-away resource bundle, pixel access and PNG files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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

// How far a frame drawn through our ES 1.1 translation may be from the same
// frame drawn by the driver's own ES 1.1, red, green and blue compared: at
// most 0.5 % of the pixels off by more than 8 in any of them, and a mean
// difference under 1.
struct FrameDifference {
  double share = 1.0;  // of pixels off by more than 8
  double mean = 255.0;
};

inline FrameDifference CompareRGB(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  FrameDifference d;
  if (a.size() != b.size() || a.empty()) return d;
  long off = 0;
  double sum = 0;
  for (size_t i = 0; i + 3 < a.size(); i += 4) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      const int e = std::abs(a[i + c] - b[i + c]);
      sum += e;
      worst = std::max(worst, e);
    }
    if (worst > 8) ++off;
  }
  const double pixels = static_cast<double>(a.size() / 4);
  d.share = off / pixels;
  d.mean = sum / (pixels * 3);
  return d;
}

inline void ExpectMatchesOracle(const std::vector<uint8_t>& es1, const std::vector<uint8_t>& es2,
                                const std::string& what) {
  ASSERT_EQ(es1.size(), es2.size()) << what;
  const FrameDifference d = CompareRGB(es1, es2);
  EXPECT_LE(d.share, 0.005) << what << ": share of pixels off by more than 8";
  EXPECT_LT(d.mean, 1.0) << what << ": mean difference";
}

// Where tests leave the pictures they render, for people to look at.
inline std::string OutputDir() {
  const char* dir = std::getenv("TEST_OUTPUT_DIR");
  return dir && *dir ? dir : ".";
}

}  // namespace testkit
