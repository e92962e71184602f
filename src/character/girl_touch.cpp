#include "character/girl_touch.h"

#include <cmath>

#include "character/girl_camera.h"
#include "character/girl_sound.h"

TouchSnapshot g_touches;
PickRequest touch;

ViewMode v_mode = VIEW_NONE;
float v_angle_old = 0.0f;
float v_dist_old = 0.0f;
float v_pan_old[2] = {0.0f, 0.0f};

namespace {

const double kPi = 3.14159265358979323846;
const double kDegPerRad = 57.29577951308232;

int32_t TruncCoord(double v) {
  if (std::isnan(v)) return 0;
  if (v > kTouchCoordLimit) return kTouchCoordLimit;
  if (v < -kTouchCoordLimit) return -kTouchCoordLimit;
  return static_cast<int32_t>(v);  // toward zero
}

float Spread(const TouchSlot& a, const TouchSlot& b) {
  const float dx = static_cast<float>(a.x - b.x);
  const float dy = static_cast<float>(a.y - b.y);
  return std::sqrt(dx * dx + dy * dy);
}

// Measured from the y axis: the x difference goes first.
float FingerAngle(const TouchSlot& a, const TouchSlot& b) {
  return std::atan2(static_cast<float>(b.x - a.x), static_cast<float>(b.y - a.y));
}

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void TouchSnapshotFill(TouchSnapshot* out, const TouchEvent& event) {
  int32_t count = 0, began = 0, moved = 0, active = 0, ended = 0, cancelled = 0;
  for (int32_t i = 0; i < event.count; ++i) {
    const TouchPoint& p = event.touches[i];
    // More fingers than slots: all are counted, the surplus is not stored.
    TouchSlot scratch;
    TouchSlot& slot = count < kTouchSlots ? out->slots[count] : scratch;
    slot.x = TruncCoord(static_cast<double>(p.x));
    slot.y = TruncCoord(static_cast<double>(event.view_height) - static_cast<double>(p.y));
    switch (p.phase) {
      case TOUCH_BEGAN:
        slot.state = TOUCH_BEGAN;
        slot.start_x = slot.x;
        slot.start_y = slot.y;
        ++began;
        ++active;
        break;
      case TOUCH_MOVED:
        slot.state = TOUCH_MOVED;
        ++moved;
        ++active;
        break;
      case TOUCH_STATIONARY:
        slot.state = TOUCH_STATIONARY;
        ++active;
        break;
      case TOUCH_ENDED:
        slot.state = TOUCH_ENDED;
        ++ended;
        break;
      case TOUCH_CANCELLED:
        slot.state = TOUCH_CANCELLED;
        ++cancelled;
        break;
      default:
        break;
    }
    ++count;
  }
  out->count = count;
  out->began = began;
  out->moved = moved;
  out->active = active;
  out->ended = ended;
  out->cancelled = cancelled;
}

void ProcessTouches(const TouchEvent& event) {
  TouchSnapshotFill(&g_touches, event);
  OnTouch();
}

void SetViewMode(ViewMode mode) {
  const TouchSlot& a = g_touches.slots[0];
  const TouchSlot& b = g_touches.slots[1];
  switch (mode) {
    case VIEW_ROTATE:
      v_dist_old = Spread(a, b) * v_dist;
      v_angle_old = FingerAngle(a, b);
      break;
    case VIEW_PAN:
      v_pan_old[0] = static_cast<float>(a.start_x);
      v_pan_old[1] = static_cast<float>(a.start_y);
      break;
    default:
      break;
  }
  v_mode = mode;
}

void OnTouch() {
  // Whether the one-finger gesture has seen anything but its own start and end.
  static bool moved = true;

  GirlSoundResetIdle();

  const TouchSnapshot& t = g_touches;
  const TouchSlot& a = t.slots[0];
  const TouchSlot& b = t.slots[1];
  const bool all_gone = t.count != 0 && t.count <= t.ended + t.cancelled;

  switch (v_mode) {
    case VIEW_NONE:
      if (t.began == 1 && t.active == 1) {
        SetViewMode(VIEW_PAN);
        moved = false;
      } else if (t.active == 2) {
        SetViewMode(VIEW_ROTATE);
      }
      break;

    case VIEW_RELEASE:
      if (t.ended + t.cancelled >= t.count) SetViewMode(VIEW_NONE);
      break;

    case VIEW_PAN:
      if (t.ended == 1 && !moved) {
        touch.x = a.x;
        touch.y = a.y;
        touch.request = true;
      }
      if (all_gone)
        SetViewMode(VIEW_NONE);
      else if (t.ended != 0 || t.cancelled != 0)
        SetViewMode(VIEW_RELEASE);
      else
        moved = true;
      if (t.active == 2) {
        SetViewMode(VIEW_ROTATE);
      } else if (t.active == 1) {
        v_pan[0] += static_cast<float>(a.x) - v_pan_old[0];
        v_pan_old[0] = static_cast<float>(a.x);
        v_pan[1] += static_cast<float>(a.y) - v_pan_old[1];
        v_pan_old[1] = static_cast<float>(a.y);
        v_pan[0] = Clamp(v_pan[0], kCameraPanXMin, kCameraPanXMax);
        v_pan[1] = Clamp(v_pan[1], kCameraPanYMin, kCameraPanYMax);
      }
      break;

    case VIEW_ROTATE: {
      if (all_gone) {
        SetViewMode(VIEW_NONE);
        break;
      }
      if (t.ended != 0 || t.cancelled != 0) {
        SetViewMode(VIEW_RELEASE);
        break;
      }
      if (t.moved <= 0 || t.active != 2) break;

      const float d = Spread(a, b);
      if (v_dist_old > 0.0f) {
        v_dist = v_dist_old / (d + 0.001f);
        if (v_dist < kCameraDistMin)
          v_dist = kCameraDistMin;
        else if (v_dist > kCameraDistMax)
          v_dist = kCameraDistMax;
      }
      // A pinch that began with both fingers on one pixel had no spread to
      // keep; it takes its reference from the first spread instead of
      // jumping to the nearest view.
      v_dist_old = d * v_dist;

      float angle = FingerAngle(a, b);
      const float old = v_angle_old;
      // The finger line has no direction and the slots may swap, so the angle
      // is only known modulo pi: bring it within a quarter turn of the last one.
      // Whole half-turns are taken in one go and the steps are bounded, so a
      // reference grown huge by endless twisting cannot stall the event.
      const double lo = old - kPi / 2, hi = old + kPi / 2;
      if (angle < lo || angle > hi) angle = static_cast<float>(angle + kPi * std::floor((old - angle) / kPi + 0.5));
      for (int i = 0; i < 4 && angle < lo; ++i) angle = static_cast<float>(angle + kPi);
      for (int i = 0; i < 4 && angle > hi; ++i) angle = static_cast<float>(angle - kPi);
      v_angle_old = angle;
      v_angle = static_cast<float>(v_angle + 2.0 * (angle - old) * kDegPerRad);
      break;
    }
  }
}
