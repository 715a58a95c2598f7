// Approach and retract macro records, the arc element handed to the output
// adapter, and the process-wide holder-collision flag of the macro builder.
//
// A MacroRec is a short polyline that starts at a path end point and leads
// away from the path; it is owned by whoever asked for it.
#pragma once

#include <cstdint>

#include "geometry/primitives/vec.h"

// Values of MacroRec::type.
inline constexpr int32_t kMacroApproach = 1;
inline constexpr int32_t kMacroRetract = 2;

// Values of MacroKindData::descKind.
inline constexpr int32_t kMacroDescArc = 1;
inline constexpr int32_t kMacroDescHelix = 2;

// Kind-specific description of a macro (zero when unused).  For an arc:
// turn +1 left or -1 right, angle 0, radius, pointA start, pointB end, pointC
// centre x, y with the start's z.  For a helix: turn, plunge angle, radius,
// pointA top of the spiral, pointB its bottom, pointC the path start.
struct MacroKindData {
  int32_t descKind;
  int32_t turn;
  double angle;
  double radius;
  Vec3d pointA;
  Vec3d pointB;
  Vec3d pointC;
};

struct MacroRec {
  int32_t type;        // kMacroApproach or kMacroRetract
  int32_t kind;        // macro kind, 100 for a macro file
  int32_t capacity;    // point slots
  int32_t count;       // points in use; point 0 is the path end point
  double shiftLength;  // shift of the last point along shiftDir
  Vec3d* points;       // capacity slots
  Vec3d shiftDir;      // (0, 0, 1) unless the kind sets another direction
  Vec3d endDir;        // unit vector from the neighbour point to the path end, or zero
  MacroKindData kindData;
};

// An arc of a macro as the output adapter receives it: direction 0 or less
// is clockwise; end point and centre in plan.
struct MacroArcElement {
  double direction;
  double endX, endY;
  double centerX, centerY;
};

// Stores the process-wide holder-collision flag.  While it is set, retract
// macros that lift along the tool degrade to a plain move.  The holder checks
// set it to 1 after a holder, head or shank collision; any thread may call it.
void macroSetHolderCollided(int flag);

// The flag stored by macroSetHolderCollided (0 at load).
int macroHolderCollided();
