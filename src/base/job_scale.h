// The job's internal length scale: every length of a job is multiplied by it
// once the cycle has prepared the job.  1 until a cycle sets it; writers that
// report lengths in the job's units divide by it.
//
// Thread-safety: set on the cycle thread before any parallel region of the
// run; read from any thread.
#pragma once

// The current scale (1 at load).
double jobLengthScale();

// Sets the scale.  A value that is zero, negative or not finite leaves the
// scale at 1, so that no reader ever divides by it.
void jobSetLengthScale(double scale);
