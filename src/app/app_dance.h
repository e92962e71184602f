// The dance the dance button plays and the one she idles with, and the
// user's ways of changing them.
//
// At start: `ovanta-headless --dance FILE|ID` picks one for the run (a file
// is checked, not stored; an ID names a dance added before); without one,
// the stored choice (Ovanta_dance) applies; `--idle FILE|ID` and
// Ovanta_idle pick her idle the same way (AppDanceLoadStored, when the
// main screen loads). `ovanta --import FILE.vrma`, a .vrma dropped on the
// window or picked on the page add one and choose it (AppDanceImportFile,
// AppDanceImportBytes); the settings screen's Dance list chooses and
// removes (AppDanceChoose, AppDanceRemove). A change takes effect at the
// next tick through the same scene reload as a new outfit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dance/dances.h"

// What an added dance is used for: the dance button's dance, or her idle.
enum class DanceUse { kDance, kIdle };

// Whether a file of this name is a dance (".vrma", any case) rather than
// a character.
bool AppIsDanceFile(const std::string& name);

// Returns 0 when the dance is the one chosen for the run. Otherwise one
// line ("PROGRAM: NAME: reason") and kExitNoInput (no such file or dance)
// or kExitDataError (the file was refused); nothing is written then.
int AppUseDance(const char* program, const std::string& fileOrId, DanceUse use = DanceUse::kDance);

// The ID of the dance chosen; "" for hers.
std::string AppDanceChosen(DanceUse use = DanceUse::kDance);
// The dances added, by title.
std::vector<DanceInfo> AppDanceList();

// The stored choices, once at start unless the command line picked one: an
// ID whose folder is gone gives one line and hers (the stored ID is kept).
void AppDanceLoadStored();
// Chooses `id` ("" hers) from the next tick on and stores it. False,
// changing nothing, when there is no such dance.
bool AppDanceChoose(const std::string& id, DanceUse use = DanceUse::kDance);
// Deletes an added dance; the one chosen (as dance or idle) gives way to
// hers (stored too).
bool AppDanceRemove(const std::string& id, std::string* message);

// `ovanta --import FILE.vrma`: added and chosen before the app starts; the
// choice is stored with the settings' next save. A file refused is one
// line; the dance stored before stays.
void AppDanceAddAtStart(const char* program, const std::string& path);

// A dance file the user handed over, added and chosen. Either way a notice
// says what happened; a file refused is one line on standard error too
// ("PROGRAM: NAME: reason") and the dance chosen stays.
bool AppDanceImportFile(const char* program, const std::string& path);
bool AppDanceImportBytes(const char* program, const uint8_t* data, size_t size, const std::string& name);
