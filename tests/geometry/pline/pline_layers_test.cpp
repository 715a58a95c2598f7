#include "geometry/pline/pline_layers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/test_plines.h"

namespace {

using tsupport::PlinePtr;
using tsupport::plineThrough;

struct LayerRow {
  const char* name;
  double total;
  double step;
  int endFlag;
  std::vector<double> positions;
};

class PlineLayerSetNewTest : public ::testing::TestWithParam<LayerRow> {};

TEST_P(PlineLayerSetNewTest, Positions) {
  const LayerRow& row = GetParam();
  PlineLayerSet* set = plineLayerSetNew(row.total, row.step, 0, row.endFlag, 0, 1);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->count, static_cast<int>(row.positions.size()));
  EXPECT_EQ(set->used, set->count);
  for (int j = 0; j < set->count; ++j) {
    EXPECT_NEAR(set->layers[j].position, row.positions[j], 1e-12) << j;
    ASSERT_NE(set->layers[j].line, nullptr);
    EXPECT_NE(set->layers[j].line->axes, nullptr);
    EXPECT_EQ(set->layers[j].length, 0);
  }
  EXPECT_EQ(set->userValueB, 1);
  EXPECT_EQ(plineLayerSetMaxLength(set), 0);
  plineLayerSetFree(set);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlineLayerSetNewTest,
    ::testing::Values(LayerRow{"OddCount", 10, 2, 0, {0, 2, 4, 6, 8, 10}},
                      LayerRow{"OddCountEndLayer", 10, 2, 1, {0, 2, 4, 6, 8, 10, 10}},
                      LayerRow{"EvenCount", 10, 2.5, 0, {0, 2, 4, 6, 8, 10}},
                      LayerRow{"TinyStepIsOne", 3, 0.000001, 0, {0, 1, 2, 3}},
                      LayerRow{"ZeroTotal", 0, 1, 0, {0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlineLayerSetNew, BadQuotientsGiveNoSet) {
  EXPECT_EQ(plineLayerSetNew(-10, 2, 0, 0, 0, 1), nullptr);
  EXPECT_EQ(plineLayerSetNew(10, -2, 0, 0, 0, 1), nullptr);
  EXPECT_EQ(plineLayerSetNew(1e300, 1, 0, 0, 0, 1), nullptr);
  EXPECT_EQ(plineLayerSetNew(std::nan(""), 1, 0, 0, 0, 1), nullptr);
  EXPECT_EQ(plineLayerSetNew(INFINITY, 1, 0, 0, 0, 1), nullptr);
  plineLayerSetFree(nullptr);
}

TEST(PlineLayerSet, MaxLength) {
  PlineLayerSet* set = plineLayerSetNew(4, 2, 0, 0, 0, 1);
  set->layers[1].length = 3;
  set->layers[2].length = 7;
  plineFree(set->layers[2].line);
  set->layers[2].line = nullptr;  // a layer without a line does not count
  EXPECT_EQ(plineLayerSetMaxLength(set), 3);
  plineLayerSetFree(set);
}

TEST(PlineDistanceNearParam, Cases) {
  PlinePtr line = plineThrough({{0, 0, 0}, {10, 0, 5}, {20, 0, 0}});  // params 0, 1, 2
  const Vec3d p{9, 3, 100};
  EXPECT_EQ(plineDistanceNearParam(0.5, &p, nullptr), kPlineLayerFarDistance);
  EXPECT_EQ(plineDistanceNearParam(-0.1, &p, line.get()), kPlineLayerFarDistance);
  EXPECT_NEAR(plineDistanceNearParam(0.5, &p, line.get()), std::hypot(1, 3), 1e-12);
  EXPECT_NEAR(plineDistanceNearParam(3, &p, line.get()), std::hypot(11, 3), 1e-12);
  EXPECT_NEAR(plineDistanceNearParam(2, &p, line.get()), std::hypot(1, 3), 1e-12);
}

// Cross lines at positions 0, 1, 2 along the guide, each a straight line
// across the width 10 (parameter = x), spread over the layers at 0, 5, 10
// (total 10, step 5): layer j collects the points x = 5 j.
TEST(PlineLayerSetAddLine, SpreadsCrossLinesOverTheLayers) {
  PlineLayerSet* set = plineLayerSetNew(10, 5, 0, 0, 0, 1);
  ASSERT_EQ(set->count, 4);  // n = 2, d = 4: layers at 0, 10/3, 20/3, 10
  for (int k = 0; k < 3; ++k) {
    PlineLayer cross{double(k), 0, nullptr};
    PlinePtr line = plineThrough({{0, double(k), 0}, {10, double(k), 0}});
    line->params[1] = 10;
    cross.line = line.get();
    EXPECT_EQ(plineLayerSetAddLine(set, &cross, 0, 0, 0), k);
  }
  for (int j = 0; j < 4; ++j) {
    const Pline* l = set->layers[j].line;
    ASSERT_EQ(l->count, 3);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(l->points[k].x, 10.0 * j / 3, 1e-9);
      EXPECT_EQ(l->points[k].y, k);
      EXPECT_EQ(l->params[k], k);
      EXPECT_EQ(l->axes[k].x, l->points[k].x);
    }
  }
  // Within the tolerance of what a layer holds: nothing is added.
  PlinePtr again = plineThrough({{0, 2.0001, 0}, {10, 2.0001, 0}});
  again->params[1] = 10;
  PlineLayer cross{2, 0, again.get()};
  EXPECT_EQ(plineLayerSetAddLine(set, &cross, 0, 1, 0.01), -1);
  EXPECT_EQ(set->layers[1].line->count, 3);
  plineLayerSetFree(set);
}

TEST(PlineLayerSetAddLine, SetWithoutWidthFails) {
  PlineLayerSet* set = plineLayerSetNew(0, 1, 0, 0, 0, 1);
  PlinePtr line = plineThrough({{0, 0, 0}, {1, 0, 0}});
  PlineLayer cross{0, 0, line.get()};
  EXPECT_EQ(plineLayerSetAddLine(set, &cross, 0, 0, 0), -1);
  plineLayerSetFree(set);
}

}  // namespace
