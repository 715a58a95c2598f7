// PlineStack: a last-in-first-out store of compacted Pline copies.
//
// The stack owns the Plines on it until they are popped; a popped Pline
// belongs to the caller (plineFree).  Not locked: one thread per stack.
#pragma once

#include "geometry/pline/pline.h"

// Capacity of the Pline made for each pushed copy (it grows to the copy).
inline constexpr int kPlineStackCopyCapacity = 10;

struct PlineStackNode {
  Pline* pl;
  PlineStackNode* next;
};

struct PlineStack {
  PlineStackNode* top;
};

// An empty stack; null on failure.
PlineStack* plineStackNew();

// Pushes a compacted copy of pl (its dropped points left out, with axes).
// 1; 0 for a null stack or Pline; -1 when the node, the Pline or the copy
// cannot be allocated, and then the stack is as it was.
int plineStackPushCopy(PlineStack* stack, const Pline* pl);

// Removes the top node and hands its Pline to the caller; null for a null or
// empty stack.
Pline* plineStackPop(PlineStack* stack);

// Frees every Pline still on the stack, the nodes and the stack.  Null
// allowed.
void plineStackFree(PlineStack* stack);
