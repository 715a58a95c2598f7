#include "boundaries/links/move_hooks.h"

#include <cmath>

namespace {

struct MoveHooks {
  MoveFn onMove = nullptr;
  PieceFn onPieceBegin = nullptr;
  PieceFn onPieceEnd = nullptr;
  int elementMask = 0;
  ElementFn onElementBegin = nullptr;
  ElementFn onElementEnd = nullptr;
};

MoveHooks gHooks;
double gLast[3] = {kMoveLoadX, kMoveLoadY, kMoveLoadZ};
int gLastType = -1;

}  // namespace

void linkSetMoveHooks(MoveFn onMove, PieceFn onPieceBegin, PieceFn onPieceEnd) {
  gHooks.onMove = onMove;
  gHooks.onPieceBegin = onPieceBegin;
  gHooks.onPieceEnd = onPieceEnd;
}

void linkClearMoveHooks() { linkSetMoveHooks(nullptr, nullptr, nullptr); }

void linkSetElementHooks(int mask, ElementFn onElementBegin, ElementFn onElementEnd) {
  gHooks.elementMask = mask;
  gHooks.onElementBegin = onElementBegin;
  gHooks.onElementEnd = onElementEnd;
}

void linkResetLastMove() {
  gLast[0] = kMoveLoadX;
  gLast[1] = kMoveLoadY;
  gLast[2] = kMoveLoadZ;
  gLastType = -1;
}

int linkEmitMove(const double point[3], int moveType) {
  if (moveType >= 0 && gLastType >= 0 && std::fabs(point[0] - gLast[0]) < kMoveRepeatTol &&
      std::fabs(point[1] - gLast[1]) < kMoveRepeatTol &&
      std::fabs(point[2] - gLast[2]) < kMoveRepeatTol) {
    return 0;
  }
  gLast[0] = point[0];
  gLast[1] = point[1];
  gLast[2] = point[2];
  gLastType = moveType;
  if (gHooks.onMove != nullptr && gHooks.onMove(point, moveType) < 0) return -3;
  return 0;
}

int linkIsNearLast(const double point[3], double distance, int check) {
  if (check == 0 || gLastType == -1) return 0;
  const double dx = point[0] - gLast[0];
  const double dy = point[1] - gLast[1];
  const double dz = point[2] - gLast[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz) < distance ? 1 : 0;
}

void linkCallPieceBegin() {
  if (gHooks.onPieceBegin != nullptr) gHooks.onPieceBegin();
}

void linkCallPieceEnd() {
  if (gHooks.onPieceEnd != nullptr) gHooks.onPieceEnd();
}

void linkCallElementBegin(int code) {
  if ((code & gHooks.elementMask) != 0 && gHooks.onElementBegin != nullptr) {
    gHooks.onElementBegin(code, 0.0, 0.0);
  }
}

void linkCallElementEnd(int code) {
  if ((code & gHooks.elementMask) != 0 && gHooks.onElementEnd != nullptr) {
    gHooks.onElementEnd(code, 0.0, 0.0);
  }
}

void linkLastMove(double point[3], int* moveType) {
  point[0] = gLast[0];
  point[1] = gLast[1];
  point[2] = gLast[2];
  if (moveType != nullptr) *moveType = gLastType;
}
