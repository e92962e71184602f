// Runs ovanta-headless on a script and reads its trace back, for the
// end-to-end tests of the app.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kit/pictures.h"
#include "kit/program_run.h"
#include "kit/temp_dir.h"

#include <string>
#include <vector>

struct HeadlessRun {
  int status = -1;
  std::string err;                     // standard error (diagnostics of the run)
  std::vector<nlohmann::json> ticks;   // one per tick, tick 1 first
  std::vector<nlohmann::json> events;  // in order

  // The state after tick n (1-based).
  const nlohmann::json& at(long n) const { return ticks.at(static_cast<size_t>(n - 1)); }
  const nlohmann::json& last() const { return ticks.back(); }
  // Events of one kind, optionally only those of one tick.
  std::vector<nlohmann::json> of(const std::string& kind, long tick = 0) const;
  // Sound events of one slot.
  std::vector<nlohmann::json> sounds(int slot) const;
};

using ScratchDir = testkit::TempDir;

// A trace file read back: its ticks and events (lines that are no JSON,
// such as one being written, left out).
HeadlessRun ReadTrace(const std::string& path);

using testkit::LinesWith;
using testkit::ProgramRun;
using testkit::RunProgram;

// Runs `script` with the generated bundle. `args` are extra options placed
// before the script (e.g. "--defaults FILE"). The script runs twice at the
// same time, on the driver's GL ES 1.1 (--gl es1, the run returned) and on
// our translation (--gl es2, with its own copy of the store and its shots
// beside the first run's as FILE.es2.png): the second must give the same
// status, trace, output (GL errors), diagnostics and store, and shots within
// the oracle tolerance.
HeadlessRun RunHeadless(const std::string& script, const std::string& args = "");
// A stored frame of the app (tests/golden/app/NAME).
std::string Golden(const std::string& name);
// `shot` within the golden tolerance of that frame (OVANTA_UPDATE_GOLDEN=1
// rewrites it).
void ExpectLikeGolden(const std::string& shot, const std::string& name);

// The same script once, on the driver's GL ES 1.1 alone: for runs that
// change what two runs at once would share (the characters' folders).
HeadlessRun RunHeadlessOnce(const std::string& script, const std::string& args = "");

// The command line of ovanta-headless on the generated bundle, ready for
// more arguments.
std::string HeadlessCommand();
// Whether the trace line `line` has every field of `want` as it is there;
// a failure names each field that differs and the whole line.
testing::AssertionResult HasFields(const nlohmann::json& line, const nlohmann::json& want);
// Runs `script`, whose shots are named "shot DIR/NAME", drawing everything
// and drawing only what changed (`args` before the script in both), and
// holds every shot of one to the other's, pixel for pixel.
void ExpectRedrawnWhole(const std::string& script, const std::string& args = "");
