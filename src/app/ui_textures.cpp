// The interface's artwork: bundle pictures (and pictures of the app's own
// folders, by absolute path: a character's thumbnail) made into GL textures
// once and kept until the kit shuts down or the pixel scale changes.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ui_draw.h"
#include "app/ui_internal.h"
#include "files/bundle.h"
#include "files/files.h"
#include "gles/gl_texture.h"
#include "gles/gles.h"
#include "picture/picture_file.h"
#include "texture/gamelib.h"

namespace uidraw {

void ForgetTextures() {
  for (auto& t : kit.textures)
    if (t.second) glDeleteTextures(1, &t.second);
  kit.textures.clear();
}

}  // namespace uidraw

using uidraw::kit;

namespace {

// The icons are drawn a few dozen points a side; a picture of any size
// becomes this many pixels a side (a power of two, as GL ES 1.1 wants),
// each pixel the average of the ones it covers, since GL samples it
// linearly without mipmaps.
const int kIconPixels = 128;

// A picture file by its path, straight RGBA, made kIconPixels square; null
// when it cannot be read (said in one line).
unsigned char* ReadIconFile(const std::string& path) {
  char* file = nullptr;
  size_t size = 0;
  struct stat st {};
  const FileStatus read = FileReadAll(path.c_str(), 16u << 20, &file, &size, &st);
  if (read != kFileOk) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), FileStatusText(read, st, errno).c_str());
    return nullptr;
  }
  DecodedPicture pic{};
  const PictureStatus status = DecodePicture(reinterpret_cast<const uint8_t*>(file), size, &pic, false);
  std::free(file);
  if (status != kPictureOk) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), PictureProblem(status, pic).c_str());
    return nullptr;
  }
  auto* out = static_cast<unsigned char*>(std::malloc(4 * kIconPixels * kIconPixels));
  for (int y = 0; out && y < kIconPixels; ++y)
    for (int x = 0; x < kIconPixels; ++x) {
      const int x0 = x * pic.width / kIconPixels, x1 = std::max(x0 + 1, (x + 1) * pic.width / kIconPixels);
      const int y0 = y * pic.height / kIconPixels, y1 = std::max(y0 + 1, (y + 1) * pic.height / kIconPixels);
      for (int c = 0; c < 4; ++c) {
        long sum = 0;
        for (int j = y0; j < y1; ++j)
          for (int i = x0; i < x1; ++i) sum += pic.pixels[4 * (static_cast<long>(j) * pic.width + i) + c];
        out[4 * (y * kIconPixels + x) + c] = static_cast<unsigned char>(sum / ((x1 - x0) * (y1 - y0)));
      }
    }
  std::free(pic.pixels);
  return out;
}

}  // namespace

unsigned int UIKitTexture(const std::string& name) {
  auto it = kit.textures.find(name);
  if (it != kit.textures.end()) return it->second;
  GLuint tex = 0;
  tag_TexPicDesc desc{};
  // Where a point has more than one pixel, the artwork's double-size
  // version ("name@2x.png") is used when the bundle has one.
  std::string pick = name;
  const size_t dot = name.rfind('.');
  if (kit.scale > 1.0f && dot != std::string::npos && dot > 0) {
    const std::string twice = name.substr(0, dot) + "@2x" + name.substr(dot);
    std::string path;
    if (BundlePathForResource(twice.c_str(), nullptr, path)) pick = twice;
  }
  if (!name.empty() && name[0] == '/') {
    if (unsigned char* px = ReadIconFile(name)) {
      tex = GlMakeTexture(GL_RGBA, kIconPixels, kIconPixels, px, {GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, false});
      glBindTexture(GL_TEXTURE_2D, 0);
      std::free(px);
    }
    kit.textures[name] = tex;
    return tex;
  }
  unsigned char* px = name.empty() ? nullptr : ReadPictureData(pick.c_str(), &desc);
  if (px) {
    // The decoder premultiplies; ImGui blends straight alpha.
    for (int i = 0; i < desc.xs * desc.ys; ++i) {
      unsigned char* p = px + 4 * i;
      if (p[3] && p[3] < 255)
        for (int k = 0; k < 3; ++k) p[k] = static_cast<unsigned char>(std::min(255, p[k] * 255 / p[3]));
    }
    tex = GlMakeTexture(GL_RGBA, desc.xs, desc.ys, px, {GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, false});
    glBindTexture(GL_TEXTURE_2D, 0);
    std::free(px);
  }
  kit.textures[name] = tex;
  return tex;
}
