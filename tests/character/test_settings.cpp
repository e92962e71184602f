// GirlLoadSettings / GirlSaveSettings against a store in a temp folder.
#include <gtest/gtest.h>

#include <climits>
#include <nlohmann/json.hpp>

#include "character/girl.h"
#include "character/girl_settings.h"
#include "platform/uikit.h"
#include "platform/user_defaults.h"
#include "platform/wav_fixture.h"

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

TEST_F(Settings, FirstLaunchShowsTheDefaults) {
  field_.setText("left over");
  GirlLoadSettings();
  EXPECT_EQ("Ovanta", field_.text());
  EXPECT_EQ(1, n_clothes);
  EXPECT_EQ(1, n_background);
  EXPECT_EQ(0, n_hair);
  EXPECT_EQ(0, n_skin);
  EXPECT_EQ(0, n_sound_set);
}

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
  EXPECT_EQ(name, field_.text());
  EXPECT_EQ(3, n_skin);
  EXPECT_EQ(2, n_clothes);
  EXPECT_EQ(2, n_background);
  EXPECT_EQ(1, n_sound_set);
  EXPECT_EQ(2, n_hair);
}

TEST_F(Settings, StoredValuesAreRestoredAsTheyAre) {
  // A name alone: the missing choices read as 0, so the outfit is Pool.
  Store("{\"Ovanta_name\": \"Mia\"}");
  n_clothes = 1;
  GirlLoadSettings();
  EXPECT_EQ("Mia", field_.text());
  EXPECT_EQ(0, n_clothes);
  EXPECT_EQ(0, n_background);

  // Out of range values are left to the loaders, which reduce them.
  Store("{\"Ovanta_name\": \"\", \"Ovanta_clothes\": 5, \"Ovanta_hair\": -3,"
        " \"Ovanta_skin_color\": 99999999999, \"Ovanta_sound_set\": -99999999999}");
  GirlLoadSettings();
  EXPECT_EQ("", field_.text()) << "an empty name is still a saved name";
  EXPECT_EQ(5, n_clothes);
  EXPECT_EQ(1, GirlChoiceIndex(n_clothes, kGirlOptionCount));
  EXPECT_EQ(-3, n_hair);
  EXPECT_EQ(1, GirlChoiceIndex(n_hair, kGirlOptionCount));
  EXPECT_EQ(INT_MAX, n_skin);
  EXPECT_EQ(INT_MIN, n_sound_set);
  EXPECT_EQ(0, GirlChoiceIndex(n_sound_set, 2));

  // Integers without a name are not settings.
  Store("{\"Ovanta_clothes\": 3}");
  Initial();
  GirlLoadSettings();
  EXPECT_EQ("Ovanta", field_.text());
  EXPECT_EQ(1, n_clothes);
}

TEST_F(Settings, WithoutANameFieldTheStoredNameIsKept) {
  field_.setText("Kai");
  ASSERT_TRUE(GirlSaveSettings());
  girlname = nullptr;
  n_hair = 3;
  ASSERT_TRUE(GirlSaveSettings());
  Relaunch();
  GirlLoadSettings();  // no field: nothing to show, but the choices load
  EXPECT_EQ(3, n_hair);
  girlname = &field_;
  GirlLoadSettings();
  EXPECT_EQ("Kai", field_.text());

  // Nothing stored yet and no field: the default name marks the save.
  UserDefaultsSetPath((dir_ / "other.json").c_str());
  girlname = nullptr;
  n_clothes = 3;
  ASSERT_TRUE(GirlSaveSettings());
  girlname = &field_;
  Relaunch();
  GirlLoadSettings();
  EXPECT_EQ("Ovanta", field_.text());
  EXPECT_EQ(3, n_clothes);
}

TEST_F(Settings, AFailedSaveIsReported) {
  // The store's folder would have to be inside a regular file.
  ASSERT_TRUE(wavtest::WriteFile(dir_ / "plain", {'x'}));
  UserDefaultsSetPath((dir_ / "plain/defaults.json").c_str());
  field_.setText("Zoe");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(GirlSaveSettings());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("cannot save")) << err;
}
