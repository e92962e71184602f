// Whole-file loader under the scene reader's streams.
//
// A file is read into one buffer in its constructor (plus a terminating zero
// byte, so a text file can be used as a C string) and never held open.
#pragma once

#include <string>

class CResourceFile {
 public:
  explicit CResourceFile(const char* name);
  virtual ~CResourceFile();
  CResourceFile(const CResourceFile&) = delete;
  CResourceFile& operator=(const CResourceFile&) = delete;

  bool IsOpen() const { return m_open; }
  unsigned int Size() const { return m_size; }
  const char* StringPtr() const { return m_data; }
  // Why the file could not be read ("no such file", ...); "" when it was.
  const std::string& Problem() const { return m_problem; }

  // Put in front of every name before opening; empty, so paths are used as given.
  static std::string s_DataPath;

 private:
  bool m_open;
  unsigned int m_size;
  char* m_data;
  std::string m_problem;
};
