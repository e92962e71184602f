// GirlLoadSettings / GirlSaveSettings against a store in a temp folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "character/girl.h"
#include "character/girl_settings.h"
#include "kit/wav_fixture.h"
#include "store/user_defaults.h"
#include "uikit/uikit.h"

using wavtest::ReadFile;
using wavtest::TempDir;

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_ / "ovanta/defaults.json";
    UserDefaultsSetPath(file_.c_str());
    Initial();
    girlname = &field_;
  }
  void TearDown() override {
    girlname = nullptr;
    UserDefaultsSetPath(nullptr);
    Initial();
  }
  // The globals as a fresh process has them.
  static void Initial() {
    n_clothes = n_background = 1;
    n_hair = n_skin = n_sound_set = 0;
  }
  void Relaunch() {
    UserDefaultsForget();
    Initial();
    field_.setText("");
  }
  void Store(const std::string& json_text) {
    ASSERT_EQ(0, system(("mkdir -p '" + dir_.path() + "/ovanta'").c_str()));
    ASSERT_TRUE(wavtest::WriteFile(file_, std::vector<uint8_t>(json_text.begin(), json_text.end())));
    UserDefaultsForget();
  }
  TempDir dir_;
  std::string file_;
  UITextField field_;
};

}  // namespace

TEST_F(Settings, SavedChoicesComeBackUnderTheirKeys) {
  const std::string name = "Ана \xE2\x99\xA5 " + std::string(5000, 'n');
  field_.setText(name);
  n_skin = 3;
  n_clothes = 2;
  n_background = 0;  // not stored: it always follows the outfit
  n_sound_set = 1;
  n_hair = 2;
  ASSERT_TRUE(GirlSaveSettings());

  std::string text;
  ASSERT_TRUE(ReadFile(file_, &text));
  const nlohmann::json doc = nlohmann::json::parse(text);
  EXPECT_EQ((nlohmann::json{{"Ovanta_name", name},
                            {"Ovanta_skin_color", 3},
                            {"Ovanta_clothes", 2},
                            {"Ovanta_sound_set", 1},
                            {"Ovanta_hair", 2}}),
            doc);

  Relaunch();
  GirlLoadSettings();
  // Stored whole, read back cut to 32 characters (not bytes).
  EXPECT_EQ("Ана \xE2\x99\xA5 " + std::string(26, 'n'), field_.text());
  EXPECT_EQ((std::vector<int>{3, 2, 2, 1, 2}),
            (std::vector<int>{n_skin, n_clothes, n_background, n_sound_set, n_hair}));
}

TEST_F(Settings, StoredValuesAreRestoredWithinTheirChoices) {
  // A name alone: the missing choices read as 0, so the outfit is Pool.
  Store("{\"Ovanta_name\": \"Mia\"}");
  n_clothes = 1;
  GirlLoadSettings();
  EXPECT_EQ("Mia", field_.text());
  EXPECT_EQ(0, n_clothes);
  EXPECT_EQ(0, n_background);

  // A choice beyond the options, however far, is one of them, and the one
  // line about it names the choice she shows.
  for (const char* stored : {"5", "-1", "1099511627776", "-99999999999"}) {
    SCOPED_TRACE(stored);
    Store(std::string("{\"Ovanta_name\": \"\", \"Ovanta_clothes\": ") + stored + ", \"Ovanta_sound_set\": " + stored +
          "}");
    testing::internal::CaptureStderr();
    GirlLoadSettings();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("", field_.text()) << "an empty name is still a saved name";
    EXPECT_EQ(GirlChoiceIndex(n_clothes, kGirlOptionCount), n_clothes) << "what the scene loader shows";
    EXPECT_EQ(GirlChoiceIndex(n_sound_set, kGirlVoiceCount), n_sound_set) << "what the voice loader plays";
    EXPECT_EQ(2, std::count(err.begin(), err.end(), '\n')) << err;
    EXPECT_NE(std::string::npos, err.find(std::string("Ovanta_clothes is ") + stored + ",")) << err;
    EXPECT_NE(std::string::npos, err.find("; " + std::to_string(n_clothes) + " applies\nSettings: Ovanta_sound_set"))
        << err;
    EXPECT_NE(std::string::npos, err.find("; " + std::to_string(n_sound_set) + " applies\n")) << err;
  }
}

TEST_F(Settings, WithoutANameFieldTheStoredNameIsKept) {
  field_.setText("Kai");
  ASSERT_TRUE(GirlSaveSettings());
  girlname = nullptr;
  n_hair = 3;
  ASSERT_TRUE(GirlSaveSettings());
  girlname = &field_;
  Relaunch();
  GirlLoadSettings();
  EXPECT_EQ("Kai", field_.text());
  EXPECT_EQ(3, n_hair);
}

TEST_F(Settings, EveryKeyOfTheTableGetsItsDefaultForAWrongTypeWithOneLine) {
  for (size_t i = 0; i < kGirlIntSettingCount; ++i) {
    const GirlIntSetting& row = kGirlIntSettings[i];
    SCOPED_TRACE(row.key);
    Store(std::string("{\"") + row.key + "\": [2]}");
    testing::internal::CaptureStderr();
    EXPECT_EQ(row.fallback, GirlReadIntKey(row.key));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    EXPECT_NE(std::string::npos, err.find(row.key)) << err;
  }
}
