// Desktop mode's window on an X server (app/mascot_app.h): what SDL does
// not do for a window that stands on the desktop. A borderless window above
// the others and out of the task bar, transparent per pixel where a
// compositing manager runs (a depth-32 visual) and else cut to her
// silhouette with the SHAPE extension; clicks beside her go through to the
// windows below either way (the input shape). Also what the fall needs from
// the desktop: the other top-level windows and the pointer.
//
// For the window program only (app/mascot_window.cpp); every call takes the
// X connection of the SDL window it is given (null or not X11: nothing).
#pragma once

#include <string>
#include <vector>

#include "mascot/mascot.h"

struct SDL_Window;

// Whether `any` (a window of the app) is on an X server that can show her on
// the desktop (it has SHAPE); else false and why, in a few words.
bool DesktopX11Usable(SDL_Window* any, std::string* why);
// Whether a compositing manager runs on that screen (_NET_WM_CM_S0 owned).
bool DesktopX11Compositing(SDL_Window* any);
// A borderless window, above the others and out of the task bar, of w x h
// at (x, y), shown; with a depth-32 visual when `argb` (its pixels then
// carry alpha). No GL: frames are copied into its pixels. Null on failure.
SDL_Window* DesktopX11OpenWindow(SDL_Window* any, int x, int y, int w, int h, bool argb);
// Its input shape and, when `bounding`, its bounding shape: these
// rectangles, window pixels.
void DesktopX11Shape(SDL_Window* window, const std::vector<MascotRect>& rects, bool bounding);
// The other top-level windows that are shown, bottom to top: the window
// manager's client list (their frames' outer edges), else the root's mapped
// children. Ids are the X window numbers in decimal.
std::vector<MascotDeskWindow> DesktopX11Windows(SDL_Window* self);
// The pointer on the screen and whether the left button is held.
bool DesktopX11Pointer(SDL_Window* any, int* x, int* y, bool* left);
// Without a window manager nothing keeps a window above the others: raised
// when one covers it.
void DesktopX11KeepAbove(SDL_Window* window);
