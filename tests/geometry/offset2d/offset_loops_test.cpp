#include "geometry/offset2d/offset_loops.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "geometry/offset2d/test_chains.h"

namespace {

using offset2d_test::Chain;
using offset2d_test::polyline;

// ---- Small predicates --------------------------------------------------------------

TEST(LoopPredicates, PointsAndOrderAlongASegment) {
  const Vec2d a{1, 1}, near{1.00009, 0.99991}, far{1.0002, 1};
  EXPECT_EQ(ptEqual2d(&a, &near), 1);
  EXPECT_EQ(ptEqual2d(&a, &far), 0);

  const Seg2 backwards{10, 0, 0, 0}, vertical{5, 0, 5, 10};
  const Vec2d p2{2, 0}, p8{8, 0}, q3{5, 3}, q7{5, 7};
  EXPECT_EQ(seg2PointOrderOnSegment(&backwards, &p2, &p8),
            1);  // along the segment, 2 lies beyond 8
  EXPECT_EQ(seg2PointOrderOnSegment(&backwards, &p8, &p2), 2);
  EXPECT_EQ(seg2PointOrderOnSegment(&backwards, &p8, &p8), 2);
  EXPECT_EQ(seg2PointOrderOnSegment(&vertical, &q7, &q3), 1);
}

TEST(LoopPredicates, ChainCutsCircleOnlyThroughItsInside) {
  const Chain c = polyline({{0, 0}, {10, 0}, {10, 10}});
  struct Case {
    Vec2d centre;
    double radius;
    int expected;
  };
  const Case cases[] = {
      {{5, 3}, 2.0, 0},   // clear of the chain
      {{5, 2}, 2.0, 0},   // tangent to the first segment
      {{5, 1}, 2.0, 1},   // cuts it twice
      {{10, 0}, 2.0, 1},  // one point on each segment next to the corner
      {{12, 0}, 2.0, 0},  // touches the chain only at its corner, an end of both segments
      {{5, 5}, 20.0, 0},  // the whole chain inside
  };
  for (const Case& k : cases) {
    EXPECT_EQ(seg2ChainCutsCircle(&k.centre, k.radius, c.data(), 2), k.expected)
        << k.centre.x << "," << k.centre.y << " r " << k.radius;
  }
}

// ---- Classification ------------------------------------------------------------------

// A raw offset at distance 1 above the input (0, 0)-(10, 0), with a loop whose
// last segment comes back down through the first one at (5, 2).
const Chain kRaw = polyline({{0, 2}, {10, 2}, {10, 4}, {5, 4}, {5, 0}});
const Chain kInput = polyline({{0, 0}, {10, 0}});

TEST(MarkCrossings, NearTheInputGivesStateZero) {
  std::vector<Seg2Isect> recs = {
      {5, 0.995, 0.5, 1, 4, 9},  // within r = 1 - 0.001 of the input
      {5, 2, 0.5, 1, 4, 9},      // at distance 2: the turn decides
  };
  offset2dMarkCrossings(recs.data(), 2, kRaw.data(), 4, kInput.data(), 1, 1.0, 1);
  EXPECT_EQ(recs[0].state, 0);
  EXPECT_EQ(recs[1].state, 1);
  // The other side turns the class over.
  offset2dMarkCrossings(recs.data(), 2, kRaw.data(), 4, kInput.data(), 1, 1.0, -1);
  EXPECT_EQ(recs[1].state, 0);
  // Exactly at r = distance - 0.001 it is not nearer.
  std::vector<Seg2Isect> edge = {{5, 0.9995, 0.5, 1, 4, 9}};
  offset2dMarkCrossings(edge.data(), 1, kRaw.data(), 4, kInput.data(), 1, 1.0, 1);
  EXPECT_EQ(edge[0].state, 1);
}

TEST(MarkCrossings, StartRecordIsTestedALittleAlongItsPath) {
  // The start (0, 2) keeps its distance from a wall at x = 1, but the path it
  // starts runs into the wall's circle: the test point (1, 2) lies 0.5 from it.
  const Chain wall = polyline({{1, 2.5}, {1, 10}});
  std::vector<Seg2Isect> start = {{0, 2, 0.0, 1, 4, 9}};
  offset2dMarkCrossings(start.data(), 1, kRaw.data(), 4, wall.data(), 1, 1.0, 1);
  EXPECT_EQ(start[0].state, 0);
  // Against the plain input it is the trace's start: state 1 for either side.
  for (const int side : {1, -1}) {
    start[0].state = 9;
    offset2dMarkCrossings(start.data(), 1, kRaw.data(), 4, kInput.data(), 1, 1.0, side);
    EXPECT_EQ(start[0].state, 1) << side;
  }
}

// Where both branches leave a crossing along one ray, the way the second
// comes in decides, as if it had gone straight across the first.
TEST(TurnClass, BranchesLeavingAlongOneRayAreToldApartByTheirWaysIn) {
  struct Row {
    const char* name;
    Chain chain;
    int second;     // segment the second branch reaches (5, 0) on
    int classSide;  // class for side 1 (side -1 has the other)
  };
  const Row rows[] = {
      // The second branch comes up from the right of the first and runs on
      // along it: as a crossing from right to left, class 2.
      {"merges_from_the_right", polyline({{0, 0}, {10, 0}, {10, -5}, {5, -5}, {5, 0}, {12, 0}}), 4,
       2},
      {"crosses_from_the_right", polyline({{0, 0}, {10, 0}, {10, -5}, {5, -5}, {5, 5}}), 4, 2},
      // From the left: class 1.
      {"merges_from_the_left", polyline({{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, 0}, {12, 0}}), 4, 1},
      {"crosses_from_the_left", polyline({{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, -5}}), 4, 1},
  };
  for (const Row& r : rows) {
    const int m = static_cast<int>(r.chain.size());
    const Seg2Isect rec{5, 0, 0.5, 1, r.second, 0};
    EXPECT_EQ(seg2IsectTurnClass(1, r.chain.data(), m, &rec), r.classSide) << r.name;
    EXPECT_EQ(seg2IsectTurnClass(-1, r.chain.data(), m, &rec), 3 - r.classSide) << r.name;
  }
}

// Where one branch leaves a crossing back along the way the other came in
// (the two ends of a stretch the chain runs both ways), the class is that of
// the stretch lying to the left of the first branch, whichever way the
// figure is turned.
TEST(TurnClass, BranchesTurningBackAlongAStretchKeepTheirClassWhenTurned) {
  struct Row {
    const char* name;
    std::vector<Vec2d> points;
    int second;     // segment the second branch reaches the origin on
    int classSide;  // class for side 1 (side -1 has the other)
  };
  const Row rows[] = {
      // The first runs straight through the origin; the second comes up to it
      // from below and leaves back along the first's way in.
      {"second_turns_back", {{-5, 0}, {5, 0}, {5, -3}, {0, -3}, {0, 0}, {-4, 0}}, 4, 2},
      // The first comes up to the origin and leaves along the way the second,
      // running straight through, comes in.
      {"first_turns_into_the_second", {{0, -5}, {0, 0}, {5, 0}, {5, 2}, {3, 0}, {-5, 0}}, 5, 1},
  };
  for (const Row& r : rows) {
    for (int turns = 0; turns < 4; ++turns) {
      std::vector<Vec2d> pts = r.points;
      for (Vec2d& p : pts) {
        for (int k = 0; k < turns; ++k) p = {-p.y, p.x};
      }
      const Chain chain = polyline(pts);
      const int m = static_cast<int>(chain.size());
      const Seg2Isect rec{0, 0, 0.5, 1, r.second, 0};
      EXPECT_EQ(seg2IsectTurnClass(1, chain.data(), m, &rec), r.classSide)
          << r.name << " turns " << turns;
      EXPECT_EQ(seg2IsectTurnClass(-1, chain.data(), m, &rec), 3 - r.classSide)
          << r.name << " turns " << turns;
    }
  }
}

TEST(TurnClass, StartOnTheTipOfAStretchRunBothWaysIsNoStartToTheRight) {
  // A closed chain that starts by running back down the way its last segment
  // came up: the start is the tip of a stretch of no width.
  const Chain tip = polyline({{0, 4}, {0, 2}, {4, 2}, {4, 0}, {0, 0}, {0, 4}});
  const Chain plain = polyline({{0, 2}, {4, 2}, {4, 0}, {0, 0}, {0, 2}});
  const Seg2Isect tipStart{0, 4, 0.0, 1, 5, 0}, plainStart{0, 2, 0.0, 1, 4, 0};
  EXPECT_EQ(seg2IsectTurnClass(1, tip.data(), 5, &tipStart), 1);
  EXPECT_EQ(seg2IsectTurnClass(-1, tip.data(), 5, &tipStart), 2);
  for (const int side : {1, -1}) {
    EXPECT_EQ(seg2IsectTurnClass(side, plain.data(), 4, &plainStart), 1) << side;
  }
}

// ---- Trace ---------------------------------------------------------------------------------

TEST(TraceOuter, SwallowtailLoopIsCutOut) {
  // Segment 4 crosses segment 1: the loop 1 (after the crossing), 2, 3, 4
  // (before it) goes; the path runs from the start to the crossing on 1, then
  // from the crossing on 4 to the end.
  const Chain raw = polyline({{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, -5}, {15, -5}});
  std::vector<Seg2Isect> recs = {
      {5, 0, 0.5, 1, 4, 0},  // crossing: entered on 1, left on 4
      {0, 0, 0.0, 1, 5, 1},  // start record
  };
  Chain out(16);
  int failed = 0;
  const int m = offset2dTraceOuter(recs.data(), 2, raw.data(), 5, out.data(), 16, &failed);
  ASSERT_EQ(m, 3);
  EXPECT_EQ(failed, 0);
  const Chain expected = polyline({{0, 0}, {5, 0}, {5, -5}, {15, -5}});
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(out[i].x0, expected[i].x0) << i;
    EXPECT_DOUBLE_EQ(out[i].y0, expected[i].y0) << i;
    EXPECT_DOUBLE_EQ(out[i].x1, expected[i].x1) << i;
    EXPECT_DOUBLE_EQ(out[i].y1, expected[i].y1) << i;
  }
  EXPECT_EQ(recs[0].state, 2);  // the start record moved to the front and was used
  EXPECT_EQ(recs[0].first, 1);
  EXPECT_EQ(recs[0].second, 5);
}

TEST(TraceOuter, NoStartOfStateOneTracesNothing) {
  const Chain raw = polyline({{0, 0}, {10, 0}, {10, 5}});
  std::vector<Seg2Isect> recs = {{0, 0, 0.0, 1, 2, 0}};
  Chain out(8);
  int failed = 0;
  EXPECT_EQ(offset2dTraceOuter(recs.data(), 1, raw.data(), 2, out.data(), 8, &failed), 0);
  EXPECT_EQ(failed, 0);
}

TEST(TraceLoop, StepBackwardsSetsTheFailureFlag) {
  // From the start crossing (segments 1 and 3) the trace reaches the crossing
  // of 2 and 5 and leaves on 5; with nothing ahead it would have to go back to
  // the start's segment 3.
  const Chain raw = polyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}});
  std::vector<Seg2Isect> recs = {{0, 0, 0.0, 1, 3, 1}, {1.5, 0, 0.5, 2, 5, 0}};
  Chain out(16);
  int failed = 0;
  EXPECT_EQ(offset2dTraceLoop(recs.data(), 2, raw.data(), 6, out.data(), 16, &failed), 0);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(recs[0].state, 2);
}

TEST(TraceLoop, RunWithAGapFailsButKeepsALongPartialTrace) {
  // Segments 1-10 along x, a gap between 10 and 11, then 11-13.
  Chain raw;
  for (int i = 0; i < 10; ++i) raw.push_back({double(i), 0, double(i + 1), 0});
  raw.push_back({10.5, 0, 11, 0});
  raw.push_back({11, 0, 12, 0});
  raw.push_back({12, 0, 13, 0});
  std::vector<Seg2Isect> recs = {
      {0, 0, 0.0, 1, 13, 1},      // start
      {8.5, 0, 0.5, 9, 10, 0},    // entered on 9, left on 10
      {11.5, 0, 0.5, 12, 13, 0},  // the run 10..12 to it holds the gap
  };
  Chain out(32);
  int failed = 0;
  EXPECT_EQ(offset2dTraceLoop(recs.data(), 3, raw.data(), 13, out.data(), 32, &failed), 9);
  EXPECT_EQ(failed, 1);  // kept, but the pass must not trust it
  EXPECT_DOUBLE_EQ(out[8].x1, 8.5);
}

TEST(TraceLoop, RunThatDoesNotFitFails) {
  const Chain raw = polyline({{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, -5}, {15, -5}});
  std::vector<Seg2Isect> recs = {{0, 0, 0.0, 1, 5, 1}, {5, 0, 0.5, 1, 4, 0}};
  Chain out(2);  // the trace needs 3
  int failed = 0;
  EXPECT_EQ(offset2dTraceLoop(recs.data(), 2, raw.data(), 5, out.data(), 2, &failed), 0);
  EXPECT_EQ(failed, 1);
}

TEST(TraceLoop, LongChainsHaveNoSegmentOrLengthLimit) {
  // 12000 unit segments, then a loop whose way down crosses segment 10501:
  // the crossing lies beyond segment 10000 and the trace is far longer than
  // 5000 segments; both are kept.
  Chain raw;
  for (int i = 0; i < 12000; ++i) raw.push_back({double(i), 0, double(i + 1), 0});
  const Chain tail = polyline({{12000, 0}, {12000, 5}, {10500.5, 5}, {10500.5, -5}, {13000, -5}});
  raw.insert(raw.end(), tail.begin(), tail.end());
  const int m = static_cast<int>(raw.size());
  ASSERT_EQ(m, 12004);
  std::vector<Seg2Isect> recs = {{0, 0, 0.0, 1, m, 1}, {10500.5, 0, 0.5, 10501, 12003, 0}};
  Chain out(static_cast<std::size_t>(3 * m));
  int failed = 0;
  const int traced = offset2dTraceOuter(recs.data(), 2, raw.data(), m, out.data(), 3 * m, &failed);
  EXPECT_EQ(failed, 0);
  ASSERT_EQ(traced, 10503);
  EXPECT_DOUBLE_EQ(out[10500].x1, 10500.5);
  EXPECT_DOUBLE_EQ(out[10501].y1, -5.0);
  EXPECT_DOUBLE_EQ(out[10502].x1, 13000.0);
}

TEST(NextCrossing, NearestAheadOnTheSameSegmentWins) {
  const Chain raw = polyline({{0, 0}, {10, 0}, {20, 0}});
  std::vector<Seg2Isect> recs = {
      {2, 0, 0.2, 1, 2, 1},   // current, leaving on segment 1
      {7, 0, 0.7, 1, 2, 0},   // ahead on 1
      {4, 0, 0.4, 1, 2, 0},   // nearer, ahead on 1
      {1, 0, 0.1, 1, 2, 0},   // behind the current point
      {15, 0, 0.5, 2, 2, 0},  // on a later segment
  };
  int next = -1;
  ASSERT_EQ(offset2dNextCrossing(raw.data(), 1, recs.data(), 5, 0, &next), 1);
  EXPECT_EQ(next, 2);
  recs[2].state = 2;  // used
  recs[1].state = 1;  // of the key's own state
  ASSERT_EQ(offset2dNextCrossing(raw.data(), 1, recs.data(), 5, 0, &next), 1);
  EXPECT_EQ(next, 4);
  recs[4].state = 2;
  EXPECT_EQ(offset2dNextCrossing(raw.data(), 1, recs.data(), 5, 0, &next), 0);
}

// The trace finds each next crossing through an index by entry segment; its
// answers must be those of the rule read over every record, for every record
// and key, also as the trace uses records up.  Records crowd a few segments
// and share points, so that ties along a segment are decided as the rule
// decides them.
TEST(NextCrossing, IndexAnswersAsTheRuleOverEveryRecord) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 30; ++round) {
    const int m = 3 + round % 11;
    Chain chain;
    for (int k = 0; k < m; ++k) {
      chain.push_back({double(k), double(k % 3), double(k + 1), double((k + 1) % 3)});
    }
    std::uniform_int_distribution<int> seg(1, m), state(0, 2), spot(0, 4);
    std::vector<Seg2Isect> recs;
    const int n = 5 + round * 3;
    for (int p = 0; p < n; ++p) {
      int first = seg(rng), second = seg(rng);
      if (first > second) std::swap(first, second);
      const int on = state(rng) == 1 ? second : first;
      const Seg2& s = chain[static_cast<std::size_t>(on - 1)];
      const double t = spot(rng) / 4.0;  // shared points: ends and quarters
      recs.push_back(
          {s.x0 + t * (s.x1 - s.x0), s.y0 + t * (s.y1 - s.y0), t, first, second, state(rng)});
    }
    offset2d_detail::CrossingIndex index(recs.data(), n);
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int used = 0; used < n / 2; ++used) {
      for (int cur = 0; cur < n; ++cur) {
        for (const int key : {1, 2}) {
          int expected = -1, got = -1;
          const int e = offset2dNextCrossing(chain.data(), key, recs.data(), n, cur, &expected);
          ASSERT_EQ(index.next(chain.data(), key, cur, &got), e)
              << "round " << round << ", cur " << cur << ", key " << key;
          if (e == 1) {
            ASSERT_EQ(got, expected) << "round " << round << ", cur " << cur;
          }
        }
      }
      const int p = pick(rng);
      if (recs[static_cast<std::size_t>(p)].state == 2) continue;
      index.used(p);
      recs[static_cast<std::size_t>(p)].state = 2;
    }
  }
}

}  // namespace
