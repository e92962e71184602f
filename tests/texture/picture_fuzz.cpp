// Feeds arbitrary bytes to the picture decoder: it must give a well-formed
// picture or a refusal, never a crash, a leak or an out-of-bounds access.
// Read a few rows at a time, the same bytes must give the same pixels, or
// be refused as well.
#include "picture/picture_file.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodedPicture pic;
  const PictureStatus whole = DecodePicture(data, size, &pic);
  if (whole == kPictureOk) {
    if (pic.width <= 0 || pic.height <= 0 || pic.width > kMaxPictureSide || pic.height > kMaxPictureSide ||
        int64_t(pic.width) * pic.height > kMaxPicturePixels || pic.bpp <= 0 || pic.bpp > 64)
      std::abort();
    // Touch the last byte: the buffer must really hold width*height*4.
    volatile unsigned char last = pic.pixels[static_cast<size_t>(pic.width) * pic.height * 4 - 1];
    (void)last;
  }
  int32_t width = 0, height = 0, bpp = 0;
  if (PictureRows* rows = PictureRowsOpen(data, size, &width, &height, &bpp)) {
    if (whole == kPictureOk && (width != pic.width || height != pic.height || bpp != pic.bpp)) std::abort();
    constexpr int kBand = 7;
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<unsigned char> band(stride * kBand);
    bool same = true;
    for (int32_t y = 0; same && y < height; y += kBand) {
      const int n = height - y < kBand ? height - y : kBand;
      same = PictureRowsRead(rows, band.data(), n) &&
             (whole != kPictureOk || std::memcmp(band.data(), pic.pixels + y * stride, n * stride) == 0);
    }
    same = PictureRowsClose(rows) && same;
    if (whole != kPictureNoMemory && same != (whole == kPictureOk)) std::abort();
  }
  std::free(pic.pixels);
  return 0;
}
