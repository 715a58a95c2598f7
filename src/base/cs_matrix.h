// Helpers for the kernel's coordinate-system matrices (CsMat): row-major
// 4x4 doubles with the axes in columns 0-2 and the origin in column 3, so a
// point maps to row r as m[r][0]*x + m[r][1]*y + m[r][2]*z + m[r][3].
// Homogeneous points are 4 doubles (x, y, z, w).  All pointers are caller
// owned; the functions keep no state and are safe on any thread.
#pragma once

// Column-major coordinate system: columns 0-2 hold the unit axes, column 3
// the origin; a point maps as M*p.  Element m[row][col].
struct CsMat {
  double m[4][4];
};

// The identity coordinate system (initialiser of the descriptors' frames).
constexpr CsMat kCsIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// Determinants below this size mark a singular axis system.
constexpr double kCsMatSingularDet = 1e-12;

// Copies the 16 values of src into dst.
void csMatCopy(CsMat* dst, const CsMat* src);

// Sets m to the identity.
void csMatIdentity(CsMat* m);

// dst4 = m * (x, y, z, 1) for p = (x, y, z); w of the result is 1 for a
// matrix whose last row is 0 0 0 1.  dst4 may not alias p.  Returns dst4.
double* csMatTransformPoint(double* dst4, const CsMat* m, const double* p);

// p4 = (x, y, z, 1); returns p4.
double* csPoint4Set(double* p4, double x, double y, double z);

// The determinant of the 3x3 matrix left after deleting row and col
// (0 to 3) from m, negated when row + col is odd.
double csMatCofactor(const CsMat* m, int row, int col);

// Inverse of an axis system (a matrix whose last row is 0 0 0 1): when the
// determinant d of the upper-left 3x3 part exceeds kCsMatSingularDet in
// size, out[j][i] = csMatCofactor(m, i, j) / d; otherwise out becomes the
// identity.  out may alias m.
void csMatInverse(CsMat* out, const CsMat* m);
