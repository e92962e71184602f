// Any bytes as the settings file: the store either takes them as its values
// or moves them aside byte for byte; either way the next save writes a file
// that reads back as what was saved, with the values it read still there.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "store/user_defaults.h"

namespace {

std::string g_dir, g_file;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/ovanta-defaults-fuzz-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  g_dir = dir;
  g_file = g_dir + "/defaults.json";
  std::atexit([] { rmdir(g_dir.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) std::abort();
  }
  UserDefaultsSetPath(g_file.c_str());
  long long clothes = 0;
  const bool had = UserDefaultsIntegerValue("n_clothes", &clothes);
  const std::string aside = UserDefaultsLastDamagedPath();
  if (!aside.empty()) {
    // Nothing lost: the damaged file is kept whole and the store is empty.
    struct stat st;
    if (Slurp(aside) != bytes || stat(g_file.c_str(), &st) == 0 || had) std::abort();
    unlink(aside.c_str());
  }
  UserDefaultsSetString("name", "fuzz");
  UserDefaultsSetInteger("n_hair", 3);
  if (!UserDefaultsSynchronize() || UserDefaultsUnsaved()) std::abort();
  UserDefaultsForget();
  std::string name;
  long long again = 0;
  if (!UserDefaultsStringForKey("name", &name) || name != "fuzz" || UserDefaultsIntegerForKey("n_hair") != 3 ||
      !UserDefaultsLastDamagedPath().empty() || UserDefaultsIntegerValue("n_clothes", &again) != had ||
      (had && again != clothes))
    std::abort();
  unlink(g_file.c_str());
  return 0;
}
