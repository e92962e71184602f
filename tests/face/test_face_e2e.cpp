// Her face layer end to end: what the trace of ovanta-headless shows of her
// blinks, lips, captions, gaze and dance music on the generated bundle.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "app/headless_run.h"
#include "face/face_expressions.h"
#include "face/voice_lines.h"

namespace {

std::string BundleText(const std::string& name) {
  std::ifstream in(std::string(OVANTA_BUNDLE) + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

float Gaze(const nlohmann::json& tick) {
  return std::hypot(tick["gaze"][0].get<float>(), tick["gaze"][1].get<float>());
}

// Every tick of a voice line: the mouth shape is the one its stored timing
// gives for that moment, and the mouth is shut at most three ticks after it.
void ExpectLipsFollow(const HeadlessRun& r, const std::string& file) {
  std::vector<MouthKey> keys;
  std::string error;
  ASSERT_TRUE(LipsParse(BundleText(file + ".lips"), &keys, &error)) << error;
  const auto started = r.of("sound");
  ASSERT_FALSE(started.empty());
  ASSERT_EQ(started[0]["file"], file);
  const long first = started[0]["tick"];
  long last = first;
  int open = 0;
  for (long t = first; t <= static_cast<long>(r.ticks.size()) && r.at(t)["sound_is_played"] == true; ++t) {
    const MouthKey k = LipsAt(keys, static_cast<int>((t - first) * 1000 / 30));
    EXPECT_EQ(r.at(t)["mouth_shape"], MouthShapeName(k.shape)) << "tick " << t;
    open += r.at(t)["mouth"].get<float>() > 0.3f;
    last = t;
  }
  EXPECT_GT(last - first, 30) << "a line of a second or more";
  EXPECT_GT(open, 5) << "the mouth opens while she speaks";
  for (long t = 1; t < first; ++t) EXPECT_EQ(r.at(t)["mouth"], 0.0) << "before the line, tick " << t;
  for (long t = last + 4; t <= last + 40 && t <= static_cast<long>(r.ticks.size()); ++t) {
    EXPECT_EQ(r.at(t)["mouth"], 0.0) << "after the line, tick " << t;
    EXPECT_EQ(r.at(t)["mouth_shape"], "rest") << "tick " << t;
  }
}

// The generated bundle in `dir`, linked file by file, but for `left_out`.
void LinkBundle(const ScratchDir& dir, const std::vector<std::string>& left_out) {
  const std::string bundle = OVANTA_BUNDLE;
  const std::vector<std::string> names = testkit::ListDir(bundle);
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    if (std::count(left_out.begin(), left_out.end(), name)) continue;
    ASSERT_EQ(symlink((bundle + "/" + name).c_str(), dir.file(name).c_str()), 0) << name;
  }
}

}  // namespace

// Twenty seconds of idle after start-up: the greeting with its lips and
// caption, her blinks, and her eyes on the viewer.
TEST(Face, IdleBlinksSpeaksWithHerLipsAndShowsTheCaption) {
  const HeadlessRun r = RunHeadless("tick 600\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.ticks.size(), 600u);
  ExpectLipsFollow(r, "login");

  std::vector<CaptionLine> lines;
  std::string error;
  ASSERT_TRUE(CaptionsParse(BundleText("captions.txt"), &lines, &error)) << error;
  const auto captions = r.of("caption");
  ASSERT_EQ(captions.size(), 1u);
  EXPECT_EQ(captions[0]["tick"], r.of("sound")[0]["tick"]);
  EXPECT_EQ(captions[0]["text"], CaptionFind(lines, "login")->text);
  EXPECT_EQ(captions[0]["lang"], "en");
  // On screen for the line and about a second more, then gone.
  long shown = 0;
  for (const auto& t : r.ticks) shown += t["caption"] != "";
  EXPECT_GT(shown, 60);
  EXPECT_LT(shown, 60 + 6 * 30);
  EXPECT_EQ(r.last()["caption"], "");

  // Blinks 2 to 6 s apart (a double blink counts once), none held shut.
  std::vector<long> starts;
  long shut = 0, closing = 0;
  for (long t = 1; t <= 600; ++t) {
    const float b = r.at(t)["blink"];
    shut = b > 0.99f ? shut + 1 : 0;
    closing = b > 0 ? closing + 1 : 0;
    EXPECT_LE(shut, 1) << "held shut at tick " << t;
    EXPECT_LE(closing, 6) << "a blink over 200 ms at tick " << t;
    if (b > 0 && r.at(t - 1 > 0 ? t - 1 : 1)["blink"] == 0.0 && (starts.empty() || t - starts.back() > 12))
      starts.push_back(t);
  }
  ASSERT_GE(starts.size(), 4u);
  for (size_t i = 1; i < starts.size(); ++i) {
    EXPECT_GE(starts[i] - starts[i - 1], 60) << "blinks at " << starts[i - 1] << " and " << starts[i];
    EXPECT_LE(starts[i] - starts[i - 1], 180) << "blinks at " << starts[i - 1] << " and " << starts[i];
  }
  // Her face as expression presets: shut eyes are the blink, and the
  // open mouth one of the vowels.
  long vowels = 0;
  for (const auto& t : r.ticks) {
    if (t["blink"] > 0.99f && t["mouth"] == 0.0) {
      EXPECT_EQ(t["expression"], nlohmann::json({"blink", 1.0})) << t;
    }
    vowels +=
        t["mouth"] > 0.3f && (t["expression"][0] == "aa" || t["expression"][0] == "oh" || t["expression"][0] == "ee");
  }
  EXPECT_GT(vowels, 5);
  // With no pointer she looks at the viewer, glancing aside now and then.
  long aside = 0;
  for (const auto& t : r.ticks) aside += Gaze(t) > 2.0f;
  EXPECT_GT(aside, 10);
  EXPECT_LT(aside, 400);
  EXPECT_EQ(r.last()["music"], false);
}

TEST(Face, RussianLinesMoveHerLipsAndShowCyrillicCaptions) {
  ScratchDir dir;
  std::ofstream(dir.file("defaults.json"))
      << "{\"Ovanta_name\": \"Ovanta\", \"Ovanta_sound_set\": 1, \"Ovanta_clothes\": 1}";
  const HeadlessRun r = RunHeadless("tick 200\n", "--defaults '" + dir.file("defaults.json") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectLipsFollow(r, "r_login");
  std::vector<CaptionLine> lines;
  std::string error;
  ASSERT_TRUE(CaptionsParse(BundleText("captions.txt"), &lines, &error)) << error;
  ASSERT_EQ(r.of("caption").size(), 1u);
  EXPECT_EQ(r.of("caption")[0]["text"], CaptionFind(lines, "r_login")->text);
  EXPECT_EQ(r.of("caption")[0]["lang"], "ru");
}

// A voice dropped into the bundle without its mouth timing: her lips follow
// its loudness instead, and one line says so.
TEST(Face, ALineWithoutTimingMovesHerLipsByItsLoudness) {
  ScratchDir dir;
  LinkBundle(dir, {"login.lips"});
  const HeadlessRun r = RunHeadless("tick 150\n", "--bundle '" + dir.path() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(LinesWith(r.err, dir.file("login.lips")), 1) << r.err;
  int open = 0, playing = 0;
  for (const auto& t : r.ticks) {
    if (t["sound_is_played"] != true) {
      if (t["tick"].get<long>() < 4) {
        EXPECT_EQ(t["mouth"], 0.0);
      }
      continue;
    }
    ++playing;
    open += t["mouth"].get<float>() > 0.3f;
  }
  EXPECT_GT(playing, 30);
  EXPECT_GT(open, playing / 4);
}

// The pointer up and to the right of her face: her eyes and head turn
// there, eased without overshoot. Then three passes of the dance and a
// shake (the pointer kept moving a little): the music starts with the dance,
// plays on over the loop, fades in the dance-out and stops; the dance and the
// shake move her head themselves, so her gaze fades out and back in.
TEST(Face, GazeFollowsThePointerAndMakesWayForTheDanceWithItsMusic) {
  const HeadlessRun r = RunHeadless(
      "tick 2\npoint 270 60\ntick 30\naction onDanceButton\ntick 120\npoint 271 60\ntick 180\n"
      "action onDanceStopButton\npoint 270 60\ntick 90\npoint 271 60\ntick 60\n"
      "accel 0 1 0\ntick 12\naccel 0 -1 0\npoint 270 60\ntick 50\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // Eased: it gets there in about half a second, always on its way, never past.
  const float yaw = r.at(32)["gaze"][0], pitch = r.at(32)["gaze"][1];
  EXPECT_GT(yaw, 5.0f);
  EXPECT_GT(pitch, 5.0f);
  EXPECT_LT(r.at(3)["gaze"][0].get<float>(), 0.5f * yaw) << "not at once";
  EXPECT_GT(r.at(3 + 15)["gaze"][0].get<float>(), 0.9f * yaw) << "there in half a second";
  for (long t = 3; t < 32; ++t) {
    EXPECT_LE(r.at(t)["gaze"][0].get<float>(), r.at(t + 1)["gaze"][0].get<float>() + 1e-4f) << "tick " << t;
    EXPECT_LE(r.at(t)["gaze"][0].get<float>(), yaw + 1e-3f) << "overshoot at tick " << t;
  }
  for (const auto& t : r.ticks) {  // eyes 25 and head 35 to the side, 20 each up and down
    EXPECT_LE(std::fabs(t["gaze"][0].get<float>()), 60.0f);
    EXPECT_LE(std::fabs(t["gaze"][1].get<float>()), 45.0f);
  }

  long music = 0, dance_in = 0, out_last = 0;
  float during = 0;
  for (const auto& t : r.ticks) {
    const int state = t["state"];
    if (state == 3 && !dance_in) dance_in = t["tick"];
    if (state == 3 || state == 4 || state == 5) {
      EXPECT_EQ(t["music"], true) << "tick " << t["tick"];
    }
    if (state == 5) out_last = t["tick"];
    if (state == 4) during = std::max(during, Gaze(t));
    music += t["music"] == true;
  }
  ASSERT_EQ(dance_in, 33);
  for (long t = 1; t < dance_in; ++t) {
    EXPECT_EQ(r.at(t)["music"], false) << t;
  }
  EXPECT_GT(music, 224) << "longer than one loop of the music";
  ASSERT_GT(out_last, 0);
  // A tick's state is the clip after its advance; the music goes with the
  // frame drawn, the last of the dance-out one tick later.
  EXPECT_EQ(r.at(out_last + 2)["music"], false) << "the music ends with the dance-out";
  // In over the dance-in, full while she dances, out over the dance-out.
  auto gain = [&](long t) { return r.at(t)["music_gain"].get<float>(); };
  long out_first = out_last;
  while (r.at(out_first - 1)["state"] == 5) --out_first;
  EXPECT_LT(gain(dance_in), 0.6f);
  float full = 0;
  for (const auto& t : r.ticks)
    if (t["state"] == 4) full = std::max(full, t["music_gain"].get<float>());
  EXPECT_NEAR(full, 1.0f, 0.01f);
  EXPECT_GT(gain(out_first), 0.9f);
  for (long t = out_first; t <= out_last; ++t) EXPECT_LT(gain(t + 1), gain(t)) << "tick " << t;
  EXPECT_LT(gain(out_last + 1), 0.2f) << "faded by the end of the dance-out";
  EXPECT_EQ(gain(out_last + 2), 0.0f);
  EXPECT_LT(during, 0.01f) << "gaze during the dance";
  EXPECT_GT(Gaze(r.at(out_last + 30)), 5.0f) << "back after the dance";
  // The shake reaction: away again, back afterwards.
  long shake = 0;
  for (const auto& t : r.ticks)
    if (t["state"] == 2 && !shake) shake = t["tick"];
  ASSERT_GT(shake, out_last);
  EXPECT_LT(Gaze(r.at(shake + 10)), 0.5f);
  EXPECT_GT(Gaze(r.last()), 5.0f);
}

// Music or captions that cannot be had: one line each naming the file, and
// the trace says no music plays.
TEST(Face, NoMusicOrCaptionsToHaveIsSaidAndShown) {
  for (const std::string damage : {"missing", "empty", "damaged"}) {
    SCOPED_TRACE(damage);
    ScratchDir dir;
    LinkBundle(dir, {"dance.wav", "captions.txt"});
    if (damage != "missing") {  // a header too short for its chunks; captions with none in them
      std::ofstream(dir.file("dance.wav"), std::ios::binary)
          << (damage == "empty" ? "" : std::string("RIFF\4\0\0\0WAVE", 12));
      std::ofstream(dir.file("captions.txt"), std::ios::binary) << (damage == "empty" ? "" : "# none\n");
    }
    const HeadlessRun r = RunHeadless("tick 2\naction onDanceButton\ntick 60\n", "--bundle '" + dir.path() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.at(62)["state"], 4) << "she dances";
    for (const auto& t : r.ticks) EXPECT_EQ(t["music"], false) << t["tick"];
    EXPECT_EQ(LinesWith(r.err, dir.file("dance.wav")), 1) << r.err;
    EXPECT_EQ(LinesWith(r.err, dir.file("captions.txt")), 1) << r.err;
    EXPECT_TRUE(r.of("caption").empty());
  }
}

// Volume and captions from the settings screen: applied at once (no reload,
// no setup line), captions still shown with the sound off, both kept for
// the next run. The taps are on her face, which the pick still hits.
TEST(Face, VolumeAndCaptionsApplyAtOnceAndPersist) {
  ScratchDir dir;
  const std::string store = "--defaults '" + dir.file("defaults.json") + "'";
  const HeadlessRun first = RunHeadless(
      "tick 120\naction settingsView\ntick 12\npress volumeButton\naction backToMainView\ntick 12\n"  // high to off
      "tap 160 128\ntick 100\n"
      "action settingsView\ntick 12\npress captionsSwitch\naction backToMainView\ntick 12\n"
      "tap 158 122\ntick 100\n",
      store);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ((nlohmann::json{first.at(1)["volume"], first.at(1)["captions"]}), (nlohmann::json{3, true}));
  EXPECT_EQ(first.of("reload").size(), 1u) << "only the start-up load";
  EXPECT_TRUE(first.sounds(5).empty()) << "no setup line";
  const auto touched = first.sounds(2);
  ASSERT_EQ(touched.size(), 2u);
  const auto captions = first.of("caption");
  ASSERT_EQ(captions.size(), 2u) << "the greeting's and the first touch line's, muted";
  EXPECT_EQ(captions[1]["tick"], touched[0]["tick"]);
  EXPECT_EQ(first.at(touched[0]["tick"].get<long>())["volume"], 0);
  EXPECT_EQ((nlohmann::json{first.last()["volume"], first.last()["captions"]}), (nlohmann::json{0, false}));

  // Started muted; M brings the sound back (high: no other level was set
  // in this run) and takes it off again.
  const HeadlessRun second = RunHeadless("tick 100\nkey m\ntick 1\nkey m\ntick 1\nkey m\ntick 1\n", store);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ((nlohmann::json{second.at(1)["volume"], second.at(1)["captions"]}), (nlohmann::json{0, false}));
  EXPECT_EQ(second.sounds(1).size(), 1u) << "she still greets";
  EXPECT_TRUE(second.of("caption").empty());
  EXPECT_EQ((nlohmann::json{second.at(101)["volume"], second.at(102)["volume"], second.at(103)["volume"]}),
            (nlohmann::json{3, 0, 3}));
  EXPECT_EQ(RunHeadless("tick 1\n", store).at(1)["volume"], 3) << "the last toggle is kept";
}

// A file's override rules and binary presets: a preset blocking the blink
// holds it shut out, one blending the mouth takes its own weight off it, a
// binary one is all or nothing.
TEST(Face, ExpressionOverridesAndBinaryPresetsAsTheFileSays) {
  FaceCharacter c;
  for (const char* name : {"blink", "aa", "happy", "surprised"}) {
    c.presets.emplace_back();
    c.presets.back().name = name;
  }
  c.presets[2].override_blink = kOverrideBlock;
  c.presets[2].override_mouth = kOverrideBlend;
  c.presets[3].binary = true;
  auto w = FaceExpressionWeights(c, {{"blink", 1}, {"aa", 0.8f}, {"happy", 0.25f}, {"surprised", 0.6f}});
  EXPECT_EQ(w["blink"], 0);
  EXPECT_NEAR(w["aa"], 0.6f, 1e-6);
  EXPECT_EQ(w["surprised"], 1);
  w = FaceExpressionWeights(c, {{"blink", 1}, {"aa", 0.8f}, {"surprised", 0.4f}});
  EXPECT_EQ(w["blink"], 1);
  EXPECT_NEAR(w["aa"], 0.8f, 1e-6);
  EXPECT_EQ(w["surprised"], 0);
}
