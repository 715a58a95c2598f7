// Geometry of approach and retract macros: the builder that dispatches over
// the macro kinds, and the small operations on built macros.
//
// Every builder hands out a MacroRec that the caller frees with macroFree;
// null means nothing was built (a degenerate direction of a kind that needs
// one, a disabled setting, or memory that ran out).  Point 0 of a macro is
// always the path end point it was built at.
//
// Thread-safety: the builders read the process-wide pending shift length
// (link_params.h) and write it, so one thread builds macros at a time.
#pragma once

#include "boundaries/links/link_params.h"
#include "boundaries/macros/macro_rec.h"
#include "geometry/pline/pline.h"
#include "geometry/primitives/vec.h"

// Largest number of points of a helix or a full circle.
inline constexpr int kMacroHelixCapacity = 10000;

// Builds a macro of the type's kind at pathEnd, leading away from neighbour.
// type is kMacroApproach or kMacroRetract; side is the sign of the side that
// horizontal arcs and turned lines turn to (an approach negates it); path and
// index (the index of pathEnd in path) are read by the ramp along the path;
// extra, when not null, is the surface normal for kinds 20 and 21.  Kinds:
// 0 vertical, 1 vertical arc, 2 inclined line, 3 horizontal arc, 4 turned
// line, 9 tangential line, 20 along the normal, 21 arc toward the normal,
// and for approaches 6 helix and 8 ramp along the path.  Macro files (kind
// 100) and kinds without a builder give null, and so does an arc-shaped kind
// with a step angle too small to make progress.  Ownership: see the top.
MacroRec* macroBuild(int type, const Vec3d& pathEnd, const Vec3d& neighbour,
                     const MacroParams* params, int side, const Pline* path, int index,
                     const Vec3d* extra);

// Frees the points and the record; null is accepted.
void macroFree(MacroRec* macro);

// Moves *point by shiftLength along shiftDir, unless the direction is zero.
void macroApplyShift(const MacroRec* macro, Vec3d* point);

// How far the macro's last point lies ahead of its first along endDir.
double macroForwardExtent(const MacroRec* macro);

// Turns an arc description around for a macro emitted in reverse; helix and
// empty descriptions stay as they are.
void macroArcReverse(MacroKindData* kindData);

// A closed circle of radius plungeRadius around centre at its height, one
// point per stepAngle counter-clockwise from centre + (r, 0, 0).  Null when
// the radius or the step angle is below 0.00001 in magnitude or the circle
// would need more than kMacroHelixCapacity points.  Ownership: see the top.
MacroRec* macroBuildCircle(const Vec3d& centre, const MacroParams* params);
