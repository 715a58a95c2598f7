#include "model/contact/torus_profile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Torus, LowerSurfaceValues) {
  const double r = 1.0, R = 3.0;
  EXPECT_DOUBLE_EQ(torusLowerZ(3.0, r, R, 0.0), -1.0);  // rho = R: lowest point
  EXPECT_DOUBLE_EQ(torusLowerZ(0.0, r, R, 3.0), -1.0);
  EXPECT_DOUBLE_EQ(torusLowerZ(4.5, r, R, 0.0), 0.0);  // beyond the rim
  EXPECT_DOUBLE_EQ(torusLowerZ(1.0, r, R, 0.0), 0.0);  // inside the hole
  EXPECT_NEAR(torusLowerZ(3.6, r, R, 0.0), -0.8, 1e-15);
}

// The slope of the lower torus surface along the line, by central
// differences.
double numericSlope(double t, double r, double R, double h) {
  const double d = 1e-7;
  return (torusLowerZ(t + d, r, R, h) - torusLowerZ(t - d, r, R, h)) / (2 * d);
}

TEST(Torus, SlopeSearchFindsTheNumericRoot) {
  struct Case {
    double r, R, h, slope;
  };
  const Case cases[] = {
      {1, 3, 0, 0.5}, {1, 3, 0, 3.0}, {2, 5, 1.5, 1.0}, {1, 3, 3.5, 0.2}, {0.5, 0.5, 0.2, 2.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << " " << c.R << " " << c.h << " " << c.slope);
    double t = -1.0;
    ASSERT_EQ(torusSlopeParam(&t, c.r, c.R, c.h, c.slope), 0);
    // Reference root: fine bisection of the numeric slope between the
    // lowest line of the tube and its rim (the slope grows along the line).
    double lo = (c.R < c.h ? 0.0 : std::sqrt(c.R * c.R - c.h * c.h)) + 1e-6;
    double hi = std::sqrt((c.r + c.R) * (c.r + c.R) - c.h * c.h) - 1e-6;
    for (int n = 0; n < 200 && hi - lo > 1e-12; ++n) {
      const double mid = 0.5 * (lo + hi);
      (numericSlope(mid, c.r, c.R, c.h) < c.slope ? lo : hi) = mid;
    }
    EXPECT_NEAR(t, 0.5 * (lo + hi), 1e-3);
  }
}

TEST(Torus, SlopeSearchFailsWhereNoPositionExists) {
  struct Case {
    const char* name;
    double r, R, h, slope;
  };
  const Case cases[] = {
      {"lineMissesTube", 1, 3, 4.5, 0.5},       {"lineTouchesRim", 1, 3, 4.0, 0.5},
      {"negativeSlopeNeverMet", 1, 3, 0, -0.5}, {"nanSlope", 1, 3, 0, std::nan("")},
      {"nanRadius", std::nan(""), 3, 0, 0.5},   {"infiniteDistance", 1, 3, INFINITY, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double t = 42.0;
    EXPECT_EQ(torusSlopeParam(&t, c.r, c.R, c.h, c.slope), -1);
    EXPECT_EQ(t, 42.0);
  }
}

}  // namespace
