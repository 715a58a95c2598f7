// The kernel's record emitters: each fills an OutputRecord on the stack and
// sends it through outSendRecord on the channels named below.  All take the
// context first; a null context sends nothing and returns 0.  Coordinates
// go out unchanged.
//
// Texts longer than a record field (255 characters; markers 254) are cut at
// a unit boundary that never splits an escape.  Unless stated, an emitter
// returns the dispatch result of its (first) record; emitters of a
// geometry and an NC record return the larger of the two results.
//
// Thread-safety: as outSendRecord.  The display emitters (channels 41, 42)
// may be called from worker threads; the others from the cycle thread.
#pragma once

#include "base/cycle_context.h"

// ch 0: 101, name "error", value text.
int outSendError(CycleDescriptor* ctx, const char* text);
// ch 2: 1001, name text.
int outSendComment(CycleDescriptor* ctx, const char* text);

// ch 31: 3001 with name (null: "") and value "cmnt[<comment>]" and/or
// "u[<usage>]", joined by one blank, each only when given (non-empty).
int outContourBegin(CycleDescriptor* ctx, const char* name, const char* comment, const char* usage);
// ch 31: 3002.
int outContourEnd(CycleDescriptor* ctx);

// Moves: geometry record on ch 31, NC block on ch 32.
int outRapidXY(CycleDescriptor* ctx, double x, double y);            // 3101, 4001
int outRapidZ(CycleDescriptor* ctx, double z);                       // 3102, 4002
int outLineXY(CycleDescriptor* ctx, double x, double y);             // 3111, 4004
int outLineZ(CycleDescriptor* ctx, double z);                        // 3112, 4005
int outLineXYZ(CycleDescriptor* ctx, double x, double y, double z);  // 3113, 4006
// ch 31: 3121 with direction; ch 32: 4008 (G2) for direction 1, else 4009.
// (x, y) is the end point, (cx, cy) the centre.
int outArcXY(CycleDescriptor* ctx, int direction, double x, double y, double cx, double cy);

// ch 31: 3131 (name, value); ch 1: 203, name "loc", value "\"name\":=\"value\"".
int outSendVariable(CycleDescriptor* ctx, const char* name, const char* value);
// ch 10: 301 (name, value).
int outSendArg(CycleDescriptor* ctx, const char* name, const char* value);
// outSendArg "arg" = "F:\"name\":=" and v in the current precision.
int outSendRealArg(CycleDescriptor* ctx, const char* name, double v);
// outSendArg "aliasDef" = "name,name2,text,value" (value "1" when null or
// empty).
int outSendAliasDef(CycleDescriptor* ctx, const char* name, const char* name2, const char* text,
                    const char* value);
// ch 11: 3199 with text in name.
int outSendVariableText(CycleDescriptor* ctx, const char* text);
// ch 11: 3131 (name, value).
int outSendToolVariable(CycleDescriptor* ctx, const char* name, const char* value);
// When (x, y, z) is longer than kOutAxisMinLength: ch 11: 3131 "toolAxis" =
// "x,y,z" of the unit vector in the current precision; otherwise nothing (0).
int outSendAxisVariable(CycleDescriptor* ctx, double x, double y, double z);
// Turns (x, y, z) by the rotation of ctx->toolCs, then by the inverse
// rotation of ctx->frameCs (translations ignored), and sends it with
// outSendAxisVariable.
int outSendToolAxis(CycleDescriptor* ctx, double x, double y, double z);
// ch 32: 4101 with text in name, when text is not empty.
int outSendNcText(CycleDescriptor* ctx, const char* text);
// The parameter "lastComment" gives n; "comment_1" to "comment_n" are sent
// in order with outSendComment, missing ones skipped.  Returns how many
// comments were sent.
int outSendParamComments(CycleDescriptor* ctx);

// Markers on ch 12.  Texts are cut to 254 characters.
int outPartBegin(CycleDescriptor* ctx, int number, const char* data, const char* usage);  // 5001
int outPartEnd(CycleDescriptor* ctx, int number, const char* data, const char* usage);    // 5002
int outPartClear(CycleDescriptor* ctx, int number);  // 5003, kind 1, empty texts
// 5001 / 5002, kind 4, number 0; nothing (0) when name is null or empty.
int outContextBegin(CycleDescriptor* ctx, const char* name, const char* data, const char* usage);
int outContextEnd(CycleDescriptor* ctx, const char* name, const char* data, const char* usage);
int outClearAll(CycleDescriptor* ctx);  // 5004

// Move-kind markers: ch 12: 5005 with the kind at the kind field.
enum OutMoveKind : int {
  kMoveRapidUp = 101,
  kMoveRapidDown = 102,
  kMoveRapidXY = 103,
  kMoveRapidArea = 104,
  kMoveApproach = 111,
  kMoveRetract = 112,
  kMoveSmooth = 113,
  kMoveInfeed = 114,
  kMovePath = 115,
  kMoveConnection = 121,
};
int outKindRapidUp(CycleDescriptor* ctx);
int outKindRapidDown(CycleDescriptor* ctx);
int outKindRapidXY(CycleDescriptor* ctx);
int outKindRapidArea(CycleDescriptor* ctx);
int outKindApproach(CycleDescriptor* ctx);
int outKindRetract(CycleDescriptor* ctx);
int outKindSmooth(CycleDescriptor* ctx);
int outKindInfeed(CycleDescriptor* ctx);
int outKindPath(CycleDescriptor* ctx);
int outKindConnection(CycleDescriptor* ctx);

// Display output for the host (no POF text).  ch 41: 3001 as
// outContourBegin, 3002, 3103 (move to), 3113 (line to); ch 42: 7001.
int outDisplayBegin(CycleDescriptor* ctx, const char* name, const char* comment, const char* usage);
int outDisplayEnd(CycleDescriptor* ctx);
int outDisplayMoveTo(CycleDescriptor* ctx, double x, double y, double z);
int outDisplayLineTo(CycleDescriptor* ctx, double x, double y, double z);
int outDisplayPoint(CycleDescriptor* ctx, double x, double y, double z);

// Shortest axis vector that outSendAxisVariable sends.
constexpr double kOutAxisMinLength = 1e-8;
