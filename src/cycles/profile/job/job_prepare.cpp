#include "cycles/profile/job/job_prepare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "base/messages.h"
#include "boundaries/bnd_file.h"
#include "boundaries/bnd_library.h"
#include "boundaries/links/link_params.h"
#include "cycles/profile/job/boundary_projection.h"
#include "cycles/profile/job/job_boundaries.h"
#include "cycles/profile/links/facet_link_output.h"
#include "geometry/curves/bezier_link.h"
#include "geometry/errors/error_state.h"
#include "geometry/frame/working_frame.h"
#include "geometry/pline/pline_reduce.h"
#include "model/collision/holder_check.h"
#include "model/collision/holder_clearance.h"
#include "model/collision/holder_meshes.h"
#include "model/contact/contact_settings.h"
#include "model/io/facet_client.h"
#include "model/io/model_load.h"

double jobScale = 1;
ModelRec jobModel{};
ToolShape jobTool{};
CycleTechRecord jobTechnology{};

namespace {

constexpr double kEps = 0.00001;
// The smallest precision a job may ask for, in job units.
constexpr double kMinPrecision = 0.0001;
// The longest output line a job gets when it names none, in job units.
constexpr double kDefaultStepMax = 10;
// Option words of the job's comment.
constexpr const char* kOptionAllHori = "ALL_HORI";
constexpr const char* kOptionMacroReverse = "ALLOW_MACRO_REVERSE";
// The smallest model tolerance, in internal units.
constexpr double kMinModelTolerance = 0.0001;
// Messages around the projection of the job's boundary.
constexpr int kMsgProjectionStart = 820;
constexpr int kMsgProjectionEnd = 822;

bool textSet(const char* text) { return text[0] != '\0' && text[0] != ' '; }

double degToRad(double deg) { return deg * std::numbers::pi / 180.0; }

int16_t approachKindOf(int16_t start, int16_t old) {
  switch (start) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 4: return 9;
    case 6: return 6;
    case 8: return 8;
    case 100: return 100;
    default: return old;
  }
}

int16_t retractKindOf(int16_t end, int16_t old) {
  switch (end) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 4: return 9;
    case 100: return 100;
    default: return old;
  }
}

int16_t turnedKind(int16_t kind) {
  if (kind == 1) return 3;
  if (kind == 2) return 4;
  return kind;
}

Vec3d vec3(const double (&v)[3]) { return Vec3d{v[0], v[1], v[2]}; }

// Facets a kFY surface file into a 3DF file in the job's temporary
// directory (extra.3df for kind 0, clip.3df for kind 1, mill.3df else),
// whose name goes to out.  1, or -1 (with message 332 naming the surface
// file: the surfaces must not vanish silently).
int jobFacetSurfaces(const JobRecord& job, const char* kfyFile, double tolerance, int kind,
                     char (&out)[257]) {
  const char* name = kind == 0 ? "extra.3df" : kind == 1 ? "clip.3df" : "mill.3df";
  if (pathJoin(out, sizeof out, job.tmpDir, name) == 0) {
    jobTempFileNote(out);
    if (poly3dfFacetKfyFile(kfyFile, out, job.dllDir, tolerance) >= 0) return 1;
  }
  msgNumbered(9, kMsgSurfaceUnreadable, "* Fehler beim lesen der Datei %s", kfyFile);
  return -1;
}

// The number after "=" following the option word, or false.
bool commentNumber(const char* comment, const char* word, double* value) {
  const char* at = std::strstr(comment, word);
  if (at == nullptr) return false;
  const char* eq = std::strchr(at + std::strlen(word), '=');
  if (eq == nullptr) return false;
  *value = std::strtod(eq + 1, nullptr);
  return true;
}

// The larger side of the box of the first boundary of a profile file, or -1
// when none can be read.
double jobProfileBoxSize(const char* file) {
  BoundaryRec* b = bndReadFile(file, 0, 0);
  if (b == nullptr) return -1;
  const double size = std::max(b->xMax - b->xMin, b->yMax - b->yMin);
  bndFreeList(b);
  return size;
}

// The holder and head clearance of the link parameters from the job.
void setJobHolder(JobRecord& job) {
  linkParams.holderCheck = job.holdcheck;
  linkParams.holderCheckMode = job.holdcheckMode;
  job.holdcheckClearDiameter = 2 * job.frradius * job.holdcheckClearfactor;
  if (job.wcoll != 0 && std::fabs(job.wcollHtol) >= kEps) holderClearanceSetMargin(job.wcollHtol);
  double extra = 0.1;
  if (std::fabs(job.wcollHtol) < kEps) {
    holderClearanceSetExact(1);
    extra = 0;
  }
  holderClearanceInit(&linkParams.holderClearance, &jobTool, extra, job.length1, job.length2,
                      job.totalToolLength, job.diameter1, job.diameter2);
  holderClearanceAddHead(&linkParams.holderClearance, extra, job.diameter3, job.length3,
                         job.diameter4, job.length4);
  holderSetFixedAxis(1);
}

// Clip surfaces, taken from the extra surfaces when the job says so.
void setJobClipSurfaces(JobRecord& job) {
  if (job.useExtraAsClip != 0) {
    std::memcpy(job.clipKfy, job.extraKfy, sizeof job.clipKfy);
    job.clipCount = job.extraCount;
    job.clipTol = job.extraTol;
    job.extraCount = 0;
  }
  if (job.clipCount > 0) {
    if (jobFacetSurfaces(job, job.clipKfy, job.clipTol, 1, job.clip3df) < 0) job.clipCount = 0;
  } else if (textSet(job.clip3df)) {
    job.clipCount = 1;
  }
}

// Macro avoidance, macro reverse, link and holder switches and the
// reduction settings of the job.
void setJobLinkSwitches(JobRecord& job, double stepoverAsValidated) {
  curveLinkSetStepover(job.horizustel);
  if (job.macroAvoidance == 1) linkParams.trimLength = std::min(stepoverAsValidated, jobTool.radius);
  if (job.macroAvoidance == 2) job.allowMacroReverse = 1;
  if (std::strstr(job.a1, kOptionMacroReverse) != nullptr) job.allowMacroReverse = 1;
  if (job.allowMacroReverse != 0) {
    linkParams.macroReverse = 1;
    linkSetMacroReverse(1);
  }
  if (job.toolContour[0] != '\0') {
    std::memcpy(job.holderKfy, job.toolContour, sizeof job.holderKfy);
    std::memcpy(job.headKfy, job.toolContour, sizeof job.headKfy);
  }
  contactSetClipFactor(job.clipFac);
  linkSetStepMode(job.ncstep);
  if (job.macroAvoidance == 2 && job.ncstep == 2) linkSetSurfaceLinkLift(1);
  holderSetMeshTolerances(job.holder3dfTol, job.head3dfTol);
  if (job.toolContour[0] != '\0') {
    if (job.holder3df[0] == '\0') std::memcpy(job.holder3df, job.approx, sizeof job.holder3df);
    if (job.head3df[0] == '\0') std::memcpy(job.head3df, job.approx, sizeof job.head3df);
  } else if (jobTool.shankDiameter > 2 * jobTool.radius) {
    holderSetSilentShankCheck(1);
  }
  if (job.precAngle > kEps) contactSetPrecisionAngle(job.precAngle);
  plineReduceSetLnRed(job.lnred);
  vyrErrSetDir(job.tmpDir);
  plineReduceSetMode(job.reduceMode);
}

// The NC and tool systems of the job; a system that cannot be inverted is
// reported and the run goes on without it.
void setJobFrame(const JobRecord& job) {
  const Vec3d ncO = vec3(job.nckoO), ncX = vec3(job.nckoX), ncY = vec3(job.nckoY),
              ncZ = vec3(job.nckoZ);
  const Vec3d toolO = vec3(job.wzkoO), toolX = vec3(job.wzkoX), toolY = vec3(job.wzkoY),
              toolZ = vec3(job.wzkoZ);
  frameSetNcSystem(&ncO, &ncX, &ncY, &ncZ);
  frameSetToolSystem(&toolO, &toolX, &toolY, &toolZ);
  if (std::fabs(job.clearAngle) >= kEps && (job.bearbeitricht == 1 || job.bearbeitricht == 2)) {
    frameRotateTool(job.clearAngle);
  }
  if (frameActivate() < 0) {
    msgNumbered(9, 502, "* Fehler beim Initialisieren von NC/Tool-System", nullptr);
    msgNumbered(9, 503, "* NC/Tool-System kann nicht beruecksichtigt werden", nullptr);
  }
}

// The job's boundary projected onto its part along *BND_ZVEC: *BOUNDARY
// then names the projected file.  The projection works in a frame of its
// own, so the job's frame is set up again afterwards.  -1 (message 304)
// when no projected boundary was made: the plane boundary it was drawn as
// is not the region to machine.
int projectJobBoundary(JobRecord& job) {
  msgNumbered(9, kMsgProjectionStart, "* Start create boundary", nullptr);
  const Vec3d direction = vec3(job.bndZvec);
  char projected[sizeof job.boundary];
  std::memcpy(projected, job.boundary, sizeof projected);
  // The projection chooses its own working size from the radius in the
  // job's units.
  const int result = bndProjectBoundaryFile(
      projected, sizeof projected, job.approx, job.clip3df, job.extra3df, job.tmpDir,
      job.extraCount > 0 ? 1 : 0, job.multiPoly, direction, job.frradius / jobScale);
  msgNumbered(9, kMsgProjectionEnd, "* End create boundary", nullptr);
  setJobFrame(job);
  if (result < 0 || std::strcmp(projected, job.boundary) == 0) {
    msgNumbered(9, 304, "* Fehler: Boundary kann nicht generiert werden", nullptr);
    return -1;
  }
  std::memcpy(job.boundary, projected, sizeof job.boundary);
  return 0;
}

// The tool of the job: type and radii from the job, then the allowance.
// -1 (with its message) when the job's tool has no radius: nothing could be
// cut with it.
int setJobTool(JobRecord& job) {
  if (!(job.frradius > kEps)) {
    msgNumberedReal(9, kMsgNoToolRadius, "* Error: tool radius %3.3f is not greater than 0",
                    job.frradius / jobScale);
    return -1;
  }
  if (std::fabs(job.taperAngle) < kEps) job.taperCheck = 0;
  if (job.tipLength < kEps) job.tipLength = job.taperHeight;
  jobTool = ToolShape{};
  jobTool.radius = job.frradius;
  jobTool.length = job.tipLength;
  jobTool.shankDiameter = job.shaftDiameter;
  jobTool.taperLength = job.chamferLength;
  jobTool.taperAngle = job.taperAngle;
  jobTool.taperOn = (job.taperCheck != 0 && job.taperAvoid != 0) ? 1 : 0;
  if (job.frtyp == 2) {
    jobTool.type = kToolFlat;
    jobTool.cornerRadius = 0;
  } else if (job.frtyp == 3) {
    jobTool.type = kToolTorus;
    jobTool.cornerRadius = job.frbogen;
  } else {
    jobTool.type = kToolBall;
    jobTool.cornerRadius = jobTool.radius;
  }
  if (job.frtyp == 1 || job.frtyp == 3) {
    if (job.toolTip == 1) msgNumbered(2, 504, "* APT Ausgabe fuer Werkzeugspitze", nullptr);
    if (job.toolTip == 2) msgNumbered(2, 505, "* APT Ausgabe fuer Werkzeugmittelpunkt", nullptr);
  }
  toolShapeApplyAllowance(&jobTool, job.aufmass, job.toolTip);
  return 1;
}

// The model's sampling settings from the job.
void setJobModelSettings(const JobRecord& job) {
  jobModel.contactMode = job.boundMode;
  jobModel.maxStep = job.auflmax;
  if (jobTool.cornerRadius < 1) jobModel.maxStep *= 0.5;
  jobModel.minStep = job.auflmin;
  jobModel.profileStep = job.profStep;
  if (job.bearbeitrand == 1) jobModel.boundaryFlag = 0;
  jobModel.randomPoints = job.randomPoints;
  if (jobModel.minStep < kMinModelTolerance) {
    jobModel.minStep = kMinModelTolerance;
    msgNumberedReal(9, 514, "* Minimale Berechnungs-Schrittweite korrigiert auf %3.5f",
                    kMinModelTolerance / jobScale);
  }
  if (jobModel.maxStep < jobModel.minStep) {
    jobModel.maxStep = jobModel.minStep;
    msgNumberedReal(9, 515, "* Maximale Berechnungs-Schrittweite korrigiert auf %3.5f",
                    jobModel.maxStep / jobScale);
  }
  if (jobModel.maxStep > job.stepMax) jobModel.maxStep = job.stepMax;
}

void fillLinkParams(JobRecord& job) {
  MacroParams& m = linkParams.macro;
  m.approachKind = approachKindOf(job.macroStart, m.approachKind);
  m.retractKind = retractKindOf(job.macroEnd, m.retractKind);
  if (job.macroStart == 8) {
    macroSetRampOnPath(1);
    macroSetRampLength(job.macroTlength);
    m.approachPlungeAngle = degToRad(job.macroSrad);
  }
  if (job.macroStart == 100) macroSetApproachFileName(job.macroSname);
  if (job.macroEnd == 100) macroSetRetractFileName(job.macroEname);
  if (job.bearbeitricht == 7) {
    m.approachKind = turnedKind(m.approachKind);
    m.retractKind = turnedKind(m.retractKind);
  }
  if (job.sichdist < 0) job.sichdist = -job.sichdist;
  linkParams.safetyDistance = job.sichdist;
  linkParams.safetyPlane = job.sichebene;
  linkParams.stepMin = job.stepMin;
  linkParams.stepMax = job.stepMax;
  linkParams.checkPlane = job.checkPlane;
  if (job.bearbeitricht == 10) job.lauf = 1;
  int16_t mode = (job.lauf == 1 && job.bearbeitricht != 7) ? 0 : 1;
  if (job.zustellArt == 4 && job.bearbeitricht != 9) mode = 1;
  if (mode != 0 && job.connectSmooth != 0) mode = 2;
  linkParams.pathLinkMode = mode;
}

// *MILL_3DF named after *MILL_KFY: its last three characters become "3df".
void jobMillSurfaceName(JobRecord& job) {
  std::snprintf(job.mill3df, sizeof job.mill3df, "%s", job.millKfy);
  const size_t n = std::strlen(job.mill3df);
  if (n >= 3) std::memcpy(job.mill3df + n - 3, "3df", 3);
}

// Automatic boundaries generated from the part surfaces (offset, outline or
// z-boundaries) become the contact boundaries; outline boundaries are
// bounded by their box.  A boundary that is to be the pocket strategy's
// profile is written as one.  -1 when the generation fails.
int setJobBoundaries(JobRecord& job) {
  const bool pocketProfile = job.ignoreProfile != 0 && job.bearbeitricht == 10;
  if (job.boundStrategy != 1) {
    if (pocketProfile) {
      bndWriteAsKfyContours(job.boundary, job.profil);
      job.boundary[0] = '\0';
    }
    return 0;
  }
  profStoreTransformation(jobScale, job.wzkoO, job.wzkoX, job.wzkoY, job.wzkoZ);
  if (job.testMc != 0) jobMillSurfaceName(job);
  if (job.allowBackdraft != 0) bndDllSetAllowBackdraft(1);
  const AutoBoundaryJob autoJob{job.dllDir, job.tmpDir,  job.millKfy, job.precision / jobScale,
                                job.millBnd, &jobTool,   job.cbndName, job.mill3df,
                                sizeof job.cbndName};
  int result = -1;
  if (job.usePbound == 1) {
    result = bndAutoOffsetBoundaries(autoJob);
  } else if (job.usePbound == 2) {
    result = bndAutoOutlineBoundaries(autoJob);
  } else if (pathJoin(job.cbndName, sizeof job.cbndName, job.tmpDir, "bound.bnd") == 0) {
    jobTempFileNote(job.cbndName);
    result = bndDllComputeZBoundary(job.dllDir, job.mill3df, (job.frradius + 1) / jobScale,
                                    job.cbndName);
  }
  if (result < 0) {
    // The offset and outline report their own failure.
    if (job.usePbound != 1 && job.usePbound != 2) {
      msgNumbered(9, 304, "* Cannot generate boundary", nullptr);
    }
    return -1;
  }
  if (job.usePbound == 2) {
    if (pathJoin(job.boundary, sizeof job.boundary, job.tmpDir, "bound.bnd") != 0) return -1;
    jobTempFileNote(job.boundary);
    // The frame does not scale yet: the boundaries are read in the job's
    // units, and so is the margin.
    bndWriteBoxFile(job.cbndName, job.boundary, (job.frradius + 0.1) / jobScale);
  } else {
    std::memcpy(job.boundary, job.cbndName, sizeof job.boundary);
    if (pocketProfile) {
      bndWriteAsKfyContours(job.cbndName, job.profil);
      job.boundary[0] = '\0';
    }
  }
  jobModel.boundaryFlag = 1;
  return 0;
}

}  // namespace

const char* const kScaledLengthKeywords[kScaledLengthCount] = {
    "*STARTPT", "*REF_CENTER", "*FRRADIUS", "*FRBOGEN", "*VERTZUSTEL", "*HORIZUSTEL", "*AUFMASS",
    "*OBERFL", "*TIEF", "*SICHDIST", "*SICHEBENE", "*WKZWECHSEL_Z", "*WKZWECHSEL_X",
    "*WKZWECHSEL_Y", "*START", "*ENDE", "*AUFLMAX", "*AUFLMIN", "*MACRO_SRAD", "*MACRO_ERAD",
    "*MACRO_SABST", "*MACRO_EABST", "*MACRO_THEIGHT", "*MACRO_TRAD", "*SCAL_HEIGHT", "*ZUST_MIN",
    "*STEP_MAX", "*STEP_MIN", "*SICH_MAXDIST", "*PROFIL_MIN", "*PROFIL_MAX", "*PROF_STEP",
    "*BND_REDUCTION", "*PLANE_OFFS", "*PRECISION", "*TOTAL_TOOL_LENGTH", "*CUTTING_LENGTH",
    "*LENGTH1", "*LENGTH2", "*DIAMETER1", "*DIAMETER2", "*OFFSET", "*OFFSET_5AX", "*SINTERVAL",
    "*CLIP_HEIGHT", "*ADD_OFFSET", "*LIMIT_HEIGHT", "*LENGTH3", "*LENGTH4", "*DIAMETER3",
    "*DIAMETER4", "*SEG_RADIUS", "*CHECK_OFFSET", "*DRAG_ALLOWANCE", "*SEG_HEIGHT", "*RESOLUTION",
    "*TIP_LENGTH", "*SHAFT_DIAMETER", "*CHAMFER_LENGTH", "*GAP_OFFSET", "*GAP_WIDTH",
    "*TRIM_OFFSET", "*WCOLL_HTOL", "*AUFMASS_POLY", "*AUFMASS_HORI", "*ZOFFSET", "*CLIP_OFFSET",
    "*FILLET_RADIUS", "*INFEED_RADIUS", "*MACRO_TLENGTH", "*REFPLANE", "*REFHEIGHT",
    "*TOOL_RAYHEIGHT", "*TOOL_RAYUPPERHEIGHT", "*TOOL_RAYLOWERHEIGHT", "*BOUND_OFFSET",
    "*TRAILWIDTH", "*TRAILHEIGHT", "*TRAILDEPTH", "*HEATEXPANSION", "*LASERFOCUSLENGTH",
    "*RAMPLENS_FREESTART", "*RAMPLENS_PATHCONTACT", "*RAMPLENS_MODELEDGE", "*RAMPLENE_FREESTART",
    "*RAMPLENE_PATHCONTACT", "*RAMPLENE_MODELEDGE", "*RAMP_STEP", "*TOOL_REFHEIGHT",
    "*HOLDER_CLEARANCE", "*HEAD_CLEARANCE", "*MAX_CLEAR_DIST", "*HOLDER_3DF_TOL", "*HEAD_3DF_TOL",
    "*RADIUS", "*STOCK_HEIGHT", "*PLANE_OFFSET", "*ZFILLET", "*MACRO_SHEIGHT", "*CENTER_HEIGHT",
    "*BARREL_HEIGHT", "*BARREL_RADIUS", "*PARTIAL_FROM", "*PARTIAL_TO", "*MAXDEV", "*MESH_OFFSET",
};

void jobApplyHorizontalAllowance(JobRecord& job) {
  if (job.frtyp == 1) job.frbogen = job.frradius;
  if (job.frtyp == 2) job.frbogen = 0;
  job.frradius += job.aufmassHori;
  if (job.frradius < job.frbogen - kEps) {
    msgNumbered(9, 1126, "* Warning: allowance + tool radius < 0, corrected to 0", nullptr);
    job.frradius = job.frbogen;
  }
  if (std::fabs(job.frbogen) < kEps) {
    job.frtyp = 2;
  } else if (std::fabs(job.frradius - job.frbogen) < kEps) {
    job.frtyp = 1;
  } else {
    job.frtyp = 3;
  }
}

void profFillTechnology(const JobRecord& job) {
  jobTechnology = CycleTechRecord{};
  CycleTechRecord& t = jobTechnology;
  t.toolNumber = job.wkznummer;
  t.planeFeedrate = job.xvorschub;
  t.zFeedrate = job.zvorschub;
  t.spindleSpeed = job.drehzahl;
  t.spindleRotation = job.drehricht;
  t.clearanceDistance = job.sichdist;
  t.retractPlane = job.sichebene;
  t.reducedFeedrate = job.rvorschub;
  t.fullSectionFeedrate = job.vvorschub;
  t.approachFeedrate = job.macroSfeed;
  t.retractFeedrate = job.macroEfeed;
  t.infeedFeedrate = job.macroLfeed;
}

double profChooseScale(const JobRecord& job, double profileBoxSize) {
  const double r = job.frradius;
  double scale = 1;
  if (job.inchMode != 0 || r < 1) {
    scale = 25;
  } else if (r < 2) {
    scale = 2;
  }
  if (job.zustellArt == 4 && profileBoxSize >= 0 && 5 * r > profileBoxSize) scale *= 4;
  if (job.inchMode != 0 && r * scale < 2) scale *= 2;
  return scale;
}

void profScaleLengths(JobRecord& job, double scale) {
  for (const char* keyword : kScaledLengthKeywords) {
    const int row = jobKeywordFind(keyword);
    if (row < 0) continue;
    const JobKeywordTable& r = profJobKeywords[row];
    const std::ptrdiff_t offset =
        static_cast<const char*>(r.target) - reinterpret_cast<const char*>(&jobRecord);
    auto* field = reinterpret_cast<double*>(reinterpret_cast<char*>(&job) + offset);
    const int count = r.storeType == kJobStoreF64x3 ? 3 : 1;
    for (int k = 0; k < count; ++k) field[k] *= scale;
  }
}

bool jobSurfaceUnset(const JobRecord& job) { return job.oberfl > 9999.99999; }

bool jobStartHeightUnset(const JobRecord& job) { return job.startpt[2] < -99999.99999; }

int profValidateJob(JobRecord& job, const JobRecord& asRead) {
  // A precision of zero or below would make the smallest step zero.
  if (job.precision <= 0) {
    job.precision = kMinPrecision * jobScale;
    msgNumberedReal(9, 514, nullptr, kMinPrecision);
  }
  // A longest output line of zero or below would cap the sample step of
  // the model to nothing, and no path would be computed.
  if (job.stepMax <= 0) {
    job.stepMax = kDefaultStepMax * jobScale;
    msgNumberedReal(9, 516, nullptr, kDefaultStepMax);
  }
  // An infeed of zero or below would never reach the depth: one step.
  if (job.vertzustel <= 0) {
    job.vertzustel = job.oberfl - job.tief + 1;
    msgNumbered(9, 800, nullptr, nullptr);
  }
  job.wcoll = 1;
  modelInit(&jobModel, kModelKindFacets);
  jobModel.tool = &jobTool;
  jobModel.minStep = 0.005;
  jobModel.maxStep = 1;
  jobModel.boundaryFlag = 1;
  job.auflmax = 1;
  job.auflmin = 0.8 * job.precision;
  job.stepMin = 0.5 * job.precision;
  if (std::fabs(job.maxdev) >= kEps) job.stepMin = job.maxdev;

  const double stepover = job.horizustel;
  setJobFrame(job);
  if (job.bndProject != 0 && projectJobBoundary(job) < 0) return -1;
  if (setJobTool(job) < 0) return -1;
  fillLinkParams(job);
  setJobHolder(job);
  setJobModelSettings(job);

  if (jobStartHeightUnset(asRead)) job.startpt[2] = job.sichebene;

  if (job.profil[0] == '\0' && job.bearbeitricht == 3) {
    job.bearbeitricht = 1;
    msgNumbered(9, 506, nullptr, nullptr);
  }
  if (job.profil2[0] == '\0' && job.bearbeitricht == 6) {
    job.bearbeitricht = 1;
    msgNumbered(9, 507, nullptr, nullptr);
  }
  if (job.bahnCrv[0] == '\0' && job.zustellArt == 3) {
    job.zustellArt = 1;
    msgNumbered(9, 508, nullptr, nullptr);
  }
  if (!textSet(job.approx)) msgNumbered(9, 509, nullptr, nullptr);
  if (!textSet(job.boundary)) {
    jobModel.boundaryFlag = 0;
    job.bearbeitrand = 1;
  }
  if (job.keepTouch != 0) {
    contactSetKeepTouch(job.keepTouch);
    job.bearbeitrand = 1;
  }

  if (job.zustellArt == 2) {
    if (job.frtyp != 1) {
      msgNumbered(9, 510, nullptr, nullptr);
      msgNumbered(9, 511, nullptr, nullptr);
      job.zustellArt = 1;
    } else if (job.frradius < job.scalHeight) {
      msgNumberedReal(9, 512, nullptr, job.frradius / jobScale);
      msgNumbered(9, 511, nullptr, nullptr);
      job.zustellArt = 1;
    }
    if (job.zustMin < kEps) {
      job.zustMin = 0.01;
      msgNumberedReal(9, 513, nullptr, 0.01 / jobScale);
    }
  }
  if (job.gridXy < 10) job.gridXy = 10;
  if (job.gridXy > 100) job.gridXy = 100;
  if (job.zustellArt == 4 && job.oberfl - job.tief > job.vertzustel) {
    msgNumbered(9, 800, nullptr, nullptr);
    job.vertzustel = job.oberfl - job.tief + 1;
  }
  if (job.taperCheck == 0) job.taperAvoid = 0;
  if (job.taperAvoid != 0) {
    toolShapeSetCone(&jobTool);
    contactEnableTaperCone(1);
  }
  setJobClipSurfaces(job);
  if (setJobBoundaries(job) < 0) return -1;
  setJobLinkSwitches(job, stepover);
  profFillTechnology(job);
  return 1;
}

int profPrepareJob(const char* path, JobRecord& job) {
  jobScale = 1;
  if (path != nullptr && jobFileRead(path) == 0) return -1;
  job = jobRecord;
  if (job.extraCount > 0) {
    if (jobFacetSurfaces(job, job.extraKfy, job.extraTol, 0, job.extra3df) < 0) job.extraCount = 0;
  } else if (textSet(job.extra3df)) {
    job.extraCount = 1;
  }
  double hori = 0;
  if (commentNumber(job.a1, kOptionAllHori, &hori)) job.aufmassHori = hori * jobScale;
  if (std::fabs(job.aufmassHori) >= kEps) jobApplyHorizontalAllowance(job);
  if (job.slopeMode != 0 && job.aufstieg == 1) job.clipSort = 2;
  if (job.profil[0] == '\0' && job.ignoreProfile != 0) {
    if (pathJoin(job.profil, sizeof job.profil, job.tmpDir, "pocket.kfy") != 0) return -2;
    jobTempFileNote(job.profil);
  }
  jobScale = profChooseScale(job, job.zustellArt == 4 ? jobProfileBoxSize(job.profil) : -1);
  profScaleLengths(job, jobScale);
  if (job.macroStart == 8) job.macroSrad /= jobScale;
  bndSetInternalScale(jobScale);
  // Allowances stored in facet files are lengths of the job as well.
  modelSetLoadLengthScale(jobScale);
  if (job.report[0] != '\0') msgSetLevel(job.report, job.reportClass);
  if (profValidateJob(job, jobRecord) < 0) return -2;
  // Model and boundary points are read into internal units through the
  // frame, and the moves leave through it in the job's units again.
  frameScaleMultiply(jobScale);
  return 0;
}
