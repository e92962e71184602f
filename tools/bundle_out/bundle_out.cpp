#include "bundle_out.h"

#include <cstdio>

namespace {
std::vector<std::string> g_files;

// Make's depfile syntax: spaces and '#' are escaped, '$' doubled.
std::string Escaped(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#' || c == '\\') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

bool WriteText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}
}  // namespace

std::string BundleOutPath(const std::string& dir, const std::string& name) {
  std::string path = dir.empty() ? name : dir + "/" + name;
  for (const std::string& f : g_files)
    if (f == path) return path;
  g_files.push_back(path);
  return path;
}

const std::vector<std::string>& BundleOutFiles() { return g_files; }

bool BundleOutArgs(int argc, char** argv, const char* tool, std::string* dir, std::string* stamp,
                   std::vector<std::string>* rest) {
  dir->clear();
  stamp->clear();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--stamp" && i + 1 < argc) {
      *stamp = argv[++i];
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0 && rest && i + 1 < argc) {
      rest->push_back(a);
      rest->push_back(argv[++i]);
    } else if (dir->empty() && !a.empty() && a[0] != '-') {
      *dir = a;
    } else {
      dir->clear();
      break;
    }
  }
  if (dir->empty()) {
    std::fprintf(stderr, "usage: %s OUT_DIR [--stamp FILE]%s\n", tool, rest ? " [--OPTION VALUE]..." : "");
    return false;
  }
  return true;
}

bool BundleOutFinish(const char* tool, const std::string& stamp) {
  if (stamp.empty()) return true;
  std::string deps = Escaped(stamp) + ":";
  for (const std::string& f : g_files) deps += " \\\n  " + Escaped(f);
  deps += "\n";
  if (!WriteText(stamp + ".d", deps) || !WriteText(stamp, "")) {
    std::fprintf(stderr, "%s: cannot write the stamp %s\n", tool, stamp.c_str());
    return false;
  }
  return true;
}
