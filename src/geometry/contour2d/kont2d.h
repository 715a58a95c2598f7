// Contour tree of planar boundaries.
//
// A node is a closed chain of Seg2 with its box.  A tree is its first outer
// contour: outer contours (even nesting depth) are chained through next,
// across all z levels in order of decreasing z; each outer contour carries its
// holes (odd depth) on its firstHole chain, linked through next as well.  Once
// built by kontFromChains every even-depth contour runs counter-clockwise and
// every odd-depth one clockwise.
//
// Ownership: each node belongs to exactly one chain (a hole to one parent
// only), so kontFree of the first outer contour frees every node exactly once.
// The triangle mesh hung on a node is the tree owner's (tripolyFree), never
// freed by kontFree.
//
// Threads: building, checking and writing run on one thread; a finished tree
// is only read by kontClassifyPoint, which any number of threads may call.
// Failures are reported to the geometry error state with the source text
// "QZVYR5\kont2d".
#pragma once

#include <cstdint>
#include <cstdio>

#include "geometry/primitives/vec.h"

struct TripolyMesh;
struct Pt2List;

struct Kont2d {
  int count;     // segments in use
  int capacity;  // segments the array holds
  // Box of the segment ends; a new node has xmin = ymin = 1e10 and
  // xmax = ymax = -1e10.
  double xmin, ymin, xmax, ymax;
  std::int16_t closed;    // 1: the last segment ends where the first starts (0.00001)
  std::int16_t ownsSegs;  // 1: segs is the node's own and freed with it
  double z;               // z level, DBL_MAX while unset
  int depth;              // how many contours of the same level contain the first point
  Seg2* segs;
  TripolyMesh* mesh;  // point-location mesh of the tree's owner, or null
  Kont2d* back;       // previous node of the chain; for the first hole its parent
  Kont2d* next;       // next outer contour, or for a hole the next hole
  Kont2d* firstHole;  // holes of an outer contour (null for holes)
};

// A node with room for capacity segments (3 when asked for fewer).  With segs
// given the node uses that array without owning it (count 0); the caller keeps
// it alive as long as the node.  Null when memory runs out.
Kont2d* kontNew(Seg2* segs, int capacity);

// Frees node, its next chain and its hole chains (and their segments where
// owned).  Null allowed.  Iterative, so chains of any length are fine.
void kontFree(Kont2d* node);

// Appends a copy of *s, growing the array to (int)(capacity x 1.5) when full
// (a borrowed array is then replaced by an own copy), and widens the box by
// both ends.  1, or -1 for a null node, no array or failed growth.
int kontAppendSeg(Kont2d* node, const Seg2* s);

// Box of the first segment's start and both ends of every further segment.
// 1; 0 for a null or empty node.
int kontUpdateBox(Kont2d* node);

// Reverses node and each contour of its hole chain: segment order reversed
// and each segment's ends swapped.  1 (0 for a null node).
int kontReverse(Kont2d* node);

// 1 when the shoelace sum over the segment starts is positive
// (counter-clockwise), else -1.
int kontOrientation(const Kont2d* node);

// Joins each segment that continues the last kept one (end meets start within
// 0.00001) along the same line (triangle area within 0.00001) into it, then
// recomputes the box.  Nodes with fewer than 2 segments stay unchanged.  1.
int kontMergeCollinear(Kont2d* node);

// Nests and links count nodes (reordering the array): sorted by z, highest
// first, and split into levels (z within 1e-6 below the level's first); in a
// level, the depth of a node is the number of other nodes containing its first
// point; even-depth nodes are chained through next (levels one after the
// other), and each odd-depth node is hung on the hole chain of the first
// even-depth node one level less deep that contains its first point.  Nodes
// that find no place (overlapping input) stay unlinked.  1 (0 for no nodes).
int kontBuildTree(Kont2d** nodes, int count);

// A contour tree of chains (chains[i] has counts[i] segments; chains with no
// segments are skipped): every chain becomes a node (closed when its ends meet
// within 0.00001) with collinear segments merged, the nodes are nested by
// kontBuildTree in one level (z unset), and even-depth nodes are turned
// counter-clockwise, odd-depth ones clockwise.  Returns the first outer
// contour, which owns all nodes; nodes left unlinked by overlapping input are
// freed.  Null for no chains or no non-empty first chain, when no outer
// contour results, or when memory runs out (-1 reported; nothing leaks).
Kont2d* kontFromChains(const Seg2* const* chains, const int* counts, int n);

// Checks a tree before it is meshed.  flags 1: the holes of the first contour
// are closed and run against it (else -47 reported and returned); flags 2: its
// segments and those of its holes do not cross (else -41 reported and
// returned; with the debug marker on, the first contour and its holes are
// appended to "problem.bnd" first).  1 fine, 0 for a null or empty tree.
int kontCheck(Kont2d* tree, int flags);

// 1 when segments of the first contour and its holes cross (crossing points
// appended to points when given; all of them when findAll, else the first
// only; crossings at shared ends within tol ignored), 0 when not, for a null
// tree or fewer than 3 segments, -1 without memory (reported).
int kontSelfIntersects(Kont2d* tree, Pt2List* points, int findAll, double tol);

// Appends each outer contour of the chain and each of its holes as BND blocks
// ("**BND %d **WZ" with a process-wide block number, "X%lf Y%lf Z%lf" per
// point, "**END"; a gap above 1e-6 between segments starts a new block) to
// fileName.  1; 0 for a null or empty tree; -1 when the file does not open.
int kontWriteBnd(const Kont2d* tree, const char* fileName);

// Sets the process-wide BND block number back to 1 (start of a run; cycle
// thread only).
void kontBndReset();

// Where p lies against node and its holes: 1 outside, 2 inside the material,
// 4 inside a hole; 0 for a null node or point.  The node's mesh answers first
// when it has one (a point on the border counts as outside).
int kontClassifyPoint(const Kont2d* tree, const Vec2d* p);
