// POF reader: the POF text of the writers' goldens read back into callbacks,
// the move grammar, bulges and arcs, and the failure paths.

#include "output/readback/pof_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/message_capture.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> gEvents;

// Coordinates rounded to 1e-9, so that arc points print without noise.
double rounded(double v) { return std::round(v * 1e9) / 1e9 + 0.0; }

std::string fmtPoint(const double p[3]) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "(%g,%g,%g)", rounded(p[0]), rounded(p[1]), rounded(p[2]));
  return buf;
}

std::string fmtLayer(const char* layer, int colour) {
  return std::string("'") + layer + "'/" + std::to_string(colour);
}

const PofReaderCallbacks kRecorder = {
    [](const char* layer, int colour, const double xyz[3]) {
      gEvents.push_back("polyline " + fmtLayer(layer, colour) + " " + fmtPoint(xyz));
    },
    [](const char* layer, int colour) { gEvents.push_back("points " + fmtLayer(layer, colour)); },
    []() { gEvents.push_back("end"); },
    [](const char* layer, int colour, const double xyz[3], double bulge) {
      char b[32];
      std::snprintf(b, sizeof b, "%g", bulge);
      gEvents.push_back("vertex " + fmtLayer(layer, colour) + " " + fmtPoint(xyz) + " " + b);
    },
    [](const char* layer, int colour, const double xyz[3]) {
      gEvents.push_back("point " + fmtLayer(layer, colour) + " " + fmtPoint(xyz));
    },
    [](const char* text) { gEvents.push_back(std::string("start ") + text); },
    [](const char* text) { gEvents.push_back(std::string("full ") + text); },
    [](int isStart) { gEvents.push_back("pocket " + std::to_string(isStart)); },
    []() { gEvents.push_back("sectionEnd"); },
    [](int isStart) { gEvents.push_back("infeed " + std::to_string(isStart)); },
};

int gMapperResult = 0;
std::vector<std::string> gMapped;
int recordMapper(const char* text) {
  gMapped.push_back(text);
  return gMapperResult;
}

// Each test starts from a clean reader with the recorder installed, in a
// working directory of its own (the reader writes tmp.dxf there).
class PofReader : public ::testing::Test {
 protected:
  void SetUp() override {
    pofReaderReset();
    pofCallbacksInstall(&kRecorder);
    pofReaderSetErrorMapper(recordMapper);
    gEvents.clear();
    gMapped.clear();
    gMapperResult = 0;
  }
  void TearDown() override {
    pofReaderSetErrorMapper(nullptr);
    pofReaderReset();
  }

  // Reads text (written to a file) and returns the result.
  int read(const std::string& text) {
    const std::string path = work_.file("in.pof");
    EXPECT_TRUE(tsupport::writeFile(path, text));
    return pofReadFile(path.c_str());
  }

  tsupport::ScopedWorkDir work_;
};

std::string golden(const char* name) { return std::string(TESSARO_TEST_DATA) + "/pof/" + name; }

using Events = std::vector<std::string>;

// The writers' goldens read back.

TEST_F(PofReader, GoldenOfA3dCycleReadsBackIntoPointsAndAnArcPolyline) {
  EXPECT_EQ(pofReadFile(golden("cycle_3d.pof").c_str()), 0);
  EXPECT_EQ(gEvents, (Events{
                         "points ''/2",
                         "point ''/2 (1,2,50)",
                         "point ''/2 (1,2,-0.5)",
                         "end",
                         "polyline ''/2 (3,2,-0.5)",
                         "vertex ''/2 (1,2,-0.5) 0",
                         "vertex ''/2 (3,2,-0.5) -1",
                         "end",
                     }));
}

TEST_F(PofReader, GoldenOfAFiveAxisCycleSkipsTheRotaryMove) {
  tsupport::MessageCapture messages;
  EXPECT_EQ(pofReadFile(golden("cycle_nc_5x.pof").c_str()), 0);
  EXPECT_EQ(gEvents, (Events{
                         "points ''/2",
                         "point ''/2 (1,2,50)",
                         "point ''/2 (1,2,0)",
                         "end",
                         "points ''/1",
                         "point ''/1 (1,2,0)",
                         "point ''/1 (1,2,3)",
                         "end",
                         "polyline ''/2 (5,6,3)",
                         "vertex ''/2 (1,2,3) 0",
                         "vertex ''/2 (5,6,3) 0",
                         "end",
                     }));
  // The u v w move is no x y z move: one "Error in POF line".
  EXPECT_EQ(messages.values, (std::vector<std::string>{"1702,0"}));
}

TEST_F(PofReader, GoldensOfNestedRunsReadBack) {
  EXPECT_EQ(pofReadFile(golden("nested_outer.pof").c_str()), 0);
  EXPECT_EQ(gEvents, (Events{
                         "polyline ''/2 (7,8,50)",
                         "vertex ''/2 (1,2,50) 0",
                         "vertex ''/2 (7,8,50) 0",
                         "end",
                     }));
  gEvents.clear();
  // Only a start position: nothing is drawn.
  EXPECT_EQ(pofReadFile(golden("nested_inner.pof").c_str()), 0);
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(PofReader, GoldenOfAnAbortedRunHandsItsErrorsToTheMapper) {
  gMapperResult = -1;
  EXPECT_EQ(pofReadFile(golden("abort.pof").c_str()), -1);
  EXPECT_EQ(gMapped, (std::vector<std::string>{"1,(polySource", "1,(toolDiameter"}));
  EXPECT_TRUE(gEvents.empty());
  // A warning (result 0) does not fail the read.
  gMapperResult = 0;
  EXPECT_EQ(pofReadFile(golden("abort.pof").c_str()), 0);
}

// Move sequences.

struct SequenceCase {
  const char* name;
  const char* text;
  Events events;
};

class PofReaderSequence : public PofReader, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(PofReaderSequence, GivesTheCallbacks) {
  EXPECT_EQ(read(GetParam().text), 0);
  EXPECT_EQ(gEvents, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, PofReaderSequence,
    ::testing::Values(
        SequenceCase{"rapids_only_one_point_run",
                     "0: cycle(c)\n31: oM( x[/0] y[/0] z[/5] )\n31: oM( x[/1] )\n"
                     "31: oM( y[/1] )\n0: cycleEnd(c)\n",
                     {"points ''/1", "point ''/1 (0,0,5)", "point ''/1 (1,0,5)",
                      "point ''/1 (1,1,5)", "end"}},
        SequenceCase{"line_after_rapid_starts_a_polyline_at_the_rapid_end",
                     "0: cycle(c)\n31: oM( x[/0] y[/0] z[/5] )\n31: oM( x[/1] y[/1] )\n"
                     "31: oL( x[/2] )\n31: oL( y[/2] )\n",
                     {"points ''/1", "point ''/1 (0,0,5)", "point ''/1 (1,1,5)", "end",
                      "polyline ''/2 (2,1,5)", "vertex ''/2 (1,1,5) 0", "vertex ''/2 (2,1,5) 0",
                      "vertex ''/2 (2,2,5) 0"}},
        SequenceCase{"counter_clockwise_half_circle_has_bulge_one",
                     "0: cycle(c)\n31: oM( x[/0] y[/0] )\n31: oA( o[+] x[/10/5] y[/0/0] )\n",
                     {"polyline ''/2 (10,0,1)", "vertex ''/2 (0,0,1) 0", "vertex ''/2 (10,0,1) 1"}},
        SequenceCase{
            "clockwise_half_circle_has_bulge_minus_one",
            "0: cycle(c)\n31: oM( x[/0] y[/0] )\n31: oA( o[-] x[/10/5] y[/0/0] )\n",
            {"polyline ''/2 (10,0,1)", "vertex ''/2 (0,0,1) 0", "vertex ''/2 (10,0,1) -1"}},
        SequenceCase{
            "cycle_end_breaks_the_polyline",
            "0: cycle(c)\n31: oM( x[/0] y[/0] )\n31: oL( x[/1] )\n0: cycleEnd(c)\n"
            "31: oL( x[/2] )\n",
            {"polyline ''/2 (1,0,1)", "vertex ''/2 (0,0,1) 0", "vertex ''/2 (1,0,1) 0", "end"}},
        SequenceCase{
            "values_of_record_31",
            "31: vstart(s1) vfull(f1) vpocket(start) vpocket(x) vend(1) vinfeed(start)"
            " vinfeed(stop) vother(1)\n",
            {"start s1", "full f1", "pocket 1", "pocket 0", "sectionEnd", "infeed 1", "infeed 0"}},
        SequenceCase{"layer_path_record_34",
                     "34: oM( x[/1] y[/2] z[/3] )\n34: oL( x[/4] )\n34: }\n34: oL( x[/5] )\n",
                     {"polyline 'POFLAYER'/3 (1,2,3)", "vertex 'POFLAYER'/3 (1,2,3) 0",
                      "vertex 'POFLAYER'/3 (4,2,3) 0", "end"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PofReader, FollowsIncludesRelativeToTheWorkingDirectory) {
  ASSERT_TRUE(tsupport::writeFile(work_.file("part.pof"), "31: oL( x[/1] )\n"));
  EXPECT_EQ(read("0: cycle(c)\n31: oM( x[/0] y[/0] )\n0: include(part.pof)\n31: oL( x[/2] )\n"), 0);
  EXPECT_EQ(gEvents, (Events{"polyline ''/2 (1,0,1)", "vertex ''/2 (0,0,1) 0",
                             "vertex ''/2 (1,0,1) 0", "vertex ''/2 (2,0,1) 0"}));
}

TEST_F(PofReader, AnArcInAPointRunGivesTwentyFourPointsGradedInZ) {
  EXPECT_EQ(read("0: cycle(c)\n31: oM( x[/0] y[/0] z[/0] )\n"
                 "31: oA( o[+] x[/10/5] y[/0/0] z[/4/0] )\n"),
            0);
  ASSERT_EQ(gEvents.size(), 26u);
  EXPECT_EQ(gEvents[0], "points ''/2");
  EXPECT_EQ(gEvents[1], "point ''/2 (0,0,0)");
  EXPECT_EQ(gEvents[13], "point ''/2 (5,-5,2)");  // half way: the bottom of the circle
  EXPECT_EQ(gEvents[25], "point ''/2 (10,0,4)");
}

TEST_F(PofReader, AMalformedMoveSendsAMessageAndIsSkipped) {
  tsupport::MessageCapture messages;
  EXPECT_EQ(read("0: cycle(c)\n31: oM( x[/0] y[/0] )\n31: oL( x[3] )\n31: oL( q[/1] )\n"
                 "31: oA( x[/1] y[/1] )\n31: oL( x[/1] )\n"),
            0);
  EXPECT_EQ(messages.values, (std::vector<std::string>(3, "1702,0")));
  // The bad moves left the position alone.
  EXPECT_EQ(gEvents,
            (Events{"polyline ''/2 (1,0,1)", "vertex ''/2 (0,0,1) 0", "vertex ''/2 (1,0,1) 0"}));
}

TEST_F(PofReader, NullSlotsAreSkipped) {
  PofReaderCallbacks some;
  pofCallbacksClear(&some);
  some.pofOnPolylineVertex = kRecorder.pofOnPolylineVertex;
  pofCallbacksInstall(&some);
  EXPECT_EQ(read("31: vfull(x)\n0: cycle(c)\n31: oM( x[/0] y[/0] )\n31: oL( x[/1] )\n"
                 "0: cycleEnd(c)\n"),
            0);
  EXPECT_EQ(gEvents, (Events{"vertex ''/2 (0,0,1) 0", "vertex ''/2 (1,0,1) 0"}));
  // Restore brings back the table that was live before.
  pofCallbacksRestore();
  gEvents.clear();
  EXPECT_EQ(read("31: vfull(x)\n"), 0);
  EXPECT_EQ(gEvents, (Events{"full x"}));
}

TEST_F(PofReader, AMissingFileSendsMessage1701AndWritesNoDxf) {
  tsupport::MessageCapture messages;
  const std::string path = work_.file("none.pof");
  EXPECT_EQ(pofReadFile(path.c_str()), -1);
  EXPECT_EQ(messages.values, (std::vector<std::string>{"1701," + path}));
  EXPECT_EQ(tsupport::readFile(work_.file(kPofDxfName)), "");
}

TEST_F(PofReader, WritesAnEmptyDxfNextToTheRead) {
  EXPECT_EQ(read("1: x\n"), 0);
  EXPECT_EQ(tsupport::readFile(work_.file(kPofDxfName)),
            "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n");
}

TEST_F(PofReader, ReadsEvenWhenTheDxfCannotBeCreated) {
  // A directory in the way of tmp.dxf.
  ASSERT_EQ(std::system(("mkdir " + work_.file(kPofDxfName)).c_str()), 0);
  EXPECT_EQ(read("0: cycle(c)\n31: oM( x[/0] y[/0] )\n31: oL( x[/1] )\n"), 0);
  EXPECT_EQ(gEvents.size(), 3u);
}

TEST_F(PofReader, ASelfIncludingFileFailsTheReadInsteadOfLooping) {
  const std::string path = work_.file("in.pof");
  EXPECT_EQ(read("0: cycle(c)\n0: include(" + path + ")\n"), -1);
}

TEST_F(PofReader, ACycleRecordClearsTheFailureMark) {
  gMapperResult = -1;
  EXPECT_EQ(read("0: error(1500)\n0: cycle(c)\n"), 0);
  EXPECT_EQ(read("0: break(1500)\n"), -1);
  // Without a mapper, error records are not interpreted.
  pofReaderSetErrorMapper(nullptr);
  EXPECT_EQ(read("0: cycle(c)\n0: error(1500)\n"), 0);
}

// Helpers.

TEST(PofCoordPick, PicksSlashSeparatedParts) {
  double v = 7;
  EXPECT_EQ(pofCoordPick("/3/2", 1, &v), 1);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(pofCoordPick("/3/2", 2, &v), 1);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(pofCoordPick("/3/2", 3, &v), -1);
  EXPECT_EQ(pofCoordPick("//2", 1, &v), 0);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(pofCoordPick("/-1.5e1x", 1, &v), 1);
  EXPECT_EQ(v, -15);
  EXPECT_EQ(pofCoordPick("/abc", 1, &v), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(pofCoordPick("3", 1, &v), -1);
  EXPECT_EQ(pofCoordPick(nullptr, 1, &v), -1);
}

TEST(PofBulge, ArcWithoutDirectionTakesTheShortWay) {
  const double s[3] = {10, 0, 0}, c[3] = {0, 0, 0}, e[3] = {0, 10, 0};
  EXPECT_NEAR(pofBulgeFromArc(s, c, e, 0), std::tan(M_PI / 8), 1e-12);
  EXPECT_NEAR(pofBulgeFromArc(s, c, e, -1), std::tan(-3 * M_PI / 8), 1e-12);
  EXPECT_EQ(pofBulgeFromArc(s, s, e, 1), 0.0);
}

TEST(PofBulge, ABulgeOfZeroIsAStraightChord) {
  const double s[3] = {0, 0, 1}, e[3] = {4, 2, 3};
  double centre[3], r = -1, a0 = -1, a1 = -1;
  EXPECT_EQ(pofArcFromBulge(s, e, 0.0, centre, &r, &a0, &a1), 0);
  double pts[kPofArcPointCount][3];
  pofArcPointsZ(s, e, 0.0, pts);
  for (int i = 0; i < kPofArcPointCount; ++i) {
    const double t = i / double(kPofArcPointCount - 1);
    EXPECT_NEAR(pts[i][0], 4 * t, 1e-12);
    EXPECT_NEAR(pts[i][1], 2 * t, 1e-12);
    EXPECT_NEAR(pts[i][2], 1 + 2 * t, 1e-12);
    EXPECT_TRUE(std::isfinite(pts[i][0]) && std::isfinite(pts[i][1]));
  }
}

TEST(PofBulge, ArcPointsRunFromStartToEndOnTheCircleOfTheBulge) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> coord(-100, 100), bulge(-3, 3);
  for (int k = 0; k < 500; ++k) {
    const double s[3] = {coord(rng), coord(rng), coord(rng)};
    const double e[3] = {coord(rng), coord(rng), coord(rng)};
    const double b = bulge(rng);
    if (std::fabs(b) < 1e-3) continue;
    double centre[3], r, a0, a1;
    ASSERT_EQ(pofArcFromBulge(s, e, b, centre, &r, &a0, &a1), 1);
    double pts[kPofArcPointCount][3];
    pofArcPoints(s, e, b, pts);
    const double scale = 1e-9 * (1 + r);
    EXPECT_NEAR(pts[0][0], s[0], scale);
    EXPECT_NEAR(pts[0][1], s[1], scale);
    EXPECT_NEAR(pts[kPofArcPointCount - 1][0], e[0], scale);
    EXPECT_NEAR(pts[kPofArcPointCount - 1][1], e[1], scale);
    for (int i = 0; i < kPofArcPointCount; ++i) {
      EXPECT_NEAR(std::hypot(pts[i][0] - centre[0], pts[i][1] - centre[1]), r, scale);
      EXPECT_EQ(pts[i][2], e[2]);
    }
    // The bulge read back from the arc's centre and direction.
    const double back = pofBulgeFromArc(s, centre, e, b > 0 ? 1 : -1);
    EXPECT_NEAR(back, b, 1e-7 * (1 + std::fabs(b)));
  }
}

}  // namespace
