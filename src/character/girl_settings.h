// Settings persistence: the character's name and looks across launches.
//
// GirlLoadSettings runs once at start-up, after CShell::InitApplication and
// before the first tick; GirlSaveSettings runs when the settings screen
// closes, after the edited values were copied into the globals and the name
// into `girlname`. The values live in the user-defaults store
// (platform/user_defaults.h) under the "Ovanta_*" keys; the name key also
// marks that settings were ever saved.
#pragma once

#include <cstddef>

// The keys, in the order they are saved.
extern const char* const kGirlKeyName;       // "Ovanta_name", string
extern const char* const kGirlKeySkin;       // "Ovanta_skin_color" <-> n_skin
extern const char* const kGirlKeyClothes;    // "Ovanta_clothes" <-> n_clothes, n_background
extern const char* const kGirlKeySoundSet;   // "Ovanta_sound_set" <-> n_sound_set
extern const char* const kGirlKeyHair;       // "Ovanta_hair" <-> n_hair
extern const char* const kGirlDefaultName;   // "Ovanta"

// A name holds at most this many characters (code points, not bytes): the
// name field takes no more, and a longer name read from the store is cut.
constexpr size_t kGirlNameMaxChars = 32;

// No stored name: the name field shows "Ovanta" and the choices keep their
// initial values. Otherwise the stored name and all four choices (a missing
// one reads as 0) are restored as stored, not range-checked: the scene and
// voice loaders bring them into range.
void GirlLoadSettings();
// Stores the name and the four choices and writes the store to disk at
// once. Returns false when the write failed (the message is printed by the
// store; the previous file stays intact).
bool GirlSaveSettings();

// The face layer's settings (face/face.h), kept apart from the name and the
// choices: read whether or not a name was ever saved, and saved the moment
// they change, since they apply at once and ask for no reload.
extern const char* const kGirlKeyVolume;    // "Ovanta_volume" <-> face_volume, 0..3 (3)
extern const char* const kGirlKeyCaptions;  // "Ovanta_captions" <-> face_captions, 1 or 0 (1)
// Restores and applies both (a missing or stray value: the default).
void GirlLoadFaceSettings();
bool GirlSaveFaceSettings();
