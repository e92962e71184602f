#include "store/user_defaults.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "files/files.h"

using nlohmann::json;

namespace {

const uint64_t kMaxStoreBytes = kUserDefaultsMaxBytes;
// Ours is one flat object; a hand-edited value may nest a little. Anything
// deeper is damage, and refusing it keeps a pathological file from costing
// the reader (and the writer, and the destructor) more than its size.
const int kMaxStoreDepth = 32;
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
// Keys given a value in this run: the user's choices, which a save always
// writes. Keys only read from the file may be left out of a save that would
// otherwise grow too large to be read back.
std::set<std::string> g_set_keys;
// Values changed since the file last held them.
bool g_unsaved = false;
// The file as the store last read or wrote it, to tell whether someone else
// changed it before a save.
struct FileSeen {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime {};
  bool operator==(const FileSeen& o) const {
    return exists == o.exists && (!exists || (dev == o.dev && ino == o.ino && size == o.size &&
                                              mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec));
  }
};
FileSeen g_seen;

FileSeen Seen(const struct stat* st) {
  FileSeen f;
  if (!st) return f;
  f.exists = true;
  f.dev = st->st_dev;
  f.ino = st->st_ino;
  f.size = st->st_size;
  f.mtime = st->st_mtim;
  return f;
}

// What the last failed save said: a save failing again for the same reason
// says nothing more.
std::string g_last_said;

void Say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* fmt, ...) {
  va_list args, again;
  va_start(args, fmt);
  va_copy(again, args);
  std::string line(static_cast<size_t>(std::max(0, std::vsnprintf(nullptr, 0, fmt, args))), '\0');
  std::vsnprintf(&line[0], line.size() + 1, fmt, again);
  va_end(again);
  va_end(args);
  if (g_last_said == line) return;
  g_last_said = line;
  std::fputs(line.c_str(), stderr);
}

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

// Makes the folder and those above it. "" when it is there, else what is
// wrong ("/a/b is a file, not a folder", "cannot create /a/b (...)").
std::string MakeFolders(const std::string& dir) {
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    const std::string part = dir.substr(0, pos);
    if (part.empty() || mkdir(part.c_str(), 0700) == 0) continue;
    const int err = errno;
    struct stat st;
    if (stat(part.c_str(), &st) != 0) return "cannot create " + part + " (" + std::strerror(err) + ")";
    if (!S_ISDIR(st.st_mode)) return part + " is " + FileKindName(st.st_mode) + ", not a folder";
  }
  return "";
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

// Moves the damaged store aside under a name no other file has, as it is
// read (`at_load`) or before a save. A store already known to be damaged in
// place says nothing more when it still cannot be moved.
bool MoveAside(const std::string& path, const char* why, bool at_load) {
  char stamp[32];
  const time_t now = time(nullptr);
  struct tm tm_utc;
  gmtime_r(&now, &tm_utc);
  strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm_utc);
  std::string aside = path + ".damaged-" + stamp;
  for (int n = 1; Exists(aside) && n < 1000; ++n) aside = path + ".damaged-" + stamp + "-" + std::to_string(n);
  if (!Exists(aside) && g_ops.rename(path.c_str(), aside.c_str()) == 0) {
    std::fprintf(stderr, "Settings: %s is damaged (%s); kept as %s, %s\n", path.c_str(), why, aside.c_str(),
                 at_load ? "defaults apply" : "the choices are saved in its place");
    g_last_damaged = aside;
    g_damaged_in_place = false;
    g_seen = FileSeen();
    return true;
  }
  if (g_damaged_in_place) return false;
  std::fprintf(stderr, "Settings: %s is damaged (%s) and cannot be moved aside (%s); %s\n", path.c_str(), why,
               std::strerror(errno),
               at_load ? "defaults apply and it will not be saved over" : "the choices are not saved over it");
  g_damaged_in_place = true;
  g_damage_reason = why;
  return false;
}

void Refuse(const std::string& path, const std::string& what, const char* apply) {
  std::fprintf(stderr, "Settings: %s %s; %s for this run only and will not be saved\n", path.c_str(), what.c_str(),
               apply);
  g_no_save = true;
}

// Parses a store's text into *doc; what is wrong with it, or null.
const char* Parse(const std::string& text, json* doc) {
  if (JsonNestsDeeperThan(text.data(), text.size(), kMaxStoreDepth)) return "nested deeper than a settings file is";
  *doc = json::parse(text, nullptr, false);
  return doc->is_discarded() ? "not valid JSON" : !doc->is_object() ? "not a JSON object" : nullptr;
}

void Load() {
  if (g_loaded) return;
  g_loaded = true;
  g_first_launch = false;
  g_damaged_in_place = false;
  g_no_save = false;
  g_values = json::object();
  g_set_keys.clear();
  g_unsaved = false;
  g_seen = FileSeen();
  const std::string path = UserDefaultsPath();
  if (path.empty()) return;
  std::string text;
  struct stat st;
  const FileStatus read = FileReadText(path.c_str(), kMaxStoreBytes, &text, &st);
  const int err = errno;
  switch (read) {
    case kFileOk:
      g_seen = Seen(&st);
      break;
    case kFileMissing:
      g_first_launch = true;
      return;
    case kFileNotRegular:
      return Refuse(path, std::string("is ") + FileKindName(st.st_mode) + ", not a settings file", "defaults apply");
    case kFileTooLarge:
      return Refuse(path, "is too large to be a settings file; it is left as it is", "defaults apply");
    case kFileUnreadable:
    case kFileReadFailed:
      return Refuse(path, FileStatusText(read, st, err) + "; it is left as it is", "defaults apply");
  }
  const bool read_only = (st.st_mode & 0222) == 0;
  json doc;
  const char* damage = Parse(text, &doc);
  if (damage && read_only)
    return Refuse(path, std::string("is damaged (") + damage + ") and read-only; it is left as it is",
                  "defaults apply");
  if (damage) {
    // Through a link the target is what is damaged; the link stays.
    const std::string target = FollowLinks(path);
    MoveAside(target.empty() ? path : target, damage, true);
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
  Say("Settings: cannot save %s (%s: %s); %s\n", path.c_str(), step, std::strerror(err),
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
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 07777) != 0600)
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

// The store's entries as written: one key a line, each value compactly, so
// that whatever a hand-edited store holds costs no more to write than it did
// to read. Invalid UTF-8 in a value is written as U+FFFD rather than failing
// the whole save.
std::vector<std::pair<std::string, std::string>> Entries(const json& values) {
  std::vector<std::pair<std::string, std::string>> out;
  for (auto it = values.begin(); it != values.end(); ++it)
    out.push_back({it.key(), json(it.key()).dump(-1, ' ', false, json::error_handler_t::replace) + ": " +
                                 it.value().dump(-1, ' ', false, json::error_handler_t::replace)});
  return out;
}

std::string Text(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out = "{";
  for (const auto& e : entries) out += (out.size() == 1 ? "\n  " : ",\n  ") + e.second;
  return out + (entries.empty() ? "}\n" : "\n}\n");
}

// The store's text, never larger than its reader takes: keys this run did
// not set are left out, largest first, until it fits (one line says so).
// False, with one line, when the values set alone are too large.
bool TextThatFits(const std::string& path, std::string* data) {
  std::vector<std::pair<std::string, std::string>> entries = Entries(g_values);
  *data = Text(entries);
  if (data->size() <= kMaxStoreBytes) return true;
  std::vector<std::pair<size_t, std::string>> others;  // size, key
  for (const auto& e : entries)
    if (!g_set_keys.count(e.first)) others.push_back({e.second.size(), e.first});
  std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  size_t dropped = 0, size = data->size();
  // Each entry takes its text and four bytes around it.
  while (size > kMaxStoreBytes && dropped < others.size()) size -= others[dropped++].first + 4;
  if (size > kMaxStoreBytes) {
    Say("Settings: cannot save %s (the choices alone would make it larger than %llu bytes)\n", path.c_str(),
        static_cast<unsigned long long>(kMaxStoreBytes));
    return false;
  }
  std::fprintf(stderr,
               "Settings: %s would grow larger than %llu bytes; %zu key%s the app does not use (\"%s\"%s) "
               "left out, the choices are saved\n",
               path.c_str(), static_cast<unsigned long long>(kMaxStoreBytes), dropped, dropped == 1 ? "" : "s",
               others[0].second.substr(0, 40).c_str(), dropped == 1 ? "" : " and others");
  std::set<std::string> gone;
  for (size_t i = 0; i < dropped; ++i) {
    gone.insert(others[i].second);
    g_values.erase(others[i].second);
  }
  entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const auto& e) { return gone.count(e.first) != 0; }),
                entries.end());
  *data = Text(entries);
  return data->size() <= kMaxStoreBytes;
}

bool Save(const std::string& path, const std::string& target, const std::string& dir, bool had_file) {
  std::string data;
  if (!TextThatFits(path, &data)) return false;
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
  // The file holds the values now, synced or not.
  g_unsaved = false;
  g_last_said.clear();
  struct stat st;
  g_seen = stat(target.c_str(), &st) == 0 ? Seen(&st) : FileSeen();
  if (!synced) {
    std::fprintf(stderr, "Settings: saved %s but could not sync its folder (%s)\n", path.c_str(), std::strerror(err));
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
  g_set_keys.clear();
  g_unsaved = false;
  g_last_said.clear();
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

namespace {
void Set(const char* key, json value) {
  Load();
  if (!key) return;
  g_set_keys.insert(key);
  json& slot = g_values[key];
  if (slot == value) return;
  slot = std::move(value);
  g_unsaved = true;
}
}  // namespace

void UserDefaultsSetString(const char* key, const std::string& value) { Set(key, value); }

void UserDefaultsSetInteger(const char* key, long long value) { Set(key, value); }

bool UserDefaultsHasKey(const char* key) {
  Load();
  return key && g_values.contains(key);
}

void UserDefaultsRemoveKey(const char* key) {
  Load();
  if (key && g_values.erase(key)) g_unsaved = true;
}

bool UserDefaultsUnsaved() { return g_loaded && !g_memory_only && g_unsaved; }

namespace {

// A file someone else changed since the store read or wrote it, and that no
// longer reads as a store, is moved aside before the save replaces it, as it
// would have been at start-up. False, with one line, when the save must not
// go ahead.
bool CheckChangedFile(const std::string& path, const std::string& target) {
  struct stat st;
  if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || Seen(&st) == g_seen) return true;
  std::string text;
  const FileStatus read = FileReadText(target.c_str(), kMaxStoreBytes, &text, &st);
  const int err = errno;
  if (read == kFileMissing) return true;
  if (read != kFileOk) {
    Say("Settings: %s changed since it was read and %s; it is left as it is and the choices are not saved\n",
        path.c_str(),
        read == kFileTooLarge ? "is too large to be a settings file" : FileStatusText(read, st, err).c_str());
    return false;
  }
  json doc;
  const char* damage = Parse(text, &doc);
  return !damage || MoveAside(target, damage, false);
}

}  // namespace

bool UserDefaultsSynchronize() {
  Load();
  if (g_memory_only) return true;
  const std::string path = UserDefaultsPath();
  if (path.empty()) {
    Say("Settings: cannot save (no home or configuration folder)\n");
    return false;
  }
  // Reading it already said why it is not saved.
  if (g_no_save) return false;
  const std::string target = FollowLinks(path);
  if (target.empty()) return SaveFailed(path, "follow its links", "", true);
  // Reading it also said that a damaged store will not be saved over.
  const std::string reason = g_damage_reason;
  if (g_damaged_in_place && Exists(target) && !MoveAside(target, reason.c_str(), false)) return false;
  // What is there now may not be what was read: never replace anything but
  // a regular file that may be written.
  struct stat st;
  const bool had_file = lstat(target.c_str(), &st) == 0;
  if (had_file && !S_ISREG(st.st_mode)) {
    Say("Settings: %s is %s, not a settings file; the choices will not be saved\n", path.c_str(),
        FileKindName(st.st_mode));
    return false;
  }
  if (had_file && (st.st_mode & 0222) == 0) {
    Say("Settings: %s is read-only; the choices will not be saved\n", path.c_str());
    return false;
  }
  if (had_file && !CheckChangedFile(path, target)) return false;
  const std::string dir = Folder(target);
  const std::string in_the_way = MakeFolders(dir);
  if (!in_the_way.empty()) {
    Say("Settings: cannot save %s (%s); %s\n", path.c_str(), in_the_way.c_str(),
        had_file ? "the settings saved before are kept" : "nothing was saved");
    return false;
  }
  const int lock = LockFolder(dir);
  if (lock >= 0) RemoveStaleTemps(dir, target);
  const bool saved = Save(path, target, dir, had_file);
  if (lock >= 0) ::close(lock);
  return saved;
}
