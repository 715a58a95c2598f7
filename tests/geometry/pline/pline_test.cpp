#include "geometry/pline/pline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kTol = 0.00001;

struct PlineDeleter {
  void operator()(Pline* pl) const { plineFree(pl); }
};
using PlinePtr = std::unique_ptr<Pline, PlineDeleter>;

const PointStatus kCut = pointStatusMake(kPointKindContact, kPointCut);

int st(int code, int kind = kPointKindContact) { return pointStatusMake(kind, code); }

// A Pline along the x axis with the given parameters (point x = parameter).
PlinePtr lineWithParams(const std::vector<double>& params, int withAxes = 0) {
  PlinePtr pl(plineNew(static_cast<int>(params.size()), withAxes));
  for (double t : params) {
    const Vec3d p{t, 0, 0};
    EXPECT_GE(plineAppend(pl.get(), t, &p, kCut, nullptr, 0), 0);
  }
  return pl;
}

// A Pline through the given points with the given status codes (kind 1) and
// arc-length parameters.
PlinePtr lineThrough(const std::vector<Vec3d>& pts, const std::vector<int>& codes = {}) {
  PlinePtr pl(plineNew(static_cast<int>(pts.size()), 0));
  for (size_t i = 0; i < pts.size(); ++i) {
    const int code = codes.empty() ? kPointCut : codes[i];
    EXPECT_GE(plineAppend(pl.get(), 0.0, &pts[i], st(code), nullptr, 0), 0);
  }
  plineArcLengthParams(pl.get());
  return pl;
}

std::vector<double> paramsOf(const Pline* pl) {
  return std::vector<double>(pl->params, pl->params + pl->count);
}

std::vector<int> codesOf(const Pline* pl) {
  std::vector<int> out;
  for (int i = 0; i < pl->count; ++i) out.push_back(pointStatusCode(pl->status[i]));
  return out;
}

// Exact equality of two Plines, array by array.
void expectSamePline(const Pline* a, const Pline* b) {
  ASSERT_EQ(a->count, b->count);
  EXPECT_EQ(a->tag, b->tag);
  for (int i = 0; i < a->count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a->params[i], b->params[i]);
    EXPECT_EQ(a->status[i], b->status[i]);
    EXPECT_EQ(a->points[i].x, b->points[i].x);
    EXPECT_EQ(a->points[i].y, b->points[i].y);
    EXPECT_EQ(a->points[i].z, b->points[i].z);
    ASSERT_EQ(a->axes != nullptr, b->axes != nullptr);
    if (a->axes != nullptr) {
      EXPECT_EQ(a->axes[i].x, b->axes[i].x);
      EXPECT_EQ(a->axes[i].y, b->axes[i].y);
      EXPECT_EQ(a->axes[i].z, b->axes[i].z);
    }
    ASSERT_EQ(a->flags != nullptr, b->flags != nullptr);
    if (a->flags != nullptr) {
      EXPECT_EQ(a->flags[i], b->flags[i]);
    }
  }
}

// ---- status words ---------------------------------------------------------

TEST(PointStatusWord, KindLowByteCodeHighByte) {
  const PointStatus s = pointStatusMake(kPointKindApart, kPointSpecial);
  EXPECT_EQ(s, 0x0a64);
  EXPECT_EQ(pointStatusKind(s), kPointKindApart);
  EXPECT_EQ(pointStatusCode(s), kPointSpecial);
  EXPECT_EQ(pointStatusWithCode(s, kPointForeignMark), pointStatusMake(100, 100));
}

TEST(PointStatusWord, StoredGapLosesItsKind) {
  PlinePtr pl(plineNew(4, 0));
  const Vec3d p{0, 0, 0};
  plineAppend(pl.get(), 0, &p, st(kPointGap, kPointKindApart), nullptr, 0);
  plineAppend(pl.get(), 1, &p, st(kPointGapCandidate, kPointKindApart), nullptr, 0);
  InsertPline(pl.get(), 2, &p, st(kPointGap), nullptr, 0);
  EXPECT_EQ(pl->status[0], pointStatusMake(kPointKindNoContact, kPointGap));
  EXPECT_EQ(pl->status[1], pointStatusMake(kPointKindApart, kPointGapCandidate));
  EXPECT_EQ(pl->status[2], pointStatusMake(kPointKindNoContact, kPointGap));
}

// ---- creation and growth --------------------------------------------------

TEST(PlineCreate, CappedFirstAllocationStillGrowsPastTheCap) {
  PlinePtr pl(plineNewCapped(100000, 1));
  ASSERT_NE(pl, nullptr);
  EXPECT_EQ(pl->capacity, kPlineCapacityCap);
  ASSERT_NE(pl->axes, nullptr);
  ASSERT_NE(pl->flags, nullptr);
  for (int i = 0; i < 100000; ++i) {
    const Vec3d p{double(i), 0, 0};
    const Vec3d a{0, 0, 1};
    ASSERT_EQ(plineAppend(pl.get(), i, &p, kCut, &a, i & 1), i);
  }
  EXPECT_EQ(pl->count, 100000);
  EXPECT_GE(pl->capacity, 100000);
  EXPECT_EQ(pl->params[99999], 99999.0);
  EXPECT_EQ(pl->points[76543].x, 76543.0);
  EXPECT_EQ(pl->flags[12345], 1);
  // A full Pline is searched like any other.
  PlinePtr full = lineWithParams({0, 1, 2, 3});
  ASSERT_EQ(full->count, full->capacity);
  EXPECT_EQ(plineFindParam(full.get(), 2.0, nullptr, nullptr, nullptr), 2);
}

TEST(PlineCreate, GrowthByHalfAtLeastOne) {
  struct Case {
    int capacity;
    int grown;
  };
  const Case cases[] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 6}, {10, 15}, {40000, 60000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    PlinePtr pl(plineNew(c.capacity, 1));
    ASSERT_NE(pl, nullptr);
    const Vec3d p{0, 0, 0};
    for (int i = 0; i <= c.capacity; ++i) plineAppend(pl.get(), i, &p, kCut, nullptr, 0);
    EXPECT_EQ(pl->capacity, c.grown);
    EXPECT_EQ(pl->count, c.capacity + 1);
  }
  EXPECT_EQ(plineNew(-1, 0), nullptr);
  EXPECT_EQ(plineFree(nullptr), 0);
}

TEST(PlineCreate, FailedGrowthLeavesThePlineIntact) {
  // A record that claims to be full at the largest int count: growth must
  // fail cleanly before touching any array.
  double param = 0;
  PointStatus status = 0;
  Vec3d point{1, 2, 3};
  Pline fake{INT_MAX, INT_MAX, 7, &point, nullptr, nullptr, &param, &status, nullptr};
  const Vec3d p{0, 0, 0};
  EXPECT_EQ(plineAppend(&fake, 1.0, &p, kCut, nullptr, 0), -1);
  EXPECT_EQ(fake.capacity, INT_MAX);
  EXPECT_EQ(fake.count, INT_MAX);
  EXPECT_EQ(fake.points, &point);
  EXPECT_EQ(fake.params, &param);
  EXPECT_EQ(plineAppend(nullptr, 1.0, &p, kCut, nullptr, 0), -1);
  EXPECT_EQ(InsertPline(nullptr, 1.0, &p, kCut, nullptr, 0), -1);
}

TEST(PlineCreate, InsertingAPointOfTheSamePlineSurvivesGrowth) {
  // The arrays move when a full Pline grows: the point and axis handed in
  // from the Pline itself must be read before that.
  PlinePtr pl(plineNew(2, 1));
  const Vec3d p0{1, 2, 3}, p1{4, 5, 6}, a0{0, 1, 0};
  plineAppend(pl.get(), 0, &p0, kCut, &a0, 1);
  plineAppend(pl.get(), 1, &p1, kCut, &a0, 1);
  ASSERT_EQ(plineAppend(pl.get(), 2, &pl->points[0], kCut, &pl->axes[0], 1), 2);
  EXPECT_EQ(pl->points[2].z, 3.0);
  EXPECT_EQ(pl->axes[2].y, 1.0);
  ASSERT_EQ(InsertPline(pl.get(), -1, &pl->points[2], kCut, &pl->axes[1], 1), 0);
  EXPECT_EQ(pl->points[0].x, 1.0);
  EXPECT_EQ(pl->points[0].z, 3.0);
}

// ---- inserting ------------------------------------------------------------

enum class InsertFn { kInsert, kBisect };

struct InsertCase {
  std::string name;
  InsertFn fn;
  bool descending;
  double param;
  int index;
};

void PrintTo(const InsertCase& c, std::ostream* os) { *os << c.name; }

class PlineInsertTest : public testing::TestWithParam<InsertCase> {};

TEST_P(PlineInsertTest, LandsAtTheExpectedIndex) {
  const InsertCase& c = GetParam();
  PlinePtr pl = lineWithParams(c.descending ? std::vector<double>{3, 2, 1, 0}
                                            : std::vector<double>{0, 1, 2, 3});
  std::vector<double> expected = paramsOf(pl.get());
  const Vec3d p{-7, -7, -7};
  const int at = c.fn == InsertFn::kInsert
                     ? InsertPline(pl.get(), c.param, &p, kCut, nullptr, 0)
                     : plineInsertBisect(pl.get(), c.param, &p, kCut, nullptr, 0);
  ASSERT_EQ(at, c.index);
  expected.insert(expected.begin() + c.index, c.param);
  EXPECT_EQ(paramsOf(pl.get()), expected);
  EXPECT_EQ(pl->points[at].x, -7.0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlineInsertTest,
    testing::Values(
        // Ascending: a tie goes before the existing point.
        InsertCase{"ascTie", InsertFn::kInsert, false, 1.0, 1},
        InsertCase{"ascTieWithinTol", InsertFn::kInsert, false, 1.0 + 0.9e-5, 1},
        InsertCase{"ascJustPastTol", InsertFn::kInsert, false, 1.0 + 1.1e-5, 2},
        InsertCase{"ascBetween", InsertFn::kInsert, false, 2.5, 3},
        InsertCase{"ascBeforeFirst", InsertFn::kInsert, false, -1.0, 0},
        InsertCase{"ascAfterLast", InsertFn::kInsert, false, 9.0, 4},
        // Descending: a tie goes after the existing point.
        InsertCase{"descTie", InsertFn::kInsert, true, 1.0, 3},
        InsertCase{"descTieWithinTol", InsertFn::kInsert, true, 1.0 + 0.9e-5, 3},
        InsertCase{"descJustPastTol", InsertFn::kInsert, true, 1.0 + 1.1e-5, 2},
        InsertCase{"descBetween", InsertFn::kInsert, true, 2.5, 1},
        InsertCase{"descBeforeFirst", InsertFn::kInsert, true, 9.0, 0},
        InsertCase{"descAfterLast", InsertFn::kInsert, true, -1.0, 4},
        // Bisection: no tolerance, ties go after the existing point.
        InsertCase{"bisectAscTie", InsertFn::kBisect, false, 1.0, 2},
        InsertCase{"bisectAscBetween", InsertFn::kBisect, false, 2.5, 3},
        InsertCase{"bisectAscAfterLast", InsertFn::kBisect, false, 3.5, 4},
        InsertCase{"bisectAscBelowFirstKeepsOrder", InsertFn::kBisect, false, -1.0, 0},
        InsertCase{"bisectAscAtFirst", InsertFn::kBisect, false, 0.0, 1},
        InsertCase{"bisectDescBetween", InsertFn::kBisect, true, 2.5, 1},
        InsertCase{"bisectDescAfterLast", InsertFn::kBisect, true, -0.5, 4},
        InsertCase{"bisectDescBelowFirstKeepsOrder", InsertFn::kBisect, true, 4.0, 0}),
    [](const auto& info) { return info.param.name; });

TEST(PlineInsert, BisectIntoShortPlines) {
  const Vec3d p{0, 0, 0};
  PlinePtr pl(plineNew(1, 0));
  EXPECT_EQ(plineInsertBisect(pl.get(), 5.0, &p, kCut, nullptr, 0), 0);
  EXPECT_EQ(plineInsertBisect(pl.get(), 4.0, &p, kCut, nullptr, 0), 0);
  EXPECT_EQ(plineInsertBisect(pl.get(), 6.0, &p, kCut, nullptr, 0), 2);
  EXPECT_EQ(paramsOf(pl.get()), (std::vector<double>{4, 5, 6}));
}

TEST(PlineInsert, AxesAndFlagsMoveWithTheirPoints) {
  PlinePtr pl(plineNew(2, 1));
  const Vec3d p{0, 0, 0};
  const Vec3d a0{1, 0, 0}, a1{0, 1, 0};
  plineAppend(pl.get(), 0, &p, kCut, &a0, 5);
  plineAppend(pl.get(), 2, &p, kCut, &a1, 6);
  ASSERT_EQ(InsertPline(pl.get(), 1, &p, kCut, nullptr, 9), 1);
  EXPECT_EQ(pl->axes[0].x, 1.0);
  EXPECT_EQ(pl->axes[1].z, 1.0);  // no axis given: (0, 0, 1)
  EXPECT_EQ(pl->axes[2].y, 1.0);
  EXPECT_EQ(pl->flags[0], 5);
  EXPECT_EQ(pl->flags[1], 9);
  EXPECT_EQ(pl->flags[2], 6);
}

// ---- searching by parameter -----------------------------------------------

TEST(PlineFindParam, MatchesWithinTheTolerance) {
  PlinePtr pl = lineWithParams({0, 1, 2, 3, 4, 5}, 1);
  struct Case {
    double param;
    int index;
  };
  const Case cases[] = {
      {3.0, 3}, {3.0 + 0.9e-5, 3}, {3.0 - 0.9e-5, 3}, {3.0 + 1.1e-5, -1}, {3.0 - 1.1e-5, -1},
      {0.0, 0}, {5.0, 5},          {5.5, -1},         {-1.0, -1},         {std::nan(""), -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.param);
    Vec3d point{-1, -1, -1};
    Vec3d axis{-1, -1, -1};
    int hasAxis = -1;
    EXPECT_EQ(plineFindParam(pl.get(), c.param, &point, &axis, &hasAxis), c.index);
    if (c.index >= 0) {
      EXPECT_EQ(point.x, double(c.index));
      EXPECT_EQ(hasAxis, 1);
      EXPECT_EQ(axis.z, 1.0);  // appended without an axis: (0, 0, 1)
    }
  }
  PlinePtr empty(plineNew(4, 0));
  EXPECT_EQ(plineFindParam(empty.get(), 0.0, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(plineFindParam(nullptr, 0.0, nullptr, nullptr, nullptr), -1);
}

// The search as a plain backward scan with a hint, for comparison.
struct ReferenceFinder {
  int hint = -1;
  int find(const std::vector<double>& p, double param) {
    const int n = static_cast<int>(p.size());
    const auto within = [&](double v) { return std::fabs(v - param) < kTol; };
    int found = -1;
    const int h = (hint + 1) % n;
    if (within(p[h])) {
      found = h;
    } else {
      for (int i = n - 1; i >= 0; --i) {
        if (within(p[i])) {
          found = i;
          break;
        }
        if (p[i] < param - kTol) break;
      }
    }
    hint = found;
    return found;
  }
};

std::vector<double> randomAscending(std::mt19937& rng, int n) {
  // Steps include duplicates and steps at and around the tolerance.
  const double steps[] = {0, 0.5e-5, 1e-5, 1.5e-5, 2e-5, 0.01, 0.3, 1.0};
  std::uniform_int_distribution<int> pick(0, 7);
  std::vector<double> p{0.0};
  for (int i = 1; i < n; ++i) p.push_back(p.back() + steps[pick(rng)]);
  return p;
}

TEST(PlineFindParam, AgreesWithAPlainBackwardScan) {
  std::mt19937 rng(31);
  for (int round = 0; round < 40; ++round) {
    std::vector<double> p = randomAscending(rng, 1 + round * 7);
    const bool descending = round % 4 == 3;
    if (descending) std::reverse(p.begin(), p.end());
    PlinePtr pl = lineWithParams(p);
    ReferenceFinder ref;
    // Bring the thread's hint to -1 with a failed search.
    ASSERT_EQ(plineFindParam(pl.get(), 1e300, nullptr, nullptr, nullptr), -1);
    std::uniform_int_distribution<size_t> idx(0, p.size() - 1);
    std::uniform_real_distribution<double> off(-2e-5, 2e-5);
    for (int q = 0; q < 300; ++q) {
      const double param = p[idx(rng)] + (q % 3 == 0 ? 0.0 : off(rng));
      ASSERT_EQ(plineFindParam(pl.get(), param, nullptr, nullptr, nullptr), ref.find(p, param))
          << "round " << round << " param " << param;
    }
  }
}

// The forward point lookup as a plain scan, for comparison.
int referencePointAt(const std::vector<double>& p, const std::vector<Vec3d>& pts, double param,
                     Vec3d* out) {
  const int n = static_cast<int>(p.size());
  if (param < p[0] || param > p[n - 1] + kTol) return -1;
  int i = 1;
  while (i < n - 1 && !(p[i] > param - kTol)) ++i;
  if (std::fabs(param - p[i - 1]) < kTol) {
    *out = pts[i - 1];
  } else {
    const double f = (param - p[i - 1]) / (p[i] - p[i - 1]);
    *out = {pts[i - 1].x + (pts[i].x - pts[i - 1].x) * f,
            pts[i - 1].y + (pts[i].y - pts[i - 1].y) * f,
            pts[i - 1].z + (pts[i].z - pts[i - 1].z) * f};
  }
  return i - 1;
}

TEST(PlinePointAtParam, AgreesWithAPlainForwardScan) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> coord(-10, 10);
  for (int round = 0; round < 30; ++round) {
    std::vector<double> p = randomAscending(rng, 2 + round * 5);
    p.back() += 0.5;  // the last segment has a span
    std::vector<Vec3d> pts;
    PlinePtr pl(plineNew(0, 0));
    for (double t : p) {
      pts.push_back({coord(rng), coord(rng), coord(rng)});
      plineAppend(pl.get(), t, &pts.back(), kCut, nullptr, 0);
    }
    std::uniform_real_distribution<double> at(p.front() - 0.1, p.back() + 0.1);
    for (int q = 0; q < 200; ++q) {
      const double param = q % 2 ? at(rng) : p[q % p.size()];
      Vec3d got{}, want{};
      const int r = plinePointAtParamFwd(pl.get(), param, &got);
      ASSERT_EQ(r, referencePointAt(p, pts, param, &want)) << param;
      if (r >= 0) {
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.z, want.z);
      }
    }
  }
}

TEST(PlinePointAtParam, EdgesOfTheRange) {
  PlinePtr pl = lineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  struct Case {
    const char* name;
    double param;
    int result;
    double x;
  };
  const Case cases[] = {
      {"belowFirst", -0.9e-5, -1, 0},
      {"atFirst", 0.0, 0, 0},
      {"interior", 0.25, 0, 0.25},
      {"atInteriorPoint", 1.0, 0, 1.0},
      {"atLast", 2.0, 1, 2.0},
      {"pastLastWithinTol", 2.0 + 0.9e-5, 1, 2.0 + 0.9e-5},
      {"pastLastBeyondTol", 2.0 + 1.1e-5, -1, 0},
      {"nan", std::nan(""), -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec3d out{};
    EXPECT_EQ(plinePointAtParamFwd(pl.get(), c.param, &out), c.result);
    if (c.result >= 0) {
      EXPECT_NEAR(out.x, c.x, 1e-12);
    }
  }
}

TEST(PlinePointAtParam, SinglePointGivesThatPoint) {
  PlinePtr pl(plineNew(1, 1));
  const Vec3d p{4, 5, 6}, a{0, 1, 0};
  plineAppend(pl.get(), 2.0, &p, kCut, &a, 1);
  Vec3d out{}, axis{};
  EXPECT_EQ(plinePointAtParamFwd(pl.get(), 2.0, &out), 0);
  EXPECT_EQ(out.y, 5.0);
  EXPECT_EQ(plineAxisAtParam(pl.get(), 2.0 + 0.5e-5, &out, &axis), 1);
  EXPECT_EQ(axis.y, 1.0);
  EXPECT_EQ(plinePointAtParamFwd(pl.get(), 1.0, &out), -1);
  EXPECT_EQ(plineSplitAtParam(pl.get(), 2.0, 0.1), -1);
  PlinePtr empty(plineNew(1, 1));
  EXPECT_EQ(plinePointAtParamFwd(empty.get(), 0.0, &out), -1);
}

TEST(PlineAxisAtParam, TurnsBetweenNeighbourAxes) {
  PlinePtr pl(plineNew(3, 1));
  const Vec3d p0{0, 0, 0}, p1{1, 0, 0}, p2{2, 0, 0};
  const Vec3d a0{1, 0, 0}, a1{0, 1, 0}, a2{0, 1, 0};
  plineAppend(pl.get(), 0.0, &p0, kCut, &a0, 1);
  plineAppend(pl.get(), 1.0, &p1, kCut, &a1, 1);
  plineAppend(pl.get(), 1.0, &p2, kCut, &a2, 1);  // zero parameter span
  Vec3d point{}, axis{};
  ASSERT_EQ(plineAxisAtParam(pl.get(), 0.5, &point, &axis), 1);
  EXPECT_NEAR(point.x, 0.5, 1e-15);
  EXPECT_NEAR(axis.x, std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(axis.y, std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(axis.z, 0.0, 1e-15);
  EXPECT_EQ(plineAxisAtParam(pl.get(), 3.0, &point, &axis), -1);

  // First two parameters equal: the axis of the first point, never NaN.
  PlinePtr flat(plineNew(2, 1));
  plineAppend(flat.get(), 0.0, &p0, kCut, &a0, 1);
  plineAppend(flat.get(), 0.0, &p1, kCut, &a1, 1);
  ASSERT_EQ(plineAxisAtParam(flat.get(), 0.5e-5, &point, &axis), 1);
  EXPECT_EQ(axis.x, 1.0);
  EXPECT_EQ(axis.y, 0.0);

  PlinePtr noAxes = lineWithParams({0, 1});
  EXPECT_EQ(plineAxisAtParam(noAxes.get(), 0.5, &point, &axis), -1);
}

// ---- marking --------------------------------------------------------------

TEST(PlineMarking, RunEndsBreaksAndCutLength) {
  PlinePtr pl = lineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
                            {kPointCut, kPointGapCandidate, kPointGap, kPointCut, kPointCut});
  EXPECT_EQ(plineIsRunEnd(pl.get(), 0), 0);
  EXPECT_EQ(plineIsRunEnd(pl.get(), 1), 1);
  EXPECT_EQ(plineIsRunEnd(pl.get(), 3), 0);
  EXPECT_EQ(plineIsRunEnd(pl.get(), 4), 1);
  EXPECT_EQ(plineIsBreakBetween(pl.get(), 0, 1), 1);  // one candidate
  EXPECT_EQ(plineIsBreakBetween(pl.get(), 1, 2), 1);  // one gap
  EXPECT_EQ(plineIsBreakBetween(pl.get(), 3, 4), 0);
  EXPECT_EQ(plineIsBreakBetween(pl.get(), 3, 5), 0);
  EXPECT_EQ(plineIsBreakBetween(pl.get(), -1, 0), 0);
  EXPECT_DOUBLE_EQ(plineCutLength(pl.get()), 2.0);  // 0-1 and 3-4
}

TEST(PlineMarking, GapUnflaggedTurnsPointsWithoutContactIntoGaps) {
  PlinePtr pl(plineNew(3, 0));
  const Vec3d p{0, 0, 0};
  plineAppend(pl.get(), 0, &p, st(kPointCut, kPointKindNoContact), nullptr, 0);
  plineAppend(pl.get(), 1, &p, st(kPointBridged, kPointKindContact), nullptr, 0);
  plineAppend(pl.get(), 2, &p, st(kPointGapCandidate, kPointKindNoContact), nullptr, 0);
  EXPECT_EQ(plineGapUnflagged(pl.get()), 3);
  EXPECT_EQ(codesOf(pl.get()), (std::vector<int>{kPointGap, kPointBridged, kPointGap}));
}

TEST(PlineMarking, BridgeShortGapsDecidesPerStretch) {
  struct Case {
    const char* name;
    std::vector<int> codes;
    double maxGap;
    std::vector<int> expected;
  };
  const int C = kPointCut, G = kPointGap, Q = kPointGapCandidate, B = kPointBridged;
  const Case cases[] = {
      {"shortStretchBridged", {C, Q, Q, C}, 3.5, {C, B, B, C}},
      {"longStretchGaps", {C, Q, Q, C}, 3.0, {C, G, G, C}},
      {"noSolidBefore", {Q, Q, C}, 100, {G, G, C}},
      {"noSolidAfter", {C, Q, Q}, 100, {C, G, G}},
      {"gapInsideStretchKept", {C, Q, G, Q, C}, 100, {C, B, G, B, C}},
      {"twoStretches", {C, Q, C, C, Q, Q, Q, C}, 2.5, {C, B, C, C, G, G, G, C}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Vec3d> pts;
    for (size_t i = 0; i < c.codes.size(); ++i) pts.push_back({double(i), 0, 0});
    PlinePtr pl = lineThrough(pts, c.codes);
    plineBridgeShortGaps(pl.get(), c.maxGap);
    EXPECT_EQ(codesOf(pl.get()), c.expected);
  }
}

TEST(PlineMarking, BridgeTreatsPointsWithoutContactAsNotSolid) {
  PlinePtr pl = lineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}},
                            {kPointCut, kPointGapCandidate, kPointCut, kPointCut});
  pl->status[2] = pointStatusMake(kPointKindNoContact, kPointCut);  // not solid
  plineBridgeShortGaps(pl.get(), 2.5);                              // 0 to 3 is 3 long
  EXPECT_EQ(codesOf(pl.get()), (std::vector<int>{kPointCut, kPointGap, kPointCut, kPointCut}));
}

// ---- climb modes ----------------------------------------------------------

struct ClimbCase {
  std::string name;
  int mode;
  std::vector<double> z;
  std::vector<int> codes;
  std::vector<double> zAfter;
  std::vector<int> codesAfter;
};

void PrintTo(const ClimbCase& c, std::ostream* os) { *os << c.name; }

class PlineClimbTest : public testing::TestWithParam<ClimbCase> {};

TEST_P(PlineClimbTest, MarksAndLevels) {
  const ClimbCase& c = GetParam();
  std::vector<Vec3d> pts;
  for (size_t i = 0; i < c.z.size(); ++i) pts.push_back({double(i), 0, c.z[i]});
  PlinePtr pl = lineThrough(pts, c.codes);
  plineApplyClimbMode(pl.get(), c.mode);
  EXPECT_EQ(codesOf(pl.get()), c.codesAfter);
  for (int i = 0; i < pl->count; ++i) EXPECT_EQ(pl->points[i].z, c.zAfter[i]) << i;
}

const int C = kPointCut, G = kPointGap, D = kPointDropped;

INSTANTIATE_TEST_SUITE_P(
    Table, PlineClimbTest,
    testing::Values(ClimbCase{"upwardKeepsFirstRunNonDecreasing",
                              kPlineClimbUpward,
                              {0, 1, 0.5, 2, 9, 3, 2, 4},
                              {C, C, C, C, G, C, C, C},
                              {0, 1, 1, 2, 9, 3, 3, 4},
                              {C, C, C, C, G, G, G, G}},
                    ClimbCase{"upwardSkipsLeadingDroppedAndGaps",
                              kPlineClimbUpward,
                              {5, 0, 1, 0, 3},
                              {G, D, C, C, G},
                              {5, 0, 1, 1, 3},
                              {G, D, C, C, G}},
                    ClimbCase{"downwardKeepsSmallRise",
                              kPlineClimbDownward,
                              {0, 0, 0.25, 0.5, 0.5, 0.5, 0.5},
                              {C, C, C, C, C, C, C},
                              {0, 0, 0.25, 0.5, 0.5, 0.5, 0.5},
                              {C, C, C, C, C, C, C}},
                    ClimbCase{"downwardLargeRiseBecomesGaps",
                              kPlineClimbDownward,
                              {0, 0, 1, 2, 2, 2, 2},
                              {C, C, C, C, C, C, C},
                              {0, 0, 1, 2, 2, 2, 2},
                              {G, G, G, C, C, C, C}},
                    ClimbCase{"downwardDescentIsCut",
                              kPlineClimbDownward,
                              {5, 4, 3, 2, 1},
                              {C, C, C, C, C},
                              {5, 4, 3, 2, 1},
                              {C, C, C, C, C}},
                    ClimbCase{"downwardLoneRunEndsBecomeGaps",
                              kPlineClimbDownward,
                              {5, 4, 4, 3, 2, 1},
                              {C, G, C, G, C, C},
                              {5, 4, 4, 3, 2, 1},
                              {G, G, G, G, C, C}},
                    ClimbCase{
                        "otherModeChangesNothing", 7, {0, 1, 0}, {C, G, C}, {0, 1, 0}, {C, G, C}}),
    [](const auto& info) { return info.param.name; });

// ---- editing --------------------------------------------------------------

TEST(PlineEdit, ReverseTwiceRestoresPlineAndTag) {
  PlinePtr pl(plineNew(3, 1));
  const Vec3d p0{0, 0, 0}, p1{1, 2, 3}, a{0, 1, 0};
  plineAppend(pl.get(), 0, &p0, st(kPointGap), &a, 1);
  plineAppend(pl.get(), 1, &p1, kCut, nullptr, 2);
  plineAppend(pl.get(), 2, &p1, st(kPointSpecial), &a, 3);
  pl->tag = 5;
  PlinePtr copy(plineNew(0, 1));
  ASSERT_EQ(plineCopy(copy.get(), pl.get()), 1);
  EXPECT_EQ(plineReverse(pl.get()), -5);
  EXPECT_EQ(paramsOf(pl.get()), (std::vector<double>{2, 1, 0}));
  EXPECT_EQ(pl->flags[0], 3);
  EXPECT_EQ(plineReverse(pl.get()), 5);
  expectSamePline(pl.get(), copy.get());
  pl->tag = 0;
  EXPECT_EQ(plineReverse(pl.get()), 0);
}

// Rotation of a closed line by one point, applied n times.
void referenceShiftClosed(std::vector<double>* p, int n) {
  for (int k = 0; k < n; ++k) {
    p->erase(p->begin());
    p->push_back(p->front());
  }
}

TEST(PlineEdit, ShiftStartOfClosedAndOpenLines) {
  const std::vector<Vec3d> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0.05, 0}};
  for (int n = -1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    PlinePtr pl = lineThrough(square);
    std::vector<double> expected = paramsOf(pl.get());
    if (n > 0 && n < 5) referenceShiftClosed(&expected, n);
    plineShiftStart(pl.get(), n);
    EXPECT_EQ(pl->count, 5);
    EXPECT_EQ(paramsOf(pl.get()), expected);
    if (n > 0 && n < 5) {
      EXPECT_EQ(pl->points[0].x, pl->points[4].x);
      EXPECT_EQ(pl->points[0].y, pl->points[4].y);
    }
  }
  PlinePtr open = lineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}});
  plineShiftStart(open.get(), 2);
  EXPECT_EQ(open->count, 3);
  EXPECT_EQ(paramsOf(open.get()), (std::vector<double>{2, 3, 4}));
}

TEST(PlineEdit, CopyFillsDefaultAxesAndCopiesTheTag) {
  PlinePtr src = lineWithParams({0, 1, 2});
  src->tag = -3;
  PlinePtr dst(plineNew(1, 1));
  ASSERT_EQ(plineCopy(dst.get(), src.get()), 1);
  EXPECT_EQ(dst->count, 3);
  EXPECT_EQ(dst->tag, -3);
  EXPECT_EQ(dst->axes[2].z, 1.0);
  EXPECT_EQ(dst->flags[2], 0);
  EXPECT_EQ(plineCopy(dst.get(), dst.get()), -1);
}

TEST(PlineEdit, CopyRangeChecksBoundsAndKeepsOrder) {
  PlinePtr src = lineWithParams({3, 2, 1, 0});
  PlinePtr dst = lineWithParams({9});
  struct Case {
    int from, to;
  };
  for (const Case& c : {Case{-1, 2}, Case{0, 4}, Case{3, 1}, Case{0, INT_MAX}}) {
    SCOPED_TRACE(testing::Message() << c.from << ".." << c.to);
    EXPECT_EQ(plineCopyRange(dst.get(), src.get(), c.from, c.to), -1);
    EXPECT_EQ(paramsOf(dst.get()), (std::vector<double>{9}));
  }
  ASSERT_EQ(plineCopyRange(dst.get(), src.get(), 1, 3), 1);
  EXPECT_EQ(paramsOf(dst.get()), (std::vector<double>{2, 1, 0}));
  EXPECT_EQ(dst->points[0].x, 2.0);
  ASSERT_EQ(plineCopyRange(dst.get(), src.get(), 2, 2), 1);
  EXPECT_EQ(paramsOf(dst.get()), (std::vector<double>{1}));
}

TEST(PlineEdit, CopyRangeKeepsTheOrderOfPointsWithEqualParameters) {
  // A plunge: two points at the same parameter, and two within the
  // tolerance.  Placing them by parameter would swap each pair.
  PlinePtr src(plineNew(5, 0));
  const Vec3d pts[] = {{0, 0, 5}, {1, 0, 5}, {1, 0, 0}, {2, 0, 0}, {2, 0, -1}};
  const double params[] = {0, 1, 1, 2, 2 + 0.5e-5};
  for (int i = 0; i < 5; ++i) plineAppend(src.get(), params[i], &pts[i], kCut, nullptr, 0);
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed);
    if (reversed) plineReverse(src.get());
    PlinePtr dst(plineNew(0, 0));
    ASSERT_EQ(plineCopyRange(dst.get(), src.get(), 0, 4), 1);
    expectSamePline(dst.get(), src.get());
  }
}

TEST(PlineSplit, ExistingPointsWithinToleranceAreReused) {
  PlinePtr pl = lineWithParams({0, 1, 2, 3});
  struct Case {
    const char* name;
    double param, tol;
    int result, index, count;
  };
  const Case cases[] = {
      {"nearLowerPoint", 1.05, 0.1, 0, 1, 4},     {"nearUpperPoint", 1.95, 0.1, 0, 2, 4},
      {"atPoint", 2.0, 0.001, 0, 2, 4},           {"beyondEnd", 3.5, 0.1, -1, -1, 4},
      {"nanParam", std::nan(""), 0.1, -1, -1, 4}, {"interpolated", 1.5, 0.1, 1, 2, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(plineSplitAtParam(pl.get(), c.param, c.tol), c.result);
    EXPECT_EQ(plineSplitIndex(), c.index);
    EXPECT_EQ(pl->count, c.count);
  }
  EXPECT_EQ(pl->points[2].x, 1.5);
  EXPECT_EQ(pl->status[2], pointStatusMake(kPointKindContact, kPointCut));
}

TEST(PlineSplit, InsertedPointTakesTheFirstPointsCodeAndFlag) {
  PlinePtr pl(plineNew(2, 1));
  const Vec3d p0{0, 0, 0}, p1{0, 0, 4}, a{1, 0, 0};
  plineAppend(pl.get(), 4, &p0, st(kPointSpecial, kPointKindApart), &a, 0);
  plineAppend(pl.get(), 0, &p1, kCut, &a, 0);  // descending parameters
  ASSERT_EQ(plineSplitAtParam(pl.get(), 1.0, 0.01), 1);
  ASSERT_EQ(plineSplitIndex(), 1);
  EXPECT_EQ(paramsOf(pl.get()), (std::vector<double>{4, 1, 0}));
  EXPECT_EQ(pl->points[1].z, 3.0);
  EXPECT_EQ(pl->status[1], pointStatusMake(kPointKindContact, kPointSpecial));
  EXPECT_EQ(pl->flags[1], 1);
  // Equal parameters around the split: no segment to split.
  PlinePtr flat = lineWithParams({0, 1, 1, 2});
  flat->params[1] = 1.0 - 0.5e-5;
  EXPECT_EQ(plineSplitAtParam(flat.get(), 1.0 + 0.7e-5, 1e-9), -1);
}

// A random polyline with distinct arc-length parameters, axes and mixed
// status words.
PlinePtr randomPath(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> step(0.01, 2.0);
  std::uniform_int_distribution<int> code(0, 4);
  PlinePtr pl(plineNew(n, 1));
  Vec3d p{0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const Vec3d axis{0, std::sin(i * 0.1), std::cos(i * 0.1)};
    plineAppend(pl.get(), 0, &p, st(code(rng) == 0 ? kPointGapCandidate : kPointCut), &axis, i % 3);
    p = {p.x + step(rng), p.y + step(rng) - 1.0, p.z + step(rng) - 1.0};
  }
  plineArcLengthParams(pl.get());
  pl->tag = 11;
  return pl;
}

TEST(PlineSplit, SplitThenJoinGivesTheSamePolyline) {
  std::mt19937 rng(404);
  for (int round = 0; round < 50; ++round) {
    PlinePtr original = randomPath(rng, 3 + round);
    PlinePtr split(plineNew(0, 1));
    ASSERT_EQ(plineCopy(split.get(), original.get()), 1);
    const double last = original->params[original->count - 1];
    const double t = std::uniform_real_distribution<double>(0.0, last)(rng);
    const int r = plineSplitAtParam(split.get(), t, 1e-3);
    ASSERT_GE(r, 0);
    const int k = plineSplitIndex();
    ASSERT_GE(k, 0);
    EXPECT_NEAR(split->params[k], t, 1e-3);

    PlinePtr head(plineNew(0, 1)), tail(plineNew(0, 1));
    ASSERT_EQ(plineCopyRange(head.get(), split.get(), 0, k), 1);
    ASSERT_EQ(plineCopyRange(tail.get(), split.get(), k, split->count - 1), 1);
    PlinePtr joined(plineNew(0, 1));
    ASSERT_EQ(plineCopy(joined.get(), head.get()), 1);
    for (int i = 1; i < tail->count; ++i) {
      plineAppend(joined.get(), tail->params[i], &tail->points[i], tail->status[i], &tail->axes[i],
                  tail->flags[i]);
    }
    expectSamePline(joined.get(), split.get());

    // Removing the inserted point gives the original back; the point lies on
    // its segment.
    if (r == 1) {
      const Vec3d a = split->points[k - 1], b = split->points[k + 1], m = split->points[k];
      const double f = (t - split->params[k - 1]) / (split->params[k + 1] - split->params[k - 1]);
      EXPECT_NEAR(m.x, a.x + (b.x - a.x) * f, 1e-12);
      EXPECT_NEAR(m.z, a.z + (b.z - a.z) * f, 1e-12);
      PlinePtr without(plineNew(0, 1));
      ASSERT_EQ(plineCopyRange(without.get(), split.get(), 0, k - 1), 1);
      for (int i = k + 1; i < split->count; ++i) {
        plineAppend(without.get(), split->params[i], &split->points[i], split->status[i],
                    &split->axes[i], split->flags[i]);
      }
      expectSamePline(without.get(), original.get());
    }
  }
}

// ---- arc length and densify -----------------------------------------------

TEST(PlineDensify, InsertsEvenlySpacedPoints) {
  PlinePtr pl = lineThrough({{0, 0, 0}, {3.5, 0, 0}});
  ASSERT_EQ(plineDensify(pl.get(), 1.0), 1);
  EXPECT_EQ(paramsOf(pl.get()), (std::vector<double>{0, 0.875, 1.75, 2.625, 3.5}));
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(pl->points[i].x, pl->params[i]);
    EXPECT_EQ(pl->status[i], pointStatusMake(kPointKindContact, kPointCut));
  }
}

TEST(PlineDensify, RespectsGapsAndPassesSpecialPiecesOn) {
  PlinePtr pl = lineThrough({{0, 0, 0}, {2.5, 0, 0}, {5, 0, 0}, {7.5, 0, 0}},
                            {kPointCut, kPointSpecial, kPointGap, kPointCut});
  PlinePtr withAxes(plineNew(0, 1));
  ASSERT_EQ(plineCopy(withAxes.get(), pl.get()), 1);
  ASSERT_EQ(plineDensify(withAxes.get(), 1.0), 1);
  // 0-2.5 gets two points (code of the special end); the segments touching
  // the gap get none.
  EXPECT_EQ(paramsOf(withAxes.get()),
            (std::vector<double>{0, 2.5 * (1.0 / 3), 2.5 * (2.0 / 3), 2.5, 5, 7.5}));
  EXPECT_EQ(codesOf(withAxes.get()), (std::vector<int>{kPointCut, kPointSpecial, kPointSpecial,
                                                       kPointSpecial, kPointGap, kPointCut}));
  EXPECT_EQ(withAxes->flags[1], 1);
  EXPECT_EQ(withAxes->axes[1].z, 1.0);
}

TEST(PlineDensify, DegenerateAndAbsurdSteps) {
  PlinePtr pl = lineThrough({{0, 0, 0}, {0, 0, 1e5}});
  EXPECT_EQ(plineDensify(pl.get(), 0.9e-5), 0);
  EXPECT_EQ(plineDensify(pl.get(), std::nan("")), 0);
  EXPECT_EQ(plineDensify(pl.get(), -1.0), 1);
  EXPECT_EQ(pl->count, 2);
  // 10^10 points do not fit in an int count: a clean failure, no change.
  EXPECT_EQ(plineDensify(pl.get(), 1e-5), -1);
  EXPECT_EQ(pl->count, 2);
  EXPECT_EQ(plineDensify(nullptr, 1.0), -1);
}

// Densify as one InsertPline per new point, walking the line.
void referenceDensify(Pline* pl, double step) {
  plineArcLengthParams(pl);
  for (int i = 1; i < pl->count;) {
    const int c0 = pointStatusCode(pl->status[i - 1]);
    const int c1 = pointStatusCode(pl->status[i]);
    const Vec3d a = pl->points[i - 1], b = pl->points[i];
    const double t0 = pl->params[i - 1], t1 = pl->params[i];
    const double len = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                 (b.z - a.z) * (b.z - a.z));
    if (c0 == kPointGap || c1 == kPointGap || !(len >= step + kTol)) {
      ++i;
      continue;
    }
    const int n = static_cast<int>(len / step) + 1;
    const int code = (c0 == kPointSpecial || c1 == kPointSpecial) ? kPointSpecial : kPointCut;
    for (int k = 1; k < n; ++k) {
      const double f = static_cast<double>(k) / n;
      const Vec3d p{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
      InsertPline(pl, t0 + (t1 - t0) * f, &p, st(code), nullptr, 1);
    }
    i += n;
  }
}

TEST(PlineDensify, AgreesWithOneInsertPerPointIncludingTies) {
  std::mt19937 rng(12);
  // Segment lengths around the tolerance make new points tie with their
  // neighbours, which moves them in front of the segment start.
  const double lengths[] = {0, 1.2e-5, 2.1e-5, 3e-5, 0.5, 1.7};
  std::uniform_int_distribution<int> pick(0, 5);
  std::uniform_int_distribution<int> code(0, 6);
  for (int round = 0; round < 60; ++round) {
    const double step = round % 2 ? 1.05e-5 : 0.3;
    PlinePtr pl(plineNew(0, round % 3 == 0));
    Vec3d p{0, 0, 0};
    for (int i = 0; i < 12; ++i) {
      const int c = code(rng);
      const int s = c == 0 ? kPointGap : (c == 1 ? kPointSpecial : kPointCut);
      plineAppend(pl.get(), 0, &p, st(s), nullptr, 0);
      p.x += lengths[pick(rng)];
    }
    PlinePtr ref(plineNew(0, round % 3 == 0));
    ASSERT_EQ(plineCopy(ref.get(), pl.get()), 1);
    ASSERT_EQ(plineDensify(pl.get(), step), 1);
    referenceDensify(ref.get(), step);
    SCOPED_TRACE(round);
    expectSamePline(pl.get(), ref.get());
  }
}

// ---- threads --------------------------------------------------------------

TEST(PlineThreads, SearchStateIsPerThread) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      PlinePtr pl(plineNew(0, 0));
      for (int i = 0; i < 2000; ++i) {
        const Vec3d p{double(i), double(t), 0};
        plineAppend(pl.get(), i, &p, kCut, nullptr, 0);
      }
      for (int k = 0; k < 500; ++k) {
        const int target = (k * 37 + t * 11) % pl->count;
        Vec3d found{};
        if (plineFindParam(pl.get(), pl->params[target], &found, nullptr, nullptr) != target ||
            found.y != t) {
          ++failures;
        }
        const double half = 0.5 + (k * 13 + t) % 1900;
        const int r = plineSplitAtParam(pl.get(), half, 1e-6);
        const int at = plineSplitIndex();
        if (r != 1 || at < 1 || pl->params[at] != half) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
