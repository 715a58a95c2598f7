// Polyline layers: polylines at even positions across a width, into which
// cross lines are spread point by point (lines that run across the guide
// curves become polylines that run along them).
//
// Threads: a layer set belongs to the thread that builds it.
#pragma once

#include "geometry/pline/pline.h"

// Distance of plineDistanceNearParam when there is nothing to measure.
inline constexpr double kPlineLayerFarDistance = 1000.0;
// Most layers a set may have; larger requests fail.
inline constexpr int kPlineLayerMaxCount = 1000000;

struct PlineLayer {
  double position;  // place across the width, or a cross line's place along the guide
  double length;    // extent set by the user; 0 at creation
  Pline* line;      // with axes, owned
};

struct PlineLayerSet {
  int count;           // number of layers
  int used;            // number of layers
  double userValueA;   // stored for the caller
  double userValueB;   // stored for the caller
  PlineLayer* layers;  // count entries, owned
};

// A layer at position with a new Pline with axes of the given capacity (1
// when 0).  Null on failure (nothing left allocated).
PlineLayer* plineLayerNew(double position, int capacity);
// Frees the layer's Pline and the record.  Null allowed.
void plineLayerFree(PlineLayer* layer);

// Layers across total: n = (int)(total / step) (step 1 when |step| <
// 0.00001), d = n + 2 for an even n, n + 1 for an odd one; d layers at
// total / (d - 1) x j, plus, with endFlag, one more at total.  Each has a
// Pline with axes of the given capacity (1 when 0).  Null when total / step
// is negative, not a number or would give more than kPlineLayerMaxCount
// layers, or on allocation failure (nothing left allocated).
PlineLayerSet* plineLayerSetNew(double total, double step, int capacity, int endFlag,
                                double userValueA, double userValueB);
// Frees every layer's Pline, the layers and the set.  Null allowed.
void plineLayerSetFree(PlineLayerSet* set);

// The largest length among the layers that have a Pline; 0 when none (or all
// are negative).
double plineLayerSetMaxLength(const PlineLayerSet* set);

// Plan distance from p to the points of line around param:
// kPlineLayerFarDistance for an empty (or null) line or param < -0.00001; the
// last point's distance when param lies beyond the last parameter by more
// than 0.00001; else the nearer of points i - 1 and i, i the first index from
// 1 whose parameter exceeds param - 0.00001 (only i - 1 when there is none).
double plineDistanceNearParam(double param, const Vec3d* p, const Pline* line);

// Spreads the cross line over the layers from..used-1: layer i gets the
// point of the cross line at parameter f / total x (its parameter range),
// where f is the layer's position (i = 0 or |span| < 0.00001) or, with g =
// cross position / span, (1 - g) x position of layer i - 1 + g x position of
// layer i.  A point within tolerance (plan, around the cross position) of the
// layer's line is left out when tolerance > 0.00001; the others are inserted
// at parameter cross->position, kind 1, their own point as axis.  Returns the
// index at which the point went into layer from, or -1 (nothing went there,
// a lookup or insert failed, or the set's total is 0).
int plineLayerSetAddLine(PlineLayerSet* set, const PlineLayer* cross, double span, int from,
                         double tolerance);
