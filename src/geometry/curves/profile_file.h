// Profile files (".prf"): planar profiles with heights as text.
//
// A file holds one or more profiles, one after the other.  A profile is a
// header line, its point lines and an end line:
//   **PRF 1
//   X0.000000 Y0.000000 Z0.000000
//   X10.000000 Y0.000000 Z0.000000
//   **END
// - A line whose first character is '*' is a header or comment line and holds
//   no point.
// - The end line is a line whose first blank-separated word is exactly
//   "**END" ("**ENDX" is not one).  A file has as many profiles as end lines.
// - Every other line that is not blank is a point line: the letters X, Y and Z
//   followed (directly or after blanks) by a decimal number.  A letter missing
//   from a point line keeps the value it had on the previous point line of the
//   file (0 before the first one), so a line without letters repeats the
//   previous point.  Blank lines hold no point.
// - Coordinates are world coordinates; every point is mapped into internal
//   coordinates with framePtWorldToTool before it is stored, and a point equal
//   to the previously stored one within 0.00001 in x and y (and in z when z
//   values are kept) is stored once.
//
// Lines are read whole, however long.  Blanks are ' ', '\t' and '\r', so files
// written with CR LF line ends read exactly like LF files.
//
// A file of two or more profiles is split into its profiles in memory; no
// temporary file is written.  The curves read from such a file carry the name
// text "tmp.prf" (kPrfSplitName), the name under which each profile is read.
//
// Threads: the readers keep no shared state and may run concurrently; the
// frame map only reads the working frame (geometry/working_frame.h).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/curves/curve.h"
#include "geometry/primitives/vec.h"

struct BoundaryRec;

// Name text of the curves read from a file of two or more profiles.
inline constexpr const char* kPrfSplitName = "tmp.prf";

// Coordinates of successive points that agree within this are one point.
inline constexpr double kPrfPointTol = 0.00001;

// First word of the end line of a profile.
inline constexpr const char* kPrfEndWord = "**END";

// ---- The interface of the file format ---------------------------------------

// Reads the first profile of the file name (point lines before any header are
// read too; reading stops at the first end line or at the end of the file)
// into points and, when z is not null, z.  At most cap points are stored
// (none for cap <= 0).  Returns the number of points stored, or -1 for a null
// or empty name or a file that cannot be read.
int prfReadPoints(Vec2d* points, double* z, const char* name, int cap);

// Number of end lines of the file; -1 for a null or empty name or a file that
// cannot be read.
int prfCountProfiles(const char* name);

// Copies the next profile of in to the file outName (created or replaced):
// the lines before the next line that starts with '*' are skipped, then that
// line and the following ones up to and including the next end line are
// copied unchanged (a start line that is itself an end line is the whole
// profile).  1, also when in ends before an end line.  -1 for a null in, when
// outName cannot be created, or when outName is the file that in reads from
// (it would be truncated under the reader; nothing is written or skipped).
int prfCopyNextProfile(std::FILE* in, const char* outName);

// The first profile of the file as a kind 'p' curve without z values, owning
// its points, named after the file (cut to 259 characters).  The step offsets
// are s0 and s1 in ascending order, both negated when side is set
// (firstStep = -min, lastStep = -max).  The reverse and side flags are stored;
// with reverse set the points are reversed after reading.  A profile without
// points gives a curve of count 0.  Null for a null or empty name, a name
// that begins with a blank, a file that cannot be read, or no memory.
// Free with curveFree.
CurveRec* curveReadPrfOne(const char* name, int reverse, int side, double s0, double s1);

// Every profile of the file as a chain in file order, each read as
// curveReadPrfOne reads a file.  A file of fewer than two profiles is read
// with curveReadPrfOne.  Otherwise the profiles are split in memory and each
// curve carries the name "tmp.prf"; a profile that cannot be made ends the
// chain, which is returned as far as it was read (null when the file cannot
// be read or the first fails).  bnd and step are not used.  Free with
// curveFree.
CurveRec* curveReadPrfChain(const char* name, const BoundaryRec* bnd, double step, int reverse,
                            int side, double s0, double s1);

// ---- Building blocks of the readers (also used by the fitted readers) -------

// Half-open range [begin, end) of lines of one profile.
struct PrfRange {
  std::size_t begin;
  std::size_t end;
};

// All lines of the file name, without their line feeds, every '\r' turned
// into a blank.  1, or -1 for a null or empty name, a file that cannot be read
// or no memory.
int prfLoadLines(const char* name, std::vector<std::string>* lines);

// 1 when the first blank-separated word of line is exactly "**END".
bool prfIsEndLine(const std::string& line);

// Number of end lines among lines.
int prfCountEndLines(const std::vector<std::string>& lines);

// The profiles of lines as prfCopyNextProfile cuts them one after the other:
// one range per end line reached, plus a last range without an end line when
// the lines run out inside a profile.
std::vector<PrfRange> prfSplitProfiles(const std::vector<std::string>& lines);

// The profiles of a file of two or more, which the multi-profile readers read
// one by one: *ranges receives one range per end line (a part after the last
// end line is no profile of such a file).  Returns the number of end lines;
// for fewer than two, *ranges is left empty and the file is read as one
// profile.  -1 when memory runs out.
int prfMultiProfileRanges(const std::vector<std::string>& lines, std::vector<PrfRange>* ranges);

// The points of the profile in range, read and mapped as described at the
// top: at most cap, each (x, y, z) in internal coordinates.  With withZ false
// z is neither compared nor meaningful in the result.  Throws std::bad_alloc
// when memory runs out.
std::vector<Vec3d> prfParsePoints(const std::vector<std::string>& lines, PrfRange range, bool withZ,
                                  std::size_t cap);

// A kind 'p' curve of the points of range, owning them (and z values when
// withZ), named curveName (cut to 259 characters), with the reverse and side
// flags stored and the points reversed when reverse is set; steps 0.  A range
// without points gives a curve of count 0 (with withZ, z stays null).  Null
// when memory runs out.
CurveRec* prfCurveFromLines(const std::vector<std::string>& lines, PrfRange range,
                            const char* curveName, int reverse, int side, bool withZ);
