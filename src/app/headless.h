// ovanta-headless: the app on a headless 320 x 480 GL ES 1.1 surface, driven
// by a script instead of a person, for tests, demos and bug reports.
//
//   ovanta-headless [--bundle DIR] [--defaults FILE] [--trace FILE] [--scale N] [--gl es1|es2]
//                   [--character FILE|ID] SCRIPT
//
// Script lines (`#` starts a comment): tick [N], touch PHASE X Y [...],
// tap X Y, point X Y, point none, accel X Y Z, action NAME, press OUTLET,
// name TEXT, key NAME, shot FILE, drop FILE (the README's table says what each
// does).
// A malformed line is reported with its number and skipped; the run then
// ends with status 2. rand is seeded with 1 and voices play on the tick
// clock, so a script always gives the same trace. Other exit statuses:
// 64 usage, 65 a character file refused, 66 a missing script, bundle or
// character, 69 no GL surface, 74 a trace or shot that could not be written.
// Without --defaults the settings store lives in memory: the run leaves no
// file behind.
#pragma once

#include <istream>
#include <string>

// The whole program; returns the exit status.
int HeadlessMain(int argc, char** argv);

// Runs a script on an app already started. Returns the number of malformed
// lines; messages go to standard error as "NAME:LINE: message".
int HeadlessRunScript(std::istream& in, const std::string& name);
