// Desktop mode in the window program (main_window.cpp): while the app draws
// her on the desktop (app/mascot_app.h) a desktop window of her own shows
// her (surface/desktop_x11.h) and the normal window is hidden, as it was,
// until the mode ends. Here the mouse on her works: a left drag moves the
// window (she is held, and falls when let go), a click without a drag taps
// her, the right button opens her menu (app/mascot_menu.h); the pointer
// anywhere on the screen is where she looks.
#pragma once

#include <SDL2/SDL_events.h>

struct SDL_Window;

// Before a tick: opens or closes the desktop window as the mode says (one
// line and the normal window where the display cannot); gives the app the
// desktop's windows and work area and moves her while she is dragged.
// True when the normal window came back (its input mapping is to be set
// again).
bool MascotWindowBeforeTick(SDL_Window* normal);
// An event of the desktop window's mouse (or its close); true when taken.
bool MascotWindowEvent(const SDL_Event& e);
// After a tick: the window at her place and of her part's size, its shape
// her silhouette, her gaze on the pointer.
void MascotWindowAfterTick();
// Closes the desktop window and shows `normal` again (null: the app quits).
void MascotWindowClose(SDL_Window* normal);
// The desktop window, null while the mode is off.
SDL_Window* MascotWindowShown();
