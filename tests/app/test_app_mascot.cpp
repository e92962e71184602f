// Desktop mode headless: she alone on a transparent surface (the trace's
// silhouette against the screenshot's alpha), picked up, dropped onto a
// window's top edge and the work area's bottom, carried along by the window
// she stands on; taps hit her pixels only; D and the settings switch turn
// it off and on, and the next start comes back to the desktop where she was.
#include <gtest/gtest.h>

#include <fstream>

#include "headless_run.h"

namespace {

int Alpha(const Picture& p, int x, int y) { return p.rgba[(static_cast<size_t>(y) * p.width + x) * 4 + 3]; }

TEST(MascotHeadless, SheStandsAloneOnTransparentPixelsAndHerSilhouetteIsTraced) {
  ScratchDir dir;
  const std::string shot = dir.file("alone.png");
  const HeadlessRun r = RunHeadless("tick 3\nshot " + shot + "\ntap 160 240\ntick\ntap 8 8\ntick\n", "--mascot");
  ASSERT_EQ(r.status, 0) << r.err;
  Picture p;
  ASSERT_TRUE(ReadPicture(shot, p));
  // The corners show the desktop; her middle is opaque.
  for (int x : {0, p.width - 1})
    for (int y : {0, p.height - 1}) EXPECT_EQ(Alpha(p, x, y), 0) << x << "," << y;
  EXPECT_EQ(Alpha(p, p.width / 2, p.height / 2), 255);
  // The trace's silhouette is the frame's: its area between the fully and the
  // at all opaque pixels, its box that of the visible ones.
  long full = 0, any = 0;
  int x0 = p.width, y0 = p.height, x1 = -1, y1 = -1;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const int a = Alpha(p, x, y);
      full += a == 255;
      if (a == 0) continue;
      ++any;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  const nlohmann::json& s = r.at(3)["silhouette"];
  EXPECT_EQ(r.at(3)["mascot"], 1);
  EXPECT_GE(s["area"].get<long>(), full);
  EXPECT_LE(s["area"].get<long>(), any);
  EXPECT_GT(full, p.width * p.height / 20) << "she is drawn";
  EXPECT_NEAR(s["x"].get<int>(), x0, 2);
  EXPECT_NEAR(s["y"].get<int>(), y0, 2);
  EXPECT_NEAR(s["x"].get<int>() + s["w"].get<int>(), x1 + 1, 2);
  EXPECT_NEAR(s["y"].get<int>() + s["h"].get<int>(), y1 + 1, 2);
  // Her window is her box and a little more.
  const nlohmann::json& place = r.at(3)["place"];
  EXPECT_GE(place["w"].get<int>(), s["w"].get<int>());
  EXPECT_LE(place["w"].get<int>(), s["w"].get<int>() + 40);
  EXPECT_LE(place["h"].get<int>(), s["h"].get<int>() + 40);
  // A tap on her answers; one on the transparent corner misses.
  const auto picks = r.of("pick");
  ASSERT_EQ(picks.size(), 2u);
  EXPECT_EQ(picks[0]["hit"], true);
  EXPECT_EQ(picks[1]["hit"], false);
}

TEST(MascotHeadless, DroppedSheLandsOnAWindowGoesWithItAndFallsWhenItCloses) {
  const HeadlessRun r = RunHeadless(
      "screen 0 0 1000 800\nunder box 100 500 400 200\ntick 2\n"
      "window 120 0\ntick 2\ndrop\ntick 60\n"  // 4: held; 5..64: the fall onto box
      "under box 140 450 400 200\ntick\n"      // 65: carried along
      "under box gone\ntick 60\n",             // 66..125: down to the bottom
      "--mascot");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto place = [&](long t) { return r.at(t)["place"]; };
  EXPECT_TRUE(HasFields(place(4), {{"pose", "held"}, {"x", 120}, {"y", 0}}));
  // The fall: down, a small bounce up, and she stands on box's top edge.
  int lowest = 0, highest_after_low = 10000;
  long landed = 0;
  for (long t = 5; t <= 64; ++t) {
    const int feet = place(t)["feet"][1].get<int>();
    EXPECT_LE(feet, 500) << "tick " << t;
    if (feet > lowest)
      lowest = feet, highest_after_low = 10000;
    else
      highest_after_low = std::min(highest_after_low, feet);
    if (!landed && place(t)["pose"] == "standing") landed = t;
  }
  EXPECT_EQ(lowest, 500);
  EXPECT_LT(highest_after_low, 500) << "a small bounce";
  ASSERT_GT(landed, 5);
  EXPECT_EQ(place(64)["on"], "box");
  EXPECT_EQ(place(64)["feet"][1], 500);
  EXPECT_EQ(place(65)["feet"][0].get<int>() - place(64)["feet"][0].get<int>(), 40);
  EXPECT_EQ(place(65)["feet"][1], 450);
  EXPECT_EQ(place(66)["pose"], "falling");
  EXPECT_TRUE(HasFields(place(125), {{"pose", "standing"}, {"on", ""}}));
  EXPECT_EQ(place(125)["feet"][1], 800);
}

TEST(MascotHeadless, DAndTheSettingsSwitchTurnItOffAndOnAndTheNextStartComesBack) {
  ScratchDir dir;
  const std::string store = "--defaults '" + dir.file("d.json") + "'";
  const HeadlessRun first = RunHeadless(
      "tick 2\nkey d\ntick\nscreen 0 0 1000 800\nwindow 300 100\ndrop\ntick 60\n"             // 3: on; 4..63: she lands
      "action settingsView\ntick 30\npress desktopSwitch\ntick\npress doneButton\ntick 30\n"  // 94: off
      "key d\ntick 5\n",                                                                      // on again
      store);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_FALSE(first.at(2).contains("silhouette"));
  EXPECT_EQ(first.at(63)["place"]["feet"][1], 800);
  for (const auto& [tick, mode] : std::vector<std::pair<long, int>>{{2, 0}, {3, 1}, {93, 1}, {94, 0}})
    EXPECT_EQ(first.at(tick)["mascot"], mode) << "tick " << tick;
  EXPECT_EQ(first.last()["mascot"], 1);
  const nlohmann::json feet = first.last()["place"]["feet"];
  // The next start: on the desktop, her feet where they were.
  const HeadlessRun second = RunHeadless("screen 0 0 1000 800\ntick 3\n", store);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.at(1)["mascot"], 1);
  EXPECT_EQ(second.last()["place"]["feet"], feet);
  // A normal run says the mode is off and nothing more.
  const HeadlessRun plain = RunHeadless("tick\n");
  EXPECT_EQ(plain.at(1)["mascot"], 0);
  EXPECT_FALSE(plain.at(1).contains("place"));
}

TEST(MascotHeadless, BadDesktopLinesAreReportedWithTheirLineNumbers) {
  const HeadlessRun r = RunHeadless("screen 0 0 0 800\nunder a 1 2 3\nwindow x 1\nmenu 1\nunder\ntick\n", "--mascot");
  EXPECT_EQ(r.status, 2);
  for (int line = 1; line <= 5; ++line) EXPECT_EQ(LinesWith(r.err, ":" + std::to_string(line) + ": usage"), 1) << r.err;
  EXPECT_EQ(r.ticks.size(), 1u);
}

}  // namespace

namespace {

// Her menu: open, it is part of what takes clicks; its items dance, mute,
// open the settings in the normal window (Done brings her back), leave the
// desktop and quit.
TEST(MascotHeadless, HerMenuDancesMutesOpensTheSettingsLeavesAndQuits) {
  const HeadlessRun r = RunHeadless(
      "tick 3\nmenu 150 200\ntick\npress menuDance\ntick\n"   // 4: open; 5: dancing
      "menu 150 200\npress menuSound\ntick\n"                 // 6: muted
      "menu 150 200\npress menuSettings\ntick 10\n"           // 7..16: the settings screen
      "press doneButton\ntick 20\n"                           // 17..36: back on the desktop
      "menu 150 200\npress menuDesktop\ntick\n"               // 37: the normal window
      "key d\ntick\nmenu 150 200\npress menuQuit\ntick 5\n",  // 38; then no more ticks
      "--mascot");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_GT(r.at(4)["silhouette"]["area"].get<long>(), r.at(3)["silhouette"]["area"].get<long>() * 5 / 4)
      << "the open menu is drawn with her";
  EXPECT_EQ(r.at(5)["continue_dancing"], 1);
  EXPECT_LT(r.at(5)["silhouette"]["area"].get<long>(), r.at(4)["silhouette"]["area"].get<long>()) << "it closed";
  EXPECT_EQ(r.at(6)["volume"], 0);
  EXPECT_TRUE(HasFields(r.at(16), {{"screen_update_disabled", true}, {"mascot", 1}}));
  EXPECT_EQ(r.at(36)["screen_update_disabled"], false);
  EXPECT_EQ(r.at(37)["mascot"], 0);
  EXPECT_EQ(r.at(38)["mascot"], 1);
  EXPECT_EQ(r.ticks.size(), 38u) << "Quit ends the run";
}

}  // namespace
