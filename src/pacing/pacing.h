// The clock of a shown app: her logic keeps 30 ticks a second of wall time
// whatever the drawing costs, and only ticks someone can see are drawn.
//
// The window's loop (app/main_window.cpp) and the page's animation frames
// (web/web_main.cpp) ask PaceWait how long to sleep before the next tick and
// PaceTick, as each tick starts, whether it draws. A tick that starts late
// (the one after it is due already) runs without drawing, so after a slow
// draw her motion, voices, captions and music stay with the clock; on a
// page, whose frames run every tick due, that leaves a frame's last tick
// the only one drawn. After kPaceMaxUndrawn such ticks in a row one is drawn
// and the schedule starts afresh from it: time slips rather than nothing
// ever being drawn. A window nobody can see draws nothing, its ticks go on,
// and the first tick back in view is due at once and drawn. Headless runs
// have no clock: one tick, one draw.
//
// Plain data and pure functions of the time given, so tests drive it with a
// clock of their own.
#pragma once

struct Pace {
  double period = 1.0 / 30.0;  // seconds a tick
  double early = 0;            // a tick due this close to `now` runs now (a page's frames jitter)
  double next = -1;            // when the next tick is due; < 0 before the first
  int undrawn = 0;             // ticks in a row that were not drawn
  bool seen = true;            // whether anyone could see the last tick
};

// Ticks in a row that may go undrawn because the drawing is late.
const int kPaceMaxUndrawn = 4;

// Seconds from `now` until the next tick is due (<= 0: run it now); `seen`
// says whether anyone can see the app now.
double PaceWait(const Pace& pace, double now, bool seen);

// A tick starts at `now`: advances the schedule and says whether the tick
// draws. `must_draw` asks for a drawn tick whatever the clock says (a tap
// to be answered from the pixels, a frame to be written); drawn late, it
// lets time slip as the tick after the undrawn ones does.
bool PaceTick(Pace* pace, double now, bool seen, bool must_draw);
