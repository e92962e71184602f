// The character of a run, picked on the command line: `ovanta --import
// FILE` and `ovanta-headless --character FILE|ID`. A file is imported
// (vrm/characters.h: converted once into a character folder) with her
// clips read from the bundle; an ID names a character imported before.
// Either way it becomes the one shown (character/girl.h) until the run
// ends. Called before the app starts, with the bundle already chosen.
#pragma once

#include <string>

// Returns 0 when the character is the one shown, after one line on
// standard error ("PROGRAM: FILE is character ID", with what it is drawn
// without, if anything). Otherwise one line ("PROGRAM: NAME: reason") and
// kExitNoInput (no such file or character) or kExitDataError (the file was
// refused); nothing is written then.
int AppUseCharacter(const char* program, const std::string& fileOrId);
