#include "geometry/offset2d/polygon_offset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <vector>

namespace {

using Loop = std::vector<Vec2d>;

Loop closedSquare(double size) { return {{0, 0}, {size, 0}, {size, size}, {0, size}, {0, 0}}; }

Loop close(Loop l) {
  l.push_back(l.front());
  return l;
}

double loopArea(const Vec2d* p, int n) {
  double s = 0.0;
  for (int i = 0; i + 1 < n; ++i) s += p[i].x * p[i + 1].y - p[i + 1].x * p[i].y;
  return s / 2.0;
}

struct Offset {
  int code = 0;
  Loop main;
  std::vector<Loop> extra;
};

Offset offset(const Loop& in, double d, int side, int capacity = -1) {
  Offset r;
  const int cap = capacity >= 0 ? capacity : 3 * static_cast<int>(in.size()) + 10;
  std::vector<Vec2d> out(static_cast<std::size_t>(std::max(cap, 1)));
  LoopStack* stack = loopStackNew();
  r.code = offset2dPolygon(in.data(), static_cast<int>(in.size()), out.data(), cap, d, side, stack);
  if (r.code > 0) r.main.assign(out.begin(), out.begin() + r.code);
  std::vector<Vec2d> buf(in.size() * 4 + 16);
  int n = 0;
  while (loopStackPop(stack, buf.data(), static_cast<int>(buf.size()), &n) == 1) {
    r.extra.emplace_back(buf.begin(), buf.begin() + n);
  }
  loopStackFree(stack);
  return r;
}

TEST(PolygonOffset, SquareInwardGivesTheMiterPoints) {
  const Offset r = offset(closedSquare(10), 1.0, 1);
  ASSERT_EQ(r.code, 5);
  const Loop expected{{1, 1}, {9, 1}, {9, 9}, {1, 9}, {1, 1}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(r.main[i].x, expected[i].x, 1e-12) << i;
    EXPECT_NEAR(r.main[i].y, expected[i].y, 1e-12) << i;
  }
  EXPECT_TRUE(r.extra.empty());
}

struct CodeCase {
  std::string name;
  Loop in;
  double d;
  int side;
  int code;
};

void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }

class PolygonOffsetCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(PolygonOffsetCodes, GivesTheDocumentedResultAndLeavesTheInputAlone) {
  const CodeCase& k = GetParam();
  const Loop before = k.in;
  const Offset r = offset(k.in, k.d, k.side);
  EXPECT_EQ(r.code, k.code);
  ASSERT_EQ(k.in.size(), before.size());
  EXPECT_EQ(std::memcmp(k.in.data(), before.data(), sizeof(Vec2d) * before.size()), 0);
}

Loop reversed(Loop l) {
  std::reverse(l.begin(), l.end());
  return l;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PolygonOffsetCodes,
    ::testing::Values(
        CodeCase{"inward_1", closedSquare(10), 1.0, 1, 5},
        CodeCase{"inward_6_turns_over", closedSquare(10), 6.0, 1, 0},
        CodeCase{"inward_7_1_collapses", closedSquare(10), 7.1, 1, -2},
        CodeCase{"outward_gives_nothing", closedSquare(10), 1.0, -1, 0},
        CodeCase{"clockwise_inward_right", reversed(closedSquare(10)), 1.0, -1, 5},
        CodeCase{"clockwise_inward_collapses", reversed(closedSquare(10)), 7.1, -1, -2},
        CodeCase{"all_points_merge", {{0, 0}, {0.0001, 0}, {0, 0.0001}, {0, 0}}, 1.0, -1, 0},
        CodeCase{
            "duplicate_points", {{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, 1.0, 1, 5},
        CodeCase{"not_a_number", {{0, 0}, {NAN, 0}, {10, 10}, {0, 0}}, 1.0, 1, -2}),
    [](const auto& info) { return info.param.name; });

TEST(PolygonOffset, ResultThatDoesNotFitFails) {
  EXPECT_EQ(offset(closedSquare(10), 1.0, 1, 4).code, -1);
  EXPECT_EQ(offset(closedSquare(10), 1.0, 1, 5).code, 5);
  const Loop sq = closedSquare(10);
  EXPECT_EQ(offset2dPolygon(nullptr, 5, nullptr, 5, 1.0, 1, nullptr), -1);
  Vec2d out[8];
  EXPECT_EQ(offset2dPolygon(sq.data(), 5, out, 8, NAN, 1, nullptr), -2);
}

// Two 10 x 10 rooms joined by a corridor 2 wide.
Loop dumbbell() {
  return {{0, 0},   {10, 0}, {10, 4}, {20, 4},  {20, 0}, {30, 0}, {30, 10},
          {20, 10}, {20, 6}, {10, 6}, {10, 10}, {0, 10}, {0, 0}};
}

TEST(PolygonOffset, PinchedLoopGivesOneLobeInOutAndTheOtherOnTheStack) {
  for (int side : {1, -1}) {
    const Loop in = side > 0 ? dumbbell() : reversed(dumbbell());
    const Offset r = offset(in, 1.5, side);
    ASSERT_GT(r.code, 0) << side;
    ASSERT_EQ(r.extra.size(), 1u) << side;
    const Loop* lobes[2] = {&r.main, &r.extra[0]};
    double xs[2], areas[2];
    for (int k = 0; k < 2; ++k) {
      const Loop& l = *lobes[k];
      // A 7 x 7 room plus the corner cuts at the mouth of the corridor.
      areas[k] = std::fabs(loopArea(l.data(), static_cast<int>(l.size())));
      EXPECT_GT(areas[k], 49.0);
      EXPECT_LT(areas[k], 49.0 + 2 * 1.5 * 1.5);
      EXPECT_NEAR(l.front().x, l.back().x, 1e-5);
      EXPECT_NEAR(l.front().y, l.back().y, 1e-5);
      double x = 0;
      for (const Vec2d& p : l) x += p.x;
      xs[k] = x / static_cast<double>(l.size());
      // Results keep the direction of travel of the input.
      EXPECT_EQ(offset2dOrientation(l.data(), static_cast<int>(l.size())), side);
    }
    EXPECT_GT(std::fabs(xs[0] - xs[1]), 15.0);
    EXPECT_NEAR(areas[0], areas[1], 1e-9);
  }
}

std::vector<std::pair<int, int>> hookCalls;
void onPush(const Vec2d*, int count) { hookCalls.emplace_back(1, count); }
void onPop(const Vec2d*, int count) { hookCalls.emplace_back(2, count); }

TEST(LoopStack, HooksFireAndCopyReverses) {
  hookCalls.clear();
  LoopStack* a = loopStackNew();
  ASSERT_NE(a, nullptr);
  a->pushHook = onPush;
  a->popHook = onPop;
  const Loop l3{{0, 0}, {1, 0}, {0, 0}};
  const Loop l4{{0, 0}, {1, 0}, {1, 1}, {0, 0}};
  EXPECT_EQ(loopStackPush(a, l3.data(), 3), 1);
  EXPECT_EQ(loopStackPush(a, l4.data(), 4), 1);
  EXPECT_EQ(loopStackPush(a, l4.data(), 0), 0);
  EXPECT_EQ(loopStackPush(nullptr, l4.data(), 4), 0);
  LoopStack* b = loopStackNew();
  EXPECT_EQ(loopStackCopy(b, a), 1);
  ASSERT_NE(b->top, nullptr);
  EXPECT_EQ(b->top->count, 3);  // reversed order
  EXPECT_EQ(b->top->next->count, 4);

  Vec2d buf[4];
  int n = 0;
  EXPECT_EQ(loopStackPop(a, buf, 3, &n), -2);  // does not fit: stack unchanged
  EXPECT_EQ(a->top->count, 4);
  EXPECT_EQ(loopStackPop(a, buf, 4, &n), 1);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(buf[2].y, 1.0);
  EXPECT_EQ(loopStackPop(a, buf, 4, &n), 1);
  EXPECT_EQ(loopStackPop(a, buf, 4, &n), -1);
  EXPECT_EQ(loopStackPop(nullptr, buf, 4, &n), 0);
  const std::vector<std::pair<int, int>> expected{{1, 3}, {1, 4}, {2, 4}, {2, 3}};
  EXPECT_EQ(hookCalls, expected);
  loopStackClear(b);
  EXPECT_EQ(b->top, nullptr);
  loopStackFree(a);
  loopStackFree(b);
  loopStackFree(nullptr);
}

TEST(PolygonOffset, OrientationThreshold) {
  const Loop ccw = closedSquare(1);
  EXPECT_EQ(offset2dOrientation(ccw.data(), 5), 1);
  const Loop cw = reversed(ccw);
  EXPECT_EQ(offset2dOrientation(cw.data(), 5), -1);
  const Loop tiny = closedSquare(0.3);  // area 0.09
  EXPECT_EQ(offset2dOrientation(tiny.data(), 5), 0);
  EXPECT_EQ(offset2dOrientation(ccw.data(), 2), 0);
}

// ---- Oracle: Clipper 1 ------------------------------------------------------

constexpr double kScale = 1e5;

double clipperArea(const Loop& in, double d, ClipperLib::JoinType join, int* parts = nullptr) {
  ClipperLib::Path path;
  for (std::size_t i = 0; i + 1 < in.size(); ++i) {
    path.emplace_back(static_cast<ClipperLib::cInt>(std::llround(in[i].x * kScale)),
                      static_cast<ClipperLib::cInt>(std::llround(in[i].y * kScale)));
  }
  ClipperLib::ClipperOffset co(1e6, 0.0005 * kScale);
  co.AddPath(path, join, ClipperLib::etClosedPolygon);
  ClipperLib::Paths out;
  co.Execute(out, -d * kScale);
  double a = 0.0;
  for (const auto& p : out) a += ClipperLib::Area(p);
  if (parts != nullptr) *parts = static_cast<int>(out.size());
  return a / (kScale * kScale);
}

double totalArea(const Offset& r) {
  double a = std::fabs(loopArea(r.main.data(), static_cast<int>(r.main.size())));
  for (const Loop& l : r.extra) a += std::fabs(loopArea(l.data(), static_cast<int>(l.size())));
  return a;
}

TEST(PolygonOffset, ConvexLoopsMatchClipperMiters) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 100; ++i) {
    const int n = 5 + static_cast<int>(unit(rng) * 20);
    std::vector<double> angles;
    for (int k = 0; k < n; ++k) angles.push_back(2.0 * M_PI * (k + 0.4 * unit(rng)) / n);
    const double a = 40 + 30 * unit(rng), b = 40 + 30 * unit(rng);
    Loop in;
    for (double t : angles) in.push_back({a * std::cos(t), b * std::sin(t)});
    in = close(in);
    const double d = 0.2 + 2.0 * unit(rng);
    const Offset r = offset(in, d, 1);
    ASSERT_GT(r.code, 0) << i;
    EXPECT_TRUE(r.extra.empty());
    const double expected = clipperArea(in, d, ClipperLib::jtMiter);
    EXPECT_NEAR(totalArea(r), expected, 1e-6 * expected) << i;
  }
}

// At reflex corners the offset puts a single point on the bisector, so its
// region lies between the exact (round) offsets by d and by d cos(turn / 2).
TEST(PolygonOffset, StarLoopsLieBetweenClipperRoundOffsets) {
  std::mt19937 rng(57);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 100; ++i) {
    const int n = 2 * (4 + static_cast<int>(unit(rng) * 8));
    Loop in;
    for (int k = 0; k < n; ++k) {
      const double t = 2.0 * M_PI * k / n;
      const double rad = k % 2 == 0 ? 50 + 20 * unit(rng) : 25 + 15 * unit(rng);
      in.push_back({rad * std::cos(t), rad * std::sin(t)});
    }
    in = close(in);
    double c = 1.0;
    for (int k = 0; k < n; ++k) {
      const Vec2d& p = in[static_cast<std::size_t>(k)];
      const Vec2d& q = in[static_cast<std::size_t>(k + 1)];
      const Vec2d& s = in[static_cast<std::size_t>((k + 2) % n)];
      const double ux = q.x - p.x, uy = q.y - p.y, vx = s.x - q.x, vy = s.y - q.y;
      if (ux * vy - uy * vx < 0.0) {
        const double turn =
            std::acos((ux * vx + uy * vy) / std::hypot(ux, uy) / std::hypot(vx, vy));
        c = std::min(c, std::cos(turn / 2.0));
      }
    }
    const double d = 0.5 + 4.0 * unit(rng);
    const Offset r = offset(in, d, 1);
    ASSERT_GT(r.code, 0) << i;
    const double area = totalArea(r);
    EXPECT_GE(area, clipperArea(in, d, ClipperLib::jtRound) * (1 - 1e-4)) << i;
    EXPECT_LE(area, clipperArea(in, c * d, ClipperLib::jtRound) * (1 + 1e-4)) << i;
  }
}

// Rooms in a row joined by corridors: corridors narrower than twice the
// distance split the offset, each room surviving as its own loop.
TEST(PolygonOffset, RoomsSplitLikeClipperOffsets) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int split = 0;
  for (int i = 0; i < 100; ++i) {
    const int rooms = 2 + static_cast<int>(unit(rng) * 3);
    const double d = 0.5 + 3.5 * unit(rng);
    // Bottom side left to right, then the top side back.
    Loop bottom, top;
    double x = 0.0;
    for (int k = 0; k < rooms; ++k) {
      const double w = 8 + 7 * unit(rng), h = 8 + 7 * unit(rng);
      const double y0 = -h / 2, y1 = h / 2;
      bottom.push_back({x, y0});
      top.push_back({x, y1});
      x += w;
      bottom.push_back({x, y0});
      top.push_back({x, y1});
      if (k + 1 < rooms) {
        double cw = 1 + 5 * unit(rng);
        if (std::fabs(cw / 2 - d) < 0.3) cw += 0.8;  // keep clear of the exact split
        cw = std::min(cw, 7.5);
        bottom.push_back({x, -cw / 2});
        top.push_back({x, cw / 2});
        x += 3 + 5 * unit(rng);
        bottom.push_back({x, -cw / 2});
        top.push_back({x, cw / 2});
      }
    }
    Loop in = bottom;
    for (auto it = top.rbegin(); it != top.rend(); ++it) in.push_back(*it);
    in = close(in);
    const Offset r = offset(in, d, 1);
    ASSERT_GT(r.code, 0) << i;
    // The corner cuts at the corridor mouths may keep a short corridor open
    // that the exact offset closes: the loops number between those of the
    // exact offsets by d cos 45 and by d.
    int most = 0, fewest = 0;
    const double round = clipperArea(in, d, ClipperLib::jtRound, &most);
    const double cut = clipperArea(in, d * std::cos(M_PI / 4), ClipperLib::jtRound, &fewest);
    const int loops = 1 + static_cast<int>(r.extra.size());
    EXPECT_GE(loops, fewest) << i;
    EXPECT_LE(loops, most) << i;
    const double area = totalArea(r);
    EXPECT_GE(area, round * (1 - 1e-4)) << i;
    EXPECT_LE(area, cut * (1 + 1e-4)) << i;
    split += r.extra.empty() ? 0 : 1;
  }
  EXPECT_GT(split, 20);
}

// Arbitrary loops, crossing themselves or not: every answer is a code or
// closed counter-clockwise loops, never a crash or an overrun.
TEST(PolygonOffset, ArbitraryLoopsGiveCodesOrClosedLoops) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 300; ++i) {
    const int n = 3 + static_cast<int>(unit(rng) * 30);
    Loop in;
    for (int k = 0; k < n; ++k) in.push_back({100 * unit(rng), 100 * unit(rng)});
    in = close(in);
    const double d = 0.1 + 20 * unit(rng);
    const int side = unit(rng) < 0.5 ? 1 : -1;
    const Offset r = offset(in, d, side);
    ASSERT_GE(r.code, -2) << i;
    std::vector<const Loop*> loops;
    if (r.code > 0) loops.push_back(&r.main);
    for (const Loop& l : r.extra) loops.push_back(&l);
    for (const Loop* l : loops) {
      ASSERT_GE(l->size(), 3u) << i;
      EXPECT_NEAR(l->front().x, l->back().x, 1e-5) << i;
      EXPECT_NEAR(l->front().y, l->back().y, 1e-5) << i;
      EXPECT_EQ(offset2dOrientation(l->data(), static_cast<int>(l->size())), side) << i;
    }
  }
}

}  // namespace
