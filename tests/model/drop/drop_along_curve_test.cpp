#include "model/drop/drop_along_curve.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "geometry/curves/curve.h"
#include "model/contact/contact_settings.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

constexpr double kPi = 3.14159265358979323846;

class DropAlongCurveTest : public ::testing::Test {
 protected:
  void SetUp() override { contactSettingsReset(); }
  void TearDown() override {
    contactSettingsReset();
    cycSetBreakHook(nullptr);
  }
};

// A line that owns its points.
CurveRec* lineCurve(double x0, double y0, double x1, double y1) {
  CurveRec* c = curveNewOwned(2, 'p', false);
  c->points[0] = {x0, y0};
  c->points[1] = {x1, y1};
  curveUpdateLengths(c);
  return c;
}

// Frees a curve when the test ends.
struct CurveHolder {
  explicit CurveHolder(CurveRec* c) : curve(c) {}
  ~CurveHolder() { curveFree(curve); }
  CurveRec* curve;
};

std::vector<double> fill(double length, double first, double step, int random) {
  CurveRec* c = lineCurve(0.0, 0.0, length, 0.0);
  ItemArray* list = contactSampleParamsNew(2);
  EXPECT_EQ(contactSampleParamsFill(list, c, first, step, random), 1);
  const auto* v = static_cast<const double*>(list->items);
  std::vector<double> out(v, v + list->count);
  itemArrayFree(list);
  curveFree(c);
  return out;
}

TEST_F(DropAlongCurveTest, SampleParameters) {
  const std::vector<double> p = fill(10.0, 0.01, 1.0, 0);
  ASSERT_EQ(p.size(), 13u);
  EXPECT_EQ(p[0], 0.0);
  EXPECT_NEAR(p[1], 0.01, 1e-12);
  for (int k = 2; k <= 10; ++k) EXPECT_NEAR(p[static_cast<std::size_t>(k)], k - 1 + 0.01, 1e-12);
  EXPECT_NEAR(p[11], 9.98999, 1e-12);
  EXPECT_NEAR(p[12], 9.99999, 1e-12);

  EXPECT_EQ(fill(0.005, 0.01, 1.0, 0), std::vector<double>{0.0});
  // Steps that cannot advance end the list instead of looping.
  EXPECT_EQ(fill(10.0, 0.0, 0.0, 0), std::vector<double>{0.0});
  EXPECT_EQ(fill(10.0, 0.01, std::nan(""), 0).size(), 2u);

  // Random mode: repeatable, ascending, the first step and the end as usual.
  const std::vector<double> r1 = fill(10.0, 0.01, 1.0, 1);
  const std::vector<double> r2 = fill(10.0, 0.01, 1.0, 1);
  EXPECT_EQ(r1, r2);
  ASSERT_GE(r1.size(), 4u);
  EXPECT_NEAR(r1[1], 0.01, 1e-12);
  EXPECT_GE(r1[2] - r1[1], 0.01);
  EXPECT_LE(r1[2] - r1[1], 1.0);
  EXPECT_NEAR(r1.back(), 9.99999, 1e-12);
  for (std::size_t k = 1; k < r1.size(); ++k) EXPECT_GT(r1[k], r1[k - 1]);
  // Other lines are staggered differently.
  int differing = 0;
  for (const double len : {9.0, 11.0, 12.0}) {
    if (std::fabs((fill(len, 0.01, 1.0, 1)[2] - 0.01) - (r1[2] - 0.01)) > 1e-12) ++differing;
  }
  EXPECT_GE(differing, 2);
}

TEST_F(DropAlongCurveTest, ThreadContainers) {
  ItemArray* st = threadStatusNew(4);
  EXPECT_EQ(threadStatusFill(st, 1), 4);
  EXPECT_EQ(threadStatusMin(st), 1);
  static_cast<int32_t*>(st->items)[2] = -3;
  EXPECT_EQ(threadStatusMin(st), -3);
  itemArrayFree(st);

  ThreadPlines* set = threadPlinesNew(3);
  ASSERT_NE(set, nullptr);
  Pline* path = plineNew(4, 1);
  const Vec3d p{0, 0, 0};
  // Thread 1 and the path hold a point at the same parameter: the thread's
  // point wins; points within 0.00002 are one point.
  plineAppend(set->plines[0], 1.0, &p, 0, nullptr, 1);
  plineAppend(set->plines[1], 2.0, &p, 0x0101, nullptr, 1);
  plineAppend(set->plines[2], 2.00001, &p, 0, nullptr, 1);
  plineAppend(path, 0.0, &p, 0, nullptr, 0);
  plineAppend(path, 2.0, &p, 0x0200, nullptr, 0);
  EXPECT_EQ(threadPlinesMerge(set, path), 1);
  ASSERT_EQ(path->count, 3);
  EXPECT_EQ(path->params[0], 0.0);
  EXPECT_EQ(path->params[1], 1.0);
  EXPECT_EQ(path->params[2], 2.0);
  EXPECT_EQ(path->status[2], 0x0101);
  EXPECT_EQ(threadPlinesClear(set), 3);
  EXPECT_EQ(threadPlinesMerge(set, path), 0);
  EXPECT_EQ(threadPlinesFree(set), 1);
  EXPECT_EQ(threadPlinesFree(nullptr), 0);
  plineFree(path);
}

// Every point of a line drop lies at the closed-form height of its xy.
TEST_F(DropAlongCurveTest, LineDropsOverClosedFormSurfacesAreExact) {
  const double m = std::tan(kPi / 6), c = std::cos(kPi / 6), s = std::sin(kPi / 6);
  struct Row {
    const char* name;
    std::vector<Tri> tris;
    std::function<double(double)> ball;  // height of a ball of radius 3 at x
  };
  const std::vector<Row> rows = {
      {"roof", testmodels::roof(30.0, 10.0, 20.0, 4),
       [=](double x) {
         const double e = std::fabs(x);
         return e <= 3.0 * s ? 10.0 + std::sqrt(9.0 - e * e) : 10.0 - m * e + 3.0 / c;
       }},
      {"groove", testmodels::vGroove(30.0, 20.0, 4),
       [=](double x) { return m * std::fabs(x) + 3.0 / c; }},
      {"step", testmodels::step(4.0, 20.0, 4),
       [](double x) {
         if (x > 0.0) return 7.0;
         return -x < 3.0 ? 4.0 + std::sqrt(9.0 - x * x) : 3.0;
       }},
  };
  for (const Row& row : rows) {
    for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
      TestModel tm(row.tris, kind, testmodels::ballTool(3.0));
      tm.buildGrid();
      tm.enableCandidates();
      CurveHolder line(lineCurve(-12.0, 0.7, 12.0, 0.7));
      tm.model()->guideCurve = line.curve;
      Pline* path = plineNew(100, 1);
      const int r = kind == kModelKindFacets ? contactDropAlongCurve(tm.model(), path)
                                             : projDropAlongCurve(tm.model(), path);
      EXPECT_EQ(r, 1) << row.name;
      EXPECT_GT(path->count, 24);
      for (int i = 0; i < path->count; ++i) {
        EXPECT_NEAR(path->points[i].z, row.ball(path->points[i].x), 1e-9)
            << row.name << " kind " << kind << " point " << i;
        EXPECT_NEAR(path->points[i].x, -12.0 + path->params[i], 1e-9);
        if (i > 0) {
          EXPECT_GT(path->params[i], path->params[i - 1]);
        }
      }
      plineFree(path);
    }
  }
}

TEST_F(DropAlongCurveTest, HemisphereWithinTheChordError) {
  const double R = 40.0, r = 3.0;
  TestModel tm(testmodels::hemisphereOnPlate(R, 32, 128, 60.0, 24), kModelKindFacets,
               testmodels::ballTool(r));
  tm.buildGrid(2.0);
  tm.enableCandidates();
  CurveHolder line(lineCurve(-55.0, 3.0, 55.0, 3.0));
  tm.model()->guideCurve = line.curve;
  Pline* path = plineNew(100, 1);
  ASSERT_EQ(contactDropAlongCurve(tm.model(), path), 1);
  // A quad of the mesh lies inside the sphere by at most the sags of its
  // chords along both directions (90/32 and 360/128 degrees): the ball centre
  // keeps its radius from the facets, so it lies within that of the exact
  // offset sphere, or rests on the plate.
  const double sag =
      R * (1.0 - std::cos(0.5 * kPi / 2.0 / 32.0)) + R * (1.0 - std::cos(0.5 * 2.0 * kPi / 128.0));
  for (int i = 0; i < path->count; ++i) {
    const Vec3d& p = path->points[i];
    const double centre = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    EXPECT_GE(p.z, r - 1e-9) << i;
    EXPECT_GE(centre, R + r - sag - 1e-9) << i;
    EXPECT_TRUE(std::fabs(p.z - r) < 1e-9 || centre <= R + r + 1e-9) << i;
  }
  plineFree(path);
}

bool samePline(const Pline* a, const Pline* b) {
  const auto n = static_cast<std::size_t>(a->count);
  return a->count == b->count && std::memcmp(a->points, b->points, n * sizeof(Vec3d)) == 0 &&
         std::memcmp(a->axes, b->axes, n * sizeof(Vec3d)) == 0 &&
         std::memcmp(a->flags, b->flags, n) == 0 &&
         std::memcmp(a->params, b->params, n * sizeof(double)) == 0 &&
         std::memcmp(a->status, b->status, n * sizeof(PointStatus)) == 0;
}

TEST_F(DropAlongCurveTest, PathIsBitwiseTheSameForAnyThreadCount) {
  const std::vector<Tri> field = testmodels::heightField(
      [](double x, double y) { return 5.0 * std::sin(x / 7.0) * std::cos(y / 9.0); }, 0.0, 60.0,
      0.0, 60.0, 60, 60);
  const int saved = omp_get_max_threads();
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    for (const ToolShape& tool : {testmodels::ballTool(3.0), testmodels::torusTool(3.0, 1.0)}) {
      TestModel tm(field, kind, tool);
      tm.buildGrid(1.0);
      tm.enableCandidates();
      tm.model()->minStep = 0.004;  // fine tolerance: more refinement rounds
      CurveHolder line(lineCurve(2.0, 3.0, 57.0, 51.0));
      tm.model()->guideCurve = line.curve;
      Pline* reference = nullptr;
      for (const int threads : {1, 2, 8, 16, 64}) {
        omp_set_num_threads(threads);
        ModelRec* copy = modelCopy(tm.model());
        Pline* path = plineNew(10, 1);
        const int r = kind == kModelKindFacets ? contactDropAlongCurve(copy, path)
                                               : projDropAlongCurve(copy, path);
        EXPECT_EQ(r, 1);
        modelFreeCopy(copy);
        if (reference == nullptr) {
          reference = path;
          EXPECT_GT(path->count, 100);
        } else {
          EXPECT_TRUE(samePline(reference, path)) << threads << " threads, kind " << kind;
          plineFree(path);
        }
      }
      plineFree(reference);
    }
  }
  omp_set_num_threads(saved);
}

// Refinement ends only when no segment of the path asks for another sample:
// every segment is shorter than the tolerance, or turns and climbs little at
// both of its ends.
TEST_F(DropAlongCurveTest, RefinedPathNeedsNoFurtherSample) {
  const std::vector<Tri> field = testmodels::heightField(
      [](double x, double y) { return 4.0 * std::sin(x / 3.0) * std::cos(y / 5.0); }, 0.0, 40.0,
      0.0, 40.0, 40, 40);
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    for (const ToolShape& tool : {testmodels::ballTool(2.0), testmodels::flatTool(2.0)}) {
      TestModel tm(field, kind, tool);
      tm.buildGrid(1.0);
      tm.enableCandidates();
      CurveHolder line(lineCurve(1.0, 2.0, 39.0, 37.0));
      tm.model()->guideCurve = line.curve;
      ContactContext ctx;
      contactContextLoad(&ctx);
      Pline* path = plineNew(10, 1);
      const int r = kind == kModelKindFacets ? contactDropAlongCurveParallel(&ctx, tm.model(), path)
                                             : projDropAlongCurveParallel(&ctx, tm.model(), path);
      ASSERT_EQ(r, 1);
      const ModelRec* m = tm.model();
      const double factor = tool.type == kToolFlat ? 1.5 : (kind == kModelKindFacets ? 3.0 : 5.0);
      int refined = 0;
      for (int c = 1; c < path->count; ++c) {
        if (path->params[c] - path->params[c - 1] < m->minStep + 0.00001) continue;
        ++refined;
        EXPECT_EQ(plineIsBreakBetween(path, c - 1, c), 0) << c;
        EXPECT_EQ(contactNeedsRefine(&ctx, path, m->tool, m->maxStep, c - 1, c, c + 1, factor), 0)
            << c;
        EXPECT_EQ(contactNeedsRefine(&ctx, path, m->tool, m->maxStep, c, c - 1, c - 2, factor), 0)
            << c;
      }
      EXPECT_GT(path->count, 60);  // the surface made the drop refine
      EXPECT_GT(refined, 0);
      plineFree(path);
    }
  }
}

TEST_F(DropAlongCurveTest, SlopeModesAtAVerticalWall) {
  // A line beside the wall of a step: the ball rests on the wall's edge, a
  // steep slope across the path.
  for (const int mode : {1, 2}) {
    TestModel tm(testmodels::step(4.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(3.0));
    tm.buildGrid();
    CurveHolder line(lineCurve(-2.9, -10.0, -2.9, 10.0));
    tm.model()->guideCurve = line.curve;
    tm.model()->slopeMode = mode;
    tm.model()->slopeLimit = 0.5;
    Pline* path = plineNew(100, 1);
    const int r = contactDropAlongCurve(tm.model(), path);
    const double dz = std::sqrt(9.0 - 2.9 * 2.9);
    const double cross = dz / 3.0;
    if (mode == 2) {
      EXPECT_EQ(r, 0);
    } else {
      EXPECT_EQ(r, 1);
      EXPECT_NEAR(tm.model()->slopeLimit, 0.9 * cross, 1e-9);
    }
    plineFree(path);
  }
}

TEST_F(DropAlongCurveTest, ProbeModeReportsAHitAboveTheCurve) {
  TestModel tm(testmodels::tiltedPlane(0.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(3.0));
  tm.buildGrid();
  for (const double z : {50.0, -5.0}) {
    Vec3d a{-5.0, 0.0, z}, b{5.0, 0.0, z};
    CurveHolder line(curveNewLine3d(&a, &b));
    tm.model()->guideCurve = line.curve;
    EXPECT_EQ(contactDropAlongCurve(tm.model(), nullptr), z > 0.0 ? 1 : 0) << z;
  }
}

TEST_F(DropAlongCurveTest, TriangleEngineOnAFacetModelFindsNothing) {
  TestModel tm(testmodels::tiltedPlane(0.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(3.0));
  tm.buildGrid();
  CurveHolder line(lineCurve(-5.0, 0.0, 5.0, 0.0));
  tm.model()->guideCurve = line.curve;
  Pline* path = plineNew(100, 1);
  EXPECT_EQ(projDropAlongCurve(tm.model(), path), 1);
  ASSERT_GT(path->count, 0);
  for (int i = 0; i < path->count; ++i) {
    EXPECT_EQ(path->flags[i], 0);
    EXPECT_EQ(path->points[i].z, tm.model()->floorZ);
  }
  plineFree(path);
}

TEST_F(DropAlongCurveTest, DropSetsTheCornerRadiusOfBallAndFlatTools) {
  for (ToolShape tool : {testmodels::ballTool(2.5), testmodels::flatTool(2.5)}) {
    tool.cornerRadius = 0.7;
    TestModel tm(testmodels::tiltedPlane(0.0, 20.0, 4), kModelKindFacets, tool);
    tm.buildGrid();
    CurveHolder line(lineCurve(-5.0, 0.0, 5.0, 0.0));
    tm.model()->guideCurve = line.curve;
    Pline* path = plineNew(100, 1);
    EXPECT_EQ(contactDropAlongCurve(tm.model(), path), 1);
    EXPECT_EQ(tm.tool()->cornerRadius, tool.type == kToolBall ? 2.5 : 0.0);
    plineFree(path);
  }
}

TEST_F(DropAlongCurveTest, SamplesOffTheCurveStopTheDropAndLeaveNoPoint) {
  TestModel tm(testmodels::tiltedPlane(0.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(3.0));
  tm.buildGrid();
  // Parameters start at 5: the samples below 5 have no curve point.
  CurveHolder line(lineCurve(2.0, 1.0, 8.0, 1.0));
  line.curve->t0 = 5.0;
  curveUpdateLengths(line.curve);
  tm.model()->guideCurve = line.curve;
  Pline* path = plineNew(10, 1);
  EXPECT_EQ(contactDropAlongCurve(tm.model(), path), 0);
  for (int i = 0; i < path->count; ++i) {
    EXPECT_GE(path->params[i], 5.0 - 0.00001);
    EXPECT_EQ(path->points[i].y, 1.0);
  }
  plineFree(path);
}

// The facet drop leaves its model selection in the settings for later point
// entries, but never from inside a parallel region.
TEST_F(DropAlongCurveTest, SettingsAreWrittenOnlyOutsideParallelRegions) {
  TestModel tm(testmodels::tiltedPlane(0.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(3.0));
  tm.buildGrid();
  tm.model()->topZ = 123.0;
  CurveHolder line(lineCurve(-5.0, 0.0, 5.0, 0.0));
  tm.model()->guideCurve = line.curve;
  ContactContext seen;
#pragma omp parallel num_threads(2)
  {
    ModelRec* copy = modelCopy(tm.model());
    Pline* path = plineNew(10, 1);
    EXPECT_EQ(contactDropAlongCurve(copy, path), 1);
    plineFree(path);
    modelFreeCopy(copy);
  }
  contactContextLoad(&seen);
  EXPECT_EQ(seen.zTop, kContactDefaultZTop);
  EXPECT_EQ(seen.facets, nullptr);
  Pline* path = plineNew(10, 1);
  EXPECT_EQ(contactDropAlongCurve(tm.model(), path), 1);
  plineFree(path);
  contactContextLoad(&seen);
  EXPECT_EQ(seen.zTop, 123.0);
  EXPECT_EQ(seen.facets, tm.model()->facets);
}

int stopNow() { return 1; }

// A stop request ends the drop however the samples are split: with 16 or 64
// threads a first pass of about 1,000 samples gives every thread fewer
// samples than the poll interval.
TEST_F(DropAlongCurveTest, BreakRequestStopsTheParallelPassesAtAnyThreadCount) {
  const int saved = omp_get_max_threads();
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel tm(testmodels::tiltedPlane(10.0, 60.0, 20), kind, testmodels::ballTool(3.0));
    tm.buildGrid();
    CurveHolder line(lineCurve(-50.0, 0.0, 50.0, 0.0));
    tm.model()->guideCurve = line.curve;
    tm.model()->maxStep = 0.1;  // about 1000 samples in the first pass
    auto drop = [&](Pline* path) {
      return kind == kModelKindFacets ? contactDropAlongCurve(tm.model(), path)
                                      : projDropAlongCurve(tm.model(), path);
    };
    for (const int threads : {1, 8, 16, 64}) {
      omp_set_num_threads(threads);
      Pline* path = plineNew(100, 1);
      cycSetBreakHook(stopNow);
      EXPECT_EQ(drop(path), -3) << threads << " threads, kind " << kind;
      cycSetBreakHook(nullptr);
      EXPECT_EQ(drop(path), 1) << threads << " threads, kind " << kind;
      plineFree(path);
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
