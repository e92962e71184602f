// One input handler for every front end. The SDL window, ovanta-headless
// and the web build translate their own events into these calls; what a
// press, a key or a finger then does in the app is the sink's business
// (app/app_input.h). What lives here is what desktop input means for a
// phone app:
//   - the view is a 320 x 480 point portrait picture letterboxed in the
//     window; window coordinates map through the letterbox to view points;
//   - the mouse is one finger (click = tap, drag = pan); Alt + drag adds a
//     second finger mirrored about the view's centre (pinch and twist with
//     one hand); the wheel is a short pinch about the centre;
//   - touch-screen fingers arrive one at a time with their phases; every
//     touch event lists all fingers, the resting ones as stationary;
//   - a press that starts on a control works the interface, not the view;
//   - while an overlay is up, the next press or key only dismisses it;
//   - keys arrive by lower-case name ("a", "escape", "f1", "?") with Ctrl,
//     Alt and Shift;
//   - a file dropped on the window is handed over by its path, an overlay
//     up or not (dropping is no press).
// Free functions over one InputState record; no clock, no platform calls.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "uikit/touch.h"

const float kInputViewWidth = 320.0f, kInputViewHeight = 480.0f;  // points

struct InputKey {
  std::string name;  // lower case, see InputParseKey
  bool ctrl = false, alt = false, shift = false;
};

// "m", "escape", "f1", "ctrl+q", "shift+alt+left": modifiers joined with
// '+' before the key. Names: a-z, 0-9, f1-f24, escape, return, tab, space,
// backspace, delete, insert, home, end, pageup, pagedown, left, right, up,
// down, and the printable ASCII marks by themselves ("?", "/", "-", ...).
// False for anything else.
bool InputParseKey(const std::string& text, InputKey* key);
bool InputKeyNameKnown(const std::string& name);

// Where the view is drawn in the window, in window units (the units of the
// pointer positions the front end delivers).
struct InputViewport {
  float x = 0, y = 0, width = kInputViewWidth, height = kInputViewHeight;
};
// The largest 2:3 rectangle centred in a window of w x h, on whole units.
InputViewport InputFitView(int w, int h);
// Window units to view points (y from the top).
void InputWindowToView(const InputViewport& vp, float wx, float wy, float* x, float* y);

// What the app does with input. Positions are view points, y from the top.
class InputSink {
 public:
  virtual ~InputSink() = default;
  // An overlay over everything that the next press or key dismisses.
  virtual bool OverlayShown() { return false; }
  virtual void DismissOverlay() {}
  // A press here works the interface (a control, or a screen that covers the view).
  virtual bool InterfaceAt(float x, float y) = 0;
  // The view takes gestures (the screen with the view is on top); the wheel
  // pinches only then.
  virtual bool ViewTakesGestures() = 0;
  // The interface's pointer: where it is (present false: it left the view)
  // and whether its button is down.
  virtual void InterfacePointer(bool present, float x, float y, bool down) = 0;
  // One touch event on the view: every touch of it in the platform's order.
  virtual void Touches(const std::vector<TouchPoint>& touches) = 0;
  virtual void Key(const InputKey& key) = 0;       // a key went down
  virtual void Text(const std::string& utf8) = 0;  // typed text
  virtual void FileDropped(const std::string& /*path*/) {}
};

struct InputState {
  InputViewport viewport;
  float window_w = kInputViewWidth, window_h = kInputViewHeight;  // for fingers
  // The pointer over the view, in view points (the gaze follows it).
  bool pointer_present = false;
  float pointer_x = 0, pointer_y = 0;
  // The press in progress: mouse or first finger.
  bool down = false, on_interface = false, mirrored = false;
  bool swallow_press = false;             // the press that dismissed an overlay
  std::vector<std::string> swallow_keys;  // keys that dismissed it, until released
  std::map<int64_t, TouchPoint> fingers;  // on the view, by platform finger id, view points
  bool finger_on_interface = false;       // the first finger works a control
  int64_t ui_finger = 0;                  // ... this one
  std::vector<int64_t> swallow_fingers;   // fingers that dismissed an overlay
};

// The window's size and where the view sits in it (window units).
void InputSetWindow(InputState& s, int width, int height);

// The mouse (or any single pointer), in window units.
void InputPointerMove(InputState& s, InputSink& sink, float wx, float wy);
void InputPointerDown(InputState& s, InputSink& sink, float wx, float wy, bool alt);
void InputPointerUp(InputState& s, InputSink& sink, float wx, float wy);
void InputPointerLeave(InputState& s, InputSink& sink);
// Wheel steps, + away from the user (nearer).
void InputWheel(InputState& s, InputSink& sink, float steps);
// A touch-screen finger; nx, ny from 0 to 1 across the window.
void InputFinger(InputState& s, InputSink& sink, int64_t id, int32_t phase, float nx, float ny);
void InputKeyDown(InputState& s, InputSink& sink, const InputKey& key);
void InputKeyUp(InputState& s, InputSink& sink, const InputKey& key);
void InputTextTyped(InputState& s, InputSink& sink, const std::string& utf8);
void InputFileDropped(InputState& s, InputSink& sink, const std::string& path);
