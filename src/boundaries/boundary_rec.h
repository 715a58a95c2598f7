// Boundary records, boundary sets and the inside tests that the tool drops
// and holder checks call.
//
// A boundary is a closed 2D contour (a chain of Seg2) that limits where the
// cycle cuts.  Boundaries form chains through next; outer boundaries and
// islands stand in the same chain, and an island is also listed in the
// islands of the outer boundary that contains it.  A chain owns its records,
// their segments, intervals, CLN points, island nodes and hole records; an
// island record is freed as a member of the chain, never through a node.
//
// Threads: the inside tests and the crossing list only read the records (and
// the active-boundary query hook), so any thread may call them.  The hooks are
// set by the cycle thread outside parallel regions.
#pragma once

#include <cstdint>

#include "geometry/lists/lists.h"
#include "geometry/pline/arc_len_pline.h"
#include "geometry/primitives/vec.h"

struct CurveRec;

// Slack of the parameter interval tests and equality of boundary points.
inline constexpr double kBndTol = 0.00001;

// Values of BoundaryRec::originKind.
inline constexpr int kBndOriginRect = 1;
inline constexpr int kBndOriginRead = 2;

// A pair of doubles: an inside interval [first, second] of a guide curve, or a
// (curve parameter, z) crossing pair.
struct BndPair {
  double first;
  double second;
};
static_assert(sizeof(BndPair) == 16, "pair lists hold 16-byte items");

struct BoundaryRec;

// Node of the islands list of an outer boundary.
struct BoundaryIslandNode {
  BoundaryRec* island;
  BoundaryIslandNode* next;
};

struct BoundaryRec {
  double xMin, yMin, xMax, yMax;  // box of the segments (internal coordinates)
  int32_t segCount;               // segments in segs
  int32_t originKind;             // kBndOriginRect or kBndOriginRead
  int32_t intervalCount;          // pairs in intervals (0 when none computed)
  int32_t isOuter;                // 1 outer boundary, 0 island
  double contactOffset;           // offset applied when curve intervals are computed (contact mode)
  double reduceOffset;            // offset by which the boundary was reduced after reading
  int32_t clnCount;               // points in clnPoints
  BoundaryRec* next;              // next boundary of the chain
  BoundaryIslandNode* islands;    // islands of this outer boundary
  Seg2* segs;                     // the closed contour
  BndPair* intervals;  // inside intervals [start, end] of the current guide curve, ascending
  Vec3d* clnPoints;    // 3D curve of a CLN block (file coordinates)
  BoundaryRec* holes;  // hole chain handed to the contour tree builder
  double zMin;         // lowest z of the block's points (scaled back), 0 when not read
};

// Node of the polyline list of a boundary set.
using BndPolylineNode = ArcLenPlineNode;

// The boundaries and profile polylines read from one boundary file.
struct BoundarySet {
  BoundaryRec* boundaryChain;  // read with offsets 0
  BndPolylineNode* polylines;  // the same file read as 3D profiles
};

// ---- Hooks to services that other layers provide --------------------------

// Point query of the active boundary's contour tree: 1 inside the material of
// a contour of the active tree, 0 outside, -1 when no boundary is active.
using BndActivePointQuery = int (*)(const Vec2d* point);

// Installs the active boundary's point query (null: no boundary is active,
// which is the state at load).  Cycle thread only, outside parallel regions.
void bndSetActivePointQuery(BndActivePointQuery query);

// Inside intervals of a guide curve in a boundary minus its islands, appended
// to an emptied pair list; returns their count, negative on failure.
using BndCurveIntervalsFn = int (*)(const BoundaryRec* boundary, const CurveRec* curve,
                                    ItemArray* pairs);

// Nearest point of a polyline to point in plan view: returns the plan
// distance and writes the point (with its z) to out.
using BndPolylineNearestFn = double (*)(const ArcLenPline* pline, const Vec3d* point, Vec3d* out);

// Installs the two services bndSetCurveCrossings builds on.  A null
// intervals service stands for bndCurveIntervalsAppend; while the nearest
// service is null the crossing list stays empty.  Cycle thread only.
void bndSetCrossingServices(BndCurveIntervalsFn intervals, BndPolylineNearestFn nearest);

// ---- Inside tests -------------------------------------------------------------

// 1 when boundary is null.  Otherwise the active boundary's contour tree
// answers first (whatever boundary was passed); without an active boundary
// the winding of the boundary's closed chain about the point's x and y: 1
// when it winds around the point (either way), 0 outside.  z is not read.
int bndPointInside(const BoundaryRec* boundary, const Vec3d* point);

// 1 when boundary is null; 0 when it has no intervals; else 1 when t lies in
// one of its intervals [a, b] with a slack of 0.00001 at both ends, else 0.
int bndParamInside(const BoundaryRec* boundary, double t);

// 1 for a null chain; else 1 when t lies (as in bndParamInside) in an interval
// of an outer boundary of the chain (islands and boundaries without intervals
// are passed over), else 0.
int bndListParamInside(const BoundaryRec* chain, double t);

// ---- Pair lists ---------------------------------------------------------------

// A new ItemArray of BndPair items with room for capacity pairs (at least 1)
// and count 0.  Null on allocation failure.  Free with itemArrayFree.
ItemArray* bndPairListNew(int capacity);

// Appends (a, b), doubling the capacity when the list is full.  1, or -1 when
// the list is null or cannot grow (the list is then unchanged).
int bndPairListAppend(ItemArray* list, double a, double b);

// Empties pairs, then appends the (curve parameter, z) pairs at which the
// guide curve crosses the set's first boundary (minus its islands) within
// distance of the set's polylines, z from the nearest polyline point.  When
// no crossing lies within distance after the start of the curve and the
// curve's first point lies nearer than distance to a segment of any boundary
// of the set, the pair (0, z) is added.  A pair that cannot be appended is
// dropped.  1; -1 when the intervals cannot be computed or the temporary list
// cannot be made.  A null set or curve leaves the list empty.
int bndSetCurveCrossings(const BoundarySet* set, const CurveRec* curve, double distance,
                         ItemArray* pairs);
