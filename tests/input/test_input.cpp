// The one input handler against a sink that records what reached the app:
// window units through the letterbox to view points, the mouse as one
// finger and Alt's mirrored second one, the wheel's pinch, touch-screen
// fingers, the interface taking presses on controls, and an overlay that
// takes exactly the next press or key.
#include <gtest/gtest.h>

#include "input/input.h"

namespace {

struct Recorder : InputSink {
  bool overlay = false;
  bool gestures = true;
  float control_y = 1e9f;  // presses below this y work the interface
  std::vector<std::vector<TouchPoint>> touches;
  std::vector<std::string> keys, texts;
  bool pointer_present = false, pointer_down = false;
  float px = 0, py = 0;

  bool OverlayShown() override { return overlay; }
  void DismissOverlay() override { overlay = false; }
  bool InterfaceAt(float, float y) override { return y >= control_y; }
  bool ViewTakesGestures() override { return gestures; }
  void InterfacePointer(bool present, float x, float y, bool down) override {
    pointer_present = present;
    pointer_down = down;
    px = x;
    py = y;
  }
  void Touches(const std::vector<TouchPoint>& t) override { touches.push_back(t); }
  void Key(const InputKey& k) override { keys.push_back((k.ctrl ? "ctrl+" : "") + k.name); }
  void Text(const std::string& t) override { texts.push_back(t); }
};

// (Two pixels a point and a wide window's bars: AppWindow.*, which clicks
// through them.)
TEST(Input, WindowUnitsMapThroughTheLetterboxToViewPoints) {
  InputState s;
  Recorder r;
  // A press on a bar touches nothing, and neither does its release.
  InputSetWindow(s, 900, 700);
  InputPointerDown(s, r, 20, 350, false);
  InputPointerUp(s, r, 20, 350);
  EXPECT_TRUE(r.touches.empty());
  // A tall window: bars above and below.
  InputSetWindow(s, 400, 1000);
  EXPECT_FLOAT_EQ(s.viewport.width, 400);
  EXPECT_NEAR(s.viewport.y + s.viewport.height / 2, 500, 1);
}

TEST(Input, MouseFingersAndWheelBecomeTouches) {
  InputState s;
  Recorder r;
  // Alt + drag: a second finger mirrored about the centre.
  InputPointerDown(s, r, 100, 200, true);
  InputPointerMove(s, r, 110, 190);
  InputPointerUp(s, r, 110, 190);
  ASSERT_EQ(r.touches.size(), 3u);
  for (const auto& t : r.touches) {
    ASSERT_EQ(t.size(), 2u);
    EXPECT_FLOAT_EQ(t[0].x + t[1].x, kInputViewWidth);
    EXPECT_FLOAT_EQ(t[0].y + t[1].y, kInputViewHeight);
    EXPECT_EQ(t[0].phase, t[1].phase);
  }
  EXPECT_EQ(r.touches[1][0].phase, TOUCH_MOVED);

  // The wheel: two fingers about the centre that spread (away) or close.
  r.touches.clear();
  InputWheel(s, r, 1);
  ASSERT_EQ(r.touches.size(), 3u);
  const float spread0 = r.touches[0][1].x - r.touches[0][0].x, spread1 = r.touches[1][1].x - r.touches[1][0].x;
  EXPECT_GT(spread1, spread0);
  EXPECT_FLOAT_EQ(r.touches[1][0].x + r.touches[1][1].x, kInputViewWidth);
  InputWheel(s, r, -2);
  EXPECT_LT(r.touches[4][1].x - r.touches[4][0].x, spread0);
  // Not while another screen covers the view.
  r.gestures = false;
  InputWheel(s, r, 1);
  EXPECT_EQ(r.touches.size(), 6u);

  // Fingers: each event lists all of them, the resting ones stationary;
  // positions are fractions of the window.
  r.touches.clear();
  InputFinger(s, r, 7, TOUCH_BEGAN, 0.25f, 0.5f);
  InputFinger(s, r, 9, TOUCH_BEGAN, 0.75f, 0.5f);
  InputFinger(s, r, 9, TOUCH_MOVED, 0.75f, 0.25f);
  InputFinger(s, r, 7, TOUCH_ENDED, 0.25f, 0.5f);
  InputFinger(s, r, 9, TOUCH_ENDED, 0.75f, 0.25f);
  ASSERT_EQ(r.touches.size(), 5u);
  EXPECT_EQ(r.touches[0].size(), 1u);
  EXPECT_FLOAT_EQ(r.touches[0][0].x, 80);
  ASSERT_EQ(r.touches[2].size(), 2u);
  EXPECT_EQ(r.touches[2][0].phase, TOUCH_STATIONARY);
  EXPECT_EQ(r.touches[2][1].phase, TOUCH_MOVED);
  EXPECT_FLOAT_EQ(r.touches[2][1].y, 120);
  EXPECT_EQ(r.touches[4].size(), 1u) << "a lifted finger leaves the list";
  EXPECT_TRUE(s.fingers.empty());
}

TEST(Input, ControlsTakeTheirPressesAndAnOverlayTakesTheNextOne) {
  InputState s;
  Recorder r;
  r.control_y = 400;  // a button bar
  InputPointerMove(s, r, 160, 440);
  EXPECT_TRUE(r.pointer_present);
  EXPECT_FALSE(r.pointer_down);
  InputPointerDown(s, r, 160, 440, false);
  EXPECT_TRUE(r.pointer_down);
  InputPointerUp(s, r, 160, 440);
  EXPECT_FALSE(r.pointer_down);
  EXPECT_TRUE(r.touches.empty()) << "a press on a control never touches the view";
  InputPointerLeave(s, r);
  EXPECT_FALSE(r.pointer_present);
  InputFinger(s, r, 3, TOUCH_BEGAN, 0.5f, 0.9f);
  EXPECT_TRUE(r.pointer_down);
  InputFinger(s, r, 4, TOUCH_BEGAN, 0.5f, 0.5f);  // waits while the first works the control
  InputFinger(s, r, 3, TOUCH_ENDED, 0.5f, 0.9f);
  EXPECT_FALSE(r.pointer_down);
  EXPECT_TRUE(r.pointer_present) << "released where the finger lifted, so the control clicks";
  EXPECT_TRUE(r.touches.empty());

  // The overlay goes with the next press, which does nothing else, nor does its release.
  r.overlay = true;
  InputPointerDown(s, r, 160, 440, false);
  InputPointerUp(s, r, 160, 440);
  EXPECT_FALSE(r.overlay);
  EXPECT_FALSE(r.pointer_down);
  EXPECT_TRUE(r.touches.empty());
  // ... or with the next key, whose text and repeats go with it until it is released.
  InputKey q;
  ASSERT_TRUE(InputParseKey("/", &q));
  r.overlay = true;
  InputKeyDown(s, r, q);
  InputTextTyped(s, r, "?");
  InputKeyDown(s, r, q);
  InputKeyUp(s, r, q);
  EXPECT_FALSE(r.overlay);
  EXPECT_TRUE(r.keys.empty());
  EXPECT_TRUE(r.texts.empty());
  InputKeyDown(s, r, q);
  InputTextTyped(s, r, "?");
  EXPECT_EQ(r.keys, std::vector<std::string>{"/"});
  EXPECT_EQ(r.texts, std::vector<std::string>{"?"});
}

TEST(Input, KeyNames) {
  InputKey k;
  for (const char* good : {"m", "escape", "f1", "f24", "?", "+", "ctrl+q", "shift+alt+left", "ctrl++"}) {
    EXPECT_TRUE(InputParseKey(good, &k)) << good;
  }
  ASSERT_TRUE(InputParseKey("ctrl+q", &k));
  EXPECT_TRUE(k.ctrl);
  EXPECT_FALSE(k.alt);
  EXPECT_EQ(k.name, "q");
  for (const char* bad : {"", "M", "esc", "f0", "f25", "f01", "ctrl+", "ctrl+ctrl+q", "hyper+q", "é", "ctrl+Q"}) {
    EXPECT_FALSE(InputParseKey(bad, &k)) << bad;
  }
}

}  // namespace
