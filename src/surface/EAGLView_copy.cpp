// The present of a window shown by copy: the frame read back and copied
// into the window's own pixels, for a software rasteriser.
#include <algorithm>
#include <cstring>
#include <vector>

#include "gles/gles.h"
#include "math/Letterbox.h"
#include "surface/EAGLView_desktop.h"
#include "surface/EAGLView_internal.h"

using eagl::ReadBottomUp;

// The frame read back (which waits for it) and copied into the window's
// pixels, turned upright, in the letterbox; the bars black. When the app
// said only part changed and the window still holds the last frame at its
// own size, only that part is read and handed to the X server.
bool EAGLView::PresentCopy() {
  SDL_Surface* shown = SDL_GetWindowSurface(_window);
  const bool part = _presentPart && !_presentWhole;
  _presentPart = false;
  _presentWhole = true;
  if (!shown) return false;
  const int w = static_cast<int>(_size.width), h = static_cast<int>(_size.height);
  const LetterboxRect box = Letterbox(shown->w, shown->h, _bounds.height > 0 ? _bounds.width / _bounds.height : 1.0f);
  const SDL_Rect dst = {static_cast<int>(box.x), static_cast<int>(box.y), static_cast<int>(box.width),
                        static_cast<int>(box.height)};
  const SDL_PixelFormat* f = shown->format;
  const bool direct = dst.w == w && dst.h == h && f->BytesPerPixel == 4;
  // What to read: the changed part, or all of it.
  int x0 = 0, y0 = 0, x1 = w, y1 = h;
  const bool same_window = shown == _layer->shownSurface && shown->w == _layer->shownW && shown->h == _layer->shownH;
  if (part && direct && same_window) {
    x0 = std::max(_part[0], 0), y0 = std::max(_part[1], 0);
    x1 = std::min(_part[2], w), y1 = std::min(_part[3], h);
    if (x1 <= x0 || y1 <= y0) {
      _presentWhole = false;
      return true;  // nothing changed
    }
  }
  const int rw = x1 - x0, rh = y1 - y0;
  const size_t row = static_cast<size_t>(rw) * 4;
  std::vector<uint8_t>& frame = _layer->frame;
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
  if (static_cast<GLuint>(bound) != _framebuffer) glBindFramebufferOES(GL_FRAMEBUFFER_OES, _framebuffer);
  bool ok = ReadBottomUp(x0, y0, rw, rh, frame);
  if (static_cast<GLuint>(bound) != _framebuffer) glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
  if (!ok) return false;

  const bool whole = rw == w && rh == h;
  if (whole) {
    const Uint32 black = SDL_MapRGB(shown->format, 0, 0, 0);
    const SDL_Rect bars[4] = {{0, 0, shown->w, dst.y},
                              {0, dst.y + dst.h, shown->w, shown->h - dst.y - dst.h},
                              {0, dst.y, dst.x, dst.h},
                              {dst.x + dst.w, dst.y, shown->w - dst.x - dst.w, dst.h}};
    for (const SDL_Rect& bar : bars)
      if (bar.w > 0 && bar.h > 0) SDL_FillRect(shown, &bar, black);
  }
  if (direct) {
    // The usual case, the frame at its own size in a 32-bit window: one pass
    // that turns it upright and moves each channel to its place.
    if (SDL_MUSTLOCK(shown) && SDL_LockSurface(shown) != 0) return false;
    const Uint32 rs = f->Rshift, gs = f->Gshift, bs = f->Bshift, opaque = f->Amask;
    for (int y = 0; y < rh; ++y) {
      const uint8_t* in = &frame[static_cast<size_t>(rh - 1 - y) * row];
      Uint32* out = reinterpret_cast<Uint32*>(static_cast<uint8_t*>(shown->pixels) +
                                              static_cast<size_t>(dst.y + h - y1 + y) * shown->pitch) +
                    dst.x + x0;
      if (rs == 16 && gs == 8 && bs == 0) {  // X11's usual: constant shifts, which vectorise
        for (int x = 0; x < rw; ++x, in += 4)
          out[x] = (Uint32{in[0]} << 16) | (Uint32{in[1]} << 8) | Uint32{in[2]} | opaque;
      } else {
        for (int x = 0; x < rw; ++x, in += 4)
          out[x] = (Uint32{in[0]} << rs) | (Uint32{in[1]} << gs) | (Uint32{in[2]} << bs) | opaque;
      }
    }
    if (SDL_MUSTLOCK(shown)) SDL_UnlockSurface(shown);
  } else {
    // Any other size or depth: SDL scales and converts the upright frame.
    for (int y = 0; y < h / 2; ++y)
      std::swap_ranges(frame.begin() + static_cast<long>(y * row), frame.begin() + static_cast<long>((y + 1) * row),
                       frame.begin() + static_cast<long>((h - 1 - y) * row));
    SDL_Surface* src =
        SDL_CreateRGBSurfaceWithFormatFrom(frame.data(), w, h, 32, static_cast<int>(row), SDL_PIXELFORMAT_RGBA32);
    SDL_Rect to = dst;
    ok = src && SDL_BlitScaled(src, nullptr, shown, &to) == 0;
    SDL_FreeSurface(src);
    if (!ok) return false;
  }
  if (whole) {
    ok = SDL_UpdateWindowSurface(_window) == 0;
  } else {
    const SDL_Rect changed = {dst.x + x0, dst.y + h - y1, rw, rh};
    ok = SDL_UpdateWindowSurfaceRects(_window, &changed, 1) == 0;
  }
  // SDL may hand out a new surface after this (a resize); only the same one
  // at the same size still holds this frame.
  _layer->shownSurface = SDL_GetWindowSurface(_window);
  _layer->shownW = _layer->shownSurface ? _layer->shownSurface->w : 0;
  _layer->shownH = _layer->shownSurface ? _layer->shownSurface->h : 0;
  _presentWhole = !ok;
  return ok;
}

// Desktop mode: the window's part of the frame kept in memory (swapBuffers
// read back what changed of it), copied at its own size; with the frame's
// alpha where the window's pixels have an alpha channel (a depth-32
// visual). The blends leave colour over alpha at soft edges, which a
// compositor takes as premultiplied: it is held to alpha.
// While the window's pixels hold the last present's, only the pixels that
// changed are copied and handed to the X server: those this frame changed
// and those the frame before changed. The second are sent again because a
// bounding shape set after a present (her silhouette, made from that
// frame) lets the server clear the pixels it newly takes in; they are
// pixels that frame changed.
bool EAGLView::PresentDesktop() {
  _presentWhole = true;
  SDL_Surface* shown = SDL_GetWindowSurface(_desktop);
  if (!shown || shown->format->BytesPerPixel != 4) return false;
  const int h = static_cast<int>(_size.height), w = static_cast<int>(_size.width);
  if (_keptW != w || _keptH != h) return false;
  const int x0 = std::max(0, _desktopPart[0]), y0 = std::max(0, _desktopPart[1]);
  const int rw = std::min({_desktopPart[2], shown->w, w - x0}), rh = std::min({_desktopPart[3], shown->h, h - y0});
  if (rw <= 0 || rh <= 0) return true;
  const int at[6] = {shown->w, shown->h, x0, y0, rw, rh};
  const bool held = !_desktopWhole && _desktopShown == shown && std::equal(at, at + 6, _desktopShownAt);
  // The frame's pixels to copy, [cx0, cx1) x [cy0, cy1) (y down).
  int cx0 = x0, cy0 = y0, cx1 = x0 + rw, cy1 = y0 + rh;
  if (held) {
    int ux0 = cx1, uy0 = cy1, ux1 = cx0, uy1 = cy0;  // empty
    for (const int* c : {_keptChanged, _desktopChanged})
      if (c[2] > 0 && c[3] > 0) {
        ux0 = std::min(ux0, c[0]), uy0 = std::min(uy0, c[1]);
        ux1 = std::max(ux1, c[0] + c[2]), uy1 = std::max(uy1, c[1] + c[3]);
      }
    cx0 = std::max(cx0, ux0), cy0 = std::max(cy0, uy0), cx1 = std::min(cx1, ux1), cy1 = std::min(cy1, uy1);
  }
  std::copy(_keptChanged, _keptChanged + 4, _desktopChanged);
  if (cx1 <= cx0 || cy1 <= cy0) return true;  // nothing of the window changed
  const SDL_PixelFormat* f = shown->format;
  if (SDL_MUSTLOCK(shown) && SDL_LockSurface(shown) != 0) return false;
  const Uint32 rs = f->Rshift, gs = f->Gshift, bs = f->Bshift, as = f->Ashift;
  const bool alpha = f->Amask != 0;
  // X11's usual layouts (constant shifts, which vectorise), else any.
  const bool argb = alpha && rs == 16 && gs == 8 && bs == 0 && as == 24,
             xrgb = !alpha && rs == 16 && gs == 8 && bs == 0;
  for (int y = cy0; y < cy1; ++y) {
    const uint8_t* in = &_kept[(static_cast<size_t>(y) * w + cx0) * 4];
    Uint32* out =
        reinterpret_cast<Uint32*>(static_cast<uint8_t*>(shown->pixels) + static_cast<size_t>(y - y0) * shown->pitch) +
        (cx0 - x0);
    const int n = cx1 - cx0;
    if (argb) {
      for (int x = 0; x < n; ++x, in += 4) {
        const Uint32 a = in[3];
        out[x] = (std::min<Uint32>(in[0], a) << 16) | (std::min<Uint32>(in[1], a) << 8) | std::min<Uint32>(in[2], a) |
                 (a << 24);
      }
    } else if (xrgb) {
      // R, G, B, A in memory: byte-swapped and shifted, R G B from the top.
      for (int x = 0; x < n; ++x, in += 4) {
        Uint32 v;
        std::memcpy(&v, in, sizeof v);
        out[x] = SDL_SwapBE32(v) >> 8;
      }
    } else {
      for (int x = 0; x < n; ++x, in += 4) {
        const Uint32 a = alpha ? in[3] : 255;
        out[x] = (std::min<Uint32>(in[0], a) << rs) | (std::min<Uint32>(in[1], a) << gs) |
                 (std::min<Uint32>(in[2], a) << bs) | (alpha ? a << as : 0);
      }
    }
  }
  if (SDL_MUSTLOCK(shown)) SDL_UnlockSurface(shown);
  bool ok;
  if (held) {
    const SDL_Rect changed = {cx0 - x0, cy0 - y0, cx1 - cx0, cy1 - cy0};
    ok = SDL_UpdateWindowSurfaceRects(_desktop, &changed, 1) == 0;
  } else {
    ok = SDL_UpdateWindowSurface(_desktop) == 0;
  }
  _desktopWhole = !ok;
  _desktopShown = shown;
  std::copy(at, at + 6, _desktopShownAt);
  return ok;
}

bool EAGLView::resendDesktopChanged() {
  if (!_desktop || _desktopWhole || !_desktopShown) return false;
  const int* at = _desktopShownAt;  // window w, h; part x, y, w, h
  const int* c = _desktopChanged;   // x, y, w, h of the frame
  const int x0 = std::max(c[0], at[2]), y0 = std::max(c[1], at[3]);
  const int x1 = std::min(c[0] + c[2], at[2] + at[4]), y1 = std::min(c[1] + c[3], at[3] + at[5]);
  if (x1 <= x0 || y1 <= y0) return true;
  const SDL_Rect r = {x0 - at[2], y0 - at[3], x1 - x0, y1 - y0};
  return SDL_UpdateWindowSurfaceRects(_desktop, &r, 1) == 0;
}
