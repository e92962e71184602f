// The GL surface: an OpenGL ES 1.1 context and the framebuffer the whole
// program draws into.
//
// The ES 1.1 behind the context is the driver's own (es1) or our layer over
// an ES 2.0 context (es2, gles/gles_context.h), chosen when the view is made;
// auto takes es1 where the driver offers it and says so on standard error
// when it falls back to es2. Making a context current also points the GL
// names at its implementation.
//
// The main screen creates one view (initWithCoder, or CreateHeadless in tests
// and tools); from then on its context is current and its framebuffer object
// (RGBA8 colour, 16-bit depth) is bound, with viewport and scissor box over the
// whole surface. The frame loop calls swapBuffers once per frame. The colour
// buffer keeps its contents after a swap, so a pixel read during a frame (the
// tap pick) or after it (screenshots) sees what was drawn.
//
// Two windowing layers stand behind the same operations:
//   - headless: an EGL context on Mesa's surfaceless platform; swapBuffers
//     flushes and waits until the frame before is drawn, so at most one
//     frame is in the rasteriser's hands. Used when there is no display,
//     and by every test.
//   - window: an SDL2 window. Where a software rasteriser draws and can do
//     so without a window (Mesa's), the drawing context is a surfaceless one
//     as for headless and swapBuffers reads the frame back and copies it into
//     the window's own pixels. Elsewhere (a GPU) the window has an ES
//     context: swapBuffers draws the colour buffer as a textured quad into
//     it from a second context that shares the texture, so the drawing
//     context's GL state is never touched by presentation.
// Both render into the same kind of framebuffer object, so a frame gives the
// same pixels on either.
//
// Typical use:
//   EAGLView* view = EAGLView::CreateHeadless(320, 480);   // null on failure
//   ... draw ...
//   std::vector<uint8_t> rgba;
//   EAGLViewReadPixels(view, rgba);                        // top row first
//   EAGLWritePNG("shot.png", rgba.data(), 320, 480);
//   view->swapBuffers();
//   delete view;
#pragma once

#include "gles/gles.h"
#include "gles/gles_context.h"

#include <cstdint>
#include <vector>

struct SDL_Window;
class EAGLView;

// Which windowing layer a view uses. Auto picks the window when a display is
// reachable (SDL video starts) and headless otherwise.
enum EAGLSurfaceKind { kEAGLSurfaceAuto, kEAGLSurfaceHeadless, kEAGLSurfaceWindow };

// How windows made from now on show their frames: auto copies where a
// software rasteriser can and else draws with GL; the other two allow only
// the one (tests).
enum EAGLPresent { kEAGLPresentAuto, kEAGLPresentCopy, kEAGLPresentGl };
void EAGLViewSetWindowPresent(EAGLPresent present);
// Whether windows made from now on start hidden (the window program's
// desktop mode shows another window first; SDL_ShowWindow shows it).
void EAGLViewSetWindowHidden(bool hidden);

struct EAGLPoint {
  float x, y;
};
struct EAGLSize {
  float width, height;
};
struct EAGLRect {
  float x, y, width, height;
};

// Told after every successful surface creation (first one and resizes).
class EAGLViewDelegate {
 public:
  virtual ~EAGLViewDelegate() = default;
  virtual void didResizeEAGLSurfaceForView(EAGLView* view) = 0;
};

class EAGLView {
 public:
  // The designated initialiser. `frame` is the view's bounds in points; the
  // surface is its size times `contentScale` (pixels a point: 2 draws a
  // 320 x 480 view at 640 x 960; outside 0.25..4 it is 1), rounded to whole
  // pixels. The colour buffer is RGBA8
  // whatever `format` asks (it is only reported back by pixelFormat);
  // `depthFormat` 0 means no depth buffer, else GL_DEPTH_COMPONENT16_OES.
  // `preserve` is ignored (contents are always kept). Returns null when no
  // context or surface can be made; nothing is left behind then.
  static EAGLView* initWithFrame(EAGLRect frame, GLenum format, GLenum depthFormat, bool preserve, bool multisample,
                                 EAGLSurfaceKind kind = kEAGLSurfaceAuto, float contentScale = 1.0f,
                                 GlesKind gl = kGlesAuto);
  // Shorter forms: RGB565 request and no depth buffer unless given.
  static EAGLView* initWithFrame(EAGLRect frame, EAGLSurfaceKind kind = kEAGLSurfaceAuto);
  static EAGLView* initWithFrame(EAGLRect frame, GLenum format, EAGLSurfaceKind kind = kEAGLSurfaceAuto);
  static EAGLView* initWithFrame(EAGLRect frame, GLenum format, GLenum depthFormat, bool preserve,
                                 EAGLSurfaceKind kind = kEAGLSurfaceAuto);
  // The main screen's settings: RGB565 requested, 16-bit depth, multisample.
  static EAGLView* initWithCoder(EAGLRect frame, EAGLSurfaceKind kind = kEAGLSurfaceAuto, float contentScale = 1.0f,
                                 GlesKind gl = kGlesAuto);
  // Tests and tools: headless, width x height pixels, with a 16-bit depth buffer.
  static EAGLView* CreateHeadless(int width, int height, GlesKind gl = kGlesAuto);

  // Deletes the surface and the context (dealloc).
  ~EAGLView();
  EAGLView(const EAGLView&) = delete;
  EAGLView& operator=(const EAGLView&) = delete;

  // The GL context handle (an EGLContext or an SDL_GLContext).
  void* context() const { return _context; }
  GLenum depthFormat() const { return _depthFormat; }
  GLenum pixelFormat() const { return _format; }
  GLuint framebuffer() const { return _framebuffer; }
  // Name of the colour attachment: a GL texture, so the window can show it.
  GLuint colorbuffer() const { return _renderbuffer; }
  GLuint depthbuffer() const { return _depthBuffer; }
  EAGLSize surfaceSize() const { return _size; }
  float contentScaleFactor() const { return _contentScale; }
  // A new pixel scale (0.25 to 4, else ignored); the surface follows on the
  // next layoutSubviews when autoresizing is on.
  void setContentScaleFactor(float scale) {
    if (scale >= 0.25f && scale <= 4.0f) _contentScale = scale;
  }
  bool multisample() const { return _multisample; }
  bool isHeadless() const { return _window == nullptr; }
  // Which ES 1.1 draws: kGlesES1 or kGlesES2.
  GlesKind glKind() const { return _gl; }
  // The SDL window of a windowed view (null when headless), for the event loop.
  SDL_Window* window() const { return _window; }
  // A window shown by copying its frames (see above), not through GL.
  bool presentsByCopy() const;

  bool autoresizesSurface() const { return _autoresize; }
  // Only stores the flag.
  void setAutoresizesSurface(bool on) { _autoresize = on; }
  // Stores the flag and, when set, lays the surface out at once.
  void setAutoresizesEAGLSurface(bool on);
  EAGLViewDelegate* delegate() const { return _delegate; }
  void setDelegate(EAGLViewDelegate* d) { _delegate = d; }

  // The view's bounds (the layer the surface is sized from). Changing them
  // does not touch the surface; layoutSubviews does, when autoresizing is on.
  EAGLRect bounds() const { return _bounds; }
  void setBounds(EAGLRect b) { _bounds = b; }
  // Recreates the surface when autoresizing is on and the rounded bounds
  // differ from the surface size.
  void layoutSubviews();

  void setCurrentContext();
  bool isCurrentContext() const;
  void clearCurrentContext();
  // Presents the colour buffer; its contents stay for the next frame. A
  // window shows it at the bounds' shape, as large as fits, centred between
  // black bars (see math/Letterbox.h).
  void swapBuffers();
  // The next present of a window shown by copy need copy out only pixels
  // [x0, x1) x [y0, y1) (y up): nothing else changed since the last. Any
  // other present copies the whole frame.
  void presentOnly(int x0, int y0, int x1, int y1) {
    _part[0] = x0, _part[1] = y0, _part[2] = x1, _part[3] = y1;
    _presentPart = true;
  }
  // The window lost what it showed (uncovered, resized): the next present
  // copies the whole frame whatever presentOnly said.
  void presentWhole() { _presentWhole = _desktopWhole = true; }
  // Desktop mode: frames go by copy into `window` (one without GL, made for
  // the desktop; null: the view's own window again), the part of width x
  // height pixels at (x, y) of the surface (y down) at its own size. A
  // window whose pixels have an alpha channel gets the frame's alpha,
  // premultiplied, for a compositing manager to blend.
  void presentOnDesktop(SDL_Window* window, int x, int y, int width, int height) {
    if (!window) _desktopWhole = true;
    _desktop = window;
    _desktopPart[0] = x, _desktopPart[1] = y, _desktopPart[2] = width, _desktopPart[3] = height;
  }
  // Desktop mode: sends her window the pixels the last present changed once
  // more. A bounding shape set after a present (her silhouette, made from
  // that frame) lets the X server clear the pixels it newly takes in, and
  // they are pixels that present changed: without this they show the
  // window's black until the next frame.
  bool resendDesktopChanged();
  // While on (and always while presenting on the desktop), every present
  // also keeps the frame in memory: only the part presentOnly named is read
  // back into the copy of the frame before, the whole frame when there is no
  // such copy at this size. Desktop mode takes her silhouette and her
  // window's pixels from it, one read a tick. Off drops the copy.
  void keepFrame(bool on);
  // The frame as last presented, RGBA, top row first, surfaceSize() (empty
  // when not kept), and a count that moves on with every present that may
  // have changed it (counted over all views): equal counts, equal pixels.
  const std::vector<uint8_t>& keptFrame() const { return _kept; }
  long keptChanges() const { return _keptChanges; }
  // The pixels the last present that moved the count on read into the kept
  // frame: x, y (top down), width, height; the rest are as before it.
  const int* keptChanged() const { return _keptChanged; }

  EAGLPoint convertPointFromViewToSurface(EAGLPoint p) const;
  EAGLRect convertRectFromViewToSurface(EAGLRect r) const;

  // The windowing layer behind the context; known only to the surface's
  // own files (EAGLView_desktop.h, EAGLView_web.cpp).
  struct Layer;

 private:
  EAGLView() = default;
  static EAGLView* Finish(EAGLView* view, EAGLSurfaceKind kind, GlesKind gl);
  bool OpenWindow(GlesKind kind);
  void CloseWindow();
  bool MakeAnyContexts(GlesKind gl);
  bool MakeContexts(GlesKind gl);
  bool PresentCopy();     // EAGLView_copy.cpp
  bool PresentGl();       // EAGLView_sdl.cpp
  bool PresentDesktop();  // EAGLView_copy.cpp
  bool KeepFrame();       // EAGLView_pixels.cpp
  void DropContexts();
  bool _createSurface();
  void _destroySurface();
  bool MakeCurrent(void* ctx);  // ctx null: no context current
  void* CurrentContext() const;

  GLenum _format = 0;
  GLenum _depthFormat = 0;
  bool _autoresize = false;
  void* _context = nullptr;
  bool _multisample = false;
  GLuint _framebuffer = 0;
  GLuint _renderbuffer = 0;  // colour attachment (a texture name, see colorbuffer)
  GLuint _depthBuffer = 0;
  EAGLSize _size = {0, 0};
  int _part[4] = {0, 0, 0, 0};
  bool _presentPart = false, _presentWhole = true;
  bool _hasBeenCurrent = false;
  EAGLViewDelegate* _delegate = nullptr;

  EAGLRect _bounds = {0, 0, 0, 0};
  float _contentScale = 1.0f;
  GlesKind _gl = kGlesAuto;
  SDL_Window* _window = nullptr;
  SDL_Window* _desktop = nullptr;
  int _desktopPart[4] = {0, 0, 0, 0};
  bool _keep = false;
  std::vector<uint8_t> _kept, _keptRead;  // the frame kept, and what a present read back of it
  int _keptW = 0, _keptH = 0;
  long _keptChanges = 0;
  // The pixels the last KeepFrame read into _kept: x, y (down), width, height.
  int _keptChanged[4] = {0, 0, 0, 0};
  // Desktop mode: the window's pixels as the last present left them (the
  // surface, its size and the part of the frame it shows) and what that
  // present's frame changed; whole: they cannot be told (the next present
  // fills all of them).
  bool _desktopWhole = true;
  const void* _desktopShown = nullptr;
  int _desktopShownAt[6] = {0, 0, 0, 0, 0, 0};
  int _desktopChanged[4] = {0, 0, 0, 0};
  Layer* _layer = nullptr;
};

// Reads the whole bound framebuffer of `view` (its surface size) into `rgba`,
// 4 bytes a pixel, top row first (GL reads bottom-up; the rows are flipped).
// The view's context must be current. False when there is nothing to read.
bool EAGLViewReadPixels(const EAGLView* view, std::vector<uint8_t>& rgba);
// Same for any width x height region at the origin of the bound framebuffer.
bool EAGLReadPixels(int width, int height, std::vector<uint8_t>& rgba);
// Writes RGBA pixels (top row first) as an 8-bit RGBA PNG, in place (through
// the picture module's writer). False, with a message on standard error, when
// the file cannot be written.
bool EAGLWritePNG(const char* path, const uint8_t* rgba, int width, int height);
