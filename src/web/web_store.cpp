#include "web/web_store.h"

#include <emscripten.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "store/user_defaults.h"

// Local storage, reached from the program. getItem's value comes back in a
// malloc'd UTF-8 string (null when the key is absent or storage is
// unreachable); setItem answers 1 on success.
EM_JS(char*, web_storage_get, (const char* key), {
  var v = null;
  try {
    v = window.localStorage.getItem(UTF8ToString(key));
  } catch (e) {
  }
  if (v === null) return 0;
  var n = lengthBytesUTF8(v) + 1;
  var p = _malloc(n);
  if (p) stringToUTF8(v, p, n);
  return p;
});

EM_JS(int, web_storage_set, (const char* key, const char* value), {
  try {
    window.localStorage.setItem(UTF8ToString(key), UTF8ToString(value));
    return 1;
  } catch (e) {
    return 0;
  }
});

EM_JS(void, web_storage_remove, (const char* key), {
  try {
    window.localStorage.removeItem(UTF8ToString(key));
  } catch (e) {
  }
});

namespace {
std::string g_key;
std::string g_file;

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return !in.bad();
}

int Open(const char* path, int flags, int mode) { return ::open(path, flags, mode); }
long Write(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
int Fsync(int fd) { return ::fsync(fd); }
int Close(int fd) { return ::close(fd); }
int Unlink(const char* path) { return ::unlink(path); }

int Rename(const char* from, const char* to) {
  if (::rename(from, to) != 0) return -1;
  std::string text;
  if (g_file == to) {
    // A save completes: the whole store, published in one step. A file that
    // holds a NUL cannot be a store the desktop code wrote.
    if (!ReadFile(to, &text) || text.find('\0') != std::string::npos ||
        !web_storage_set(g_key.c_str(), text.c_str())) {
      errno = EIO;
      return -1;
    }
  } else if (g_file == from) {
    // The store moved aside as damaged: kept under a key of its own.
    const std::string suffix = std::string(to).substr(g_file.size());
    if (ReadFile(to, &text) && text.find('\0') == std::string::npos)
      web_storage_set((g_key + suffix).c_str(), text.c_str());
    web_storage_remove(g_key.c_str());
  }
  return 0;
}

const UserDefaultsFileOps kWebOps = {Open, Write, Fsync, Close, Rename, Unlink};
}  // namespace

bool WebStoreOpen(const char* key, const char* file) {
  g_key = key;
  g_file = file;
  const std::string folder = g_file.substr(0, g_file.rfind('/'));
  if (!folder.empty()) mkdir(folder.c_str(), 0700);
  UserDefaultsSetPath(file);
  UserDefaultsSetFileOps(&kWebOps);
  char* saved = web_storage_get(key);
  if (!saved) return true;  // a first visit, or storage out of reach
  bool ok = false;
  if (FILE* f = std::fopen(file, "wb")) {
    const size_t n = std::char_traits<char>::length(saved);
    ok = std::fwrite(saved, 1, n, f) == n;
    ok = std::fclose(f) == 0 && ok;
  }
  std::free(saved);
  if (!ok) {
    std::fprintf(stderr, "Settings: the saved settings could not be read into %s; defaults apply\n", file);
    std::remove(file);
  }
  return ok;
}
