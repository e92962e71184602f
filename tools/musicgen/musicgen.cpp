// The dance loop: kick, clap and hats, a bass line on the off-beats, chord
// stabs over a soft pad, and a plucked tune over four bars of C, G, A minor
// and F. Every sound is a formula of time (sines, a pitch-swept sine, noise
// from a fixed-seed generator through one-pole filters); notes that ring past
// the end of the loop go on at its start, so it loops seamlessly.
#include "musicgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

#include "bundle_out.h"
#include "rig/girl_clips.h"
#include "voice_dsp.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTickSeconds = 1.0 / 30.0;  // one frame of her timeline
constexpr double kBeat = kDanceBeatFrames * kTickSeconds;
constexpr int kBeats = kDanceBeatsPerPass * kMusicPasses;
// std::lround is not constexpr here; the product is positive, so adding a
// half and truncating rounds it to nearest.
// NOLINTNEXTLINE(bugprone-incorrect-roundings)
constexpr int kLength = static_cast<int>(kDancePassFrames * kMusicPasses * kTickSeconds * kMusicRate + 0.5);

double Hz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// A deterministic noise source: the same loop on every machine.
struct Noise {
  uint32_t s = 0x2545F491u;
  double Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s / 2147483648.0 - 1.0;
  }
};

struct Mix {
  std::vector<double> out = std::vector<double>(kLength, 0.0);
  // Adds `seconds` of voice(t) starting at `at`, wrapping round the loop.
  void Add(double at, double seconds, double gain, const std::function<double(double)>& voice) {
    const int first = static_cast<int>(std::lround(at * kMusicRate));
    const int n = static_cast<int>(seconds * kMusicRate);
    for (int i = 0; i < n; ++i) {
      const int k = ((first + i) % kLength + kLength) % kLength;
      out[k] += gain * voice(static_cast<double>(i) / kMusicRate);
    }
  }
};

// Her steps land half a beat after each beat line (girl_clips.h).
double BeatTime(double beat) { return (beat + 0.5) * kBeat; }

// A sine swept down from about 160 Hz to 48 Hz, with a click on top.
double Kick(double t) {
  const double phase = 2 * kPi * (48.0 * t + 110.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
  return std::sin(phase) * std::exp(-t / 0.16) + 0.3 * std::exp(-t / 0.004);
}

// Noise bursts, coloured by a one-pole high-pass and low-pass.
std::function<double(double)> Hiss(double decay, double highpass, double lowpass, uint32_t seed, bool clap) {
  auto noise = std::make_shared<Noise>();
  noise->s ^= seed;
  auto hp = std::make_shared<double>(0.0), lp = std::make_shared<double>(0.0), last = std::make_shared<double>(0.0);
  const double ah = std::exp(-2 * kPi * highpass / kMusicRate), al = 1.0 - std::exp(-2 * kPi * lowpass / kMusicRate);
  return [=](double t) {
    const double x = noise->Next();
    *hp = ah * (*hp + x - *last);
    *last = x;
    *lp += al * (*hp - *lp);
    double env = std::exp(-t / decay);
    if (clap) env = t < 0.03 ? std::exp(-std::fmod(t, 0.01) / 0.004) : std::exp(-(t - 0.03) / decay);
    return *lp * env;
  };
}

// A plucked or struck tone: a few harmonics, each dying away faster.
std::function<double(double)> Pluck(double hz, double decay, double bright) {
  return [=](double t) {
    double v = 0;
    for (int h = 1; h <= 4; ++h)
      v += std::pow(bright, h - 1) * std::sin(2 * kPi * hz * h * t) * std::exp(-t * h / decay);
    return v * std::min(1.0, t / 0.003);
  };
}

std::function<double(double)> Bass(double hz) {
  return [=](double t) {
    const double s = std::sin(2 * kPi * hz * t) + 0.35 * std::sin(4 * kPi * hz * t) + 0.12 * std::sin(6 * kPi * hz * t);
    return std::tanh(1.4 * s) * std::min(1.0, t / 0.005) * std::exp(-t / 0.16);
  };
}

// Slightly detuned soft tones swelling in and out over a bar.
std::function<double(double)> Pad(double hz, double length) {
  return [=](double t) {
    const double env = std::min(1.0, t / 0.25) * std::min(1.0, (length - t) / 0.3);
    return env *
           (std::sin(2 * kPi * hz * 0.997 * t) + std::sin(2 * kPi * hz * 1.003 * t) + 0.3 * std::sin(4 * kPi * hz * t));
  };
}

}  // namespace

std::vector<int16_t> MakeDanceMusic() {
  Mix mix;
  // Four bars: C, G, A minor, F. Chord tones as MIDI notes, bass roots below.
  const int chords[4][3] = {{60, 64, 67}, {59, 62, 67}, {57, 60, 64}, {57, 60, 65}};
  const int roots[4] = {36, 43, 45, 41};
  // The tune, eighth notes a bar (-1 rests).
  const int tune[4][8] = {{76, -1, 79, -1, 81, 79, 76, -1},
                          {74, -1, 79, -1, 83, 81, 79, -1},
                          {76, -1, 81, -1, 84, 81, 79, 76},
                          {77, -1, 81, -1, 84, -1, 81, 79}};
  for (int beat = 0; beat < kBeats; ++beat) {
    const int bar = beat / 4, inBar = beat % 4;
    const double on = BeatTime(beat), off = BeatTime(beat + 0.5);
    mix.Add(on, 0.45, 0.95, Kick);
    if (inBar == 1 || inBar == 3) mix.Add(on, 0.25, 0.55, Hiss(0.09, 900, 4500, 7u * beat + 1, true));
    mix.Add(off, 0.06, 0.30, Hiss(0.018, 6000, 11000, 13u * beat + 5, false));
    mix.Add(BeatTime(beat + 0.25), 0.04, 0.10, Hiss(0.010, 7000, 11000, 17u * beat + 3, false));
    mix.Add(BeatTime(beat + 0.75), 0.04, 0.10, Hiss(0.010, 7000, 11000, 19u * beat + 9, false));
    mix.Add(off, 0.22, 0.30, Bass(Hz(roots[bar])));
    for (int n : chords[bar]) mix.Add(off, 0.25, 0.06, Pluck(Hz(n + 12), 0.12, 0.5));
    for (int half = 0; half < 2; ++half) {
      const int note = tune[bar][inBar * 2 + half];
      if (note >= 0) mix.Add(BeatTime(beat + 0.5 * half), 0.5, 0.16, Pluck(Hz(note), 0.22, 0.35));
    }
    if (inBar == 0)
      for (int n : chords[bar]) mix.Add(on, 4 * kBeat, 0.035, Pad(Hz(n), 4 * kBeat));
  }
  // Level: about -16 dBFS loud, peaks bent softly under full scale.
  double sum = 0;
  for (double v : mix.out) sum += v * v;
  const double rms = std::sqrt(sum / kLength), gain = rms > 0 ? std::pow(10.0, -16.0 / 20.0) / rms : 1.0;
  std::vector<int16_t> pcm(kLength);
  for (int i = 0; i < kLength; ++i) {
    const double v = 0.97 * std::tanh(mix.out[i] * gain / 0.97);
    pcm[i] = static_cast<int16_t>(std::lround(v * 32767.0));
  }
  return pcm;
}

bool WriteDanceMusic(const std::string& dir) {
  const std::string path = BundleOutPath(dir, "dance.wav");
  if (!WavWriteFile(path, MakeDanceMusic(), kMusicRate)) {
    std::fprintf(stderr, "musicgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}
