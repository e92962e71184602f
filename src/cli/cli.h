// The command line of every program of the project: the app, ovanta-headless,
// podinfo and the generators and previews under tools/ all parse their
// arguments here, so they share one grammar, one usage text and one set of
// exit statuses.
//
//   --help, -h     the usage on standard output, exit 0
//   --version      "NAME VERSION" on standard output, exit 0
//   --opt VALUE, --opt=VALUE   an option with a value; a later one wins
//   --             ends the options; "-" alone is an operand (standard input)
// An unknown option, an option without its value, or too few or too many
// operands: one line saying what is wrong, then the usage, on standard error,
// and exit status 64.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Exit statuses shared by the programs (the values of <sysexits.h>).
constexpr int kExitUsage = 64;      // the command line was wrong
constexpr int kExitDataError = 65;  // an input was read and refused (a character file)
constexpr int kExitNoInput = 66;    // an input file or the bundle is missing or unusable
constexpr int kExitIoError = 74;    // an output (trace, picture, file) could not be written

struct CliOption {
  const char* name;   // "--bundle"
  const char* value;  // "DIR" as shown in the usage; null for a flag
  const char* help;   // one line
};

struct CliProgram {
  const char* name;      // "ovanta-headless"
  const char* operands;  // as shown in the usage line, "" for none
  int min_operands;
  int max_operands;  // -1: any number
  std::vector<CliOption> options;
  const char* notes;  // more lines for the usage, or null
};

struct CliArgs {
  std::vector<std::pair<std::string, std::string>> given;  // option, value ("" for a flag), in order
  std::vector<std::string> operands;
  bool Has(const char* option) const;
  // The last value given for the option, else `fallback`.
  std::string Value(const char* option, const std::string& fallback = "") const;
};

// Parses argv into *args. Returns -1 when the program should go on;
// otherwise the status to exit with (0 after --help or --version,
// kExitUsage for a wrong command line), everything already printed.
int CliParse(const CliProgram& program, int argc, char** argv, CliArgs* args);

// The usage text, ending in a newline.
std::string CliUsage(const CliProgram& program);

// True when `dir` is a folder; else one line ("NAME: DIR: no such folder")
// on standard error. For the tools' output and bundle folders, checked
// before any work is done.
bool CliIsFolder(const CliProgram& program, const std::string& dir);

// For a value found wrong after parsing ("--scale wants a number from 1 to
// 4"): "NAME: message" and the usage on standard error. Returns kExitUsage.
int CliUsageError(const CliProgram& program, const std::string& message);
