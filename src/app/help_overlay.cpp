#include "app/help_overlay.h"

#include "app/ui_text.h"
#include "uikit/uikit.h"

namespace {
bool g_shown = false;
}  // namespace

bool HelpShown() { return g_shown; }
void HelpShow() { g_shown = true; }
void HelpHide() { g_shown = false; }

const UIOverlay& HelpContent() {
  static const UIOverlay source = {
      "Controls",
      {
          {"", "Mouse", ""},
          {"Click her", "she answers", ""},
          {"Drag", "move the view", ""},
          {"Wheel", "nearer or farther", ""},
          {"Alt + drag", "turn her, zoom", ""},
          {"", "Buttons", ""},
          {"Menu", "opens the menu with Setup", "button_options.png"},
          {"Setup", "her looks, voice and name", "button_settings.png"},
          {"Dance", "start dancing; Stop ends it", "button_dance.png"},
          {"Reset", "the camera as at the start", "button_reset.png"},
          {"", "Keys", ""},
          {"Arrows", "tilt the device", ""},
          {"S  /  0", "shake it / stand it upright", ""},
          {"M", "sound off, and back on", ""},
          {"Esc", "back out of menu, settings", ""},
          {"F11", "full screen", ""},
          {"F12", "save a screenshot", ""},
          {"F1  or  ?", "this help", ""},
          {"Ctrl+Q", "quit", ""},
      },
      "Click or press any key to go on",
  };
  // In the voice language, made again when that changes.
  static UIOverlay shown;
  static int made_for = -1;
  const int language = UiLanguage();
  if (made_for != language) {
    made_for = language;
    shown = source;
    shown.title = UiText(source.title.c_str());
    shown.footer = UiText(source.footer.c_str());
    for (UIOverlayRow& r : shown.rows) {
      r.key = UiText(r.key.c_str());
      r.text = UiText(r.text.c_str());
    }
  }
  return shown;
}
