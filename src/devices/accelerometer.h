// The device's accelerometer on a desktop: samples in g, an upright and
// still device reading (0, -1, 0), taken 30 times a second by the app loop.
//
// Sources, first that works: a game controller's accelerometer through SDL;
// the Linux IIO accelerometer (sysfs); an emulated device that stands upright
// and still, tilted by the arrow keys and shaken (a short sharp jerk) by a key.
#pragma once

#include <string>

struct _SDL_GameController;

enum AccelSource { kAccelEmulated = 0, kAccelController = 1, kAccelIIO = 2 };

// The emulated device: tilt in degrees, changed by key presses; a shake
// overrides the reading for a few samples.
struct AccelEmulator {
  float roll = 0;   // about the view axis, + to the right
  float pitch = 0;  // top edge towards (+) or away from the user
  int shake_left = 0;
  static constexpr int kShakeSamples = 4;
  static constexpr float kTiltStep = 5.0f;    // degrees per key press
  static constexpr float kTiltLimit = 85.0f;  // held short of lying flat
  void TiltRight(float deg);
  void TiltForward(float deg);
  void Shake() { shake_left = kShakeSamples; }
  void Reset() {
    roll = pitch = 0;
    shake_left = 0;
  }
  // One sample; a shake counts down.
  void Sample(double out[3]);
};

// Looks for an IIO accelerometer below `root` (normally
// /sys/bus/iio/devices): the first device folder holding in_accel_x_raw.
bool AccelIIOFind(const std::string& root, std::string* device);
// One reading of that device in g: (raw + offset) * scale per axis, scale in
// m/s^2 as the kernel reports it. False when any file is unreadable or holds
// no number, or the values are not finite.
bool AccelIIORead(const std::string& device, double out[3]);

class Accelerometer {
 public:
  // Picks the source. `allow_devices` false keeps to the emulator (tests).
  void Open(bool allow_devices);
  void Close();
  AccelSource source() const { return source_; }
  const char* sourceName() const;
  // The reading now; a device that stops answering falls back to the emulator.
  void Sample(double out[3]);
  AccelEmulator emulator;

 private:
  AccelSource source_ = kAccelEmulated;
  _SDL_GameController* controller_ = nullptr;
  std::string iio_;
};
