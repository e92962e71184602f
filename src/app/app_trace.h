// The trace both executables can write: one JSON object per line, after
// every tick the state the tests and bug reports look at, and before it the
// events of that tick (a voice line started, a tap pick answered, a reload).
#pragma once

#include <cstdio>
#include <string>

// Opens the trace ("-" is standard output). False with a message on failure.
bool TraceOpen(const std::string& path);
void TraceClose();
// Call right before a tick: forgets the last tick's events.
void TraceBeforeTick();
// Call right after tick number `tick` (from 1).
void TraceAfterTick(long tick);
