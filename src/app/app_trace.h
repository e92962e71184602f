// The trace both executables can write: one JSON object per line, after
// every tick the state the tests and bug reports look at, and before it the
// events of that tick (a voice line started, a tap pick answered, a reload).
#pragma once

#include <cstdio>
#include <string>

// Opens the trace ("-" is standard output). False with a message on failure.
bool TraceOpen(const std::string& path);
// Ends the trace. False, with one line on stderr, when any of it could not
// be written (a full disk, a closed pipe): the trace is incomplete.
bool TraceClose();
// Call right before a tick: forgets the last tick's events.
void TraceBeforeTick();
// Call right after tick number `tick` (from 1); `drawn` false for a tick
// that drew nothing (the window's, when late or unseen), which the line
// then says last (`"drawn":false`).
void TraceAfterTick(long tick, bool drawn = true);
