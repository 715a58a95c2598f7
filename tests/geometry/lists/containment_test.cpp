#include "geometry/lists/containment.h"

#include <gtest/gtest.h>

namespace {

TEST(NestDirectParent, ChainOfThreeAndGuards) {
  // Contour 2 in 1 in 0; contour 3 in 0 only.
  int data[16] = {0, 0, 0, 0,  //
                  1, 0, 0, 0,  //
                  1, 1, 0, 0,  //
                  1, 0, 0, 0};
  CountedArray m{4, data};
  EXPECT_EQ(pktNestDirectParent(&m, 2), 1);
  EXPECT_EQ(pktNestDirectParent(&m, 1), 0);
  EXPECT_EQ(pktNestDirectParent(&m, 3), 0);
  EXPECT_EQ(pktNestDirectParent(&m, 0), -1);
  EXPECT_EQ(pktNestDirectParent(&m, 4), -1);
  EXPECT_EQ(pktNestDirectParent(&m, -1), -1);
  EXPECT_EQ(pktNestDirectParent(nullptr, 0), -1);
  CountedArray empty{0, data};
  EXPECT_EQ(pktNestDirectParent(&empty, 0), -1);
  // Entries other than 1 (a matrix whose pairs are also marked -1) do not count.
  data[1] = -1;
  EXPECT_EQ(pktNestDirectParent(&m, 1), 0);
}

}  // namespace
