#include "boundaries/links/move_hooks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Seen {
  double x, y, z;
  int type;
};
std::vector<Seen> gMoves;
std::vector<int> gElements;
int gMoveResult = 0;

int recordMove(const double p[3], int type) {
  gMoves.push_back({p[0], p[1], p[2], type});
  return gMoveResult;
}

int recordElement(int code, double a, double b) {
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, 0.0);
  gElements.push_back(code);
  return 0;
}

class MoveHooksTest : public testing::Test {
 protected:
  void SetUp() override {
    gMoves.clear();
    gElements.clear();
    gMoveResult = 0;
    linkResetLastMove();
    linkSetMoveHooks(recordMove, nullptr, nullptr);
    linkSetElementHooks(33, recordElement, recordElement);
  }
  void TearDown() override {
    linkClearMoveHooks();
    linkSetElementHooks(0, nullptr, nullptr);
    linkResetLastMove();
  }
};

TEST_F(MoveHooksTest, RepeatFilterTable) {
  const struct {
    const char* name;
    double second[3];
    int firstType, secondType;
    size_t seen;
  } rows[] = {
      {"closer than the tolerance in every axis", {1.000009, 2.000009, 3.000009}, 1, 1, 1},
      {"one axis at the tolerance passes", {1.00001, 2, 3}, 1, 1, 2},
      {"rapid then feed to the same point", {1, 2, 3}, 0, 1, 1},
      {"feed then rapid to the same point", {1, 2, 3}, 1, 0, 1},
      {"no move never repeats", {1, 2, 3}, 1, -1, 2},
  };
  for (const auto& r : rows) {
    SetUp();
    const double first[3] = {1, 2, 3};
    EXPECT_EQ(linkEmitMove(first, r.firstType), 0);
    EXPECT_EQ(linkEmitMove(r.second, r.secondType), 0);
    EXPECT_EQ(gMoves.size(), r.seen) << r.name;
  }
}

TEST_F(MoveHooksTest, FirstMoveOfARunPassesEvenAtTheLoadPoint) {
  const double load[3] = {kMoveLoadX, kMoveLoadY, kMoveLoadZ};
  EXPECT_EQ(linkEmitMove(load, 1), 0);
  EXPECT_EQ(gMoves.size(), 1u);
  // The next run starts afresh: a move to where the last run ended passes.
  linkResetLastMove();
  EXPECT_EQ(linkEmitMove(load, 1), 0);
  EXPECT_EQ(gMoves.size(), 2u);
}

TEST_F(MoveHooksTest, FailedMoveIsMinusThreeAndStillCountsAsEmitted) {
  gMoveResult = -1;
  const double p[3] = {0, 0, 0};
  EXPECT_EQ(linkEmitMove(p, 1), -3);
  gMoveResult = 0;
  EXPECT_EQ(linkEmitMove(p, 1), 0);
  EXPECT_EQ(gMoves.size(), 1u);
}

TEST_F(MoveHooksTest, NearLastNeedsACheckAndAnEarlierMove) {
  const double p[3] = {0, 0, 0};
  const double q[3] = {0.5, 0, 0};
  EXPECT_EQ(linkIsNearLast(q, 1.0, 1), 0);  // no move yet
  linkEmitMove(p, 0);
  EXPECT_EQ(linkIsNearLast(q, 1.0, 1), 1);
  EXPECT_EQ(linkIsNearLast(q, 0.5, 1), 0);
  EXPECT_EQ(linkIsNearLast(q, 1.0, 0), 0);
}

TEST_F(MoveHooksTest, ElementMaskAndClearedHooks) {
  linkCallElementBegin(64);
  linkCallElementBegin(1);
  linkCallElementEnd(1);
  EXPECT_EQ(gElements, (std::vector<int>{1, 1}));
  linkClearMoveHooks();
  const double p[3] = {5, 5, 5};
  EXPECT_EQ(linkEmitMove(p, 1), 0);
  EXPECT_TRUE(gMoves.empty());
  double last[3];
  int type = -1;
  linkLastMove(last, &type);
  EXPECT_EQ(last[0], 5.0);
  EXPECT_EQ(type, 1);
  linkCallPieceBegin();  // empty slots are no-ops
  linkCallPieceEnd();
}

}  // namespace
