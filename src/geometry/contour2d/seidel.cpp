#include "geometry/contour2d/seidel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "base/tolerances.h"
#include "geometry/errors/error_state.h"

namespace {

constexpr char kSource[] = "QZVYR5\\tripoly2";
constexpr double kEps = kGeoLineTol;
// Height of the unbounded trapezoids above and below everything.
constexpr double kInfinity = 1073741824.0;  // 2^30
constexpr double kLog2E = 1.442695040889;
// Fixed seed of the insertion order, so that a polygon always gives the same
// mesh.
constexpr std::uint64_t kOrderSeed = 0x5eed7a11ce5eedULL;
// The fault code and name logged when a table index runs out of its table.
constexpr unsigned kAccessViolation = 0xC0000005u;

// Failure codes of the error log.
constexpr int kTableFull = -27;
constexpr int kBadNode = -46;
constexpr int kBrokenMap = -202;

// A failure found inside the call; line names the reporting place.
struct SeidelFailure {
  int code;
  int line;
};

// An index outside its table: what would have been a memory fault.
struct SeidelFault {
  const void* where;
};

enum NodeKind { kNodePoint = 1, kNodeSegment = 2, kNodeSink = 3 };

// Query-structure node.  A point node sends points below its point to left
// and the others to right; a segment node sends points left of its segment to
// left.  A sink stands for one trapezoid.
struct QueryNode {
  int kind;
  int vertex;  // point node: the point's number
  int seg;     // segment node
  int left;
  int right;
  int trap;  // sink
};

struct Segment {
  Vec2d v0, v1;      // start and end in contour order
  int i0, i1;        // their point numbers
  bool inserted;     // threaded into the map
  int root0, root1;  // nodes from which v0 and v1 are located
};

// A trapezoid between two segments (-1 where unbounded) and two horizontal
// lines through hi and lo.  u0/u1 are the upper neighbours, d0/d1 the lower
// ones, left one first; a single neighbour sits in slot 0.
struct Trapezoid {
  int lseg, rseg;
  Vec2d hi, lo;
  int hiV, loV;  // point numbers of hi and lo, 0 at infinity
  int u0, u1, d0, d1;
  int sink;
};

// Lexicographic order, y first, with the tolerance of the unit: equal points
// compare 0.  Treating points of equal y by x makes every horizontal edge a
// slightly tilted one, so no two points lie on one horizontal line.
int comparePoints(const Vec2d& a, const Vec2d& b) {
  if (a.y > b.y + kEps) return 1;
  if (a.y < b.y - kEps) return -1;
  if (a.x > b.x + kEps) return 1;
  if (a.x < b.x - kEps) return -1;
  return 0;
}

bool samePoint(const Vec2d& a, const Vec2d& b) { return comparePoints(a, b) == 0; }

double orient(const Vec2d& a, const Vec2d& b, const Vec2d& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Small generator of the insertion order (splitmix64): private to the
// triangulation, so no other user of a random generator is disturbed.
struct OrderGenerator {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
};

double log2Of(double v) { return std::log(v) * kLog2E; }

// Number of phases: how often log2 can be applied to n before falling below 1.
int phaseCount(int n) {
  double v = n;
  int i = 0;
  while (v >= 1.0) {
    v = log2Of(v);
    ++i;
  }
  return i - 1;
}

// Segments inserted by the end of phase h: n / log^(h)(n), rounded up.
int phaseEnd(int n, int h) {
  double v = n;
  for (int i = 0; i < h; ++i) v = log2Of(v);
  if (v < 1.0) return n;
  const double e = std::ceil(static_cast<double>(n) / v);
  return e >= n ? n : static_cast<int>(e);
}

}  // namespace

struct SeidelWork {
  int capacity = 0;  // segments
  std::vector<QueryNode> nodes;
  std::vector<Trapezoid> traps;
  std::vector<Segment> segs;  // 1-based
  int nodeCount = 0;
  int trapCount = 0;
  const Vec2d* points = nullptr;

  template <class T>
  static T& at(std::vector<T>& table, int i) {
    if (i < 0 || static_cast<std::size_t>(i) >= table.size()) throw SeidelFault{table.data()};
    return table[static_cast<std::size_t>(i)];
  }
  QueryNode& node(int i) { return at(nodes, i); }
  Trapezoid& trap(int i) { return at(traps, i); }
  Segment& seg(int i) { return at(segs, i); }

  int newNode(const QueryNode& n) {
    if (nodeCount >= static_cast<int>(nodes.capacity())) throw SeidelFailure{kTableFull, 10};
    nodes.push_back(n);
    return nodeCount++;
  }
  int newTrap(const Trapezoid& t) {
    if (trapCount >= static_cast<int>(traps.capacity())) throw SeidelFailure{kTableFull, 11};
    traps.push_back(t);
    return trapCount++;
  }
  int newSink(int t) { return newNode({kNodeSink, 0, 0, -1, -1, t}); }

  static const Vec2d& upper(const Segment& s) {
    return comparePoints(s.v0, s.v1) > 0 ? s.v0 : s.v1;
  }
  static const Vec2d& lower(const Segment& s) {
    return comparePoints(s.v0, s.v1) > 0 ? s.v1 : s.v0;
  }
  // v left of s, looking from the lower end to the upper one.
  static bool leftOf(const Segment& s, const Vec2d& v) {
    return orient(lower(s), upper(s), v) > kEps;
  }
  static bool hasEnd(const Segment& s, const Vec2d& v) {
    return samePoint(s.v0, v) || samePoint(s.v1, v);
  }

  void clear(int segments) {
    nodes.clear();
    traps.clear();
    nodeCount = 0;
    trapCount = 0;
    Trapezoid all{-1, -1, {0.0, kInfinity}, {0.0, -kInfinity}, 0, 0, -1, -1, -1, -1, 0};
    newSink(newTrap(all));
    for (int i = 0; i <= segments; ++i) segs[static_cast<std::size_t>(i)] = Segment{};
  }

  // Trapezoid that holds v, starting at node n.  A point that lies on a point
  // or segment node is sent to the side of w, the other end of its segment.
  int locate(const Vec2d& v, const Vec2d& w, int n) {
    for (int steps = 0;; ++steps) {
      if (steps > nodeCount) throw SeidelFailure{kBrokenMap, 20};
      const QueryNode& q = node(n);
      switch (q.kind) {
        case kNodeSink:
          return q.trap;
        case kNodePoint: {
          const Vec2d& y = points[q.vertex];
          int c = comparePoints(v, y);
          if (c == 0) c = comparePoints(w, y) > 0 ? 1 : -1;
          n = c > 0 ? q.right : q.left;
          break;
        }
        case kNodeSegment: {
          const Segment& s = seg(q.seg);
          const bool onEnd = hasEnd(s, v);
          n = leftOf(s, onEnd ? w : v) ? q.left : q.right;
          break;
        }
        default:
          throw SeidelFailure{kBadNode, 21};
      }
    }
  }

  static void replaceLink(int& a, int& b, int from, int to) {
    if (a == from) a = to;
    if (b == from) b = to;
  }

  // Splits the trapezoid holding point number v by the horizontal line
  // through it, unless that line exists already (the point or one at the same
  // place was inserted before).
  void insertPoint(int v, const Vec2d& w, int start) {
    const Vec2d& p = points[v];
    const int t = locate(p, w, start);
    Trapezoid& upperPart = trap(t);
    if (samePoint(upperPart.hi, p) || samePoint(upperPart.lo, p)) return;
    Trapezoid lowerCopy = upperPart;
    lowerCopy.hi = p;
    lowerCopy.hiV = v;
    lowerCopy.u0 = t;
    lowerCopy.u1 = -1;
    const int tn = newTrap(lowerCopy);
    Trapezoid& up = trap(t);
    for (int d : {up.d0, up.d1}) {
      if (d >= 0) replaceLink(trap(d).u0, trap(d).u1, t, tn);
    }
    up.lo = p;
    up.loV = v;
    up.d0 = tn;
    up.d1 = -1;
    const int sinkUp = newSink(t);
    const int sinkDown = newSink(tn);
    QueryNode& n = node(up.sink);
    n = {kNodePoint, v, 0, sinkDown, sinkUp, -1};
    trap(t).sink = sinkUp;
    trap(tn).sink = sinkDown;
  }

  // Sets the single neighbour link of a trapezoid that had only `from` there
  // to the pair (a, b).
  void splitLink(int& s0, int& s1, int from, int a, int b) {
    if (!((s0 == from && s1 < 0) || (s1 == from && s0 < 0))) throw SeidelFailure{kBrokenMap, 30};
    s0 = a;
    s1 = b;
  }

  // Threads segment si (both end points already in the map) from its upper
  // end down to its lower end, splitting every trapezoid it crosses into a
  // left and a right piece.  Pieces on the side away from the point that
  // bounded two crossed trapezoids are merged, so that every trapezoid keeps
  // the points of its top and bottom lines on its border.
  void threadSegment(int si, int start) {
    const Segment s = seg(si);
    const Vec2d p = upper(s);
    const Vec2d q = lower(s);
    int t = locate(p, q, start);
    if (!samePoint(trap(t).hi, p)) throw SeidelFailure{kBrokenMap, 40};

    int prevL = -1, prevR = -1, prevT = -1;
    Trapezoid prevOld{};
    bool hiRight = false;  // the point on the top line lies right of s
    for (int steps = 0;; ++steps) {
      if (steps > trapCount) throw SeidelFailure{kBrokenMap, 41};
      const Trapezoid old = trap(t);
      const bool last = samePoint(old.lo, q);
      int next = -1;
      bool loRight = false;
      if (!last) {
        loRight = !leftOf(s, old.lo);
        if (old.d0 >= 0 && old.d1 >= 0) {
          next = loRight ? old.d0 : old.d1;
        } else {
          next = old.d0 >= 0 ? old.d0 : old.d1;
        }
        if (next < 0) throw SeidelFailure{kBrokenMap, 42};
      }

      // A merged piece reaches down to the crossed trapezoid's bottom.
      auto extendDown = [this, &old](int piece) {
        trap(piece).lo = old.lo;
        trap(piece).loV = old.loV;
      };
      int L, R;
      bool freshL = true, freshR = true;
      if (prevT < 0) {
        L = t;
        Trapezoid r = old;
        r.lseg = si;
        R = newTrap(r);
        trap(L).rseg = si;
      } else if (hiRight) {
        L = prevL;
        freshL = false;
        extendDown(L);
        R = t;
        trap(R).lseg = si;
      } else {
        R = prevR;
        freshR = false;
        extendDown(R);
        L = t;
        trap(L).rseg = si;
      }

      // Query structure: the crossed trapezoid's sink becomes a node of s.
      if (freshL) trap(L).sink = newSink(L);
      if (freshR) trap(R).sink = newSink(R);
      node(old.sink) = {kNodeSegment, 0, si, trap(L).sink, trap(R).sink, -1};

      if (prevT < 0) {
        linkTop(old, t, L, R);
      } else {
        linkBoundary(prevOld, prevT, old, t, prevL, prevR, L, R, hiRight);
      }
      if (last) {
        linkBottom(old, t, L, R, q);
        break;
      }
      prevOld = old;
      prevT = t;
      prevL = L;
      prevR = R;
      hiRight = loRight;
      t = next;
    }
    seg(si).inserted = true;
  }

  // Upper neighbours of the first pieces, whose top line passes through the
  // upper end p of the segment.
  void linkTop(const Trapezoid& old, int t, int L, int R) {
    Trapezoid& l = trap(L);
    Trapezoid& r = trap(R);
    const Vec2d& p = old.hi;
    if (old.u0 >= 0 && old.u1 >= 0) {
      // A segment goes up from p between the two upper neighbours.
      l.u0 = old.u0;
      l.u1 = -1;
      r.u0 = old.u1;
      r.u1 = -1;
      Trapezoid& u = trap(old.u1);
      replaceLink(u.d0, u.d1, t, R);
      return;
    }
    const int u = old.u0 >= 0 ? old.u0 : old.u1;
    l.u0 = l.u1 = r.u0 = r.u1 = -1;
    if (u < 0) return;
    if (old.lseg >= 0 && hasEnd(seg(old.lseg), p)) {
      r.u0 = u;  // p is the top left corner: the left piece ends in p
      Trapezoid& up = trap(u);
      replaceLink(up.d0, up.d1, t, R);
    } else if (old.rseg >= 0 && hasEnd(seg(old.rseg), p)) {
      l.u0 = u;
    } else {
      l.u0 = u;
      r.u0 = u;
      Trapezoid& up = trap(u);
      splitLink(up.d0, up.d1, t, L, R);
    }
  }

  // Lower neighbours of the last pieces, whose bottom line passes through the
  // lower end q.
  void linkBottom(const Trapezoid& old, int t, int L, int R, const Vec2d& q) {
    Trapezoid& l = trap(L);
    Trapezoid& r = trap(R);
    if (old.d0 >= 0 && old.d1 >= 0) {
      l.d0 = old.d0;
      l.d1 = -1;
      r.d0 = old.d1;
      r.d1 = -1;
      replaceLink(trap(old.d0).u0, trap(old.d0).u1, t, L);
      replaceLink(trap(old.d1).u0, trap(old.d1).u1, t, R);
      return;
    }
    const int d = old.d0 >= 0 ? old.d0 : old.d1;
    l.d0 = l.d1 = r.d0 = r.d1 = -1;
    if (d < 0) return;
    Trapezoid& down = trap(d);
    if (old.lseg >= 0 && hasEnd(seg(old.lseg), q)) {
      r.d0 = d;
      replaceLink(down.u0, down.u1, t, R);
    } else if (old.rseg >= 0 && hasEnd(seg(old.rseg), q)) {
      l.d0 = d;
      replaceLink(down.u0, down.u1, t, L);
    } else {
      l.d0 = d;
      r.d0 = d;
      splitLink(down.u0, down.u1, t, L, R);
    }
  }

  // Links across the line through the point v between two crossed
  // trapezoids (prev above, cur below).  On the side of v the pieces stay
  // apart; the other side was merged.
  void linkBoundary(const Trapezoid& prev, int prevT, const Trapezoid& cur, int curT, int prevL,
                    int prevR, int L, int R, bool vRight) {
    const int x = prev.d0 == curT ? prev.d1 : prev.d0;  // the other lower neighbour
    const int y = cur.u0 == prevT ? cur.u1 : cur.u0;    // the other upper neighbour
    if (vRight) {
      Trapezoid& pr = trap(prevR);
      pr.d0 = R;
      pr.d1 = x;
      if (x >= 0) replaceLink(trap(x).u0, trap(x).u1, prevT, prevR);
      Trapezoid& r = trap(R);
      r.u0 = prevR;
      r.u1 = y;
      if (y >= 0) replaceLink(trap(y).d0, trap(y).d1, curT, R);
    } else {
      Trapezoid& pl = trap(prevL);
      pl.d0 = x >= 0 ? x : L;
      pl.d1 = x >= 0 ? L : -1;
      if (x >= 0) replaceLink(trap(x).u0, trap(x).u1, prevT, prevL);
      Trapezoid& l = trap(L);
      l.u0 = y >= 0 ? y : prevL;
      l.u1 = y >= 0 ? prevL : -1;
      if (y >= 0) replaceLink(trap(y).d0, trap(y).d1, curT, L);
    }
  }

  void addSegment(int si) {
    Segment& s = seg(si);
    const bool startUp = comparePoints(s.v0, s.v1) > 0;
    const int upV = startUp ? s.i0 : s.i1;
    const int loV = startUp ? s.i1 : s.i0;
    const int upRoot = startUp ? s.root0 : s.root1;
    const int loRoot = startUp ? s.root1 : s.root0;
    insertPoint(upV, points[loV], upRoot);
    insertPoint(loV, points[upV], loRoot);
    threadSegment(si, upRoot);
  }

  // Locates the ends of a segment not yet inserted again, so that its later
  // insertion starts deep in the query structure.
  void relocate(int si) {
    Segment& s = seg(si);
    s.root0 = trap(locate(s.v0, s.v1, s.root0)).sink;
    s.root1 = trap(locate(s.v1, s.v0, s.root1)).sink;
  }
};

namespace {

// ---- Monotone pieces and their triangles ------------------------------------

struct HalfEdge {
  int from, to;
  int twin;
  bool interior;  // the polygon lies on its left
  int pos;        // position among the out-edges of from
};

// Counter-clockwise order of directions, starting at the positive x axis.
bool angleBefore(const Vec2d& a, const Vec2d& b) {
  const int ha = (a.y < 0.0 || (a.y == 0.0 && a.x < 0.0)) ? 1 : 0;
  const int hb = (b.y < 0.0 || (b.y == 0.0 && b.x < 0.0)) ? 1 : 0;
  if (ha != hb) return ha < hb;
  return a.x * b.y - a.y * b.x > 0.0;
}

struct TriangleSink {
  int (*out)[3];
  int max;
  int count;
  const Vec2d* points;
  void emit(int a, int b, int c) {
    if (count >= max) throw SeidelFailure{kBrokenMap, 60};
    if (orient(points[a], points[b], points[c]) < 0.0) std::swap(b, c);
    out[count][0] = a;
    out[count][1] = b;
    out[count][2] = c;
    ++count;
  }
};

// Triangulates one y-monotone piece given counter-clockwise (the classic
// stack walk down both chains).
void triangulateMonotone(const std::vector<int>& face, const Vec2d* pts, TriangleSink& sink) {
  const int m = static_cast<int>(face.size());
  if (m < 3) throw SeidelFailure{kBrokenMap, 70};
  if (m == 3) {
    sink.emit(face[0], face[1], face[2]);
    return;
  }
  int top = 0, bottom = 0;
  for (int i = 1; i < m; ++i) {
    if (comparePoints(pts[face[i]], pts[face[top]]) > 0) top = i;
    if (comparePoints(pts[face[i]], pts[face[bottom]]) < 0) bottom = i;
  }
  // Forward from the top runs down the left chain, backward down the right.
  std::vector<int> leftChain, rightChain;
  for (int i = (top + 1) % m; i != bottom; i = (i + 1) % m) leftChain.push_back(face[i]);
  for (int i = (top - 1 + m) % m; i != bottom; i = (i - 1 + m) % m) rightChain.push_back(face[i]);
  auto descending = [&](const std::vector<int>& chain, int first, int lastV) {
    int prev = first;
    for (int v : chain) {
      if (comparePoints(pts[v], pts[prev]) >= 0) return false;
      prev = v;
    }
    return comparePoints(pts[lastV], pts[prev]) < 0;
  };
  if (!descending(leftChain, face[top], face[bottom]) ||
      !descending(rightChain, face[top], face[bottom])) {
    throw SeidelFailure{kBrokenMap, 71};
  }
  struct Item {
    int v;
    int side;  // 0 left chain, 1 right chain
  };
  std::vector<Item> order;
  order.reserve(static_cast<std::size_t>(m));
  order.push_back({face[top], 0});
  std::size_t a = 0, b = 0;
  while (a < leftChain.size() || b < rightChain.size()) {
    const bool takeLeft =
        b >= rightChain.size() ||
        (a < leftChain.size() && comparePoints(pts[leftChain[a]], pts[rightChain[b]]) > 0);
    if (takeLeft) {
      order.push_back({leftChain[a++], 0});
    } else {
      order.push_back({rightChain[b++], 1});
    }
  }
  order.push_back({face[bottom], 1});

  std::vector<Item> stack{order[0], order[1]};
  for (int j = 2; j < m - 1; ++j) {
    const Item u = order[static_cast<std::size_t>(j)];
    if (u.side != stack.back().side) {
      for (std::size_t k = stack.size() - 1; k >= 1; --k)
        sink.emit(u.v, stack[k].v, stack[k - 1].v);
      const Item prev = order[static_cast<std::size_t>(j - 1)];
      stack.assign({prev, u});
    } else {
      Item lastItem = stack.back();
      stack.pop_back();
      while (!stack.empty()) {
        const Vec2d& hv = pts[stack.back().v];
        const Vec2d& av = pts[lastItem.v];
        const Vec2d& uv = pts[u.v];
        const double turn = u.side == 0 ? orient(hv, av, uv) : orient(uv, av, hv);
        if (turn <= kEps) break;
        sink.emit(u.v, lastItem.v, stack.back().v);
        lastItem = stack.back();
        stack.pop_back();
      }
      stack.push_back(lastItem);
      stack.push_back(u);
    }
    if (static_cast<int>(stack.size()) > m) throw SeidelFailure{kBrokenMap, 72};
  }
  const Item u = order[static_cast<std::size_t>(m - 1)];
  for (std::size_t k = stack.size() - 1; k >= 1; --k) sink.emit(u.v, stack[k].v, stack[k - 1].v);
}

struct Contours {
  int ncontours;
  const int* counts;
  int total;
  // Contour successor and the start of each point's contour, 1-based.
  std::vector<int> next;
};

// Cuts the trapezoidal map into monotone pieces along the diagonals between
// the top and bottom points of every inside trapezoid whose two points are
// not joined by one of its walls, then triangulates each piece.
void triangulateMap(SeidelWork& w, const Contours& c, TriangleSink& sink) {
  const Vec2d* pts = w.points;
  const int n = c.total;
  // Points at one place are one vertex of the piece graph.
  std::vector<int> byPlace(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) byPlace[static_cast<std::size_t>(i)] = i + 1;
  std::sort(byPlace.begin(), byPlace.end(), [&](int a, int b) {
    if (pts[a].y != pts[b].y) return pts[a].y < pts[b].y;
    if (pts[a].x != pts[b].x) return pts[a].x < pts[b].x;
    return a < b;
  });
  std::vector<int> canon(static_cast<std::size_t>(n + 1), 0);
  for (int k = 0; k < n; ++k) {
    const int v = byPlace[static_cast<std::size_t>(k)];
    const int prevV = k > 0 ? byPlace[static_cast<std::size_t>(k - 1)] : 0;
    canon[static_cast<std::size_t>(v)] =
        (prevV != 0 && samePoint(pts[v], pts[prevV])) ? canon[static_cast<std::size_t>(prevV)] : v;
  }
  auto cv = [&](int v) { return canon[static_cast<std::size_t>(v)]; };

  std::vector<HalfEdge> edges;
  edges.reserve(static_cast<std::size_t>(4 * n));
  std::vector<std::pair<int, int>> joined;  // vertex pairs already joined
  auto addEdge = [&](int a, int b, bool bothInterior) {
    const int e = static_cast<int>(edges.size());
    edges.push_back({a, b, e + 1, true, 0});
    edges.push_back({b, a, e, bothInterior, 0});
    joined.emplace_back(std::min(a, b), std::max(a, b));
  };
  for (int v = 1; v <= n; ++v) addEdge(cv(v), cv(c.next[static_cast<std::size_t>(v)]), false);
  std::sort(joined.begin(), joined.end());

  std::vector<std::pair<int, int>> diagonals;
  for (int t = 0; t < w.trapCount; ++t) {
    const Trapezoid& tr = w.traps[static_cast<std::size_t>(t)];
    if (tr.lseg < 0 || tr.rseg < 0) continue;
    const Segment& r = w.seg(tr.rseg);
    if (comparePoints(r.v1, r.v0) <= 0) continue;  // right wall runs down: outside
    if (tr.hiV <= 0 || tr.loV <= 0) throw SeidelFailure{kBrokenMap, 50};
    const int a = cv(tr.hiV), b = cv(tr.loV);
    if (a == b) continue;
    const Segment& l = w.seg(tr.lseg);
    auto joins = [&](const Segment& s) {
      const int s0 = cv(s.i0), s1 = cv(s.i1);
      return (s0 == a && s1 == b) || (s0 == b && s1 == a);
    };
    if (joins(l) || joins(r)) continue;
    const std::pair<int, int> key(std::min(a, b), std::max(a, b));
    if (std::binary_search(joined.begin(), joined.end(), key)) continue;
    diagonals.push_back(key);
  }
  std::sort(diagonals.begin(), diagonals.end());
  diagonals.erase(std::unique(diagonals.begin(), diagonals.end()), diagonals.end());
  for (const auto& d : diagonals) addEdge(d.first, d.second, true);

  // Out-edges of every vertex in counter-clockwise order.
  std::vector<std::vector<int>> around(static_cast<std::size_t>(n + 1));
  for (int e = 0; e < static_cast<int>(edges.size()); ++e) {
    around[static_cast<std::size_t>(edges[static_cast<std::size_t>(e)].from)].push_back(e);
  }
  for (auto& list : around) {
    std::sort(list.begin(), list.end(), [&](int a, int b) {
      const HalfEdge& ea = edges[static_cast<std::size_t>(a)];
      const HalfEdge& eb = edges[static_cast<std::size_t>(b)];
      const Vec2d da{pts[ea.to].x - pts[ea.from].x, pts[ea.to].y - pts[ea.from].y};
      const Vec2d db{pts[eb.to].x - pts[eb.from].x, pts[eb.to].y - pts[eb.from].y};
      if (angleBefore(da, db)) return true;
      if (angleBefore(db, da)) return false;
      return a < b;
    });
    for (std::size_t k = 0; k < list.size(); ++k) {
      edges[static_cast<std::size_t>(list[k])].pos = static_cast<int>(k);
    }
  }

  // Walk the pieces: after arriving at a vertex, leave on the out-edge that
  // comes clockwise right after the way back.
  std::vector<char> visited(edges.size(), 0);
  std::vector<int> face;
  for (std::size_t e0 = 0; e0 < edges.size(); ++e0) {
    if (visited[e0] || !edges[e0].interior) continue;
    face.clear();
    std::size_t e = e0;
    for (std::size_t steps = 0;; ++steps) {
      if (steps > edges.size() || !edges[e].interior || visited[e]) {
        throw SeidelFailure{kBrokenMap, 80};
      }
      visited[e] = 1;
      face.push_back(edges[e].from);
      const HalfEdge& back = edges[static_cast<std::size_t>(edges[e].twin)];
      const auto& list = around[static_cast<std::size_t>(back.from)];
      const int deg = static_cast<int>(list.size());
      e = static_cast<std::size_t>(list[static_cast<std::size_t>((back.pos - 1 + deg) % deg)]);
      if (e == e0) break;
    }
    triangulateMonotone(face, pts, sink);
  }
}

double polygonArea(const Contours& c, const Vec2d* pts) {
  double sum = 0.0;
  for (int v = 1; v <= c.total; ++v) {
    const Vec2d& a = pts[v];
    const Vec2d& b = pts[c.next[static_cast<std::size_t>(v)]];
    sum += a.x * b.y - a.y * b.x;
  }
  return sum / 2.0;
}

void logFault(const void* where) {
  char text[160];
  std::snprintf(text, sizeof text, "\n ********** Problem %x = %s at %p ************\n\n",
                kAccessViolation, "ACCESS_VIOLATION", where);
  vyrErrLogText(text);
  vyrErrLogText("Problem in triangulate_polygonm_seidel");
}

}  // namespace

SeidelWork* seidelWorkNew(int n) {
  if (n < 3 || n > (1 << 26)) {
    vyrErrSet(-1, kSource, 1);
    return nullptr;
  }
  SeidelWork* w = new (std::nothrow) SeidelWork;
  if (w == nullptr) {
    vyrErrSet(-1, kSource, 2);
    return nullptr;
  }
  try {
    const std::size_t sn = static_cast<std::size_t>(n);
    // Reserved, not filled: the tables never move while a call holds
    // references into them, and only the entries in use take memory.
    w->nodes.reserve(8 * sn);
    w->traps.reserve(4 * sn);
    w->segs.resize(sn + 1);
    w->capacity = n;
  } catch (const std::bad_alloc&) {
    delete w;
    vyrErrSet(-1, kSource, 3);
    return nullptr;
  }
  return w;
}

void seidelWorkFree(SeidelWork* work) { delete work; }

int triangulate_polygonm_seidel(SeidelWork* work, int ncontours, const int* counts,
                                const Vec2d* points, int (*triangles)[3], int maxTriangles,
                                int* triangleCount) {
  if (triangleCount != nullptr) *triangleCount = 0;
  auto reject = [](int line) {
    vyrErrSet(-1, kSource, line);
    return -1;
  };
  if (work == nullptr || counts == nullptr || points == nullptr || triangles == nullptr ||
      triangleCount == nullptr || ncontours < 1) {
    return reject(100);
  }
  Contours c{ncontours, counts, 0, {}};
  for (int i = 0; i < ncontours; ++i) {
    if (counts[i] < 3 || counts[i] > work->capacity - c.total) return reject(101);
    c.total += counts[i];
  }
  const int n = c.total;
  for (int v = 1; v <= n; ++v) {
    const Vec2d& p = points[v];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) >= kInfinity / 2 ||
        std::fabs(p.y) >= kInfinity / 2) {
      return reject(102);
    }
  }

  int step = 0;
  try {
    c.next.assign(static_cast<std::size_t>(n + 1), 0);
    SeidelWork& w = *work;
    w.points = points;
    w.clear(n);
    // Segment j runs from point j to the next point of its contour.
    int first = 1;
    for (int i = 0; i < ncontours; ++i) {
      const int last = first + counts[i] - 1;
      for (int j = first; j <= last; ++j) {
        const int k = j == last ? first : j + 1;
        c.next[static_cast<std::size_t>(j)] = k;
        if (samePoint(points[j], points[k])) return reject(103);
        w.segs[static_cast<std::size_t>(j)] = {points[j], points[k], j, k, false, 0, 0};
      }
      first = last + 1;
    }

    // Insertion order: the k-th draw modulo the segments left picks the k-th.
    step = 1;
    std::vector<int> left(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) left[static_cast<std::size_t>(i)] = i + 1;
    std::vector<int> perm;
    perm.reserve(static_cast<std::size_t>(n));
    OrderGenerator gen{kOrderSeed};
    for (int remaining = n; remaining > 0; --remaining) {
      const auto pick =
          static_cast<std::size_t>(gen.next() % static_cast<std::uint64_t>(remaining));
      perm.push_back(left[pick]);
      left[pick] = left[static_cast<std::size_t>(remaining - 1)];
    }

    // Trapezoidation in log* phases; after each phase the segments still to
    // come locate their end points again.
    int i = 0;
    const int phases = phaseCount(n);
    for (int h = 1; h <= phases; ++h) {
      const int end = phaseEnd(n, h);
      for (; i < end; ++i) w.addSegment(perm[static_cast<std::size_t>(i)]);
      for (int s = 1; s <= n; ++s) {
        if (!w.seg(s).inserted) w.relocate(s);
      }
    }
    for (; i < n; ++i) w.addSegment(perm[static_cast<std::size_t>(i)]);

    step = 2;
    TriangleSink sink{triangles, maxTriangles, 0, points};
    triangulateMap(w, c, sink);

    // The triangles must cover the polygon exactly: crossing or overlapping
    // contours show up here instead of as a wrong mesh.
    step = 3;
    double covered = 0.0;
    for (int t = 0; t < sink.count; ++t) {
      covered +=
          orient(points[triangles[t][0]], points[triangles[t][1]], points[triangles[t][2]]) / 2.0;
    }
    const double area = polygonArea(c, points);
    if (!(area > 0.0) || std::fabs(covered - area) > 1e-9 * area) {
      throw SeidelFailure{kBrokenMap, 90};
    }
    *triangleCount = sink.count;
    return 1;
  } catch (const SeidelFailure& f) {
    vyrErrSet(f.code, kSource, f.line);
    return reject(110 + step);
  } catch (const SeidelFault& f) {
    logFault(f.where);
    return reject(120 + step);
  } catch (const std::bad_alloc&) {
    return reject(130 + step);
  }
}
