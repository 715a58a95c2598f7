#include "boundaries/boundary_kont2d.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<Seg2> square(double x0, double y0, double size) {
  return {{x0, y0, x0 + size, y0},
          {x0 + size, y0, x0 + size, y0 + size},
          {x0 + size, y0 + size, x0, y0 + size},
          {x0, y0 + size, x0, y0}};
}

TEST(BoundaryKont2d, ChainAndHoleChainBecomeOneTree) {
  std::vector<Seg2> outer = square(0, 0, 100), island = square(10, 10, 20),
                    hole = square(60, 60, 10), second = square(200, 0, 10);
  BoundaryRec b[4] = {};
  BoundaryRec* recs[4] = {&b[0], &b[1], &b[2], &b[3]};
  std::vector<Seg2>* segs[4] = {&outer, &island, &hole, &second};
  for (int i = 0; i < 4; ++i) {
    recs[i]->segs = segs[i]->data();
    recs[i]->segCount = static_cast<int>(segs[i]->size());
  }
  b[0].next = &b[1];
  b[0].holes = &b[2];
  b[1].next = &b[3];
  Kont2d* tree = kontFromBoundary(&b[0]);
  ASSERT_NE(tree, nullptr);
  int outers = 0, holes = 0;
  for (const Kont2d* o = tree; o != nullptr; o = o->next) {
    ++outers;
    for (const Kont2d* h = o->firstHole; h != nullptr; h = h->next) ++holes;
  }
  EXPECT_EQ(outers, 2);
  EXPECT_EQ(holes, 2);
  const Vec2d inIsland{15, 15}, inHole{65, 65}, inMaterial{50, 50};
  EXPECT_EQ(kontClassifyPoint(tree, &inIsland), 4);
  EXPECT_EQ(kontClassifyPoint(tree, &inHole), 4);
  EXPECT_EQ(kontClassifyPoint(tree, &inMaterial), 2);
  kontFree(tree);

  EXPECT_EQ(kontFromBoundary(nullptr), nullptr);
  BoundaryRec empty{};
  EXPECT_EQ(kontFromBoundary(&empty), nullptr);
}

}  // namespace
