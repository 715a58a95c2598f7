#include "geometry/contour2d/kont2d.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/contour2d/contour_shapes.h"
#include "geometry/contour2d/tripoly.h"
#include "geometry/errors/error_state.h"

namespace {

using namespace contour_shapes;

// Owns a tree built from rings.
struct Tree {
  Kont2d* root = nullptr;
  explicit Tree(const std::vector<Ring>& rings) : root(treeOf(rings)) {}
  ~Tree() {
    if (root != nullptr) tripolyFree(root->mesh);
    kontFree(root);
  }
  std::vector<const Kont2d*> outers() const {
    std::vector<const Kont2d*> v;
    for (const Kont2d* k = root; k != nullptr; k = k->next) v.push_back(k);
    return v;
  }
  static std::vector<const Kont2d*> holes(const Kont2d* k) {
    std::vector<const Kont2d*> v;
    for (const Kont2d* h = k->firstHole; h != nullptr; h = h->next) v.push_back(h);
    return v;
  }
};

Ring ringOf(const Kont2d* k) {
  Ring r;
  for (int i = 0; i < k->count; ++i) r.push_back(seg2Start(k->segs[i]));
  return r;
}

struct NestingCase {
  std::string name;
  bool outerCcw, holeCcw;
};

void PrintTo(const NestingCase& c, std::ostream* os) { *os << c.name; }

class KontNesting : public ::testing::TestWithParam<NestingCase> {};

TEST_P(KontNesting, OuterRunsCounterClockwiseAndHoleClockwiseWhateverTheInput) {
  const NestingCase& k = GetParam();
  Tree t({rect(0, 0, 10, 10, k.outerCcw), rect(3, 3, 6, 6, k.holeCcw)});
  ASSERT_NE(t.root, nullptr);
  EXPECT_EQ(t.root->depth, 0);
  EXPECT_EQ(kontOrientation(t.root), 1);
  EXPECT_EQ(t.root->next, nullptr);
  ASSERT_NE(t.root->firstHole, nullptr);
  EXPECT_EQ(t.root->firstHole->depth, 1);
  EXPECT_EQ(kontOrientation(t.root->firstHole), -1);
  EXPECT_EQ(t.root->firstHole->back, t.root);
  EXPECT_EQ(t.root->closed, 1);
  EXPECT_EQ(kontCheck(t.root, 3), 1);
}

INSTANTIATE_TEST_SUITE_P(Orientations, KontNesting,
                         ::testing::Values(NestingCase{"ccw_cw", true, false},
                                           NestingCase{"ccw_ccw", true, true},
                                           NestingCase{"cw_cw", false, false},
                                           NestingCase{"cw_ccw", false, true}),
                         [](const auto& info) { return info.param.name; });

TEST(Kont2d, DeeperContoursAlternateBetweenOuterChainAndHoles) {
  Tree t({rect(0, 0, 100, 100), rect(10, 10, 90, 90), rect(20, 20, 80, 80, false),
          rect(30, 30, 70, 70)});
  const auto outers = t.outers();
  ASSERT_EQ(outers.size(), 2u);
  EXPECT_EQ(outers[0]->depth, 0);
  EXPECT_EQ(outers[1]->depth, 2);
  EXPECT_EQ(outers[1]->back, outers[0]);
  EXPECT_EQ(kontOrientation(outers[1]), 1);
  for (const Kont2d* o : outers) {
    const auto holes = Tree::holes(o);
    ASSERT_EQ(holes.size(), 1u);
    EXPECT_EQ(holes[0]->depth, o->depth + 1);
    EXPECT_EQ(kontOrientation(holes[0]), -1);
  }
}

TEST(Kont2d, HigherLevelIsLinkedFirst) {
  std::vector<Chain> chains{chainOf(rect(0, 0, 10, 10)), chainOf(rect(20, 0, 30, 10)),
                            chainOf(rect(40, 0, 50, 10))};
  Kont2d* nodes[3];
  const double z[3] = {1.0, 5.0, 5.0 - 5e-7};
  for (int i = 0; i < 3; ++i) {
    nodes[i] = kontNew(nullptr, 4);
    for (const Seg2& s : chains[static_cast<std::size_t>(i)]) kontAppendSeg(nodes[i], &s);
    nodes[i]->z = z[i];
  }
  Kont2d* low = nodes[0];
  Kont2d* high = nodes[1];
  Kont2d* sameLevel = nodes[2];
  ASSERT_EQ(kontBuildTree(nodes, 3), 1);
  // The two upper nodes form one level (z within 1e-6) and come first.
  EXPECT_EQ(nodes[0], high);
  EXPECT_EQ(high->next, sameLevel);
  EXPECT_EQ(sameLevel->next, low);
  EXPECT_EQ(low->back, sameLevel);
  EXPECT_EQ(low->next, nullptr);
  kontFree(high);
}

TEST(Kont2d, CollinearSegmentsMerge) {
  Ring r{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 3}, {0, 3}};
  Tree t({r});
  ASSERT_NE(t.root, nullptr);
  EXPECT_EQ(t.root->count, 4);
  EXPECT_DOUBLE_EQ(t.root->segs[0].x1, 3.0);
  EXPECT_DOUBLE_EQ(t.root->xmax, 3.0);
  EXPECT_DOUBLE_EQ(t.root->ymax, 3.0);
}

TEST(Kont2d, NewNodeAndGrowth) {
  Kont2d* k = kontNew(nullptr, 1);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->capacity, 3);
  EXPECT_EQ(k->xmin, 1e10);
  EXPECT_EQ(k->xmax, -1e10);
  EXPECT_EQ(k->z, DBL_MAX);
  for (int i = 0; i < 10; ++i) {
    const Seg2 s{double(i), 0, double(i + 1), 1};
    ASSERT_EQ(kontAppendSeg(k, &s), 1);
  }
  EXPECT_EQ(k->count, 10);
  EXPECT_EQ(k->xmax, 10.0);
  kontFree(k);
  // A borrowed array is never freed or reallocated by the node.
  Seg2 borrowed[3];
  Kont2d* b = kontNew(borrowed, 3);
  for (int i = 0; i < 5; ++i) {
    const Seg2 s{double(i), 0, double(i + 1), 0};
    ASSERT_EQ(kontAppendSeg(b, &s), 1);
  }
  EXPECT_NE(b->segs, borrowed);
  EXPECT_EQ(b->segs[4].x1, 5.0);
  kontFree(b);
  EXPECT_EQ(kontAppendSeg(nullptr, borrowed), -1);
  kontFree(nullptr);
}

TEST(Kont2d, HoleHangsOnItsFirstParentOnly) {
  // p and q overlap and each holds the other's first point, so both get depth
  // 2 and both contain h (depth 3).
  const Ring r = rect(0, 0, 100, 100);
  const Ring p{{60, 60}, {20, 60}, {20, 20}, {60, 20}};
  const Ring q{{30, 50}, {30, 30}, {70, 30}, {70, 70}, {30, 70}};
  const Ring h = rect(40, 40, 45, 45);
  Tree t({r, p, q, h});
  ASSERT_NE(t.root, nullptr);
  int hung = 0;
  for (const Kont2d* o : t.outers()) hung += static_cast<int>(Tree::holes(o).size());
  EXPECT_EQ(hung, 1);
  // The tree is freed by ~Tree; the sanitizer build catches a double free.
}

TEST(Kont2d, FreeingALongChainIsIterative) {
  std::vector<Ring> rings;
  for (int i = 0; i < 5000; ++i) rings.push_back(rect(3.0 * i, 0, 3.0 * i + 1, 1));
  Tree t(rings);
  ASSERT_NE(t.root, nullptr);
  EXPECT_EQ(t.outers().size(), 5000u);
}

TEST(Kont2d, CheckFindsOpenHolesAndCrossings) {
  {
    // An open hole: its last segment stops short of its first point.
    Chain outer = chainOf(rect(0, 0, 10, 10));
    Chain hole = chainOf(rect(3, 3, 6, 6, false));
    hole.back().x1 = 3.5;
    const Seg2* chains[2] = {outer.data(), hole.data()};
    const int counts[2] = {4, 4};
    Kont2d* tree = kontFromChains(chains, counts, 2);
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(tree->firstHole, nullptr);
    EXPECT_EQ(tree->firstHole->closed, 0);
    vyrErrReset();
    EXPECT_EQ(kontCheck(tree, 1), -47);
    EXPECT_EQ(vyrErrGetCode(), -47);
    kontFree(tree);
  }
  {
    Tree bowtie({{{0, 0}, {4, 4}, {4, 0}, {0, 4}}});
    ASSERT_NE(bowtie.root, nullptr);
    vyrErrReset();
    EXPECT_EQ(kontCheck(bowtie.root, 2), -41);
    EXPECT_EQ(vyrErrGetCode(), -41);
    EXPECT_EQ(kontSelfIntersects(bowtie.root, nullptr, 1, 0.00001), 1);
  }
  {
    Tree crossingHole({rect(0, 0, 10, 10), rect(8, 3, 12, 6)});
    ASSERT_NE(crossingHole.root, nullptr);
    EXPECT_EQ(kontCheck(crossingHole.root, 2), -41);
  }
  EXPECT_EQ(kontCheck(nullptr, 3), 0);
}

TEST(Kont2d, WritesBndBlocksWithBreaksAtGaps) {
  Chain c{{0, 0, 1, 0}, {1, 0, 1, 1}, {2, 2, 3, 3}};
  const Seg2* chains[1] = {c.data()};
  const int counts[1] = {3};
  Kont2d* k = kontFromChains(chains, counts, 1);
  ASSERT_NE(k, nullptr);
  k->z = 2.5;
  const std::string name = ::testing::TempDir() + "kont2d_blocks.bnd";
  std::remove(name.c_str());
  kontBndReset();
  ASSERT_EQ(kontWriteBnd(k, name.c_str()), 1);
  std::ifstream in(name);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(name.c_str());
  EXPECT_EQ(kontWriteBnd(k, "/nonexistent-dir/x.bnd"), -1);
  kontFree(k);
  const int first = 1;  // numbering starts again at a reset
  char expected[512];
  std::snprintf(expected, sizeof expected,
                "**BND %d **WZ\n"
                "X%lf Y%lf Z%lf\nX%lf Y%lf Z%lf\nX%lf Y%lf Z%lf\n**END\n"
                "**BND %d **WZ\n"
                "X%lf Y%lf Z%lf\nX%lf Y%lf Z%lf\n**END\n",
                first, 0.0, 0.0, 2.5, 1.0, 0.0, 2.5, 1.0, 1.0, 2.5, first + 1, 2.0, 2.0, 2.5, 3.0,
                3.0, 2.5);
  EXPECT_EQ(text.str(), expected);
  EXPECT_EQ(kontWriteBnd(nullptr, name.c_str()), 0);
}

// A random scene: two outer contours at one level, holes in the first, islands
// in some holes and a hole in one island; every ring in a random orientation.
std::vector<Ring> randomScene(std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto coin = [&]() { return unit(rng) < 0.5; };
  std::vector<Ring> rings{wobbly(rng, 0, 0, 80, 100, 24, coin()),
                          wobbly(rng, 300, 0, 30, 40, 12, coin())};
  const int holes = 1 + static_cast<int>(unit(rng) * 3);
  for (int h = 0; h < holes; ++h) {
    const double a = 2.0 * M_PI * h / 3.0 + 0.3 * unit(rng);
    const double cx = 50 * std::cos(a), cy = 50 * std::sin(a);
    rings.push_back(wobbly(rng, cx, cy, 15, 20, 10, coin()));
    if (coin()) {
      rings.push_back(wobbly(rng, cx, cy, 6, 10, 8, coin()));
      if (coin()) rings.push_back(wobbly(rng, cx, cy, 2, 4, 5, coin()));
    }
  }
  return rings;
}

// Per node: outside its contour 1, in one of its holes 4, else 2.
int bruteForceNode(const Kont2d* node, const Vec2d& p) {
  if (!inside(ringOf(node), p)) return 1;
  for (const Kont2d* h = node->firstHole; h != nullptr; h = h->next) {
    if (inside(ringOf(h), p)) return 4;
  }
  return 2;
}

TEST(Kont2d, ClassificationAgreesWithBruteForceOnRandomPoints) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> px(-120, 360), py(-120, 120);
  for (int scene = 0; scene < 20; ++scene) {
    const std::vector<Ring> rings = randomScene(rng);
    Tree t(rings);
    ASSERT_NE(t.root, nullptr);
    EXPECT_EQ(kontCheck(t.root, 3), 1);
    t.root->mesh = tripolyTriangulate(t.root);
    ASSERT_NE(t.root->mesh, nullptr) << "scene " << scene;
    for (int i = 0; i < 1000; ++i) {
      const Vec2d p{px(rng), py(rng)};
      // Material where an odd number of rings hold the point.
      int holding = 0;
      for (const Ring& r : rings) holding += inside(r, p) ? 1 : 0;
      bool material = false;
      for (const Kont2d* o : t.outers()) {
        const int c = kontClassifyPoint(o, &p);
        ASSERT_EQ(c, bruteForceNode(o, p)) << "scene " << scene << " point " << p.x << ", " << p.y;
        material = material || c == 2;
      }
      EXPECT_EQ(material, holding % 2 == 1);
    }
  }
}

TEST(Kont2d, PointOnTheOuterEdgeIsOutsideWhenTheMeshAnswers) {
  Tree t({rect(0, 0, 10, 10)});
  ASSERT_NE(t.root, nullptr);
  t.root->mesh = tripolyTriangulate(t.root);
  ASSERT_NE(t.root->mesh, nullptr);
  const Vec2d onEdge{5, 0};
  EXPECT_EQ(kontClassifyPoint(t.root, &onEdge), 1);
  const Vec2d in{5, 5};
  EXPECT_EQ(kontClassifyPoint(t.root, &in), 2);
  EXPECT_EQ(kontClassifyPoint(nullptr, &in), 0);
  EXPECT_EQ(kontClassifyPoint(t.root, nullptr), 0);
}

TEST(Kont2d, EmptyInputGivesNoTree) {
  EXPECT_EQ(kontFromChains(nullptr, nullptr, 0), nullptr);
  const Seg2* chains[1] = {nullptr};
  const int counts[1] = {0};
  EXPECT_EQ(kontFromChains(chains, counts, 1), nullptr);
}

}  // namespace
