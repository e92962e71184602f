// The touches a platform delivers to a view: the records every front end
// (the window, ovanta-headless, the web page) fills through the input
// handler (input/input.h) and the gesture code reads
// (character/girl_touch.h). Plain data, nothing to link.
#pragma once

#include <cstdint>

// Phases of a platform touch; the values are also the gesture code's slot states.
enum TouchPhase : int32_t {
  TOUCH_BEGAN = 1,
  TOUCH_MOVED = 2,
  TOUCH_STATIONARY = 3,
  TOUCH_ENDED = 4,
  TOUCH_CANCELLED = 5,
};

struct TouchPoint {
  int32_t phase;  // TouchPhase; other values are listed but not counted
  float x;        // view points from the left edge
  float y;        // view points from the top edge
};

struct TouchEvent {
  const TouchPoint* touches;  // every touch on the view, in the platform's order
  int32_t count;
  float view_height;  // in points
};
