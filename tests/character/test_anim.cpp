// The clip player: the clip table, frame arithmetic, wrapping and chaining.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_sound.h"
#include "rig/girl_clips.h"

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

TEST_F(AnimTest, EveryClipStartsFromTheTableAnUnknownOneChangesNothing) {
  for (int state = ANIM_IDLE; state <= ANIM_DANCE_OUT; ++state) {
    const AnimClip& clip = GirlClip(static_cast<AnimState>(state));
    a.stopped = true;
    a.speed = 3;
    sound_idle_timer = 0;
    AnimationStartN(&a, static_cast<AnimState>(state));
    EXPECT_EQ(std::make_tuple(static_cast<int>(a.state), a.start_frame, a.end_frame, a.loop, a.stopped, a.speed),
              std::make_tuple(state, clip.start_frame, clip.end_frame, clip.loop, false, 1.0f));
    EXPECT_EQ(a.frame, static_cast<float>(clip.start_frame + 0.001));
    EXPECT_TRUE(IdleCountdownRestarted()) << state;
  }
  // An unknown clip changes nothing but restarts the countdown.
  AnimationStartN(&a, ANIM_SHAKE);
  const AnimStruct before = a;
  sound_idle_timer = 0;
  AnimationStartN(&a, static_cast<AnimState>(0));
  AnimationStartN(&a, static_cast<AnimState>(6));
  EXPECT_EQ(std::memcmp(&a, &before, sizeof a), 0);
  EXPECT_TRUE(IdleCountdownRestarted());
}

namespace {

// Clip rows and the frame the player shows: START + 0.001 when a clip
// starts, whole frames after a wrap.
const AnimClip& kIdle = GirlClip(ANIM_IDLE);
const AnimClip& kIn = GirlClip(ANIM_DANCE_IN);
const AnimClip& kDance = GirlClip(ANIM_DANCE);
const AnimClip& kOut = GirlClip(ANIM_DANCE_OUT);
const AnimClip& kShake = GirlClip(ANIM_SHAKE);
float Shown(int frame) { return static_cast<float>(frame + 0.001); }

}  // namespace

TEST_F(AnimTest, IdleWrapsToExactlyItsStart) {
  AnimationStartN(&a, ANIM_IDLE);
  EXPECT_EQ(a.frame, Shown(kIdle.start_frame));
  Advance(kIdle.end_frame - kIdle.start_frame - 1);
  EXPECT_FLOAT_EQ(a.frame, Shown(kIdle.end_frame - 1));
  Advance(1);
  EXPECT_EQ(a.frame, static_cast<float>(kIdle.start_frame));  // no 0.001 offset on a wrap
  EXPECT_EQ(a.state, ANIM_IDLE);
  EXPECT_FALSE(a.stopped);
  Advance(1);
  EXPECT_EQ(a.frame, static_cast<float>(kIdle.start_frame + 1));
}

// A chained clip starts one frame in: the hand-over spends no frame.
TEST_F(AnimTest, DanceInAndShakeHandOverWithoutSpendingAFrame) {
  AnimationStartN(&a, ANIM_DANCE_IN);
  EXPECT_EQ(a.frame, Shown(kIn.start_frame));
  Advance(kIn.end_frame - kIn.start_frame - 1);
  EXPECT_EQ(a.state, ANIM_DANCE_IN);
  EXPECT_FLOAT_EQ(a.frame, Shown(kIn.end_frame - 1));
  sound_idle_timer = 0;
  Advance(1);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, Shown(kDanceFirstDrawnFrame));
  EXPECT_FALSE(a.stopped);
  EXPECT_TRUE(IdleCountdownRestarted());  // the chained start restarts it
  // The shake hands over to idle alike.
  AnimationStartN(&a, ANIM_SHAKE);
  Advance(kShake.end_frame - kShake.start_frame - 1);
  EXPECT_EQ(a.state, ANIM_SHAKE);
  EXPECT_FLOAT_EQ(a.frame, Shown(kShake.end_frame - 1));
  Advance(1);
  EXPECT_EQ(a.state, ANIM_IDLE);
  EXPECT_FLOAT_EQ(a.frame, Shown(kIdle.start_frame + 1));
}

TEST_F(AnimTest, DanceRepeatsUntilStoppedThenLeadsOutToIdle) {
  continue_dancing = 1;
  AnimationStartN(&a, ANIM_DANCE);
  // The first pass starts on the start frame itself, so it is one frame short.
  Advance(kDancePassFrames);
  EXPECT_FLOAT_EQ(a.frame, Shown(kDance.end_frame - 1));
  Advance(1);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, Shown(kDanceFirstDrawnFrame));
  // Several passes while the flag stays up.
  Advance(kDancePassFrames * 3);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, Shown(kDanceFirstDrawnFrame));

  // Stop half-way: this pass still plays to its end.
  Advance(kDancePassFrames / 2);
  continue_dancing = 0;
  Advance(kDancePassFrames - kDancePassFrames / 2 - 1);
  EXPECT_EQ(a.state, ANIM_DANCE);
  EXPECT_FLOAT_EQ(a.frame, Shown(kDance.end_frame - 1));
  Advance(1);
  EXPECT_EQ(a.state, ANIM_DANCE_OUT);
  EXPECT_FLOAT_EQ(a.frame, Shown(kOut.start_frame + 1));
  Advance(kOut.end_frame - kOut.start_frame - 2);
  EXPECT_EQ(a.state, ANIM_DANCE_OUT);
  Advance(1);
  EXPECT_EQ(a.state, ANIM_IDLE);
  EXPECT_TRUE(a.loop);
  EXPECT_FLOAT_EQ(a.frame, Shown(kIdle.start_frame + 1));  // the first idle frame drawn
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
  EXPECT_EQ(a.end_frame, kIdle.end_frame);
  EXPECT_FLOAT_EQ(a.frame, Shown(kIdle.start_frame + 1));
}

TEST_F(AnimTest, OtherClipsStopOnTheirEndFrameABackdropWithoutFramesAtZero) {
  AnimationStart(&a, 10, 12, static_cast<AnimState>(9), false);
  EXPECT_FLOAT_EQ(a.frame, 10.001f);
  Advance(2);
  EXPECT_TRUE(a.stopped);
  EXPECT_EQ(a.frame, 12.0f);
  Advance(5);
  EXPECT_EQ(a.frame, 12.0f);
  // A backdrop without frames stays at zero, looping or not.
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
