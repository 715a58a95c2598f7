#include "geometry/primitives/linear_solve.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Matrix = std::vector<std::vector<double>>;

// A x for a dense matrix.
std::vector<double> times(const Matrix& a, const std::vector<double>& x) {
  std::vector<double> r(a.size(), 0.0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (std::size_t j = 0; j < x.size(); ++j) r[i] += a[i][j] * x[j];
  }
  return r;
}

// A diagonally dominant random system of the given shape.
struct Banded {
  std::vector<double> sub, diag, sup, corner0, corner1, rhs;
  Matrix dense;
};

Banded randomSystem(int n, bool cyclic, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Banded s;
  s.sub.resize(n);
  s.diag.resize(n);
  s.sup.resize(n);
  s.rhs.resize(n);
  s.corner0.assign(n, 0.0);
  s.corner1.assign(n, 0.0);
  s.dense.assign(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i) {
    s.sub[i] = u(rng);
    s.sup[i] = u(rng);
    s.diag[i] = 4.0 + u(rng);
    s.rhs[i] = 10 * u(rng);
    s.dense[i][i] = s.diag[i];
    if (i > 0) s.dense[i][i - 1] += s.sub[i];
    if (i + 1 < n) s.dense[i][i + 1] += s.sup[i];
  }
  if (cyclic) {
    s.corner1[0] = u(rng);  // row 0, column n-1
    s.corner0[0] = u(rng);  // row n-1, column 0
    s.dense[0][n - 1] += s.corner1[0];
    s.dense[n - 1][0] += s.corner0[0];
  }
  return s;
}

TEST(LinearSolve, TridiagonalMatchesTheDenseProductAndReusesItsFactors) {
  std::mt19937 rng(7);
  for (int n : {2, 3, 10, 57}) {
    Banded s = randomSystem(n, false, rng);
    const std::vector<double> b = s.rhs;
    std::vector<double> x = b;
    ASSERT_EQ(solveTridiagonal(n, s.sub.data(), s.diag.data(), s.sup.data(), x.data(), 0), 0);
    const std::vector<double> back = times(s.dense, x);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(back[i], b[i], 1e-10) << n;
    std::vector<double> b2(n, 1.0), x2 = b2;
    ASSERT_EQ(solveTridiagonal(n, s.sub.data(), s.diag.data(), s.sup.data(), x2.data(), 1), 0);
    const std::vector<double> back2 = times(s.dense, x2);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(back2[i], 1.0, 1e-10);
  }
}

TEST(LinearSolve, CyclicTridiagonalMatchesTheDenseProduct) {
  std::mt19937 rng(11);
  for (int n : {3, 4, 9, 40}) {
    Banded s = randomSystem(n, true, rng);
    const std::vector<double> b = s.rhs;
    std::vector<double> x = b;
    ASSERT_EQ(solveCyclicTridiagonal(n, s.sub.data(), s.diag.data(), s.sup.data(), s.corner0.data(),
                                     s.corner1.data(), x.data(), 0),
              0);
    const std::vector<double> back = times(s.dense, x);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(back[i], b[i], 1e-10) << n;
    std::vector<double> x2(n, 1.0);
    ASSERT_EQ(solveCyclicTridiagonal(n, s.sub.data(), s.diag.data(), s.sup.data(), s.corner0.data(),
                                     s.corner1.data(), x2.data(), 1),
              0);
    const std::vector<double> back2 = times(s.dense, x2);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(back2[i], 1.0, 1e-10);
  }
}

TEST(LinearSolve, RefusedShapesAndPivots) {
  double a[2] = {0, 0}, d[2] = {5, 5}, c[2] = {0, 0}, r[2] = {1, 2};
  EXPECT_EQ(solveTridiagonal(1, a, d, c, r, 0), 1);
  EXPECT_EQ(r[0], 1.0) << "nothing changes";
  EXPECT_EQ(solveTridiagonal(2, nullptr, d, c, r, 0), 1);
  double z[2] = {0, 0};
  EXPECT_EQ(solveTridiagonal(2, a, z, c, r, 0), 2);
  double w0[2] = {0, 0}, w1[2] = {0, 0};
  EXPECT_EQ(solveCyclicTridiagonal(2, a, d, c, w0, w1, r, 0), 1);
}

TEST(LinearSolve, GaussJordanInvertsAndSolves) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {1, 3, 8}) {
    std::vector<double> a(n * n), b(n * 2);
    for (double& v : a) v = u(rng);
    for (int i = 0; i < n; ++i) a[i * n + i] += 3.0;
    for (double& v : b) v = u(rng);
    const std::vector<double> a0 = a, b0 = b;
    ASSERT_EQ(solveGaussJordan(a.data(), static_cast<int16_t>(n), b.data(), 2), 0);
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < 2; ++k) {
        double s = 0;
        for (int j = 0; j < n; ++j) s += a0[i * n + j] * b[j * 2 + k];
        EXPECT_NEAR(s, b0[i * 2 + k], 1e-10);
      }
      for (int k = 0; k < n; ++k) {
        double s = 0;
        for (int j = 0; j < n; ++j) s += a0[i * n + j] * a[j * n + k];
        EXPECT_NEAR(s, i == k ? 1.0 : 0.0, 1e-10) << "a holds the inverse";
      }
    }
  }
  double singular[4] = {1, 2, 2, 4}, rhs[2] = {1, 1};
  EXPECT_EQ(solveGaussJordan(singular, 2, rhs, 1), -1);
  std::vector<double> big(101 * 101, 1.0);
  EXPECT_EQ(solveGaussJordan(big.data(), 101, nullptr, 0), -1) << "more than 100 unknowns";
}

}  // namespace
