#include "kit/program_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "kit/temp_dir.h"

namespace testkit {

ProgramRun RunProgram(const std::string& command_line) {
  ProgramRun run;
  TempDir dir;
  const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
  const int rc = std::system(("( " + command_line + " ) >'" + out + "' 2>'" + err + "' </dev/null").c_str());
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::stringstream o, e;
  o << std::ifstream(out).rdbuf();
  e << std::ifstream(err).rdbuf();
  run.out = o.str();
  run.err = e.str();
  return run;
}

int LinesWith(const std::string& text, const std::string& what) {
  std::istringstream lines(text);
  int n = 0;
  for (std::string line; std::getline(lines, line);) n += line.find(what) != std::string::npos;
  return n;
}

}  // namespace testkit
