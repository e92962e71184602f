#include "math/Matrix.h"

#include <cmath>
#include <cstdio>

void MatrixIdentity(MATRIX& out) {
  for (int i = 0; i < 16; ++i) out.f[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void MatrixMultiply(MATRIX& out, const MATRIX& A, const MATRIX& B) {
  MATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.f[4 * i + j] = A.f[4 * i + 0] * B.f[0 + j] + A.f[4 * i + 1] * B.f[4 + j] + A.f[4 * i + 2] * B.f[8 + j] +
                       A.f[4 * i + 3] * B.f[12 + j];
  out = r;
}

void MatrixTranslation(MATRIX& out, float x, float y, float z) {
  MatrixIdentity(out);
  out.f[12] = x;
  out.f[13] = y;
  out.f[14] = z;
}

void MatrixScaling(MATRIX& out, float x, float y, float z) {
  for (float& v : out.f) v = 0.0f;
  out.f[0] = x;
  out.f[5] = y;
  out.f[10] = z;
  out.f[15] = 1.0f;
}

void MatrixRotationZ(MATRIX& out, float angle) {
  const float co = std::cos(angle), si = std::sin(angle);
  for (float& v : out.f) v = 0.0f;
  out.f[0] = co;
  out.f[1] = -si;
  out.f[4] = si;
  out.f[5] = co;
  out.f[10] = 1.0f;
  out.f[15] = 1.0f;
}

void MatrixInverse(MATRIX& out, const MATRIX& in) {
  const float* e = in.f;
  // Summing the positive and negative products apart lets the singularity
  // test compare the determinant with the size of its terms.
  double pos = 0.0, neg = 0.0;
  const float products[6] = {e[0] * e[5] * e[10],   e[4] * e[9] * e[2],     e[8] * e[1] * e[6],
                             -(e[8] * e[5]) * e[2], -(e[4] * e[1]) * e[10], -(e[0] * e[9]) * e[6]};
  for (float p : products) {
    if (p >= 0.0f)
      pos += (double)p;
    else
      neg += (double)p;
  }
  const double det = pos + neg;
  if (det == 0.0 || (det / (pos - neg) < 1e-15 && det / (pos - neg) > -1e-15)) {
    std::printf("Matrix has no inverse : singular matrix\n");
    return;
  }
  const float d = (float)(1.0 / det);
  MATRIX r;
  r.f[0] = (e[5] * e[10] - e[9] * e[6]) * d;
  r.f[1] = -(e[1] * e[10] - e[9] * e[2]) * d;
  r.f[2] = (e[1] * e[6] - e[5] * e[2]) * d;
  r.f[4] = -(e[4] * e[10] - e[8] * e[6]) * d;
  r.f[5] = (e[0] * e[10] - e[2] * e[8]) * d;
  r.f[6] = -(e[0] * e[6] - e[4] * e[2]) * d;
  r.f[8] = (e[4] * e[9] - e[5] * e[8]) * d;
  r.f[9] = -(e[0] * e[9] - e[8] * e[1]) * d;
  r.f[10] = (e[0] * e[5] - e[4] * e[1]) * d;
  r.f[12] = -(e[12] * r.f[0] + e[13] * r.f[4] + e[14] * r.f[8]);
  r.f[13] = -(e[12] * r.f[1] + e[13] * r.f[5] + e[14] * r.f[9]);
  r.f[14] = -(e[12] * r.f[2] + e[13] * r.f[6] + e[14] * r.f[10]);
  r.f[3] = r.f[7] = r.f[11] = 0.0f;
  r.f[15] = 1.0f;
  out = r;
}

void MatrixPerspectiveFovRH(MATRIX& out, float fovY, float aspect, float zNear, float zFar, bool rotate) {
  const float f = 1.0f / std::tan(fovY * 0.5f);
  const float a = rotate ? 1.0f / aspect : aspect;
  MATRIX r;
  for (float& v : r.f) v = 0.0f;
  r.f[0] = f / a;
  r.f[5] = f;
  r.f[10] = (zNear + zFar) / (zNear - zFar);
  r.f[11] = -1.0f;
  r.f[14] = (1.0f / (zNear - zFar)) * (zNear * (zFar + zFar));
  if (rotate) {
    MATRIX rz;
    MatrixRotationZ(rz, -1.5707964f);
    MatrixMultiply(r, r, rz);
  }
  out = r;
}

void MatrixRotationQuaternion(MATRIX& out, const QUATERNION& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  out.f[0] = 1.0f - 2.0f * y * y - 2.0f * z * z;
  out.f[1] = 2.0f * x * y - 2.0f * z * w;
  out.f[2] = 2.0f * x * z + 2.0f * y * w;
  out.f[3] = 0.0f;
  out.f[4] = 2.0f * x * y + 2.0f * z * w;
  out.f[5] = 1.0f - 2.0f * x * x - 2.0f * z * z;
  out.f[6] = 2.0f * y * z - 2.0f * x * w;
  out.f[7] = 0.0f;
  out.f[8] = 2.0f * x * z - 2.0f * y * w;
  out.f[9] = 2.0f * y * z + 2.0f * x * w;
  out.f[10] = 1.0f - 2.0f * x * x - 2.0f * y * y;
  out.f[11] = 0.0f;
  out.f[12] = out.f[13] = out.f[14] = 0.0f;
  out.f[15] = 1.0f;
}
