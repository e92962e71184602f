// Build-time voice generator: speaks every line of the captions table (both
// languages) into the bundle as <name>.wav, with the timing of her mouth
// shapes beside it as <name>.lips, and copies the table into the bundle as
// captions.txt so that the app shows what was spoken.
//
// English is spoken by the slt voice of the flite library, Russian by
// espeak-ng with a female variant; both outputs go through VoiceFinish so the
// two languages come out equally loud, trimmed and click-free. The mouth
// timing comes from each synthesiser's own phoneme timing: flite's segments
// with their end times, espeak-ng's phoneme events with their positions in
// the sound. Output is deterministic: same lines, same synthesisers, same bytes.
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bundle_out.h"
#include "catalog/catalog.h"
#include "cli/cli.h"
#include "face/voice_lines.h"
#include "files/files.h"
#include "voice_dsp.h"
#include "voicegen.h"

extern "C" {
#include <flite/flite.h>
cst_voice* register_cmu_us_slt(const char* voxdir);
}

namespace {

// One phoneme as the synthesiser timed it, seconds from the start of its output.
struct Phone {
  double start;
  std::string name;  // flite's phone names; espeak-ng's in IPA
};

// ---- Mouth shapes from phonemes ----------------------------------------------

struct Viseme {
  MouthShape shape;
  float open;
  char vowel = 0;  // the vowel class of a vowel (MouthKey's)
};

// flite's phone set (US English).
Viseme FromFlite(const std::string& p) {
  if (p == "pau" || p.empty()) return {kMouthRest, 0.0f};
  if (p == "m" || p == "b" || p == "p") return {kMouthM, 0.0f};
  if (p == "aa" || p == "ae" || p == "ay" || p == "aw") return {kMouthA, 1.0f, 'a'};
  if (p == "ah" || p == "ax") return {kMouthA, 0.6f, 'a'};
  if (p == "ao" || p == "ow" || p == "oy") return {kMouthO, 0.85f, 'o'};
  if (p == "uw" || p == "uh" || p == "w") return {kMouthO, 0.55f, 'u'};
  if (p == "eh" || p == "ey" || p == "er") return {kMouthE, 0.6f, 'e'};
  if (p == "ih" || p == "iy" || p == "y") return {kMouthE, 0.45f, 'i'};
  if (p == "f" || p == "v") return {kMouthE, 0.15f};
  if (p == "sh" || p == "zh" || p == "ch" || p == "jh") return {kMouthO, 0.3f};
  return {kMouthE, 0.25f};  // the other consonants: the teeth nearly together
}

// espeak-ng's phonemes in IPA: judged by the first letter after the stress marks.
Viseme FromIpa(const std::string& p) {
  size_t i = 0;
  // Stress marks (U+02C8, U+02CC) and length marks come as two-byte sequences.
  while (i + 1 < p.size() && static_cast<unsigned char>(p[i]) == 0xCB) i += 2;
  const std::string q = p.substr(i);
  auto starts = [&](const char* s) { return q.compare(0, std::strlen(s), s) == 0; };
  if (q.empty() || q[0] == '_') return {kMouthRest, 0.0f};
  if (starts("m") || starts("b") || starts("p")) return {kMouthM, 0.0f};
  if (starts("a") || starts("\xC9\x91") /* ɑ */ || starts("\xC3\xA6") /* æ */) return {kMouthA, 1.0f, 'a'};
  if (starts("\xC9\x90") /* ɐ */ || starts("\xC9\x99") /* ə */ || starts("\xCA\x8C") /* ʌ */)
    return {kMouthA, 0.6f, 'a'};
  if (starts("o") || starts("\xC9\x94") /* ɔ */) return {kMouthO, 0.85f, 'o'};
  if (starts("u") || starts("\xCA\x8A") /* ʊ */ || starts("w")) return {kMouthO, 0.55f, 'u'};
  if (starts("e") || starts("\xC9\x9B") /* ɛ */) return {kMouthE, 0.6f, 'e'};
  if (starts("i") || starts("\xC9\xAA") /* ɪ */ || starts("\xC9\xA8") /* ɨ */ || starts("j") || starts("y"))
    return {kMouthE, 0.45f, 'i'};
  if (starts("f") || starts("v")) return {kMouthE, 0.15f};
  if (starts("\xCA\x83") /* ʃ */ || starts("\xCA\x92") /* ʒ */ || starts("t\xCA\x83") || starts("\xC9\x95") /* ɕ */)
    return {kMouthO, 0.3f};
  return {kMouthE, 0.25f};
}

// Phonemes (seconds in the raw output) to mouth keys in the finished voice:
// moved by what the trim cut off, merged where the shape does not change,
// at rest from the end of the speech.
std::vector<MouthKey> Keys(const std::vector<Phone>& phones, double end, double cut, double length,
                           Viseme (*viseme)(const std::string&)) {
  std::vector<MouthKey> keys;
  auto add = [&](double at, Viseme v) {
    // Below zero it is clamped to 0 next, and from zero up a half added and
    // truncated rounds to nearest: kept so the voices' keys stay byte for byte.
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    const int ms = static_cast<int>((at - cut) * 1000.0 + 0.5);
    const MouthKey k{ms < 0 ? 0 : ms, v.shape, v.open, v.vowel};
    if (!keys.empty() && keys.back().ms >= k.ms) keys.pop_back();  // the later phoneme wins its millisecond
    if (!keys.empty() && keys.back().shape == k.shape && keys.back().open == k.open && keys.back().vowel == k.vowel)
      return;
    keys.push_back(k);
  };
  add(cut, {kMouthRest, 0.0f});
  for (const Phone& p : phones) add(p.start, viseme(p.name));
  add(std::min(end, cut + length), {kMouthRest, 0.0f});
  return keys;
}

bool WriteText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// ---- Synthesis ---------------------------------------------------------------------

std::vector<short> g_espeakSamples;
std::vector<Phone> g_espeakPhones;
double g_espeakEnd = 0;

int CollectSamples(short* wav, int count, espeak_EVENT* events) {
  if (wav && count > 0) g_espeakSamples.insert(g_espeakSamples.end(), wav, wav + count);
  for (espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
    if (e->type == espeakEVENT_PHONEME) {
      const size_t n = strnlen(e->id.string, sizeof e->id.string);
      g_espeakPhones.push_back({e->audio_position / 1000.0, std::string(e->id.string, n)});
    } else if (e->type == espeakEVENT_END || e->type == espeakEVENT_MSG_TERMINATED) {
      g_espeakEnd = std::max(g_espeakEnd, e->audio_position / 1000.0);
    }
  }
  return 0;  // go on
}

// Finishes, writes and reports one voice and its mouth timing.
bool WriteVoice(const std::string& dir, const std::string& name, const std::vector<float>& raw, int rate,
                const std::vector<Phone>& phones, double end, Viseme (*viseme)(const std::string&)) {
  double cut = 0;
  std::vector<int16_t> pcm = VoiceFinish(raw, rate, &cut);
  std::vector<float> check = PcmToFloat(pcm.data(), pcm.size());
  const std::string path = BundleOutPath(dir, name + ".wav");
  if (pcm.empty() || !WavWriteFile(path, pcm, kVoiceRate)) {
    std::fprintf(stderr, "voicegen: cannot write %s\n", path.c_str());
    return false;
  }
  const double length = double(pcm.size()) / kVoiceRate;
  const std::vector<MouthKey> keys = Keys(phones, end, cut, length, viseme);
  const std::string lips = BundleOutPath(dir, name + ".lips");
  if (!WriteText(lips, LipsFormat(keys, name + ".wav"))) {
    std::fprintf(stderr, "voicegen: cannot write %s\n", lips.c_str());
    return false;
  }
  std::printf("voicegen: %-11s %5.2f s  rms %6.1f dBFS  peak %5.1f dBFS  %3zu mouth shapes\n", name.c_str(), length,
              ActiveRmsDb(check, kVoiceRate), PeakDb(check), keys.size());
  return true;
}

bool SpeakEnglish(const std::string& dir, const CaptionLine& line) {
  static const bool started = flite_init() == 0;
  static cst_voice* voice = started ? register_cmu_us_slt(nullptr) : nullptr;
  if (!voice) {
    std::fprintf(stderr, "voicegen: flite or its slt voice did not start\n");
    return false;
  }
  cst_utterance* u = flite_synth_text(line.text.c_str(), voice);
  cst_wave* w = u ? utt_wave(u) : nullptr;
  if (!w || w->num_samples <= 0) {
    std::fprintf(stderr, "voicegen: flite produced nothing for \"%s\"\n", line.name.c_str());
    if (u) delete_utterance(u);
    return false;
  }
  // Segments carry their end times; each starts where the one before ended.
  std::vector<Phone> phones;
  double at = 0;
  for (cst_item* s = relation_head(utt_relation(u, "Segment")); s; s = item_next(s)) {
    phones.push_back({at, item_feat_string(s, "name")});
    at = item_feat_float(s, "end");
  }
  std::vector<float> raw = PcmToFloat(w->samples, size_t(w->num_samples));
  const int rate = w->sample_rate;
  delete_utterance(u);
  return WriteVoice(dir, line.name, raw, rate, phones, at, FromFlite);
}

// espeak-ng with its Russian voice, started once per process: after
// espeak_Terminate it cannot be started synchronously again (it hangs
// waiting for its own audio thread), and setting the voice again before each
// line would change how the later lines come out. The sample rate, or 0.
int StartEspeak() {
  static const int rate = [] {
    const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                                    espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_PHONEME_IPA);
    if (r <= 0) {
      std::fprintf(stderr, "voicegen: the espeak-ng speech library did not start (no data?)\n");
      return 0;
    }
    // "f3" is the brightest of the female variants; a slower rate makes the
    // Russian stresses easier to follow.
    if (espeak_SetVoiceByName("ru+f3") != EE_OK) {
      std::fprintf(stderr, "voicegen: espeak-ng has no Russian female voice (ru+f3)\n");
      return 0;
    }
    espeak_SetParameter(espeakRATE, 145, 0);
    espeak_SetSynthCallback(CollectSamples);
    return r;
  }();
  return rate;
}

bool SpeakRussian(const std::string& dir, const CaptionLine& line) {
  const int rate = StartEspeak();
  if (rate <= 0) return false;
  g_espeakSamples.clear();
  g_espeakPhones.clear();
  g_espeakEnd = 0;
  // The variant's breath noise comes from the C library's rand(); a fixed
  // seed per line keeps every build's files byte for byte the same.
  std::srand(1);
  espeak_ERROR e =
      espeak_Synth(line.text.c_str(), line.text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
  espeak_Synchronize();
  if (e != EE_OK || g_espeakSamples.empty()) {
    std::fprintf(stderr, "voicegen: espeak-ng produced nothing for \"%s\"\n", line.name.c_str());
    return false;
  }
  std::vector<float> raw = PcmToFloat(g_espeakSamples.data(), g_espeakSamples.size());
  const double end = g_espeakEnd > 0 ? g_espeakEnd : double(g_espeakSamples.size()) / rate;
  return WriteVoice(dir, line.name, raw, rate, g_espeakPhones, end, FromIpa);
}

// The captions table, read as every input is (a pipe or a device never blocks it).
bool ReadText(const std::string& path, std::string* out) {
  struct stat st = {};
  const FileStatus read = FileReadText(path.c_str(), 1u << 20, out, &st);
  if (read == kFileOk) return true;
  std::fprintf(stderr, "voicegen: %s: %s\n", path.c_str(), FileStatusText(read, st, errno).c_str());
  return false;
}

}  // namespace

int SpeakVoiceLines(const std::string& dir, const std::string& captions) {
  // A table that cannot be read or parsed leaves the bundle as it was. It
  // goes into the bundle first; what is spoken is read from there.
  std::string text, error;
  std::vector<CaptionLine> lines;
  if (!ReadText(captions, &text)) return kExitNoInput;
  if (!CaptionsParse(text, &lines, &error)) {
    std::fprintf(stderr, "voicegen: %s:%s\n", captions.c_str(), error.c_str());
    return kExitNoInput;
  }
  // Every line the app plays (catalog/catalog.h), in its language.
  for (const CatalogVoice& voice : kVoices)
    for (int i = 0; i < kCatalogVoiceLines; ++i) {
      const char* name = CatalogVoiceLine(voice, i);
      const CaptionLine* line = CaptionFind(lines, name);
      if (!line || line->lang != voice.lang) {
        std::fprintf(stderr, "voicegen: %s: no line '%s' in %s, which the app plays\n", captions.c_str(), name,
                     voice.lang);
        return kExitNoInput;
      }
    }
  const std::string copy = BundleOutPath(dir, "captions.txt");
  if (!WriteText(copy, text)) {
    std::fprintf(stderr, "voicegen: cannot write %s\n", copy.c_str());
    return 1;
  }
  if (!ReadText(copy, &text) || !CaptionsParse(text, &lines, &error)) {
    std::fprintf(stderr, "voicegen: %s:%s\n", copy.c_str(), error.c_str());
    return 1;
  }
  for (const CaptionLine& line : lines)
    if (!(line.lang == "en" ? SpeakEnglish(dir, line) : SpeakRussian(dir, line))) return 1;
  return 0;
}
