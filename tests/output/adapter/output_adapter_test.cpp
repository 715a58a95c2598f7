#include "output/adapter/output_adapter.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <string>
#include <vector>

#include "base/job_scale.h"
#include "base/number_format.h"
#include "cycle/cycle_setup.h"
#include "cycle/phase_runner.h"
#include "geometry/frame/working_frame.h"
#include "output/adapter/adapter_state.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/record_capture.h"
#include "support/test_cycle.h"

namespace {

using Sent = SentText;

// A capture context made the output cycle for the test's lifetime.
class AdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    outAdapterResetRun();
    frameReset();
    jobSetLengthScale(1.0);
    numSetPrecision(kNumDefaultPrecision);
    outSetContext(&cap_.ctx);
  }
  void TearDown() override {
    outSetContext(nullptr);
    outAdapterResetRun();
    frameReset();
    jobSetLengthScale(1.0);
  }

  std::vector<Sent> sent() {
    std::vector<Sent> out;
    for (const CapturedRecord& r : cap_.take()) out.push_back({r.channel, r.code, r.name, r.value});
    return out;
  }
  std::vector<CapturedRecord> raw() { return cap_.take(); }

  RecordCapture cap_{{0, 10, 12, 31, 32, 36, 41, 42}};
};

CycleTechRecord techRecord() {
  CycleTechRecord t{};
  t.toolNumber = 7;
  t.planeFeedrate = 1000;
  t.zFeedrate = 200;
  t.spindleSpeed = 8000;
  t.spindleRotation = 2;
  t.clearanceDistance = 4;
  t.retractPlane = 50;
  return t;
}

TEST_F(AdapterTest, CycleHeaderWritesPlanesAliasesSpindleAndFeedsInOrder) {
  jobSetLengthScale(2.0);
  outSetClearanceOffset(5);
  CycleTechRecord t = techRecord();
  t.reducedFeedrate = 0;  // no alias; FX serves as the reduced feed
  t.approachFeedrate = 300;
  t.fastRetractFeedrate = 5000;
  t.springPathSpindleSpeed = 9000;
  EXPECT_EQ(outCycleHeader(&t), 0);
  const std::vector<Sent> want = {
      {10, 301, "cycleFct", "qzCycle"},
      {10, 301, "arg", "F:clearancePlane:=30.0000"},
      {10, 301, "CPLANE", "30.0000"},
      {10, 301, "arg", "F:retractPlane:=25.0000"},
      {10, 301, "RPLANE", "25.0000"},
      {10, 301, "arg", "F:clearanceDistance:=2.0000"},
      {10, 301, "CDIST", "2.0000"},
      {10, 301, "T", "7"},
      {10, 301, "aliasDef", "FX,FX,1000,1"},
      {10, 301, "aliasDef", "FZ,FZ,200,1"},
      {10, 301, "aliasDef", "approachFeedrate,FX,300,1"},
      {10, 301, "aliasDef", "fastretractFeedrate,FX,5000,1"},
      {10, 301, "aliasDef", "S,S,8000,1"},
      {10, 301, "aliasDef", "springPathSpindleSpeed,S,9000,1"},
      {10, 301, "aliasUse", "S"},
      {10, 301, "S", "8000"},
      {10, 301, "SR", "counterClockwise"},
      {10, 301, "tr", "S"},
      {10, 301, "tr", "SR"},
      {10, 301, "FX", "1000"},
      {10, 301, "FZ", "200"},
      {10, 301, "aliasUse", "FX"},
      {10, 301, "tr", "FX"},
  };
  EXPECT_EQ(sent(), want);
  EXPECT_EQ(outAdapterState().feedReduced, 1000.0);
  EXPECT_EQ(outAdapterState().aliasIndex, 1);
}

TEST_F(AdapterTest, SpindleRotationTextsAndReducedFeedAlias) {
  const struct {
    int16_t rotation;
    const char* text;
  } rows[] = {{0, "none"}, {1, "clockwise"}, {2, "counterClockwise"}, {7, "clockwise"}};
  for (const auto& row : rows) {
    CycleTechRecord t = techRecord();
    t.spindleRotation = row.rotation;
    t.reducedFeedrate = 400;
    outCycleHeader(&t);
    bool sawSr = false, sawReduced = false;
    for (const Sent& s : sent()) {
      if (s.name == "SR") sawSr = s.value == row.text;
      if (s.value == "reducedFeedrate,FX,400,1") sawReduced = true;
    }
    EXPECT_TRUE(sawSr) << row.text;
    EXPECT_TRUE(sawReduced);
    EXPECT_EQ(outAdapterState().feedReduced, 400.0);
  }
}

TEST(AdapterAlgorithmName, ByOutputCycleId) {
  const struct {
    const char* id;
    const char* name;
  } rows[] = {{"qzProf", "profileFinishing"}, {"qzCCP", "qzCycle"}, {"qzCyc3d", "qzCycle"}};
  for (const auto& row : rows) {
    CycleDescriptor ctx{};
    ctx.id = row.id;
    outSetContext(&ctx);
    EXPECT_STREQ(outAlgorithmName(), row.name) << row.id;
  }
  outSetContext(nullptr);
  EXPECT_STREQ(outAlgorithmName(), "qzCycle");
}

TEST_F(AdapterTest, OnlyTheFirstLinkContextOfARunIsWritten) {
  outPathContextBegin(kPathContextLink);
  outPathContextEnd(kPathContextLink);
  outPathContextBegin(kPathContextLink);
  outPathContextEnd(kPathContextLink);
  outPathContextBegin(kPathContextCut);
  outPathContextEnd(kPathContextCut);
  outPathContextBegin(3);
  const std::vector<Sent> want = {
      {12, 5001, "", ""}, {12, 5002, "", ""}, {12, 5001, "", ""}, {12, 5002, "", ""}};
  const std::vector<CapturedRecord> got = raw();
  ASSERT_EQ(got.size(), want.size());
  const char* names[] = {"link", "link", "3dPath", "3dPath"};
  const char* usages[] = {"", "", "poly", "poly"};
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].code, want[i].code);
    EXPECT_EQ(got[i].i32(kRecMarkKind), 4);
    EXPECT_EQ(got[i].text(kRecMarkName), names[i]);
    EXPECT_EQ(got[i].text(kRecMarkUsage), usages[i]);
  }
}

TEST_F(AdapterTest, FinalContextHoldsRapidPointsUntilItEnds) {
  outPathContextBegin(kPathContextFinal);
  EXPECT_EQ(outAdapterState().holdRapid, 1);
  outPathContextEnd(kPathContextFinal);
  EXPECT_EQ(outAdapterState().holdRapid, 0);
  EXPECT_TRUE(sent().empty());
}

TEST_F(AdapterTest, MarkersAndContextsNeedAnOutputCycle) {
  outSetContext(nullptr);
  outMarkPath();
  outPathContextBegin(kPathContextLink);
  outPathContextEnd(kPathContextLink);
  EXPECT_EQ(outAdapterState().linkClosed, 0) << "a link context that was never written";
  outSetContext(&cap_.ctx);
  outMarkRapidUp();
  outMarkConnection();
  const std::vector<CapturedRecord> got = raw();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].i32(kRecMarkKind), 101);
  EXPECT_EQ(got[1].i32(kRecMarkKind), 121);
}

TEST_F(AdapterTest, CompensationRecords) {
  const Vec3d a{0, 0, 0}, b{0, 2, 5}, c{3, 4, 0}, near{1e-6, -1e-6, 9};
  outCompDirection(&a, &b, -1);
  outCompDirection(&a, &c, 1);
  outCompDirection(&a, &near, 1);
  outCompSide(0);
  outCompSide(1);
  outCompOff();
  const std::vector<Sent> want = {
      {10, 301, "CCdirX", "-1;0;1"},
      {10, 301, "CCdirX", "+1;0.6;0.8"},
      {10, 301, "CCX", "rightOfContour"},
      {10, 301, "tr", "CCX"},
      {10, 301, "CCX", "leftOfContour"},
      {10, 301, "tr", "CCX"},
      {10, 301, "tr", "CC0X"},
  };
  EXPECT_EQ(sent(), want);
}

TEST_F(AdapterTest, AuxPointsAndMacroArcs) {
  const Vec3d p{1, 2, 3};
  outAuxPathPoint(&p, 1);
  outAuxPathPoint(&p, 0);
  const MacroArcElement cw{0.0, 4, 5, 6, 7}, ccw{1.0, 4, 5, 6, 7};
  outMacroArc(&cw);
  outMacroArc(&ccw);
  const std::vector<CapturedRecord> got = raw();
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0].channel, 36);
  EXPECT_EQ(got[0].code, 3113);
  EXPECT_EQ(got[1].code, 3103);
  EXPECT_EQ(got[1].f64(kRecGeoZ), 3.0);
  EXPECT_EQ(got[2].code, 3121);
  EXPECT_EQ(got[2].i32(kRecGeoFlag), 1);
  EXPECT_EQ(got[3].code, 4008);
  EXPECT_EQ(got[4].i32(kRecGeoFlag), 0);
  EXPECT_EQ(got[5].code, 4009);
}

TEST_F(AdapterTest, DisplayPolylineMapsIntoTheNcSystem) {
  // NC system shifted by (10, 0, 0): NC coordinates are x - 10.
  const Vec3d origin{10, 0, 0}, ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1}, zero{0, 0, 0};
  frameSetNcSystem(&origin, &ex, &ey, &ez);
  frameSetToolSystem(&zero, &ex, &ey, &ez);
  ASSERT_EQ(frameActivate(), 1);
  const Vec3d pts[3] = {{11, 1, 1}, {12, 2, 2}, {13, 3, 3}};
  outDisplayPolyline(pts, 3, "d", nullptr, "u");
  outDisplayPolyline(pts, 0, "none", nullptr, nullptr);
  outDisplayMarker(&pts[2]);
  const std::vector<CapturedRecord> got = raw();
  const int codes[] = {3001, 3103, 3113, 3113, 3113, 3002, 7001};
  ASSERT_EQ(got.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(got[i].code, codes[i]) << i;
    EXPECT_EQ(got[i].channel, i < 6 ? 41 : 42);
  }
  EXPECT_EQ(got[0].value, "u[u]");
  EXPECT_EQ(got[1].f64(kRecGeoX), 1.0);
  EXPECT_EQ(got[4].f64(kRecGeoX), 3.0);
  EXPECT_EQ(got[6].f64(kRecDisplayPoint1), 3.0);
}

TEST_F(AdapterTest, DisplayPolylinesFromWorkerThreadsArriveWhole) {
  constexpr int kLines = 64;
  const Vec3d pts[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
#pragma omp parallel for num_threads(8) schedule(dynamic)
  for (int i = 0; i < kLines; ++i) outDisplayPolyline(pts, 4, "w", nullptr, nullptr);
  const std::vector<CapturedRecord> got = raw();
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kLines * 7));
  const int codes[] = {3001, 3103, 3113, 3113, 3113, 3113, 3002};
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].code, codes[i % 7]) << i;
}

// A run through the phase runner starts with the adapter as at load, so
// the link context closed by a first run is written again by the second.
TEST(AdapterRunReset, EveryRunStartsWithAFreshAdapter) {
  std::vector<int> kinds;
  tsupport::TestCycle cycle;
  cycle.setAction(kSlotInit, [](CycleDescriptor* ctx) {
    tsupport::registerQuietChannels(ctx, {0, 10});
    outRegisterChannel(
        ctx, 12, [](CycleDescriptor*, OutputRecord*) { return 1; }, nullptr, 1);
  });
  cycle.setAction(kSlotExecute, [&kinds](CycleDescriptor* ctx) {
    outAddListener(
        ctx, 12,
        [](CycleDescriptor*, OutputRecord* r, intptr_t user) {
          reinterpret_cast<std::vector<int>*>(user)->push_back(r->code);
          return 1;
        },
        reinterpret_cast<intptr_t>(&kinds), nullptr, 0);
    outSetContext(ctx);
    outPathContextBegin(kPathContextFinal);
    outPathContextBegin(kPathContextLink);
    outPathContextEnd(kPathContextLink);
    outSetContext(nullptr);
  });
  for (int run = 0; run < 2; ++run) {
    char arg[] = "-Sjob";
    char* argv[] = {arg};
    ASSERT_EQ(cycSetup(cycle.ctx(), argv, 1, 0), 1);
    EXPECT_EQ(cycRun(cycle.ctx()), 0);
    EXPECT_EQ(kinds, (std::vector<int>{5001, 5002})) << "run " << run;
    kinds.clear();
  }
  outAdapterResetRun();
}

}  // namespace
