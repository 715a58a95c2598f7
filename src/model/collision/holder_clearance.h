// The holder clearance: the simplified, enlarged shape above the cutting edge
// (free tool length, shank, holder nose and body, spindle head in two
// sections) that must not touch the part, filled once per run from the tool
// and the job's holder and head dimensions.
//
// Margin: every diameter grows by 2 x o, where o is the clearance offset.
// The margin m is 0.2 x tool radius, at least 0.025 x the holder body
// diameter, or the fixed margin when one was set; o = m + extra, o = extra in
// exact mode, and o = 2 x the fixed margin when a fixed margin is set (this
// wins).  m is kept as clearanceMargin (the default holder meshes use it as
// their chord tolerance).
//
// State: exactMargin, fixedMargin, fixedMarginValue and clearanceMargin are
// process-wide.  holderClearanceReset puts them back to their load values; the
// cycle calls it at the start of every run, so that no run inherits the fixed
// margin of the one before.  Cycle thread only.
#pragma once

#include "boundaries/links/link_params.h"
#include "model/mesh/model.h"

// The smallest fixed margin holderClearanceSetMargin keeps.
inline constexpr double kHolderMinFixedMargin = 0.0001;
// Share of the tool radius and of the holder body diameter in the margin.
inline constexpr double kHolderMarginRadiusShare = 0.2;
inline constexpr double kHolderMarginBodyShare = 0.025;

// Fills clearance from the tool and the holder dimensions: length1 the body
// length, length2 the nose length, totalLength the tool length out of the
// holder, diameter1 the body and diameter2 the nose diameter; extra is added
// to the margin.  The head is left empty (holderClearanceAddHead).  Recomputes
// clearanceMargin.  clearance and tool must not be null.
void holderClearanceInit(HolderClearance* clearance, const ToolShape* tool, double extra,
                         double length1, double length2, double totalLength, double diameter1,
                         double diameter2);

// Adds the spindle head above the holder: a first section of diameter3 and
// length3, a second of diameter4 and length4.  Head diameters never end below
// the diameter beneath them.  Uses the current clearanceMargin.
void holderClearanceAddHead(HolderClearance* clearance, double extra, double diameter3,
                            double length3, double diameter4, double length4);

// exactMargin: with a non-zero flag the offset is extra alone.
void holderClearanceSetExact(int flag);

// Switches the fixed margin on with margin, raised to kHolderMinFixedMargin.
void holderClearanceSetMargin(double margin);

// The margin of the last holderClearanceInit (0 after a reset).
double holderClearanceMargin();

// Load values: margin 0, exact and fixed margin off, fixed value 0.
void holderClearanceReset();
