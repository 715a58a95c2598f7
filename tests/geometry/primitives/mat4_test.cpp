#include "geometry/primitives/mat4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <random>
#include <string>

namespace {

constexpr double kPi = std::numbers::pi;

Vec3d apply(const Vec3d& p, const Mat4& m) {
  Vec3d out;
  mat4ApplyPoint(&p, &m, &out);
  return out;
}

void expectNear(const Vec3d& a, const Vec3d& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

void expectIdentity(const Mat4& m, double tol) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(m.m[i][j], i == j ? 1.0 : 0.0, tol) << i << "," << j;
  }
}

Vec3d unit(const Vec3d& v) {
  const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

// Rodrigues' rotation of v about the unit direction k (right-handed).
Vec3d rodrigues(const Vec3d& v, const Vec3d& axis, double angle) {
  const Vec3d k = unit(axis);
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const double d = k.x * v.x + k.y * v.y + k.z * v.z;
  const Vec3d kxv{k.y * v.z - k.z * v.y, k.z * v.x - k.x * v.z, k.x * v.y - k.y * v.x};
  return {v.x * c + kxv.x * s + k.x * d * (1 - c), v.y * c + kxv.y * s + k.y * d * (1 - c),
          v.z * c + kxv.z * s + k.z * d * (1 - c)};
}

// A general affine frame: rotated, sheared and scaled axes plus an origin.
Mat4 randomFrame(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Mat4 m;
  mat4Identity(&m);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m.m[i][j] = u(rng) + (i == j ? 2.0 : 0.0);
  }
  for (int j = 0; j < 3; ++j) m.m[3][j] = 100.0 * u(rng);
  return m;
}

struct InvertCase {
  std::string name;
  Mat4 m;
};

Mat4 rotation(int code, double angle) {
  Mat4 m;
  mat4FromRotation(code, angle, &m);
  return m;
}

Mat4 permuted() {
  // Zero pivots in the first two columns: both need a lower row added.
  Mat4 m = {{{0, 0, 1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {5, -3, 2, 1}}};
  return m;
}

void PrintTo(const InvertCase& c, std::ostream* os) { *os << c.name; }

class Mat4InvertTest : public testing::TestWithParam<InvertCase> {};

TEST_P(Mat4InvertTest, ProductWithInverseIsIdentity) {
  const Mat4 m = GetParam().m;
  Mat4 inv;
  ASSERT_EQ(mat4Invert(&m, &inv), 0);
  Mat4 p;
  mat4Multiply(&m, &inv, &p);
  expectIdentity(p, 1e-12);
  mat4Multiply(&inv, &m, &p);
  expectIdentity(p, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mat4InvertTest,
    testing::Values(InvertCase{"rotation90AddsRow", rotation(kMat4RotXToY, kPi / 2)},
                    InvertCase{"rotation90AboutY", rotation(kMat4RotXToZ, kPi / 2)},
                    InvertCase{"permutedAxes", permuted()},
                    InvertCase{"identity", rotation(99, 1.0)},
                    // A pivot just above the tolerance is used as it is.
                    InvertCase{
                        "pivotAboveTolerance",
                        Mat4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.1e-5, 0}, {0, 0, 0, 1}}}}),
    [](const auto& info) { return info.param.name; });

TEST(Mat4Invert, RandomAffineFramesInvert) {
  std::mt19937 rng(1234);
  for (int n = 0; n < 200; ++n) {
    const Mat4 m = randomFrame(rng);
    Mat4 inv;
    ASSERT_EQ(mat4Invert(&m, &inv), 0);
    Mat4 p;
    mat4Multiply(&m, &inv, &p);
    expectIdentity(p, 1e-12);
  }
}

TEST(Mat4Invert, SingularMatricesFailAndLeaveOutputUnchanged) {
  Mat4 zeroLastColumn;
  mat4Identity(&zeroLastColumn);
  zeroLastColumn.m[3][3] = 0.0;
  Mat4 equalAxes = {{{1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}, {0, 0, 0, 1}}};
  // A pivot below the tolerance with no lower row to add counts as singular,
  // although the matrix could be inverted exactly.
  Mat4 pivotBelowTolerance = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0.9e-5, 0}, {0, 0, 0, 1}}};
  for (const Mat4& m : {zeroLastColumn, equalAxes, pivotBelowTolerance}) {
    Mat4 inv;
    const Vec3d marker{7, 8, 9};
    mat4FromTranslation(&marker, &inv);
    const Mat4 before = inv;
    EXPECT_EQ(mat4Invert(&m, &inv), -1);
    EXPECT_EQ(mat4Equal(&inv, &before), 1);
  }
}

TEST(Mat4Invert, InverseMayOverwriteItsInput) {
  Mat4 m = rotation(kMat4RotXToY, 0.3);
  const Mat4 original = m;
  ASSERT_EQ(mat4Invert(&m, &m), 0);
  Mat4 p;
  mat4Multiply(&original, &m, &p);
  expectIdentity(p, 1e-12);
}

TEST(Mat4, RotationCodesTurnTheNamedAxes) {
  struct Case {
    int code;
    Vec3d in;
    Vec3d out;
  };
  const Case cases[] = {
      {kMat4RotXToY, {1, 0, 0}, {0, 1, 0}}, {kMat4RotYToZ, {0, 1, 0}, {0, 0, 1}},
      {kMat4RotXToZ, {1, 0, 0}, {0, 0, 1}}, {7, {1, 2, 3}, {1, 2, 3}},
      {-1, {1, 2, 3}, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    expectNear(apply(c.in, rotation(c.code, kPi / 2)), c.out, 1e-15);
  }
}

TEST(Mat4, MultiplyAppliesLeftOperandFirst) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  for (int n = 0; n < 50; ++n) {
    const Mat4 a = randomFrame(rng);
    const Mat4 b = randomFrame(rng);
    Mat4 ab;
    mat4Multiply(&a, &b, &ab);
    const Vec3d p{u(rng), u(rng), u(rng)};
    expectNear(apply(p, ab), apply(apply(p, a), b), 1e-9);
    // In place: c may be an operand.
    Mat4 c = a;
    mat4Multiply(&c, &b, &c);
    EXPECT_EQ(mat4Equal(&c, &ab), 1);
  }
}

TEST(Mat4, EqualDecidesAtTheLibraryTolerance) {
  Mat4 a;
  mat4Identity(&a);
  Mat4 b = a;
  b.m[3][2] = 0.9e-5;
  EXPECT_EQ(mat4Equal(&a, &b), 1);
  b.m[3][2] = 1.1e-5;
  EXPECT_EQ(mat4Equal(&a, &b), 0);
  b.m[3][2] = std::nan("");
  EXPECT_EQ(mat4Equal(&a, &b), 0);
}

TEST(Mat4, FromAxesAndTranslationPlaceRows) {
  const Vec3d x{0, 1, 0}, y{-1, 0, 0}, z{0, 0, 2}, t{5, 6, 7};
  Mat4 axes, shift, m;
  mat4FromAxes(&x, &y, &z, &axes);
  mat4FromTranslation(&t, &shift);
  mat4Multiply(&axes, &shift, &m);
  expectNear(apply({1, 0, 0}, m), {5, 7, 7}, 0);
  expectNear(apply({0, 0, 1}, m), {5, 6, 9}, 0);
  EXPECT_EQ(m.m[0][3], 0.0);
  EXPECT_EQ(m.m[3][3], 1.0);
}

TEST(Vec3UnitCross, NormalizesOrReturnsTheRawProduct) {
  struct Case {
    const char* name;
    Vec3d a, b, out;
    int result;
  };
  const Case cases[] = {
      {"parallel", {1, 0, 0}, {2, 0, 0}, {0, 0, 0}, -1},
      {"justBelowTolerance", {1, 0, 0}, {1, 0.9e-5, 0}, {0, 0, 0.9e-5}, -1},
      {"justAboveTolerance", {1, 0, 0}, {1, 1.1e-5, 0}, {0, 0, 1}, 0},
      {"perpendicular", {0, 3, 0}, {0, 0, 2}, {1, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec3d out;
    EXPECT_EQ(vec3UnitCross(&c.a, &c.b, &out), c.result);
    expectNear(out, c.out, 1e-15);
  }
}

TEST(Vec3Tilt, ClampedStopsAtTheTarget) {
  const Vec3d v{1, 0, 0}, target{0, 1, 0};
  Vec3d out;
  EXPECT_EQ(vec3TiltTowardClamped(&out, &v, &target, 2.0), 1);
  expectNear(out, target, 0);
  EXPECT_EQ(vec3TiltTowardClamped(&out, &v, &target, 0.5), 0);
  expectNear(out, {std::cos(0.5), std::sin(0.5), 0}, 1e-15);
}

TEST(Vec3Tilt, TurnsInThePlaneTowardTheTarget) {
  const Vec3d v = unit({1, 1, 1});
  const Vec3d target = unit({-1, 2, 0.5});
  Vec3d out;
  ASSERT_EQ(vec3TiltToward(&out, &v, &target, 0.2), 0);
  // Still a unit vector, 0.2 rad from v and closer to target.
  EXPECT_NEAR(out.x * out.x + out.y * out.y + out.z * out.z, 1.0, 1e-14);
  EXPECT_NEAR(std::acos(out.x * v.x + out.y * v.y + out.z * v.z), 0.2, 1e-12);
  const double before = std::acos(v.x * target.x + v.y * target.y + v.z * target.z);
  const double after = std::acos(out.x * target.x + out.y * target.y + out.z * target.z);
  EXPECT_NEAR(before - after, 0.2, 1e-12);
  // In place.
  Vec3d w = v;
  ASSERT_EQ(vec3TiltToward(&w, &w, &target, 0.2), 0);
  expectNear(w, out, 1e-15);
}

TEST(Vec3Tilt, ParallelVectorsKeepTheStart) {
  const Vec3d v{0, 0, 1};
  for (const Vec3d target : {Vec3d{0, 0, 1}, Vec3d{0, 0, -1}}) {
    Vec3d out{9, 9, 9};
    EXPECT_EQ(vec3TiltToward(&out, &v, &target, 0.3), -1);
    expectNear(out, v, 0);
  }
}

TEST(Rotation, AboutLineExample) {
  Vec3d p{2, 0, 0};
  const Vec3d origin{1, 0, 0}, axis{0, 0, 1};
  ASSERT_EQ(ptRotateAboutLine(&p, &origin, &axis, kPi / 2), 1);
  expectNear(p, {1, 1, 0}, 1e-15);
}

TEST(Rotation, MatchesRodriguesOnRandomCases) {
  std::mt19937 rng(2026);
  std::uniform_real_distribution<double> u(-5.0, 5.0);
  std::uniform_real_distribution<double> ang(-2 * kPi, 2 * kPi);
  for (int n = 0; n < 1000; ++n) {
    const Vec3d axis = unit({u(rng), u(rng), u(rng)});
    const Vec3d origin{u(rng), u(rng), u(rng)};
    const Vec3d p{u(rng), u(rng), u(rng)};
    const double a = ang(rng);
    const Vec3d rel{p.x - origin.x, p.y - origin.y, p.z - origin.z};
    const Vec3d r = rodrigues(rel, axis, a);
    Vec3d q = p;
    ASSERT_EQ(ptRotateAboutLine(&q, &origin, &axis, a), 1);
    expectNear(q, {r.x + origin.x, r.y + origin.y, r.z + origin.z}, 1e-11);
    Vec3d v = p;
    ASSERT_EQ(vec3RotateAboutAxis(&v, nullptr, &axis, a), 1);
    expectNear(v, rodrigues(p, axis, a), 1e-11);
  }
}

TEST(Rotation, DegenerateAxes) {
  Vec3d v{0, 0, 3};
  const Vec3d zAxis{0, 0, 1};
  EXPECT_EQ(vec3RotateAboutAxis(&v, nullptr, &zAxis, 1.0), 0);
  expectNear(v, {0, 0, 3}, 0);
  Vec3d p{1, 2, 3};
  const Vec3d origin{0, 0, 0}, none{0, 0, 0};
  EXPECT_EQ(ptRotateAboutLine(&p, &origin, &none, 1.0), -1);
  expectNear(p, {1, 2, 3}, 0);
}

TEST(FrameFromOriginAxis, BuildsAFrameAroundTheAxis) {
  Mat4 m, inv;
  const Vec3d zero{0, 0, 0}, z{0, 0, 1};
  ASSERT_EQ(mat4FromOriginAxis(&zero, &z, &m, &inv), 1);
  expectIdentity(m, 0);
  expectIdentity(inv, 0);

  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-3.0, 3.0);
  for (int n = 0; n < 100; ++n) {
    const Vec3d origin{u(rng), u(rng), u(rng)};
    const Vec3d axis = n == 0 ? Vec3d{0, 0, -1} : unit({u(rng), u(rng), u(rng)});
    ASSERT_EQ(mat4FromOriginAxis(&origin, &axis, &m, &inv), 1);
    Mat4 p;
    mat4Multiply(&m, &inv, &p);
    expectIdentity(p, 1e-12);
    expectNear(apply({0, 0, 0}, m), origin, 1e-15);
    expectNear({m.m[2][0], m.m[2][1], m.m[2][2]}, axis, 0);
    // x and y are unit and perpendicular to the axis.
    for (int r = 0; r < 2; ++r) {
      const Vec3d row{m.m[r][0], m.m[r][1], m.m[r][2]};
      EXPECT_NEAR(row.x * row.x + row.y * row.y + row.z * row.z, 1.0, 1e-14);
      EXPECT_NEAR(row.x * axis.x + row.y * axis.y + row.z * axis.z, 0.0, 1e-14);
    }
  }
  const Vec3d none{0, 0, 0};
  EXPECT_EQ(mat4FromOriginAxis(&zero, &none, &m, &inv), -1);
}

}  // namespace
