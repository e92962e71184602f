// Touch capture and the camera gestures.
//
// The platform layer hands every touch event on the GL view to
// ProcessTouches as a flat list (phase and position in view points, y from
// the top edge). That rebuilds the snapshot g_touches (whole points, y from
// the bottom edge, as GL counts) and calls OnTouch, which keeps the gesture
// mode: one finger pans, two fingers turn and zoom, a finger that comes down
// and lifts without moving files a pick request in `touch` that the next
// frame update answers. Every event restarts the idle-voice countdown.
#pragma once

#include <cstdint>

#include "uikit/touch.h"

struct TouchSlot {
  int32_t state;             // TouchPhase of the last event
  int32_t start_x, start_y;  // where the touch came down
  int32_t x, y;              // current position, y from the bottom edge
};

const int kTouchSlots = 16;

struct TouchSnapshot {
  int32_t count;  // touches of the event, all of them even beyond the slots
  int32_t began;
  int32_t moved;
  int32_t active;  // began, moved or stationary
  int32_t ended;
  int32_t cancelled;
  TouchSlot slots[kTouchSlots];  // the first min(count, 16); later ones stale
};

extern TouchSnapshot g_touches;

struct PickRequest {
  bool request;  // a tap waits for the next frame to test it
  bool hit;      // the last tested tap hit what is drawn over the backdrop
  int32_t x;     // tap position, points from the left edge
  int32_t y;     // tap position, points from the bottom edge
  uint8_t pixel[4];
};

extern PickRequest touch;

enum ViewMode : int32_t {
  VIEW_NONE = 0,     // waiting for the first finger(s)
  VIEW_RELEASE = 1,  // gesture over: ignore everything until all fingers are up
  VIEW_ROTATE = 3,   // two fingers: turn and zoom
  VIEW_PAN = 5,      // one finger: a tap, or a pan once it moves
};

extern ViewMode v_mode;
extern float v_angle_old;   // radians, finger line against the y axis
extern float v_dist_old;    // finger spread x v_dist, constant through a pinch
extern float v_pan_old[2];  // finger position at the last pan update

// Fills `out` from one event: counters from scratch, slots in event order.
// Coordinates that are not numbers count as 0, huge ones are held to
// +-kTouchCoordLimit, so nothing downstream sees an undefined conversion.
const int32_t kTouchCoordLimit = 100000;
void TouchSnapshotFill(TouchSnapshot* out, const TouchEvent& event);

// Entry point of the platform layer: rebuilds g_touches, then OnTouch().
void ProcessTouches(const TouchEvent& event);

void OnTouch();
// Enters a mode and captures the references its updates need.
void SetViewMode(ViewMode mode);
