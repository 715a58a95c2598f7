// Box trees over triangle meshes and the collision test of two meshes.
//
// A tree is built bottom-up over the triangles of a FloatTriList in list
// order: the leaves are the triangles, neighbouring nodes of a level are
// paired under a parent (a last odd node gets a parent of its own), and every
// node holds the single-precision box of its triangles.  Nothing is sorted,
// so a mesh whose list order is spatially coherent (revolved outlines, model
// surfaces taken cell by cell) gives tight boxes.
//
// Two trees are collided by a dual walk that prunes pairs of disjoint boxes
// and tests the remaining pairs of triangles exactly with a separating-axis
// test in double precision (Gottschalk, Lin and Manocha 1996: the two face
// normals, the nine edge-edge cross products and the six in-plane edge
// normals).  A touch counts as contact: boxes that meet in a face are walked
// on, and triangles that share only a vertex or an edge touch.
//
// A tree can be moved by a translation (offset) without rebuilding it: the
// offset is added to every box and vertex of that tree when it is tested.
//
// Threads: a built tree is read-only during collisions and collTreeCollide
// keeps its state on the stack, so any number of threads may collide the same
// trees.  To test one tree at several positions at once, copy the CollTree
// record (the copy shares nodes and mesh) and set the copy's offset.
#pragma once

#include <cstdint>

#include "geometry/lists/lists.h"

// Source text and places of the build failures in the geometry error state.
inline constexpr const char kCollTreeErrSource[] = "QZPLIB\\wcolldetect";
inline constexpr int kCollTreeErrRecord = 1662;
inline constexpr int kCollTreeErrNodes = 1680;

// Vertices closer than this in every coordinate count as one in the triangle
// test.
inline constexpr double kCollVertexTol = 0.00001;

struct CollTreeNode {
  CollTreeNode* second;  // second child; null for a leaf or a one-child node
  CollTreeNode* first;   // first child; null for a leaf
  float box[6];          // min x, y, z, max x, y, z
  int32_t triangle;      // triangle index of a leaf
};

struct CollTree {
  const FloatTriList* mesh;  // not owned
  CollTreeNode* nodes;       // nodeCount slots, owned
  CollTreeNode* root;
  int32_t nodeCount;
  float offset[3];  // translation of this tree; 0 at build
};

// Slots a tree over n triangles needs: n, plus k := (k + 1) / 2 from k = n,
// added at least once and again while k is above 1.  -1 when that does not
// fit into an int.
int collTreeNodeSlots(int n);

// Builds the tree over mesh.  Resets the calling thread's geometry error
// state; null for a null or empty mesh, and on allocation failure (error
// state -1 with kCollTreeErrSource and kCollTreeErrRecord or
// kCollTreeErrNodes).  The mesh must outlive the tree and stay unchanged.
// Free with collTreeFree.
CollTree* collTreeBuild(const FloatTriList* mesh);

// Frees the nodes and the record (not the mesh).  Null allowed.
void collTreeFree(CollTree* tree);

// Sets the tree's translation; returns tree (null stays null).
CollTree* collTreeSetOffset(CollTree* tree, float x, float y, float z);

// 1 when the meshes of a and b (each moved by its offset) touch, else 0 (also
// when either tree is null).  allPairs 0: the walk stops at the first touching
// pair of triangles, and pairs (when given) receives that pair.  allPairs set:
// every touching pair (triangle of a, triangle of b) is appended to pairs and
// the result is 1 when the list grew; a pair that cannot be appended (no
// list, or no memory) ends the walk with the result 1.  Allocates nothing
// except when appending pairs.
int collTreeCollide(const CollTree* a, const CollTree* b, int allPairs, IntPairList* pairs);

// The exact test of two triangles (nine doubles each: vertex 0 x, y, z,
// vertex 1, vertex 2): 1 when they touch, else 0.  A triangle whose three
// vertices are equal (within kCollVertexTol) touches nothing, and neither do
// two triangles that both have a pair of equal vertices (two segments or
// points); a segment touches a proper triangle it meets.
int collTriTouch(const double p[9], const double q[9]);
