// Dances added from VRM animations, end to end through ovanta-headless:
// --dance plays one (her own dance written by the generator plays as hers,
// on her and on her VRM export), the trace names it last on every line, a
// refused file is one line and status 65 with nothing written, and one
// dropped is added, stored, and chosen again at the next launch.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "headless_run.h"
#include "kit/vrm_builder.h"
#include "rig/girl_clips.h"
#include "vrm/characters.h"

namespace {

class AppDance : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_DATA_HOME", data_.path().c_str(), 1); }
  void TearDown() override { unsetenv("XDG_DATA_HOME"); }
  ScratchDir data_;
};

std::string Export(const char* name) { return std::string(OVANTA_VRM_EXPORTS) + "/" + name; }

std::string IdOf(const std::string& path) {
  const std::vector<uint8_t> b = testkit::ReadFileBytes(path);
  return vrm::CharacterId(b.data(), b.size());
}

// Her dance, as the generator wrote it, on her and on her VRM export: the
// added frames play, the trace ends every line with the dance's ID, and
// mid-dance she looks as she does dancing her own.
TEST_F(AppDance, HerWrittenDancePlaysAsHersAndTheTraceNamesIt) {
  ScratchDir dir;
  const std::string file = Export("ovanta-dance.vrma"), id = IdOf(file);
  const std::string script = "tick 3\npress danceButton\ntick 70\nshot " + dir.file("SHOT") + "\ntick 2\n";
  struct Case {
    const char* shot;
    std::string args;
  };
  const Case cases[] = {{"hers.png", ""},
                        {"added.png", "--dance '" + file + "'"},
                        {"export_hers.png", "--character '" + Export("ovanta-1.0.vrm") + "'"},
                        {"export_added.png", "--character '" + Export("ovanta-1.0.vrm") + "' --dance '" + file + "'"}};
  for (const Case& c : cases) {
    std::string s = script;
    s.replace(s.find("SHOT"), 4, c.shot);
    testkit::WriteFileBytes(dir.file("script.txt"), std::vector<uint8_t>(s.begin(), s.end()));
    const ProgramRun r = RunProgram(HeadlessCommand() + c.args + " --trace '" + dir.file("t.jsonl") + "' '" +
                                    dir.file("script.txt") + "'");
    ASSERT_EQ(r.status, 0) << c.shot << ": " << r.err;
    const std::vector<uint8_t> bytes = testkit::ReadFileBytes(dir.file("t.jsonl"));
    const std::string trace(bytes.begin(), bytes.end());
    const bool added = c.args.find("--dance") != std::string::npos;
    const std::string last = ",\"dance\":\"" + std::string(added ? id : "") + "\"}\n";
    size_t lines = 0, dancing = 0;
    for (size_t at = 0, end; (end = trace.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = trace.substr(at, end + 1 - at);
      const nlohmann::json j = nlohmann::json::parse(line);
      if (!j.contains("state")) continue;  // an event
      ++lines;
      EXPECT_EQ(line.substr(line.size() - std::min(line.size(), last.size())), last) << c.shot;
      if (j["state"] == ANIM_DANCE) {
        ++dancing;
        // The added frames lie past her own timeline; the music plays.
        EXPECT_EQ(j["frame"].get<double>() >= kGirlFrameCount, added) << c.shot;
        EXPECT_EQ(j["music"], true) << c.shot;
      }
    }
    EXPECT_EQ(lines, 75u) << c.shot;
    EXPECT_GT(dancing, 50u) << c.shot;
  }
  // Her hair tails and soft parts are no humanoid bones: they idle in the
  // added dance, which the bounds allow for.
  for (const char* who : {"", "export_"}) {
    const testkit::FrameDifference d =
        testkit::Difference(dir.file(std::string(who) + "hers.png"), dir.file(std::string(who) + "added.png"));
    EXPECT_TRUE(d.comparable);
    EXPECT_LT(d.mean, 2.0) << who;
    EXPECT_LT(d.shareOver48, 0.02) << who;
  }
}

TEST_F(AppDance, RefusedFilesExit65WritingNothing) {
  ScratchDir dir;
  const std::vector<uint8_t> whole = testkit::ReadFileBytes(Export("ovanta-dance.vrma"));
  testkit::WriteFileBytes(dir.file("cut.vrma"), std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
  testkit::WriteFileBytes(dir.file("model.vrma"), testkit::ReadFileBytes(Export("ovanta-1.0.vrm")));
  for (const char* name : {"cut.vrma", "model.vrma"}) {
    const ProgramRun r = RunProgram("echo 'tick 2' | " + HeadlessCommand() + "--defaults '" + dir.file("d.json") +
                                    "' --trace '" + dir.file("t.jsonl") + "' --dance '" + dir.file(name) + "' -");
    EXPECT_EQ(r.status, 65) << name;
    EXPECT_EQ(r.err.rfind("ovanta-headless: " + dir.file(name) + ": ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  struct stat st;
  EXPECT_NE(stat(dir.file("d.json").c_str(), &st), 0) << "no settings written";
  EXPECT_NE(stat(dir.file("t.jsonl").c_str(), &st), 0) << "no trace written";
  EXPECT_NE(stat(data_.file("ovanta").c_str(), &st), 0) << "no dance stored";
  const ProgramRun missing = RunProgram("echo 'tick 2' | " + HeadlessCommand() + "--dance 0123456789abcdef -");
  EXPECT_EQ(missing.status, 66) << missing.err;
}

// A dance dropped on the window is added and chosen (stored); a bad one is
// one line, the choice kept; the next launch dances the stored one; --dance
// picks one by its ID; the settings' Dance key goes round to hers, chosen
// and stored with Done.
TEST_F(AppDance, DroppedAddedStoredAndChosenAgain) {
  ScratchDir dir;
  const std::vector<uint8_t> few = testkit::TinyVrma({"leftUpperArm", "rightUpperArm"}, 80).Finish();
  testkit::WriteFileBytes(dir.file("wave.vrma"), few);
  testkit::WriteFileBytes(dir.file("bad.vrma"), {'h', 'e', 'l', 'l', 'o'});
  const std::string id = vrm::CharacterId(few.data(), few.size());
  const std::string defaults = "--defaults '" + dir.file("d.json") + "'";
  const HeadlessRun dropped = RunHeadlessOnce(
      "tick 2\ndrop " + dir.file("wave.vrma") + "\ntick 2\ndrop " + dir.file("bad.vrma") + "\ntick 2\n", defaults);
  ASSERT_EQ(dropped.status, 0) << dropped.err;
  EXPECT_EQ(dropped.at(2)["dance"], "");
  EXPECT_EQ(dropped.at(3)["dance"], id);
  EXPECT_EQ(dropped.last()["dance"], id);
  EXPECT_EQ(LinesWith(dropped.err, dir.file("bad.vrma") + ": "), 1) << dropped.err;
  const std::vector<uint8_t> store = testkit::ReadFileBytes(dir.file("d.json"));
  EXPECT_EQ(nlohmann::json::parse(store.begin(), store.end())["Ovanta_dance"], id);
  struct stat st;
  EXPECT_EQ(stat(data_.file("ovanta/dances/" + id + "/dance.vrma").c_str(), &st), 0);

  const HeadlessRun again = RunHeadlessOnce("tick 3\npress danceButton\ntick 40\n", defaults);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.at(1)["dance"], id);
  EXPECT_GE(again.last()["frame"].get<double>(), kGirlFrameCount);
  const HeadlessRun byId = RunHeadlessOnce("tick 1\n", "--dance " + id);
  EXPECT_EQ(byId.last()["dance"], id) << byId.err;

  const HeadlessRun round =
      RunHeadlessOnce("action settingsView\ntick 12\npress opDance\ntick 2\npress doneButton\ntick 12\n", defaults);
  ASSERT_EQ(round.status, 0) << round.err;
  EXPECT_EQ(round.at(14)["dance"], id) << "chosen with Done";
  EXPECT_EQ(round.last()["dance"], "");
  const std::vector<uint8_t> after = testkit::ReadFileBytes(dir.file("d.json"));
  EXPECT_EQ(nlohmann::json::parse(after.begin(), after.end())["Ovanta_dance"], "");
}

// An expression track of the file shows on her face while the dance
// plays (her lids shut with its blink), and not before or after; the music
// fades over the added lead-out and ends with it.
TEST_F(AppDance, ItsExpressionTracksShowWhileItPlays) {
  ScratchDir dir;
  vrm::GlbBuilder g = testkit::TinyVrma({"head"});
  g.json["nodes"].push_back({{"name", "blink"}});
  const int node = (int)g.json["nodes"].size() - 1;
  g.json["extensions"]["VRMC_vrm_animation"]["expressions"] = {{"preset", {{"blink", {{"node", node}}}}}};
  nlohmann::json& anim = g.json["animations"][0];
  anim["samplers"].push_back(
      {{"input", anim["samplers"][0]["input"]}, {"output", g.Floats({1, 0, 0, 1, 0, 0, 1, 0, 0}, "VEC3")}});
  anim["channels"].push_back(
      {{"sampler", anim["samplers"].size() - 1}, {"target", {{"node", node}, {"path", "translation"}}}});
  testkit::WriteFileBytes(dir.file("shut.vrma"), g.Finish());
  const HeadlessRun r = RunHeadlessOnce("tick 3\npress danceButton\ntick 40\npress danceButton2\ntick 60\n",
                                        "--dance '" + dir.file("shut.vrma") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  // The face is made before a tick's clip advances: ticks whose clip was
  // the dance when it began and still is after.
  int shut = 0;
  for (size_t k = 1; k < r.ticks.size(); ++k) {
    const nlohmann::json &was = r.ticks[k - 1], &t = r.ticks[k];
    if (was["state"] == ANIM_DANCE && t["state"] == ANIM_DANCE) {
      EXPECT_EQ(t["blink"], 1.0) << t["tick"];
      EXPECT_EQ(t["expression"][1], 1.0) << t["tick"];
      ++shut;
    } else if (was["state"] == ANIM_IDLE && t["state"] == ANIM_IDLE) {
      EXPECT_LT(t["blink"].get<double>(), 1.0) << t["tick"];
    }
  }
  EXPECT_GT(shut, 20);
  long out_last = 0, out_ticks = 0;
  for (size_t k = 1; k < r.ticks.size(); ++k)
    if (r.ticks[k - 1]["state"] == ANIM_DANCE_OUT && r.ticks[k]["state"] == ANIM_DANCE_OUT) {
      EXPECT_LT(r.ticks[k]["music_gain"], r.ticks[k - 1]["music_gain"]) << r.ticks[k]["tick"];
      out_last = r.ticks[k]["tick"];
      ++out_ticks;
    }
  EXPECT_GT(out_ticks, 4);
  ASSERT_GT(out_last, 0);
  EXPECT_EQ(r.at(out_last + 2)["music"], false);
}

}  // namespace
