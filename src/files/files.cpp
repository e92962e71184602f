#include "files/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

const char* FileKindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "a file";
}

std::string FileStatusText(FileStatus status, const struct stat& st, int err) {
  switch (status) {
    case kFileOk:
      return "ok";
    case kFileMissing:
      return "no such file";
    case kFileNotRegular:
      return std::string(FileKindName(st.st_mode)) + ", not a regular file";
    case kFileUnreadable:
      return std::string("cannot be read (") + std::strerror(err) + ")";
    case kFileTooLarge:
      return "too large";
    case kFileReadFailed:
      return std::string("read failed (") + (err ? std::strerror(err) : "file changed while read") + ")";
  }
  return "unknown";
}

int FileOpenRegular(const char* path, struct stat* st, FileStatus* status) {
  std::memset(st, 0, sizeof *st);
  if (!path || !*path) {
    *status = kFileMissing;
    errno = ENOENT;
    return -1;
  }
  // What is plainly no regular file is not even opened: opening a device
  // can have effects of its own. The descriptor's own type below decides.
  struct stat seen;
  if (stat(path, &seen) == 0 && !S_ISREG(seen.st_mode)) {
    *st = seen;
    *status = kFileNotRegular;
    errno = EINVAL;
    return -1;
  }
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    // A folder opens fine for reading, so EISDIR comes only from odd file
    // systems; ENXIO is a socket or a device without its driver.
    const int err = errno;
    if (err != ENOENT && err != ENOTDIR && stat(path, &seen) == 0 && !S_ISREG(seen.st_mode)) {
      *st = seen;
      *status = kFileNotRegular;
    } else {
      *status = err == ENOENT || err == ENOTDIR ? kFileMissing : kFileUnreadable;
    }
    errno = err;
    return -1;
  }
  if (fstat(fd, st) != 0) {
    const int err = errno;
    ::close(fd);
    *status = kFileUnreadable;
    errno = err;
    return -1;
  }
  if (!S_ISREG(st->st_mode)) {
    ::close(fd);
    *status = kFileNotRegular;
    errno = EINVAL;
    return -1;
  }
  // Regular files never block; reads go on as usual.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  *status = kFileOk;
  return fd;
}

FileStatus FileReadAll(const char* path, uint64_t limit, char** data, size_t* size, struct stat* st_out) {
  *data = nullptr;
  *size = 0;
  struct stat st;
  FileStatus status;
  const int fd = FileOpenRegular(path, &st, &status);
  if (st_out) *st_out = st;
  if (fd < 0) return status;
  const uint64_t len = static_cast<uint64_t>(st.st_size);
  if (len > limit || len > SIZE_MAX - 1) {
    ::close(fd);
    errno = EFBIG;
    return kFileTooLarge;
  }
  char* buf = static_cast<char*>(std::malloc(static_cast<size_t>(len) + 1));
  if (!buf) {
    ::close(fd);
    errno = ENOMEM;
    return kFileReadFailed;
  }
  size_t got = 0;
  int err = 0;
  while (got < len) {
    const ssize_t n = ::read(fd, buf + got, static_cast<size_t>(len) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : 0;
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got != len) {
    std::free(buf);
    errno = err;
    return kFileReadFailed;
  }
  buf[got] = 0;
  *data = buf;
  *size = got;
  return kFileOk;
}

FileStatus FileReadText(const char* path, uint64_t limit, std::string* text, struct stat* st) {
  text->clear();
  char* data = nullptr;
  size_t size = 0;
  const FileStatus status = FileReadAll(path, limit, &data, &size, st);
  if (status == kFileOk) {
    text->assign(data, size);
    std::free(data);
  }
  return status;
}

FileStatus FileReadShort(const char* path, size_t limit, std::string* text, struct stat* st_out) {
  text->clear();
  struct stat st;
  FileStatus status;
  const int fd = FileOpenRegular(path, &st, &status);
  if (st_out) *st_out = st;
  if (fd < 0) return status;
  std::string buf(limit + 1, '\0');
  size_t got = 0;
  while (got < buf.size()) {
    const ssize_t n = ::read(fd, &buf[got], buf.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      errno = err;
      return kFileReadFailed;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got > limit) {
    errno = EFBIG;
    return kFileTooLarge;
  }
  buf.resize(got);
  *text = std::move(buf);
  return kFileOk;
}

FILE* FileOpenOutput(const char* path) {
  if (!path || !*path) {
    errno = ENOENT;
    return nullptr;
  }
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    const int err = errno;
    ::close(fd);
    errno = err;
  }
  return f;
}

bool FileCloseOutput(FILE* f) {
  if (!f) return false;
  const bool earlier = std::ferror(f) != 0;
  // A device or a pipe cannot be synced; a full disk shows in the flush.
  const bool flushed = std::fflush(f) == 0;
  const int err = errno;
  const bool closed = std::fclose(f) == 0;
  if (!flushed) errno = err;
  if (earlier && flushed && closed) errno = EIO;
  return !earlier && flushed && closed;
}

bool JsonNestsDeeperThan(const char* text, size_t n, int max) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > max) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}
