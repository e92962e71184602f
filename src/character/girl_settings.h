// Settings persistence: the character's name and looks across launches.
//
// GirlLoadSettings runs once at start-up, after CShell::InitApplication and
// before the first tick; GirlSaveSettings runs when the settings screen
// closes, after the edited values were copied into the globals and the name
// into `girlname`. The values live in the user-defaults store
// (store/user_defaults.h) under the "Ovanta_*" keys; the name key also
// marks that settings were ever saved.
//
// Every integer key of the store is a row of one table (kGirlIntSettings):
// her looks, the face layer's volume and captions, the window's geometry. A
// new key is a new row, and every row follows the same rules when read.
#pragma once

#include <cstddef>

// The keys. Her looks, in the order they are saved:
extern const char* const kGirlKeyName;      // "Ovanta_name", string
extern const char* const kGirlKeySkin;      // "Ovanta_skin_color" <-> n_skin
extern const char* const kGirlKeyClothes;   // "Ovanta_clothes" <-> n_clothes, n_background
extern const char* const kGirlKeySoundSet;  // "Ovanta_sound_set" <-> n_sound_set
extern const char* const kGirlKeyHair;      // "Ovanta_hair" <-> n_hair
extern const char* const kGirlDefaultName;  // "Ovanta"
// The face layer's (face/face.h):
extern const char* const kGirlKeyVolume;    // "Ovanta_volume" <-> face_volume, 0..3 (3)
extern const char* const kGirlKeyCaptions;  // "Ovanta_captions" <-> face_captions, 1 or 0 (1)
// The character shown (app/app_character.h): an imported one's ID, "" for her.
extern const char* const kGirlKeyCharacter;  // "Ovanta_character", string
extern const char* const kGirlKeyDance;      // "Ovanta_dance", string: an added dance's ID, "" hers
extern const char* const kGirlKeyIdle;       // "Ovanta_idle", string: an added dance's ID she idles with, "" hers
// The desktop window's place and size in window units (app/window_state.h):
extern const char* const kWindowKeyX;       // "Ovanta_window_x"
extern const char* const kWindowKeyY;       // "Ovanta_window_y"
extern const char* const kWindowKeyWidth;   // "Ovanta_window_width"
extern const char* const kWindowKeyHeight;  // "Ovanta_window_height"
// Desktop mode (app/mascot_app.h): on or off, where her window was, her zoom.
extern const char* const kMascotKey;      // "Ovanta_mascot", 1 or 0 (0)
extern const char* const kMascotKeyX;     // "Ovanta_mascot_x"
extern const char* const kMascotKeyY;     // "Ovanta_mascot_y"
extern const char* const kMascotKeyZoom;  // "Ovanta_mascot_zoom", pixels a point on the desktop, in hundredths

// A name holds at most this many characters (code points, not bytes): the
// name field takes no more, and a longer name read from the store is cut.
constexpr size_t kGirlNameMaxChars = 32;

// Who reads and saves a row.
enum GirlSettingGroup {
  kGirlSettingLook,    // her looks: read only when a name is stored (settings
                       // were saved before), saved by GirlSaveSettings
  kGirlSettingFace,    // read on every launch, saved when they change
  kGirlSettingWindow,  // read and saved by the desktop window
};

// One integer setting. Read from the store:
//  - missing: `absent`;
//  - not an integer (nor text that is one): `fallback`, with one line on
//    stderr naming the key and that default;
//  - outside min..max: with one line naming what applies, the nearer end;
//    for her looks, the choice it wraps round to (min + (v - min) mod the
//    number of choices, as the loaders reduce an index).
struct GirlIntSetting {
  const char* key;
  int* value;    // the global it is read into and saved from; null when its
                 // reader applies it (the face layer's, the window's)
  int fallback;  // its default
  int absent;    // what a missing key reads as
  int min, max;
  GirlSettingGroup group;
};
// In the order they are read and saved.
extern const GirlIntSetting kGirlIntSettings[];
extern const size_t kGirlIntSettingCount;

// The value of one row as stored, under the rules above.
int GirlReadIntSetting(const GirlIntSetting& setting);
// The same for the row of `key`, which must be one of the table's.
int GirlReadIntKey(const char* key);

// No usable name (none stored, or one that is not text, which one line
// says): the name field shows "Ovanta" and her looks keep their initial
// values, but for the voice language, which the system's locale picks
// (GirlLanguageOfLocale) unless the store lives in memory. Otherwise the
// stored name (cut to the limit) and her four looks are restored, each
// within its choices.
// A store file that did not exist yet (the first launch) also makes this
// start her first meeting with the user (sound_first_meeting).
void GirlLoadSettings();
// The voice language of the locale the environment names (LC_ALL,
// LC_MESSAGES, LANG, GNU's LANGUAGE; in a browser the page's C library
// reports the browser's language as LANG): 1 for Russian, else 0.
int GirlLanguageOfLocale();
// Stores the name and every integer setting and writes the store to disk at
// once. Returns false when the write failed (the store prints why).
bool GirlSaveSettings();

// The face layer's settings, kept apart from the name and the choices:
// read whether or not a name was ever saved, and saved the moment they
// change, since they apply at once and ask for no reload.
// Restores and applies both.
void GirlLoadFaceSettings();
bool GirlSaveFaceSettings();
