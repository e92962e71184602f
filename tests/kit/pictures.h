// Pictures in tests: files of any PNG kind written through the picture
// module, the folder rendered pictures are left in for people to look at,
// and the comparison of frames with each other and with golden pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/picture_file.h"

namespace testkit {

// TEST_OUTPUT_DIR/file, or ./file without it.
std::string OutputPath(const std::string& file);

// A PNG of any colour type (libpng's numbers) and bit depth. `samples` holds
// width*height*channels values 0..2^depth-1, top row first; they are packed
// the way the file stores them.
bool WriteSamplesPng(const std::string& path, int width, int height, int colorType, int depth,
                     const std::vector<uint16_t>& samples, bool interlace = false,
                     const std::vector<uint8_t>& palette = {}, const std::vector<uint8_t>& trns = {});

// Shorthands: 8-bit RGB (3 bytes a pixel) and RGBA (4) PNGs; JPEGs of 1
// (grey) or 3 (RGB) components at quality 100.
bool WritePngRgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
bool WritePngRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);
bool WriteJpegSamples(const std::string& path, int width, int height, int components,
                      const std::vector<uint8_t>& samples);

struct FrameDifference {
  bool comparable = false;  // both read and of fitting sizes
  double mean = 0;          // mean absolute difference of R, G and B
  int worst = 0;            // largest difference of any channel
  double shareOver8 = 0;    // share of pixels with a channel off by more than 8
  double shareOver48 = 0;   // ... by more than 48
};
// `a` may be k times `b` on both sides (a frame drawn k pixels a point): it
// is averaged down k x k first.
FrameDifference Difference(const Picture& a, const Picture& b);
// The same for two PNG files; a file that cannot be read is a test failure.
FrameDifference Difference(const std::string& a, const std::string& b);

// A frame drawn through our GL ES 1.1 translation against the same frame
// drawn by the driver's own: red, green and blue compared, at most 0.5 % of
// the pixels may be off by more than 8 in any of them, and the mean
// difference must stay under 1. `what` names the frame in failures.
void ExpectMatchesOracle(const Picture& es1, const Picture& es2, const std::string& what);
// The same for two PNG files.
void ExpectMatchesOracle(const std::string& es1, const std::string& es2, const std::string& what);

// `frame` against the golden picture `goldenPath`; the frame is also left in
// the output folder under the golden's file name. With OVANTA_UPDATE_GOLDEN=1
// the frame first replaces the golden (look at it before committing).
FrameDifference GoldenDifference(const Picture& frame, const std::string& goldenPath);

}  // namespace testkit
