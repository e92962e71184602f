// The whole-file loader and the bounds-checked stream over it.
#include <gtest/gtest.h>

#include "scene/ResourceFile.h"
#include "scene/Streaming.h"
#include "scene_fixtures.h"

TEST(ResourceFile, EmptyAndTextFilesAreZeroTerminatedMissingOnesStayClosed) {
  TempDir dir;
  WriteFileBytes(dir.file("empty"), {});
  CResourceFile f(dir.file("empty").c_str());
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Size(), 0u);
  ASSERT_NE(f.StringPtr(), nullptr);
  EXPECT_EQ(f.StringPtr()[0], 0);
  CSourceStream s;
  ASSERT_TRUE(s.Init(dir.file("empty").c_str()));
  unsigned int tag, len;
  EXPECT_FALSE(s.ReadMarker(tag, len));

  WriteFileBytes(dir.file("t.txt"), {'a', 'b', 'c'});
  CResourceFile t(dir.file("t.txt").c_str());
  ASSERT_TRUE(t.IsOpen());
  EXPECT_STREQ(t.StringPtr(), "abc");

  // A missing file or no name stays closed.
  CResourceFile missing("/nonexistent/ovanta/file");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.Size(), 0u);
  EXPECT_FALSE(s.Init("/nonexistent/ovanta/file"));
  EXPECT_FALSE(s.HasFile());
  EXPECT_FALSE(s.Init(nullptr));
  char c;
  EXPECT_FALSE(s.Read(&c, 1));
  EXPECT_FALSE(s.Skip(0 + 1));
}

TEST(SourceStream, ReadsAreWholeOrNothingSkipsToTheEndButNotPast) {
  const uint8_t six[6] = {1, 0, 0, 0, 9, 9};
  CSourceStream s;
  ASSERT_TRUE(s.InitFromMemory(six, sizeof six));
  unsigned int tag = 0, len = 0;
  // The tag is read, the length is not, and the position stays after the tag.
  EXPECT_FALSE(s.ReadMarker(tag, len));
  EXPECT_EQ(std::make_pair(tag, s.Position()), std::make_pair(1u, 4u));
  uint8_t buf[4] = {7, 7, 7, 7};
  EXPECT_FALSE(s.Read(buf, 3));
  EXPECT_EQ(std::make_pair(buf[0], s.Position()), std::make_pair(uint8_t{7}, 4u));
  EXPECT_TRUE(s.Read(buf, 2));
  EXPECT_EQ(buf[0], 9);
  EXPECT_EQ(s.Remaining(), 0u);

  // Skips go to the end but not past.
  TempDir dir;
  WriteFileBytes(dir.file("ten"), std::vector<uint8_t>(10, 0));
  ASSERT_TRUE(s.Init(dir.file("ten").c_str()));
  ASSERT_TRUE(s.Skip(3));
  EXPECT_FALSE(s.Skip(8));
  EXPECT_EQ(s.Position(), 3u);
  EXPECT_FALSE(s.Skip(0xFFFFFFFFu));  // would wrap a careless bounds test
  EXPECT_TRUE(s.Skip(7));
  EXPECT_EQ(s.Position(), 10u);
  EXPECT_FALSE(s.Skip(1));
  // A second Init starts over on the new file, and then on bytes in memory.
  ASSERT_TRUE(s.Init(dir.file("ten").c_str()));
  EXPECT_EQ(s.Position(), 0u);
  const uint8_t two[2] = {4, 5};
  ASSERT_TRUE(s.InitFromMemory(two, sizeof two));
  EXPECT_EQ(s.Remaining(), 2u);
  EXPECT_FALSE(s.InitFromMemory(nullptr, 3));
  uint8_t c = 0;
  EXPECT_FALSE(s.Read(&c, 1));
}
