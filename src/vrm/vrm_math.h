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

// The rotation of a 3x3 matrix given as columns: col[k] is where axis k
// goes (Shepperd's method: the largest of the four sums keeps it stable).
inline Quat FromColumns(const double col[3][3]) {
  const double m00 = col[0][0], m11 = col[1][1], m22 = col[2][2];
  double q[4];  // x, y, z, w
  const double tr = m00 + m11 + m22;
  if (tr > 0) {
    const double t = std::sqrt(tr + 1.0) * 2;
    q[3] = 0.25 * t, q[0] = (col[1][2] - col[2][1]) / t, q[1] = (col[2][0] - col[0][2]) / t,
    q[2] = (col[0][1] - col[1][0]) / t;
  } else if (m00 > m11 && m00 > m22) {
    const double t = std::sqrt(1.0 + m00 - m11 - m22) * 2;
    q[3] = (col[1][2] - col[2][1]) / t, q[0] = 0.25 * t, q[1] = (col[1][0] + col[0][1]) / t,
    q[2] = (col[2][0] + col[0][2]) / t;
  } else if (m11 > m22) {
    const double t = std::sqrt(1.0 + m11 - m00 - m22) * 2;
    q[3] = (col[2][0] - col[0][2]) / t, q[0] = (col[1][0] + col[0][1]) / t, q[1] = 0.25 * t,
    q[2] = (col[2][1] + col[1][2]) / t;
  } else {
    const double t = std::sqrt(1.0 + m22 - m00 - m11) * 2;
    q[3] = (col[0][1] - col[1][0]) / t, q[0] = (col[2][0] + col[0][2]) / t, q[1] = (col[2][1] + col[1][2]) / t,
    q[2] = 0.25 * t;
  }
  for (double& v : q)
    if (!std::isfinite(v)) return {};
  return Normalized({q[0], q[1], q[2], q[3]});
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

// A 4x4 affine matrix, column-major (glTF's order, and GL's element order
// in math/Matrix.h): element 4 * column + row.
struct Mat4 {
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};
inline Mat4 operator*(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      double v = 0;
      for (int k = 0; k < 4; ++k) v += a.m[4 * k + row] * b.m[4 * c + k];
      r.m[4 * c + row] = v;
    }
  return r;
}
inline Vec3 Point(const Mat4& a, Vec3 p) {
  return {a.m[0] * p.x + a.m[4] * p.y + a.m[8] * p.z + a.m[12], a.m[1] * p.x + a.m[5] * p.y + a.m[9] * p.z + a.m[13],
          a.m[2] * p.x + a.m[6] * p.y + a.m[10] * p.z + a.m[14]};
}
inline Vec3 Direction(const Mat4& a, Vec3 v) {
  return {a.m[0] * v.x + a.m[4] * v.y + a.m[8] * v.z, a.m[1] * v.x + a.m[5] * v.y + a.m[9] * v.z,
          a.m[2] * v.x + a.m[6] * v.y + a.m[10] * v.z};
}
inline Mat4 ToMat4(const Transform& t) {
  Mat4 r;
  const Vec3 x = Rotate(t.r, {t.s.x, 0, 0}), y = Rotate(t.r, {0, t.s.y, 0}), z = Rotate(t.r, {0, 0, t.s.z});
  const double v[16] = {x.x, x.y, x.z, 0, y.x, y.y, y.z, 0, z.x, z.y, z.z, 0, t.t.x, t.t.y, t.t.z, 1};
  for (int i = 0; i < 16; ++i) r.m[i] = v[i];
  return r;
}
// The inverse of an affine matrix; a singular one gives the identity.
inline Mat4 Inverse(const Mat4& a) {
  const double* m = a.m;
  const double c00 = m[5] * m[10] - m[9] * m[6], c01 = m[9] * m[2] - m[1] * m[10], c02 = m[1] * m[6] - m[5] * m[2];
  const double det = m[0] * c00 + m[4] * c01 + m[8] * c02;
  Mat4 r;
  if (std::fabs(det) < 1e-300) return r;
  const double id = 1 / det;
  double* o = r.m;
  o[0] = c00 * id, o[1] = c01 * id, o[2] = c02 * id;
  o[4] = (m[8] * m[6] - m[4] * m[10]) * id, o[5] = (m[0] * m[10] - m[8] * m[2]) * id,
  o[6] = (m[4] * m[2] - m[0] * m[6]) * id;
  o[8] = (m[4] * m[9] - m[8] * m[5]) * id, o[9] = (m[8] * m[1] - m[0] * m[9]) * id,
  o[10] = (m[0] * m[5] - m[4] * m[1]) * id;
  const Vec3 t = Direction(r, {m[12], m[13], m[14]});
  o[12] = -t.x, o[13] = -t.y, o[14] = -t.z;
  return r;
}

}  // namespace vrm
