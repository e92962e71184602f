#include "uikit/uikit.h"

#include "uikit/utf8.h"

void UITextField::insertText(const std::string& utf8) {
  std::string add = Utf8Printable(utf8);
  if (maxLength) {
    const size_t have = Utf8Count(text_);
    add = have >= maxLength ? std::string() : Utf8Head(add, maxLength - have);
  }
  if (caret > text_.size()) caret = text_.size();
  text_.insert(caret, add);
  caret += add.size();
}

void UITextField::deleteBackward() {
  if (caret > text_.size()) caret = text_.size();
  if (caret == 0) return;
  const size_t from = Utf8Prev(text_, caret);
  text_.erase(from, caret - from);
  caret = from;
}

void UITextField::deleteForward() {
  if (caret >= text_.size()) return;
  text_.erase(caret, Utf8Next(text_, caret) - caret);
}

bool UITextField::editKey(const std::string& key) {
  if (caret > text_.size()) caret = text_.size();
  if (key == "backspace")
    deleteBackward();
  else if (key == "delete")
    deleteForward();
  else if (key == "left")
    caret = Utf8Prev(text_, caret);
  else if (key == "right")
    caret = Utf8Next(text_, caret);
  else if (key == "home")
    caret = 0;
  else if (key == "end")
    caret = text_.size();
  else
    return false;
  return true;
}

UIViewController::~UIViewController() {
  for (UIView* v : subviews) delete v;
}

void UIViewController::loadViewIfNeeded() {
  if (loaded_) return;
  loaded_ = true;
  loadView();
  viewDidLoad();
}

UIView* UIViewController::outletNamed(const std::string& name) const {
  for (const auto& o : outlets)
    if (o.first == name) return o.second;
  return nullptr;
}

bool UIViewController::sendAction(const std::string& name) {
  for (const auto& a : actions) {
    if (a.first == name) {
      // A copy: the action may replace the screen's action table.
      std::function<void()> fn = a.second;
      fn();
      return true;
    }
  }
  return false;
}

UINavigationController::~UINavigationController() {
  delete leaving_;
  while (!stack_.empty()) {
    delete stack_.back();
    stack_.pop_back();
  }
}

void UINavigationController::setRoot(UIViewController* root) {
  root->navigationController = this;
  stack_.push_back(root);
  root->loadViewIfNeeded();
  root->viewWillAppear(false);
}

void UINavigationController::pushViewController(UIViewController* vc, bool animated) {
  if (!vc) return;
  vc->navigationController = this;
  vc->loadViewIfNeeded();
  // A screen still sliding out is done with now.
  delete leaving_;
  leaving_ = nullptr;
  stack_.push_back(vc);
  vc->viewWillAppear(animated);
  slide_ = animated ? kSlideFrames : 0;
  pushing_ = true;
}

void UINavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return;
  delete leaving_;
  leaving_ = stack_.back();
  stack_.pop_back();
  stack_.back()->viewWillAppear(animated);
  slide_ = animated ? kSlideFrames : 0;
  pushing_ = false;
  if (!animated) {
    delete leaving_;
    leaving_ = nullptr;
  }
}

void UINavigationController::advance() {
  if (slide_ > 0 && --slide_ == 0 && leaving_) {
    delete leaving_;
    leaving_ = nullptr;
  }
}

std::vector<std::pair<UIViewController*, float>> UINavigationController::visible(float width) const {
  std::vector<std::pair<UIViewController*, float>> out;
  if (stack_.empty()) return out;
  // Eased slide: fast start, gentle stop.
  const float t = static_cast<float>(slide_) / kSlideFrames;  // 1 at the start, 0 at the end
  const float eased = t * t;
  if (slide_ > 0 && pushing_ && stack_.size() >= 2) {
    out.emplace_back(stack_[stack_.size() - 2], 0.0f);
    out.emplace_back(stack_.back(), width * eased);
  } else if (slide_ > 0 && leaving_) {
    out.emplace_back(stack_.back(), 0.0f);
    out.emplace_back(leaving_, width * (1.0f - eased));
  } else {
    out.emplace_back(stack_.back(), 0.0f);
  }
  return out;
}
