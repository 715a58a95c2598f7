// Block thinning of the runs of a Pline, followed by its point reduction.
//
// Thread-safety: works on its arguments only (the reduction reads its
// process-wide mode, set before any parallel region).
#pragma once

#include "geometry/pline/pline.h"

// Thins every run of pl (runs end at points of status 2 or 10) with
// ptThinBlocks (tolerance tol, chords up to maxLen), then reduces the whole
// Pline with plineReduce(pl, maxLen, tol).
//
// In a run where the thinning dropped a point, every point's status code is
// set to 0, or 3 where it dropped; other runs keep their codes.  The
// reduction then starts by clearing every 3, so what lasts of the thinning
// is the code 0 on every point of each run it thinned (also replacing a
// bridged 1 or a gap candidate 4 there); the final drops are the
// reduction's.
//
// Returns 1; -1 for a null Pline or when no memory for a run's points could
// be had (the Pline keeps the marks made so far and is not reduced).
int plineThinRuns(Pline *pl, double tol, double maxLen);
