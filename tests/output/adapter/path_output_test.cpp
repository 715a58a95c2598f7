#include "output/adapter/path_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/number_format.h"
#include "formats/settings/param_list.h"
#include "geometry/frame/working_frame.h"
#include "output/adapter/output_adapter.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/record_capture.h"

namespace {

// One record in a compact text form: "10 aliasUse=FX", "31 L x1 y2 z3",
// "32 G1 x1 y2 z3", "12 5002", "0 NCmode=literal".
std::string brief(const CapturedRecord& r) {
  const int c = r.code;
  if (r.channel == 10 || r.channel == 0)
    return std::to_string(r.channel) + " " + r.name + "=" + r.value;
  if (c == kRecRapidAxes || c == kRecLineAxes || c == kRecNcRapidAxes || c == kRecNcLineAxes) {
    std::string s = std::to_string(r.channel) + " ";
    s += (c == kRecRapidAxes || c == kRecNcRapidAxes) ? "M" : "L";
    char buf[kNumTextSize];
    if (r.i32(kRecAxFlagX) == 1) s += std::string(" x") + numFormat(buf, r.f64(kRecAxX));
    if (r.i32(kRecAxFlagY) == 1) s += std::string(" y") + numFormat(buf, r.f64(kRecAxY));
    if (r.i32(kRecAxFlagZ) == 1) s += std::string(" z") + numFormat(buf, r.f64(kRecAxZ));
    return s;
  }
  if (c == kRecNcText) return "32 " + r.name;
  if (r.channel == 12) {
    return "12 " + std::to_string(c) + " " + std::to_string(r.i32(kRecMarkNumber)) + " " +
           r.text(kRecMarkName);
  }
  return std::to_string(r.channel) + " " + std::to_string(c);
}

class PathOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    outAdapterResetRun();
    frameReset();
    outSetContext(&cap_.ctx);
    outReset();
    CycleTechRecord t{};
    t.planeFeedrate = 1000;
    t.zFeedrate = 200;
    t.reducedFeedrate = 500;
    outCycleHeader(&t);
    outSetFeedReductionAngle(10);
    cap_.take();
  }
  void TearDown() override {
    outSetContext(nullptr);
    outAdapterResetRun();
    paramListFree(cap_.ctx.params);
    cap_.ctx.params = nullptr;
  }

  void point(double x, double y, double z, int kind = kPointFeed) {
    const Vec3d p{x, y, z};
    outPathPoint(&p, kind);
  }
  // Puts the move count at 2 with a known position (0, 0, 10).
  void startAt0010() {
    point(0, 0, 10, kPointRapid);
    point(0, 0, 10, kPointRapid);
    cap_.take();
  }
  std::vector<std::string> lines(std::initializer_list<int> channels = {0, 10, 12, 31}) {
    std::vector<std::string> out;
    for (const CapturedRecord& r : cap_.take()) {
      for (int ch : channels) {
        if (r.channel == ch) out.push_back(brief(r));
      }
    }
    return out;
  }
  using V = std::vector<std::string>;

  RecordCapture cap_{{0, 10, 12, 31, 32}};
};

TEST_F(PathOutputTest, FirstMovesWriteZThenXYThenChangedAxes) {
  point(1, 2, 50, kPointRapid);
  point(3, 4, 50, kPointRapid);
  point(3, 5, 50, kPointRapid);
  point(3, 5, 49, kPointFeed);
  EXPECT_EQ(lines({31, 32}), (V{"31 M z50", "32 M z50", "31 M x3 y4", "32 M x3 y4", "31 M y5",
                                "32 M y5", "31 L z49", "32 L z49"}));
}

TEST_F(PathOutputTest, AFeedPointThatDoesNotMoveIsDropped) {
  startAt0010();
  point(1, 0, 10);
  point(1.000005, 0, 10);
  EXPECT_EQ(lines({31}), (V{"31 L x1"}));
}

// Moves level, up and down around the tolerance of 1e-5: shorter ones are
// dropped, longer ones kept, whichever way they go.
TEST_F(PathOutputTest, FeedPointsShorterThanTheToleranceAreDroppedInEveryDirection) {
  const struct {
    double dx, dz;
    bool kept;
  } rows[] = {{0.9e-5, 0, false}, {1.1e-5, 0, true}, {0, 0.9e-5, false}, {0, 1.1e-5, true},
              {0.6e-5, 0.6e-5, false}, {0.8e-5, 0.8e-5, true}, {0, -0.9e-5, false},
              {0, -1.1e-5, true}, {1.9e-5, 0, true}, {0, 2.1e-5, true}};
  for (const auto& row : rows) {
    SetUp();
    startAt0010();
    point(1, 0, 10);
    point(1 + row.dx, 0, 10 + row.dz);
    EXPECT_EQ(lines({31}).size(), row.kept ? 2u : 1u) << row.dx << " " << row.dz;
  }
}

TEST_F(PathOutputTest, VerticalDescentUsesThePlungeFeedOnceThenBackToFX) {
  startAt0010();
  point(0, 0, 5);
  point(0, 0, 0);
  point(5, 0, 0);
  EXPECT_EQ(lines(), (V{"10 aliasUse=FZ", "10 tr=FZ", "31 L z5", "31 L z0", "10 aliasUse=FX",
                        "10 tr=FX", "31 L x5"}));
}

// After the reduced feed the normal feed is named by its own alias.
TEST_F(PathOutputTest, SteepDescentUsesTheReducedFeedAndReturnsToFX) {
  outSetFeedReductionAngle(50);
  startAt0010();
  point(10, 0, 0);
  point(20, 0, 0);
  EXPECT_EQ(lines(), (V{"10 aliasUse=reducedFeedrate", "10 tr=FX*0.5", "31 L x10 z0",
                        "10 aliasUse=FX", "10 tr=FX", "31 L x20"}));
}

// The angle is measured from the tool axis: a descent within it of the
// vertical is steep.
TEST_F(PathOutputTest, ReductionAngleDecidesWhatIsSteep) {
  const struct {
    double angle;
    bool reduced;
  } rows[] = {{10, false}, {44, false}, {46, true}, {90, true}};
  for (const auto& row : rows) {
    SetUp();
    outSetFeedReductionAngle(row.angle);
    startAt0010();
    point(10, 0, 0);  // a 45-degree descent
    const V got = lines({10});
    EXPECT_EQ(!got.empty(), row.reduced) << row.angle;
  }
}

TEST_F(PathOutputTest, ReducedFeedEqualToFXNeverSwitches) {
  CycleTechRecord t{};
  t.planeFeedrate = 1000;
  outCycleHeader(&t);
  cap_.take();
  startAt0010();
  point(10, 0, 0);
  EXPECT_EQ(lines(), (V{"31 L x10 z0"}));
}

TEST_F(PathOutputTest, ZeroNormalFeedNeverDivides) {
  CycleTechRecord t{};
  outCycleHeader(&t);
  startAt0010();
  outFeedSetStackMode(1);
  outFeedPush(250, 7);
  outFeedSetStackMode(0);
  point(1, 0, 10);
  EXPECT_EQ(lines(), (V{"10 aliasUse=clearanceFeedrate", "10 tr=FX", "31 L x1"}));
}

TEST_F(PathOutputTest, ForcedReducedFeedOnceAndHeld) {
  startAt0010();
  outFeedReducedOnce(1);
  point(1, 0, 10);
  point(2, 0, 10);
  outFeedReducedHold(1);
  point(3, 0, 10);
  point(4, 0, 10);
  outFeedReducedHold(0);
  point(5, 0, 10);
  EXPECT_EQ(lines(), (V{"10 aliasUse=reducedFeedrate", "10 tr=FX*0.5", "31 L x1", "10 aliasUse=FX",
                        "10 tr=FX", "31 L x2", "10 aliasUse=reducedFeedrate", "10 tr=FX*0.5",
                        "31 L x3", "31 L x4", "10 aliasUse=FX", "10 tr=FX", "31 L x5"}));
}

TEST_F(PathOutputTest, MacroFeedsSwitchAndAnnounceTheNormalFeedAgain) {
  outFeedSetMacroRates(300, 0, 400);
  startAt0010();
  outFeedApproach(1);
  point(1, 0, 0);  // steep, but the macro feed holds
  outFeedApproach(0);
  point(2, 0, 0);
  outFeedRetract(1);  // no retract feed: nothing
  outFeedInfeed(1);
  point(3, 0, 0);
  outFeedInfeed(0);
  point(4, 0, 0);
  EXPECT_EQ(lines(), (V{"10 aliasUse=approachFeedrate", "10 tr=FX*0.3", "31 L x1 z0",
                        "10 aliasUse=FX", "10 tr=FX", "31 L x2", "10 aliasUse=infeedFeedrate",
                        "10 tr=FX*0.4", "31 L x3", "10 aliasUse=FX", "10 tr=FX", "31 L x4"}));
}

TEST_F(PathOutputTest, HeldRapidIsWrittenBeforeTheNextPoint) {
  startAt0010();
  outPathContextBegin(kPathContextFinal);
  point(5, 5, 10, kPointRapid);
  EXPECT_TRUE(lines().empty());
  point(5, 5, 0);
  EXPECT_EQ(lines(), (V{"31 M x5 y5", "10 aliasUse=FZ", "10 tr=FZ", "31 L z0"}));
}

TEST_F(PathOutputTest, FinishWritesTheHeldRapidInALinkContextAndThePartEnd) {
  cap_.ctx.params = paramListSet(cap_.ctx.params, "ppJobID", "7", 0);
  startAt0010();
  outPathContextBegin(kPathContextFinal);
  point(5, 5, 10, kPointRapid);
  outFinish();
  EXPECT_EQ(lines(),
            (V{"12 5001 0 link", "31 M x5 y5", "12 5002 0 link", "12 5002 7 ", "12 5004 0 "}));
  EXPECT_EQ(outAdapterState().heldFlag, 0);
}

TEST_F(PathOutputTest, FinishWithoutPartNumberOrOutputCycle) {
  const char* const values[] = {"0", "-3", "x7", ""};
  for (const char* v : values) {
    cap_.ctx.params = paramListSet(cap_.ctx.params, "ppJobID", v, 0);
    outFinish();
    EXPECT_EQ(lines(), (V{"12 5004 0 "})) << v;
  }
  outSetContext(nullptr);
  outFinish();
  EXPECT_TRUE(lines().empty());
}

// The shift moves what is written, never the caller's point, and a point
// sent twice is shifted once each time.
TEST_F(PathOutputTest, ToolReferenceShiftAppliesToACopyOfThePoint) {
  outSetToolRefShift(2.5);
  startAt0010();
  const Vec3d p{1, 0, 0};
  outMoveRecord(&p, kPointFeed);
  outMoveRecord(&p, kPointFeed);
  EXPECT_EQ(p.z, 0.0);
  EXPECT_EQ(lines({31}), (V{"31 L x1 z2.5", "31 L"}));
}

TEST_F(PathOutputTest, TiltedToolAxisRestartsTheZFirstRule) {
  startAt0010();
  const Vec3d o{0, 0, 0}, x{1, 0, 0}, y{0, 0.6, 0.8}, z{0, -0.8, 0.6};
  const Vec3d ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1};
  frameSetNcSystem(&o, &ex, &ey, &ez);
  frameSetToolSystem(&o, &x, &y, &z);
  ASSERT_EQ(frameActivate(), 1);
  outReset();
  point(1, 2, 3, kPointRapid);
  point(1, 2, 3, kPointRapid);
  EXPECT_EQ(lines({31}), (V{"31 M z3", "31 M x1 y2"}));
  frameReset();
}

TEST_F(PathOutputTest, FeedStackModes) {
  outFeedSetStackMode(1);
  for (int i = 0; i < kFeedStackSize; ++i) ASSERT_EQ(outFeedPush(100 + i, 6), 1);
  EXPECT_EQ(outFeedPush(900, 6), -1) << "the 101st push";
  EXPECT_EQ(outAdapterState().feedCurrent, 199.0) << "a refused push changes nothing";
  for (int i = 0; i < kFeedStackSize; ++i) ASSERT_EQ(outFeedPop(), 1);
  EXPECT_EQ(outFeedPop(), -1);

  SetUp();
  startAt0010();
  outFeedSetStackMode(2);
  ASSERT_EQ(outFeedPush(300, 7), 1);
  point(1, 0, 10);  // stack mode 2: the pending change is forced out
  ASSERT_EQ(outFeedPop(), 1);
  point(2, 0, 10);
  EXPECT_EQ(lines(), (V{"10 aliasUse=clearanceFeedrate", "10 tr=FX*0.3", "31 L x1",
                        "10 aliasUse=FX", "10 tr=FX", "31 L x2"}));
}

TEST_F(PathOutputTest, NcBufferGrowsByAThousandPoints) {
  auto b = ncPointBufferNew(kNcBufferInitial);
  ASSERT_TRUE(b);
  for (int i = 0; i < 1001; ++i) {
    const Vec3d p{double(i), 0, 0};
    ASSERT_EQ(ncPointBufferAdd(b.get(), &p), 1);
  }
  EXPECT_EQ(b->capacity, 2000);
  EXPECT_EQ(b->count, 1001);
  EXPECT_EQ(b->items[1000].x, 1000.0);
  const Vec3d p{0, 0, 0};
  EXPECT_EQ(ncPointBufferAdd(nullptr, &p), -1);
  EXPECT_EQ(ncWriteSplineBlock(nullptr, 1), -1);
  EXPECT_EQ(ncWritePolyBlock(nullptr, 1), -1);
}

TEST_F(PathOutputTest, SplineFormatBuffersFeedMovesOfAnElement) {
  outSetNcFormat(kNcSpline);
  startAt0010();
  outSplineBegin();
  for (int i = 1; i <= 5; ++i) point(i, 0, 10);
  EXPECT_EQ(lines({32}), V{}) << "feed moves wait for the element's end";
  point(5, 0, 50, kPointRapid);
  const V nc = lines({0, 32});
  ASSERT_GE(nc.size(), 6u);
  EXPECT_EQ(V(nc.begin(), nc.begin() + 5),
            (V{"32 #D_SPLINE[0,1]", "32 #D_SPLINE[2,3]", "32 #D_SPLINE[4,5]", "32 #D_SPLINE[6,7]",
               "32 (------ DATA -----)"}))
      << "one spline block of the five points";
  EXPECT_EQ(std::count(nc.begin(), nc.end(), "32 (------ DATA -----)"), 1);
  EXPECT_EQ(nc.back(), "32 M z50");

  outSplineBegin();
  point(6, 0, 50);
  point(7, 0, 50);
  outSplineFlush();
  EXPECT_EQ(lines({0, 32}),
            (V{"0 NCmode=literal", "32 L x6 y0 z50", "32 L x7 y0 z50", "0 NCmode=standard"}));
}

TEST_F(PathOutputTest, SplineFormatWithoutBufferWritesEveryMove) {
  outSetNcFormat(kNcPoly);
  startAt0010();
  point(1, 0, 10);
  point(2, 0, 10);
  EXPECT_EQ(lines({32}), (V{"32 L x1", "32 L x2"}));
}

TEST_F(PathOutputTest, ResetKeepsMoveCountAndClearsPositionsAndFeeds) {
  startAt0010();
  outReset();
  const OutAdapterState& s = outAdapterState();
  EXPECT_EQ(s.moveCount, 2);
  EXPECT_EQ(s.lastX, 9876543.0);
  EXPECT_EQ(s.lastZ, -9876543.0);
  EXPECT_EQ(s.lastKind, -1);
  EXPECT_EQ(s.feedFX, 0.0);
  outAdapterResetRun();
  EXPECT_EQ(outAdapterState().moveCount, 0);
}

}  // namespace
