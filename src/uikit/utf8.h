// UTF-8 by characters, for text the user types and the interface shows:
// the name field counts and edits characters, not bytes, and the title cuts
// a long name at a character boundary. Any code point up to U+10FFFF counts
// as one character.
#pragma once

#include <cstddef>
#include <string>

// The code point starting at byte `at` and its length in bytes; a stray or
// broken byte reads as one byte with code point -1.
long Utf8Decode(const std::string& s, size_t at, size_t* length);
// Characters of s; a stray byte counts as one.
size_t Utf8Count(const std::string& s);
// The byte offset of the character boundary before / after byte `at`.
size_t Utf8Prev(const std::string& s, size_t at);
size_t Utf8Next(const std::string& s, size_t at);
// The first n characters of s.
std::string Utf8Head(const std::string& s, size_t n);
// s without broken sequences and control characters (what can be typed).
std::string Utf8Printable(const std::string& s);
