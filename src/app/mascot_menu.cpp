#include "app/mascot_menu.h"

#include <algorithm>

#include "app/RootViewController.h"
#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/mascot_app.h"
#include "app/ui_draw.h"
#include "app/ui_text.h"
#include "character/girl.h"
#include "character/girl_settings.h"
#include "face/face.h"
#include "uikit/uikit.h"

namespace {

const float kItemW = 150, kItemH = 28, kPad = 4;

class MascotMenu : public UIViewController {
 public:
  void loadView() override {
    panel = add(new UIPanel());
    panel->color = {0.09f, 0.11f, 0.17f, 0.96f};
    const char* names[kItems] = {"menuDance", "menuSettings", "menuSound", "menuDesktop", "menuQuit"};
    for (int i = 0; i < kItems; ++i) {
      items[i] = add(new UIButton());
      items[i]->fillColor = {0.18f, 0.21f, 0.3f, 1};
      items[i]->action = [this, i] { Run(i); };
      outlet(names[i], items[i]);
    }
  }
  // Titles as things are now, and the place.
  void Show(float x, float y) {
    loadViewIfNeeded();
    const char* titles[kItems] = {continue_dancing ? "Stop" : "Dance", "Settings",
                                  face_volume == 0 ? "Sound on" : "Sound off", "Desktop mode off", "Quit"};
    panel->frame = {x, y, kItemW + 2 * kPad, kItems * (kItemH + kPad) + kPad};
    for (int i = 0; i < kItems; ++i) {
      items[i]->frame = {x + kPad, y + kPad + i * (kItemH + kPad), kItemW, kItemH};
      for (UIControlState s : {UIControlStateNormal, UIControlStateSelected, UIControlStateHighlighted})
        items[i]->setTitle(UiText(titles[i]), s);
    }
  }
  static float Height() { return kItems * (kItemH + kPad) + kPad; }

 private:
  static const int kItems = 5;
  void Run(int i) {
    MascotMenuClose();
    RootViewController* root = OvantaRoot();
    switch (i) {
      case 0:
        if (!root) break;
        if (continue_dancing)
          root->onDanceStopButton();
        else
          root->onDanceButton();
        break;
      case 1:
        if (root) root->settingsView();
        break;
      case 2:
        FaceToggleMute();
        GirlSaveFaceSettings();
        break;
      case 3:
        MascotAppSet(false);
        break;
      default:
        AppInputSink().quit_requested = true;
    }
  }
  UIPanel* panel = nullptr;
  UIButton* items[kItems] = {};
};

MascotMenu& Menu() {
  static MascotMenu* menu = new MascotMenu();
  return *menu;
}
bool g_shown = false;

}  // namespace

void MascotMenuOpen(float x, float y, float x0, float y0, float x1, float y1) {
  const float w = kItemW + 2 * kPad, h = MascotMenu::Height();
  x = std::max(x0, std::min(x, x1 - w));
  y = std::max(y0, std::min(y, y1 - h));
  Menu().Show(x, y);
  g_shown = true;
  // Clickable at once, before the next frame draws it.
  UIKitSetDesktop(true, &Menu());
}

void MascotMenuClose() {
  if (g_shown) UIKitSetDesktop(true, nullptr);
  g_shown = false;
}

UIViewController* MascotMenuShown() { return g_shown ? &Menu() : nullptr; }
