// The main screen: the GL view with the character, the name over it, the
// button bars (main and menu), the dance start/stop pair, camera reset,
// culling toggle, the test impulses, the entry into the settings screen and
// the loading picture shown while the settings screen is up.
//
// It also carries the frame loop: loadChildren starts the character logic,
// restores the settings and starts the accelerometer and the 30 Hz timer
// whose `update` renders one frame per tick. The app loop (app/app_loop.h)
// delivers timer ticks, accelerometer samples and touches, one at a time.
#pragma once

#include "surface/EAGLView.h"
#include "uikit/uikit.h"

struct TouchEvent;

// Set while the settings screen is open: ticks draw nothing and
// accelerometer samples are dropped.
extern bool screen_update_disabled;

// The GL view with touch capture. The EAGLView is owned.
class myEAGLview {
 public:
  explicit myEAGLview(EAGLView* view) : view_(view) {}
  ~myEAGLview() { delete view_; }
  EAGLView* eagl() const { return view_; }
  // Every touch on the view, phases and positions in points: rebuilds the
  // snapshot and runs the gestures.
  void processTouches(const TouchEvent& event);
  // Presents the frame; the interface is composited over it first.
  void swapBuffers();
  // Draws the interface over the frame (set by the app).
  std::function<void()> compositor;
  int presents = 0;  // frames presented so far

 private:
  EAGLView* view_;
};

class RootViewController : public UIViewController {
 public:
  explicit RootViewController(myEAGLview* view) : glView(view) {}
  ~RootViewController() override;  // dealloc: the character logic quits

  void loadView() override;  // the main interface
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  // Esc: the menu bar goes down (as Back) when it is up.
  bool accessibilityPerformEscape() override;

  void loadChildren();
  void startTimer();
  void update();  // one tick
  void accelerometerDidAccelerate(double x, double y, double z);

  void mainView();
  void menuView();
  void settingsView();
  void onDanceButton();
  void onDanceStopButton();
  void onResetButton();
  void onCullButton();
  void onShakeXButton();
  void onShakeYButton();
  void onShakeZButton();
  void ActivateDebugButtons();
  void DeactivateDebugButtons();

  myEAGLview* glView;
  UITextField* girlName = nullptr;
  UIButton* optionsButton = nullptr;
  UIButton* globeButton = nullptr;
  UIButton* settingsButton = nullptr;
  UIButton* backButton = nullptr;
  UIButton* danceButton = nullptr;
  UIButton* danceButton2 = nullptr;
  UIButton* resetButton = nullptr;
  UIButton* shakeXButton = nullptr;
  UIButton* shakeYButton = nullptr;
  UIButton* shakeZButton = nullptr;
  UIButton* cullButton = nullptr;
  UIImageView* loadingScreen = nullptr;
  // What she is saying, over the scene where it hides neither her face nor
  // the buttons (face/face.h); updated every tick.
  UILabel* captionLabel = nullptr;
  // What a key just did (app/notice.h), over her for a moment.
  UILabel* noticeLabel = nullptr;
};

// Places and fills the caption for the tick just drawn.
void UpdateCaption(UILabel* label);

// Shown: visible and enabled. Hidden: invisible and disabled.
void ShowButton(UIButton* b);
void HideButton(UIButton* b);
