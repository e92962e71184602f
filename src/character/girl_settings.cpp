#include "character/girl_settings.h"

#include <climits>
#include <string>

#include "character/girl.h"
#include "face/face.h"
#include "platform/uikit.h"
#include "platform/user_defaults.h"

const char* const kGirlKeyName = "Ovanta_name";
const char* const kGirlKeySkin = "Ovanta_skin_color";
const char* const kGirlKeyClothes = "Ovanta_clothes";
const char* const kGirlKeySoundSet = "Ovanta_sound_set";
const char* const kGirlKeyHair = "Ovanta_hair";
const char* const kGirlDefaultName = "Ovanta";
const char* const kGirlKeyVolume = "Ovanta_volume";
const char* const kGirlKeyCaptions = "Ovanta_captions";

// Values beyond int come only from a hand-edited store; they are pinned to
// the int range so the later modulo reduction stays well defined.
static int StoredChoice(const char* key) {
  const long long v = UserDefaultsIntegerForKey(key);
  return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v));
}

void GirlLoadSettings() {
  std::string name;
  if (!UserDefaultsStringForKey(kGirlKeyName, &name)) {
    if (girlname) girlname->setText(kGirlDefaultName);
    return;
  }
  if (girlname) girlname->setText(name);
  n_skin = StoredChoice(kGirlKeySkin);
  n_clothes = StoredChoice(kGirlKeyClothes);
  n_background = n_clothes;
  n_sound_set = StoredChoice(kGirlKeySoundSet);
  n_hair = StoredChoice(kGirlKeyHair);
}

bool GirlSaveSettings() {
  // Without a name field there is no edited name; the stored one is kept
  // (or the default written) so the name key still marks saved settings and
  // the choices below are read back on the next launch.
  if (girlname)
    UserDefaultsSetString(kGirlKeyName, girlname->text());
  else if (!UserDefaultsStringForKey(kGirlKeyName, nullptr))
    UserDefaultsSetString(kGirlKeyName, kGirlDefaultName);
  UserDefaultsSetInteger(kGirlKeySkin, n_skin);
  UserDefaultsSetInteger(kGirlKeyClothes, n_clothes);
  UserDefaultsSetInteger(kGirlKeySoundSet, n_sound_set);
  UserDefaultsSetInteger(kGirlKeyHair, n_hair);
  // Written through at once: a kill or crash soon after the settings screen
  // closes must not lose the user's choices.
  return UserDefaultsSynchronize();
}

void GirlLoadFaceSettings() {
  long long volume = kFaceVolumeLevels - 1, captions = 1;
  if (UserDefaultsHasKey(kGirlKeyVolume)) volume = UserDefaultsIntegerForKey(kGirlKeyVolume);
  if (UserDefaultsHasKey(kGirlKeyCaptions)) captions = UserDefaultsIntegerForKey(kGirlKeyCaptions);
  FaceSetVolume(volume >= 0 && volume < kFaceVolumeLevels ? static_cast<int32_t>(volume) : kFaceVolumeLevels - 1);
  FaceSetCaptions(captions != 0);
}

bool GirlSaveFaceSettings() {
  UserDefaultsSetInteger(kGirlKeyVolume, face_volume);
  UserDefaultsSetInteger(kGirlKeyCaptions, face_captions ? 1 : 0);
  return UserDefaultsSynchronize();
}
