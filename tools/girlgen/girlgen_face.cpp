// The face rig's parts, laid over the face of the body surface: per eye a
// flat eyeball that turns, an upper lid that turns down over it and a ring of
// face around the eye opening; a mouth patch with a slit between the lips and
// the inside of the mouth behind it.
//
// At the default camera the face is some 70 pixels wide and the depth
// buffer resolves about half a unit, so the parts do not rely on depth alone:
// each is drawn after what it must cover. The ring and the mouth patch are
// copies of the face surface (the head chart's own texture coordinates),
// lifted a little over the eye and lips and sunk under the face at their
// edges: where they cross the face both show the same picture. Lid and
// eyeball come after the ring and sit just behind it, so only the eye
// opening shows them; the lid, drawn before the eyeball and a little in
// front of it, hides it when closed. The inside of the mouth comes after the
// patch and behind it, so only the opened slit shows it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "girlgen.h"
#include "rig/face_bones.h"

namespace girlgen {

namespace {

constexpr float kPi = 3.14159265358979f;

constexpr float kApex = 1.5f;  // eyeball's front above the face
// Lid over the eyeball and ring over the lid: more than the flat triangles
// of the coarser part dip below the sphere they span.
constexpr float kLidLift = 0.35f;
constexpr float kRingLift = 0.6f;
constexpr float kSink = 0.6f;  // how deep a part's rim goes under the face

constexpr float kOpenA = 0.0f, kOpenB = -0.3f;  // a point well inside it
float OpeningRadius(float ang) {
  float lo = 0, hi = 8;
  for (int i = 0; i < 30; ++i) {
    const float m = 0.5f * (lo + hi);
    if (InEyeOpening(kOpenA + m * std::cos(ang), kOpenB + m * std::sin(ang)))
      lo = m;
    else
      hi = m;
  }
  return lo;
}
// The lowest point of the opening at a (0 beyond its sides).
float OpeningBottom(float a) {
  for (float b = -6.0f; b <= 5.0f; b += 0.01f)
    if (InEyeOpening(a, b)) return b;
  return 0.0f;
}

// A point of the face by its painted coordinates, found along the head
// chart's ray; n is the outward normal there.
V3 FacePoint(Outfit o, float X, float Y, V3* n = nullptr) {
  const float ang = X / 23.0f;
  const V3 axis(0, Y, -1), dir(std::sin(ang), 0, std::cos(ang));
  float lo = 0, hi = 45;
  for (int i = 0; i < 40; ++i) {
    const float m = 0.5f * (lo + hi);
    if (BodyDistance(o, axis + dir * m) < 0)
      lo = m;
    else
      hi = m;
  }
  const V3 p = axis + dir * lo;
  if (n) *n = BodyNormal(o, p);
  return p;
}

struct Builder {
  Mesh& mesh;
  int Vert(V3 p, V3 n, float u, float v, std::initializer_list<std::pair<int, float>> bones) {
    Vertex vx;
    vx.pos = p;
    vx.nrm = Norm(n);
    vx.u = u;
    vx.v = v;
    vx.mark = 255;
    int k = 0;
    float sum = 0;
    for (const auto& b : bones)
      if (b.second > 1e-3f && k < 4) {
        vx.bone[k] = static_cast<uint8_t>(b.first);
        vx.weight[k] = b.second;
        sum += b.second;
        ++k;
      }
    for (int i = 0; i < k; ++i) vx.weight[i] /= sum;
    mesh.verts.push_back(vx);
    return static_cast<int>(mesh.verts.size()) - 1;
  }
  // A triangle wound counter-clockwise seen from the side its normals face.
  void Tri(int a, int b, int c) {
    const Vertex &va = mesh.verts[a], &vb = mesh.verts[b], &vc = mesh.verts[c];
    if (Dot(Cross(vb.pos - va.pos, vc.pos - va.pos), va.nrm + vb.nrm + vc.nrm) < 0) std::swap(b, c);
    for (int i : {a, b, c}) mesh.tris.push_back(static_cast<uint16_t>(i));
  }
  // A quad of the corners in order around it, either way round.
  void Quad(int a, int b, int c, int d) {
    Tri(a, b, c);
    Tri(a, c, d);
  }
};

// One eye: its frame on the face and the spheres about its centre. Every
// part of the eye lies on a sphere about the centre, in the direction of a
// point of the face, so that eyeball, lid and ring stay one over another
// along those rays and the ring's picture is the face's own.
struct Eye {
  Outfit o;
  float sx;  // +1 her left (+x), -1 her right
  V3 apex, n, centre;
  // The face point under eye coordinates (a, b).
  V3 Face(float a, float b, V3* nrm = nullptr) const { return FacePoint(o, sx * (kEyeX + a), kEyeY + b, nrm); }
  V3 Dir(float a, float b) const { return Norm(Face(a, b) - centre); }
  V3 On(V3 dir, float r) const { return centre + dir * r; }
};

Eye MakeEye(Outfit o, int side) {
  Eye e;
  e.o = o;
  e.sx = side ? -1.0f : 1.0f;
  e.apex = e.Face(0, 0, &e.n);
  e.centre = e.apex + e.n * (kApex - kEyeRadius);
  return e;
}

// Turns p about the model's x axis through c by deg, its front going up.
V3 TurnX(V3 p, V3 c, float deg) {
  const float r = deg * kPi / 180.0f, cs = std::cos(r), sn = std::sin(r);
  const V3 q = p - c;
  return c + V3(q.x, q.y * cs + q.z * sn, -q.y * sn + q.z * cs);
}

void AppendEye(Builder& B, const Eye& e, int eyeBone, int lidBone) {
  // The ring: from the opening's edge outwards, over the eyeball and lid,
  // until the sphere it lies on has gone under the face.
  constexpr int kAround = 20;
  const float rows[] = {0.0f, 1.2f, 3.0f, 5.0f, 7.0f};
  constexpr int kRows = sizeof rows / sizeof rows[0];
  std::vector<int> ring(kAround * kRows);
  float shallowest = -1e9f;
  for (int j = 0; j < kAround; ++j) {
    const float ang = 2 * kPi * j / kAround;
    const float r0 = OpeningRadius(ang);
    for (int k = 0; k < kRows; ++k) {
      const float a = kOpenA + (r0 + rows[k]) * std::cos(ang), b = kOpenB + (r0 + rows[k]) * std::sin(ang);
      V3 fn;
      const V3 face = e.Face(a, b, &fn);
      const V3 p = e.On(Norm(face - e.centre), kEyeRadius + kRingLift);
      if (k == kRows - 1) shallowest = std::max(shallowest, BodyDistance(e.o, p));
      float u, v;
      HeadTexCoords(face, u, v);
      ring[j * kRows + k] = B.Vert(p, fn, u, v, {{kHead, 1.0f}});
    }
  }
  if (shallowest > -0.3f) std::fprintf(stderr, "girlgen: the eye ring ends above the face (%.2f)\n", shallowest);
  for (int j = 0; j < kAround; ++j)
    for (int k = 0; k + 1 < kRows; ++k) {
      const int j2 = (j + 1) % kAround;
      B.Quad(ring[j * kRows + k], ring[j * kRows + k + 1], ring[j2 * kRows + k + 1], ring[j2 * kRows + k]);
    }

  // The lid: a band of the shell whose lower edge waits just above the
  // opening, under the ring; turned down by the closing angle its edge
  // passes the bottom of the opening.
  // Its rows reach the closing angle up the shell from the edge, so that
  // closed it still covers the top of the opening.
  const float cols[] = {-8.0f, -5.0f, -2.5f, 0.0f, 2.5f, 5.0f, 8.0f};
  const float lidRows[] = {0.0f, 0.06f, 0.15f, 0.3f, 0.5f, 0.75f, 1.0f};  // of the closing angle
  constexpr int kCols = sizeof cols / sizeof cols[0], kLidRows = sizeof lidRows / sizeof lidRows[0];
  std::vector<int> lid(kCols * kLidRows);
  for (int i = 0; i < kCols; ++i) {
    const float a = cols[i];
    const V3 edge = e.On(e.Dir(a, UpperLidLine(a) + 0.4f), kEyeRadius + kLidLift);
    for (int k = 0; k < kLidRows; ++k) {
      const V3 p = TurnX(edge, e.centre, (kLidClosedDegrees + 4.0f) * lidRows[k]);
      // Shaded as the face it covers when closed.
      const V3 closed = TurnX(p, e.centre, -kLidClosedDegrees);
      const V3 n = TurnX(BodyNormal(e.o, closed), V3(0, 0, 0), kLidClosedDegrees);
      float u, v;
      FacePartTexCoords(kFaceLid, a * e.sx / 8.0f, -1.0f + 2.0f * lidRows[k], u, v);
      lid[i * kLidRows + k] = B.Vert(p, n, u, v, {{lidBone, 1.0f}});
    }
  }
  for (int i = 0; i + 1 < kCols; ++i)
    for (int k = 0; k + 1 < kLidRows; ++k)
      B.Quad(lid[i * kLidRows + k], lid[(i + 1) * kLidRows + k], lid[(i + 1) * kLidRows + k + 1],
             lid[i * kLidRows + k + 1]);
  // The turn that takes the middle of the edge past the bottom of the
  // opening: the rig's closing angle must be at least that.
  auto elevation = [&](V3 d) { return std::atan2(d.y, d.z) * 180.0f / kPi; };
  const float needed = elevation(e.Dir(0, UpperLidLine(0) + 0.4f)) - elevation(e.Dir(0, OpeningBottom(0) - 0.2f));
  if (needed > kLidClosedDegrees || needed < kLidClosedDegrees - 8.0f) {
    std::fprintf(stderr, "girlgen: the lid closes with a turn of %.1f degrees, not %.1f\n", needed, kLidClosedDegrees);
    std::exit(1);
  }

  // The eyeball: a cap reaching the iris's travel beyond the opening, so that
  // however it turns the opening shows only the eyeball.
  constexpr int kSeg = 12;
  constexpr float radii[] = {3.0f, 6.5f, 10.0f};
  constexpr int kRadii = sizeof radii / sizeof radii[0];
  static_assert(5.6f + kIrisTravel < radii[kRadii - 1], "the eyeball must cover the opening when turned");
  auto eyeVert = [&](float a, float b) {
    const V3 p = e.On(e.Dir(a, b), kEyeRadius);
    float u, v;
    FacePartTexCoords(kFaceEyeball, a * e.sx / 10.0f, b / 10.0f, u, v);
    return B.Vert(p, p - e.centre, u, v, {{eyeBone, 1.0f}});
  };
  const int mid = eyeVert(0, 0);
  std::vector<int> cap(kSeg * kRadii);
  for (int k = 0; k < kRadii; ++k)
    for (int j = 0; j < kSeg; ++j) {
      const float ang = 2 * kPi * j / kSeg;
      cap[k * kSeg + j] = eyeVert(radii[k] * std::cos(ang), radii[k] * std::sin(ang));
    }
  for (int j = 0; j < kSeg; ++j) {
    const int j2 = (j + 1) % kSeg;
    B.Tri(mid, cap[j], cap[j2]);
    for (int k = 0; k + 1 < kRadii; ++k)
      B.Quad(cap[k * kSeg + j], cap[(k + 1) * kSeg + j], cap[(k + 1) * kSeg + j2], cap[k * kSeg + j2]);
  }
}

// ---- Mouth ---------------------------------------------------------------------

// The lips' corners on the painted mouth line, and the patch around them.
constexpr float kCorner = 4.3f;
constexpr float kMouthLift = 1.4f, kInsideBelow = 0.6f;
// How far from the middle of the mouth a point of the patch is: 1 at its rim.
float MouthReach(float X, float s) {
  const float y = s < 0 ? s / 7.0f : s / 5.0f;
  return std::sqrt((X / 8.0f) * (X / 8.0f) + y * y);
}
// The patch is lifted over the lips and sunk under the face at its rim.
float MouthLift(float X, float s) { return Mix(kMouthLift, -kSink, Smooth(0.7f, 1.0f, MouthReach(X, s))); }

void AppendMouth(Builder& B, Outfit o) {
  const float cols[] = {-8.0f, -6.2f, -kCorner, -2.2f, 0.0f, 2.2f, kCorner, 6.2f, 8.0f};
  const float rows[] = {-7.0f, -5.0f, -3.4f, -2.2f, -1.1f, 0.0f, 1.0f, 2.2f, 3.6f, 5.0f};
  constexpr int kCols = sizeof cols / sizeof cols[0], kRows = sizeof rows / sizeof rows[0];
  constexpr int kSlit = 5;  // the row of the lip line
  auto vert = [&](float X, float s, bool lower) {
    V3 n;
    const V3 face = FacePoint(o, X, LipLine(X) + s, &n);
    const float e = MouthReach(X, s), lift = MouthLift(X, s);
    float u, v;
    HeadTexCoords(face, u, v);
    // The lower lip and the chin follow the jaw, less towards the chin's
    // rim; the upper lip rises with its bone; each corner pulls the lips
    // near it. The rest stays with the head.
    const float away = Smooth(0.5f, 1.0f, e);
    const float jaw = (s < 0 || (s == 0 && lower)) ? (1.0f - Smooth(-1.1f, -7.0f, s)) * (1 - away) : 0.0f;
    const float lip = (s > 0 || (s == 0 && !lower)) ? (1.0f - Smooth(0.0f, 3.6f, s)) * (1 - away) : 0.0f;
    const float dl = (X - kCorner) * (X - kCorner) + s * s, dr = (X + kCorner) * (X + kCorner) + s * s;
    const float cl = std::exp(-dl / 5.0f) * (1 - away), cr = std::exp(-dr / 5.0f) * (1 - away);
    const float head = std::max(0.0f, 1.0f - jaw - lip) + 0.05f;
    return B.Vert(face + n * lift, n, u, v,
                  {{kHead, head}, {kJaw, jaw}, {kLipUpper, lip}, {kCornerL, cl}, {kCornerR, cr}});
  };
  // Two copies of the lip line between the corners: the upper lip's edge and the lower lip's.
  std::vector<int> upper(kCols * kRows), lower(kCols * kRows);
  for (int i = 0; i < kCols; ++i)
    for (int k = 0; k < kRows; ++k) {
      const bool split = k == kSlit && std::fabs(cols[i]) < kCorner - 0.01f;
      upper[i * kRows + k] = vert(cols[i], rows[k], false);
      lower[i * kRows + k] = split ? vert(cols[i], rows[k], true) : upper[i * kRows + k];
    }
  for (int i = 0; i + 1 < kCols; ++i)
    for (int k = 0; k + 1 < kRows; ++k) {
      const std::vector<int>& g = k < kSlit ? lower : upper;
      B.Quad(g[i * kRows + k], g[(i + 1) * kRows + k], g[(i + 1) * kRows + k + 1], g[i * kRows + k + 1]);
    }

  // The inside: behind the slit; the teeth with the head, the tongue with the
  // jaw and the throat between them stretching as the mouth opens.
  // A trapezoid: as wide as the slit at the lip line, narrower below, where
  // the lower lip comes away from it only in the middle.
  const float icols[] = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f};
  const float irows[] = {-0.9f, -0.4f, 0.4f, 1.2f};
  const float halfWidth[] = {3.2f, 4.6f, 4.6f, 4.6f};
  constexpr int kICols = sizeof icols / sizeof icols[0], kIRows = sizeof irows / sizeof irows[0];
  std::vector<int> in(kICols * kIRows);
  for (int i = 0; i < kICols; ++i)
    for (int k = 0; k < kIRows; ++k) {
      V3 n;
      const float X = icols[i] * halfWidth[k], s = irows[k];
      const V3 face = FacePoint(o, X, LipLine(0) + s, &n);
      float u, v;
      FacePartTexCoords(kFaceMouth, icols[i], -1.0f + 2.0f * (s - irows[0]) / (irows[kIRows - 1] - irows[0]), u, v);
      const float jaw = s < -0.75f ? 1.0f : 0.0f;
      // Always behind the patch, so that only the opened slit shows it.
      const float lift = MouthLift(X, s) - kInsideBelow;
      in[i * kIRows + k] = B.Vert(face + n * lift, n, u, v, {{kHead, 1.0f - jaw}, {kJaw, jaw}});
    }
  for (int i = 0; i + 1 < kICols; ++i)
    for (int k = 0; k + 1 < kIRows; ++k)
      B.Quad(in[i * kIRows + k], in[(i + 1) * kIRows + k], in[(i + 1) * kIRows + k + 1], in[i * kIRows + k + 1]);
}

}  // namespace

void AppendFace(Mesh& mesh, Outfit outfit) {
  Builder B{mesh};
  const Eye left = MakeEye(outfit, 0), right = MakeEye(outfit, 1);
  // The joints in the rig table are these centres, measured once; a head
  // of another shape must update them.
  for (const Eye* e : {&left, &right}) {
    const V3 joint = kBones[e == &left ? kEyeL : kEyeR].bindPos;
    if (Len(joint - e->centre) > 0.05f) {
      std::fprintf(stderr, "girlgen: the eye joint (%.2f, %.2f, %.2f) is not the eye's centre (%.2f, %.2f, %.2f)\n",
                   joint.x, joint.y, joint.z, e->centre.x, e->centre.y, e->centre.z);
      std::exit(1);
    }
  }
  // Drawing order: the mouth patch before the inside, each ring before its
  // lid and eyeball.
  AppendMouth(B, outfit);
  AppendEye(B, left, kEyeL, kLidL);
  AppendEye(B, right, kEyeR, kLidR);
}

}  // namespace girlgen
