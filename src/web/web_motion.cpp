#include "web/web_motion.h"

#include <emscripten/html5.h>

#include <cmath>

namespace {
const double kStandardGravity = 9.80665;
// A sensor that stopped reporting for this long counts as gone.
const double kMotionFreshMs = 1000.0;

AccelEmulator g_emulator;
double g_latest[3] = {0, -1, 0};
double g_latest_ms = -1;  // page clock of the latest motion event; -1 never

EM_BOOL OnMotion(int, const EmscriptenDeviceMotionEvent* e, void*) {
  // (This emscripten never fills in supportedFields; the values tell.)
  const double a[3] = {e->accelerationIncludingGravityX, e->accelerationIncludingGravityY,
                       e->accelerationIncludingGravityZ};
  // Browsers without a sensor send events with empty values (they arrive as
  // 0 or not a number); a real sensor always feels gravity.
  if (!std::isfinite(a[0]) || !std::isfinite(a[1]) || !std::isfinite(a[2])) return EM_FALSE;
  if (a[0] == 0 && a[1] == 0 && a[2] == 0) return EM_FALSE;
  WebMotionToReading(a[0], a[1], a[2], g_latest);
  g_latest_ms = emscripten_performance_now();
  return EM_FALSE;
}
}  // namespace

void WebMotionToReading(double ax, double ay, double az, double out[3]) {
  out[0] = -ax / kStandardGravity;
  out[1] = -ay / kStandardGravity;
  out[2] = -az / kStandardGravity;
}

void WebMotionStart() { emscripten_set_devicemotion_callback(nullptr, EM_FALSE, OnMotion); }

void WebMotionSample(double now_ms, double out[3]) {
  if (g_latest_ms >= 0 && now_ms - g_latest_ms <= kMotionFreshMs) {
    out[0] = g_latest[0];
    out[1] = g_latest[1];
    out[2] = g_latest[2];
    return;
  }
  g_emulator.Sample(out);
}

AccelEmulator& WebMotionEmulator() { return g_emulator; }
