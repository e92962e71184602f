// 4x4 matrices in GL element order.
//
// Element 4*k + r is row r, column k of the matrix GL applies to column
// vectors; elements 12..14 hold the translation. The scene evaluation builds
// node and bone matrices with these, the drawing hands them to glMultMatrixf,
// the frame update builds its projection with MatrixPerspectiveFovRH.
//
// Composition: MatrixMultiply(out, A, B) transforms by A first, then by B.
// A world matrix is MatrixMultiply(out, local, parentWorld). Every function
// reads all of its inputs before it writes, so `out` may alias an input.
#pragma once

#include "math/Vector.h"

struct MATRIX {
  float f[16];
  float& operator[](int i) { return f[i]; }
  const float& operator[](int i) const { return f[i]; }
};

void MatrixIdentity(MATRIX& out);
void MatrixMultiply(MATRIX& out, const MATRIX& A, const MATRIX& B);
void MatrixTranslation(MATRIX& out, float x, float y, float z);
void MatrixScaling(MATRIX& out, float x, float y, float z);
void MatrixRotationZ(MATRIX& out, float angle);
// Inverse of an affine matrix (elements 3, 7, 11, 15 of the input ignored).
// A singular matrix prints "Matrix has no inverse : singular matrix" and
// leaves `out` untouched.
void MatrixInverse(MATRIX& out, const MATRIX& in);
// Right-handed perspective; with `rotate` the picture is turned a quarter
// turn for a device held in landscape.
void MatrixPerspectiveFovRH(MATRIX& out, float fovY, float aspect, float zNear, float zFar, bool rotate);
// Rotation by a unit quaternion. Read in GL's layout it turns column vectors
// by the conjugate of q; the scene files are written for exactly that.
void MatrixRotationQuaternion(MATRIX& out, const QUATERNION& q);
