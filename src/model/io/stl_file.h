// STL files, ASCII or binary (either byte order), read into a TriList of Tri in
// file order.  Only the vertices are kept; normals and attributes are dropped.
//
// Every reader returns a list that the caller frees with listPt3Free, or null:
// for a file that cannot be opened, on an allocation failure and on malformed
// input (then nothing partial is returned).  A vertex that is not a finite
// number counts as malformed.  The readers keep no state between calls and may
// run on any thread.
#ifndef TESSARO_MODEL_STL_FILE_H_
#define TESSARO_MODEL_STL_FILE_H_

#include "geometry/lists/lists.h"

// Bytes before the first record of a binary file, and the record size.
inline constexpr int kStlBinaryHeaderSize = 84;
inline constexpr int kStlBinaryRecordSize = 50;
// Bytes looked at to tell ASCII from binary.
inline constexpr int kStlProbeSize = 1024;

// Reads either form.  Null for a null or empty name, otherwise as the reader
// that stlIsBinary picks.
TriList* stlReadFile(const char* name);

// 1 for binary, 0 for ASCII.  The first 1024 bytes (fewer when the file is
// shorter), up to the first zero byte, are ASCII when they begin with "solid"
// and contain "facet" and "normal", the words compared in any case.  A file
// that cannot be opened counts as ASCII.
int stlIsBinary(const char* name);

// Binary form: an 84-byte header (its facet count is ignored), then 50-byte
// records of normal, three vertices (f32) and a u16 attribute, up to the end of
// the file (a record cut short at the end is dropped).  The byte order is taken
// from the first record.  Null when the file is shorter than 84 bytes, holds no
// complete record, or a vertex is not finite.
TriList* stlReadBinary(const char* name);

// True when the first record (50 bytes) is to be read big-endian: the order
// under which its twelve floats look like a real record wins (finite, vertex
// coordinates of a sensible size, a normal of unit length, zero or along the
// triangle's cross product); when both orders look equally good, big-endian is
// taken only when the little-endian normal has a component above 2 in size or a
// squared length above 2.
bool stlRecordIsBigEndian(const unsigned char record[kStlBinaryRecordSize]);

// ASCII form: lines whose first word is (in any case) "facet" start a facet of
// five further lines: one ignored, three vertex lines of a word and three
// numbers, two ignored.  A line "end" alone ends the reading; every other line
// is ignored.  A facet cut off by the end of the file is dropped (the facets
// before it are returned); a vertex line without three numbers makes the
// result null.  Lines may have any length; carriage returns are dropped;
// characters after the last line feed form no line.
TriList* stlReadAscii(const char* name);

#endif  // TESSARO_MODEL_STL_FILE_H_
