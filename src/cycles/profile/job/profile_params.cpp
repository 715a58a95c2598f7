#include "cycles/profile/job/profile_params.h"

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text_helpers.h"
#include "cycles/common3d/common3d_record.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "cycles/profile/job/job_record.h"
#include "formats/settings/job_keywords.h"

ProfParams profParams;

namespace {

// The leading number of text in the C locale, 0 when there is none or it is
// not finite.
double number(const std::string& text) {
  const double v = strToDoubleC(text.c_str(), nullptr);
  return std::isfinite(v) ? v : 0;
}

int choice(const std::string& text, const std::vector<std::pair<const char*, int>>& words,
           int other) {
  for (const auto& [word, value] : words) {
    if (text == word) return value;
  }
  return other;
}

// Stores a value into the job record's field of keyword, as a job-file line
// would (integers truncated and saturated, texts cut to their field).
void setJob(const char* keyword, double v) {
  const int row = jobKeywordFind(keyword);
  if (row < 0) return;
  const double numbers[4] = {v, v, v, v};
  jobStoreValue(&profJobKeywords[row], numbers, "", false);
}
void setJob(const char* keyword, const Vec3d& v) {
  const int row = jobKeywordFind(keyword);
  if (row < 0) return;
  const double numbers[4] = {v.x, v.y, v.z, 0};
  jobStoreValue(&profJobKeywords[row], numbers, "", false);
}
void setJob(const char* keyword, const std::string& text) {
  const int row = jobKeywordFind(keyword);
  if (row < 0) return;
  const double numbers[4] = {};
  jobStoreValue(&profJobKeywords[row], numbers, text.c_str(), false);
}

}  // namespace

void profReadOwnParams(CycleDescriptor* ctx) {
  ProfParams& p = profParams;
  auto readChoice = [&](const char* key, int32_t* field,
                        const std::vector<std::pair<const char*, int>>& words, int other) {
    if (const auto v = cyc3dParam(ctx, key)) *field = choice(*v, words, other);
  };
  auto readNumber = [&](const char* key, double* field) {
    if (const auto v = cyc3dParam(ctx, key)) *field = number(*v);
  };
  if (const auto v = cyc3dParam(ctx, "strategy")) {
    p.strategy = choice(*v,
                        {{"standardX", 2},
                         {"standardY", 1},
                         {"equidistant", 3},
                         {"perpendicular", 5},
                         {"regular", 6},
                         {"profile", 8},
                         {"flow", 9}},
                        p.strategy);
  }
  readChoice("cuttingLine", &p.cuttingLine, {{"oneWay", 1}}, 2);
  readChoice("climbMode", &p.climbMode, {{"upWard", 2}, {"downWard", 3}}, 1);
  readChoice("feedJump", &p.feedJump, {{"true", 1}}, 2);
  readNumber("profileMin", &p.profileMin);
  readNumber("profileMax", &p.profileMax);
  readChoice("infeedStrategy", &p.infeedStrategy, {{"constant", 1}}, 2);
  readNumber("minScallopHeight", &p.minScallopHeight);
  readNumber("minInfeed", &p.minInfeed);
  readChoice("originalPath", &p.originalPath, {{"true", 1}}, 0);
  readChoice("crossOptimization", &p.crossOptimization, {{"true", 1}, {"before", 2}, {"only", 3}},
             0);
  readNumber("boundaryReduction", &p.boundaryReduction);
  readChoice("randomPoints", &p.randomPoints, {{"true", 1}}, 0);
  readNumber("collisionHeight", &p.collisionHeight);
  readChoice("limitToDepth", &p.limitToDepth, {{"true", 1}}, 0);
  readNumber("slopeFlatAngle", &p.slopeFlatAngle);
  readChoice("considerTaperAngle", &p.considerTaperAngle, {{"true", 1}}, 0);
  readNumber("taperAngle", &p.taperAngle);
  readNumber("tipLength", &p.tipLength);
  readNumber("taperHeight", &p.tipLength);  // read after tipLength: it wins
  if (const auto v = cyc3dParam(ctx, "sortToolpath"))
    setJob("*CLIP_SORT", *v == "true" ? 2.0 : 0.0);
  if (const auto v = cyc3dParam(ctx, "clearAngle")) setJob("*CLEAR_ANGLE", number(*v));
  if (const auto v = cyc3dParam(ctx, "macroAvoidance")) {
    setJob("*MACRO_AVOIDANCE", choice(*v, {{"modify", 2}, {"trim", 1}}, 0));
  }
  if (const auto v = cyc3dParam(ctx, "stockHeight")) setJob("*STOCK_HEIGHT", number(*v));
  if (const auto v = cyc3dParam(ctx, "stockSource")) setJob("*STOCK_3DF", v->substr(0, 256));
}

void profJobFromParams(CycleDescriptor* ctx) {
  const Cyc3dRecord* r = cyc3dRecordOf(ctx);
  if (r == nullptr) return;
  const ProfParams& p = profParams;
  setJob("*BOUNDARY", r->bndFile);
  setJob("*PROFIL", r->prfFile);
  setJob("*PROFIL2", r->pr2File);
  setJob("*NAME_SYNC", r->sncFile);
  setJob("*BAHN_CRV", r->spareTempFile);
  setJob("*APPROX", r->polySource);
  if (!r->extraPolySource.empty()) setJob("*EXTRA_3DF", r->extraPolySource);
  setJob("*WKZNUMMER", number(r->toolName));
  setJob("*FRTYP", r->toolType);
  setJob("*FRRADIUS", r->toolDiameter * 0.5);
  setJob("*FRBOGEN", r->cornerRadius);
  setJob("*AUFMASS", r->allowance);
  setJob("*KUEHLMITTEL", r->coolant);
  setJob("*DREHZAHL", r->spindleSpeed);
  setJob("*DREHRICHT", r->spindleRotation);
  setJob("*XVORSCHUB", r->planeFeedrate);
  setJob("*ZVORSCHUB", r->zFeedrate);
  setJob("*RVORSCHUB", r->reducedFeedrate);
  setJob("*NCKO_O", r->frameCs_o);
  setJob("*NCKO_X", r->frameCs_x);
  setJob("*NCKO_Y", r->frameCs_y);
  setJob("*NCKO_Z", r->frameCs_z);
  setJob("*WZKO_O", r->toolCs_o);
  setJob("*WZKO_X", r->toolCs_x);
  setJob("*WZKO_Y", r->toolCs_y);
  setJob("*WZKO_Z", r->toolCs_z);
  setJob("*VERTZUSTEL", r->infeedDepth);
  setJob("*HORIZUSTEL", r->infeedLength);
  setJob("*SICHDIST", r->clearanceDistance);
  setJob("*SICHEBENE", r->retractPlane);
  setJob("*SICH_MAXDIST", r->jumpStepDistance);
  setJob("*ZUST_EILGANG", r->rapidMode);
  setJob("*OBERFL", r->surface);
  setJob("*TIEF", r->surface - std::fabs(r->depth));
  setJob("*BOUND_MODE", r->boundaryMode);
  setJob("*MACRO_START", r->approachType);
  setJob("*MACRO_END", r->leavingType);
  setJob("*MACRO_RETURN", r->returnMacro);
  setJob("*MACRO_SRAD", r->approachLength);
  setJob("*MACRO_ERAD", r->leavingLength);
  setJob("*INV_ZUST", r->infeedDirection);
  setJob("*INV_RICHT", r->reverseDirection);
  setJob("*MACRO_IWIN", r->circularMacroSegmentAngle);
  setJob("*MACRO_EWIN", r->circularMacroDirection);
  setJob("*STEP_MAX", r->maxOutputLine);
  setJob("*TOOL_TIP", r->toolReference);
  setJob("*INCH_MODE", r->lengthOfUnit);
  setJob("*PRECISION", r->machiningTolerance);
  setJob("*FRED_ANGLE", r->feedrateReductionAngle);
  setJob("*TMP_DIR", r->tempDirectory);
  setJob("*SYNC_OK", r->syncFileWritten);
  setJob("*CONNECT_SMOOTH", r->smoothStepover);
  setJob("*SLOPE_MODE", r->slopeCondition);
  setJob("*SLOPE_ANGLE", r->slopeAngle);
  setJob("*SLOPE_FLAT_ANGLE", p.slopeFlatAngle);
  setJob("*BEARBEITRICHT", p.strategy);
  setJob("*LAUF", p.cuttingLine);
  setJob("*AUFSTIEG", p.climbMode);
  setJob("*FEED_JUMP", p.feedJump);
  setJob("*PROFIL_MIN", p.profileMin);
  setJob("*PROFIL_MAX", p.profileMax);
  setJob("*ZUSTELL_ART", p.infeedStrategy);
  setJob("*SCAL_HEIGHT", p.minScallopHeight);
  setJob("*ZUST_MIN", p.minInfeed);
  setJob("*ZUST_BAHN", p.originalPath);
  setJob("*BND_REDUCTION", p.boundaryReduction);
  setJob("*RANDOM_POINTS", p.randomPoints);
  if (jobRecord.bearbeitricht == 5 && jobRecord.invZust == 0) {
    setJob("*INV_RICHT", 1.0 - jobRecord.invRicht);
  }
  setJob("*CROSS_OPTI", p.crossOptimization);
  setJob("*LIMIT_HEIGHT", p.collisionHeight);
  setJob("*PLANAR_CUT", p.limitToDepth);
  setJob("*TAPER_CHECK", p.considerTaperAngle);
  setJob("*TAPER_AVOID", p.considerTaperAngle);
  setJob("*TAPER_HEIGHT", p.tipLength);
  setJob("*TIP_LENGTH", p.tipLength);
  setJob("*TAPER_ANGLE", p.taperAngle);
}
