// Vector and quaternion value types and their operations.
//
// Plain single-precision records handed around by value. Used by the scene
// evaluation (node transforms), the mesh drawing and the normal fix-up.
#pragma once

struct _VECTOR3 {
  float x, y, z;
};
typedef _VECTOR3 VECTOR3;

// (0, 0, 0, 1) is the identity rotation; w is the scalar part.
struct QUATERNION {
  float x, y, z, w;
};

// out = a + (b - a) * t, per component.
void MatrixVec3Lerp(VECTOR3& out, const VECTOR3& a, const VECTOR3& b, float t);
// No zero-length guard: callers pass non-zero vectors.
void MatrixVec3Normalize(VECTOR3& out, const VECTOR3& in);
// Scales q to unit length in place; a zero quaternion is left unchanged.
void MatrixQuaternionNormalize(QUATERNION& q);
// Spherical interpolation from a (t = 0) to b (t = 1), the short way round.
// A t outside [0, 1] prints "MatrixQuaternionSlerp : Bad parameters" and
// gives the identity.
void MatrixQuaternionSlerp(QUATERNION& out, const QUATERNION& a, const QUATERNION& b, float t);
