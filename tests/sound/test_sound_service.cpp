// WAV decoding of good and broken files, and the two back ends of the sound
// service: completion delivery, restart, removal and disposal.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kit/wav_fixture.h"
#include "sound/sound_service.h"

using namespace wavtest;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<uint8_t> b;
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
  return b;
}

SoundStatus Decode(const std::vector<uint8_t>& file, SoundPCM* pcm) {
  return SoundDecodeWAV(file.data(), file.size(), pcm);
}

// Decodes a file that must be good and returns its samples.
std::vector<float> GoodSamples(const std::vector<uint8_t>& file, uint16_t channels, uint32_t rate) {
  SoundPCM pcm;
  EXPECT_EQ(kSoundOK, Decode(file, &pcm));
  EXPECT_EQ(channels, pcm.channels);
  EXPECT_EQ(rate, pcm.rate);
  std::vector<float> out(pcm.samples, pcm.samples + pcm.frames * pcm.channels);
  SoundPCMFree(&pcm);
  return out;
}

}  // namespace

TEST(WavDecode, IntegerFloatStereoAndExtensibleGiveTheSameLevels) {
  WavSpec s;
  // 8-bit is unsigned around 128.
  s.bits = 8;
  EXPECT_EQ((std::vector<float>{0.0f, 0.5f, -1.0f}), GoodSamples(MakeWav(s, Bytes({128, 192, 0})), 1, 8000));
  s.bits = 16;
  EXPECT_EQ((std::vector<float>{0.5f, -0.5f}), GoodSamples(MakeWav(s, Bytes({0x00, 0x40, 0x00, 0xC0})), 1, 8000));
  s.bits = 24;
  EXPECT_EQ((std::vector<float>{0.5f, -0.25f}), GoodSamples(MakeWav(s, Bytes({0, 0, 0x40, 0, 0, 0xE0})), 1, 8000));
  s.bits = 32;
  EXPECT_EQ((std::vector<float>{-0.5f}), GoodSamples(MakeWav(s, Bytes({0, 0, 0, 0xC0})), 1, 8000));
  s.tag = 3;
  EXPECT_EQ((std::vector<float>{0.25f}), GoodSamples(MakeWav(s, Bytes({0, 0, 0x80, 0x3E})), 1, 8000));
  s.bits = 64;
  EXPECT_EQ((std::vector<float>{-0.75f}), GoodSamples(MakeWav(s, Bytes({0, 0, 0, 0, 0, 0, 0xE8, 0xBF})), 1, 8000));

  // Stereo, extensible and extra chunks.
  s = WavSpec();
  s.channels = 2;
  s.rate = 44100;
  s.list_chunk = true;  // odd size: the pad byte must be skipped
  EXPECT_EQ((std::vector<float>{0.5f, -0.5f}), GoodSamples(MakeWav(s, Bytes({0x00, 0x40, 0x00, 0xC0})), 2, 44100));
  s.tag = 0xFFFE;
  s.sub_tag = 3;
  s.bits = 32;
  s.channels = 1;
  EXPECT_EQ((std::vector<float>{0.25f}), GoodSamples(MakeWav(s, Bytes({0, 0, 0x80, 0x3E})), 1, 44100));
  // Not-a-number samples would poison the mix; they decode as silence.
  EXPECT_EQ((std::vector<float>{0.0f}), GoodSamples(MakeWav(s, Bytes({0, 0, 0xC0, 0x7F})), 1, 44100));
  // A trailing partial frame is ignored; an empty data chunk is a valid, empty sound.
  WavSpec m;
  EXPECT_EQ(1u, GoodSamples(MakeWav(m, Bytes({1, 2, 3})), 1, 8000).size());
  EXPECT_TRUE(GoodSamples(MakeWav(m, {}), 1, 8000).empty());
}

TEST(WavDecode, BrokenFilesAreRefusedWithTheirReason) {
  SoundPCM pcm;
  const std::vector<uint8_t> good = SilentWav(100);
  EXPECT_EQ(kSoundErrNotWave, Decode(Bytes({'R', 'I', 'F', 'X'}), &pcm));
  EXPECT_EQ(kSoundErrNotWave, SoundDecodeWAV(nullptr, 0, &pcm));
  std::vector<uint8_t> f = good;
  f[8] = 'A';  // "AAVE"
  EXPECT_EQ(kSoundErrNotWave, Decode(f, &pcm));

  // Every cut of a good file is refused; none reads past the cut (ASan
  // checks that, the buffer being exactly the prefix).
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
    EXPECT_NE(kSoundOK, SoundDecodeWAV(cut.data(), cut.size(), &pcm)) << "cut at " << n;
    EXPECT_EQ(nullptr, pcm.samples);
  }

  f = good;
  Patch32(f, 40, 0xFFFFFFF0u);  // data size far beyond the file
  EXPECT_EQ(kSoundErrMalformed, Decode(f, &pcm));
  f = good;
  Patch32(f, 16, 0x7FFFFFFFu);  // fmt size beyond the file
  EXPECT_EQ(kSoundErrMalformed, Decode(f, &pcm));
  f = good;
  Patch32(f, 4, 2);  // RIFF size smaller than the header
  EXPECT_EQ(kSoundErrMalformed, Decode(f, &pcm));

  // Formats it refuses, each with its reason (ADPCM; 12 bits; ten minutes is
  // the longest short sound, and 8000 frames at 1 Hz is more).
  const struct {
    SoundStatus want;
    void (*spoil)(WavSpec&);
    size_t bytes;
  } formats[] = {{kSoundErrMalformed, [](WavSpec& w) { w.channels = 0; }, 2},
                 {kSoundErrMalformed, [](WavSpec& w) { w.rate = 0; }, 2},
                 {kSoundErrUnsupported, [](WavSpec& w) { w.tag = 2; }, 2},
                 {kSoundErrUnsupported, [](WavSpec& w) { w.bits = 12; }, 2},
                 {kSoundErrUnsupported, [](WavSpec& w) { w.channels = 1000; }, 2},
                 {kSoundErrTooLarge, [](WavSpec& w) { w.rate = 1; }, 16000}};
  for (const auto& c : formats) {
    WavSpec w;
    c.spoil(w);
    EXPECT_EQ(c.want, Decode(MakeWav(w, std::vector<uint8_t>(c.bytes, 0)), &pcm)) << &c - formats;
  }
  f = SilentWav(4);
  f[32] = 3;  // block align disagreeing with channels * bits
  EXPECT_EQ(kSoundErrMalformed, Decode(f, &pcm));
  // No data chunk at all.
  f = SilentWav(0);
  f.resize(36);
  Patch32(f, 4, 28);
  EXPECT_EQ(kSoundErrMalformed, Decode(f, &pcm));
}

TEST(WavDecode, ResampledToStereoAtTheDeviceRate) {
  float mono[] = {0.0f, 1.0f, -1.0f};
  SoundPCM pcm;
  pcm.samples = mono;
  pcm.frames = 3;
  pcm.channels = 1;
  pcm.rate = 100;
  uint32_t frames = 0;
  float* out = SoundResampleStereo(pcm, 200, &frames);
  ASSERT_NE(nullptr, out);
  ASSERT_EQ(6u, frames);
  const float want[] = {0, 0, 0.5f, 0.5f, 1, 1, 0, 0, -1, -1, -1, -1};
  for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(want[i], out[i]) << i;
  std::free(out);

  float three[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};  // 2 frames of 3 channels
  pcm.samples = three;
  pcm.frames = 2;
  pcm.channels = 3;
  out = SoundResampleStereo(pcm, 50, &frames);  // halved: every other frame
  ASSERT_NE(nullptr, out);
  ASSERT_EQ(1u, frames);
  EXPECT_FLOAT_EQ(0.1f, out[0]);
  EXPECT_FLOAT_EQ(0.2f, out[1]);
  std::free(out);
  pcm.frames = 0;
  EXPECT_EQ(nullptr, SoundResampleStereo(pcm, 50, &frames));
  EXPECT_EQ(0u, frames);
}

class TickService : public ::testing::Test {
 protected:
  void SetUp() override { SoundServiceUseTicks(); }
  void TearDown() override { SoundServiceShutdown(); }

  SystemSoundID Load(uint32_t frames, uint32_t rate = 8000) {
    const std::string path = dir_ / ("s" + std::to_string(n_++) + ".wav");
    EXPECT_TRUE(WriteFile(path, SilentWav(frames, rate)));
    SystemSoundID id = 0;
    EXPECT_EQ(0, SoundServiceCreate(path.c_str(), &id));
    EXPECT_NE(0u, id);
    return id;
  }

  static void Count(SystemSoundID id, void* data) {
    auto* log = static_cast<std::vector<SystemSoundID>*>(data);
    log->push_back(id);
  }

  TempDir dir_;
  int n_ = 0;
};

TEST_F(TickService, DurationIsTheWavLengthInTicksRoundedUp) {
  EXPECT_EQ(30, SoundServiceDurationTicks(Load(8000)));  // 1 s
  EXPECT_EQ(4, SoundServiceDurationTicks(Load(801)));    // 0.100125 s
  EXPECT_EQ(1, SoundServiceDurationTicks(Load(0)));      // empty still ends a tick later
  EXPECT_EQ(45, SoundServiceDurationTicks(Load(66150, 44100)));
  EXPECT_EQ(0, SoundServiceDurationTicks(12345));
}

TEST_F(TickService, PlayEndsInThePumpReplayRestartsRemovedOrDisposedReportNothing) {
  std::vector<SystemSoundID> ended;
  const SystemSoundID a = Load(800);  // 3 ticks
  ASSERT_EQ(0, SoundServiceAddCompletion(a, Count, &ended));
  SoundServicePlay(a);
  for (int t = 0; t < 2; ++t) {
    SoundServiceAdvanceTicks(1);
    EXPECT_EQ(0, SoundServicePump());
    EXPECT_TRUE(SoundServiceIsPlaying(a));
  }
  SoundServiceAdvanceTicks(1);
  EXPECT_TRUE(ended.empty()) << "the callback waits for the pump";
  EXPECT_EQ(1, SoundServicePump());
  EXPECT_EQ(std::vector<SystemSoundID>{a}, ended);
  EXPECT_FALSE(SoundServiceIsPlaying(a));
  EXPECT_EQ(0, SoundServicePump());  // reported once

  // A replay restarts; removed or disposed sounds report nothing.
  ended.clear();
  const SystemSoundID b = Load(800);
  SoundServiceAddCompletion(b, Count, &ended);
  SoundServicePlay(a);
  SoundServiceAdvanceTicks(2);
  SoundServicePlay(a);  // restart: 3 more ticks, one end
  SoundServiceAdvanceTicks(2);
  SoundServicePump();
  EXPECT_TRUE(ended.empty());
  SoundServiceAdvanceTicks(1);
  SoundServicePump();
  EXPECT_EQ(std::vector<SystemSoundID>{a}, ended);

  ended.clear();
  SoundServicePlay(a);
  SoundServicePlay(b);
  SoundServiceRemoveCompletion(a);
  EXPECT_EQ(0, SoundServiceDispose(b));
  EXPECT_NE(0, SoundServiceDispose(b));
  SoundServiceAdvanceTicks(10);
  EXPECT_EQ(1, SoundServicePump());  // a ended, without a callback
  EXPECT_TRUE(ended.empty());
  EXPECT_EQ(1, SoundServiceCount());
  SoundServicePlay(b);  // a disposed handle is ignored
  EXPECT_FALSE(SoundServiceIsPlaying(b));
  EXPECT_NE(0, SoundServiceAddCompletion(b, Count, &ended));
}

TEST_F(TickService, FilesOnDiskBrokenOnesGetAStatusAndNoHandle) {
  SoundPCM pcm;
  ASSERT_TRUE(WriteFile(dir_ / "a.wav", SilentWav(8000)));
  EXPECT_EQ(kSoundOK, SoundLoadWAV((dir_ / "a.wav").c_str(), &pcm));
  EXPECT_EQ(8000u, pcm.frames);
  SoundPCMFree(&pcm);
  SoundPCMFree(&pcm);  // twice is harmless
  EXPECT_EQ(kSoundErrOpen, SoundLoadWAV((dir_ / "missing.wav").c_str(), &pcm));
  EXPECT_EQ(kSoundErrOpen, SoundLoadWAV(dir_.path().c_str(), &pcm));  // a folder
  EXPECT_EQ(kSoundErrOpen, SoundLoadWAV(nullptr, &pcm));
  ASSERT_TRUE(WriteFile(dir_ / "bad.wav", Bytes({'R', 'I', 'F', 'F', 200, 0, 0, 0, 'W', 'A', 'V', 'E'})));
  SystemSoundID id = 77;
  EXPECT_EQ(kSoundErrMalformed, SoundServiceCreate((dir_ / "bad.wav").c_str(), &id));
  EXPECT_EQ(0u, id);
  EXPECT_EQ(kSoundErrOpen, SoundServiceCreate((dir_ / "none.wav").c_str(), &id));
  EXPECT_EQ(0, SoundServiceCount());
}

// The SDL back end on SDL's dummy driver: no device needed, real mixing.
class SDLService : public ::testing::Test {
 protected:
  static void Ended(SystemSoundID, void* data) { ++*static_cast<int*>(data); }
  void TearDown() override {
    SoundServiceShutdown();
    unsetenv("SDL_AUDIODRIVER");
  }
  // Pumps until `done` says so; the dummy driver consumes audio in real
  // time, so this waits a little. Gives up after ten seconds.
  template <typename Done>
  static bool PumpUntil(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i) {
      SoundServicePump();
      SDL_Delay(10);
    }
    return done();
  }
  TempDir dir_;
};

TEST_F(SDLService, ConvertsAnyPcmAndReportsTheEnd) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(SoundServiceUseSDL());
  int ended = 0;
  WavSpec s;
  s.bits = 24;
  s.rate = 22050;
  s.channels = 3;
  ASSERT_TRUE(WriteFile(dir_ / "a.wav", MakeWav(s, std::vector<uint8_t>(3 * 3 * 2205, 7))));
  SystemSoundID id = 0;
  ASSERT_EQ(0, SoundServiceCreate((dir_ / "a.wav").c_str(), &id));
  SoundServiceAddCompletion(id, Ended, &ended);
  SoundServicePlay(id);
  EXPECT_TRUE(SoundServiceIsPlaying(id));
  EXPECT_TRUE(PumpUntil([&] { return ended >= 1; }));
  EXPECT_EQ(1, ended);
  EXPECT_FALSE(SoundServiceIsPlaying(id));
  // Disposed while playing: gone at once, no callback later.
  SoundServicePlay(id);
  EXPECT_EQ(0, SoundServiceDispose(id));
  SDL_Delay(50);
  SoundServicePump();
  EXPECT_EQ(1, ended);
}

TEST_F(SDLService, WithoutADeviceFallsBackToTheDummyDriverWithOneMessage) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  testing::internal::CaptureStderr();
  const bool ok = SoundServiceUseSDL();
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ok);
  EXPECT_NE(std::string::npos, err.find("dummy audio driver")) << err;
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  int ended = 0;
  ASSERT_TRUE(WriteFile(dir_ / "b.wav", SilentWav(400)));
  SystemSoundID id = 0;
  ASSERT_EQ(0, SoundServiceCreate((dir_ / "b.wav").c_str(), &id));
  SoundServiceAddCompletion(id, Ended, &ended);
  SoundServicePlay(id);
  EXPECT_TRUE(PumpUntil([&] { return ended >= 1; }));
}

// The page's way: plays count ticks until the device opens, then go on,
// heard, from where the ticks had them; a sound made before it opened is
// mixed when it first plays.
TEST_F(SDLService, ADeviceOpenedLaterTakesOverThePlaysWhereTheyAre) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SoundServiceUseSDLLater();
  ASSERT_TRUE(WriteFile(dir_ / "a.wav", SilentWav(8000)));  // a second
  SystemSoundID a = 0, b = 0;
  ASSERT_EQ(0, SoundServiceCreate((dir_ / "a.wav").c_str(), &a));
  ASSERT_EQ(0, SoundServiceCreate((dir_ / "a.wav").c_str(), &b));
  std::vector<SystemSoundID> ended;
  const auto log = [](SystemSoundID id, void* data) { static_cast<std::vector<SystemSoundID>*>(data)->push_back(id); };
  SoundServiceAddCompletion(a, log, &ended);
  SoundServiceAddCompletion(b, log, &ended);
  SoundServicePlay(a);
  SoundServiceAdvanceTicks(15);
  SoundServicePump();
  EXPECT_DOUBLE_EQ(0.5, SoundServicePosition(a));
  ASSERT_TRUE(SoundServiceOpenSDL());
  ASSERT_TRUE(SoundServiceOpenSDL()) << "open already";
  EXPECT_NEAR(0.5, SoundServicePosition(a), 0.1);
  SoundServicePlay(b);
  SoundServiceAdvanceTicks(60);  // ticks end no play any more
  SoundServicePump();
  EXPECT_TRUE(SoundServiceIsPlaying(a));
  PumpUntil([&] { return !ended.empty(); });
  ASSERT_EQ(std::vector<SystemSoundID>{a}, ended) << "the rest of a ends before the whole of b";
  EXPECT_TRUE(SoundServiceIsPlaying(b));
  PumpUntil([&] { return ended.size() >= 2; });
  EXPECT_EQ((std::vector<SystemSoundID>{a, b}), ended);
}

TEST(SoundLog, OneLineEvenWithoutALineEnd) {
  testing::internal::CaptureStderr();
  SoundLog("Error %d loading sound at path: %s", 3, "x.wav");
  SoundLog("two\n");
  EXPECT_EQ("Error 3 loading sound at path: x.wav\ntwo\n", testing::internal::GetCapturedStderr());
}
