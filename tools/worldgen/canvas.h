// A small float RGBA canvas with analytically anti-aliased shapes, for the
// pictures the generators draw (textures, the environment light, the
// interface artwork).
//
// Shapes are signed distance functions (negative inside) in pixel units;
// Fill turns a distance into coverage over one pixel, so edges are smooth at
// any scale without supersampling. Colours are straight alpha while painting
// and converted to 8-bit on output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
  float r, g, b, a;
};

inline Rgba Mix(Rgba x, Rgba y, float t) {
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

struct Canvas {
  int w = 0, h = 0;
  std::vector<Rgba> px;
  Canvas(int width, int height, Rgba fill = {0, 0, 0, 0})
      : w(width), h(height), px(size_t(width) * size_t(height), fill) {}
  Rgba& at(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
  const Rgba& at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
  // Source-over of `c` with extra coverage `cov` (0..1).
  void Blend(int x, int y, Rgba c, float cov);
  // Paints every pixel whose centre distance sd(x, y) (pixel units) is inside,
  // with one pixel of anti-aliasing; `color` may vary per pixel.
  void Fill(const std::function<float(float, float)>& sd, const std::function<Rgba(float, float)>& color);
  void Fill(const std::function<float(float, float)>& sd, Rgba color);
  // Sets every pixel from a function of its centre.
  void Shade(const std::function<Rgba(float, float)>& f);
  // 8-bit straight-alpha bytes, top row first.
  std::vector<uint8_t> Bytes() const;
};

// Distance functions (pixel units; negative inside).
float SdCircle(float x, float y, float cx, float cy, float r);
float SdBox(float x, float y, float cx, float cy, float hx, float hy, float radius = 0);
float SdSegment(float x, float y, float ax, float ay, float bx, float by, float halfWidth);
// Convex or concave polygon (even-odd), `pts` as x0, y0, x1, y1, ...
float SdPolygon(float x, float y, const std::vector<float>& pts);

// Deterministic value noise in [0, 1), tileable with period `period` cells.
float TileNoise(float x, float y, int period, uint32_t seed);
// Sum of octaves of TileNoise, still tileable.
float TileFbm(float x, float y, int period, uint32_t seed, int octaves);

// Writes the canvas as the generators store every picture: 8-bit RGBA, zlib
// level 9, through a temporary file. False (with a message) on failure.
bool WriteCanvasPng(const std::string& path, const Canvas& c);
