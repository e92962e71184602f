// The voice lines in the bundle, and the shaping chain that made them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "content_files.h"
#include "voice_dsp.h"

namespace {

// Every line the voice scheduler may ask for, in both languages.
std::vector<std::string> AllVoiceNames() {
  std::vector<std::string> names;
  for (const CatalogVoice& v : kVoices)
    for (int i = 0; i < kCatalogVoiceLines; ++i) names.push_back(CatalogVoiceLine(v, i));
  return names;
}

bool LoadVoice(const std::string& name, WavInfo& info) {
  std::vector<uint8_t> bytes;
  std::string error;
  return ReadBytes(BundleFile(name + ".wav"), bytes) && WavParse(bytes, info, error);
}

std::vector<float> Sine(double hz, int rate, double seconds, double amp) {
  std::vector<float> x(size_t(seconds * rate));
  for (size_t i = 0; i < x.size(); ++i) x[i] = float(amp * std::sin(2 * M_PI * hz * double(i) / rate));
  return x;
}

int ZeroCrossings(const std::vector<float>& x, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; ++i)
    if ((x[i - 1] < 0) != (x[i] < 0)) ++n;
  return n;
}

}  // namespace

TEST(BundleVoices, EveryLineIsShortMonoPcmAtTheBundleRate) {
  for (const std::string& name : AllVoiceNames()) {
    SCOPED_TRACE(name);
    WavInfo w;
    ASSERT_TRUE(LoadVoice(name, w));
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.rate, 22050);
    EXPECT_EQ(w.bitsPerSample, 16);
    double seconds = double(w.samples.size()) / w.rate;
    EXPECT_GT(seconds, 1.0) << "too short to be a spoken line";
    EXPECT_LT(seconds, 6.0);
  }
}

TEST(BundleVoices, LinesAreEquallyLoudUnclippedAndStartAndEndInSilence) {
  for (const std::string& name : AllVoiceNames()) {
    SCOPED_TRACE(name);
    WavInfo w;
    ASSERT_TRUE(LoadVoice(name, w));
    std::vector<float> x = PcmToFloat(w.samples.data(), w.samples.size());
    EXPECT_NEAR(ActiveRmsDb(x, w.rate), kVoiceTargetRmsDb, 1.0);
    EXPECT_LT(PeakDb(x), -0.9);
    // Faded: the very first and last samples are (almost) silent, no click.
    EXPECT_LT(std::abs(w.samples.front()), 40);
    EXPECT_LT(std::abs(w.samples.back()), 40);
    // Trimmed: no more than a fifth of a second of quiet before the speech starts.
    size_t first = 0;
    while (first < x.size() && std::fabs(x[first]) < 0.02f) ++first;
    EXPECT_LT(double(first) / w.rate, 0.2);
  }
}

TEST(BundleVoices, EachLineIsItsOwnRecording) {
  std::vector<std::vector<int16_t>> seen;
  for (const std::string& name : AllVoiceNames()) {
    WavInfo w;
    ASSERT_TRUE(LoadVoice(name, w)) << name;
    for (const auto& other : seen) EXPECT_NE(other, w.samples) << name << " repeats another line";
    seen.push_back(w.samples);
  }
}

TEST(VoiceShaping, ResamplingKeepsPitchAndLevel) {
  std::vector<float> x = Sine(440, 16000, 1.0, 0.5);
  std::vector<float> y = Resample(x, 16000, 22050);
  ASSERT_NEAR(double(y.size()), 22050, 2);
  // 440 Hz: 880 zero crossings a second, measured away from the ends.
  EXPECT_NEAR(ZeroCrossings(y, 2205, 22050 - 2205), 880 * 0.8, 4);
  float peak = 0;
  for (size_t i = 2205; i < y.size() - 2205; ++i) peak = std::max(peak, std::fabs(y[i]));
  EXPECT_NEAR(peak, 0.5f, 0.01f);
  EXPECT_EQ(Resample(x, 22050, 22050), x);
}

TEST(VoiceShaping, ResamplingDownRemovesWhatTheNewRateCannotHold) {
  // 9 kHz fits 22050 Hz but not 11025 Hz; it must vanish instead of folding back.
  std::vector<float> y = Resample(Sine(9000, 22050, 0.5, 0.5), 22050, 11025);
  double sum = 0;
  for (size_t i = 500; i < y.size() - 500; ++i) sum += double(y[i]) * y[i];
  EXPECT_LT(std::sqrt(sum / double(y.size() - 1000)), 0.01);
}

TEST(WavFiles, DamagedFilesAreRefusedWithAReason) {
  std::vector<uint8_t> good = WavEncode({1, 2, 3, 4}, 22050);
  WavInfo w;
  std::string error;
  std::vector<uint8_t> cut(good.begin(), good.end() - 3);  // data chunk runs past the end
  EXPECT_FALSE(WavParse(cut, w, error));
  EXPECT_FALSE(error.empty());
  std::vector<uint8_t> notRiff = good;
  notRiff[0] = 'X';
  EXPECT_FALSE(WavParse(notRiff, w, error));
  std::vector<uint8_t> eightBit = good;
  eightBit[34] = 8;  // bits per sample
  EXPECT_FALSE(WavParse(eightBit, w, error));
  std::vector<uint8_t> hugeChunk = good;
  hugeChunk[40] = hugeChunk[41] = hugeChunk[42] = hugeChunk[43] = 0xff;
  EXPECT_FALSE(WavParse(hugeChunk, w, error));
  EXPECT_FALSE(WavParse(std::vector<uint8_t>(good.begin(), good.begin() + 8), w, error));
}
