// The user-defaults store: string and integer values by key that persist
// across launches. Settings persistence (character/girl_settings.cpp) is its
// caller.
//
// The values live in memory and in one JSON file, by default
// $XDG_CONFIG_HOME/ovanta/defaults.json, else ~/.config/ovanta/defaults.json.
// The file is read on first use. A missing file is a first launch (empty
// store). A file that cannot be read or parsed, or holds values other than
// strings and integers, is moved aside to "<file>.damaged-<UTC time>" with
// one message on stderr, and the store starts empty; its contents are never
// overwritten.
//
// UserDefaultsSynchronize writes the whole store atomically and durably:
// a temporary file beside the store, fsync, rename over the store, fsync of
// the folder. A crash at any point leaves either the old or the new store on
// disk, complete. The file operations go through UserDefaultsFileOps so that
// tests can fail or "crash" any one step.
//
// Main thread only; one process per store file.
#pragma once

#include <cstddef>
#include <string>

// A missing key, or one holding an integer, reads as false/nothing; a
// string that is not a whole number reads as 0 from IntegerForKey.
bool UserDefaultsStringForKey(const char* key, std::string* value);
long long UserDefaultsIntegerForKey(const char* key);
void UserDefaultsSetString(const char* key, const std::string& value);
void UserDefaultsSetInteger(const char* key, long long value);
bool UserDefaultsHasKey(const char* key);
void UserDefaultsRemoveKey(const char* key);

// Writes the store to its file. False (with one message on stderr) when any
// step failed; the previous file is then still in place, unless the failure
// came after the rename, where only durability is in doubt.
bool UserDefaultsSynchronize();

// The store file; null or "" goes back to the default location. Changing the
// file forgets the values in memory; they are read from the new file on
// next use.
void UserDefaultsSetPath(const char* file);
std::string UserDefaultsPath();
// Forgets the values in memory, as a new launch would.
void UserDefaultsForget();
// Where a damaged store was last moved since the values were (re)read ("" when
// none was).
std::string UserDefaultsLastDamagedPath();

// The file operations of a save, in the order they are called: open(tmp),
// write (maybe several), fsync, close, rename(tmp, file), open(folder),
// fsync, close; unlink removes the temporary file after a failure. Moving a
// damaged store aside is a rename too. Each
// returns what the POSIX call of the same name returns and sets errno.
struct UserDefaultsFileOps {
  int (*open)(const char* path, int flags, int mode);
  long (*write)(int fd, const void* buf, size_t count);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
};
// Null restores the real calls.
void UserDefaultsSetFileOps(const UserDefaultsFileOps* ops);
