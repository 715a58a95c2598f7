#include "geometry/offset2d/seg2_crossings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "geometry/offset2d/planar_offset.h"
#include "geometry/offset2d/test_chains.h"

namespace {

using offset2d_test::Chain;
using offset2d_test::polyline;

Chain reversed(const Chain& c) {
  Chain r;
  for (auto it = c.rbegin(); it != c.rend(); ++it) r.push_back({it->x1, it->y1, it->x0, it->y0});
  return r;
}

std::vector<Seg2Isect> crossings(const Chain& a, const Chain& b) {
  std::vector<Seg2Isect> out(64);
  const int n =
      seg2ChainIntersect(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                         out.data(), static_cast<int>(out.size()));
  EXPECT_GE(n, 0);
  out.resize(static_cast<std::size_t>(std::max(n, 0)));
  return out;
}

std::vector<Seg2Isect> selfCrossings(const Chain& c) {
  Seg2IsectArray* list = seg2IsectArrayNew(4);
  const int n = offset2dSelfCrossings(c.data(), static_cast<int>(c.size()), list, 0);
  EXPECT_GE(n, 0);
  std::vector<Seg2Isect> out(list->items, list->items + std::max(n, 0));
  seg2IsectArrayFree(list);
  return out;
}

// Exact orientation sign of c relative to the line a->b.
int orient(double ax, double ay, double bx, double by, double cx, double cy) {
  const double v = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

// Proper crossing: each segment's ends strictly on both sides of the other.
bool properCross(const Seg2& s, const Seg2& t) {
  return orient(s.x0, s.y0, s.x1, s.y1, t.x0, t.y0) * orient(s.x0, s.y0, s.x1, s.y1, t.x1, t.y1) <
             0 &&
         orient(t.x0, t.y0, t.x1, t.y1, s.x0, s.y0) * orient(t.x0, t.y0, t.x1, t.y1, s.x1, s.y1) <
             0;
}

// ---- Two chains: the contact rules --------------------------------------------

struct Expect {
  int first;
  int second;
  double param;
  double x;
  double y;
};

struct PairCase {
  const char* name;
  Chain a;
  Chain b;
  std::vector<Expect> expected;
};
void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

class ChainPair : public testing::TestWithParam<PairCase> {};

// The records in order, each with its numbers, parameter and point.
void expectRecords(const std::vector<Seg2Isect>& got, const std::vector<Expect>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].first, expected[i].first) << i;
    EXPECT_EQ(got[i].second, expected[i].second) << i;
    EXPECT_NEAR(got[i].param, expected[i].param, 1e-9) << i;
    EXPECT_NEAR(got[i].x, expected[i].x, 1e-9) << i;
    EXPECT_NEAR(got[i].y, expected[i].y, 1e-9) << i;
  }
}

TEST_P(ChainPair, RecordsMatch) {
  const PairCase& c = GetParam();
  const auto got = crossings(c.a, c.b);
  expectRecords(got, c.expected);
  for (const Seg2Isect& r : got) EXPECT_EQ(r.state, 1);
}

const Chain kSquare = polyline({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});

INSTANTIATE_TEST_SUITE_P(
    Contacts, ChainPair,
    testing::Values(
        PairCase{"identical", kSquare, kSquare, {}},
        PairCase{"interior_crossing_with_parameter",
                 polyline({{0, 0}, {10, 0}, {20, 0}}),
                 polyline({{12.5, -5}, {12.5, 5}}),
                 {{2, 1, 0.25, 12.5, 0}}},
        PairCase{"collinear_overlap", polyline({{0, 0}, {10, 0}}), polyline({{2, 0}, {8, 0}}), {}},
        PairCase{"vertex_touches_from_one_side",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{3, 4}, {5, 0}, {7, 4}}),
                 {}},
        PairCase{"vertex_passes_through",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{3, 4}, {5, 0}, {7, -4}}),
                 {{1, 1, 0.5, 5, 0}}},
        PairCase{"both_vertices_crossing",
                 polyline({{0, 0}, {5, 0}, {10, 0}}),
                 polyline({{5, 5}, {5, 0}, {5, -5}}),
                 {{1, 1, 1.0, 5, 0}}},
        PairCase{"both_vertices_touching",
                 polyline({{0, 0}, {5, 0}, {10, 0}}),
                 polyline({{0, 5}, {5, 0}, {10, 5}}),
                 {}},
        PairCase{"shared_stretch_crossed_over",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{2, 3}, {2, 0}, {8, 0}, {8, -3}}),
                 {{1, 2, 0.8, 8, 0}}},
        PairCase{"shared_stretch_left_on_entry_side",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{2, 3}, {2, 0}, {8, 0}, {8, 3}}),
                 {}},
        // The shared stretch counts as lying on the left of the first chain:
        // coming from and going back to its right is two crossings (the
        // parity of sides stays right).
        PairCase{"shared_stretch_from_right_back_to_right",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{2, -3}, {2, 0}, {8, 0}, {8, -3}}),
                 {{1, 1, 0.2, 2, 0}, {1, 2, 0.8, 8, 0}}},
        PairCase{"shared_stretch_entered_from_right_left_up",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{2, -3}, {2, 0}, {8, 0}, {8, 3}}),
                 {{1, 1, 0.2, 2, 0}}},
        PairCase{"same_square_other_start",
                 kSquare,
                 polyline({{10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}}),
                 {}},
        PairCase{"same_square_reversed", kSquare, reversed(kSquare), {}},
        PairCase{"open_end_on_other_chain",
                 polyline({{0, 0}, {10, 0}}),
                 polyline({{5, 5}, {5, 0}}),
                 {{1, 1, 0.5, 5, 0}}},
        PairCase{"line_through_closed_start",
                 kSquare,
                 polyline({{-5, -5}, {5, 5}}),
                 {{1, 1, 0.0, 0, 0}}}),
    [](const testing::TestParamInfo<PairCase>& info) { return std::string(info.param.name); });

TEST(Seg2ChainIntersect, RecordsSortedByFirstSegmentThenParameter) {
  // A zig-zag b crosses both segments of a several times; b runs against a.
  const Chain a = polyline({{0, 0}, {10, 0}, {20, 0}});
  const Chain b = polyline({{19, 1}, {17, -1}, {15, 1}, {13, -1}, {9, 1}, {7, -1}, {3, 1}});
  const auto got = crossings(a, b);
  ASSERT_EQ(got.size(), 6u);
  for (std::size_t i = 1; i < got.size(); ++i) {
    EXPECT_LT(seg2IsectCompare(&got[i - 1], &got[i]), 0);
    EXPECT_TRUE(got[i - 1].first < got[i].first ||
                (got[i - 1].first == got[i].first && got[i - 1].param < got[i].param));
  }
  EXPECT_EQ(got.front().first, 1);
  EXPECT_EQ(got.back().first, 2);
}

TEST(Seg2IsectCompare, OrdersEveryDifferentRecordStrictly) {
  const Seg2Isect base{1, 2, 0.5, 3, 4, 1};
  std::vector<Seg2Isect> variants(6, base);
  variants[0].first = 4;
  variants[1].param = 0.75;
  variants[2].second = 9;
  variants[3].x = 1.5;
  variants[4].y = 2.5;
  variants[5].state = 2;
  for (const auto& v : variants) {
    EXPECT_LT(seg2IsectCompare(&base, &v), 0);
    EXPECT_GT(seg2IsectCompare(&v, &base), 0);
    EXPECT_GT(seg2IsectCompareVoid(&v, &base), 0);
  }
  EXPECT_EQ(seg2IsectCompare(&base, &base), 0);
}

TEST(Seg2ChainIntersect, FullBufferFailsWithoutWritingPastIt) {
  const Chain a = polyline({{0, 0}, {100, 0}});
  Chain b;
  for (int i = 0; i < 10; ++i)
    b.push_back({i * 10.0 + 1, -1, i * 10.0 + 2, 1});  // ten separate crossers
  std::vector<Seg2Isect> out(4);                       // ASan catches a write past the block
  EXPECT_EQ(seg2ChainIntersect(a.data(), 1, b.data(), 10, out.data(), 4), -1);
  EXPECT_EQ(out[3].second, 4);  // the first four, in order
  std::vector<Seg2Isect> room(10);
  EXPECT_EQ(seg2ChainIntersect(a.data(), 1, b.data(), 10, room.data(), 10), 10);
  EXPECT_EQ(seg2ChainIntersect(a.data(), 1, b.data(), 0, room.data(), 10), 0);
}

TEST(Seg2ChainIntersect, LongZigZagMatchesBruteForceWithoutOverflow) {
  // 40000 segments between y = -1 and y = 1, crossed by a line split into
  // pieces whose joints fall between the zig-zag's vertices.
  Chain zig;
  for (int i = 0; i < 40000; ++i)
    zig.push_back({double(i), i % 2 ? 1.0 : -1.0, double(i + 1), i % 2 ? -1.0 : 1.0});
  Chain line;
  for (int i = 0; i < 400; ++i) line.push_back({i * 100.0 - 0.25, 0.3, i * 100.0 + 99.75, 0.3});
  long long brute = 0;
  for (const Seg2& s : zig) {
    for (const Seg2& t : line) brute += properCross(s, t) ? 1 : 0;
  }
  ASSERT_EQ(brute, 40000);

  std::vector<Seg2Isect> fixed(4000);
  EXPECT_EQ(seg2ChainIntersect(zig.data(), 40000, line.data(), 400, fixed.data(), 4000), -1);

  Seg2IsectArray* list = seg2IsectArrayNew(1000);
  EXPECT_EQ(seg2ChainIntersectList(zig.data(), 40000, line.data(), 400, list), brute);
  EXPECT_GE(list->capacity, 40000);
  for (int i = 0; i < list->count; ++i) ASSERT_EQ(list->items[i].first, i + 1);
  seg2IsectArrayFree(list);
}

TEST(Seg2ChainIntersect, RandomChainsMatchBruteForce) {
  std::mt19937 rng(20261210);
  std::uniform_real_distribution<double> coord(0.0, 100.0);
  for (int round = 0; round < 40; ++round) {
    auto randomChain = [&](int n) {
      Chain c;
      double x = coord(rng), y = coord(rng);
      for (int i = 0; i < n; ++i) {
        const double nx = coord(rng), ny = coord(rng);
        c.push_back({x, y, nx, ny});
        x = nx;
        y = ny;
      }
      return c;
    };
    const Chain a = randomChain(5 + round), b = randomChain(7 + round / 2);
    int brute = 0;
    for (const Seg2& s : a) {
      for (const Seg2& t : b) brute += properCross(s, t) ? 1 : 0;
    }
    Seg2IsectArray* list = seg2IsectArrayNew(1);
    EXPECT_EQ(seg2ChainIntersectList(a.data(), int(a.size()), b.data(), int(b.size()), list), brute)
        << "round " << round;
    seg2IsectArrayFree(list);

    int bruteSelf = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      for (std::size_t j = i + 2; j < a.size(); ++j) bruteSelf += properCross(a[i], a[j]) ? 1 : 0;
    }
    EXPECT_EQ(static_cast<int>(selfCrossings(a).size()), bruteSelf) << "round " << round;
  }
}

// ---- Self-crossings -------------------------------------------------------------

struct SelfCase {
  const char* name;
  Chain chain;
  std::vector<Expect> expected;
};
void PrintTo(const SelfCase& c, std::ostream* os) { *os << c.name; }

class SelfCrossing : public testing::TestWithParam<SelfCase> {};

TEST_P(SelfCrossing, RecordsMatch) {
  const SelfCase& c = GetParam();
  const auto got = selfCrossings(c.chain);
  expectRecords(got, c.expected);
  for (const Seg2Isect& r : got) EXPECT_LT(r.first, r.second);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SelfCrossing,
    testing::Values(SelfCase{"figure_eight",
                             polyline({{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}),
                             {{1, 3, 0.5, 5, 5}}},
                    SelfCase{"closed_square_start", kSquare, {}},
                    SelfCase{"open_end_on_earlier_segment",
                             polyline({{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, 0}}),
                             {}},
                    SelfCase{"through_own_vertex",
                             polyline({{0, 0}, {5, 5}, {10, 0}, {10, 10}, {5, 10}, {5, 5}, {5, 0}}),
                             {{1, 5, 1.0, 5, 5}}},
                    SelfCase{"touching_own_vertex",
                             polyline({{0, 0}, {5, 5}, {10, 0}, {10, 10}, {5, 5}, {0, 10}}),
                             {}},
                    SelfCase{"zero_length_segment_at_corner",
                             polyline({{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}),
                             {}},
                    SelfCase{"loop_through_start",
                             polyline({{0, 0}, {10, 0}, {10, 10}, {5, 10}, {5, -5}}),
                             {{1, 4, 0.5, 5, 0}}},
                    SelfCase{"empty", Chain{}, {}}),
    [](const testing::TestParamInfo<SelfCase>& info) { return std::string(info.param.name); });

// The self-crossing search reads only pairs whose boxes come near each other;
// it must give the records of the search over every pair, bit for bit, on
// chains with crossings by the thousand, collinear overlaps, shared vertices,
// zero-length and tiny segments.
TEST(SelfCrossings, SameRecordsAsTheSearchOverEveryPair) {
  std::vector<std::pair<std::string, Chain>> corpus;
  // Raw offsets of saw-tooth chains: teeth 1 wide, 1 or 4 high.
  for (const double height : {1.0, 4.0}) {
    Chain teeth;
    for (int k = 0; k < 150; ++k) {
      teeth.push_back({double(k), height * (k % 2), double(k + 1), height * ((k + 1) % 2)});
    }
    for (const double d : {0.3, 3.0, 50.0}) {
      for (const int side : {1, -1}) {
        Chain raw(static_cast<std::size_t>(offset2dResultCapacity(int(teeth.size()))));
        int m = 0;
        offset2dSegChainRaw(d, teeth.data(), int(teeth.size()), raw.data(), int(raw.size()), &m,
                            side);
        raw.resize(static_cast<std::size_t>(m));
        corpus.push_back({"saw_tooth_offset", raw});
      }
    }
  }
  std::mt19937 rng(99);
  // Walks on a unit lattice: collinear overlaps and shared vertices.
  for (int round = 0; round < 20; ++round) {
    std::uniform_int_distribution<int> dir(0, 3), len(0, 3);
    std::vector<Vec2d> pts{{0, 0}};
    for (int k = 0; k < 120; ++k) {
      const int d = dir(rng), l = len(rng);
      const Vec2d p = pts.back();
      pts.push_back({p.x + (d == 0 ? l : d == 1 ? -l : 0), p.y + (d == 2 ? l : d == 3 ? -l : 0)});
    }
    if (round % 2 == 1) pts.push_back(pts.front());  // closed
    corpus.push_back({"lattice_walk", polyline(pts)});
  }
  // Walks of tiny and ordinary steps in every direction.
  for (int round = 0; round < 20; ++round) {
    std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
    std::uniform_int_distribution<int> kind(0, 4);
    std::vector<Vec2d> pts{{0, 0}};
    for (int k = 0; k < 200; ++k) {
      const double l = kind(rng) == 0 ? 0.001 : 1.0, a = angle(rng);
      pts.push_back({pts.back().x + l * std::cos(a), pts.back().y + l * std::sin(a)});
    }
    corpus.push_back({"tiny_steps", polyline(pts)});
  }
  int total = 0;
  for (const auto& [name, chain] : corpus) {
    Seg2IsectArray* fast = seg2IsectArrayNew(1);
    Seg2IsectArray* every = seg2IsectArrayNew(1);
    const int n = static_cast<int>(chain.size());
    const int a = offset2dSelfCrossings(chain.data(), n, fast, 0);
    ASSERT_EQ(a, offset2d_detail::selfCrossingsAllPairs(chain.data(), n, every)) << name;
    for (int i = 0; i < a; ++i) {
      const Seg2Isect &f = fast->items[i], &e = every->items[i];
      EXPECT_TRUE(f.x == e.x && f.y == e.y && f.param == e.param && f.first == e.first &&
                  f.second == e.second && f.state == e.state)
          << name << ", record " << i;
    }
    total += a;
    seg2IsectArrayFree(fast);
    seg2IsectArrayFree(every);
  }
  EXPECT_GT(total, 10000);
}

// ---- Crossing arrays and the section index ---------------------------------------------

TEST(Seg2IsectArray, GrowsByDoublingAndInsertsInPlace) {
  Seg2IsectArray* list = seg2IsectArrayNew(2);
  ASSERT_NE(list, nullptr);
  for (int i = 0; i < 5; ++i) {
    const Seg2Isect r{double(i), 0, 0, i + 1, 0, 1};
    ASSERT_EQ(seg2IsectArrayAppend(list, &r), 1);
  }
  EXPECT_EQ(list->capacity, 8);
  // Appending a record that lives in the array itself while it grows.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(seg2IsectArrayAppend(list, &list->items[0]), 1);
  EXPECT_EQ(list->count, 9);
  EXPECT_EQ(list->capacity, 16);
  const Seg2Isect front{-1, 0, 0, 99, 0, 1};
  ASSERT_EQ(seg2IsectArrayInsert(list, &front, 0), 1);
  EXPECT_EQ(list->items[0].first, 99);
  EXPECT_EQ(list->items[1].first, 1);
  EXPECT_EQ(list->items[9].first, 1);
  EXPECT_EQ(seg2IsectArrayInsert(list, &front, 12), -1);
  EXPECT_EQ(seg2IsectArrayAppend(nullptr, &front), -1);
  seg2IsectArrayFree(list);
  seg2IsectArrayFree(nullptr);
}

TEST(SectionIndex, SplitsAtMaximumAndNeverSkipsAReachableSegment) {
  // Up to x = 10 and back: two sections.
  const Chain c = polyline({{0, 0}, {4, 1}, {10, 2}, {10, 3}, {5, 4}, {1, 5}});
  SectionIndex* index = sectionIndexNew(c.data(), int(c.size()), 1, 0);
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->sectionCount, 2);
  EXPECT_EQ(index->sections[0].last, 2);
  EXPECT_EQ(index->sections[1].direction, -1);
  // Every segment whose x range reaches the query is visited.
  for (double qx = -1.0; qx <= 11.0; qx += 0.5) {
    const Seg2 q{qx, -10, qx + 0.00005, 10};
    std::vector<int> visited;
    int i = sectionIndexFirst(index, &q, 0);
    while (i >= 0 && i < int(c.size())) {
      i = sectionIndexNext(&q, index, i);
      if (i < 0) break;
      visited.push_back(i++);
    }
    for (int k = 0; k < int(c.size()); ++k) {
      const double lo = std::min(c[k].x0, c[k].x1), hi = std::max(c[k].x0, c[k].x1);
      if (qx + 0.00005 >= lo && qx <= hi) {
        EXPECT_NE(std::find(visited.begin(), visited.end(), k), visited.end()) << qx << " " << k;
      }
    }
  }
  sectionIndexFree(index);
  EXPECT_EQ(sectionIndexNew(c.data(), int(c.size()), 3, 0), nullptr);
  EXPECT_EQ(sectionIndexNew(c.data(), 0, 1, 0), nullptr);
  EXPECT_EQ(sectionIndexFirst(nullptr, &c[0], 3), 3);
  EXPECT_EQ(sectionIndexNext(&c[0], nullptr, 4), 4);
}

}  // namespace
