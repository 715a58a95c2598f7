// The segment-order optimizer: puts directed segments (an entry and an exit
// point each) into an order that keeps the rapid moves between them short,
// from a start point to the first entry and from each exit to the next
// entry.  StandardLPathOptimizer is a class record of operation slots; its
// instances (LPathOptimizer) hold the segments and the current order, and
// the instance's type selects the strategies that lpoOptimize runs.
// LpoOrderList wraps an instance of type 3 (nearest neighbour, then list
// improvement) and hands back a user pointer per segment in the optimized
// order.
//
// Distances are measured in x and y only; z is carried.  Gains are compared
// with a margin of 1e-8 so that rounding cannot keep a pass going.
//
// Single-threaded: the pass budget and the lower bound are process-wide.
#pragma once

#include <cstdio>

struct LPathOptimizer;
struct LPathOptimizerClass;

// The operation slots of the class, in slot order 1 to 10.
struct LPathOptimizerClass {
  const char* name;
  LPathOptimizerClass* parent;
  int initialised;
  void (*classInit)(LPathOptimizerClass* cls);
  LPathOptimizer* (*create)(LPathOptimizerClass* cls, const char* name);
  void (*destroy)(LPathOptimizer* opt);
  void (*free)(LPathOptimizer* opt);
  int (*addSegment)(LPathOptimizer* opt, double exitX, double exitY, double exitZ, double entryX,
                    double entryY, double entryZ);
  int (*setStart)(LPathOptimizer* opt, double x, double y, double z);
  void (*clearStart)(LPathOptimizer* opt);
  double (*tourLength)(LPathOptimizer* opt);
  void (*optimize)(LPathOptimizer* opt);
  void (*writeKfy)(LPathOptimizer* opt, std::FILE* file, int full);
};

extern LPathOptimizerClass StandardLPathOptimizer;

struct LPathOptimizer {
  char* name;
  LPathOptimizerClass* cls;
  int type;
  int count;
  int capacity;
  double* exits;    // x, y, z per segment
  double* entries;  // x, y, z per segment
  int* order;       // order[k]: the segment visited k-th
  int startSet;
  double startX, startY, startZ;
  int lengthValid;
  double length;
};

// Strategy selectors (LPathOptimizer::type); any other value runs the
// cheapest insertion.
inline constexpr int kLpoNearest = 2;
inline constexpr int kLpoNearestImproved = 3;
inline constexpr int kLpoNone = 4;
inline constexpr int kLpoEnumeration = 6;
inline constexpr int kLpoIteratedInsertion = 7;
inline constexpr int kLpoInsertionShortLoop = 8;
inline constexpr int kLpoNearestIterated = 101;
inline constexpr int kLpoInsertionThenPlain = 102;
inline constexpr int kLpoPlainTwice = 103;
inline constexpr int kLpoInsertionTwice = 104;

// The instance operations (the class's slots).
void lpoClassInit(LPathOptimizerClass* cls);
LPathOptimizer* lpoCreate(LPathOptimizerClass* cls, const char* name);
void lpoDestroy(LPathOptimizer* opt);
void lpoFree(LPathOptimizer* opt);
int lpoAddSegment(LPathOptimizer* opt, double exitX, double exitY, double exitZ, double entryX,
                  double entryY, double entryZ);
int lpoSetStart(LPathOptimizer* opt, double x, double y, double z);
void lpoClearStart(LPathOptimizer* opt);
// Sum of the moves from each exit to the next entry in the current order
// (the move from the start point not included); 0 for fewer than 2.
double lpoTourLength(LPathOptimizer* opt);
void lpoOptimize(LPathOptimizer* opt);
// Dumps the segments (and with full the box, the start marker and the rapid
// moves) as kFY contours into the open file.
void lpoWriteKfy(LPathOptimizer* opt, std::FILE* file, int full);

// Sum over the segments of the shortest move from its exit to another
// entry, less the largest of them.
double lpoTourLowerBound(const LPathOptimizer* opt);

struct LpoOrderList {
  int count;
  int capacity;
  void** userPtrs;
  LPathOptimizer* optimizer;
  int iterating;
  int index;
};

// A new list around a "DLO" optimizer of type 3 with the start point
// (0, 0, 0); null when out of memory.
LpoOrderList* lpoOrderListNew();
void lpoOrderListFree(LpoOrderList* list);
int lpoOrderListSetStart(LpoOrderList* list, double x, double y, double z);
// 1 when the segment was added; 0 when memory ran out (the list is then
// emptied) or the optimizer is of another class.
int lpoOrderListAdd(LpoOrderList* list, double entryX, double entryY, double entryZ, double exitX,
                    double exitY, double exitZ, void* user);
int lpoOrderListOptimize(LpoOrderList* list);
// The lower bound of the last lpoOrderListOptimize.
double lpoOrderListLowerBound();
void* lpoOrderListFirst(LpoOrderList* list);
void* lpoOrderListNext(LpoOrderList* list);
