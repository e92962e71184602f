// Uploads, mipmap modes, the power-of-two fallback and the registry on a
// real ES 1.1 context.
#include "texture/gamelib.h"

#include "gl_helpers.h"
#include "kit/pictures.h"
#include "kit/temp_bundle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::vector<uint8_t> Pattern(int w, int h) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y * 2);
      p[2] = static_cast<uint8_t>((x * y) & 0xFF);
      p[3] = 255;
    }
  return px;
}

GLint TexParam(GLenum pname) {
  GLint v = -1;
  glGetTexParameteriv(GL_TEXTURE_2D, pname, &v);
  return v;
}

}  // namespace

TEST(LoadTextureData, PowerOfTwoPictureUploadsUnchanged) {
  auto view = HeadlessView(256, 128);
  ASSERT_NE(view, nullptr);
  std::vector<uint8_t> px = Pattern(256, 128);
  const std::vector<uint8_t> before = px;
  tag_TexPicDesc d = {256, 128, 32};
  testing::internal::CaptureStderr();
  const GLuint tex = LoadTextureData(px.data(), &d, TEXMIP_NONE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(tex, 0u);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), tex);  // left bound
  EXPECT_EQ(d.xs, 256);
  EXPECT_EQ(d.ys, 128);
  EXPECT_EQ(px, before);
  EXPECT_EQ(TexParam(GL_GENERATE_MIPMAP), GL_FALSE);
  EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(TexParam(GL_TEXTURE_MAG_FILTER), GL_LINEAR);  // never set: GL's default
  EXPECT_EQ(TexParam(GL_TEXTURE_WRAP_S), GL_REPEAT);

  const std::vector<uint8_t> shown = DrawTexture(*view, tex, 256, 128);
  EXPECT_EQ(shown, px);
  EAGLWritePNG(testkit::OutputPath("texture_upload.png").c_str(), shown.data(), 256, 128);
  glDeleteTextures(1, &tex);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The levels our uploads make are the bytes the driver makes when asked to
// generate them, on ES 1.1 and on our translation alike, down to one texel of
// a picture wider than high, with alpha; a mode without mipmaps filters
// linearly. Each level is read by drawing it at its own size, texel for
// pixel.
TEST(LoadTextureData, MipmapLevelsAreTheDriversOwn) {
  for (GlesKind kind : {kGlesES1, kGlesES2}) {
    auto view = std::unique_ptr<EAGLView>(EAGLView::CreateHeadless(64, 64, kind));
    ASSERT_NE(view, nullptr) << kind;
    const int w = 128, h = 32;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    uint32_t state = 7;
    for (uint8_t& b : px) b = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    const GLuint driver = DriverMipmapped(px.data(), w, h);
    for (texmip mode : {TEXMIP_NEAREST, TEXMIP_LINEAR}) {
      tag_TexPicDesc d = {w, h, 32};
      const GLuint tex = LoadTextureData(px.data(), &d, mode);
      ASSERT_NE(tex, 0u);
      EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER),
                mode == TEXMIP_LINEAR ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST);
      const auto levels = LevelsShown(*view, tex, driver, w, h);
      for (size_t k = 0; k < levels.size(); ++k)
        ASSERT_EQ(levels[k].first, levels[k].second) << "gl " << kind << ", mode " << mode << ", level " << k + 1;
      EXPECT_EQ(levels.size(), 7u);
      glDeleteTextures(1, &tex);
    }
    tag_TexPicDesc d = {w, h, 32};
    const GLuint plain = LoadTextureData(px.data(), &d, TEXMIP_NONE);
    EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    // An unknown mode leaves the filtering alone (GL's mipmapping default).
    const GLuint other = LoadTextureData(px.data(), &d, static_cast<texmip>(7));
    EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);
    for (GLuint t : {driver, plain, other}) glDeleteTextures(1, &t);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

// Noise for a small picture never writes past its buffer, nor for nonsense sizes.
TEST(LoadTextureData, SidesNotPowersOfTwoBecomeEightByEightNoiseWithinTheBuffer) {
  auto view = HeadlessView(8, 8);
  ASSERT_NE(view, nullptr);
  std::vector<uint8_t> px(100 * 64 * 4, 0x11);
  tag_TexPicDesc d = {100, 64, 32};
  testing::internal::CaptureStderr();
  const GLuint tex = LoadTextureData(px.data(), &d, TEXMIP_NONE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Texture sizes (100,64) aren't powers of two\n");
  ASSERT_NE(tex, 0u);
  EXPECT_EQ(std::make_pair(d.xs, d.ys), std::make_pair(8, 8));
  int changed = 0;
  for (size_t i = 0; i < 256; ++i) changed += px[i] != 0x11;
  EXPECT_GT(changed, 200);  // random bytes; a few may happen to be 0x11
  for (size_t i = 256; i < px.size(); ++i) ASSERT_EQ(px[i], 0x11) << i;
  // The texture is exactly the noise now at the start of the buffer.
  const std::vector<uint8_t> shown = DrawTexture(*view, tex, 8, 8);
  EXPECT_EQ(std::vector<uint8_t>(px.begin(), px.begin() + 256), shown);

  // 3 x 5 pixels: 60 bytes, far less than the 256 noise bytes. The sanitizer
  // build would catch a write past the end.
  unsigned char* small = static_cast<unsigned char*>(std::malloc(60));
  std::memset(small, 0x22, 60);
  tag_TexPicDesc d3 = {3, 5, 32};
  testing::internal::CaptureStderr();
  const GLuint tex1 = LoadTextureData(small, &d3, TEXMIP_NONE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Texture sizes (3,5) aren't powers of two\n");
  EXPECT_EQ(d3.xs, 8);
  const std::vector<uint8_t> shown1 = DrawTexture(*view, tex1, 8, 8);
  EXPECT_EQ(std::memcmp(shown1.data(), small, 60), 0);  // what fits was copied back
  std::free(small);

  // Nonsense sizes: nothing of the caller's is written.
  unsigned char one[4] = {1, 2, 3, 4};
  tag_TexPicDesc bad = {-3, 4, 32};
  testing::internal::CaptureStderr();
  const GLuint tex2 = LoadTextureData(one, &bad, TEXMIP_NONE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Texture sizes (-3,4) aren't powers of two\n");
  EXPECT_EQ(std::vector<unsigned char>(one, one + 4), (std::vector<unsigned char>{1, 2, 3, 4}));
  EXPECT_EQ(bad.xs, 8);
  GLuint all[] = {tex, tex1, tex2};
  glDeleteTextures(3, all);
}

TEST(LoadTextureRGBA, LoadsABundlePictureAndReportsAMissingOne) {
  auto view = HeadlessView(4, 4);
  ASSERT_NE(view, nullptr);
  testkit::TempBundle bundle;
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 16; ++i) {
    rgba.push_back(static_cast<uint8_t>(i * 16));
    rgba.push_back(255);
    rgba.push_back(0);
    rgba.push_back(i < 8 ? 255 : 128);
  }
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("pic.png"), 4, 4, rgba));
  const GLuint tex = LoadTextureRGBA("pic.png", TEXMIP_NEAREST);
  ASSERT_NE(tex, 0u);
  const std::vector<uint8_t> shown = DrawTexture(*view, tex, 4, 4);
  EXPECT_EQ(shown[0 * 4 + 1], 255);  // top left, opaque
  // Bottom right: 240, 255, 0 premultiplied by 128.
  EXPECT_EQ(std::vector<uint8_t>(shown.begin() + 60, shown.end()), (std::vector<uint8_t>{120, 128, 0, 128}));
  glDeleteTextures(1, &tex);

  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadTextureRGBA("nope.png", TEXMIP_NONE), 0u);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Picture " + bundle.file("nope.png") + ": "), std::string::npos) << err;
  EXPECT_EQ(err.substr(err.find('\n', 1) + 1), "Couldn't load 'nope.png' from bundleTexture file nope.png not loaded");
}

// A reload parks what it deletes and takes back only a texture of the same
// pictures, unchanged on disk; what is not taken back is really deleted.
TEST(TextureReuse, OnlyUnchangedPicturesComeBack) {
  auto view = HeadlessView(8, 8);
  ASSERT_NE(view, nullptr);
  testkit::TempBundle bundle;
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("a.png"), 4, 4, Pattern(4, 4)));
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("b.png"), 4, 4, Pattern(4, 4)));
  const GLuint a = LoadTextureRGBA("a.png", TEXMIP_NONE), b = LoadTextureRGBA("b.png", TEXMIP_NONE);
  TextureReuseBegin();
  DeleteTexture(a);
  DeleteTexture(b);
  EXPECT_EQ(LoadTextureRGBA("a.png", TEXMIP_NONE), a);
  EXPECT_EQ(TextureReuseTake("picture b.png mip 1", {"b.png"}), 0u);  // another mipmapping
  ASSERT_TRUE(testkit::WritePngRgba(bundle.file("b.png"), 8, 8, Pattern(8, 8)));
  const GLuint b2 = LoadTextureRGBA("b.png", TEXMIP_NONE);  // the picture changed: made anew
  EXPECT_NE(b2, 0u);
  TextureReuseEnd();
  EXPECT_TRUE(glIsTexture(a));
  EXPECT_TRUE(glIsTexture(b2));
  EXPECT_FALSE(glIsTexture(b));  // parked and not taken back: deleted
  DeleteTexture(a);
  EXPECT_FALSE(glIsTexture(a));  // outside a reload nothing is kept
  DeleteTexture(b2);
}
