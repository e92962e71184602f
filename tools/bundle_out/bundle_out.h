// The files a generator writes into the bundle folder.
//
// A generator names each file as it writes it (BundleOutPath) and, when done,
// hands the build a depfile listing them (BundleOutFinish). So each
// generator is the one list of what it makes: its build rule names only a
// stamp (ovanta_generate in cmake/Ovanta.cmake), and a file that goes missing
// or changes makes the build run the generator again. Used by every
// generator under tools/ that writes into the bundle.
//
//   GENERATOR OUT_DIR [--stamp FILE] [generator's own options]
#pragma once

#include <string>
#include <vector>

// OUT_DIR/name, remembered as one of this run's files.
std::string BundleOutPath(const std::string& dir, const std::string& name);
// The files named so far, in the order they were named.
const std::vector<std::string>& BundleOutFiles();

// Reads OUT_DIR and an optional "--stamp FILE" from the command line; other
// options ("--name VALUE" pairs) are left in `rest`. False, with a usage
// line, when OUT_DIR is missing.
bool BundleOutArgs(int argc, char** argv, const char* tool, std::string* dir, std::string* stamp,
                   std::vector<std::string>* rest = nullptr);

// With a stamp: writes "STAMP.d" (the stamp depends on every named file) and
// then the stamp itself. Without one it does nothing. False, with a message,
// when either cannot be written.
bool BundleOutFinish(const char* tool, const std::string& stamp);
