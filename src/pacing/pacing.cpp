#include "pacing/pacing.h"

namespace {
// The first tick, and the first that can be seen again, are due at once.
bool Restarts(const Pace& pace, bool seen) { return pace.next < 0 || (seen && !pace.seen); }
}  // namespace

double PaceWait(const Pace& pace, double now, bool seen) {
  if (Restarts(pace, seen)) return 0;
  return pace.next - pace.early - now;
}

bool PaceTick(Pace* pace, double now, bool seen, bool must_draw) {
  if (Restarts(*pace, seen)) {
    pace->next = now;
    pace->undrawn = 0;
  }
  // Late: the tick after this one is due already.
  const bool late = now + pace->early >= pace->next + pace->period;
  // Late, a tick that draws anyway (after the undrawn ones allowed, or
  // asked to) lets time slip: a loop that runs every tick due and draws each
  // (a traced page) still comes to an end.
  const bool slip = late && (pace->undrawn >= kPaceMaxUndrawn || must_draw);
  if (slip) pace->next = now;
  const bool draw = must_draw || (seen && (!late || slip));
  pace->undrawn = draw ? 0 : pace->undrawn + 1;
  pace->next += pace->period;
  pace->seen = seen;
  return draw;
}
