#include "cycles/profile/profile_run.h"

#include <cstdio>
#include <cstring>

#include "base/messages.h"
#include "cycles/profile/job_prepare.h"

int crossPassActive = 0;

namespace {

// The comment option that skips the main pass when the boundary is missing.
constexpr const char* kOptionOnlay = "ONLAY";

JobRecord gRunJob;

int noDriver(JobRecord& job, LinkParams&) {
  msgNumberedInt(9, kMsgNoDriver, nullptr, job.zustellArt);
  return -1;
}

ProfDriver gDrivers[2] = {noDriver, noDriver};

int runPass(JobRecord& job) {
  const ProfDriver driver = gDrivers[job.zustellArt == 1 ? kProfDriverParallel : kProfDriverSequential];
  return driver(job, linkParams);
}

bool fileExists(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

}  // namespace

void profSetDriver(ProfDriverKind kind, ProfDriver driver) {
  gDrivers[kind] = driver != nullptr ? driver : noDriver;
}

const JobRecord& profRunJob() { return gRunJob; }

int profRunCycle(const char* path) {
  int result = profPrepareJob(path, gRunJob);
  if (result < 0) {
    if (result == -1) std::fprintf(stderr, "* Error: Could not find CFG file %s \n", path);
    return result;
  }
  JobRecord& job = gRunJob;
  if (job.apt[0] == '\0') std::snprintf(job.apt, sizeof job.apt, "%s", "tmp.pof");
  crossPassActive = 0;

  const bool mainAllowed = !(std::strstr(job.a1, kOptionOnlay) != nullptr &&
                             job.boundary[0] != '\0' && !fileExists(job.boundary));
  if (job.crossOpti > 0 && job.bearbeitricht > 2) {
    msgNumbered(9, 4300, nullptr, nullptr);
    job.crossOpti = 0;
  }
  result = 0;
  if (job.crossOpti == 2) {
    crossPassActive = 1;
    const JobRecord saved = job;
    job.bearbeitricht = static_cast<int16_t>(3 - job.bearbeitricht);
    result = runPass(job);
    job = saved;
  }
  crossPassActive = 0;
  if (job.crossOpti != 3 && result >= 0 && mainAllowed) {
    const JobRecord saved = job;
    result = runPass(job);
    job = saved;
  }
  if (job.crossOpti == 1 || job.crossOpti == 3) {
    crossPassActive = 1;
    const JobRecord saved = job;
    job.bearbeitricht = static_cast<int16_t>(3 - job.bearbeitricht);
    if (result >= 0) result = runPass(job);
    job = saved;
  }
  crossPassActive = 0;
  return result;
}
