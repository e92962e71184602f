#include "input/input.h"

#include "math/Letterbox.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

bool Inside(float x, float y) { return x >= 0 && y >= 0 && x < kInputViewWidth && y < kInputViewHeight; }

bool Swallowed(const InputState& s, const std::string& name) {
  return std::find(s.swallow_keys.begin(), s.swallow_keys.end(), name) != s.swallow_keys.end();
}

// The mouse as one finger, and with Alt a second one mirrored about the centre.
void MouseTouch(InputSink& sink, int32_t phase, float x, float y, bool mirrored) {
  std::vector<TouchPoint> pts{{phase, x, y}};
  if (mirrored) pts.push_back({phase, kInputViewWidth - x, kInputViewHeight - y});
  sink.Touches(pts);
}

}  // namespace

bool InputKeyNameKnown(const std::string& name) {
  static const char* const kNamed[] = {"escape", "return", "tab",      "space", "backspace", "delete", "insert", "home",
                                       "end",    "pageup", "pagedown", "left",  "right",     "up",     "down"};
  for (const char* n : kNamed)
    if (name == n) return true;
  if (name.size() == 1) {
    const char c = name[0];
    // Letters are lower case; the other printable ASCII characters stand for themselves.
    return c > ' ' && c < 127 && !(c >= 'A' && c <= 'Z');
  }
  if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f' && name[1] >= '1' && name[1] <= '9') {
    const int n = std::atoi(name.c_str() + 1);
    return n >= 1 && n <= 24 && std::to_string(n) == name.substr(1);
  }
  return false;
}

bool InputParseKey(const std::string& text, InputKey* key) {
  InputKey k;
  std::string rest = text;
  // "+" alone, or at the end, is the plus key itself.
  for (size_t plus; rest.size() > 1 && (plus = rest.find('+')) != std::string::npos && plus + 1 < rest.size();) {
    const std::string mod = rest.substr(0, plus);
    if (mod == "ctrl" && !k.ctrl)
      k.ctrl = true;
    else if (mod == "alt" && !k.alt)
      k.alt = true;
    else if (mod == "shift" && !k.shift)
      k.shift = true;
    else
      return false;
    rest = rest.substr(plus + 1);
  }
  if (!InputKeyNameKnown(rest)) return false;
  k.name = rest;
  if (key) *key = k;
  return true;
}

InputViewport InputFitView(int w, int h) {
  InputViewport vp;
  if (w <= 0 || h <= 0) return vp;
  // The same box the window shows the picture in.
  const LetterboxRect box = Letterbox(w, h, kInputViewWidth / kInputViewHeight);
  vp.x = box.x;
  vp.y = box.y;
  vp.width = box.width;
  vp.height = box.height;
  return vp;
}

void InputWindowToView(const InputViewport& vp, float wx, float wy, float* x, float* y) {
  *x = (wx - vp.x) * kInputViewWidth / vp.width;
  *y = (wy - vp.y) * kInputViewHeight / vp.height;
}

void InputSetWindow(InputState& s, int width, int height) {
  s.window_w = static_cast<float>(std::max(1, width));
  s.window_h = static_cast<float>(std::max(1, height));
  s.viewport = InputFitView(width, height);
}

void InputPointerMove(InputState& s, InputSink& sink, float wx, float wy) {
  float x, y;
  InputWindowToView(s.viewport, wx, wy, &x, &y);
  s.pointer_x = x;
  s.pointer_y = y;
  s.pointer_present = Inside(x, y);
  if (s.swallow_press) return;
  if (s.down && !s.on_interface) {
    MouseTouch(sink, TOUCH_MOVED, x, y, s.mirrored);
    // While a gesture runs, the controls under it do not light up.
    sink.InterfacePointer(false, x, y, false);
    return;
  }
  sink.InterfacePointer(s.pointer_present || s.down, x, y, s.down);
}

void InputPointerDown(InputState& s, InputSink& sink, float wx, float wy, bool alt) {
  if (s.down || s.swallow_press) return;
  float x, y;
  InputWindowToView(s.viewport, wx, wy, &x, &y);
  s.pointer_x = x;
  s.pointer_y = y;
  s.pointer_present = Inside(x, y);
  if (sink.OverlayShown()) {
    sink.DismissOverlay();
    s.swallow_press = true;
    return;
  }
  // A press on the bars beside the picture touches nothing.
  if (!s.pointer_present) return;
  s.down = true;
  s.on_interface = sink.InterfaceAt(x, y);
  if (s.on_interface) {
    sink.InterfacePointer(true, x, y, true);
  } else {
    s.mirrored = alt;
    MouseTouch(sink, TOUCH_BEGAN, x, y, s.mirrored);
  }
}

void InputPointerUp(InputState& s, InputSink& sink, float wx, float wy) {
  if (s.swallow_press) {
    s.swallow_press = false;
    return;
  }
  if (!s.down) return;
  float x, y;
  InputWindowToView(s.viewport, wx, wy, &x, &y);
  s.pointer_x = x;
  s.pointer_y = y;
  s.pointer_present = Inside(x, y);
  s.down = false;
  if (s.on_interface) {
    sink.InterfacePointer(s.pointer_present, x, y, false);
  } else {
    MouseTouch(sink, TOUCH_ENDED, x, y, s.mirrored);
    sink.InterfacePointer(s.pointer_present, x, y, false);
  }
  s.on_interface = s.mirrored = false;
}

void InputPointerLeave(InputState& s, InputSink& sink) {
  s.pointer_present = false;
  // A press in progress keeps its pointer: the window still reports where it goes.
  if (!s.down) sink.InterfacePointer(false, s.pointer_x, s.pointer_y, false);
}

void InputWheel(InputState& s, InputSink& sink, float steps) {
  if (steps == 0 || s.down || s.swallow_press || !s.fingers.empty() || sink.OverlayShown()) return;
  if (!sink.ViewTakesGestures()) return;
  // A short pinch about the centre: the spread grows with a step away from
  // the user (nearer), whatever the size of the step.
  const float d0 = 100.0f, d1 = steps > 0 ? 110.0f : 90.0f;
  const float cx = kInputViewWidth / 2, cy = kInputViewHeight / 2;
  sink.Touches({{TOUCH_BEGAN, cx - d0 / 2, cy}, {TOUCH_BEGAN, cx + d0 / 2, cy}});
  sink.Touches({{TOUCH_MOVED, cx - d1 / 2, cy}, {TOUCH_MOVED, cx + d1 / 2, cy}});
  sink.Touches({{TOUCH_ENDED, cx - d1 / 2, cy}, {TOUCH_ENDED, cx + d1 / 2, cy}});
}

void InputFinger(InputState& s, InputSink& sink, int64_t id, int32_t phase, float nx, float ny) {
  float x, y;
  InputWindowToView(s.viewport, nx * s.window_w, ny * s.window_h, &x, &y);
  const bool lifts = phase == TOUCH_ENDED || phase == TOUCH_CANCELLED;
  // A finger that dismissed an overlay does nothing else until it lifts.
  auto swallowed = std::find(s.swallow_fingers.begin(), s.swallow_fingers.end(), id);
  if (swallowed != s.swallow_fingers.end()) {
    if (lifts) s.swallow_fingers.erase(swallowed);
    return;
  }
  if (phase == TOUCH_BEGAN && sink.OverlayShown()) {
    sink.DismissOverlay();
    s.swallow_fingers.push_back(id);
    return;
  }
  if (s.finger_on_interface) {
    // The finger working a control is the interface's pointer; others wait.
    if (id != s.ui_finger) return;
    // A lifted finger leaves the pointer where it lifted, as a mouse button
    // does: a control sees its release under the finger (and clicks).
    sink.InterfacePointer(true, x, y, !lifts);
    if (lifts) s.finger_on_interface = false;
    return;
  }
  if (phase == TOUCH_BEGAN && s.fingers.empty()) {
    if (!Inside(x, y)) return;
    if (sink.InterfaceAt(x, y)) {
      s.finger_on_interface = true;
      s.ui_finger = id;
      sink.InterfacePointer(true, x, y, true);
      return;
    }
  }
  if (phase != TOUCH_BEGAN && !s.fingers.count(id)) return;  // began elsewhere, or on the bars
  s.fingers[id] = {phase, x, y};
  std::vector<TouchPoint> pts;
  for (const auto& f : s.fingers)
    pts.push_back(f.first == id ? f.second : TouchPoint{TOUCH_STATIONARY, f.second.x, f.second.y});
  if (lifts) s.fingers.erase(id);
  sink.Touches(pts);
}

void InputKeyDown(InputState& s, InputSink& sink, const InputKey& key) {
  if (Swallowed(s, key.name)) return;
  if (sink.OverlayShown()) {
    sink.DismissOverlay();
    s.swallow_keys.push_back(key.name);
    return;
  }
  sink.Key(key);
}

void InputKeyUp(InputState& s, InputSink& /*sink*/, const InputKey& key) {
  auto it = std::find(s.swallow_keys.begin(), s.swallow_keys.end(), key.name);
  if (it != s.swallow_keys.end()) s.swallow_keys.erase(it);
}

void InputTextTyped(InputState& s, InputSink& sink, const std::string& utf8) {
  // The text of a key that dismissed an overlay goes with it.
  if (utf8.empty() || !s.swallow_keys.empty()) return;
  if (sink.OverlayShown()) {
    sink.DismissOverlay();
    return;
  }
  sink.Text(utf8);
}

void InputFileDropped(InputState& /*s*/, InputSink& sink, const std::string& path) {
  if (!path.empty()) sink.FileDropped(path);
}
