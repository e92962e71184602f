// The user-defaults store: string and integer values by key that persist
// across launches. Settings persistence (character/girl_settings.cpp) is its
// caller.
//
// The values live in memory and in one JSON object in a file, by default
// $XDG_CONFIG_HOME/ovanta/defaults.json, else ~/.config/ovanta/defaults.json.
// The file is read on first use, never blocking. A missing file is a first
// launch (empty store). A symbolic link is followed: the target is read and
// written, the link stays. Values of any JSON type are kept; the typed
// getters below say what a key holds.
//
// What the store will not touch, with one line on stderr each time it is
// read, the values applying for this run only (never saved):
//  - a folder, device, pipe or socket at the path: nothing there changes;
//  - a file that cannot be read, or one too large to be ours;
//  - a read-only file (no write bit in its mode, whoever runs us): its
//    values are used, it is left as it is.
// A regular file that is not JSON, whose top level is not an object, or
// that nests arrays and objects more than a few dozen deep, is damaged: it is
// moved aside to "<file>.damaged-<UTC time>" and the store starts empty; its
// contents are never overwritten. A file someone else changed while the app
// ran is read again before a save replaces it and moved aside the same way
// when it is damaged now.
//
// A save writes one key a line, each value compactly: never much more than
// was read. It never writes a file larger than the reader takes
// (kUserDefaultsMaxBytes): keys this run did not set are then left out,
// largest first, with one line; the values set are always written.
//
// UserDefaultsSynchronize writes the whole store atomically and durably:
// a temporary file of its own beside the store (so copies of the app saving
// at the same time never disturb each other), fsync, rename over the store,
// fsync of the folder. A crash at any point leaves either the old or the new
// store on disk, complete; temporary files a crash left are removed by the
// next save. The file operations go through UserDefaultsFileOps so that
// tests can fail or "crash" any one step.
//
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A store larger than this was not written by us (a name is at most a few
// dozen characters); a hand-edited one of a few megabytes is still read.
constexpr uint64_t kUserDefaultsMaxBytes = 16u << 20;

// A missing key, or one holding an integer, reads as false/nothing; a
// string that is not a whole number reads as 0 from IntegerForKey.
bool UserDefaultsStringForKey(const char* key, std::string* value);
long long UserDefaultsIntegerForKey(const char* key);
// True when the key holds an integer, or text that is one whole number
// (beyond the range of long long it is held at the nearer end); false when
// it is missing or holds anything else.
bool UserDefaultsIntegerValue(const char* key, long long* value);
void UserDefaultsSetString(const char* key, const std::string& value);
void UserDefaultsSetInteger(const char* key, long long value);
bool UserDefaultsHasKey(const char* key);
void UserDefaultsRemoveKey(const char* key);

// Writes the store to its file. False (with one message on stderr, unless
// reading the store already said it would not be saved) when nothing was
// saved; the previous file is then still in place, unless the failure came
// after the rename, where only durability is in doubt.
bool UserDefaultsSynchronize();

// True when values were set or removed since the file last held them: the
// last save failed or was refused, or none was made since (always false for
// a store in memory). A program ending with this true lost choices.
bool UserDefaultsUnsaved();

// The store file; null or "" goes back to the default location. Changing the
// file forgets the values in memory; they are read from the new file on
// next use.
void UserDefaultsSetPath(const char* file);
// A store that lives in memory only and starts empty: nothing is read or
// written, saving succeeds. UserDefaultsSetPath leaves this mode.
void UserDefaultsKeepInMemory();
// The file in use ("" in memory, or with no home folder).
std::string UserDefaultsPath();
// Forgets the values in memory, as a new launch would.
void UserDefaultsForget();
// Whether the store's file did not exist when it was read (nothing was ever
// saved there: the first launch); false in memory.
bool UserDefaultsFirstLaunch();
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
