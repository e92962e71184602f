// The few user-interface kit objects the app is made of: views, buttons,
// text fields, image views, view controllers and the navigation controller
// that slides one screen over another.
//
// The character logic touches only UITextField::text()/setText() (the name,
// through the global `girlname`). The app's controllers build their controls
// in loadView (the code that stands for an interface file), name them as
// outlets and actions, and app/ui_draw.h draws and drives them with Dear
// ImGui. All of it lives on the main thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct CGRect {
  float x, y, width, height;  // points, y from the top edge
};

struct UIColor {
  float r, g, b, a;
  static UIColor redColor() { return {1, 0, 0, 1}; }
  static UIColor darkGrayColor() { return {1.0f / 3, 1.0f / 3, 1.0f / 3, 1}; }
  static UIColor grayColor() { return {0.5f, 0.5f, 0.5f, 1}; }
  static UIColor whiteColor() { return {1, 1, 1, 1}; }
};

enum UIControlState { UIControlStateNormal = 0, UIControlStateHighlighted = 1, UIControlStateSelected = 2 };

struct UIView {
  virtual ~UIView() = default;
  CGRect frame = {0, 0, 0, 0};
  bool hidden = false;
  bool isHidden() const { return hidden; }
  void setHidden(bool h) { hidden = h; }
};

struct UIButton : UIView {
  bool enabled = true;
  bool selected = false;                       // the chosen one of a set: drawn with a check mark
  std::string titles[3];                       // by UIControlState
  UIColor titleColor = UIColor::whiteColor();  // normal state
  UIColor fillColor = {0, 0, 0, 0};            // background; alpha 0: the kit's own
  std::string icon;                            // bundle picture drawn on the button ("" none)
  std::function<void()> action;
  bool isEnabled() const { return enabled; }
  void setEnabled(bool e) { enabled = e; }
  void setSelected(bool s) { selected = s; }
  void setTitle(const std::string& t, UIControlState s) { titles[s] = t; }
  const std::string& title(UIControlState s = UIControlStateNormal) const { return titles[s]; }
  void setTitleColor(UIColor c, UIControlState s) {
    if (s == UIControlStateNormal) titleColor = c;
  }
};

// Static text of an interface (captions); `size` scales the font. With
// `wrap` the text breaks into lines within the frame; a `background` with
// alpha above 0 is drawn as a rounded box under it.
struct UILabel : UIView {
  std::string text;
  UIColor color = UIColor::whiteColor();
  float size = 1.0f;
  bool bold = false;
  bool centered = false;
  bool wrap = false;
  UIColor background = {0, 0, 0, 0};
};

// A plain filled, rounded box drawn under the controls that follow it.
struct UIPanel : UIView {
  UIColor color = {1, 1, 1, 1};
  float rounding = 8;
};

struct UIImageView : UIView {
  std::string image;  // bundle picture filling the frame
};

struct UITextField : UIView {
  // UTF-8.
  const std::string& text() const { return text_; }
  // Sets the whole text as given (no limit applies); the caret goes to its end.
  void setText(const std::string& text) {
    text_ = text;
    caret = text_.size();
  }
  // Gives up the keyboard focus (the keyboard goes away); the text stays.
  void resignFirstResponder() { focused = false; }
  void becomeFirstResponder() { focused = true; }

  // Editing, as the keyboard does it: typed text goes in at the caret
  // (control characters and broken UTF-8 are dropped, and nothing beyond
  // maxLength characters); the keys delete and move by characters.
  void insertText(const std::string& utf8);
  void deleteBackward();
  void deleteForward();
  // "left", "right", "home", "end", "backspace", "delete"; false for others.
  bool editKey(const std::string& key);

  std::string text_;
  size_t caret = 0;      // byte offset in text_, on a character boundary
  size_t maxLength = 0;  // characters; 0: any number
  bool editable = false;
  bool focused = false;
  std::string placeholder;
  std::function<void()> action;  // sent when editing ends with Return
};

// An overlay drawn over every screen (the help): a title, rows of two
// columns and a closing line. Input never reaches it; the app takes it away.
struct UIOverlayRow {
  std::string key;   // left column; "" makes `text` a heading
  std::string text;  // right column
  std::string icon;  // bundle picture drawn before `key` ("" none)
};
struct UIOverlay {
  std::string title;
  std::vector<UIOverlayRow> rows;
  std::string footer;
};

class UINavigationController;

// A screen: its controls, built once by loadView, then viewDidLoad.
class UIViewController {
 public:
  virtual ~UIViewController();
  // Builds the controls and fills the outlets and actions (the interface file).
  virtual void loadView() = 0;
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool /*animated*/) {}
  // Called by the navigation controller when the controller leaves the stack for good.
  virtual void didReceiveMemoryWarning() {}
  // The escape gesture (Esc on a desktop): the screen backs out of what it
  // shows. False when there was nothing to back out of.
  virtual bool accessibilityPerformEscape() { return false; }

  // loadView + viewDidLoad on first use.
  void loadViewIfNeeded();
  bool isViewLoaded() const { return loaded_; }

  // Subviews in drawing order; owned by the controller.
  template <typename T>
  T* add(T* view) {
    subviews.push_back(view);
    return view;
  }
  void outlet(const char* name, UIView* view) { outlets.emplace_back(name, view); }
  void connect(const char* name, std::function<void()> fn) { actions.emplace_back(name, std::move(fn)); }
  UIView* outletNamed(const std::string& name) const;
  // Sends the named action; false when the screen has none of that name.
  bool sendAction(const std::string& name);

  // The screen's own background drawn under its controls (null: transparent).
  bool opaque = false;
  UIColor background = {0, 0, 0, 1};
  std::vector<UIView*> subviews;
  std::vector<std::pair<std::string, UIView*>> outlets;
  std::vector<std::pair<std::string, std::function<void()>>> actions;
  UINavigationController* navigationController = nullptr;

 private:
  bool loaded_ = false;
};

// A stack of screens; pushing slides the new one in from the right, popping
// slides it out again. A slide lasts kSlideFrames composited frames.
class UINavigationController {
 public:
  static const int kSlideFrames = 9;
  ~UINavigationController();
  void setRoot(UIViewController* root);
  // Takes ownership. The new screen is loaded (viewDidLoad) before it shows.
  void pushViewController(UIViewController* vc, bool animated);
  // The popped screen is deleted once it has slid away; the one below gets
  // viewWillAppear: at once.
  void popViewControllerAnimated(bool animated);
  UIViewController* topViewController() const { return stack_.empty() ? nullptr : stack_.back(); }
  UIViewController* rootViewController() const { return stack_.empty() ? nullptr : stack_.front(); }
  size_t depth() const { return stack_.size(); }

  // One composited frame: advances a slide in progress.
  void advance();
  // The screens to draw, bottom first, with their horizontal offset in
  // points (0 = in place; the width of the view = off to the right).
  std::vector<std::pair<UIViewController*, float>> visible(float width) const;
  bool sliding() const { return slide_ > 0; }

 private:
  std::vector<UIViewController*> stack_;
  UIViewController* leaving_ = nullptr;  // popped, still sliding out
  int slide_ = 0;                        // frames left of the slide
  bool pushing_ = false;
};
