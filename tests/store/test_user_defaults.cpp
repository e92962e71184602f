// The user-defaults store: round trip, first launch, damaged stores kept
// aside, linked and read-only stores, two copies saving at once, and saves
// that fail or crash at every step without losing the previous settings.
// (What is no regular file at the store's path: tests/app/test_app_files.cpp.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>

#include "kit/wav_fixture.h"
#include "store/user_defaults.h"

using testkit::ListDir;
using wavtest::ReadFile;
using wavtest::TempDir;

namespace {

bool WriteText(const std::string& path, const std::string& text) {
  return wavtest::WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

class UserDefaults : public ::testing::Test {
 protected:
  void SetUp() override {
    UserDefaultsSetFileOps(nullptr);
    file_ = dir_ / "cfg/defaults.json";
    UserDefaultsSetPath(file_.c_str());
  }
  void TearDown() override {
    UserDefaultsSetFileOps(nullptr);
    UserDefaultsSetPath(nullptr);
  }
  // What a new launch would see.
  void Relaunch() {
    UserDefaultsSetFileOps(nullptr);
    UserDefaultsForget();
  }
  TempDir dir_;
  std::string file_;
};

}  // namespace

TEST_F(UserDefaults, ValuesSurviveARelaunch) {
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"utf8", "Ов\xC3\xA4nta \xF0\x9F\x98\x80"},
      {"long", std::string(100000, 'x')},
      {"odd", std::string("quote\" back\\slash\nnew line\ttab\0nul", 34)},
      {"empty", ""},
      {"retyped", "now text"}};
  const std::vector<std::pair<std::string, long long>> numbers = {
      {"zero", 0}, {"neg", -7}, {"min", LLONG_MIN}, {"max", LLONG_MAX}};
  UserDefaultsSetInteger("retyped", 5);
  for (const auto& t : texts) UserDefaultsSetString(t.first.c_str(), t.second);
  for (const auto& n : numbers) UserDefaultsSetInteger(n.first.c_str(), n.second);
  UserDefaultsSetString("bad",
                        "a\xFF"
                        "b");  // saved as a replacement character
  UserDefaultsSetInteger("gone", 1);
  UserDefaultsRemoveKey("gone");
  ASSERT_TRUE(UserDefaultsSynchronize());

  Relaunch();
  std::string s;
  for (const auto& t : texts) {
    ASSERT_TRUE(UserDefaultsStringForKey(t.first.c_str(), &s)) << t.first;
    EXPECT_EQ(t.second, s) << t.first;
  }
  for (const auto& n : numbers) EXPECT_EQ(n.second, UserDefaultsIntegerForKey(n.first.c_str())) << n.first;
  ASSERT_TRUE(UserDefaultsStringForKey("bad", &s));
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b",
      s);
  EXPECT_EQ("", UserDefaultsLastDamagedPath());
  EXPECT_FALSE(UserDefaultsHasKey("gone"));
  // An integer is no string; a string reads as an integer only when it is one.
  EXPECT_FALSE(UserDefaultsStringForKey("neg", &s));
  UserDefaultsSetString("num", "42");
  UserDefaultsSetString("notnum", "42x");
  EXPECT_EQ(42, UserDefaultsIntegerForKey("num"));
  EXPECT_EQ(0, UserDefaultsIntegerForKey("notnum"));
  EXPECT_EQ(0, UserDefaultsIntegerForKey("empty"));
  EXPECT_FALSE(UserDefaultsStringForKey(nullptr, &s));
  EXPECT_EQ(0, UserDefaultsIntegerForKey(nullptr));
}

TEST_F(UserDefaults, FirstLaunchIsQuietAndEmptyTheDefaultPlaceFollowsXdgThenHome) {
  testing::internal::CaptureStderr();
  std::string s = "untouched";
  EXPECT_FALSE(UserDefaultsStringForKey("Ovanta_name", &s));
  EXPECT_EQ("untouched", s);
  EXPECT_EQ(0, UserDefaultsIntegerForKey("Ovanta_clothes"));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_TRUE(ListDir(dir_.path()).empty()) << "reading creates nothing";
  UserDefaultsSetInteger("k", 3);
  EXPECT_TRUE(UserDefaultsSynchronize());  // creates the folders
  EXPECT_EQ(std::vector<std::string>{"defaults.json"}, ListDir(dir_ / "cfg"));

  // Without a path of its own the store follows XDG_CONFIG_HOME, then HOME.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved_xdg = xdg ? xdg : "";
  const char* home = std::getenv("HOME");
  const std::string saved_home = home ? home : "";
  UserDefaultsSetPath(nullptr);
  setenv("XDG_CONFIG_HOME", "/x/conf", 1);
  setenv("HOME", "/h/me", 1);
  EXPECT_EQ("/x/conf/ovanta/defaults.json", UserDefaultsPath());
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ("/h/me/.config/ovanta/defaults.json", UserDefaultsPath());
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ("/h/me/.config/ovanta/defaults.json", UserDefaultsPath());
  UserDefaultsSetPath(file_.c_str());
  EXPECT_EQ(file_, UserDefaultsPath());
  if (xdg) setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  if (home) setenv("HOME", saved_home.c_str(), 1);
}

TEST_F(UserDefaults, DamagedStoreIsKeptAsideAndDefaultsApply) {
  const std::string cases[] = {
      "garbage \x01\x02\xff",
      "{\"Ovanta_name\": \"Ann\", \"Ovanta_clothes\": 2",  // truncated
      "",
      "[1, 2]",
      "\"just text\"",
      "{\"Ovanta_name\": \"a\xff\"}",                                         // invalid UTF-8
      "{\"junk\": " + std::string(1000, '[') + std::string(1000, ']') + "}",  // no store nests this deep
  };
  ASSERT_EQ(0, mkdir((dir_ / "cfg").c_str(), 0700));
  std::vector<std::string> asides;
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(WriteText(file_, text));
    Relaunch();
    testing::internal::CaptureStderr();
    std::string s;
    EXPECT_FALSE(UserDefaultsStringForKey("Ovanta_name", &s));
    EXPECT_EQ(0, UserDefaultsIntegerForKey("Ovanta_clothes"));
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string aside = UserDefaultsLastDamagedPath();
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    EXPECT_NE(std::string::npos, err.find("damaged")) << err;
    EXPECT_NE(std::string::npos, err.find(aside)) << err;
    std::string kept;
    ASSERT_TRUE(ReadFile(aside, &kept));
    EXPECT_EQ(text, kept) << "the damaged store is kept byte for byte";
    EXPECT_EQ(std::find(asides.begin(), asides.end(), aside), asides.end()) << "never reused";
    asides.push_back(aside);
    EXPECT_NE(0, access(file_.c_str(), F_OK));
  }
  // Saving afterwards starts a new store and leaves every damaged one alone.
  UserDefaultsSetInteger("Ovanta_clothes", 2);
  ASSERT_TRUE(UserDefaultsSynchronize());
  Relaunch();
  EXPECT_EQ(2, UserDefaultsIntegerForKey("Ovanta_clothes"));
  EXPECT_EQ(asides.size() + 1, ListDir(dir_ / "cfg").size());

  // Values of other types are no damage: the store is read, the key is there
  // but is no integer, and saving keeps what it does not understand, at
  // about the size it was read (however deep and wide it is).
  std::string wide = "[\"[{\\\"\"";
  for (int i = 0; i < 3000; ++i) wide += ",1";
  wide = "{\"a\": 1.5, \"b\": true, \"c\": [2], \"d\": 18446744073709551615, \"e\": " + std::string(20, '[') + wide +
         std::string(21, ']') + "}";
  ASSERT_TRUE(WriteText(file_, wide));
  Relaunch();
  long long v = 0;
  EXPECT_FALSE(UserDefaultsIntegerValue("a", &v));
  EXPECT_FALSE(UserDefaultsIntegerValue("b", &v));
  EXPECT_TRUE(UserDefaultsHasKey("c"));
  ASSERT_TRUE(UserDefaultsIntegerValue("d", &v));
  EXPECT_EQ(LLONG_MAX, v);
  EXPECT_EQ("", UserDefaultsLastDamagedPath());
  ASSERT_TRUE(UserDefaultsSynchronize());
  std::string saved;
  ASSERT_TRUE(ReadFile(file_, &saved));
  EXPECT_LT(saved.size(), wide.size() + 200);
  Relaunch();
  EXPECT_FALSE(UserDefaultsIntegerValue("c", &v));
  EXPECT_TRUE(UserDefaultsHasKey("c"));
  EXPECT_EQ(nlohmann::json::parse(wide), nlohmann::json::parse(saved));
}

// The reader refuses a store over its size limit, so no save writes one:
// keys the app did not set go first, largest first; its own are kept.
TEST_F(UserDefaults, ASaveNeverWritesAStoreTooLargeToBeRead) {
  ASSERT_EQ(0, mkdir((dir_ / "cfg").c_str(), 0700));
  const std::string junk(kUserDefaultsMaxBytes - 100, 'j');
  ASSERT_TRUE(WriteText(file_, "{\"small\": 7, \"junk\": \"" + junk + "\"}"));
  Relaunch();
  const std::string name(1000, 'n');
  UserDefaultsSetString("Ovanta_name", name);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(UserDefaultsSynchronize());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  EXPECT_NE(std::string::npos, err.find("junk")) << err;
  Relaunch();
  std::string s;
  ASSERT_TRUE(UserDefaultsStringForKey("Ovanta_name", &s));
  EXPECT_EQ(name, s);
  EXPECT_EQ(7, UserDefaultsIntegerForKey("small"));
  EXPECT_FALSE(UserDefaultsHasKey("junk"));
  // Choices that alone are too large are not written at all.
  UserDefaultsSetString("Ovanta_name", std::string(kUserDefaultsMaxBytes, 'x'));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(UserDefaultsSynchronize());
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  EXPECT_TRUE(UserDefaultsUnsaved());
  Relaunch();
  EXPECT_TRUE(UserDefaultsStringForKey("Ovanta_name", &s));
  EXPECT_EQ(name, s);
}

// What someone else wrote meanwhile: a store is replaced, a damaged file is
// moved aside first, as at start-up; a file in the way of the folder is named.
TEST_F(UserDefaults, AStoreChangedOnDiskIsMovedAsideWhenDamaged) {
  UserDefaultsSetInteger("Ovanta_hair", 1);
  ASSERT_TRUE(UserDefaultsSynchronize());
  ASSERT_TRUE(WriteText(file_, "{\"other\": 2}"));  // another copy's save
  UserDefaultsSetInteger("Ovanta_hair", 2);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(UserDefaultsSynchronize());
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ("", UserDefaultsLastDamagedPath());
  ASSERT_TRUE(WriteText(file_, "{damaged meanwhile"));
  UserDefaultsSetInteger("Ovanta_hair", 3);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(UserDefaultsSynchronize());
  std::string err = testing::internal::GetCapturedStderr(), kept;
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  ASSERT_TRUE(ReadFile(UserDefaultsLastDamagedPath(), &kept)) << err;
  EXPECT_EQ("{damaged meanwhile", kept);
  Relaunch();
  EXPECT_EQ(3, UserDefaultsIntegerForKey("Ovanta_hair"));

  UserDefaultsSetPath((dir_ / "cfg/defaults.json/sub/d.json").c_str());
  UserDefaultsSetInteger("k", 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(UserDefaultsSynchronize());
  UserDefaultsSetInteger("k", 2);
  EXPECT_FALSE(UserDefaultsSynchronize());  // the same failure again says nothing more
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  EXPECT_NE(std::string::npos, err.find(file_ + " is a file, not a folder")) << err;
}

namespace {

struct stat StatOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

}  // namespace

TEST_F(UserDefaults, ALinkedStoreIsWrittenThroughItsLink) {
  ASSERT_EQ(0, mkdir((dir_ / "cfg").c_str(), 0700));
  ASSERT_EQ(0, mkdir((dir_ / "real").c_str(), 0700));
  ASSERT_EQ(0, symlink("../real/store.json", file_.c_str()));  // dangling until the first save
  UserDefaultsSetString("Ovanta_name", "Linked");
  ASSERT_TRUE(UserDefaultsSynchronize());
  UserDefaultsSetInteger("Ovanta_hair", 2);
  ASSERT_TRUE(UserDefaultsSynchronize());
  EXPECT_TRUE(S_ISLNK(StatOf(file_).st_mode)) << "the link stays a link";
  EXPECT_EQ(std::vector<std::string>{"store.json"}, ListDir(dir_ / "real"));
  Relaunch();
  EXPECT_EQ(2, UserDefaultsIntegerForKey("Ovanta_hair"));

  // A damaged target is moved aside beside itself; the link stays.
  ASSERT_TRUE(WriteText(dir_ / "real/store.json", "{oops"));
  Relaunch();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(UserDefaultsHasKey("Ovanta_hair"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(dir_ / "real", UserDefaultsLastDamagedPath().substr(0, (dir_ / "real").size()));
  EXPECT_TRUE(S_ISLNK(StatOf(file_).st_mode));
}

TEST_F(UserDefaults, AReadOnlyStoreIsUsedButNeverSaved) {
  ASSERT_EQ(0, mkdir((dir_ / "cfg").c_str(), 0700));
  const std::string text = "{\"Ovanta_name\": \"Ro\", \"Ovanta_hair\": 3}";
  ASSERT_TRUE(WriteText(file_, text));
  ASSERT_EQ(0, chmod(file_.c_str(), 0444));
  Relaunch();
  testing::internal::CaptureStderr();
  EXPECT_EQ(3, UserDefaultsIntegerForKey("Ovanta_hair"));
  UserDefaultsSetInteger("Ovanta_hair", 1);
  EXPECT_FALSE(UserDefaultsSynchronize());  // even as root, who could write it
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  EXPECT_NE(std::string::npos, err.find("read-only")) << err;
  std::string kept;
  ASSERT_TRUE(ReadFile(file_, &kept));
  EXPECT_EQ(text, kept);
  EXPECT_EQ(0444u, StatOf(file_).st_mode & 07777);
  EXPECT_EQ(std::vector<std::string>{"defaults.json"}, ListDir(dir_ / "cfg"));
}

TEST_F(UserDefaults, TwoCopiesSavingAtOnceNeverFailNorTear) {
  ASSERT_EQ(0, mkdir((dir_ / "cfg").c_str(), 0700));
  const int kSaves = 150;
  pid_t kids[2];
  for (int k = 0; k < 2; ++k) {
    kids[k] = fork();
    ASSERT_GE(kids[k], 0);
    if (kids[k] == 0) {
      int failed = 0;
      for (int i = 0; i < kSaves; ++i) {
        UserDefaultsSetInteger("writer", k);
        UserDefaultsSetInteger("n", i);
        // Sizes differ from save to save, so a torn file would show.
        UserDefaultsSetString("pad", std::string(static_cast<size_t>((i * 37 + k * 11) % 3000), 'a' + k));
        UserDefaultsSetInteger("check", k * 100000 + i * 7 + (i * 37 + k * 11) % 3000);
        if (!UserDefaultsSynchronize()) ++failed;
      }
      _exit(failed ? 1 : 0);
    }
  }
  // Meanwhile every read finds one whole state of one copy.
  int reads = 0, torn = 0, status[2] = {-1, -1};
  bool done[2] = {false, false};
  while (!done[0] || !done[1]) {
    std::string text;
    if (ReadFile(file_, &text)) {
      ++reads;
      const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
      const bool whole = j.is_object() && j["writer"].is_number_integer() && j["n"].is_number_integer() &&
                         j["pad"].is_string() && j["check"].is_number_integer();
      const long long k = whole ? j["writer"].get<long long>() : 0, i = whole ? j["n"].get<long long>() : 0;
      const long long pad = (i * 37 + k * 11) % 3000;
      if (!whole || static_cast<long long>(j["pad"].get<std::string>().size()) != pad ||
          j["check"].get<long long>() != k * 100000 + i * 7 + pad)
        ++torn;
    }
    for (int k = 0; k < 2; ++k)
      if (!done[k] && waitpid(kids[k], &status[k], WNOHANG) == kids[k]) done[k] = true;
  }
  EXPECT_GT(reads, 0);
  EXPECT_EQ(0, torn) << "of " << reads << " reads";
  for (int k = 0; k < 2; ++k)
    EXPECT_TRUE(WIFEXITED(status[k]) && WEXITSTATUS(status[k]) == 0) << "copy " << k << " had a failed save";
  EXPECT_EQ(std::vector<std::string>{"defaults.json"}, ListDir(dir_ / "cfg")) << "no temporary file left";
}

namespace {

// Fault injection for the file operations of a save. The operation number
// `at` fails; with `crash` set the process "dies" there: that operation and
// every later one do nothing and fail, as if the process were gone (a crash
// mid-write leaves half the bytes written). Without it only that one call
// fails and the save carries on to clean up.
struct Faults {
  int at = INT_MAX;
  bool crash = false;
  int calls = 0;
  bool dead = false;
  bool renamed = false;
  size_t write_chunk = SIZE_MAX;  // largest write actually done per call
  std::vector<std::string> log;
};
Faults g_f;

bool Step(const char* name) {
  g_f.log.push_back(name);
  if (g_f.dead) {
    errno = EIO;
    return false;
  }
  if (g_f.calls++ == g_f.at) {
    if (g_f.crash) g_f.dead = true;
    errno = ENOSPC;
    return false;
  }
  return true;
}

int FOpen(const char* p, int fl, int m) { return Step("open") ? ::open(p, fl, m) : -1; }
long FWrite(int fd, const void* b, size_t n) {
  const bool crashing = !g_f.dead && g_f.crash && g_f.calls == g_f.at;
  if (!Step("write")) {
    if (crashing && n > 1) {
      const ssize_t rc = ::write(fd, b, n / 2);
      (void)rc;
    }
    return -1;
  }
  return ::write(fd, b, std::min(n, g_f.write_chunk));
}
int FFsync(int fd) { return Step("fsync") ? ::fsync(fd) : -1; }
// A descriptor closes whether or not the process survives, so the test
// leaks none; only the reported result changes.
int FClose(int fd) {
  const bool ok = Step("close");
  ::close(fd);
  return ok ? 0 : -1;
}
int FRename(const char* a, const char* b) {
  if (!Step("rename")) return -1;
  const int rc = ::rename(a, b);
  g_f.renamed = g_f.renamed || rc == 0;
  return rc;
}
int FUnlink(const char* p) { return Step("unlink") ? ::unlink(p) : -1; }
const UserDefaultsFileOps kFaultOps = {FOpen, FWrite, FFsync, FClose, FRename, FUnlink};

void PutSettings(const char* name, int n) {
  UserDefaultsSetString("Ovanta_name", name);
  UserDefaultsSetInteger("Ovanta_skin_color", n);
  UserDefaultsSetInteger("Ovanta_clothes", n + 1);
  UserDefaultsSetInteger("Ovanta_hair", n + 2);
}

// True when the store holds exactly the settings PutSettings(name, n) made.
bool HasSettings(const char* name, int n) {
  std::string s;
  return UserDefaultsStringForKey("Ovanta_name", &s) && s == name &&
         UserDefaultsIntegerForKey("Ovanta_skin_color") == n && UserDefaultsIntegerForKey("Ovanta_clothes") == n + 1 &&
         UserDefaultsIntegerForKey("Ovanta_hair") == n + 2;
}

}  // namespace

TEST_F(UserDefaults, SaveStepsRunInADurableOrder) {
  g_f = Faults();
  g_f.write_chunk = 7;  // short writes must be continued, not taken as done
  UserDefaultsSetFileOps(&kFaultOps);
  PutSettings("Short writes", 1);
  ASSERT_TRUE(UserDefaultsSynchronize());
  // Collapse the repeated writes, then check the order: the data is synced
  // before the rename makes it the store, the folder after it.
  std::vector<std::string> steps;
  for (const std::string& s : g_f.log)
    if (steps.empty() || s != "write" || steps.back() != "write") steps.push_back(s);
  EXPECT_EQ((std::vector<std::string>{"open", "write", "fsync", "close", "rename", "open", "fsync", "close"}), steps);
  EXPECT_GT(g_f.log.size(), 20u);
  Relaunch();
  EXPECT_TRUE(HasSettings("Short writes", 1));
  EXPECT_EQ(std::vector<std::string>{"defaults.json"}, ListDir(dir_ / "cfg"));
}

// A step that fails is reported in one line and cleaned up after; a crash at
// a step leaves whichever whole store was last renamed into place. Either
// way the next save goes through over what was left.
TEST_F(UserDefaults, AFailureOrCrashAtAnyStepNeverLosesTheSettings) {
  PutSettings("Before", 1);
  ASSERT_TRUE(UserDefaultsSynchronize());
  g_f = Faults();
  UserDefaultsSetFileOps(&kFaultOps);
  ASSERT_TRUE(UserDefaultsSynchronize());
  const int steps = g_f.calls;
  ASSERT_GE(steps, 8);

  for (bool crash : {false, true})
    for (int at = 0; at < steps; ++at) {
      Relaunch();
      PutSettings("Before", 1);
      ASSERT_TRUE(UserDefaultsSynchronize());
      g_f = Faults();
      g_f.at = at;
      g_f.crash = crash;
      UserDefaultsSetFileOps(&kFaultOps);
      PutSettings("After \xE2\x9C\x93", 2);
      testing::internal::CaptureStderr();
      const bool ok = UserDefaultsSynchronize();
      const std::string err = testing::internal::GetCapturedStderr();
      SCOPED_TRACE((crash ? "crash at " : "failure at ") + g_f.log[static_cast<size_t>(at)] + " (step " +
                   std::to_string(at) + ")");
      if (!crash) {
        const bool last_close = at == steps - 1;  // the folder's descriptor; nothing depends on it
        EXPECT_EQ(last_close, ok);
        EXPECT_EQ(last_close ? 0 : 1, std::count(err.begin(), err.end(), '\n')) << err;
      }
      const bool renamed = g_f.renamed;
      Relaunch();
      testing::internal::CaptureStderr();
      EXPECT_TRUE(renamed ? HasSettings("After \xE2\x9C\x93", 2) : HasSettings("Before", 1));
      EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "nothing looked damaged";
      EXPECT_EQ("", UserDefaultsLastDamagedPath());
      if (!crash) {
        EXPECT_EQ(std::vector<std::string>{"defaults.json"}, ListDir(dir_ / "cfg")) << "no temporary file";
      }
      PutSettings("Later", 3);
      ASSERT_TRUE(UserDefaultsSynchronize());
      Relaunch();
      EXPECT_TRUE(HasSettings("Later", 3));
      EXPECT_EQ(std::vector<std::string>{"defaults.json"}, ListDir(dir_ / "cfg"));
    }
}

TEST_F(UserDefaults, ADamagedStoreThatCannotBeMovedIsNeverSavedOver) {
  ASSERT_EQ(0, mkdir((dir_ / "cfg").c_str(), 0700));
  ASSERT_TRUE(WriteText(file_, "{broken"));
  g_f = Faults();
  g_f.at = 0;        // the move aside fails
  g_f.crash = true;  // and so does everything after
  UserDefaultsSetFileOps(&kFaultOps);
  UserDefaultsForget();
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, UserDefaultsIntegerForKey("Ovanta_clothes"));
  UserDefaultsSetInteger("Ovanta_clothes", 3);
  EXPECT_FALSE(UserDefaultsSynchronize());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("cannot be moved aside")) << err;
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << "said once: " << err;
  std::string text;
  ASSERT_TRUE(ReadFile(file_, &text));
  EXPECT_EQ("{broken", text);
  // Once the move works again, the save goes through and the old file is kept.
  UserDefaultsSetFileOps(nullptr);
  EXPECT_TRUE(UserDefaultsSynchronize());
  ASSERT_FALSE(UserDefaultsLastDamagedPath().empty());
  ASSERT_TRUE(ReadFile(UserDefaultsLastDamagedPath(), &text));
  EXPECT_EQ("{broken", text);
  Relaunch();
  EXPECT_EQ(3, UserDefaultsIntegerForKey("Ovanta_clothes"));
}
