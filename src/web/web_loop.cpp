#include "web/web_loop.h"

namespace {
// Frame timestamps jitter by a millisecond or two around the display's
// period; a frame this close to the due time counts as on time.
const double kEarlyMs = 4.0;
// Further behind than this, the clock gives up catching up.
const double kGiveUpMs = 4 * kTickMs;
}  // namespace

int TickClockAdvance(TickClock* clock, double now_ms) {
  if (clock->next_ms < 0 || now_ms - clock->next_ms > kGiveUpMs) clock->next_ms = now_ms;
  int due = 0;
  while (due < kMaxTicksPerFrame && now_ms + kEarlyMs >= clock->next_ms) {
    clock->next_ms += kTickMs;
    ++due;
  }
  return due;
}
