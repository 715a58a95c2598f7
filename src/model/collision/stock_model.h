// The stock model and the marking of air moves.
//
// When the job names a stock file, the material left before finishing is a
// surface model of its own: a working copy of the machining model (same tool
// and settings) with the stock's surfaces.  Path points where the tool body,
// standing on its axis, does not touch the stock cut only air; they become
// gaps, so that they leave as rapid or link moves.  Optionally the change
// between cutting and air along the path is found by bisection and inserted
// as a cutting point.
//
// Threads: stockLoadModel and stockFreeModel run on the cycle thread.
// stockMarkAirPoints tests the points of its path in parallel and works on
// the caller's path only; it sets the process-wide stock mode of the axis
// test and the contact settings for its duration and restores both before it
// returns, so call it outside other parallel work that uses them.
#pragma once

#include "geometry/pline/pline.h"
#include "model/mesh/model.h"

// Body length of the axis test of a stock point.
inline constexpr double kStockBodyLength = 500.0;
// Distance within which an existing path point stands for the change point.
inline constexpr double kStockSplitTol = 0.001;
// Temporary air mark of the marking (status code), and the code it becomes.
inline constexpr int kStockAirMark = kPointForeignMark;

// Loads the stock file into a working copy of model: diagonal boxes off, the
// copy without the model's surfaces and groups (those stay the model's
// alone), the file loaded into it (modelLoadFile) and its grids built.  Null
// when the copy cannot be made or the file does not load; the model is
// unchanged either way.  Free with stockFreeModel; model must outlive it.
ModelRec* stockLoadModel(const char* file, const ModelRec* model);

// Frees the stock's own surfaces, corner arrays and grid, and the copy.
// Never touches what it shares with the machining model.  Null allowed.
void stockFreeModel(ModelRec* stock);

// Stores the process-wide stock flag; nothing depends on it.
void stockSetActive(int flag);
int stockActive();

// Marks the air points of path as gaps (status code 2).  Every point whose
// code is not 2 is tested with collToolAxisTest on the stock (body length
// 500, no grid, angle pi, stock mode); its axis is the point's own with
// useAxes on a path with axes, else (0, 0, 1).  A free point is an air
// point.  With refine, a path with axes gets, between every cutting point
// and air point next to each other (neither a gap), the change point found
// by bisection of the parameter down to the stock's tolerance (minStep),
// inserted as a cutting point (code 0; with useAxes, the axis of the last
// touching test) unless a path point lies within 0.001 of it; a path whose
// parameters do not increase gets none.  Returns 1 when some point is in the
// air, else 0 (also for a null path or stock).  The result does not depend
// on the number of threads.
int stockMarkAirPoints(Pline* path, const ModelRec* stock, int refine, int useAxes);

// Clears the stock flag: called at the start of every run.
void stockReset();
