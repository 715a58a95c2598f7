// BND boundary files and the operations on whole boundaries: reading (with
// island detection or sorted by orientation), rectangles, offsets, and
// freeing chains and sets.
//
// BND text: a block starts with a line whose first token is "**BND", holds
// one point line "X.. Y.. Z.." per contour point (world coordinates, closed
// implicitly) and ends with "**END" or the end of the file; "**NEXT" lines
// inside a block are ignored; a "**CLN" block after a "**BND" block holds
// the 3D curve of that boundary.  Points are mapped into the working frame's
// internal coordinates as they are read.
//
// The readers and the offset use process-wide switches (the island
// detection, the extra outer offset, the internal scale): cycle thread only.
#pragma once

#include <string>
#include <vector>

#include "boundaries/boundary_rec.h"

// Most points of a CLN block; one more fails the whole read.
inline constexpr int kBndClnMaxPoints = 1999;

// The internal length scale of the job (1 at load): the zMin of a boundary
// read from a file is divided by it.
void bndSetInternalScale(double scale);

// The extra offset that bndReadFile adds to the reduce offset of outer
// boundaries (0 at load).
void bndSetOuterExtraOffset(double d);

// Puts the switches of this file back to their load values (scale 1, no
// extra outer offset, island detection on).
void bndFileReset();

// Reads the boundaries of the BND file at path into a new chain in file
// order, detects islands and reduces every boundary by reduceOffset
// (shrinking outer boundaries, growing islands; message 700 when that fails,
// the boundary then keeps its contour).  Null when path is null or empty,
// the file is not a regular file that can be read, no block has at least two
// distinct points, memory runs out, or a CLN block holds more than
// kBndClnMaxPoints points (message 706 with the number of blocks met).
BoundaryRec* bndReadFile(const char* path, double contactOffset, double reduceOffset);

// As bndReadFile, but a boundary is outer when sign times its orientation is
// positive, and each island belongs to the innermost outer boundary that
// contains its first point.
BoundaryRec* bndReadFileSorted(const char* path, double contactOffset, double reduceOffset,
                               int sign);

// Marks as islands the boundaries whose first point lies inside another,
// not crossing, outer boundary, and lists them with it.
void bndDetectIslands(BoundaryRec* chain);

// A new outer rectangle, counter-clockwise from (xMin, yMin); null when out
// of memory.
BoundaryRec* bndNewRect(double xMin, double xMax, double yMin, double yMax);

// Frees every record of the chain with what it owns (null is ignored).
void bndFreeList(BoundaryRec* chain);

// The boundaries of path (read with offsets 0) and the same file read as 3D
// profiles.  Null when no boundary can be read or memory runs out.  Free with
// bndSetFree.
BoundarySet* bndSetLoad(const char* path);
// Frees the chain, the polylines and the set (null allowed).
void bndSetFree(BoundarySet* set);

// The lines of a BND file without its "**CLN" blocks (each up to its
// "**END", or to the next "**BND"): those hold the 3D curve of the boundary
// before them, not a boundary of their own.
std::vector<std::string> bndLinesWithoutCln(const std::vector<std::string>& lines);

// Offsets the boundary's contour by d (d > 0 enlarges, d < 0 shrinks): the
// planar offset, then the offset with retries at d and at 0.8 d.  1, or -1
// with the boundary unchanged.  For d > 0 the box grows by d; for d < 0 the
// caller sets the box.
int bndOffset(BoundaryRec* boundary, double d);

// Sets the box of the boundary from its segments.
void bndSetBox(BoundaryRec* boundary);
