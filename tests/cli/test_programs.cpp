// The command line of every program: --help and -h on standard output,
// --version, a bad flag refused with the usage, and a missing input or
// output folder said in one line before any work is done.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "headless_run.h"

namespace {

std::vector<std::string> Programs() {
  std::vector<std::string> out;
  std::stringstream list(OVANTA_PROGRAMS);
  for (std::string p; std::getline(list, p, ',');) out.push_back(p);
  return out;
}

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Listing(const std::string& dir) { return RunProgram("ls -A '" + dir + "'").out; }

TEST(Programs, HelpVersionAndABadFlag) {
  const std::vector<std::string> programs = Programs();
  ASSERT_GE(programs.size(), 7u);
  ScratchDir cwd;  // a flag taken for a folder would show up here
  for (const std::string& p : programs) {
    const std::string name = Name(p);
    SCOPED_TRACE(name);
    const std::string run = "cd '" + cwd.path() + "' && '" + p + "' ";
    const ProgramRun help = RunProgram(run + "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: " + name + " ", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(RunProgram(run + "-h").out, help.out);
    const ProgramRun version = RunProgram(run + "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, name + " " + OVANTA_VERSION + "\n");
    const ProgramRun bad = RunProgram(run + "--no-such-flag");
    EXPECT_EQ(bad.status, 64);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("--no-such-flag"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("usage: " + name), std::string::npos) << bad.err;
  }
  EXPECT_EQ(Listing(cwd.path()), "") << "no program wrote anything";
}

TEST(Programs, AMissingFolderIsOneLineAndNothingIsWritten) {
  ScratchDir dir;
  for (const std::string& p : Programs()) {
    const std::string name = Name(p);
    SCOPED_TRACE(name);
    std::string args;
    if (name == "girlgen" || name == "voicegen" || name == "artgen" || name == "worldgen" || name == "musicgen")
      args = "'" + dir.file("no-folder") + "'";
    else if (name == "appicon")
      args = "'" + dir.file("no-folder") + "' --icons '" + dir.file("icons") + "'";
    else if (name == "girlpreview")
      args = "'" + dir.file("no-bundle") + "' '" + dir.file("sheet.png") + "'";
    else if (name == "worldpreview")
      args = "'" + dir.file("no-bundle") + "' '" + dir.path() + "'";
    else
      continue;
    const ProgramRun r = RunProgram("'" + p + "' " + args);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(dir.path()), std::string::npos) << r.err;
    EXPECT_EQ(Listing(dir.path()), "");
  }
}

// The generator's input table missing, a named pipe, malformed or without
// a line the app plays: status 66, one line naming it, and the output
// folder left empty.
TEST(Programs, VoicegenRefusesAnUnusableCaptionsTable) {
  const std::vector<std::string> programs = Programs();
  const auto voicegen =
      std::find_if(programs.begin(), programs.end(), [](const std::string& p) { return Name(p) == "voicegen"; });
  ASSERT_NE(voicegen, programs.end());
  ScratchDir dir;
  const std::string out = dir.file("out");
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  std::ofstream(dir.file("bad.txt")) << "no tabs here\n";
  std::ofstream(dir.file("short.txt")) << kVoices[0].idle << "\ten\tJust one line.\n";
  for (const char* table : {"missing.txt", "pipe", "bad.txt", "short.txt"}) {
    SCOPED_TRACE(table);
    const ProgramRun r = RunProgram("'" + *voicegen + "' '" + out + "' --captions '" + dir.file(table) + "'");
    EXPECT_EQ(r.status, 66);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(dir.file(table)), std::string::npos) << r.err;
    EXPECT_EQ(Listing(out), "");
  }
}

}  // namespace
