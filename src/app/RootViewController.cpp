#include "app/RootViewController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/ConfigViewController.h"
#include "app/app_character.h"
#include "app/app_dance.h"
#include "app/app_loop.h"
#include "app/notice.h"
#include "character/girl.h"
#include "character/girl_animation.h"
#include "character/girl_camera.h"
#include "character/girl_frame.h"
#include "character/girl_scene.h"
#include "character/girl_settings.h"
#include "character/girl_shake.h"
#include "character/girl_touch.h"
#include "face/face.h"

bool screen_update_disabled = false;

void myEAGLview::processTouches(const TouchEvent& event) {
  // A finger on the glass is where she looks, as the pointer is in a window.
  for (int32_t i = 0; i < event.count; ++i)
    if (event.touches[i].phase == TOUCH_BEGAN || event.touches[i].phase == TOUCH_MOVED) {
      FacePointer(event.touches[i].x, event.touches[i].y);
      break;
    }
  ProcessTouches(event);
}

void UpdateCaption(UILabel* label) {
  if (!label) return;
  label->text = face_report.caption;
  label->hidden = label->text.empty();
  if (label->hidden) return;
  // A strip under the name or one over the buttons, whichever keeps clear
  // of her face; when neither does, the one that covers less of it.
  size_t letters = 0;  // UTF-8: count the first byte of each character
  for (unsigned char c : label->text) letters += (c & 0xC0) != 0x80;
  const size_t breaks = letters / 34;  // whole lines of 34 letters: the caption wraps after each
  const float lines = 1.0f + static_cast<float>(breaks);
  const float h = 12.0f + 20.0f * lines, top = 56.0f, bottom = 480.0f - 70.0f - h;
  float fx = 0, fy = 0, reach = 0;
  float y = bottom;
  if (FaceOnView(v_angle, v_dist, v_pan[0], v_pan[1], &fx, &fy, &reach)) {
    auto covered = [&](float y0) {
      const float lo = std::max(y0, fy - reach), hi = std::min(y0 + h, fy + reach);
      return std::max(0.0f, hi - lo) * (std::fabs(fx - 160.0f) < 150.0f + reach ? 1.0f : 0.0f);
    };
    y = covered(bottom) <= covered(top) ? bottom : top;
  }
  label->frame = {10, y, 300, h};
}

void myEAGLview::swapBuffers() {
  if (compositor) compositor();
  view_->swapBuffers();
  ++presents;
}

void ShowButton(UIButton* b) {
  if (!b) return;
  b->setHidden(false);
  b->setEnabled(true);
}

void HideButton(UIButton* b) {
  if (!b) return;
  b->setHidden(true);
  b->setEnabled(false);
}

RootViewController::~RootViewController() {
  if (!shell.QuitApplication()) std::printf("QuitApplication error\n");
  girlname = nullptr;
}

void RootViewController::loadView() {
  loadingScreen = add(new UIImageView());
  loadingScreen->frame = {0, 0, 320, 480};
  loadingScreen->image = "loading.png";
  loadingScreen->hidden = true;

  girlName = add(new UITextField());
  girlName->frame = {0, 16, 320, 36};

  captionLabel = add(new UILabel());
  captionLabel->wrap = true;
  captionLabel->centered = true;
  captionLabel->background = {0.05f, 0.06f, 0.1f, 0.62f};
  captionLabel->hidden = true;

  noticeLabel = add(new UILabel());
  noticeLabel->frame = {40, 224, 240, 32};
  noticeLabel->centered = true;
  noticeLabel->bold = true;
  noticeLabel->background = {0.05f, 0.06f, 0.1f, 0.75f};
  noticeLabel->hidden = true;

  auto button = [&](const char* name, float x, float y, const char* icon, const char* title) {
    UIButton* b = add(new UIButton());
    b->frame = {x, y, 52, 52};
    b->icon = icon;
    b->setTitle(title, UIControlStateNormal);
    b->setTitle(title, UIControlStateHighlighted);
    outlet(name, b);
    return b;
  };
  const float bar = 480 - 66;
  optionsButton = button("optionsButton", 14, bar, "button_options.png", "Menu");
  backButton = button("backButton", 14, bar, "button_back.png", "Back");
  danceButton = button("danceButton", 134, bar, "button_dance.png", "Dance");
  danceButton2 = button("danceButton2", 134, bar, "button_dance_stop.png", "Stop");
  settingsButton = button("settingsButton", 134, bar, "button_settings.png", "Setup");
  resetButton = button("resetButton", 254, bar, "button_reset.png", "Reset");
  globeButton = button("globeButton", 254, bar, "", "Web");
  shakeXButton = button("shakeXButton", 262, 80, "button_shake_x.png", "X");
  shakeYButton = button("shakeYButton", 262, 140, "button_shake_y.png", "Y");
  shakeZButton = button("shakeZButton", 262, 200, "button_shake_z.png", "Z");
  cullButton = button("cullButton", 262, 260, "button_cull.png", "Cull");
  // The test buttons start hidden; ActivateDebugButtons brings them up.
  for (UIButton* b : {shakeXButton, shakeYButton, shakeZButton, cullButton}) HideButton(b);
  HideButton(globeButton);
  outlet("girlName", girlName);
  outlet("loadingScreen", loadingScreen);
  outlet("captionLabel", captionLabel);

  optionsButton->action = [this] { menuView(); };
  backButton->action = [this] { mainView(); };
  settingsButton->action = [this] { settingsView(); };
  danceButton->action = [this] { onDanceButton(); };
  danceButton2->action = [this] { onDanceStopButton(); };
  resetButton->action = [this] { onResetButton(); };
  shakeXButton->action = [this] { onShakeXButton(); };
  shakeYButton->action = [this] { onShakeYButton(); };
  shakeZButton->action = [this] { onShakeZButton(); };
  cullButton->action = [this] { onCullButton(); };

  connect("mainView", [this] { mainView(); });
  connect("menuView", [this] { menuView(); });
  connect("settingsView", [this] { settingsView(); });
  connect("onDanceButton", [this] { onDanceButton(); });
  connect("onDanceStopButton", [this] { onDanceStopButton(); });
  connect("onResetButton", [this] { onResetButton(); });
  connect("onCullButton", [this] { onCullButton(); });
  connect("onShakeXButton", [this] { onShakeXButton(); });
  connect("onShakeYButton", [this] { onShakeYButton(); });
  connect("onShakeZButton", [this] { onShakeZButton(); });
  connect("ActivateDebugButtons", [this] { ActivateDebugButtons(); });
  connect("DeactivateDebugButtons", [this] { DeactivateDebugButtons(); });
}

void RootViewController::viewDidLoad() {
  loadChildren();
  mainView();
}

void RootViewController::loadChildren() {
  girlname = girlName;
  if (!shell.InitApplication()) std::printf("InitApplication error\n");
  GirlLoadSettings();
  AppCharacterLoadStored();
  AppDanceLoadStored();
  GirlLoadFaceSettings();
  UIAccelerometer& acc = UIAccelerometer::sharedAccelerometer();
  acc.updateInterval = 1.0 / 30.0;
  acc.delegate = [this](double x, double y, double z) { accelerometerDidAccelerate(x, y, z); };
  startTimer();
}

void RootViewController::startTimer() {
  ScheduleRepeatingTimer(1.0 / 30.0, [this] { update(); });
}

void RootViewController::update() {
  if (screen_update_disabled) {
    loadingScreen->setHidden(false);
    captionLabel->setHidden(true);  // nothing she says shows over the loading picture
    return;
  }
  if (!loadingScreen->isHidden()) loadingScreen->setHidden(true);
  if (!shell.UpdateScene()) std::fprintf(stderr, "UpdateScene error\n");
  frame_draws = OvantaTickDraws();
  if (frame_draws) OvantaSceneBegin();
  const bool rendered = shell.RenderScene();
  if (frame_draws) OvantaSceneEnd();
  if (!rendered) std::fprintf(stderr, "RenderScene error\n");
  UpdateCaption(captionLabel);
  NoticeTick();
  noticeLabel->text = NoticeText();
  noticeLabel->hidden = noticeLabel->text.empty();
  if (frame_draws) glView->swapBuffers();
}

void RootViewController::accelerometerDidAccelerate(double x, double y, double z) {
  if (screen_update_disabled) return;
  GirlShake(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void RootViewController::viewWillAppear(bool /*animated*/) {
  // A pending reload restarts her in idle, so the stop button must not stay
  // up; the whole bar goes to the main state, so that no button is shown
  // in the place of the menu's settings button.
  if (girl_reload_scene) mainView();
}

bool RootViewController::accessibilityPerformEscape() {
  if (!backButton || backButton->isHidden()) return false;
  mainView();
  return true;
}

void RootViewController::mainView() {
  ShowButton(optionsButton);
  ShowButton(danceButton);
  HideButton(danceButton2);
  ShowButton(resetButton);
  HideButton(settingsButton);
  HideButton(globeButton);
  HideButton(backButton);
}

void RootViewController::menuView() {
  HideButton(optionsButton);
  HideButton(danceButton);
  HideButton(danceButton2);
  HideButton(resetButton);
  ShowButton(settingsButton);
  ShowButton(backButton);
}

void RootViewController::settingsView() {
  screen_update_disabled = true;
  if (navigationController) navigationController->pushViewController(new ConfigViewController(), true);
}

void RootViewController::onDanceButton() {
  if (anim_girl.state != ANIM_IDLE) return;
  continue_dancing = 1;
  HideButton(danceButton);
  ShowButton(danceButton2);
  AnimationStartN(&anim_girl, ANIM_DANCE_IN);
}

void RootViewController::onDanceStopButton() {
  if (anim_girl.state == ANIM_DANCE_IN || anim_girl.state == ANIM_DANCE) continue_dancing = 0;
  ShowButton(danceButton);
  HideButton(danceButton2);
}

void RootViewController::onResetButton() { ResetCamera(); }
void RootViewController::onCullButton() { debug_no_culling = !debug_no_culling; }
void RootViewController::onShakeXButton() { GirlShakeXButton(); }
void RootViewController::onShakeYButton() { GirlShakeYButton(); }
void RootViewController::onShakeZButton() { GirlShakeZButton(); }

void RootViewController::ActivateDebugButtons() {
  for (UIButton* b : {shakeXButton, shakeYButton, shakeZButton, cullButton}) ShowButton(b);
}

void RootViewController::DeactivateDebugButtons() {
  for (UIButton* b : {shakeXButton, shakeYButton, shakeZButton, cullButton}) HideButton(b);
}
