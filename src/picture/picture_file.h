// Picture files: the one PNG and JPEG reader and the one writer.
//
// The app decodes its bundle pictures here (ReadPictureData; her texture's
// row by row, PictureRows) and writes its screenshots (EAGLWritePNG); the generators write every picture of the
// bundle; the tools and tests read and write golden frames, previews and
// pictures of unusual kinds. Plain libpng and libjpeg, no GL, so the
// generators link this library alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Pictures wider or higher than this, or of more pixels, are refused from
// their header, before anything is decoded: the bundle's largest is 1024 x
// 1024, and a small file of 8192 x 8192 pixels would cost well over a
// gigabyte to decode and upload for nothing the screen shows.
constexpr int32_t kMaxPictureSide = 8192;
constexpr int64_t kMaxPicturePixels = int64_t(4096) * 4096;

enum PictureStatus {
  kPictureOk,
  kPictureBroken,    // not a PNG/JPEG, corrupt or truncated
  kPictureNoMemory,  // the pixel buffer could not be allocated
  kPictureTooLarge,  // over the side or pixel limit
};

struct DecodedPicture {
  unsigned char* pixels;  // malloc'd, width*height*4, RGBA, top row first
  int32_t width;
  int32_t height;
  int32_t bpp;  // bits per pixel as stored in the file
};

// Decodes PNG or JPEG bytes (told apart by their contents) into RGBA,
// premultiplied unless `premultiply` is false. On kPictureOk `out` holds a
// buffer the caller frees; otherwise nothing is left allocated and `out` is
// zeroed, but for the width and height of a picture too large.
PictureStatus DecodePicture(const uint8_t* data, size_t size, DecodedPicture* out, bool premultiply = true);

// What a status other than kPictureOk means, for a message naming the file:
// "not a PNG or JPEG picture, or damaged", "8192 x 8192 pixels, more than
// the 4096 x 4096 a picture may have" (from the sizes DecodePicture left).
std::string PictureProblem(PictureStatus status, const DecodedPicture& refused);

// A picture decoded a few rows at a time, as DecodePicture would decode it
// whole (RGBA, premultiplied, top row first), for callers that combine
// large pictures band by band instead of holding them decoded. Null from
// PictureRowsOpen when the bytes are broken or not decodable row by row (an
// interlaced PNG); the caller then decodes whole. `data` must outlive the
// reader. PictureRowsRead is false once the data turns out broken;
// PictureRowsClose frees the reader and is false when the picture was read to
// its end and the data after the pixels is broken (DecodePicture's refusal).
// Nothing is printed.
struct PictureRows;
PictureRows* PictureRowsOpen(const uint8_t* data, size_t size, int32_t* width, int32_t* height, int32_t* bpp);
bool PictureRowsRead(PictureRows* r, unsigned char* rgba, int rows);
bool PictureRowsClose(PictureRows* r);

// A picture file read whole, for the tools and tests: straight (not
// premultiplied) RGBA, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  int bpp = 0;  // bits per pixel as stored in the file
  std::vector<uint8_t> rgba;
};
// False, with "Couldn't read picture '<path>'" on standard error, when the
// file is missing, no picture or broken.
bool ReadPicture(const std::string& path, Picture& out);

// How a PNG is stored. The colour types and depths are libpng's.
struct PngFormat {
  int colorType = 6;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
  int depth = 8;      // bits a sample
  bool interlace = false;
  std::vector<uint8_t> palette;  // RGB triples (colour type 3)
  std::vector<uint8_t> trns;     // alphas of the first palette entries
  int compression = -1;          // zlib level; -1 the library's default
  // Write NAME.tmp and rename it over NAME, so that an interrupted build never
  // leaves half a file. Only for files the writer owns: a rename replaces
  // whatever NAME was (a link, a device).
  bool throughTemporary = false;
};
// Writes `rows`: height rows, each as PNG stores it (ceil(width * channels *
// depth / 8) bytes, 16-bit samples big-endian); for 8-bit samples that is
// just the pixels, top row first. False, with "Couldn't write PNG '<path>'"
// (and the reason when the file cannot be made) on standard error.
bool WritePng(const std::string& path, int width, int height, const uint8_t* rows, const PngFormat& format = {});

// The same PNG as bytes in memory (a picture inside another file). False,
// with nothing printed, when it cannot be made.
bool EncodePngBytes(int width, int height, const uint8_t* rows, std::vector<uint8_t>* out,
                    const PngFormat& format = {});

// Lays `picture` over `tex` weighted by the red of `mask`, `count` pixels of
// 4 bytes each: tex = (tex * (65535 - M) + picture * M) >> 16 with M =
// 257 * red, on R, G and B, and on A too with `blendAlpha` (else A is left).
// Her texture is composed of layers so (texture/gamelib.h), and so are her
// VRM exports' pictures (tools/girlgen).
void BlendMaskedPixels(unsigned char* tex, const unsigned char* mask, const unsigned char* picture, size_t count,
                       bool blendAlpha);

struct JpegFormat {
  int components = 3;  // 1 grey, 3 RGB
  int quality = 90;
  bool fullResolutionColour = false;  // no chroma subsampling
  bool throughTemporary = false;      // as for PngFormat
};
// Writes width*height*components bytes, top row first. False, with
// "Couldn't write JPEG '<path>'" on standard error.
bool WriteJpeg(const std::string& path, int width, int height, const uint8_t* samples, const JpegFormat& format = {});
