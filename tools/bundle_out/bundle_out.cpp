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

int BundleOutArgs(CliProgram* program, int argc, char** argv, CliArgs* args) {
  program->operands = "OUT_DIR";
  program->min_operands = program->max_operands = 1;
  program->options.push_back(
      {"--stamp", "FILE", "when done, write FILE and FILE.d, the files written (for the build)"});
  const int parsed = CliParse(*program, argc, argv, args);
  if (parsed >= 0) return parsed;
  return CliIsFolder(*program, args->operands[0]) ? -1 : kExitIoError;
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
