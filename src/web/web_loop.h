// The page's clock for the app's 30 Hz tick. Browsers call the page once per
// displayed frame (requestAnimationFrame, usually 60 times a second, fewer
// on slow machines or hidden tabs); the app wants exactly 30 ticks a second.
// Each frame asks how many ticks are due. A frame that comes a little early
// still gets its tick, so a 60 Hz display gives one tick every second frame;
// after a long gap (a hidden tab, a machine that cannot keep up) the clock
// starts afresh instead of running a burst of ticks: as everywhere in the app,
// time lost slows her down rather than skipping.
#pragma once

struct TickClock {
  double next_ms = -1;  // when the next tick is due; -1 before the first frame
};

const double kTickMs = 1000.0 / 30.0;
// At most this many ticks in one frame: enough to keep 30 Hz on a display
// that draws fewer frames than that.
const int kMaxTicksPerFrame = 2;

// Ticks due at `now_ms` (the frame's timestamp); advances the clock by them.
int TickClockAdvance(TickClock* clock, double now_ms);
