// The 784-byte output record (defined in tessaro.h, because it reaches the
// host unchanged) and typed access to its fields at their byte offsets.
//
// The same bytes serve several record families: text records (name, value,
// text3), marker records (number, kind, name, data, usage) and geometry or
// NC records (i32 flags and doubles).  Fields are read and written with
// memcpy at byte offsets from the record's start, never through casts.
// Texts are NUL-terminated in fixed fields; setters copy bounded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tessaro.h"

static_assert(sizeof(OutputRecord) == 784, "OutputRecord is 784 bytes");
static_assert(offsetof(OutputRecord, code) == 0);
static_assert(offsetof(OutputRecord, body) == 8);
static_assert(offsetof(OutputRecord, body.text.name) == 8);
static_assert(offsetof(OutputRecord, body.text.value) == 264);
static_assert(offsetof(OutputRecord, body.text.text3) == 520);

// Byte offsets of the record's fields.
enum OutRecOffset : std::size_t {
  kRecCode = 0,
  kRecName = 8,
  kRecValue = 264,
  kRecText3 = 520,
  // Marker records (codes 5001-5005).
  kRecMarkNumber = 8,
  kRecMarkKind = 12,
  kRecMarkName = 16,
  kRecMarkData = 272,
  kRecMarkUsage = 528,
};

// Geometry records (channels 30, 31, 33, 35, 36, 41): an i32 at 8 (3104
// size flag, 3121/3122 direction), the point at 40/48/56, the second vector
// (u v w, arc centre, 3104 size at 80) at 64/72/80.
constexpr std::size_t kRecGeoFlag = 8;
constexpr std::size_t kRecGeoX = 40;
constexpr std::size_t kRecGeoY = 48;
constexpr std::size_t kRecGeoZ = 56;
constexpr std::size_t kRecGeoU = 64;
constexpr std::size_t kRecGeoV = 72;
constexpr std::size_t kRecGeoW = 80;
// Axis-flagged records (3107, 3109, 3114, 3118, 4007, 4016, 4019, 4020):
// i32 presence flags of x y z at 8/12/16 with values at 24/32/40, and of
// u v w at 48/52/56 with values at 64/72/80.
constexpr std::size_t kRecAxFlagX = 8;
constexpr std::size_t kRecAxFlagY = 12;
constexpr std::size_t kRecAxFlagZ = 16;
constexpr std::size_t kRecAxX = 24;
constexpr std::size_t kRecAxY = 32;
constexpr std::size_t kRecAxZ = 40;
constexpr std::size_t kRecAxFlagU = 48;
constexpr std::size_t kRecAxFlagV = 52;
constexpr std::size_t kRecAxFlagW = 56;
constexpr std::size_t kRecAxU = 64;
constexpr std::size_t kRecAxV = 72;
constexpr std::size_t kRecAxW = 80;
// NC records (channel 32): x y z at 8/16/24; arc centre I J K (or U V of
// 4017/4018) at 32/40/48.
constexpr std::size_t kRecNcX = 8;
constexpr std::size_t kRecNcY = 16;
constexpr std::size_t kRecNcZ = 24;
constexpr std::size_t kRecNcI = 32;
constexpr std::size_t kRecNcJ = 40;
constexpr std::size_t kRecNcK = 48;
// Display point 7001: i32 0 at 8, the point three times from 16, 40, 64.
constexpr std::size_t kRecDisplayFlag = 8;
constexpr std::size_t kRecDisplayPoint1 = 16;
constexpr std::size_t kRecDisplayPoint2 = 40;
constexpr std::size_t kRecDisplayPoint3 = 64;

// Size of every text field, terminator included.
constexpr std::size_t kRecTextField = 256;
// Marker texts are cut to this many characters.
constexpr std::size_t kRecMarkTextMax = 254;

// Record codes.
enum OutRecCode : int32_t {
  kRecStatusValue = 100,
  kRecError = 101,
  kRecAbort = 102,
  kRecCycleBegin = 103,
  kRecCycleEnd = 104,
  kRecCall = 201,
  kRecDef = 202,
  kRecLoc = 203,
  kRecCfg = 204,
  kRecArgument = 301,
  kRecComment = 1001,
  kRecContourBegin = 3001,
  kRecContourEnd = 3002,
  kRecRapidXY = 3101,
  kRecRapidZ = 3102,
  kRecRapidXYZ = 3103,
  kRecDrillPoint = 3104,
  kRecRapidX = 3105,
  kRecRapidY = 3106,
  kRecRapidAxes = 3107,
  kRecRapidUV = 3108,
  kRecRapid5X = 3109,
  kRecLineXY = 3111,
  kRecLineZ = 3112,
  kRecLineXYZ = 3113,
  kRecLineAxes = 3114,
  kRecLineX = 3115,
  kRecLineY = 3116,
  kRecLineUV = 3117,
  kRecLine5X = 3118,
  kRecArcXY = 3121,
  kRecArcXYZ = 3122,
  kRecVariable = 3131,
  kRecPositionZ = 3141,
  kRecRawText = 3199,
  kRecNcRapidXY = 4001,
  kRecNcRapidZ = 4002,
  kRecNcRapidXYZ = 4003,
  kRecNcLineXY = 4004,
  kRecNcLineZ = 4005,
  kRecNcLineXYZ = 4006,
  kRecNcLineAxes = 4007,
  kRecNcArcCw = 4008,
  kRecNcArcCcw = 4009,
  kRecNcArcCwZ = 4010,
  kRecNcArcCcwZ = 4011,
  kRecNcRapidX = 4012,
  kRecNcRapidY = 4013,
  kRecNcLineX = 4014,
  kRecNcLineY = 4015,
  kRecNcRapidAxes = 4016,
  kRecNcRapidUV = 4017,
  kRecNcLineUV = 4018,
  kRecNcRapid5X = 4019,
  kRecNcLine5X = 4020,
  kRecNcG100Z = 4041,
  kRecNcText = 4101,
  kRecMarkBegin = 5001,
  kRecMarkEnd = 5002,
  kRecMarkClear = 5003,
  kRecMarkClearAll = 5004,
  kRecMarkMoveKind = 5005,
  kRecDisplayPoint = 7001,
};

// Sets every byte of rec to zero and its code to code.
void outRecClear(OutputRecord* rec, int32_t code);

// Typed field access at a byte offset.  offset + field size must not exceed
// 784 (asserted).
int32_t outRecGetI32(const OutputRecord* rec, std::size_t offset);
void outRecSetI32(OutputRecord* rec, std::size_t offset, int32_t v);
double outRecGetF64(const OutputRecord* rec, std::size_t offset);
void outRecSetF64(OutputRecord* rec, std::size_t offset, double v);

// The text field at offset (kRecName, kRecValue, kRecText3 or a marker text
// offset), as a pointer into the record.  The pointee is NUL-terminated as
// long as it was set through outRecSetText.
const char* outRecText(const OutputRecord* rec, std::size_t offset);
char* outRecText(OutputRecord* rec, std::size_t offset);

// Copies text (null: "") into the field at offset, keeping at most maxChars
// characters (at most kRecTextField - 1, and the field must end within the
// record) and always writing the terminator.  A text that is too long is cut
// at a unit boundary: an escape ("\\" or a backslash and three digits) is
// kept whole or dropped whole.  Returns the number of characters kept.
std::size_t outRecSetText(OutputRecord* rec, std::size_t offset, const char* text,
                          std::size_t maxChars = kRecTextField - 1);

// Length of the longest prefix of text of at most maxChars characters that
// does not end inside an escape unit ("\\" or "\ddd").
std::size_t outTextCutLength(const char* text, std::size_t maxChars);
