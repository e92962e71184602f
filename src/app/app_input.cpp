#include "app/app_input.h"

#include "app/RootViewController.h"
#include "app/app_character.h"
#include "app/app_dance.h"
#include "app/app_loop.h"
#include "app/help_overlay.h"
#include "app/mascot_app.h"
#include "app/notice.h"
#include "app/ui_draw.h"
#include "app/ui_text.h"
#include "character/girl_settings.h"
#include "devices/accelerometer.h"
#include "face/face.h"

namespace {

UINavigationController* Nav() { return OvantaApp() ? OvantaApp()->navigationController : nullptr; }

UITextField* EditedField() {
  UINavigationController* nav = Nav();
  return nav ? UIKitEditedField(*nav) : nullptr;
}

// Keys while the name is being edited; true when the field took the key.
bool FieldKey(UITextField& field, const InputKey& key, const AppInputHooks& hooks) {
  if (key.name == "escape") {
    field.resignFirstResponder();  // the edit ends, the text stays
    return true;
  }
  if (key.name == "return") {
    // As on the phone's keyboard: the field's action ends the edit.
    if (field.action) {
      std::function<void()> action = field.action;
      action();
    } else {
      field.resignFirstResponder();
    }
    return true;
  }
  if (key.ctrl && key.name == "v") {
    if (hooks.clipboard) field.insertText(hooks.clipboard());
    return true;
  }
  // Typed characters arrive as text; other keys do nothing while typing.
  field.editKey(key.name);
  return true;
}

void AccelKey(AccelEmulator& accel, const std::string& name) {
  if (name == "left")
    accel.TiltRight(-AccelEmulator::kTiltStep);
  else if (name == "right")
    accel.TiltRight(AccelEmulator::kTiltStep);
  else if (name == "up")
    accel.TiltForward(AccelEmulator::kTiltStep);
  else if (name == "down")
    accel.TiltForward(-AccelEmulator::kTiltStep);
  else if (name == "s")
    accel.Shake();
  else if (name == "0")
    accel.Reset();
}

}  // namespace

bool AppInput::OverlayShown() { return HelpShown(); }
void AppInput::DismissOverlay() { HelpHide(); }

bool AppInput::InterfaceAt(float x, float y) {
  UINavigationController* nav = Nav();
  return nav && UIKitHitsControl(*nav, x, y);
}

bool AppInput::ViewTakesGestures() {
  UINavigationController* nav = Nav();
  return nav && nav->depth() == 1;
}

void AppInput::InterfacePointer(bool present, float x, float y, bool down) {
  UIKitPointer(present, x, y, down);
  // Where the pointer is, she looks.
  if (present)
    FacePointer(x, y);
  else
    FacePointerNone();
}

void AppInput::Touches(const std::vector<TouchPoint>& touches) {
  if (touches.empty()) return;
  TouchEvent e{touches.data(), static_cast<int32_t>(touches.size()), kInputViewHeight};
  if (myEAGLview* v = OvantaView()) v->processTouches(e);
}

void AppInput::Key(const InputKey& key) {
  if (key.ctrl && !key.alt && key.name == "q") {
    quit_requested = true;
    return;
  }
  if (key.name == "f1") return HelpShow();
  if (key.name == "f11") {
    if (hooks.toggle_fullscreen) hooks.toggle_fullscreen();
    return;
  }
  if (key.name == "f12") {
    if (hooks.screenshot) hooks.screenshot();
    return;
  }
  if (UITextField* field = EditedField()) {
    FieldKey(*field, key, hooks);
    return;
  }
  if (key.name == "?") return HelpShow();
  if (key.name == "escape") {
    if (UIViewController* top = OvantaTopScreen()) top->accessibilityPerformEscape();
    return;
  }
  if (key.name == "m" && !key.ctrl && !key.alt) {  // the sound off, and back to its level
    FaceToggleMute();
    GirlSaveFaceSettings();
    NoticeShow(UiText(face_volume == 0 ? "Sound off" : "Sound on"));
    return;
  }
  if (key.name == "d" && !key.ctrl && !key.alt) {  // onto the desktop and back
    MascotAppSet(!Mascot().on);
    return;
  }
  if (hooks.accel && !key.ctrl && !key.alt) AccelKey(*hooks.accel, key.name);
}

void AppInput::Text(const std::string& utf8) {
  if (UITextField* field = EditedField()) {
    field->insertText(utf8);
    return;
  }
  if (utf8 == "?") HelpShow();
}

InputState& AppInputState() {
  static InputState state;
  return state;
}

AppInput& AppInputSink() {
  static AppInput sink;
  return sink;
}

bool AppInputFieldAt(float x, float y) {
  UINavigationController* nav = Nav();
  return nav && UIKitFieldAt(*nav, x, y) != nullptr;
}

bool AppInputEditing() { return EditedField() != nullptr; }

void AppInput::FileDropped(const std::string& path) {
  if (AppIsDanceFile(path))
    AppDanceImportFile(program, path);
  else
    AppCharacterImportFile(program, path);
}
