// libFuzzer target: any sequence of window input through the input handler
// and any typing into a name field. What must hold whatever comes: the
// field's text is printable UTF-8 of at most its limit, the caret sits on a
// character boundary inside it, every touch the view gets is a finite
// position with a phase, and presses and releases stay paired.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/input.h"
#include "uikit/uikit.h"
#include "uikit/utf8.h"

namespace {

struct Sink : InputSink {
  bool overlay = false;
  bool OverlayShown() override { return overlay; }
  void DismissOverlay() override { overlay = false; }
  bool InterfaceAt(float, float y) override { return y > 400; }
  bool ViewTakesGestures() override { return true; }
  void InterfacePointer(bool, float, float, bool) override {}
  void Touches(const std::vector<TouchPoint>& t) override {
    if (t.empty()) std::abort();
    for (const TouchPoint& p : t)
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.phase < TOUCH_BEGAN || p.phase > TOUCH_CANCELLED)
        std::abort();
  }
  void Key(const InputKey& k) override {
    if (!InputKeyNameKnown(k.name)) std::abort();
  }
  void Text(const std::string&) override {}
};

const char* const kKeys[] = {"left", "right", "home", "end", "backspace", "delete", "a", "escape", "f1", "/"};

float Coord(const uint8_t* p) { return (p[0] | (p[1] << 8)) / 40.0f - 200.0f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputState s;
  Sink sink;
  UITextField field;
  field.editable = true;
  field.maxLength = 1 + (size ? data[0] % 40 : 0);
  InputSetWindow(s, 300 + (size > 1 ? data[1] : 0) * 4, 300 + (size > 2 ? data[2] : 0) * 4);
  for (size_t at = 3; at + 5 <= size; at += 5) {
    const uint8_t* op = data + at;
    const float x = Coord(op + 1), y = Coord(op + 3);
    switch (op[0] % 12) {
      case 0:
        InputPointerDown(s, sink, x, y, op[1] & 1);
        break;
      case 1:
        InputPointerMove(s, sink, x, y);
        break;
      case 2:
        InputPointerUp(s, sink, x, y);
        break;
      case 3:
        InputPointerLeave(s, sink);
        break;
      case 4:
        InputWheel(s, sink, static_cast<int8_t>(op[1]));
        break;
      case 5:
        InputFinger(s, sink, op[1] % 4, 1 + op[2] % 5, op[3] / 255.0f, op[4] / 255.0f);
        break;
      case 6:
        sink.overlay = true;
        break;
      case 7: {
        InputKey k;
        k.name = kKeys[op[1] % 10];
        (op[2] & 1 ? InputKeyDown : InputKeyUp)(s, sink, k);
        break;
      }
      case 8:
        field.insertText(std::string(reinterpret_cast<const char*>(op + 1), 4));
        break;
      case 9:
        field.editKey(kKeys[op[1] % 10]);
        break;
      case 10:
        field.caret = op[1];
        field.editKey("left");
        break;  // a caret anywhere is brought back
      default:
        InputTextTyped(s, sink, std::string(reinterpret_cast<const char*>(op + 1), 4));
        break;
    }
    const std::string& t = field.text();
    if (Utf8Printable(t) != t || Utf8Count(t) > field.maxLength || field.caret > t.size()) std::abort();
    if (field.caret < t.size() && Utf8Prev(t, Utf8Next(t, field.caret)) != field.caret) std::abort();
  }
  return 0;
}
