#include "content_files.h"

#include <fstream>

#include "kit/temp_dir.h"

std::string BundleDir() { return OVANTA_BUNDLE_DIR; }
std::string BundleFile(const std::string& name) { return BundleDir() + "/" + name; }

bool ReadBytes(const std::string& path, std::vector<uint8_t>& out) {
  out = testkit::ReadFileBytes(path);
  return std::ifstream(path).good();
}
