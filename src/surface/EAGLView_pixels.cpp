// Reading the frame back and writing it as a picture: the tap pick, the
// screenshots and the tests' frames, in both builds.
#include <algorithm>
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

void EAGLView::keepFrame(bool on) {
  _keep = on;
  if (on || _desktop) return;
  std::vector<uint8_t>().swap(_kept);
  std::vector<uint8_t>().swap(_keptRead);
  _keptW = _keptH = 0;
}

// Called by swapBuffers with the context current, before the frame is shown.
// False (nothing kept) when the frame could not be read back.
bool EAGLView::KeepFrame() {
  const int w = static_cast<int>(_size.width), h = static_cast<int>(_size.height);
  int x0 = 0, y0 = 0, x1 = w, y1 = h;  // y up
  const bool part = _presentPart && _keptW == w && _keptH == h;
  if (part) {
    x0 = std::max(_part[0], 0), y0 = std::max(_part[1], 0);
    x1 = std::min(_part[2], w), y1 = std::min(_part[3], h);
    if (x1 <= x0 || y1 <= y0) {
      _keptChanged[2] = _keptChanged[3] = 0;
      return true;  // nothing changed
    }
  }
  _keptChanged[0] = x0, _keptChanged[1] = h - y1, _keptChanged[2] = x1 - x0, _keptChanged[3] = y1 - y0;
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
  if (static_cast<GLuint>(bound) != _framebuffer) glBindFramebufferOES(GL_FRAMEBUFFER_OES, _framebuffer);
  const bool ok = ReadBottomUp(x0, y0, x1 - x0, y1 - y0, _keptRead);
  if (static_cast<GLuint>(bound) != _framebuffer) glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
  // Counted over every view, so that no two frames kept share a count.
  static long changes = 0;
  _keptChanges = ++changes;
  if (!ok) {
    _keptW = _keptH = 0;
    _kept.clear();
    return false;
  }
  if (!part) {
    _kept.resize(static_cast<size_t>(w) * 4 * static_cast<size_t>(h));
    _keptW = w, _keptH = h;
  }
  const size_t row = static_cast<size_t>(x1 - x0) * 4;
  for (int y = y0; y < y1; ++y)
    std::memcpy(&_kept[(static_cast<size_t>(h - 1 - y) * w + x0) * 4], &_keptRead[static_cast<size_t>(y - y0) * row],
                row);
  return true;
}

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
