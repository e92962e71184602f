// The shared texture layout and the painting of every picture and mask.
//
// Each texel is traced back to its chart (region, angle around the chart's
// axis, position along it) and coloured by functions of those coordinates,
// with 3 x 3 supersampling so edges of eyes, trims and stripes stay clean.
// The skin picture carries the face; the hair and outfit pictures only need
// to be right where their masks are white, but are painted everywhere so that
// mipmaps do not pull in stray colours.
#include <algorithm>
#include <cstring>

#include "girlgen.h"

namespace girlgen {

// Rectangles sit 4 pixels apart so mipmap levels down to 1/4 do not mix charts.
const AtlasRect kAtlas[kRegionCount] = {
    {4, 4, 632, 312},      // head
    {4, 324, 504, 392},    // torso
    {4, 724, 104, 296},    // arm L
    {116, 724, 104, 296},  // arm R
    {516, 324, 152, 392},  // leg L
    {676, 324, 152, 392},  // leg R
    {228, 724, 120, 120},  // hand L
    {356, 724, 120, 120},  // hand R
    {228, 852, 120, 120},  // foot L
    {356, 852, 120, 120},  // foot R
    {644, 4, 376, 312},    // hair cap
    {836, 324, 88, 392},   // tail L
    {932, 324, 88, 392},   // tail R
};

const AtlasRect kFaceAtlas[kFacePartCount] = {
    {488, 728, 128, 128},  // eyeball
    {624, 728, 128, 128},  // lid
    {760, 728, 96, 96},    // inside of the mouth
};

void FacePartTexCoords(int part, float x, float y, float& u, float& v) {
  const AtlasRect& a = kFaceAtlas[part];
  x = Clamp(x, -1.0f, 1.0f);
  y = Clamp(y, -1.0f, 1.0f);
  u = (a.x + (0.5f + 0.5f * x) * a.w) / kTexSize;
  v = 1.0f - (a.y + (0.5f - 0.5f * y) * a.h) / kTexSize;  // stored flipped, as the charts are
}

namespace {

constexpr float kPi = 3.14159265358979f;
// The head chart spends more texels on the face than on the back of the head.
constexpr float kHeadWarp = 0.55f;

float Warp(float u) {
  const float th = 2 * kPi * (u - 0.5f);
  return 0.5f + (th + kHeadWarp * std::sin(th)) / (2 * kPi);
}
float Unwarp(float w) {
  const float target = 2 * kPi * (w - 0.5f);
  float th = target;
  for (int i = 0; i < 8; ++i) th -= (th + kHeadWarp * std::sin(th) - target) / (1 + kHeadWarp * std::cos(th));
  return 0.5f + th / (2 * kPi);
}

struct RGB {
  float r, g, b;
};
RGB Lerp(RGB a, RGB b, float t) { return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)}; }
RGB Mul(RGB a, float s) { return {a.r * s, a.g * s, a.b * s}; }
RGB Hex(uint32_t h) { return {((h >> 16) & 255) / 255.0f, ((h >> 8) & 255) / 255.0f, (h & 255) / 255.0f}; }

// A cheap deterministic hash noise for fibres and skin grain.
float Hash(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xffff) / 65535.0f;
}
float ValueNoise(float x, float y) {
  const int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
  const float fx = x - xi, fy = y - yi;
  const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  return Mix(Mix(Hash(xi, yi), Hash(xi + 1, yi), sx), Mix(Hash(xi, yi + 1), Hash(xi + 1, yi + 1), sx), sy);
}

// Texel -> chart coordinates. Returns the region or -1 outside every rectangle.
int ImageToRegion(float px, float py, float& u, float& t) {
  for (int r = 0; r < kRegionCount; ++r) {
    const AtlasRect& a = kAtlas[r];
    if (px < a.x - 2 || px >= a.x + a.w + 2 || py < a.y - 2 || py >= a.y + a.h + 2) continue;
    float fu = (px - a.x) / a.w * (1 + 2 * kUMargin) - kUMargin;
    if (r == kRegHead) fu = Unwarp(fu);
    u = fu;
    t = (1.0f - (py - a.y) / a.h) * (1 + 2 * kTMargin) - kTMargin;
    return r;
  }
  return -1;
}

// ---- Skin and face ------------------------------------------------------------

struct Tone {
  RGB skin, iris, irisDark;
};
const Tone kTones[4] = {
    {Hex(0xFCE0CF), Hex(0x3E7FC4), Hex(0x1C3B78)},  // fair, blue eyes
    {Hex(0xF3D7B6), Hex(0x7A4A2A), Hex(0x3A2012)},  // light golden, brown eyes
    {Hex(0xD9A77E), Hex(0x5E8A3A), Hex(0x2C4418)},  // tan, green eyes
    {Hex(0x8E5C3E), Hex(0x6A3F22), Hex(0x2A170C)},  // deep brown, dark eyes
};

float Ellipse(float x, float y, float cx, float cy, float rx, float ry) {
  const float dx = (x - cx) / rx, dy = (y - cy) / ry;
  return dx * dx + dy * dy;
}
// Coverage of a soft-edged disc/ellipse (1 inside, 0 outside).
float Inside(float e, float soft = 0.08f) { return 1.0f - Smooth(1.0f - soft, 1.0f + soft, e); }

}  // namespace

float UpperLidLine(float a) { return 4.2f - 0.065f * a * a - 0.06f * a; }
bool InEyeOpening(float a, float b) { return Ellipse(a, b, 0, 0, 5.3f, 5.6f) < 1.0f && b < UpperLidLine(a); }
float LipLine(float X) { return 311.4f + 0.045f * X * X; }

namespace {

RGB Face(const Tone& tone, float X, float Y) {
  RGB c = tone.skin;
  const float ax = std::fabs(X);
  // Blush.
  c = Lerp(c, Lerp(tone.skin, Hex(0xF08A8A), 0.6f), 0.28f * Inside(Ellipse(ax, Y, 11.5f, 316.5f, 4.2f, 2.4f), 0.6f));
  // Nose hint: a small shadow under the tip.
  c = Lerp(c, Mul(tone.skin, 0.78f), 0.5f * Inside(Ellipse(X, Y, 0.4f, 318.6f, 1.5f, 0.55f), 0.5f));
  c = Lerp(c, Lerp(tone.skin, Hex(0xFFFFFF), 0.35f), 0.5f * Inside(Ellipse(X, Y, -0.3f, 321.2f, 0.6f, 1.2f), 0.5f));
  // Lips.
  const float lower = Inside(Ellipse(X, Y, 0, 310.3f, 3.1f, 1.2f), 0.3f);
  c = Lerp(c, Lerp(tone.skin, Hex(0xE0707A), 0.65f), lower * 0.8f);
  const float mouthLine = std::fabs(Y - LipLine(X)) < 0.3f && ax < 4.0f ? 1.0f : 0.0f;
  c = Lerp(c, Hex(0x8A3A3E), mouthLine * (1.0f - Smooth(2.9f, 4.0f, ax)));
  // Brows.
  const float bx = ax - 9.3f;
  const float browY = 332.4f + 0.9f - 0.045f * bx * bx * 1.0f + 0.05f * bx;
  const float browW = 0.55f * (1.0f - Smooth(2.0f, 4.8f, std::fabs(bx)));
  if (std::fabs(Y - browY) < browW && std::fabs(bx) < 4.8f) c = Lerp(c, Hex(0x5A3A2A), 0.9f);
  // Eyes.
  const float ex = ax - kEyeX, ey = Y - kEyeY;
  const float eyeE = Ellipse(ex, ey, 0, 0, 5.3f, 5.6f);
  const float upperLid = UpperLidLine(ex);  // the top of the eye opening, soft at the outer end
  if (eyeE < 1.25f || (ey < upperLid + 1.4f && std::fabs(ex) < 6.6f && ey > -5.6f)) {
    // The eye itself is the face rig's eyeball behind an opening of this
    // shape (girlgen_face); the face around it keeps only the lashes.
    // Upper lash line, heavier at the outer corner with a flick.
    const float lashT = 0.55f + 0.35f * Smooth(0.0f, 5.0f, ex);
    if (ey >= upperLid - 0.15f && ey < upperLid + lashT && std::fabs(ex) < 5.6f) c = Hex(0x1E1416);
    if (ex > 4.0f && ex < 6.2f && std::fabs(ey - (upperLid + 0.4f + 0.15f * (ex - 4.0f))) < 0.35f) c = Hex(0x1E1416);
    // Lower lash, thin.
    const float lowerLid = -4.9f + 0.04f * ex * ex;
    if (std::fabs(ey - lowerLid) < 0.22f && ex > -1.0f && ex < 4.5f) c = Lerp(c, Hex(0x4A3030), 0.7f);
  }
  return c;
}

// The face parts, in their own coordinates (x, y in -1..1, y up).
RGB Eyeball(const Tone& tone, float x, float y) {
  const float ex = x * 10.0f, ey = y * 10.0f;  // model units from the middle of the eye
  RGB e = Lerp(Hex(0xF7F7FB), Hex(0xD4D4E0), Smooth(4.5f, 8.0f, std::sqrt(ex * ex + ey * ey)));
  const float ir = std::sqrt((ex + 0.1f) * (ex + 0.1f) + (ey + 0.2f) * (ey + 0.2f) * 0.75f);
  if (ir < 4.4f) {
    const float k = Clamp((ey + 3.5f) / 7.0f, 0.0f, 1.0f);
    RGB iris = Lerp(tone.iris, tone.irisDark, k * 0.9f);
    iris = Lerp(iris, Mul(tone.iris, 1.35f), 0.5f * Smooth(-1.0f, -3.6f, ey));
    iris = Lerp(iris, Mul(tone.irisDark, 0.7f), Smooth(3.4f, 4.15f, ir));
    e = Lerp(e, iris, 1.0f - Smooth(4.05f, 4.3f, ir));
    e = Lerp(e, Hex(0x111018), Inside(Ellipse(ex, ey, -0.1f, 0.0f, 1.7f, 2.1f), 0.15f));
  }
  // Highlights, where the light is (the same side for both eyes).
  e = Lerp(e, Hex(0xFFFFFF), Inside(Ellipse(ex, ey, -1.3f, 1.5f, 1.05f, 1.05f), 0.2f));
  e = Lerp(e, Hex(0xFFFFFF), 0.85f * Inside(Ellipse(ex, ey, 1.3f, -1.6f, 0.55f, 0.55f), 0.25f));
  return e;
}

RGB Lid(const Tone& tone, float y) {
  // Skin, a little shaded towards the edge that comes down over the eye;
  // the lashes stay on the face above it.
  const float along = (y + 1.0f) * 6.5f;  // model units up from the lid's edge
  return Mul(tone.skin, 0.95f + 0.05f * Smooth(0.0f, 1.5f, along));
}

RGB MouthInside(float x, float y) {
  // y runs from the jaw's edge of the inside (-1) to above the lip line (1);
  // s is model units from the lip line, as the mouth patch places it.
  const float s = -0.9f + (y + 1.0f) * 1.05f;
  RGB c = Lerp(Hex(0x4A1418), Hex(0x240A0D), 1.0f - std::fabs(x));
  if (s > 0.05f && s < 0.6f && std::fabs(x) < 0.75f) c = Hex(0xEDE8E2);                             // the upper teeth
  c = Lerp(c, Hex(0xB04854), Smooth(-0.3f, -0.7f, s) * (1.0f - Smooth(0.5f, 0.9f, std::fabs(x))));  // the tongue
  return c;
}

RGB FacePartColour(const Tone& tone, int part, float x, float y) {
  switch (part) {
    case kFaceEyeball:
      return Eyeball(tone, x, y);
    case kFaceLid:
      return Lid(tone, y);
    default:
      return MouthInside(x, y);
  }
}

// The face part under a texel and its coordinates, or -1.
int ImageToFacePart(float px, float py, float& x, float& y) {
  for (int p = 0; p < kFacePartCount; ++p) {
    const AtlasRect& a = kFaceAtlas[p];
    if (px < a.x - 2 || px >= a.x + a.w + 2 || py < a.y - 2 || py >= a.y + a.h + 2) continue;
    x = Clamp(2.0f * (px - a.x) / a.w - 1.0f, -1.0f, 1.0f);
    y = Clamp(1.0f - 2.0f * (py - a.y) / a.h, -1.0f, 1.0f);
    return p;
  }
  return -1;
}

RGB Skin(const Tone& tone, int region, float u, float t) {
  RGB c = tone.skin;
  const float grain = ValueNoise(u * 90.0f, t * 60.0f);
  c = Mul(c, 0.985f + 0.03f * grain);
  if (region == kRegHead) {
    const float a = 2 * kPi * (u - 0.5f);
    const float X = a * 23.0f, Y = 298.0f + t * 68.0f;
    if (std::fabs(X) < 20.0f) c = Face(tone, X, Y);
  } else if (region == kRegHandL || region == kRegHandR) {
    // The fingers stand apart in the surface itself, so nothing is painted
    // between them. Facing the back of the hand:
    const float ca = std::cos(2 * kPi * (u - 0.5f));
    // Knuckles a touch darker, nails a touch pink on the back of the hand.
    c = Mul(c, 1.0f - 0.06f * std::exp(-std::pow((t - 0.56f) / 0.02f, 2.0f)) * std::max(0.0f, ca));
    if (ca > 0.3f && t > 0.82f && t < 0.87f) c = Lerp(c, Hex(0xF4C0C0), 0.3f);
  }
  return c;
}

// ---- Hair ------------------------------------------------------------------------

struct HairTone {
  RGB base, dark, shine;
};
const HairTone kHairTones[4] = {
    {Hex(0xE8C77A), Hex(0xB88A45), Hex(0xF8E4A8)},  // blonde
    {Hex(0x7A4A2C), Hex(0x4A2A18), Hex(0xC89468)},  // brown
    {Hex(0x2A2630), Hex(0x121016), Hex(0x6A6F8A)},  // black
    {Hex(0xB8452A), Hex(0x7A2414), Hex(0xF08A5A)},  // red
};

// Hair shading as a lightness in [0, 1.3]: fibres, a ring of shine, darker roots and tips.
float HairLight(int region, float u, float t) {
  const float fibre = 0.5f * ValueNoise(u * 140.0f, t * 6.0f) + 0.5f * ValueNoise(u * 61.0f, t * 3.0f);
  // Strands gather into locks: each lock rounded, lighter in its middle,
  // with a dark parting to the next, its width wandering down the length.
  const float lockU = u * (region == kRegHairCap ? 34.0f : 11.0f) + 0.35f * ValueNoise(u * 9.0f, t * 2.5f);
  const float lf = lockU - std::floor(lockU);
  const float across = std::sin(kPi * lf);
  float l = (0.62f + 0.38f * fibre) * (0.72f + 0.34f * std::sqrt(across));
  if (region == kRegHairCap) {
    const float a = 2 * kPi * (u - 0.5f);
    const float X = a * 28.0f, Y = 290.0f + t * 80.0f;
    if (std::fabs(X) < 21.0f && Y < 346.0f) {
      // The fringe: locks follow the cut of its lower edge.
      const float s = (X + 2.2f) / 6.6f + 4.0f;
      const float f = 2.0f * (s - std::floor(s)) - 1.0f;
      const float edge = FringeEdge(X);
      const float rise = Smooth(edge, edge + 14.0f, Y);
      const float lock = std::sqrt(std::max(0.0f, 1.0f - f * f));
      l = (0.62f + 0.38f * fibre) * Mix(0.55f + 0.5f * lock, 0.75f + 0.3f * std::sqrt(across), rise);
      l *= 1.0f - 0.18f * (1.0f - Smooth(edge, edge + 3.0f, Y));  // the tips catch less light
    }
    const float ring = std::exp(-std::pow((t - 0.8f) / 0.045f, 2.0f)) * (0.6f + 0.4f * std::cos(2 * kPi * (u - 0.5f)));
    l += 0.5f * ring * (0.6f + 0.6f * fibre) * (0.5f + 0.5f * across);
    l *= 0.85f + 0.15f * Smooth(0.2f, 0.6f, t);
  } else {
    l *= 1.0f - 0.3f * Smooth(0.7f, 1.0f, t);
    const float ring =
        std::exp(-std::pow((t - 0.2f) / 0.05f, 2.0f)) + 0.6f * std::exp(-std::pow((t - 0.5f) / 0.04f, 2.0f));
    l += 0.35f * ring * fibre * (0.4f + 0.6f * across);
  }
  return l;
}

RGB HairColour(const HairTone& h, float l) {
  if (l < 1.0f) return Lerp(h.dark, h.base, Clamp((l - 0.5f) / 0.5f, 0.0f, 1.0f));
  return Lerp(h.base, h.shine, Clamp((l - 1.0f) / 0.35f, 0.0f, 1.0f));
}

// ---- Outfits ------------------------------------------------------------------

struct Cloth {
  RGB c;
  float a;  // mask weight
};

// Chart coordinates turned into body measures: angle a (0 = front), height y.
struct Where {
  int region;
  float u, t, a, y;
  int side;  // 0 left, 1 right
  float ta;  // legs: the angle around the torso's axis at this point of the thigh
};

Where Locate(int region, float u, float t) {
  Where w{region, u, t, 2 * kPi * (u - 0.5f), 0, 0, 0};
  switch (region) {
    case kRegTorso:
      w.y = 118 + t * 182;
      break;
    case kRegLegL:
    case kRegLegR: {
      w.y = 200 - t * 187;
      w.side = region == kRegLegR;
      // Where the point sits around the torso, so that a garment edge that
      // crosses from hips to thigh follows one line in both charts. The
      // thigh's radius only needs to be roughly right near the top.
      const float cx = w.side ? -15.0f : 15.0f, r = 15.0f;
      w.ta = std::atan2(cx - r * std::sin(w.a), r * std::cos(w.a) + 1.0f);
      break;
    }
    case kRegArmL:
    case kRegArmR:
      w.side = region == kRegArmR;
      break;
    default:
      break;
  }
  return w;
}

// The lowest line of each skirt (its rounded hem reaches a little below the
// hem height of the mesh). Charts on both sides of the hem paint against it,
// so the edge is one smooth line whichever chart a triangle took.
constexpr float kCasualHem = 152.0f - 1.2f, kSchoolHem = 148.0f - 1.2f, kBusinessHem = 128.0f - 1.2f;
float Below(float y, float hem) { return 1.0f - Smooth(hem - 0.5f, hem + 0.5f, y); }

float Stripe(float x, float period, float width) {
  const float f = x / period - std::floor(x / period);
  return f < width ? 1.0f : 0.0f;
}

// Where the swimsuit's leg opening runs, by height and angle around the torso.
float PoolLegLine(float a) { return 172.0f + 15.0f * Smooth(0.25f, 0.85f, std::fabs(std::sin(a))); }

Cloth Pool(const Where& w) {
  const RGB suit = Hex(0xE4505E), trim = Hex(0xFFFFFF);
  RGB c = suit;
  if (w.region == kRegLegL || w.region == kRegLegR) {
    const float line = PoolLegLine(w.ta);
    return {suit, Smooth(line - 0.6f, line + 0.6f, w.y)};
  }
  if (w.region == kRegTorso) {
    // Small white dots on the coral, offset every other row.
    const float row = std::floor(w.y / 7.0f);
    const float col = w.a * 25.0f / 7.0f + 0.5f * std::fmod(row, 2.0f);
    const float dx = (col - std::floor(col) - 0.5f) * 7.0f, dy = (w.y / 7.0f - row - 0.5f) * 7.0f;
    // A high-cut leg opening that keeps the seat and the front covered.
    const float legLine = PoolLegLine(w.a);
    const float front = std::max(0.0f, std::cos(w.a));
    const float ax = std::fabs(w.a);
    // Sweetheart top in front, straight across the back.
    // Under the arms it dips below the armpit, where the arm's chart begins.
    const float top = 246.0f + 20.0f * Smooth(0.05f, 0.6f, front) - 3.0f * front * (1.0f - Smooth(0.0f, 0.3f, ax));
    // No dot cut in half by an edge: they would read as a ragged hem.
    if (dx * dx + dy * dy < 1.3f && w.y > legLine + 2.2f && w.y < top - 2.6f) c = Hex(0xFFF4F0);
    float cover = Smooth(legLine - 0.6f, legLine + 0.6f, w.y) * (1.0f - Smooth(top - 0.6f, top + 0.6f, w.y));
    if (cover > 0.5f && std::fabs(w.y - top) < 1.1f && w.y < top + 0.5f) c = trim;
    // A little bow in the middle of the neckline.
    if (Ellipse(w.a * 24.0f, w.y, 0, top - 2.0f, 2.6f, 1.4f) < 1.0f) c = trim, cover = 1;
    return {c, cover};
  }
  if (w.region == kRegFootL || w.region == kRegFootR) {
    // Sandals: a sole and two straps.
    const RGB sandal = Hex(0xF6F1EA);
    const float a = std::fabs(w.a);
    const bool sole = a > 2.2f;
    const bool strap = std::fabs(w.t - 0.66f) < 0.07f || std::fabs(w.t - 0.46f) < 0.05f;
    return {sandal, sole || strap ? 1.0f : 0.0f};
  }
  return {suit, 0};
}

Cloth Casual(const Where& w) {
  const RGB tee = Hex(0xBFE3D0), denim = Hex(0x4C6FA8), denimDark = Hex(0x34507E);
  if (w.region == kRegTorso) {
    if (w.y < 217.0f) {
      RGB c = Lerp(denim, denimDark, 0.35f * ValueNoise(w.a * 40.0f, w.y * 0.8f));
      if (std::fabs(w.y - 212.5f) < 2.8f) c = Hex(0x7A4A2A);  // belt
      if (std::fabs(w.y - 212.5f) < 2.0f && std::fabs(w.a) < 0.12f) c = Hex(0xD8C070);
      if (std::fabs(std::fabs(w.a) - 0.45f) < 0.02f && w.y < 210) c = Hex(0xE0B060);  // seams
      return {c, 1.0f - Below(w.y, kCasualHem)};
    }
    const float front = std::max(0.0f, std::cos(w.a));
    const float neck = 285.0f - 14.0f * front * front;
    RGB c = tee;
    if (std::fabs(w.y - neck) < 1.2f) c = Hex(0x8FC4AC);
    // A small printed heart on the chest.
    const float hx = (w.a * 24.0f + 9.0f) / 3.0f, hy = (w.y - 263.0f) / 3.0f;
    const float hh = hx * hx + std::pow(hy - std::sqrt(std::fabs(hx)) * 0.7f, 2.0f);
    if (hh < 1.0f) c = Hex(0xF07C8A);
    return {c, 1.0f - Smooth(neck - 0.6f, neck + 0.6f, w.y)};
  }
  if (w.region == kRegArmL || w.region == kRegArmR) {
    const float end = 0.4f;
    RGB c = std::fabs(w.t - end) < 0.02f ? Hex(0x8FC4AC) : tee;
    return {c, 1.0f - Smooth(end - 0.005f, end + 0.005f, w.t)};
  }
  if (w.region == kRegLegL || w.region == kRegLegR) {
    // Under the skirt the legs take the skirt's colour: where a patch of the
    // skirt's surface is charted as leg it must not show. Ankle socks.
    if (w.y > kCasualHem - 1.0f) return {denim, 1.0f - Below(w.y, kCasualHem)};
    if (w.t > 0.93f) return {Hex(0xFFFFFF), 1};
    return {tee, 0};
  }
  if (w.region == kRegFootL || w.region == kRegFootR) {
    RGB c = Hex(0xFAFAFA);
    const float a = std::fabs(w.a);
    if (a > 2.3f) c = Hex(0xE05050);                                                               // sole
    if (a < 0.5f && w.t > 0.45f && w.t < 0.8f && Stripe(w.t, 0.07f, 0.4f) > 0) c = Hex(0xE05050);  // laces
    return {c, 1};
  }
  return {tee, 0};
}

Cloth School(const Where& w) {
  const RGB white = Hex(0xF6F7FA), navy = Hex(0x233056), red = Hex(0xC8283C);
  if (w.region == kRegTorso) {
    if (w.y < 217.0f) {
      // Pleated skirt: shade each pleat, a white line near the hem.
      const float pleat = std::fabs(std::sin(w.a * 9.0f));
      RGB c = Lerp(Mul(navy, 0.75f), navy, pleat);
      if (w.y > 150 && w.y < 154) c = white;
      if (w.y > 212) c = Mul(navy, 0.85f);
      return {c, 1.0f - Below(w.y, kSchoolHem)};
    }
    RGB c = white;
    const float front = std::max(0.0f, std::cos(w.a));
    // The sailor collar: a square flap at the back, two flaps meeting in a V in front.
    const float aa = std::fabs(w.a);
    const float vDepth = 246.0f + 42.0f * aa;
    float a = 1.0f;
    if (aa > 1.9f) {
      // The back flap ends short of the shoulders, where the sleeves' chart begins.
      const float side = aa - 2.2f;
      if (w.y > 254.0f && side > 0) {
        c = (w.y > 255.2f && w.y < 256.4f) || (side > 0.05f && side < 0.1f) ? white : navy;
      }
    } else if (w.y > vDepth - 9.0f && w.y <= vDepth) {
      const float edge = w.y - (vDepth - 9.0f);
      c = (edge > 1.0f && edge < 2.1f) ? white : navy;
    } else if (w.y > vDepth && w.y > 268.0f) {
      a = 0;  // skin at the top of the V
    }
    const float neck = 288.0f - 8.0f * front;  // up the neck a little: the shoulder tops are flat
    a *= 1.0f - Smooth(neck - 0.6f, neck + 0.6f, w.y);
    // Ribbon tie.
    const float rx = w.a * 24.0f, ry = w.y - (vDepth - 1.0f);
    if (Ellipse(std::fabs(rx), ry, 2.6f, 0, 2.8f, 1.8f) < 1.0f ||
        (std::fabs(rx) < 1.2f && ry < 0 && ry > -9.0f + std::fabs(rx)))
      c = red, a = 1;
    return {c, a};
  }
  if (w.region == kRegArmL || w.region == kRegArmR) {
    RGB c = white;
    if (w.t > 0.9f) c = navy;
    if (w.t > 0.93f && w.t < 0.945f) c = white;
    return {c, 1.0f - Smooth(1.0f, 1.02f, w.t)};
  }
  if (w.region == kRegLegL || w.region == kRegLegR) {
    if (w.y > kSchoolHem - 1.0f) return {Mul(navy, 0.85f), 1.0f - Below(w.y, kSchoolHem)};  // under the skirt
    const float sock = Smooth(0.6f, 0.605f, w.t);
    return {Hex(0x1E2030), sock};
  }
  if (w.region == kRegFootL || w.region == kRegFootR) {
    RGB c = Hex(0x5A3422);
    if (std::fabs(w.a) > 2.3f) c = Hex(0x2A1A12);
    return {c, 1};
  }
  return {white, 0};
}

Cloth Business(const Where& w) {
  const RGB suit = Hex(0x3A4254), blouse = Hex(0xF8F4EE);
  if (w.region == kRegTorso) {
    if (w.y < 216.0f) {
      RGB c = suit;
      if (std::fabs(w.a) > kPi - 0.02f) c = Mul(suit, 0.7f);  // back seam
      return {c, 1.0f - Below(w.y, kBusinessHem)};
    }
    const float aa = std::fabs(w.a);
    const float front = std::max(0.0f, std::cos(w.a));
    RGB c = suit;
    const float vBottom = 234.0f;
    const float lapel = vBottom + 60.0f * aa;  // the jacket's V opening
    const float neck = 288.0f - 6.0f * front;
    float a = 1.0f - Smooth(neck - 0.6f, neck + 0.6f, w.y);
    if (w.y > lapel) {
      c = blouse;
      const float collar = vBottom + 48.0f * aa + 30.0f;
      if (w.y > collar && aa < 0.2f) a = 0;  // open collar: skin
    } else if (w.y > lapel - 3.5f && aa < 0.6f) {
      c = Mul(suit, 0.8f);  // lapel edge
    }
    // Buttons.
    if (Ellipse(w.a * 24.0f, w.y, 0.0f, 228.0f, 1.1f, 1.1f) < 1.0f) c = Hex(0x1A1E28);
    if (Ellipse(w.a * 24.0f, w.y, 0.0f, 220.0f, 1.1f, 1.1f) < 1.0f) c = Hex(0x1A1E28);
    if (std::fabs(w.a) < 0.012f && w.y < 232) c = Mul(suit, 0.7f);
    return {c, a};
  }
  if (w.region == kRegArmL || w.region == kRegArmR) {
    RGB c = suit;
    if (w.t > 0.95f) c = blouse;
    return {c, 1.0f - Smooth(0.995f, 1.01f, w.t)};
  }
  if (w.region == kRegLegL || w.region == kRegLegR) {
    if (w.y > kBusinessHem - 1.0f) return {suit, 1.0f - 0.72f * Below(w.y, kBusinessHem)};
    // The pumps' back rises over the ankle, above where the foot's chart
    // ends, so their edge is one line rather than the chart's border.
    if (w.y < 22.0f) return {Hex(0x15151A), 1};
    return {Hex(0x2A2226), 0.28f};  // sheer tights
  }
  if (w.region == kRegFootL || w.region == kRegFootR) return {Hex(0x15151A), 1};
  return {suit, 0};
}

Cloth OutfitAt(int outfit, const Where& w) {
  switch (outfit) {
    case kPool:
      return Pool(w);
    case kCasual:
      return Casual(w);
    case kSchool:
      return School(w);
    default:
      return Business(w);
  }
}

uint8_t Byte(float v) { return static_cast<uint8_t>(Clamp(v * 255.0f + 0.5f, 0.0f, 255.0f)); }

void Alloc(Image& img) {
  img.w = img.h = kTexSize;
  img.channels = 3;
  img.px.assign(static_cast<size_t>(kTexSize) * kTexSize * 3, 0);
}

void Put(Image& img, size_t i, RGB c) {
  img.px[i * 3] = Byte(c.r);
  img.px[i * 3 + 1] = Byte(c.g);
  img.px[i * 3 + 2] = Byte(c.b);
}

}  // namespace

void RegionToImage(int region, float u, float t, float& ix, float& iy) {
  const AtlasRect& a = kAtlas[region];
  u = Clamp(u, -kUMargin, 1 + kUMargin);
  t = Clamp(t, -kTMargin, 1 + kTMargin);
  float fu = u;
  if (region == kRegHead) fu = Warp(u);
  ix = (a.x + (fu + kUMargin) / (1 + 2 * kUMargin) * a.w) / kTexSize;
  iy = (a.y + (1.0f - (t + kTMargin) / (1 + 2 * kTMargin)) * a.h) / kTexSize;
}

void PaintAll(Pictures& out) {
  for (Image& i : out.skin) Alloc(i);
  for (Image& i : out.hair) Alloc(i);
  for (Image& i : out.outfit) Alloc(i);
  for (Image& i : out.outfitMask) Alloc(i);
  Alloc(out.hairMask);
  constexpr int kSS = 3;
  for (int py = 0; py < kTexSize; ++py)
    for (int px = 0; px < kTexSize; ++px) {
      const size_t idx = static_cast<size_t>(py) * kTexSize + px;
      float u, t;
      const int region = ImageToRegion(px + 0.5f, py + 0.5f, u, t);
      float fx, fy;
      const int part = region < 0 ? ImageToFacePart(px + 0.5f, py + 0.5f, fx, fy) : -1;
      if (part >= 0) {  // a face part: in the skin pictures only, under no mask
        constexpr int kPartSS = 3;
        for (int k = 0; k < 4; ++k) {
          RGB acc = {};
          for (int sy = 0; sy < kPartSS; ++sy)
            for (int sx = 0; sx < kPartSS; ++sx) {
              ImageToFacePart(px + (sx + 0.5f) / kPartSS, py + (sy + 0.5f) / kPartSS, fx, fy);
              const RGB c = FacePartColour(kTones[k], part, fx, fy);
              acc = {acc.r + c.r, acc.g + c.g, acc.b + c.b};
            }
          Put(out.skin[k], idx, Mul(acc, 1.0f / (kPartSS * kPartSS)));
          Put(out.hair[k], idx, kHairTones[k].base);
          Put(out.outfit[k], idx, RGB{0.5f, 0.5f, 0.5f});
        }
        continue;
      }
      if (region < 0) {  // unused space: plain colours
        for (int k = 0; k < 4; ++k) {
          Put(out.skin[k], idx, kTones[k].skin);
          Put(out.hair[k], idx, kHairTones[k].base);
          Put(out.outfit[k], idx, RGB{0.5f, 0.5f, 0.5f});
        }
        continue;
      }
      const bool hairRegion = region == kRegHairCap || region == kRegTailL || region == kRegTailR;
      const bool detailed = true;
      const int ss = detailed ? kSS : 1;
      RGB skinAcc[4] = {}, clothAcc[4] = {};
      float maskAcc[4] = {}, hairL = 0;
      for (int sy = 0; sy < ss; ++sy)
        for (int sx = 0; sx < ss; ++sx) {
          float su = u, st = t;
          if (ss > 1) ImageToRegion(px + (sx + 0.5f) / ss, py + (sy + 0.5f) / ss, su, st);
          const float wu = su - std::floor(su);  // charts are periodic around their axis
          for (int k = 0; k < 4; ++k) {
            const RGB s = Skin(kTones[k], region, wu, st);
            skinAcc[k] = {skinAcc[k].r + s.r, skinAcc[k].g + s.g, skinAcc[k].b + s.b};
            const Cloth c = OutfitAt(k, Locate(region, wu, st));
            clothAcc[k] = {clothAcc[k].r + c.c.r, clothAcc[k].g + c.c.g, clothAcc[k].b + c.c.b};
            maskAcc[k] += c.a;
          }
          if (hairRegion) hairL += HairLight(region, wu, st);
        }
      const float inv = 1.0f / (ss * ss);
      for (int k = 0; k < 4; ++k) {
        Put(out.skin[k], idx, Mul(skinAcc[k], inv));
        Put(out.outfit[k], idx, Mul(clothAcc[k], inv));
        const uint8_t m = Byte(maskAcc[k] * inv);
        out.outfitMask[k].px[idx * 3] = out.outfitMask[k].px[idx * 3 + 1] = out.outfitMask[k].px[idx * 3 + 2] = m;
        Put(out.hair[k], idx, hairRegion ? HairColour(kHairTones[k], hairL * inv) : kHairTones[k].base);
      }
      const uint8_t hm = hairRegion ? 255 : 0;
      // Ribbons where the tails are tied, the bow above them included, the same
      // in every hair picture.
      if ((region == kRegTailL || region == kRegTailR) && t < 0.075f) {
        const float fold = 0.8f + 0.2f * std::cos(2 * kPi * u * 3.0f);
        for (int k = 0; k < 4; ++k) Put(out.hair[k], idx, Mul(Hex(0xE8506E), fold));
      }
      out.hairMask.px[idx * 3] = out.hairMask.px[idx * 3 + 1] = out.hairMask.px[idx * 3 + 2] = hm;
    }
}

}  // namespace girlgen
