#include "output/adapter/spline_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/output_channels.h"
#include "support/record_capture.h"

namespace {

using V = std::vector<std::string>;

class SplineOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { outSetContext(&cap_.ctx); }
  void TearDown() override { outSetContext(nullptr); }
  V lines() {
    V out;
    for (const CapturedRecord& r : cap_.take()) {
      EXPECT_EQ(r.code, 4101);
      out.push_back(r.name);
    }
    return out;
  }
  RecordCapture cap_{32};
};

TEST_F(SplineOutputTest, DataBlockFormOfTwoSegments) {
  const Vec3d pts[3] = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}};
  Spline3dRec* s = spline3dInterpolate(pts, 3, kSplineChord);
  Spline3dLenTable* t = spline3dLenTableBuild(s);
  EXPECT_EQ(spline3dWriteDSpline(s, t, 250), 1);
  const V got = lines();
  ASSERT_EQ(got.size(), 3u + 2 * 13);
  EXPECT_EQ(V(got.begin(), got.begin() + 20), (V{"#D_SPLINE[0,1]",
                                                 "#D_SPLINE[2,3]",
                                                 "(------ DATA -----)",
                                                 "0",
                                                 "t0.0000",
                                                 "0.0000 10.0000 0.0000 0.0000",
                                                 "0.0000 0.0000 0.0000 0.0000",
                                                 "0.0000 0.0000 0.0000 0.0000",
                                                 "t1.0000",
                                                 "10.0000",
                                                 "0.0000 0.1000 0.0000 0.0000",
                                                 "F250.0000",
                                                 "1",
                                                 "0.0000 0.0000 0.0000 0.0000",
                                                 "0.0000 0.0000 0.0000 0.0000",
                                                 "1.0000 0.0000 0.0000 0.0000",
                                                 "2",
                                                 "t0.0000",
                                                 "10.0000 10.0000 0.0000 0.0000",
                                                 "0.0000 0.0000 0.0000 0.0000"}));
  spline3dLenTableFree(t);
  spline3dFree(s);
}

TEST_F(SplineOutputTest, PolynomialFormOfOneSegment) {
  const Vec3d pts[2] = {{0, 0, 0}, {1, 2, 3}};
  Spline3dRec* s = spline3dInterpolate(pts, 2, kSplineChord);
  EXPECT_EQ(spline3dWritePoly(s, 0), 1);
  EXPECT_EQ(lines(), (V{"G1 X0.000 Y0.000 Z0.000",
                        "POLY PO[X]=( 1.0000, 0.0000, 0.0000)PO[Y]=( 2.0000, 0.0000, 0.0000)"
                        "PO[Z]=( 3.0000, 0.0000, 0.0000)"}));
  spline3dFree(s);
}

TEST_F(SplineOutputTest, ANonCubicSegmentEndsTheOutput) {
  const Vec3d pts[3] = {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}};
  Spline3dRec* s = spline3dInterpolate(pts, 3, kSplineChord);
  s->segs[1].order = 3;
  spline3dWritePoly(s, 0);
  EXPECT_EQ(lines().size(), 2u) << "the start and the first segment";
  spline3dFree(s);
}

}  // namespace
