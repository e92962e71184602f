// The voice scheduler over simulated ticks: which line starts when, by
// priority, waiting for the line playing, and the idle countdown. Sounds
// play on the tick back end, each voice file with its own length so that
// the loaded file can be told from its duration.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "character/SoundEffect.h"
#include "character/girl.h"
#include "character/girl_sound.h"
#include "files/bundle.h"
#include "kit/wav_fixture.h"

using namespace wavtest;

namespace {

// Voice file -> its length in ticks: 3 for the English lines but the outfit
// remarks (4 to 7), a length of its own for each Russian line (8 to 16), so
// that a length tells which file a slot loaded. No first-meeting lines.
const std::map<std::string, int> kVoiceTicks = [] {
  const CatalogVoice &en = kVoices[0], &ru = kVoices[1];
  std::map<std::string, int> ticks;
  int russian = 8;
  for (const char* CatalogVoice::*line : {&CatalogVoice::idle, &CatalogVoice::greeting, &CatalogVoice::touch,
                                          &CatalogVoice::shake, &CatalogVoice::setup}) {
    ticks[en.*line] = 3;
    ticks[ru.*line] = russian++;
  }
  for (int k = 0; k < kCatalogOptions; ++k) {
    ticks[en.outfit[k]] = 4 + k;
    ticks[ru.outfit[k]] = 13 + k;
  }
  return ticks;
}();

class Scheduler : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& v : kVoiceTicks)
      ASSERT_TRUE(WriteFile(dir_ / (v.first + ".wav"), SilentWav(v.second * 8000 / 30, 8000)));
    BundleSetRoot(dir_.path().c_str());
    SoundServiceUseTicks();
    sound_login_timer = sound_setup_timer = sound_touch_timer = sound_shake_timer = 0;
    sound_new_setting_timer = sound_idle_timer = 0;
    current_sound = -1;
    sound_is_played = false;
    n_sound_set = 0;
    n_clothes = 1;
    srand(1);
  }
  void TearDown() override {
    GirlReleaseSounds();
    SoundServiceShutdown();
    BundleSetRoot(nullptr);
  }

  // One tick as the app runs it: the scheduler in the frame, then the
  // clock moves on and ended plays are reported between ticks. Returns the
  // slot started on this tick, -1 for none.
  static int Tick() {
    const bool was_playing = sound_is_played;
    GirlSoundFrame();
    const int started = !was_playing ? current_sound : -1;
    SoundServiceAdvanceTicks(1);
    SoundServicePump();
    return started;
  }
  // Runs ticks and lists (tick, slot) of each line started.
  static std::vector<std::pair<int, int>> Run(int ticks) {
    std::vector<std::pair<int, int>> starts;
    for (int t = 1; t <= ticks; ++t) {
      const int slot = Tick();
      if (slot >= 0) starts.push_back({t, slot});
    }
    return starts;
  }
  static int LoadedTicks(int slot) { return sounds[slot] ? SoundServiceDurationTicks(sounds[slot]->soundID()) : 0; }

  TempDir dir_;
};

typedef std::vector<std::pair<int, int>> Starts;

}  // namespace

TEST_F(Scheduler, LoadsTheLanguageRowAndTheOutfitRemark) {
  EXPECT_EQ(1, GirlLoadSounds());
  EXPECT_EQ((std::vector<int>{3, 3, 3, 3, 5, 3, 0}),
            (std::vector<int>{LoadedTicks(0), LoadedTicks(1), LoadedTicks(2), LoadedTicks(3), LoadedTicks(4),
                              LoadedTicks(5), LoadedTicks(6)}));
  EXPECT_EQ(nullptr, sounds[6]);

  n_sound_set = 3;  // reduced and stored back
  n_clothes = 2;
  GirlLoadSounds();
  EXPECT_EQ(1, n_sound_set);
  EXPECT_EQ((std::vector<int>{8, 9, 10, 11, 15, 12}),
            (std::vector<int>{LoadedTicks(0), LoadedTicks(1), LoadedTicks(2), LoadedTicks(3), LoadedTicks(4),
                              LoadedTicks(5)}));
  EXPECT_EQ(6, SoundServiceCount()) << "the previous set was released";

  n_sound_set = -1;  // a damaged store may hold any value
  n_clothes = -1;
  GirlLoadSounds();
  EXPECT_EQ(1, n_sound_set);
  EXPECT_EQ(16, LoadedTicks(4));
  GirlReleaseSounds();
  GirlReleaseSounds();
  EXPECT_EQ(0, SoundServiceCount());
  for (SoundEffect* s : sounds) EXPECT_EQ(nullptr, s);
}

TEST_F(Scheduler, DueRequestsStartOneAtATimeInPriorityOrder) {
  GirlLoadSounds();
  n_sound_set = 0;
  sound_idle_timer = sound_new_setting_timer = sound_shake_timer = sound_touch_timer = sound_setup_timer =
      sound_login_timer = 1;
  // Each line lasts 3 ticks (the remark 5), so the next starts 3 ticks later.
  EXPECT_EQ((Starts{{1, 1}, {4, 5}, {7, 2}, {10, 3}, {13, 4}}), Run(20));
  // The idle request was pushed back by every start, never dropped to 0.
  EXPECT_GT(sound_idle_timer, 400);
}

TEST_F(Scheduler, TouchAndShakeOnTheSameTick) {
  GirlLoadSounds();
  sound_touch_timer = 1;
  sound_shake_timer = 1;
  const Starts s = Run(5);
  EXPECT_EQ((Starts{{1, 2}, {4, 3}}), s) << "shake starts on the first tick after touch ended";
  // While the shake line plays current_sound says so (the shake response
  // reads it to raise no new request).
  EXPECT_EQ(3, current_sound);
}

TEST_F(Scheduler, OnlyTheTouchTimerCountsWhileALinePlays) {
  GirlLoadSounds();
  sound_setup_timer = 1;
  EXPECT_EQ(5, Tick());
  sound_touch_timer = sound_shake_timer = sound_login_timer = sound_new_setting_timer = 4;
  const int idle = sound_idle_timer;
  Tick();
  Tick();  // the setup line ends after this tick
  EXPECT_EQ((std::vector<int>{2, 4, 4, 4, idle}),
            (std::vector<int>{sound_touch_timer, sound_shake_timer, sound_login_timer, sound_new_setting_timer,
                              sound_idle_timer}));
  // On the first free tick the touch request, which kept counting, is due
  // while the others still wait.
  EXPECT_EQ(2, Tick());
  EXPECT_EQ((std::vector<int>{3, 3, 3}),
            (std::vector<int>{sound_login_timer, sound_shake_timer, sound_new_setting_timer}));
}

TEST_F(Scheduler, IdleLineAfterTheCountdownOfFreeTicksOnly) {
  GirlLoadSounds();
  srand(42);
  const int expect = (rand() & 511) + 450;
  srand(42);
  GirlSoundResetIdle();
  ASSERT_EQ(expect, sound_idle_timer);
  // Ticks while a line plays do not count.
  sound_is_played = true;
  Run(100);
  EXPECT_EQ(expect, sound_idle_timer);
  sound_is_played = false;
  const Starts s = Run(expect + 5);
  ASSERT_EQ(1u, s.size());
  EXPECT_EQ(expect - 1, s[0].first) << "due after n - 1 free ticks";
  EXPECT_TRUE(s[0].second == 0 || s[0].second == 4);
}

TEST_F(Scheduler, IdleChoosesChatterOrRemarkByBit14) {
  GirlLoadSounds();
  srand(7);
  // Replays the generator to know each choice in advance: one number picks
  // the slot, the next re-arms the countdown.
  std::vector<int> want;
  for (int i = 0; i < 400; ++i) {
    want.push_back((rand() & 0x4000) ? 0 : 4);
    rand();
  }
  srand(7);
  std::vector<int> got;
  int chatter = 0;
  for (int i = 0; i < 400; ++i) {
    sound_idle_timer = 1;
    const int slot = Tick();
    got.push_back(slot);
    chatter += slot == 0;
    GirlReleaseSounds();  // cuts the line: the next request starts at once
    GirlLoadSounds();
  }
  EXPECT_EQ(want, got);
  EXPECT_GT(chatter, 150);
  EXPECT_LT(chatter, 250);
}

TEST_F(Scheduler, MissingFilesLeaveSlotsEmptyAndRequestsAreStillConsumed) {
  unlink((dir_ / "touch.wav").c_str());
  testing::internal::CaptureStderr();
  GirlLoadSounds();
  const std::string err = testing::internal::GetCapturedStderr();
  // The line there always was, then one of its own with the reason.
  const std::string kept = "Error 1 loading sound at path: " + (dir_ / "touch.wav") + "\n";
  EXPECT_EQ(kept, err.substr(0, kept.size()));
  const std::string why = "Sound " + (dir_ / "touch.wav") + ": ";
  EXPECT_EQ(why, err.substr(kept.size(), why.size()));
  EXPECT_EQ(err.size() - 1, err.find('\n', kept.size())) << err;
  EXPECT_EQ(nullptr, sounds[2]);
  sound_touch_timer = 1;
  sound_shake_timer = 2;
  sound_idle_timer = 0;
  EXPECT_EQ(2, Tick());
  EXPECT_FALSE(sound_is_played) << "nothing plays for an empty slot";
  EXPECT_EQ(0, sound_touch_timer);
  EXPECT_GE(sound_idle_timer, 450) << "the idle countdown restarts as after a real line";
  EXPECT_EQ(3, Tick()) << "the next request is not held up";
  EXPECT_EQ(3, current_sound);
}

TEST_F(Scheduler, ReloadingDuringALineDoesNotStallTheScheduler) {
  GirlLoadSounds();
  sound_login_timer = 1;
  EXPECT_EQ(1, Tick());
  ASSERT_TRUE(sound_is_played);
  n_sound_set = 1;  // the settings screen changed the language
  GirlLoadSounds();
  EXPECT_FALSE(sound_is_played) << "the cut line's end will never be reported";
  sound_setup_timer = 1;
  EXPECT_EQ(5, Tick());
  EXPECT_EQ(12, LoadedTicks(5));
  GirlReleaseSounds();  // quitting in the middle of a line
  EXPECT_FALSE(sound_is_played);
}
