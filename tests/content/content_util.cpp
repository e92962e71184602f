#include "content/content_util.h"

#include <png.h>
#include <jpeglib.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace content {

const char* const kModels[4] = {"girl_beach", "girl_casual", "girl_school", "girl_business"};
const char* const kPictures[] = {
    "girl_white.jpg",          "girl_yellow.jpg",         "girl_lightbrown.jpg",    "girl_brown.jpg",
    "girl_hair_mask.png",      "girl_blonde_hair.jpg",    "girl_brown_hair.jpg",    "girl_black_hair.jpg",
    "girl_red_hair.jpg",       "girl_beach_mask.png",     "girl_beach_clothes.jpg", "girl_casual_mask.png",
    "girl_casual_clothes.jpg", "girl_school_mask.png",    "girl_school_clothes.jpg", "girl_business_mask.png",
    "girl_business_clothes.jpg"};
const int kPictureCount = sizeof(kPictures) / sizeof(kPictures[0]);

std::string ResourcePath(const std::string& name) { return std::string(GIRL_RESOURCES) + "/" + name; }

static bool LoadPNG(const std::string& path, Picture& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  out.w = png_get_image_width(png, info);
  out.h = png_get_image_height(png, info);
  out.channels = png_get_channels(png, info);
  out.bitDepth = png_get_bit_depth(png, info);
  out.px.resize(png_get_rowbytes(png, info) * out.h);
  std::vector<png_bytep> rows(out.h);
  for (int y = 0; y < out.h; ++y) rows[y] = &out.px[png_get_rowbytes(png, info) * y];
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return true;
}

static bool LoadJPEG(const std::string& path, Picture& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  out.w = cinfo.output_width;
  out.h = cinfo.output_height;
  out.channels = cinfo.output_components;
  out.bitDepth = 8;
  out.px.resize(static_cast<size_t>(out.w) * out.h * out.channels);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out.px[static_cast<size_t>(cinfo.output_scanline) * out.w * out.channels];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return true;
}

bool LoadPicture(const std::string& path, Picture& out) {
  const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
  const bool ok = png ? LoadPNG(path, out) : LoadJPEG(path, out);
  if (!ok) std::fprintf(stderr, "cannot decode %s\n", path.c_str());
  return ok;
}

std::unique_ptr<CPODScene> LoadModel(const std::string& name) {
  auto scene = std::make_unique<CPODScene>();
  if (!scene->ReadFromFile(ResourcePath(name + ".POD").c_str())) return nullptr;
  return scene;
}

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  const std::string da((std::istreambuf_iterator<char>(fa)), std::istreambuf_iterator<char>());
  const std::string db((std::istreambuf_iterator<char>(fb)), std::istreambuf_iterator<char>());
  return !da.empty() && da == db;
}

}  // namespace content
