// The POF reader: reads POF text (as the POF writers write it) back into
// polylines with bulges, runs of 3D points and section marks, delivered
// through a table of ten callbacks.
//
// Records read: 0 control ("cycle", "cycleEnd", "error", "break"), 31 path
// moves and value records, 34 layer-path moves; 1, 10 and 32 are read and
// ignored; every other record is skipped.
//
// Layers handed to the callbacks (name, colour): feed moves of record 31
// ("", 2), rapid moves of record 31 ("", 1), moves of record 34
// (kPofLayerPathName, 3).
//
// Thread-safety: the callback table and the reader state are process-wide;
// one read at a time, on the cycle thread.
#pragma once

#include "formats/kfy/kfy_scanner.h"

// The ten callbacks in slot order.  Any slot may be null (not called).
// Layer names and texts are valid only during the call.
struct PofReaderCallbacks {
  // 0: a polyline begins; xyz is the end point of the move that opens it.
  void (*pofOnPolylineBegin)(const char* layer, int colour, const double xyz[3]);
  // 1: a run of single points begins.
  void (*pofOnPointsBegin)(const char* layer, int colour);
  // 2: the open polyline or point run ends.
  void (*pofOnElementEnd)();
  // 3: a vertex of the open polyline; bulge of the segment that ends there
  // (tan of a quarter of the arc's sweep, positive counter-clockwise).
  void (*pofOnPolylineVertex)(const char* layer, int colour, const double xyz[3], double bulge);
  // 4: a point of the open point run.
  void (*pofOnPoint)(const char* layer, int colour, const double xyz[3]);
  // 5, 6: value records "start" and "full" of record 31, with their text.
  void (*pofOnSectionStart)(const char* text);
  void (*pofOnSectionFull)(const char* text);
  // 7: value record "pocket"; 1 when its text is "start", else 0.
  void (*pofOnPocket)(int isStart);
  // 8: value record "end".
  void (*pofOnSectionEnd)();
  // 9: value record "infeed"; 1 when its text is "start", else 0.
  void (*pofOnInfeed)(int isStart);
};

// Name of the layer of record-34 moves.
inline constexpr const char kPofLayerPathName[] = "POFLAYER";
// Characters of record text the reader keeps per line.
inline constexpr int kPofReaderLineSize = 512;
// Points of an arc turned into single points.
inline constexpr int kPofArcPointCount = 25;
// Bulges smaller than this in size are straight chords.
inline constexpr double kPofStraightBulge = 1e-9;
// Message numbers: the file is missing; a move element is malformed.
inline constexpr int kPofMsgNoFile = 1701;
inline constexpr int kPofMsgBadMove = 1702;
// The DXF side file written next to every read (an empty ENTITIES section).
inline constexpr const char kPofDxfName[] = "tmp.dxf";

// Maps the argument of an "error" or "break" record (a text that starts with
// an error number) to a numbered message; a negative result marks the read
// as failed.  The pocket cycle installs its error table here.
using PofErrorMapper = int (*)(const char* errorText);
// Installs the mapper (null: error records are ignored).  Cycle thread.
void pofReaderSetErrorMapper(PofErrorMapper mapper);

// Reads the POF file path ("| stdin" for standard input) and calls the live
// callbacks.  Writes kPofDxfName in the working directory (skipped when it
// cannot be created).  Returns 0, or -1 when the file does not exist
// (message 1701 with the path; nothing else happens), when an error record
// mapped to a failure, or when the file includes itself (directly or
// through others) or nests includes too deep.  Malformed move elements send
// message 1702 and are skipped.
int pofReadFile(const char* path);

// Sets all ten slots of table to null.
void pofCallbacksClear(PofReaderCallbacks* table);
// Copies the live table into the backup (one level deep), then table (null:
// all slots empty) into the live table.
void pofCallbacksInstall(const PofReaderCallbacks* table);
// Copies the backup back into the live table.
void pofCallbacksRestore();
// Resets the reader state as at load (live and backup tables empty, no
// position, no open element, failure mark clear).  For tests.
void pofReaderReset();

// ---------------------------------------------------------------------------
// Helpers.

// Move kinds of pofParseMove.
enum PofMoveKind : int {
  kPofMoveRapid = 0,
  kPofMoveLine = 1,
  kPofMoveArcCw = 2,
  kPofMoveArcCcw = 3,
};
// Axis bits of the masks.
inline constexpr int kPofAxisBitX = 1, kPofAxisBitY = 2, kPofAxisBitZ = 4;

// Parses a move object element into point (changed in place: coordinates
// the element does not give keep their values), its bulge, kind and the
// axes it names (added to *mask).  Returns 1 when a z coordinate was given,
// 0 when not, -1 for a malformed move (point, bulge, kind and mask are then
// left unchanged), -2 for an element that is not a move.
//  - "M..." rapid, "L..." line: every key starts with x, y or z; the second
//    "/"-separated part of the value is the coordinate (empty: unchanged); a
//    value without "/" or another key is malformed.
//  - "A..." arc: "o" gives the direction ("+" first: counter-clockwise, else
//    clockwise; without "o" clockwise the short way); x, y, z give
//    "/end/centre" (a value without a centre part is malformed); centre
//    coordinates not given are those of the start point.
int pofParseMove(const KfyElement* element, double point[3], double* bulge, int* kind, int* mask);
// The n-th "/"-separated part of text (part 0 is before the first "/"):
// 1 and *value set (C-locale number, 0 when there is none) when the part is
// not empty, 0 when it is empty (value untouched), -1 when there is no such
// part.
int pofCoordPick(const char* text, int n, double* value);
// pofCoordPick of part n into the axis of point named by key's first letter
// (x, y, z).  -1 when the key names no axis or the part is missing, else as
// pofCoordPick.
int pofParseCoord(const char* key, const char* text, int n, double point[3]);
// The mask with the axis named by key's first letter added.
int pofAxisMaskAdd(int mask, const char* key);
// Bulge of the arc from start around centre to end: 0 when start and centre
// lie within 0.00001 in x and y; direction > 0 counter-clockwise, < 0
// clockwise, 0 the short way.
double pofBulgeFromArc(const double start[3], const double centre[3], const double end[3],
                       int direction);
// The circle of the bulge arc from start to end (centre with the end's z,
// radius, start and end angle; the angles run from start to end).  Returns 1,
// or 0 for a bulge below kPofStraightBulge in size: a straight chord, no
// circle (outputs untouched).
int pofArcFromBulge(const double start[3], const double end[3], double bulge, double centre[3],
                    double* radius, double* startAngle, double* endAngle);
// kPofArcPointCount points from start to end along the bulge arc at equal
// angle steps (both ends included), all at the end's z; a straight bulge
// gives the points at equal steps along the chord.  pofArcPointsZ then
// grades z linearly from the start's z to the end's.
void pofArcPoints(const double start[3], const double end[3], double bulge,
                  double out[kPofArcPointCount][3]);
void pofArcPointsZ(const double start[3], const double end[3], double bulge,
                   double out[kPofArcPointCount][3]);
