#include "kit/pictures.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace testkit {

std::string OutputPath(const std::string& file) {
  const char* dir = std::getenv("TEST_OUTPUT_DIR");
  return std::string(dir && *dir ? dir : ".") + "/" + file;
}

bool WriteSamplesPng(const std::string& path, int width, int height, int colorType, int depth,
                     const std::vector<uint16_t>& samples, bool interlace, const std::vector<uint8_t>& palette,
                     const std::vector<uint8_t>& trns) {
  const int channels = colorType == PNG_COLOR_TYPE_GRAY_ALPHA  ? 2
                       : colorType == PNG_COLOR_TYPE_RGB       ? 3
                       : colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                               : 1;
  const size_t perRow = static_cast<size_t>(width) * channels;
  if (samples.size() != perRow * height) return false;
  const size_t rowBytes = (perRow * depth + 7) / 8;
  std::vector<uint8_t> rows(rowBytes * height, 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = &rows[y * rowBytes];
    for (size_t i = 0; i < perRow; ++i) {
      const unsigned v = samples[y * perRow + i];
      if (depth == 16) {
        row[2 * i] = static_cast<uint8_t>(v >> 8);
        row[2 * i + 1] = static_cast<uint8_t>(v);
      } else {
        const size_t bit = i * depth;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
      }
    }
  }
  PngFormat format;
  format.colorType = colorType;
  format.depth = depth;
  format.interlace = interlace;
  format.palette = palette;
  format.trns = trns;
  return WritePng(path, width, height, rows.data(), format);
}

bool WritePngRgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  PngFormat format;
  format.colorType = PNG_COLOR_TYPE_RGB;
  return rgb.size() == static_cast<size_t>(width) * height * 3 && WritePng(path, width, height, rgb.data(), format);
}

bool WritePngRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  return rgba.size() == static_cast<size_t>(width) * height * 4 && WritePng(path, width, height, rgba.data());
}

bool WriteJpegSamples(const std::string& path, int width, int height, int components,
                      const std::vector<uint8_t>& samples) {
  JpegFormat format;
  format.components = components;
  format.quality = 100;
  return samples.size() == static_cast<size_t>(width) * height * components &&
         WriteJpeg(path, width, height, samples.data(), format);
}

FrameDifference Difference(const Picture& a, const Picture& b) {
  FrameDifference d;
  std::vector<uint8_t> pa = a.rgba;
  const std::vector<uint8_t>& pb = b.rgba;
  if (b.width <= 0 || b.height <= 0) return d;
  if (a.width != b.width && a.width % b.width == 0 && a.height == b.height * (a.width / b.width)) {
    const int k = a.width / b.width;
    std::vector<uint8_t> small(pb.size());
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x)
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int dy = 0; dy < k; ++dy)
            for (int dx = 0; dx < k; ++dx)
              sum += a.rgba[(static_cast<size_t>(y * k + dy) * a.width + x * k + dx) * 4 + c];
          small[(static_cast<size_t>(y) * b.width + x) * 4 + c] = static_cast<uint8_t>(sum / (k * k));
        }
    pa.swap(small);
  } else if (a.width != b.width || a.height != b.height) {
    return d;
  }
  if (pa.size() != pb.size() || pa.empty()) return d;
  const size_t pixels = pa.size() / 4;
  double sum = 0;
  size_t over8 = 0, over48 = 0;
  for (size_t i = 0; i < pa.size(); i += 4) {
    int worst = 0;
    for (int c = 0; c < 4; ++c) {
      const int diff = std::abs(pa[i + c] - pb[i + c]);
      if (c < 3) sum += diff;
      worst = std::max(worst, diff);
    }
    d.worst = std::max(d.worst, worst);
    over8 += worst > 8;
    over48 += worst > 48;
  }
  d.comparable = true;
  d.mean = sum / (pixels * 3);
  d.shareOver8 = static_cast<double>(over8) / pixels;
  d.shareOver48 = static_cast<double>(over48) / pixels;
  return d;
}

FrameDifference Difference(const std::string& a, const std::string& b) {
  Picture pa, pb;
  const bool read = ReadPicture(a, pa) && ReadPicture(b, pb);
  EXPECT_TRUE(read) << "cannot read " << a << " or " << b;
  FrameDifference d = read ? Difference(pa, pb) : FrameDifference{};
  EXPECT_TRUE(d.comparable) << a << " and " << b << " differ in size";
  return d;
}

void ExpectMatchesOracle(const Picture& es1, const Picture& es2, const std::string& what) {
  // Alpha is what the blends left in the colour buffer, never shown.
  Picture a = es1, b = es2;
  for (Picture* p : {&a, &b})
    for (size_t i = 3; i < p->rgba.size(); i += 4) p->rgba[i] = 255;
  const FrameDifference d = Difference(a, b);
  std::printf("oracle %s: %.3f%% of pixels off by more than 8, mean %.3f, worst %d\n", what.c_str(), d.shareOver8 * 100,
              d.mean, d.worst);
  EXPECT_TRUE(d.comparable && a.width == b.width) << what << ": frames of other sizes";
  EXPECT_LE(d.shareOver8, 0.005) << what << ": share of pixels off by more than 8";
  EXPECT_LT(d.mean, 1.0) << what << ": mean difference";
}

void ExpectMatchesOracle(const std::string& es1, const std::string& es2, const std::string& what) {
  Picture a, b;
  EXPECT_TRUE(ReadPicture(es1, a) && ReadPicture(es2, b)) << what << ": cannot read " << es1 << " or " << es2;
  ExpectMatchesOracle(a, b, what);
}

FrameDifference GoldenDifference(const Picture& frame, const std::string& goldenPath) {
  const std::string name = goldenPath.substr(goldenPath.find_last_of('/') + 1);
  WritePng(OutputPath(name), frame.width, frame.height, frame.rgba.data());
  if (const char* u = std::getenv("OVANTA_UPDATE_GOLDEN"); u && *u && std::string(u) != "0") {
    EXPECT_TRUE(WritePng(goldenPath, frame.width, frame.height, frame.rgba.data()));
  }
  Picture golden;
  if (!ReadPicture(goldenPath, golden)) {
    ADD_FAILURE() << "missing golden " << goldenPath;
    return {};
  }
  FrameDifference d = Difference(frame, golden);
  EXPECT_TRUE(d.comparable) << name << " is " << frame.width << "x" << frame.height << ", the golden " << golden.width
                            << "x" << golden.height;
  return d;
}

}  // namespace testkit
