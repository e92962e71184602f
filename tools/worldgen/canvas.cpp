#include "canvas.h"

#include "picture/picture_file.h"

#include <algorithm>
#include <cmath>

void Canvas::Blend(int x, int y, Rgba c, float cov) {
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  float a = std::clamp(c.a * cov, 0.0f, 1.0f);
  if (a <= 0) return;
  Rgba& d = at(x, y);
  float outA = a + d.a * (1 - a);
  if (outA <= 0) return;
  d.r = (c.r * a + d.r * d.a * (1 - a)) / outA;
  d.g = (c.g * a + d.g * d.a * (1 - a)) / outA;
  d.b = (c.b * a + d.b * d.a * (1 - a)) / outA;
  d.a = outA;
}

void Canvas::Fill(const std::function<float(float, float)>& sd, const std::function<Rgba(float, float)>& color) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
      float cov = std::clamp(0.5f - sd(fx, fy), 0.0f, 1.0f);
      if (cov > 0) Blend(x, y, color(fx, fy), cov);
    }
}

void Canvas::Fill(const std::function<float(float, float)>& sd, Rgba color) {
  Fill(sd, [color](float, float) { return color; });
}

void Canvas::Shade(const std::function<Rgba(float, float)>& f) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) at(x, y) = f(float(x) + 0.5f, float(y) + 0.5f);
}

std::vector<uint8_t> Canvas::Bytes() const {
  std::vector<uint8_t> out(px.size() * 4);
  auto q = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
  for (size_t i = 0; i < px.size(); ++i) {
    out[i * 4 + 0] = q(px[i].r);
    out[i * 4 + 1] = q(px[i].g);
    out[i * 4 + 2] = q(px[i].b);
    out[i * 4 + 3] = q(px[i].a);
  }
  return out;
}

float SdCircle(float x, float y, float cx, float cy, float r) { return std::hypot(x - cx, y - cy) - r; }

float SdBox(float x, float y, float cx, float cy, float hx, float hy, float radius) {
  float qx = std::fabs(x - cx) - (hx - radius), qy = std::fabs(y - cy) - (hy - radius);
  float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
  return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

float SdSegment(float x, float y, float ax, float ay, float bx, float by, float halfWidth) {
  float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
  float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0.0f;
  return std::hypot(px - dx * t, py - dy * t) - halfWidth;
}

float SdPolygon(float x, float y, const std::vector<float>& pts) {
  size_t n = pts.size() / 2;
  float best = 1e30f;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    float xi = pts[2 * i], yi = pts[2 * i + 1], xj = pts[2 * j], yj = pts[2 * j + 1];
    best = std::min(best, SdSegment(x, y, xi, yi, xj, yj, 0));
    if (((yi > y) != (yj > y)) && (x < (xj - xi) * (y - yi) / (yj - yi) + xi)) inside = !inside;
  }
  return inside ? -best : best;
}

namespace {
float Hash(int x, int y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return float(h & 0xffffff) / float(0x1000000);
}
float Smooth(float t) { return t * t * (3 - 2 * t); }
}  // namespace

float TileNoise(float x, float y, int period, uint32_t seed) {
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  float fx = Smooth(x - float(x0)), fy = Smooth(y - float(y0));
  auto wrap = [period](int v) { return ((v % period) + period) % period; };
  float a = Hash(wrap(x0), wrap(y0), seed), b = Hash(wrap(x0 + 1), wrap(y0), seed);
  float c = Hash(wrap(x0), wrap(y0 + 1), seed), d = Hash(wrap(x0 + 1), wrap(y0 + 1), seed);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

float TileFbm(float x, float y, int period, uint32_t seed, int octaves) {
  float sum = 0, amp = 0.5f, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * TileNoise(x, y, period, seed + uint32_t(o) * 17u);
    norm += amp;
    x *= 2;
    y *= 2;
    period *= 2;
    amp *= 0.5f;
  }
  return sum / norm;
}

bool WriteCanvasPng(const std::string& path, const Canvas& c) {
  PngFormat format;
  format.compression = 9;
  format.throughTemporary = true;
  const std::vector<uint8_t> rgba = c.Bytes();
  return WritePng(path, c.w, c.h, rgba.data(), format);
}
