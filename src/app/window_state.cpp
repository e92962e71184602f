#include "app/window_state.h"

#include <algorithm>

#include "input/input.h"
#include "platform/EAGLView.h"
#include "platform/user_defaults.h"

const char* const kWindowKeyX = "Ovanta_window_x";
const char* const kWindowKeyY = "Ovanta_window_y";
const char* const kWindowKeyWidth = "Ovanta_window_width";
const char* const kWindowKeyHeight = "Ovanta_window_height";

namespace {
// Values beyond any screen come only from a hand-edited store.
int Stored(const char* key) {
  const long long v = UserDefaultsIntegerForKey(key);
  return static_cast<int>(std::max(-100000LL, std::min(100000LL, v)));
}
}  // namespace

bool WindowGeometryLoad(WindowGeometry* g) {
  if (!UserDefaultsHasKey(kWindowKeyWidth) || !UserDefaultsHasKey(kWindowKeyHeight)) return false;
  g->x = Stored(kWindowKeyX);
  g->y = Stored(kWindowKeyY);
  g->width = Stored(kWindowKeyWidth);
  g->height = Stored(kWindowKeyHeight);
  return true;
}

void WindowGeometryStore(const WindowGeometry& g) {
  UserDefaultsSetInteger(kWindowKeyX, g.x);
  UserDefaultsSetInteger(kWindowKeyY, g.y);
  UserDefaultsSetInteger(kWindowKeyWidth, g.width);
  UserDefaultsSetInteger(kWindowKeyHeight, g.height);
}

bool WindowGeometryFits(const WindowGeometry& g, const std::vector<WindowGeometry>& displays) {
  if (g.width < 100 || g.height < 150) return false;
  const long cx = g.x + g.width / 2L, cy = g.y + g.height / 2L;
  for (const WindowGeometry& d : displays)
    if (g.width <= d.width && g.height <= d.height && cx >= d.x && cx < d.x + d.width && cy >= d.y &&
        cy < d.y + d.height)
      return true;
  return false;
}

float WindowViewScale(int w, int h) {
  const EAGLRect box = EAGLLetterbox(w, h, kInputViewWidth / kInputViewHeight);
  return std::max(0.25f, std::min(4.0f, box.height / kInputViewHeight));
}
