// Opening the files a user can name without ever blocking on them or harming
// what is not ours. Every reader of the project (scenes, pictures, voices,
// the settings store, scripts, the interface font, the accelerometer's
// kernel files) opens its input here, and the programs open their outputs
// (traces, pictures) here.
//
// An input is opened with O_NONBLOCK, so that a named pipe without a writer
// or a device cannot hang the open, and its type is taken from the open
// descriptor (no window between a check and the open): anything but a
// regular file is refused. Symbolic links are followed.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

enum FileStatus {
  kFileOk,
  kFileMissing,     // nothing at the path (or a folder on the way is missing)
  kFileNotRegular,  // a folder, a device, a pipe or a socket
  kFileUnreadable,  // there, but it cannot be opened for reading (errno says why)
  kFileTooLarge,    // larger than the reader's limit
  kFileReadFailed,  // the read itself failed or came up short
};

// What is wrong, for a message: "no such file", "a folder, not a file",
// "cannot be read (Permission denied)" ... `st` is what the read saw (for
// the kind of a file that is not regular), `err` the errno of the failure.
std::string FileStatusText(FileStatus status, const struct stat& st, int err);
// "a folder", "a device", "a named pipe", "a socket", "a file".
const char* FileKindName(mode_t mode);

// Opens a regular file for reading: the descriptor (close-on-exec, blocking
// again), with *st filled in; or -1 with *status and errno telling why.
int FileOpenRegular(const char* path, struct stat* st, FileStatus* status);

// Reads the whole regular file at `path` (at most `limit` bytes) into a
// buffer from malloc followed by one zero byte (so text can be used as a C
// string); the caller frees it. `st` (may be null) receives what the open
// saw; errno is kept for a failure.
FileStatus FileReadAll(const char* path, uint64_t limit, char** data, size_t* size, struct stat* st = nullptr);
// The same into a string.
FileStatus FileReadText(const char* path, uint64_t limit, std::string* text, struct stat* st = nullptr);
// Reads a short regular file to its end, at most `limit` bytes, whatever
// size it is said to have: the kernel's attribute files (sysfs) say 4096 and
// hold a few bytes. kFileTooLarge when there is more.
FileStatus FileReadShort(const char* path, size_t limit, std::string* text, struct stat* st = nullptr);

// Whether the arrays and objects of JSON `text` nest deeper than `max`
// (brackets inside strings do not count). JSON read from a file is checked
// before it is parsed: the parsers recurse once a level.
bool JsonNestsDeeperThan(const char* text, size_t n, int max);

// Opens an output the user named (a trace, a picture) for writing in place:
// a regular file is created or truncated, a device or a pipe with a reader
// is written to; a pipe without a reader fails at once instead of blocking.
// Null with errno set on failure.
FILE* FileOpenOutput(const char* path);
// Closes an output opened above. False with errno set when an earlier
// write, the final flush or the close failed: the output is incomplete.
bool FileCloseOutput(FILE* f);
