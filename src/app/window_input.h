// Desktop input mapped to what the phone delivered, for the real window:
// touch-screen fingers with their phases, the mouse as one finger, Alt + drag
// as a second finger mirrored about the view's centre (pinch and twist with
// one hand), the mouse wheel as a short pinch, and the keys of the emulated
// accelerometer. Coordinates arrive in window pixels or normalised finger
// units and leave in view points (320 x 480, y from the top).
#pragma once

#include <SDL2/SDL_events.h>

#include <cstdint>
#include <map>
#include <vector>

#include "character/girl_touch.h"

struct AccelEmulator;
class UINavigationController;

class WindowInput {
 public:
  // Window size in pixels, for the mouse; the view is 320 x 480 points.
  void SetWindowSize(int width, int height) {
    win_w_ = width;
    win_h_ = height;
  }
  // One event (already framed by InputQueue). Touch events for the GL view go
  // to `deliver`; presses on a control go to the interface instead.
  // Returns false for a quit request.
  bool Handle(const SDL_Event& e, UINavigationController* nav, AccelEmulator* accel,
              void (*deliver)(const TouchEvent&));
  // Whether the interface owns the pointer (a press that began on a control).
  bool pointerOnInterface() const { return ui_pointer_; }
  float pointerX() const { return px_; }
  float pointerY() const { return py_; }
  bool pointerDown() const { return down_; }
  bool screenshotRequested() { bool r = shot_; shot_ = false; return r; }

 private:
  void Mouse(int32_t phase, float x, float y, bool mirrored, void (*deliver)(const TouchEvent&));
  int win_w_ = 320, win_h_ = 480;
  float px_ = 0, py_ = 0;
  bool down_ = false, ui_pointer_ = false, mirrored_ = false, shot_ = false;
  std::map<int64_t, TouchPoint> fingers_;
};
