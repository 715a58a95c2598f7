// 3DF polyhedron files: point sets and faces of three or four vertices in kFY
// syntax, with compact numbers.  Two readers: one yields Facet records (a
// triangle repeats its third vertex), the other Tri records (a quadrangle
// becomes two triangles).
//
// Content read (every other element is ignored; every value is also kept in
// the parser's value store):
//   value  chrTab     digit alphabet of the compact numbers
//   value  base       radix (decimal), when above 0 and within the alphabet
//   value  scale      divisor of the compact reals (ignored when |s| <= 1e-10)
//   value  increment  "true" (any case): packed points after the first of a
//                     "P" method are differences to the point before
//   object Polyhedron [name] (nFace[n])  starts a polyhedron; its own points
//                     live until the end of the block that follows it
//   object Pset [id]  "P" objects in the block that follows belong to set id
//   object P [id] (x[..] y[..] z[..])  one point; a missing axis keeps the
//                     value of the previous "P" object
//   method P [set] (compact reals)     packed points 1, 2, 3, ... of set
//   object Face (vx[set/point] ...)    one face
//   method V (set/point/set/point...)  one face, compact integers
//
// Every vertex is mapped through the inverse polyhedron frame, scaled by the
// ScaleXYZ factors and, while the working frame is active, mapped from world
// to working coordinates.  Results come sorted by top z, highest first.
//
// Failures give null and leave nothing allocated: a file that cannot be
// opened or parsed (also one whose blocks do not close, or whose last
// polyhedron has no block, as a cut file), no
// polyhedron, a face with a point never stored or with more than four
// distinct vertices, a coordinate that is not a finite number, a compact
// number out of range, or no memory.  Faces with fewer than three distinct
// vertices, faces refused by the face filter and "P" objects outside a point
// set are skipped.
//
// Threads: the kFY scanner under the readers and the reader settings below are
// process-wide: one read at a time, on the cycle's thread.
#ifndef TESSARO_MODEL_POLY3DF_FILE_H_
#define TESSARO_MODEL_POLY3DF_FILE_H_

#include <cstdint>

#include "geometry/primitives/mat4.h"
#include "model/mesh/model.h"

// Length of the set names (terminator included).
inline constexpr int kPoly3dfNameSize = 128;

// Facets with their box: the facet counterpart of TriList.  A new list has
// its box at +1e10 (min) and -1e10 (max).
struct FacetList {
  int count;
  int capacity;
  Vec3d boxMin;
  Vec3d boxMax;
  Facet* items;
};

// A list with room for n facets (at least 2); null on allocation failure.
FacetList* facetListNew(int n);
// Frees the items and the head; null is allowed.
void facetListFree(FacetList* list);

// Result of the facet reader.  The diagonal extents (two doubles per facet)
// are made only when asked for; they are handed over to the caller, who frees
// them with std::free (the set's free function leaves them).
struct PolyFacetSet {
  FacetList* facets;
  Vec3d* minCorners;  // one per facet
  Vec3d* maxCorners;
  double* diagMin;  // null unless asked for
  double* diagMax;
  char name[kPoly3dfNameSize];
  int32_t value;
  PolyFacetSet* next;
};

// Result of the triangle reader.
struct PolyTriangleSet {
  TriList* triangles;
  Vec3d* minCorners;
  Vec3d* maxCorners;
  char name[kPoly3dfNameSize];
  int32_t value;
  PolyTriangleSet* next;
};

// A face filter: the vertex count and the coordinates of the face's vertices
// as stored in the file (before any mapping); 0 refuses the face.
using Poly3dfFaceFilter = int (*)(int count, const double* x, const double* y, const double* z);

// Reads the facets of every polyhedron of the file (the most recently started
// polyhedron first) into one set named setName (cut to 127 characters) with
// the given value.  With withDiagonals the rotated extents are made too and,
// while the working frame is active, every facet is oriented counter-
// clockwise.  Free with poly3dfFreeFacetSets.
PolyFacetSet* poly3dfReadFacets(const char* fileName, const char* setName, int value,
                                int withDiagonals);

// Reads the triangles of every polyhedron (a quadrangle P0..P3 becomes
// (P0, P1, P2) and (P2, P3, P0)); each triangle's highest vertex comes first.
// Free with poly3dfFreeTriangleSets.
PolyTriangleSet* poly3dfReadTriangles(const char* fileName, const char* setName, int value);

// Free every set of the chain with its list and corner arrays (null allowed).
void poly3dfFreeFacetSets(PolyFacetSet* chain);
void poly3dfFreeTriangleSets(PolyTriangleSet* chain);

// Process-wide reader settings; they stay until changed.
// The ScaleXYZ factors (1, 1, 1 at load).
void poly3dfSetScaleXYZ(double x, double y, double z);
// The face filter of the facet reader (none at load).
void poly3dfSetFaceFilter(Poly3dfFaceFilter filter);
void poly3dfClearFaceFilter();
// The inverse of the polyhedron frame, which maps file coordinates into job
// coordinates (the identity at load).  The cycle that owns the polyhedron
// frame hands its inverse here whenever it sets the frame.
void poly3dfSetPolyFrameInverse(const Mat4* inverse);

#endif  // TESSARO_MODEL_POLY3DF_FILE_H_
