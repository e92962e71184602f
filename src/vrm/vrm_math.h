// The little rigid-body arithmetic of the character import, in glTF's own
// convention (column vectors, a quaternion q turns v into q v q*), in double
// precision: the reader's node transforms, the conversion's change of units
// and facing, and the retargeting's world poses. Our scene files store the
// conjugate of such a quaternion (math/Matrix.h); the conversion writes it so.
#pragma once

#include <cmath>

namespace vrm {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }

struct Quat {
  double x = 0, y = 0, z = 0, w = 1;
};
// a b: b turns first, then a.
inline Quat operator*(Quat a, Quat b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline Quat Conjugate(Quat q) { return {-q.x, -q.y, -q.z, q.w}; }
inline Quat Normalized(Quat q) {
  const double l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return l > 0 ? Quat{q.x / l, q.y / l, q.z / l, q.w / l} : Quat{};
}
inline Vec3 Rotate(Quat q, Vec3 v) {
  const Vec3 u{q.x, q.y, q.z};
  const Vec3 t = Cross(u, v) * 2.0;
  return v + t * q.w + Cross(u, t);
}
// The turn by `radians` about the unit `axis`.
inline Quat AxisAngle(Vec3 axis, double radians) {
  const double s = std::sin(radians / 2);
  return {axis.x * s, axis.y * s, axis.z * s, std::cos(radians / 2)};
}
// The shortest turn that takes direction `from` onto direction `to`
// (neither need be of unit length; zero vectors give no turn).
inline Quat Between(Vec3 from, Vec3 to) {
  const double lf = Length(from), lt = Length(to);
  if (lf < 1e-12 || lt < 1e-12) return {};
  const Vec3 a = from * (1 / lf), b = to * (1 / lt);
  const double d = Dot(a, b);
  if (d < -1 + 1e-12) {
    // Opposite: half a turn about any axis across them.
    Vec3 axis = Cross(a, {1, 0, 0});
    if (Length(axis) < 1e-6) axis = Cross(a, {0, 1, 0});
    return AxisAngle(axis * (1 / Length(axis)), M_PI);
  }
  const Vec3 c = Cross(a, b);
  return Normalized({c.x, c.y, c.z, 1 + d});
}

// A rigid placement with a scale: p -> t + r (s * p).
struct Transform {
  Vec3 t;
  Quat r;
  Vec3 s{1, 1, 1};
};
inline Vec3 Apply(const Transform& a, Vec3 p) { return a.t + Rotate(a.r, {a.s.x * p.x, a.s.y * p.y, a.s.z * p.z}); }
// parent then child: the child's placement in its parent's space. The
// scale of the parent is taken as uniform (its x), which humanoid bones are.
inline Transform Compose(const Transform& parent, const Transform& child) {
  Transform w;
  w.t = Apply(parent, child.t);
  w.r = Normalized(parent.r * child.r);
  w.s = child.s * parent.s.x;
  return w;
}

}  // namespace vrm
