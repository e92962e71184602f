#include "app/window_state.h"

#include <algorithm>

#include "character/girl_settings.h"
#include "input/input.h"
#include "math/Letterbox.h"
#include "store/user_defaults.h"

bool WindowGeometryLoad(WindowGeometry* g) {
  if (!UserDefaultsHasKey(kWindowKeyWidth) || !UserDefaultsHasKey(kWindowKeyHeight)) return false;
  g->x = GirlReadIntKey(kWindowKeyX);
  g->y = GirlReadIntKey(kWindowKeyY);
  g->width = GirlReadIntKey(kWindowKeyWidth);
  g->height = GirlReadIntKey(kWindowKeyHeight);
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
  const LetterboxRect box = Letterbox(w, h, kInputViewWidth / kInputViewHeight);
  return std::max(0.25f, std::min(4.0f, box.height / kInputViewHeight));
}
