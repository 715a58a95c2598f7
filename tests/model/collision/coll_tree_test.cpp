#include "model/collision/coll_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "geometry/errors/error_state.h"

namespace {

using P3 = std::array<double, 3>;

FloatTri ftri(const P3& a, const P3& b, const P3& c) {
  FloatTri t;
  for (int k = 0; k < 3; ++k) {
    t.v[0][k] = static_cast<float>(a[k]);
    t.v[1][k] = static_cast<float>(b[k]);
    t.v[2][k] = static_cast<float>(c[k]);
  }
  return t;
}

struct MeshDeleter {
  void operator()(FloatTriList* l) const { listFloatTriFree(l); }
};
struct TreeDeleter {
  void operator()(CollTree* t) const { collTreeFree(t); }
};
using MeshPtr = std::unique_ptr<FloatTriList, MeshDeleter>;
using TreePtr = std::unique_ptr<CollTree, TreeDeleter>;

MeshPtr mesh(const std::vector<FloatTri>& tris) {
  MeshPtr m(listFloatTriNew(static_cast<int>(tris.size())));
  for (const FloatTri& t : tris) listFloatTriAppend(m.get(), &t);
  return m;
}

void toDoubles(const FloatTri& t, double out[9]) { triFloatToDouble(out, &t); }

// ---- Node slots and tree shape -------------------------------------------------

TEST(CollTreeTest, NodeSlotsFollowThePairingLevels) {
  const std::pair<int, int> rows[] = {{1, 2}, {2, 3}, {3, 6}, {4, 7}, {5, 11}, {8, 15}};
  for (const auto& [n, slots] : rows) EXPECT_EQ(collTreeNodeSlots(n), slots) << n;
  EXPECT_EQ(collTreeNodeSlots(0), -1);
  EXPECT_EQ(collTreeNodeSlots(2000000000), -1);
}

TEST(CollTreeTest, OneTriangleIsItsOwnRoot) {
  MeshPtr m = mesh({ftri({0, 0, 0}, {1, 0, 0}, {0, 1, 2})});
  TreePtr t(collTreeBuild(m.get()));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->nodeCount, 2);
  EXPECT_EQ(t->root, &t->nodes[0]);
  EXPECT_EQ(t->root->first, nullptr);
  EXPECT_EQ(t->root->triangle, 0);
  const float box[6] = {0, 0, 0, 1, 1, 2};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(t->root->box[k], box[k]);
}

TEST(CollTreeTest, ThreeTrianglesPairInListOrder) {
  MeshPtr m = mesh({ftri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), ftri({5, 0, 0}, {6, 0, 0}, {5, 1, 1}),
                    ftri({-3, -3, -3}, {-2, -3, -3}, {-3, -2, -3})});
  TreePtr t(collTreeBuild(m.get()));
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->nodeCount, 6);
  CollTreeNode* n = t->nodes;
  EXPECT_EQ(n[3].first, &n[0]);
  EXPECT_EQ(n[3].second, &n[1]);
  EXPECT_EQ(n[4].first, &n[2]);
  EXPECT_EQ(n[4].second, nullptr);
  EXPECT_EQ(t->root, &n[5]);
  EXPECT_EQ(n[5].first, &n[3]);
  EXPECT_EQ(n[5].second, &n[4]);
  const float pairBox[6] = {0, 0, 0, 6, 1, 1};
  const float rootBox[6] = {-3, -3, -3, 6, 1, 1};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(n[3].box[k], pairBox[k]);
    EXPECT_EQ(n[4].box[k], n[2].box[k]);
    EXPECT_EQ(n[5].box[k], rootBox[k]);
  }
}

TEST(CollTreeTest, MissingOrEmptyMeshGivesNoTree) {
  EXPECT_EQ(collTreeBuild(nullptr), nullptr);
  MeshPtr empty = mesh({});
  EXPECT_EQ(collTreeBuild(empty.get()), nullptr);
  EXPECT_EQ(vyrErrGetCode(), 0);
  EXPECT_EQ(collTreeSetOffset(nullptr, 1, 2, 3), nullptr);
  EXPECT_EQ(collTreeCollide(nullptr, nullptr, 0, nullptr), 0);
}

// ---- The triangle test on the degenerate corpus -----------------------------------

struct TouchRow {
  const char* name;
  P3 p[3];
  P3 q[3];
  int touch;
};

class CollTriTouchTable : public ::testing::TestWithParam<TouchRow> {};

TEST_P(CollTriTouchTable, AgreesBothWays) {
  const TouchRow& r = GetParam();
  double p[9], q[9];
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) {
      p[3 * i + k] = r.p[i][k];
      q[3 * i + k] = r.q[i][k];
    }
  }
  EXPECT_EQ(collTriTouch(p, q), r.touch);
  EXPECT_EQ(collTriTouch(q, p), r.touch);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, CollTriTouchTable,
    ::testing::Values(
        TouchRow{"SharedVertex", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 0}, {-1, 0, 1}, {0, -1, 1}}, 1},
        TouchRow{"SharedEdge", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 0}, {1, 0, 0}, {0, -1, 1}}, 1},
        TouchRow{"CoplanarSharedEdge", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 0}, {1, 0, 0}, {0, -1, 0}}, 1},
        TouchRow{"VertexOnFace", {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {{1, 1, 0}, {1, 1, 3}, {2, 1, 3}}, 1},
        TouchRow{"FaceOnFace", {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {{1, 1, 0}, {2, 1, 0}, {1, 2, 0}}, 1},
        TouchRow{"Crossing", {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {{1, 1, -1}, {1, 1, 1}, {2, 1, 1}}, 1},
        TouchRow{"JustAbove", {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {{1, 1, 0.001}, {1, 1, 3}, {2, 1, 3}}, 0},
        TouchRow{"Parallel", {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, {{0, 0, 1}, {4, 0, 1}, {0, 4, 1}}, 0},
        TouchRow{"CoplanarApart", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0.6, 0.6, 0}, {2, 0.6, 0}, {0.6, 2, 0}}, 0},
        TouchRow{"SegmentThroughTriangle", {{1, 1, -1}, {1, 1, 1}, {1, 1, 1}}, {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, 1},
        TouchRow{"SegmentBesideTriangle", {{5, 5, -1}, {5, 5, 1}, {5, 5, 1}}, {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, 0},
        TouchRow{"TwoCrossingSegments", {{-1, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {{0, -1, 0}, {0, 1, 0}, {0, 1, 0}}, 0},
        TouchRow{"PointOnTriangle", {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}}, {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, 0},
        TouchRow{"NearlyEqualVerticesAreOne", {{1, 1, -1}, {1, 1, 1}, {1.000001, 1, 1}}, {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Independent oracle: edges through triangles ----------------------------------

// Does segment a-b meet triangle t (non-coplanar case), by signed volumes.
bool segmentHitsTriangle(const double* a, const double* b, const double* t) {
  auto orient = [](const double* p, const double* q, const double* r, const double* s) {
    const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double v[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
    const double w[3] = {s[0] - p[0], s[1] - p[1], s[2] - p[2]};
    return u[0] * (v[1] * w[2] - v[2] * w[1]) - u[1] * (v[0] * w[2] - v[2] * w[0]) +
           u[2] * (v[0] * w[1] - v[1] * w[0]);
  };
  const double* t0 = t;
  const double* t1 = t + 3;
  const double* t2 = t + 6;
  const double da = orient(t0, t1, t2, a), db = orient(t0, t1, t2, b);
  if ((da > 0 && db > 0) || (da < 0 && db < 0)) return false;
  const double s0 = orient(a, b, t0, t1), s1 = orient(a, b, t1, t2), s2 = orient(a, b, t2, t0);
  return (s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0);
}

bool trianglesMeet(const double* p, const double* q) {
  for (int e = 0; e < 3; ++e) {
    if (segmentHitsTriangle(p + 3 * e, p + 3 * ((e + 1) % 3), q)) return true;
    if (segmentHitsTriangle(q + 3 * e, q + 3 * ((e + 1) % 3), p)) return true;
  }
  return false;
}

TEST(CollTriTouchTest, AgreesWithEdgeCrossingsOnRandomTriangles) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int touching = 0;
  for (int i = 0; i < 20000; ++i) {
    double p[9], q[9];
    for (double& v : p) v = u(rng);
    for (double& v : q) v = u(rng) + 0.5;
    const int expected = trianglesMeet(p, q) ? 1 : 0;
    touching += expected;
    ASSERT_EQ(collTriTouch(p, q), expected) << "case " << i;
  }
  EXPECT_GT(touching, 1000);  // both outcomes are well represented
  EXPECT_LT(touching, 19000);
}

// ---- Trees against brute force -----------------------------------------------------

// Random small triangles in a cube; coordinates on a 1/1024 grid so that
// translations by multiples of 1/8 stay exact in float and double.
std::vector<FloatTri> randomTriangles(std::mt19937& rng, int n, double size, double spread) {
  std::uniform_int_distribution<int> centre(0, static_cast<int>(spread * 1024));
  std::uniform_int_distribution<int> off(-static_cast<int>(size * 1024), static_cast<int>(size * 1024));
  std::vector<FloatTri> tris;
  for (int i = 0; i < n; ++i) {
    P3 c{centre(rng) / 1024.0, centre(rng) / 1024.0, centre(rng) / 1024.0};
    P3 v[3];
    for (P3& p : v) {
      for (int k = 0; k < 3; ++k) p[k] = c[k] + off(rng) / 1024.0;
    }
    tris.push_back(ftri(v[0], v[1], v[2]));
  }
  return tris;
}

std::set<std::pair<int, int>> bruteForcePairs(const std::vector<FloatTri>& a, const P3& offA,
                                              const std::vector<FloatTri>& b, const P3& offB) {
  std::set<std::pair<int, int>> pairs;
  for (std::size_t i = 0; i < a.size(); ++i) {
    double p[9];
    toDoubles(a[i], p);
    for (int k = 0; k < 9; ++k) p[k] += offA[k % 3];
    for (std::size_t j = 0; j < b.size(); ++j) {
      double q[9];
      toDoubles(b[j], q);
      for (int k = 0; k < 9; ++k) q[k] += offB[k % 3];
      if (collTriTouch(p, q) != 0) pairs.insert({static_cast<int>(i), static_cast<int>(j)});
    }
  }
  return pairs;
}

TEST(CollTreeTest, AgreesWithBruteForceOnRandomMeshes) {
  std::mt19937 rng(2024);
  int colliding = 0;
  for (int round = 0; round < 60; ++round) {
    const int na = 1 + round % 37;
    const int nb = 1 + (round * 7) % 53;
    const std::vector<FloatTri> ta = randomTriangles(rng, na, 0.5, 4.0);
    const std::vector<FloatTri> tb = randomTriangles(rng, nb, 0.5, 4.0);
    const P3 offA{0.0, 0.0, 0.0};
    const P3 offB{(round % 5) * 0.125, -(round % 3) * 0.25, 0.5};
    MeshPtr ma = mesh(ta), mb = mesh(tb);
    TreePtr a(collTreeBuild(ma.get())), b(collTreeBuild(mb.get()));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    collTreeSetOffset(b.get(), static_cast<float>(offB[0]), static_cast<float>(offB[1]),
                      static_cast<float>(offB[2]));
    const std::set<std::pair<int, int>> expected = bruteForcePairs(ta, offA, tb, offB);
    colliding += expected.empty() ? 0 : 1;
    EXPECT_EQ(collTreeCollide(a.get(), b.get(), 0, nullptr), expected.empty() ? 0 : 1)
        << "round " << round;

    std::unique_ptr<IntPairList, void (*)(IntPairList*)> list(listIntPairNew(4), itemArrayFree);
    EXPECT_EQ(collTreeCollide(a.get(), b.get(), 1, list.get()), expected.empty() ? 0 : 1);
    std::set<std::pair<int, int>> got;
    for (int i = 0; i < list->count; ++i) got.insert({list->items[i].first, list->items[i].second});
    EXPECT_EQ(got, expected) << "round " << round;
    EXPECT_EQ(static_cast<std::size_t>(list->count), expected.size());  // each pair once
  }
  EXPECT_GT(colliding, 10);
  EXPECT_LT(colliding, 55);
}

TEST(CollTreeTest, OffsetEqualsMovedMesh) {
  std::mt19937 rng(77);
  for (int round = 0; round < 40; ++round) {
    const std::vector<FloatTri> ta = randomTriangles(rng, 25, 0.75, 3.0);
    std::vector<FloatTri> tb = randomTriangles(rng, 25, 0.75, 3.0);
    const float d[3] = {0.375f * static_cast<float>(round % 4), -0.5f, 0.125f * static_cast<float>(round % 7)};
    std::vector<FloatTri> moved = tb;
    for (FloatTri& t : moved) {
      for (auto& v : t.v) {
        for (int k = 0; k < 3; ++k) v[k] += d[k];
      }
    }
    MeshPtr ma = mesh(ta), mb = mesh(tb), mm = mesh(moved);
    TreePtr a(collTreeBuild(ma.get())), b(collTreeBuild(mb.get())), m(collTreeBuild(mm.get()));
    CollTree shifted = *b;  // a private copy of the record shares the nodes
    collTreeSetOffset(&shifted, d[0], d[1], d[2]);
    EXPECT_EQ(collTreeCollide(a.get(), &shifted, 0, nullptr),
              collTreeCollide(a.get(), m.get(), 0, nullptr));
    EXPECT_EQ(collTreeCollide(&shifted, a.get(), 0, nullptr),
              collTreeCollide(m.get(), a.get(), 0, nullptr));
    EXPECT_EQ(b->offset[0], 0.0f);  // the shared tree is not moved
  }
}

TEST(CollTreeTest, BoxesTouchingAtAFaceAreWalkedOn) {
  // Two unit squares (two triangles each) in the planes x = 1 and x = 1 from
  // two meshes whose boxes meet only in that plane.
  MeshPtr left = mesh({ftri({0, 0, 0}, {1, 0, 0}, {1, 1, 1}), ftri({0, 0, 0}, {1, 1, 1}, {0, 1, 0})});
  MeshPtr right = mesh({ftri({1, 0.25, 0.25}, {2, 0.25, 0.25}, {2, 0.75, 0.75}),
                        ftri({1, 0.5, 0.5}, {2, 0, 1}, {2, 1, 0})});
  TreePtr a(collTreeBuild(left.get())), b(collTreeBuild(right.get()));
  EXPECT_EQ(collTreeCollide(a.get(), b.get(), 0, nullptr), 1);
  collTreeSetOffset(b.get(), 0.001f, 0, 0);
  EXPECT_EQ(collTreeCollide(a.get(), b.get(), 0, nullptr), 0);
}

TEST(CollTreeTest, FirstPairModeStopsAtOnePair) {
  // Every triangle of a crosses every triangle of b.
  std::vector<FloatTri> ta, tb;
  for (int i = 0; i < 6; ++i) {
    const double z = 0.1 * i;
    ta.push_back(ftri({-5, -5, z}, {5, -5, z}, {0, 5, z}));
    const double x = -0.5 + 0.2 * i;
    tb.push_back(ftri({x, 0, -5}, {x, 0, 5}, {x, 1, 5}));
  }
  MeshPtr ma = mesh(ta), mb = mesh(tb);
  TreePtr a(collTreeBuild(ma.get())), b(collTreeBuild(mb.get()));
  EXPECT_EQ(collTreeCollide(a.get(), b.get(), 0, nullptr), 1);
  std::unique_ptr<IntPairList, void (*)(IntPairList*)> list(listIntPairNew(4), itemArrayFree);
  EXPECT_EQ(collTreeCollide(a.get(), b.get(), 0, list.get()), 1);
  EXPECT_EQ(list->count, 1);
  list->count = 0;
  EXPECT_EQ(collTreeCollide(a.get(), b.get(), 1, list.get()), 1);
  EXPECT_EQ(list->count, 36);
  // All pairs asked for without a list: the first pair ends the walk, still 1.
  EXPECT_EQ(collTreeCollide(a.get(), b.get(), 1, nullptr), 1);
}

}  // namespace
