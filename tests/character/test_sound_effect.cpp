// SoundEffect over the tick back end: loading with its log lines, and the
// flag that playWithFlag maintains.
#include <gtest/gtest.h>

#include <set>

#include "character/SoundEffect.h"
#include "kit/wav_fixture.h"

using namespace wavtest;

namespace {

class SoundEffectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundServiceUseTicks();
    path_ = dir_ / "line.wav";
    ASSERT_TRUE(WriteFile(path_, SilentWav(800)));  // 3 ticks
  }
  void TearDown() override { SoundServiceShutdown(); }
  // One tick of the clock, with the pump the app runs between ticks.
  static void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      SoundServiceAdvanceTicks(1);
      SoundServicePump();
    }
  }
  static std::string LoadLog(const std::string& path, SoundEffect** out) {
    testing::internal::CaptureStderr();
    *out = SoundEffect::soundEffectWithContentsOfFile(path.c_str());
    return testing::internal::GetCapturedStderr();
  }
  TempDir dir_;
  std::string path_;
};

}  // namespace

TEST_F(SoundEffectTest, LoadingGoodAndBadFiles) {
  SoundEffect* s = nullptr;
  EXPECT_EQ("", LoadLog(path_, &s));
  ASSERT_NE(nullptr, s);
  EXPECT_NE(0u, s->soundID());
  EXPECT_EQ(nullptr, s->completionFlag());
  delete s;
  EXPECT_EQ(0, SoundServiceCount()) << "deleting disposes the sound";

  testing::internal::CaptureStderr();
  EXPECT_EQ(nullptr, SoundEffect::soundEffectWithContentsOfFile(nullptr));
  EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "a null path is silent";

  // Each failure: the line there always was, then one naming the file and
  // why, a reason of its own for each kind of failure.
  const std::string missing = dir_ / "missing.wav", text = dir_ / "text.wav", empty = dir_ / "empty.wav",
                    truncated = dir_ / "cut.wav";
  ASSERT_TRUE(WriteFile(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}));
  ASSERT_TRUE(WriteFile(empty, {}));
  std::vector<uint8_t> cut = SilentWav(800);
  cut.resize(cut.size() / 2);
  ASSERT_TRUE(WriteFile(truncated, cut));
  std::set<std::string> reasons;
  for (const auto& c : std::vector<std::pair<int, std::string>>{{1, missing}, {2, text}, {2, empty}, {3, truncated}}) {
    const std::string log = LoadLog(c.second, &s);
    const std::string first = "Error " + std::to_string(c.first) + " loading sound at path: " + c.second + "\n";
    EXPECT_EQ(first, log.substr(0, first.size()));
    const std::string why = log.substr(first.size());
    EXPECT_EQ(0u, why.find("Sound " + c.second + ": ")) << log;
    EXPECT_EQ(why.size() - 1, why.find('\n')) << log;
    reasons.insert(why.substr(why.find(": ")));
    EXPECT_EQ(nullptr, s);
  }
  EXPECT_EQ(4u, reasons.size());
  EXPECT_EQ(0, SoundServiceCount());
}

// The flag set on a play, cleared at its end and by deleting the playing
// sound is the voice scheduler's sound_is_played, whose tests hold it to
// the ticks; here, what the scheduler never does: a sound played again.
TEST_F(SoundEffectTest, FlagOfAReplayAFlaglessPlayMovedDroppedOrLeftAlone) {
  SoundEffect* s = SoundEffect::soundEffectWithContentsOfFile(path_.c_str());
  ASSERT_NE(nullptr, s);
  bool flag = false;
  s->playWithFlag(&flag);
  EXPECT_EQ(&flag, s->completionFlag());
  Tick(3);
  // Same flag again: the registration stays, the flag turns true again.
  s->playWithFlag(&flag);
  EXPECT_TRUE(flag);
  Tick(3);
  // A flagless play still reports its end to the registered flag.
  flag = true;
  s->play();
  Tick(3);
  EXPECT_FALSE(flag);

  // Moving the flag releases the old one.
  bool a = false, b = false;
  s->playWithFlag(&a);
  Tick();
  s->playWithFlag(&b);  // restarts the play; its end goes to b only
  EXPECT_FALSE(a) << "a's play was cut short and will never report";
  EXPECT_TRUE(b);
  a = true;  // someone else's use of a from here on
  Tick(3);
  EXPECT_FALSE(b);
  EXPECT_TRUE(a);

  s->playWithFlag(nullptr);
  EXPECT_EQ(nullptr, s->completionFlag());
  b = true;
  Tick(3);
  EXPECT_TRUE(b) << "no flag is registered any more";

  delete s;
  // Not playing: the flag is not the object's to touch.
  s = SoundEffect::soundEffectWithContentsOfFile(path_.c_str());
  ASSERT_NE(nullptr, s);
  s->playWithFlag(&flag);
  Tick(3);
  flag = true;
  delete s;
  EXPECT_TRUE(flag);
}
