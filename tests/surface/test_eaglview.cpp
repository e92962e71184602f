// The GL surface on a real ES 1.1 context (Mesa llvmpipe through EGL).
#include "kit/gl_test.h"
#include "surface/EAGLView.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "gles/gles.h"
#include "kit/pictures.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using testkit::HeadlessView;

// Fills the rectangle (x, y, w, h) in window coordinates (origin bottom left)
// with a colour at depth z, through the fixed-function pipeline.
void DrawRect(int vw, int vh, float x, float y, float w, float h, float z, const GLubyte c[4]) {
  testkit::Ortho(0, static_cast<float>(vw), 0, static_cast<float>(vh), -1, 1);
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
  DrawRect(w, h, 0, 0, w / 4.0f, w / 4.0f, 0.5f, kBlue);    // nearer: ortho negates z
  DrawRect(w, h, 0, 0, w / 2.0f, w / 2.0f, -0.5f, kGreen);  // farther: hidden where blue is
  glDisable(GL_DEPTH_TEST);
}

const uint8_t* Pixel(const std::vector<uint8_t>& rgba, int w, int x, int y) {
  return &rgba[(static_cast<size_t>(y) * w + x) * 4];
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

TEST(EAGLView, BoundsRoundToWholePixelsAndTheDepthBufferIsMadeOnlyWhenAsked) {
  std::unique_ptr<EAGLView> view(EAGLView::initWithCoder({0, 0, 320.4f, 479.6f}, kEAGLSurfaceHeadless));
  ASSERT_NE(view, nullptr);
  GLint vp[4] = {};
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 320);
  EXPECT_EQ(vp[3], 480);
  EXPECT_NE(view->depthbuffer(), 0u);

  // The plain form asks for no depth buffer: none is made, and destroying the
  // view deletes none.
  std::unique_ptr<EAGLView> flat(EAGLView::initWithFrame({0, 0, 64, 32}, kEAGLSurfaceHeadless));
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->depthbuffer(), 0u);
  GLint d = -1;
  glGetIntegerv(GL_DEPTH_BITS, &d);
  EXPECT_EQ(d, 0);
}

TEST(EAGLView, ImpossibleSurfacesGiveNullAndLeaveNothingBehind) {
  EXPECT_EQ(EAGLView::CreateHeadless(0, 480), nullptr);
  EXPECT_EQ(EAGLView::CreateHeadless(320, -5), nullptr);
  EXPECT_EQ(EAGLView::CreateHeadless(1 << 20, 16), nullptr);
  EXPECT_EQ(EAGLView::initWithFrame({0, 0, NAN, 10}, kEAGLSurfaceHeadless), nullptr);
  // A good one still works after the failures.
  auto view = HeadlessView(16, 16);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isCurrentContext());
}

TEST(EAGLView, SwapKeepsTheFrameAndTheContextArrangement) {
  auto a = HeadlessView(32, 32);
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
  auto b = HeadlessView(16, 16);
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
  auto view = HeadlessView(100, 50);
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

// A view drawn two pixels a point is twice as fine where it speaks in
// pixels (its frames and viewport: AppGolden.TwoPixelsAPoint), its points
// mapped onto the finer grid, resized too.
TEST(EAGLView, ContentScaleDrawsMorePixelsAPoint) {
  std::unique_ptr<EAGLView> view(EAGLView::initWithCoder({0, 0, 320, 480}, kEAGLSurfaceHeadless, 2.0f));
  ASSERT_NE(view, nullptr);
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
  const std::pair<float, float> cases[] = {
      {1.5f, 480.0f}, {0.0f, 320.0f}, {-2.0f, 320.0f}, {9.0f, 320.0f}, {NAN, 320.0f}};
  for (const auto& c : cases) {
    std::unique_ptr<EAGLView> v(EAGLView::initWithCoder({0, 0, 320, 480}, kEAGLSurfaceHeadless, c.first));
    ASSERT_NE(v, nullptr) << c.first;
    EXPECT_EQ(v->surfaceSize().width, c.second) << c.first;
  }
}

// The window path needs a display; under a virtual X server (xvfb-run) it
// shows, for the driver's ES 1.1 and for ours over ES 2.0, and for a window
// shown by copy and one shown through GL, that the window gives the same
// pixels for the same frame as headless and shows them.
TEST(EAGLView, WindowAndHeadlessGiveIdenticalPixels) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  const int w = 64, h = 96;
  for (EAGLPresent present : {kEAGLPresentCopy, kEAGLPresentGl})
    for (GlesKind gl : {kGlesES1, kGlesES2}) {
      const std::string name = std::string(GlesKindName(gl)) + (present == kEAGLPresentCopy ? "_copy" : "_gl");
      SCOPED_TRACE(name);
      EAGLViewSetWindowPresent(present);
      std::vector<uint8_t> headless, windowed, shown, presented;
      {
        std::unique_ptr<EAGLView> view(EAGLView::CreateHeadless(w, h, gl));
        ASSERT_NE(view, nullptr);
        DrawTestFrame(w, h);
        ASSERT_TRUE(EAGLViewReadPixels(view.get(), headless));
      }
      std::unique_ptr<EAGLView> view(EAGLView::initWithFrame({0, 0, static_cast<float>(w), static_cast<float>(h)},
                                                             GL_RGBA8_OES, GL_DEPTH_COMPONENT16_OES, true, false,
                                                             kEAGLSurfaceWindow, 1.0f, gl));
      ASSERT_NE(view, nullptr);
      EXPECT_FALSE(view->isHeadless());
      EXPECT_EQ(view->presentsByCopy(), present == kEAGLPresentCopy);
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
      const std::string grab = testkit::OutputPath("eaglview_window_" + name + ".png");
      const std::string cmd = "import -window root -crop " + std::to_string(w) + "x" + std::to_string(h) + "+" +
                              std::to_string(x) + "+" + std::to_string(y) + " +repage '" + grab + "' 2>/dev/null";
      Picture picture;
      for (int attempt = 0; attempt < 20 && presented != headless; ++attempt) {
        if (std::system(cmd.c_str()) != 0 || !ReadPicture(grab, picture)) break;
        presented = picture.rgba;
        if (presented != headless) SDL_Delay(100);
      }
      EXPECT_EQ(presented, headless) << "the window shows " << grab;
    }
  EAGLViewSetWindowPresent(kEAGLPresentAuto);
}
