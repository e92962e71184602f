#include "voice_dsp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const double kPi = 3.14159265358979323846;

double ToDb(double v) { return v > 1e-12 ? 20.0 * std::log10(v) : -240.0; }

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v & 0xff));
  b.push_back(uint8_t((v >> 8) & 0xff));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xffff);
  Put16(b, v >> 16);
}
uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

// Mean square of each window of `win` samples (the last one may be shorter).
std::vector<double> WindowPower(const std::vector<float>& x, size_t win) {
  std::vector<double> p;
  for (size_t i = 0; i < x.size(); i += win) {
    size_t end = std::min(x.size(), i + win);
    double s = 0;
    for (size_t k = i; k < end; ++k) s += double(x[k]) * x[k];
    p.push_back(s / double(end - i));
  }
  return p;
}

}  // namespace

std::vector<float> PcmToFloat(const int16_t* pcm, size_t count) {
  std::vector<float> x(count);
  for (size_t i = 0; i < count; ++i) x[i] = float(pcm[i]) / 32768.0f;
  return x;
}

std::vector<int16_t> FloatToPcm(const std::vector<float>& x) {
  std::vector<int16_t> pcm(x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    double v = std::lround(double(x[i]) * 32767.0);
    pcm[i] = int16_t(std::clamp(v, -32768.0, 32767.0));
  }
  return pcm;
}

std::vector<float> Resample(const std::vector<float>& x, int fromRate, int toRate) {
  if (fromRate == toRate || x.empty() || fromRate <= 0 || toRate <= 0) return x;
  const double ratio = double(toRate) / fromRate;
  // Cut off a little below the lower Nyquist so the transition band stays clean.
  const double cutoff = 0.45 * std::min(1.0, ratio);  // cycles per input sample
  const int half = 24;                                // taps each side, in input samples
  const double scale = std::min(1.0, ratio);
  const double width = half / scale;
  size_t n = size_t(std::floor(double(x.size()) * ratio));
  std::vector<float> y(n);
  for (size_t j = 0; j < n; ++j) {
    double t = double(j) / ratio;  // position in input samples
    long lo = long(std::ceil(t - width)), hi = long(std::floor(t + width));
    double acc = 0, wsum = 0;
    for (long k = std::max(0L, lo); k <= std::min(long(x.size()) - 1, hi); ++k) {
      double d = t - double(k);
      double arg = 2.0 * cutoff * d;
      double sinc = std::fabs(arg) < 1e-9 ? 1.0 : std::sin(kPi * arg) / (kPi * arg);
      double u = d / width;                                                        // -1 .. 1
      double win = 0.42 + 0.5 * std::cos(kPi * u) + 0.08 * std::cos(2 * kPi * u);  // Blackman
      double w = 2.0 * cutoff * sinc * win;
      acc += w * x[size_t(k)];
      wsum += w;
    }
    // Normalising by the tap sum keeps DC exact even near the ends.
    y[j] = float(wsum != 0 ? acc / wsum : 0.0);
  }
  return y;
}

std::vector<float> TrimSilence(const std::vector<float>& x, int rate, double thresholdDb, double marginSeconds,
                               size_t* begin_out) {
  if (begin_out) *begin_out = 0;
  if (x.empty() || rate <= 0) return x;
  size_t win = std::max<size_t>(1, size_t(rate / 100));
  std::vector<double> p = WindowPower(x, win);
  double peak = *std::max_element(p.begin(), p.end());
  if (peak <= 0) return {};
  double limit = peak * std::pow(10.0, thresholdDb / 10.0);
  size_t first = 0, last = p.size() - 1;
  while (first < p.size() && p[first] < limit) ++first;
  while (last > first && p[last] < limit) --last;
  size_t margin = size_t(marginSeconds * rate);
  size_t begin = first * win > margin ? first * win - margin : 0;
  size_t end = std::min(x.size(), (last + 1) * win + margin);
  if (begin_out) *begin_out = begin;
  return std::vector<float>(x.begin() + long(begin), x.begin() + long(end));
}

double ActiveRmsDb(const std::vector<float>& x, int rate) {
  if (x.empty() || rate <= 0) return -240.0;
  std::vector<double> p = WindowPower(x, std::max<size_t>(1, size_t(rate / 50)));
  double peak = *std::max_element(p.begin(), p.end());
  double gate = peak * std::pow(10.0, -35.0 / 10.0);
  double sum = 0;
  size_t used = 0;
  for (double v : p)
    if (v >= gate && v > 0) {
      sum += v;
      ++used;
    }
  return used ? 10.0 * std::log10(sum / double(used)) : -240.0;
}

double PeakDb(const std::vector<float>& x) {
  double m = 0;
  for (float v : x) m = std::max(m, double(std::fabs(v)));
  return ToDb(m);
}

void NormalizeLoudness(std::vector<float>& x, int rate, double targetDb) {
  double now = ActiveRmsDb(x, rate);
  if (now < -200) return;  // silence stays silence
  double gain = std::pow(10.0, (targetDb - now) / 20.0);
  // Soft knee above 0.7: the curve meets the line at the knee with slope 1
  // and approaches 0.89 (-1 dBFS), so loud syllables are rounded, never clipped.
  const double knee = 0.7, ceiling = 0.89, room = ceiling - knee;
  for (float& v : x) {
    double s = double(v) * gain;
    double a = std::fabs(s);
    if (a > knee) a = knee + room * std::tanh((a - knee) / room);
    v = float(s < 0 ? -a : a);
  }
}

void FadeEnds(std::vector<float>& x, int rate, double seconds) {
  size_t n = std::min(x.size() / 2, size_t(seconds * rate));
  for (size_t i = 0; i < n; ++i) {
    float g = float(0.5 - 0.5 * std::cos(kPi * double(i) / double(n)));
    x[i] *= g;
    x[x.size() - 1 - i] *= g;
  }
}

std::vector<int16_t> VoiceFinish(const std::vector<float>& raw, int rate, double* cutSeconds) {
  size_t begin = 0;
  std::vector<float> x = TrimSilence(raw, rate, -40.0, 0.04, &begin);
  if (cutSeconds) *cutSeconds = rate > 0 ? double(begin) / rate : 0.0;
  x = Resample(x, rate, kVoiceRate);
  NormalizeLoudness(x, kVoiceRate, kVoiceTargetRmsDb);
  FadeEnds(x, kVoiceRate, kVoiceFadeSeconds);
  return FloatToPcm(x);
}

std::vector<uint8_t> WavEncode(const std::vector<int16_t>& pcm, int rate) {
  std::vector<uint8_t> b;
  uint32_t data = uint32_t(pcm.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  Put32(b, 36 + data);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(b, 16);
  Put16(b, 1);  // PCM
  Put16(b, 1);  // mono
  Put32(b, uint32_t(rate));
  Put32(b, uint32_t(rate) * 2);
  Put16(b, 2);
  Put16(b, 16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  Put32(b, data);
  for (int16_t s : pcm) Put16(b, uint16_t(s));
  return b;
}

bool WavWriteFile(const std::string& path, const std::vector<int16_t>& pcm, int rate) {
  std::vector<uint8_t> b = WavEncode(pcm, rate);
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

bool WavParse(const std::vector<uint8_t>& bytes, WavInfo& info, std::string& error) {
  info = WavInfo();
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    error = "not a RIFF/WAVE file";
    return false;
  }
  bool haveFmt = false;
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const uint8_t* c = bytes.data() + pos;
    uint32_t len = Get32(c + 4);
    if (len > bytes.size() - pos - 8) {
      error = "chunk runs past the end of the file";
      return false;
    }
    if (std::memcmp(c, "fmt ", 4) == 0) {
      if (len < 16) {
        error = "format chunk too short";
        return false;
      }
      info.format = int(Get16(c + 8));
      info.channels = int(Get16(c + 10));
      info.rate = int(Get32(c + 12));
      info.bitsPerSample = int(Get16(c + 22));
      haveFmt = true;
    } else if (std::memcmp(c, "data", 4) == 0) {
      if (!haveFmt) {
        error = "data before format";
        return false;
      }
      if (info.format != 1 || info.bitsPerSample != 16) {
        error = "not 16-bit PCM";
        return false;
      }
      if (len % 2 != 0) {
        error = "odd data size";
        return false;
      }
      info.samples.resize(len / 2);
      for (size_t i = 0; i < info.samples.size(); ++i) info.samples[i] = int16_t(Get16(c + 8 + 2 * i));
      return true;
    }
    pos += 8 + len + (len & 1);  // chunks are padded to even length
  }
  error = haveFmt ? "no data chunk" : "no format chunk";
  return false;
}
