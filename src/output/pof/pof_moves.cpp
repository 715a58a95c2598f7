// POF writers of the geometry channels (31, 33, 35, 36) and the NC channel
// (32): numbered move lines, arcs, G-code blocks, and the first-position
// bracket around the first complete tool position of a cycle level.

#include <string>

#include "output/output_record.h"
#include "output/pof/pof_internal.h"
#include "output/pof/pof_writer.h"

namespace {

// Number of the last move line written; never reset.
long gPofMoveCounter = 0;
const CycleDescriptor* gPofOutermostRun = nullptr;

// Geometry record offsets (see the record layout of the geometry channels).
constexpr std::size_t kGeoX = 40, kGeoY = 48, kGeoZ = 56;
constexpr std::size_t kGeoU = 64, kGeoV = 72, kGeoW = 80;
constexpr std::size_t kGeoCx = 64, kGeoCy = 72, kGeoCz = 80;
constexpr std::size_t kGeoDirection = 8;
// Axis-flagged records (geometry 3107, 3109, 3114, 3118 and NC 4007, 4016,
// 4019, 4020): i32 presence flags, then the values; u, v, w at 64, 72, 80.
constexpr std::size_t kGeoFlagX = 8, kGeoFlagY = 12, kGeoFlagZ = 16;
constexpr std::size_t kGeoFlagU = 48, kGeoFlagV = 52, kGeoFlagW = 56;
constexpr std::size_t kGeoValX = 24, kGeoValY = 32, kGeoValZ = 40;

// NC record offsets.  Blocks of one axis (4012-4015) keep x and y where the
// X Y blocks keep them.
constexpr std::size_t kNcX = 8, kNcY = 16, kNcZ = 24;
constexpr std::size_t kNcI = 32, kNcJ = 40, kNcK = 48;
constexpr std::size_t kNcU = 32, kNcV = 40;

bool pofGeoOpensBracket(int code) {
  return (code >= kRecRapidXY && code <= kRecRapidXYZ) ||
         (code >= kRecRapidX && code <= kRecRapidAxes) || code == kRecRapid5X ||
         (code >= kRecLineXY && code <= kRecLineY) || code == kRecLine5X || code == kRecArcXY ||
         code == kRecArcXYZ || code == kRecPositionZ;
}

bool pofNcOpensBracket(int code) {
  return (code >= kRecNcRapidXY && code <= kRecNcRapidAxes) || code == kRecNcRapid5X ||
         code == kRecNcLine5X || code == kRecNcG100Z;
}

bool pofFlag(const OutputRecord* r, std::size_t offset) { return outRecGetI32(r, offset) == 1; }

// " x[/v]" style part of a move line.
std::string pofAxisPart(char axis, const std::string& v) {
  std::string s = " ";
  s += axis;
  s += "[/";
  s += v;
  s += ']';
  return s;
}

// Body of a move line (after the head) and the axes it writes.
struct PofMoveBody {
  std::string text;
  int axes = 0;
};

// One axis of the axis-flagged records: its i32 presence flag, its value
// and its bit.  Geometry (3107, 3109, 3114, 3118) and NC records (4007,
// 4016, 4019, 4020) keep them at the same offsets.
struct PofFlaggedAxis {
  std::size_t flagOffset;
  std::size_t valueOffset;
  char geoName;
  char ncName;
  int bit;
  bool rotary;  // u, v, w: written with eight fixed decimals
};

constexpr PofFlaggedAxis kPofFlaggedAxes[] = {
    {kGeoFlagX, kGeoValX, 'x', 'X', kPofAxisX, false},
    {kGeoFlagY, kGeoValY, 'y', 'Y', kPofAxisY, false},
    {kGeoFlagZ, kGeoValZ, 'z', 'Z', kPofAxisZ, false},
    {kGeoFlagU, kGeoU, 'u', 'U', kPofAxisU, true},
    {kGeoFlagV, kGeoV, 'v', 'V', kPofAxisV, true},
    {kGeoFlagW, kGeoW, 'w', 'W', kPofAxisW, true},
};

// Body of an axis-flagged move: each flagged axis in x y z u v w order; u,
// v, w only for the five-axis codes.  Geometry parts read " x[/1]", NC parts
// " X1".
PofMoveBody pofFlaggedBody(const OutputRecord* r, bool fiveAxis, bool nc) {
  PofMoveBody b;
  for (const PofFlaggedAxis& a : kPofFlaggedAxes) {
    if (a.rotary && !fiveAxis) break;
    if (!pofFlag(r, a.flagOffset)) continue;
    const double v = outRecGetF64(r, a.valueOffset);
    const std::string text = a.rotary ? pofFixed8(v) : pofNum(v);
    if (nc) {
      b.text += ' ';
      b.text += a.ncName;
      b.text += text;
    } else {
      b.text += pofAxisPart(a.geoName, text);
    }
    b.axes |= a.bit;
  }
  return b;
}

std::string pofArcPart(char axis, double end, double centre) {
  return pofAxisPart(axis, pofNum(end) + "/" + pofNum(centre));
}

}  // namespace

void pofBracketOpen(CycleDescriptor* ctx) {
  pofWriteLiteralBlock(ctx, "BFP");
  pofPutLine("10: arg(I:firstPosition:=1)");
  pofCurrentLevel()->fpState = kPofFpOpen;
}

void pofBracketClose(CycleDescriptor* ctx, bool withProc) {
  PofLevelState* level = pofCurrentLevel();
  pofPutLine("10: arg(I:firstPosition:=0)");
  level->fpState = kPofFpClosed;
  if (withProc) {
    pofPutLine(level->targetAxes == kPofTarget3D ? "10: proc(firstPosition3D)"
                                                 : "10: proc(firstPosition5X)");
  }
  pofWriteLiteralBlock(ctx, "AFP");
}

int pofWriteContour(CycleDescriptor* ctx, unsigned channel, OutputRecord* record) {
  if (record == nullptr) return 1;
  const int code = record->code;
  const std::string ch = std::to_string(channel) + ": ";
  const OutputRecord* r = record;

  // Complete lines without move number or bracket.
  switch (code) {
    case kRecContourBegin: {
      std::string line = ch + "oContour";
      std::string_view name = pofRecText(r, kRecName);
      std::string_view value = pofRecText(r, kRecValue);
      if (!name.empty()) {
        line += '[';
        line += name;
        line += ']';
      }
      if (value.empty()) {
        line += "( )   {";
      } else {
        line += "( ";
        line += value;
        line += " )   {";
      }
      pofPutLine(line);
      return 1;
    }
    case kRecContourEnd:
      pofPutLine(ch + "}");
      return 1;
    case kRecVariable:
      pofPutLine(ch + "v" + std::string(pofRecText(r, kRecName)) + "(" +
                 std::string(pofRecText(r, kRecValue)) + ")");
      return 1;
    case kRecRawText:
      pofPutLine(ch + "; " + std::string(pofRecText(r, kRecName)));
      return 1;
    default:
      break;
  }

  // Move and position lines: head kind, body and axes.
  const char* kind = nullptr;  // "oM", "oL", "oA", or null for oPos
  PofMoveBody body;
  auto xy = [&] {
    body.text = pofAxisPart('x', pofNum(outRecGetF64(r, kGeoX))) +
                pofAxisPart('y', pofNum(outRecGetF64(r, kGeoY)));
    body.axes = kPofAxisX | kPofAxisY;
  };
  auto xyz = [&] {
    xy();
    body.text += pofAxisPart('z', pofNum(outRecGetF64(r, kGeoZ)));
    body.axes |= kPofAxisZ;
  };
  auto xyuv = [&] {
    body.text = pofAxisPart('x', pofNum(outRecGetF64(r, kGeoX))) +
                pofAxisPart('y', pofNum(outRecGetF64(r, kGeoY))) +
                pofAxisPart('u', pofNum(outRecGetF64(r, kGeoU))) +
                pofAxisPart('v', pofNum(outRecGetF64(r, kGeoV)));
    body.axes = 0;  // u v moves leave the bracket alone
  };
  auto onlyZ = [&] {
    body.text = pofAxisPart('z', pofNum(outRecGetF64(r, kGeoZ)));
    body.axes = kPofAxisZ;
  };
  auto onlyX = [&] {
    body.text = pofAxisPart('x', pofNum(outRecGetF64(r, kGeoX)));
    body.axes = kPofAxisX;
  };
  auto onlyY = [&] {
    body.text = pofAxisPart('y', pofNum(outRecGetF64(r, kGeoY)));
    body.axes = kPofAxisY;
  };
  switch (code) {
    case kRecRapidXY:
      kind = "oM";
      xy();
      break;
    case kRecRapidZ:
      kind = "oM";
      onlyZ();
      break;
    case kRecRapidXYZ:
      kind = "oM";
      xyz();
      break;
    case kRecRapidX:
      kind = "oM";
      onlyX();
      break;
    case kRecRapidY:
      kind = "oM";
      onlyY();
      break;
    case kRecRapidAxes:
      kind = "oM";
      body = pofFlaggedBody(r, false, false);
      break;
    case kRecRapid5X:
      kind = "oM";
      body = pofFlaggedBody(r, true, false);
      break;
    case kRecRapidUV:
      kind = "oM";
      xyuv();
      break;
    case kRecLineXY:
      kind = "oL";
      xy();
      break;
    case kRecLineZ:
      kind = "oL";
      onlyZ();
      break;
    case kRecLineXYZ:
      kind = "oL";
      xyz();
      break;
    case kRecLineX:
      kind = "oL";
      onlyX();
      break;
    case kRecLineY:
      kind = "oL";
      onlyY();
      break;
    case kRecLineAxes:
      kind = "oL";
      body = pofFlaggedBody(r, false, false);
      break;
    case kRecLine5X:
      kind = "oL";
      body = pofFlaggedBody(r, true, false);
      break;
    case kRecLineUV:
      kind = "oL";
      xyuv();
      break;
    case kRecArcXY:
    case kRecArcXYZ: {
      kind = "oA";
      body.text = std::string(" o[") + (outRecGetI32(r, kGeoDirection) == 1 ? '-' : '+') + "]" +
                  pofArcPart('x', outRecGetF64(r, kGeoX), outRecGetF64(r, kGeoCx)) +
                  pofArcPart('y', outRecGetF64(r, kGeoY), outRecGetF64(r, kGeoCy));
      body.axes = kPofAxisX | kPofAxisY;
      if (code == kRecArcXYZ) {
        body.text += pofArcPart('z', outRecGetF64(r, kGeoZ), outRecGetF64(r, kGeoCz));
        body.axes |= kPofAxisZ;
      }
      break;
    }
    case kRecPositionZ:
      onlyZ();
      break;
    default:
      return 1;  // not a geometry record
  }

  PofLevelState* level = pofCurrentLevel();
  const bool bracket = pofGeoOpensBracket(code);
  // With the NC channel in the layer list the geometry channels leave the
  // bracket to the NC writer entirely; a bracket closed here as well would
  // be closed twice.
  const bool geoOwnsBracket = level->layerFlag == 0;
  if (bracket && geoOwnsBracket && level->geoAxes == 0) pofBracketOpen(ctx);

  std::string line = ch;
  const long before = gPofMoveCounter;
  if (kind != nullptr) {
    line += kind;
    line += '[';
    line += std::to_string(++gPofMoveCounter);
    line += "](";
  } else {
    line += "oPos(";
  }
  line += body.text;
  line += " )";
  pofPutLine(line);
  // A run nested inside another one does not use up the outer run's numbers.
  const CycleDescriptor* outer = pofOutermostRun();
  if (outer != nullptr && outer != ctx) gPofMoveCounter = before;

  if (bracket) {
    const int old = level->geoAxes;
    level->geoAxes |= body.axes;
    if (geoOwnsBracket && level->geoAxes != old && level->geoAxes == level->targetAxes) {
      if (level->fpState == kPofFpOpen) {
        pofBracketClose(ctx, true);
      } else if (level->fpState == kPofFpOpenTwice) {
        level->fpState = kPofFpOpen;  // the NC writer closes it
      }
    }
  }
  return 1;
}

int pofWriteContourCh31(CycleDescriptor* ctx, OutputRecord* record) {
  return pofWriteContour(ctx, 31, record);
}
int pofWriteContourCh33(CycleDescriptor* ctx, OutputRecord* record) {
  return pofWriteContour(ctx, 33, record);
}
int pofWriteContourCh35(CycleDescriptor* ctx, OutputRecord* record) {
  return pofWriteContour(ctx, 35, record);
}
int pofWriteContourCh36(CycleDescriptor* ctx, OutputRecord* record) {
  return pofWriteContour(ctx, 36, record);
}

int pofWriteNcBlock(CycleDescriptor* ctx, OutputRecord* record) {
  if (record == nullptr) return 1;
  const OutputRecord* r = record;
  const int code = r->code;
  auto num = [&](std::size_t off) { return pofNum(outRecGetF64(r, off)); };
  std::string text;
  int axes = 0;
  switch (code) {
    case kRecNcRapidXY:
    case kRecNcLineXY:
      text = std::string(code == kRecNcRapidXY ? "G0" : "G1") + " X" + num(kNcX) + " Y" + num(kNcY);
      axes = kPofAxisX | kPofAxisY;
      break;
    case kRecNcRapidZ:
    case kRecNcLineZ:
      text = std::string(code == kRecNcRapidZ ? "G0" : "G1") + " Z" + num(kNcZ);
      axes = kPofAxisZ;
      break;
    case kRecNcRapidXYZ:
    case kRecNcLineXYZ:
      text = std::string(code == kRecNcRapidXYZ ? "G0" : "G1") + " X" + num(kNcX) + " Y" +
             num(kNcY) + " Z" + num(kNcZ);
      axes = kPofTarget3D;
      break;
    case kRecNcLineAxes:
    case kRecNcLine5X:
    case kRecNcRapidAxes:
    case kRecNcRapid5X: {
      const bool rapid = code == kRecNcRapidAxes || code == kRecNcRapid5X;
      PofMoveBody b = pofFlaggedBody(r, code == kRecNcLine5X || code == kRecNcRapid5X, true);
      text = std::string(rapid ? "G0" : "G1") + b.text;
      axes = b.axes;
      break;
    }
    case kRecNcArcCw:
    case kRecNcArcCcw:
      text = std::string(code == kRecNcArcCw ? "G2" : "G3") + " X" + num(kNcX) + " Y" + num(kNcY) +
             " I" + num(kNcI) + " J" + num(kNcJ);
      axes = kPofAxisX | kPofAxisY;
      break;
    case kRecNcArcCwZ:
    case kRecNcArcCcwZ:
      text = std::string(code == kRecNcArcCwZ ? "G2" : "G3") + " X" + num(kNcX) + " Y" + num(kNcY) +
             " Z" + num(kNcZ) + " I" + num(kNcI) + " J" + num(kNcJ) + " K" + num(kNcK);
      axes = kPofTarget3D;
      break;
    case kRecNcRapidX:
    case kRecNcLineX:
      text = std::string(code == kRecNcRapidX ? "G0" : "G1") + " X" + num(kNcX);
      axes = kPofAxisX;
      break;
    case kRecNcRapidY:
    case kRecNcLineY:
      text = std::string(code == kRecNcRapidY ? "G0" : "G1") + " Y" + num(kNcY);
      axes = kPofAxisY;
      break;
    case kRecNcRapidUV:
    case kRecNcLineUV:
      text = std::string(code == kRecNcRapidUV ? "G0" : "G1") + " X" + num(kNcX) + " Y" +
             num(kNcY) + " U" + num(kNcU) + " V" + num(kNcV);
      break;
    case kRecNcG100Z:
      text = "G100 Z" + num(kNcZ);
      axes = kPofAxisZ;
      break;
    case kRecNcText:
      text = std::string(pofRecText(r, kRecName));
      break;
    default:
      return 1;
  }

  PofLevelState* level = pofCurrentLevel();
  const bool bracket = pofNcOpensBracket(code);
  if (bracket && level->ncAxes == 0) {
    if (level->fpState == kPofFpOpen) {
      level->fpState = kPofFpOpenTwice;
    } else {
      pofBracketOpen(ctx);
    }
  }
  pofPutLine("32: " + text);
  if (bracket) {
    const int old = level->ncAxes;
    level->ncAxes |= axes;
    if (level->ncAxes != old && level->ncAxes == level->targetAxes) pofBracketClose(ctx, true);
  }
  return 1;
}

long pofMoveCounter() { return gPofMoveCounter; }

void pofSetOutermostRun(const CycleDescriptor* ctx) { gPofOutermostRun = ctx; }

const CycleDescriptor* pofOutermostRun() { return gPofOutermostRun; }

void pofSetMoveCounter(long value) { gPofMoveCounter = value; }
