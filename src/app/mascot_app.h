// Desktop mode in the app: she stands on the desktop with no room, no
// buttons and no box around her. Turned on by `--mascot`, the settings
// screen's switch, D and the window's menu, stored as Ovanta_mascot.
//
// While the mode is on and the main screen is on top (the settings screen
// shows in the normal window), every frame is drawn on a transparent clear
// (character/girl_frame.h) and read back here after the tick: her
// silhouette, the part of the surface the window shows (mascot/mascot.h)
// and one step of her place on the desktop. ovanta-headless moves and drops
// her by script lines and keeps the desktop's windows from them; the window
// (main_window.cpp) takes them from the X server and shows the result.
#pragma once

#include <string>
#include <vector>

#include "mascot/mascot.h"

struct MascotState {
  bool on = false;              // the mode is chosen
  MascotSilhouette silhouette;  // of the last frame, surface pixels
  MascotRect part;              // of the surface the window shows
  MascotPlace place;            // where the window is on the screen
  // Where her feet are on the screen (kept while the window's part is made
  // anew, at a new zoom, and stored); not yet known when `anchored` is false.
  bool anchored = false;
  int feet_x = 0, feet_y = 0;
  // Pixels a point on the desktop as the wheel last left them (0: not
  // zoomed yet, the normal window's).
  float zoom = 0;
  MascotRect work{0, 0, 1920, 1080};      // the work area of her monitor
  std::vector<MascotDeskWindow> windows;  // the desktop's other windows, bottom to top
};
MascotState& Mascot();

// Turns the mode on or off and stores it (the web build has no such mode).
void MascotAppSet(bool on);
// Whether this tick draws her as on the desktop.
bool MascotAppActive();
// After every tick; one drawn on the desktop gives the silhouette, the window's part and
// one step of her place. The first tick on the desktop drops her from where
// her feet were (else from the work area's bottom right).
void MascotAppAfterTick();
// Where her feet are in her window.
MascotFeet MascotAppFeet();
// The mode, where her feet were and her zoom, from the store (Ovanta_mascot,
// Ovanta_mascot_x, Ovanta_mascot_y, Ovanta_mascot_zoom), and into it.
void MascotAppLoad();
void MascotAppStore();
// The trace's fields of the mode: `"mascot":1` and, while on,
// `"silhouette":{...},"place":{...}` (text to append, with a leading comma).
std::string MascotAppTraceFields();
