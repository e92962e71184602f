#include "devices/accelerometer.h"

#include <SDL2/SDL.h>
#include <dirent.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "files/files.h"

namespace {
const double kStandardGravity = 9.80665;
const double kDegToRad = 3.14159265358979323846 / 180.0;

// One number of a kernel attribute file, read as every input is (a pipe or
// a device in its place never blocks).
bool ReadNumber(const std::string& path, double* value) {
  std::string text;
  if (FileReadShort(path.c_str(), 64, &text) != kFileOk) return false;
  std::istringstream in(text);
  double v = 0;
  if (!(in >> v) || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

float Clamp(float v, float lim) { return v < -lim ? -lim : v > lim ? lim : v; }
}  // namespace

void AccelEmulator::TiltRight(float deg) { roll = Clamp(roll + deg, kTiltLimit); }
void AccelEmulator::TiltForward(float deg) { pitch = Clamp(pitch + deg, kTiltLimit); }

void AccelEmulator::Sample(double out[3]) {
  const double r = roll * kDegToRad, p = pitch * kDegToRad;
  out[0] = std::sin(r) * std::cos(p);
  out[1] = -std::cos(r) * std::cos(p);
  out[2] = -std::sin(p);
  if (shake_left > 0) {
    // A sharp upward jerk well past the reaction threshold, then still again.
    out[1] += 3.5;
    --shake_left;
  }
}

bool AccelIIOFind(const std::string& root, std::string* device) {
  DIR* dir = opendir(root.c_str());
  if (!dir) return false;
  bool found = false;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind("iio:device", 0) != 0) continue;
    const std::string path = root + "/" + name;
    double v;
    if (ReadNumber(path + "/in_accel_x_raw", &v)) {
      *device = path;
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

bool AccelIIORead(const std::string& device, double out[3]) {
  double shared_scale = 0;
  const bool has_shared = ReadNumber(device + "/in_accel_scale", &shared_scale);
  const char axes[3] = {'x', 'y', 'z'};
  for (int i = 0; i < 3; ++i) {
    const std::string base = device + "/in_accel_" + axes[i];
    double raw = 0, offset = 0, scale = shared_scale;
    if (!ReadNumber(base + "_raw", &raw)) return false;
    ReadNumber(base + "_offset", &offset);
    if (!ReadNumber(base + "_scale", &scale) && !has_shared) return false;
    out[i] = (raw + offset) * scale / kStandardGravity;
    if (!std::isfinite(out[i])) return false;
  }
  return true;
}

void Accelerometer::Open(bool allow_devices) {
  Close();
  if (allow_devices) {
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_SENSOR) == 0) {
      for (int i = 0; i < SDL_NumJoysticks() && !controller_; ++i) {
        if (!SDL_IsGameController(i)) continue;
        SDL_GameController* c = SDL_GameControllerOpen(i);
        if (c && SDL_GameControllerHasSensor(c, SDL_SENSOR_ACCEL) &&
            SDL_GameControllerSetSensorEnabled(c, SDL_SENSOR_ACCEL, SDL_TRUE) == 0) {
          controller_ = c;
          source_ = kAccelController;
        } else if (c) {
          SDL_GameControllerClose(c);
        }
      }
    }
    double probe[3];
    if (!controller_ && AccelIIOFind("/sys/bus/iio/devices", &iio_) && AccelIIORead(iio_, probe)) source_ = kAccelIIO;
  }
  std::printf("accelerometer: %s\n", sourceName());
}

void Accelerometer::Close() {
  if (controller_) SDL_GameControllerClose(controller_);
  controller_ = nullptr;
  iio_.clear();
  source_ = kAccelEmulated;
}

const char* Accelerometer::sourceName() const {
  switch (source_) {
    case kAccelController:
      return "game controller";
    case kAccelIIO:
      return "IIO device";
    default:
      return "emulated (arrow keys tilt, S shakes)";
  }
}

void Accelerometer::Sample(double out[3]) {
  if (source_ == kAccelController) {
    float v[3];
    if (SDL_GameControllerGetSensorData(controller_, SDL_SENSOR_ACCEL, v, 3) == 0) {
      // SDL reports m/s^2 with gravity pointing up; the device reports g.
      for (int i = 0; i < 3; ++i) out[i] = -v[i] / kStandardGravity;
      return;
    }
    Close();
  } else if (source_ == kAccelIIO) {
    if (AccelIIORead(iio_, out)) return;
    Close();
  }
  emulator.Sample(out);
}
