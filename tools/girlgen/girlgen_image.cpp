// The character's picture files, stored through the picture module: masks as
// PNG (zlib level 6), colour pictures as JPEG at full colour resolution (the
// eyes and trims are only a few texels wide), both through a temporary file.
#include "girlgen.h"

#include "picture/picture_file.h"

namespace girlgen {

bool WritePNG(const std::string& path, const Image& img) {
  PngFormat format;
  format.colorType = img.channels == 4 ? 6 : 2;
  format.compression = 6;
  format.throughTemporary = true;
  return WritePng(path, img.w, img.h, img.px.data(), format);
}

bool WriteJPEG(const std::string& path, const Image& img, int quality) {
  JpegFormat format;
  format.quality = quality;
  format.fullResolutionColour = true;
  format.throughTemporary = true;
  return WriteJpeg(path, img.w, img.h, img.px.data(), format);
}

}  // namespace girlgen
