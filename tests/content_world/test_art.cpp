// The environment light, the loading picture and the button icons, read back
// through the system's own picture loader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "content_files.h"
#include "files/bundle.h"
#include "texture/gamelib.h"

namespace {

const char* const kButtons[] = {"options",  "back",    "dance",   "dance_stop", "reset",
                                "settings", "shake_x", "shake_y", "shake_z",    "cull"};

struct Picture {
  tag_TexPicDesc desc = {0, 0, 0};
  std::vector<uint8_t> px;  // premultiplied RGBA, top row first
  const uint8_t* at(int x, int y) const { return &px[(size_t(y) * size_t(desc.xs) + size_t(x)) * 4]; }
};

bool Load(const std::string& name, Picture& p) {
  unsigned char* data = ReadPictureData(name.c_str(), &p.desc);
  if (!data) return false;
  p.px.assign(data, data + size_t(p.desc.xs) * size_t(p.desc.ys) * 4);
  std::free(data);
  return true;
}

bool PowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

class BundleArt : public ::testing::Test {
 protected:
  void SetUp() override { BundleSetRoot(BundleDir().c_str()); }
  void TearDown() override { BundleSetRoot(nullptr); }
};

}  // namespace

TEST_F(BundleArt, EnvironmentLightIsASoftRadialPowerOfTwoPicture) {
  Picture p;
  ASSERT_TRUE(Load("round.png", p));
  EXPECT_TRUE(PowerOfTwo(p.desc.xs) && PowerOfTwo(p.desc.ys));
  int c = p.desc.xs / 2;
  int centre = p.at(c, c)[1], mid = p.at(c + c / 2, c)[1], rim = p.at(p.desc.xs - 2, c)[1];
  EXPECT_GT(centre, 230);
  EXPECT_GT(centre, mid);
  EXPECT_GT(mid, rim);
  EXPECT_GT(rim, 40) << "the rim stays lit a little, the light is soft";
  // Round: the same brightness at the same distance in every direction.
  EXPECT_NEAR(p.at(c + 60, c)[1], p.at(c, c - 60)[1], 2);
  EXPECT_NEAR(p.at(c - 60, c)[1], p.at(c, c + 60)[1], 2);
}

TEST_F(BundleArt, LoadingPictureFillsThePortraitScreenAtBothScales) {
  Picture one, two;
  ASSERT_TRUE(Load("loading.png", one));
  ASSERT_TRUE(Load("loading@2x.png", two));
  EXPECT_EQ((std::vector<int>{one.desc.xs, one.desc.ys, two.desc.xs, two.desc.ys}),
            (std::vector<int>{320, 480, 640, 960}));
  for (const uint8_t* px : {one.at(0, 0), one.at(319, 479), one.at(160, 240)}) EXPECT_EQ(px[3], 255);
}

// Each icon also differs from every other one.
TEST_F(BundleArt, EveryButtonHasACrispIconOfItsOwnAtOneAndTwoTimes) {
  std::vector<std::vector<uint8_t>> seen;
  for (const char* b : kButtons) {
    SCOPED_TRACE(b);
    Picture one, two;
    ASSERT_TRUE(Load(std::string("button_") + b + ".png", one));
    ASSERT_TRUE(Load(std::string("button_") + b + "@2x.png", two));
    ASSERT_EQ(two.desc.xs, 2 * one.desc.xs);
    ASSERT_EQ(two.desc.ys, 2 * one.desc.ys);
    EXPECT_EQ(one.desc.bpp, 32) << "icons need their alpha channel";
    // Round buttons: corners see through, the middle is covered.
    EXPECT_EQ(one.at(0, 0)[3], 0);
    EXPECT_EQ(two.at(two.desc.xs - 1, two.desc.ys - 1)[3], 0);
    EXPECT_GT(one.at(one.desc.xs / 2, one.desc.ys / 2)[3], 100);
    // A glyph: some pixels are near white.
    int white = 0;
    for (int y = 0; y < one.desc.ys; ++y)
      for (int x = 0; x < one.desc.xs; ++x)
        if (one.at(x, y)[0] > 220 && one.at(x, y)[3] > 220) ++white;
    EXPECT_GT(white, 20);
    // The 2x icon is the same drawing: averaged down it matches the 1x one.
    double diff = 0;
    for (int y = 0; y < one.desc.ys; ++y)
      for (int x = 0; x < one.desc.xs; ++x)
        for (int c = 0; c < 4; ++c) {
          int avg = (two.at(2 * x, 2 * y)[c] + two.at(2 * x + 1, 2 * y)[c] + two.at(2 * x, 2 * y + 1)[c] +
                     two.at(2 * x + 1, 2 * y + 1)[c]) /
                    4;
          diff += std::abs(avg - one.at(x, y)[c]);
        }
    EXPECT_LT(diff / (one.desc.xs * one.desc.ys * 4), 6.0);
    // Crisp: the 2x edge is drawn, not blurred up: many pixels are fully covered or empty.
    int hard = 0;
    for (size_t i = 3; i < two.px.size(); i += 4)
      if (two.px[i] == 0 || two.px[i] >= 150) ++hard;
    EXPECT_GT(hard, int(two.px.size() / 4 * 9 / 10));
    for (const auto& s : seen) EXPECT_NE(s, one.px);
    seen.push_back(one.px);
  }
}
