#include "geometry/offset2d/seg2_box_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>

Seg2Box seg2QueryBox(const Seg2& s) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (!std::isfinite(s.x0) || !std::isfinite(s.y0) || !std::isfinite(s.x1) ||
      !std::isfinite(s.y1)) {
    return {-kInf, -kInf, kInf, kInf};
  }
  return {std::min(s.x0, s.x1), std::min(s.y0, s.y1), std::max(s.x0, s.x1), std::max(s.y0, s.y1)};
}

Seg2BoxTree::Seg2BoxTree(const Seg2* chain, int n, double margin) {
  if (chain == nullptr || n <= 0) return;
  boxes_.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const Seg2Box b = seg2QueryBox(chain[i]);
    boxes_[static_cast<std::size_t>(i)] = {b.minX - margin, b.minY - margin, b.maxX + margin,
                                           b.maxY + margin};
  }
  nodes_.reserve(static_cast<std::size_t>(2 * (n / kSeg2BoxTreeLeaf) + 1));
  build(0, n);
}

int Seg2BoxTree::build(int lo, int hi) {
  const int at = static_cast<int>(nodes_.size());
  nodes_.push_back({});
  Node node{};
  node.lo = lo;
  node.hi = hi;
  node.right = -1;
  if (hi - lo > kSeg2BoxTreeLeaf) {
    const int mid = lo + (hi - lo) / 2;
    build(lo, mid);  // the left child lands at at + 1
    node.right = build(mid, hi);
    const Node& l = nodes_[static_cast<std::size_t>(at + 1)];
    const Node& r = nodes_[static_cast<std::size_t>(node.right)];
    node.minX = std::min(l.minX, r.minX);
    node.minY = std::min(l.minY, r.minY);
    node.maxX = std::max(l.maxX, r.maxX);
    node.maxY = std::max(l.maxY, r.maxY);
  } else {
    const Box& first = boxes_[static_cast<std::size_t>(lo)];
    node.minX = first.minX;
    node.minY = first.minY;
    node.maxX = first.maxX;
    node.maxY = first.maxY;
    for (int i = lo + 1; i < hi; ++i) {
      const Box& b = boxes_[static_cast<std::size_t>(i)];
      node.minX = std::min(node.minX, b.minX);
      node.minY = std::min(node.minY, b.minY);
      node.maxX = std::max(node.maxX, b.maxX);
      node.maxY = std::max(node.maxY, b.maxY);
    }
  }
  nodes_[static_cast<std::size_t>(at)] = node;
  return at;
}
