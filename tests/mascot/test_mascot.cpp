// Desktop mode's logic: the silhouette's rectangles cover exactly the
// opaque pixels; the window's part grows but does not jitter; the fall lands
// on the right edge and follows or leaves the window under her.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mascot/mascot.h"

namespace {

// A picture with random blobs of opaque pixels and soft edges, over random
// colours (the alpha alone decides).
std::vector<uint8_t> Blobs(int w, int h, unsigned seed) {
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4, 0);
  std::mt19937 rng(seed);
  for (size_t i = 0; i < rgba.size(); ++i)
    if (i % 4 != 3) rgba[i] = static_cast<uint8_t>(rng());
  for (int b = 0; b < 5; ++b) {
    const int cx = static_cast<int>(rng() % w), cy = static_cast<int>(rng() % h), r = 2 + static_cast<int>(rng() % 9);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        uint8_t& a = rgba[(static_cast<size_t>(y) * w + x) * 4 + 3];
        if (d2 <= r * r)
          a = 255;
        else if (d2 <= (r + 2) * (r + 2))
          a = std::max<uint8_t>(a, static_cast<uint8_t>(rng() % 256));
      }
  }
  return rgba;
}

TEST(Mascot, SilhouetteRectanglesCoverExactlyTheOpaquePixels) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const int w = 37, h = 29;
    const std::vector<uint8_t> rgba = Blobs(w, h, seed);
    const MascotSilhouette s = MascotSilhouetteOf(rgba.data(), w, h);
    std::vector<int> covered(static_cast<size_t>(w) * h, 0);
    for (const MascotRect& r : s.rects)
      for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x) ++covered[static_cast<size_t>(y) * w + x];
    long area = 0;
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool opaque = rgba[(static_cast<size_t>(y) * w + x) * 4 + 3] > kMascotAlphaThreshold;
        ASSERT_EQ(covered[static_cast<size_t>(y) * w + x], opaque ? 1 : 0)
            << "seed " << seed << " at " << x << "," << y;
        if (!opaque) continue;
        ++area;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
    EXPECT_EQ(s.area, area);
    EXPECT_EQ(s.box, (MascotRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1}));
    // Equal runs of consecutive rows are joined: fewer rectangles than rows with runs.
    EXPECT_LT(s.rects.size(), static_cast<size_t>(area));
  }
  const std::vector<uint8_t> clear(40 * 4, 0);
  EXPECT_EQ(MascotSilhouetteOf(clear.data(), 8, 5).area, 0);
  EXPECT_TRUE(MascotSilhouetteOf(clear.data(), 8, 5).rects.empty());
}

bool SameSilhouette(const MascotSilhouette& a, const MascotSilhouette& b) {
  return a.box == b.box && a.area == b.area && a.rects.size() == b.rects.size() &&
         std::equal(a.rects.begin(), a.rects.end(), b.rects.begin());
}

// Frame after frame redrawn inside a random rectangle (runs cut, joined,
// grown and cleared at its edges): looking at that rectangle alone gives
// what looking at the whole frame gives.
TEST(Mascot, SilhouetteUpdatedWhereTheFrameChangedEqualsTheWholeOne) {
  const int w = 41, h = 23;
  std::mt19937 rng(3);
  for (unsigned run = 1; run <= 8; ++run) {
    std::vector<uint8_t> rgba = Blobs(w, h, run);
    MascotRows rows;
    for (int frame = 0; frame < 30; ++frame) {
      MascotRect c{static_cast<int>(rng() % (w + 4)) - 2, static_cast<int>(rng() % (h + 4)) - 2,
                   static_cast<int>(rng() % w), static_cast<int>(rng() % h)};
      if (frame == 0) c = {0, 0, w, h};  // the first frame: all of it
      const std::vector<uint8_t> next = Blobs(w, h, run * 100 + frame);
      for (int y = std::max(c.y, 0); y < std::min(c.y + c.h, h); ++y)
        for (int x = std::max(c.x, 0); x < std::min(c.x + c.w, w); ++x)
          rgba[(static_cast<size_t>(y) * w + x) * 4 + 3] = next[(static_cast<size_t>(y) * w + x) * 4 + 3];
      const MascotSilhouette got = MascotSilhouetteUpdate(&rows, rgba.data(), w, h, c);
      ASSERT_TRUE(SameSilhouette(got, MascotSilhouetteOf(rgba.data(), w, h))) << "run " << run << " frame " << frame;
    }
  }
  // Rows of another size are thrown away, whatever rectangle is named.
  MascotRows rows;
  const std::vector<uint8_t> a = Blobs(w, h, 1), b = Blobs(h, w, 2);
  MascotSilhouetteUpdate(&rows, a.data(), w, h, {0, 0, w, h});
  EXPECT_TRUE(SameSilhouette(MascotSilhouetteUpdate(&rows, b.data(), h, w, {}), MascotSilhouetteOf(b.data(), h, w)));
}

TEST(Mascot, WindowPartKeepsItsBoxUntilSheLeavesItAndStaysOnTheSurface) {
  const MascotRect first = MascotWindowPart({100, 50, 80, 300}, {}, 10, 640, 960);
  EXPECT_EQ(first, (MascotRect{90, 40, 100, 320}));
  // A smaller pose inside: the same part.
  EXPECT_EQ(MascotWindowPart({110, 60, 60, 280}, first, 10, 640, 960), first);
  // An arm out to the left: it grows that way only.
  const MascotRect grown = MascotWindowPart({60, 60, 90, 280}, first, 10, 640, 960);
  EXPECT_EQ(grown, (MascotRect{50, 40, 140, 320}));
  // Near the surface's edge: cut to it.
  EXPECT_EQ(MascotWindowPart({2, 900, 50, 60}, {}, 10, 640, 960), (MascotRect{0, 890, 62, 70}));
  EXPECT_EQ(MascotWindowPart({}, first, 10, 640, 960), MascotRect());
}

// Ticks until she stands (at most n); the ticks taken.
int Settle(MascotPlace& p, const MascotFeet& f, const MascotRect& work, const std::vector<MascotDeskWindow>& w,
           int n = 400) {
  for (int i = 1; i <= n; ++i) {
    MascotStep(p, f, work, w);
    if (p.pose == kMascotStanding) return i;
  }
  return -1;
}

// (The fall's bounce, a window carrying her along and one closing under
// her: MascotHeadless.DroppedSheLandsOnAWindowGoesWithItAndFallsWhenItCloses.)
TEST(Mascot, SheLandsOnTheHighestEdgeUnderHerFeetAndFallsWhenItNarrows) {
  const MascotRect work{0, 0, 1920, 1040};
  const MascotFeet feet{50, 300};
  // Window "low" under her, "high" beside her: she lands on low's top edge.
  std::vector<MascotDeskWindow> windows = {{"low", {0, 700, 400, 300}}, {"high", {600, 500, 400, 300}}};
  MascotPlace p;
  p.x = 100, p.y = 0;
  MascotDrop(p);
  ASSERT_GT(Settle(p, feet, work, windows), 0);
  EXPECT_EQ(p.on, "low");
  EXPECT_EQ(p.y + feet.bottom, 700);
  // Made narrower, it is no longer under her feet: she falls to the bottom.
  windows[0].r.w = 60;
  MascotStep(p, feet, work, windows);
  EXPECT_EQ(p.pose, kMascotFalling);
  ASSERT_GT(Settle(p, feet, work, windows), 0);
  EXPECT_EQ(p.y + feet.bottom, 1040);
  // Dropped below a window's top edge: it is behind her; the bottom holds her.
  windows[0].r.w = 400;
  p.y = 720;
  MascotDrop(p);
  ASSERT_GT(Settle(p, feet, work, windows), 0);
  EXPECT_EQ(p.on, "");
  EXPECT_EQ(p.y + feet.bottom, 1040);
  // The work area's bottom moves up (a panel appears): she stands on the new one.
  const MascotRect smaller{0, 0, 1920, 1000};
  EXPECT_GT(Settle(p, feet, smaller, windows), 0);
  EXPECT_EQ(p.y + feet.bottom, 1000);
  // Held, she stays wherever the window goes.
  MascotHold(p);
  p.y = 10;
  MascotStep(p, feet, work, windows);
  EXPECT_EQ(p.y, 10);
  EXPECT_EQ(p.pose, kMascotHeld);
}

}  // namespace
