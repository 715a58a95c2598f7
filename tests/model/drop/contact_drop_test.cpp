#include "model/drop/contact_drop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/curves/curve.h"
#include "model/contact/contact_settings.h"
#include "model/contact/contact_triangle.h"
#include "model/mesh/model_grid.h"
#include "model/mesh/offset_model.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

constexpr double kPi = 3.14159265358979323846;
constexpr double kR = 3.0;   // tool radius of the closed-form cases
constexpr double kRc = 1.0;  // torus corner radius
constexpr double kAngle = 30.0;
constexpr double kRoofHeight = 10.0;
constexpr double kStepHeight = 4.0;
constexpr double kLow = -1000.0;  // in-height of every drop

double rad(double deg) { return deg * kPi / 180.0; }

ToolShape toolOf(int type) {
  switch (type) {
    case kToolBall:
      return testmodels::ballTool(kR);
    case kToolFlat:
      return testmodels::flatTool(kR);
    default:
      return testmodels::torusTool(kR, kRc);
  }
}

// Closed-form centre heights of the three tools over the fixtures.  For a
// tool of type t at plan distance e from a feature: ball contact on a line at
// height H: H + sqrt(r^2 - e^2); on a plane of slope a from a point at
// distance e of the tool's reference ring: plane height + r / cos a.
double planeHeight(int type, double x) {
  const double m = std::tan(rad(kAngle)), c = std::cos(rad(kAngle));
  switch (type) {
    case kToolBall:
      return m * x + kR / c;
    case kToolFlat:
      return m * (x + kR);
    default:
      return m * (x + kR - kRc) + kRc / c;
  }
}

double roofHeight(int type, double x) {
  const double m = std::tan(rad(kAngle)), c = std::cos(rad(kAngle)), s = std::sin(rad(kAngle));
  const double e = std::fabs(x);
  switch (type) {
    case kToolBall:
      return e <= kR * s ? kRoofHeight + std::sqrt(kR * kR - e * e) : kRoofHeight - m * e + kR / c;
    case kToolFlat:
      return e <= kR ? kRoofHeight : kRoofHeight - m * (e - kR);
    default: {
      const double ring = kR - kRc;
      if (e <= ring) return kRoofHeight + kRc;
      const double f = e - ring;
      return f <= kRc * s ? kRoofHeight + std::sqrt(kRc * kRc - f * f)
                          : kRoofHeight - m * f + kRc / c;
    }
  }
}

double grooveHeight(int type, double x) {
  const double m = std::tan(rad(kAngle)), c = std::cos(rad(kAngle));
  const double e = std::fabs(x);
  switch (type) {
    case kToolBall:
      return m * e + kR / c;
    case kToolFlat:
      return m * (e + kR);
    default:
      return m * (e + kR - kRc) + kRc / c;
  }
}

double stepHeight(int type, double x) {
  if (x > 0.0) return kStepHeight + (type == kToolFlat ? 0.0 : (type == kToolBall ? kR : kRc));
  const double e = -x;
  switch (type) {
    case kToolBall:
      return e < kR ? std::max(kR, kStepHeight + std::sqrt(kR * kR - e * e)) : kR;
    case kToolFlat:
      return e <= kR ? kStepHeight : 0.0;
    default: {
      const double ring = kR - kRc;
      if (e <= ring) return kStepHeight + kRc;
      if (e < kR) return kStepHeight + std::sqrt(kRc * kRc - (e - ring) * (e - ring));
      return kRc;
    }
  }
}

struct Surface {
  const char* name;
  std::function<std::vector<Tri>()> make;
  std::function<double(int, double)> height;
};

const std::vector<Surface>& surfaces() {
  static const std::vector<Surface> kSurfaces = {
      {"plane", [] { return testmodels::tiltedPlane(kAngle, 20.0, 8); }, planeHeight},
      {"roof", [] { return testmodels::roof(kAngle, kRoofHeight, 20.0, 4); }, roofHeight},
      {"groove", [] { return testmodels::vGroove(kAngle, 20.0, 4); }, grooveHeight},
      {"step", [] { return testmodels::step(kStepHeight, 20.0, 4); }, stepHeight},
  };
  return kSurfaces;
}

// How a drop is made: model kind, grid, candidate list.
struct Path {
  const char* name;
  int kind;
  bool grid;
  bool candidates;
};

const Path kPaths[] = {
    {"facetsFull", kModelKindFacets, false, false},
    {"facetsGridCandidates", kModelKindFacets, true, true},
    {"facetsGridFull", kModelKindFacets, true, false},
    {"trianglesFull", kModelKindTriangles, false, false},
    {"trianglesGridCandidates", kModelKindTriangles, true, true},
};

struct DropResult {
  int result;
  double z;
  Vec3d contact;
  int kind;
};

DropResult dropAt(ModelRec* model, const ToolShape* tool, double x, double y,
                  ContactContext* ctx = nullptr) {
  ContactContext local;
  if (ctx == nullptr) ctx = contactContextLoad(&local);
  Vec3d pos{x, y, kLow};
  Vec3d contact{};
  int kind = -1;
  const int r = contactDropOnModelSurface(ctx, model, tool, &pos, &contact, &kind);
  return {r, pos.z, contact, kind};
}

// Two drops with the same outcome to the bit.
void expectSameDrop(const DropResult& a, const DropResult& b) {
  EXPECT_EQ(a.result, b.result);
  EXPECT_EQ(a.z, b.z);
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.contact.x, b.contact.x);
  EXPECT_EQ(a.contact.y, b.contact.y);
  EXPECT_EQ(a.contact.z, b.contact.z);
}

class ContactDropTest : public ::testing::Test {
 protected:
  void SetUp() override { contactSettingsReset(); }
  void TearDown() override { contactSettingsReset(); }
};

TEST_F(ContactDropTest, ClosedFormHeightsOnEveryPath) {
  const double xs[] = {-6.1, -2.9, -1.7, -0.4, 0.0, 0.9, 2.2, 5.3};
  for (const Surface& s : surfaces()) {
    const std::vector<Tri> tris = s.make();
    for (const int type : {kToolBall, kToolFlat, kToolTorus}) {
      const ToolShape tool = toolOf(type);
      for (const Path& p : kPaths) {
        TestModel tm(tris, p.kind, tool);
        if (p.grid) tm.buildGrid(1.0);
        if (p.candidates) tm.enableCandidates();
        for (const double x : xs) {
          const DropResult d = dropAt(tm.model(), tm.tool(), x, 1.3);
          SCOPED_TRACE(std::string(s.name) + " " + p.name + " type " + std::to_string(type) +
                       " x " + std::to_string(x));
          EXPECT_GT(d.result, 0);
          EXPECT_NEAR(d.z, s.height(type, x), 1e-9);
        }
      }
    }
  }
}

// Heights of every walk equal the highest contact of any single triangle,
// bit for bit, whatever grid narrows the walk.
TEST_F(ContactDropTest, WalksAndGridsAgreeWithBruteForce) {
  const std::vector<Tri> field = testmodels::heightField(
      [](double x, double y) { return 5.0 * std::sin(x / 7.0) * std::cos(y / 9.0); }, 0.0, 40.0,
      0.0, 40.0, 40, 40);
  const std::vector<Tri> dome = testmodels::hemisphereOnPlate(10.0, 8, 24, 20.0, 10);
  std::mt19937 rng(20261210);
  for (const auto* tris : {&field, &dome}) {
    for (const int type : {kToolBall, kToolFlat, kToolTorus}) {
      const ToolShape tool = toolOf(type);
      TestModel plain(*tris, kModelKindFacets, tool);
      TestModel coarse(*tris, kModelKindFacets, tool);
      coarse.buildGrid();
      coarse.enableCandidates();
      TestModel fine(*tris, kModelKindFacets, tool);
      fine.buildGrid(0.7);
      fine.enableCandidates();
      TestModel tri(*tris, kModelKindTriangles, tool);
      tri.buildGrid(2.0);
      tri.enableCandidates();
      const ModelRec* m = plain.model();
      const bool isField = tris == &field;
      std::uniform_real_distribution<double> ux(isField ? 0.0 : -20.0, isField ? 40.0 : 20.0);
      ContactContext ctx;
      contactContextLoad(&ctx);
      for (int k = 0; k < 150; ++k) {
        const double x = ux(rng), y = ux(rng);
        // Brute force: every facet, in no particular order.
        double best = kLow;
        Vec3d c;
        int kind;
        const Vec3d start{x, y, m->boxMax.z + tool.radius + 1.0};
        for (int i = m->facetCount - 1; i >= 0; --i) {
          contactFacetShape(&ctx, &m->facets[i], &start, &tool, &best, &c, &kind);
        }
        SCOPED_TRACE("type " + std::to_string(type) + " at " + std::to_string(x) + ", " +
                     std::to_string(y));
        EXPECT_EQ(dropAt(plain.model(), plain.tool(), x, y).z, best);
        EXPECT_EQ(dropAt(coarse.model(), coarse.tool(), x, y).z, best);
        EXPECT_EQ(dropAt(fine.model(), fine.tool(), x, y).z, best);
        EXPECT_NEAR(dropAt(tri.model(), tri.tool(), x, y).z, best, 1e-12);
      }
    }
  }
}

// Surfaces for the comparison of the engine with the walk of the sorted list.
// Level plates hold long runs of surfaces with one max z that a flat tool
// ties on; jittered vertices give the face heights of their triangles
// different roundings; pads, ramps topping out at the plate's height and
// slivers put surfaces of other kinds into those runs.
struct SortedWalkCase {
  const char* name;
  std::function<std::vector<Tri>()> make;
  double lo, hi;  // drop area (square)
};

constexpr double kPlateZ = 0.3;

std::vector<Tri> jitteredLevelPlate(double z, double half, int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  const double step = 2.0 * half / n;
  std::vector<Vec3d> grid;
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) {
      const bool inner = i > 0 && i < n && j > 0 && j < n;
      grid.push_back({-half + step * (i + (inner ? jitter(rng) : 0.0)),
                      -half + step * (j + (inner ? jitter(rng) : 0.0)), z});
    }
  }
  std::vector<Tri> out;
  const auto at = [&](int i, int j) { return grid[static_cast<std::size_t>(j * (n + 1) + i)]; };
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      out.push_back(Tri{{at(i, j), at(i + 1, j), at(i + 1, j + 1)}});
      out.push_back(Tri{{at(i, j), at(i + 1, j + 1), at(i, j + 1)}});
    }
  }
  return out;
}

std::vector<Tri> plateWithPadsRampsAndSlivers() {
  std::vector<Tri> out =
      testmodels::heightField([](double, double) { return kPlateZ; }, -8.0, 8.0, -8.0, 8.0, 12, 12);
  // A raised level pad, a ramp whose top edge lies at the plate's height, a
  // level sliver and a degenerate level triangle lying on the plate.
  for (const Tri& t :
       testmodels::heightField([](double, double) { return 1.7; }, 1.0, 3.0, 1.0, 3.0, 2, 2)) {
    out.push_back(t);
  }
  out.push_back(Tri{{{-5.0, -1.0, kPlateZ - 0.8}, {-3.0, -1.0, kPlateZ}, {-3.0, 1.0, kPlateZ}}});
  out.push_back(Tri{{{-1.0, 2.0, kPlateZ}, {3.0, 2.0, kPlateZ}, {3.0, 2.0000001, kPlateZ}}});
  out.push_back(Tri{{{0.5, -2.0, kPlateZ}, {1.5, -2.0, kPlateZ}, {2.5, -2.0, kPlateZ}}});
  return out;
}

const SortedWalkCase kSortedWalkCases[] = {
    {"wavyField",
     [] {
       return testmodels::heightField(
           [](double x, double y) { return 2.0 * std::sin(x / 3.0) * std::cos(y / 4.0); }, 0.0,
           30.0, 0.0, 30.0, 30, 30);
     },
     0.0, 30.0},
    {"levelPlate",
     [] {
       return testmodels::heightField([](double, double) { return kPlateZ; }, -6.0, 6.0, -6.0, 6.0,
                                      16, 16);
     },
     -7.0, 7.0},
    {"jitteredLevelPlate", [] { return jitteredLevelPlate(0.1 + kPlateZ / 7.0, 6.0, 14, 5); }, -7.0,
     7.0},
    {"plateWithPadsRampsAndSlivers", plateWithPadsRampsAndSlivers, -8.0, 8.0},
    // Above the groove's middle a tool touches both slopes at exactly one
    // height, on mirrored points: the walk's order decides which one counts.
    {"symmetricGroove",
     [] {
       return testmodels::heightField([](double x, double) { return 0.5 * std::fabs(x); }, -6.0,
                                      6.0, -6.0, 6.0, 16, 16);
     },
     -7.0, 7.0},
};

class SortedWalkTest : public ::testing::TestWithParam<SortedWalkCase> {
 protected:
  void SetUp() override { contactSettingsReset(); }
  void TearDown() override { contactSettingsReset(); }
};

// The engine walks candidates without sorting them all (and skips tied
// surfaces whose contact a later one overwrites); results, heights, contacts
// and kinds must equal those of the walk of the fully sorted list, for facet
// and triangle models.
TEST_P(SortedWalkTest, EngineMatchesTheWalkOfTheSortedList) {
  const SortedWalkCase& sc = GetParam();
  const std::vector<Tri> tris = sc.make();
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(sc.lo, sc.hi);
  // Random positions, close neighbours along a line (successive drops of a
  // thread start from the surface that decided the previous one), and the
  // vertices and edge midpoints of the first triangles (axes on the shared
  // edges of level triangles), and points a hair off those midpoints, across
  // the edge (just outside a triangle, where its face test may still accept
  // the axis).
  std::vector<Vec2d> positions;
  for (int k = 0; k < 300; ++k) positions.push_back({u(rng), u(rng)});
  const double span = sc.hi - sc.lo;
  for (int k = 0; k < 300; ++k) {
    positions.push_back({sc.lo + span * (0.07 + 0.0027 * k), sc.lo + span * (0.1 + 0.0023 * k)});
  }
  for (std::size_t t = 0; t < std::min<std::size_t>(tris.size(), 60); ++t) {
    const Vec3d* v = tris[t].v;
    for (int e = 0; e < 3; ++e) {
      const Vec3d& a = v[e];
      const Vec3d& b = v[(e + 1) % 3];
      positions.push_back({a.x, a.y});
      positions.push_back({0.5 * (a.x + b.x), 0.5 * (a.y + b.y)});
      const double len = std::hypot(b.x - a.x, b.y - a.y);
      if (len > 0.0) {
        for (const double off : {-1e-10, 1e-10}) {
          positions.push_back({0.5 * (a.x + b.x) + off * (b.y - a.y) / len,
                               0.5 * (a.y + b.y) - off * (b.x - a.x) / len});
        }
      }
    }
  }
  // Facets of one triangle, facets joining the two triangles of a quad, and
  // triangles.
  for (const int variant : {0, 1, 2}) {
    const int kind = variant < 2 ? kModelKindFacets : kModelKindTriangles;
    for (const int type : {kToolBall, kToolFlat, kToolTorus}) {
      const ToolShape tool = toolOf(type);
      TestModel tm(tris, kind, tool, variant == 1);
      tm.buildGrid(1.0);
      tm.enableCandidates();
      const ModelRec* m = tm.model();
      FacetBoxSet boxes;
      contactBoxSetInit(&boxes, m->minCorners, m->maxCorners, nullptr, nullptr);
      std::unique_ptr<CandidateList, void (*)(CandidateList*)> list(contactListNew(3000),
                                                                    contactListFree);
      for (const Vec2d& q : positions) {
        SCOPED_TRACE("variant " + std::to_string(variant) + " type " + std::to_string(type) +
                     " at " + std::to_string(q.x) + ", " + std::to_string(q.y));
        // The whole z range, then ranges below the end that hold only some
        // of the contacts on the way (which of them are face contacts within
        // the range decides the result).
        double end = 0.0;
        for (const double below : {0.0, 0.3, 0.003}) {
          ContactContext ctx;
          contactContextLoad(&ctx);
          if (below > 0.0) {
            ctx.zFloor = end - below;
            ctx.zTop = end - 0.1 * below;
          }
          const DropResult a = dropAt(tm.model(), tm.tool(), q.x, q.y, &ctx);
          if (below == 0.0) end = a.z;
          const GridCell* cell = modelGridCellAt(m->grid, q.x, q.y);
          Vec3d pos{q.x, q.y, kLow};
          ASSERT_GE(contactCandidatesAt(&boxes, list.get(), cell->items, cell->count, &tool, &pos),
                    0);
          Vec3d c{};
          int k = 0;
          const double startZ = m->boxMax.z + kR + 1.0;
          const int r =
              kind == kModelKindFacets
                  ? contactScanCandidates(&ctx, list.get(), &pos, startZ, &tool, &c, &k)
                  : contactScanTriCandidates(&ctx, list.get(), &pos, startZ, &tool, &c, &k);
          EXPECT_EQ(a.result, r);
          EXPECT_EQ(a.z, pos.z);
          EXPECT_EQ(a.kind, k);
          EXPECT_EQ(a.contact.x, c.x);
          EXPECT_EQ(a.contact.y, c.y);
          EXPECT_EQ(a.contact.z, c.z);
          if (::testing::Test::HasFailure()) return;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Surfaces, SortedWalkTest, ::testing::ValuesIn(kSortedWalkCases),
                         [](const ::testing::TestParamInfo<SortedWalkCase>& info) {
                           return std::string(info.param.name);
                         });

// A torus with a small corner over a plate so fine that close to a full
// candidate list lies within its reach, nearly all of it tied at the plate's
// height, and drops far from each other (so no earlier winner is at hand):
// the search holds more surfaces waiting and tied than the list has room
// for, and must still end as the walk of the sorted list does.  Small
// dimples whose rims lie at the plate's height come last among the surfaces
// of that top, so the last tie of a drop is often one of them (triangles
// report where they touch, so the winner shows).
TEST_F(ContactDropTest, TorusOnADensePlateTiesMoreSurfacesThanTheListHolds) {
  std::vector<Tri> tris = testmodels::heightField([](double, double) { return kPlateZ; }, -12.0,
                                                  12.0, -12.0, 12.0, 160, 160);
  std::mt19937 dimples(8);
  std::uniform_real_distribution<double> at(5.0, 9.0);
  for (int k = 0; k < 160; ++k) {
    const double side = k % 2 == 0 ? -1.0 : 1.0;
    const double x = side * at(dimples), y = side * at(dimples);
    tris.push_back(
        Tri{{{x, y, kPlateZ}, {x + 0.1, y, kPlateZ - 0.05}, {x, y + 0.1, kPlateZ - 0.05}}});
  }
  const ToolShape tool = testmodels::torusTool(kR, 0.1);
  TestModel tm(tris, kModelKindTriangles, tool);
  tm.buildGrid(1.0);
  tm.enableCandidates();
  const ModelRec* m = tm.model();
  FacetBoxSet boxes;
  contactBoxSetInit(&boxes, m->minCorners, m->maxCorners, nullptr, nullptr);
  std::unique_ptr<CandidateList, void (*)(CandidateList*)> list(
      contactListNew(kContactCandidateCapacity), contactListFree);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(6.0, 8.0);
  for (int k = 0; k < 24; ++k) {
    const double side = k % 2 == 0 ? -1.0 : 1.0;
    const Vec2d q{side * u(rng), side * u(rng)};
    SCOPED_TRACE(std::to_string(q.x) + ", " + std::to_string(q.y));
    ContactContext ctx;
    contactContextLoad(&ctx);
    const DropResult a = dropAt(tm.model(), tm.tool(), q.x, q.y, &ctx);
    const GridCell* cell = modelGridCellAt(m->grid, q.x, q.y);
    Vec3d pos{q.x, q.y, kLow};
    ASSERT_GE(contactCandidatesAt(&boxes, list.get(), cell->items, cell->count, &tool, &pos), 2000);
    Vec3d c{};
    int kind = 0;
    const int r =
        contactScanTriCandidates(&ctx, list.get(), &pos, m->boxMax.z + kR + 1.0, &tool, &c, &kind);
    expectSameDrop(a, {r, pos.z, c, kind});
    if (HasFailure()) return;
  }
}

TEST_F(ContactDropTest, CandidateListMatchesSortedOrderAndBounds) {
  const std::vector<Tri> tris = testmodels::tiltedPlane(kAngle, 10.0, 6);
  const ToolShape tool = toolOf(kToolBall);
  TestModel tm(tris, kModelKindFacets, tool);
  const ModelRec* m = tm.model();
  FacetBoxSet boxes;
  contactBoxSetInit(&boxes, m->minCorners, m->maxCorners, nullptr, nullptr);
  std::unique_ptr<CandidateList, void (*)(CandidateList*)> list(contactListNew(3000),
                                                                contactListFree);
  const Vec3d pos{0.3, -0.2, 0.0};
  const int n = contactCandidatesAt(&boxes, list.get(), nullptr, m->facetCount, &tool, &pos);
  ASSERT_GT(n, 0);
  EXPECT_EQ(list->complete, 1);
  EXPECT_EQ(list->lastPosition, -1);
  EXPECT_EQ(list->lastIndex, m->facetCount - 1);
  for (int k = 1; k < n; ++k) {
    const CandidateEntry& a = list->entries[k - 1];
    const CandidateEntry& b = list->entries[k];
    EXPECT_TRUE(a.bound > b.bound || (a.bound == b.bound && a.index < b.index));
  }
  // The walk of the sorted list gives the engine's height.
  Vec3d p{pos.x, pos.y, kLow};
  Vec3d c;
  int kind = 0;
  ContactContext ctx;
  contactContextLoad(&ctx);
  ctx.facets = m->facets;
  ctx.facetCount = m->facetCount;
  ctx.maxCorners = m->maxCorners;
  ctx.minCorners = m->minCorners;
  contactScanCandidates(&ctx, list.get(), &p, m->boxMax.z + 4.0, &tool, &c, &kind);
  EXPECT_NEAR(p.z, planeHeight(kToolBall, pos.x), 1e-9);
}

TEST_F(ContactDropTest, OverflowingCandidateListFallsBackToTheFullWalk) {
  // 3001 small triangles all within reach of the ball at the origin, plus a
  // wider plate; no grid, so every item is a candidate.
  std::vector<Tri> tris;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < 3001; ++i) {
    const double x = u(rng), y = u(rng), z = 0.5 * u(rng);
    tris.push_back(Tri{{{x, y, z}, {x + 0.05, y, z + 0.01}, {x, y + 0.05, z - 0.01}}});
  }
  const ToolShape tool = toolOf(kToolBall);
  TestModel withList(tris, kModelKindFacets, tool);
  withList.enableCandidates();
  TestModel without(tris, kModelKindFacets, tool);

  const ModelRec* m = withList.model();
  FacetBoxSet boxes;
  contactBoxSetInit(&boxes, m->minCorners, m->maxCorners, nullptr, nullptr);
  std::unique_ptr<CandidateList, void (*)(CandidateList*)> list(contactListNew(3000),
                                                                contactListFree);
  const Vec3d origin{0.0, 0.0, 0.0};
  EXPECT_EQ(contactCandidatesAt(&boxes, list.get(), nullptr, m->facetCount, &tool, &origin), -1);
  EXPECT_EQ(list->complete, 0);

  for (const double x : {0.0, 0.4, -0.7}) {
    const DropResult a = dropAt(withList.model(), withList.tool(), x, 0.1);
    const DropResult b = dropAt(without.model(), without.tool(), x, 0.1);
    expectSameDrop(a, b);
  }
}

// Fine meshes put thousands of surfaces into a cell and often more within
// reach than a candidate list holds.  The walks through a sized grid (led by
// its order of the cell) must give the outcome of the same walks without the
// order, bit for bit, for facet and triangle models, at scattered positions
// and along lines of close neighbours.
TEST_F(ContactDropTest, CrowdedCellsGiveTheOutcomeOfThePlainFullWalk) {
  const std::vector<Tri> field = testmodels::heightField(
      [](double x, double y) { return std::sin(x / 1.4) * std::cos(y / 1.8); }, 0.0, 8.0, 0.0, 8.0,
      90, 90);
  const std::vector<Tri> dome = testmodels::hemisphereOnPlate(3.0, 24, 96, 4.0, 40);
  // A fine level plate with small tilted chips standing above it, each placed
  // where a ball dropped at a point of its own touches the chip's face on the
  // way down, lower than the plate lifts it in the end.
  const std::vector<Tri> plate =
      testmodels::heightField([](double, double) { return 0.0; }, 0.0, 8.0, 0.0, 8.0, 90, 90);
  std::vector<Tri> chips = plate;
  std::vector<Tri> bar = plate;
  std::vector<Vec2d> chipDrops;
  std::mt19937 rng(31);
  {
    std::uniform_real_distribution<double> at(1.0, 7.0), angle(0.5, 1.05), turn(0.0, 6.28),
        base(0.02, 0.3);
    for (int k = 0; k < 12; ++k) {
      const Vec2d drop{at(rng), at(rng)};
      const double slope = angle(rng), t = turn(rng), z0 = base(rng);
      const double dx = std::cos(t), dy = std::sin(t), m = std::tan(slope);
      const double cx = drop.x + kR * std::sin(slope) * dx, cy = drop.y + kR * std::sin(slope) * dy;
      // a along the rise, b across it; the touch point lies inside one of
      // the two triangles, off their shared edge.
      const auto corner = [&](double a, double b) {
        a += 0.3;
        b -= 0.5;
        return Vec3d{cx + 0.2 * (a * dx - b * dy), cy + 0.2 * (a * dy + b * dx), z0 + 0.2 * a * m};
      };
      chips.push_back(Tri{{corner(-1, -1), corner(1, -1), corner(1, 1)}});
      chips.push_back(Tri{{corner(-1, -1), corner(1, 1), corner(-1, 1)}});
      chipDrops.push_back(drop);
    }
    // On the plate alone: a level bar whose long edge passes the drop point
    // at 1.5, its corners out of reach; its edge contact lies above the face
    // contact of a low chip that comes after it.
    const Vec2d q{4.1, 3.9};
    const double cx = q.x + kR * std::sin(0.5), m = std::tan(0.5);
    const auto corner = [&](double a, double b) {
      return Vec3d{cx + 0.2 * (a + 0.3), q.y + 0.2 * (b - 0.5), 0.05 + 0.2 * (a + 0.3) * m};
    };
    bar.push_back(Tri{{corner(-1, -1), corner(1, -1), corner(1, 1)}});
    bar.push_back(Tri{{corner(-1, -1), corner(1, 1), corner(-1, 1)}});
    bar.push_back(Tri{{{q.x - 3.5, q.y + 1.5, 0.35},
                       {q.x + 3.5, q.y + 1.5, 0.35},
                       {q.x + 3.5, q.y + 1.6, 0.35}}});
  }
  for (const std::vector<Tri>* tris : {&field, &dome, static_cast<const std::vector<Tri>*>(&chips),
                                       static_cast<const std::vector<Tri>*>(&bar)}) {
    const bool isField = tris != &dome;
    const double lo = isField ? 0.0 : -4.0, hi = isField ? 8.0 : 4.0;
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<Vec2d> positions;
    for (int k = 0; k < 60; ++k) positions.push_back({u(rng), u(rng)});
    for (int k = 0; k < 60; ++k) positions.push_back({lo + 0.13 * k, lo + 0.4 + 0.11 * k});
    if (tris == &chips) positions.insert(positions.end(), chipDrops.begin(), chipDrops.end());
    if (tris == &bar) positions.push_back({4.1, 3.9});
    for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
      for (const int type : {kToolBall, kToolTorus, kToolFlat}) {
        const ToolShape tool = toolOf(type);
        TestModel fast(*tris, kind, tool);
        fast.buildGrid(1.0);
        fast.enableCandidates();
        // The grid of the 400-cell rule has no order and no planes: the same
        // walks without them.
        TestModel plain(*tris, kind, tool);
        plain.buildGrid();
        plain.enableCandidates();
        for (const Vec2d& q : positions) {
          SCOPED_TRACE("kind " + std::to_string(kind) + " type " + std::to_string(type) + " at " +
                       std::to_string(q.x) + ", " + std::to_string(q.y));
          const DropResult a = dropAt(fast.model(), fast.tool(), q.x, q.y);
          const DropResult b = dropAt(plain.model(), plain.tool(), q.x, q.y);
          expectSameDrop(a, b);
          // z ranges that hold only some of the raises: which of them are
          // face contacts within the range decides the result.
          for (const double below : {3.0, 0.3, 0.03, 0.003}) {
            ContactContext band;
            contactContextLoad(&band);
            band.zFloor = a.z - below;
            band.zTop = a.z - 0.1 * below;
            ContactContext band2 = band;
            expectSameDrop(dropAt(fast.model(), fast.tool(), q.x, q.y, &band),
                           dropAt(plain.model(), plain.tool(), q.x, q.y, &band2));
          }
          if (::testing::Test::HasFailure()) return;
        }
      }
    }
  }
}

TEST_F(ContactDropTest, UntouchedPositionIsZeroOrKeptAtTheLowestReach) {
  const std::vector<Tri> tris = testmodels::tiltedPlane(0.0, 5.0, 2);
  struct Row {
    int type;
    double reachBelow;  // lowest reach below the height
  };
  for (const Row row : {Row{kToolBall, kR}, Row{kToolFlat, 0.0}, Row{kToolTorus, kRc}}) {
    for (const bool candidates : {false, true}) {
      TestModel tm(tris, kModelKindFacets, toolOf(row.type));
      tm.buildGrid();
      if (candidates) tm.enableCandidates();
      ContactContext ctx;
      contactContextLoad(&ctx);
      ctx.keepUntouched = 0;
      EXPECT_EQ(dropAt(tm.model(), tm.tool(), 50.0, 50.0, &ctx).result, 0);
      contactContextLoad(&ctx);
      ctx.keepUntouched = 1;
      const DropResult d = dropAt(tm.model(), tm.tool(), 50.0, 50.0, &ctx);
      EXPECT_EQ(d.result, 1);
      EXPECT_EQ(d.kind, 0);
      EXPECT_EQ(d.z, kLow);
      EXPECT_EQ(d.contact.x, 50.0);
      EXPECT_EQ(d.contact.y, 50.0);
      EXPECT_EQ(d.contact.z, kLow - row.reachBelow);
    }
  }
}

TEST_F(ContactDropTest, FlatToolOnHorizontalFacetIsAFaceContactInsideTheZRange) {
  // One horizontal quad facet at z = 2 (two triangles).
  Facet quad{0, {{-4.0, -4.0, 2.0}, {4.0, -4.0, 2.0}, {4.0, 4.0, 2.0}, {-4.0, 4.0, 2.0}}};
  Vec3d mn{-4.0, -4.0, 2.0}, mx{4.0, 4.0, 2.0};
  const ToolShape tool = toolOf(kToolFlat);
  struct Row {
    double zFloor, zTop;
    int result;
  };
  for (const Row row : {Row{-10.0, 10.0, 2}, Row{-10.0, 1.0, 1}, Row{3.0, 10.0, 1}}) {
    ContactContext ctx;
    contactContextLoad(&ctx);
    ctx.facets = &quad;
    ctx.facetCount = 1;
    ctx.minCorners = &mn;
    ctx.maxCorners = &mx;
    ctx.zFloor = row.zFloor;
    ctx.zTop = row.zTop;
    Vec3d pos{1.0, -2.0, kLow};
    Vec3d c;
    int kind = -1;
    EXPECT_EQ(contactDropOnFacetSet(&ctx, &pos, 10.0, &tool, nullptr, 0, &c, &kind), row.result);
    EXPECT_EQ(pos.z, 2.0);
    EXPECT_EQ(kind, kContactKindFlat);
  }
}

TEST_F(ContactDropTest, DropAtPointReportsTheLastGroupThatTouched) {
  const ToolShape tool = toolOf(kToolBall);
  TestModel tm(testmodels::tiltedPlane(0.0, 10.0, 2), kModelKindFacets, tool);
  tm.buildGrid();
  // A group whose only triangle is reached by an edge (result 1), and a
  // group far away that touches nothing.
  tm.addGroup(testmodels::singleTriangle({1.0, -5.0, 1.0}, {6.0, -5.0, 1.0}, {1.0, 5.0, 1.0}), 0.0,
              0);
  tm.addGroup(testmodels::singleTriangle({80.0, 80.0, 9.0}, {81.0, 80.0, 9.0}, {80.0, 81.0, 9.0}),
              0.0, 0);
  Vec3d pos{0.0, 0.0, kLow};
  Vec3d contact{};
  int kind = -1;
  const int r = contactDropAtPoint(tm.model(), &pos, &contact, &kind);
  EXPECT_EQ(r, 1);
  EXPECT_NEAR(pos.z, 1.0 + std::sqrt(kR * kR - 1.0), 1e-12);
  EXPECT_NEAR(contact.x, 1.0, 1e-12);
  EXPECT_NEAR(contact.z, 1.0, 1e-12);
  EXPECT_EQ(kind, kContactKindRim);  // the model's own face contact

  // Without the group in reach, the model's face contact stands.
  pos = {-8.0, 0.0, kLow};
  EXPECT_EQ(contactDropAtPoint(tm.model(), &pos, &contact, &kind), 2);
  EXPECT_NEAR(pos.z, kR, 1e-12);
}

// A tapered ball beside a vertical wall, farther from it than its radius but
// within the cone's outer radius: every path lets the cone rest on the wall.
TEST_F(ContactDropTest, TaperedBallBesideAWallGivesTheSameHeightOnEveryPath) {
  ToolShape tool = testmodels::ballTool(5.0);
  tool.taperOn = 1;
  tool.taperAngle = 10.0;
  tool.length = 30.0;
  ToolCone cone;
  toolConeFromTool(&tool, &cone);
  ASSERT_NEAR(cone.outerRadius, 10.3669425, 1e-6);
  std::vector<Tri> tris =
      testmodels::heightField([](double, double) { return 0.0; }, -30.0, 0.0, -20.0, 20.0, 6, 8);
  tris.push_back(Tri{{{0.0, -20.0, 0.0}, {0.0, 20.0, 0.0}, {0.0, 20.0, 20.0}}});
  tris.push_back(Tri{{{0.0, -20.0, 0.0}, {0.0, 20.0, 20.0}, {0.0, -20.0, 20.0}}});
  const double g = 7.0;
  const double expected =
      20.0 - (cone.innerZ + (cone.outerZ - cone.innerZ) * (g - cone.innerRadius) /
                                (cone.outerRadius - cone.innerRadius));
  ASSERT_GT(expected, 5.0 + 1.0);  // well above the ball's rest on the floor
  for (const Path& p : kPaths) {
    TestModel tm(tris, p.kind, tool);
    if (p.grid) tm.buildGrid(1.0);
    if (p.candidates) tm.enableCandidates();
    ContactContext ctx;
    contactContextLoad(&ctx);
    contactContextSetCone(&ctx, &tool);
    const DropResult d = dropAt(tm.model(), tm.tool(), -g, 0.5, &ctx);
    EXPECT_NEAR(d.z, expected, 1e-9) << p.name;
  }
}

TEST_F(ContactDropTest, SlopeInRangeAgainstSteepAndFlatLimits) {
  struct Row {
    const char* name;
    int type;
    double contactAngle;  // slope of the surface at the contact, degrees
    double slope, flat;
    int expected;
  };
  const Row rows[] = {
      {"ball30", kToolBall, 30.0, 45.0, 20.0, 1},   {"ball60", kToolBall, 60.0, 45.0, 20.0, -1},
      {"ball10", kToolBall, 10.0, 45.0, 20.0, -1},  {"ball10NoFlat", kToolBall, 10.0, 45.0, 0.0, 1},
      {"torus30", kToolTorus, 30.0, 45.0, 20.0, 1}, {"torus60", kToolTorus, 60.0, 45.0, 20.0, -1},
      {"flat", kToolFlat, 30.0, 45.0, 20.0, 0},
  };
  for (const Row& row : rows) {
    const ToolShape tool = toolOf(row.type);
    const Vec3d pos{1.0, 2.0, 5.0};
    const double a = rad(row.contactAngle);
    const double ring = row.type == kToolTorus ? kR - kRc : 0.0;
    const double rc = row.type == kToolTorus ? kRc : kR;
    const Vec3d contact{pos.x + ring + rc * std::sin(a), pos.y, pos.z - rc * std::cos(a)};
    EXPECT_EQ(toolShapeSlopeInRange(&tool, &pos, &contact, row.slope, row.flat), row.expected)
        << row.name;
  }
  ToolShape noCorner = testmodels::torusTool(kR, 0.0);
  const Vec3d p{0, 0, 0}, c{1, 0, -1};
  EXPECT_EQ(toolShapeSlopeInRange(&noCorner, &p, &c, 45.0, 20.0), 0);
  EXPECT_EQ(projSlopeAtLeast(&p, &c, 44.0), 1);
  EXPECT_EQ(projSlopeAtLeast(&p, &c, 46.0), 0);
  EXPECT_EQ(projSlopeAtLeast(&p, &p, 0.0), 0);
}

TEST_F(ContactDropTest, PreselectionKeepsFacetsNearTheCurve) {
  const ToolShape tool = toolOf(kToolBall);
  TestModel tm(testmodels::tiltedPlane(0.0, 10.0, 10), kModelKindFacets, tool);
  ContactContext ctx;
  contactContextLoad(&ctx);
  contactContextSetModel(&ctx, tm.model(), 0);
  Vec2d pts[2] = {{-10.0, 0.5}, {10.0, 0.5}};
  CurveRec* line = curveNew(pts, 2, 'p');
  int count = -1;
  int* idx = contactPreselectFacets(&ctx, line, 1.0, &count, nullptr, 2.0);
  ASSERT_NE(idx, nullptr);
  const ModelRec* m = tm.model();
  int expected = 0;
  for (int i = 0; i < m->facetCount; ++i) {
    if (m->minCorners[i].y < 1.5 && m->maxCorners[i].y > -0.5) ++expected;
  }
  EXPECT_EQ(count, expected);
  for (int k = 0; k < count; ++k) {
    EXPECT_LT(m->minCorners[idx[k]].y, 1.5);
    if (k > 0) {
      EXPECT_LT(idx[k - 1], idx[k]);
    }
  }
  std::free(idx);
  // A curve without pieces cannot be preselected.
  CurveRec* dot = curveNew(pts, 1, 'p');
  EXPECT_EQ(contactPreselectFacets(&ctx, dot, 1.0, &count, nullptr, 2.0), nullptr);
  EXPECT_EQ(count, 0);
  curveFree(dot);
  curveFree(line);
}

// In a steep groove a ball shrunk by the extra allowance sinks by more than
// twice the allowance: the second chance takes the lower height.
TEST_F(ContactDropTest, SecondChanceLowersTheToolInASteepGroove) {
  const double a = rad(70.0);
  TestModel tm(testmodels::vGroove(70.0, 10.0, 2), kModelKindTriangles, toolOf(kToolBall));
  tm.buildGrid();
  ContactContext ctx;
  contactContextLoad(&ctx);
  contactContextSetModel(&ctx, tm.model(), 0);
  const double full = kR / std::cos(a);
  const double shrunk = (kR - 0.5) / std::cos(a);
  Vec3d pos{0.0, 0.3, full};
  EXPECT_EQ(projSecondChance(&ctx, &pos, tm.model(), 8.0, 0.0, 100.0, nullptr, 0), 0);
  EXPECT_EQ(pos.z, full);  // the extra allowance is off
  ctx.extraAllowanceOn = 1;
  ctx.extraAllowance = 0.5;
  EXPECT_EQ(projSecondChance(&ctx, &pos, tm.model(), 8.0, 0.0, 100.0, nullptr, 0), 1);
  EXPECT_NEAR(pos.z, shrunk, 1e-9);
  // Above the guide curve's z the second chance does not count.
  pos.z = full;
  EXPECT_EQ(projSecondChance(&ctx, &pos, tm.model(), shrunk - 0.1, 0.0, 100.0, nullptr, 0), 0);
  EXPECT_EQ(pos.z, full);
  EXPECT_EQ(tm.tool()->radius, kR);  // the model's own tool is untouched
}

TEST_F(ContactDropTest, OffsetModelProbeStartsTheBallOnTheOffsetSurface) {
  // The offset model of a horizontal plate moved up by r is a plate at z = r:
  // the probe starts the ball there and the walk confirms it.
  const ToolShape tool = toolOf(kToolBall);
  TestModel tm(testmodels::tiltedPlane(0.0, 10.0, 2), kModelKindFacets, tool);
  tm.buildGrid();
  TestModel offset(testmodels::tiltedPlane(0.0, 10.0, 2), kModelKindFacets, tool);
  for (int i = 0; i < offset.model()->facetCount; ++i) {
    for (Vec3d& v : offset.model()->facets[i].v) v.z += kR;
    offset.model()->minCorners[i].z += kR;
    offset.model()->maxCorners[i].z += kR;
  }
  OffsetModel om{offset.model(), nullptr};
  ContactContext ctx;
  contactContextLoad(&ctx);
  ctx.offsetModel = &om;
  Vec3d pos{0.3, 0.2, kLow};
  contactOffsetModelStart(&ctx, &pos, &om, 100.0);
  EXPECT_EQ(pos.z, kR);
  const DropResult d = dropAt(tm.model(), tm.tool(), 0.3, 0.2, &ctx);
  EXPECT_EQ(d.z, kR);
}

}  // namespace
