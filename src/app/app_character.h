// The character shown, and the user's ways of changing it.
//
// At start: `ovanta --import FILE` and `ovanta-headless --character
// FILE|ID` pick one on the command line (AppUseCharacter: a file is
// imported, vrm/characters.h, with her clips read from the bundle; an ID
// names a character imported before); without one, the stored choice
// (Ovanta_character) applies (AppCharacterLoadStored, when the main screen
// loads). Later: the settings screen's Character list chooses and removes
// (AppCharacterChoose, AppCharacterRemove), and a file dropped on the
// window or picked on the page is imported and shown
// (AppCharacterImportFile, AppCharacterImportBytes). Every change takes
// effect at the next tick through the same scene reload as a new outfit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vrm/characters.h"

// Returns 0 when the character is the one shown, after one line on
// standard error ("PROGRAM: FILE is character ID", with what it is drawn
// without, if anything). Otherwise one line ("PROGRAM: NAME: reason") and
// kExitNoInput (no such file or character) or kExitDataError (the file was
// refused); nothing is written then.
int AppUseCharacter(const char* program, const std::string& fileOrId);

// The ID of the character shown; "" for her.
std::string AppCharacterShown();
// The imported characters, by title.
std::vector<vrm::CharacterInfo> AppCharacterList();

// The stored choice, once at start unless the command line picked one: an
// ID whose folder is gone or cannot be read gives one line and her, and the
// stored ID is kept (a folder back in place is shown again next time).
void AppCharacterLoadStored();
// Shows `id` ("" her) from the next tick on and stores the choice. False,
// changing nothing, when there is no such character.
bool AppCharacterChoose(const std::string& id);
// Deletes an imported character; the one shown gives way to her (stored
// too). False with the reason in `message` when nothing was removed.
bool AppCharacterRemove(const std::string& id, std::string* message);

// A file the user handed over (dropped on the window, picked or dropped on
// the page), imported and shown. Either way a notice says what happened;
// a file refused is one line on standard error too ("PROGRAM: NAME:
// reason") and the character shown stays.
bool AppCharacterImportFile(const char* program, const std::string& path);
bool AppCharacterImportBytes(const char* program, const uint8_t* data, size_t size, const std::string& name);

// Called after the characters' folders changed (an import or a removal):
// the page keeps them in the browser's storage. Unset elsewhere.
extern std::function<void()> app_characters_changed;
// Set where the user can pick a file to import (the page): the Character
// list offers it then.
extern std::function<void()> app_character_picker;
