// What she says and how her mouth moves while she says it, as the bundle
// keeps them: the captions table ("captions.txt": each voice file's name,
// its language and its text, tab-separated, '#' comments) and the mouth
// timing beside each voice ("NAME.lips": a start time in milliseconds, a
// mouth shape and how far open, one change a line).
//
// voicegen speaks the table and writes the timing at build time; the face
// layer (face/face.h) reads both to show captions and move her lips.
#pragma once

#include <string>
#include <vector>

#include "face/face_rig.h"

struct CaptionLine {
  std::string name;  // the voice file without ".wav"
  std::string lang;  // "en" or "ru"
  std::string text;  // UTF-8
};
// False, with "LINE: what is wrong" in `error`, for a line that is not
// three tab-separated fields with a known language, a name used twice or a
// line longer than kMaxCaptionLineBytes (no caption she says is near it).
// The lines before the wrong one are kept.
constexpr size_t kMaxCaptionLineBytes = 1024;
bool CaptionsParse(const std::string& text, std::vector<CaptionLine>* out, std::string* error);
const CaptionLine* CaptionFind(const std::vector<CaptionLine>& lines, const std::string& name);

struct MouthKey {
  int ms = 0;  // from the start of the voice
  MouthShape shape = kMouthRest;
  float open = 0;  // 0..1
  // The vowel it voices, by the sound rather than the shape her mouth makes
  // of it: 'a', 'i', 'u', 'e', 'o', or 0 (a consonant, a pause, a file
  // without). Characters with a mouth expression for each vowel show it.
  char vowel = 0;
};
// The file's text: a comment naming `about`, then one key a line (its
// vowel, when it has one, after how far open).
std::string LipsFormat(const std::vector<MouthKey>& keys, const std::string& about);
// False, with "LINE: what is wrong", for a malformed line or times that go back.
bool LipsParse(const std::string& text, std::vector<MouthKey>* out, std::string* error);
// The key in force `ms` into the voice: the last one starting at or before
// it; at rest before the first and for no keys.
MouthKey LipsAt(const std::vector<MouthKey>& keys, int ms);
