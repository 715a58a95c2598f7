#include "cycles/profile/links/facet_link_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "boundaries/links/move_hooks.h"
#include "cycle/cycle_descriptor.h"
#include "model/contact/contact_settings.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/path_output.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

// Everything the link output sends, in order: moves through the hooks
// ("r x y z" positioning, "f x y z" feed), pieces ("piece+", "piece-"),
// cutting-path elements ("path+", "path-"), move-kind markers ("m101"),
// link contexts ("link+", "link-"), tool changes ("T5") and display points
// of special runs ("aux x y z").
std::vector<std::string> gTrace;

std::string xyz(const char* tag, double x, double y, double z) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s %.2f %.2f %.2f", tag, x, y, z);
  return buf;
}

int onMove(const double p[3], int type) {
  gTrace.push_back(xyz(type == 0 ? "r" : "f", p[0], p[1], p[2]));
  return 0;
}
void onPieceBegin() { gTrace.emplace_back("piece+"); }
void onPieceEnd() { gTrace.emplace_back("piece-"); }
int onElementBegin(int, double, double) {
  gTrace.emplace_back("path+");
  return 0;
}
int onElementEnd(int, double, double) {
  gTrace.emplace_back("path-");
  return 0;
}

int onRecord(CycleDescriptor*, OutputRecord* r, intptr_t channel) {
  if (channel == kChanMarkers && r->code == kRecMarkMoveKind) {
    gTrace.push_back(std::string("m") + std::to_string(outRecGetI32(r, kRecMarkKind)));
  } else if (channel == kChanMarkers && std::string(outRecText(r, kRecMarkName)) == "link") {
    gTrace.emplace_back(r->code == kRecMarkBegin ? "link+" : "link-");
  } else if (channel == kChanArguments && std::string(outRecText(r, kRecName)) == "T") {
    gTrace.push_back(std::string("T") + std::string(outRecText(r, kRecValue)));
  } else if (channel == kChanGeometry36) {
    gTrace.push_back(xyz("aux", outRecGetF64(r, kRecGeoX), outRecGetF64(r, kRecGeoY),
                         outRecGetF64(r, kRecGeoZ)));
  }
  return 1;
}
int writeNothing(CycleDescriptor*, OutputRecord*) { return 1; }

constexpr PointStatus kCut = pointStatusMake(kPointKindContact, kPointCut);
constexpr PointStatus kGap = pointStatusMake(kPointKindContact, kPointGap);
constexpr PointStatus kDropped = pointStatusMake(kPointKindContact, kPointDropped);
constexpr PointStatus kSpecial = pointStatusMake(kPointKindContact, kPointSpecial);

struct Pt {
  double x, y;
  PointStatus status = kCut;
};

// A plate z = 0 under a ball of radius 2: tool positions lie at z 2.
class FacetLinkOutput : public ::testing::Test {
 protected:
  FacetLinkOutput()
      : plate_(testmodels::heightField([](double, double) { return 0.0; }, -60, 60, -60, 60, 4, 4),
               kModelKindFacets, testmodels::ballTool(2)) {}

  void SetUp() override {
    gTrace.clear();
    contactSettingsReset();
    for (uint16_t ch : {kChanArguments, kChanMarkers, kChanGeometry36}) {
      outRegisterChannel(&ctx_, ch, &writeNothing, &writeNothing, 1);
      outAddListener(&ctx_, ch, &onRecord, ch, &onRecord, ch);
    }
    outSetContext(&ctx_);
    outAdapterResetRun();
    linkSetMoveHooks(onMove, onPieceBegin, onPieceEnd);
    linkSetElementHooks(33, onElementBegin, onElementEnd);
    linkResetLastMove();
    linkStateLoad();
    plate_.buildGrid();
    model()->maxStep = 1;
    model()->minStep = 0.01;
    params_ = linkParamsDefaults();
    params_.maxLinkDistance = 10;
    params_.macro.approachKind = 0;
    params_.macro.retractKind = 0;
    params_.macro.approachDistance = 0;
    params_.macro.retractDistance = 0;
  }
  void TearDown() override {
    linkStateLoad();
    linkSetMoveHooks(nullptr, nullptr, nullptr);
    linkSetElementHooks(0, nullptr, nullptr);
    outSetContext(nullptr);
    outFreeChannels(&ctx_);
    for (Pline* p : paths_) plineFree(p);
  }

  ModelRec* model() { return plate_.model(); }

  Pline* path(const std::vector<Pt>& pts, int tag = 1) {
    Pline* p = plineNew(static_cast<int>(pts.size()), 0);
    for (size_t i = 0; i < pts.size(); ++i) {
      const Vec3d v{pts[i].x, pts[i].y, 2};
      plineAppend(p, static_cast<double>(i), &v, pts[i].status, nullptr, 0);
    }
    p->tag = tag;
    paths_.push_back(p);
    return p;
  }

  int output(const std::vector<Pt>& pts) { return linkOutputPath(path(pts), &params_, model()); }
  int finish() { return linkFinishOutput(&params_, model()); }

  TestModel plate_;
  CycleDescriptor ctx_{};
  LinkParams params_{};
  std::vector<Pline*> paths_;
};

TEST_F(FacetLinkOutput, PathsWithoutTwoNeighbouringCutPointsEmitNothing) {
  const std::vector<std::vector<Pt>> cases = {
      {},
      {{0, 0}},
      {{0, 0, kGap}, {1, 0, kGap}, {2, 0, kGap}},
      {{0, 0, kGap}, {1, 0}, {2, 0, kGap}, {3, 0}},
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    linkResetState();
    EXPECT_EQ(output(cases[k]), 0) << k;
    EXPECT_EQ(finish(), 0) << k;
    EXPECT_TRUE(gTrace.empty()) << k << ": " << gTrace.front();
    gTrace.clear();
  }
}

TEST_F(FacetLinkOutput, FarPiecesRetractGoThroughThePlaneAndApproach) {
  linkResetState();
  ASSERT_EQ(output({{-20, 0}, {-10, 0}, {0, 0}}), 1);
  ASSERT_EQ(output({{0, 20}, {-10, 20}}), 1);
  ASSERT_EQ(finish(), 0);
  const std::vector<std::string> want = {
      // First link of the pass: no last point, so it comes down beside its
      // target; it is the run's only link context.
      "piece+", "link+", "m101", "r -19.98 0.00 100.00", "m121", "m103", "r -20.00 0.00 100.00",
      "m102", "r -20.00 0.00 12.00", "m111", "f -20.00 0.00 7.00", "link-",
      // The vertical approach down to the path start, then the cut.
      "m111", "f -20.00 0.00 2.00", "path+", "m115", "f -10.00 0.00 2.00", "f 0.00 0.00 2.00",
      // Far from the next start: retract, up, across, down, approach.
      "path-", "m112", "f 0.00 0.00 7.00", "piece-", "piece+", "m101", "r 0.00 0.00 100.00",
      "m121", "m103", "r 0.00 20.00 100.00", "m102", "r 0.00 20.00 12.00", "m111",
      "f 0.00 20.00 7.00", "m111", "f 0.00 20.00 2.00", "path+", "m115", "f -10.00 20.00 2.00",
      // End of the pass: the last retract and the final move up.
      "path-", "m112", "f -10.00 20.00 7.00", "m101", "r -10.00 20.00 100.00", "m121", "piece-"};
  EXPECT_EQ(gTrace, want);
  EXPECT_EQ(linkState().lastValid, 0);
  EXPECT_EQ(linkState().pendingRetract, 0);
}

TEST_F(FacetLinkOutput, NearPiecesLinkAlongTheSurfaceWithoutMacros) {
  params_.maxLinkDistance = 100;
  linkResetState();
  ASSERT_EQ(output({{-20, 0}, {0, 0}}), 1);
  gTrace.clear();
  ASSERT_EQ(output({{0, 5}, {-20, 5}}), 1);
  // No retract, no approach, no plane: the infeed marker and a feed move
  // along the plate to the next start.
  const std::vector<std::string> want = {"path-", "piece-", "piece+", "m114", "f 0.00 5.00 2.00",
                                         "path+", "m115", "f -20.00 5.00 2.00"};
  EXPECT_EQ(gTrace, want);
}

TEST_F(FacetLinkOutput, TheFirstLinkOfASectionMarksTheAreaMove) {
  linkResetState();
  linkStartNewSection();
  ASSERT_EQ(output({{-20, 0}, {0, 0}}), 1);
  const std::vector<std::string> head(gTrace.begin(), gTrace.begin() + 7);
  EXPECT_EQ(head, (std::vector<std::string>{"piece+", "link+", "m101", "r -19.98 0.00 100.00",
                                            "m121", "m104", "r -20.00 0.00 100.00"}));
}

TEST_F(FacetLinkOutput, ADescentAboveThePlaneIsLeftOut) {
  params_.safetyDistance = 200;
  linkResetState();
  ASSERT_EQ(output({{-20, 0}, {0, 0}}), 1);
  const std::vector<std::string> head(gTrace.begin(), gTrace.begin() + 11);
  EXPECT_EQ(head, (std::vector<std::string>{"piece+", "link+", "m101", "r -19.98 0.00 100.00",
                                            "m121", "m103", "r -20.00 0.00 100.00", "m102", "m111",
                                            "f -20.00 0.00 7.00", "link-"}));
}

TEST_F(FacetLinkOutput, APendingToolChangeIsWrittenOnceInTheNextPlaneLink) {
  linkResetState();
  linkSetPendingTool(5);
  ASSERT_EQ(output({{-20, 0}, {0, 0}}), 1);
  ASSERT_EQ(output({{0, 20}, {-20, 20}}), 1);
  int changes = 0;
  for (size_t k = 0; k < gTrace.size(); ++k) {
    if (gTrace[k] != "T5") continue;
    ++changes;
    // Inside the link context, right after the connection marker.
    EXPECT_EQ(gTrace[k - 1], "m121");
    EXPECT_LT(k, static_cast<size_t>(std::find(gTrace.begin(), gTrace.end(), "link-") -
                                     gTrace.begin()));
  }
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(linkState().pendingTool, -1);
}

TEST_F(FacetLinkOutput, ASpecialRunIsDrawnNeverCutAndTheNextPieceIsLinkedFar) {
  params_.maxLinkDistance = 100;
  linkResetState();
  ASSERT_EQ(output({{-20, 0}, {-15, 0}, {-10, 0, kSpecial}, {-5, 0, kSpecial}, {0, 0}, {5, 0}}),
            1);
  std::vector<std::string> aux;
  for (const std::string& t : gTrace) {
    if (t.rfind("aux", 0) == 0) {
      aux.push_back(t);
    } else {
      EXPECT_EQ(t.find(" -10.00 0.00 2.00"), std::string::npos) << "cut through special point";
    }
  }
  EXPECT_EQ(aux, (std::vector<std::string>{"aux -15.00 0.00 2.00", "aux -10.00 0.00 2.00",
                                           "aux -5.00 0.00 2.00", "aux 0.00 0.00 2.00"}));
  // Although the next piece starts 15 away (near by distance), it gets a
  // retract and a plane link.
  const auto retract = std::find(gTrace.begin(), gTrace.end(), "m112");
  ASSERT_NE(retract, gTrace.end());
  EXPECT_NE(std::find(retract, gTrace.end(), "m101"), gTrace.end());
}

TEST_F(FacetLinkOutput, APieceWithoutCuttingMovesRetractsWhereTheToolIs) {
  linkResetState();
  // The second piece reaches its start point, but its only other point was
  // dropped by a filter: the retract starts at that start point, not where
  // the first piece ended.
  ASSERT_EQ(output({{-20, 0}, {-10, 0}, {0, 0, kGap}, {30, 30}, {31, 30, kDropped}, {32, 30, kGap}}),
            1);
  ASSERT_EQ(finish(), 0);
  const auto last = std::find(gTrace.rbegin(), gTrace.rend(), "m112");
  ASSERT_NE(last, gTrace.rend());
  EXPECT_EQ(*(last.base()), "f 30.00 30.00 7.00");
}

TEST_F(FacetLinkOutput, ALoadedStateForgetsThePreviousRun) {
  linkResetState();
  linkSetPendingTool(3);
  ASSERT_EQ(output({{-20, 0}, {0, 0}}), 1);
  linkSetPendingTool(4);
  linkStateLoad();
  EXPECT_EQ(linkState().pendingTool, -1);
  EXPECT_EQ(linkState().lastValid, 0);
  EXPECT_EQ(linkState().pendingRetract, 0);
  EXPECT_EQ(linkState().firstValid, 0);
}

}  // namespace
