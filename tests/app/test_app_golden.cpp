// Frames of the app, interface included, against stored pictures rendered by
// ovanta-headless on Mesa's llvmpipe. OVANTA_UPDATE_GOLDEN=1 rewrites them.
// RunHeadless draws every frame once more through our ES 1.1 translation
// and holds it to the driver's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "headless_run.h"

namespace {

TEST(AppGolden, MainSettingsDanceAndCulling) {
  ScratchDir dir;
  const HeadlessRun r = RunHeadless("tick 5\nshot " + dir.file("main.png") +
                                    "\n"
                                    "action menuView\ntick 1\nshot " +
                                    dir.file("menu.png") +
                                    "\n"
                                    "action settingsView\ntick 4\nshot " +
                                    dir.file("slide.png") +
                                    "\n"
                                    "tick 8\naction onHairColor\naction onButton3\ntick 1\nshot " +
                                    dir.file("settings.png") +
                                    "\n"
                                    "action backToMainView\ntick 12\naction mainView\n"
                                    "touch began 100 240 began 220 240\ntouch moved 117.57 197.57 moved 202.43 282.43\n"
                                    "touch ended 117.57 197.57 ended 202.43 282.43\n"
                                    "action onDanceButton\ntick 40\nshot " +
                                    dir.file("dance.png") +
                                    "\n"
                                    "action onCullButton\ntick 1\nshot " +
                                    dir.file("culled.png") + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectLikeGolden(dir.file("main.png"), "main.png");
  ExpectLikeGolden(dir.file("menu.png"), "menu.png");
  ExpectLikeGolden(dir.file("slide.png"), "settings_slide.png");
  ExpectLikeGolden(dir.file("settings.png"), "settings.png");
  ExpectLikeGolden(dir.file("dance.png"), "dance_turned.png");
  // Culling on hides back faces the default draws: the frames differ.
  EXPECT_GT(testkit::Difference(dir.file("dance.png"), dir.file("culled.png")).mean, 0.0);
}

// A name in Cyrillic and Greek, with a character the font lacks (one box
// stands for it), over the scene.
TEST(AppGolden, CyrillicName) {
  ScratchDir dir;
  const HeadlessRun r = RunHeadless(
      "action settingsView\nname Настенька Ωμέγα \xF0\x9F\x98\x80\naction backToMainView\n"
      "tick 12\nshot " +
      dir.file("name.png") + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectLikeGolden(dir.file("name.png"), "main_cyrillic.png");
}

TEST(AppGolden, ScreenshotsAreDeterministic) {
  ScratchDir dir;
  const std::string script = "tick 7\ntap 160 250\ntick 3\nshot ";
  ASSERT_EQ(RunHeadless(script + dir.file("a.png") + "\n").status, 0);
  ASSERT_EQ(RunHeadless(script + dir.file("b.png") + "\n").status, 0);
  const testkit::FrameDifference d = testkit::Difference(dir.file("a.png"), dir.file("b.png"));
  EXPECT_TRUE(d.comparable);
  EXPECT_EQ(d.worst, 0);
}

// Drawing only what changed against drawing everything: every frame of a
// run through the four rooms, taps, the pointer, a turn and a pinch of the
// camera, the dance, a shake, the help and the settings screen must be the
// same pixels either way.
TEST(AppGolden, RedrawingWhatChangedGivesEveryFrameWhole) {
  std::string script;
  int shots = 0;
  auto ticks = [&](int n) {
    for (int i = 0; i < n; ++i) script += "tick\nshot DIR/" + std::to_string(++shots) + ".png\n";
  };
  auto room = [&](int k) {
    script += "action menuView\naction settingsView\n";
    ticks(2);
    script += "action onSetting\naction onButton" + std::to_string(k) + "\naction backToMainView\n";
  };
  ticks(12);
  script += "point 160 240\n";
  ticks(3);
  script += "point 40 440\n";
  ticks(2);
  script += "point none\ntap 160 200\n";
  ticks(8);
  script += "touch began 100 300\n";
  ticks(1);
  script += "touch moved 150 310\n";
  ticks(1);
  script += "touch ended 150 310\n";
  ticks(2);
  script += "press danceButton\n";
  ticks(30);
  script += "accel 0.6 -1 0\n";
  ticks(2);
  script += "accel 0 -1 0\nkey ?\n";
  ticks(3);
  script += "key escape\n";
  ticks(2);
  for (int k : {0, 3, 2}) {
    room(k);
    ticks(10);
  }
  script += "touch began 150 200 began 170 260\n";
  ticks(1);
  script += "touch moved 120 150 moved 200 320\n";
  ticks(1);
  script += "touch ended 120 150 ended 200 320\n";
  ticks(6);
  ExpectRedrawnWhole(script);
}

// A reload keeps textures and decoded pictures that did not change, and the
// backdrop's textures for later: her look after two changes that bring back
// the first backdrop, skin and hair mask must come out as after two changes
// through looks that share none of them, pixel for pixel and trace for trace.
TEST(AppGolden, AReloadKeepingPicturesDrawsAsOneMakingThemAnew) {
  ScratchDir dir;
  auto change = [](int outfit, int hair, int skin) {
    return "action settingsView\naction onSetting\naction onButton" + std::to_string(outfit) +
           "\naction onHairColor\naction onButton" + std::to_string(hair) + "\naction onEthnicity\naction onButton" +
           std::to_string(skin) + "\naction backToMainView\ntick 1\n";
  };
  auto run = [&](const std::string& name, int outfit, int hair, int skin, const std::string& between) {
    const std::string store = dir.file(name + ".json");
    const std::string json = "{\"Ovanta_name\":\"Mia\",\"Ovanta_clothes\":" + std::to_string(outfit) +
                             ",\"Ovanta_hair\":" + std::to_string(hair) +
                             ",\"Ovanta_skin_color\":" + std::to_string(skin) + "}";
    testkit::WriteFileBytes(store, std::vector<uint8_t>(json.begin(), json.end()));
    return RunHeadless("tick 1\n" + between + change(0, 3, 0) + "tick 9\nshot " + dir.file(name + ".png") + "\n",
                       "--defaults '" + store + "'");
  };
  const HeadlessRun kept = run("kept", 0, 0, 0, change(2, 0, 0));
  const HeadlessRun anew = run("anew", 1, 1, 1, change(3, 2, 2));
  ASSERT_EQ(kept.status, 0) << kept.err;
  ASSERT_EQ(anew.status, 0) << anew.err;
  ASSERT_EQ(kept.of("reload").size(), 3u);
  EXPECT_EQ(kept.last(), anew.last());
  const testkit::FrameDifference d = testkit::Difference(dir.file("kept.png"), dir.file("anew.png"));
  EXPECT_TRUE(d.comparable);
  EXPECT_EQ(d.worst, 0);
}

}  // namespace

// Drawn two pixels a point (as in a window with room for it) she is the same
// picture, finer: averaged down it matches the stored frame, the interface
// uses its double-size artwork, and a tap still picks the pixel under it.
TEST(AppGolden, TwoPixelsAPoint) {
  ScratchDir dir;
  const HeadlessRun r = RunHeadless("tick 5\nshot " + dir.file("main2.png") +
                                        "\ntap 160 200\ntick 2\ntap 20 100\ntick 2\ntap 300 130\ntick 2\n"
                                        "action settingsView\ntick 12\naction onHairColor\naction onButton3\ntick 1\n"
                                        "shot " +
                                        dir.file("settings2.png") + "\n",
                                    "--scale 2");
  ASSERT_EQ(r.status, 0) << r.err;
  Picture main2;
  ASSERT_TRUE(ReadPicture(dir.file("main2.png"), main2));
  EXPECT_EQ(main2.width, 640);
  EXPECT_EQ(main2.height, 960);
  testkit::FrameDifference d = testkit::Difference(dir.file("main2.png"), Golden("main.png"));
  EXPECT_LT(d.mean, 2.6);  // mostly edges, which a finer grid draws a little apart
  EXPECT_LT(d.shareOver48, 0.012);
  // Text and artwork keep their size in points.
  d = testkit::Difference(dir.file("settings2.png"), Golden("settings.png"));
  EXPECT_LT(d.mean, 1.5);
  EXPECT_LT(d.shareOver48, 0.003);
  const auto picks = r.of("pick");
  ASSERT_EQ(picks.size(), 3u);
  EXPECT_EQ(picks[0]["hit"], true);   // her chest
  EXPECT_EQ(picks[1]["hit"], false);  // the wall beside her
  EXPECT_EQ(picks[2]["hit"], false);  // the wall up right, whose point
                                      // numbers read as pixels fall on her
}

// Which GL ES 1.1 draws: --gl, else OVANTA_GL, else the driver's; a value
// that is neither es1, es2 nor auto is a usage error, as is a scale outside
// its range.
TEST(AppGolden, GlChoiceComesFromTheFlagThenTheEnvironmentBadScaleRefused) {
  for (const char* bad : {"0", "9", "abc", "nan"}) {
    const HeadlessRun r = RunHeadless("tick 1\n", std::string("--scale ") + bad);
    EXPECT_EQ(r.status, 64) << bad;
    EXPECT_NE(r.err.find("--scale wants a number from 1 to 4"), std::string::npos) << r.err;
  }
  const HeadlessRun bad = RunHeadless("tick 1\n", "--gl es3");
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.err.find("[--gl es1|es2]"), std::string::npos) << bad.err;
  ScratchDir dir;
  const std::string script = dir.file("script.txt");
  testkit::WriteFileBytes(script, {'t', 'i', 'c', 'k', '\n'});
  auto status = [&](const std::string& env, const std::string& flag) {
    return RunProgram("OVANTA_GL=" + env + " " + HeadlessCommand() + flag + " '" + script + "'").status;
  };
  EXPECT_EQ(status("es3", ""), 64);
  EXPECT_EQ(status("es3", "--gl es2"), 0);  // the flag wins
  EXPECT_EQ(status("es2", ""), 0);
}
