// What is under a point of the view: the edited or touched text field, and
// whether a click lands on a control rather than on the GL view.
#include "app/ui_draw.h"
#include "app/ui_internal.h"

using uidraw::kit;

UITextField* UIKitEditedField(UINavigationController& nav) {
  UIViewController* top = nav.topViewController();
  if (!top) return nullptr;
  for (UIView* v : top->subviews)
    if (auto* tf = dynamic_cast<UITextField*>(v))
      if (tf->editable && tf->focused && !tf->hidden) return tf;
  return nullptr;
}

UITextField* UIKitFieldAt(UINavigationController& nav, float x, float y) {
  UIViewController* top = nav.topViewController();
  if (!top) return nullptr;
  for (UIView* v : top->subviews) {
    auto* tf = dynamic_cast<UITextField*>(v);
    if (tf && tf->editable && !tf->hidden && x >= tf->frame.x && x < tf->frame.x + tf->frame.width &&
        y >= tf->frame.y && y < tf->frame.y + tf->frame.height)
      return tf;
  }
  return nullptr;
}

bool UIKitHitsControl(UINavigationController& nav, float x, float y) {
  for (const auto& s : nav.visible(kit.width)) {
    for (UIView* v : s.first->subviews) {
      if (v->hidden) continue;
      const bool control =
          dynamic_cast<UIButton*>(v) || (dynamic_cast<UITextField*>(v) && static_cast<UITextField*>(v)->editable);
      if (!control) continue;
      const float x0 = s.second + v->frame.x, y0 = v->frame.y;
      if (x >= x0 && x < x0 + v->frame.width && y >= y0 && y < y0 + v->frame.height) return true;
    }
    if (s.first->opaque && x >= s.second) return true;
  }
  return false;
}
