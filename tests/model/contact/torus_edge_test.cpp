#include "model/contact/torus_edge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "model/contact/torus_profile.h"

namespace {

// Both searches on one input: the same code and, when found, the same bits.
void expectSameAsPlainSearch(double r, double R, double h, double slope) {
  double plain = -7.0;
  double fast = -7.0;
  const int a = torusSlopeParam(&plain, r, R, h, slope);
  const int b = torusEdgeSlopeParam(&fast, r, R, h, slope);
  ASSERT_EQ(a, b) << "r " << r << " R " << R << " h " << h << " slope " << slope;
  EXPECT_EQ(0, std::memcmp(&plain, &fast, sizeof plain))
      << "r " << r << " R " << R << " h " << h << " slope " << slope << ": " << plain << " vs "
      << fast;
}

struct SlopeCase {
  const char* name;
  double r, R, h, slope;
};

class TorusEdgeCases : public ::testing::TestWithParam<SlopeCase> {};

TEST_P(TorusEdgeCases, MatchesThePlainSearchBitForBit) {
  const SlopeCase& c = GetParam();
  expectSameAsPlainSearch(c.r, c.R, c.h, c.slope);
}

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(Inputs, TorusEdgeCases,
                         ::testing::Values(SlopeCase{"gentle", 1.0, 2.0, 0.5, 0.3},
                                           SlopeCase{"steep", 1.0, 2.0, 0.5, 20.0},
                                           SlopeCase{"negative_slope", 1.0, 2.0, 0.5, -0.4},
                                           SlopeCase{"zero_slope", 1.0, 2.0, 1.0, 0.0},
                                           SlopeCase{"line_past_the_ring", 1.0, 2.0, 2.5, 0.7},
                                           SlopeCase{"line_grazing_the_rim", 1.0, 2.0, 2.999, 0.7},
                                           SlopeCase{"line_missing_the_tube", 1.0, 2.0, 3.0, 0.7},
                                           SlopeCase{"no_ring", 1.0, 0.0, 0.2, 0.5},
                                           SlopeCase{"nan_slope", 1.0, 2.0, 0.5, kNan},
                                           SlopeCase{"nan_offset", 1.0, 2.0, kNan, 0.5},
                                           SlopeCase{"infinite_slope", 1.0, 2.0, 0.5, kInf},
                                           SlopeCase{"infinite_radius", kInf, 2.0, 0.5, 0.5},
                                           SlopeCase{"zero_tube", 0.0, 2.0, 0.5, 0.5}),
                         [](const ::testing::TestParamInfo<SlopeCase>& info) {
                           return std::string(info.param.name);
                         });

// Random lines over tools from a fine corner to a corner as large as the
// ring, and slopes from level to nearly vertical: every answer and every
// refusal is that of the plain search.
TEST(TorusEdge, RandomLinesMatchThePlainSearchBitForBit) {
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int found = 0;
  for (int k = 0; k < 200000; ++k) {
    const double r = 0.05 + 5.0 * unit(rng);
    const double R = (k % 7 == 0) ? 0.0 : 8.0 * unit(rng);
    const double h = (r + R) * 1.05 * unit(rng);
    const double slope = (k % 5 == 0) ? -2.0 * unit(rng) : std::tan(1.55 * unit(rng));
    double plain = 0.0;
    if (torusSlopeParam(&plain, r, R, h, slope) == 0) ++found;
    expectSameAsPlainSearch(r, R, h, slope);
    if (::testing::Test::HasFailure()) return;
  }
  // The sweep reaches the search itself, not only its refusals.
  EXPECT_GT(found, 50000);
}

// Whenever the quick test says the search misses [lo, hi], the search gives
// no position there: over random lines and ranges, most of them near the
// answer (within a few of its tolerances), where the test must hold back.
TEST(TorusEdge, MissedRangesHoldNoAnswerOfTheSearch) {
  std::mt19937_64 rng(20261211);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int missed = 0;
  int missedNear = 0;
  for (int k = 0; k < 200000; ++k) {
    const double r = 0.05 + 5.0 * unit(rng);
    const double R = (k % 7 == 0) ? 0.0 : 8.0 * unit(rng);
    const double h = (r + R) * 1.05 * unit(rng);
    const double slope = std::tan(1.55 * unit(rng));
    double t = -1.0;
    const bool answered = torusEdgeSlopeParam(&t, r, R, h, slope) == 0;
    // A range about the answer (or anywhere), moved by up to five
    // tolerances or by up to the tube's whole reach.
    const double scale = (k % 2 == 0) ? 5.0 * kTorusEdgeSlopeTol : r + R;
    const double centre = (answered ? t : (r + R) * unit(rng)) + scale * (2.0 * unit(rng) - 1.0);
    const double half = scale * unit(rng);
    const double lo = centre - half;
    const double hi = centre + half;
    if (!torusEdgeSlopeMisses(r, R, h, slope, lo, hi)) continue;
    ++missed;
    if (k % 2 == 0 && answered) ++missedNear;
    if (answered) {
      ASSERT_TRUE(t < lo || t > hi) << "r " << r << " R " << R << " h " << h << " slope " << slope
                                    << " answer " << t << " in [" << lo << ", " << hi << "]";
    }
  }
  // The test settles many ranges, also close to the answer.
  EXPECT_GT(missed, 50000);
  EXPECT_GT(missedNear, 5000);
}

}  // namespace
