#include "geometry/primitives/linear_solve.h"

#include <cmath>
#include <utility>
#include <vector>

int solveTridiagonal(int n, double* sub, double* diag, double* sup, double* rhs, int factored) {
  if (n <= 1 || sub == nullptr || diag == nullptr || sup == nullptr || rhs == nullptr) return 1;
  if (factored == 0) {
    for (int i = 1; i < n; ++i) {
      if (std::fabs(diag[i - 1]) < kSolvePivotTol) return 2;
      sub[i] /= diag[i - 1];
      diag[i] -= sub[i] * sup[i - 1];
    }
    if (std::fabs(diag[n - 1]) < kSolvePivotTol) return 2;
  }
  for (int i = 1; i < n; ++i) rhs[i] -= sub[i] * rhs[i - 1];
  rhs[n - 1] /= diag[n - 1];
  for (int i = n - 2; i >= 0; --i) rhs[i] = (rhs[i] - sup[i] * rhs[i + 1]) / diag[i];
  return 0;
}

// Rows 0 .. n-2 hold diag, sup and the last column (fillRow, with the
// superdiagonal of row n-2 folded into it); row n-1 holds its leading
// entries in fillColumn (with its subdiagonal folded into fillColumn[n-2])
// and its pivot in diag[n-1].  Elimination leaves the row multipliers in sub
// and the last-row multipliers in fillColumn.
int solveCyclicTridiagonal(int n, double* sub, double* diag, double* sup, double* fillColumn,
                           double* fillRow, double* rhs, int factored) {
  if (n <= 2 || sub == nullptr || diag == nullptr || sup == nullptr || fillColumn == nullptr ||
      fillRow == nullptr || rhs == nullptr) {
    return 1;
  }
  double* lastCol = fillRow;
  double* lastRow = fillColumn;
  if (factored == 0) {
    lastCol[n - 2] += sup[n - 2];
    lastRow[n - 2] += sub[n - 1];
    sup[n - 2] = 0;
    for (int i = 0; i < n - 1; ++i) {
      const double pivot = diag[i];
      if (std::fabs(pivot) < kSolvePivotTol) return 2;
      if (i + 1 <= n - 2) {
        const double f = sub[i + 1] / pivot;
        sub[i + 1] = f;
        diag[i + 1] -= f * sup[i];
        lastCol[i + 1] -= f * lastCol[i];
      }
      const double g = lastRow[i] / pivot;
      lastRow[i] = g;
      if (i + 1 <= n - 2) lastRow[i + 1] -= g * sup[i];
      diag[n - 1] -= g * lastCol[i];
    }
    if (std::fabs(diag[n - 1]) < kSolvePivotTol) return 2;
  }
  for (int i = 0; i < n - 1; ++i) {
    if (i + 1 <= n - 2) rhs[i + 1] -= sub[i + 1] * rhs[i];
    rhs[n - 1] -= lastRow[i] * rhs[i];
  }
  rhs[n - 1] /= diag[n - 1];
  for (int i = n - 2; i >= 0; --i) {
    const double next = i + 1 <= n - 2 ? sup[i] * rhs[i + 1] : 0.0;
    rhs[i] = (rhs[i] - next - lastCol[i] * rhs[n - 1]) / diag[i];
  }
  return 0;
}

int16_t solveGaussJordan(double* a, int16_t n, double* b, int16_t m) {
  if (a == nullptr || n < 1 || n > kGaussJordanMaxN || m < 0 || (m > 0 && b == nullptr)) {
    return -1;
  }
  std::vector<int> used(n, 0), rowOf(n), colOf(n);
  const auto A = [a, n](int r, int c) -> double& { return a[r * n + c]; };
  const auto B = [b, m](int r, int c) -> double& { return b[r * m + c]; };
  for (int step = 0; step < n; ++step) {
    double best = 0;
    int row = -1, col = -1;
    for (int r = 0; r < n; ++r) {
      if (used[r] == 1) continue;
      for (int c = 0; c < n; ++c) {
        if (used[c] != 0) {
          if (used[c] > 1) return -1;
          continue;
        }
        // The last of equal maxima wins.
        if (std::fabs(A(r, c)) >= best) {
          best = std::fabs(A(r, c));
          row = r;
          col = c;
        }
      }
    }
    if (col < 0) return -1;
    ++used[col];
    if (row != col) {
      for (int c = 0; c < n; ++c) std::swap(A(row, c), A(col, c));
      for (int c = 0; c < m; ++c) std::swap(B(row, c), B(col, c));
    }
    rowOf[step] = row;
    colOf[step] = col;
    if (std::fabs(A(col, col)) < kGaussJordanPivotTol) return -1;
    const double inv = 1.0 / A(col, col);
    A(col, col) = 1.0;
    for (int c = 0; c < n; ++c) A(col, c) *= inv;
    for (int c = 0; c < m; ++c) B(col, c) *= inv;
    for (int r = 0; r < n; ++r) {
      if (r == col) continue;
      const double f = A(r, col);
      A(r, col) = 0.0;
      for (int c = 0; c < n; ++c) A(r, c) -= A(col, c) * f;
      for (int c = 0; c < m; ++c) B(r, c) -= B(col, c) * f;
    }
  }
  for (int step = n - 1; step >= 0; --step) {
    if (rowOf[step] == colOf[step]) continue;
    for (int r = 0; r < n; ++r) std::swap(A(r, rowOf[step]), A(r, colOf[step]));
  }
  return 0;
}
