#include "geometry/pline/pline_stack.h"

#include "base/memory.h"
#include "geometry/pline/pline_copies.h"

PlineStack* plineStackNew() { return static_cast<PlineStack*>(memAllocZeroed(sizeof(PlineStack))); }

int plineStackPushCopy(PlineStack* stack, const Pline* pl) {
  if (stack == nullptr || pl == nullptr) return 0;
  auto* node = static_cast<PlineStackNode*>(memAllocZeroed(sizeof(PlineStackNode)));
  if (node == nullptr) return -1;
  node->pl = plineNewCapped(kPlineStackCopyCapacity, 1);
  if (node->pl == nullptr || plineCopyCompacted(pl, node->pl) != 1) {
    plineFree(node->pl);
    memFree(node);
    return -1;
  }
  node->next = stack->top;
  stack->top = node;
  return 1;
}

Pline* plineStackPop(PlineStack* stack) {
  if (stack == nullptr || stack->top == nullptr) return nullptr;
  PlineStackNode* node = stack->top;
  stack->top = node->next;
  Pline* pl = node->pl;
  memFree(node);
  return pl;
}

void plineStackFree(PlineStack* stack) {
  if (stack == nullptr) return;
  while (stack->top != nullptr) plineFree(plineStackPop(stack));
  memFree(stack);
}
