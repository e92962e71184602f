// Fuzz target: any sequence of touch events (phases, counts beyond the
// slots, absurd coordinates and view heights) through the snapshot and the
// gestures. The camera must stay finite and inside its limits.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "character/girl_camera.h"
#include "character/girl_touch.h"

namespace {

float Coord(uint8_t sel, int16_t raw) {
  switch (sel & 7) {
    case 0:
      return NAN;
    case 1:
      return (sel & 8) ? INFINITY : -INFINITY;
    case 2:
      return raw * 1e28f;
    default:
      return raw / 64.0f;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetCamera();
  v_mode = VIEW_NONE;
  std::vector<TouchPoint> points;
  size_t i = 0;
  while (i + 2 <= size) {
    const uint8_t head = data[i++];
    const int count = head % 24;
    const float height = (head & 0x80) ? NAN : 480.0f;
    points.clear();
    for (int k = 0; k < count && i + 5 <= size; ++k, i += 5) {
      int16_t x, y;
      std::memcpy(&x, data + i + 1, 2);
      std::memcpy(&y, data + i + 3, 2);
      points.push_back(TouchPoint{data[i] % 7, Coord(data[i] >> 3, x), Coord(data[i] >> 5, y)});
    }
    ProcessTouches(TouchEvent{points.data(), static_cast<int32_t>(points.size()), height});
    if (!std::isfinite(v_angle) || !std::isfinite(v_dist) || !std::isfinite(v_pan[0]) || !std::isfinite(v_pan[1]) ||
        !std::isfinite(v_angle_old) || v_dist < kCameraDistMin || v_dist > kCameraDistMax ||
        v_pan[0] < kCameraPanXMin || v_pan[0] > kCameraPanXMax || v_pan[1] < kCameraPanYMin ||
        v_pan[1] > kCameraPanYMax || g_touches.count != static_cast<int32_t>(points.size()))
      std::abort();
  }
  return 0;
}
