#include "app/mascot_window.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/RootViewController.h"
#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/mascot_app.h"
#include "app/mascot_menu.h"
#include "app/ui_draw.h"
#include "face/face.h"
#include "surface/desktop_x11.h"
#include "uikit/touch.h"

namespace {

// A press that moves this far is a drag, not a tap.
const int kDragPixels = 4;
// Without a window manager, how often she is raised over windows mapped later.
const int kKeepAboveTicks = 15;

struct Desk {
  SDL_Window* win = nullptr;
  bool argb = false;  // transparent per pixel (a compositor runs)
  bool pressed = false, dragging = false;
  int press_x = 0, press_y = 0;  // the pointer on the screen at the press
  int grab_x = 0, grab_y = 0;    // ... less the window's place
  int pointer_x = -1, pointer_y = -1;
  std::vector<MascotRect> shape;  // as last set
  MascotRect shown;               // the window's place and size as last set
  long ticks = 0;
} g;

float Scale() {
  myEAGLview* v = OvantaView();
  return v ? v->eagl()->contentScaleFactor() : 1.0f;
}

// The work area of the display under her feet (else the window's).
MascotRect WorkArea() {
  const MascotState& m = Mascot();
  int index = g.win ? SDL_GetWindowDisplayIndex(g.win) : 0;
  for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
    SDL_Rect b;
    if (SDL_GetDisplayBounds(i, &b) == 0 && m.feet_x >= b.x && m.feet_x < b.x + b.w && m.feet_y > b.y &&
        m.feet_y <= b.y + b.h)
      index = i;
  }
  SDL_Rect r{0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(std::max(0, index), &r) != 0) SDL_GetDisplayBounds(0, &r);
  return {r.x, r.y, r.w, r.h};
}

void Open(SDL_Window* normal) {
  std::string why;
  if (!DesktopX11Usable(normal, &why)) {
    std::fprintf(stderr, "ovanta: desktop mode is not available: %s\n", why.c_str());
    Mascot().on = false;
    SDL_ShowWindow(normal);  // hidden when the app started in the mode
    return;
  }
  g = Desk();
  g.argb = DesktopX11Compositing(normal);
  MascotState& m = Mascot();
  m.work = WorkArea();
  // Her size is known after the first frame on the desktop; until then the
  // window is a dot where she will stand.
  g.win = DesktopX11OpenWindow(normal, m.feet_x, m.feet_y - 1, 1, 1, g.argb);
  if (!g.win) {
    std::fprintf(stderr, "ovanta: desktop mode is not available: %s\n", SDL_GetError());
    Mascot().on = false;
    SDL_ShowWindow(normal);
    return;
  }
  DesktopX11Shape(g.win, {}, !g.argb);
  SDL_HideWindow(normal);
  // Her zoom as the wheel last left it on the desktop.
  if (m.zoom > 0) OvantaAppSetScale(m.zoom);
}

void Tap(float wx, float wy) {
  const MascotState& m = Mascot();
  myEAGLview* v = OvantaView();
  if (!v) return;
  const float s = Scale();
  TouchPoint p{TOUCH_BEGAN, (wx + static_cast<float>(m.part.x)) / s, (wy + static_cast<float>(m.part.y)) / s};
  const TouchEvent e{&p, 1, 480.0f};
  v->processTouches(e);
  p.phase = TOUCH_ENDED;
  v->processTouches(e);
}

// The wheel zooms her: more pixels a point, and the window follows (she
// stays no taller than the work area).
void Zoom(int steps) {
  const MascotState& m = Mascot();
  const float s = Scale();
  float scale = s * std::pow(1.1f, static_cast<float>(steps));
  if (m.part.h > 0) scale = std::min(scale, s * static_cast<float>(m.work.h) / static_cast<float>(m.part.h));
  OvantaAppSetScale(std::max(0.5f, std::min(4.0f, scale)));
  Mascot().zoom = Scale();
}

}  // namespace

SDL_Window* MascotWindowShown() { return g.win; }

bool MascotWindowBeforeTick(SDL_Window* normal) {
  const bool want = MascotAppActive();
  if (want && !g.win) Open(normal);
  if (!want && g.win) {
    MascotWindowClose(normal);
    return true;
  }
  if (!g.win) return false;
  MascotState& m = Mascot();
  m.work = WorkArea();
  m.windows = DesktopX11Windows(g.win);
  if (g.pressed) {
    int x = 0, y = 0;
    bool left = true;
    if (DesktopX11Pointer(g.win, &x, &y, &left)) {
      if (!g.dragging && (std::abs(x - g.press_x) >= kDragPixels || std::abs(y - g.press_y) >= kDragPixels)) {
        g.dragging = true;
        MascotHold(m.place);
      }
      if (g.dragging) {
        m.place.x = x - g.grab_x;
        m.place.y = static_cast<float>(y - g.grab_y);
      }
      // A release the window did not hear of (the pointer left it): let go.
      if (!left && g.dragging) {
        g.pressed = g.dragging = false;
        MascotDrop(m.place);
      }
    }
  }
  if (myEAGLview* v = OvantaView()) v->eagl()->presentOnDesktop(g.win, m.part.x, m.part.y, m.part.w, m.part.h);
  return false;
}

bool MascotWindowEvent(const SDL_Event& e) {
  if (!g.win) return false;
  const Uint32 id = SDL_GetWindowID(g.win);
  switch (e.type) {
    case SDL_WINDOWEVENT:
      if (e.window.windowID != id) return false;
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) AppInputSink().quit_requested = true;
      // Uncovered, shown again, resized: its pixels are sent whole again.
      if (myEAGLview* v = OvantaView()) v->eagl()->presentWhole();
      return true;
    case SDL_MOUSEMOTION:
      return e.motion.windowID == id;
    case SDL_MOUSEWHEEL:
      if (e.wheel.windowID != id) return false;
      Zoom(e.wheel.y);
      return true;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.windowID != id) return false;
      if (e.button.button == SDL_BUTTON_RIGHT) {
        const MascotRect& p = Mascot().part;
        const float s = Scale();
        MascotMenuOpen((e.button.x + p.x) / s, (e.button.y + p.y) / s, p.x / s, p.y / s, (p.x + p.w) / s,
                       (p.y + p.h) / s);
      } else if (e.button.button == SDL_BUTTON_LEFT && MascotMenuShown()) {
        // A click with the menu open is the menu's: an item, or away.
        const MascotRect& p = Mascot().part;
        const float s = Scale();
        if (OvantaApp() && OvantaApp()->navigationController)
          UIKitClick(*OvantaApp()->navigationController, (e.button.x + p.x) / s, (e.button.y + p.y) / s);
        MascotMenuClose();
      } else if (e.button.button == SDL_BUTTON_LEFT) {
        int x = 0, y = 0;
        bool left = false;
        const MascotState& m = Mascot();
        if (!DesktopX11Pointer(g.win, &x, &y, &left)) {
          x = m.place.x + e.button.x;
          y = static_cast<int>(std::lround(m.place.y)) + e.button.y;
        }
        g.pressed = true;
        g.dragging = false;
        g.press_x = x, g.press_y = y;
        g.grab_x = x - m.place.x;
        g.grab_y = y - static_cast<int>(std::lround(m.place.y));
      }
      return true;
    case SDL_MOUSEBUTTONUP:
      if (e.button.windowID != id) return false;
      if (e.button.button == SDL_BUTTON_LEFT && g.pressed) {
        if (g.dragging)
          MascotDrop(Mascot().place);
        else
          Tap(static_cast<float>(e.button.x), static_cast<float>(e.button.y));
        g.pressed = g.dragging = false;
      }
      return true;
    default:
      return false;
  }
}

void MascotWindowAfterTick() {
  if (!g.win) return;
  const MascotState& m = Mascot();
  if (m.part.w <= 0) return;
  const MascotRect at{m.place.x, static_cast<int>(std::lround(m.place.y)), m.part.w, m.part.h};
  if (at.w != g.shown.w || at.h != g.shown.h) SDL_SetWindowSize(g.win, at.w, at.h);
  if (at.x != g.shown.x || at.y != g.shown.y) SDL_SetWindowPosition(g.win, at.x, at.y);
  g.shown = at;
  // Her silhouette in the window's pixels.
  std::vector<MascotRect> shape;
  shape.reserve(m.silhouette.rects.size());
  for (const MascotRect& r : m.silhouette.rects) {
    const int x0 = std::max(r.x, m.part.x), x1 = std::min(r.x + r.w, m.part.x + m.part.w);
    const int y0 = std::max(r.y, m.part.y), y1 = std::min(r.y + r.h, m.part.y + m.part.h);
    if (x1 > x0 && y1 > y0) shape.push_back({x0 - m.part.x, y0 - m.part.y, x1 - x0, y1 - y0});
  }
  if (shape.size() != g.shape.size() || !std::equal(shape.begin(), shape.end(), g.shape.begin())) {
    DesktopX11Shape(g.win, shape, !g.argb);
    g.shape.swap(shape);
    // Where the shape bounds the window, what it took in was cleared.
    if (myEAGLview* v = !g.argb ? OvantaView() : nullptr) v->eagl()->resendDesktopChanged();
  }
  if (++g.ticks % kKeepAboveTicks == 0) DesktopX11KeepAbove(g.win);
  // She looks at the pointer wherever it is on the screen.
  int x = 0, y = 0;
  bool left = false;
  if (DesktopX11Pointer(g.win, &x, &y, &left) && (x != g.pointer_x || y != g.pointer_y)) {
    g.pointer_x = x, g.pointer_y = y;
    const float s = Scale();
    FacePointer(static_cast<float>(x - at.x + m.part.x) / s, static_cast<float>(y - at.y + m.part.y) / s);
  }
}

void MascotWindowClose(SDL_Window* normal) {
  if (!g.win) return;
  if (myEAGLview* v = OvantaView()) {
    v->eagl()->presentOnDesktop(nullptr, 0, 0, 0, 0);
    v->eagl()->presentWhole();
  }
  SDL_DestroyWindow(g.win);
  g = Desk();
  if (normal) SDL_ShowWindow(normal);
}
