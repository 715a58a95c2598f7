#include "output/adapter/output_adapter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "base/job_scale.h"
#include "base/number_format.h"
#include "geometry/frame/working_frame.h"
#include "output/adapter/adapter_state.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"

const char* const FeedAliasTable[kFeedAliasCount] = {
    "FZ",
    "FX",
    "reducedFeedrate",
    "approachFeedrate",
    "retractFeedrate",
    "infeedFeedrate",
    "fullSectionFeedrate",
    "clearanceFeedrate",
    "leadingEdgeFeedrate",
    "trailingEdgeFeedrate",
    "finalPathFeedrate",
    "springPathFeedrate",
    "fastRetractFeedrate",
    "hatchFeedrate",
    "S",
    "finalPathSpindleSpeed",
    "springPathSpindleSpeed",
    "fullSectionSpindleSpeed",
    "roughingSpeed",
    "approachSpeed",
};

namespace {

OutAdapterState gState;

// Feeds and speeds below this size count as not set.
constexpr double kOutRateSetMin = 0.00001;

struct AlgorithmRow {
  const char* cycleId;
  const char* name;
};

constexpr AlgorithmRow kAlgorithmNames[] = {
    {"qzProf", "profileFinishing"},
};

const char* kOutDefaultAlgorithm = "qzCycle";

std::string num(double v) {
  char buf[kNumTextSize];
  return numFormat(buf, v);
}

// "%.4lf" in the C locale (the library never changes the locale).
std::string fixed4(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4lf", v);
  return buf;
}

void sendPlaneArgs(CycleDescriptor* ctx, const char* argName, const char* shortName, double v) {
  const std::string text = fixed4(v);
  outSendArg(ctx, "arg", (std::string("F:") + argName + ":=" + text).c_str());
  outSendArg(ctx, shortName, text.c_str());
}

void sendAlias(CycleDescriptor* ctx, const char* name, const char* reference, double v) {
  outSendAliasDef(ctx, name, reference, num(v).c_str(), "1");
}

int sendMoveKind(int (*emit)(CycleDescriptor*)) {
  CycleDescriptor* ctx = outGetContext();
  return ctx != nullptr ? emit(ctx) : 0;
}

}  // namespace

OutAdapterState& outAdapterState() { return gState; }

int outCycleHeader(const CycleTechRecord* tech) {
  if (tech == nullptr) return 0;
  OutAdapterState& s = gState;
  s.feedFX = tech->planeFeedrate;
  s.feedReduced = tech->reducedFeedrate != 0.0 ? tech->reducedFeedrate : s.feedFX;
  s.feedCurrent = s.feedFX;
  s.feedState = kFeedNormal;
  s.stack.top = -1;
  s.spindleRotationText = tech->spindleRotation == 0   ? "none"
                          : tech->spindleRotation == 2 ? "counterClockwise"
                                                       : "clockwise";

  CycleDescriptor* ctx = outGetContext();
  outSendArg(ctx, "cycleFct", outAlgorithmName());
  const double scale = jobLengthScale();
  sendPlaneArgs(ctx, "clearancePlane", "CPLANE", tech->retractPlane / scale + s.clearanceOffset);
  sendPlaneArgs(ctx, "retractPlane", "RPLANE", tech->retractPlane / scale);
  sendPlaneArgs(ctx, "clearanceDistance", "CDIST", tech->clearanceDistance / scale);
  outSendArg(ctx, "T", std::to_string(tech->toolNumber).c_str());

  sendAlias(ctx, "FX", "FX", tech->planeFeedrate);
  sendAlias(ctx, "FZ", "FZ", tech->zFeedrate);
  const struct {
    const char* alias;
    double rate;
  } feeds[] = {
      {"reducedFeedrate", tech->reducedFeedrate},
      {"fullSectionFeedrate", tech->fullSectionFeedrate},
      {"approachFeedrate", tech->approachFeedrate},
      {"retractFeedrate", tech->retractFeedrate},
      {"infeedFeedrate", tech->infeedFeedrate},
      {"clearanceFeedrate", tech->clearanceFeedrate},
      {"leadingEdgeFeedrate", tech->leadingEdgeFeedrate},
      {"trailingEdgeFeedrate", tech->trailingEdgeFeedrate},
      {"finalPathFeedrate", tech->finalPathFeedrate},
      {"springPathFeedrate", tech->springPathFeedrate},
      // Spelled with a lower-case r here, unlike the alias table.
      {"fastretractFeedrate", tech->fastRetractFeedrate},
  };
  for (const auto& f : feeds) {
    if (std::fabs(f.rate) >= kOutRateSetMin) sendAlias(ctx, f.alias, "FX", f.rate);
  }
  sendAlias(ctx, "S", "S", tech->spindleSpeed);
  const struct {
    const char* alias;
    double speed;
  } speeds[] = {
      {"finalPathSpindleSpeed", tech->finalPathSpindleSpeed},
      {"springPathSpindleSpeed", tech->springPathSpindleSpeed},
      {"fullSectionSpindleSpeed", tech->fullSectionSpindleSpeed},
  };
  for (const auto& sp : speeds) {
    if (std::fabs(sp.speed) >= kOutRateSetMin) sendAlias(ctx, sp.alias, "S", sp.speed);
  }

  outSendArg(ctx, "aliasUse", "S");
  outSendArg(ctx, "S", num(tech->spindleSpeed).c_str());
  outSendArg(ctx, "SR", s.spindleRotationText);
  outSendArg(ctx, "tr", "S");
  outSendArg(ctx, "tr", "SR");

  s.splineFeed = tech->planeFeedrate;
  outSendArg(ctx, "FX", num(tech->planeFeedrate).c_str());
  outSendArg(ctx, "FZ", num(tech->zFeedrate).c_str());
  outSendArg(ctx, "aliasUse", "FX");
  outSendArg(ctx, "tr", "FX");
  s.aliasIndex = kAliasFX;
  return 0;
}

void outToolChange(int toolNumber) {
  CycleDescriptor* ctx = outGetContext();
  outSendArg(ctx, "T", std::to_string(toolNumber).c_str());
  outSendArg(ctx, "tr", "TC");
}

const char* outAlgorithmName() {
  const CycleDescriptor* ctx = outGetContext();
  if (ctx != nullptr && ctx->id != nullptr) {
    for (const AlgorithmRow& row : kAlgorithmNames) {
      if (std::strcmp(row.cycleId, ctx->id) == 0) return row.name;
    }
  }
  return kOutDefaultAlgorithm;
}

void outSetClearanceOffset(double offset) { gState.clearanceOffset = offset; }
double outClearanceOffset() { return gState.clearanceOffset; }

int outPathContextBegin(int kind) {
  CycleDescriptor* ctx = outGetContext();
  switch (kind) {
    case kPathContextCut:
      return outContextBegin(ctx, "3dPath", nullptr, "poly");
    case kPathContextLink:
      if (gState.linkClosed == 1 || ctx == nullptr) return 0;
      return outContextBegin(ctx, "link", nullptr, nullptr);
    case kPathContextFinal:
      gState.holdRapid = 1;
      return 0;
    default:
      return 0;
  }
}

int outPathContextEnd(int kind) {
  CycleDescriptor* ctx = outGetContext();
  switch (kind) {
    case kPathContextCut:
      return outContextEnd(ctx, "3dPath", nullptr, "poly");
    case kPathContextLink: {
      if (gState.linkClosed == 1 || ctx == nullptr) return 0;
      const int result = outContextEnd(ctx, "link", nullptr, nullptr);
      gState.linkClosed = 1;
      return result;
    }
    case kPathContextFinal:
      gState.holdRapid = 0;
      return 0;
    default:
      return 0;
  }
}

int outRestMaterialContext(const char* data) {
  return outContextBegin(outGetContext(), "rmat", data, "path");
}

int outMarkRapidUp() { return sendMoveKind(outKindRapidUp); }
int outMarkRapidDown() { return sendMoveKind(outKindRapidDown); }
int outMarkRapidXY() { return sendMoveKind(outKindRapidXY); }
int outMarkRapidArea() { return sendMoveKind(outKindRapidArea); }
int outMarkApproach() { return sendMoveKind(outKindApproach); }
int outMarkRetract() { return sendMoveKind(outKindRetract); }
int outMarkSmooth() { return sendMoveKind(outKindSmooth); }
int outMarkInfeed() { return sendMoveKind(outKindInfeed); }
int outMarkPath() { return sendMoveKind(outKindPath); }
int outMarkConnection() { return sendMoveKind(outKindConnection); }

void outCompDirection(const Vec3d* p1, const Vec3d* p2, int side) {
  if (p1 == nullptr || p2 == nullptr) return;
  const double dx = p2->x - p1->x;
  const double dy = p2->y - p1->y;
  if (std::fabs(dx) <= kOutCompMinDistance && std::fabs(dy) <= kOutCompMinDistance) return;
  const double len = std::hypot(dx, dy);
  std::string value = side < 0 ? "-1;" : "+1;";
  value += num(dx / len) + ";" + num(dy / len);
  outSendArg(outGetContext(), "CCdirX", value.c_str());
}

void outCompSide(int side) {
  CycleDescriptor* ctx = outGetContext();
  outSendArg(ctx, "CCX", side > 0 ? "leftOfContour" : "rightOfContour");
  outSendArg(ctx, "tr", "CCX");
}

void outCompOff() { outSendArg(outGetContext(), "tr", "CC0X"); }

int outAuxPathPoint(const Vec3d* point, int flag) {
  if (point == nullptr) return 0;
  OutputRecord rec;
  outRecClear(&rec, flag != 0 ? kRecLineXYZ : kRecRapidXYZ);
  outRecSetF64(&rec, kRecGeoX, point->x);
  outRecSetF64(&rec, kRecGeoY, point->y);
  outRecSetF64(&rec, kRecGeoZ, point->z);
  outSendRecord(outGetContext(), kChanGeometry36, &rec);
  return 0;
}

int outMacroArc(const MacroArcElement* arc) {
  if (arc == nullptr) return 0;
  outArcXY(outGetContext(), arc->direction <= 0.0 ? 1 : 0, arc->endX, arc->endY, arc->centerX,
           arc->centerY);
  return 0;
}

void outDisplayPolyline(const Vec3d* points, int count, const char* name, const char* comment,
                        const char* usage) {
  if (points == nullptr || count <= 0) return;
  CycleDescriptor* ctx = outGetContext();
  if (ctx == nullptr) return;
  // One lock for the whole polyline: worker threads send these, and the
  // host must see each polyline whole.
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  outDisplayBegin(ctx, name, comment, usage);
  for (int i = 0; i < count; ++i) {
    Vec3d p = points[i];
    framePtToolToNc(&p);
    if (i == 0) outDisplayMoveTo(ctx, p.x, p.y, p.z);
    outDisplayLineTo(ctx, p.x, p.y, p.z);
  }
  outDisplayEnd(ctx);
}

void outDisplayMarker(const Vec3d* point) {
  if (point == nullptr) return;
  CycleDescriptor* ctx = outGetContext();
  if (ctx == nullptr) return;
  Vec3d p = *point;
  framePtToolToNc(&p);
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  outDisplayPoint(ctx, p.x, p.y, p.z);
}

void outAdapterResetRun() { gState = OutAdapterState{}; }
