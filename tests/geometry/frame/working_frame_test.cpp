#include "geometry/frame/working_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

const Vec3d kOrigin{0, 0, 0};
const Vec3d kX{1, 0, 0};
const Vec3d kY{0, 1, 0};
const Vec3d kZ{0, 0, 1};

void expectNear(const Vec3d& a, const Vec3d& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

Vec3d mapped(void (*map)(Vec3d*), Vec3d p) {
  map(&p);
  return p;
}

// Every test starts from the state of a fresh run.
class WorkingFrameTest : public testing::Test {
 protected:
  void SetUp() override { frameReset(); }
  void TearDown() override { frameReset(); }
};

TEST_F(WorkingFrameTest, InitialMapsAreIdentity) {
  EXPECT_EQ(frameCurrent().frameActive, 0);
  EXPECT_EQ(frameCurrent().frameScale, 1.0);
  const Vec3d p{1.5, -2.25, 7};
  for (auto map : {framePtWorldToTool, framePtToolToWorld, framePtToolToNc, framePtNcToTool}) {
    expectNear(mapped(map, p), p, 0);
  }
  EXPECT_EQ(frameSystemsEqual(), 1);
  EXPECT_EQ(frameToolAxisDiffers(), 0);
}

// Through the identity, tool points reach the NC system with the values of
// the full product, zeros and their signs included.
TEST_F(WorkingFrameTest, ToolToNcThroughTheIdentityGivesTheValuesOfTheProduct) {
  const Vec3d points[] = {{-0.0, 0.0, -0.0}, {1.5, -0.0, 3}, {-1e-300, 1e300, -7.25}};
  Mat4 identity;
  mat4Identity(&identity);
  for (const Vec3d& p : points) {
    Vec3d want;
    mat4ApplyPoint(&p, &identity, &want);
    const Vec3d got = mapped(framePtToolToNc, p);
    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << p.x << " " << p.y << " " << p.z;
  }
}

TEST_F(WorkingFrameTest, ShiftedToolSystemWithScaleRoundTrips) {
  const Vec3d toolOrigin{10, 0, 0};
  frameSetNcSystem(&kOrigin, &kX, &kY, &kZ);
  frameSetToolSystem(&toolOrigin, &kX, &kY, &kZ);
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(2.0), 1);
  EXPECT_EQ(frameCurrent().frameActive, 1);

  const Vec3d world{10, 5, 0};
  const Vec3d internal = mapped(framePtWorldToTool, world);
  expectNear(internal, {0, 10, 0}, 1e-15);
  expectNear(mapped(framePtToolToNc, internal), {10, 5, 0}, 1e-15);
  expectNear(mapped(framePtToolToWorld, internal), world, 1e-15);
  expectNear(mapped(framePtNcToTool, {10, 5, 0}), internal, 1e-15);
  EXPECT_EQ(frameSystemsEqual(), 0);
  EXPECT_EQ(frameToolAxisDiffers(), 0);  // origins are not compared
}

TEST_F(WorkingFrameTest, RotateToolTurnsAboutItsOwnZ) {
  const Vec3d origin{1, 2, 3};
  frameSetToolSystem(&origin, &kX, &kY, &kZ);
  frameRotateTool(90);
  const Mat4& m = frameCurrent().frameToolMat;
  expectNear({m.m[0][0], m.m[0][1], m.m[0][2]}, kY, 1e-15);
  expectNear({m.m[1][0], m.m[1][1], m.m[1][2]}, {-1, 0, 0}, 1e-15);
  expectNear({m.m[2][0], m.m[2][1], m.m[2][2]}, kZ, 0);
  expectNear({m.m[3][0], m.m[3][1], m.m[3][2]}, origin, 0);
}

TEST_F(WorkingFrameTest, ScaleSetBeforeActivationIsLost) {
  ASSERT_EQ(frameScaleMultiply(5.0), 1);
  ASSERT_EQ(frameActivate(), 1);
  EXPECT_EQ(frameCurrent().frameScale, 1.0);
  expectNear(mapped(framePtWorldToTool, {1, 2, 3}), {1, 2, 3}, 0);
}

TEST_F(WorkingFrameTest, ScaleThatCannotBeInvertedIsRejected) {
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(4.0), 1);
  for (double f : {0.0, -0.0, std::nan(""), HUGE_VAL, 1e-320}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(frameScaleMultiply(f), -1);
    EXPECT_EQ(frameCurrent().frameScale, 4.0);
  }
  const Vec3d back = mapped(framePtToolToWorld, {4, 8, 12});
  expectNear(back, {1, 2, 3}, 0);
}

TEST_F(WorkingFrameTest, ToolAxisDiffersAtTheLibraryTolerance) {
  struct Case {
    double dy;
    int differs;
  };
  const Case cases[] = {{2e-5, 1}, {1.1e-5, 1}, {0.9e-5, 0}, {5e-6, 0}, {-2e-5, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dy);
    const Vec3d z{0, c.dy, 1};
    frameSetNcSystem(&kOrigin, &kX, &kY, &kZ);
    frameSetToolSystem(&kOrigin, &kX, &kY, &z);
    EXPECT_EQ(frameToolAxisDiffers(), c.differs);
  }
}

TEST_F(WorkingFrameTest, SingularSystemsLeaveTheFrameInactive) {
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(3.0), 1);
  frameSetToolSystem(&kOrigin, &kX, &kX, &kX);
  EXPECT_EQ(frameActivate(), -1);
  EXPECT_EQ(frameCurrent().frameActive, 0);
  EXPECT_EQ(frameCurrent().frameScale, 1.0);

  frameSetToolSystem(&kOrigin, &kX, &kY, &kZ);
  frameSetNcSystem(&kOrigin, &kY, &kY, &kZ);
  EXPECT_EQ(frameActivate(), -1);
  EXPECT_EQ(frameCurrent().frameActive, 0);
}

TEST_F(WorkingFrameTest, ResetRestoresTheInitialState) {
  const Vec3d origin{3, 4, 5};
  frameSetToolSystem(&origin, &kY, &kZ, &kX);
  frameSetNcSystem(&origin, &kX, &kY, &kZ);
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(2.5), 1);
  frameReset();
  EXPECT_EQ(frameCurrent().frameActive, 0);
  EXPECT_EQ(frameCurrent().frameScale, 1.0);
  for (auto map : {framePtWorldToTool, framePtToolToWorld, framePtToolToNc, framePtNcToTool}) {
    expectNear(mapped(map, {1, 2, 3}), {1, 2, 3}, 0);
  }
}

struct DirectionRow {
  const char* name;
  Vec3d d;
  Vec3d u, v, z;  // expected axes
};

// Both systems get the axes u, v and the unit direction, at the origin.
TEST_F(WorkingFrameTest, FrameFromDirectionBuildsItsAxes) {
  const DirectionRow rows[] = {
      {"up", {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {"down", {0, 0, -1}, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
      {"along x", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {"along y", {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      // A longer direction is the same frame: heights are not stretched.
      {"up, not a unit vector", {0, 0, 2}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
  };
  for (const DirectionRow& row : rows) {
    SCOPED_TRACE(row.name);
    frameReset();
    ASSERT_EQ(frameScaleMultiply(3.0), 1);
    ASSERT_EQ(frameSetFromDirection(&row.d), 1);
    const WorkingFrame& f = frameCurrent();
    EXPECT_EQ(f.frameActive, 1);
    EXPECT_EQ(f.frameScale, 1.0);
    EXPECT_EQ(frameSystemsEqual(), 1);
    const Mat4& m = f.frameToolMat;
    expectNear({m.m[0][0], m.m[0][1], m.m[0][2]}, row.u, 1e-15);
    expectNear({m.m[1][0], m.m[1][1], m.m[1][2]}, row.v, 1e-15);
    expectNear({m.m[2][0], m.m[2][1], m.m[2][2]}, row.z, 1e-15);
    expectNear({m.m[3][0], m.m[3][1], m.m[3][2]}, kOrigin, 0);
    // A point one unit along the direction lies one unit up in the frame.
    expectNear(mapped(framePtWorldToTool, row.z), kZ, 1e-15);
  }
}

TEST_F(WorkingFrameTest, FrameFromAnOddDirectionIsOrthonormal) {
  const Vec3d d{1, 2, -2};
  ASSERT_EQ(frameSetFromDirection(&d), 1);
  const Mat4& m = frameCurrent().frameToolMat;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double dot = 0;
      for (int k = 0; k < 3; ++k) dot += m.m[i][k] * m.m[j][k];
      EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-15) << i << " " << j;
    }
  }
  expectNear({m.m[2][0], m.m[2][1], m.m[2][2]}, {1.0 / 3, 2.0 / 3, -2.0 / 3}, 1e-15);
  // Right-handed: u x v = d.
  const Vec3d u{m.m[0][0], m.m[0][1], m.m[0][2]};
  const Vec3d v{m.m[1][0], m.m[1][1], m.m[1][2]};
  expectNear({u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x},
             {1.0 / 3, 2.0 / 3, -2.0 / 3}, 1e-15);
}

TEST_F(WorkingFrameTest, FrameFromNoDirectionFailsAndKeepsTheFrame) {
  const Vec3d toolOrigin{10, 0, 0};
  frameSetToolSystem(&toolOrigin, &kX, &kY, &kZ);
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(2.0), 1);
  const Vec3d bad[] = {{0, 0, 0}, {0, 0, 5e-6}, {std::nan(""), 0, 1}, {HUGE_VAL, 0, 0}};
  for (const Vec3d& d : bad) {
    SCOPED_TRACE(d.x);
    SCOPED_TRACE(d.z);
    EXPECT_EQ(frameSetFromDirection(&d), -1);
    EXPECT_EQ(frameCurrent().frameScale, 2.0);
    expectNear(mapped(framePtWorldToTool, {10, 0, 0}), kOrigin, 0);
  }
}

// An orthonormal right-handed system from two random directions.
void randomSystem(std::mt19937& rng, Vec3d* o, Vec3d* x, Vec3d* y, Vec3d* z) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const auto unit = [](Vec3d v) {
    const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Vec3d{v.x / l, v.y / l, v.z / l};
  };
  const auto cross = [](const Vec3d& a, const Vec3d& b) {
    return Vec3d{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  *o = {100 * u(rng), 100 * u(rng), 100 * u(rng)};
  *z = unit({u(rng), u(rng), u(rng)});
  *x = unit(cross({u(rng), u(rng), u(rng)}, *z));
  *y = cross(*z, *x);
}

TEST_F(WorkingFrameTest, MapsAreConsistentForRandomSystems) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(-50.0, 50.0);
  for (int n = 0; n < 100; ++n) {
    Vec3d to, tx, ty, tz, no, nx, ny, nz;
    randomSystem(rng, &to, &tx, &ty, &tz);
    randomSystem(rng, &no, &nx, &ny, &nz);
    frameReset();
    frameSetNcSystem(&no, &nx, &ny, &nz);
    frameSetToolSystem(&to, &tx, &ty, &tz);
    frameRotateTool(u(rng));
    ASSERT_EQ(frameActivate(), 1);
    ASSERT_EQ(frameScaleMultiply(0.5 + std::fabs(u(rng))), 1);

    const Vec3d world{u(rng), u(rng), u(rng)};
    const Vec3d internal = mapped(framePtWorldToTool, world);
    expectNear(mapped(framePtToolToWorld, internal), world, 1e-10);
    const Vec3d nc = mapped(framePtToolToNc, internal);
    expectNear(mapped(framePtNcToTool, nc), internal, 1e-10);
    // NC coordinates of a world point, from the NC system directly.
    const Vec3d rel{world.x - no.x, world.y - no.y, world.z - no.z};
    expectNear(
        nc,
        {rel.x * nx.x + rel.y * nx.y + rel.z * nx.z, rel.x * ny.x + rel.y * ny.y + rel.z * ny.z,
         rel.x * nz.x + rel.y * nz.y + rel.z * nz.z},
        1e-10);
  }
}

}  // namespace
