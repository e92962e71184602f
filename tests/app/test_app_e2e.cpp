// The app end to end: scripts through ovanta-headless on the generated
// bundle, checked against the trace it writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "headless_run.h"

namespace {

long FirstTickWithState(const HeadlessRun& r, int state, long from = 1) {
  for (long t = from; t <= static_cast<long>(r.ticks.size()); ++t)
    if (r.at(t)["state"] == state) return t;
  return 0;
}

// A run whose store lives in memory reloads on the first tick, greets in
// English on the fourth with the defaults of a fresh store, whatever the
// locale says. With a store, the first start (no settings file yet) is her
// first meeting, in the locale's language; the next start greets as every
// later one does.
TEST(AppStartup, ReloadsGreetsOnTheFourthFirstMeetsInTheLocalesLanguage) {
  ScratchDir dir;
  const std::string store = "--defaults '" + dir.file("d.json") + "'";
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(var);
  const char* was = std::getenv("LANG");
  const std::string lang = was ? was : "";
  setenv("LANG", "ru_RU.UTF-8", 1);
  const HeadlessRun first = RunHeadless("tick 5\n", store), second = RunHeadless("tick 5\n", store),
                    r = RunHeadless("tick 6\n");
  if (was)
    setenv("LANG", lang.c_str(), 1);
  else
    unsetenv("LANG");
  for (const HeadlessRun* run : {&first, &second, &r}) ASSERT_EQ(run->status, 0) << run->err;
  ASSERT_EQ(r.ticks.size(), 6u);
  ASSERT_EQ(r.of("reload").size(), 1u);
  EXPECT_EQ(r.of("reload")[0]["tick"], 1);
  ASSERT_EQ(r.of("sound").size(), 1u);
  EXPECT_TRUE(HasFields(r.of("sound")[0], {{"tick", 4}, {"slot", 1}, {"file", "login"}}));
  EXPECT_EQ(r.at(3)["current_sound"], -1);
  EXPECT_TRUE(HasFields(r.at(4), {{"current_sound", 1}, {"sound_is_played", true}}));
  EXPECT_TRUE(
      HasFields(r.at(1), {{"name", "Ovanta"}, {"n_clothes", 1}, {"n_hair", 0}, {"n_sound_set", 0}, {"state", 1}}));
  EXPECT_NEAR(r.at(1)["frame"].get<double>(), 1.001, 1e-4);
  EXPECT_NEAR(r.at(1)["v_dist"].get<double>(), 560.0, 1e-6);
  ASSERT_EQ(first.sounds(1).size(), 1u);
  EXPECT_EQ(first.sounds(1)[0]["file"], "r_hello");
  EXPECT_EQ(first.at(1)["n_sound_set"], 1);
  ASSERT_EQ(first.of("caption").size(), 1u);
  EXPECT_EQ(first.of("caption")[0]["lang"], "ru");
  ASSERT_EQ(second.sounds(1).size(), 1u);
  EXPECT_EQ(second.sounds(1)[0]["file"], "r_login");
}

// A tap outside the view is a miss, not a read.
TEST(AppTouch, TapOnHerSpeaksTapBesideHerOrOutsideTheViewDoesNot) {
  // Let the greeting finish first so the touch line is not queued behind it.
  const HeadlessRun r = RunHeadless("tick 150\ntap 160 250\ntick 1\ntap 20 60\ntick 1\ntap -50 9000\ntick 200\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto picks = r.of("pick");
  ASSERT_EQ(picks.size(), 3u);
  EXPECT_TRUE(HasFields(picks[0], {{"tick", 151}, {"hit", true}, {"x", 160}, {"y", 480 - 250}}));  // y from the bottom
  EXPECT_TRUE(HasFields(picks[1], {{"tick", 152}, {"hit", false}}));
  EXPECT_EQ(picks[2]["hit"], false);
  const auto touch_lines = r.sounds(2);
  ASSERT_EQ(touch_lines.size(), 1u) << "one hit, one touch line";
  EXPECT_GT(touch_lines[0]["tick"].get<long>(), 151);
  EXPECT_EQ(touch_lines[0]["file"], "touch");
  // Touches never start a clip.
  for (const auto& t : r.ticks) EXPECT_EQ(t["state"], 1);
}

TEST(AppDance, ButtonsStartChainAndStopAfterThePassStopWhileIdleOnlySwaps) {
  const HeadlessRun r = RunHeadless(
      "tick 2\n"
      "press danceButton2\n"  // hidden while idle: nothing
      "tick 1\n"
      "press danceButton\n"     // the real control, clicked where it is drawn
      "tick 1\n"                // tick 4: lead-in
      "tick 10\n"               // tick 14: the dance loop
      "tick 120\n"              // tick 134: second pass, still dancing
      "action onDanceButton\n"  // not idle: nothing at all
      "action onDanceStopButton\n"
      "tick 130\n"  // tick 264: idle again
      "action onDanceStopButton\ntick 2\npress danceButton\ntick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(HasFields(r.at(3), {{"state", 1}, {"continue_dancing", 0}}));
  EXPECT_TRUE(HasFields(r.at(4), {{"state", 3}, {"continue_dancing", 1}}));
  EXPECT_EQ(r.at(14)["state"], 4);
  EXPECT_EQ(r.at(134)["state"], 4) << "chained into another pass";
  EXPECT_EQ(r.at(135)["continue_dancing"], 0);
  // The pass in progress plays out, then the lead-out, then idle.
  const long out = FirstTickWithState(r, 5, 135);
  ASSERT_GT(out, 135);
  EXPECT_EQ(r.at(out - 1)["state"], 4);
  const long idle = FirstTickWithState(r, 1, out);
  ASSERT_GT(idle, out);
  EXPECT_LE(idle - out, 10);
  EXPECT_LT(r.at(idle)["frame"].get<double>(), 3.0);
  // Stop while idle only swaps the buttons: the dance button is up again and works.
  EXPECT_EQ(r.at(266)["state"], 1);
  EXPECT_EQ(r.at(267)["state"], 3);
}

TEST(AppShake, AJerkShakesHerATiltOrAJerkInTheSettingsDoesNot) {
  const HeadlessRun shaken = RunHeadless("tick 150\naccel 0 1 0\ntick 10\naccel 0 -1 0\ntick 250\n");
  ASSERT_EQ(shaken.status, 0) << shaken.err;
  const long t = FirstTickWithState(shaken, 2, 151);
  ASSERT_GT(t, 151);
  EXPECT_LE(t, 158);
  const auto line = shaken.sounds(3);
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(line[0]["file"], "shake");
  EXPECT_GT(FirstTickWithState(shaken, 1, t), t) << "back to idle after the reaction";

  // Neither a tilt nor a jerk while the settings are open (no samples reach her then).
  const HeadlessRun tilted = RunHeadless(
      "tick 150\naction menuView\naction settingsView\naccel 0 1 0\ntick 20\naccel 0 -1 0\ntick 40\n"
      "action backToMainView\ntick 20\naccel 0 0 -1\ntick 60\n");
  ASSERT_EQ(tilted.status, 0) << tilted.err;
  EXPECT_EQ(FirstTickWithState(tilted, 2), 0);
  EXPECT_TRUE(tilted.sounds(3).empty());
}

TEST(AppSettings, EachChoiceReloadsAndSchedulesTheLines) {
  const HeadlessRun r = RunHeadless(
      "tick 150\n"
      "action menuView\n"
      "press settingsButton\n"
      "tick 12\n"  // paused: the frame stands still
      "action onSetting\naction onButton2\n"
      "action onHairColor\naction onButton3\n"
      "action onEthnicity\naction onButton2\n"
      "action backToMainView\n"
      "tick 250\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.at(151)["screen_update_disabled"], true);
  EXPECT_EQ(r.at(151)["frame"], r.at(162)["frame"]);
  EXPECT_EQ(r.at(162)["n_clothes"], 1) << "nothing changes until the screen is left";
  const auto reloads = r.of("reload");
  ASSERT_EQ(reloads.size(), 2u);
  EXPECT_EQ(reloads[1]["tick"], 163);
  EXPECT_TRUE(HasFields(
      r.at(163), {{"n_clothes", 2}, {"n_hair", 3}, {"n_skin", 2}, {"screen_update_disabled", false}, {"state", 1}}));
  const auto setup = r.sounds(5);
  ASSERT_EQ(setup.size(), 1u);
  EXPECT_TRUE(HasFields(setup[0], {{"tick", 166}, {"file", "setup"}}));  // the fourth rendered tick after the return
  const auto remark = r.sounds(4);
  ASSERT_EQ(remark.size(), 1u);
  EXPECT_EQ(remark[0]["file"], "school");
  EXPECT_GT(remark[0]["tick"].get<long>(), 166);
}

TEST(AppSettings, DrivenByTheirButtonsEvenMidSlide) {
  const HeadlessRun r = RunHeadless(
      "tick 2\npress optionsButton\npress settingsButton\ntick 5\n"  // still sliding in
      "press opHair\npress opButton1\npress opButton4\npress doneButton\ntick 2\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.at(3)["screen_update_disabled"], true);
  EXPECT_TRUE(HasFields(r.last(), {{"screen_update_disabled", false}, {"n_hair", 1}}));
  ASSERT_EQ(r.of("reload").size(), 2u);
  EXPECT_EQ(r.of("reload")[1]["tick"], 8);
}

TEST(AppSettings, LanguageAndItsBlankButtons) {
  const HeadlessRun r = RunHeadless(
      "tick 150\naction menuView\naction settingsView\ntick 2\n"
      "action onLanguage\naction onButton3\naction onButton2\n"  // blank for the language: nothing
      "action onButton1\naction onButton4\naction backToMainView\ntick 40\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(HasFields(r.last(), {{"n_sound_set", 1}, {"n_clothes", 1}}));
  ASSERT_EQ(r.of("reload").size(), 2u);
  const auto setup = r.sounds(5);
  ASSERT_EQ(setup.size(), 1u);
  EXPECT_EQ(setup[0]["file"], "r_setup");
  EXPECT_TRUE(r.sounds(4).empty()) << "no outfit remark without a new outfit";
}

TEST(AppSettings, NoChangeAndNameOnlyReloadNothing) {
  ScratchDir dir;
  const std::string store = dir.file("d.json");
  const HeadlessRun r = RunHeadless(
      "tick 150\naction menuView\naction settingsView\ntick 2\naction backToMainView\ntick 20\n"
      "action settingsView\ntick 2\nname Mira Lee\naction onButton1\naction backToMainView\ntick 20\n",
      "--defaults '" + store + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.of("reload").size(), 1u);
  EXPECT_TRUE(r.sounds(5).empty());
  EXPECT_EQ(r.at(160)["name"], "Ovanta");
  EXPECT_EQ(r.last()["name"], "Mira Lee");
  std::ifstream in(store);
  const nlohmann::json saved = nlohmann::json::parse(in, nullptr, false);
  ASSERT_TRUE(saved.is_object());
  EXPECT_TRUE(HasFields(saved, {{"Ovanta_name", "Mira Lee"}, {"Ovanta_clothes", 1}}));
}

TEST(AppSettings, PersistAcrossTwoRuns) {
  ScratchDir dir;
  const std::string opts = "--defaults '" + dir.file("d.json") + "'";
  const HeadlessRun first = RunHeadless(
      "tick 2\naction menuView\naction settingsView\ntick 2\nname Zoe\n"
      "action onSetting\naction onButton3\naction onLanguage\naction onButton1\naction backToMainView\ntick 2\n",
      opts);
  ASSERT_EQ(first.status, 0) << first.err;
  const HeadlessRun second = RunHeadless("tick 1\n", opts);
  // A store named but missing is created, even by a run that saves nothing.
  ASSERT_EQ(RunHeadless("tick 1\n", "--defaults '" + dir.file("new.json") + "'").status, 0);
  EXPECT_TRUE(std::ifstream(dir.file("new.json")).good());
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_TRUE(HasFields(second.at(1), {{"name", "Zoe"}, {"n_clothes", 3}, {"n_sound_set", 1}}));
}

TEST(AppSettings, DamagedStoredChoicesComeIntoRange) {
  ScratchDir dir;
  std::ofstream(dir.file("d.json")) << R"({"Ovanta_name":"Ada","Ovanta_clothes":-1,"Ovanta_hair":-3,)"
                                       R"("Ovanta_skin_color":6,"Ovanta_sound_set":-1})";
  const HeadlessRun r = RunHeadless("tick 5\n", "--defaults '" + dir.file("d.json") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      HasFields(r.at(1), {{"name", "Ada"}, {"n_clothes", 3}, {"n_hair", 1}, {"n_skin", 2}, {"n_sound_set", 1}}));
  ASSERT_EQ(r.sounds(1).size(), 1u);
  EXPECT_EQ(r.sounds(1)[0]["file"], "r_login");
}

// A pan, then a pinch and a twist: each clamped, neither a tap.
TEST(AppCamera, PanAndPinchClampTwistTurnsTwiceADragIsNoTap) {
  const HeadlessRun r = RunHeadless(
      "tick 2\n"
      "touch began 160 300\ntouch moved 160 250\ntick 1\n"  // up 50 points
      "touch moved 160 -400\ntick 1\n"                      // far up: held at -30
      "touch moved 2000 900\ntick 1\n"                      // far right and down
      "touch ended 2000 900\ntick 1\n"
      "action onResetButton\ntick 1\n"
      "touch began 100 240 began 220 240\ntick 1\n"
      "touch moved 155 240 moved 165 240\ntick 1\n"  // spread 120 -> 10: held at 600
      "touch moved 10 240 moved 310 240\ntick 1\n"   // spread 300: held at 150
      "touch ended 10 240 ended 310 240\ntick 1\n"
      "touch began 100 240 began 220 240\ntick 1\n"
      // The line between the fingers turned by 45 degrees, spread kept.
      "touch moved 117.57 197.57 moved 202.43 282.43\ntick 1\n"
      "touch ended 117.57 197.57 ended 202.43 282.43\ntick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NEAR(r.at(3)["v_pan"][1].get<double>(), -150.0, 1e-4);
  EXPECT_EQ(r.at(3)["v_mode"], 5);
  EXPECT_NEAR(r.at(4)["v_pan"][1].get<double>(), -30.0, 1e-4);
  EXPECT_NEAR(r.at(5)["v_pan"][0].get<double>(), 200.0, 1e-4);
  EXPECT_NEAR(r.at(5)["v_pan"][1].get<double>(), -400.0, 1e-4);
  EXPECT_EQ(r.at(6)["v_mode"], 0);
  EXPECT_NEAR(r.at(7)["v_pan"][0].get<double>(), 0.0, 1e-6);
  EXPECT_NEAR(r.at(7)["v_pan"][1].get<double>(), -200.0, 1e-6);
  EXPECT_EQ(r.at(8)["v_mode"], 3);
  EXPECT_NEAR(r.at(9)["v_dist"].get<double>(), 600.0, 1e-3);
  EXPECT_NEAR(r.at(10)["v_dist"].get<double>(), 150.0, 1e-3);
  EXPECT_EQ(r.at(11)["v_mode"], 0);
  EXPECT_NEAR(std::fabs(r.at(13)["v_angle"].get<double>()), 90.0, 1.5);
  EXPECT_NEAR(r.at(13)["v_dist"].get<double>(), 150.0, 3.0);
  EXPECT_TRUE(r.of("pick").empty());
}

TEST(AppScript, MalformedLinesAreReportedAndSkipped) {
  const HeadlessRun r = RunHeadless(
      "tick 1\n"
      "tick zero\n"
      "touch began 1\n"
      "touch wiggle 1 2\n"
      "accel 1 nan 2\n"
      "tap 1e400 3\n"
      "action noSuchAction\n"
      "press noSuchButton\n"
      "frobnicate\n"
      "tick -5\n"
      "# a comment\n"
      "   \n"
      "tick 1 # trailing comment\n"
      "key hyper\n"
      "key ctrl+\n"
      "point 1\n" +
      std::string("frob\0nicate\n", 12));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.ticks.size(), 2u) << "the good lines still ran";
  EXPECT_NE(r.err.find("script.txt:17: unknown command 'frob\\x00nicate'\n"), std::string::npos) << r.err;
  for (int line : {2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15, 16})
    EXPECT_NE(r.err.find("script.txt:" + std::to_string(line) + ":"), std::string::npos) << "line " << line;
  EXPECT_EQ(r.err.find("script.txt:11:"), std::string::npos);
  EXPECT_EQ(r.err.find("script.txt:13:"), std::string::npos);
}

}  // namespace
