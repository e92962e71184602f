// The clip player: the clip table, frame arithmetic, wrapping and chaining.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_sound.h"

namespace {

bool IdleCountdownRestarted() { return sound_idle_timer >= 450 && sound_idle_timer <= 961; }

class AnimTest : public testing::Test {
 protected:
  void SetUp() override {
    std::srand(7);
    continue_dancing = 0;
    sound_idle_timer = 0;
    std::memset(&a, 0, sizeof a);
  }
  void Advance(int n) {
    for (int i = 0; i < n; ++i) Animate(&a);
  }
  AnimStruct a;
};

}  // namespace

TEST_F(AnimTest, EveryClipStartsFromTheTable) {
  for (int state = ANIM_IDLE; state <= ANIM_DANCE_OUT; ++state) {
    const AnimClip& clip = GirlClip(static_cast<AnimState>(state));
    a.stopped = true;
    a.speed = 3;
    sound_idle_timer = 0;
    AnimationStartN(&a, static_cast<AnimState>(state));
    EXPECT_EQ(a.state, state);
    EXPECT_EQ(a.start_frame, clip.start_frame);
    EXPECT_EQ(a.end_frame, clip.end_frame);
    EXPECT_EQ(a.loop, clip.loop);
    EXPECT_FALSE(a.stopped);
    EXPECT_EQ(a.speed, 1.0f);
    EXPECT_EQ(a.frame, static_cast<float>(clip.start_frame + 0.001));
    EXPECT_TRUE(IdleCountdownRestarted()) << state;
  }
}

TEST_F(AnimTest, UnknownClipChangesNothingButRestartsTheCountdown) {
  AnimationStartN(&a, ANIM_SHAKE);
  const AnimStruct before = a;
  sound_idle_timer = 0;
  AnimationStartN(&a, static_cast<AnimState>(0));
  AnimationStartN(&a, static_cast<AnimState>(6));
  EXPECT_EQ(std::memcmp(&a, &before, sizeof a), 0);
  EXPECT_TRUE(IdleCountdownRestarted());
}

TEST_F(AnimTest, IdleWrapsToExactlyItsStart) {
  AnimationStartN(&a, ANIM_IDLE);
  EXPECT_EQ(a.frame, 0.001f);
  Advance(174);
  EXPECT_FLOAT_EQ(a.frame, 174.001f);
  Advance(1);
  EXPECT_EQ(a.frame, 0.0f);  // no 0.001 offset on a wrap
  EXPECT_EQ(a.state, ANIM_IDLE);
  EXPECT_FALSE(a.stopped);
  Advance(1);
  EXPECT_EQ(a.frame, 1.0f);
}

TEST_F(AnimTest, DanceInHandsOverToDanceWithoutSpendingAFrame) {
  AnimationStartN(&a, ANIM_DANCE_IN);
  EXPECT_EQ(a.frame, 175.001f);
  Advance(9);
  EXPECT_EQ(a.state, ANIM_DANCE_IN);
  EXPECT_FLOAT_EQ(a.frame, 184.001f);
  sound_idle_timer = 0;
  Advance(1);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, 186.001f);
  EXPECT_FALSE(a.stopped);
  EXPECT_TRUE(IdleCountdownRestarted());  // the chained start restarts it
}

TEST_F(AnimTest, DanceRepeatsUntilStoppedThenLeadsOutToIdle) {
  continue_dancing = 1;
  AnimationStartN(&a, ANIM_DANCE);
  // 185.001 reaches 298.001 on the 113th advance: a new pass starts.
  Advance(112);
  EXPECT_FLOAT_EQ(a.frame, 297.001f);
  Advance(1);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, 186.001f);
  // Several passes while the flag stays up.
  Advance(112 * 3);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, 186.001f);

  // Stop half-way: this pass still plays to its end.
  Advance(50);
  continue_dancing = 0;
  Advance(61);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, 297.001f);
  Advance(1);
  EXPECT_EQ(a.state, ANIM_DANCE_OUT);
  EXPECT_FLOAT_EQ(a.frame, 300.001f);
  Advance(6);
  EXPECT_EQ(a.state, ANIM_DANCE_OUT);
  Advance(1);
  EXPECT_EQ(a.state, ANIM_IDLE);
  EXPECT_TRUE(a.loop);
  EXPECT_FLOAT_EQ(a.frame, 1.001f);  // the first idle frame drawn
}

TEST_F(AnimTest, ShakeReturnsToIdle) {
  AnimationStartN(&a, ANIM_SHAKE);
  Advance(35);
  EXPECT_EQ(a.state, ANIM_SHAKE);
  EXPECT_FLOAT_EQ(a.frame, 343.001f);
  Advance(1);
  EXPECT_EQ(a.state, ANIM_IDLE);
  EXPECT_FLOAT_EQ(a.frame, 1.001f);
}

TEST_F(AnimTest, IdleThatDoesNotLoopIsReportedAndRestartedLooping) {
  AnimationStart(&a, 0, 3, ANIM_IDLE, false);
  testing::internal::CaptureStderr();
  Advance(2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  testing::internal::CaptureStderr();
  Advance(1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR:Idle animation is never stopped!");
  EXPECT_TRUE(a.loop);
  EXPECT_EQ(a.end_frame, 175);
  EXPECT_FLOAT_EQ(a.frame, 1.001f);
}

TEST_F(AnimTest, OtherClipsStopOnTheirEndFrame) {
  AnimationStart(&a, 10, 12, static_cast<AnimState>(9), false);
  EXPECT_FLOAT_EQ(a.frame, 10.001f);
  Advance(2);
  EXPECT_TRUE(a.stopped);
  EXPECT_EQ(a.frame, 12.0f);
  Advance(5);
  EXPECT_EQ(a.frame, 12.0f);
}

TEST_F(AnimTest, BackdropWithoutFramesStaysAtZero) {
  AnimationStart(&anim_bg, 0, 0, ANIM_IDLE, true);
  EXPECT_EQ(anim_bg.frame, 0.001f);
  for (int i = 0; i < 5; ++i) {
    Animate(&anim_bg);
    EXPECT_EQ(anim_bg.frame, 0.0f);
  }
  AnimationStart(&anim_bg, 0, 40, ANIM_IDLE, true);
  for (int i = 0; i < 40; ++i) Animate(&anim_bg);
  EXPECT_EQ(anim_bg.frame, 0.0f);
  EXPECT_EQ(anim_bg.state, ANIM_IDLE);
}
