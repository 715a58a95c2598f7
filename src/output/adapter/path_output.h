// The path output of the output adapter: the point hook through which the
// cycles emit their tool paths, with the feed choice (normal, reduced for
// steep descents, plunge for vertical ones, macro feeds, the feed stack),
// the contour records of channel 31 that carry only the axes that changed,
// and the NC side on channel 32, either as axis-flagged blocks (NC format
// 0) or buffered per element and written as spline (1) or POLY (2) blocks.
//
// Everything goes through the output cycle (outSetContext); without one the
// records go nowhere but the state still advances.  The adapter's state is
// process-wide (output/adapter/adapter_state.h): outReset starts the path
// output of a run, outAdapterResetRun (output_adapter.h) restores all of it
// at the start of every outermost run.
//
// Thread-safety: cycle thread only.
#pragma once

#include <memory>

#include "geometry/primitives/vec.h"
#include "output/adapter/adapter_state.h"

// NC formats of channel 32.
enum OutNcFormat : int {
  kNcStandard = 0,
  kNcSpline = 1,  // "dsplineFormat"
  kNcPoly = 2,    // "polyFormat"
};

// Move kinds of outPathPoint.
enum OutPointKind : int {
  kPointRapid = 0,
  kPointFeed = 1,
};

// Starts the path output of a run: last position unknown, no point written
// yet, feeds and macro feeds 0, no held point, no hold, no link context
// closed, no pending feed change; number precision 6.  The move count, the
// feed state and alias, the force-reduced setting, the feed stack mode, the
// tool reference shift, the reduction angle and the NC format are kept.
// Returns 0.
int outReset();

// NC format (OutNcFormat) of the following elements.
void outSetNcFormat(int format);
// The reduction angle in degrees: a feed move descends steeply when
// dz / length < -cos(angle); the cosine is kept at most 0.99999.
void outSetFeedReductionAngle(double degrees);
// z shift added to every point written (points closer to 0 than
// kOutGeoTol are not shifted).
void outSetToolRefShift(double shift);

// The point hook: kind kPointRapid or kPointFeed.  A held rapid point is
// written first; a rapid point is held while the final context holds
// rapids; a feed point less than kOutGeoTol from the last position is
// dropped; the feed is chosen and announced; then outMoveRecord.  point is
// only read.  Returns 0; nothing for a null point.
int outPathPoint(const Vec3d* point, int kind);
// Writes one move: the tool reference shift applied to a copy of point,
// a pending feed change announced, the contour record (3114 feed, 3107
// rapid) with the axes the move count asks for, and the NC side.  Returns 0.
int outMoveRecord(const Vec3d* point, int kind);

// Element hooks: begin makes a new NC point buffer in NC formats 1 and 2
// (message 6000 when it cannot be made); flush writes the buffered points
// between "NCmode" "literal" and "standard" records (a spline or POLY block
// for more than 2 points, plain feed blocks otherwise) and frees the
// buffer.
int outSplineBegin();
int outSplineFlush();
// Every buffered point as an axis-flagged feed block (4007, all axes).
int outPlainMoves();
// A raw NC text (4101) on the output cycle.  Returns 0.
int outRawNcLine(const char* text);
// Ends the path output of a run: a held rapid point inside a "link"
// context, the part end of "ppJobID" when that is a positive number, then
// "clr all".  Nothing without an output cycle.  Returns 0.
int outFinish();

// Writes the current feed: "aliasUse" = the alias of the current index,
// "tr" = "FX" or "FX*factor" with factor = current feed / FX (1 when FX is
// 0).  Nothing when force is 0 and the stack mode is 2.
void outFeedEmit(int force);
// The next feed move (once) or every feed move while on (hold) uses the
// reduced feed.
void outFeedReducedOnce(int on);
void outFeedReducedHold(int on);
// Feeds of the approach, retract and infeed macros (0: not set).
void outFeedSetMacroRates(double approach, double retract, double infeed);
// Macro feed switches.
void outFeedApproach(int on);
void outFeedRetract(int on);
void outFeedInfeed(int on);
// Feed stack: push saves (feed, alias) in mode 1 or the current pair in
// mode 2 and makes feed the current feed; pop restores.  The change is
// announced with the next move.  -1 when the stack is full / empty, else 1.
int outFeedPush(double feed, int alias);
int outFeedPop();
// 0 automatic feed choice; 1 push saves the given pair; 2 push saves the
// current pair and automatic feed output is off.
void outFeedSetStackMode(int mode);

// The stack of 100 (feed, alias) pairs.  Push: -1 when full; pop: -1 when
// empty (out untouched); else 1.
void feedStackReset(FeedStack* stack);
int feedStackPush(FeedStack* stack, double feed, int alias);
int feedStackPop(FeedStack* stack, FeedStackEntry* out);

// A buffer for capacity points (null when it cannot be made).
std::unique_ptr<NcPointBuffer> ncPointBufferNew(int capacity);
// Appends x, y, z; a full buffer grows by kNcBufferGrowth points.  -1 for a
// null buffer or a failed growth (the buffer keeps its points), else 1.
int ncPointBufferAdd(NcPointBuffer* buffer, const Vec3d* point);
// The buffered points as one block with the given feed: a chord-length
// cubic spline through them, written in the data-block form (with its
// length table) or the polynomial form (output/adapter/spline_output.h).
// When no spline can be made the points go out as axis-flagged feed blocks
// (4007, all axes), so that none is lost.  -1 for a null buffer, else 1.
int ncWriteSplineBlock(const NcPointBuffer* buffer, double feed);
int ncWritePolyBlock(const NcPointBuffer* buffer, double feed);

// Points and buffers.
constexpr double kOutGeoTol = 0.00001;        // dropped points, steep plunges
constexpr double kOutZChangeTol = 0.0000001;  // a z that counts as changed
constexpr int kNcBufferInitial = 1000;
constexpr int kNcBufferGrowth = 1000;
