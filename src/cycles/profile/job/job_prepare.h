// Preparation of a profile run: the working copy of the job record in
// internal units, the choice of the internal scale factor and the checks
// and corrections of the job's values.
//
// jobRecord keeps the settings as read, in the job's own units.  Every run
// copies it into its own working record and scales and corrects only that
// copy, so a second run of the process starts from the same settings.
#pragma once

#include "cycles/profile/job/job_record.h"
#include "model/mesh/model.h"
#include "output/adapter/output_adapter.h"

// The internal scale factor of the current run (1 outside a run).
extern double jobScale;

// The run's model settings and tool, set by validation from the working
// record (in internal units); the drivers load the model's surfaces into a
// copy of jobModel, whose tool is jobTool.
extern ModelRec jobModel;
extern ToolShape jobTool;
// The technology record the cycle header writes at the start of output.
extern CycleTechRecord jobTechnology;

// Fills jobTechnology from the working record: tool number, feeds, spindle,
// clearance distance and retract plane (internal units), macro feeds; the
// feeds the job does not name stay 0.
void profFillTechnology(const JobRecord& job);

// A horizontal allowance: a ball keeps its corner equal to the radius, a
// flat tool none; the radius grows by *AUFMASS_HORI (not below the corner:
// message 1126); the type follows the new radii.  Job units.
void jobApplyHorizontalAllowance(JobRecord& job);

// Message of a surface file that cannot be facetted (with its name).
inline constexpr int kMsgSurfaceUnreadable = 332;

// Message of a job whose tool radius is zero or negative (validation fails).
inline constexpr int kMsgNoToolRadius = 341;

// Factor from the tool radius in job units: 25 in inch mode or for a
// radius below 1, 2 below 2, else 1; times 4 for infeed kind 4 when five
// radii exceed profileBoxSize (ignored when negative); times 2 in inch mode
// when the scaled radius stays below 2.
double profChooseScale(const JobRecord& job, double profileBoxSize);

// The keywords of the job's lengths, each naming one field of its own (all
// three coordinates of a point).
inline constexpr int kScaledLengthCount = 106;
extern const char* const kScaledLengthKeywords[kScaledLengthCount];

// Multiplies the job's lengths by scale, each field once.
void profScaleLengths(JobRecord& job, double scale);

// The "unset" markers, decided on values in job units.
bool jobSurfaceUnset(const JobRecord& job);
bool jobStartHeightUnset(const JobRecord& job);

// Checks and corrects the scaled working record (messages at level 9) and
// fills the link parameters from it.  Returns 1, or -1 when the job cannot
// be run.
int profValidateJob(JobRecord& job, const JobRecord& asRead);

// Reads the job file at path into jobRecord (none: the record as it is),
// copies it into job, scales the copy and validates it.  0 done, -1 the
// file could not be read, -2 validation failed.
int profPrepareJob(const char* path, JobRecord& job);
