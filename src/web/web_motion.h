// The device's motion in a browser, as the app's accelerometer reading: in g,
// on the device's axes (x to the right, y to the top, z out of the screen),
// an upright and still phone reading (0, -1, 0). The page's main loop takes
// one reading a tick.
//
// Browsers send `devicemotion` events on the window with the acceleration
// including gravity in m/s^2 on the same axes, but as the force that holds
// the device up: an upright phone at rest reports (0, +9.81, 0). The reading
// is that vector turned round and divided by standard gravity. Where no
// sensor reports (a desktop, or a phone that has not given permission), the
// desktop's emulated device stands in.
#pragma once

#include "devices/accelerometer.h"

// One devicemotion vector (m/s^2) as the app's reading (g).
void WebMotionToReading(double ax, double ay, double az, double out[3]);

// Starts listening for devicemotion events.
void WebMotionStart();
// The reading for a tick at `now_ms` (the page's clock): the latest motion
// event when one came within the last second, else the emulator's sample.
void WebMotionSample(double now_ms, double out[3]);
// The emulated device: keys tilt and shake it.
AccelEmulator& WebMotionEmulator();
