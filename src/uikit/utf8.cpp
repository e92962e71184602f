#include "uikit/utf8.h"

long Utf8Decode(const std::string& s, size_t at, size_t* length) {
  *length = 1;
  if (at >= s.size()) return -1;
  const unsigned char c = static_cast<unsigned char>(s[at]);
  if (c < 0x80) return c;
  size_t n = 0;
  long cp = 0, min = 0;
  if ((c & 0xE0) == 0xC0)
    n = 2, cp = c & 0x1F, min = 0x80;
  else if ((c & 0xF0) == 0xE0)
    n = 3, cp = c & 0x0F, min = 0x800;
  else if ((c & 0xF8) == 0xF0)
    n = 4, cp = c & 0x07, min = 0x10000;
  else
    return -1;
  if (at + n > s.size()) return -1;
  for (size_t i = 1; i < n; ++i) {
    const unsigned char k = static_cast<unsigned char>(s[at + i]);
    if ((k & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (k & 0x3F);
  }
  // Overlong forms, surrogates and values past Unicode are not characters.
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  *length = n;
  return cp;
}

size_t Utf8Count(const std::string& s) {
  size_t n = 0;
  for (size_t at = 0; at < s.size(); at = Utf8Next(s, at)) ++n;
  return n;
}

size_t Utf8Next(const std::string& s, size_t at) {
  size_t len = 1;
  Utf8Decode(s, at, &len);
  return at + len < s.size() ? at + len : s.size();
}

size_t Utf8Prev(const std::string& s, size_t at) {
  if (at > s.size()) at = s.size();
  // The last boundary before `at`, found from the start so that stray
  // bytes step exactly as they do forwards.
  size_t prev = 0;
  for (size_t i = 0; i < at; i = Utf8Next(s, i)) prev = i;
  return prev;
}

std::string Utf8Head(const std::string& s, size_t n) {
  size_t at = 0;
  for (size_t i = 0; i < n && at < s.size(); ++i) at = Utf8Next(s, at);
  return s.substr(0, at);
}

std::string Utf8Printable(const std::string& s) {
  std::string out;
  for (size_t at = 0; at < s.size();) {
    size_t len = 1;
    const long cp = Utf8Decode(s, at, &len);
    if (cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp < 0xA0)) out.append(s, at, len);
    at += len;
  }
  return out;
}
