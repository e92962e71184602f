// Her, drawn by the app's renderer on a headless surface at the default
// camera: where she stands on screen, that her face shows skin and her head
// hair, and that the dance spreads her arms.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "content/content_util.h"
#include "files/bundle.h"
#include "girl_view.h"
#include "surface/EAGLView.h"

namespace {

constexpr int kW = 240, kH = 360;

struct Box {
  int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
};

class GirlRender : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    BundleSetRoot(GIRL_RESOURCES);
    view_ = EAGLView::CreateHeadless(kW, kH);
    if (view_) view_->setCurrentContext();
  }
  static void TearDownTestSuite() {
    delete view_;
    view_ = nullptr;
  }
  std::vector<uint8_t> Render(GirlView& v, float frame, const FacePose* face = nullptr) {
    glViewport(0, 0, kW, kH);
    GirlViewDraw(v, frame, 0.0f, 560.0f, -200.0f, face);
    std::vector<uint8_t> rgba;
    EXPECT_TRUE(EAGLViewReadPixels(view_, rgba));  // top row first
    return rgba;
  }
  static const uint8_t* At(const std::vector<uint8_t>& px, int x, int y) { return &px[(y * kW + x) * 4]; }
  static bool Background(const uint8_t* p) {
    return std::abs(p[0] - kGirlViewBackground[0]) < 3 && std::abs(p[1] - kGirlViewBackground[1]) < 3 &&
           std::abs(p[2] - kGirlViewBackground[2]) < 3;
  }
  static Box Bounds(const std::vector<uint8_t>& px) {
    Box b;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (!Background(At(px, x, y))) {
          b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
          b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
        }
    return b;
  }
  static EAGLView* view_;
};
EAGLView* GirlRender::view_ = nullptr;

TEST_F(GirlRender, EveryOutfitStandsWhereTheCameraLooksAndDancesWithHerArmsSpread) {
  ASSERT_NE(view_, nullptr);
  for (int o = 0; o < 4; ++o) {
    SCOPED_TRACE(content::kModels[o]);
    GirlView v;
    ASSERT_TRUE(GirlViewLoad(v, o, (o + 1) % 4, o));
    const std::vector<uint8_t> px = Render(v, 0.0f);
    const Box b = Bounds(px);
    // Crown about 367 units up and feet on the ground, seen from 560 away, 200 up.
    EXPECT_NEAR(b.y0, 64, 6);
    EXPECT_NEAR(b.y1, 316, 6);
    EXPECT_NEAR((b.x0 + b.x1) / 2, kW / 2, 6);
    // Mid-face (nose height) is lit skin: red over blue, unlike the slate backdrop.
    const uint8_t* face = At(px, kW / 2, 99);
    EXPECT_GT(face[0], face[2] + 15);
    // The crown is hair, a colour of its own.
    const uint8_t* crown = At(px, kW / 2, 72);
    EXPECT_FALSE(Background(crown));
    EXPECT_GT(std::abs(crown[0] - face[0]) + std::abs(crown[1] - face[1]) + std::abs(crown[2] - face[2]), 40);
    // The dance spreads her arms (at this frame the left one is high).
    const Box dance = Bounds(Render(v, 219.0f));
    EXPECT_GT(dance.x1 - dance.x0, b.x1 - b.x0 + 30);
    GirlViewRelease(v);
  }
}

// Her face rig as the default camera shows it: shut lids hide the blue of
// her eyes, a turn of the eyes moves it, an open mouth shows dark inside.
TEST_F(GirlRender, HerFaceRigShowsAtTheDefaultCamera) {
  ASSERT_NE(view_, nullptr);
  GirlView v;
  ASSERT_TRUE(GirlViewLoad(v, 1, 0, 0));  // the fair skin has blue eyes
  struct Count {
    int blue = 0, dark = 0;
    double blueX = 0;
  };
  auto count = [&](const FacePose& pose) {
    const std::vector<uint8_t> px = Render(v, 0.0f, &pose);
    Count c;
    for (int y = 80; y < 115; ++y)
      for (int x = kW / 2 - 25; x < kW / 2 + 25; ++x) {
        const uint8_t* p = At(px, x, y);
        if (p[2] > p[0] + 40) ++c.blue, c.blueX += x;
        if (p[0] < 110 && p[1] < 60 && p[2] < 70) ++c.dark;
      }
    if (c.blue) c.blueX /= c.blue;
    return c;
  };
  FacePose open, shut, aside, mouth;
  shut.lids = 1;
  aside.eye_yaw = 25;  // to her left: the right of the picture
  FaceMouthPose(&mouth, kMouthA, 1.0f);
  const Count o = count(open), s = count(shut), a = count(aside), m = count(mouth);
  EXPECT_GT(o.blue, 20);
  EXPECT_LT(s.blue, o.blue / 10) << "shut eyes show no iris";
  EXPECT_GT(a.blueX, o.blueX + 0.7) << "the irises turn with the eyes";
  EXPECT_GT(m.dark, o.dark + 4) << "an open mouth shows its inside";
  GirlViewRelease(v);
}

}  // namespace
