// Touch snapshots from platform events, and the gestures built on them:
// tap, drag with clamps, pinch, twist, a lifted finger, slot swaps and
// absurd input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "character/girl_camera.h"
#include "character/girl_sound.h"
#include "character/girl_touch.h"

namespace {

const float kViewHeight = 480;

// Positions in GL convention (y up), turned into the platform's (y down).
TouchPoint P(TouchPhase phase, float x, float y_up) { return TouchPoint{phase, x, kViewHeight - y_up}; }
TouchPoint Down(float x, float y) { return P(TOUCH_BEGAN, x, y); }
TouchPoint Move(float x, float y) { return P(TOUCH_MOVED, x, y); }
TouchPoint Rest(float x, float y) { return P(TOUCH_STATIONARY, x, y); }
TouchPoint Up(float x, float y) { return P(TOUCH_ENDED, x, y); }
void Send(std::initializer_list<TouchPoint> points) {
  const std::vector<TouchPoint> v(points);
  ProcessTouches(TouchEvent{v.data(), static_cast<int32_t>(v.size()), kViewHeight});
}

void ResetGestures() {
  g_touches = TouchSnapshot{};
  touch = PickRequest{};
  v_mode = VIEW_NONE;
  v_angle_old = 0;
  v_dist_old = 0;
  v_pan_old[0] = v_pan_old[1] = 0;
  ResetCamera();
}

class GestureTest : public testing::Test {
 protected:
  void SetUp() override { ResetGestures(); }
  void TearDown() override { ResetGestures(); }
  void ExpectCameraFinite() {
    EXPECT_TRUE(std::isfinite(v_angle));
    EXPECT_TRUE(std::isfinite(v_dist));
    EXPECT_TRUE(std::isfinite(v_pan[0]));
    EXPECT_TRUE(std::isfinite(v_pan[1]));
    EXPECT_GE(v_dist, 150.0f);
    EXPECT_LE(v_dist, 600.0f);
  }
};

}  // namespace

// count, began, moved, ended, cancelled, active; a slot's state, x, y, start x, start y.
std::vector<int> Counts(const TouchSnapshot& s) { return {s.count, s.began, s.moved, s.ended, s.cancelled, s.active}; }
std::vector<int> Slot(const TouchSnapshot& s, int i) {
  const TouchSlot& t = s.slots[i];
  return {t.state, t.x, t.y, t.start_x, t.start_y};
}

TEST(TouchSnapshotTest, CountsPhasesAndFlipsY) {
  TouchSnapshot s{};
  const TouchPoint one[] = {{TOUCH_BEGAN, 10.9f, 100.2f}};
  TouchSnapshotFill(&s, TouchEvent{one, 1, kViewHeight});
  EXPECT_EQ(Counts(s), (std::vector<int>{1, 1, 0, 0, 0, 1}));
  EXPECT_EQ(Slot(s, 0), (std::vector<int>{TOUCH_BEGAN, 10, 379, 10, 379}));  // truncated; 480 - 100.2

  // A second finger while the first rests: its start is kept.
  const TouchPoint two[] = {{TOUCH_STATIONARY, 30, 50}, {TOUCH_BEGAN, 200, 300}};
  TouchSnapshotFill(&s, TouchEvent{two, 2, kViewHeight});
  EXPECT_EQ(Counts(s), (std::vector<int>{2, 1, 0, 0, 0, 2}));
  EXPECT_EQ(Slot(s, 0), (std::vector<int>{TOUCH_STATIONARY, 30, 430, 10, 379}));
  EXPECT_EQ(Slot(s, 1), (std::vector<int>{TOUCH_BEGAN, 200, 180, 200, 180}));

  const TouchPoint lift[] = {{TOUCH_ENDED, 30, 50}, {TOUCH_ENDED, 200, 300}};
  TouchSnapshotFill(&s, TouchEvent{lift, 2, kViewHeight});
  EXPECT_EQ(Counts(s), (std::vector<int>{2, 0, 0, 2, 0, 0}));

  // Edges of a 480-high view; truncation goes toward zero. An unknown phase
  // is listed and counted, nothing else; the slot keeps its state from before.
  s.slots[2].state = TOUCH_ENDED;
  const TouchPoint edges[] = {{TOUCH_MOVED, -0.7f, 0.0f}, {TOUCH_CANCELLED, 319.9f, 479.5f}, {77, 5, 5}};
  TouchSnapshotFill(&s, TouchEvent{edges, 3, kViewHeight});
  EXPECT_EQ(Counts(s), (std::vector<int>{3, 0, 1, 0, 1, 1}));
  auto at = [&s](int i) { return std::vector<int>{s.slots[i].x, s.slots[i].y}; };
  EXPECT_EQ((std::vector<std::vector<int>>{at(0), at(1), at(2)}),
            (std::vector<std::vector<int>>{{0, 480}, {319, 0}, {5, 475}}));
  EXPECT_EQ(s.slots[2].state, TOUCH_ENDED);
}

TEST(TouchSnapshotTest, MoreTouchesThanSlotsAreNotStoredAbsurdOnesAreBounded) {
  struct Guarded {
    TouchSnapshot s;
    int32_t after[8];
  } g;
  std::memset(&g, 0x5A, sizeof g);
  std::vector<TouchPoint> many;
  for (int i = 0; i < 20; ++i) many.push_back(TouchPoint{i < 18 ? TOUCH_MOVED : TOUCH_ENDED, 10.0f * i, 0});
  TouchSnapshotFill(&g.s, TouchEvent{many.data(), 20, kViewHeight});
  EXPECT_EQ(Counts(g.s), (std::vector<int>{20, 0, 18, 2, 0, 18}));
  EXPECT_EQ(g.s.slots[15].x, 150);
  for (int32_t v : g.after) EXPECT_EQ(v, 0x5A5A5A5A);

  // Absurd coordinates become bounded whole points.
  TouchSnapshot s{};
  const TouchPoint bad[] = {{TOUCH_BEGAN, NAN, INFINITY}, {TOUCH_BEGAN, 1e30f, -1e30f}, {TOUCH_BEGAN, -INFINITY, NAN}};
  TouchSnapshotFill(&s, TouchEvent{bad, 3, NAN});
  EXPECT_EQ(s.slots[0].x, 0);
  EXPECT_EQ(s.slots[0].y, 0);
  EXPECT_EQ(s.slots[1].x, kTouchCoordLimit);
  EXPECT_EQ(s.slots[1].y, 0);  // view height not a number
  EXPECT_EQ(s.slots[2].x, -kTouchCoordLimit);
  const TouchPoint huge[] = {{TOUCH_BEGAN, 5, 1e30f}};
  TouchSnapshotFill(&s, TouchEvent{huge, 1, kViewHeight});
  EXPECT_EQ(s.slots[0].y, -kTouchCoordLimit);
  TouchSnapshotFill(&s, TouchEvent{nullptr, 0, kViewHeight});
  EXPECT_EQ(s.count, 0);
}

TEST_F(GestureTest, EveryEventRestartsTheIdleCountdown) {
  for (TouchPoint p : {Down(1, 1), Move(2, 2), Up(2, 2)}) {
    sound_idle_timer = 0;
    Send({p});
    EXPECT_GE(sound_idle_timer, 450);
    EXPECT_LE(sound_idle_timer, 961);
  }
}

TEST_F(GestureTest, TwistTurnsTheSceneTwiceTheFingerAngleWhateverTheSlotOrder) {
  Send({Down(100, 100), Down(100, 200)});  // finger line along y: angle 0
  EXPECT_EQ(v_angle_old, 0.0f);
  Send({Rest(100, 100), Move(200, 200)});  // line turned 45 degrees
  EXPECT_NEAR(v_angle, 90.0f, 1e-3);
  EXPECT_NEAR(v_angle_old, M_PI / 4, 1e-6);
  // Same fingers, listed the other way round: the line has not turned.
  Send({Move(200, 200), Move(100, 100)});
  EXPECT_NEAR(v_angle, 90.0f, 1e-3);
  EXPECT_NEAR(v_angle_old, M_PI / 4, 1e-6);
  // Turn on by another 90 degrees in small steps, past the half-turn of the line.
  for (int deg = 55; deg <= 135; deg += 10) {
    const double r = deg * M_PI / 180;
    Send({Move(100 + static_cast<float>(std::round(1000 * std::sin(r))),
               100 + static_cast<float>(std::round(1000 * std::cos(r)))),
          Rest(100, 100)});
  }
  EXPECT_NEAR(v_angle, 270.0f, 0.2);
  EXPECT_EQ(v_mode, VIEW_ROTATE);
  // Lifting both ends the gesture, without a pick.
  Send({Up(100, 100), Up(300, 300)});
  EXPECT_EQ(v_mode, VIEW_NONE);
  EXPECT_FALSE(touch.request);
}

TEST_F(GestureTest, ASecondFingerTurnsLiftingOneFreezesTheCameraUntilAllAreUp) {
  Send({Down(100, 200), Down(200, 200)});
  Send({Up(100, 200), Rest(200, 200)});
  EXPECT_EQ(v_mode, VIEW_RELEASE);
  const std::vector<float> camera = {v_angle, v_dist, v_pan[0], v_pan[1]};
  Send({Move(260, 100)});
  Send({Move(10, 10)});
  EXPECT_EQ(v_mode, VIEW_RELEASE);
  EXPECT_EQ((std::vector<float>{v_angle, v_dist, v_pan[0], v_pan[1]}), camera);
  Send({Up(10, 10)});
  EXPECT_EQ(v_mode, VIEW_NONE);
  EXPECT_FALSE(touch.request);

  // A second finger during a pan switches to turning, and is no tap.
  ResetGestures();
  Send({Down(100, 200)});
  EXPECT_EQ(v_mode, VIEW_PAN);
  Send({Rest(100, 200), Down(100, 300)});
  EXPECT_EQ(v_mode, VIEW_ROTATE);
  EXPECT_FLOAT_EQ(v_dist_old, 100 * 560.0f);
  Send({Rest(100, 200), Up(100, 300)});
  EXPECT_EQ(v_mode, VIEW_RELEASE);
  Send({Up(100, 200)});
  EXPECT_EQ(v_mode, VIEW_NONE);
  EXPECT_FALSE(touch.request);
}

TEST_F(GestureTest, PanPicksUpMovementMadeBeforeTheGestureBegan) {
  // A finger that came down while another gesture was ending: the pan
  // reference is where it came down, so its first update already pans.
  g_touches = TouchSnapshot{};
  g_touches.slots[0].start_x = 100;
  g_touches.slots[0].start_y = 100;
  SetViewMode(VIEW_PAN);
  EXPECT_EQ(v_pan_old[0], 100.0f);
  Send({Move(120, 90)});
  EXPECT_EQ(v_pan[0], 20.0f);
  EXPECT_EQ(v_pan[1], -210.0f);
}

TEST_F(GestureTest, FingersOnOnePixelAbsurdPositionsAndEndlessTwistsKeepTheCameraSane) {
  Send({Down(150, 150), Down(150, 150)});
  EXPECT_EQ(v_mode, VIEW_ROTATE);
  EXPECT_EQ(v_dist_old, 0.0f);
  Send({Move(150, 150), Move(150, 150)});
  ExpectCameraFinite();
  EXPECT_EQ(v_dist, 560.0f);  // no spread to keep: the view stays
  Send({Move(100, 150), Move(200, 150)});
  ExpectCameraFinite();
  EXPECT_EQ(v_dist, 560.0f);  // the first real spread becomes the reference
  Send({Move(50, 150), Move(250, 150)});
  EXPECT_NEAR(v_dist, 280.0f, 0.01f);
  Send({Up(50, 150), Up(250, 150)});

  Send({Down(NAN, INFINITY), Down(1e30f, -1e30f)});
  Send({Move(-1e30f, NAN), Move(INFINITY, 1e30f)});
  Send({Move(1e30f, 1e30f), Move(-1e30f, -1e30f)});
  ExpectCameraFinite();
  Send({Up(0, 0), Up(0, 0)});
  Send({Down(NAN, NAN)});
  Send({Move(1e30f, -1e30f)});
  ExpectCameraFinite();
  EXPECT_EQ(v_pan[0], 200.0f);
  EXPECT_EQ(v_pan[1], -400.0f);
  Send({Up(1e30f, -1e30f)});

  // An event with more fingers than slots: counted, not stored, no gesture.
  std::vector<TouchPoint> many(20, Down(10, 10));
  ProcessTouches(TouchEvent{many.data(), 20, kViewHeight});
  EXPECT_EQ(g_touches.count, 20);
  EXPECT_EQ(v_mode, VIEW_NONE);
  ExpectCameraFinite();

  // Endless twisting stays quick and finite.
  ResetGestures();
  Send({Down(0, 0), Down(0, 1000)});
  // A reference angle grown over years of twisting must not stall an event.
  v_angle_old = 1.0e7f;
  Send({Rest(0, 0), Move(1000, 1000)});
  ExpectCameraFinite();
  EXPECT_LE(std::fabs(v_angle_old - 1.0e7f), 2.0f);
}
