// Small helpers of the content tests: where the generated bundle is, and
// whole-file reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bundle folder the build generated (build/Resources).
std::string BundleDir();
std::string BundleFile(const std::string& name);
// False when the file cannot be read.
bool ReadBytes(const std::string& path, std::vector<uint8_t>& out);
