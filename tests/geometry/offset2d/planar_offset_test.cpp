#include "geometry/offset2d/planar_offset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "geometry/offset2d/test_chains.h"
#include "geometry/primitives/primitives.h"

namespace {

using offset2d_test::Chain;
using offset2d_test::polyline;

// Signed area of the polygon through the segment starts (counter-clockwise
// positive).
double signedArea(const Chain& c) {
  double a = 0.0;
  for (const Seg2& s : c) a += s.x0 * s.y1 - s.x1 * s.y0;
  return a / 2.0;
}

struct Offset {
  int count = 0;
  Chain segs;
};

Offset offsetOf(const Chain& in, double d, int side, int capacity = -1) {
  Offset r;
  if (capacity < 0) capacity = offset2dResultCapacity(static_cast<int>(in.size()));
  r.segs.resize(static_cast<std::size_t>(std::max(capacity, 1)));
  r.count =
      offset2dSegChain(in.data(), static_cast<int>(in.size()), d, r.segs.data(), capacity, side);
  r.segs.resize(static_cast<std::size_t>(std::max(r.count, 0)));
  return r;
}

// Side of c relative to the line a->b; points within 0.0001 of the line (the
// library's point tolerance, within which contacts count as touches) lie on
// it.
int orient(double ax, double ay, double bx, double by, double cx, double cy) {
  const double len = std::hypot(bx - ax, by - ay);
  if (len == 0.0) return 0;
  const double v = ((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) / len;
  return v > 1e-4 ? 1 : (v < -1e-4 ? -1 : 0);
}

// Crossing beyond the tolerance: each segment's ends clearly on both sides of
// the other.
bool properCross(const Seg2& s, const Seg2& t) {
  return orient(s.x0, s.y0, s.x1, s.y1, t.x0, t.y0) * orient(s.x0, s.y0, s.x1, s.y1, t.x1, t.y1) <
             0 &&
         orient(t.x0, t.y0, t.x1, t.y1, s.x0, s.y0) * orient(t.x0, t.y0, t.x1, t.y1, s.x1, s.y1) <
             0;
}

// Pairs of non-neighbouring segments that cross properly.
int selfCrossingCount(const Chain& c) {
  const std::size_t n = c.size();
  int count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 2; j < n; ++j) {
      if (i == 0 && j == n - 1) continue;
      count += properCross(c[i], c[j]) ? 1 : 0;
    }
  }
  return count;
}

double distanceToChain(Vec2d p, const Chain& c) {
  return seg2ArrayNearest(&p, c.data(), static_cast<int>(c.size()), nullptr);
}

// Nearest and farthest distance of the result's points (ends and four inner
// points per segment) from the input chain.
std::pair<double, double> distanceRange(const Chain& in, const Chain& out) {
  double lo = 1e300, hi = 0.0;
  for (const Seg2& s : out) {
    for (int k = 0; k <= 4; ++k) {
      const double t = k / 4.0;
      const double d = distanceToChain({s.x0 + t * (s.x1 - s.x0), s.y0 + t * (s.y1 - s.y0)}, in);
      lo = std::min(lo, d);
      hi = std::max(hi, d);
    }
  }
  return {lo, hi};
}

// ---- Oracle: Clipper 1 offsets of the same closed polygon ----------------------

constexpr double kClipperScale = 1e5;

double clipperArea(const Chain& in, double d, bool outward, bool miterMode, int* parts = nullptr) {
  ClipperLib::Path path;
  for (const Seg2& s : in) {
    path.push_back(
        ClipperLib::IntPoint(static_cast<ClipperLib::cInt>(std::llround(s.x0 * kClipperScale)),
                             static_cast<ClipperLib::cInt>(std::llround(s.y0 * kClipperScale))));
  }
  // Squared corners are this offset's default joins; Clipper's mitered ones
  // (its smallest limit, 2, miters turns up to 120 degrees) bound mode 1.
  ClipperLib::ClipperOffset co(2.0, 0.25);
  co.AddPath(path, miterMode ? ClipperLib::jtMiter : ClipperLib::jtSquare,
             ClipperLib::etClosedPolygon);
  ClipperLib::Paths solution;
  co.Execute(solution, (outward ? d : -d) * kClipperScale);
  double area = 0.0;
  for (const auto& p : solution) area += ClipperLib::Area(p);
  if (parts != nullptr) *parts = static_cast<int>(solution.size());
  return std::fabs(area) / (kClipperScale * kClipperScale);
}

// ---- Corpus of closed polygons filed by degeneracy ------------------------------

struct CorpusCase {
  const char* name;  // degeneracy_shape_direction
  std::vector<Vec2d> polygon;
  double distance;
  bool outward;
  bool compareArea;       // the region offset of Clipper is the same figure
  double handArea = 0.0;  // the area worked out by hand, where Clipper differs
  int joinMode = 0;       // 1: corners mitered, compared with Clipper's miters
};
void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.name; }

std::vector<Vec2d> regular(int n, double r, double phase = 0.0) {
  std::vector<Vec2d> p;
  for (int i = 0; i < n; ++i) {
    const double a = phase + 2.0 * std::numbers::pi * i / n;
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return p;
}

std::vector<Vec2d> star(int points, double outer, double inner) {
  std::vector<Vec2d> p;
  for (int i = 0; i < 2 * points; ++i) {
    const double a = std::numbers::pi * i / points;
    const double r = i % 2 ? inner : outer;
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return p;
}

const std::vector<Vec2d> kSquare{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const std::vector<Vec2d> kL{{0, 0}, {10, 0}, {10, 3}, {3, 3}, {3, 10}, {0, 10}};
const std::vector<Vec2d> kSlotC{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 6}, {8, 6}, {8, 4}, {0, 4}};

// Two triangles meeting at one vertex, and a notch whose tip touches the
// opposite edge.
const std::vector<Vec2d> kPinch{{0, 0}, {10, 0}, {5, 5}, {10, 10}, {0, 10}, {5, 5}};
const double kPinchInradius = 25.0 / (5.0 + 5.0 * std::numbers::sqrt2);
const std::vector<Vec2d> kNotchTouching{{0, 0}, {10, 0}, {10, 10}, {6, 10},
                                        {5, 0}, {4, 10}, {0, 10}};

// A staircase of n steps, each w wide and h high, rising from right to left:
// its bottom is n x w long, its left side n x h high.
std::vector<Vec2d> stairs(int n, double w, double h) {
  std::vector<Vec2d> p{{0, 0}, {n * w, 0}};
  for (int k = 1; k <= n; ++k) {
    p.push_back({(n - k + 1) * w, k * h});
    p.push_back({(n - k) * w, k * h});
  }
  return p;
}

// n steps up on the right, a top w wide, n steps down on the left.
std::vector<Vec2d> ziggurat(int n, double w, double h) {
  const double width = (2 * n + 1) * w;
  std::vector<Vec2d> p{{0, 0}, {width, 0}};
  for (int k = 1; k <= n; ++k) {
    p.push_back({width - (k - 1) * w, k * h});
    p.push_back({width - k * w, k * h});
  }
  for (int k = n; k >= 1; --k) {
    p.push_back({k * w, k * h});
    p.push_back({(k - 1) * w, k * h});
  }
  return p;
}

// p turned by quarterTurns right angles counter-clockwise about the origin.
std::vector<Vec2d> turned(std::vector<Vec2d> p, int quarterTurns) {
  for (Vec2d& q : p) {
    for (int k = 0; k < quarterTurns; ++k) q = {-q.y, q.x};
  }
  return p;
}

// clang-format off
const CorpusCase kCorpus[] = {
    {"plain_square_out", kSquare, 1.0, true, true},
    {"plain_square_in", kSquare, 1.0, false, true},
    {"plain_l_out", kL, 1.0, true, true},
    {"plain_l_in", kL, 1.0, false, true},
    {"plain_star_out", star(5, 10, 4), 0.5, true, true},
    {"plain_star_in", star(5, 10, 4), 0.5, false, true},
    {"plain_polygon64_in_near_inradius", regular(64, 10), 9.5, false, true},
    {"collinear_square_out", {{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}, {5, 10}, {0, 10}, {0, 5}}, 1.0, true, true},
    {"collinear_square_in", {{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}, {5, 10}, {0, 10}, {0, 5}}, 2.0, false, true},
    {"collinear_short_runs_out", {{0, 0}, {1, 0}, {1.001, 0}, {1.002, 0}, {10, 0}, {10, 10}, {0, 10}}, 1.0, true, true},
    {"zero_length_repeated_vertex_out", {{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}}, 1.0, true, true},
    {"zero_length_repeated_vertex_in", {{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}}, 1.0, false, true},
    {"zero_length_tiny_edge_out", {{0, 0}, {10, 0}, {10, 1e-6}, {10, 10}, {0, 10}}, 1.0, true, true},
    {"touching_slot_narrower_than_offset_out", kSlotC, 1.5, true, true},
    {"touching_slot_wider_than_offset_out", kSlotC, 0.5, true, true},
    {"touching_slot_in", kSlotC, 0.5, false, true},
    {"touching_pinch_out", kPinch, 1.0, true, true},
    // Inward the pinch parts separate; the result is the lower triangle's
    // offset, similar to it about its incircle.
    {"touching_pinch_in", kPinch, 1.0, false, false, 25.0 * std::pow(1.0 - 1.0 / kPinchInradius, 2)},
    {"touching_notch_tip_on_edge_out", kNotchTouching, 1.0, true, true},
    {"touching_notch_tip_on_edge_in", kNotchTouching, 0.5, false, false},
    {"coincident_slit_out", {{0, 0}, {10, 0}, {10, 10}, {5, 10}, {5, 5}, {5, 10}, {0, 10}}, 1.0, true, true},
    // Clipper leaves the slit's tip without a cap inward; by hand: the 8 x 8
    // inner square less the 2 x 5 strip about the slit with its square cap.
    {"coincident_slit_in", {{0, 0}, {10, 0}, {10, 10}, {5, 10}, {5, 5}, {5, 10}, {0, 10}}, 1.0, false, false, 54.0},
    {"coincident_doubled_edge_out", {{0, 0}, {10, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}}, 1.0, true, true},
    {"coincident_antenna_out", {{0, 0}, {10, 0}, {10, 5}, {15, 5}, {10, 5}, {10, 10}, {0, 10}}, 1.0, true, true},
    // Inward, the offset of a step's tread runs onto the bottom's (half a
    // step high), or onto the tread below's (a whole step), and a riser's onto
    // the next riser's or the left side's; the region between them has no
    // width.  Offsets just short of and past that.
    {"coincident_stairs_tread_on_bottom_in", stairs(3, 1, 1), 0.5, false, true},
    {"coincident_stairs_tread_on_bottom_in_miter", stairs(3, 1, 1), 0.5, false, true, 0.0, 1},
    {"coincident_stairs_short_of_tread_on_bottom_in_miter", stairs(3, 1, 1), 0.499, false, true, 0.0, 1},
    {"coincident_stairs_past_tread_on_bottom_in_miter", stairs(3, 1, 1), 0.501, false, true, 0.0, 1},
    {"coincident_stairs_second_tread_on_bottom_in", stairs(5, 1, 1), 1.0, false, true},
    {"coincident_stairs_second_tread_on_bottom_in_miter", stairs(5, 1, 1), 1.0, false, true, 0.0, 1},
    {"coincident_stairs_short_of_second_tread_in_miter", stairs(5, 1, 1), 0.999, false, true, 0.0, 1},
    {"coincident_stairs_past_second_tread_in_miter", stairs(5, 1, 1), 1.001, false, true, 0.0, 1},
    {"coincident_stairs_low_steps_in_miter", stairs(5, 1, 0.5), 0.25, false, true, 0.0, 1},
    {"coincident_stairs_low_steps_second_tread_in_miter", stairs(5, 1, 0.5), 0.5, false, true, 0.0, 1},
    {"coincident_stairs_wide_steps_risers_in_miter", stairs(4, 2, 1), 1.0, false, true, 0.0, 1},
    {"coincident_stairs_narrow_steps_risers_in_miter", stairs(4, 0.5, 2), 0.25, false, true, 0.0, 1},
    {"coincident_stairs_narrow_steps_past_risers_in_miter", stairs(4, 0.5, 2), 0.251, false, true, 0.0, 1},
    {"coincident_stairs_narrow_steps_treads_in_miter", stairs(6, 0.5, 2), 1.0, false, true, 0.0, 1},
    {"coincident_stairs_turned_in_miter", turned(stairs(5, 1, 1), 1), 1.0, false, true, 0.0, 1},
    {"coincident_stairs_turned_twice_in_miter", turned(stairs(3, 1, 1), 2), 0.5, false, true, 0.0, 1},
    {"coincident_stairs_turned_thrice_in", turned(stairs(5, 1, 0.5), 3), 0.5, false, true},
    {"coincident_ziggurat_in_miter", ziggurat(3, 1, 1), 0.5, false, true, 0.0, 1},
    {"coincident_ziggurat_second_tread_in_miter", ziggurat(3, 1, 1), 1.0, false, true, 0.0, 1},
    {"coincident_ziggurat_short_of_second_tread_in_miter", ziggurat(3, 1, 1), 0.999, false, true, 0.0, 1},
    {"sliver_thin_triangle_out", {{0, 0}, {100, 0}, {100, 0.5}}, 1.0, true, true},
    {"sliver_thin_rectangle_out", {{0, 0}, {100, 0}, {100, 0.1}, {0, 0.1}}, 1.0, true, true},
    {"sliver_needle_notch_out", {{0, 0}, {10, 0}, {10, 10}, {5.05, 10}, {5, 2}, {4.95, 10}, {0, 10}}, 0.5, true, true},
    {"small_square_out", kSquare, 1e-4, true, true},
    {"small_l_in", kL, 1e-4, false, true},
    {"small_star_out", star(5, 10, 4), 1e-3, true, true},
    {"small_slot_in", kSlotC, 1e-3, false, true},
    {"large_square_out", kSquare, 1000.0, true, true},
    {"large_l_out", kL, 250.0, true, true},
    {"large_coordinates_square_out", {{1e5, 1e5}, {1e5 + 10, 1e5}, {1e5 + 10, 1e5 + 10}, {1e5, 1e5 + 10}}, 1.0, true, false, 143.3137084989848},
};
// clang-format on

class OffsetCorpus : public testing::TestWithParam<CorpusCase> {};

TEST_P(OffsetCorpus, KeepsEveryProperty) {
  const CorpusCase& c = GetParam();
  const Chain in = polyline(c.polygon, true);
  ASSERT_GT(signedArea(in), 0.0) << "corpus polygons run counter-clockwise";
  // Counter-clockwise: the left side is inside.
  offset2dSetCornerJoin(c.joinMode);
  const Offset r = offsetOf(in, c.distance, c.outward ? -1 : 1);
  offset2dSetCornerJoin(0);
  ASSERT_GT(r.count, 0);
  EXPECT_EQ(seg2ChainIsClosed(r.segs.data(), r.count), 1);
  const double inArea = signedArea(in), outArea = signedArea(r.segs);
  if (c.outward) {
    EXPECT_GE(outArea, inArea);
  } else {
    EXPECT_LE(outArea, inArea);
  }
  EXPECT_EQ(selfCrossingCount(r.segs), 0);
  const auto [lo, hi] = distanceRange(in, r.segs);
  // Below 0.001 the library's point tolerance of 0.0001 (joins shorter than
  // that are merged into their neighbours) dominates the error.
  const double tol = 1e-6 * std::max(1.0, c.distance) + (c.distance < 0.001 ? 0.5e-4 : 0.0);
  EXPECT_GE(lo, c.distance - tol);
  EXPECT_LE(hi,
            std::sqrt(2.0) * c.distance + tol);  // corners are cut at most to a right-angle miter
  if (c.compareArea) {
    const double oracle = clipperArea(in, c.distance, c.outward, c.joinMode == 1);
    EXPECT_NEAR(outArea, oracle, 1e-3 * std::max(oracle, 1.0)) << "Clipper area";
  }
  if (c.handArea > 0.0) {
    EXPECT_NEAR(outArea, c.handArea, 1e-6 * c.handArea);
  }
}

INSTANTIATE_TEST_SUITE_P(Polygons, OffsetCorpus, testing::ValuesIn(kCorpus),
                         [](const testing::TestParamInfo<CorpusCase>& info) {
                           return std::string(info.param.name);
                         });

// The corpus's steps turned by quarter turns, and run clockwise with the
// offset to the right: the same figure each time, so the same offset, at the
// exact collapse of a step and just short of and past it.
TEST(OffsetStairs, TurnedAndReversedStepsOffsetAlike) {
  struct Shape {
    const char* name;
    std::vector<Vec2d> polygon;
    double step;  // the smaller of a step's width and height
  };
  const Shape shapes[] = {
      {"stairs_1x1", stairs(3, 1, 1), 1.0},         {"stairs_1x0.5", stairs(5, 1, 0.5), 0.5},
      {"stairs_0.5x2", stairs(4, 0.5, 2), 0.5},     {"ziggurat_1x1", ziggurat(2, 1, 1), 1.0},
      {"ziggurat_2x0.5", ziggurat(3, 2, 0.5), 0.5},
  };
  for (const Shape& shape : shapes) {
    for (const double share : {0.5, 1.0}) {
      for (const double shift : {0.0, -0.001, 0.001}) {
        for (const int mode : {0, 1}) {
          const double d = share * shape.step + shift;
          const double oracle = clipperArea(polyline(shape.polygon, true), d, false, mode == 1);
          for (int turns = 0; turns < 4; ++turns) {
            for (const bool clockwise : {false, true}) {
              SCOPED_TRACE(testing::Message() << shape.name << " d " << d << " mode " << mode
                                              << " turns " << turns << " cw " << clockwise);
              std::vector<Vec2d> pts = turned(shape.polygon, turns);
              if (clockwise) std::reverse(pts.begin(), pts.end());
              const Chain in = polyline(pts, true);
              offset2dSetCornerJoin(mode);
              const Offset r = offsetOf(in, d, clockwise ? -1 : 1);
              offset2dSetCornerJoin(0);
              if (oracle > 1e-3) {
                ASSERT_GT(r.count, 0);
              }
              if (r.count <= 0) continue;
              EXPECT_EQ(seg2ChainIsClosed(r.segs.data(), r.count), 1);
              EXPECT_EQ(selfCrossingCount(r.segs), 0);
              EXPECT_GE(distanceRange(in, r.segs).first, d - 1e-6);
              EXPECT_NEAR(std::fabs(signedArea(r.segs)), oracle, 1e-3 * std::max(oracle, 1.0));
            }
          }
        }
      }
    }
  }
}

// ---- Random polygons against the oracle --------------------------------------------

// Star-shaped polygons around the origin with random radii: concave corners of
// every sharpness.  In the moderate regime (features large against the
// distance) every offset must succeed; in the hard one an offset may report
// failure, but whatever it returns as a result must be right.
struct RandomRegime {
  const char* name;
  double minRadius;
  double maxDistance;
  int side;
  int allowedFailures;  // of 80 rounds
};
void PrintTo(const RandomRegime& r, std::ostream* os) { *os << r.name; }

class OffsetRandom : public testing::TestWithParam<RandomRegime> {};

TEST_P(OffsetRandom, StarPolygonsMatchTheOracle) {
  const RandomRegime& regime = GetParam();
  std::mt19937 rng(7031);
  std::uniform_real_distribution<double> radius(regime.minRadius, 20.0),
      dist(0.05, regime.maxDistance);
  std::uniform_int_distribution<int> corners(3, 40);
  int failures = 0;
  for (int round = 0; round < 80; ++round) {
    const int n = corners(rng);
    std::vector<Vec2d> pts;
    for (int i = 0; i < n; ++i) {
      const double a = 2.0 * std::numbers::pi * i / n, r = radius(rng);
      pts.push_back({r * std::cos(a), r * std::sin(a)});
    }
    const Chain in = polyline(pts, true), before = in;
    const double d = dist(rng);
    const bool miter = round % 3 == 2;
    offset2dSetCornerJoin(miter ? 1 : 0);
    const Offset r = offsetOf(in, d, regime.side);
    offset2dSetCornerJoin(0);
    EXPECT_EQ(std::memcmp(in.data(), before.data(), in.size() * sizeof(Seg2)), 0);
    if (r.count <= 0) {
      EXPECT_EQ(r.count, 0) << "round " << round;
      ++failures;
      continue;
    }
    EXPECT_EQ(seg2ChainIsClosed(r.segs.data(), r.count), 1) << "round " << round;
    EXPECT_EQ(selfCrossingCount(r.segs), 0) << "round " << round;
    const auto [lo, hi] = distanceRange(in, r.segs);
    // Points agree within the library's point tolerance of 0.0001.
    EXPECT_GE(lo, d - 1e-4) << "round " << round;
    EXPECT_LE(hi, (miter ? 1.43 : std::sqrt(2.0)) * d + 1e-4) << "round " << round;
    const bool outward = regime.side == -1;
    const double area = signedArea(r.segs);
    EXPECT_TRUE(outward ? area >= signedArea(in) : area <= signedArea(in)) << "round " << round;
    int parts = 0;
    const double square = clipperArea(in, d, outward, false, &parts);
    const double tol = 1e-3 * square + 1e-6;
    if (parts > 1) {
      // The region splits: the offset is one of its parts.
      EXPECT_FALSE(outward) << "round " << round;
      EXPECT_LE(area, square + tol) << "round " << round;
    } else if (!miter) {
      EXPECT_NEAR(area, square, tol) << "round " << round;
    } else {
      // Clipper miters up to 120 degree turns, this offset up to about 91:
      // the area lies between Clipper's squared and mitered offsets.
      const double mitered = clipperArea(in, d, outward, true);
      EXPECT_GE(area, std::min(square, mitered) - tol) << "round " << round;
      EXPECT_LE(area, std::max(square, mitered) + tol) << "round " << round;
    }
  }
  EXPECT_LE(failures, regime.allowedFailures);
}

INSTANTIATE_TEST_SUITE_P(Regimes, OffsetRandom,
                         testing::Values(RandomRegime{"moderate_outward", 5.0, 2.0, -1, 0},
                                         RandomRegime{"moderate_inward", 5.0, 2.0, 1, 0},
                                         RandomRegime{"hard_outward", 2.0, 6.0, -1, 4},
                                         RandomRegime{"hard_inward", 2.0, 3.0, 1, 2}),
                         [](const testing::TestParamInfo<RandomRegime>& info) {
                           return std::string(info.param.name);
                         });

// Open random walks that do not cross themselves, offset to either side: no
// oracle for one-sided open offsets, but every property must hold.
TEST(OffsetRandomOpen, PolylinesKeepTheirDistance) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> length(1.0, 10.0), turn(-2.0, 2.0), dist(0.05, 3.0);
  std::uniform_int_distribution<int> count(2, 30);
  int failures = 0, tried = 0;
  for (int round = 0; round < 200; ++round) {
    const int n = count(rng);
    Chain in;
    double x = 0.0, y = 0.0, a = 0.0;
    for (int i = 0; i < n; ++i) {
      a += turn(rng);
      const double l = length(rng);
      in.push_back({x, y, x + l * std::cos(a), y + l * std::sin(a)});
      x += l * std::cos(a);
      y += l * std::sin(a);
    }
    const double d = dist(rng);
    if (selfCrossingCount(in) > 0) continue;  // not a valid offset input
    ++tried;
    const Offset r = offsetOf(in, d, round % 2 ? 1 : -1);
    if (r.count <= 0) {
      EXPECT_EQ(r.count, 0) << "round " << round;
      ++failures;
      continue;
    }
    EXPECT_EQ(selfCrossingCount(r.segs), 0) << "round " << round;
    const auto [lo, hi] = distanceRange(in, r.segs);
    EXPECT_GE(lo, d - 1e-4) << "round " << round;
    EXPECT_LE(hi, std::sqrt(2.0) * d + 1e-4) << "round " << round;
  }
  EXPECT_GE(tried, 100);
  EXPECT_LE(failures, tried / 20);
}

// ---- Open chains whose last segments a concave corner swallows ------------------

// The last segments lie inside the offset circle of the corner before them:
// their offset is no part of the result, and the offset of the corner's other
// leg ends where it comes within the distance of the input's end, just as the
// offset of the same chain run backwards starts there.
struct SwallowedEnd {
  const char* name;
  std::vector<Vec2d> points;
  double distance;
  int side;
  Vec2d end;  // worked out by hand; NaN where only the properties are checked
};
void PrintTo(const SwallowedEnd& c, std::ostream* os) { *os << c.name; }

const double kNoEnd = std::nan("");

// clang-format off
const SwallowedEnd kSwallowedEnds[] = {
    {"short_last_segment", {{0, 0}, {10, 0}, {10, 0.3}}, 1.0, 1, {10 - std::sqrt(0.51), 1}},
    {"short_last_segment_to_the_right", {{0, 0}, {10, 0}, {10, -0.3}}, 1.0, -1, {10 - std::sqrt(0.51), -1}},
    {"short_last_segment_far_offset", {{0, 0}, {10, 0}, {10, 0.3}}, 2.0, 1, {10 - std::sqrt(1.11), 2}},
    {"last_segment_turning_back", {{0, 0}, {10, 0}, {9.5, 0.3}}, 1.0, 1, {9.5 - std::sqrt(0.51), 1}},
    {"two_short_last_segments", {{0, 0}, {10, 0}, {10, 0.3}, {9.8, 0.3}}, 1.0, 1, {9.8 - std::sqrt(0.51), 1}},
    // Run on to the corner, the first leg's offset would end 0.95 x distance
    // from the input's end: within what the distance check lets pass, but
    // nearer than the distance all the same.
    {"tiny_last_segment", {{0, 0}, {10, 0}, {10, 0.05}}, 1.0, 1, {10 - std::sqrt(0.0975), 1}},
    {"behind_a_convex_corner", {{0, 0}, {5, 5}, {10, 0}, {10, 0.3}}, 1.0, 1, {kNoEnd, kNoEnd}},
};
// clang-format on

class OffsetSwallowedEnd : public testing::TestWithParam<SwallowedEnd> {};

TEST_P(OffsetSwallowedEnd, EndsOnTheCircleAboutTheInputsEnd) {
  const SwallowedEnd& c = GetParam();
  const Chain in = polyline(c.points);
  const Offset r = offsetOf(in, c.distance, c.side);
  ASSERT_GT(r.count, 0);
  EXPECT_EQ(seg2ChainIsClosed(r.segs.data(), r.count), 0);
  EXPECT_EQ(selfCrossingCount(r.segs), 0);
  const auto [lo, hi] = distanceRange(in, r.segs);
  EXPECT_GE(lo, c.distance - 1e-9);
  EXPECT_LE(hi, std::sqrt(2.0) * c.distance + 1e-9);
  const Seg2& last = r.segs.back();
  EXPECT_NEAR(std::hypot(last.x1 - in.back().x1, last.y1 - in.back().y1), c.distance, 1e-9);
  if (!std::isnan(c.end.x)) {
    EXPECT_NEAR(last.x1, c.end.x, 1e-9);
    EXPECT_NEAR(last.y1, c.end.y, 1e-9);
  }
  // Run backwards and offset to the other side, the chain starts with the
  // swallowed segments: the same offset, run backwards.
  std::vector<Vec2d> back(c.points.rbegin(), c.points.rend());
  const Offset rev = offsetOf(polyline(back), c.distance, -c.side);
  ASSERT_EQ(rev.count, r.count);
  for (int i = 0; i < r.count; ++i) {
    const Seg2& a = r.segs[static_cast<std::size_t>(i)];
    const Seg2& b = rev.segs[static_cast<std::size_t>(r.count - 1 - i)];
    EXPECT_NEAR(a.x0, b.x1, 1e-9) << i;
    EXPECT_NEAR(a.y0, b.y1, 1e-9) << i;
    EXPECT_NEAR(a.x1, b.x0, 1e-9) << i;
    EXPECT_NEAR(a.y1, b.y0, 1e-9) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(OpenChains, OffsetSwallowedEnd, testing::ValuesIn(kSwallowedEnds),
                         [](const testing::TestParamInfo<SwallowedEnd>& info) {
                           return std::string(info.param.name);
                         });

TEST(OffsetSegChain, ResultPassingTheInputBetweenItsEndsIsRejected) {
  // The last segment turns back into the offset of the one before it: an
  // offset whose corners all keep their distance would still run over the
  // input's end, so it is retried and, failing that, refused.
  const Chain hairpin = {{0, 0, -5.29649492, -3.49840937},
                         {-5.29649492, -3.49840937, -5.10512704, -7.09241609},
                         {-5.10512704, -7.09241609, -5.52959644, -5.33160472}};
  const double d = 0.200934;
  const Offset r = offsetOf(hairpin, d, -1);
  if (r.count > 0) {
    EXPECT_GE(distanceRange(hairpin, r.segs).first, d - 1e-4);
  } else {
    EXPECT_EQ(r.count, 0);
  }
  // The check itself: both ends far, the middle 0.4 from the input.
  const Chain stub = {{0, 0, 0, 0.1}};
  const Chain across = {{-5, 0.5, 5, 0.5}};
  EXPECT_EQ(offset2dKeepsDistance(stub.data(), 1, 1.0, across.data(), 1), 0);
  EXPECT_EQ(offset2dKeepsDistance(stub.data(), 1, 0.4, across.data(), 1), 1);
}

// ---- Single behaviours ------------------------------------------------------------------

TEST(OffsetSegChain, DistanceBelowTolerenceCopiesTheInput) {
  const Chain in = polyline(kL, true);
  const Offset r = offsetOf(in, 0.5e-5, 1);
  ASSERT_EQ(r.count, static_cast<int>(in.size()));
  EXPECT_EQ(std::memcmp(r.segs.data(), in.data(), in.size() * sizeof(Seg2)), 0);
}

TEST(OffsetSegChain, OpenChainStopsAtItsEndsClosedChainCloses) {
  const Chain open = polyline({{0, 0}, {10, 0}, {10, 10}}, false);
  const Offset left = offsetOf(open, 1.0, 1);
  ASSERT_EQ(left.count, 2);  // a concave corner: trimmed, no join
  EXPECT_EQ(seg2ChainIsClosed(left.segs.data(), left.count), 0);
  EXPECT_DOUBLE_EQ(left.segs[0].x0, 0.0);
  EXPECT_DOUBLE_EQ(left.segs[0].y0, 1.0);
  EXPECT_DOUBLE_EQ(left.segs[0].x1, 9.0);
  EXPECT_DOUBLE_EQ(left.segs[1].x1, 9.0);
  EXPECT_DOUBLE_EQ(left.segs[1].y1, 10.0);
  const Offset right = offsetOf(open, 1.0, -1);
  ASSERT_EQ(right.count, 3);  // a convex corner: one connecting segment
  EXPECT_DOUBLE_EQ(right.segs[2].x1, 11.0);
  EXPECT_DOUBLE_EQ(right.segs[2].y1, 10.0);

  const Chain closed = polyline(kSquare, true);
  const Offset inner = offsetOf(closed, 1.0, 1);
  ASSERT_EQ(inner.count, 4);
  EXPECT_EQ(seg2ChainIsClosed(inner.segs.data(), inner.count), 1);
  EXPECT_NEAR(signedArea(inner.segs), 64.0, 1e-9);
}

TEST(OffsetSegChain, OutwardSquareGetsConnectingSegmentsByDefaultAndMitersInWideMode) {
  const Chain sq = polyline(kSquare, true);
  const Offset bevel = offsetOf(sq, 1.0, -1);
  ASSERT_EQ(bevel.count, 8);
  for (int i = 1; i < 8; i += 2) {
    // Every second segment joins a corner on the tangent of the unit circle.
    const Seg2& j = bevel.segs[static_cast<std::size_t>(i)];
    const double len = std::hypot(j.x1 - j.x0, j.y1 - j.y0);
    EXPECT_NEAR(len, 2.0 * std::tan(std::numbers::pi / 8.0), 1e-9);
  }
  offset2dSetCornerJoin(1);
  EXPECT_DOUBLE_EQ(offset2dCornerThreshold(), 1.02);
  const Offset miter = offsetOf(sq, 1.0, -1);
  offset2dSetCornerJoin(0);
  EXPECT_DOUBLE_EQ(offset2dCornerThreshold(), 0.02);
  ASSERT_EQ(miter.count, 4);
  EXPECT_NEAR(signedArea(miter.segs), 144.0, 1e-9);
  EXPECT_DOUBLE_EQ(miter.segs[0].x0, -1.0);
  EXPECT_DOUBLE_EQ(miter.segs[0].y0, -1.0);
}

// Equal corners whose offsets run on in one line: two branches of the raw
// offset meet and leave along the same ray, and the loop between them must
// still be cut.
TEST(OffsetSegChain, BranchesMergingIntoOneLineAreTrimmed) {
  struct Case {
    const char* name;
    std::vector<Vec2d> points;
    bool closed;
    double distance;
    int side;
    int joinMode;
    double area;  // of a closed result, worked out by hand
  };
  const double d = 0.5936;
  const Case cases[] = {
      // Above a sawtooth the connecting segments of the peaks lie on one line.
      {"sawtooth_two_teeth", {{0, 0}, {0.5, 1}, {1, 0}, {1.5, 1}, {2, 0}}, false, 1.0, 1, 0, 0.0},
      {"sawtooth_ten_teeth", {}, false, 2.0, 1, 0, 0.0},
      // Inward, a prong narrower than twice the distance vanishes; the mitered
      // offsets of its walls merge into the base's top edge.
      {"vanishing_prong_in_miter",
       {{0, 0}, {3, 0}, {3, 2}, {2, 2}, {2, 4}, {1, 4}, {1, 2}, {0, 2}},
       true,
       d,
       1,
       1,
       (3 - 2 * d) * (2 - 2 * d)},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    if (c.points.empty()) {
      for (int i = 0; i <= 20; ++i) c.points.push_back({0.5 * i, i % 2 ? 1.0 : 0.0});
    }
    const Chain in = polyline(c.points, c.closed);
    offset2dSetCornerJoin(c.joinMode);
    const Offset r = offsetOf(in, c.distance, c.side);
    offset2dSetCornerJoin(0);
    ASSERT_GT(r.count, 0);
    EXPECT_EQ(selfCrossingCount(r.segs), 0);
    const auto [lo, hi] = distanceRange(in, r.segs);
    EXPECT_GE(lo, c.distance - 1e-6);
    (void)hi;
    for (const Seg2& s : r.segs) EXPECT_GT(std::hypot(s.x1 - s.x0, s.y1 - s.y0), 1e-4);
    if (c.closed) {
      EXPECT_EQ(seg2ChainIsClosed(r.segs.data(), r.count), 1);
      EXPECT_NEAR(signedArea(r.segs), c.area, 1e-9);
    } else {
      // From the offset start to the offset end, over the peaks.
      EXPECT_NEAR(r.segs.front().x0, in.front().x0 - c.distance * 2 / std::sqrt(5.0), 1e-9);
      EXPECT_NEAR(r.segs.back().x1, in.back().x1 + c.distance * 2 / std::sqrt(5.0), 1e-9);
      for (const Seg2& s : r.segs)
        EXPECT_GE(std::min(s.y0, s.y1), c.distance / std::sqrt(5.0) - 1e-9);
    }
  }
}

TEST(OffsetSegChain, ReversalIsJoinedAsConvexCornerAndCountsAsSuccess) {
  for (const double back : {5.0, 0.0}) {  // exact reversal, and one to the far side
    const Chain spike = polyline({{0, 0}, {10, 0}, {back, 1e-4 * (back == 0.0)}}, false);
    Chain raw(16);
    int m = 0;
    EXPECT_EQ(offset2dSegChainRaw(1.0, spike.data(), 2, raw.data(), 16, &m, 1), -3) << back;
    const Offset r = offsetOf(spike, 1.0, 1);
    ASSERT_GT(r.count, 0) << back;
    // Around the tip at distance 1: the square cap reaches x = 11.
    double maxX = 0.0;
    for (const Seg2& s : r.segs) maxX = std::max({maxX, s.x0, s.x1});
    EXPECT_NEAR(maxX, 11.0, 1e-3) << back;
  }
}

TEST(OffsetSegChain, InwardBeyondTheInradiusReportsFailure) {
  // The first pass and all 20 retries come too near the input: no result is
  // passed off as an offset.
  for (const double d : {5.5, 6.0, 50.0}) {
    const Chain sq = polyline(kSquare, true);
    EXPECT_EQ(offsetOf(sq, d, 1).count, 0) << d;
  }
  EXPECT_GT(offsetOf(polyline(kSquare, true), 4.9, 1).count, 0);
}

TEST(OffsetSegChain, RetriesLeaveTheCallersChainUntouched) {
  // A segment too short to have a direction fails the first pass; the retry
  // drops it from its own copy and succeeds at a slightly larger distance.
  const Chain in = polyline({{0, 0}, {10, 0}, {10, 1e-8}, {10, 10}, {0, 10}}, true);
  const Chain before = in;
  Chain raw(32);
  int m = 0;
  ASSERT_EQ(
      offset2dSegChainRaw(1.0, in.data(), static_cast<int>(in.size()), raw.data(), 32, &m, -1), 0);
  const Offset r = offsetOf(in, 1.0, -1);
  ASSERT_GT(r.count, 0);
  EXPECT_EQ(std::memcmp(in.data(), before.data(), in.size() * sizeof(Seg2)), 0);
  const auto [lo, hi] = distanceRange(in, r.segs);
  EXPECT_NEAR(lo, 1.0006, 1e-6);  // the first retry's distance
  (void)hi;
  // A retried failure leaves it untouched as well.
  const Chain sq = polyline(kSquare, true), sqBefore = sq;
  EXPECT_EQ(offsetOf(sq, 7.0, 1).count, 0);
  EXPECT_EQ(std::memcmp(sq.data(), sqBefore.data(), sq.size() * sizeof(Seg2)), 0);
}

TEST(OffsetSegChain, ResultThatDoesNotFitFailsWithoutWritingPastTheBuffer) {
  const Chain sq = polyline(kSquare, true);
  EXPECT_EQ(offsetOf(sq, 1.0, -1, 7).count, -1);  // needs 8; ASan guards the block
  EXPECT_EQ(offsetOf(sq, 1.0, -1, 8).count, 8);
  EXPECT_EQ(offsetOf(sq, 0.0, -1, 3).count, -1);  // a copy needs 4
  EXPECT_EQ(offset2dSegChain(sq.data(), 0, 1.0, nullptr, 0, 1), 0);
}

TEST(OffsetSegChain, ResultCapacityHoldsTrimmedResultsLongerThanTheRawChain) {
  // Self-crossing inputs whose trimmed offset passes some raw segments in two
  // runs: the result is longer than two segments per input segment plus one.
  struct Case {
    const char* name;
    std::vector<Vec2d> polygon;
    double distance;
    int side;
  };
  const Case cases[] = {
      {"pentagram_like",
       {{18.99002532734244, 12.888087444550933},
        {7.5067495043806112, 11.771473729871433},
        {15.939538705870966, 10.124612448777068},
        {11.501041500011361, 17.911090675099732},
        {0.25291708049282663, 7.633080462717964}},
       6.52321,
       -1},
      {"grid_scribble",
       {{4, 2},
        {4, 1},
        {0, 4},
        {1, 4},
        {4, 1},
        {1, 2},
        {4, 3},
        {0, 1},
        {1e-7, 1},
        {3, 4},
        {3, 4},
        {3, 3}},
       0.0096842,
       1},
  };
  for (const Case& c : cases) {
    const Chain in = polyline(c.polygon, true);
    const int n = static_cast<int>(in.size());
    Chain big(static_cast<std::size_t>(100 * n));
    const int m = offset2dSegChain(in.data(), n, c.distance, big.data(),
                                   static_cast<int>(big.size()), c.side);
    ASSERT_GT(m, 2 * n + 2) << c.name << ": the case no longer needs the room";
    EXPECT_LE(m, offset2dResultCapacity(n)) << c.name;
    EXPECT_EQ(offsetOf(in, c.distance, c.side).count, m) << c.name;
  }
  EXPECT_EQ(offset2dResultCapacity(0), 1);
  EXPECT_EQ(offset2dResultCapacity(INT_MAX), INT_MAX);
}

TEST(OffsetSegChain, AbsurdArgumentsGiveNoOffset) {
  const Chain sq = polyline(kSquare, true);
  Chain out(16);
  EXPECT_EQ(offset2dSegChain(sq.data(), 4, -1.0, out.data(), 16, 1), 0);
  EXPECT_EQ(offset2dSegChain(sq.data(), 4, std::nan(""), out.data(), 16, 1), 0);
  EXPECT_EQ(offset2dSegChain(sq.data(), 4, INFINITY, out.data(), 16, 1), 0);
  EXPECT_EQ(offset2dSegChain(sq.data(), -3, 1.0, out.data(), 16, 1), 0);
  EXPECT_EQ(offset2dSegChain(nullptr, 4, 1.0, out.data(), 16, 1), 0);
  EXPECT_EQ(offset2dSegChain(sq.data(), 4, 1.0, out.data(), 0, 1), 0);
  // A non-finite coordinate anywhere gives no offset, not a result full of it.
  for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    Chain holed = sq;
    holed[2].x1 = bad;
    holed[3].x0 = bad;
    EXPECT_EQ(offset2dSegChain(holed.data(), 4, 1.0, out.data(), 16, -1), 0) << bad;
  }
  // Nothing but zero-length segments: no direction to offset along.
  const Chain dots = {{1, 1, 1, 1}, {1, 1, 1, 1}};
  EXPECT_EQ(offset2dSegChain(dots.data(), 2, 1.0, out.data(), 16, 1), 0);
}

TEST(OffsetSegChain, ThreadsShareOneInputAndKeepTheirOwnJoinMode) {
  const Chain in = polyline(regular(6, 10), true);  // 60 degree corners
  const Chain before = in;
  const Offset bevelRef = offsetOf(in, 0.8, -1);
  offset2dSetCornerJoin(1);
  const Offset miterRef = offsetOf(in, 0.8, -1);
  offset2dSetCornerJoin(0);
  ASSERT_GT(bevelRef.count, 0);
  ASSERT_NE(bevelRef.count, miterRef.count);
  std::vector<Offset> results(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      offset2dSetCornerJoin(t % 2);
      for (int k = 0; k < 20; ++k) results[static_cast<std::size_t>(t)] = offsetOf(in, 0.8, -1);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) {
    const Offset& ref = t % 2 ? miterRef : bevelRef;
    const Offset& got = results[static_cast<std::size_t>(t)];
    ASSERT_EQ(got.count, ref.count) << t;
    EXPECT_EQ(std::memcmp(got.segs.data(), ref.segs.data(), ref.segs.size() * sizeof(Seg2)), 0)
        << t;
  }
  EXPECT_EQ(std::memcmp(in.data(), before.data(), in.size() * sizeof(Seg2)), 0);
  EXPECT_DOUBLE_EQ(offset2dCornerThreshold(), 0.02);
}

TEST(OffsetSegChain, LongWavyRingOffsetsBothWays) {
  // 20000 segments: the crossing searches and the distance check must scale
  // (the test would take minutes with all-pairs searches under the sanitizers).
  const int n = 20000;
  Chain in;
  for (int i = 0; i < n; ++i) {
    const double a0 = 2.0 * std::numbers::pi * i / n, a1 = 2.0 * std::numbers::pi * (i + 1) / n;
    const double r0 = 100.0 + 3.0 * std::sin(17.0 * a0), r1 = 100.0 + 3.0 * std::sin(17.0 * a1);
    in.push_back({r0 * std::cos(a0), r0 * std::sin(a0), r1 * std::cos(a1), r1 * std::sin(a1)});
  }
  for (const int side : {-1, 1}) {
    const Offset r = offsetOf(in, 2.0, side);
    ASSERT_EQ(r.count, n) << side;  // smooth turns: one offset segment per segment
    EXPECT_EQ(seg2ChainIsClosed(r.segs.data(), r.count), 1);
    for (int i = 0; i < n; i += 997) {
      const double d = distanceToChain(
          {r.segs[static_cast<std::size_t>(i)].x0, r.segs[static_cast<std::size_t>(i)].y0}, in);
      EXPECT_NEAR(d, 2.0, 1e-4) << i;  // turns below 0.005 are taken as straight
    }
    EXPECT_EQ(side == -1, signedArea(r.segs) > signedArea(in));
  }
}

// ---- Steps -------------------------------------------------------------------------------

TEST(OffsetSteps, CornerJoinMeetsTheOffsetCircle) {
  Seg2 a{0, 0, 10, 0}, b{10, 0, 10, 10}, join{};
  // Right side: the corner at (10, 0) is convex.
  ASSERT_EQ(offset2dCornerJoin(&a, &b, 1.0, &join, -1), 1);
  const double mx = (join.x0 + join.x1) / 2.0, my = (join.y0 + join.y1) / 2.0;
  EXPECT_NEAR(std::hypot(mx - 10.0, my), 1.0, 1e-12);  // tangent point on the circle
  EXPECT_DOUBLE_EQ(a.y0, -1.0);
  EXPECT_DOUBLE_EQ(a.x1, join.x0);
  EXPECT_DOUBLE_EQ(b.x0, join.x1);
  offset2dSetCornerJoin(1);
  Seg2 c{0, 0, 10, 0}, d{10, 0, 10, 10};
  EXPECT_EQ(offset2dCornerJoin(&c, &d, 1.0, &join, -1), 2);
  offset2dSetCornerJoin(0);
  EXPECT_DOUBLE_EQ(join.x0, 11.0);
  EXPECT_DOUBLE_EQ(join.y0, -1.0);
  EXPECT_DOUBLE_EQ(join.x1, 11.0);
  Seg2 e{0, 0, 0, 0}, f{0, 0, 1, 0};
  EXPECT_EQ(offset2dCornerJoin(&e, &f, 1.0, &join, 1), -1);
}

TEST(OffsetSteps, RawOffsetReportsGapsAndClosingOverlaps) {
  struct Case {
    const char* name;
    Chain chain;
    int side;
    int expected;
  };
  const Case cases[] = {
      {"clean", polyline(kSquare, true), -1, 1},
      {"gap_at_narrow_slot", polyline(kSlotC, true), -1, -1},
      {"closing_segments_overlap",
       polyline({{5, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {8, 0}, {5, 0}}, false), -1, -2},
      {"zero_length_segment", polyline({{0, 0}, {1, 0}, {1, 0}, {1, 1}}, false), 1, 0},
  };
  for (const Case& c : cases) {
    Chain raw(64);
    int m = 0;
    const double d = std::string(c.name) == "gap_at_narrow_slot" ? 1.5 : 1.0;
    EXPECT_EQ(offset2dSegChainRaw(d, c.chain.data(), static_cast<int>(c.chain.size()), raw.data(),
                                  64, &m, c.side),
              c.expected)
        << c.name;
  }
  Chain small(3);
  int m = 0;
  const Chain sq = polyline(kSquare, true);
  EXPECT_EQ(offset2dSegChainRaw(1.0, sq.data(), 4, small.data(), 3, &m, 1), 0);  // needs 2n + 1
}

TEST(OffsetSteps, ConvexOffsetIsItsRawOffset) {
  // No self-crossing and no gap: the loop trace is skipped and the raw offset
  // comes back unchanged.
  const Chain hex = polyline(regular(6, 10), true);
  Chain raw(32);
  int m = 0;
  ASSERT_EQ(offset2dSegChainRaw(2.0, hex.data(), 6, raw.data(), 32, &m, -1), 1);
  const Offset r = offsetOf(hex, 2.0, -1);
  ASSERT_EQ(r.count, m);
  EXPECT_EQ(std::memcmp(r.segs.data(), raw.data(), static_cast<std::size_t>(m) * sizeof(Seg2)), 0);
}

TEST(OffsetSteps, CleaningHelpers) {
  Chain c = polyline({{0, 0}, {0, 0}, {5, 0}, {5, 0.005}, {5, 5}}, false);
  EXPECT_EQ(seg2ChainDropZeroLength(c.data(), static_cast<int>(c.size())), 3);
  c = polyline({{0, 0}, {0, 0}, {5, 0}, {5, 0.005}, {5, 5}}, false);
  EXPECT_EQ(seg2ChainDropShort(c.data(), static_cast<int>(c.size()), 0.01), 2);
  EXPECT_DOUBLE_EQ(c[1].y0, 0.005);

  // A small zig-zag jog on a straight run is merged; a quarter turn stays.
  Chain jog = polyline({{0, 0}, {10, 0}, {10, 0.5}, {20, 0.5}, {20, 10}}, false);
  EXPECT_EQ(offset2dRemoveJogs(jog.data(), 4, 1.0), 3);
  EXPECT_DOUBLE_EQ(jog[0].x1, 10.0);
  EXPECT_DOUBLE_EQ(jog[0].y1, 0.25);
  EXPECT_DOUBLE_EQ(jog[1].x0, 10.0);
  EXPECT_DOUBLE_EQ(jog[2].x1, 20.0);

  const Chain sq = polyline(kSquare, true);
  const Chain near = polyline({{1, 1}, {9, 1}, {9, 9}, {1, 9}}, true);
  EXPECT_EQ(offset2dKeepsDistance(sq.data(), 4, 1.0, near.data(), 4), 1);
  EXPECT_EQ(offset2dKeepsDistance(sq.data(), 4, 1.2, near.data(), 4), 0);
  EXPECT_EQ(offset2dKeepsDistance(sq.data(), 4, 1.2, near.data(), 0), 1);

  Vec2d pts[4];
  int segs[4];
  // Circle of radius 5 about (5, 5): the square's four sides touch it.
  EXPECT_EQ(seg2ChainCircleCrossings(4, sq.data(), 5, 5, 5, pts, segs, 4), 0);
  EXPECT_EQ(seg2ChainCircleCrossings(4, sq.data(), 0, 0, 5, pts, segs, 4), 2);
  EXPECT_EQ(segs[0], 1);
  EXPECT_DOUBLE_EQ(pts[0].x, 5.0);
  EXPECT_EQ(segs[1], 4);
  EXPECT_EQ(seg2ChainCircleCrossings(4, sq.data(), 0, 0, 5, pts, segs, 1),
            2);  // counts past the room
}

}  // namespace
