// Picture decoding behind ReadPictureData: PNG through libpng, JPEG through
// libjpeg, from bytes in memory. Kept apart from the bundle lookup so tests
// and the fuzz target feed it bytes directly.
#pragma once

#include <cstddef>
#include <cstdint>

enum PictureStatus {
  kPictureOk,
  kPictureBroken,    // not a PNG/JPEG, corrupt, truncated or over the size limit
  kPictureNoMemory,  // the pixel buffer could not be allocated
};

struct DecodedPicture {
  unsigned char* pixels;  // malloc'd, width*height*4, RGBA premultiplied, top row first
  int32_t width;
  int32_t height;
  int32_t bpp;  // bits per pixel as stored in the file
};

// On kPictureOk `out` holds a buffer the caller frees; otherwise `out` is
// zeroed and nothing is left allocated.
PictureStatus DecodePicture(const uint8_t* data, size_t size, DecodedPicture* out);
