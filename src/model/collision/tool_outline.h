// Tool outlines: half profiles of bodies of revolution about the tool axis.
//
// An outline is a chain of Seg2 segments in a plane whose x is the distance
// from the tool axis and whose y is the height above the tool tip.  Holder
// and spindle head are described by outlines built from the holder clearance
// or read from named kFY contours; they are enlarged by planar offsets and
// revolved into meshes for the collision test (holder_meshes.h).  Each
// segment carries a tag: 1 holder, 2 head (a contour read from a file gets the
// tag its caller asks for).
//
// Ownership: an outline owns its segment and tag arrays; free it with
// toolOutlineFree.  Threads: no shared state; an outline belongs to one thread
// (the offset sets the calling thread's corner-join mode and restores it).
#pragma once

#include <cstdint>

#include "boundaries/links/link_params.h"
#include "geometry/primitives/vec.h"

// Segment tags.
inline constexpr int16_t kOutlineTagHolder = 1;
inline constexpr int16_t kOutlineTagHead = 2;
// Smallest capacity of an outline.
inline constexpr int kOutlineMinCapacity = 3;

struct ToolOutline {
  int32_t count;
  int32_t capacity;
  // Box of all segment end points; +DBL_MAX / -DBL_MAX while empty.
  double minX, minY, maxX, maxY;
  Seg2* segments;  // x radius, y height
  int16_t* types;  // one tag per segment
};

// An empty outline with room for capacity segments (at least 3).  Null when
// memory is missing.
ToolOutline* toolOutlineNew(int capacity);

// Frees the outline and both arrays.  Null allowed.
void toolOutlineFree(ToolOutline* outline);

// Appends segment with tag type; a segment whose ends agree within 0.00001 in
// both coordinates is not stored (result 1).  The outline grows to
// (int)(capacity x 1.5) when full, and its box takes in both ends.  1, or -1
// for a null outline or segment, or when memory is missing (the outline is
// then unchanged).
int toolOutlineAppend(ToolOutline* outline, const Seg2* segment, int16_t type);

// Recomputes the box from the segments.
void toolOutlineUpdateBox(ToolOutline* outline);

// Replaces the outline by its planar offset by |distance| (corner-join mode 1
// for the duration of the call): outward (below the bottom face, away from
// the axis) for a positive distance, inward for a negative one.  Every
// resulting segment gets the tag of the former first segment, and the box is
// recomputed.  1; 0 for a null or empty outline; -1 when the offset finds no
// chain or memory runs out (the outline is then unchanged).  The result array
// has room for every result of the offset (offset2dResultCapacity).
int toolOutlineOffset(ToolOutline* outline, double distance);

// Adds dz to the heights of every segment and of the box.  Null allowed.
void toolOutlineShift(ToolOutline* outline, double dz);

// The holder of a clearance: bottom face at freeLength out to the nose
// diameter, the conical nose up to noseTop and the body up to holderTop (tag
// 1).  Null when memory is missing.
ToolOutline* toolOutlineHolder(const HolderClearance* clearance);

// The head of a clearance: its bottom face at holderTop, the step to
// headStepTop and the second section up to headTop (tag 2).  Null when memory
// is missing.
ToolOutline* toolOutlineHead(const HolderClearance* clearance);

// The outline of the first contour named exactly name in the kFY file
// (kfy_contours.h; arcs within tolerance): scaled by the job's length scale,
// moved so that its first point lies at baseHeight, both coordinates made
// non-decreasing along the contour (a running maximum), closed toward the
// axis by a bottom and a top segment (each left out when its outer end lies
// on the axis), negative radii made positive; every segment gets type.  Null
// when the file cannot be read, has no such contour or the contour has no
// points, and when memory runs out; status (when given) then tells them
// apart: 1 built, 0 no such contour, -1 memory.
ToolOutline* toolOutlineFromKfy(const char* file, const char* name, double tolerance,
                                double baseHeight, int16_t type, int* status = nullptr);

// Puts the tool shank in front of the holder outline: a transition from the
// cutter width (width, or the clearance's shank diameter when width is 0,
// widened by the taper when taperFlag is set) at the cutting length to the
// shank diameter, and the shank itself up to the holder's bottom, both capped
// at the height where the holder starts.  Returns outline with the shank
// segments (tag 1) in front, joined to the holder's first segment; outline
// unchanged when the shank adds nothing or would reach below the holder's
// lowest point; the new shank outline when outline is null.  On allocation
// failure outline comes back unchanged (null when it was null) and status
// (when given) is -1; else status is 1.  The box is kept up to date.
ToolOutline* toolOutlineAddShank(ToolOutline* outline, const HolderClearance* clearance,
                                 double width, int taperFlag, int* status = nullptr);
