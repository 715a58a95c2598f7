#include "geometry/contour2d/seidel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "geometry/errors/error_state.h"

namespace {

using Ring = std::vector<Vec2d>;

// A polygon with holes as the triangulation takes it.
struct Polygon {
  std::vector<int> counts;
  std::vector<Vec2d> points{{0.0, 0.0}};  // 1-based
  void add(const Ring& ring) {
    counts.push_back(static_cast<int>(ring.size()));
    points.insert(points.end(), ring.begin(), ring.end());
  }
  int total() const { return static_cast<int>(points.size()) - 1; }
};

struct Result {
  int code = 0;
  std::vector<std::array<int, 3>> tris;
};

Result triangulate(const Polygon& p) {
  Result r;
  const int n = std::max(3, p.total());
  SeidelWork* work = seidelWorkNew(n);
  EXPECT_NE(work, nullptr);
  std::vector<int> out(3 * static_cast<std::size_t>(2 * n + 2));
  int count = -1;
  r.code = triangulate_polygonm_seidel(work, static_cast<int>(p.counts.size()), p.counts.data(),
                                       p.points.data(), reinterpret_cast<int(*)[3]>(out.data()),
                                       2 * n + 2, &count);
  for (int t = 0; t < count; ++t) {
    r.tris.push_back({out[3 * t], out[3 * t + 1], out[3 * t + 2]});
  }
  seidelWorkFree(work);
  return r;
}

double cross(const Vec2d& a, const Vec2d& b, const Vec2d& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

double ringArea(const Vec2d* pts, int count) {
  double s = 0.0;
  for (int i = 0; i < count; ++i) {
    const Vec2d& a = pts[i];
    const Vec2d& b = pts[(i + 1) % count];
    s += a.x * b.y - a.y * b.x;
  }
  return s / 2.0;
}

double polygonArea(const Polygon& p) {
  double s = 0.0;
  int first = 1;
  for (int c : p.counts) {
    s += ringArea(&p.points[static_cast<std::size_t>(first)], c);
    first += c;
  }
  return s;
}

// The interiors of two triangles (counter-clockwise) are disjoint when an edge
// of one has the other on its outer side, up to tol.
bool interiorsOverlap(const Vec2d t[3], const Vec2d u[3], double tol) {
  auto separates = [tol](const Vec2d a[3], const Vec2d b[3]) {
    for (int e = 0; e < 3; ++e) {
      const Vec2d& p = a[e];
      const Vec2d& q = a[(e + 1) % 3];
      const double len = std::hypot(q.x - p.x, q.y - p.y);
      bool allOut = true;
      for (int k = 0; k < 3 && allOut; ++k) allOut = cross(p, q, b[k]) / len <= tol;
      if (allOut) return true;
    }
    return false;
  };
  return !separates(t, u) && !separates(u, t);
}

// Checks that the triangles tile the polygon: point numbers in range,
// counter-clockwise, the areas add up to the polygon's within 1e-9, and no
// two overlap.
void expectTiling(const Polygon& p, const Result& r, const std::string& name) {
  const double area = polygonArea(p);
  double sum = 0.0;
  double scale = 0.0;
  for (const Vec2d& v : p.points) scale = std::max({scale, std::fabs(v.x), std::fabs(v.y)});
  for (const auto& t : r.tris) {
    for (int v : t) {
      ASSERT_GE(v, 1) << name;
      ASSERT_LE(v, p.total()) << name;
    }
    const double a = cross(p.points[t[0]], p.points[t[1]], p.points[t[2]]) / 2.0;
    EXPECT_GE(a, 0.0) << name;
    sum += a;
  }
  EXPECT_NEAR(sum, area, 1e-9 * area) << name;
  if (r.tris.size() > 600) return;  // pairwise check kept for the small cases
  for (std::size_t i = 0; i < r.tris.size(); ++i) {
    const Vec2d ti[3] = {p.points[r.tris[i][0]], p.points[r.tris[i][1]], p.points[r.tris[i][2]]};
    for (std::size_t j = i + 1; j < r.tris.size(); ++j) {
      const Vec2d tj[3] = {p.points[r.tris[j][0]], p.points[r.tris[j][1]], p.points[r.tris[j][2]]};
      ASSERT_FALSE(interiorsOverlap(ti, tj, 1e-9 * scale))
          << name << " triangles " << i << ", " << j;
    }
  }
}

Ring square(double x0, double y0, double size, bool ccw) {
  Ring r{{x0, y0}, {x0 + size, y0}, {x0 + size, y0 + size}, {x0, y0 + size}};
  if (!ccw) std::reverse(r.begin(), r.end());
  return r;
}

Ring circle(double cx, double cy, double radius, int n, bool ccw, double phase = 0.0) {
  Ring r;
  for (int i = 0; i < n; ++i) {
    const double a = phase + 2.0 * M_PI * i / n * (ccw ? 1.0 : -1.0);
    r.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  return r;
}

Polygon of(std::initializer_list<Ring> rings) {
  Polygon p;
  for (const Ring& r : rings) p.add(r);
  return p;
}

struct CorpusCase {
  std::string name;
  Polygon polygon;
  int expected;  // triangle count; -1: a clean failure is just as good
};

void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.name; }

// Polygons filed by degeneracy.
std::vector<CorpusCase> corpus() {
  std::vector<CorpusCase> c;
  // Plain shapes with the documented counts.
  c.push_back({"plain_triangle", of({{{0, 0}, {4, 0}, {1, 3}}}), 1});
  c.push_back({"plain_square_hole", of({square(0, 0, 10, true), square(3, 3, 4, false)}), 8});
  c.push_back({"plain_square_two_holes",
               of({square(0, 0, 10, true), square(1, 1, 3, false), square(6, 5, 3, false)}), 14});
  c.push_back({"plain_circle_holes",
               of({circle(0, 0, 50, 64, true), circle(-20, 0, 10, 17, false),
                   circle(20, 5, 12, 23, false), circle(0, -30, 5, 9, false)}),
               64 + 17 + 23 + 9 + 6 - 2});
  // Collinear vertices along edges and a whole run along the bottom.
  {
    Ring r;
    for (int i = 0; i <= 10; ++i) r.push_back({static_cast<double>(i), 0.0});
    r.push_back({10, 5});
    for (int i = 10; i >= 0; --i) r.push_back({static_cast<double>(i), 10.0});
    r.push_back({0, 5});
    c.push_back({"collinear_edges", of({r}), static_cast<int>(r.size()) - 2});
    c.push_back({"collinear_edges_hole", of({r, {{5, 2}, {4, 2}, {3, 2}, {3, 8}, {5, 8}, {5, 5}}}),
                 static_cast<int>(r.size()) + 6 + 2 - 2});
  }
  // Horizontal edges everywhere: a staircase and a comb.
  {
    Ring r{{0, 0}, {8, 0}};
    for (int i = 4; i >= 1; --i) {
      r.push_back({2.0 * i, 2.0 * (5 - i)});
      r.push_back({2.0 * (i - 1), 2.0 * (5 - i)});
    }
    c.push_back({"horizontal_staircase", of({r}), static_cast<int>(r.size()) - 2});
    Ring comb{{0, 0}, {20, 0}};
    for (int i = 10; i >= 1; --i) {
      comb.push_back({2.0 * i, 5});
      comb.push_back({2.0 * i - 1, 5});
      comb.push_back({2.0 * i - 1, 1});
      comb.push_back({2.0 * i - 2, 1});
    }
    comb.pop_back();
    comb.push_back({0, 5});
    c.push_back({"horizontal_comb", of({comb}), static_cast<int>(comb.size()) - 2});
    c.push_back({"horizontal_holes_in_row",
                 of({square(0, 0, 30, true), square(2, 10, 5, false), square(10, 10, 5, false),
                     square(20, 10, 5, false)}),
                 16 + 6 - 2});
  }
  // Holes touching the outer contour or each other at a vertex.
  c.push_back(
      {"touching_hole_on_edge", of({square(0, 0, 10, true), {{5, 0}, {3, 4}, {7, 4}}}), -1});
  c.push_back({"touching_hole_at_vertex",
               of({{{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}}, {{5, 0}, {3, 4}, {7, 4}}}), -1});
  c.push_back({"touching_holes",
               of({square(0, 0, 10, true), {{2, 2}, {5, 5}, {5, 2}}, {{5, 5}, {8, 8}, {8, 5}}}),
               -1});
  // Duplicate points: repeated in a row (bad input), and one place visited
  // twice by the outer contour.
  c.push_back({"duplicate_in_row", of({{{0, 0}, {4, 0}, {4, 0}, {4, 4}, {0, 4}}}), -1});
  c.push_back({"duplicate_pinch", of({{{0, 0}, {4, 0}, {2, 2}, {4, 4}, {0, 4}, {2, 2}}}), -1});
  // Spikes: an edge that goes out and comes back along itself.
  c.push_back({"spike_out_and_back",
               of({{{0, 0}, {4, 0}, {4, 2}, {8, 2}, {4, 2.0000001}, {4, 4}, {0, 4}}}), -1});
  c.push_back({"spike_inward_needle",
               of({{{0, 0}, {10, 0}, {10, 10}, {5.0000001, 10}, {5, 1}, {4.9999999, 10}, {0, 10}}}),
               5});
  // Very thin slivers.
  c.push_back({"sliver_triangle", of({{{0, 0}, {100, 0}, {50, 1e-7}}}), 1});
  c.push_back({"sliver_rectangle", of({{{0, 0}, {1000, 0}, {1000, 1e-6}, {0, 1e-6}}}), 2});
  c.push_back({"sliver_gap_hole",
               of({square(0, 0, 10, true),
                   {{0.999999, 1}, {0.999999, 9.000001}, {9, 9.000001}, {9, 9}, {1, 9}, {1, 1}}}),
               10});
  return c;
}

class SeidelCorpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(SeidelCorpus, TilesThePolygonOrFailsCleanly) {
  const CorpusCase& k = GetParam();
  const Result r = triangulate(k.polygon);
  if (k.expected < 0 && r.code != 1) {
    EXPECT_EQ(r.code, -1);
    EXPECT_TRUE(r.tris.empty());
    return;
  }
  ASSERT_EQ(r.code, 1) << k.name;
  if (k.expected >= 0) {
    EXPECT_EQ(static_cast<int>(r.tris.size()), k.expected);
  }
  expectTiling(k.polygon, r, k.name);
}

INSTANTIATE_TEST_SUITE_P(Degeneracies, SeidelCorpus, ::testing::ValuesIn(corpus()),
                         [](const auto& info) { return info.param.name; });

// Random star-shaped outer rings with non-overlapping round holes.
Polygon randomPolygon(std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Polygon p;
  const int n = 8 + static_cast<int>(unit(rng) * 60);  // keeps the holes inside
  Ring outer;
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * M_PI * (i + 0.8 * unit(rng)) / n;
    const double r = 60.0 + 40.0 * unit(rng);
    outer.push_back({r * std::cos(a), r * std::sin(a)});
  }
  p.add(outer);
  std::vector<Vec2d> centres;
  std::vector<double> radii;
  const int holes = static_cast<int>(unit(rng) * 6);
  for (int h = 0; h < holes; ++h) {
    const double cr = 20.0 * unit(rng), ca = 2.0 * M_PI * unit(rng);
    const Vec2d c{cr * std::cos(ca), cr * std::sin(ca)};
    const double r = 2.0 + 6.0 * unit(rng);
    bool clear = true;
    for (std::size_t k = 0; k < centres.size(); ++k) {
      clear = clear && std::hypot(c.x - centres[k].x, c.y - centres[k].y) > r + radii[k] + 0.5;
    }
    if (!clear) continue;
    centres.push_back(c);
    radii.push_back(r);
    p.add(circle(c.x, c.y, r, 3 + static_cast<int>(unit(rng) * 12), false, unit(rng)));
  }
  return p;
}

TEST(Seidel, RandomPolygonsWithHolesAreTiledWithTheDocumentedCount) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 200; ++i) {
    const Polygon p = randomPolygon(rng);
    const Result r = triangulate(p);
    ASSERT_EQ(r.code, 1) << "polygon " << i;
    const int holes = static_cast<int>(p.counts.size()) - 1;
    EXPECT_EQ(static_cast<int>(r.tris.size()), p.total() + 2 * holes - 2) << "polygon " << i;
    expectTiling(p, r, "random " + std::to_string(i));
  }
}

// Skylines on an integer grid with grid-aligned holes: equal y everywhere,
// horizontal edges and collinear runs.
TEST(Seidel, GridSkylinesWithHolesAreTiled) {
  std::mt19937 rng(4242);
  std::uniform_int_distribution<int> height(6, 12);
  for (int i = 0; i < 100; ++i) {
    const int columns = 3 + i % 10;
    Ring outer{{0, 0}, {2.0 * columns, 0}};
    for (int c = columns; c >= 1; --c) {
      const double h = height(rng);
      outer.push_back({2.0 * c, h});
      outer.push_back({2.0 * (c - 1), h});
    }
    // Drop the points that repeat their neighbour (equal heights side by side).
    Ring clean;
    for (const Vec2d& v : outer) {
      if (clean.empty() || clean.back().x != v.x || clean.back().y != v.y) clean.push_back(v);
    }
    Polygon p;
    p.add(clean);
    int holes = 0;
    for (int c = 0; c + 1 < columns; c += 3) {
      p.add(
          square(2.0 * c + 1, 1 + (c % 3), 2, false));  // spans two columns, under the lowest roof
      ++holes;
    }
    // Turned and moved, the same skyline is tiled as well.
    for (int turn = 0; turn < 4; ++turn) {
      const double a = turn * 0.37, cs = std::cos(a), sn = std::sin(a);
      Polygon q = p;
      for (Vec2d& v : q.points) v = {cs * v.x - sn * v.y + 1e3, sn * v.x + cs * v.y - 7e2};
      const Result r = triangulate(q);
      const std::string name = "skyline " + std::to_string(i) + " turn " + std::to_string(turn);
      ASSERT_EQ(r.code, 1) << name;
      EXPECT_EQ(static_cast<int>(r.tris.size()), p.total() + 2 * holes - 2) << name;
      expectTiling(q, r, name);
    }
  }
}

// Random point soups, crossing themselves as they like: a clean failure or a
// valid tiling, never a crash.
TEST(Seidel, CrossingSoupsFailCleanly) {
  std::mt19937 rng(808);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int failed = 0;
  for (int i = 0; i < 300; ++i) {
    Polygon p;
    const int rings = 1 + static_cast<int>(unit(rng) * 3);
    for (int k = 0; k < rings; ++k) {
      Ring r;
      const int n = 3 + static_cast<int>(unit(rng) * 12);
      for (int j = 0; j < n; ++j) r.push_back({100 * unit(rng), 100 * unit(rng)});
      p.add(r);
    }
    vyrErrReset();
    const Result r = triangulate(p);
    ASSERT_TRUE(r.code == 1 || r.code == -1) << i;
    if (r.code == 1) {
      expectTiling(p, r, "soup " + std::to_string(i));
    } else {
      EXPECT_TRUE(r.tris.empty());
      EXPECT_LT(vyrErrGetCode(), 0);
      ++failed;
    }
  }
  EXPECT_GT(failed, 250);
}

TEST(Seidel, SamePolygonGivesTheSameTrianglesAndLeavesRandAlone) {
  std::mt19937 rng(99);
  const Polygon p = randomPolygon(rng);
  std::srand(7);
  const int expectedDraw = std::rand();
  std::srand(7);
  const Result a = triangulate(p);
  EXPECT_EQ(std::rand(), expectedDraw);  // the C library's generator is not touched
  const Result b = triangulate(p);
  ASSERT_EQ(a.code, 1);
  EXPECT_EQ(a.tris, b.tris);
}

TEST(Seidel, LargePolygonIsTiled) {
  Polygon p;
  p.add(circle(0, 0, 1000, 20000, true));
  for (int i = 0; i < 10; ++i) p.add(circle(-600 + 130.0 * i, 0, 50, 500, false));
  const Result r = triangulate(p);
  ASSERT_EQ(r.code, 1);
  EXPECT_EQ(static_cast<int>(r.tris.size()), p.total() + 20 - 2);
  expectTiling(p, r, "large");
}

struct BadCase {
  std::string name;
  Polygon polygon;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class SeidelBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(SeidelBadInput, FailsCleanlyWithAReport) {
  const BadCase& k = GetParam();
  vyrErrReset();
  const Result r = triangulate(k.polygon);
  EXPECT_EQ(r.code, -1);
  EXPECT_TRUE(r.tris.empty());
  EXPECT_LT(vyrErrGetCode(), 0);
}

std::vector<BadCase> badCases() {
  const double nan = std::nan("");
  return {
      {"outer_clockwise", of({square(0, 0, 10, false)})},
      {"bowtie", of({{{0, 0}, {4, 4}, {4, 0}, {0, 4}}})},
      {"hole_crossing_outer", of({square(0, 0, 10, true), square(8, 3, 4, false)})},
      {"overlapping_holes",
       of({square(0, 0, 10, true), square(2, 2, 4, false), square(4, 4, 4, false)})},
      {"hole_counter_clockwise", of({square(0, 0, 10, true), square(3, 3, 4, true)})},
      {"two_points", of({{{0, 0}, {1, 0}}})},
      {"not_a_number", of({{{0, 0}, {nan, 0}, {1, 1}}})},
      {"infinite", of({{{0, 0}, {HUGE_VAL, 0}, {1, 1}}})},
      {"beyond_the_map", of({{{0, 0}, {1e10, 0}, {1, 1}}})},
      {"all_collinear", of({{{0, 0}, {1, 0}, {2, 0}}})},
  };
}

INSTANTIATE_TEST_SUITE_P(Inputs, SeidelBadInput, ::testing::ValuesIn(badCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Seidel, NullArgumentsAndSmallWorkFail) {
  const Polygon p = of({square(0, 0, 10, true), square(3, 3, 4, false)});
  int out[16][3];
  int count = 5;
  EXPECT_EQ(
      triangulate_polygonm_seidel(nullptr, 2, p.counts.data(), p.points.data(), out, 16, &count),
      -1);
  EXPECT_EQ(count, 0);
  SeidelWork* small = seidelWorkNew(5);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(
      triangulate_polygonm_seidel(small, 2, p.counts.data(), p.points.data(), out, 16, &count), -1);
  EXPECT_EQ(
      triangulate_polygonm_seidel(small, 1, p.counts.data(), p.points.data(), nullptr, 16, &count),
      -1);
  // Too little room for the triangles.
  SeidelWork* work = seidelWorkNew(8);
  EXPECT_EQ(triangulate_polygonm_seidel(work, 2, p.counts.data(), p.points.data(), out, 7, &count),
            -1);
  EXPECT_EQ(triangulate_polygonm_seidel(work, 2, p.counts.data(), p.points.data(), out, 8, &count),
            1);
  EXPECT_EQ(count, 8);
  seidelWorkFree(small);
  seidelWorkFree(work);
  EXPECT_EQ(seidelWorkNew(2), nullptr);
  seidelWorkFree(nullptr);
}

}  // namespace
