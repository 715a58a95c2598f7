#include "geometry/primitives/geo2d.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geometry/primitives/integer_segment_pairs.h"

namespace {

// A contour node over a closed chain through pts, with its box.
struct Contour {
  std::vector<Seg2> segs;
  Kont2d node{};
  explicit Contour(const std::vector<Vec2d>& pts) {
    for (std::size_t i = 0; i < pts.size(); ++i) {
      const Vec2d& a = pts[i];
      const Vec2d& b = pts[(i + 1) % pts.size()];
      segs.push_back({a.x, a.y, b.x, b.y});
    }
    node.count = static_cast<int>(segs.size());
    node.capacity = node.count;
    node.segs = segs.data();
    node.xmin = node.ymin = 1e10;
    node.xmax = node.ymax = -1e10;
    for (const Vec2d& p : pts) {
      node.xmin = std::min(node.xmin, p.x);
      node.ymin = std::min(node.ymin, p.y);
      node.xmax = std::max(node.xmax, p.x);
      node.ymax = std::max(node.ymax, p.y);
    }
  }
};

const std::vector<Vec2d> kUnitSquare = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

TEST(Geo2dLines, TriangleAreaIsSignedByTurn) {
  const Vec2d a{0, 0}, b{2, 0}, c{0, 2};
  EXPECT_DOUBLE_EQ(geo2dTriangleArea(&a, &b, &c), 2.0);
  EXPECT_DOUBLE_EQ(geo2dTriangleArea(&a, &c, &b), -2.0);
  EXPECT_DOUBLE_EQ(geo2dTriangleArea(&a, &b, &b), 0.0);
}

TEST(Geo2dLines, LineEquationIsTheSignedDistance) {
  double a, b, c;
  const Seg2 x{0, 0, 1, 0};
  ASSERT_EQ(geo2dLineEquation(&x, &a, &b, &c), 1);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, -1.0);
  EXPECT_EQ(c, 0.0);
  const Seg2 slanted{1, 1, 4, 5};  // length 5
  ASSERT_EQ(geo2dLineEquation(&slanted, &a, &b, &c), 1);
  EXPECT_NEAR(a * 4 + b * 5 + c, 0.0, 1e-12);
  EXPECT_NEAR(a * (1 + 0.8) + b * (1 - 0.6) + c, 1.0, 1e-12);  // one unit to the right
  const Seg2 tiny{1, 1, 1 + 0.9e-12, 1};
  EXPECT_EQ(geo2dLineEquation(&tiny, &a, &b, &c), 0);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, 0.0);
  EXPECT_EQ(c, 0.0);
}

TEST(Geo2dLines, LineIntersect) {
  Vec2d out{7, 7};
  const Seg2 d1{0, 0, 1, 1}, d2{1, 0, 0, 1}, parallel{0, 1, 1, 2}, point{3, 3, 3, 3};
  EXPECT_EQ(geo2dLineIntersect(&d1, &d2, 1e-12, &out), 1);
  EXPECT_DOUBLE_EQ(out.x, 0.5);
  EXPECT_DOUBLE_EQ(out.y, 0.5);
  out = {7, 7};
  EXPECT_EQ(geo2dLineIntersect(&d1, &parallel, 1e-12, &out), 0);
  EXPECT_EQ(geo2dLineIntersect(&d1, &point, 1e-12, &out), 0);
  EXPECT_EQ(out.x, 7);
  // Lines beyond the segments still meet.
  const Seg2 far{10, 0, 10, 1};
  EXPECT_EQ(geo2dLineIntersect(&d1, &far, 1e-12, &out), 1);
  EXPECT_DOUBLE_EQ(out.y, 10.0);
}

struct InsideCase {
  const char* name;
  Vec2d p;
  int expected;
};
void PrintTo(const InsideCase& c, std::ostream* os) { *os << c.name; }

class PointInContour : public testing::TestWithParam<InsideCase> {};

TEST_P(PointInContour, EvenOddWithBoxGate) {
  // An L shape: its box holds points outside the polygon.
  Contour ell({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}});
  EXPECT_EQ(geo2dPointInContour(&GetParam().p, &ell.node), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PointInContour,
                         testing::Values(InsideCase{"inside_foot", {1.5, 0.5}, 1},
                                         InsideCase{"inside_stem", {0.5, 1.5}, 1},
                                         InsideCase{"notch_inside_box", {1.5, 1.5}, 0},
                                         InsideCase{"box_edge_outside_polygon", {2, 2}, 0},
                                         InsideCase{"outside_box", {3, 0.5}, 0},
                                         InsideCase{"left_of_box", {-0.1, 1}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PointInContourGate, NullAndTwoSegmentContoursAreOutside) {
  const Vec2d p{0.5, 0.2};
  EXPECT_EQ(geo2dPointInContour(&p, nullptr), 0);
  Contour two({{0, 0}, {1, 1}});
  EXPECT_EQ(geo2dPointInContour(&p, &two.node), 0);
  EXPECT_EQ(geo2dPointInContourMargin(&p, nullptr, 0.5), 0);
}

struct MarginCase {
  const char* name;
  Vec2d p;
  double margin;
  int expected;
};
void PrintTo(const MarginCase& c, std::ostream* os) { *os << c.name; }

class PointInContourMargin : public testing::TestWithParam<MarginCase> {};

TEST_P(PointInContourMargin, Table) {
  Contour square({{0, 0}, {4, 0}, {4, 4}, {0, 4}});
  const MarginCase& c = GetParam();
  EXPECT_EQ(geo2dPointInContourMargin(&c.p, &square.node, c.margin), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointInContourMargin,
    testing::Values(MarginCase{"outside_within_margin", {4.3, 2}, 0.5, 1},
                    MarginCase{"outside_beyond_margin", {4.7, 2}, 0.5, 0},
                    MarginCase{"outside_exactly_at_margin", {4.5, 2}, 0.5, 0},
                    MarginCase{"near_corner_by_end_distance", {4.3, 4.3}, 0.5, 1},
                    MarginCase{"inside_positive_margin", {2, 2}, 0.5, 1},
                    MarginCase{"inside_near_edge_negative", {3.7, 2}, -0.5, 0},
                    MarginCase{"inside_deep_negative", {2, 2}, -0.5, 1},
                    MarginCase{"inside_exactly_at_negative_margin", {3.5, 2}, -0.5, 0},
                    MarginCase{"zero_margin_inside", {1, 1}, 0.0, 1},
                    MarginCase{"zero_margin_outside", {5, 1}, 0.0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Geo2dProjection, ProjectOnSegment) {
  const Seg2 s{0, 0, 4, 0};
  Vec2d foot{9, 9};
  const Vec2d mid{1, 3}, beyond{5, -1}, end{4, 2};
  EXPECT_EQ(geo2dProjectOnSegment(&mid, &s, &foot), 1);
  EXPECT_DOUBLE_EQ(foot.x, 1.0);
  EXPECT_NEAR(foot.y, 0.0, 1e-15);
  EXPECT_EQ(geo2dProjectOnSegment(&beyond, &s, &foot), 0);
  EXPECT_DOUBLE_EQ(foot.x, 5.0);
  EXPECT_EQ(geo2dProjectOnSegment(&end, &s, &foot), 1);  // ends included
  const Seg2 point{1, 1, 1, 1};
  foot = {9, 9};
  EXPECT_EQ(geo2dProjectOnSegment(&mid, &point, &foot), 0);
  EXPECT_EQ(foot.x, 9);
  // A steep segment compares on y.
  const Seg2 steep{0, 0, 0.001, 4};
  const Vec2d side{1, 3.9};
  EXPECT_EQ(geo2dProjectOnSegment(&side, &steep, &foot), 1);
}

TEST(Geo2dProjection, ProjectsOntoSegment) {
  const Vec2d p{0.5, 1};
  const Seg2 s{0, 0, 1, 0}, pointLike{0, 0, 0.9e-5, 0}, short1{0, 0, 0.0009, 0},
      justLong{0, 0, 0.0011, 0};
  EXPECT_EQ(geo2dProjectsOntoSegment(&s, &p), 1);
  const Vec2d behind{-0.1, 1};
  EXPECT_EQ(geo2dProjectsOntoSegment(&s, &behind), 0);
  EXPECT_EQ(geo2dProjectsOntoSegment(&pointLike, &p), -3);
  EXPECT_EQ(geo2dProjectsOntoSegment(&short1, &p), -3);
  const Vec2d atShort{0.0005, 1};
  EXPECT_EQ(geo2dProjectsOntoSegment(&justLong, &atShort), 1);
}

TEST(Geo2dPoints, DistanceAndEqualityAtTolerance) {
  const Vec2d p{1, 2}, q{4, 6};
  EXPECT_DOUBLE_EQ(geo2dDistance(&p, &q), 5.0);
  const Vec2d in{1 + 0.9e-5, 2 - 0.9e-5}, out{1, 2 + 1.1e-5};
  EXPECT_EQ(geo2dPointsEqual(&p, &in, 1e-5), 1);
  EXPECT_EQ(geo2dPointsEqual(&p, &out, 1e-5), 0);
  EXPECT_EQ(geo2dPointsEqual(&p, &p, 0.0), 1);
}

struct CcwCase {
  const char* name;
  Vec2d a, b, c;
  int expected;
};
void PrintTo(const CcwCase& c, std::ostream* os) { *os << c.name; }

class Ccw : public testing::TestWithParam<CcwCase> {};

TEST_P(Ccw, Table) {
  const CcwCase& c = GetParam();
  EXPECT_EQ(geo2dCcw(&c.a, &c.b, &c.c), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ccw,
                         testing::Values(CcwCase{"left", {0, 0}, {1, 0}, {0, 1}, 1},
                                         CcwCase{"right", {0, 0}, {1, 0}, {0, -1}, -1},
                                         CcwCase{"c_equals_a", {0, 0}, {1, 0}, {0, 0}, 0},
                                         CcwCase{"c_behind_a", {0, 0}, {1, 0}, {-1, 0}, -1},
                                         CcwCase{"c_beyond_b", {0, 0}, {1, 0}, {2, 0}, 1},
                                         CcwCase{"c_between", {0, 0}, {2, 0}, {1, 0}, 0},
                                         CcwCase{"c_on_b", {0, 0}, {2, 2}, {2, 2}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SegmentsCross, TouchingAndDisjoint) {
  const Seg2 s{0, 0, 2, 0};
  const Seg2 touchEnd{2, 0, 3, 1}, cross{1, -1, 1, 1}, apart{0, 1, 2, 1}, boxesApart{3, -1, 4, 1},
      collinearOverlap{1, 0, 3, 0}, collinearApart{3, 0, 4, 0};
  EXPECT_EQ(geo2dSegmentsCross(&s, &touchEnd), 1);
  EXPECT_EQ(geo2dSegmentsCross(&s, &cross), 1);
  EXPECT_EQ(geo2dSegmentsCross(&s, &apart), 0);
  EXPECT_EQ(geo2dSegmentsCross(&s, &boxesApart), 0);
  EXPECT_EQ(geo2dSegmentsCross(&s, &collinearOverlap), 1);
  EXPECT_EQ(geo2dSegmentsCross(&s, &collinearApart), 0);
}

TEST(SegmentsCross, AgreesWithExactOrientationOnIntegerPoints) {
  const auto pairs = geometry_test::integerSegmentPairs(2024, 5000);
  int crossings = 0;
  for (const auto& [s, t, cross, orient] : pairs) {
    const Vec2d a{s.x0, s.y0}, b{s.x1, s.y1}, c{t.x0, t.y0};
    ASSERT_EQ(geo2dCcw(&a, &b, &c), orient);
    ASSERT_EQ(geo2dSegmentsCross(&s, &t), cross);
    ASSERT_EQ(geo2dSegmentsCross(&t, &s), cross);
    crossings += cross;
  }
  EXPECT_GT(crossings, 100);
}

}  // namespace
