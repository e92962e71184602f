// Test pictures written with libpng and libjpeg into a scratch bundle folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under the build tree, set as the bundle root while alive.
class ScratchBundle {
 public:
  explicit ScratchBundle(const std::string& name);
  ~ScratchBundle();
  std::string Path(const std::string& file) const { return dir_ + "/" + file; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// PNG of any colour type (PNG_COLOR_TYPE_*) and bit depth. `samples` holds
// width*height*channels values, top row first, each 0..(2^depth - 1).
// For palette pictures `palette` is RGB triples and `trns` optional alphas.
bool WritePng(const std::string& path, int width, int height, int colorType, int depth,
              const std::vector<uint16_t>& samples, bool interlace = false,
              const std::vector<uint8_t>& palette = {}, const std::vector<uint8_t>& trns = {});
// Shorthand: 8-bit RGB (3 bytes a pixel) or RGBA (4).
bool WritePngRgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
bool WritePngRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// JPEG of 1 (grey) or 3 (RGB) components, quality 100.
bool WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& samples);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
