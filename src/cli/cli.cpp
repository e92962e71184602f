#include "cli/cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef OVANTA_VERSION
#error "OVANTA_VERSION comes from the project version in CMakeLists.txt"
#endif

bool CliArgs::Has(const char* option) const {
  for (const auto& g : given)
    if (g.first == option) return true;
  return false;
}

std::string CliArgs::Value(const char* option, const std::string& fallback) const {
  for (auto it = given.rbegin(); it != given.rend(); ++it)
    if (it->first == option) return it->second;
  return fallback;
}

std::string CliUsage(const CliProgram& program) {
  std::string line = std::string("usage: ") + program.name;
  for (const CliOption& o : program.options)
    line += std::string(" [") + o.name + (o.value ? std::string(" ") + o.value : "") + "]";
  if (program.operands && *program.operands) line += std::string(" ") + program.operands;
  std::string text = line + "\n";
  size_t width = std::strlen("-h, --help");
  for (const CliOption& o : program.options)
    width = std::max(width, std::strlen(o.name) + (o.value ? 1 + std::strlen(o.value) : 0));
  auto row = [&](const std::string& left, const char* help) {
    text += "  " + left + std::string(width + 2 - left.size(), ' ') + help + "\n";
  };
  for (const CliOption& o : program.options)
    row(std::string(o.name) + (o.value ? std::string(" ") + o.value : ""), o.help);
  row("-h, --help", "show this help and exit");
  row("--version", "show the version and exit");
  if (program.notes) text += program.notes;
  if (!text.empty() && text.back() != '\n') text += '\n';
  return text;
}

bool CliIsFolder(const CliProgram& program, const std::string& dir) {
  struct stat st;
  const char* why = "not a folder";
  if (stat(dir.c_str(), &st) != 0)
    why = errno == ENOENT || errno == ENOTDIR ? "no such folder" : std::strerror(errno);
  else if (S_ISDIR(st.st_mode))
    return true;
  std::fprintf(stderr, "%s: %s: %s\n", program.name, dir.c_str(), why);
  return false;
}

int CliUsageError(const CliProgram& program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n%s", program.name, message.c_str(), CliUsage(program).c_str());
  return kExitUsage;
}

int CliParse(const CliProgram& program, int argc, char** argv, CliArgs* args) {
  *args = CliArgs();
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i] ? argv[i] : "";
    if (options_done || a == "-" || a.empty() || a[0] != '-') {
      args->operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options_done = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      std::fputs(CliUsage(program).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : kExitIoError;
    }
    if (a == "--version") {
      std::printf("%s %s\n", program.name, OVANTA_VERSION);
      return std::fflush(stdout) == 0 ? 0 : kExitIoError;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const CliOption* option = nullptr;
    for (const CliOption& o : program.options)
      if (name == o.name) option = &o;
    if (!option) return CliUsageError(program, "unknown option " + name);
    if (!option->value) {
      if (eq != std::string::npos) return CliUsageError(program, name + " takes no value");
      args->given.emplace_back(name, "");
    } else if (eq != std::string::npos) {
      args->given.emplace_back(name, a.substr(eq + 1));
    } else if (i + 1 < argc) {
      args->given.emplace_back(name, argv[++i]);
    } else {
      return CliUsageError(program, name + " needs a value (" + option->value + ")");
    }
  }
  const int n = static_cast<int>(args->operands.size());
  if (n < program.min_operands)
    return CliUsageError(program, std::string("missing ") + (program.operands ? program.operands : "operand"));
  if (program.max_operands >= 0 && n > program.max_operands)
    return CliUsageError(program, "too many arguments (" + args->operands[program.max_operands] + "...)");
  return -1;
}
