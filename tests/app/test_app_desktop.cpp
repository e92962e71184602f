// Desktop use end to end through ovanta-headless: the button bar after the
// settings, the option boxes that exist, Esc and Ctrl+Q, the help overlay
// and hover, and the name field's limit and characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless_run.h"
#include "surface/EAGLView.h"
#include "uikit/utf8.h"

namespace {

using Names = std::vector<std::string>;
const Names kMainBar{"optionsButton", "danceButton", "resetButton"};
const Names kMenuBar{"backButton", "settingsButton"};

Names Buttons(const HeadlessRun& r, long tick) { return r.at(tick)["buttons"].get<Names>(); }

// Mean absolute difference of two frames inside a rectangle of points.
double RegionDiff(const std::string& a, const std::string& b, int x0, int y0, int x1, int y1) {
  Picture fa, fb;
  if (!ReadPicture(a, fa) || !ReadPicture(b, fb)) return -1;
  const std::vector<uint8_t>& pa = fa.rgba;
  const std::vector<uint8_t>& pb = fb.rgba;
  const int w = fa.width;
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) sum += std::abs(pa[(y * w + x) * 4 + c] - pb[(y * w + x) * 4 + c]);
  return sum / ((x1 - x0) * (y1 - y0) * 3);
}

TEST(AppDesktop, ReturningWithAReloadBringsTheMainBarSoTheGearStaysTheGear) {
  // A changed outfit, Done, the reload, then a click where the gear was drawn.
  const HeadlessRun r = RunHeadless(
      "tick 2\npress optionsButton\npress settingsButton\ntick 10\npress opSetting\npress opButton2\ntick 1\n"
      "press doneButton\ntick 12\n"                                                // 25: reloaded
      "press settingsButton\ntick 1\n"                                             // 26: hidden, nothing
      "press optionsButton\npress settingsButton\ntick 1\n"                        // 27: the gear opens the settings
      "action onLanguage\ntick 1\naction onSetting\naction onNameEntry\ntick 1\n"  // 28, 29
      "press doneButton\ntick 1\n");                                               // 30: nothing changed
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Buttons(r, 2), kMainBar);
  EXPECT_EQ(Buttons(r, 13), (Names{"opCharacter", "opDance", "opSetting", "opHair", "opEthnicity", "opLanguage",
                                   "opButton0", "opButton1", "opButton2", "opButton3", "volumeButton", "captionsSwitch",
                                   "desktopSwitch", "doneButton"}));
  EXPECT_EQ(Buttons(r, 25), kMainBar) << "a pending reload brings the main bar, as mainView does";
  EXPECT_TRUE(HasFields(r.at(26), {{"state", 1}, {"continue_dancing", 0}}));
  EXPECT_EQ(r.at(27)["screen_update_disabled"], true);
  // Only options that exist have boxes: two voices, none while the name is
  // edited. Sound, captions and desktop mode are always there.
  EXPECT_EQ(Buttons(r, 28),
            (Names{"opCharacter", "opDance", "opSetting", "opHair", "opEthnicity", "opLanguage", "opButton0",
                   "opButton1", "volumeButton", "captionsSwitch", "desktopSwitch", "doneButton"}));
  EXPECT_EQ(Buttons(r, 29), (Names{"opCharacter", "opDance", "opSetting", "opHair", "opEthnicity", "opLanguage",
                                   "volumeButton", "captionsSwitch", "desktopSwitch", "doneButton"}));
  EXPECT_EQ(Buttons(r, 30), kMenuBar) << "without a reload the menu bar stays up";
}

TEST(AppDesktop, EscapeBacksOutEndsAnEditAndCtrlQQuits) {
  const HeadlessRun r = RunHeadless(
      "tick 1\nkey escape\ntick 1\n"               // 2: nothing to back out of
      "press optionsButton\nkey escape\ntick 1\n"  // 3: the menu bar goes down
      "press optionsButton\npress settingsButton\ntick 9\nname Мира\n"
      "press tvName\nkey backspace\nkey escape\ntick 1\n"  // 13: the edit ends, the text stays
      "key escape\ntick 1\n"                               // 14: as Done
      "key ctrl+q\ntick 5\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.ticks.size(), 14u) << "Ctrl+Q ends the run";
  EXPECT_EQ(Buttons(r, 2), kMainBar);
  EXPECT_EQ(Buttons(r, 3), kMainBar);
  EXPECT_EQ(r.at(13)["screen_update_disabled"], true);
  EXPECT_TRUE(HasFields(r.at(14), {{"screen_update_disabled", false}, {"name", "Мир"}}));
  EXPECT_EQ(Buttons(r, 14), kMenuBar);
}

TEST(AppDesktop, HelpTakesTheNextKeyOrClickAndButtonsLightUpUnderThePointer) {
  ScratchDir dir;
  const std::string plain = dir.file("plain.png"), hover = dir.file("hover.png"), help = dir.file("help.png");
  const HeadlessRun r = RunHeadless("tick 3\nshot " + plain + "\npoint 160 441\ntick 1\nshot " + hover +
                                    "\npoint none\n"
                                    "key f1\ntick 1\nshot " +
                                    help +
                                    "\n"                                                 // 5
                                    "press optionsButton\ntick 1\n"                      // 6: only the help goes
                                    "press optionsButton\nkey f1\nkey escape\ntick 1\n"  // 7: the menu stays up
                                    "key escape\ntick 1\n");                             // 8
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_GT(RegionDiff(plain, hover, 136, 416, 184, 464), 8.0) << "the dance button under the pointer";
  EXPECT_LT(RegionDiff(plain, hover, 256, 416, 304, 464), 1.0) << "the reset button beside it";
  EXPECT_GT(RegionDiff(plain, help, 0, 0, 320, 480), 30.0) << "the help covers the view";
  EXPECT_EQ(Buttons(r, 6), kMainBar);
  EXPECT_EQ(Buttons(r, 7), kMenuBar);
  EXPECT_EQ(Buttons(r, 8), kMainBar);
}

TEST(AppDesktop, ANameKeepsWhatWasTypedUpToItsLimit) {
  // 20 Cyrillic, 10 Greek, a character beyond 16 bits and more: 34 characters.
  const std::string typed =
      "АБВГДЕЖЗИЙКЛМНОПРСТ"
      "αβγδεζηθικ"
      "\xF0\x9F\x98\x80"
      "xyz";
  const HeadlessRun r = RunHeadless("tick 1\naction settingsView\nname " + typed + "\naction backToMainView\ntick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string name = r.last()["name"];
  EXPECT_EQ(Utf8Count(name), 32u);
  EXPECT_EQ(name, Utf8Head(typed, 32)) << "the emoji is kept as typed, not replaced";
}

}  // namespace
