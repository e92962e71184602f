#include "picture_files.h"

#include "platform/bundle.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

ScratchBundle::ScratchBundle(const std::string& name) {
  dir_ = (std::filesystem::current_path() / ("scratch_" + name + "_" + std::to_string(getpid())))
             .string();
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  BundleSetRoot(dir_.c_str());
}

ScratchBundle::~ScratchBundle() {
  BundleSetRoot(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

bool WritePng(const std::string& path, int width, int height, int colorType, int depth,
              const std::vector<uint16_t>& samples, bool interlace,
              const std::vector<uint8_t>& palette, const std::vector<uint8_t>& trns) {
  const int channels = colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                       : colorType == PNG_COLOR_TYPE_RGB       ? 3
                       : colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                               : 1;
  if (samples.size() != static_cast<size_t>(width) * height * channels) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, depth, colorType,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> pal;
  for (size_t i = 0; i + 2 < palette.size(); i += 3) pal.push_back({palette[i], palette[i + 1], palette[i + 2]});
  if (!pal.empty()) png_set_PLTE(png, info, pal.data(), static_cast<int>(pal.size()));
  if (!trns.empty())
    png_set_tRNS(png, info, const_cast<png_bytep>(trns.data()), static_cast<int>(trns.size()), nullptr);
  png_write_info(png, info);
  // Pack the samples into rows of the file's own layout.
  const size_t rowBits = static_cast<size_t>(width) * channels * depth;
  std::vector<std::vector<png_byte>> rows(height, std::vector<png_byte>((rowBits + 7) / 8));
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width * channels; ++i) {
      const unsigned v = samples[static_cast<size_t>(y) * width * channels + i];
      if (depth == 16) {
        rows[y][i * 2] = static_cast<png_byte>(v >> 8);
        rows[y][i * 2 + 1] = static_cast<png_byte>(v);
      } else if (depth == 8) {
        rows[y][i] = static_cast<png_byte>(v);
      } else {
        const size_t bit = static_cast<size_t>(i) * depth;
        rows[y][bit / 8] |= static_cast<png_byte>(v << (8 - depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> ptrs;
  for (auto& r : rows) ptrs.push_back(r.data());
  png_write_image(png, ptrs.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool WritePngRgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  return WritePng(path, width, height, PNG_COLOR_TYPE_RGB, 8,
                  std::vector<uint16_t>(rgb.begin(), rgb.end()));
}

bool WritePngRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  return WritePng(path, width, height, PNG_COLOR_TYPE_RGB_ALPHA, 8,
                  std::vector<uint16_t>(rgba.begin(), rgba.end()));
}

bool WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& samples) {
  if (samples.size() != static_cast<size_t>(width) * height * components) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&samples[static_cast<size_t>(c.next_scanline) * width * components]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}
