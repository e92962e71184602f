// Sound shaping for the voice lines the build synthesises, and the WAV
// writer/reader the bundle's voices go through.
//
// The voice generator turns each synthesiser's raw output into a bundle voice
// with VoiceFinish: trimmed, resampled, levelled to one loudness and faded at
// both ends, so that lines of two different synthesisers sound equally loud
// and start and stop without a click. The content tests read the result back
// with WavParse. Samples are floats in [-1, 1] while being shaped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

const int kVoiceRate = 22050;            // every bundle voice
const double kVoiceTargetRmsDb = -20.0;  // loudness of the spoken part, dBFS
const double kVoiceFadeSeconds = 0.012;

// 16-bit samples to floats and back (rounded, clipped).
std::vector<float> PcmToFloat(const int16_t* pcm, size_t count);
std::vector<int16_t> FloatToPcm(const std::vector<float>& x);

// Band-limited resampling (windowed sinc); same rate returns the input.
std::vector<float> Resample(const std::vector<float>& x, int fromRate, int toRate);

// Cuts leading and trailing quiet (below `thresholdDb` relative to the peak,
// judged in 10 ms windows), keeping `marginSeconds` of it on each side.
// `begin` receives the index of the first sample kept.
std::vector<float> TrimSilence(const std::vector<float>& x, int rate, double thresholdDb = -40.0,
                               double marginSeconds = 0.04, size_t* begin = nullptr);

// RMS in dBFS over the 20 ms windows that are not silent (within 35 dB of the
// loudest window): the loudness of the speech, not of the pauses between words.
double ActiveRmsDb(const std::vector<float>& x, int rate);
double PeakDb(const std::vector<float>& x);

// Scales to `targetDb` active RMS; peaks above -1 dBFS are bent down softly.
void NormalizeLoudness(std::vector<float>& x, int rate, double targetDb);
// Raised-cosine fade over `seconds` at both ends.
void FadeEnds(std::vector<float>& x, int rate, double seconds);

// The whole chain: trim, resample to kVoiceRate, level, fade. `cutSeconds`
// receives how much was trimmed off the start (to move timings along).
std::vector<int16_t> VoiceFinish(const std::vector<float>& raw, int rate, double* cutSeconds = nullptr);

// A canonical 44-byte-header RIFF/WAVE file: PCM, 16-bit, mono.
std::vector<uint8_t> WavEncode(const std::vector<int16_t>& pcm, int rate);
bool WavWriteFile(const std::string& path, const std::vector<int16_t>& pcm, int rate);

struct WavInfo {
  int format = 0;  // 1 = PCM
  int channels = 0;
  int rate = 0;
  int bitsPerSample = 0;
  std::vector<int16_t> samples;  // 16-bit PCM only
};
// Walks the RIFF chunks; false with a reason for anything it cannot trust
// (short file, chunk past the end, not PCM 16-bit, odd data size).
bool WavParse(const std::vector<uint8_t>& bytes, WavInfo& info, std::string& error);
