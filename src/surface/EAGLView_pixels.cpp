// Reading the frame back and writing it as a picture: the tap pick, the
// screenshots and the tests' frames, in both builds.
#include <cstring>

#include "gles/gles.h"
#include "picture/picture_file.h"
#include "surface/EAGLView.h"
#include "surface/EAGLView_internal.h"

namespace eagl {

// The width x height pixels at (x, y) of the bound framebuffer, RGBA, as GL
// reads them (bottom row first); false on a GL error.
bool ReadBottomUp(int x, int y, int width, int height, std::vector<uint8_t>& raw) {
  raw.resize(static_cast<size_t>(width) * 4 * static_cast<size_t>(height));
  GLint oldAlign = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &oldAlign);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  while (glGetError() != GL_NO_ERROR) {
  }
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
  const bool ok = glGetError() == GL_NO_ERROR;
  glPixelStorei(GL_PACK_ALIGNMENT, oldAlign);
  return ok;
}

}  // namespace eagl

using eagl::ReadBottomUp;

bool EAGLReadPixels(int width, int height, std::vector<uint8_t>& rgba) {
  if (width <= 0 || height <= 0) return false;
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> raw;
  if (!ReadBottomUp(0, 0, width, height, raw)) return false;
  rgba.resize(raw.size());
  for (int y = 0; y < height; ++y)
    std::memcpy(&rgba[static_cast<size_t>(y) * row], &raw[static_cast<size_t>(height - 1 - y) * row], row);
  return true;
}

bool EAGLViewReadPixels(const EAGLView* view, std::vector<uint8_t>& rgba) {
  if (!view || !view->isCurrentContext()) return false;
  const EAGLSize s = view->surfaceSize();
  return EAGLReadPixels(static_cast<int>(s.width), static_cast<int>(s.height), rgba);
}

bool EAGLWritePNG(const char* path, const uint8_t* rgba, int width, int height) {
  return WritePng(path ? path : "", width, height, rgba);
}
