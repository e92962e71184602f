#include "platform/user_defaults.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "files/files.h"

using nlohmann::json;

namespace {

// A store this big was not written by us (a name is at most a few dozen
// characters), but a hand-edited one of a few megabytes is still read.
const uint64_t kMaxStoreBytes = 16u << 20;
// How long a save waits for another copy of the app to finish its own save
// before it goes ahead anyway (its temporary file is its own either way).
const int kLockWaitMs = 2000;

int RealOpen(const char* path, int flags, int mode) { return ::open(path, flags, mode); }
long RealWrite(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
int RealFsync(int fd) { return ::fsync(fd); }
int RealClose(int fd) { return ::close(fd); }
int RealRename(const char* from, const char* to) { return ::rename(from, to); }
int RealUnlink(const char* path) { return ::unlink(path); }

const UserDefaultsFileOps kRealOps = {RealOpen, RealWrite, RealFsync, RealClose, RealRename, RealUnlink};

UserDefaultsFileOps g_ops = kRealOps;
std::string g_path_override;
bool g_memory_only = false;
json g_values = json::object();
bool g_loaded = false;
// The file was refused when read (not a regular file, unreadable, too large,
// read-only): the values apply to this run only and saving says no.
bool g_no_save = false;
// A damaged store that could not be moved aside: saving would destroy it.
bool g_damaged_in_place = false;
std::string g_damage_reason;
std::string g_last_damaged;
// No file was there when the store was read: a first launch.
bool g_first_launch = false;

std::string Folder(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

std::string BaseName(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

bool MakeFolders(const std::string& dir) {
  std::string part;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    part = dir.substr(0, pos);
    if (part.empty()) continue;
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The file a chain of symbolic links ends at (which need not exist yet), so
// that saving replaces the target and keeps the links. "" with errno set when
// the chain loops or cannot be read.
std::string FollowLinks(const std::string& path) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      if (hops == 0) return p;
      // The target's folder without "..": messages name where the file is.
      char* dir = realpath(Folder(p).c_str(), nullptr);
      if (dir) p = std::string(dir) + "/" + BaseName(p);
      std::free(dir);
      return p;
    }
    char buf[PATH_MAX];
    const ssize_t n = readlink(p.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = 0;
    p = buf[0] == '/' ? std::string(buf) : Folder(p) + "/" + buf;
  }
  errno = ELOOP;
  return "";
}

// Moves the damaged store aside under a name no other file has.
bool MoveAside(const std::string& path, const char* why) {
  char stamp[32];
  const time_t now = time(nullptr);
  struct tm tm_utc;
  gmtime_r(&now, &tm_utc);
  strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm_utc);
  std::string aside = path + ".damaged-" + stamp;
  for (int n = 1; Exists(aside) && n < 1000; ++n)
    aside = path + ".damaged-" + stamp + "-" + std::to_string(n);
  if (!Exists(aside) && g_ops.rename(path.c_str(), aside.c_str()) == 0) {
    std::fprintf(stderr, "Settings: %s is damaged (%s); kept as %s, defaults apply\n", path.c_str(),
                 why, aside.c_str());
    g_last_damaged = aside;
    g_damaged_in_place = false;
    return true;
  }
  std::fprintf(stderr,
               "Settings: %s is damaged (%s) and cannot be moved aside (%s); defaults apply and "
               "it will not be saved over\n",
               path.c_str(), why, std::strerror(errno));
  g_damaged_in_place = true;
  g_damage_reason = why;
  return false;
}

void Refuse(const std::string& path, const std::string& what, const char* apply) {
  std::fprintf(stderr, "Settings: %s %s; %s for this run only and will not be saved\n", path.c_str(),
               what.c_str(), apply);
  g_no_save = true;
}

void Load() {
  if (g_loaded) return;
  g_loaded = true;
  g_first_launch = false;
  g_damaged_in_place = false;
  g_no_save = false;
  g_values = json::object();
  const std::string path = UserDefaultsPath();
  if (path.empty()) return;
  std::string text;
  struct stat st;
  const FileStatus read = FileReadText(path.c_str(), kMaxStoreBytes, &text, &st);
  const int err = errno;
  switch (read) {
    case kFileOk:
      break;
    case kFileMissing:
      g_first_launch = true;
      return;
    case kFileNotRegular:
      return Refuse(path, std::string("is ") + FileKindName(st.st_mode) + ", not a settings file",
                    "defaults apply");
    case kFileTooLarge:
      return Refuse(path, "is too large to be a settings file; it is left as it is", "defaults apply");
    case kFileUnreadable:
    case kFileReadFailed:
      return Refuse(path, FileStatusText(read, st, err) + "; it is left as it is", "defaults apply");
  }
  const bool read_only = (st.st_mode & 0222) == 0;
  json doc = json::parse(text, nullptr, false);
  const char* damage = doc.is_discarded() ? "not valid JSON" : !doc.is_object() ? "not a JSON object" : nullptr;
  if (damage && read_only)
    return Refuse(path, std::string("is damaged (") + damage + ") and read-only; it is left as it is",
                  "defaults apply");
  if (damage) {
    // Through a link the target is what is damaged; the link stays.
    const std::string target = FollowLinks(path);
    MoveAside(target.empty() ? path : target, damage);
    return;
  }
  g_values = std::move(doc);
  if (read_only) Refuse(path, "is read-only", "choices made now apply");
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const long n = g_ops.write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SaveFailed(const std::string& path, const char* step, const std::string& tmp, bool had_file) {
  const int err = errno;
  std::fprintf(stderr, "Settings: cannot save %s (%s: %s); %s\n", path.c_str(), step, std::strerror(err),
               had_file ? "the settings saved before are kept" : "nothing was saved");
  if (!tmp.empty()) g_ops.unlink(tmp.c_str());
  return false;
}

// Temporary files are "<store>.tmp-" and six letters or digits.
const char kTempAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const size_t kTempLetters = 6;

std::string TempName(const std::string& target) {
  static uint64_t counter = 0;
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t x = (static_cast<uint64_t>(getpid()) << 32) ^ static_cast<uint64_t>(ts.tv_nsec) ^
               (static_cast<uint64_t>(ts.tv_sec) << 20) ^ (++counter * 0x9E3779B97F4A7C15ull);
  std::string name = target + ".tmp-";
  for (size_t i = 0; i < kTempLetters; ++i) {
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    name += kTempAlphabet[x % (sizeof kTempAlphabet - 1)];
  }
  return name;
}

// Removes the temporary files that saves interrupted by a crash left beside
// the store. Called while holding the folder's lock; but a copy that could
// not have that lock in time saves without it, so a temporary file is
// removed only when no save holds its lock (a crash released it), and only
// files that look exactly like ours (regular, ours, private) are touched.
void RemoveStaleTemps(const std::string& dir, const std::string& target) {
  const std::string prefix = BaseName(target) + ".tmp";
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = name.substr(prefix.size());
    // "<store>.tmp" alone was the single temporary name of earlier versions.
    const bool ours = rest.empty() || (rest.size() == kTempLetters + 1 && rest[0] == '-' &&
                                       rest.find_first_not_of(kTempAlphabet, 1) == std::string::npos);
    if (!ours) continue;
    const std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 07777) != 0600)
      continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
  closedir(d);
}

// Saves of copies of the app that share a store take turns on a lock of the
// folder; -1 when it could not be had in time (the save goes ahead).
int LockFolder(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  for (int waited = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; waited += 2) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) {
      ::close(fd);
      return -1;
    }
    usleep(2000);
  }
  return fd;
}

bool Save(const std::string& path, const std::string& target, const std::string& dir, bool had_file) {
  // Invalid UTF-8 in a value is written as U+FFFD rather than failing the
  // whole save.
  const std::string data = g_values.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tmp = TempName(target);
    fd = g_ops.open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return SaveFailed(path, "create temporary file", "", had_file);
  // Held until the file is renamed or removed: it tells another copy's
  // clean-up that this save is in progress (see RemoveStaleTemps).
  flock(fd, LOCK_EX | LOCK_NB);
  if (!WriteAll(fd, data)) {
    const int err = errno;
    g_ops.close(fd);
    errno = err;
    return SaveFailed(path, "write", tmp, had_file);
  }
  if (g_ops.fsync(fd) != 0) {
    const int err = errno;
    g_ops.close(fd);
    errno = err;
    return SaveFailed(path, "fsync", tmp, had_file);
  }
  if (g_ops.close(fd) != 0) return SaveFailed(path, "close", tmp, had_file);
  if (g_ops.rename(tmp.c_str(), target.c_str()) != 0) return SaveFailed(path, "rename", tmp, had_file);
  // The rename itself is durable only once the folder is synced.
  const int dfd = g_ops.open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  bool synced = dfd >= 0 && g_ops.fsync(dfd) == 0;
  const int err = errno;
  if (dfd >= 0) g_ops.close(dfd);
  if (!synced) {
    std::fprintf(stderr, "Settings: saved %s but could not sync its folder (%s)\n", path.c_str(),
                 std::strerror(err));
    return false;
  }
  return true;
}

}  // namespace

std::string UserDefaultsPath() {
  if (g_memory_only) return "";
  if (!g_path_override.empty()) return g_path_override;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
      const struct passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') return "";
    base = std::string(home) + "/.config";
  }
  return base + "/ovanta/defaults.json";
}

void UserDefaultsSetPath(const char* file) {
  g_path_override = file ? file : "";
  g_memory_only = false;
  UserDefaultsForget();
}

void UserDefaultsKeepInMemory() {
  g_path_override.clear();
  g_memory_only = true;
  UserDefaultsForget();
}

void UserDefaultsForget() {
  g_values = json::object();
  g_loaded = false;
  g_no_save = false;
  g_damaged_in_place = false;
  g_last_damaged.clear();
}

std::string UserDefaultsLastDamagedPath() { return g_last_damaged; }

bool UserDefaultsFirstLaunch() {
  Load();
  return g_first_launch;
}

void UserDefaultsSetFileOps(const UserDefaultsFileOps* ops) { g_ops = ops ? *ops : kRealOps; }

bool UserDefaultsStringForKey(const char* key, std::string* value) {
  Load();
  if (!key) return false;
  auto it = g_values.find(key);
  if (it == g_values.end() || !it->is_string()) return false;
  if (value) *value = it->get<std::string>();
  return true;
}

bool UserDefaultsIntegerValue(const char* key, long long* value) {
  Load();
  if (!key) return false;
  auto it = g_values.find(key);
  if (it == g_values.end()) return false;
  if (it->is_number_unsigned()) {
    const unsigned long long u = it->get<unsigned long long>();
    *value = u > static_cast<unsigned long long>(LLONG_MAX) ? LLONG_MAX : static_cast<long long>(u);
    return true;
  }
  if (it->is_number_integer()) {
    *value = it->get<long long>();
    return true;
  }
  if (it->is_string()) {
    const std::string& s = it->get_ref<const std::string&>();
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (!s.empty() && end && *end == 0 && end != s.c_str()) {
      *value = v;  // strtoll holds a number beyond the range at its nearer end
      return true;
    }
  }
  return false;
}

long long UserDefaultsIntegerForKey(const char* key) {
  long long v = 0;
  return UserDefaultsIntegerValue(key, &v) ? v : 0;
}

void UserDefaultsSetString(const char* key, const std::string& value) {
  Load();
  if (key) g_values[key] = value;
}

void UserDefaultsSetInteger(const char* key, long long value) {
  Load();
  if (key) g_values[key] = value;
}

bool UserDefaultsHasKey(const char* key) {
  Load();
  return key && g_values.contains(key);
}

void UserDefaultsRemoveKey(const char* key) {
  Load();
  if (key) g_values.erase(key);
}

bool UserDefaultsSynchronize() {
  Load();
  if (g_memory_only) return true;
  const std::string path = UserDefaultsPath();
  if (path.empty()) {
    std::fprintf(stderr, "Settings: cannot save (no home or configuration folder)\n");
    return false;
  }
  // Reading it already said why it is not saved.
  if (g_no_save) return false;
  const std::string target = FollowLinks(path);
  if (target.empty()) return SaveFailed(path, "follow its links", "", true);
  const std::string reason = g_damage_reason;
  if (g_damaged_in_place && Exists(target) && !MoveAside(target, reason.c_str())) {
    errno = EEXIST;
    return SaveFailed(path, "damaged store in the way", "", true);
  }
  // What is there now may not be what was read: never replace anything but
  // a regular file that may be written.
  struct stat st;
  const bool had_file = lstat(target.c_str(), &st) == 0;
  if (had_file && !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "Settings: %s is %s, not a settings file; the choices will not be saved\n",
                 path.c_str(), FileKindName(st.st_mode));
    return false;
  }
  if (had_file && (st.st_mode & 0222) == 0) {
    std::fprintf(stderr, "Settings: %s is read-only; the choices will not be saved\n", path.c_str());
    return false;
  }
  const std::string dir = Folder(target);
  if (!MakeFolders(dir)) return SaveFailed(path, "create folder", "", had_file);
  const int lock = LockFolder(dir);
  if (lock >= 0) RemoveStaleTemps(dir, target);
  const bool saved = Save(path, target, dir, had_file);
  if (lock >= 0) ::close(lock);
  return saved;
}
