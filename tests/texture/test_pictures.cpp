// Decoding of bundle pictures written by the tests: every PNG colour type and
// depth the app may meet, JPEG grey and colour, and the broken ones.
#include "picture/picture_file.h"
#include "texture/gamelib.h"

#include "kit/pictures.h"
#include "kit/temp_bundle.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

struct FreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};
using Pixels = std::unique_ptr<unsigned char, FreeDeleter>;

// What ReadPictureData printed; a line of its own that the last message
// left open starts with a line end, dropped here.
Pixels Read(const char* name, tag_TexPicDesc* desc, std::string* err = nullptr) {
  testing::internal::CaptureStderr();
  Pixels px(ReadPictureData(name, desc));
  std::string e = testing::internal::GetCapturedStderr();
  if (!e.empty() && e[0] == '\n') e.erase(0, 1);
  if (err)
    *err = e;
  else
    EXPECT_EQ(e, "") << name;
  return px;
}

void ExpectPixel(const unsigned char* px, int w, int x, int y, int r, int g, int b, int a, int tolerance = 0) {
  const unsigned char* p = px + (static_cast<size_t>(y) * w + x) * 4;
  EXPECT_NEAR(p[0], r, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(p[1], g, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(p[2], b, tolerance) << "at " << x << "," << y;
  EXPECT_EQ(p[3], a) << "at " << x << "," << y;
}

}  // namespace

TEST(ReadPictureData, PngColourTypesAndJpegDecodeToPremultipliedRgbaTopRowFirst) {
  testkit::TempBundle bundle;
  // 2 x 2, the top row differs from the bottom one so a flip would show.
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("rgba.png"), 2, 2,
                                    {255, 0, 0, 255, 200, 100, 50, 128, 0, 0, 255, 255, 10, 20, 30, 0}));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("rgb.png"), 2, 2, {1, 2, 3, 4, 5, 6, 250, 251, 252, 7, 8, 9}));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("grey.png"), 2, 2, PNG_COLOR_TYPE_GRAY, 8, {0, 77, 200, 255}));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("grey4.png"), 3, 1, PNG_COLOR_TYPE_GRAY, 4, {0, 5, 15}));
  ASSERT_TRUE(
      testkit::WriteSamplesPng(bundle.file("greyalpha.png"), 2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {200, 255, 200, 51}));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("palette.png"), 3, 1, PNG_COLOR_TYPE_PALETTE, 8, {2, 0, 1}, false,
                                       {255, 0, 0, 0, 255, 0, 40, 80, 120}, {255, 102}));

  const int w = 16, h = 16;
  std::vector<uint8_t> grey(w * h, 90), rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Red top half, blue bottom half: blocks of 8 keep the colours flat.
      rgb.push_back(y < 8 ? 220 : 0);
      rgb.push_back(0);
      rgb.push_back(y < 8 ? 0 : 200);
    }
  ASSERT_TRUE(testkit::WriteJpegSamples(bundle.file("grey.jpg"), w, h, 1, grey));
  ASSERT_TRUE(testkit::WriteJpegSamples(bundle.file("colour.jpg"), w, h, 3, rgb));

  // Each file: its size and stored depth (a palette's is its index depth),
  // then pixels as read (x, y, r, g, b, a) within the tolerance.
  const struct {
    const char* name;
    int w, h, bpp, tolerance;
    std::vector<int> pixels;  // x, y, r, g, b, a
  } cases[] = {
      // Premultiplied by (c * a + 127) / 255; fully transparent is black.
      {"rgba.png", 2, 2, 32, 0, {0, 0, 255, 0, 0, 255, 1, 0, 100, 50, 25, 128, 0, 1, 0, 0, 255, 255, 1, 1, 0, 0, 0, 0}},
      {"rgb.png", 2, 2, 24, 0, {0, 0, 1, 2, 3, 255, 1, 1, 7, 8, 9, 255}},
      {"grey.png", 2, 2, 8, 0, {1, 0, 77, 77, 77, 255, 0, 1, 200, 200, 200, 255}},
      {"grey4.png", 3, 1, 4, 0, {1, 0, 85, 85, 85, 255, 2, 0, 255, 255, 255, 255}},  // 5 of 15 scaled to 8 bits
      {"greyalpha.png", 2, 1, 16, 0, {1, 0, 40, 40, 40, 51}},
      // No tRNS entry for the first colour: opaque.
      {"palette.png", 3, 1, 8, 0, {0, 0, 40, 80, 120, 255, 1, 0, 255, 0, 0, 255, 2, 0, 0, 102, 0, 102}},
      {"grey.jpg", w, h, 8, 1, {3, 3, 90, 90, 90, 255, 15, 15, 90, 90, 90, 255}},
      {"colour.jpg", w, h, 24, 6, {2, 2, 220, 0, 0, 255, 13, 13, 0, 0, 200, 255}},
  };
  for (const auto& c : cases) {
    tag_TexPicDesc d = {0, 0, 0};
    Pixels px = Read(c.name, &d);
    ASSERT_TRUE(px) << c.name;
    EXPECT_EQ((std::vector<int>{d.xs, d.ys, d.bpp}), (std::vector<int>{c.w, c.h, c.bpp})) << c.name;
    for (size_t i = 0; i < c.pixels.size(); i += 6) {
      const int* q = &c.pixels[i];
      ExpectPixel(px.get(), c.w, q[0], q[1], q[2], q[3], q[4], q[5], c.tolerance);
    }
  }
}

TEST(ReadPictureData, BrokenPicturesTakeTheCouldntLoadPathAndLeaveTheDescriptor) {
  testkit::TempBundle bundle;
  std::vector<uint8_t> rgb(64 * 64 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("good.png"), 64, 64, rgb));
  ASSERT_TRUE(testkit::WriteJpegSamples(bundle.file("good.jpg"), 64, 64, 3, rgb));
  const std::vector<uint8_t> png = testkit::ReadFileBytes(bundle.file("good.png"));
  const std::vector<uint8_t> jpg = testkit::ReadFileBytes(bundle.file("good.jpg"));
  ASSERT_GT(png.size(), 100u);
  ASSERT_GT(jpg.size(), 100u);

  testkit::WriteFileBytes(bundle.file("cut.png"), {png.begin(), png.begin() + png.size() / 2});
  testkit::WriteFileBytes(bundle.file("cut.jpg"), {jpg.begin(), jpg.begin() + jpg.size() / 2});
  testkit::WriteFileBytes(bundle.file("tail.png"), {png.begin(), png.end() - 6});  // IEND cut short
  std::vector<uint8_t> bad = png;
  bad[bad.size() / 2] ^= 0x5A;  // inside the pixel data: checksum no longer matches
  testkit::WriteFileBytes(bundle.file("flipped.png"), bad);
  bad = jpg;
  for (size_t i = jpg.size() / 2; i < jpg.size() / 2 + 40; ++i) bad[i] = 0xFF;  // markers in the scan
  testkit::WriteFileBytes(bundle.file("garbled.jpg"), bad);
  testkit::WriteFileBytes(bundle.file("text.png"), {'h', 'e', 'l', 'l', 'o'});
  testkit::WriteFileBytes(bundle.file("empty.jpg"), {});
  testkit::WriteFileBytes(bundle.file("header.png"), {png.begin(), png.begin() + 8});  // the signature alone
  testkit::WriteFileBytes(bundle.file("start.jpg"), {0xFF, 0xD8, 0xFF});               // a start marker alone

  for (const char* name : {"missing.png", "cut.png", "cut.jpg", "tail.png", "flipped.png", "garbled.jpg", "text.png",
                           "empty.jpg", "header.png", "start.jpg", "../good.png", "sub/good.png", ""}) {
    tag_TexPicDesc d = {-7, -7, -7};
    std::string err;
    Pixels px = Read(name, &d, &err);
    EXPECT_EQ(px, nullptr) << name;
    // A line naming the file and why, then the message there always was.
    EXPECT_EQ(err.find("Picture "), 0u) << err;
    EXPECT_NE(err.substr(0, err.find('\n')).find(*name ? name : "''"), std::string::npos) << err;
    EXPECT_EQ(err.substr(err.find('\n') + 1), std::string("Couldn't load '") + name + "' from bundle") << name;
    EXPECT_EQ((std::vector<int>{d.xs, d.ys, d.bpp}), (std::vector<int>{-7, -7, -7})) << name;
  }
  tag_TexPicDesc d = {0, 0, 0};
  EXPECT_TRUE(Read("good.png", &d));  // the originals are fine
  EXPECT_TRUE(Read("good.jpg", &d));
  DecodedPicture pic;
  EXPECT_EQ(DecodePicture(nullptr, 0, &pic), kPictureBroken);
  EXPECT_EQ(pic.pixels, nullptr);
}

TEST(ReadPictureData, PicturesOverTheSizeLimitsAreRefusedByName) {
  testkit::TempBundle bundle;
  const int limit = kMaxPictureSide;
  // Square and over the pixel count, though each side is within the limit.
  const int square = static_cast<int>(std::sqrt(static_cast<double>(kMaxPicturePixels))) + 1;
  ASSERT_LE(square, limit);
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("square.png"), square, square, PNG_COLOR_TYPE_GRAY, 1,
                                       std::vector<uint16_t>(static_cast<size_t>(square) * square, 1)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("wide.png"), limit + 1, 1, PNG_COLOR_TYPE_GRAY, 1,
                                       std::vector<uint16_t>(limit + 1, 1)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("high.png"), 1, limit + 1, PNG_COLOR_TYPE_GRAY, 1,
                                       std::vector<uint16_t>(limit + 1, 0)));
  ASSERT_TRUE(
      testkit::WriteJpegSamples(bundle.file("wide.jpg"), limit + 1, 8, 1, std::vector<uint8_t>((limit + 1) * 8, 9)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("edge.png"), limit, 1, PNG_COLOR_TYPE_GRAY, 1,
                                       std::vector<uint16_t>(limit, 1)));
  for (const char* name : {"wide.png", "high.png", "wide.jpg", "square.png"}) {
    tag_TexPicDesc d = {0, 0, 0};
    std::string err;
    EXPECT_EQ(Read(name, &d, &err), nullptr) << name;
    EXPECT_EQ(err.find("Picture " + bundle.file(name) + ": "), 0u) << err;
    EXPECT_NE(err.find(" pixels, more than"), std::string::npos) << err;
    EXPECT_EQ(err.substr(err.find('\n') + 1), std::string("Couldn't load '") + name + "' from bundle");
    EXPECT_EQ(d.xs, 0);
  }
  tag_TexPicDesc d = {0, 0, 0};
  Pixels px = Read("edge.png", &d);
  ASSERT_TRUE(px);
  EXPECT_EQ(d.xs, limit);
  EXPECT_EQ(d.bpp, 1);
  ExpectPixel(px.get(), limit, limit - 1, 0, 255, 255, 255, 255);
}

// The one writer and reader of picture files: what is written reads back
// unchanged, in place or through a temporary file; a path the writer did not
// make stays what it was (a link keeps pointing at its file); failures name
// the file.
TEST(PictureFiles, WrittenPixelsReadBackAndFailuresNameTheFile) {
  testkit::TempDir dir;
  const int w = 5, h = 3;
  std::vector<uint8_t> px(w * h * 4);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 37 + 11);
  PngFormat temporary;
  temporary.throughTemporary = true;
  ASSERT_TRUE(WritePng(dir.file("a.png"), w, h, px.data()));
  ASSERT_TRUE(WritePng(dir.file("b.png"), w, h, px.data(), temporary));
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.png.tmp")));
  for (const char* name : {"a.png", "b.png"}) {
    Picture back;
    ASSERT_TRUE(ReadPicture(dir.file(name), back)) << name;
    EXPECT_EQ((std::vector<int>{back.width, back.height, back.bpp}), (std::vector<int>{w, h, 32}));
    EXPECT_EQ(back.rgba, px) << name;  // straight alpha, as written
  }

  std::filesystem::create_symlink(dir.file("a.png"), dir.file("link.png"));
  std::fill(px.begin(), px.end(), 200);
  ASSERT_TRUE(WritePng(dir.file("link.png"), w, h, px.data()));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.png")));
  Picture back;
  ASSERT_TRUE(ReadPicture(dir.file("a.png"), back));
  EXPECT_EQ(back.rgba, px);

  std::vector<uint8_t> bytes = testkit::ReadFileBytes(dir.file("b.png"));
  bytes.resize(bytes.size() - 20);
  testkit::WriteFileBytes(dir.file("cut.png"), bytes);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ReadPicture(dir.file("cut.png"), back));
  EXPECT_FALSE(WritePng(dir.file("no/such/x.png"), w, h, px.data()));
  EXPECT_FALSE(WriteJpeg(dir.file("no/such/x.jpg"), w, h, px.data()));
  EXPECT_FALSE(WritePng(dir.file("none.png"), w, h, nullptr));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Couldn't read picture '" + dir.file("cut.png") + "'\n"), std::string::npos) << err;
  EXPECT_NE(err.find("Couldn't write PNG '" + dir.file("no/such/x.png") + "': No such file"), std::string::npos);
  EXPECT_NE(err.find("Couldn't write JPEG '" + dir.file("no/such/x.jpg") + "': No such file"), std::string::npos);
  EXPECT_NE(err.find("Couldn't write PNG '" + dir.file("none.png") + "': no picture"), std::string::npos);
}
