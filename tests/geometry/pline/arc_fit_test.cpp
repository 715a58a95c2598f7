// Arc fitting: the arcs it finds and refuses, the element walk, and the
// property that every input point stays within the tolerance of the lines
// and arcs it gives.

#include "geometry/pline/arc_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

struct PointsDeleter {
  void operator()(PathPoint* p) const { arcfitFreePoints(p); }
};
using Points = std::unique_ptr<PathPoint[], PointsDeleter>;

Points make(const std::vector<Vec2d>& xy) {
  return Points(arcfitMakePoints(xy.data(), static_cast<int>(xy.size())));
}

// n points on a circle of radius r around (cx, cy), angle step da from a0.
std::vector<Vec2d> circlePoints(int n, double r, double da, double a0 = 0, double cx = 0,
                                double cy = 0) {
  std::vector<Vec2d> xy;
  for (int i = 0; i < n; ++i) {
    xy.push_back({cx + r * std::cos(a0 + i * da), cy + r * std::sin(a0 + i * da)});
  }
  return xy;
}

// Arcs as (start, end) pairs in point order.
std::vector<std::pair<int, int>> arcsOf(const PathPoint* p, int count) {
  std::vector<std::pair<int, int>> arcs;
  for (int i = 0; i < count; ++i) {
    if (p[i].arcBegin != kPtMarkYes) continue;
    int e = i + 2;
    while (e < count && p[e].arcEnd != kPtMarkYes) ++e;
    arcs.emplace_back(i, e);
  }
  return arcs;
}

TEST(ArcfitAllocPoints, GivesFreshPointsAndOneZeroedSpare) {
  Points p(arcfitAllocPoints(3));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p[i].kind, kPtKindPath);
    EXPECT_EQ(p[i].arcBegin, kPtMarkNo);
    EXPECT_EQ(p[i].arcEnd, kPtMarkNo);
  }
  EXPECT_EQ(p[3].kind, 0);
  EXPECT_EQ(p[3].x, 0.0);
  EXPECT_EQ(arcfitAllocPoints(-1), nullptr);
  EXPECT_EQ(arcfitMakePoints(nullptr, 2), nullptr);
}

TEST(ArcfitGrowArcs, TwentyPointsOnARadiusOfFiftyAreOneArcWithinTheSagitta) {
  // Chords of 5 on radius 50: a sagitta of about 0.0625.
  const double da = 2 * std::asin(5.0 / 100);
  const auto xy = circlePoints(20, 50, da);
  Points loose = make(xy);
  EXPECT_EQ(arcfitGrowArcs(loose.get(), 20, 0.1, 1, 1000), 1);
  EXPECT_EQ(arcsOf(loose.get(), 20), (std::vector<std::pair<int, int>>{{0, 19}}));
  EXPECT_EQ(loose[0].kind, kPtKindArcCcw);
  EXPECT_NEAR(loose[1].x, 0, 1e-5);  // the centre
  EXPECT_NEAR(loose[1].y, 0, 1e-5);

  Points tight = make(xy);
  EXPECT_EQ(arcfitGrowArcs(tight.get(), 20, 0.01, 1, 1000), 0);
  EXPECT_TRUE(arcsOf(tight.get(), 20).empty());
}

TEST(ArcfitGrowArcs, AClockwiseArcIsMarkedClockwise) {
  const auto xy = circlePoints(12, 30, -0.08, 1.0, 5, -7);
  Points p = make(xy);
  EXPECT_EQ(arcfitGrowArcs(p.get(), 12, 0.05, 1, 1000), 1);
  ASSERT_EQ(arcsOf(p.get(), 12).size(), 1u);
  EXPECT_EQ(p[0].kind, kPtKindArcCw);
  EXPECT_NEAR(p[1].x, 5, 1e-5);
  EXPECT_NEAR(p[1].y, -7, 1e-5);
}

TEST(ArcfitGrowArcs, PointsOnALineNeverFormAnArc) {
  std::vector<Vec2d> xy;
  for (int i = 0; i < 30; ++i) xy.push_back({i * 1.5, i * 0.5});
  Points p = make(xy);
  EXPECT_EQ(arcfitGrowArcs(p.get(), 30, 0.1, 0.001, 1e9), 0);
}

TEST(ArcfitGrowArcs, RespectsTheRadiusLimits) {
  const auto xy = circlePoints(20, 0.05, 0.09);
  Points small = make(xy);
  EXPECT_EQ(arcfitGrowArcs(small.get(), 20, 0.001, 0.1, 10), 0);
  Points allowed = make(xy);
  EXPECT_EQ(arcfitGrowArcs(allowed.get(), 20, 0.001, 0.01, 10), 1);
  // rMax not above rMin means twice rMin.
  Points big = make(circlePoints(20, 50, 0.09));
  EXPECT_EQ(arcfitGrowArcs(big.get(), 20, 0.1, 20, 5), 0);
  Points bigOk = make(circlePoints(20, 50, 0.09));
  EXPECT_EQ(arcfitGrowArcs(bigOk.get(), 20, 0.1, 30, 5), 1);
}

TEST(ArcfitGrowArcs, MoreThanThreePointTwoRadiansGiveArcsThatSharePoints) {
  const int n = 60;
  Points p = make(circlePoints(n, 50, 0.09));  // 5.3 radians
  EXPECT_EQ(arcfitGrowArcs(p.get(), n, 0.1, 1, 1000), 1);
  const auto arcs = arcsOf(p.get(), n);
  // 35 chords of 4.498 make 157.4, below 3.2 radii (160); 36 would not.
  EXPECT_EQ(arcs, (std::vector<std::pair<int, int>>{{0, 35}, {35, 59}}));
  for (const auto& a : arcs) {
    EXPECT_NEAR(p[a.first + 1].x, 0, 1e-6);
    EXPECT_NEAR(p[a.first + 1].y, 0, 1e-6);
  }
  ASSERT_GE(arcs.size(), 2u);
  EXPECT_EQ(arcs.front().first, 0);
  EXPECT_EQ(arcs.back().second, n - 1);
  for (std::size_t k = 1; k < arcs.size(); ++k) {
    EXPECT_EQ(arcs[k].first, arcs[k - 1].second);
  }
  for (const auto& a : arcs) {
    // Each arc stays within 3.2 radians (chords of about 4.5 on radius 50).
    EXPECT_LE((a.second - a.first) * 0.09, 3.2 + 1e-9);
  }
}

TEST(ArcfitGrowArcs, RepeatedPointsBreakArcsWithoutFailing) {
  auto xy = circlePoints(16, 40, 0.1);
  xy[7] = xy[8];
  Points p = make(xy);
  arcfitGrowArcs(p.get(), 16, 0.1, 1, 1000);
  for (const auto& a : arcsOf(p.get(), 16)) EXPECT_TRUE(a.second <= 7 || a.first >= 8);
}

TEST(ArcfitRun, FewerThanFourPointsAreOnlyThinned) {
  Points p = make({{0, 0}, {1, 0}, {2, 0}});
  EXPECT_EQ(arcfitRun(p.get(), 3, 0.01, 0.1, 100, 100), 1);
  EXPECT_EQ(p[1].kind, kPtKindDropped);
  EXPECT_TRUE(arcsOf(p.get(), 3).empty());
}

TEST(ArcfitNextElement, WalksLinesPastDroppedPointsAndArcsToTheirEnd) {
  // A line up the y axis, then a quarter turn into an arc.
  std::vector<Vec2d> xy = {{0, -35}, {0, -30}, {0, -25}, {0, -20}, {0, -15}, {0, -10}};
  const auto arc = circlePoints(20, 50, 2 * std::asin(5.0 / 100), -M_PI / 2, 0, 45);
  xy.insert(xy.end(), arc.begin(), arc.end());
  const int n = static_cast<int>(xy.size());
  Points p = make(xy);
  EXPECT_EQ(arcfitRun(p.get(), n, 0.1, 1, 1000, 1000), 1);

  double x, y, z, cx = 0, cy = 0;
  int type = 0;
  ASSERT_EQ(arcfitFirstPoint(p.get(), n, &x, &y, &z), 0);
  EXPECT_EQ(y, -35);
  // The line: the middle points are dropped.
  int i = arcfitNextElement(0, p.get(), n, &type, &x, &y, &z, &cx, &cy);
  EXPECT_EQ(type, kArcfitLine);
  // The block covers the run but its last point: that one is reached by a
  // chord of its own.
  EXPECT_EQ(i, 4);
  EXPECT_EQ(p[3].kind, kPtKindDropped);
  int arcStart = i;
  while (type == kArcfitLine) {
    arcStart = i;
    i = arcfitNextElement(i, p.get(), n, &type, &x, &y, &z, &cx, &cy);
  }
  EXPECT_EQ(arcStart, 6);
  EXPECT_EQ(type, kArcfitArcCcw);
  EXPECT_NEAR(cx, 0, 1e-4);
  EXPECT_NEAR(cy, 45, 1e-4);
  EXPECT_EQ(i, n - 1);
  EXPECT_EQ(arcfitNextElement(i, p.get(), n, &type, &x, &y, &z, &cx, &cy), -1);
  EXPECT_EQ(type, -1);
  EXPECT_EQ(arcfitFirstPoint(p.get(), 0, &x, &y, &z), -1);
}

TEST(ArcfitNextElement, AnArcWithoutEndMarkIsNoElement) {
  Points p = make(circlePoints(6, 10, 0.1));
  p[1].arcBegin = kPtMarkYes;
  double x, y, z, cx, cy;
  int type = 0;
  EXPECT_EQ(arcfitNextElement(1, p.get(), 6, &type, &x, &y, &z, &cx, &cy), -1);
  EXPECT_EQ(type, -1);
}

// Property: random tangent chains of noisy lines and arcs.  Every input
// point lies within tol of the element that covers it: a line's chord, or a
// circle around the arc's centre; arcs turn one way around their centre.

std::vector<Vec2d> randomChain(std::mt19937& rng, double noise) {
  std::uniform_real_distribution<double> u01(0, 1);
  std::vector<Vec2d> xy;
  double x = 0, y = 0, heading = 0;
  auto put = [&](double px, double py) {
    xy.push_back({px + noise * (2 * u01(rng) - 1), py + noise * (2 * u01(rng) - 1)});
  };
  put(x, y);
  const int pieces = 3 + static_cast<int>(u01(rng) * 5);
  for (int k = 0; k < pieces; ++k) {
    const double step = 1.5 + 3 * u01(rng);
    if (u01(rng) < 0.5) {
      const int m = 3 + static_cast<int>(u01(rng) * 20);
      for (int i = 0; i < m; ++i) {
        x += step * std::cos(heading);
        y += step * std::sin(heading);
        put(x, y);
      }
    } else {
      const double r = 20 + 200 * u01(rng);
      const double turn = std::min(0.09, step / r) * (u01(rng) < 0.5 ? 1 : -1);
      const int m = 4 + static_cast<int>(u01(rng) * 40);
      const double cx = x - r * std::sin(heading) * (turn > 0 ? 1 : -1);
      const double cy = y + r * std::cos(heading) * (turn > 0 ? 1 : -1);
      double a = std::atan2(y - cy, x - cx);
      for (int i = 0; i < m; ++i) {
        a += turn;
        heading += turn;
        x = cx + r * std::cos(a);
        y = cy + r * std::sin(a);
        put(x, y);
      }
    }
  }
  return xy;
}

double segmentDistance(Vec2d p, Vec2d a, Vec2d b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double dd = dx * dx + dy * dy;
  double t = dd > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / dd : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

TEST(ArcfitRun, EveryPointStaysWithinTheToleranceOfItsLineOrArc) {
  std::mt19937 rng(20261210);
  int arcsSeen = 0, linesSeen = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const double tol = trial % 2 == 0 ? 0.05 : 0.01;
    const auto xy = randomChain(rng, tol / 4);
    const int n = static_cast<int>(xy.size());
    Points p = make(xy);
    arcfitRun(p.get(), n, tol, 0.5, 1000, 50);

    int i = 0, type = 0;
    double x, y, z, cx = 0, cy = 0;
    ASSERT_EQ(arcfitFirstPoint(p.get(), n, &x, &y, &z), 0);
    while (i < n - 1) {
      const int j = arcfitNextElement(i, p.get(), n, &type, &x, &y, &z, &cx, &cy);
      ASSERT_GT(j, i) << "trial " << trial;
      EXPECT_EQ(x, xy[static_cast<std::size_t>(j)].x);
      if (type == kArcfitLine) {
        ++linesSeen;
        for (int k = i + 1; k < j; ++k) {
          EXPECT_LE(segmentDistance(xy[k], xy[i], xy[j]), tol) << "trial " << trial << " k " << k;
        }
      } else {
        ++arcsSeen;
        ASSERT_GE(j, i + 3);
        double lo = 1e300, hi = 0;
        for (int k = i; k <= j; ++k) {
          const double d = std::hypot(xy[k].x - cx, xy[k].y - cy);
          lo = std::min(lo, d);
          hi = std::max(hi, d);
        }
        EXPECT_LE((hi - lo) / 2, tol) << "trial " << trial << " arc " << i << ".." << j;
        const double sense = type == kArcfitArcCcw ? 1 : -1;
        for (int k = i; k < j; ++k) {
          const double ax = xy[k].x - cx, ay = xy[k].y - cy;
          const double bx = xy[k + 1].x - cx, by = xy[k + 1].y - cy;
          EXPECT_GT(sense * (ax * by - ay * bx), 0) << "trial " << trial << " k " << k;
        }
      }
      i = j;
    }
    EXPECT_EQ(i, n - 1);
  }
  EXPECT_GT(arcsSeen, 100);
  EXPECT_GT(linesSeen, 100);
}

}  // namespace
