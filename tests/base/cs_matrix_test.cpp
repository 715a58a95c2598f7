#include "base/cs_matrix.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Axes in columns: x' = (0, 1, 0), y' = (-1, 0, 0), z' = (0, 0, 2), origin
// (1, 2, 3).
CsMat sampleSystem() {
  CsMat m;
  csMatIdentity(&m);
  m.m[0][0] = 0;
  m.m[1][0] = 1;
  m.m[0][1] = -1;
  m.m[1][1] = 0;
  m.m[2][2] = 2;
  m.m[0][3] = 1;
  m.m[1][3] = 2;
  m.m[2][3] = 3;
  return m;
}

void expectIdentity(const CsMat& m) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.m[r][c], r == c ? 1 : 0, 1e-12) << r << "," << c;
  }
}

TEST(CsMatrix, MapsPointsWithAxesInColumns) {
  const CsMat m = sampleSystem();
  double p4[4];
  const double p[3] = {1, 0, 1};
  csMatTransformPoint(p4, &m, p);
  EXPECT_DOUBLE_EQ(p4[0], 1);  // origin + x' + z'
  EXPECT_DOUBLE_EQ(p4[1], 3);
  EXPECT_DOUBLE_EQ(p4[2], 5);
  EXPECT_DOUBLE_EQ(p4[3], 1);
  csPoint4Set(p4, 4, 5, 6);
  EXPECT_EQ(p4[3], 1);
}

TEST(CsMatrix, InverseUndoesTheMapping) {
  const CsMat m = sampleSystem();
  CsMat inv;
  csMatInverse(&inv, &m);
  const double p[3] = {0.5, -2, 7};
  double q[4], back[4];
  csMatTransformPoint(q, &m, p);
  csMatTransformPoint(back, &inv, q);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], p[i], 1e-12);
  EXPECT_NEAR(back[3], 1, 1e-12);

  // In place gives the same result.
  CsMat same = m;
  csMatInverse(&same, &same);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_DOUBLE_EQ(same.m[r][c], inv.m[r][c]);
  }
}

TEST(CsMatrix, SingularSystemInvertsToIdentity) {
  CsMat m = sampleSystem();
  for (int r = 0; r < 3; ++r) m.m[r][1] = 0;  // a zero y axis
  CsMat inv;
  csMatInverse(&inv, &m);
  expectIdentity(inv);

  m.m[0][0] = NAN;  // not a number is no axis system either
  csMatInverse(&inv, &m);
  expectIdentity(inv);
}

TEST(CsMatrix, CofactorSignFollowsPosition) {
  CsMat m;
  csMatIdentity(&m);
  m.m[0][1] = 3;
  // Deleting row 1 and column 0 leaves rows (3 0 0 | 0 1 0 | 0 0 1): det 3,
  // negated for an odd position.
  EXPECT_DOUBLE_EQ(csMatCofactor(&m, 1, 0), -3);
  EXPECT_DOUBLE_EQ(csMatCofactor(&m, 3, 3), 1);
}

}  // namespace
