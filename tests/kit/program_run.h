// Running a program as its users do, from a shell command line, for the
// tests of the programs and the app end to end.
#pragma once

#include <string>

namespace testkit {

// A command line's exit status, standard output and error (standard input
// is empty).
struct ProgramRun {
  int status = -1;
  std::string out, err;
};
ProgramRun RunProgram(const std::string& command_line);

// How many lines of `text` hold `what` (of a run's diagnostics, say).
int LinesWith(const std::string& text, const std::string& what);

}  // namespace testkit
