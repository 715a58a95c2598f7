// STL files, ASCII or binary (either byte order), read into a TriList of Tri in
// file order.  Only the vertices are kept; normals and attributes are dropped.
//
// Form.  A file is binary when its size is 84 + 50 x count for the facet
// count of its header read in either byte order, or larger (trailing bytes
// are tolerated).  Otherwise it is ASCII when, after an optional UTF-8
// byte-order mark and blanks or line ends, it begins with the word "solid"
// (any case) and holds the word "facet" (any case) anywhere.  Every other
// file is read as binary and refused, since its size fits no count.
//
// Byte order of a binary file: the order whose header count gives the file
// size exactly; else the only one whose count fits the size; where both
// fit, the order under which every record's vertices are plausible (finite
// and at most kStlPlausibleMax in size), little-endian first.
//
// Nothing read wrongly is returned as a model: every reader returns a list
// that the caller frees with listPt3Free, or null with a numbered message
// (level 9, the value naming the file) for:
//   - a file that is not a regular file (message 337, base/input_files.h);
//   - a binary file shorter than its header count says (333, with both
//     sizes), or shorter than the 84-byte header;
//   - a damaged file (334, with the line of an ASCII file or the record of a
//     binary one): a vertex that is not a finite number, a facet of more or
//     fewer than three vertices, a keyword other than the STL words, a file
//     that ends inside a facet;
//   - a file without a triangle of non-zero area (336).
// Triangles of zero area are skipped, and their number is sent as message
// 335.  A file that cannot be opened and an allocation failure give null
// without a message.  The readers keep no state between calls and may run
// on any thread; their messages go through the process-wide sink.
#ifndef TESSARO_MODEL_STL_FILE_H_
#define TESSARO_MODEL_STL_FILE_H_

#include <cstdint>

#include "geometry/lists/lists.h"

// Bytes before the first record of a binary file, and the record size.
inline constexpr int kStlBinaryHeaderSize = 84;
inline constexpr int kStlBinaryRecordSize = 50;
// Largest vertex coordinate of a plausible record (the byte-order choice).
inline constexpr double kStlPlausibleMax = 1e9;

// Messages of the STL readers (level 9).
inline constexpr int kStlMsgLevel = 9;
inline constexpr int kStlMsgTruncated = 333;
inline constexpr int kStlMsgDamaged = 334;
inline constexpr int kStlMsgDegenerate = 335;
inline constexpr int kStlMsgNoTriangle = 336;

// Reads either form (stlIsBinary decides).  Null for a null or empty name.
TriList* stlReadFile(const char* name);

// 1 for binary, 0 for ASCII, by the rule at the top (a file of neither form
// is binary).  Sends nothing.
int stlIsBinary(const char* name);

// What the content says: 1 binary (a header count fits the size), 0 ASCII,
// -1 neither, also for a file that cannot be opened or is not a regular
// file.  Sends nothing.
int stlContentForm(const char* name);

// The byte-order and count choice of a binary file from its size and its
// first 84 bytes: true when a count fits the size, with *bigEndian the order
// whose count gives the size exactly, else the only one that fits; both
// fitting sets *bothFit (the records then decide).
bool stlBinaryCount(long long size, const unsigned char header[kStlBinaryHeaderSize],
                    uint32_t* count, bool* bigEndian, bool* bothFit);

// Binary form: the 84-byte header, then 50-byte records of normal, three
// vertices (f32) and a u16 attribute; exactly the header's count of records
// is read.
TriList* stlReadBinary(const char* name);

// ASCII form: "solid" lines, facets of "facet" (with an ignored normal),
// "outer loop", three "vertex x y z" lines, "endloop", "endfacet", and
// "endsolid" lines; keywords in any case, blank lines anywhere, a line "end"
// alone stops the reading.  Numbers are read as strtod reads them in the C
// locale (hexadecimal floats included; an underflow gives 0).  The closing
// "endsolid" and the line end of the last line may be missing.
TriList* stlReadAscii(const char* name);

#endif  // TESSARO_MODEL_STL_FILE_H_
