#include "model/collision/holder_check.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "boundaries/macros/macro_rec.h"
#include "model/collision/holder_clearance.h"
#include "model/collision/holder_meshes.h"
#include "model/collision/tool_axis_collision.h"
#include "model/contact/contact_settings.h"
#include "support/message_capture.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

// ---- Codes as text: '0' a plain point, '2' a gap, 'X' a collision mark --------------

std::string codes(const Pline* pl) {
  std::string s;
  for (int i = 0; i < pl->count; ++i) {
    const int c = pointStatusCode(pl->status[i]);
    s += c == kPointSpecial ? 'X' : static_cast<char>('0' + c);
  }
  return s;
}

// A path along x at height z through the given xs (parameters = x), codes
// from text.
Pline* pathThrough(const std::vector<double>& xs, double z, const std::string& text = "") {
  Pline* pl = plineNew(static_cast<int>(xs.size()), 0);
  for (size_t i = 0; i < xs.size(); ++i) {
    const char c = i < text.size() ? text[i] : '0';
    const int code = c == 'X' ? kPointSpecial : c - '0';
    const Vec3d p{xs[i], 0.0, z};
    plineAppend(pl, xs[i], &p, pointStatusMake(kPointKindContact, code), nullptr, 0);
  }
  return pl;
}

std::vector<double> range(double from, double to, double step = 1.0) {
  std::vector<double> xs;
  for (double x = from; x <= to + 1e-9; x += step) xs.push_back(x);
  return xs;
}

// ---- Widening and closing ---------------------------------------------------------

struct WidenRow {
  const char* name;
  const char* before;
  double w;
  const char* after;
};

std::string widenName(const testing::TestParamInfo<WidenRow>& info) { return info.param.name; }

class WidenTable : public testing::TestWithParam<WidenRow> {};

TEST_P(WidenTable, MarksAfterWidening) {
  const WidenRow& row = GetParam();
  const std::string before = row.before;
  Pline* pl = pathThrough(range(0, static_cast<double>(before.size()) - 1), 0.0, before);
  holderWidenMarks(pl, row.w);
  EXPECT_EQ(codes(pl), row.after);
  plineFree(pl);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WidenTable,
    testing::Values(
        // Points 1 apart.
        WidenRow{"lone_free_point_between_marks", "0X0X0", 0.0, "0XXX0"},
        WidenRow{"free_point_between_mark_and_gap", "0X020", 0.0, "0XX20"},
        WidenRow{"no_length_no_walk", "000X000", 0.0, "000X000"},
        WidenRow{"walks_until_the_sum_exceeds_w", "0000X00000", 1.5, "00XXXXX000"},
        WidenRow{"end_run_shorter_than_w_closes", "000X000", 1.5, "0XXXXXX"},
        WidenRow{"gap_stops_a_walk_unmarked", "0020X0", 5.0, "002XXX"},
        WidenRow{"gap_is_never_marked", "X2000", 5.0, "X2XXX"},
        WidenRow{"no_mark_marks_the_end", "000000", 2.0, "00XXXX"},
        WidenRow{"walk_marks_the_point_past_w", "X000000X", 1.0, "XXX00XXX"},
        WidenRow{"run_shorter_than_w_between_zones", "X000000X", 1.6, "XXXXXXXX"},
        WidenRow{"free_run_before_the_first_zone_stays", "00000X", 0.5, "0000XX"}),
    widenName);

TEST(HolderCloseShortRuns, ClosesRunsShorterThanTheRadiusNextToACollisionZone) {
  struct Row {
    const char* before;
    double radius;
    const char* after;
  };
  const Row rows[] = {
      {"X00X0000", 2.5, "XXXX0000"},  // 1 long between zones; the open end is 3 long
      {"X00X00", 2.5, "XXXXXX"},      // from the first closed run on, the end run counts too
      {"00X00X", 0.5, "00X00X"},      // no run is shorter than 0.5
      {"2002", 2.5, "2002"},          // between gaps only: no collision zone
      {"0000", 10.0, "0000"},         // no neighbours at all
  };
  for (const Row& row : rows) {
    const std::string before = row.before;
    Pline* pl = pathThrough(range(0, static_cast<double>(before.size()) - 1), 0.0, before);
    holderCloseShortRuns(pl, row.radius);
    EXPECT_EQ(codes(pl), row.after) << row.before;
    plineFree(pl);
  }
}

// ---- The fixture: a plate with a wall, a tool with shank, holder and head ---------

// The wall stands from x = 10 to 20, 15 high, on a plate z = 0.  The tool: a
// ball of radius 3 with a cutting length of 6 and a shank of diameter 8,
// sticking out of the holder by stickOut; holder nose 20 wide and 10 long,
// body 40 wide and 10 long, then a head of 60 and 80.  With the clearance
// margin of 1, the nose starts stickOut - 4 above the ball centre, 22 wide.
class HolderCheckTest : public testing::Test {
 protected:
  void SetUp() override { build(12.0); }
  void TearDown() override {
    holderFreeModels();
    holderCheckReset();
    holderClearanceReset();
    contactSettingsReset();
    macroSetHolderCollided(0);
  }

  void build(double stickOut) {
    holderFreeModels();
    model_ = std::make_unique<TestModel>(testmodels::plateWithWall(60, 6, 10, 20, 15),
                                         kModelKindFacets, shankTool());
    model_->buildGrid();
    holderClearanceReset();
    HolderClearance c{};
    holderClearanceInit(&c, model_->tool(), 0.0, 10.0, 10.0, stickOut, 40.0, 20.0);
    holderClearanceAddHead(&c, 0.0, 60.0, 10.0, 80.0, 10.0);
    ASSERT_EQ(holderBuildDefault(model_->model(), &c, holderClearanceMargin(), 0.0), 1);
    holderCheckReset();
    contactSettingsReset();
    link_ = LinkParams{};
    link_.holderCollisionData = reinterpret_cast<HeightGrid*>(&gridStandIn_);
    link_.stepMax = 0.0;  // no point can go in the reduction
    link_.stepMin = 0.001;
  }

  static ToolShape shankTool() {
    ToolShape t = testmodels::ballTool(3);
    t.length = 6.0;
    t.shankDiameter = 8.0;
    return t;
  }

  ModelRec* model() { return model_->model(); }

  std::unique_ptr<TestModel> model_;
  LinkParams link_{};
  int gridStandIn_ = 0;
};

struct PositionRow {
  const char* name;
  Vec3d position;
  const char* status[4];  // modes 0, 2, 3, 4
};

class HolderCheckTable : public HolderCheckTest, public testing::WithParamInterface<PositionRow> {};

// The status a mode gives the last point of a three-point path that ends at
// the position (widening length 0).
std::string statusOf(int result, const Pline* pl, double lift) {
  if (result == kHolderCollision && pl->count == 2) return "cut";
  if (result == kHolderMarked && codes(pl) == "00X") return "marked";
  if (result == kHolderFree && codes(pl) == "000" && lift > 0.0) return "lifted";
  if (result == kHolderFree && codes(pl) == "000") return "free";
  return "unexpected " + std::to_string(result) + " " + codes(pl);
}

TEST_P(HolderCheckTable, StatusPerMode) {
  const PositionRow& row = GetParam();
  const int modes[4] = {kHolderModeCut, kHolderModeMarkRest, kHolderModeMarkPoints,
                        kHolderModeLift};
  const int saved = omp_get_max_threads();
  for (const int threads : {1, 8}) {
    omp_set_num_threads(threads);
    for (int run = 0; run < 2; ++run) {
      for (int m = 0; m < 4; ++m) {
        holderCheckReset();  // each mode as a run of its own
        Pline* pl = pathThrough({-40.0, -38.0, row.position.x}, 3.0);
        pl->points[2] = row.position;
        const int result = holderCheckPath(model(), &link_, pl, modes[m], 0.0);
        EXPECT_EQ(statusOf(result, pl, holderGetExtraLift()), row.status[m])
            << "mode " << modes[m] << " threads " << threads << " run " << run;
        plineFree(pl);
      }
    }
  }
  omp_set_num_threads(saved);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, HolderCheckTable,
    testing::Values(
        PositionRow{"far_from_the_wall", {-20, 0, 3}, {"free", "free", "free", "free"}},
        // The nose (radius 11, from 8 above the centre) reaches over the wall.
        PositionRow{"holder_at_the_wall", {3, 0, 3}, {"cut", "marked", "marked", "lifted"}},
        // Above the wall's top with the nose; the shank's disc (radius 4,
        // 6 above the centre) reaches the wall below its top.
        PositionRow{"shank_under_the_wall_top", {6.5, 0, 8}, {"cut", "marked", "marked", "cut"}},
        PositionRow{"holder_and_shank", {6.5, 0, 3}, {"cut", "marked", "marked", "cut"}}),
    [](const testing::TestParamInfo<PositionRow>& info) { return std::string(info.param.name); });

TEST_F(HolderCheckTest, ModeCutKeepsThePointsBeforeTheCollisionWithTheTailWidened) {
  const std::vector<double> xs = range(-30, 8);
  int k = -1;
  for (size_t i = 0; i < xs.size() && k < 0; ++i) {
    const Vec3d p{xs[i], 0, 3};
    if (holderMeshesCollideAt(&p) == kHolderCollision) k = static_cast<int>(i);
  }
  ASSERT_GT(k, 10);
  Pline* pl = pathThrough(xs, 3.0);
  EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeCutAlias, 3.5), kHolderCollision);
  ASSERT_EQ(pl->count, k);
  // The last point and the points before it up to the first one more than
  // 3.5 away from it.
  EXPECT_EQ(codes(pl), std::string(static_cast<size_t>(k - 5), '0') + "XXXXX");
  EXPECT_EQ(macroHolderCollided(), 1);
  Vec3d hit;
  ASSERT_EQ(holderGetFirstCollision(&hit), 1);
  EXPECT_EQ(hit.x, xs[static_cast<size_t>(k)]);
  EXPECT_EQ(hit.z, 3.0);  // less the tip offset, 0 here
  plineFree(pl);
}

TEST_F(HolderCheckTest, TheFirstCollisionRecordedIsTheLowestIndexWithAnyThreads) {
  const int saved = omp_get_max_threads();
  for (const int threads : {1, 8}) {
    omp_set_num_threads(threads);
    holderCheckReset();
    Pline* pl = pathThrough(range(-30, 8, 0.25), 3.0);
    EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeMarkPoints, 0.0), kHolderMarked);
    Vec3d hit;
    ASSERT_EQ(holderGetFirstCollision(&hit), 1);
    const size_t first = codes(pl).find('X');
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(hit.x, pl->points[first].x) << threads;
    plineFree(pl);
  }
  omp_set_num_threads(saved);
}

TEST_F(HolderCheckTest, ACollisionFreePathIsReducedUnlessSkipped) {
  link_.stepMax = 10.0;
  link_.stepMin = 0.01;
  for (const int skip : {1, 0}) {
    holderSetSkipReduce(skip);
    Pline* pl = pathThrough(range(-40, -30), 3.0);
    EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeMarkRest, 2.0), kHolderFree);
    const bool reduced = codes(pl).find('3') != std::string::npos;
    EXPECT_EQ(reduced, skip == 0);
    plineFree(pl);
  }
}

TEST_F(HolderCheckTest, ACutThatLeavesOnePointLeavesAnEmptyPath) {
  Pline* pl = pathThrough({-30.0, 3.0, 4.0}, 3.0);
  EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeCut, 2.0), kHolderCollision);
  EXPECT_EQ(pl->count, 0);
  plineFree(pl);
}

TEST_F(HolderCheckTest, GapPointsAreNeverTestedNorMarked) {
  Pline* pl = pathThrough({2.0, 3.0, 4.0, 5.0}, 3.0, "2222");
  for (const int mode : {kHolderModeCut, kHolderModeMarkRest, kHolderModeMarkPoints}) {
    EXPECT_EQ(holderCheckPath(model(), &link_, pl, mode, 2.0), kHolderFree);
    EXPECT_EQ(codes(pl), "2222");
  }
  plineFree(pl);
}

TEST_F(HolderCheckTest, WithoutAHeightGridOnlyTheShankIsChecked) {
  link_.holderCollisionData = nullptr;
  Pline* pl = pathThrough({-30.0, 3.0}, 3.0);
  EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeMarkRest, 0.0), kHolderFree);
  plineFree(pl);
  pl = pathThrough({-30.0, 6.5}, 3.0);
  EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeMarkRest, 0.0), kHolderMarked);
  EXPECT_EQ(codes(pl), "0X");
  plineFree(pl);
}

// Counts the display markers.
std::atomic<int> gMarkers{0};
void countMarker(const Vec3d*) { ++gMarkers; }

// Runs the mode-2 sequence of a run: a colliding path, then a free one.
struct MarkRestRun {
  int first, second;
  std::string firstCodes, secondCodes;
  int messages, markers;
};

TEST_F(HolderCheckTest, ModeMarkRestMarksLaterPathsWholeAndASecondRunGivesTheSameResult) {
  holderSetMarkerHook(countMarker);
  const auto runOnce = [&] {
    holderCheckReset();
    holderSetMarkerHook(countMarker);
    gMarkers = 0;
    tsupport::MessageCapture capture;
    MarkRestRun r{};
    Pline* a = pathThrough(range(-10, 6), 3.0);
    r.first = holderCheckPath(model(), &link_, a, kHolderModeMarkRest, 2.0);
    r.firstCodes = codes(a);
    Pline* b = pathThrough(range(-40, -30), 3.0);
    r.second = holderCheckPath(model(), &link_, b, kHolderModeMarkRest, 2.0);
    r.secondCodes = codes(b);
    r.messages = static_cast<int>(capture.values.size());
    r.markers = gMarkers;
    plineFree(a);
    plineFree(b);
    return r;
  };
  const MarkRestRun one = runOnce();
  EXPECT_EQ(one.first, kHolderMarked);
  // Marked from the first collision on, widened back by 2.
  const size_t firstX = one.firstCodes.find('X');
  ASSERT_NE(firstX, std::string::npos);
  EXPECT_EQ(one.firstCodes.substr(firstX), std::string(one.firstCodes.size() - firstX, 'X'));
  EXPECT_EQ(one.firstCodes.substr(0, firstX), std::string(firstX, '0'));
  // The free path after it is marked whole without a test.
  EXPECT_EQ(one.second, kHolderMarked);
  EXPECT_EQ(one.secondCodes, std::string(11, 'X'));
  EXPECT_EQ(one.messages, 1);
  EXPECT_EQ(one.markers, 1);

  const MarkRestRun two = runOnce();
  EXPECT_EQ(two.first, one.first);
  EXPECT_EQ(two.firstCodes, one.firstCodes);
  EXPECT_EQ(two.secondCodes, one.secondCodes);
  EXPECT_EQ(two.messages, one.messages);
  EXPECT_EQ(two.markers, one.markers);
  holderSetMarkerHook(nullptr);
}

TEST_F(HolderCheckTest, ModeMarkPointsSendsItsMessageOncePerRun) {
  for (int run = 0; run < 2; ++run) {
    holderCheckReset();
    tsupport::MessageCapture capture;
    for (int path = 0; path < 3; ++path) {
      Pline* pl = pathThrough({-30.0, -20.0, 3.0, -20.0}, 3.0);
      EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeMarkPoints, 0.0), kHolderMarked);
      EXPECT_EQ(codes(pl), "00X0");
      plineFree(pl);
    }
    EXPECT_EQ(capture.values.size(), 1u) << "run " << run;
  }
}

TEST_F(HolderCheckTest, SilentChecksSendNoMessage) {
  holderSetSilentShankCheck(1);
  tsupport::MessageCapture capture;
  Pline* pl = pathThrough({-30.0, 3.0}, 3.0);
  EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeMarkPoints, 0.0), kHolderMarked);
  EXPECT_TRUE(capture.values.empty());
  plineFree(pl);
}

TEST_F(HolderCheckTest, ThePathsHolderTouchesOnlyWithAToolThatSticksOutLess) {
  // Through x = 5 the shank stays clear of the wall; only the nose can
  // reach it, and only while it hangs low enough.
  for (const double stickOut : {30.0, 12.0}) {
    build(stickOut);
    Pline* pl = pathThrough(range(-30, 5), 3.0);
    const int result = holderCheckPath(model(), &link_, pl, kHolderModeMarkRest, 0.0);
    if (stickOut > 20.0) {
      EXPECT_EQ(result, kHolderFree);
      EXPECT_EQ(codes(pl).find('X'), std::string::npos);
    } else {
      EXPECT_EQ(result, kHolderMarked);
      EXPECT_NE(codes(pl).find('X'), std::string::npos);
    }
    plineFree(pl);
  }
}

// The lift of mode 4 over the path from -30 to 5, with the given threads.
double liftOnce(ModelRec* model, const LinkParams* link, int threads) {
  omp_set_num_threads(threads);
  holderCheckReset();
  Pline* pl = pathThrough(range(-30, 5, 0.5), 3.0);
  EXPECT_EQ(holderCheckPath(model, link, pl, kHolderModeLift, 2.0), kHolderFree);
  EXPECT_EQ(codes(pl).find('X'), std::string::npos);
  plineFree(pl);
  return holderGetExtraLift();
}

TEST_F(HolderCheckTest, ModeLiftFreesThePathAndTheLiftDoesNotDependOnThreads) {
  const int saved = omp_get_max_threads();
  const double lift = liftOnce(model(), &link_, 1);
  EXPECT_EQ(liftOnce(model(), &link_, 8), lift);
  EXPECT_EQ(liftOnce(model(), &link_, 8), lift);
  omp_set_num_threads(saved);
  ASSERT_GT(lift, 3.0);  // the nose starts 8 above the centre, the wall top 12 above
  ASSERT_LT(lift, 6.0);

  // Raised by the lift, holder and head are free everywhere; 0.01 lower one
  // point collides.
  int lower = 0;
  for (const double x : range(-30, 5, 0.5)) {
    const Vec3d up{x, 0, 3 + lift};
    EXPECT_EQ(holderMeshesCollideAt(&up), kHolderFree) << x;
    const Vec3d below{x, 0, 3 + lift - kToolCollisionRise};
    lower += holderMeshesCollideAt(&below) == kHolderCollision;
  }
  EXPECT_GT(lower, 0);

  // The lifted nose and body, as flat bodies standing on the axis, are free
  // by the test along the tool axis.
  const struct { double radius, bottom; } sections[] = {{11.0, 8.0}, {21.0, 18.0}};
  for (const auto& s : sections) {
    ModelRec* body = modelCopy(model());
    ASSERT_NE(body, nullptr);
    *body->tool = testmodels::flatTool(s.radius);
    const Vec3d axis{0, 0, 1};
    for (const double x : range(-30, 5, 0.5)) {
      const Vec3d p{x, 0, 3 + lift + s.bottom};
      EXPECT_EQ(collToolAxisTest(body, &p, &axis, 500.0, nullptr, 3.14159265358979), kCollFree)
          << x << " section " << s.radius;
      const Vec3d sunk{x, 0, 3 + s.bottom + 2.0};  // not lifted enough
      if (x > 1.0 && s.radius == 11.0) {
        EXPECT_EQ(collToolAxisTest(body, &sunk, &axis, 500.0, nullptr, 3.14159265358979), kCollHit);
      }
    }
    modelFreeCopy(body);
  }
}

TEST_F(HolderCheckTest, ModeLiftCutsAtAShankCollision) {
  Pline* pl = pathThrough(range(-30, 8), 3.0);
  EXPECT_EQ(holderCheckPath(model(), &link_, pl, kHolderModeLift, 0.0), kHolderCollision);
  EXPECT_LT(pl->count, 39);
  EXPECT_GT(pl->count, 30);
  plineFree(pl);
}

TEST_F(HolderCheckTest, ShankCheckOfAPathAndOfPositions) {
  Pline* pl = pathThrough(range(-30, 8), 8.0);
  EXPECT_EQ(holderCheckPathShank(model(), &link_, pl, kHolderModeMarkPoints, 0.0), kHolderMarked);
  const std::string c = codes(pl);
  EXPECT_EQ(c.substr(0, 35), std::string(35, '0'));  // x up to 4: the disc stays off the wall
  EXPECT_EQ(c.substr(37), "XX");                     // x = 7, 8
  plineFree(pl);

  const Vec3d shank{6.5, 0, 8}, holder{3, 0, 3}, far{-20, 0, 3};
  EXPECT_EQ(holderCheckPositionShank(model(), &link_, &far), kHolderFree);
  EXPECT_EQ(holderCheckPositionShank(model(), &link_, &holder), kHolderFree);
  EXPECT_EQ(holderCheckPosition(model(), &link_, &holder), kHolderCollision);
  EXPECT_EQ(holderCheckPosition(model(), &link_, &far), kHolderFree);
  EXPECT_EQ(holderCheckPositionShank(model(), &link_, &shank), kHolderCollision);
  EXPECT_EQ(holderCheckPosition(model(), &link_, &shank), kHolderCollision);
}

TEST_F(HolderCheckTest, ShankNoWiderThanTheCutterIsNotChecked) {
  model()->tool->shankDiameter = 6.0;
  Pline* pl = pathThrough(range(-30, 8), 8.0);
  EXPECT_EQ(holderCheckPathShank(model(), &link_, pl, kHolderModeMarkPoints, 0.0), kHolderFree);
  EXPECT_EQ(codes(pl).find('X'), std::string::npos);
  plineFree(pl);
}

TEST(ModelToolCollidesAt, CollidesFromOneHundredthAboveThePositionOn) {
  TestModel m(testmodels::plateWithWall(60, 6, 10, 20, 15), kModelKindFacets,
              testmodels::flatTool(2));
  m.buildGrid();
  contactSettingsReset();
  Vec3d contact{};
  const Vec3d at{-20, 0, -0.01};
  EXPECT_EQ(modelToolCollidesAt(m.model(), &at, &contact), kToolCollides);
  EXPECT_NEAR(contact.z, 0.0, 1e-12);
  const Vec3d above{-20, 0, -0.009};
  EXPECT_EQ(modelToolCollidesAt(m.model(), &above, &contact), 1);
  const Vec3d offModel{-200, 0, -5};
  EXPECT_EQ(modelToolCollidesAt(m.model(), &offModel, &contact), 1);
}

TEST(HolderCheckState, ResetRestoresTheLoadValues) {
  holderSetExtraLift(3.0);
  holderSetSilentShankCheck(1);
  holderSetSkipReduce(0);
  holderSetFixedAxis(1);
  const Vec3d p{1, 2, 3};
  holderRecordCollision(&p);
  holderCheckReset();
  Vec3d out{9, 9, 9};
  EXPECT_EQ(holderGetFirstCollision(&out), 0);
  EXPECT_EQ(out.x, 0.0);
  EXPECT_EQ(holderGetExtraLift(), 0.0);
  EXPECT_EQ(holderFixedAxis(), 0);
}

}  // namespace
