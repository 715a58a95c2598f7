// The second half of every cycle run: the option actions or the machining
// phases in their fixed order, each announced by a begin and an end event,
// with the first failing step mapped to a run code.
//
// All functions run on the thread that runs the cycle.
#pragma once

#include "cycle/cycle_descriptor.h"

// Run codes of cycRun (0 = success).
enum CycleRunCode : int {
  kRunOk = 0,
  kRunOptionV = 11,      // slot 4 (-V) returned 0
  kRunOptionQuery = 12,  // slot 5 (-?)
  kRunOptionP = 13,      // slot 6 (-P)
  kRunOptionA = 14,      // slot 7 (-A)
  kRunOptionY = 15,      // slot 8 (-Y)
  kRunOptionD = 16,      // slot 9 (-D)
  kRunReadParams = 21,
  kRunPrepare = 22,
  kRunExecute = 23,
  kRunPostExecute = 24,
  kRunClose = 31,  // close failed while everything before succeeded
};

// Runs ctx after a successful cycSetup and returns the run code.  The
// status word first becomes 0 (in both modes), so a run never reports the
// status of an earlier one.
//  - Option mode (any of the flags 1, 2, 4, 8, 16, 32): the slots 4 to 9 of
//    the set flags in slot order; the first that returns 0 ends the run with
//    its code (11-16).  No phase and no close runs.
//  - Phase mode: init, read parameters, prepare, execute and post-process
//    run until one fails (codes 21-24); close always runs (code 31 only when
//    nothing failed before).
// A failing run code while the status word is still 0 sets the status word
// to 1, so a failure never reads as "done"; for a failed phase this happens
// before close runs, so the cycle end record already carries it.  The run
// data are always freed (cycCleanup).
int cycRun(CycleDescriptor* ctx);

// Slot wrappers: the begin event, the slot, the end event; each returns the
// slot's result.  cycInit also records the outermost run (before slot 1)
// and echoes the settings (after it); cycReadParams calls slot 11 in cfg
// mode, else slot 10.
int cycOnOptionV(CycleDescriptor* ctx);
int cycOnOptionQuery(CycleDescriptor* ctx);
int cycOnOptionP(CycleDescriptor* ctx);
int cycOnOptionA(CycleDescriptor* ctx);
int cycOnOptionY(CycleDescriptor* ctx);
int cycOnOptionD(CycleDescriptor* ctx);
int cycInit(CycleDescriptor* ctx);
int cycReadParams(CycleDescriptor* ctx);
int cycPrepare(CycleDescriptor* ctx);
int cycExecute(CycleDescriptor* ctx);
int cycPostExecute(CycleDescriptor* ctx);
int cycClose(CycleDescriptor* ctx);

// The kernel's close slot: sends the channel-0 record 104 "cycleEnd" with
// the cycle title, then frees the context's channel registry with its
// listeners (the next run starts without them).  Returns 1.
int cycBaseClose(CycleDescriptor* ctx);

// Ends a run of ctx that was cut short by an exception (the entry points
// catch it): the channel registry and the run data are freed as at a normal
// end, ctx stops being the outermost run, and, when no other run encloses
// it, the POF writers close the files and levels it left open.  The status
// word is left to the caller.  Cycle thread.
void cycAbandonRun(CycleDescriptor* ctx, bool outermost);

// The outermost run: the context whose init ran while no run was recorded;
// null between runs.  Runs nested inside it (a cycle started by another
// cycle) neither replace nor clear it.  Read by the POF writers for the move
// numbering.
CycleDescriptor* cycGetOutermostRun();

// Sends a channel-0 text record (code, name, value) on ctx; texts are cut to
// fit the record.  Returns the dispatch result.
int cycSendStatusRecord(CycleDescriptor* ctx, int code, const char* name, const char* value);
