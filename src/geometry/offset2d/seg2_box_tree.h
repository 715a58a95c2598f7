// A static tree of boxes over the segments of a chain, in chain order, for
// the searches that ask which segments come near a box: the self-crossings
// of an offset chain and the input segments near each of its crossings.
//
// Every node covers a run of consecutive segments and holds the box of their
// boxes, each grown by the margin given at the build; a leaf holds at most
// kSeg2BoxTreeLeaf segments.  Consecutive segments of a chain lie together,
// so a query on a long chain reads a logarithmic number of nodes plus those
// near the box, instead of every segment.  Queries report segments in
// ascending index order, so a search that decides something per pair in the
// order of the pairs gets the same result as a loop over every segment.
//
// A segment with a coordinate that is not finite gets an infinite box: every
// query reports it, as a loop over every segment would test it.
//
// Threads: the tree is read-only after the build; any number of threads may
// query one tree at once.  The build throws std::bad_alloc when memory runs
// out.
#pragma once

#include <vector>

#include "geometry/primitives/vec.h"

inline constexpr int kSeg2BoxTreeLeaf = 8;

// Reach of the segment tests.  seg2Intersect and seg2CircleIntersect take a
// point as lying between a segment's ends up to sqrt(kGeoEqualTol) (about
// 0.0032) beyond its box in a direction in which the segment has no extent,
// so two segments, or a segment and a circle, whose boxes lie farther apart
// than twice that never meet.  Searches grow the boxes by this margin, well
// clear of it.
inline constexpr double kSeg2MeetReach = 0.01;

struct Seg2Box {
  double minX, minY, maxX, maxY;
};

// The box of s as a query box; the whole plane when a coordinate of s is not
// finite (such a segment is then tested against every other).
Seg2Box seg2QueryBox(const Seg2& s);

class Seg2BoxTree {
 public:
  // The tree over n segments of chain (none for n <= 0); each segment's box
  // grown by margin.  Keeps no pointer to the chain.
  Seg2BoxTree(const Seg2* chain, int n, double margin);

  // Calls visit(i) for every segment i >= from whose grown box overlaps the
  // box (minX, minY) - (maxX, maxY) (touching counts), in ascending i, until
  // visit returns true.  True when a visit stopped the query.
  template <class Visit>
  bool query(double minX, double minY, double maxX, double maxY, int from, Visit&& visit) const {
    if (nodes_.empty()) return false;
    // The tree is balanced: its depth stays below 32 for any int count.
    int stack[64];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
      const int at = stack[--top];
      const Node& node = nodes_[static_cast<std::size_t>(at)];
      if (node.hi <= from || node.maxX < minX || node.minX > maxX || node.maxY < minY ||
          node.minY > maxY) {
        continue;
      }
      if (node.right < 0) {
        for (int i = node.lo > from ? node.lo : from; i < node.hi; ++i) {
          const Box& b = boxes_[static_cast<std::size_t>(i)];
          if (b.maxX < minX || b.minX > maxX || b.maxY < minY || b.minY > maxY) continue;
          if (visit(i)) return true;
        }
        continue;
      }
      // The left child (lower indices) follows its parent; visit it first.
      stack[top++] = node.right;
      stack[top++] = at + 1;
    }
    return false;
  }

 private:
  using Box = Seg2Box;
  struct Node {
    double minX, minY, maxX, maxY;
    int lo, hi;  // segments lo..hi-1
    int right;   // index of the right child, -1 for a leaf; the left child is next
  };
  int build(int lo, int hi);

  std::vector<Box> boxes_;
  std::vector<Node> nodes_;
};
