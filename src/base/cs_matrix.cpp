#include "base/cs_matrix.h"

#include <cmath>
#include <cstring>

void csMatCopy(CsMat* dst, const CsMat* src) { std::memmove(dst->m, src->m, sizeof(dst->m)); }

void csMatIdentity(CsMat* m) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) m->m[r][c] = r == c ? 1.0 : 0.0;
  }
}

double* csMatTransformPoint(double* dst4, const CsMat* m, const double* p) {
  for (int r = 0; r < 4; ++r) {
    dst4[r] = m->m[r][0] * p[0] + m->m[r][1] * p[1] + m->m[r][2] * p[2] + m->m[r][3];
  }
  return dst4;
}

double* csPoint4Set(double* p4, double x, double y, double z) {
  p4[0] = x;
  p4[1] = y;
  p4[2] = z;
  p4[3] = 1.0;
  return p4;
}

double csMatCofactor(const CsMat* m, int row, int col) {
  double a[3][3];
  int ar = 0;
  for (int r = 0; r < 4; ++r) {
    if (r == row) continue;
    int ac = 0;
    for (int c = 0; c < 4; ++c) {
      if (c == col) continue;
      a[ar][ac++] = m->m[r][c];
    }
    ++ar;
  }
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  return (row + col) % 2 != 0 ? -det : det;
}

void csMatInverse(CsMat* out, const CsMat* m) {
  // The 4x4 determinant equals the upper-left 3x3 one for a last row of
  // 0 0 0 1, which is the cofactor of element (3, 3).
  const double d = csMatCofactor(m, 3, 3);
  CsMat inv;
  if (!(std::fabs(d) > kCsMatSingularDet)) {
    csMatIdentity(&inv);
  } else {
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) inv.m[j][i] = csMatCofactor(m, i, j) / d;
    }
  }
  csMatCopy(out, &inv);
}
