// The output adapter: short calls without a context argument through which
// the cycles write their cycle header, contexts, move-kind markers, cutter
// compensation records, auxiliary path points and display data.  Every call
// sends through the output cycle (outSetContext, output/output_channels.h)
// and does nothing when none is set.  The path points, feeds and NC formats
// are in output/adapter/path_output.h.
//
// Thread-safety: outDisplayPolyline and outDisplayMarker may be called from
// worker threads; each holds the dispatcher mutex around all its records, so
// a polyline reaches the host whole and never interleaved with other
// records.  Every other call belongs to the cycle thread.
#pragma once

#include <cstdint>

#include "boundaries/macros/macro_rec.h"
#include "geometry/primitives/vec.h"

// The technology record of a cycle header (lengths in internal units, feeds
// and speeds in the job's units).
struct CycleTechRecord {
  int32_t toolNumber;
  double planeFeedrate;     // FX
  double zFeedrate;         // FZ
  double spindleSpeed;      // S
  int16_t spindleRotation;  // 0 none, 1 clockwise, 2 counter-clockwise
  double clearanceDistance;
  double retractPlane;
  double reducedFeedrate;  // 0: same as FX
  double fullSectionFeedrate;
  double approachFeedrate;
  double retractFeedrate;
  double infeedFeedrate;
  double clearanceFeedrate;
  double leadingEdgeFeedrate;
  double trailingEdgeFeedrate;
  double finalPathFeedrate;
  double springPathFeedrate;
  double fastRetractFeedrate;
  double finalPathSpindleSpeed;
  double springPathSpindleSpeed;
  double fullSectionSpindleSpeed;
};

// The alias names of feeds and speeds, by index.
constexpr int kFeedAliasCount = 20;
extern const char* const FeedAliasTable[kFeedAliasCount];

// Context kinds of outPathContextBegin / outPathContextEnd.
enum OutPathContextKind : int {
  kPathContextCut = 1,     // "3dPath", usage "poly"
  kPathContextLink = 64,   // "link", only the first of a run
  kPathContextFinal = 128  // holds back rapid points
};

// Writes the cycle header on the output cycle: feed state (FX, the reduced
// feed, the current feed, state normal, feed stack emptied), "cycleFct",
// the planes and the clearance distance divided by jobLengthScale() with
// four decimals, the tool number, the alias definitions of the feeds and
// speeds that are set, the spindle arguments and the FX and FZ arguments.
// A null record writes nothing.  Returns 0.
int outCycleHeader(const CycleTechRecord* tech);

// Arguments "T" = number and "tr" = "TC".
void outToolChange(int toolNumber);

// The "cycleFct" name of the output cycle: "profileFinishing" for
// "qzProf", "qzCycle" for any other id (and without an output cycle).
const char* outAlgorithmName();

// The clearance offset (clearance plane minus retract plane, 0 or more)
// that the header adds to the retract plane.  Set by the 3D cycles when
// they read their parameters; 0 at the start of a run.
void outSetClearanceOffset(double offset);
double outClearanceOffset();

// Path contexts on channel 12.  kPathContextCut: context "3dPath" with usage
// "poly"; kPathContextLink: context "link", only until the first link
// context of the run was closed; kPathContextFinal: rapid points are held
// back (begin) or written again (end).  Other kinds do nothing.  Returns
// the marker's dispatch result, else 0.
int outPathContextBegin(int kind);
int outPathContextEnd(int kind);
// Context "rmat" with data and usage "path".
int outRestMaterialContext(const char* data);

// Move-kind markers (channel 12, 5005).
int outMarkRapidUp();
int outMarkRapidDown();
int outMarkRapidXY();
int outMarkRapidArea();
int outMarkApproach();
int outMarkRetract();
int outMarkSmooth();
int outMarkInfeed();
int outMarkPath();
int outMarkConnection();

// Argument "CCdirX" = "-1;" (side < 0) or "+1;", then the x and y of the
// unit vector from p1 to p2 separated by ";" in the current precision.
// Nothing when p1 and p2 are kOutCompMinDistance or less apart in both x
// and y.
void outCompDirection(const Vec3d* p1, const Vec3d* p2, int side);
// "CCX" = "leftOfContour" (side > 0) or "rightOfContour", then "tr" = "CCX".
void outCompSide(int side);
// "tr" = "CC0X".
void outCompOff();

// Channel 36: 3113 (flag non-zero) or 3103 with the point.  Returns 0.
int outAuxPathPoint(const Vec3d* point, int flag);
// The arc as outArcXY: clockwise (1) when the element's direction is 0 or
// less, else 0.  Returns 0.
int outMacroArc(const MacroArcElement* arc);

// Display polyline on channel 41: begin (name, comment, usage), the first
// point as move-to, every point (the first included) as line-to, end; all
// points mapped into NC coordinates (framePtToolToNc).  Nothing for a count
// of 0 or less or null points.  Any thread.
void outDisplayPolyline(const Vec3d* points, int count, const char* name, const char* comment,
                        const char* usage);
// Display point on channel 42, mapped into NC coordinates.  Any thread.
void outDisplayMarker(const Vec3d* point);

// Resets every process-wide state of the adapter to its value at load (both
// halves: contexts, held rapid, positions, move count, feeds, feed stack and
// its mode, tool reference shift, reduction angle, NC format and buffer,
// clearance offset).  The phase runner calls it at the start of every
// outermost run, so that no run inherits another one's output state.
void outAdapterResetRun();

// Distance in x and y at or below which outCompDirection writes nothing.
constexpr double kOutCompMinDistance = 1e-6;
