// Feeds arbitrary bytes to the picture decoder: it must give a well-formed
// picture or a refusal, never a crash, a leak or an out-of-bounds access.
#include "picture/picture_file.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodedPicture pic;
  if (DecodePicture(data, size, &pic) == kPictureOk) {
    if (pic.width <= 0 || pic.height <= 0 || pic.width > kMaxPictureSide ||
        pic.height > kMaxPictureSide || pic.bpp <= 0 || pic.bpp > 64)
      std::abort();
    // Touch the last byte: the buffer must really hold width*height*4.
    volatile unsigned char last = pic.pixels[static_cast<size_t>(pic.width) * pic.height * 4 - 1];
    (void)last;
    std::free(pic.pixels);
  }
  return 0;
}
