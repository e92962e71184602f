#include "sound/sound_service.h"

#include <SDL.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "files/files.h"

// ---------------------------------------------------------------------------
// The system log

void SoundLog(const char* fmt, ...) {
  static bool opened = false;
  if (!opened) {
    openlog("ovanta", LOG_PID, LOG_USER);
    opened = true;
  }
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string line(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(&line[0], line.size() + 1, fmt, ap2);
  va_end(ap2);
  while (!line.empty() && line.back() == '\n') line.pop_back();
  syslog(LOG_NOTICE, "%s", line.c_str());
  std::fprintf(stderr, "%s\n", line.c_str());
}

// ---------------------------------------------------------------------------
// WAV decoding. Every read goes through these helpers with an explicit
// offset check, so a lying size field can only produce an error.

static uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
static uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Decoded sample count beyond which a file is no "short sound" (128 MiB of
// floats), and the longest duration accepted.
static const uint64_t kMaxSamples = 1u << 25;
static const uint64_t kMaxSeconds = 600;

static float DecodeSample(const uint8_t* p, int tag, int bits) {
  if (tag == 3) {
    if (bits == 32) {
      float f;
      uint32_t u = Le32(p);
      std::memcpy(&f, &u, 4);
      return std::isfinite(f) ? f : 0.0f;
    }
    uint64_t u = static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &u, 8);
    return std::isfinite(d) ? static_cast<float>(d) : 0.0f;
  }
  switch (bits) {
    case 8:
      return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
      return static_cast<int16_t>(Le16(p)) / 32768.0f;
    case 24: {
      int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                       static_cast<uint32_t>(p[2]) << 24);
      return static_cast<float>(v / 2147483648.0);
    }
    default:
      return static_cast<float>(static_cast<int32_t>(Le32(p)) / 2147483648.0);
  }
}

SoundStatus SoundDecodeWAV(const uint8_t* data, size_t size, SoundPCM* out) {
  *out = SoundPCM();
  if (!data || size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
    return kSoundErrNotWave;
  // The RIFF size may understate the file (trailing junk is ignored) but a
  // RIFF size beyond the file means the file was cut short.
  const uint64_t riff_end = static_cast<uint64_t>(Le32(data + 4)) + 8;
  if (riff_end < 12 || riff_end > size) return kSoundErrMalformed;
  const size_t end = static_cast<size_t>(riff_end);

  bool have_fmt = false;
  int tag = 0, bits = 0;
  uint16_t channels = 0, block_align = 0;
  uint32_t rate = 0;
  const uint8_t* pcm = nullptr;
  size_t pcm_size = 0;
  size_t pos = 12;
  while (pos + 8 <= end) {
    const uint8_t* chunk = data + pos;
    const size_t csize = Le32(chunk + 4);
    if (csize > end - pos - 8) return kSoundErrMalformed;
    const uint8_t* body = chunk + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !have_fmt) {
      if (csize < 16) return kSoundErrMalformed;
      tag = Le16(body);
      channels = Le16(body + 2);
      rate = Le32(body + 4);
      block_align = Le16(body + 12);
      bits = Le16(body + 14);
      if (tag == 0xFFFE) {  // extensible: the real tag opens the sub-format GUID
        if (csize < 40 || Le16(body + 16) < 22) return kSoundErrMalformed;
        tag = Le16(body + 24);
      }
      have_fmt = true;
    } else if (std::memcmp(chunk, "data", 4) == 0 && !pcm) {
      if (!have_fmt) return kSoundErrMalformed;
      pcm = body;
      pcm_size = csize;
    }
    pos += 8 + csize + (csize & 1);
  }
  if (!have_fmt || !pcm) return kSoundErrMalformed;
  if (channels == 0 || rate == 0) return kSoundErrMalformed;
  const bool int_ok = tag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  const bool float_ok = tag == 3 && (bits == 32 || bits == 64);
  if (!int_ok && !float_ok) return kSoundErrUnsupported;
  if (channels > kSoundMaxChannels || rate > kSoundMaxRate) return kSoundErrUnsupported;
  if (block_align != channels * (bits / 8)) return kSoundErrMalformed;

  const uint64_t frames = pcm_size / block_align;
  if (frames * channels > kMaxSamples || frames > kMaxSeconds * rate) return kSoundErrTooLarge;
  float* samples = static_cast<float*>(std::malloc((frames * channels + 1) * sizeof(float)));
  if (!samples) return kSoundErrNoService;
  const int step = bits / 8;
  for (uint64_t i = 0; i < frames * channels; ++i) samples[i] = DecodeSample(pcm + i * step, tag, bits);
  out->samples = samples;
  out->frames = static_cast<uint32_t>(frames);
  out->channels = channels;
  out->rate = rate;
  return kSoundOK;
}

SoundStatus SoundLoadWAV(const char* path, SoundPCM* out) {
  *out = SoundPCM();
  if (!path) return kSoundErrOpen;
  char* bytes = nullptr;
  size_t size = 0;
  const FileStatus read = FileReadAll(path, kSoundMaxFileBytes, &bytes, &size);
  if (read == kFileTooLarge) return kSoundErrTooLarge;
  if (read != kFileOk) return kSoundErrOpen;
  const SoundStatus status = SoundDecodeWAV(reinterpret_cast<const uint8_t*>(bytes), size, out);
  std::free(bytes);
  return status;
}

std::string SoundProblem(const char* path, int32_t status) {
  struct stat st {};
  switch (status) {
    case kSoundOK:
      return "";
    case kSoundErrOpen: {
      if (!path) return "no file named";
      FileStatus read = kFileReadFailed;
      const int fd = FileOpenRegular(path, &st, &read);
      if (fd >= 0) ::close(fd);
      return fd >= 0 ? "cannot be read" : FileStatusText(read, st, errno);
    }
    case kSoundErrNotWave:
      return path && stat(path, &st) == 0 && st.st_size == 0 ? "empty" : "not a RIFF/WAVE file";
    case kSoundErrMalformed:
      return "damaged: its chunk sizes or header fields do not add up";
    case kSoundErrUnsupported:
      return "samples of a kind not played (PCM integers or floats only)";
    case kSoundErrTooLarge:
      return "longer or larger than a short sound may be";
    default:
      return "no memory or sound handles left";
  }
}

float* SoundResampleStereo(const SoundPCM& pcm, uint32_t rate, uint32_t* frames) {
  *frames = 0;
  if (!pcm.samples || pcm.frames == 0 || pcm.rate == 0 || pcm.channels == 0 || rate == 0) return nullptr;
  const uint64_t n = (static_cast<uint64_t>(pcm.frames) * rate + pcm.rate - 1) / pcm.rate;
  if (n > UINT32_MAX / 2) return nullptr;
  float* mix = static_cast<float*>(std::malloc((n * 2 + 2) * sizeof(float)));
  if (!mix) return nullptr;
  const double ratio = static_cast<double>(pcm.rate) / rate;
  const int right = pcm.channels > 1 ? 1 : 0;
  for (uint64_t i = 0; i < n; ++i) {
    const double src = static_cast<double>(i) * ratio;
    uint64_t a = static_cast<uint64_t>(src);
    if (a >= pcm.frames) a = pcm.frames - 1;
    const uint64_t b = a + 1 < pcm.frames ? a + 1 : a;
    const float t = static_cast<float>(src - static_cast<double>(a));
    for (int c = 0; c < 2; ++c) {
      const int ch = c == 0 ? 0 : right;
      const float x = pcm.samples[a * pcm.channels + ch];
      const float y = pcm.samples[b * pcm.channels + ch];
      mix[2 * i + c] = x + (y - x) * t;
    }
  }
  *frames = static_cast<uint32_t>(n);
  return mix;
}

void SoundPCMFree(SoundPCM* pcm) {
  if (!pcm) return;
  std::free(pcm->samples);
  *pcm = SoundPCM();
}

// ---------------------------------------------------------------------------
// The service

namespace {

// kLater: SDL with the device not open yet, counting ticks meanwhile.
enum Backend { kTicks, kSDL, kSilent, kLater };

struct Sound {
  float* mix = nullptr;  // SDL: stereo floats at the device rate
  uint32_t mix_frames = 0;
  SoundPCM pcm;  // made before the device opened: mixed at the first play after
  int duration_ticks = 1;
  double seconds = 0;  // the sound's length
  float gain = 1;
  SystemSoundCompletionProc proc = nullptr;
  void* client_data = nullptr;
};

// One play in progress. The audio thread reads `mix`/`frames`/`loop` and the
// gains and writes `pos`/`ended`/`level`, always under the device lock.
struct Voice {
  SystemSoundID id;
  const float* mix;
  uint32_t frames;
  uint32_t pos;
  bool ended;
  long long end_tick;
  bool loop = false;
  bool stopped = false;  // ending without its completion
  float gain = 1;        // where the level glides to
  float level = 1;       // the gain in force, per sample
  long long start_tick = 0;
  double offset = 0;  // seconds into the sound at start_tick
};

Backend g_backend = kTicks;
SDL_AudioDeviceID g_device = 0;
// How audio was brought up: 0 not at all, 1 as an SDL subsystem, 2 by
// naming a driver (which bypasses the subsystem count).
int g_sdl_audio = 0;
int g_device_rate = 48000;
std::map<SystemSoundID, Sound> g_sounds;
std::vector<Voice> g_voices;
SystemSoundID g_next_id = 1;
long long g_clock = 0;
float g_master = 1, g_master_level = 1;  // the volume: target and level in force
// How far a gain glides per sample: from 0 to 1 in about 10 ms.
const float kGlide = 1.0f / 480.0f;

float Glide(float level, float target) {
  if (level < target) return level + kGlide < target ? level + kGlide : target;
  return level - kGlide > target ? level - kGlide : target;
}

struct DeviceLock {
  DeviceLock() {
    if (g_device) SDL_LockAudioDevice(g_device);
  }
  ~DeviceLock() {
    if (g_device) SDL_UnlockAudioDevice(g_device);
  }
};

void MixCallback(void*, Uint8* stream, int len) {
  float* out = reinterpret_cast<float*>(stream);
  const int frames = len / static_cast<int>(2 * sizeof(float));
  std::memset(stream, 0, static_cast<size_t>(len));
  for (Voice& v : g_voices) {
    if (v.ended) continue;
    const float target = v.stopped ? 0.0f : v.gain;
    for (int i = 0; i < frames && v.pos < v.frames; ++i) {
      v.level = Glide(v.level, target);
      out[2 * i] += v.level * v.mix[2 * v.pos];
      out[2 * i + 1] += v.level * v.mix[2 * v.pos + 1];
      if (++v.pos >= v.frames && v.loop) v.pos = 0;
    }
    if (v.pos >= v.frames || (v.stopped && v.level == 0.0f)) v.ended = true;
  }
  for (int i = 0; i < frames; ++i) {
    g_master_level = Glide(g_master_level, g_master);
    for (int c = 0; c < 2; ++c) {
      const float x = out[2 * i + c] * g_master_level;
      out[2 * i + c] = x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
    }
  }
}

void CloseDevice() {
  if (g_device) {
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
  }
  if (g_sdl_audio == 1) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (g_sdl_audio == 2) SDL_AudioQuit();
  g_sdl_audio = 0;
}

bool OpenDevice(const char* driver) {
  if (driver) {
    if (SDL_AudioInit(driver) != 0) return false;
    g_sdl_audio = 2;
  } else {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    g_sdl_audio = 1;
  }
  SDL_AudioSpec want, have;
  SDL_zero(want);
  want.freq = 48000;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = MixCallback;
  g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!g_device) {
    CloseDevice();
    return false;
  }
  g_device_rate = have.freq;
  SDL_PauseAudioDevice(g_device, 0);
  return true;
}

// The sound as the device mixes it, made from the samples kept since it was
// made before the device opened. False when out of memory.
bool Mix(Sound& s) {
  if (s.mix || !s.pcm.samples) return true;
  s.mix = SoundResampleStereo(s.pcm, static_cast<uint32_t>(g_device_rate), &s.mix_frames);
  if (!s.mix) return false;
  SoundPCMFree(&s.pcm);
  return true;
}

void Free(Sound& s) {
  std::free(s.mix);
  SoundPCMFree(&s.pcm);
}

}  // namespace

void SoundServiceShutdown() {
  {
    DeviceLock lock;
    g_voices.clear();
  }
  CloseDevice();
  for (auto& kv : g_sounds) Free(kv.second);
  g_sounds.clear();
  g_backend = kTicks;
  g_clock = 0;
  g_master = g_master_level = 1;
}

namespace {
// The default device, else the dummy driver (one message).
bool OpenAnyDevice() {
  if (OpenDevice(nullptr)) return true;
  SoundLog("Sound: no audio device (%s); playing to the dummy audio driver", SDL_GetError());
  return OpenDevice("dummy");
}
}  // namespace

bool SoundServiceUseSDL() {
  SoundServiceShutdown();
  g_backend = OpenAnyDevice() ? kSDL : kSilent;
  return g_backend == kSDL;
}

void SoundServiceUseSDLLater() {
  SoundServiceShutdown();
  g_backend = kLater;
}

bool SoundServiceOpenSDL() {
  if (g_backend != kLater) return g_backend == kSDL;
  if (!OpenAnyDevice()) return false;
  DeviceLock lock;
  g_backend = kSDL;
  // Plays in progress go on from where the ticks say they are.
  for (Voice& v : g_voices) {
    auto it = g_sounds.find(v.id);
    if (it == g_sounds.end() || !Mix(it->second)) {
      v.ended = true;
      continue;
    }
    const Sound& s = it->second;
    double at = v.offset + static_cast<double>(g_clock - v.start_tick) / 30.0;
    if (v.loop && s.seconds > 0) at = std::fmod(at, s.seconds);
    v.mix = s.mix;
    v.frames = s.mix_frames;
    v.pos = static_cast<uint32_t>(std::min<double>(at * g_device_rate, v.frames));
    if (v.pos >= v.frames && !(v.loop && v.frames)) v.ended = true;
    if (v.loop && v.pos >= v.frames) v.pos = 0;
  }
  return true;
}

void SoundServiceUseTicks() {
  SoundServiceShutdown();
  g_backend = kTicks;
}

int32_t SoundServiceCreate(const char* path, SystemSoundID* out) {
  if (out) *out = 0;
  if (!out) return kSoundErrNoService;
  SoundPCM pcm;
  const SoundStatus st = SoundLoadWAV(path, &pcm);
  if (st != kSoundOK) return st;
  Sound s;
  const uint64_t ticks = (static_cast<uint64_t>(pcm.frames) * 30 + pcm.rate - 1) / pcm.rate;
  s.duration_ticks = ticks < 1 ? 1 : static_cast<int>(ticks);
  s.seconds = static_cast<double>(pcm.frames) / pcm.rate;
  if (g_backend == kLater && pcm.frames > 0) {
    s.pcm = pcm;  // mixed once the device is open and it plays
  } else {
    if (g_backend == kSDL && pcm.frames > 0) {
      s.mix = SoundResampleStereo(pcm, static_cast<uint32_t>(g_device_rate), &s.mix_frames);
      if (!s.mix) {
        SoundPCMFree(&pcm);
        return kSoundErrNoService;
      }
    }
    SoundPCMFree(&pcm);
  }
  SystemSoundID id = g_next_id++;
  if (id == 0) id = g_next_id++;
  g_sounds[id] = s;
  *out = id;
  return kSoundOK;
}

namespace {
void StartVoice(SystemSoundID sound, bool loop, double seconds) {
  auto it = g_sounds.find(sound);
  if (it == g_sounds.end()) return;
  // Out of memory for the mix: the play ends at once, as without a device.
  const bool mixed = g_backend != kSDL || Mix(it->second);
  const Sound& s = it->second;
  Voice v{sound, s.mix, s.mix_frames, 0, g_backend == kSilent || !mixed, g_clock + s.duration_ticks};
  v.loop = loop;
  v.gain = v.level = s.gain;
  v.start_tick = g_clock;
  if (loop) {
    v.end_tick = LLONG_MAX;
    v.offset = s.seconds > 0 ? std::fmod(std::max(0.0, seconds), s.seconds) : 0.0;
    v.pos = static_cast<uint32_t>(std::min<double>(v.offset * g_device_rate, v.frames ? v.frames - 1 : 0));
  }
  DeviceLock lock;
  for (Voice& old : g_voices) {
    if (old.id == sound) {
      // Starting again from another place: in from silence rather than with a jump.
      if (!old.ended && g_backend == kSDL) v.level = 0;
      old = v;
      return;
    }
  }
  g_voices.push_back(v);
}
}  // namespace

void SoundServicePlay(SystemSoundID sound) { StartVoice(sound, false, 0); }

void SoundServicePlayLoop(SystemSoundID sound, double seconds) { StartVoice(sound, true, seconds); }

void SoundServiceStop(SystemSoundID sound) {
  DeviceLock lock;
  for (size_t i = 0; i < g_voices.size();) {
    if (g_voices[i].id == sound && (g_backend != kSDL || g_voices[i].ended)) {
      g_voices.erase(g_voices.begin() + static_cast<long>(i));
      continue;
    }
    if (g_voices[i].id == sound) g_voices[i].stopped = true;
    ++i;
  }
}

double SoundServicePosition(SystemSoundID sound) {
  auto it = g_sounds.find(sound);
  if (it == g_sounds.end()) return -1;
  DeviceLock lock;
  for (const Voice& v : g_voices) {
    if (v.id != sound || v.stopped) continue;
    double at = g_backend == kSDL ? static_cast<double>(v.pos) / g_device_rate
                                  : v.offset + static_cast<double>(g_clock - v.start_tick) / 30.0;
    if (v.loop && it->second.seconds > 0) at = std::fmod(at, it->second.seconds);
    return at;
  }
  return -1;
}

void SoundServiceSetGain(SystemSoundID sound, float gain) {
  auto it = g_sounds.find(sound);
  if (it == g_sounds.end()) return;
  gain = gain < 0 ? 0 : (gain > 1 ? 1 : gain);
  it->second.gain = gain;
  DeviceLock lock;
  for (Voice& v : g_voices)
    if (v.id == sound) v.gain = gain;
}

void SoundServiceSetMasterGain(float gain) {
  DeviceLock lock;
  g_master = gain < 0 ? 0 : (gain > 1 ? 1 : gain);
  if (g_backend != kSDL) g_master_level = g_master;
}

float SoundServiceMasterGain() { return g_master; }

int32_t SoundServiceAddCompletion(SystemSoundID sound, SystemSoundCompletionProc proc, void* client_data) {
  auto it = g_sounds.find(sound);
  if (it == g_sounds.end()) return kSoundErrNoService;
  it->second.proc = proc;
  it->second.client_data = client_data;
  return kSoundOK;
}

void SoundServiceRemoveCompletion(SystemSoundID sound) {
  auto it = g_sounds.find(sound);
  if (it == g_sounds.end()) return;
  it->second.proc = nullptr;
  it->second.client_data = nullptr;
}

int32_t SoundServiceDispose(SystemSoundID sound) {
  auto it = g_sounds.find(sound);
  if (it == g_sounds.end()) return kSoundErrNoService;
  {
    DeviceLock lock;
    for (size_t i = 0; i < g_voices.size();) {
      if (g_voices[i].id == sound)
        g_voices.erase(g_voices.begin() + static_cast<long>(i));
      else
        ++i;
    }
  }
  Free(it->second);
  g_sounds.erase(it);
  return kSoundOK;
}

bool SoundServiceIsPlaying(SystemSoundID sound) {
  DeviceLock lock;
  for (const Voice& v : g_voices)
    if (v.id == sound && !v.stopped) return true;
  return false;
}

int SoundServicePump() {
  std::vector<SystemSoundID> ended;
  {
    DeviceLock lock;
    for (size_t i = 0; i < g_voices.size();) {
      Voice& v = g_voices[i];
      if ((g_backend == kTicks || g_backend == kLater) && g_clock >= v.end_tick) v.ended = true;
      if (v.ended) {
        if (!v.stopped) ended.push_back(v.id);
        g_voices.erase(g_voices.begin() + static_cast<long>(i));
      } else {
        ++i;
      }
    }
  }
  // A callback may dispose or replay any sound, so each one is looked up
  // again just before its callback runs.
  for (SystemSoundID id : ended) {
    auto it = g_sounds.find(id);
    if (it != g_sounds.end() && it->second.proc) it->second.proc(id, it->second.client_data);
  }
  return static_cast<int>(ended.size());
}

void SoundServiceAdvanceTicks(int ticks) {
  if (ticks > 0) g_clock += ticks;
}

int SoundServiceDurationTicks(SystemSoundID sound) {
  auto it = g_sounds.find(sound);
  return it == g_sounds.end() ? 0 : it->second.duration_ticks;
}

double SoundServiceSeconds(SystemSoundID sound) {
  auto it = g_sounds.find(sound);
  return it == g_sounds.end() ? 0 : it->second.seconds;
}

int SoundServiceCount() { return static_cast<int>(g_sounds.size()); }
