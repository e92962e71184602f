// Build-time voice generator: speaks every line of the character's two voice
// sets and writes them into the bundle as <name>.wav.
//
// English is spoken by the slt voice of the flite library, Russian by
// espeak-ng with a female variant; both outputs go through VoiceFinish so the
// two languages come out equally loud, trimmed and click-free. Output is
// deterministic: same lines, same synthesisers, same bytes.
#include <espeak-ng/speak_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bundle_out.h"
#include "voice_dsp.h"
#include "voicegen.h"

extern "C" {
#include <flite/flite.h>
cst_voice* register_cmu_us_slt(const char* voxdir);
}

namespace {

struct Line {
  const char* name;  // bundle file name without ".wav"
  const char* text;
};

// What she says. Kept short (well under six seconds spoken) and warm; the
// outfit lines double as idle remarks, so none of them asks a question that
// needs an answer right away.
const Line kEnglish[] = {
    {"idle", "It's so nice just being here with you. What shall we do next?"},
    {"login", "Hi there! I'm so glad you came to see me again."},
    {"touch", "Oh! That tickles! Hello to you too."},
    {"shake", "Whoa! Easy there, you're making me dizzy!"},
    {"setup", "Ooh, something new. Thank you, I like it!"},
    {"beach", "Sunshine, water, and my swimsuit. A perfect day for the pool!"},
    {"casual", "Comfy clothes and a cosy room. Just how I like to relax."},
    {"school", "Class has started. Shall we study together?"},
    {"business", "All dressed up for the office. Let's get some work done."},
};

const Line kRussian[] = {
    {"r_idle", "Мне так хорошо рядом с тобой. Чем займёмся дальше?"},
    {"r_login", "Привет! Как я рада снова тебя видеть!"},
    {"r_touch", "Ой! Щекотно! И тебе привет."},
    {"r_shake", "Ой-ой! Потише, у меня голова кружится!"},
    {"r_setup", "О, что-то новенькое! Спасибо, мне нравится."},
    {"r_beach", "Солнце, вода и купальник. Отличный день для бассейна!"},
    {"r_casual", "Удобная одежда и уютная комната. Так я люблю отдыхать."},
    {"r_school", "Урок начинается. Давай позанимаемся вместе?"},
    {"r_business", "Я готова к работе в офисе. Давай возьмёмся за дела!"},
};

std::vector<short> g_espeakSamples;

int CollectSamples(short* wav, int count, espeak_EVENT*) {
  if (wav && count > 0) g_espeakSamples.insert(g_espeakSamples.end(), wav, wav + count);
  return 0;  // go on
}

bool WriteVoice(const std::string& dir, const char* name, const std::vector<float>& raw, int rate) {
  std::vector<int16_t> pcm = VoiceFinish(raw, rate);
  std::vector<float> check = PcmToFloat(pcm.data(), pcm.size());
  std::string path = BundleOutPath(dir, std::string(name) + ".wav");
  if (pcm.empty() || !WavWriteFile(path, pcm, kVoiceRate)) {
    std::fprintf(stderr, "voicegen: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("voicegen: %-11s %5.2f s  rms %6.1f dBFS  peak %5.1f dBFS\n", name,
              double(pcm.size()) / kVoiceRate, ActiveRmsDb(check, kVoiceRate), PeakDb(check));
  return true;
}

bool SpeakEnglish(const std::string& dir) {
  if (flite_init() != 0) {
    std::fprintf(stderr, "voicegen: the flite speech library did not start\n");
    return false;
  }
  cst_voice* voice = register_cmu_us_slt(nullptr);
  if (!voice) {
    std::fprintf(stderr, "voicegen: flite's slt voice is missing\n");
    return false;
  }
  for (const Line& line : kEnglish) {
    cst_wave* w = flite_text_to_wave(line.text, voice);
    if (!w || w->num_samples <= 0) {
      std::fprintf(stderr, "voicegen: flite produced nothing for \"%s\"\n", line.name);
      if (w) delete_wave(w);
      return false;
    }
    std::vector<float> raw = PcmToFloat(w->samples, size_t(w->num_samples));
    int rate = w->sample_rate;
    delete_wave(w);
    if (!WriteVoice(dir, line.name, raw, rate)) return false;
  }
  return true;
}

bool SpeakRussian(const std::string& dir) {
  // Once per process: after espeak_Terminate the library cannot be started
  // synchronously again (it hangs waiting for its own audio thread).
  static const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
  if (rate <= 0) {
    std::fprintf(stderr, "voicegen: the espeak-ng speech library did not start (no data?)\n");
    return false;
  }
  // "f3" is the brightest of the female variants; a slower rate makes the
  // Russian stresses easier to follow.
  if (espeak_SetVoiceByName("ru+f3") != EE_OK) {
    std::fprintf(stderr, "voicegen: espeak-ng has no Russian female voice (ru+f3)\n");
    return false;
  }
  espeak_SetParameter(espeakRATE, 145, 0);
  espeak_SetSynthCallback(CollectSamples);
  bool ok = true;
  for (const Line& line : kRussian) {
    g_espeakSamples.clear();
    // The variant's breath noise comes from the C library's rand(); a fixed
    // seed per line keeps every build's files byte for byte the same.
    std::srand(1);
    espeak_ERROR e = espeak_Synth(line.text, std::strlen(line.text) + 1, 0, POS_CHARACTER, 0,
                                  espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Synchronize();
    if (e != EE_OK || g_espeakSamples.empty()) {
      std::fprintf(stderr, "voicegen: espeak-ng produced nothing for \"%s\"\n", line.name);
      ok = false;
      break;
    }
    std::vector<float> raw = PcmToFloat(g_espeakSamples.data(), g_espeakSamples.size());
    if (!WriteVoice(dir, line.name, raw, rate)) {
      ok = false;
      break;
    }
  }
  return ok;
}

}  // namespace

bool SpeakVoiceLines(const std::string& dir) { return SpeakEnglish(dir) && SpeakRussian(dir); }
