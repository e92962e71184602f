#include "character/girl_settings.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "character/girl.h"
#include "character/girl_sound.h"
#include "face/face.h"
#include "store/user_defaults.h"
#include "uikit/uikit.h"
#include "uikit/utf8.h"

const char* const kGirlKeyName = "Ovanta_name";
const char* const kGirlKeySkin = "Ovanta_skin_color";
const char* const kGirlKeyClothes = "Ovanta_clothes";
const char* const kGirlKeySoundSet = "Ovanta_sound_set";
const char* const kGirlKeyHair = "Ovanta_hair";
const char* const kGirlDefaultName = "Ovanta";
const char* const kGirlKeyVolume = "Ovanta_volume";
const char* const kGirlKeyCaptions = "Ovanta_captions";
const char* const kGirlKeyCharacter = "Ovanta_character";
const char* const kGirlKeyDance = "Ovanta_dance";
const char* const kGirlKeyIdle = "Ovanta_idle";
const char* const kWindowKeyX = "Ovanta_window_x";
const char* const kWindowKeyY = "Ovanta_window_y";
const char* const kWindowKeyWidth = "Ovanta_window_width";
const char* const kWindowKeyHeight = "Ovanta_window_height";
const char* const kMascotKey = "Ovanta_mascot";
const char* const kMascotKeyX = "Ovanta_mascot_x";
const char* const kMascotKeyY = "Ovanta_mascot_y";
const char* const kMascotKeyZoom = "Ovanta_mascot_zoom";

// Her looks are indices into their option tables; one beyond them wraps
// round the table, as the loaders always reduced it, and says so. A missing
// one reads as 0, as it always has. A window place beyond any screen comes
// only from a hand-edited store; the window checks the geometry fits a
// display before using it.
const GirlIntSetting kGirlIntSettings[] = {
    {kGirlKeySkin, &n_skin, 0, 0, 0, kGirlOptionCount - 1, kGirlSettingLook},
    {kGirlKeyClothes, &n_clothes, 1, 0, 0, kGirlOptionCount - 1, kGirlSettingLook},
    {kGirlKeySoundSet, &n_sound_set, 0, 0, 0, kGirlVoiceCount - 1, kGirlSettingLook},
    {kGirlKeyHair, &n_hair, 0, 0, 0, kGirlOptionCount - 1, kGirlSettingLook},
    {kGirlKeyVolume, nullptr, kFaceVolumeLevels - 1, kFaceVolumeLevels - 1, 0, kFaceVolumeLevels - 1, kGirlSettingFace},
    {kGirlKeyCaptions, nullptr, 1, 1, 0, 1, kGirlSettingFace},
    {kWindowKeyX, nullptr, 0, 0, -100000, 100000, kGirlSettingWindow},
    {kWindowKeyY, nullptr, 0, 0, -100000, 100000, kGirlSettingWindow},
    {kWindowKeyWidth, nullptr, 0, 0, 0, 100000, kGirlSettingWindow},
    {kWindowKeyHeight, nullptr, 0, 0, 0, 100000, kGirlSettingWindow},
    {kMascotKey, nullptr, 0, 0, 0, 1, kGirlSettingWindow},
    {kMascotKeyX, nullptr, 0, 0, -100000, 100000, kGirlSettingWindow},
    {kMascotKeyY, nullptr, 0, 0, -100000, 100000, kGirlSettingWindow},
    {kMascotKeyZoom, nullptr, 0, 0, 0, 400, kGirlSettingWindow},
};
const size_t kGirlIntSettingCount = sizeof kGirlIntSettings / sizeof kGirlIntSettings[0];

int GirlReadIntSetting(const GirlIntSetting& s) {
  long long v = 0;
  if (!UserDefaultsIntegerValue(s.key, &v)) {
    if (!UserDefaultsHasKey(s.key)) return s.absent;
    std::fprintf(stderr, "Settings: %s is not a whole number; its default, %d, applies\n", s.key, s.fallback);
    return s.fallback;
  }
  if (v < s.min || v > s.max) {
    // Her looks wrap round their choices (the whole stored number, so that
    // the line names the choice she shows); the others stop at the nearer end.
    const long long span = static_cast<long long>(s.max) - s.min + 1;
    const int kept = s.group == kGirlSettingLook ? static_cast<int>(s.min + ((v - s.min) % span + span) % span)
                     : v < s.min                 ? s.min
                                                 : s.max;
    std::fprintf(stderr, "Settings: %s is %lld, outside %d..%d; %d applies\n", s.key, v, s.min, s.max, kept);
    return kept;
  }
  return static_cast<int>(v);
}

int GirlReadIntKey(const char* key) {
  for (size_t i = 0; i < kGirlIntSettingCount; ++i)
    if (std::strcmp(kGirlIntSettings[i].key, key) == 0) return GirlReadIntSetting(kGirlIntSettings[i]);
  std::fprintf(stderr, "Settings: %s is no key of the store\n", key);
  std::abort();
}

int GirlLanguageOfLocale() {
  // As the C library orders them: LC_ALL over LC_MESSAGES over LANG; GNU's
  // LANGUAGE list comes first unless the locale is plain C.
  const char* chosen = nullptr;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* v = std::getenv(var); v && *v) {
      chosen = v;
      break;
    }
  const char* list = std::getenv("LANGUAGE");
  if (list && *list && chosen && std::strcmp(chosen, "C") != 0 && std::strcmp(chosen, "POSIX") != 0) chosen = list;
  return chosen && std::strncmp(chosen, "ru", 2) == 0 && !std::isalpha(static_cast<unsigned char>(chosen[2])) ? 1 : 0;
}

void GirlLoadSettings() {
  sound_first_meeting = UserDefaultsFirstLaunch();
  std::string name;
  const bool named = UserDefaultsStringForKey(kGirlKeyName, &name);
  if (!named && UserDefaultsHasKey(kGirlKeyName))
    std::fprintf(stderr, "Settings: %s is not text; her looks are not read and the defaults apply\n", kGirlKeyName);
  if (girlname) girlname->setText(named ? Utf8Head(name, kGirlNameMaxChars) : std::string(kGirlDefaultName));
  for (size_t i = 0; named && i < kGirlIntSettingCount; ++i) {
    const GirlIntSetting& s = kGirlIntSettings[i];
    if (s.group == kGirlSettingLook) *s.value = GirlReadIntSetting(s);
  }
  if (named) n_background = n_clothes;
  // Never chosen yet: she speaks the system's language. A store in memory
  // (ovanta-headless without --defaults) keeps every run alike.
  if (!named && !UserDefaultsPath().empty()) n_sound_set = GirlLanguageOfLocale();
}

bool GirlSaveSettings() {
  // Without a name field there is no edited name; the stored one is kept
  // (or the default written) so the name key still marks saved settings and
  // the choices below are read back on the next launch.
  if (girlname)
    UserDefaultsSetString(kGirlKeyName, girlname->text());
  else if (!UserDefaultsStringForKey(kGirlKeyName, nullptr))
    UserDefaultsSetString(kGirlKeyName, kGirlDefaultName);
  for (size_t i = 0; i < kGirlIntSettingCount; ++i)
    if (kGirlIntSettings[i].group == kGirlSettingLook)
      UserDefaultsSetInteger(kGirlIntSettings[i].key, *kGirlIntSettings[i].value);
  // Written through at once: a kill or crash soon after the settings screen
  // closes must not lose the user's choices.
  return UserDefaultsSynchronize();
}

void GirlLoadFaceSettings() {
  FaceSetVolume(GirlReadIntKey(kGirlKeyVolume));
  FaceSetCaptions(GirlReadIntKey(kGirlKeyCaptions) != 0);
}

bool GirlSaveFaceSettings() {
  UserDefaultsSetInteger(kGirlKeyVolume, face_volume);
  UserDefaultsSetInteger(kGirlKeyCaptions, face_captions ? 1 : 0);
  return UserDefaultsSynchronize();
}
