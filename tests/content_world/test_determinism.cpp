// The generators make the same bytes every time: the bundle is rebuilt on
// every machine and must not change under the same sources.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "content_files.h"
#include "kit/temp_dir.h"

namespace {

// Runs `tool` into a fresh folder and compares every file it wrote with the
// bundle's copy of the same name.
void ExpectSameAsBundle(const std::string& tool, const std::string& tag) {
  // A folder of its own: suites of other checkouts may run at the same time.
  testkit::TempDir temp;
  const std::string dir = temp / tag;
  std::filesystem::create_directories(dir);
  std::string cmd = "'" + tool + "' '" + dir + "' > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::vector<std::string> files = testkit::ListDir(dir);
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) {
    std::vector<uint8_t> fresh, built;
    ASSERT_TRUE(ReadBytes(dir + "/" + f, fresh)) << f;
    ASSERT_TRUE(ReadBytes(BundleFile(f), built)) << f << " is not in the bundle";
    EXPECT_TRUE(fresh == built) << f << " differs between two runs";
  }
}

}  // namespace

TEST(Determinism, HerModelsVoicesArtBackdropsAndMusicComeOutByteForByteTheSame) {
  ExpectSameAsBundle(OVANTA_GIRLGEN, "girl");
  ExpectSameAsBundle(OVANTA_VOICEGEN, "voices");
  ExpectSameAsBundle(OVANTA_MUSICGEN, "music");
  ExpectSameAsBundle(OVANTA_ARTGEN, "art");
  ExpectSameAsBundle(OVANTA_WORLDGEN, "world");
}
