// Writes the seed pictures of picture_fuzz: one of each PNG colour type and
// depth the decoder handles, interlaced and not, and grey and colour JPEGs.
#include "kit/pictures.h"
#include "kit/temp_dir.h"

#include <png.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: picture_seed <corpus folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<uint16_t> s8, s16, s4;
  for (int i = 0; i < 8 * 6 * 4; ++i) {
    s8.push_back(static_cast<uint16_t>(i * 13 & 0xFF));
    s16.push_back(static_cast<uint16_t>(i * 4099));
    s4.push_back(static_cast<uint16_t>(i & 0xF));
  }
  auto part = [](const std::vector<uint16_t>& v, int channels) {
    return std::vector<uint16_t>(v.begin(), v.begin() + 8 * 6 * channels);
  };
  bool ok = true;
  ok &= testkit::WriteSamplesPng(dir + "/grey4.png", 8, 6, PNG_COLOR_TYPE_GRAY, 4, part(s4, 1));
  ok &= testkit::WriteSamplesPng(dir + "/grey8.png", 8, 6, PNG_COLOR_TYPE_GRAY, 8, part(s8, 1));
  ok &= testkit::WriteSamplesPng(dir + "/greyalpha.png", 8, 6, PNG_COLOR_TYPE_GRAY_ALPHA, 8, part(s8, 2));
  ok &= testkit::WriteSamplesPng(dir + "/rgb.png", 8, 6, PNG_COLOR_TYPE_RGB, 8, part(s8, 3), true);
  ok &= testkit::WriteSamplesPng(dir + "/rgba.png", 8, 6, PNG_COLOR_TYPE_RGB_ALPHA, 8, part(s8, 4));
  ok &= testkit::WriteSamplesPng(dir + "/rgb16.png", 8, 6, PNG_COLOR_TYPE_RGB, 16, part(s16, 3));
  ok &= testkit::WriteSamplesPng(dir + "/palette.png", 8, 6, PNG_COLOR_TYPE_PALETTE, 4, part(s4, 1), false,
                                 std::vector<uint8_t>(16 * 3, 90), {0, 128, 255});
  std::vector<uint8_t> j(16 * 16 * 3);
  for (size_t i = 0; i < j.size(); ++i) j[i] = static_cast<uint8_t>(i * 5);
  ok &= testkit::WriteJpegSamples(dir + "/colour.jpg", 16, 16, 3, j);
  ok &= testkit::WriteJpegSamples(dir + "/grey.jpg", 16, 16, 1, std::vector<uint8_t>(j.begin(), j.begin() + 256));
  return ok ? 0 : 1;
}
