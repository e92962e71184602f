// Masked compositing: the blend arithmetic, the walk over 24- and 32-bit
// pictures, the refused inputs, and the character texture assembled the way
// the scene loading does it.
#include "texture/gamelib.h"

#include "gl_helpers.h"
#include "kit/pictures.h"
#include "kit/temp_bundle.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>

namespace {

unsigned Blend(unsigned dest, unsigned over, unsigned mask) {
  const unsigned M = mask * 257, N = 65535 - M;
  return (N * dest + M * over) >> 16;
}

// Runs the compositing and returns what it printed on standard error.
// (A line of its own that the last message left open starts with a line
// end, dropped here.)
std::string Overlay(std::vector<uint8_t>& tex, tag_TexPicDesc* p, const char* mask, const char* pic) {
  testing::internal::CaptureStderr();
  OverlayMaskedTexture32(tex.empty() ? nullptr : tex.data(), p, mask, pic);
  const std::string err = testing::internal::GetCapturedStderr();
  return err.empty() || err[0] != '\n' ? err : err.substr(1);
}

}  // namespace

TEST(OverlayMaskedTexture32, BlendsEveryColourChannelByTheMasksRed) {
  testkit::TempBundle bundle;
  // (destination, overlay, mask) -> result, each on R, G and B of one pixel.
  const int cases[][4] = {{255, 0, 0, 254},     {200, 100, 0, 199}, {0, 200, 255, 199}, {255, 255, 255, 254},
                          {200, 100, 128, 149}, {0, 255, 128, 127}, {100, 200, 64, 125}};
  const int n = 7;
  std::vector<uint8_t> dest, over, mask;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) dest.push_back(static_cast<uint8_t>(cases[i][0]));
    dest.push_back(255);
    for (int k = 0; k < 3; ++k) over.push_back(static_cast<uint8_t>(cases[i][1]));
    // Green and blue of the mask carry noise that must not matter.
    mask.push_back(static_cast<uint8_t>(cases[i][2]));
    mask.push_back(static_cast<uint8_t>(37 * i + 5));
    mask.push_back(static_cast<uint8_t>(255 - 19 * i));
  }
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("over.png"), n, 1, over));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("mask.png"), n, 1, mask));
  tag_TexPicDesc p = {n, 1, 32};
  EXPECT_EQ(Overlay(dest, &p, "mask.png", "over.png"), "");
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(dest[i * 4 + k], cases[i][3]) << "case " << i << " channel " << k;
    EXPECT_EQ(dest[i * 4 + 3], 255) << "overlay of 24 bits leaves alpha";
  }
  EXPECT_EQ(p.xs, n);
  EXPECT_EQ(p.bpp, 32);
}

TEST(OverlayMaskedTexture32, WalksAlignPixelsAndAlphaOnlyBlendsBetweenTwo32BitPictures) {
  testkit::TempBundle bundle;
  const int w = 5, h = 3, n = w * h;
  std::vector<uint8_t> mask, rgb, rgba;
  for (int i = 0; i < n; ++i) {
    mask.insert(mask.end(), {static_cast<uint8_t>(i * 17), 9, 9});
    rgb.insert(rgb.end(), {static_cast<uint8_t>(250 - i), static_cast<uint8_t>(i * 3), 128});
    rgba.insert(rgba.end(), {static_cast<uint8_t>(250 - i), static_cast<uint8_t>(i * 3), 128,
                             static_cast<uint8_t>(i % 2 ? 255 : 0)});
  }
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("mask.png"), w, h, mask));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("rgb.png"), w, h, rgb));
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("rgba.png"), w, h, rgba));
  std::vector<uint8_t> base;
  for (int i = 0; i < n; ++i) base.insert(base.end(), {10, 20, 30, 77});

  // Each combination: every pixel is blended with its own overlay pixel by
  // its own mask pixel, however the pictures were stored.
  struct Case {
    int destBpp;
    const char* overlay;
    bool alpha;
  } cases[] = {{32, "rgba.png", true}, {24, "rgba.png", false}, {32, "rgb.png", false}, {24, "rgb.png", false}};
  for (const Case& c : cases) {
    std::vector<uint8_t> dest = base;
    tag_TexPicDesc p = {w, h, c.destBpp};
    EXPECT_EQ(Overlay(dest, &p, "mask.png", c.overlay), "");
    for (int i = 0; i < n; ++i) {
      const unsigned m = i * 17;
      // The RGBA overlay was premultiplied when decoded: odd pixels opaque, even ones clear.
      const bool clear = std::string(c.overlay) == "rgba.png" && i % 2 == 0;
      const unsigned o[4] = {clear ? 0u : 250u - i, clear ? 0u : i * 3u, clear ? 0u : 128u, clear ? 0u : 255u};
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(dest[i * 4 + k], Blend(base[i * 4 + k], o[k], m))
            << c.destBpp << " " << c.overlay << " pixel " << i << " channel " << k;
      EXPECT_EQ(dest[i * 4 + 3], c.alpha ? Blend(77, o[3], m) : 77u) << c.destBpp << " " << c.overlay << " pixel " << i;
    }
  }
}

TEST(OverlayMaskedTexture32, RefusedInputsNameTheirConditionAndLeaveTheDestination) {
  testkit::TempBundle bundle;
  const int w = 4, h = 2;
  const std::vector<uint8_t> rgb(w * h * 3, 200);
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("mask.png"), w, h, rgb));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("over.png"), w, h, rgb));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("narrow.png"), w - 1, h, std::vector<uint8_t>((w - 1) * h * 3, 5)));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("tall.png"), w, h + 1, std::vector<uint8_t>(w * (h + 1) * 3, 5)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("grey.png"), w, h, PNG_COLOR_TYPE_GRAY, 8,
                                       std::vector<uint16_t>(w * h, 255)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("greyalpha.png"), w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 8,
                                       std::vector<uint16_t>(w * h * 2, 255)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("deep.png"), w, h, PNG_COLOR_TYPE_RGB, 16,
                                       std::vector<uint16_t>(w * h * 3, 65535)));
  ASSERT_TRUE(testkit::WriteSamplesPng(bundle.file("deeper.png"), w, h, PNG_COLOR_TYPE_RGB_ALPHA, 16,
                                       std::vector<uint16_t>(w * h * 4, 65535)));
  testkit::WriteFileBytes(bundle.file("broken.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});

  // Each condition, then a line naming the file to blame and why.
  struct Case {
    int xs, ys, bpp;
    const char* mask;
    const char* pic;
    std::string expected;
    std::string blamed, why;
  } cases[] = {
      {w, h, 16, "mask.png", "over.png", "bypp_dest >= 3", "mask.png", "laid on a picture of 16 bits"},
      {w, h, 32, "grey.png", "over.png", "bypp_a >= 3", "grey.png", " 8 bits"},
      {w, h, 32, "mask.png", "greyalpha.png", "bypp_b >= 3", "greyalpha.png", " 16 bits"},
      {w, h, 64, "mask.png", "over.png", "bypp_dest <= 4", "mask.png", "laid on a picture of 64 bits"},
      {w, h, -8, "mask.png", "over.png", "bypp_dest <= 4", "mask.png", "laid on a picture of -8 bits"},
      {w, h, 32, "deep.png", "over.png", "bypp_a <= 4", "deep.png", " 48 bits"},
      {w, h, 32, "mask.png", "deeper.png", "bypp_b <= 4", "deeper.png", " 64 bits"},
      {w, h, 32, "mask.png", "narrow.png", "a.xs == b.xs", "mask.png", "4 x 2 pixels, but narrow.png has 3 x 2"},
      {w, h, 32, "mask.png", "tall.png", "a.ys == b.ys", "mask.png", "4 x 2 pixels, but tall.png has 4 x 3"},
      {w - 1, h, 32, "mask.png", "over.png", "p->xs == a.xs", "mask.png", "laid on has 3 x 2"},
      {w, h + 1, 32, "mask.png", "over.png", "p->ys == a.ys", "mask.png", "laid on has 4 x 3"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> dest(static_cast<size_t>(w) * (h + 1) * 4, 33);
    const std::vector<uint8_t> before = dest;
    tag_TexPicDesc p = {c.xs, c.ys, c.bpp};
    const std::string err = Overlay(dest, &p, c.mask, c.pic);
    const std::string condition = "OverlayMaskedTexture32: precondition failed: " + c.expected + "\n";
    EXPECT_EQ(err.substr(0, condition.size()), condition);
    const std::string blame = "Picture " + bundle.file(c.blamed) + ": ";
    EXPECT_EQ(err.substr(condition.size(), blame.size()), blame) << err;
    EXPECT_NE(err.find(c.why), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_EQ(dest, before) << c.expected;
    EXPECT_EQ(p.xs, c.xs);
  }

  // A picture that does not decode: a line naming it and why, its own
  // message, then the condition it fails.
  std::vector<uint8_t> dest(w * h * 4, 33);
  const std::vector<uint8_t> before = dest;
  tag_TexPicDesc p = {w, h, 32};
  for (const char* bad : {"missing.png", "broken.png"}) {
    const bool mask = bad[0] == 'm';
    const std::string err = mask ? Overlay(dest, &p, bad, "over.png") : Overlay(dest, &p, "mask.png", bad);
    const std::string blame = "Picture " + bundle.file(bad) + ": ";
    EXPECT_EQ(err.substr(0, blame.size()), blame) << err;
    EXPECT_EQ(err.substr(err.find('\n') + 1), std::string("Couldn't load '") + bad + "' from bundle" +
                                                  "OverlayMaskedTexture32: precondition failed: bypp_" +
                                                  (mask ? "a" : "b") + " >= 3\n");
  }
  EXPECT_EQ(dest, before);
  std::vector<uint8_t> none;
  EXPECT_EQ(Overlay(none, &p, "mask.png", "over.png"), "OverlayMaskedTexture32: precondition failed: tex\n");
  EXPECT_EQ(Overlay(dest, nullptr, "mask.png", "over.png"), "OverlayMaskedTexture32: precondition failed: p\n");
}

// Her texture uploaded band by band gets, band by band, the levels the
// driver makes of the whole composition: bands of rows that complete
// levels at different times, down to one texel.
TEST(LoadMaskedTexture, LevelsOfTheBandsAreTheDriversOwn) {
  testkit::TempBundle bundle;
  const int w = 16, h = 64;  // four bands
  std::vector<uint8_t> base, over, mask;
  for (int i = 0; i < w * h; ++i) {
    base.insert(base.end(),
                {static_cast<uint8_t>(i * 13), static_cast<uint8_t>(i / 7), static_cast<uint8_t>(i * 5), 255});
    over.insert(over.end(), {static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3), 9});
    mask.insert(mask.end(), {static_cast<uint8_t>(i * 11), 0, 0});
  }
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("base.png"), w, h, base));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("over.png"), w, h, over));
  ASSERT_TRUE(testkit::WritePngRgb(bundle.file("mask.png"), w, h, mask));
  auto view = HeadlessView(64, 64);
  ASSERT_NE(view, nullptr);
  const MaskedLayer layer[1] = {{"mask.png", "over.png"}};
  const GLuint banded = LoadMaskedTexture("base.png", layer, 1, TEXMIP_LINEAR, "levels", {});
  ASSERT_NE(banded, 0u);
  tag_TexPicDesc d{};
  unsigned char* whole = ReadPictureData("base.png", &d);
  ASSERT_NE(whole, nullptr);
  OverlayMaskedTexture32(whole, &d, layer[0].mask, layer[0].picture);
  const GLuint driver = DriverMipmapped(whole, w, h);
  std::free(whole);
  const auto levels = LevelsShown(*view, banded, driver, w, h);
  ASSERT_EQ(levels.size(), 6u);
  for (size_t k = 0; k < levels.size(); ++k) EXPECT_EQ(levels[k].first, levels[k].second) << "level " << k + 1;
  glDeleteTextures(1, &banded);
  glDeleteTextures(1, &driver);
}

// Her texture made band by band is the one the whole reads and overlays
// make: from PNG and JPEG bases, with masks decoded the first time and taken
// from what was kept after, again after a mask's file changed; a picture cut
// short is refused without a word (the caller then makes it whole).
TEST(ComposeMaskedRows, MakesWhatReadingAndOverlayingMake) {
  testkit::TempBundle bundle;
  const int w = 8, h = 40, n = w * h;  // more rows than a band
  std::vector<uint8_t> rgb, rgba;
  for (int i = 0; i < n; ++i) {
    rgb.insert(rgb.end(), {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(90 + i), 40});
    rgba.insert(rgba.end(), {static_cast<uint8_t>(250 - i), 7, static_cast<uint8_t>(i * 9),
                             static_cast<uint8_t>(i % 3 ? 255 : 60)});
  }
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("rgba.png"), w, h, rgba));
  ASSERT_TRUE(testkit::WriteJpegSamples(bundle.file("rgb.jpg"), w, h, 3, rgb));
  auto write_mask = [&](int seed) {
    std::vector<uint8_t> mask;
    for (int i = 0; i < n; ++i) mask.insert(mask.end(), {static_cast<uint8_t>(i / 16 % 2 ? 255 : i * seed), 3, 200});
    ASSERT_TRUE(testkit::WritePngRgb(bundle.file("mask.png"), w, h, mask));
  };
  const MaskedLayer layers[2] = {{"mask.png", "rgba.png"}, {"mask.png", "rgb.jpg"}};
  auto expect_same = [&](const char* base, const std::string& when) {
    tag_TexPicDesc plain{}, banded{};
    unsigned char* a = ReadPictureData(base, &plain);
    ASSERT_NE(a, nullptr);
    for (const MaskedLayer& l : layers) OverlayMaskedTexture32(a, &plain, l.mask, l.picture);
    std::vector<uint8_t> b;
    int lasts = 0;
    ASSERT_TRUE(ComposeMaskedRows(base, layers, 2, &banded,
                                  [&](int y, int rows, const unsigned char* px, bool last) {
                                    EXPECT_EQ(static_cast<size_t>(y) * w * 4, b.size());
                                    b.insert(b.end(), px, px + static_cast<size_t>(rows) * w * 4);
                                    lasts += last;
                                    return true;
                                  }))
        << base << " " << when;
    EXPECT_EQ(lasts, 1);
    EXPECT_EQ((std::vector<int>{banded.xs, banded.ys, banded.bpp}), (std::vector<int>{plain.xs, plain.ys, plain.bpp}));
    EXPECT_EQ(std::vector<uint8_t>(a, a + n * 4), b) << base << " " << when;
    std::free(a);
  };
  write_mask(5);
  for (const char* base : {"rgb.jpg", "rgba.png"}) {
    expect_same(base, "first");
    expect_same(base, "kept");
  }
  const size_t before = testkit::ReadFileBytes(bundle.file("mask.png")).size();
  write_mask(0);
  // Told apart by size, whatever the clock's grain for modification times.
  ASSERT_NE(testkit::ReadFileBytes(bundle.file("mask.png")).size(), before);
  expect_same("rgba.png", "after the mask changed");

  std::vector<uint8_t> png = testkit::ReadFileBytes(bundle.file("rgba.png"));
  png.resize(png.size() - 20);
  ASSERT_TRUE(testkit::WriteFileBytes(bundle.file("cut.png"), png));
  const MaskedLayer cut[1] = {{"mask.png", "cut.png"}};
  tag_TexPicDesc desc{};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ComposeMaskedRows("rgb.jpg", cut, 1, &desc, [](int, int, const unsigned char*, bool) { return true; }));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
