#include "cycles/common3d/common_cycle_descriptor.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/messages.h"
#include "base/number_format.h"
#include "base/text_helpers.h"
#include "cycle/phase_runner.h"
#include "cycles/common3d/common3d_record.h"
#include "cycles/common3d/geometry_convert.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "geometry/frame/working_frame.h"
#include "geometry/primitives/mat4.h"
#include "model/io/poly3df_file.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/path_output.h"
#include "output/kfy/kfy_writer.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "output/tools/tool_definition.h"

// Constant-initialised: ready before any code of the process runs.
constinit CycleDescriptor cyc3dCycleDescriptor = {
    .parent = &kernelCycleDescriptor,
    .cycleNumber = 0,
    .versionMajor = 5,
    .versionMinor = 0,
    .versionYear = 2001,
    .versionMonth = 3,
    .versionDay = 28,
    .title = "Talvora 3D Common Cycle",
    .id = "qzCyc3d",
    .slots =
        {
            cycNoOpZero,        // 0 positional arguments
            cyc3dInit,          // 1 init
            nullptr,            // 2 inherited
            nullptr,            // 3 inherited
            nullptr,            // 4 inherited
            nullptr,            // 5 inherited
            cycHelpParameters,  // 6 -P
            cycHelpAlgorithm,   // 7 -A
            cycHelpLayers,      // 8 -Y
            cycNoOpOne,         // 9 -D
            cyc3dReadParams,    // 10 read parameters, PCF mode
            cycNoOpOne,         // 11 read parameters, cfg mode
            cycNoOpOne,         // 12 prepare
            cyc3dExecute,       // 13 execute
            cycNoOpOne,         // 14 post-process
            cyc3dClose,         // 15 close
        },
};

namespace {

using Text = std::optional<std::string>;

constexpr int kRecMsgFile = 109;
constexpr int kRecLayers = 110;
// Origin of values the cycle sets itself.
constexpr int kOriginRuntime = 31;

// The polyhedron frame and its inverse (file to job coordinates).
Mat4 gPolyFrame;
Mat4 gPolyFrameInv;
bool gPolyFrameSet = false;

// The tool reference name of the last "*TOOL_REFERENCE".
std::string gToolReferenceName;


void setParam(CycleDescriptor* ctx, const char* name, const std::string& value) {
  ctx->params = paramListSet(ctx->params, name, value.c_str(), kOriginRuntime);
}

// 1 when the parameter name holds exactly "true".
bool paramIsTrue(const CycleDescriptor* ctx, const char* name) {
  const Text v = cyc3dParam(ctx, name);
  return v && *v == "true";
}

// Numbers as the C runtime reads them in the C locale (0 when none).
double atofC(const std::string& text) {
  double v = 0;
  strParseNumbers3(text.c_str(), &v, nullptr, nullptr);
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return 0;
  // strParseNumbers3 skips leading text; atof does not.
  const char c = text[first];
  if (!(c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9'))) return 0;
  return v;
}

int atoiC(const std::string& text) {
  const double v = atofC(text);
  return std::isfinite(v) && std::fabs(v) < 2e9 ? static_cast<int>(v) : 0;
}

using Setter = std::function<void(Cyc3dRecord&, const std::string&)>;

struct KeyRow {
  const char* key;
  Setter set;
};

Setter text(std::string Cyc3dRecord::*field) {
  return [field](Cyc3dRecord& r, const std::string& v) { r.*field = v; };
}
Setter number(double Cyc3dRecord::*field) {
  return [field](Cyc3dRecord& r, const std::string& v) { r.*field = atofC(v); };
}
Setter absolute(double Cyc3dRecord::*field) {
  return [field](Cyc3dRecord& r, const std::string& v) { r.*field = std::fabs(atofC(v)); };
}
Setter triple(Vec3d Cyc3dRecord::*field) {
  return [field](Cyc3dRecord& r, const std::string& v) { cycParseXyz(v.c_str(), &(r.*field)); };
}
// The value of the first row whose text equals v exactly, else other.
Setter choice(int Cyc3dRecord::*field, std::vector<std::pair<const char*, int>> rows, int other) {
  return [field, rows, other](Cyc3dRecord& r, const std::string& v) {
    int value = other;
    for (const auto& [t, n] : rows) {
      if (v == t) {
        value = n;
        break;
      }
    }
    r.*field = value;
  };
}
Setter flag(int Cyc3dRecord::*field) { return choice(field, {{"true", 1}}, 0); }

// Every key of the record after the two required ones, in table order.
const std::vector<KeyRow>& keyTable() {
  using R = Cyc3dRecord;
  static const std::vector<KeyRow> rows = {
      {"geoSource", text(&R::geoSource)},
      {"extraPolySource", text(&R::extraPolySource)},
      {"toolName", text(&R::toolName)},
      {"toolType", choice(&R::toolType, {{"ballMill", 1}, {"endMill", 2}}, 3)},
      {"cornerRadius", absolute(&R::cornerRadius)},
      {"allowance", number(&R::allowance)},
      {"coolant", choice(&R::coolant, {{"true", 1}}, 2)},
      {"spindleSpeed", number(&R::spindleSpeed)},
      {"spindleRotation", choice(&R::spindleRotation, {{"counterClockwise", 2}}, 1)},
      {"planeFeedrate", number(&R::planeFeedrate)},
      {"zFeedrate", number(&R::zFeedrate)},
      {"frameCs_o", triple(&R::frameCs_o)},
      {"frameCs_x", triple(&R::frameCs_x)},
      {"frameCs_y", triple(&R::frameCs_y)},
      {"frameCs_z", triple(&R::frameCs_z)},
      {"toolCs_o", triple(&R::toolCs_o)},
      {"toolCs_x", triple(&R::toolCs_x)},
      {"toolCs_y", triple(&R::toolCs_y)},
      {"toolCs_z", triple(&R::toolCs_z)},
      {"polyCs_o", triple(&R::polyCs_o)},
      {"polyCs_x", triple(&R::polyCs_x)},
      {"polyCs_y", triple(&R::polyCs_y)},
      {"polyCs_z", triple(&R::polyCs_z)},
      {"infeedDepth", absolute(&R::infeedDepth)},
      {"infeedLength", absolute(&R::infeedLength)},
      {"clearanceDistance", absolute(&R::clearanceDistance)},
      {"clearancePlane", number(&R::clearancePlane)},
      {"jumpStepDistance", number(&R::jumpStepDistance)},
      {"rapidMode", choice(&R::rapidMode, {{"plane", 0}}, 1)},
      {"surface", number(&R::surface)},
      {"depth", number(&R::depth)},
      {"boundaryMode", choice(&R::boundaryMode, {{"axis", 0}, {"to", 2}, {"past", 3}}, 1)},
      {"approachType", choice(&R::approachType, {{"axis", 1}, {"circle", 2}, {"ramp", 8}}, 3)},
      {"leavingType", choice(&R::leavingType, {{"axis", 1}, {"circle", 2}}, 3)},
      {"returnMacro", choice(&R::returnMacro, {{"true", 2}}, 1)},
      {"approachLength", number(&R::approachLength)},
      {"leavingLength", number(&R::leavingLength)},
      {"infeedDirection", flag(&R::infeedDirection)},
      {"reverseDirection", flag(&R::reverseDirection)},
      {"circularMacroSegmentAngle", absolute(&R::circularMacroSegmentAngle)},
      {"circularMacroDirection", absolute(&R::circularMacroDirection)},
      {"maxOutputLine", number(&R::maxOutputLine)},
      {"toolReference", choice(&R::toolReference, {{"tip", 1}}, 2)},
      {"lengthOfUnit", choice(&R::lengthOfUnit, {{"inch", 1}}, 0)},
      {"machiningTolerance", absolute(&R::machiningTolerance)},
      {"ncFormat", choice(&R::ncFormat, {{"dsplineFormat", 1}, {"polyFormat", 2}}, 0)},
      {"feedrateReductionAngle", absolute(&R::feedrateReductionAngle)},
      {"startPoint",
       [](R& r, const std::string& v) {
         if (cycParseXyz(v.c_str(), &r.startPoint) == 1) r.startPointSet = 1;
       }},
      {"smoothStepover", flag(&R::smoothStepover)},
      {"smoothStepOver", flag(&R::smoothStepover)},
      {"tempDirectory", text(&R::tempDirectory)},
      {"removeTempFiles", choice(&R::removeTempFiles, {{"false", 0}}, 1)},
      {"slopeCondition", choice(&R::slopeCondition,
                                {{"zlevel", 2}, {"mixed", 1}, {"true", 1}, {"horizontal", 3}}, 0)},
      {"slopeAngle", absolute(&R::slopeAngle)},
      {"tiltStrategy",
       choice(&R::tiltStrategy,
              {{"tilt", 3}, {"radial", 5}, {"lead", 1}, {"climb", 2}, {"lag", 2}, {"offset", 1}},
              0)},
      {"tiltAngle", number(&R::tiltAngle)},
      {"maxTiltAngle", number(&R::maxTiltAngle)},
      {"tiltOffset", number(&R::tiltOffset)},
      {"fanDistance", number(&R::fanDistance)},
      {"checkToolHolder", flag(&R::checkToolHolder)},
      {"avoidCollision", flag(&R::avoidCollision)},
      {"approachAxialLength", number(&R::approachAxialLength)},
      {"leavingAxialLength", number(&R::leavingAxialLength)},
      {"maxOutputAngle", number(&R::maxOutputAngle)},
      {"smoothVectors", flag(&R::smoothVectors)},
      {"smoothInterval", number(&R::smoothInterval)},
      {"pivotSmooth", flag(&R::pivotSmooth)},
      {"pivotHeight", number(&R::pivotHeight)},
      {"autoIndex", flag(&R::autoIndex)},
      {"maxSegmentAngle", number(&R::maxSegmentAngle)},
      {"connectMacroRadius", number(&R::connectMacroRadius)},
      {"connectMacroHeight", number(&R::connectMacroHeight)},
      {"fixedInclination", flag(&R::fixedInclination)},
      {"angleB", number(&R::angleB)},
      {"angleC", number(&R::angleC)},
      {"reducedFeedrate", number(&R::reducedFeedrate)},
  };
  return rows;
}

// "frame" with exactly five commas, stored with each comma as "/"; with it
// "frameOn" and "frameOff".
void readFrame(CycleDescriptor* ctx, Cyc3dRecord* rec) {
  const Text frame = cyc3dParam(ctx, "frame");
  if (!frame) return;
  std::string stored = *frame;
  int commas = 0;
  for (char& c : stored) {
    if (c == ',') {
      c = '/';
      ++commas;
    }
  }
  if (commas != 5) return;
  rec->frame = stored;
  if (const Text on = cyc3dParam(ctx, "frameOn")) rec->frameOn = *on == "true" ? 1 : 0;
  if (const Text off = cyc3dParam(ctx, "frameOff")) rec->frameOff = *off == "true" ? 1 : 0;
}

void removeIfNamed(std::string& name) {
  if (!name.empty() && name[0] != ' ') std::remove(name.c_str());
  name.clear();
}

}  // namespace

int cyc3dInit(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  const bool nc = paramIsTrue(ctx, "NCOutp");
  const bool drill = paramIsTrue(ctx, "drillPointsOutp");
  const bool original = paramIsTrue(ctx, "originalOutp");
  if (const Text precision = cyc3dParam(ctx, "precision")) numSetPrecision(atoiC(*precision));
  if (const Text geo = cyc3dParam(ctx, "geoSource")) setParam(ctx, "sourceGeometry", *geo);
  if (ctx->outputMode == kOutputKfy) {
    if (const Text geo = cyc3dParam(ctx, "geoSource")) {
      rec->geoSource = *geo;
      setParam(ctx, "sourceGeometry", *geo);
    }
    // Later readers of "geoSource" see the output file.
    if (const Text out = cyc3dParam(ctx, "geoOut")) setParam(ctx, "geoSource", *out);
  }
  Text msgFile;
  if (const Text language = cyc3dParam(ctx, "SystemLanguage")) msgFile = cyc3dParam(ctx, language->c_str());
  if (!msgFile) msgFile = cyc3dParam(ctx, "MessageFile");
  if (!msgFile) msgFile = rec->logFileName;

  struct Channel {
    uint16_t channel;
    OutWriterFn pof;
    OutWriterFn kfy;
    bool on;
  };
  // Channels without kFY text get the writer that writes nothing.
  const OutWriterFn none = pofWriteNothing;
  const Channel channels[] = {
      {kChanStatus, pofWriteStatus, kfyWriteStatus, true},
      {kChanSettings, pofWriteSettingLine, none, true},
      {kChanComments, pofWriteComment, kfyWriteComment, true},
      {kChanNcMark, pofWriteNcMark, none, nc},
      {kChanDetail1, pofWriteDetailMark1, none, ctx->detailLevel >= 1},
      {kChanDetail2, pofWriteDetailMark2, none, ctx->detailLevel >= 2},
      {kChanDetail3, pofWriteDetailMark3, none, ctx->detailLevel >= 3},
      {kChanArguments, pofWriteArg, kfyWriteArg, true},
      {kChanVariables, pofWriteVariable, kfyWriteVariable, true},
      {kChanMarkers, pofWriteMarker, none, true},
      {kChanDrillPoints, pofWriteDrillPoint, kfyWriteDrillPoint, drill},
      {kChanContour, pofWriteContourCh31, kfyWriteContour, true},
      {kChanNcBlocks, pofWriteNcBlock, kfyWriteNcBlock, nc},
      {kChanOriginalPath, pofWriteContourCh33, none, original},
      {kChanGeometry35, pofWriteContourCh35, none, true},
      {kChanGeometry36, pofWriteContourCh36, none, true},
      {kChanDisplayPolylines, nullptr, none, true},
      {kChanDisplayPoints, nullptr, none, true},
  };
  for (const Channel& c : channels) {
    if (c.on) outRegisterChannel(ctx, c.channel, c.pof, c.kfy, 1);
  }
  if (ctx->cfgMode == 1) ctx->toolOutput = 1;
  toolInstallDefinitionOutput();

  std::string layers;
  const auto addLayer = [&layers](unsigned channel) {
    char buf[16];
    std::snprintf(buf, sizeof buf, layers.empty() ? "%u" : ",%u", channel);
    layers += buf;
  };
  if (nc) addLayer(kChanNcMark);
  if (drill) addLayer(kChanDrillPoints);
  if (nc) addLayer(kChanNcBlocks);
  if (original) addLayer(kChanOriginalPath);
  for (unsigned channel : {12u, 35u, 36u, 41u, 42u}) addLayer(channel);

  cycSendStatusRecord(ctx, kRecCycleBegin, "cycle", ctx->title);
  cycSendStatusRecord(ctx, kRecMsgFile, "msgFile", msgFile->c_str());
  cycSendStatusRecord(ctx, kRecLayers, "layers", layers.c_str());
  outSendParamComments(ctx);
  outSendToolAxis(ctx, 0, 0, 1);
  if (const Text job = cyc3dParam(ctx, "ppJobID")) {
    const int part = atoiC(*job);
    if (part > 0) outPartBegin(ctx, part, nullptr, nullptr);
  }
  return 1;
}

std::optional<std::string> cyc3dParam(const CycleDescriptor* ctx, const char* name) {
  char* value = paramListGet(ctx->params, name, nullptr);
  if (value == nullptr) return std::nullopt;
  std::string s = value;
  memFree(value);
  return s;
}

int cyc3dReadParams(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec == nullptr) return 0;
  int result = 1;
  // The kFY output file replaces its file at the cycle begin: it must never
  // be one of the job's own inputs.
  if (kfyOutputIsJobInput(ctx) == 1) {
    cycSendStatusRecord(ctx, kRecAbort, "error", "geoOut names an input file of the job");
    result = 0;
  }
  const Text poly = cyc3dParam(ctx, "polySource");
  if (poly) rec->polySource = *poly;
  if (!poly && rec->polySource.empty()) {
    cycSendStatusRecord(ctx, kRecAbort, "error", "1,(polySource)");
    result = 0;
  }
  if (const Text d = cyc3dParam(ctx, "toolDiameter")) {
    rec->toolDiameter = atofC(*d);
  } else {
    cycSendStatusRecord(ctx, kRecAbort, "error", "1,(toolDiameter)");
    result = 0;
  }
  for (const KeyRow& row : keyTable()) {
    if (const Text v = cyc3dParam(ctx, row.key)) row.set(*rec, *v);
  }
  readFrame(ctx, rec);
  rec->cfgFile = cyc3dTakeTempName(rec, "cfg");
  if (!cyc3dParam(ctx, "retractPlane")) {
    rec->retractPlane = rec->clearancePlane;
  } else {
    rec->retractPlane = atofC(*cyc3dParam(ctx, "retractPlane"));
  }
  if (rec->clearancePlane < rec->retractPlane) rec->retractPlane = rec->clearancePlane;
  outSetClearanceOffset(rec->clearancePlane - rec->retractPlane);
  return result;
}

int cyc3dExecute(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec == nullptr) return 0;
  cycSetPolyFrame(&rec->polyCs_o, &rec->polyCs_x, &rec->polyCs_y, &rec->polyCs_z);
  frameReset();
  frameSetNcSystem(&rec->frameCs_o, &rec->frameCs_x, &rec->frameCs_y, &rec->frameCs_z);
  frameSetToolSystem(&rec->toolCs_o, &rec->toolCs_x, &rec->toolCs_y, &rec->toolCs_z);
  frameActivate();
  if (!rec->geoSource.empty()) cyc3dConvertGeometry(ctx);
  outSetContext(ctx);
  outSetNcFormat(rec->ncFormat);
  if (!rec->frame.empty()) {
    outSendArg(ctx, "frame", rec->frame.c_str());
    if (rec->frameOn == 1) outSendArg(ctx, "tr", "frameOn");
  }
  PolyTriangleSet* tris = poly3dfReadTriangles(rec->polySource.c_str(), "POLY", 0);
  PolyFacetSet* facets = poly3dfReadFacets(rec->polySource.c_str(), "POLY", 0, 0);
  const bool read = tris != nullptr && facets != nullptr;
  poly3dfFreeTriangleSets(tris);
  poly3dfFreeFacetSets(facets);
  if (!read) {
    msgNumbered(9, 332, "* Fehler beim lesen der Datei %s", rec->polySource.c_str());
    cyc3dRemoveTempFiles(ctx);
    return 0;
  }
  if (!rec->frame.empty()) {
    if (rec->frameOff == 1) outSendArg(ctx, "tr", "frameOff");
    rec->frame.clear();
  }
  cyc3dRemoveTempFiles(ctx);
  return 1;
}

int cyc3dClose(CycleDescriptor* ctx) {
  // Also after a failed or cancelled run: no temporary file outlives it.
  cyc3dRemoveTempFiles(ctx);
  return cycBaseClose(ctx);
}

void cyc3dRemoveTempFiles(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec == nullptr || rec->removeTempFiles != 1) return;
  for (std::string* name : {&rec->bndFile, &rec->prfFile, &rec->pr2File, &rec->sncFile,
                            &rec->spareTempFile, &rec->cfgFile, &rec->trcFile, &rec->segmentFile}) {
    removeIfNamed(*name);
  }
  for (const std::string& name : rec->ownedTempFiles) std::remove(name.c_str());
  rec->ownedTempFiles.clear();
  for (const char* name : {"tmp.pcf", "tmp.pof", "tmp.dxf", "tmp.kfy"}) std::remove(name);
}

int cyc3dReadToolReference(CycleDescriptor* ctx) {
  if (ctx == nullptr) return 0;
  const CfgLineValue ref = cfgLineGet(ctx->cfgLines, "*TOOL_REFERENCE");
  if (!ref.found || ref.value.empty()) return 0;
  gToolReferenceName = ref.value;
  const CfgLineValue shift = cfgLineGet(ctx->cfgLines, ("*TREF_" + gToolReferenceName).c_str());
  if (!shift.found) {
    outSendError(ctx, ("770," + gToolReferenceName).c_str());
    return 0;
  }
  outSetToolRefShift(atofC(shift.value));
  outSendError(ctx, ("771," + gToolReferenceName).c_str());
  return 1;
}

const std::string& cyc3dToolReferenceName() { return gToolReferenceName; }

int cycSetPolyFrame(const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z) {
  Mat4 axes, shift;
  mat4FromAxes(x, y, z, &axes);
  mat4FromTranslation(origin, &shift);
  mat4Multiply(&axes, &shift, &gPolyFrame);
  const int inverted = mat4Invert(&gPolyFrame, &gPolyFrameInv);
  gPolyFrameSet = inverted == 0;
  if (gPolyFrameSet) poly3dfSetPolyFrameInverse(&gPolyFrameInv);
  return inverted;
}

void cycPointToPolyFrame(Vec3d* p) {
  if (p == nullptr || !gPolyFrameSet) return;
  Vec3d q = *p;
  mat4ApplyPoint(&q, &gPolyFrameInv, p);
}
