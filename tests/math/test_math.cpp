// Matrix, vector and quaternion operations, checked against GLM where the two
// agree and against fixed values where the engine's own conventions differ.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "math/Matrix.h"

namespace {

glm::mat4 G(const MATRIX& m) { return glm::make_mat4(m.f); }

float Rand(float lo, float hi) { return lo + (hi - lo) * (float)std::rand() / (float)RAND_MAX; }

MATRIX RandomAffine() {
  QUATERNION q = {Rand(-1, 1), Rand(-1, 1), Rand(-1, 1), Rand(-1, 1)};
  MatrixQuaternionNormalize(q);
  MATRIX r, s, t, m;
  MatrixRotationQuaternion(r, q);
  MatrixScaling(s, Rand(0.5f, 2), Rand(0.5f, 2), Rand(0.5f, 2));
  MatrixTranslation(t, Rand(-50, 50), Rand(-50, 50), Rand(-50, 50));
  MatrixMultiply(m, s, r);
  MatrixMultiply(m, m, t);
  return m;
}

void ExpectNear(const glm::mat4& a, const glm::mat4& b, float tol) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_NEAR(a[c][r], b[c][r], tol) << "column " << c << " row " << r;
}

}  // namespace

// Random affine matrices and unit quaternions against GLM: the product
// applies its first operand first (B * A in GL's reading), the inverse is
// GLM's, and a quaternion's matrix turns by its conjugate. Product and
// inverse give the same bits in place.
TEST(Matrix, ProductInverseAndQuaternionMatchGlm) {
  std::srand(7);
  for (int i = 0; i < 100; ++i) {
    const MATRIX a = RandomAffine(), b = RandomAffine();
    MATRIX out, in_place = a, right = b;
    MatrixMultiply(out, a, b);
    ExpectNear(G(out), G(b) * G(a), 1e-3f);
    // Either operand may be the output.
    MatrixMultiply(in_place, in_place, b);
    MatrixMultiply(right, a, right);
    for (int k = 0; k < 16; ++k) ASSERT_TRUE(in_place.f[k] == out.f[k] && right.f[k] == out.f[k]) << k;
    MatrixInverse(out, a);
    ExpectNear(G(out), glm::inverse(G(a)), 2e-3f);
    in_place = a;
    MatrixInverse(in_place, in_place);
    for (int k = 0; k < 16; ++k) ASSERT_EQ(in_place.f[k], out.f[k]) << k;
    QUATERNION q = {Rand(-1, 1), Rand(-1, 1), Rand(-1, 1), Rand(-1, 1)};
    MatrixQuaternionNormalize(q);
    MatrixRotationQuaternion(out, q);
    ExpectNear(G(out), glm::mat4_cast(glm::conjugate(glm::quat(q.w, q.x, q.y, q.z))), 1e-5f);
  }
}

TEST(Matrix, SingularMatrixIsReportedAndOutputKept) {
  MATRIX m;
  MatrixIdentity(m);
  m.f[4] = m.f[5] = m.f[6] = 0;  // a zero column in the 3x3 part
  MATRIX out;
  for (int i = 0; i < 16; ++i) out.f[i] = 42.0f + i;
  testing::internal::CaptureStdout();
  MatrixInverse(out, m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Matrix has no inverse : singular matrix\n");
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out.f[i], 42.0f + i);

  // The test is relative to the size of the terms: a matrix that is merely
  // small is not singular.
  MATRIX tiny;
  MatrixScaling(tiny, 1e-10f, 1e-10f, 1e-10f);
  testing::internal::CaptureStdout();
  MatrixInverse(out, tiny);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NEAR(out.f[0], 1e10f, 1e4f);
}

TEST(Matrix, BuildersMatchGlm) {
  MATRIX m;
  MatrixTranslation(m, 1, 2, 3);
  ExpectNear(G(m), glm::translate(glm::mat4(1), glm::vec3(1, 2, 3)), 0);
  MatrixScaling(m, 2, 3, 4);
  ExpectNear(G(m), glm::scale(glm::mat4(1), glm::vec3(2, 3, 4)), 0);
  // Element 1 = -sin: in GL's reading this turns by -angle about z.
  MatrixRotationZ(m, 0.3f);
  ExpectNear(G(m), glm::rotate(glm::mat4(1), -0.3f, glm::vec3(0, 0, 1)), 1e-6f);
  MatrixPerspectiveFovRH(m, 0.8f, 1.5f, 10.0f, 1000.0f, false);
  ExpectNear(G(m), glm::perspectiveRH_NO(0.8f, 1.5f, 10.0f, 1000.0f), 1e-4f);
}

TEST(Matrix, PerspectiveRotatedHasTheStatedElements) {
  const float fov = 0.9f, aspect = 320.0f / 480.0f, n = 20.0f, fa = 4000.0f;
  MATRIX plain, rot;
  MatrixPerspectiveFovRH(plain, fov, aspect, n, fa, false);
  MatrixPerspectiveFovRH(rot, fov, aspect, n, fa, true);
  const float f = 1.0f / std::tan(fov / 2);
  const float c = std::cos(-1.5707964f);
  EXPECT_NEAR(rot.f[1], f * aspect, 1e-5f);
  EXPECT_NEAR(rot.f[4], -f, 1e-5f);
  EXPECT_NEAR(rot.f[0], f * aspect * c, 1e-9f);
  EXPECT_NEAR(rot.f[5], f * c, 1e-9f);
  for (int i : {10, 11, 14, 15}) EXPECT_EQ(rot.f[i], plain.f[i]) << i;
}

TEST(Vector, LerpAndNormalize) {
  VECTOR3 out;
  MatrixVec3Lerp(out, VECTOR3{0, 0, 0}, VECTOR3{4, -8, 2}, 0.25f);
  EXPECT_FLOAT_EQ(out.x, 1);
  EXPECT_FLOAT_EQ(out.y, -2);
  EXPECT_FLOAT_EQ(out.z, 0.5f);
  MatrixVec3Normalize(out, VECTOR3{3, 0, 4});
  EXPECT_FLOAT_EQ(out.x, 0.6f);
  EXPECT_FLOAT_EQ(out.z, 0.8f);
  QUATERNION zero = {0, 0, 0, 0};
  MatrixQuaternionNormalize(zero);
  EXPECT_EQ(zero.w, 0.0f);
  QUATERNION q = {0, 3, 0, 4};
  MatrixQuaternionNormalize(q);
  EXPECT_FLOAT_EQ(q.y, 0.6f);
  EXPECT_FLOAT_EQ(q.w, 0.8f);
}

TEST(Vector, SlerpEdgeCases) {
  const QUATERNION a = {0, 0, 0.6f, 0.8f};
  QUATERNION b = {0.6f, 0, 0, 0.8f};
  QUATERNION out;
  // t = 0 with a != b: a, normalised.
  MatrixQuaternionSlerp(out, a, b, 0.0f);
  EXPECT_NEAR(out.z, 0.6f, 1e-6f);
  EXPECT_NEAR(out.w, 0.8f, 1e-6f);
  // a == b (unit length): an exact copy, not renormalised.
  MatrixQuaternionSlerp(out, a, a, 0.7f);
  EXPECT_EQ(out.z, a.z);
  EXPECT_EQ(out.w, a.w);
  // Out of range: identity and the message.
  testing::internal::CaptureStdout();
  MatrixQuaternionSlerp(out, a, b, 1.5f);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "MatrixQuaternionSlerp : Bad parameters\n");
  EXPECT_EQ(out.x, 0.0f);
  EXPECT_EQ(out.w, 1.0f);
}

// Random unit pairs, about half with a negative dot product, so the short
// way round (towards -b) is held to GLM as well.
TEST(Vector, SlerpMatchesGlm) {
  std::srand(9);
  for (int i = 0; i < 100; ++i) {
    QUATERNION a = {Rand(-1, 1), Rand(-1, 1), Rand(-1, 1), Rand(-1, 1)};
    QUATERNION b = {Rand(-1, 1), Rand(-1, 1), Rand(-1, 1), Rand(-1, 1)};
    MatrixQuaternionNormalize(a);
    MatrixQuaternionNormalize(b);
    const float t = Rand(0, 1);
    QUATERNION out;
    MatrixQuaternionSlerp(out, a, b, t);
    const glm::quat g = glm::slerp(glm::quat(a.w, a.x, a.y, a.z), glm::quat(b.w, b.x, b.y, b.z), t);
    EXPECT_NEAR(out.x, g.x, 2e-4f);
    EXPECT_NEAR(out.y, g.y, 2e-4f);
    EXPECT_NEAR(out.z, g.z, 2e-4f);
    EXPECT_NEAR(out.w, g.w, 2e-4f);
  }
}
