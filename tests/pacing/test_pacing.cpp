// The clock of the window and the page, driven by a clock of the test's own:
// a loop as the window's (sleep until due, tick, draw when told, the draw
// costing what the case says) and one as the page's (frames at the
// display's rate, every due tick run in the frame).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "pacing/pacing.h"

namespace {

struct Counts {
  int ticks = 0, draws = 0, longest_undrawn = 0;
  double first_draw_back = -1;  // when the first tick after unseen ones was drawn
};

// The window's loop for `seconds` of wall time: a tick costs `tick_cost`,
// a draw `draw_cost` more; seen(t) says whether the window can be seen.
Counts Window(double seconds, double tick_cost, double draw_cost, const std::function<bool(double)>& seen = nullptr) {
  Pace pace;
  Counts run;
  int undrawn = 0;
  double now = 0;
  bool was_unseen = false;
  while (now < seconds) {
    const bool s = seen ? seen(now) : true;
    const double wait = PaceWait(pace, now, s);
    if (wait > 0) {
      // Sleeps until due, woken early when the window comes back into view.
      double woke = now + wait;
      if (seen && !s)
        for (double t = now; t < woke; t += 0.001)
          if (seen(t)) woke = t;
      now = woke;
      continue;
    }
    was_unseen = was_unseen || !s;
    const bool draw = PaceTick(&pace, now, s, false);
    ++run.ticks;
    run.draws += draw;
    undrawn = draw ? 0 : undrawn + 1;
    if (s) run.longest_undrawn = std::max(run.longest_undrawn, undrawn);
    if (draw && was_unseen && run.first_draw_back < 0) run.first_draw_back = now;
    now += tick_cost + (draw ? draw_cost : 0);
  }
  return run;
}

TEST(Pace, LateDrawsGiveWayToTicksOnTime) {
  // A quick draw: every tick drawn, 30 a second.
  Counts r = Window(3, 0.001, 0.005);
  EXPECT_NEAR(r.ticks, 90, 1);
  EXPECT_EQ(r.draws, r.ticks);
  // A draw of 100 ms: still 30 ticks a second, every third drawn.
  r = Window(3, 0.001, 0.1);
  EXPECT_NEAR(r.ticks, 90, 1);
  EXPECT_NEAR(r.draws, 28, 2);
  EXPECT_LE(r.longest_undrawn, kPaceMaxUndrawn);
  // A draw of 40 ms, a little over a period: most ticks drawn, none lost.
  r = Window(3, 0.001, 0.04);
  EXPECT_NEAR(r.ticks, 90, 1);
  EXPECT_GT(r.draws, 60);
  EXPECT_LT(r.draws, 90);
  // A draw of 300 ms: four ticks undrawn, then one drawn and time slips.
  r = Window(3, 0.001, 0.3);
  EXPECT_EQ(r.longest_undrawn, kPaceMaxUndrawn);
  EXPECT_GT(r.ticks, 40);
  EXPECT_NEAR(r.draws, r.ticks / (kPaceMaxUndrawn + 1), 1);
}

TEST(Pace, NothingDrawnUnseenTicksGoOnAndTheReturnIsDrawnAtOnce) {
  const auto seen = [](double t) { return t < 1.0 || t >= 2.0105; };
  const Counts r = Window(3, 0.001, 0.01, seen);
  EXPECT_NEAR(r.ticks, 91, 1) << "the second out of view ticks as the others";
  EXPECT_NEAR(r.draws, 61, 1) << "none drawn in it";
  EXPECT_NEAR(r.first_draw_back, 2.0105, 0.0015) << "back in view, a tick is due and drawn at once";
}

TEST(Pace, StallsSlipAndFramesAndTapsAreDrawnWhenAsked) {
  Pace pace;
  EXPECT_TRUE(PaceTick(&pace, 0, true, false));
  // Ten seconds stopped (a debugger, a suspended machine): a few ticks catch
  // up undrawn, then one is drawn and the schedule starts from it.
  double now = 10;
  int burst = 0;
  while (PaceWait(pace, now, true) <= 0) {
    const bool drew = PaceTick(&pace, now, true, false);
    ++burst;
    if (drew) break;
  }
  EXPECT_EQ(burst, kPaceMaxUndrawn + 1);
  EXPECT_NEAR(PaceWait(pace, now, true), pace.period, 1e-9);
  // Late, and a tap waits on the pixels: drawn anyway, and time slips, so a
  // loop that runs every due tick and draws each (a traced page) ends.
  now += 1;
  EXPECT_TRUE(PaceTick(&pace, now, true, true));
  EXPECT_GT(PaceWait(pace, now, true), 0);
  EXPECT_TRUE(PaceTick(&pace, now + 1, false, true)) << "unseen too";
  EXPECT_FALSE(PaceTick(&pace, now + 1, false, false));
}

TEST(Pace, PageFramesAtTheDisplaysRateTickAtThirtyAHertz) {
  // 60 frames a second, each a millisecond or two off: one tick every second
  // frame; a frame that comes 40 ms late gets the tick it owes, drawn only once.
  Pace pace;
  pace.early = 0.004;
  int ticks = 0, draws = 0, most_in_a_frame = 0;
  for (int f = 0; f < 180; ++f) {
    const double now = f / 60.0 + (f % 3 == 0 ? 0.0015 : -0.0015) + (f == 90 ? 0.04 : 0);
    int in_frame = 0, drawn_in_frame = 0;
    while (PaceWait(pace, now, true) <= 0) {
      drawn_in_frame += PaceTick(&pace, now, true, false);
      ++in_frame;
    }
    ticks += in_frame;
    draws += drawn_in_frame;
    most_in_a_frame = std::max(most_in_a_frame, in_frame);
    if (in_frame) {
      EXPECT_EQ(drawn_in_frame, 1) << "frame " << f << ": only the last tick of a frame is seen";
    }
  }
  EXPECT_NEAR(ticks, 90, 1);
  EXPECT_EQ(most_in_a_frame, 2);
  EXPECT_EQ(draws, ticks - 1);
}

}  // namespace
