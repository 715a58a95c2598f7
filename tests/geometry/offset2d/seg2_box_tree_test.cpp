#include "geometry/offset2d/seg2_box_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geometry/offset2d/offset_loops.h"
#include "geometry/primitives/primitives.h"

namespace {

struct Box {
  double minX, minY, maxX, maxY;
};

Box boxOf(const Seg2& s) {
  return {std::min(s.x0, s.x1), std::min(s.y0, s.y1), std::max(s.x0, s.x1), std::max(s.y0, s.y1)};
}

// Gap between two boxes: the larger of the gaps along x and y (0 when they
// overlap).
double boxGap(const Box& a, const Box& b) {
  const double gx = std::max({0.0, a.minX - b.maxX, b.minX - a.maxX});
  const double gy = std::max({0.0, a.minY - b.maxY, b.minY - a.maxY});
  return std::max(gx, gy);
}

// A random walk with steps from tiny to long, zero-length steps and, where
// asked, segments with a coordinate that is not a number.
std::vector<Seg2> randomWalk(std::mt19937& rng, int n, bool withNaN) {
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  std::uniform_int_distribution<int> kind(0, 9);
  std::vector<Seg2> chain;
  double x = 0.0, y = 0.0;
  for (int i = 0; i < n; ++i) {
    const int k = kind(rng);
    const double length = k == 0 ? 0.0 : (k == 1 ? 40.0 : (k < 4 ? 0.002 : 1.0));
    const double a = angle(rng);
    Seg2 s{x, y, x + length * std::cos(a), y + length * std::sin(a)};
    x = s.x1;
    y = s.y1;
    if (withNaN && k == 9 && i % 7 == 0) s.y1 = std::numeric_limits<double>::quiet_NaN();
    chain.push_back(s);
  }
  return chain;
}

// The tree reports exactly the segments whose grown boxes overlap the query
// box, from the given index on, in ascending order; a visit that answers true
// ends the query.  Oracle: a loop over every segment.
TEST(Seg2BoxTree, ReportsExactlyTheOverlappingBoxesInIndexOrder) {
  std::mt19937 rng(20261210);
  for (int round = 0; round < 40; ++round) {
    const int n = 1 + round * 13;
    const std::vector<Seg2> chain = randomWalk(rng, n, round % 3 == 0);
    const double margin = round % 2 == 0 ? 0.0 : kSeg2MeetReach;
    const Seg2BoxTree tree(chain.data(), n, margin);
    std::uniform_real_distribution<double> centre(-30.0, 30.0), size(0.0, 8.0);
    std::uniform_int_distribution<int> from(0, n);
    for (int q = 0; q < 30; ++q) {
      const double cx = centre(rng), cy = centre(rng), w = size(rng), h = size(rng);
      const int start = q % 3 == 0 ? 0 : from(rng);
      std::vector<int> expected;
      for (int i = start; i < n; ++i) {
        const Seg2Box b = seg2QueryBox(chain[static_cast<std::size_t>(i)]);
        if (b.maxX + margin >= cx - w && b.minX - margin <= cx + w && b.maxY + margin >= cy - h &&
            b.minY - margin <= cy + h) {
          expected.push_back(i);
        }
      }
      std::vector<int> got;
      EXPECT_FALSE(tree.query(cx - w, cy - h, cx + w, cy + h, start, [&](int i) {
        got.push_back(i);
        return false;
      }));
      ASSERT_EQ(got, expected) << "round " << round << ", query " << q;
      if (expected.size() >= 2) {
        std::vector<int> prefix;
        EXPECT_TRUE(tree.query(cx - w, cy - h, cx + w, cy + h, start, [&](int i) {
          prefix.push_back(i);
          return prefix.size() == 2;
        }));
        EXPECT_EQ(prefix, std::vector<int>(expected.begin(), expected.begin() + 2));
      }
    }
  }
}

TEST(Seg2BoxTree, EmptyChainReportsNothing) {
  const Seg2BoxTree tree(nullptr, 0, kSeg2MeetReach);
  EXPECT_FALSE(tree.query(-1e9, -1e9, 1e9, 1e9, 0, [](int) { return true; }));
}

// A short segment meets a line that passes up to about 0.003 beyond its end:
// the searches must reach farther than the boxes.
TEST(Seg2MeetReach, ShortSegmentsMeetBeyondTheirBoxes) {
  const Seg2 tiny{0.0, 0.0, 0.001, 0.0}, line{0.0035, -1.0, 0.0035, 1.0};
  Vec2d x;
  ASSERT_EQ(seg2Intersect(&tiny, &line, &x), 1);
  const double gap = boxGap(boxOf(tiny), boxOf(line));
  EXPECT_GT(gap, 0.002);
  EXPECT_LE(gap, kSeg2MeetReach);
}

// Segments, and a segment and a circle, whose boxes lie farther apart than
// kSeg2MeetReach never meet.  Random short and long segments (the short ones
// reach farthest beyond their boxes) placed near each other.
TEST(Seg2MeetReach, BoxesFartherApartNeverMeet) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(-0.02, 0.02), unit(-1.0, 1.0);
  std::uniform_int_distribution<int> scale(0, 3);
  const double lengths[] = {0.0, 0.0005, 0.005, 2.0};
  auto randomSeg = [&]() {
    const double l = lengths[scale(rng)];
    const double x = pos(rng), y = pos(rng);
    return Seg2{x, y, x + l * unit(rng), y + l * unit(rng)};
  };
  int segmentMeets = 0, circleMeets = 0;
  for (int k = 0; k < 200000; ++k) {
    const Seg2 a = randomSeg(), b = randomSeg();
    Vec2d x;
    if (seg2Intersect(&a, &b, &x) == 1) {
      ++segmentMeets;
      EXPECT_LE(boxGap(boxOf(a), boxOf(b)), kSeg2MeetReach) << k;
    }
    const Vec2d centre{pos(rng), pos(rng)};
    const double r = std::fabs(pos(rng)) + (k % 2 == 0 ? 1.0 : 0.0);
    Vec2d pts[2];
    if (seg2CircleCutPoints(&a, &centre, r, pts) > 0) {
      ++circleMeets;
      const Box circle{centre.x - r, centre.y - r, centre.x + r, centre.y + r};
      EXPECT_LE(boxGap(boxOf(a), circle), kSeg2MeetReach) << k;
    }
  }
  // The samples do reach the cases that matter.
  EXPECT_GT(segmentMeets, 1000);
  EXPECT_GT(circleMeets, 1000);
}

}  // namespace
