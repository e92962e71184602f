// The files a generator writes into the bundle folder.
//
// A generator names each file as it writes it (BundleOutPath) and, when done,
// hands the build a depfile listing them (BundleOutFinish). So each
// generator is the one list of what it makes: its build rule names only a
// stamp (ovanta_generate in cmake/Ovanta.cmake), and a file that goes missing
// or changes makes the build run the generator again. Used by every
// generator under tools/ that writes into the bundle.
//
//   GENERATOR OUT_DIR [--stamp FILE] [the generator's own options]
#pragma once

#include <string>
#include <vector>

#include "cli/cli.h"

// OUT_DIR/name, remembered as one of this run's files.
std::string BundleOutPath(const std::string& dir, const std::string& name);
// The files named so far, in the order they were named.
const std::vector<std::string>& BundleOutFiles();

// Parses the generator's command line with the shared parser (src/cli):
// OUT_DIR is its one operand and must be a folder; "--stamp FILE" is added to
// *program's own options (so its usage, for a later CliUsageError, is whole). Returns -1 when the generator should go
// on, else the status to exit with (0 after --help or --version, kExitUsage for a wrong command line, kExitIoError when
// OUT_DIR is not a folder), with everything already said. OUT_DIR is args->operands[0], the stamp
// args->Value("--stamp").
int BundleOutArgs(CliProgram* program, int argc, char** argv, CliArgs* args);

// With a stamp: writes "STAMP.d" (the stamp depends on every named file) and
// then the stamp itself. Without one it does nothing. False, with a message,
// when either cannot be written.
bool BundleOutFinish(const char* tool, const std::string& stamp);
