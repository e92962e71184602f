#include "textures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "bundle_out.h"
#include "canvas.h"

namespace {

const float kPi = 3.14159265f;

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
Rgba Scale(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }

// Small deterministic generator for placing things (books, stars, windows).
struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed * 2654435761u + 1) {}
  float Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return float(s & 0xffffff) / float(0x1000000);
  }
};

// Fills only a rectangle: most shapes are small, so walking the whole picture
// for each would dominate the build time.
void FillIn(Canvas& c, float x0, float y0, float x1, float y1, const std::function<float(float, float)>& sd, Rgba col) {
  int ix0 = std::max(0, int(std::floor(x0)) - 1), iy0 = std::max(0, int(std::floor(y0)) - 1);
  int ix1 = std::min(c.w, int(std::ceil(x1)) + 1), iy1 = std::min(c.h, int(std::ceil(y1)) + 1);
  for (int y = iy0; y < iy1; ++y)
    for (int x = ix0; x < ix1; ++x) {
      float cov = Clamp01(0.5f - sd(float(x) + 0.5f, float(y) + 0.5f));
      if (cov > 0) c.Blend(x, y, col, cov);
    }
}

Canvas WoodPlanks() {
  Canvas c(256, 256);
  c.Shade([](float x, float y) {
    int row = int(y / 32);  // eight planks across, each offset along its length
    float off = float((row * 97) % 256);
    float along = std::fmod(x + off, 256.0f);
    float grain = TileFbm(along / 32.0f, y / 4.0f, 8, uint32_t(row + 3), 3);
    float tone = 0.75f + 0.25f * TileNoise(float(row), 0.5f, 8, 91);
    float seam = (std::fmod(y, 32.0f) < 1.2f || std::fabs(along - 128) < 0.8f) ? 0.55f : 1.0f;
    float k = (0.78f + 0.32f * grain) * tone * seam;
    return Rgba{0.72f * k, 0.50f * k, 0.32f * k, 1};
  });
  return c;
}

Canvas StoneTiles(Rgba base, Rgba grout, int tiles, uint32_t seed, float noise) {
  Canvas c(256, 256);
  float cell = 256.0f / float(tiles);
  c.Shade([=](float x, float y) {
    float fx = std::fmod(x, cell), fy = std::fmod(y, cell);
    float edge = std::min(std::min(fx, cell - fx), std::min(fy, cell - fy));
    int tx = int(x / cell), ty = int(y / cell);
    float var = 0.92f + 0.12f * TileNoise(float(tx), float(ty), tiles, seed);
    float n = 1.0f - noise + noise * TileFbm(x / 16.0f, y / 16.0f, 16, seed + 5, 3);
    Rgba t = Scale(base, var * n);
    float g = Clamp01((edge - 1.0f) / 1.5f);
    return Mix(grout, t, g);
  });
  return c;
}

Canvas Water() {
  Canvas c(256, 256);
  c.Shade([](float x, float y) {
    float n = TileFbm(x / 32.0f, y / 32.0f, 8, 44, 4);
    float caustic = std::pow(1.0f - std::fabs(2 * n - 1), 6.0f);
    Rgba deep = {0.10f, 0.55f, 0.78f, 0.72f}, light = {0.75f, 0.95f, 1.0f, 0.85f};
    return Mix(deep, light, Clamp01(caustic * 0.9f));
  });
  return c;
}

// Sky around a cylinder: wraps horizontally, bright haze at the bottom row.
Canvas Sky(bool clouds) {
  Canvas c(512, 256);
  c.Shade([clouds](float x, float y) {
    float t = y / 256.0f;  // 0 at the top
    Rgba zenith = {0.22f, 0.45f, 0.85f, 1}, horizon = {0.78f, 0.88f, 0.97f, 1};
    Rgba s = Mix(zenith, horizon, std::pow(t, 1.6f));
    if (clouds) {
      float n = TileFbm(x / 64.0f, y / 24.0f, 8, 7, 5);
      float band = Clamp01(1.0f - std::fabs(t - 0.55f) * 2.2f);
      float k = Clamp01((n - 0.52f) * 4.0f) * band;
      s = Mix(s, Rgba{1, 1, 1, 1}, k * 0.85f);
    }
    return s;
  });
  return c;
}

Canvas Cloud() {
  Canvas c(256, 128);
  Rng r(11);
  std::vector<float> bx, by, br;
  for (int i = 0; i < 9; ++i) {
    bx.push_back(50 + 156 * r.Next());
    by.push_back(70 + 18 * r.Next() - 10 * std::sin(kPi * (bx.back() - 50) / 156));
    br.push_back(22 + 18 * r.Next());
  }
  c.Shade([&](float x, float y) {
    float d = 1e9f;
    for (size_t i = 0; i < bx.size(); ++i) d = std::min(d, SdCircle(x, y, bx[i], by[i], br[i]));
    d = std::max(d, y - 96);  // flat underside
    float fluff = (TileFbm(x / 16.0f, y / 16.0f, 16, 3, 3) - 0.5f) * 14.0f;
    // A soft edge a few texels wide: the fluff fades into the sky.
    float a = Clamp01((-(d + fluff)) / 10.0f);
    float shade = 0.9f + 0.1f * Clamp01((96 - y) / 60.0f);
    return Rgba{shade, shade, std::min(1.0f, shade + 0.03f), a};
  });
  return c;
}

// A palm frond seen from above: a stem with leaflets, transparent around.
Canvas Frond() {
  Canvas c(256, 256);
  FillIn(c, 120, 0, 136, 256, [](float x, float y) { return SdSegment(x, y, 128, 250, 128, 6, 3.0f - y / 256.0f); },
         {0.36f, 0.45f, 0.16f, 1});
  for (int i = 0; i < 22; ++i) {
    float y0 = 236 - float(i) * 10.5f;
    float len = 108 * std::sin(kPi * (0.12f + 0.8f * float(i) / 22.0f));
    for (int side = -1; side <= 1; side += 2) {
      float x1 = 128 + side * len, y1 = y0 - 30;
      Rgba g = {0.20f + 0.05f * float(i % 3), 0.52f + 0.02f * float(i % 4), 0.16f, 1};
      FillIn(
          c, std::min(128.0f, x1) - 6, y1 - 6, std::max(128.0f, x1) + 6, y0 + 6,
          [=](float x, float y) {
            return SdSegment(x, y, 128, y0, x1, y1, 4.2f * (1 - 0.6f * std::fabs(x - 128) / len));
          },
          g);
    }
  }
  return c;
}

// A cluster of broad house-plant leaves, transparent around.
Canvas LeafCluster() {
  Canvas c(256, 256);
  Rng r(5);
  for (int i = 0; i < 14; ++i) {
    float a = -kPi * 0.5f + (r.Next() - 0.5f) * 2.4f;
    float len = 70 + 50 * r.Next();
    float bx = 128, by = 250;
    float tx = bx + std::cos(a) * len, ty = by + std::sin(a) * len * 1.6f;
    ty = std::max(ty, 20.0f);
    float mx = (bx + tx) / 2, my = (by + ty) / 2;
    float ang = std::atan2(ty - by, tx - bx), half = std::hypot(tx - bx, ty - by) / 2;
    Rgba g = {0.12f + 0.12f * r.Next(), 0.42f + 0.2f * r.Next(), 0.14f + 0.06f * r.Next(), 1};
    auto leaf = [=](float x, float y) {
      float dx = x - mx, dy = y - my;
      float u = dx * std::cos(ang) + dy * std::sin(ang), v = -dx * std::sin(ang) + dy * std::cos(ang);
      float w = half * 0.38f * std::sqrt(std::max(0.0f, 1 - (u / half) * (u / half)));
      return std::max(std::fabs(v) - w, std::fabs(u) - half);
    };
    FillIn(c, std::min(bx, tx) - half, std::min(by, ty) - half, std::max(bx, tx) + half, std::max(by, ty) + half, leaf,
           g);
    FillIn(
        c, std::min(bx, tx) - 2, std::min(by, ty) - 2, std::max(bx, tx) + 2, std::max(by, ty) + 2,
        [=](float x, float y) { return SdSegment(x, y, bx, by, tx, ty, 0.8f); }, Scale(g, 1.35f));
  }
  return c;
}

Canvas Plain(Rgba base, uint32_t seed, float amount) {
  Canvas c(256, 256);
  c.Shade([=](float x, float y) {
    float n = TileFbm(x / 32.0f, y / 32.0f, 8, seed, 4);
    return Scale(base, 1.0f - amount + amount * 2 * n);
  });
  return c;
}

Canvas Wallpaper() {
  Canvas c(256, 256);
  c.Shade([](float x, float y) {
    float stripe = 0.5f + 0.5f * std::cos(2 * kPi * x / 64.0f);
    float n = TileFbm(x / 32.0f, y / 32.0f, 8, 21, 3);
    Rgba a = {0.93f, 0.84f, 0.70f, 1}, b = {0.86f, 0.74f, 0.60f, 1};
    return Scale(Mix(a, b, std::pow(stripe, 6.0f)), 0.94f + 0.1f * n);
  });
  // Small diamonds between the stripes.
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float cx = 32 + 64 * float(i), cy = 32 + 64 * float(j) + (i % 2) * 32.0f;
      cy = std::fmod(cy, 256.0f);
      FillIn(c, cx - 8, cy - 8, cx + 8, cy + 8,
             [=](float x, float y) { return (std::fabs(x - cx) + std::fabs(y - cy)) * 0.7071f - 4.5f; },
             {0.80f, 0.58f, 0.48f, 0.8f});
    }
  return c;
}

Canvas Fabric() {
  Canvas c(128, 128);
  c.Shade([](float x, float y) {
    float weave = 0.5f + 0.25f * std::sin(x * kPi / 2) * std::sin(y * kPi / 2);
    float n = TileFbm(x / 16.0f, y / 16.0f, 8, 8, 3);
    float k = 0.85f + 0.1f * weave + 0.1f * n;
    return Rgba{k, k, k, 1};
  });
  return c;
}

Canvas Rug() {
  Canvas c(256, 256);
  c.Shade([](float x, float y) {
    float r = std::hypot(x - 128, y - 128) / 128.0f;
    float ring = 0.5f + 0.5f * std::cos(r * kPi * 7);
    float ang = std::atan2(y - 128, x - 128);
    float petals = 0.5f + 0.5f * std::cos(ang * 8);
    Rgba red = {0.62f, 0.20f, 0.18f, 1}, cream = {0.93f, 0.86f, 0.70f, 1}, blue = {0.20f, 0.27f, 0.45f, 1};
    Rgba col = Mix(red, cream, std::pow(ring, 4.0f));
    if (r < 0.35f) col = Mix(blue, cream, std::pow(petals, 3.0f) * Clamp01((0.35f - r) * 8));
    if (r > 0.9f) col = blue;
    return col;
  });
  return c;
}

// Hills and a hedge under a sky, as seen through a window.
Canvas WindowView() {
  Canvas c(256, 256);
  c.Shade([](float x, float y) {
    float t = y / 256.0f;
    Rgba sky = Mix(Rgba{0.40f, 0.62f, 0.92f, 1}, Rgba{0.86f, 0.92f, 0.98f, 1}, t * 1.4f);
    float hill1 = 150 + 18 * std::sin(x / 40.0f) + 8 * std::sin(x / 13.0f + 1);
    float hill2 = 185 + 10 * std::sin(x / 25.0f + 2);
    if (y > hill2) return Scale(Rgba{0.30f, 0.55f, 0.22f, 1}, 0.9f + 0.2f * TileFbm(x / 8, y / 8, 32, 2, 3));
    if (y > hill1) return Rgba{0.48f, 0.68f, 0.40f, 1};
    float n = TileFbm(x / 48.0f, y / 20.0f, 8, 19, 4);
    return Mix(sky, Rgba{1, 1, 1, 1}, Clamp01((n - 0.55f) * 3) * 0.8f);
  });
  return c;
}

Canvas Board(bool white) {
  Canvas c(512, 256);
  c.Shade([white](float x, float y) {
    float n = TileFbm(x / 32.0f, y / 32.0f, 16, 31, 4);
    float smear = TileFbm(x / 90.0f, y / 12.0f, 8, 32, 2);
    if (white) return Scale(Rgba{0.97f, 0.97f, 0.98f, 1}, 0.97f + 0.03f * n);
    Rgba g = {0.14f, 0.30f, 0.22f, 1};
    return Mix(g, Rgba{0.45f, 0.55f, 0.50f, 1}, 0.12f * n + 0.15f * Clamp01(smear - 0.55f) * 2);
  });
  // Chalk on the classroom board, blue marker on the office whiteboard.
  Rgba chalk = white ? Rgba{0.15f, 0.25f, 0.65f, 0.95f} : Rgba{0.93f, 0.95f, 0.92f, 0.9f};
  // A right triangle with its sides, a circle, a sine wave and some scribbled "writing".
  auto seg = [&](float ax, float ay, float bx, float by, float w) {
    FillIn(
        c, std::min(ax, bx) - w - 1, std::min(ay, by) - w - 1, std::max(ax, bx) + w + 1, std::max(ay, by) + w + 1,
        [=](float x, float y) { return SdSegment(x, y, ax, ay, bx, by, w); }, chalk);
  };
  seg(60, 190, 180, 190, 1.6f);
  seg(180, 190, 180, 90, 1.6f);
  seg(180, 90, 60, 190, 1.6f);
  seg(172, 190, 172, 182, 1.0f);
  seg(172, 182, 180, 182, 1.0f);
  FillIn(
      c, 240, 60, 340, 160, [](float x, float y) { return std::fabs(SdCircle(x, y, 290, 110, 44)) - 1.5f; }, chalk);
  seg(290, 110, 331, 94, 1.2f);
  for (int i = 0; i < 40; ++i) {
    float x0 = 360 + float(i) * 3.5f, x1 = x0 + 3.5f;
    seg(x0, 120 - 30 * std::sin(float(i) * 0.35f), x1, 120 - 30 * std::sin(float(i + 1) * 0.35f), 1.3f);
  }
  seg(360, 120, 500, 120, 0.8f);
  Rng r(77);
  for (int line = 0; line < 3; ++line) {
    float x = 40, y = 40 + float(line) * 16;
    while (x < 210 - float(line) * 30) {
      float w = 4 + 7 * r.Next();
      float h = 3 + 4 * r.Next();
      seg(x, y + h, x + w * 0.5f, y - h, 0.9f);
      seg(x + w * 0.5f, y - h, x + w, y + h * 0.6f, 0.9f);
      x += w + (r.Next() < 0.25f ? 9 : 2);
    }
  }
  return c;
}

Canvas Books() {
  Canvas c(256, 256);
  c.Shade([](float, float) { return Rgba{0.32f, 0.22f, 0.14f, 1}; });
  Rng r(3);
  const Rgba spines[] = {{0.62f, 0.16f, 0.14f, 1}, {0.16f, 0.30f, 0.55f, 1}, {0.20f, 0.45f, 0.25f, 1},
                         {0.85f, 0.70f, 0.30f, 1}, {0.45f, 0.25f, 0.45f, 1}, {0.88f, 0.84f, 0.76f, 1}};
  for (int shelf = 0; shelf < 4; ++shelf) {
    float top = float(shelf) * 64 + 8, bottom = float(shelf) * 64 + 58;
    float x = 2;
    while (x < 250) {
      float w = 6 + 9 * r.Next(), h = 30 + 18 * r.Next();
      Rgba col = Scale(spines[int(r.Next() * 6) % 6], 0.8f + 0.3f * r.Next());
      float x0 = x, x1 = std::min(254.0f, x + w), y0 = std::max(top, bottom - h);
      FillIn(
          c, x0, y0, x1, bottom,
          [=](float px, float py) {
            return SdBox(px, py, (x0 + x1) / 2, (y0 + bottom) / 2, (x1 - x0) / 2 - 0.5f, (bottom - y0) / 2, 0.5f);
          },
          col);
      FillIn(
          c, x0, y0 + 6, x1, y0 + 9,
          [=](float px, float py) { return SdBox(px, py, (x0 + x1) / 2, y0 + 7.5f, (x1 - x0) / 2 - 1.5f, 1.0f); },
          Rgba{0.95f, 0.85f, 0.5f, 0.7f});
      x = x1 + 0.5f + (r.Next() < 0.1f ? 10 : 0);
    }
    FillIn(
        c, 0, bottom, 256, bottom + 6, [=](float px, float py) { return SdBox(px, py, 128, bottom + 3, 128, 3); },
        Rgba{0.50f, 0.35f, 0.22f, 1});
  }
  return c;
}

Canvas ClockFace() {
  Canvas c(128, 128);
  c.Fill([](float x, float y) { return SdCircle(x, y, 64, 64, 62); }, Rgba{0.25f, 0.22f, 0.2f, 1});
  c.Fill([](float x, float y) { return SdCircle(x, y, 64, 64, 56); }, Rgba{0.97f, 0.96f, 0.92f, 1});
  for (int i = 0; i < 12; ++i) {
    float a = 2 * kPi * float(i) / 12;
    float l = i % 3 == 0 ? 10.0f : 6.0f;
    float ax = 64 + std::sin(a) * 50, ay = 64 - std::cos(a) * 50;
    float bx = 64 + std::sin(a) * (50 - l), by = 64 - std::cos(a) * (50 - l);
    c.Fill([=](float x, float y) { return SdSegment(x, y, ax, ay, bx, by, i % 3 == 0 ? 2.2f : 1.2f); },
           Rgba{0.15f, 0.15f, 0.15f, 1});
  }
  // The hour and minute hands are painted (ten past ten); the second hand is a moving node.
  c.Fill([](float x, float y) { return SdSegment(x, y, 64, 64, 64 - 24, 64 - 14, 3.0f); }, Rgba{0.1f, 0.1f, 0.1f, 1});
  c.Fill([](float x, float y) { return SdSegment(x, y, 64, 64, 64 + 30, 64 - 26, 2.2f); }, Rgba{0.1f, 0.1f, 0.1f, 1});
  return c;
}

// Towers with lit windows against an evening sky; wraps horizontally.
Canvas City() {
  Canvas c(512, 256);
  c.Shade([](float x, float y) {
    float t = y / 256.0f;
    Rgba top = {0.30f, 0.42f, 0.70f, 1}, low = {0.98f, 0.78f, 0.58f, 1};
    Rgba s = Mix(top, low, std::pow(t, 1.3f));
    float n = TileFbm(x / 64.0f, y / 16.0f, 8, 12, 3);
    return Mix(s, Rgba{1, 0.9f, 0.85f, 1}, Clamp01((n - 0.6f) * 3) * 0.5f * (1 - t));
  });
  Rng r(9);
  float x = 0;
  while (x < 512) {
    float w = 24 + 40 * r.Next(), h = 60 + 150 * r.Next();
    float x0 = x, x1 = std::min(512.0f, x + w), y0 = 256 - h;
    float shade = 0.22f + 0.18f * r.Next();
    Rgba body = {shade * 0.8f, shade * 0.85f, shade * 1.05f, 1};
    FillIn(
        c, x0, y0, x1, 256,
        [=](float px, float py) { return SdBox(px, py, (x0 + x1) / 2, (y0 + 256) / 2, (x1 - x0) / 2, (256 - y0) / 2); },
        body);
    for (float wy = y0 + 6; wy < 250; wy += 9)
      for (float wx = x0 + 4; wx < x1 - 5; wx += 7)
        if (r.Next() < 0.45f)
          FillIn(
              c, wx, wy, wx + 4, wy + 5,
              [=](float px, float py) { return SdBox(px, py, wx + 2, wy + 2.5f, 1.6f, 2.2f); },
              Rgba{1.0f, 0.88f, 0.55f, 0.9f});
    x = x1 + 2 * r.Next();
  }
  return c;
}

Canvas Screen() {
  Canvas c(128, 128);
  c.Shade([](float, float y) { return Mix(Rgba{0.16f, 0.30f, 0.52f, 1}, Rgba{0.10f, 0.18f, 0.36f, 1}, y / 128.0f); });
  const float bars[] = {30, 52, 41, 70, 62, 85};
  for (int i = 0; i < 6; ++i) {
    float x0 = 14 + float(i) * 17, h = bars[i];
    FillIn(
        c, x0, 110 - h, x0 + 11, 110,
        [=](float x, float y) { return SdBox(x, y, x0 + 5.5f, 110 - h / 2, 5.5f, h / 2, 1); },
        Rgba{0.45f + 0.08f * float(i), 0.85f, 0.95f - 0.06f * float(i), 1});
  }
  FillIn(
      c, 10, 10, 118, 22, [](float x, float y) { return SdBox(x, y, 64, 16, 54, 4, 2); },
      Rgba{0.9f, 0.9f, 0.95f, 0.8f});
  return c;
}

Canvas Bark() {
  Canvas c(128, 128);
  c.Shade([](float x, float y) {
    float ring = 0.5f + 0.5f * std::sin(y / 128.0f * 2 * kPi * 8 + 2 * TileNoise(x / 16, y / 16, 8, 4));
    float n = TileFbm(x / 16.0f, y / 16.0f, 8, 6, 3);
    float k = 0.7f + 0.2f * n - 0.2f * std::pow(ring, 8.0f);
    return Rgba{0.55f * k, 0.42f * k, 0.30f * k, 1};
  });
  return c;
}

Canvas Hedge() {
  Canvas c(256, 256);
  c.Shade([](float x, float y) {
    float n = TileFbm(x / 16.0f, y / 16.0f, 16, 51, 4);
    float k = 0.55f + 0.6f * n;
    return Rgba{0.20f * k, 0.46f * k, 0.18f * k, 1};
  });
  return c;
}

Canvas Glow() {
  Canvas c(64, 64);
  c.Shade([](float x, float y) {
    float r = Clamp01(std::hypot(x - 32, y - 32) / 40.0f);
    return Mix(Rgba{1.0f, 0.97f, 0.86f, 1}, Rgba{0.98f, 0.80f, 0.55f, 1}, r);
  });
  return c;
}

Canvas Glass() {
  Canvas c(128, 128);
  c.Shade([](float x, float y) {
    float streak = 0.5f + 0.5f * std::sin((x + y) / 128.0f * 2 * kPi * 2);
    return Rgba{0.80f, 0.90f, 0.95f, 0.22f + 0.12f * std::pow(streak, 8.0f)};
  });
  return c;
}

// A world map of soft blobs on blue, for the classroom wall.
Canvas Poster() {
  Canvas c(256, 128);
  c.Shade([](float x, float y) {
    float n = TileFbm(x / 40.0f, y / 40.0f, 8, 61, 4);
    float frame = std::min(std::min(x, 256 - x), std::min(y, 128 - y));
    if (frame < 5) return Rgba{0.92f, 0.90f, 0.84f, 1};
    Rgba sea = {0.40f, 0.62f, 0.85f, 1}, land = {0.58f, 0.74f, 0.38f, 1};
    return n > 0.55f ? Scale(land, 0.9f + 0.4f * (n - 0.55f)) : sea;
  });
  return c;
}

const std::map<std::string, std::function<Canvas()>>& Painters() {
  static const std::map<std::string, std::function<Canvas()>> p = {
      {"wood_planks.png", WoodPlanks},
      {"deck_tiles.png",
       [] {
         return StoneTiles({0.93f, 0.88f, 0.78f, 1}, {0.70f, 0.66f, 0.60f, 1}, 4, 1, 0.15f);
       }},
      {"pool_tiles.png",
       [] {
         return StoneTiles({0.35f, 0.70f, 0.85f, 1}, {0.85f, 0.93f, 0.96f, 1}, 16, 2, 0.1f);
       }},
      {"floor_lino.png",
       [] {
         return StoneTiles({0.80f, 0.78f, 0.72f, 1}, {0.62f, 0.60f, 0.56f, 1}, 2, 4, 0.2f);
       }},
      {"water.png", Water},
      {"sky_day.png", [] { return Sky(true); }},
      {"cloud.png", Cloud},
      {"palm_frond.png", Frond},
      {"leaves.png", LeafCluster},
      {"plaster.png",
       [] {
         return Plain({0.92f, 0.91f, 0.88f, 1}, 13, 0.08f);
       }},
      {"carpet.png",
       [] {
         return Plain({0.56f, 0.54f, 0.52f, 1}, 17, 0.10f);
       }},
      {"wallpaper.png", Wallpaper},
      {"fabric.png", Fabric},
      {"rug.png", Rug},
      {"window_view.png", WindowView},
      {"chalkboard.png", [] { return Board(false); }},
      {"whiteboard.png", [] { return Board(true); }},
      {"books.png", Books},
      {"clock_face.png", ClockFace},
      {"city.png", City},
      {"screen.png", Screen},
      {"bark.png", Bark},
      {"hedge.png", Hedge},
      {"glow.png", Glow},
      {"glass.png", Glass},
      {"poster.png", Poster},
  };
  return p;
}

}  // namespace

std::vector<std::string> TextureNames() {
  std::vector<std::string> names;
  for (const auto& kv : Painters()) names.push_back(kv.first);
  return names;
}

bool PaintTexture(const std::string& dir, const std::string& baseName) {
  auto it = Painters().find(baseName);
  if (it == Painters().end()) {
    std::fprintf(stderr, "worldgen: no painter for texture %s\n", baseName.c_str());
    return false;
  }
  Canvas c = it->second();
  return WriteCanvasPng(BundleOutPath(dir, baseName), c);
}
