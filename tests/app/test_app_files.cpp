// The app against what a hostile or unlucky user hands it: settings stores
// that are devices, pipes or of the wrong shape, outputs that cannot be
// written, inputs that are missing or would block. Everything the tests make
// (device nodes, pipes) lives in their own scratch folder.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "headless_run.h"

namespace {

// A character device like the system's null or full device, made here.
bool MakeDevice(const std::string& path, unsigned minor) {
  return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0;
}

TEST(AppStore, WrongTypesGetTheirDefaultAndALongNameIsCut) {
  ScratchDir dir;
  const std::string store = dir.file("d.json");
  std::string huge;
  for (int i = 0; i < 15 * 1024 * 1024 / 2; ++i) huge += "\xD0\xAF";  // 15 MB of a two-byte letter
  std::ofstream(store) << "{\"Ovanta_name\":\"" << huge
                       << "\",\"Ovanta_clothes\":\"two\",\"Ovanta_hair\":2,"
                          "\"Ovanta_volume\":\"loud\",\"Ovanta_captions\":null}";
  const HeadlessRun r = RunHeadless("tick 1\n", "--defaults '" + store + "'");
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  std::string cut;
  for (int i = 0; i < 32; ++i) cut += "\xD0\xAF";
  // 32 characters, not bytes; the defaults of the wrong types, the other
  // choices still read.
  EXPECT_TRUE(HasFields(r.at(1), {{"name", cut}, {"n_clothes", 1}, {"n_hair", 2}, {"volume", 3}, {"captions", true}}));
  for (const char* key : {"Ovanta_clothes", "Ovanta_volume", "Ovanta_captions"})
    EXPECT_EQ(LinesWith(r.err, key), 1) << r.err;
  struct stat st;
  ASSERT_EQ(stat(store.c_str(), &st), 0);
  EXPECT_GT(st.st_size, 15 * 1024 * 1024 - 100) << "the store itself is left alone";

  // A name of the wrong type: a first launch, said in one line.
  std::ofstream(store) << R"({"Ovanta_name":42,"Ovanta_clothes":2})";
  const HeadlessRun n = RunHeadless("tick 1\n", "--defaults '" + store + "'");
  ASSERT_EQ(n.status, 0) << n.err;
  EXPECT_TRUE(HasFields(n.at(1), {{"name", "Ovanta"}, {"n_clothes", 1}}));
  EXPECT_EQ(LinesWith(n.err, "Ovanta_name"), 1) << n.err;
}

// A link loop cannot be opened at all: unreadable, which is no damage.
TEST(AppStore, WhatIsNoRegularFileNeitherBlocksNorChanges) {
  ScratchDir dir;
  std::vector<std::string> paths = {dir.file("pipe"), dir.file("folder"), dir.file("socket"), dir.file("loop")};
  ASSERT_EQ(mkfifo(paths[0].c_str(), 0600), 0);
  ASSERT_EQ(mkdir(paths[1].c_str(), 0700), 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", paths[2].c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  close(fd);  // the socket's file stays
  ASSERT_EQ(symlink("loop", paths[3].c_str()), 0);
  if (MakeDevice(dir.file("null"), 3)) paths.push_back(dir.file("null"));
  for (const std::string& p : paths) {
    SCOPED_TRACE(p);
    struct stat before, after;
    ASSERT_EQ(lstat(p.c_str(), &before), 0);
    // Choices made on the settings screen apply, but go nowhere: an output
    // lost, which the run's status says.
    const HeadlessRun r = RunHeadless(
        "tick 1\naction menuView\naction settingsView\ntick 2\naction onSetting\naction onButton3\n"
        "action backToMainView\ntick 2\n",
        "--defaults '" + p + "'");
    EXPECT_EQ(r.status, 74) << r.err;
    EXPECT_EQ(r.last()["n_clothes"], 3);
    EXPECT_EQ(LinesWith(r.err, "Settings:"), 1) << r.err;
    ASSERT_EQ(lstat(p.c_str(), &after), 0);
    EXPECT_EQ(before.st_mode, after.st_mode);
    EXPECT_EQ(before.st_rdev, after.st_rdev);
    EXPECT_EQ(before.st_ino, after.st_ino);
  }
  EXPECT_EQ(RunProgram("ls '" + dir.path() + "' | wc -l").out, std::to_string(paths.size()) + "\n")
      << "nothing moved aside or added";
}

TEST(AppOutputs, ATraceOrShotThatCannotBeWrittenFailsTheRun) {
  ScratchDir dir;
  // A pipe nobody reads fails at once instead of blocking; a full device
  // takes the open and fails the writes.
  std::vector<std::string> outs = {dir.file("pipe")};
  ASSERT_EQ(mkfifo(outs[0].c_str(), 0600), 0);
  if (MakeDevice(dir.file("full"), 7)) outs.push_back(dir.file("full"));
  for (const std::string& out : outs) {
    SCOPED_TRACE(out);
    const HeadlessRun traced = RunHeadless("tick 3\nshot " + dir.file("after.png") + "\n", "--trace '" + out + "'");
    EXPECT_EQ(traced.status, 74) << traced.err;
    EXPECT_EQ(LinesWith(traced.err, out), 1) << traced.err;
    EXPECT_EQ(unlink(dir.file("after.png").c_str()), 0) << "the run went on to its end";
    const HeadlessRun shot = RunHeadless("tick 1\nshot " + out + "\ntick 1\n");
    EXPECT_EQ(shot.status, 74) << shot.err;
    EXPECT_EQ(LinesWith(shot.err, out), 1) << shot.err;
    EXPECT_EQ(shot.ticks.size(), 2u) << "the run goes on";
  }
}

TEST(AppInputs, AMissingScriptOrBundleIsOneLine) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("empty").c_str(), 0700), 0);
  std::ofstream(dir.file("s.txt")) << "tick 1\n";
  struct Case {
    std::string args, named;
  };
  const Case cases[] = {
      {"'" + dir.file("none.txt") + "'", dir.file("none.txt")},
      {"'" + dir.file("pipe") + "'", dir.file("pipe")},  // refused, never waited on
      {"'" + dir.path() + "'", dir.path()},
      {"--bundle '" + dir.file("nowhere") + "' '" + dir.file("s.txt") + "'", dir.file("nowhere")},
      {"--bundle '" + dir.file("empty") + "' '" + dir.file("s.txt") + "'", dir.file("empty")},
  };
  ASSERT_EQ(mkdir(dir.file("tmp").c_str(), 0700), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ProgramRun r = RunProgram("TMPDIR='" + dir.file("tmp") + "' '" + OVANTA_HEADLESS + "' " + c.args);
    EXPECT_EQ(r.status, 66);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(RunProgram("ls -A '" + dir.file("tmp") + "'").out, "") << "nothing left in the temporary folder";
  }
}

}  // namespace
