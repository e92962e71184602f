#include "app/window_seen.h"

#include <SDL2/SDL_syswm.h>

void WindowSeenWatch(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  // SDL asks for no visibility events of its own; added to what it asks for,
  // they come back as the display's messages.
  Display* display = info.info.x11.display;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, info.info.x11.window, &attributes)) return;
  XSelectInput(display, info.info.x11.window, attributes.your_event_mask | VisibilityChangeMask);
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

bool WindowSeenEvent(WindowSeen* seen, const SDL_Event& event) {
  if (event.type != SDL_SYSWMEVENT) return false;
  const SDL_SysWMmsg* msg = event.syswm.msg;
  if (msg && msg->subsystem == SDL_SYSWM_X11 && msg->msg.x11.event.type == VisibilityNotify)
    seen->covered = msg->msg.x11.event.xvisibility.state == VisibilityFullyObscured;
  return true;
}

bool WindowSeenNow(const WindowSeen& seen, SDL_Window* window) {
  const Uint32 flags = SDL_GetWindowFlags(window);
  return !(flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) && !seen.covered;
}
