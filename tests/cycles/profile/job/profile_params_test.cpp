#include "cycles/profile/job/profile_params.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cycle/cycle_descriptor.h"
#include "cycles/common3d/common3d_record.h"
#include "cycles/profile/job/job_record.h"
#include "cycles/profile/profile_cycle_descriptor.h"
#include "formats/settings/param_list.h"
#include "support/temp_dir.h"

namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

// Reads params as the profile cycle's settings (with the two keys every job
// must name) and copies them into a fresh job record.
class ProfParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profParams = ProfParams{};
    jobRecordReset();
  }
  void TearDown() override {
    paramListFree(ctx_.params);
    ctx_.params = nullptr;
    profParams = ProfParams{};
    jobRecordReset();
  }

  int read(const Params& params) {
    paramListFree(ctx_.params);
    ctx_.params = nullptr;
    ctx_.params = paramListSet(ctx_.params, "polySource", "m.stl", 21);
    ctx_.params = paramListSet(ctx_.params, "toolDiameter", "10", 21);
    for (const auto& [k, v] : params)
      ctx_.params = paramListSet(ctx_.params, k.c_str(), v.c_str(), 21);
    *cyc3dRecordOf(&ctx_) = Cyc3dRecord{};
    jobRecordReset();
    const int result = profReadParams(&ctx_);
    profJobFromParams(&ctx_);
    return result;
  }

  tsupport::ScopedWorkDir work_;
  CycleDescriptor ctx_{};
};

struct MappingRow {
  const char* name;
  Params params;
  bool (*check)(const JobRecord&);
};

TEST_F(ProfParamsTest, SettingsReachTheJobRecordAsTheJobFileWouldSetThem) {
  const MappingRow rows[] = {
      {"diameter becomes the radius", {}, [](const JobRecord& j) { return j.frradius == 5; }},
      {"standard Y",
       {{"strategy", "standardY"}},
       [](const JobRecord& j) { return j.bearbeitricht == 1; }},
      {"one way, climbing up",
       {{"cuttingLine", "oneWay"}, {"climbMode", "upWard"}},
       [](const JobRecord& j) { return j.lauf == 1 && j.aufstieg == 2; }},
      {"perpendicular lines run reversed",
       {{"strategy", "perpendicular"}},
       [](const JobRecord& j) { return j.bearbeitricht == 5 && j.invRicht == 1; }},
      {"perpendicular lines asked reversed run forward",
       {{"strategy", "perpendicular"}, {"reverseDirection", "true"}},
       [](const JobRecord& j) { return j.bearbeitricht == 5 && j.invRicht == 0; }},
      {"perpendicular with inverted infeed keeps the direction",
       {{"strategy", "perpendicular"}, {"infeedDirection", "true"}},
       [](const JobRecord& j) { return j.invRicht == 0 && j.invZust == 1; }},
      {"the depth counts down from the surface whatever its sign",
       {{"surface", "20"}, {"depth", "-21"}},
       [](const JobRecord& j) { return j.oberfl == 20 && j.tief == -1; }},
      {"taper height wins over tip length",
       {{"tipLength", "3"}, {"taperHeight", "5"}},
       [](const JobRecord& j) { return j.taperHeight == 5 && j.tipLength == 5; }},
      {"tip length alone",
       {{"tipLength", "3"}},
       [](const JobRecord& j) { return j.taperHeight == 3 && j.tipLength == 3; }},
      {"taper check and avoidance together",
       {{"considerTaperAngle", "true"}},
       [](const JobRecord& j) { return j.taperCheck == 1 && j.taperAvoid == 1; }},
      {"cross optimisation before",
       {{"crossOptimization", "before"}},
       [](const JobRecord& j) { return j.crossOpti == 2; }},
      {"scallop infeed",
       {{"infeedStrategy", "scallop"}, {"minScallopHeight", "0.02"}},
       [](const JobRecord& j) { return j.zustellArt == 2 && j.scalHeight == 0.02; }},
      {"sorted paths and trimmed macros",
       {{"sortToolpath", "true"}, {"macroAvoidance", "trim"}},
       [](const JobRecord& j) { return j.clipSort == 2 && j.macroAvoidance == 1; }},
      {"stepover",
       {{"infeedLength", "0.25"}},
       [](const JobRecord& j) { return j.horizustel == 0.25; }},
  };
  for (const MappingRow& row : rows) {
    profParams = ProfParams{};
    ASSERT_EQ(read(row.params), 1) << row.name;
    EXPECT_TRUE(row.check(jobRecord)) << row.name;
  }
}

TEST_F(ProfParamsTest, AnUnknownStrategyKeepsTheOneBefore) {
  ASSERT_EQ(read({{"strategy", "equidistant"}}), 1);
  ASSERT_EQ(read({{"strategy", "spiral"}}), 1);
  EXPECT_EQ(jobRecord.bearbeitricht, 3);
}

TEST_F(ProfParamsTest, AMissingRequiredKeyReadsNothingOfTheCycle) {
  ctx_.params = paramListSet(nullptr, "toolDiameter", "10", 21);
  ctx_.params = paramListSet(ctx_.params, "strategy", "standardY", 21);
  *cyc3dRecordOf(&ctx_) = Cyc3dRecord{};
  EXPECT_EQ(profReadParams(&ctx_), 0);
  EXPECT_EQ(profParams.strategy, 2);
}

TEST_F(ProfParamsTest, TheRetractPlaneNeverLiesAboveTheClearancePlane) {
  const struct {
    Params params;
    double retract;
  } rows[] = {
      {{{"clearancePlane", "50"}}, 50},
      {{{"clearancePlane", "50"}, {"retractPlane", "20"}}, 20},
      {{{"clearancePlane", "50"}, {"retractPlane", "80"}}, 50},
      {{{"clearancePlane", "50"}, {"retractPlane", "50"}}, 50},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(read(row.params), 1);
    EXPECT_EQ(profSetRetractPlane(&ctx_), 1);
    EXPECT_EQ(cyc3dRecordOf(&ctx_)->retractPlane, row.retract) << row.params.size();
  }
}

// The header of each run names the run's own cycle: a cross-optimised or
// slope job before does not leave its number behind.
TEST_F(ProfParamsTest, EachRunNamesItsOwnCycleNumber) {
  const struct {
    int16_t crossOpti, slopeMode;
    int32_t number;
  } rows[] = {{1, 0, kProfCycleNumberCross},
              {0, 0, kProfCycleNumber},
              {0, 1, kProfCycleNumberSlope},
              {2, 1, kProfCycleNumberSlope},
              {0, 0, kProfCycleNumber}};
  for (const auto& row : rows) {
    jobRecord.crossOpti = row.crossOpti;
    jobRecord.slopeMode = row.slopeMode;
    profSetRetractPlane(&ctx_);
    EXPECT_EQ(ctx_.cycleNumber, row.number) << row.crossOpti << " " << row.slopeMode;
  }
}

}  // namespace
