#include "cycles/profile/profile_run.h"

#include <cstdio>
#include <cstring>

#include "base/job_scale.h"
#include "base/messages.h"
#include "boundaries/links/move_hooks.h"
#include "cycles/profile/job/job_boundaries.h"
#include "cycles/profile/job/job_prepare.h"
#include "cycles/profile/parallel_driver.h"
#include "cycles/profile/path_output.h"
#include "model/collision/holder_check.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/path_output.h"

int crossPassActive = 0;
int passOfRun = 0;

namespace {

// The comment option that skips the main pass when the boundary is missing.
constexpr const char* kOptionOnlay = "ONLAY";

JobRecord gRunJob;

int noDriver(JobRecord& job, LinkParams&, ModelRec&) {
  msgNumberedInt(9, kMsgNoDriver, nullptr, job.zustellArt);
  return -1;
}

int parallelDriver(JobRecord& job, LinkParams& link, ModelRec& model) {
  // Without an emitter for the model's paths the driver has nowhere to send
  // them: the strategy counts as having no driver.
  if (pathOutputEmitters().facets == nullptr) return noDriver(job, link, model);
  return profParallelDriver(job, &link, &model);
}

constexpr ProfDriver kOwnDrivers[2] = {parallelDriver, noDriver};
ProfDriver gDrivers[2] = {parallelDriver, noDriver};

// One pass on copies of the working record and the run's model: what a
// driver changes in them is not seen by the next pass.  A swapped pass (of
// the cross optimisation) exchanges the standard X and Y directions.
int runPass(const JobRecord& job, bool swapped) {
  JobRecord passJob = job;
  if (swapped) passJob.bearbeitricht = static_cast<int16_t>(3 - job.bearbeitricht);
  crossPassActive = swapped ? 1 : 0;
  ++passOfRun;
  ModelRec passModel = jobModel;
  const ProfDriver driver = gDrivers[job.zustellArt == 1 ? kProfDriverParallel : kProfDriverSequential];
  const int result = driver(passJob, linkParams, passModel);
  crossPassActive = 0;
  return result;
}

// The moves of the link output go to the output adapter.
int emitMove(const double point[3], int moveType) {
  const Vec3d p{point[0], point[1], point[2]};
  return outPathPoint(&p, moveType);
}
void beginPiece() { outSplineBegin(); }
void endPiece() { outSplineFlush(); }
int beginElement(int code, double, double) { return outPathContextBegin(code); }
int endElement(int code, double, double) { return outPathContextEnd(code); }
// Elements the output adapter is told of: cutting paths and final retracts.
constexpr int kOutputElementMask = 33;

void setUpOutput(JobRecord& job) {
  profSetOutputHooks();
  if (job.apt[0] == '\0') std::snprintf(job.apt, sizeof job.apt, "%s", "tmp.pof");
  outReset();
  outCycleHeader(&jobTechnology);
  outSetFeedReductionAngle(job.fredAngle);
  crossPassActive = 0;
  outFeedSetMacroRates(job.macroSfeed, job.macroEfeed, job.macroLfeed);
}

void endOutput(const JobRecord& job) {
  outFinish();
  linkClearMoveHooks();
  const double lift = holderGetExtraLift();
  if (job.holdcheckMode == 4 && lift > 0.00001 && job.thickShaft == 0) {
    msgNumberedReal(9, 5500, "* Extra tool lift = %f", lift / jobScale);
    holderSetExtraLift(0);
  }
}

bool fileExists(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

}  // namespace

void profSetOutputHooks() {
  linkSetMoveHooks(emitMove, beginPiece, endPiece);
  linkSetElementHooks(kOutputElementMask, beginElement, endElement);
}

void profSetDriver(ProfDriverKind kind, ProfDriver driver) {
  gDrivers[kind] = driver != nullptr ? driver : kOwnDrivers[kind];
}

const JobRecord& profRunJob() { return gRunJob; }

int profRunCycle(const char* path) {
  // The files the preparation generates live as long as the run.
  struct TempFilesOnExit {
    ~TempFilesOnExit() { jobTempFilesRemove(); }
  } tempFiles;
  int result = profPrepareJob(path, gRunJob);
  if (result < 0) {
    if (result == -1) std::fprintf(stderr, "* Error: Could not find CFG file %s \n", path);
    return result;
  }
  JobRecord& job = gRunJob;
  jobSetLengthScale(jobScale);
  setUpOutput(job);

  const bool mainAllowed = !(std::strstr(job.a1, kOptionOnlay) != nullptr &&
                             job.boundary[0] != '\0' && !fileExists(job.boundary));
  if (job.crossOpti > 0 && job.bearbeitricht > 2) {
    msgNumbered(9, 4300, nullptr, nullptr);
    job.crossOpti = 0;
  }
  result = 0;
  passOfRun = 0;
  if (job.crossOpti == 2) result = runPass(job, true);
  if (job.crossOpti != 3 && result >= 0 && mainAllowed) result = runPass(job, false);
  if ((job.crossOpti == 1 || job.crossOpti == 3) && result >= 0) result = runPass(job, true);
  passOfRun = 0;
  endOutput(job);
  return result;
}
