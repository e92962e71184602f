// The GL surface on a real ES 1.1 context (Mesa llvmpipe through EGL).
#include "platform/EAGLView.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "gles/gles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// SDL's video start-up under X opens a D-Bus connection whose buffer the
// bus library keeps until process exit; it is not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

std::unique_ptr<EAGLView> Headless(int w, int h) {
  return std::unique_ptr<EAGLView>(EAGLView::CreateHeadless(w, h));
}

// Fills the rectangle (x, y, w, h) in window coordinates (origin bottom left)
// with a colour at depth z, through the fixed-function pipeline.
void DrawRect(int vw, int vh, float x, float y, float w, float h, float z, const GLubyte c[4]) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(0, static_cast<float>(vw), 0, static_cast<float>(vh), -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const GLfloat v[] = {x, y, z, x + w, y, z, x, y + h, z, x + w, y + h, z};
  glColor4ub(c[0], c[1], c[2], c[3]);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, v);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glDisableClientState(GL_VERTEX_ARRAY);
}

const GLubyte kRed[4] = {255, 0, 0, 255};
const GLubyte kGreen[4] = {0, 255, 0, 255};
const GLubyte kBlue[4] = {0, 0, 255, 255};

// Draws a small fixed frame: grey clear, red top half, a blue square in the
// lower left corner in front of a green one.
void DrawTestFrame(int w, int h) {
  glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
  glClearDepthf(1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  DrawRect(w, h, 0, h / 2.0f, w, h / 2.0f, 0, kRed);
  DrawRect(w, h, 0, 0, w / 4.0f, w / 4.0f, 0.5f, kBlue);  // nearer: ortho negates z
  DrawRect(w, h, 0, 0, w / 2.0f, w / 2.0f, -0.5f, kGreen);  // farther: hidden where blue is
  glDisable(GL_DEPTH_TEST);
}

const uint8_t* Pixel(const std::vector<uint8_t>& rgba, int w, int x, int y) {
  return &rgba[(static_cast<size_t>(y) * w + x) * 4];
}

std::string OutputDir() {
  const char* dir = std::getenv("TEST_OUTPUT_DIR");
  return dir && *dir ? dir : ".";
}

struct CountingDelegate : EAGLViewDelegate {
  int calls = 0;
  EAGLView* last = nullptr;
  void didResizeEAGLSurfaceForView(EAGLView* v) override {
    ++calls;
    last = v;
  }
};

}  // namespace

TEST(EAGLView, HeadlessSurfaceIsCurrentBoundAndCoversTheViewport) {
  auto view = Headless(320, 480);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isHeadless());
  EXPECT_TRUE(view->isCurrentContext());
  EXPECT_NE(std::string(reinterpret_cast<const char*>(glGetString(GL_VERSION))).find("ES-CM 1.1"),
            std::string::npos);
  EXPECT_EQ(view->surfaceSize().width, 320.0f);
  EXPECT_EQ(view->surfaceSize().height, 480.0f);
  GLint fb = -1, vp[4] = {}, sc[4] = {};
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &fb);
  glGetIntegerv(GL_VIEWPORT, vp);
  glGetIntegerv(GL_SCISSOR_BOX, sc);
  EXPECT_NE(view->framebuffer(), 0u);
  EXPECT_EQ(static_cast<GLuint>(fb), view->framebuffer());
  EXPECT_EQ(vp[0], 0); EXPECT_EQ(vp[1], 0); EXPECT_EQ(vp[2], 320); EXPECT_EQ(vp[3], 480);
  EXPECT_EQ(sc[0], 0); EXPECT_EQ(sc[1], 0); EXPECT_EQ(sc[2], 320); EXPECT_EQ(sc[3], 480);
  GLint r = 0, g = 0, b = 0, a = 0, d = 0;
  glGetIntegerv(GL_RED_BITS, &r);
  glGetIntegerv(GL_GREEN_BITS, &g);
  glGetIntegerv(GL_BLUE_BITS, &b);
  glGetIntegerv(GL_ALPHA_BITS, &a);
  glGetIntegerv(GL_DEPTH_BITS, &d);
  EXPECT_EQ(r, 8); EXPECT_EQ(g, 8); EXPECT_EQ(b, 8); EXPECT_EQ(a, 8);
  EXPECT_EQ(d, 16);
  EXPECT_EQ(view->depthFormat(), static_cast<GLenum>(GL_DEPTH_COMPONENT16_OES));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(EAGLView, BoundsRoundToWholePixelsAndInitialisersKeepTheirRequests) {
  std::unique_ptr<EAGLView> view(EAGLView::initWithCoder({0, 0, 320.4f, 479.6f}, kEAGLSurfaceHeadless));
  ASSERT_NE(view, nullptr);
  GLint vp[4] = {};
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 320);
  EXPECT_EQ(vp[3], 480);
  EXPECT_EQ(view->pixelFormat(), static_cast<GLenum>(GL_RGB565_OES));
  EXPECT_EQ(view->depthFormat(), static_cast<GLenum>(GL_DEPTH_COMPONENT16_OES));
  EXPECT_TRUE(view->multisample());
  EXPECT_FALSE(view->autoresizesSurface());

  // The plain form asks for no depth buffer: none is made, and destroying the
  // view deletes none.
  std::unique_ptr<EAGLView> flat(EAGLView::initWithFrame({0, 0, 64, 32}, kEAGLSurfaceHeadless));
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->depthFormat(), 0u);
  EXPECT_EQ(flat->depthbuffer(), 0u);
  GLint d = -1;
  glGetIntegerv(GL_DEPTH_BITS, &d);
  EXPECT_EQ(d, 0);
  EXPECT_FALSE(flat->multisample());
  EXPECT_EQ(flat->pixelFormat(), static_cast<GLenum>(GL_RGB565_OES));
}

TEST(EAGLView, ImpossibleSurfacesGiveNullAndLeaveNothingBehind) {
  EXPECT_EQ(EAGLView::CreateHeadless(0, 480), nullptr);
  EXPECT_EQ(EAGLView::CreateHeadless(320, -5), nullptr);
  EXPECT_EQ(EAGLView::CreateHeadless(1 << 20, 16), nullptr);
  EXPECT_EQ(EAGLView::initWithFrame({0, 0, NAN, 10}, kEAGLSurfaceHeadless), nullptr);
  // A good one still works after the failures.
  auto view = Headless(16, 16);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isCurrentContext());
}

TEST(EAGLView, ReadBackIsTopRowFirstAndDepthTestingWorks) {
  const int w = 64, h = 96;
  auto view = Headless(w, h);
  ASSERT_NE(view, nullptr);
  DrawTestFrame(w, h);
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(EAGLViewReadPixels(view.get(), rgba));
  ASSERT_EQ(rgba.size(), static_cast<size_t>(w * h * 4));
  // Row 0 of the buffer is the top of the picture: red.
  const uint8_t* top = Pixel(rgba, w, w / 2, 0);
  EXPECT_EQ(top[0], 255); EXPECT_EQ(top[1], 0); EXPECT_EQ(top[2], 0); EXPECT_EQ(top[3], 255);
  // Bottom left: the nearer blue square wins over the green one drawn after it.
  const uint8_t* bl = Pixel(rgba, w, 2, h - 3);
  EXPECT_EQ(bl[0], 0); EXPECT_EQ(bl[1], 0); EXPECT_EQ(bl[2], 255);
  // Beside it only green was drawn.
  const uint8_t* gr = Pixel(rgba, w, w / 4 + 4, h - 3);
  EXPECT_EQ(gr[0], 0); EXPECT_EQ(gr[1], 255); EXPECT_EQ(gr[2], 0);
  // Untouched: the clear colour.
  const uint8_t* grey = Pixel(rgba, w, w - 2, h - 2);
  EXPECT_NEAR(grey[0], 128, 1); EXPECT_NEAR(grey[1], 128, 1); EXPECT_NEAR(grey[2], 128, 1);

  // A single-pixel read during the frame, as the tap pick does (GL rows).
  GLubyte px[4] = {};
  glReadPixels(2, 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
  EXPECT_EQ(px[2], 255);
  EXPECT_EQ(px[0], 0);

  const std::string path = OutputDir() + "/eaglview_frame.png";
  EXPECT_TRUE(EAGLWritePNG(path.c_str(), rgba.data(), w, h));
}

TEST(EAGLView, SwapKeepsTheFrameAndTheContextArrangement) {
  auto a = Headless(32, 32);
  ASSERT_NE(a, nullptr);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  testing::internal::CaptureStdout();
  a->swapBuffers();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(EAGLViewReadPixels(a.get(), rgba));
  EXPECT_EQ(Pixel(rgba, 32, 5, 5)[2], 255);  // retained after presentation

  // A second view takes the context; swapping the first leaves the second current.
  auto b = Headless(16, 16);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->isCurrentContext());
  EXPECT_FALSE(a->isCurrentContext());
  a->swapBuffers();
  EXPECT_TRUE(b->isCurrentContext());

  b->clearCurrentContext();
  EXPECT_FALSE(b->isCurrentContext());
  EXPECT_FALSE(EAGLViewReadPixels(b.get(), rgba));  // nothing current: no read
  a->setCurrentContext();
  EXPECT_TRUE(a->isCurrentContext());
  ASSERT_TRUE(EAGLViewReadPixels(a.get(), rgba));
  EXPECT_EQ(Pixel(rgba, 32, 31, 31)[2], 255);
}

TEST(EAGLView, SurfaceIsRecreatedOnlyWhenAutoresizing) {
  auto view = Headless(100, 50);
  ASSERT_NE(view, nullptr);
  CountingDelegate delegate;
  view->setDelegate(&delegate);

  view->setBounds({0, 0, 200, 80});
  view->layoutSubviews();
  EXPECT_EQ(delegate.calls, 0);
  EXPECT_EQ(view->surfaceSize().width, 100.0f);

  view->setAutoresizesSurface(true);  // only stores the flag
  EXPECT_EQ(delegate.calls, 0);
  view->setAutoresizesSurface(false);

  view->setAutoresizesEAGLSurface(true);  // lays out at once
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(delegate.last, view.get());
  EXPECT_EQ(view->surfaceSize().width, 200.0f);
  EXPECT_EQ(view->surfaceSize().height, 80.0f);
  GLint fb = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &fb);
  EXPECT_EQ(static_cast<GLuint>(fb), view->framebuffer());
  GLint vp[4] = {};
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 200);
  EXPECT_EQ(vp[3], 80);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(EAGLViewReadPixels(view.get(), rgba));
  EXPECT_EQ(rgba.size(), static_cast<size_t>(200 * 80 * 4));
  EXPECT_EQ(Pixel(rgba, 200, 199, 79)[0], 255);

  view->layoutSubviews();  // same size: nothing happens
  EXPECT_EQ(delegate.calls, 1);
}

TEST(EAGLView, ConvertsViewCoordinatesToSurfacePixels) {
  std::unique_ptr<EAGLView> view(
      EAGLView::initWithFrame({10, 20, 160, 240}, GL_RGBA8_OES, 0, false, kEAGLSurfaceHeadless));
  ASSERT_NE(view, nullptr);
  const EAGLPoint p = view->convertPointFromViewToSurface({90, 140});
  EXPECT_FLOAT_EQ(p.x, 80.0f);
  EXPECT_FLOAT_EQ(p.y, 120.0f);
  const EAGLRect r = view->convertRectFromViewToSurface({10, 20, 16, 24});
  EXPECT_FLOAT_EQ(r.x, 0.0f);
  EXPECT_FLOAT_EQ(r.y, 0.0f);
  EXPECT_FLOAT_EQ(r.width, 16.0f);
  EXPECT_FLOAT_EQ(r.height, 24.0f);
}

// A view of 320 x 480 points drawn two pixels a point: everything that
// speaks in pixels (surface, viewport, read-back, resizes) is twice as fine,
// and view coordinates map onto the finer grid.
TEST(EAGLView, ContentScaleDrawsMorePixelsAPoint) {
  std::unique_ptr<EAGLView> view(EAGLView::initWithCoder({0, 0, 320, 480}, kEAGLSurfaceHeadless, 2.0f));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->contentScaleFactor(), 2.0f);
  EXPECT_EQ(view->surfaceSize().width, 640.0f);
  EXPECT_EQ(view->surfaceSize().height, 960.0f);
  GLint vp[4] = {};
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 640);
  EXPECT_EQ(vp[3], 960);
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(EAGLViewReadPixels(view.get(), rgba));
  EXPECT_EQ(rgba.size(), static_cast<size_t>(640 * 960 * 4));
  const EAGLPoint p = view->convertPointFromViewToSurface({160, 240.5f});
  EXPECT_FLOAT_EQ(p.x, 320.0f);
  EXPECT_FLOAT_EQ(p.y, 481.0f);

  view->setBounds({0, 0, 100, 50});
  view->setAutoresizesEAGLSurface(true);
  EXPECT_EQ(view->surfaceSize().width, 200.0f);
  EXPECT_EQ(view->surfaceSize().height, 100.0f);
  view->layoutSubviews();  // same pixels: nothing to do
  EXPECT_EQ(view->surfaceSize().width, 200.0f);
  view.reset();

  // Fractions round to whole pixels; factors that make no sense draw one
  // pixel a point.
  const std::pair<float, float> cases[] = {{1.5f, 480.0f}, {0.0f, 320.0f}, {-2.0f, 320.0f},
                                           {9.0f, 320.0f}, {NAN, 320.0f}};
  for (const auto& c : cases) {
    std::unique_ptr<EAGLView> v(EAGLView::initWithCoder({0, 0, 320, 480}, kEAGLSurfaceHeadless, c.first));
    ASSERT_NE(v, nullptr) << c.first;
    EXPECT_EQ(v->surfaceSize().width, c.second) << c.first;
  }
}

TEST(EAGLView, PngWriterAndReaderRoundTripAndReportFailure) {
  const int w = 5, h = 3;
  std::vector<uint8_t> px(w * h * 4);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 37 + 11);
  const std::string path = OutputDir() + "/eaglview_roundtrip.png";
  ASSERT_TRUE(EAGLWritePNG(path.c_str(), px.data(), w, h));
  std::vector<uint8_t> back;
  int bw = 0, bh = 0;
  ASSERT_TRUE(EAGLReadPNG(path.c_str(), back, &bw, &bh));
  EXPECT_EQ(bw, w);
  EXPECT_EQ(bh, h);
  EXPECT_EQ(back, px);
  // A frame cut short is refused rather than half read.
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  ASSERT_GT(bytes.size(), 40u);
  const std::string cut = path + ".cut.png";
  if (FILE* f = std::fopen(cut.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size() - 20, f);
    std::fclose(f);
  }
  testing::internal::CaptureStderr();
  EXPECT_FALSE(EAGLReadPNG(cut.c_str(), back, &bw, &bh));
  EXPECT_FALSE(EAGLReadPNG("/nonexistent-dir/none.png", back, &bw, &bh));
  const std::string readErr = testing::internal::GetCapturedStderr();
  EXPECT_NE(readErr.find("Couldn't read PNG '" + cut + "'"), std::string::npos) << readErr;
  EXPECT_NE(readErr.find("Couldn't read PNG '/nonexistent-dir/none.png'"), std::string::npos);
  EXPECT_TRUE(back.empty());
  std::remove(cut.c_str());
  std::remove(path.c_str());

  testing::internal::CaptureStderr();
  EXPECT_FALSE(EAGLWritePNG("/nonexistent-dir/x.png", px.data(), w, h));
  EXPECT_FALSE(EAGLWritePNG(path.c_str(), nullptr, w, h));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Couldn't write PNG '/nonexistent-dir/x.png'"), std::string::npos);
}

// The window path needs a display; under a virtual X server (xvfb-run) it
// shows, for the driver's ES 1.1 and for ours over ES 2.0, that both layers
// give the same pixels for the same frame and that the window shows them.
TEST(EAGLView, WindowAndHeadlessGiveIdenticalPixels) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  const int w = 64, h = 96;
  for (GlesKind gl : {kGlesES1, kGlesES2}) {
    SCOPED_TRACE(GlesKindName(gl));
    std::vector<uint8_t> headless, windowed, shown, presented;
    {
      std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(w, h, gl));
      ASSERT_NE(view, nullptr);
      DrawTestFrame(w, h);
      ASSERT_TRUE(EAGLViewReadPixels(view.get(), headless));
    }
    std::unique_ptr<EAGLView> view(EAGLView::initWithFrame(
        {0, 0, static_cast<float>(w), static_cast<float>(h)}, GL_RGBA8_OES,
        GL_DEPTH_COMPONENT16_OES, true, false, kEAGLSurfaceWindow, 1.0f, gl));
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->isHeadless());
    EXPECT_EQ(view->glKind(), gl);
    EXPECT_TRUE(view->isCurrentContext());
    DrawTestFrame(w, h);
    ASSERT_TRUE(EAGLViewReadPixels(view.get(), windowed));
    EXPECT_EQ(windowed, headless);
    testing::internal::CaptureStdout();
    view->swapBuffers();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(view->isCurrentContext());
    // The frame is retained in the framebuffer after the swap.
    ASSERT_TRUE(EAGLViewReadPixels(view.get(), shown));
    EXPECT_EQ(shown, headless);
    // What the X server shows where the window is (no window manager: the
    // window's own pixels) is the frame.
    int x = 0, y = 0;
    SDL_GetWindowPosition(view->window(), &x, &y);
    const std::string grab = OutputDir() + "/eaglview_window_" + GlesKindName(gl) + ".png";
    const std::string cmd = "import -window root -crop " + std::to_string(w) + "x" + std::to_string(h) + "+" +
                            std::to_string(x) + "+" + std::to_string(y) + " +repage '" + grab + "' 2>/dev/null";
    int pw = 0, ph = 0;
    for (int attempt = 0; attempt < 20 && presented != headless; ++attempt) {
      if (std::system(cmd.c_str()) != 0 || !EAGLReadPNG(grab.c_str(), presented, &pw, &ph)) break;
      if (presented != headless) SDL_Delay(100);
    }
    EXPECT_EQ(presented, headless) << "the window shows " << grab;
  }
}
