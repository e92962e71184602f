// Picture files and the preview rasteriser.
//
// PNG through libpng (masks: RGB, 8 bits a channel) and JPEG through
// libjpeg-turbo (colour pictures), both written through a temporary file and
// a rename. The rasteriser draws a skinned mesh the way the app lights it
// (ambient 0.65 x material ambient plus one directional light of 0.8) at the
// app's default camera; it serves the generator's contact sheets.
#include <png.h>
#include <jpeglib.h>

#include <cstdio>

#include "girlgen.h"

namespace girlgen {

bool WritePNG(const std::string& path, const Image& img) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::remove(tmp.c_str());
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, img.w, img.h, 8, img.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 6);
  png_write_info(png, info);
  for (int y = 0; y < img.h; ++y)
    png_write_row(png, const_cast<png_bytep>(&img.px[static_cast<size_t>(y) * img.w * img.channels]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  const bool ok = std::fclose(f) == 0;
  return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

bool WriteJPEG(const std::string& path, const Image& img, int quality) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = img.w;
  cinfo.image_height = img.h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour: the eyes and trims are only a few texels wide.
  for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&img.px[static_cast<size_t>(cinfo.next_scanline) * img.w * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const bool ok = std::fclose(f) == 0;
  return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace girlgen
