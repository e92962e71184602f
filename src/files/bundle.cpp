#include "files/bundle.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "files/files.h"

static std::string g_root;
static bool g_rootSet = false;

static bool IsDir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = 0;
  char* slash = std::strrchr(buf, '/');
  if (slash) *slash = 0;
  return buf;
}

static std::string DefaultRoot() {
  const std::string exe = ExecutableDir();
  if (IsDir(exe + "/Resources")) return exe + "/Resources";
  if (IsDir(exe + "/../share/ovanta")) return exe + "/../share/ovanta";
  return "";
}

void BundleSetRoot(const char* dir) {
  g_rootSet = dir && *dir;
  g_root = g_rootSet ? dir : "";
}

std::string BundleRoot() {
  if (!g_rootSet) {
    g_root = DefaultRoot();
    g_rootSet = true;
  }
  return g_root;
}

std::string BundleProblem() {
  const std::string root = BundleRoot();
  if (root.empty())
    return "no bundle folder: neither Resources beside the program nor ../share/ovanta (use --bundle DIR)";
  struct stat st;
  if (stat(root.c_str(), &st) != 0) return "the bundle folder " + root + " does not exist";
  if (!S_ISDIR(st.st_mode)) return "the bundle folder " + root + " is not a folder";
  DIR* d = opendir(root.c_str());
  if (!d) return "the bundle folder " + root + " cannot be read (" + std::strerror(errno) + ")";
  bool any = false;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') {
      any = true;
      break;
    }
  closedir(d);
  return any ? "" : "the bundle folder " + root + " is empty";
}

bool BundlePathForResource(const char* name, const char* type, std::string& path) {
  if (!name || !*name || std::strchr(name, '/') || std::strchr(name, '\\') || std::strcmp(name, ".") == 0 ||
      std::strcmp(name, "..") == 0)
    return false;
  if (type && (std::strchr(type, '/') || std::strchr(type, '\\'))) return false;
  const std::string root = BundleRoot();
  if (root.empty()) return false;
  std::string p = root + "/" + name;
  if (type && *type) p += std::string(".") + type;
  struct stat st;
  if (stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(p.c_str(), R_OK) != 0) return false;
  path = p;
  return true;
}

std::string BundleWhyNot(const char* name, const char* type) {
  std::string file = name ? name : "";
  if (type && *type) file += std::string(".") + type;
  const std::string root = BundleRoot();
  if (file.empty() || file.find('/') != std::string::npos || file.find('\\') != std::string::npos || file == "." ||
      file == "..")
    return "'" + file + "': no name of a file in the bundle";
  if (root.empty()) return file + ": no bundle folder";
  const std::string p = root + "/" + file;
  struct stat st;
  FileStatus status = kFileOk;
  const int fd = FileOpenRegular(p.c_str(), &st, &status);
  if (fd >= 0) ::close(fd);
  return fd >= 0 ? p : p + ": " + FileStatusText(status, st, errno);
}
