#include "face/voice_lines.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// Splits text into lines without their line ends; `number` counts from 1.
template <typename Fn>
bool ForEachLine(const std::string& text, std::string* error, Fn fn) {
  size_t at = 0;
  for (int number = 1; at < text.size(); ++number) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string why;
    if (!fn(line, &why)) {
      if (error) *error = std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace

bool CaptionsParse(const std::string& text, std::vector<CaptionLine>* out, std::string* error) {
  out->clear();
  return ForEachLine(text, error, [&](const std::string& line, std::string* why) {
    if (line.size() > kMaxCaptionLineBytes) {
      *why = "longer than " + std::to_string(kMaxCaptionLineBytes) + " bytes";
      return false;
    }
    const size_t t1 = line.find('\t'), t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) {
      *why = "a line is NAME, LANGUAGE and TEXT separated by tabs";
      return false;
    }
    CaptionLine c{line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)};
    if (c.name.empty() || c.text.empty()) {
      *why = "empty name or text";
      return false;
    }
    if (c.lang != "en" && c.lang != "ru") {
      *why = "language '" + c.lang + "' is neither en nor ru";
      return false;
    }
    if (CaptionFind(*out, c.name)) {
      *why = "'" + c.name + "' is there twice";
      return false;
    }
    out->push_back(std::move(c));
    return true;
  });
}

const CaptionLine* CaptionFind(const std::vector<CaptionLine>& lines, const std::string& name) {
  for (const CaptionLine& c : lines)
    if (c.name == name) return &c;
  return nullptr;
}

std::string LipsFormat(const std::vector<MouthKey>& keys, const std::string& about) {
  std::string out = "# mouth shapes of " + about + ": milliseconds from its start, shape, how far open, vowel\n";
  char buf[64];
  for (const MouthKey& k : keys) {
    std::snprintf(buf, sizeof buf, "%d %s %.2f", k.ms, MouthShapeName(k.shape), static_cast<double>(k.open));
    out += buf;
    if (k.vowel) out += std::string(" ") + k.vowel;
    out += "\n";
  }
  return out;
}

bool LipsParse(const std::string& text, std::vector<MouthKey>* out, std::string* error) {
  out->clear();
  return ForEachLine(text, error, [&](const std::string& line, std::string* why) {
    std::istringstream in(line);
    std::string ms, shape, open, vowel, extra;
    if (!(in >> ms >> shape >> open) || ((in >> vowel) && (in >> extra))) {
      *why = "a line is MILLISECONDS SHAPE OPEN [VOWEL]";
      return false;
    }
    if (!vowel.empty() && (vowel.size() != 1 || std::string("aiueo").find(vowel[0]) == std::string::npos)) {
      *why = "'" + vowel + "' is no vowel (a, i, u, e, o)";
      return false;
    }
    char* end = nullptr;
    errno = 0;
    const long t = std::strtol(ms.c_str(), &end, 10);
    if (*end || errno || t < 0 || t > 3600000) {
      *why = "'" + ms + "' is no time in milliseconds";
      return false;
    }
    const int s = MouthShapeFromName(shape.c_str());
    if (s < 0) {
      *why = "'" + shape + "' is no mouth shape (rest, a, o, e, m)";
      return false;
    }
    const double o = std::strtod(open.c_str(), &end);
    if (*end || !std::isfinite(o) || o < 0 || o > 1) {
      *why = "'" + open + "' is not from 0 to 1";
      return false;
    }
    if (!out->empty() && t < out->back().ms) {
      *why = "times go back";
      return false;
    }
    out->push_back(MouthKey{static_cast<int>(t), static_cast<MouthShape>(s), static_cast<float>(o),
                            vowel.empty() ? '\0' : vowel[0]});
    return true;
  });
}

MouthKey LipsAt(const std::vector<MouthKey>& keys, int ms) {
  MouthKey at;
  for (const MouthKey& k : keys) {
    if (k.ms > ms) break;
    at = k;
  }
  return at;
}
