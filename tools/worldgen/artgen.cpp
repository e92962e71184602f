// Build-time generator of the bundle's flat pictures: the environment light
// "round.png", the loading picture and the main screen's button icons, each
// icon at 1x and 2x ("name.png", "name@2x.png").
//
// Everything is drawn in a design space of points and scaled, with analytic
// anti-aliasing, so the 2x icons are redrawn, not enlarged.
#include <algorithm>
#include <cmath>
#include <string>

#include "bundle_out.h"
#include "canvas.h"
#include "generators.h"

namespace {

const float kPi = 3.14159265f;
const float kIcon = 44.0f;  // icon edge in points

bool Save(const std::string& dir, const std::string& name, const Canvas& c) {
  return WriteCanvasPng(BundleOutPath(dir, name), c);
}

// The environment light: bright and warm in the middle, falling off softly to
// a dim rim, as a key light from the front would look on a sphere.
bool WriteRoundLight(const std::string& dir) {
  constexpr int n = 256;
  Canvas c(n, n);
  c.Shade([](float x, float y) {
    float u = (x / n) * 2 - 1, v = (y / n) * 2 - 1;
    float r = std::min(1.0f, std::sqrt(u * u + v * v));
    float k = 0.35f + 0.65f * std::pow(std::cos(r * kPi * 0.5f), 1.5f);
    return Rgba{k, k * 0.97f, k * 0.92f, 1.0f};
  });
  return Save(dir, "round.png", c);
}

// One glyph: a union of distance functions in icon points (0..44), origin top left.
using Glyph = std::function<float(float, float)>;

float Union(float a, float b) { return std::min(a, b); }
float Cut(float a, float b) { return std::max(a, -b); }

float Arrow(float x, float y, float ax, float ay, float bx, float by, float w, float head) {
  float dx = bx - ax, dy = by - ay, len = std::hypot(dx, dy);
  float ux = dx / len, uy = dy / len;
  float d = SdSegment(x, y, ax, ay, bx - ux * head * 0.6f, by - uy * head * 0.6f, w);
  std::vector<float> tri = {bx,
                            by,
                            bx - ux * head - uy * head * 0.7f,
                            by - uy * head + ux * head * 0.7f,
                            bx - ux * head + uy * head * 0.7f,
                            by - uy * head - ux * head * 0.7f};
  return Union(d, SdPolygon(x, y, tri));
}

Glyph GlyphOptions() {  // three bars
  return [](float x, float y) {
    float d = SdBox(x, y, 22, 14, 10, 2, 2);
    d = Union(d, SdBox(x, y, 22, 22, 10, 2, 2));
    return Union(d, SdBox(x, y, 22, 30, 10, 2, 2));
  };
}
Glyph GlyphBack() {  // chevron pointing left
  return [](float x, float y) {
    return Union(SdSegment(x, y, 26, 12, 16, 22, 2.4f), SdSegment(x, y, 16, 22, 26, 32, 2.4f));
  };
}
Glyph GlyphDance() {  // two beamed notes
  return [](float x, float y) {
    float d = SdCircle(x, y, 14, 31, 4.2f);
    d = Union(d, SdCircle(x, y, 29, 28, 4.2f));
    d = Union(d, SdBox(x, y, 17.2f, 21, 1.2f, 10, 0));
    d = Union(d, SdBox(x, y, 32.2f, 18, 1.2f, 10, 0));
    std::vector<float> beam = {16, 10, 33.4f, 7, 33.4f, 12, 16, 15};
    return Union(d, SdPolygon(x, y, beam));
  };
}
Glyph GlyphDanceStop() {  // rounded square, as on a player
  return [](float x, float y) { return SdBox(x, y, 22, 22, 8, 8, 2); };
}
Glyph GlyphReset() {  // open circular arrow around a dot: back to the start view
  return [](float x, float y) {
    const float r = 10, w = 2.2f, gap0 = -1.35f, gap1 = -0.35f;  // gap at the upper right
    float ang = std::atan2(y - 22, x - 22);
    float ring;
    if (ang > gap0 && ang < gap1) {  // in the gap: distance to the nearer arc end
      float e0 = std::hypot(x - (22 + r * std::cos(gap0)), y - (22 + r * std::sin(gap0)));
      float e1 = std::hypot(x - (22 + r * std::cos(gap1)), y - (22 + r * std::sin(gap1)));
      ring = std::min(e0, e1) - w;
    } else {
      ring = std::fabs(std::hypot(x - 22, y - 22) - r) - w;
    }
    // Arrow head at the upper end of the arc, pointing along the turn.
    float hx = 22 + r * std::cos(gap0), hy = 22 + r * std::sin(gap0);
    float tx = -std::sin(gap0), ty = std::cos(gap0);  // tangent, direction of travel
    float nx = std::cos(gap0), ny = std::sin(gap0);
    std::vector<float> head = {hx + nx * 5.5f, hy + ny * 5.5f, hx - nx * 5.5f,
                               hy - ny * 5.5f, hx + tx * 6.5f, hy + ty * 6.5f};
    float d = Union(ring, SdPolygon(x, y, head));
    return Union(d, SdCircle(x, y, 22, 22, 2.6f));
  };
}
Glyph GlyphSettings() {  // cog
  return [](float x, float y) {
    float r = std::hypot(x - 22, y - 22), a = std::atan2(y - 22, x - 22);
    float seg = 2 * kPi / 8;
    float local = std::fmod(a + kPi + seg * 0.5f, seg) - seg * 0.5f;  // angle to nearest tooth
    float tx = r * std::cos(local), ty = r * std::sin(local);
    float tooth = SdBox(tx, ty, 12.5f, 0, 3.2f, 2.6f, 0.8f);
    float body = SdCircle(x, y, 22, 22, 10.5f);
    return Cut(Union(body, tooth), SdCircle(x, y, 22, 22, 4.2f));
  };
}
Glyph GlyphShake(int axis) {  // double arrow along one axis, the axis letter's direction
  return [axis](float x, float y) {
    if (axis == 0) return Union(Arrow(x, y, 22, 22, 35, 22, 1.8f, 7), Arrow(x, y, 22, 22, 9, 22, 1.8f, 7));
    if (axis == 1) return Union(Arrow(x, y, 22, 22, 22, 9, 1.8f, 7), Arrow(x, y, 22, 22, 22, 35, 1.8f, 7));
    return Union(Arrow(x, y, 22, 22, 32, 12, 1.8f, 7), Arrow(x, y, 22, 22, 12, 32, 1.8f, 7));
  };
}
Glyph GlyphCull() {  // a cube drawn as outline, its hidden back edges left out
  return [](float x, float y) {
    const float w = 1.5f;
    float d = SdSegment(x, y, 12, 17, 26, 17, w);
    d = Union(d, SdSegment(x, y, 26, 17, 26, 32, w));
    d = Union(d, SdSegment(x, y, 26, 32, 12, 32, w));
    d = Union(d, SdSegment(x, y, 12, 32, 12, 17, w));
    d = Union(d, SdSegment(x, y, 12, 17, 18, 11, w));
    d = Union(d, SdSegment(x, y, 18, 11, 32, 11, w));
    d = Union(d, SdSegment(x, y, 32, 11, 26, 17, w));
    d = Union(d, SdSegment(x, y, 32, 11, 32, 26, w));
    return Union(d, SdSegment(x, y, 32, 26, 26, 32, w));
  };
}

// A button: a translucent dark disc with a light rim and the glyph in white.
Canvas DrawIcon(const Glyph& glyph, float scale, Rgba accent) {
  int n = int(std::lround(kIcon * scale));
  Canvas c(n, n);
  float m = kIcon * 0.5f * scale;
  c.Fill([=](float x, float y) { return SdCircle(x, y, m, m, 20.5f * scale); },
         [=](float, float y) {
           float t = y / float(n);
           return Rgba{0.10f + 0.08f * (1 - t), 0.11f + 0.08f * (1 - t), 0.18f + 0.1f * (1 - t), 0.62f};
         });
  c.Fill([=](float x, float y) { return std::fabs(SdCircle(x, y, m, m, 20.0f * scale)) - 0.75f * scale; },
         Rgba{accent.r, accent.g, accent.b, 0.85f});
  c.Fill([=](float x, float y) { return glyph(x / scale, y / scale) * scale; }, Rgba{1, 1, 1, 0.96f});
  return c;
}

bool WriteIcons(const std::string& dir) {
  struct Item {
    const char* name;
    Glyph glyph;
  };
  const Item items[] = {
      {"button_options", GlyphOptions()}, {"button_back", GlyphBack()},
      {"button_dance", GlyphDance()},     {"button_dance_stop", GlyphDanceStop()},
      {"button_reset", GlyphReset()},     {"button_settings", GlyphSettings()},
      {"button_shake_x", GlyphShake(0)},  {"button_shake_y", GlyphShake(1)},
      {"button_shake_z", GlyphShake(2)},  {"button_cull", GlyphCull()},
  };
  const Rgba accent = {1.0f, 0.62f, 0.78f, 1};
  for (const Item& it : items) {
    if (!Save(dir, std::string(it.name) + ".png", DrawIcon(it.glyph, 1, accent))) return false;
    if (!Save(dir, std::string(it.name) + "@2x.png", DrawIcon(it.glyph, 2, accent))) return false;
  }
  return true;
}

// The loading picture: a calm dusk gradient with a soft glow, a heart and a
// ring of dots that suggests progress without needing to move.
Canvas DrawLoading(float s) {
  int w = int(320 * s), h = int(480 * s);
  Canvas c(w, h);
  c.Shade([=](float x, float y) {
    float t = y / float(h);
    Rgba top = {0.16f, 0.17f, 0.33f, 1}, bottom = {0.42f, 0.25f, 0.42f, 1};
    Rgba base = Mix(top, bottom, t);
    float g = std::exp(-std::pow(std::hypot(x / s - 160, y / s - 220) / 150.0f, 2.0f));
    return Mix(base, Rgba{0.98f, 0.78f, 0.86f, 1}, 0.35f * g);
  });
  auto heart = [s](float x, float y) {
    float u = x / s - 160, v = y / s - 214;
    float lobes = Union(SdCircle(u, v, -13, -8, 16), SdCircle(u, v, 13, -8, 16));
    std::vector<float> tip = {-27.5f, -2, 27.5f, -2, 0, 27};
    return Union(lobes, SdPolygon(u, v, tip)) * s;
  };
  c.Fill(heart, Rgba{1.0f, 0.55f, 0.70f, 0.95f});
  for (int i = 0; i < 12; ++i) {
    float a = 2 * kPi * float(i) / 12 - kPi / 2;
    float cx = (160 + 70 * std::cos(a)) * s, cy = (214 + 70 * std::sin(a)) * s;
    float alpha = 0.25f + 0.7f * float(i) / 11;
    c.Fill([=](float x, float y) { return SdCircle(x, y, cx, cy, 4.5f * s); }, Rgba{1, 1, 1, alpha});
  }
  return c;
}

}  // namespace

bool GenerateArt(const std::string& dir) {
  return WriteRoundLight(dir) && WriteIcons(dir) && Save(dir, "loading.png", DrawLoading(1)) &&
         Save(dir, "loading@2x.png", DrawLoading(2));
}
