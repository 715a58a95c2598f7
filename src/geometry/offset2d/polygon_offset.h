// Offset of closed point loops with loop removal.
//
// offset2dPolygon offsets a closed planar loop given as points (the last
// point repeating the first) by a distance to one side.  It works on
// vertices: every vertex gets one or two offset points, the raw offset polygon
// is cut at its self-crossings into loops, and the loops that run
// counter-clockwise survive.  The first surviving loop is the result; further
// ones go onto a LoopStack for the caller.  Only an offset toward the inside
// of the loop keeps anything: an outward offset runs clockwise and gives 0.
//
// Threads: offset2dPolygon and offset2dOrientation keep their state on the
// call; a LoopStack is used by one thread at a time.
#pragma once

#include "geometry/primitives/vec.h"

// Called with a loop's points and count after it was pushed or popped.
using LoopStackHook = void (*)(const Vec2d* pts, int count);

struct LoopStackNode {
  int count;
  Vec2d* pts;  // the node's own copy
  LoopStackNode* next;
};

struct LoopStack {
  LoopStackHook pushHook;  // null unless set
  LoopStackHook popHook;   // null unless set
  LoopStackNode* top;
};

// An empty stack without hooks, or null.  Free with loopStackFree.
LoopStack* loopStackNew();

// Frees the stack with all its loops; null allowed.
void loopStackFree(LoopStack* stack);

// Frees all loops and leaves the stack empty (hooks kept); null allowed.
void loopStackClear(LoopStack* stack);

// Puts a copy of count points on top, then calls the push hook with the copy.
// 1; 0 for a null stack, null points or count <= 0; -1 when the copy cannot be
// allocated.
int loopStackPush(LoopStack* stack, const Vec2d* pts, int count);

// Copies the top loop into buffer (room for capacity points), sets *count,
// frees the node, then calls the pop hook with (buffer, count).  1; 0 for a
// null stack or argument; -1 when the stack is empty; -2 when the loop does
// not fit into capacity (the stack is then unchanged).
int loopStackPop(LoopStack* stack, Vec2d* buffer, int capacity, int* count);

// Clears dst and pushes the loops of src from the top down, so that dst holds
// them in reverse order (dst's push hook fires per loop).  1; 0 for a null
// argument or src == dst; -1 when a copy fails.
int loopStackCopy(LoopStack* dst, const LoopStack* src);

// Orientation of a closed loop (last point = first): half the shoelace sum
// over points 1 .. count-1 compared with +0.1 (1, counter-clockwise) and -0.1
// (-1, clockwise); 0 in between and for count < 3.
int offset2dOrientation(const Vec2d* pts, int count);

// Offsets the closed loop pts (count points, last = first) by distance to
// side (+1 left of travel, -1 right) into out (room for outCapacity points).
// Returns the point count of the main result loop (closed: its last point
// repeats the first), 0 when nothing survives (also for fewer than 2 distinct
// points, or an offset that turns the whole loop over), -2 when an inward
// offset collapses at once (largest distance from pts[0] below 2 x distance),
// a degenerate edge or corner was met, or distance is not finite, -1 for null
// arrays, when memory runs out or when a result does not fit into out.
// Further surviving loops are pushed onto extra (when given).  pts is never
// changed; out must not overlap pts.
int offset2dPolygon(const Vec2d* pts, int count, Vec2d* out, int outCapacity, double distance,
                    int side, LoopStack* extra);
