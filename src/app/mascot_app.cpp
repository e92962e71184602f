#include "app/mascot_app.h"

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "app/RootViewController.h"
#include "app/app_loop.h"
#include "character/girl_frame.h"
#include "character/girl_settings.h"
#include "store/user_defaults.h"

namespace {
bool g_was_active = false;
int g_surface_w = 0, g_surface_h = 0;
// The kept frame's count of changes the silhouette was taken at, and the
// runs of that frame's rows.
long g_silhouette_of = -1;
MascotRows g_rows;
}  // namespace

MascotState& Mascot() {
  static MascotState state;
  return state;
}

void MascotAppSet(bool on) {
#ifdef __EMSCRIPTEN__
  // A page cannot leave its browser window.
  on = false;
#endif
  MascotState& m = Mascot();
  if (m.on == on) return;
  m.on = on;
  MascotAppStore();
  UserDefaultsSynchronize();
}

bool MascotAppActive() {
  RootViewController* root = OvantaRoot();
  return Mascot().on && root && OvantaTopScreen() == root;
}

MascotFeet MascotAppFeet() {
  const MascotState& m = Mascot();
  const MascotRect& b = m.silhouette.box;
  return {b.x + b.w / 2 - m.part.x, b.y + b.h - m.part.y};
}

void MascotAppAfterTick() {
  MascotState& m = Mascot();
  // Drawn in the normal window: the next tick on the desktop starts afresh.
  if (!girl_on_desktop) g_was_active = false;
  myEAGLview* v = OvantaView();
  if (!girl_on_desktop || !v) return;
  // The frame as presented, kept by the surface (read back only where it
  // changed); none kept: nothing drawn on the desktop yet.
  const EAGLView* view = v->eagl();
  const EAGLSize size = view->surfaceSize();
  const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
  if (view->keptFrame().size() != static_cast<size_t>(w) * static_cast<size_t>(h) * 4) return;
  // A new zoom or a return from the normal window: the part starts afresh.
  const bool fresh = !g_was_active || w != g_surface_w || h != g_surface_h;
  if (fresh) m.part = MascotRect();
  g_surface_w = w, g_surface_h = h;
  // The same pixels as last tick (undrawn, or nothing changed): the same silhouette.
  // One present on from the frame it was taken of: only what that present
  // read back is looked at again.
  if (fresh || view->keptChanges() != g_silhouette_of) {
    MascotRect changed{0, 0, w, h};
    if (!fresh && view->keptChanges() == g_silhouette_of + 1) {
      const int* c = view->keptChanged();
      changed = {c[0], c[1], c[2], c[3]};
    }
    if (fresh) g_rows = MascotRows();
    m.silhouette = MascotSilhouetteUpdate(&g_rows, view->keptFrame().data(), w, h, changed);
  }
  g_silhouette_of = view->keptChanges();
  const MascotRect was = m.part;
  const int margin = static_cast<int>(std::ceil(8 * v->eagl()->contentScaleFactor()));
  m.part = MascotWindowPart(m.silhouette.box, was, margin, w, h);
  if (m.part.w <= 0) return;  // nothing of her drawn (yet)
  g_was_active = true;
  const MascotFeet feet = MascotAppFeet();
  if (was.w <= 0) {
    // Her feet where they were, else at the work area's bottom right.
    if (!m.anchored) {
      m.feet_x = m.work.x + m.work.w - (m.part.w - feet.x) - 48;
      m.feet_y = m.work.y + m.work.h;
    }
    m.place.x = m.feet_x - feet.x;
    m.place.y = static_cast<float>(m.feet_y - feet.bottom);
    if (fresh) MascotDrop(m.place);
  } else {
    // The part grew: the window grows round her, she stays where she is.
    m.place.x += m.part.x - was.x;
    m.place.y += static_cast<float>(m.part.y - was.y);
  }
  MascotStep(m.place, feet, m.work, m.windows);
  m.anchored = true;
  m.feet_x = m.place.x + feet.x;
  m.feet_y = static_cast<int>(std::lround(m.place.y)) + feet.bottom;
}

void MascotAppLoad() {
  MascotState& m = Mascot();
  m.on = GirlReadIntKey(kMascotKey) == 1;
  if (UserDefaultsHasKey(kMascotKeyX) && UserDefaultsHasKey(kMascotKeyY)) {
    m.anchored = true;
    m.feet_x = GirlReadIntKey(kMascotKeyX);
    m.feet_y = GirlReadIntKey(kMascotKeyY);
  }
  m.zoom = static_cast<float>(GirlReadIntKey(kMascotKeyZoom)) / 100;
}

void MascotAppStore() {
  const MascotState& m = Mascot();
  UserDefaultsSetInteger(kMascotKey, m.on ? 1 : 0);
  if (m.zoom > 0) UserDefaultsSetInteger(kMascotKeyZoom, static_cast<int>(std::lround(m.zoom * 100)));
  if (!m.anchored) return;
  UserDefaultsSetInteger(kMascotKeyX, m.feet_x);
  UserDefaultsSetInteger(kMascotKeyY, m.feet_y);
}

std::string MascotAppTraceFields() {
  const MascotState& m = Mascot();
  std::string out = std::string(",\"mascot\":") + (m.on ? "1" : "0");
  if (!m.on) return out;
  const MascotRect& b = m.silhouette.box;
  const MascotPlace& p = m.place;
  out += ",\"silhouette\":{\"x\":" + std::to_string(b.x) + ",\"y\":" + std::to_string(b.y) +
         ",\"w\":" + std::to_string(b.w) + ",\"h\":" + std::to_string(b.h) +
         ",\"area\":" + std::to_string(m.silhouette.area) + "}";
  out += ",\"place\":{\"x\":" + std::to_string(p.x) + ",\"y\":" + std::to_string(std::lround(p.y)) +
         ",\"w\":" + std::to_string(m.part.w) + ",\"h\":" + std::to_string(m.part.h) + ",\"feet\":[" +
         std::to_string(m.feet_x) + "," + std::to_string(m.feet_y) + "],\"pose\":\"" + MascotPoseName(p.pose) +
         "\",\"on\":" + nlohmann::json(p.on).dump() + "}";
  return out;
}
