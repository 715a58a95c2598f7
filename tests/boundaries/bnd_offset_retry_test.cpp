#include "boundaries/bnd_offset_retry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/errors/error_state.h"
#include "geometry/primitives/primitives.h"

namespace {

namespace fs = std::filesystem;

std::vector<Seg2> chain(const std::vector<Vec2d>& pts, bool closed) {
  std::vector<Seg2> segs;
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    segs.push_back(Seg2{pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y});
  }
  if (closed) segs.push_back(Seg2{pts.back().x, pts.back().y, pts[0].x, pts[0].y});
  return segs;
}

double box(const Seg2* s, int n, bool max, bool y) {
  double v = y ? s[0].y0 : s[0].x0;
  for (int i = 0; i < n; ++i) {
    const double e = y ? s[i].y1 : s[i].x1;
    v = max ? std::max(v, e) : std::min(v, e);
  }
  return v;
}

TEST(BndOffsetRetryTest, ClosedContourInwardGoesThroughTheLoopOffset) {
  const std::vector<Seg2> square = chain({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);
  const int n = static_cast<int>(square.size());
  std::vector<Seg2> out(static_cast<size_t>(bndOffsetRetryCapacity(n)));
  const int o = seg2ChainOrientation(square.data(), n);
  const int m = bndOffsetRetry(square.data(), n, 1.0, out.data(), static_cast<int>(out.size()), o);
  ASSERT_EQ(m, 4);
  EXPECT_NEAR(box(out.data(), m, false, false), 1.0, 1e-9);
  EXPECT_NEAR(box(out.data(), m, true, false), 9.0, 1e-9);
  EXPECT_NEAR(box(out.data(), m, true, true), 9.0, 1e-9);
  // The input is never changed, and a contour that collapses fails.
  EXPECT_EQ(square[0].x1, 10.0);
  EXPECT_EQ(bndOffsetRetry(square.data(), n, 7.0, out.data(), static_cast<int>(out.size()), o), -1);
}

TEST(BndOffsetRetryTest, OpenChainsAndTooSmallInput) {
  const std::vector<Seg2> open = chain({{0, 0}, {10, 0}, {10, 10}}, false);
  std::vector<Seg2> out(64);
  EXPECT_GT(bndOffsetRetry(open.data(), 2, 1.0, out.data(), 64, 1), 0);
  EXPECT_EQ(bndOffsetRetry(open.data(), 1, 1.0, out.data(), 64, 1), -1);
  EXPECT_EQ(bndOffsetRetry(open.data(), 2, 1.0, out.data(), 0, 1), -1);  // no room
}

TEST(BndOffsetRetryTest, CapacityHoldsTheLoopOffsetOfSmallContours) {
  EXPECT_EQ(bndOffsetRetryCapacity(1), 13);
  EXPECT_EQ(bndOffsetRetryCapacity(4), 22);
  EXPECT_EQ(bndOffsetRetryCapacity(100), 400);
}

// The debug marker is read once per process: ctest runs every test case in
// a process of its own, so this one sets the marker before the first read.
TEST(BndOffsetRetryDebug, TheTwentyNinthCallWritesProblemBndWithTheMarkerOn) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("bnd_retry_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path marker = dir / "marker.info";
  std::ofstream(marker) << "DEBUG 1\n";
  ASSERT_EQ(setenv("TESSARO_VYRDEBUG", marker.c_str(), 1), 0);
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  if (vyrDebugEnabled() != 1) GTEST_SKIP() << "debug marker already read in this process";
  bndOffsetRetryResetCounter();
  const std::vector<Seg2> square = chain({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);
  std::vector<Seg2> out(64);
  for (int call = 1; call <= 30; ++call) {
    bndOffsetRetry(square.data(), 4, 1.0, out.data(), 64, 1);
    EXPECT_EQ(fs::exists(dir / "problem.bnd"), call == 29) << call;
    if (call == 29) fs::rename(dir / "problem.bnd", dir / "first.bnd");
  }
  std::ifstream in(dir / "first.bnd");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "**BND 1 1.000000\nX0.000000 Y0.000000 Z0\nX10.000000 Y0.000000 Z0\n"
            "X10.000000 Y10.000000 Z0\nX0.000000 Y10.000000 Z0\nX0.000000 Y0.000000 Z0\n**END\n");
  fs::current_path(before);
  fs::remove_all(dir);
}

}  // namespace
