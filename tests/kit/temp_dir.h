// Folders and files of one test: a fresh folder removed with everything in
// it and whole-file bytes (kit/temp_bundle.h: the same folder as the
// resource bundle).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

std::vector<uint8_t> ReadFileBytes(const std::string& path);
// Whether anything (a dangling link too) is at `path`.
bool Exists(const std::string& path);
// The names in a folder (hidden ones too, not "." and ".."), sorted; none
// when it cannot be read.
std::vector<std::string> ListDir(const std::string& dir);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace testkit
