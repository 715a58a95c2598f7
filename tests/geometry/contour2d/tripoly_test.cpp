#include "geometry/contour2d/tripoly.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "geometry/contour2d/contour_shapes.h"
#include "geometry/errors/error_state.h"

namespace {

using namespace contour_shapes;

struct Tree {
  Kont2d* root = nullptr;
  TripolyMesh* mesh = nullptr;
  explicit Tree(const std::vector<Ring>& rings)
      : root(treeOf(rings)), mesh(tripolyTriangulate(root)) {}
  ~Tree() {
    tripolyFree(mesh);
    kontFree(root);
  }
};

double triangleArea(const TripolyMesh* m, const TripolyTri& t) {
  const Vec2d& a = m->points->items[t.a];
  const Vec2d& b = m->points->items[t.b];
  const Vec2d& c = m->points->items[t.c];
  return ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / 2.0;
}

double ringArea(const Ring& r) {
  double s = 0.0;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Vec2d& a = r[i];
    const Vec2d& b = r[(i + 1) % r.size()];
    s += a.x * b.y - a.y * b.x;
  }
  return std::fabs(s / 2.0);
}

int borderEdges(const TripolyMesh* m) {
  int border = 0;
  for (int i = 0; i < m->count; ++i) {
    const TripolyTri& tr = m->tris[i];
    border += (tr.na < 0) + (tr.nb < 0) + (tr.nc < 0);
  }
  return border;
}

TEST(Tripoly, SquareGivesFrameRingAndMaterial) {
  Tree t({rect(0, 0, 10, 10)});
  ASSERT_NE(t.mesh, nullptr);
  ASSERT_EQ(t.mesh->count, 10);
  int regions[3] = {0, 0, 0};
  for (int i = 0; i < t.mesh->count; ++i) ++regions[t.mesh->tris[i].region];
  EXPECT_EQ(regions[kTripolyFrame], 8);
  EXPECT_EQ(regions[kTripolyMaterial], 2);
  EXPECT_EQ(t.mesh->points->count, 8);
  EXPECT_DOUBLE_EQ(t.mesh->points->items[0].x, -1.0);
  EXPECT_DOUBLE_EQ(t.mesh->points->items[2].y, 11.0);
  // Only the four frame edges lie at the border.
  EXPECT_EQ(borderEdges(t.mesh), 4);
}

TEST(Tripoly, HoleTouchingTheContourSharesItsVertexAcrossRegions) {
  Tree t({{{0, 0}, {5, -1}, {10, 0}, {10, 10}, {0, 10}}, {{3, 4}, {7, 4}, {5, -1}}});
  ASSERT_NE(t.mesh, nullptr);
  EXPECT_EQ(borderEdges(t.mesh), 4);  // only the frame
  const Vec2d inHole{5, 1}, inMaterial{1, 1}, nearTouch{5.5, -0.5};
  EXPECT_EQ(tripolyClassifyPoint(t.mesh, &inHole), 4);
  EXPECT_EQ(tripolyClassifyPoint(t.mesh, &inMaterial), 2);
  EXPECT_EQ(tripolyClassifyPoint(t.mesh, &nearTouch), 2);
}

struct ClassCase {
  std::string name;
  Vec2d p;
  int bits;
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.name; }

class TripolyClassify : public ::testing::TestWithParam<ClassCase> {};

TEST_P(TripolyClassify, GivesTheRegionBitsWithNeighboursOnEdges) {
  static Tree t({rect(0, 0, 10, 10), rect(3, 3, 6, 6, false)});
  ASSERT_NE(t.mesh, nullptr);
  EXPECT_EQ(tripolyClassifyPoint(t.mesh, &GetParam().p), GetParam().bits);
}

INSTANTIATE_TEST_SUITE_P(Points, TripolyClassify,
                         ::testing::Values(ClassCase{"in_hole", {4.5, 4.2}, 4},
                                           ClassCase{"in_material", {1.5, 8.1}, 2},
                                           ClassCase{"in_frame", {-0.5, 5.3}, 1},
                                           ClassCase{"beyond_frame", {-50, 5}, 1},
                                           ClassCase{"on_outer_edge", {10, 4.1}, 3},
                                           ClassCase{"on_hole_edge", {3, 4.7}, 6}),
                         [](const auto& info) { return info.param.name; });

TEST(Tripoly, RegionsCoverFrameContourAndHoles) {
  std::mt19937 rng(77);
  for (int scene = 0; scene < 30; ++scene) {
    const Ring outer = wobbly(rng, 0, 0, 80, 100, 30, scene % 2 == 0);
    const Ring h1 = wobbly(rng, -40, 0, 10, 20, 9, true);
    const Ring h2 = wobbly(rng, 40, 10, 10, 20, 13, false);
    Tree t({outer, h1, h2});
    ASSERT_NE(t.mesh, nullptr) << scene;
    double area[3] = {0, 0, 0};
    for (int i = 0; i < t.mesh->count; ++i) {
      const double a = triangleArea(t.mesh, t.mesh->tris[i]);
      EXPECT_GT(a, 0.0);
      area[t.mesh->tris[i].region] += a;
    }
    const double frame = (t.root->xmax - t.root->xmin) * (t.root->ymax - t.root->ymin) * 1.44;
    const double holes = ringArea(h1) + ringArea(h2);
    EXPECT_NEAR(area[kTripolyFrame], frame - ringArea(outer), 1e-9 * frame);
    EXPECT_NEAR(area[kTripolyMaterial], ringArea(outer) - holes, 1e-9 * frame);
    EXPECT_NEAR(area[kTripolyHole], holes, 1e-9 * frame);
    // Triangle counts per call: points + 2 holes - 2.
    EXPECT_EQ(t.mesh->count, (4 + 30 + 2 - 2) + (30 + 9 + 13 + 4 - 2) + (9 - 2) + (13 - 2));
    // Walk and scan agree on random points.
    std::uniform_real_distribution<double> u(-130, 130);
    for (int i = 0; i < 500; ++i) {
      const Vec2d p{u(rng), u(rng)};
      const int expected = !inside(outer, p) ? 1 : (inside(h1, p) || inside(h2, p)) ? 4 : 2;
      ASSERT_EQ(tripolyClassifyPoint(t.mesh, &p), expected);
    }
  }
}

TEST(Tripoly, TooManyPointsGiveNoMesh) {
  // A star, so that no segments merge: 4 frame corners + 199998 points.
  auto star = [](int n) {
    Ring r = circle(0, 0, 1000, n, true);
    for (std::size_t i = 1; i < r.size(); i += 2) r[i] = {r[i].x * 0.9, r[i].y * 0.9};
    return r;
  };
  const Chain big = chainOf(star(kTripolyMaxPoints - 2));
  const Seg2* chains[1] = {big.data()};
  const int counts[1] = {static_cast<int>(big.size())};
  Kont2d* tree = kontFromChains(chains, counts, 1);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->count, kTripolyMaxPoints - 2);
  EXPECT_EQ(seidelTriangulateContour(tree), nullptr);
  kontFree(tree);
  Tree fits({star(5000)});
  EXPECT_NE(fits.mesh, nullptr);
}

TEST(Tripoly, InconsistentTreeGivesNoMeshWithCode) {
  vyrErrReset();
  Tree t({{{0, 0}, {4, 4}, {4, 0}, {0, 4}}});
  EXPECT_EQ(t.mesh, nullptr);
  EXPECT_EQ(vyrErrGetCode(), -34);
  EXPECT_EQ(tripolyTriangulate(nullptr), nullptr);
}

TEST(Tripoly, AddTriangleTurnsClockwiseAndStoresInverseArea) {
  TripolyMesh* m = tripolyNew(1);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->capacity, 3);
  const Vec2d pts[4] = {{0, 0}, {2, 0}, {0, 2}, {2, 2}};
  for (const Vec2d& p : pts) listPt2Append(m->points, &p);
  const TripolyTri cw{0, 2, 1, -1, -1, -1, kTripolyMaterial, 0.0};
  ASSERT_EQ(tripolyAddTriangle(m, &cw), 1);
  EXPECT_EQ(m->tris[0].a, 1);
  EXPECT_EQ(m->tris[0].c, 0);
  EXPECT_DOUBLE_EQ(m->tris[0].invArea, 0.25);
  const TripolyTri second{1, 3, 2, -1, -1, -1, kTripolyHole, 0.0};
  ASSERT_EQ(tripolyAddTriangle(m, &second), 1);
  const TripolyTri bad{0, 1, 9, -1, -1, -1, 0, 0.0};
  EXPECT_EQ(tripolyAddTriangle(m, &bad), -1);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(tripolyAddTriangle(m, &second), 1);  // grows
  m->count = 2;
  ASSERT_EQ(tripolyLinkNeighbours(m), 1);
  // Triangle 0 is (1, 2, 0) and triangle 1 is (1, 3, 2): they share the edge
  // 1-2, opposite vertex c of the first and vertex b of the second.
  EXPECT_EQ(m->tris[0].nc, 1);
  EXPECT_EQ(m->tris[1].nb, 0);
  EXPECT_EQ(m->tris[1].na, -1);
  double w0, w1;
  const Vec2d p{0.5, 0.5};
  tripolyBarycentric(m, 0, &p, &w0, &w1);
  EXPECT_DOUBLE_EQ(w0, 0.25);
  EXPECT_DOUBLE_EQ(w1, 0.25);
  double w2;
  EXPECT_EQ(tripolyLocate(m, &p, &w0, &w1, &w2), 0);
  const Vec2d far{5, 5};
  EXPECT_EQ(tripolyLocate(m, &far, &w0, &w1, &w2), -1);
  EXPECT_EQ(tripolyClassifyPoint(m, &far), 1);
  EXPECT_EQ(tripolyClassifyPoint(nullptr, &far), -1);
  tripolyFree(m);
  tripolyFree(nullptr);
}

}  // namespace
