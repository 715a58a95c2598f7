// Internal state and helpers shared by the POF writer sources.  Not for use
// outside pof_*.cpp.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/cycle_context.h"
#include "tessaro.h"

// Axis bits of the per-level masks.
enum PofAxisBit : int {
  kPofAxisX = 1,
  kPofAxisY = 2,
  kPofAxisZ = 4,
  kPofAxisU = 16,
  kPofAxisV = 32,
  kPofAxisW = 64,
};
// Axes that complete a position: x, y, z; after "tr" "5X" also u, v, w.
constexpr int kPofTarget3D = kPofAxisX | kPofAxisY | kPofAxisZ;
constexpr int kPofTarget5X = kPofTarget3D | kPofAxisU | kPofAxisV | kPofAxisW;

// States of the first-position bracket.
enum PofFpState : int {
  kPofFpNotYet = -1,    // level began, nothing written yet
  kPofFpClosed = 0,     // bracket written and closed
  kPofFpOpen = 1,       // bracket open
  kPofFpOpenTwice = 2,  // opened by geometry, joined by the NC writer
};

// Output state of one cycle level.
struct PofLevelState {
  int layerFlag;   // 1: the layer list names channel 32
  int geoAxes;     // axes written on the geometry channels
  int ncAxes;      // axes written on the NC channel
  int targetAxes;  // axes that complete the first position
  int fpState;     // PofFpState
  int writeAlias;  // 1: alias records are written
};

// The state of the current level (level 0's when none is open; levels
// beyond 1 share level 1's).  Never null.
PofLevelState* pofCurrentLevel();

// Makes elapsed times fixed (tests) or measured again.
void pofPinElapsed(bool fixed, long elapsedMs);

// The POF stream, standard output when none was chosen.
std::FILE* pofStream();

// Writes text and a line feed to the POF stream.
void pofPutLine(std::string_view text);

// The first-position bracket lines.
void pofBracketOpen(CycleDescriptor* ctx);
// Closes the bracket: ":=0", then, when withProc, the proc line for the
// level's target axes, then the block "AFP".
void pofBracketClose(CycleDescriptor* ctx, bool withProc);

// Text of a record field at offset, bounded by the field size even when the
// field lacks its terminator.
std::string_view pofRecText(const OutputRecord* record, std::size_t offset);

// Number in the current precision (numFormat).
std::string pofNum(double v);
// Number as printf "%.8lf" would write it in the C locale.
std::string pofFixed8(double v);

// The value of the last cfg line with exactly this keyword, or null (also
// for a null ctx).
const char* pofCfgValue(const CycleDescriptor* ctx, const char* keyword);
// The value of a parameter (a copy), or "" when absent or ctx is null.
std::string pofParam(const CycleDescriptor* ctx, const char* name);
// True when the parameter exists (false for a null ctx).
bool pofHasParam(const CycleDescriptor* ctx, const char* name);
