// Triangle mesh of a contour tree for fast point location.
//
// tripolyTriangulate meshes the first contour of a tree with its holes and a
// frame around it: every triangle knows its neighbours and its region
// (between frame and contour, in the material, in a hole), so a point is
// classified by walking the mesh instead of testing every segment.
//
// Ownership: the mesh belongs to whoever built it (the boundary owner keeps it
// on the tree's first node) and is freed with tripolyFree.
//
// Threads: building runs on one thread; a finished mesh is only read, and
// tripolyLocate / tripolyClassifyPoint may run on many threads at once.
// Failures are reported with the source texts "QZVYR5\TRIPOLY" and
// "QZVYR5\tripoly2".
#pragma once

#include "geometry/contour2d/kont2d.h"
#include "geometry/lists/lists.h"
#include "geometry/primitives/vec.h"

// Regions of a triangle.
inline constexpr int kTripolyFrame = 0;     // between the frame and the outer contour
inline constexpr int kTripolyMaterial = 1;  // inside the outer contour, outside the holes
inline constexpr int kTripolyHole = 2;      // inside a hole

// Largest number of points (contour points plus the 4 frame corners) meshed.
inline constexpr int kTripolyMaxPoints = 200000;

struct TripolyTri {
  int a, b, c;     // point indices, counter-clockwise
  int na, nb, nc;  // triangle across the edge opposite a, b, c; -1 at the border
  int region;      // kTripolyFrame, kTripolyMaterial or kTripolyHole
  double invArea;  // 1 / |2 x signed area|
};
static_assert(sizeof(TripolyTri) == 40, "TripolyTri is seven ints and a double");

struct TripolyMesh {
  int count;
  int capacity;
  TripolyTri* tris;
  Pt2List* points;  // 4 frame corners, then the contour points in chain order
  TripolyMesh* next;
};

// Meshes the tree's first contour with its holes: kontCheck(tree, 3) first (a
// failure reports -34 and gives null), then seidelTriangulateContour (a
// failure logs "Triangulierung gescheitert").  The caller owns the mesh.
TripolyMesh* tripolyTriangulate(Kont2d* tree);

// Frees each mesh of the chain with its triangles and points.  Null allowed.
// Returns 1.
int tripolyFree(TripolyMesh* mesh);

// An empty mesh with room for capacity triangles (3 when asked for 2 or less)
// and capacity + 2 points, or null.
TripolyMesh* tripolyNew(int capacity);

// Stores *t (with a and c swapped when it runs clockwise) and its inverse
// doubled area, growing to (int)(capacity x 1.5) when full.  The vertices must
// be points of the mesh.  1, or -1 for a null mesh, no array, a vertex that is
// not a point of the mesh, or failed growth.
int tripolyAddTriangle(TripolyMesh* mesh, const TripolyTri* t);

// Fills the neighbour fields from shared edges.  1; -1 when the edge records
// cannot be allocated (the neighbours are then all -1).  Meshes with fewer
// than 2 triangles stay unchanged.
int tripolyLinkNeighbours(TripolyMesh* mesh);

// Barycentric weights of p in triangle t for its vertices a and b (that of c
// is 1 - w0 - w1); weights from products within 1e-8 of 0 are 0.  1.
int tripolyBarycentric(const TripolyMesh* mesh, int t, const Vec2d* p, double* w0, double* w1);

// Index of a triangle that holds p (walk from triangle 0, then a scan), with
// the weights of the last triangle tested; -1 when none holds it.
int tripolyLocate(const TripolyMesh* mesh, const Vec2d* p, double* w0, double* w1, double* w2);

// Bits: 1 outside (also when no triangle holds p), 2 in the material, 4 in a
// hole; a point on an edge also gets the bit of the triangle across it (1 at
// the mesh border).  -1 for a null mesh.
int tripolyClassifyPoint(const TripolyMesh* mesh, const Vec2d* p);

// The mesh of the frame, the first contour and its holes, or null (the first
// contour has 2 segments or fewer, more than kTripolyMaxPoints points, a
// triangulation or memory failure).
TripolyMesh* seidelTriangulateContour(Kont2d* tree);
