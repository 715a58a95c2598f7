// The profile cycle's run: preparation, then the cross-optimisation passes
// (before / main / after), each handed to the driver of the job's infeed
// kind.
#pragma once

#include "boundaries/links/link_params.h"
#include "cycles/profile/job/job_record.h"
#include "model/mesh/model.h"

// Computes the paths of one pass from the working job record, the link
// parameters and the pass's copy of the run's model (jobModel); 0 or more
// done, negative failed (-2 cancelled).
using ProfDriver = int (*)(JobRecord& job, LinkParams& link, ModelRec& model);

// The driver kinds: the parallel driver serves infeed kind 1, the
// sequential driver every other kind.
enum ProfDriverKind { kProfDriverParallel = 0, kProfDriverSequential = 1 };

// Installs the driver of a kind (null: the kind's own driver: the parallel
// driver, or for the sequential kind the stand-in that reports the missing
// driver).  Cycle thread, outside a run.
void profSetDriver(ProfDriverKind kind, ProfDriver driver);

// Message sent (level 9, with the infeed kind) when a pass reaches a
// driver kind that has none; the pass then fails with -1.
constexpr int kMsgNoDriver = 4310;

// 1 while the swapped pass of a cross optimisation runs.
extern int crossPassActive;

// The number of the pass that runs, counted from 1 for the first pass of
// each run (whichever passes the job skips); 0 outside a run.
extern int passOfRun;

// The working record of the current (or last) run, in internal units.
const JobRecord& profRunJob();

// Sends the moves, pieces and cutting-path elements of the link output to
// the output adapter, as a run does.  Cycle thread, outside a run.
void profSetOutputHooks();

// Runs the job: prepares the working record from jobRecord (read first from
// path when not null), sets up the output (move hooks to the output
// adapter, the cycle header), runs the passes and ends the output.  Returns the last driver
// result, -1 when the job file could not be read, -2 when validation
// failed.  jobRecord itself is left as read.
int profRunCycle(const char* path);
