// The accelerometer filter: resting force, jerk peaks of step inputs, which
// clip states a jerk may interrupt, and the test impulses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "character/girl_animation.h"
#include "character/girl_shake.h"
#include "character/girl_sound.h"
#include "physics/boobs_physics_b0.h"
#include "rig/girl_clips.h"

namespace {

float Jerk2() { return phy.jerk.x * phy.jerk.x + phy.jerk.y * phy.jerk.y + phy.jerk.z * phy.jerk.z; }

class ShakeTest : public testing::Test {
 protected:
  void SetUp() override {
    std::srand(11);
    phy = ShakeFilter{};
    AnimationStartN(&anim_girl, ANIM_IDLE);
    current_sound = -1;
    sound_shake_timer = 0;
  }
  // A device held upright and still for a while.
  void Upright() {
    for (int i = 0; i < 1000; ++i) GirlShake(0, -1, 0);
  }
};

}  // namespace

TEST_F(ShakeTest, TurningUpsideDownPeaksAtTheSixthSampleAndShakes) {
  Upright();
  anim_girl.state = ANIM_SHAKE;  // watch the filter first without reacting
  float peak = 0;
  int peak_at = 0;
  for (int n = 1; n <= 20; ++n) {
    GirlShake(0, 1, 0);
    // jerk = (old - new) * (0.97^n - 0.6^n)
    const float want = -2.0f * (std::pow(0.97f, n) - std::pow(0.6f, n));
    EXPECT_NEAR(phy.jerk.y, want, 1e-4) << n;
    if (Jerk2() > peak) {
      peak = Jerk2();
      peak_at = n;
    }
  }
  EXPECT_EQ(peak_at, 6);
  EXPECT_NEAR(peak, 2.47f, 0.01f);
  EXPECT_EQ(sound_shake_timer, 0);

  // The same step while idle: the reaction starts on the third sample, the
  // first whose |jerk|^2 (1.94) passes 1.9.
  phy = ShakeFilter{};
  AnimationStartN(&anim_girl, ANIM_IDLE);
  Upright();
  GirlShake(0, 1, 0);
  GirlShake(0, 1, 0);
  EXPECT_EQ(anim_girl.state, ANIM_IDLE);
  GirlShake(0, 1, 0);
  EXPECT_NEAR(Jerk2(), 1.941f, 0.005f);
  EXPECT_EQ(anim_girl.state, ANIM_SHAKE);
  EXPECT_EQ(sound_shake_timer, 1);
  EXPECT_FLOAT_EQ(anim_girl.frame, static_cast<float>(GirlClip(ANIM_SHAKE).start_frame + 0.001));
  // The force is the sample minus half the gravity estimate, doubled.
  EXPECT_NEAR(phy.force.y, 2 * (1 - 0.5f * phy.slow.y), 1e-6);
}

TEST_F(ShakeTest, OnlyIdleAndDanceOutMayBeInterruptedAPlayingLineIsNotAskedAgain) {
  struct Case {
    AnimState state;
    bool reacts;
  } const cases[] = {
      {ANIM_IDLE, true}, {ANIM_DANCE_OUT, true}, {ANIM_SHAKE, false}, {ANIM_DANCE_IN, false}, {ANIM_DANCE, false}};
  for (const Case& c : cases) {
    phy = ShakeFilter{};
    Upright();
    AnimationStartN(&anim_girl, c.state);
    Animate(&anim_girl);
    const float frame = anim_girl.frame;
    sound_shake_timer = 0;
    for (int i = 0; i < 6; ++i) GirlShake(0, 1, 0);
    if (c.reacts) {
      EXPECT_EQ(anim_girl.state, ANIM_SHAKE) << c.state;
      EXPECT_EQ(sound_shake_timer, 1) << c.state;
    } else {
      EXPECT_EQ(anim_girl.state, c.state);
      EXPECT_EQ(anim_girl.frame, frame) << c.state;
      EXPECT_EQ(sound_shake_timer, 0) << c.state;
    }
  }
  // A shake line still playing is not asked for again.
  phy = ShakeFilter{};
  Upright();
  AnimationStartN(&anim_girl, ANIM_IDLE);
  sound_shake_timer = 0;
  current_sound = 3;
  for (int i = 0; i < 3; ++i) GirlShake(0, 1, 0);
  EXPECT_EQ(anim_girl.state, ANIM_SHAKE);
  EXPECT_EQ(sound_shake_timer, 0);
}

TEST_F(ShakeTest, BrokenSamplesNeitherPoisonNorFlingTheFilter) {
  Upright();
  const ShakeFilter before = phy;
  testing::internal::CaptureStderr();
  GirlShake(NAN, -1, 0);
  GirlShake(0, INFINITY, 0);
  GirlShake(0, -1, -INFINITY);
  EXPECT_EQ(std::memcmp(&phy, &before, sizeof phy), 0);
  GirlShake(0, -1, 0);
  GirlShake(NAN, NAN, NAN);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Shake: accelerometer sample dropped, not a number\n"
            "Shake: accelerometer sample dropped, not a number\n");  // once per bad run

  // A reading far beyond any real sensor counts as a saturated one.
  GirlShake(1e30f, -1, 0);
  EXPECT_TRUE(std::isfinite(phy.force.x));
  EXPECT_LE(std::fabs(phy.force.x), 2 * 16.0f);
  for (int i = 0; i < 1000; ++i) GirlShake(0, -1, 0);
  EXPECT_NEAR(phy.force.x, 0.0f, 1e-4);
  EXPECT_NEAR(phy.force.y, -1.0f, 1e-4);
}

TEST_F(ShakeTest, TestButtonsPushTheFreePointsDirectly) {
  std::memset(&phy_skin, 0, sizeof phy_skin);
  phy_skin.n_vertex = 2;
  phy_skin.vertex[0].inv_mass = 1.0f / 100;  // k = 8
  phy_skin.vertex[1].inv_mass = 0;           // pinned

  GirlShakeXButton();
  EXPECT_NEAR(phy_skin.vertex[0].momentum[0], 80.0f, 1e-4);
  GirlShakeYButton();
  EXPECT_NEAR(phy_skin.vertex[0].momentum[1], -16.0f, 1e-4);

  std::srand(3);
  const float z = ((std::rand() & 16) ? 8.0f : -8.0f);
  std::srand(3);
  GirlShakeZButton();
  EXPECT_NEAR(phy_skin.vertex[0].momentum[2], -8.0f * z, 1e-4);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(phy_skin.vertex[1].momentum[k], 0.0f);
  // Both signs come up.
  bool seen_plus = false, seen_minus = false;
  for (int i = 0; i < 64; ++i) {
    const float m = phy_skin.vertex[0].momentum[2];
    GirlShakeZButton();
    (phy_skin.vertex[0].momentum[2] < m ? seen_plus : seen_minus) = true;
  }
  EXPECT_TRUE(seen_plus && seen_minus);
  std::memset(&phy_skin, 0, sizeof phy_skin);
}
