#include "math/Vector.h"

#include <cmath>
#include <cstdio>

void MatrixVec3Lerp(VECTOR3& out, const VECTOR3& a, const VECTOR3& b, float t) {
  const VECTOR3 r = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
  out = r;
}

void MatrixVec3Normalize(VECTOR3& out, const VECTOR3& in) {
  const float sq = in.x * in.x + in.y * in.y + in.z * in.z;
  const float inv = (float)(1.0 / std::sqrt((double)sq));
  out.x = in.x * inv;
  out.y = in.y * inv;
  out.z = in.z * inv;
}

void MatrixQuaternionNormalize(QUATERNION& q) {
  const float sq = q.x * q.x + q.w * q.w + q.y * q.y + q.z * q.z;
  const float len = (float)std::sqrt((double)sq);
  if (len == 0.0f) return;
  const float inv = 1.0f / len;
  q.x *= inv;
  q.y *= inv;
  q.z *= inv;
  q.w *= inv;
}

void MatrixQuaternionSlerp(QUATERNION& out, const QUATERNION& a, const QUATERNION& b, float t) {
  if (t < 0.0f || t > 1.0f) {
    std::printf("MatrixQuaternionSlerp : Bad parameters\n");
    out = QUATERNION{0.0f, 0.0f, 0.0f, 1.0f};
    return;
  }
  const float cosTheta = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (cosTheta < 0.0f) {
    const QUATERNION nb = {-b.x, -b.y, -b.z, -b.w};
    MatrixQuaternionSlerp(out, a, nb, t);
    return;
  }
  const float theta = std::acos(std::fmin(cosTheta, 1.0f));
  if (theta == 0.0f) {
    out = a;
    return;
  }
  const double sinTheta = std::sin((double)theta);
  const float wa = (float)(std::sin((double)(theta * (1.0f - t))) / sinTheta);
  const float wb = (float)(std::sin((double)(t * theta)) / sinTheta);
  QUATERNION r = {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
  MatrixQuaternionNormalize(r);
  out = r;
}
