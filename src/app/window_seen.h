// Whether anyone can see the window: not while it is hidden or unmapped (on
// another workspace, with most window managers), minimised, or, where the
// X server says so, wholly covered by other windows. The window's loop
// (main_window.cpp) hands it every event first and asks before each tick;
// a window nobody sees ticks without drawing (pacing/pacing.h).
#pragma once

#include <SDL2/SDL.h>

struct WindowSeen {
  bool covered = false;  // the X server said nothing of it shows
};

// Asks the display to say when the window is covered (X11; elsewhere only
// the window's own state counts).
void WindowSeenWatch(SDL_Window* window);
// True when the event is the display's own message, taken here (the loop
// passes it on no further).
bool WindowSeenEvent(WindowSeen* seen, const SDL_Event& event);
// Whether anyone can see the window now.
bool WindowSeenNow(const WindowSeen& seen, SDL_Window* window);
