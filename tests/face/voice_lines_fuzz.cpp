// Any bytes as a captions table and as a mouth timing file (the bundle's
// text files, which anyone can drop a wrong one of): a parse either fails
// with a message or gives entries that keep their own rules.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "face/voice_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::vector<CaptionLine> lines;
  if (CaptionsParse(text, &lines, &error)) {
    for (const CaptionLine& c : lines)
      if (c.name.empty() || c.text.empty() || (c.lang != "en" && c.lang != "ru") || !CaptionFind(lines, c.name) ||
          c.name.size() + c.lang.size() + c.text.size() + 2 > kMaxCaptionLineBytes)
        std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  std::vector<MouthKey> keys;
  error.clear();
  if (LipsParse(text, &keys, &error)) {
    for (size_t i = 0; i < keys.size(); ++i) {
      if (keys[i].open < 0 || keys[i].open > 1 || !std::isfinite(keys[i].open)) std::abort();
      if (keys[i].vowel && !std::strchr("aiueo", keys[i].vowel)) std::abort();
      if (i && keys[i].ms < keys[i - 1].ms) std::abort();
      if (LipsAt(keys, keys[i].ms).ms != keys[i].ms) std::abort();
    }
    if (LipsAt(keys, -1).shape != kMouthRest) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
