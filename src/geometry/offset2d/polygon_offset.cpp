#include "geometry/offset2d/polygon_offset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "base/tolerances.h"
#include "geometry/primitives/primitives.h"

namespace {

constexpr double kSameTol = kGeoEqualTol;  // equal points, degenerate edges
constexpr double kMergeTol = 0.001;        // points this close to the one before are dropped
constexpr double kStraightSine = 0.01;     // |sine| of a turn below which it is straight
constexpr double kOrientationArea = 0.1;   // |area| below which a loop has no orientation

Vec2d sub(const Vec2d& a, const Vec2d& b) { return {a.x - b.x, a.y - b.y}; }
double dot(const Vec2d& a, const Vec2d& b) { return a.x * b.x + a.y * b.y; }
double cross(const Vec2d& a, const Vec2d& b) { return a.x * b.y - a.y * b.x; }
double length(const Vec2d& a) { return std::hypot(a.x, a.y); }
Vec2d leftNormal(const Vec2d& u) { return {-u.y, u.x}; }
Vec2d along(const Vec2d& p, const Vec2d& dir, double d) {
  return {p.x + d * dir.x, p.y + d * dir.y};
}
bool samePoint(const Vec2d& a, const Vec2d& b) {
  return std::fabs(a.x - b.x) <= kSameTol && std::fabs(a.y - b.y) <= kSameTol;
}

// A failure code of the offset, carried out of the helpers.
struct OffsetFailure {
  int code;
};

// Points with the point each was offset from.
struct RawLoop {
  std::vector<Vec2d> pts;
  std::vector<int> source;
};

// Drops every point closer than kMergeTol to the point kept before it.
template <class Keep>
int compact(std::vector<Vec2d>& pts, Keep&& keepAlso) {
  int kept = 0;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    if (kept > 0 && length(sub(pts[i], pts[static_cast<std::size_t>(kept - 1)])) < kMergeTol)
      continue;
    pts[static_cast<std::size_t>(kept)] = pts[i];
    keepAlso(kept, static_cast<int>(i));
    ++kept;
  }
  pts.resize(static_cast<std::size_t>(kept));
  return kept;
}

// Unit vector of v; a vector shorter than kSameTol is a degenerate edge.
Vec2d unitOrFail(const Vec2d& v, int code) {
  const double len = length(v);
  if (len < kSameTol) throw OffsetFailure{code};
  return {v.x / len, v.y / len};
}

// Offset points of every vertex of P (to the left of travel).
RawLoop rawOffset(const std::vector<Vec2d>& P, double d, int capacity) {
  RawLoop raw;
  const int n = static_cast<int>(P.size());
  const bool closed = samePoint(P[0], P[static_cast<std::size_t>(n - 1)]);
  auto emit = [&](const Vec2d& q, int i) {
    if (static_cast<int>(raw.pts.size()) >= capacity) throw OffsetFailure{-1};
    raw.pts.push_back(q);
    raw.source.push_back(i);
  };
  for (int i = 0; i < n; ++i) {
    const Vec2d& p = P[static_cast<std::size_t>(i)];
    const bool hasPrev = i > 0 || closed;
    const bool hasNext = i < n - 1 || closed;
    if (!hasPrev && !hasNext) continue;
    const Vec2d prev = hasPrev ? P[static_cast<std::size_t>(i > 0 ? i - 1 : n - 2)] : p;
    const Vec2d next = hasNext ? P[static_cast<std::size_t>(i < n - 1 ? i + 1 : 1)] : p;
    if (!hasPrev) {
      emit(along(p, leftNormal(unitOrFail(sub(next, p), -2)), d), i);
      continue;
    }
    if (!hasNext) {
      emit(along(p, leftNormal(unitOrFail(sub(p, prev), -2)), d), i);
      continue;
    }
    const Vec2d u1 = unitOrFail(sub(p, prev), -2);
    const Vec2d u2 = unitOrFail(sub(next, p), -2);
    const double c = cross(u1, u2);
    if (std::fabs(c) < kStraightSine) {
      if (dot(u1, u2) > 0.0) emit(along(p, leftNormal(u1), d), i);
      continue;  // a reversal gets no point
    }
    const Vec2d n12 = unitOrFail(leftNormal({(u1.x + u2.x) / 2.0, (u1.y + u2.y) / 2.0}), -2);
    if (c > 0.0) {
      // A left turn: the offset side lies inside the corner.
      const double l = dot(n12, u2);
      const double s = std::fabs(cross(n12, u2));
      if (l < kSameTol || s < kSameTol) throw OffsetFailure{-2};
      const double shorter = std::min(length(sub(p, prev)), length(sub(next, p)));
      if (d - kSameTol > std::fabs(shorter * s / l)) {
        // The miter point would pass the shorter edge.
        emit(along(p, leftNormal(u1), d), i);
        emit(along(p, leftNormal(u2), d), i);
      } else {
        emit(along(p, n12, d / s), i);
      }
    } else {
      emit(along(p, n12, d), i);  // outside the corner: one point on the bisector
    }
  }
  std::vector<int> source = raw.source;
  compact(raw.pts, [&](int to, int from) {
    raw.source[static_cast<std::size_t>(to)] = source[static_cast<std::size_t>(from)];
  });
  raw.source.resize(raw.pts.size());
  return raw;
}

// A raw loop without crossings that ran mostly against its source edges has
// turned over as a whole (an inward offset past the middle of a symmetric
// loop): its orientation alone does not show that.
bool turnedOver(const RawLoop& raw, const std::vector<Vec2d>& P) {
  double against = 0.0, with = 0.0;
  for (std::size_t k = 1; k < raw.pts.size(); ++k) {
    const int i = raw.source[k - 1], j = raw.source[k];
    if (i == j) continue;
    const Vec2d edge = sub(raw.pts[k], raw.pts[k - 1]);
    const double dir =
        dot(edge, sub(P[static_cast<std::size_t>(j)], P[static_cast<std::size_t>(i)]));
    (dir < 0.0 ? against : with) += length(edge);
  }
  return against > with;
}

struct Branch {
  int point;      // index at which the path continues after the crossing
  Vec2d dir;      // unit direction from the crossing toward that point
  double offset;  // distance from the edge's start to the crossing
};

struct Crossing {
  Vec2d x;
  Branch b[2];
};

struct Vertex {
  Vec2d p;
  Vec2d dir;  // unit direction to the next vertex (zero at the end of an open list)
  int link;   // next copy of the same crossing point, -1 when no crossing
  int used;
};

bool boxesApart(const Vec2d& a0, const Vec2d& a1, const Vec2d& b0, const Vec2d& b1) {
  const double t = kMergeTol;
  return std::max(a0.x, a1.x) + t < std::min(b0.x, b1.x) ||
         std::max(b0.x, b1.x) + t < std::min(a0.x, a1.x) ||
         std::max(a0.y, a1.y) + t < std::min(b0.y, b1.y) ||
         std::max(b0.y, b1.y) + t < std::min(a0.y, a1.y);
}

std::vector<Crossing> findCrossings(const std::vector<Vec2d>& Q) {
  const int m = static_cast<int>(Q.size());
  std::vector<Crossing> found;
  auto branch = [&](const Vec2d& x, int edgeEnd) -> Branch {
    const int k = samePoint(x, Q[static_cast<std::size_t>(edgeEnd)]) ? edgeEnd + 1 : edgeEnd;
    if (k > m - 1) return {-1, {0.0, 0.0}, 0.0};
    const Vec2d toward = sub(Q[static_cast<std::size_t>(k)], x);
    const double len = length(toward);
    const Vec2d dir = len > 0.0 ? Vec2d{toward.x / len, toward.y / len} : Vec2d{0.0, 0.0};
    return {k, dir, length(sub(x, Q[static_cast<std::size_t>(edgeEnd - 1)]))};
  };
  for (int i = 1; i < m; ++i) {
    const Vec2d& a0 = Q[static_cast<std::size_t>(i - 1)];
    const Vec2d& a1 = Q[static_cast<std::size_t>(i)];
    for (int j = i + 2; j < m; ++j) {
      const Vec2d& b0 = Q[static_cast<std::size_t>(j - 1)];
      const Vec2d& b1 = Q[static_cast<std::size_t>(j)];
      if (boxesApart(a0, a1, b0, b1)) continue;
      const Seg2 sa{a0.x, a0.y, a1.x, a1.y};
      const Seg2 sb{b0.x, b0.y, b1.x, b1.y};
      Vec2d x;
      if (seg2Intersect(&sa, &sb, &x) != 1) continue;
      const Branch first = branch(x, i);
      const Branch second = branch(x, j);
      if (first.point < 0 || second.point < 0) continue;
      if (static_cast<int>(found.size()) >= m) throw OffsetFailure{-1};
      found.push_back({x, {first, second}});
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const Crossing& a, const Crossing& b) {
    if (a.b[0].point != b.b[0].point) return a.b[0].point < b.b[0].point;
    if (std::fabs(a.b[0].offset - b.b[0].offset) <= kSameTol) return false;
    return a.b[0].offset < b.b[0].offset;
  });
  return found;
}

// Builds the vertex ring of Q with every crossing point inserted once per
// branch; the copies of one crossing point are linked into a ring.
std::vector<Vertex> buildRing(const std::vector<Vec2d>& Q, std::vector<Crossing>& crossings,
                              bool closed) {
  const int m = static_cast<int>(Q.size());
  const std::size_t capacity = 3 * static_cast<std::size_t>(m);
  std::vector<Vertex> v;
  v.reserve(capacity);
  for (int k = 0; k < m; ++k) {
    Vec2d dir{0.0, 0.0};
    if (k < m - 1) {
      dir = unitOrFail(sub(Q[static_cast<std::size_t>(k + 1)], Q[static_cast<std::size_t>(k)]), -1);
    } else if (closed) {
      dir = v[0].dir;
    }
    v.push_back({Q[static_cast<std::size_t>(k)], dir, -1, 0});
  }
  for (Crossing& c : crossings) {
    for (int side = 0; side < 2; ++side) {
      const int pos = c.b[side].point;
      if (pos < 1 || pos > static_cast<int>(v.size())) throw OffsetFailure{-1};
      if (samePoint(v[static_cast<std::size_t>(pos - 1)].p, c.x)) continue;
      if (v.size() >= capacity) throw OffsetFailure{-1};
      for (Vertex& w : v) {
        if (w.link >= pos) ++w.link;
      }
      v.insert(v.begin() + pos, Vertex{c.x, v[static_cast<std::size_t>(pos - 1)].dir, -1, 0});
      const int n = static_cast<int>(v.size());
      for (int w = 0; w < n; ++w) {
        if (w == pos || (closed && w == n - 1)) continue;
        if (!samePoint(v[static_cast<std::size_t>(w)].p, c.x)) continue;
        Vertex& other = v[static_cast<std::size_t>(w)];
        v[static_cast<std::size_t>(pos)].link = other.link >= 0 ? other.link : w;
        other.link = pos;
        break;
      }
      // Crossings further along the same edge now continue one place later.
      for (Crossing& r : crossings) {
        for (Branch& b : r.b) {
          if (b.point > pos) {
            ++b.point;
          } else if (b.point == pos) {
            const Vec2d diff = sub(r.x, c.x);
            const double len = length(diff);
            if (len > 0.0 && dot({diff.x / len, diff.y / len}, b.dir) >= kSameTol) ++b.point;
          }
        }
      }
    }
  }
  return v;
}

// Walks the loops of the vertex ring, taking the left-most turn at every
// crossing.  Only closed loops are returned.
std::vector<std::vector<Vec2d>> walkLoops(std::vector<Vertex>& v, bool closed) {
  const int n = static_cast<int>(v.size());
  auto following = [&](int w) { return w + 1 < n ? w + 1 : (closed ? 1 : -1); };
  std::vector<std::vector<Vec2d>> loops;
  std::vector<int> loop;
  for (;;) {
    int start = -1;
    for (int k = 0; k < n && start < 0; ++k) {
      if (!v[static_cast<std::size_t>(k)].used) start = k;
    }
    if (start < 0) break;
    loop.assign(1, start);
    Vec2d incoming{0.0, 0.0};
    int cur = start;
    bool complete = false;
    for (int steps = 0; steps <= 2 * n + 2; ++steps) {
      int from = cur;
      if (v[static_cast<std::size_t>(cur)].link >= 0) {
        // Leave the crossing on the copy that turns most to the left.
        int best = -1;
        double bestScore = std::numeric_limits<double>::infinity();
        int w = cur;
        for (int guard = 0; guard <= n; ++guard) {
          const Vertex& cand = v[static_cast<std::size_t>(w)];
          const int f = following(w);
          if ((cand.dir.x != 0.0 || cand.dir.y != 0.0) && f >= 0 &&
              !v[static_cast<std::size_t>(f)].used) {
            const double score = cross(incoming, cand.dir) <= 0.0 ? 2.0 : dot(incoming, cand.dir);
            if (score < bestScore) {
              bestScore = score;
              best = w;
            }
          }
          w = cand.link;
          if (w < 0 || w == cur) break;
        }
        if (best < 0) break;
        from = best;
      }
      const int next = following(from);
      if (next < 0 || v[static_cast<std::size_t>(next)].used) break;
      incoming = v[static_cast<std::size_t>(from)].dir;
      int repeat = -1;
      for (std::size_t k = 0; k < loop.size() && repeat < 0; ++k) {
        if (samePoint(v[static_cast<std::size_t>(loop[k])].p,
                      v[static_cast<std::size_t>(next)].p)) {
          repeat = static_cast<int>(k);
        }
      }
      loop.push_back(next);
      cur = next;
      if (repeat >= 0) {
        for (int k = 0; k < repeat; ++k)
          v[static_cast<std::size_t>(loop[static_cast<std::size_t>(k)])].used = 1;
        loop.erase(loop.begin(), loop.begin() + repeat);
        complete = true;
        break;
      }
    }
    for (int k : loop) v[static_cast<std::size_t>(k)].used = 1;
    v[static_cast<std::size_t>(start)].used = 1;
    if (complete && loop.size() > 1) {
      std::vector<Vec2d> pts;
      pts.reserve(loop.size());
      for (int k : loop) pts.push_back(v[static_cast<std::size_t>(k)].p);
      loops.push_back(std::move(pts));
    }
  }
  return loops;
}

int offsetLoop(const Vec2d* pts, int count, Vec2d* out, int outCapacity, double distance, int side,
               LoopStack* extra) {
  std::vector<Vec2d> P(pts, pts + count);
  const int o = offset2dOrientation(P.data(), count);
  if (side < 0) std::reverse(P.begin(), P.end());
  if (side == o) {
    double largest = 0.0;
    for (const Vec2d& q : P) largest = std::max(largest, length(sub(q, P[0])));
    if (largest < 2.0 * distance) return -2;
  }
  if (compact(P, [](int, int) {}) <= 1) return 0;

  const RawLoop raw = rawOffset(P, distance, outCapacity);
  const std::vector<Vec2d>& Q = raw.pts;
  const int m = static_cast<int>(Q.size());
  if (m <= 1) return 0;

  std::vector<std::vector<Vec2d>> loops;
  std::vector<Crossing> crossings = findCrossings(Q);
  if (crossings.empty()) {
    if (offset2dOrientation(Q.data(), m) <= 0 || turnedOver(raw, P)) return 0;
    loops.push_back(Q);
  } else {
    const bool closed = samePoint(Q[0], Q[static_cast<std::size_t>(m - 1)]);
    std::vector<Vertex> ring = buildRing(Q, crossings, closed);
    loops = walkLoops(ring, closed);
  }

  int result = 0;
  bool first = true;
  for (std::vector<Vec2d>& loop : loops) {
    const int n = static_cast<int>(loop.size());
    if (offset2dOrientation(loop.data(), n) <= 0) continue;
    if (side < 0) std::reverse(loop.begin(), loop.end());
    if (first) {
      if (n > outCapacity) return -1;
      std::copy(loop.begin(), loop.end(), out);
      result = n;
      first = false;
    } else if (extra != nullptr && loopStackPush(extra, loop.data(), n) < 0) {
      return -1;
    }
  }
  return result;
}

}  // namespace

LoopStack* loopStackNew() { return static_cast<LoopStack*>(std::calloc(1, sizeof(LoopStack))); }

void loopStackClear(LoopStack* stack) {
  if (stack == nullptr) return;
  while (stack->top != nullptr) {
    LoopStackNode* node = stack->top;
    stack->top = node->next;
    std::free(node->pts);
    std::free(node);
  }
}

void loopStackFree(LoopStack* stack) {
  loopStackClear(stack);
  std::free(stack);
}

int loopStackPush(LoopStack* stack, const Vec2d* pts, int count) {
  if (stack == nullptr || pts == nullptr || count <= 0) return 0;
  auto* node = static_cast<LoopStackNode*>(std::malloc(sizeof(LoopStackNode)));
  auto* copy = static_cast<Vec2d*>(std::malloc(sizeof(Vec2d) * static_cast<std::size_t>(count)));
  if (node == nullptr || copy == nullptr) {
    std::free(node);
    std::free(copy);
    return -1;
  }
  std::memcpy(copy, pts, sizeof(Vec2d) * static_cast<std::size_t>(count));
  *node = {count, copy, stack->top};
  stack->top = node;
  if (stack->pushHook != nullptr) stack->pushHook(copy, count);
  return 1;
}

int loopStackPop(LoopStack* stack, Vec2d* buffer, int capacity, int* count) {
  if (stack == nullptr || buffer == nullptr || count == nullptr) return 0;
  LoopStackNode* node = stack->top;
  if (node == nullptr) return -1;
  if (node->count > capacity) return -2;
  std::memcpy(buffer, node->pts, sizeof(Vec2d) * static_cast<std::size_t>(node->count));
  *count = node->count;
  stack->top = node->next;
  std::free(node->pts);
  std::free(node);
  if (stack->popHook != nullptr) stack->popHook(buffer, *count);
  return 1;
}

int loopStackCopy(LoopStack* dst, const LoopStack* src) {
  if (dst == nullptr || src == nullptr || dst == src) return 0;
  loopStackClear(dst);
  for (const LoopStackNode* node = src->top; node != nullptr; node = node->next) {
    if (loopStackPush(dst, node->pts, node->count) != 1) return -1;
  }
  return 1;
}

int offset2dOrientation(const Vec2d* pts, int count) {
  if (pts == nullptr || count < 3) return 0;
  double sum = 0.0;
  for (int i = 1; i < count; ++i) {
    const Vec2d& prev = pts[i > 1 ? i - 1 : count - 1];
    const Vec2d& next = pts[i < count - 1 ? i + 1 : 1];
    sum += pts[i].x * (next.y - prev.y);
  }
  const double area = sum / 2.0;
  if (area > kOrientationArea) return 1;
  if (area < -kOrientationArea) return -1;
  return 0;
}

int offset2dPolygon(const Vec2d* pts, int count, Vec2d* out, int outCapacity, double distance,
                    int side, LoopStack* extra) {
  if (pts == nullptr || out == nullptr || outCapacity <= 0) return -1;
  if (!std::isfinite(distance)) return -2;
  if (count <= 1) return 0;
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(pts[i].x) || !std::isfinite(pts[i].y)) return -2;
  }
  try {
    return offsetLoop(pts, count, out, outCapacity, distance, side < 0 ? -1 : 1, extra);
  } catch (const OffsetFailure& f) {
    return f.code;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
