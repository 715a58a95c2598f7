// Tool contour files: the outlines of a tool, its extrusion (the insert of a
// turning tool), its holder and the spindle head, read from a kFY file of
// named "Contour" blocks and written back as kFY text lines of the tool
// definition (channel 11).
//
// Thread-safety: the reader uses the process-wide kFY element scanner (one
// reader at a time); everything runs on the cycle thread.
#pragma once

#include <cstdint>
#include <memory>

#include "base/cycle_context.h"

// Item kinds of a contour list.
enum ToolContourKind : int32_t {
  kToolContourStart = 0,
  kToolContourLine = 1,
  kToolContourArcCw = 2,
  kToolContourArcCcw = 3,
};

struct ToolContourItem {
  int32_t kind;   // ToolContourKind
  double x, y;    // end point
  double cx, cy;  // arc centre (0 for starts and lines)
};

// One contour: a start item followed by lines and arcs.  The storage grows
// by kToolContourGrowth items at a time; capacity is 0 or a multiple of it.
struct ToolContourList {
  int32_t count = 0;
  int32_t capacity = 0;
  std::unique_ptr<ToolContourItem[]> items;
};

constexpr int32_t kToolContourGrowth = 32;

// The four contours of a tool definition, in file order of their names.
struct ToolContours {
  ToolContourList tool;
  ToolContourList extrusion;
  ToolContourList holder;
  ToolContourList head;
};

// The run's tool record (CycleDescriptor::toolRecord): made by the tool
// definition output at the cycle begin record, released at the end.
struct ToolRecord {
  ToolContours contours;
};

// Empties the four lists (their storage is released) and fills them from
// the kFY file at path: the blocks of the "Contour" objects named "Tool",
// "Extrusion", "Holder" and "Head" (any case); oM, oL and oA elements of a
// block's first level give the items.  The coordinate fields are read
// cumulatively: a field an element does not give keeps the value of an
// earlier element (so an arc without "o" turns like the arc before it).
// A null path or an unreadable file leaves the lists empty.
void toolReadContourFile(const char* path, ToolContours* contours);

// When list is empty: storage for kToolContourGrowth items and the start
// item at (x, y).  Otherwise nothing.
void toolContourStart(double x, double y, ToolContourList* list);
// When list is not empty: appends a line, clockwise or counter-clockwise arc
// ending at (x, y) (centre (cx, cy)).  A full list grows by
// kToolContourGrowth items; an item that finds no memory is dropped.
void toolContourLine(double x, double y, ToolContourList* list);
void toolContourArcCw(double x, double y, double cx, double cy, ToolContourList* list);
void toolContourArcCcw(double x, double y, double cx, double cy, ToolContourList* list);

// Releases the storage of the four lists; all counts and capacities 0.
// Null is ignored.
void toolContoursClear(ToolContours* contours);

// Writes list as kFY text lines on channel 11 (3199): "<prefix>oContour( )
// {", then one line per item, the last one closed with "  }".  Nothing for
// fewer than two items or a null list.
void toolWriteContour(CycleDescriptor* ctx, const char* prefix, const ToolContourList* list);
