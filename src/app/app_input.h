// What input does in the app: the sink of the one input handler
// (input/input.h) that the window and ovanta-headless feed.
//
//   - touches go to the GL view (gestures and the tap pick);
//   - the pointer works and lights up the controls of the screen on top,
//     and she looks at it (face/face.h);
//   - typed text and the editing keys go to the name field being edited;
//   - keys: Esc ends an edit of the name (keeping it), else backs out of the
//     screen on top (settings: as Done; main screen: the menu bar down);
//     Ctrl+Q quits; M switches the sound off and back; F1 or ? shows the
//     help; F11, F12 and the keys of the emulated accelerometer are the
//     window's (hooks), nothing headless;
//   - a file dropped is imported as a character and shown
//     (app/app_character.h), or refused with a notice and one line.
#pragma once

#include <functional>
#include <string>

#include "input/input.h"

struct AccelEmulator;

// The window's own commands; unset ones do nothing (headless).
struct AppInputHooks {
  std::function<void()> toggle_fullscreen;  // F11
  std::function<void()> screenshot;         // F12
  std::function<std::string()> clipboard;   // Ctrl+V into the name field
  AccelEmulator* accel = nullptr;           // arrows, S, 0
};

class AppInput : public InputSink {
 public:
  bool OverlayShown() override;
  void DismissOverlay() override;
  bool InterfaceAt(float x, float y) override;
  bool ViewTakesGestures() override;
  void InterfacePointer(bool present, float x, float y, bool down) override;
  void Touches(const std::vector<TouchPoint>& touches) override;
  void Key(const InputKey& key) override;
  void Text(const std::string& utf8) override;
  void FileDropped(const std::string& path) override;

  AppInputHooks hooks;
  bool quit_requested = false;     // Ctrl+Q
  const char* program = "ovanta";  // names the program in the lines it writes
};

// The app's one handler state and sink.
InputState& AppInputState();
AppInput& AppInputSink();

// For a phone's on-screen keyboard, which a page may open only while it
// handles the tap: whether an editable field is at view point (x, y) of the
// screen on top, and whether a field is being edited.
bool AppInputFieldAt(float x, float y);
bool AppInputEditing();
