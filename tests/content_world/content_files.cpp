#include "content_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

std::string BundleDir() { return OVANTA_BUNDLE_DIR; }
std::string BundleFile(const std::string& name) { return BundleDir() + "/" + name; }

bool ReadBytes(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::vector<std::string> ListFiles(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    std::string n = e.path().filename().string();
    if (n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
      names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}
