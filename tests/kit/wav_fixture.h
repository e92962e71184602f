// Test helpers: WAV files made on the spot and a private temp folder.
#pragma once

#include "kit/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace wavtest {

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(v & 0xff);
  b.push_back((v >> 8) & 0xff);
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xffff);
  Put16(b, v >> 16);
}
inline void Patch32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xff;
}

struct WavSpec {
  uint16_t tag = 1;      // 1 PCM, 3 float, 0xFFFE extensible
  uint16_t sub_tag = 1;  // real format of an extensible file
  uint16_t channels = 1;
  uint32_t rate = 8000;
  uint16_t bits = 16;
  bool list_chunk = false;  // an odd-sized chunk before "data"
};

// `data` is the raw sample bytes, written as given.
inline std::vector<uint8_t> MakeWav(const WavSpec& s, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  const bool ext = s.tag == 0xFFFE;
  Put32(b, ext ? 40 : 16);
  Put16(b, s.tag);
  Put16(b, s.channels);
  Put32(b, s.rate);
  const uint16_t align = static_cast<uint16_t>(s.channels * (s.bits / 8));
  Put32(b, s.rate * align);
  Put16(b, align);
  Put16(b, s.bits);
  if (ext) {
    Put16(b, 22);
    Put16(b, s.bits);
    Put32(b, 3);
    Put16(b, s.sub_tag);
    const uint8_t guid_tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    b.insert(b.end(), guid_tail, guid_tail + 14);
  }
  if (s.list_chunk) {
    const char list[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    b.insert(b.end(), list, list + sizeof list);
  }
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  Put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  Patch32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

// A 16-bit mono file of `frames` frames of silence.
inline std::vector<uint8_t> SilentWav(uint32_t frames, uint32_t rate = 8000) {
  WavSpec s;
  s.rate = rate;
  return MakeWav(s, std::vector<uint8_t>(frames * 2, 0));
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return testkit::WriteFileBytes(path, bytes);
}

// False when there is no file to read (looked at first: a file that appears
// meanwhile is read whole).
inline bool ReadFile(const std::string& path, std::string* out) {
  if (access(path.c_str(), R_OK) != 0) return false;
  const std::vector<uint8_t> bytes = testkit::ReadFileBytes(path);
  out->assign(bytes.begin(), bytes.end());
  return true;
}

using testkit::TempDir;

}  // namespace wavtest
