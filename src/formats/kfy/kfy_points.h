// Pieces of the kFY reader kit that deal with coordinates and numbers: the
// coordinate texts of a move or point element, a two-level table of 3D
// points addressed by set and point index, and the decoder of the compact
// numbers of polyhedron files.
//
// Thread-safety: coordinates, point sets and codec objects belong to one
// owner.  The process-wide codec behind the one-argument kfyCodec*
// functions is not synchronised: one reader at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

struct KfyElement;

// ---------------------------------------------------------------------------
// Coordinates

// Size of each text field of KfyElementCoords, terminator included.
inline constexpr int kKfyCoordField = 24;

struct KfyCoordText {
  char x[kKfyCoordField];
  char y[kKfyCoordField];
  char z[kKfyCoordField];
};

// Ten NUL-terminated text fields: the name (attribute "o") and three points.
// In move elements p0 is the start, p1 the end and p2 an arc centre.
struct KfyElementCoords {
  char name[kKfyCoordField];
  KfyCoordText p0;
  KfyCoordText p1;
  KfyCoordText p2;
};
static_assert(sizeof(KfyElementCoords) == 10 * kKfyCoordField);

// Clears all ten fields; each non-empty default (null counts as empty) is
// copied, cut to 23 characters, into that axis of p0, p1 and p2.
void kfyElementCoordsInit(KfyElementCoords* coords, const char* xDefault, const char* yDefault,
                          const char* zDefault);

// Takes the coordinate attributes of element: "o" sets name (cut to 23
// characters); "x", "y" and "z" split their value at "/" into at most three
// parts for p0, p1 and p2.  An empty or missing part, or a part longer than
// 23 characters (a cut number would be a different number), leaves its
// field as it was; parts after the third are ignored.  Other keys are
// ignored and fields not mentioned keep their contents.  Returns the mask
// of the axes present (1 x, 2 y, 4 z); 0 for an element without attributes
// or null arguments.
int kfyElementCoordsRead(KfyElementCoords* coords, const KfyElement* element);

// ---------------------------------------------------------------------------
// Point sets

// Reallocation function of the point storage (std::realloc contract).
using KfyReallocFn = void* (*)(void* block, std::size_t bytes);

// The points of one set.  Indices below `capacity` live in a dense array
// grown in steps of 16, 64, 256 and 2048 points; an index far beyond what
// has been stored goes to a sparse map instead, so that a huge id in a
// hostile file costs one map node rather than gigabytes.
struct KfyPointSet {
  int32_t maxIndex = 0;                                // highest point index stored (0 when none)
  int32_t capacity = 0;                                // points in the dense array
  double (*points)[3] = nullptr;                       // dense array, owned (std::free)
  std::map<int32_t, std::array<double, 3>> farPoints;  // indices >= capacity
  int64_t putCount = 0;                                // successful puts; bounds the dense growth
  KfyPointSet() = default;
  KfyPointSet(const KfyPointSet&) = delete;
  KfyPointSet& operator=(const KfyPointSet&) = delete;
  ~KfyPointSet();
};

// A table of point sets.  Storage not written yet reads as zeros.  The sets
// live in a map keyed by set index, so a huge set id costs one node;
// `capacity` is the set count the table is sized for (a multiple of 16).
struct KfyPointSets {
  int32_t maxIndex = 0;  // highest set index stored (0 when none)
  int32_t capacity = 0;
  std::map<int32_t, KfyPointSet> entries;
  // Used to grow the dense point arrays; null means std::realloc.  Tests
  // replace it to simulate an exhausted heap; its blocks must be ones that
  // std::free releases.
  KfyReallocFn reallocFn = nullptr;
};

// Creates the table when sets is null (capacity n rounded up to a multiple
// of 16, at least 16 for n > 0) or raises its capacity in steps of 16 until
// it holds n sets.  Returns the table; null when it cannot be created.
KfyPointSets* kfyPointSetsGrow(KfyPointSets* sets, int32_t n);

// Stores point j of set i (both >= 0), growing the table and the set as
// needed, and raises the highest indices.  Returns 1; 0 for a null table,
// a negative index or when growing fails, in which case every point stored
// before is kept.
int kfyPointSetsPut(KfyPointSets* sets, int32_t i, int32_t j, double x, double y, double z);

// Reads point j of set i into x, y, z (each may be null).  Returns 1 (with
// zeros for a point never stored); 0 when the table is null or nothing was
// ever stored in it, i or j is negative, i exceeds the table's highest set
// index or j the set's highest point index.
int kfyPointSetsGet(const KfyPointSets* sets, int32_t i, int32_t j, double* x, double* y,
                    double* z);

// Frees the table with all its points.  Null is ignored.
void kfyPointSetsFree(KfyPointSets* sets);

// ---------------------------------------------------------------------------
// Compact numbers

// The digit alphabet, radix and scale of compact numbers.  A new codec has
// no alphabet (every character is digit 0), radix 0 and divisor 1.
struct KfyNumberCodec {
  int32_t digitMap[128] = {};  // digit value of each character code 0..127
  int32_t alphabetLength = 0;
  int32_t radix = 0;
  double radixReal = 0.0;
  double divisor = 1.0;
};

// Longest alphabet taken.
inline constexpr int kKfyAlphabetMax = 128;

// Each character of text gets its position (0-based) as digit value,
// every other character 0; the alphabet length and the radix become the
// length of text, at most 128 (longer texts are cut).  Characters above 127
// cannot be digits.  Null counts as empty.
void kfyCodecSetAlphabet(KfyNumberCodec* codec, std::string_view text);

// The divisor becomes scale when |scale| > 1e-10; the radix becomes radix
// when 0 < radix <= alphabet length.  Otherwise each stays as it was.
void kfyCodecSetScale(KfyNumberCodec* codec, double scale, int radix);

// A compact real: "*" as the first character gives 0; otherwise the first
// character is the sign ("-" negative, anything else positive) and the
// rest are digits (most significant first; characters outside the alphabet
// and above 127 count as 0), divided by the divisor.  Texts shorter than two
// characters give 0.  A number that does not fit a finite double is
// rejected: the result is 0 and *ok (when given) false; otherwise *ok true.
double kfyCodecDecodeReal(const KfyNumberCodec& codec, std::string_view text, bool* ok = nullptr);

// A compact integer: every character a digit; 0 for an empty text.  A
// number above INT32_MAX is rejected: 0 and *ok false.
int kfyCodecDecodeInt(const KfyNumberCodec& codec, std::string_view text, bool* ok = nullptr);

// The process-wide codec and the forms that use it.  Null texts count as
// empty.
KfyNumberCodec* kfyCodecGlobal();
void kfyCodecSetAlphabet(const char* text);
void kfyCodecSetScale(double scale, int radix);
double kfyCodecDecodeReal(const char* text, bool* ok = nullptr);
int kfyCodecDecodeInt(const char* text, bool* ok = nullptr);
