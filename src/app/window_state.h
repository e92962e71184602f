// The desktop window's own state, for main_window.cpp: its size and
// position remembered in the settings store (integer keys beside the
// character's), the pixel scale the view is drawn at for a window size,
// and whether this is the window's first start (nothing stored yet).
#pragma once

#include <vector>

// Window units (what SDL reports for positions and sizes).
struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

// Store keys, integers.
extern const char* const kWindowKeyX;       // "Ovanta_window_x"
extern const char* const kWindowKeyY;       // "Ovanta_window_y"
extern const char* const kWindowKeyWidth;   // "Ovanta_window_width"
extern const char* const kWindowKeyHeight;  // "Ovanta_window_height"

// The stored geometry; false when there is none (the first start).
bool WindowGeometryLoad(WindowGeometry* g);
// Into the store; written with the next synchronize.
void WindowGeometryStore(const WindowGeometry& g);
// Whether `g` is a sensible window on one of `displays`: at least 100 x 150
// units, no larger than the display, and its middle on it.
bool WindowGeometryFits(const WindowGeometry& g, const std::vector<WindowGeometry>& displays);

// Pixels a point for the view letterboxed in a drawable of w x h pixels,
// held to 0.25 .. 4 (beyond that the picture is stretched to the box).
float WindowViewScale(int w, int h);
