// The hooks through which the link output sends its moves, path pieces and
// output elements to the cycle's output, with the filter that drops a move
// to the point where the last move ended.
//
// Move types: 1 a cutting (feed) move, 0 a positioning move; a negative
// type stands for no move.  Element codes: 1 cutting path, 64 link, 128
// final retract.
//
// One process-wide set of slots and one last move, unsynchronised: cycle
// thread only, never inside a parallel region.
#pragma once

using MoveFn = int (*)(const double point[3], int moveType);
using PieceFn = void (*)();
using ElementFn = int (*)(int code, double a, double b);

// The last move before any move of a run.
constexpr double kMoveLoadX = 1234567.0;
constexpr double kMoveLoadY = 1234567.0;
constexpr double kMoveLoadZ = -1234567.0;
// Coordinates closer than this (in each of x, y and z) repeat a move.
constexpr double kMoveRepeatTol = 0.00001;

// Stores the move and piece slots (null allowed).
void linkSetMoveHooks(MoveFn onMove, PieceFn onPieceBegin, PieceFn onPieceEnd);
// Empties the move and piece slots; the element slots and the mask stay.
void linkClearMoveHooks();
// Stores the element mask and the element slots.
void linkSetElementHooks(int mask, ElementFn onElementBegin, ElementFn onElementEnd);

// Puts the last move back to its load value (no move yet), so that the
// first move of a run is never dropped for repeating where the previous
// run ended.  The slots stay.  Called at the start of every run.
void linkResetLastMove();

// Emits a move: dropped (result 0, nothing called) when moveType and the
// last move type are not negative and every coordinate differs from the last
// point by less than kMoveRepeatTol; otherwise the point and type become the
// last move, onMove is called when set, and the result is -3 when onMove
// returned a negative value, else 0.
int linkEmitMove(const double point[3], int moveType);

// 1 when check is non-zero, a move was emitted before and the 3D distance
// from the last point to point is less than distance; else 0.
int linkIsNearLast(const double point[3], double distance, int check);

// Call the piece slots when they are set.
void linkCallPieceBegin();
void linkCallPieceEnd();

// Call the element slot with (code, 0, 0) when code shares a bit with the
// mask and the slot is set.
void linkCallElementBegin(int code);
void linkCallElementEnd(int code);

// The last move (for tests and the link output).
void linkLastMove(double point[3], int* moveType);
