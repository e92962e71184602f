#include "platform/user_defaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

// A store this big was not written by us.
const size_t kMaxStoreBytes = 16u << 20;

int RealOpen(const char* path, int flags, int mode) { return ::open(path, flags, mode); }
long RealWrite(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
int RealFsync(int fd) { return ::fsync(fd); }
int RealClose(int fd) { return ::close(fd); }
int RealRename(const char* from, const char* to) { return ::rename(from, to); }
int RealUnlink(const char* path) { return ::unlink(path); }

const UserDefaultsFileOps kRealOps = {RealOpen, RealWrite, RealFsync, RealClose, RealRename, RealUnlink};

UserDefaultsFileOps g_ops = kRealOps;
std::string g_path_override;
json g_values = json::object();
bool g_loaded = false;
// A damaged store that could not be moved aside: saving would destroy it.
bool g_damaged_in_place = false;
std::string g_damage_reason;
std::string g_last_damaged;

std::string Folder(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
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

// Reads the store; returns "" when it is usable (or absent), else why not.
std::string ReadStore(const std::string& path, json* out) {
  *out = json::object();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? "" : std::string("unreadable: ") + std::strerror(errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return "not a regular file";
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxStoreBytes) {
    ::close(fd);
    return "too large";
  }
  std::string text(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, &text[got], text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got != text.size()) return "read error";
  json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) return "not valid JSON";
  if (!doc.is_object()) return "not a JSON object";
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const json& v = it.value();
    const bool ok = v.is_string() || v.is_number_integer();
    if (!ok || (v.is_number_unsigned() && v.get<unsigned long long>() > LLONG_MAX))
      return "value of \"" + it.key() + "\" is neither text nor an integer";
  }
  *out = std::move(doc);
  return "";
}

void Load() {
  if (g_loaded) return;
  g_loaded = true;
  g_damaged_in_place = false;
  const std::string path = UserDefaultsPath();
  if (path.empty()) return;
  const std::string why = ReadStore(path, &g_values);
  if (!why.empty()) {
    g_values = json::object();
    MoveAside(path, why.c_str());
  }
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

bool SaveFailed(const std::string& path, const char* step, const std::string& tmp) {
  const int err = errno;
  std::fprintf(stderr, "Settings: cannot save %s (%s: %s); the previous settings are kept\n",
               path.c_str(), step, std::strerror(err));
  if (!tmp.empty()) g_ops.unlink(tmp.c_str());
  return false;
}

}  // namespace

std::string UserDefaultsPath() {
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
  UserDefaultsForget();
}

void UserDefaultsForget() {
  g_values = json::object();
  g_loaded = false;
  g_damaged_in_place = false;
  g_last_damaged.clear();
}

std::string UserDefaultsLastDamagedPath() { return g_last_damaged; }

void UserDefaultsSetFileOps(const UserDefaultsFileOps* ops) { g_ops = ops ? *ops : kRealOps; }

bool UserDefaultsStringForKey(const char* key, std::string* value) {
  Load();
  if (!key) return false;
  auto it = g_values.find(key);
  if (it == g_values.end() || !it->is_string()) return false;
  if (value) *value = it->get<std::string>();
  return true;
}

long long UserDefaultsIntegerForKey(const char* key) {
  Load();
  if (!key) return 0;
  auto it = g_values.find(key);
  if (it == g_values.end()) return 0;
  if (it->is_number_integer()) return it->get<long long>();
  if (it->is_string()) {
    const std::string& s = it->get_ref<const std::string&>();
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (!s.empty() && end && *end == 0 && errno == 0) return v;
  }
  return 0;
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
  const std::string path = UserDefaultsPath();
  if (path.empty()) {
    std::fprintf(stderr, "Settings: cannot save (no home or configuration folder)\n");
    return false;
  }
  const std::string reason = g_damage_reason;
  if (g_damaged_in_place && Exists(path) && !MoveAside(path, reason.c_str())) {
    errno = EEXIST;
    return SaveFailed(path, "damaged store in the way", "");
  }
  const std::string dir = Folder(path);
  if (!MakeFolders(dir)) return SaveFailed(path, "create folder", "");
  // Invalid UTF-8 in a value is written as U+FFFD rather than failing the
  // whole save.
  const std::string data = g_values.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  const std::string tmp = path + ".tmp";

  const int fd = g_ops.open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return SaveFailed(path, "create temporary file", "");
  if (!WriteAll(fd, data)) {
    const int err = errno;
    g_ops.close(fd);
    errno = err;
    return SaveFailed(path, "write", tmp);
  }
  if (g_ops.fsync(fd) != 0) {
    const int err = errno;
    g_ops.close(fd);
    errno = err;
    return SaveFailed(path, "fsync", tmp);
  }
  if (g_ops.close(fd) != 0) return SaveFailed(path, "close", tmp);
  if (g_ops.rename(tmp.c_str(), path.c_str()) != 0) return SaveFailed(path, "rename", tmp);
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
