#include "surface/desktop_x11.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <cstdio>

namespace {

// SDL's own connection and the window's X id; false when not on X11.
bool Wm(SDL_Window* w, Display** dpy, Window* win) {
  if (!w) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  *dpy = info.info.x11.display;
  *win = info.info.x11.window;
  return true;
}

// A property of 32-bit items (X hands them out as longs).
std::vector<unsigned long> Property(Display* dpy, Window w, const char* name, Atom type) {
  std::vector<unsigned long> out;
  const Atom atom = XInternAtom(dpy, name, True);
  if (atom == None) return out;
  Atom actual = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, w, atom, 0, 4096, False, type, &actual, &format, &n, &after, &data) == Success && data &&
      format == 32)
    out.assign(reinterpret_cast<unsigned long*>(data), reinterpret_cast<unsigned long*>(data) + n);
  if (data) XFree(data);
  return out;
}

bool HasState(Display* dpy, Window w, const char* state) {
  const Atom a = XInternAtom(dpy, state, True);
  if (a == None) return false;
  for (unsigned long s : Property(dpy, w, "_NET_WM_STATE", XA_ATOM))
    if (s == a) return true;
  return false;
}

// The root's child holding `w` (its frame under a window manager), else w.
Window TopLevel(Display* dpy, Window root, Window w) {
  for (int depth = 0; depth < 64; ++depth) {
    Window r = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, w, &r, &parent, &kids, &n)) return w;
    if (kids) XFree(kids);
    if (parent == root || parent == 0) return w;
    w = parent;
  }
  return w;
}

// A shown window's outer rectangle on the screen (its border included).
bool Outer(Display* dpy, Window root, Window w, MascotRect* r) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable || a.c_class == InputOnly) return false;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(dpy, w, root, -a.border_width, -a.border_width, &x, &y, &child);
  *r = {x, y, a.width + 2 * a.border_width, a.height + 2 * a.border_width};
  return true;
}

}  // namespace

bool DesktopX11Usable(SDL_Window* any, std::string* why) {
  Display* dpy = nullptr;
  Window w = 0;
  if (!Wm(any, &dpy, &w)) {
    *why = "it needs an X server (on Wayland: XWayland, SDL_VIDEODRIVER=x11)";
    return false;
  }
  int event = 0, error = 0;
  if (!XShapeQueryExtension(dpy, &event, &error)) {
    *why = "the X server has no SHAPE extension";
    return false;
  }
  return true;
}

bool DesktopX11Compositing(SDL_Window* any) {
  Display* dpy = nullptr;
  Window w = 0;
  if (!Wm(any, &dpy, &w)) return false;
  char name[32];
  std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(dpy));
  return XGetSelectionOwner(dpy, XInternAtom(dpy, name, False)) != None;
}

SDL_Window* DesktopX11OpenWindow(SDL_Window* any, int x, int y, int w, int h, bool argb) {
  Display* dpy = nullptr;
  Window win = 0;
  if (!Wm(any, &dpy, &win)) return nullptr;
  XVisualInfo vi;
  char id[32] = "";
  if (argb && XMatchVisualInfo(dpy, DefaultScreen(dpy), 32, TrueColor, &vi))
    std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(vi.visualid));
  // The visual is fixed when the window is made; a compositor must not be
  // told to leave the window alone.
  SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, id);
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_Window* made =
      SDL_CreateWindow("Ovanta", x, y, w, h,
                       SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_SHOWN);
  SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
  if (made) SDL_SetWindowPosition(made, x, y);
  return made;
}

void DesktopX11Shape(SDL_Window* window, const std::vector<MascotRect>& rects, bool bounding) {
  Display* dpy = nullptr;
  Window w = 0;
  if (!Wm(window, &dpy, &w)) return;
  std::vector<XRectangle> xr;
  xr.reserve(rects.size());
  for (const MascotRect& r : rects)
    xr.push_back({static_cast<short>(r.x), static_cast<short>(r.y), static_cast<unsigned short>(r.w),
                  static_cast<unsigned short>(r.h)});
  XShapeCombineRectangles(dpy, w, ShapeInput, 0, 0, xr.data(), static_cast<int>(xr.size()), ShapeSet, Unsorted);
  if (bounding)
    XShapeCombineRectangles(dpy, w, ShapeBounding, 0, 0, xr.data(), static_cast<int>(xr.size()), ShapeSet, Unsorted);
  XFlush(dpy);
}

std::vector<MascotDeskWindow> DesktopX11Windows(SDL_Window* self) {
  std::vector<MascotDeskWindow> out;
  Display* dpy = nullptr;
  Window me = 0;
  if (!Wm(self, &dpy, &me)) return out;
  const Window root = DefaultRootWindow(dpy);
  const Window my_top = TopLevel(dpy, root, me);
  std::vector<unsigned long> clients = Property(dpy, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
  if (clients.empty()) clients = Property(dpy, root, "_NET_CLIENT_LIST", XA_WINDOW);
  if (!clients.empty()) {
    for (unsigned long c : clients) {
      const Window top = TopLevel(dpy, root, c);
      MascotRect r;
      if (c == me || top == my_top || HasState(dpy, c, "_NET_WM_STATE_HIDDEN") || !Outer(dpy, root, top, &r)) continue;
      out.push_back({std::to_string(c), r});
    }
    return out;
  }
  // No window manager: the root's mapped children, bottom to top.
  Window r0 = 0, parent = 0, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(dpy, root, &r0, &parent, &kids, &n)) return out;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a;
    MascotRect r;
    if (kids[i] == my_top || !XGetWindowAttributes(dpy, kids[i], &a) || a.override_redirect) continue;
    if (Outer(dpy, root, kids[i], &r)) out.push_back({std::to_string(kids[i]), r});
  }
  if (kids) XFree(kids);
  return out;
}

bool DesktopX11Pointer(SDL_Window* any, int* x, int* y, bool* left) {
  Display* dpy = nullptr;
  Window w = 0;
  if (!Wm(any, &dpy, &w)) return false;
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned mask = 0;
  if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, x, y, &wx, &wy, &mask)) return false;
  *left = (mask & Button1Mask) != 0;
  return true;
}

void DesktopX11KeepAbove(SDL_Window* window) {
  Display* dpy = nullptr;
  Window me = 0;
  if (!Wm(window, &dpy, &me)) return;
  const Window root = DefaultRootWindow(dpy);
  const Window my_top = TopLevel(dpy, root, me);
  Window r0 = 0, parent = 0, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(dpy, root, &r0, &parent, &kids, &n)) return;
  // Children come bottom to top: any shown one above hers covers her.
  bool mine_seen = false, covered = false;
  for (unsigned i = 0; i < n && !covered; ++i) {
    if (kids[i] == my_top) {
      mine_seen = true;
      continue;
    }
    XWindowAttributes a;
    covered = mine_seen && XGetWindowAttributes(dpy, kids[i], &a) && a.map_state == IsViewable && !a.override_redirect;
  }
  if (kids) XFree(kids);
  if (covered) {
    XRaiseWindow(dpy, my_top);
    XFlush(dpy);
  }
}
