// System sound service: short WAV sounds loaded from a path, played
// asynchronously, and an end-of-sound callback run on the main thread.
//
// SoundEffect (character/SoundEffect.h) is the only direct caller; the app
// chooses a back end once at start-up and calls SoundServicePump between
// ticks, which is where end-of-sound callbacks run. Two back ends:
//   - SDL audio: every WAV is converted once at load time to the device
//     format and mixed on SDL's audio thread; the audio thread only marks
//     plays as ended, the callbacks themselves run in SoundServicePump.
//     Without an audio device, SDL's dummy driver stands in (one message).
//   - ticks: nothing is heard; a play lasts its WAV duration counted in
//     30 Hz ticks and ends when SoundServiceAdvanceTicks says so. Tests use
//     it to drive the voice scheduler deterministically.
// Everything except the SDL mixing runs on the main thread.
//
// Besides what SoundEffect needs, the dance music (face/face.h) plays a
// sound in a loop from a chosen position, asks where a play is (lip sync
// follows the voice's own position too), sets each sound's loudness for
// fades and the loudness of everything for the volume setting.
//
// Also home of the system log (SoundLog): syslog(3), echoed to stderr.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef uint32_t SystemSoundID;  // 0 is never a valid handle
typedef void (*SystemSoundCompletionProc)(SystemSoundID sound, void* client_data);

// Status codes of SoundServiceCreate (0 is success). They end up in the
// "Error %d loading sound" log line, so each names one kind of failure.
enum SoundStatus : int32_t {
  kSoundOK = 0,
  kSoundErrOpen = 1,         // no such file, or it cannot be read
  kSoundErrNotWave = 2,      // not a RIFF/WAVE file
  kSoundErrMalformed = 3,    // chunk sizes or header fields do not add up
  kSoundErrUnsupported = 4,  // a sample format other than PCM int/float
  kSoundErrTooLarge = 5,     // beyond what a short sound may be
  kSoundErrNoService = 6,    // out of handles or memory
};

// A WAV file's samples, decoded to interleaved floats in -1..1.
struct SoundPCM {
  float* samples = nullptr;  // frames * channels, malloc'd
  uint32_t frames = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;  // frames per second
};

// Limits of a "short sound"; larger files are refused (kSoundErrTooLarge).
const size_t kSoundMaxFileBytes = 64u << 20;
const uint32_t kSoundMaxRate = 384000;
const uint16_t kSoundMaxChannels = 32;

// Parses a WAV file held in memory. Every chunk size and header field is
// checked against the buffer; nothing is read beyond `size`. On success
// `out` owns a fresh buffer (free with SoundPCMFree).
SoundStatus SoundDecodeWAV(const uint8_t* data, size_t size, SoundPCM* out);
// Reads and decodes a file (at most kSoundMaxFileBytes).
SoundStatus SoundLoadWAV(const char* path, SoundPCM* out);
// What a status other than kSoundOK from loading the file at `path` means,
// for a line naming the file: "No such file or directory", "empty", "not a
// RIFF/WAVE file" ...
std::string SoundProblem(const char* path, int32_t status);
void SoundPCMFree(SoundPCM* pcm);
// The SDL back end's conversion: interleaved stereo floats at `rate`, by
// linear interpolation; mono goes to both sides, of more than two channels
// the first two are kept. Returns a malloc'd buffer and its frame count, or
// null for an empty sound.
float* SoundResampleStereo(const SoundPCM& pcm, uint32_t rate, uint32_t* frames);

// Back ends. Until one is chosen the ticks back end is in use.
// SoundServiceUseSDL opens the default audio device (or the dummy driver
// when none opens) and returns false only when even that fails; sounds
// then end at the next pump, silently.
bool SoundServiceUseSDL();
void SoundServiceUseTicks();
// SDL audio with the device opened later: until SoundServiceOpenSDL, plays
// last their length in ticks as with the ticks back end (nothing heard;
// the caller advances the ticks); from then on as SoundServiceUseSDL,
// plays in progress going on from where they are. The page's way: browsers
// let sound play only after the first tap, and the first frame need not
// wait for the device. SoundServiceOpenSDL returns false when no device,
// not even the dummy driver's, opened (plays then go on counting ticks);
// true at once when the device is open already.
void SoundServiceUseSDLLater();
bool SoundServiceOpenSDL();
// Disposes every sound and closes the audio device. Call it before SDL_Quit,
// which would otherwise close the device under the service.
void SoundServiceShutdown();

// The operations SoundEffect relies on.
int32_t SoundServiceCreate(const char* path, SystemSoundID* out);
void SoundServicePlay(SystemSoundID sound);  // restarts a sound already playing
int32_t SoundServiceAddCompletion(SystemSoundID sound, SystemSoundCompletionProc proc, void* client_data);
void SoundServiceRemoveCompletion(SystemSoundID sound);
int32_t SoundServiceDispose(SystemSoundID sound);
// True from a play's start until its end was delivered by a pump.
bool SoundServiceIsPlaying(SystemSoundID sound);

// Plays the sound from `seconds` into it, round and round until stopped;
// its completion never runs. A play of it going on starts again from there.
void SoundServicePlayLoop(SystemSoundID sound, double seconds);
// Ends a play at once (in a few milliseconds for the SDL mix, without a
// click), without running the completion.
void SoundServiceStop(SystemSoundID sound);
// Seconds into the play going on (within the sound, for a loop), as heard:
// the SDL mix's own position, or ticks counted; -1 when the sound is not playing.
double SoundServicePosition(SystemSoundID sound);
// Loudness of one sound (0..1, 1 at the start) and of everything (the
// volume setting, 1 at the start). Changes glide over a few milliseconds.
void SoundServiceSetGain(SystemSoundID sound, float gain);
void SoundServiceSetMasterGain(float gain);
float SoundServiceMasterGain();

// Runs the callbacks of plays that ended since the last pump, on the
// caller's (main) thread. Returns how many plays ended.
int SoundServicePump();

// Ticks back end: the clock, in 30 Hz ticks since SoundServiceUseTicks.
void SoundServiceAdvanceTicks(int ticks);
// How many ticks a play of the sound lasts (its duration rounded up; at
// least 1). 0 for an unknown handle.
int SoundServiceDurationTicks(SystemSoundID sound);
// Its length in seconds (0 for a sound of no samples or an unknown handle).
double SoundServiceSeconds(SystemSoundID sound);
// Number of sounds currently loaded.
int SoundServiceCount();

// The system log: one formatted line to syslog(3) and to stderr. A line
// end is added when the format has none.
void SoundLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
