#include "png_out.h"

#include <png.h>

#include <cstdio>

// libpng reports errors by longjmp, so each libpng sequence sits in a function
// of its own with nothing to unwind between setjmp and the jump.
namespace {

bool WriteImage(png_structp png, png_infop info, FILE* f, int width, int height,
                const std::vector<uint8_t>& rgba) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgba.data() + size_t(y) * size_t(width) * 4));
  png_write_end(png, nullptr);
  return true;
}

bool ReadImage(png_structp png, png_infop info, FILE* f, int& width, int& height,
               std::vector<uint8_t>& rgba) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_read_info(png, info);
  int depth = png_get_bit_depth(png, info), type = png_get_color_type(png, info);
  if (depth != 8 || (type != PNG_COLOR_TYPE_RGBA && type != PNG_COLOR_TYPE_RGB)) return false;
  if (type == PNG_COLOR_TYPE_RGB) png_set_filler(png, 0xff, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (w == 0 || h == 0 || w > 16384 || h > 16384) return false;
  rgba.assign(size_t(w) * size_t(h) * 4, 0);
  for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, rgba.data() + size_t(y) * size_t(w) * 4, nullptr);
  png_read_end(png, nullptr);
  width = int(w);
  height = int(h);
  return true;
}

}  // namespace

bool PngWrite(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  if (width <= 0 || height <= 0 || rgba.size() != size_t(width) * size_t(height) * 4) return false;
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info && WriteImage(png, info, f, width, height, rgba);
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

bool PngRead(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgba) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info && ReadImage(png, info, f, width, height, rgba);
  png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
  std::fclose(f);
  return ok;
}
