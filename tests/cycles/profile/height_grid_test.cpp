#include "cycles/profile/height_grid.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model/contact/contact_settings.h"
#include "support/test_models.h"

namespace {

TEST(HeightGrid, RowsAndColumnsCoverTheBox) {
  const struct {
    double cell;
    Vec3d lo, hi;
    int rows, columns;
  } rows[] = {
      {1, {0, 0, 0}, {10, 5, 1}, 6, 11}, {0.3, {0, 0, 0}, {1, 1, 1}, 4, 4},
      {2, {5, 5, 0}, {5, 5, 0}, 1, 1},  // a point
      {0, {0, 0, 0}, {10, 10, 0}, 0, 0}, {0.000001, {0, 0, 0}, {10, 10, 0}, 0, 0},
  };
  for (const auto& row : rows) {
    HeightGrid* g = heightGridNew(row.cell, row.lo, row.hi);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->rows, row.rows) << row.cell;
    EXPECT_EQ(g->columns, row.columns) << row.cell;
    EXPECT_EQ(g->defaultHeight, -10000);
    heightGridFree(g);
  }
  // A box far too large for its cell is refused, not allocated.
  EXPECT_EQ(heightGridNew(0.001, {0, 0, 0}, {1e6, 1e6, 0}), nullptr);
}

// Over the roof (ridge z 10 at x 20, z = 10 - 0.5 |x - 20|) every grid
// point gets the surface height under it; points beside the roof get the
// floor the drop reports there.
TEST(HeightGrid, FillTakesTheSurfaceHeightUnderEachPoint) {
  contactSettingsReset();
  testmodels::TestModel roof(
      testmodels::heightField([](double x, double) { return 10 - 0.5 * std::fabs(x - 20); }, 0, 40,
                              0, 40, 8, 8),
      kModelKindFacets, testmodels::ballTool(3));
  roof.buildGrid();
  ModelRec* m = roof.model();
  m->floorZ = -5;
  HeightGrid* g = heightGridNew(2.5, {0, 0, 0}, {50, 40, 0});
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(heightGridFill(g, m), 1);
  EXPECT_EQ(g->defaultHeight, -5);
  for (int i = 0; i < g->rows; ++i) {
    for (int j = 0; j < g->columns; ++j) {
      const double x = j * 2.5;
      const double want = x <= 40 ? 10 - 0.5 * std::fabs(x - 20) : -5;
      EXPECT_NEAR(g->rowHeights[i][j], want, 1e-6) << i << " " << j;
    }
  }
  // The point tool is only lent to the fill.
  ToolShape t{};
  EXPECT_EQ(contactGetToolOverride(&t), 0);
  heightGridFree(g);
  heightGridFree(nullptr);
}

}  // namespace
