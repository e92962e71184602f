// Folders and files of one test: a fresh folder removed with everything in
// it, the same folder as the resource bundle, and whole-file bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bundle.h"

namespace testkit {

// A fresh folder under $TMPDIR (or /tmp); the destructor removes it whole.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return file(name); }

 private:
  std::string path_;
};

// A TempDir that is the resource bundle's folder while it lives (inline, so
// that only the tests that use it link the platform library).
class TempBundle : public TempDir {
 public:
  TempBundle() { BundleSetRoot(path().c_str()); }
  ~TempBundle() { BundleSetRoot(nullptr); }
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace testkit
