#include "model/collision/tool_outline.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "base/tolerances.h"
#include "geometry/curves/kfy_contours.h"
#include "geometry/offset2d/planar_offset.h"
#include "model/io/model_load.h"

namespace {

void clearBox(ToolOutline* o) {
  o->minX = DBL_MAX;
  o->minY = DBL_MAX;
  o->maxX = -DBL_MAX;
  o->maxY = -DBL_MAX;
}

void widenBox(ToolOutline* o, double x, double y) {
  o->minX = std::min(o->minX, x);
  o->minY = std::min(o->minY, y);
  o->maxX = std::max(o->maxX, x);
  o->maxY = std::max(o->maxY, y);
}

// Makes room for at least need segments; false (outline unchanged in size)
// when memory is missing.
bool reserve(ToolOutline* o, int need) {
  if (need <= o->capacity) return true;
  auto* segs = static_cast<Seg2*>(std::realloc(o->segments, sizeof(Seg2) * static_cast<std::size_t>(need)));
  if (segs == nullptr) return false;
  o->segments = segs;
  auto* types = static_cast<int16_t*>(std::realloc(o->types, sizeof(int16_t) * static_cast<std::size_t>(need)));
  if (types == nullptr) return false;
  o->types = types;
  o->capacity = need;
  return true;
}

Seg2 seg(double x0, double y0, double x1, double y1) { return Seg2{x0, y0, x1, y1}; }

bool appendSeg(ToolOutline* o, double x0, double y0, double x1, double y1, int16_t type) {
  const Seg2 s = seg(x0, y0, x1, y1);
  return toolOutlineAppend(o, &s, type) == 1;
}

// Restores the calling thread's corner-join mode when the offset ends.
class CornerJoinScope {
 public:
  explicit CornerJoinScope(int mode) : previous_(offset2dCornerThreshold() > 1.0 ? 1 : 0) {
    offset2dSetCornerJoin(mode);
  }
  ~CornerJoinScope() { offset2dSetCornerJoin(previous_); }
  CornerJoinScope(const CornerJoinScope&) = delete;
  CornerJoinScope& operator=(const CornerJoinScope&) = delete;

 private:
  int previous_;
};

}  // namespace

ToolOutline* toolOutlineNew(int capacity) {
  auto* o = static_cast<ToolOutline*>(std::calloc(1, sizeof(ToolOutline)));
  if (o == nullptr) return nullptr;
  const int cap = std::max(capacity, kOutlineMinCapacity);
  o->segments = static_cast<Seg2*>(std::malloc(sizeof(Seg2) * static_cast<std::size_t>(cap)));
  o->types = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * static_cast<std::size_t>(cap)));
  if (o->segments == nullptr || o->types == nullptr) {
    toolOutlineFree(o);
    return nullptr;
  }
  o->capacity = cap;
  clearBox(o);
  return o;
}

void toolOutlineFree(ToolOutline* outline) {
  if (outline == nullptr) return;
  std::free(outline->segments);
  std::free(outline->types);
  std::free(outline);
}

int toolOutlineAppend(ToolOutline* o, const Seg2* s, int16_t type) {
  if (o == nullptr || s == nullptr) return -1;
  if (std::fabs(s->x0 - s->x1) < kGeoEqualTol && std::fabs(s->y0 - s->y1) < kGeoEqualTol) return 1;
  if (o->count >= o->capacity) {
    const int grown = std::max(static_cast<int>(o->capacity * 1.5), o->count + 1);
    if (!reserve(o, grown)) return -1;
  }
  widenBox(o, s->x0, s->y0);
  widenBox(o, s->x1, s->y1);
  o->segments[o->count] = *s;
  o->types[o->count] = type;
  ++o->count;
  return 1;
}

void toolOutlineUpdateBox(ToolOutline* o) {
  if (o == nullptr) return;
  clearBox(o);
  for (int i = 0; i < o->count; ++i) {
    widenBox(o, o->segments[i].x0, o->segments[i].y0);
    widenBox(o, o->segments[i].x1, o->segments[i].y1);
  }
}

int toolOutlineOffset(ToolOutline* o, double d) {
  if (o == nullptr || o->count <= 0) return 0;
  const int16_t tag = o->types[0];
  const int cap = offset2dResultCapacity(o->count);
  if (cap <= 0 || static_cast<std::size_t>(cap) > SIZE_MAX / sizeof(Seg2)) return -1;
  Seg2* out = static_cast<Seg2*>(std::malloc(sizeof(Seg2) * static_cast<std::size_t>(cap)));
  auto* types = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * static_cast<std::size_t>(cap)));
  int n = -1;
  if (out != nullptr && types != nullptr) {
    CornerJoinScope join(1);
    n = offset2dSegChain(o->segments, o->count, std::fabs(d), out, cap, d > 0.0 ? -1 : 1);
  }
  if (n <= 0) {
    std::free(out);
    std::free(types);
    return -1;
  }
  std::fill(types, types + cap, tag);
  std::free(o->segments);
  std::free(o->types);
  o->segments = out;
  o->types = types;
  o->count = n;
  o->capacity = cap;
  toolOutlineUpdateBox(o);
  return 1;
}

void toolOutlineShift(ToolOutline* o, double dz) {
  if (o == nullptr) return;
  for (int i = 0; i < o->count; ++i) {
    o->segments[i].y0 += dz;
    o->segments[i].y1 += dz;
  }
  if (o->count > 0) {
    o->minY += dz;
    o->maxY += dz;
  }
}

ToolOutline* toolOutlineHolder(const HolderClearance* c) {
  ToolOutline* o = toolOutlineNew(kOutlineMinCapacity);
  if (o == nullptr) return nullptr;
  const double nose = c->noseDiameter / 2.0;
  const double body = c->bodyDiameter / 2.0;
  if (!appendSeg(o, 0.0, c->freeLength, nose, c->freeLength, kOutlineTagHolder) ||
      !appendSeg(o, nose, c->freeLength, body, c->noseTop, kOutlineTagHolder) ||
      !appendSeg(o, body, c->noseTop, body, c->holderTop, kOutlineTagHolder)) {
    toolOutlineFree(o);
    return nullptr;
  }
  return o;
}

ToolOutline* toolOutlineHead(const HolderClearance* c) {
  ToolOutline* o = toolOutlineNew(kOutlineMinCapacity);
  if (o == nullptr) return nullptr;
  const double r1 = c->headDiameter1 / 2.0;
  const double r2 = c->headDiameter2 / 2.0;
  if (!appendSeg(o, 0.0, c->holderTop, r1, c->holderTop, kOutlineTagHead) ||
      !appendSeg(o, r1, c->holderTop, r2, c->headStepTop, kOutlineTagHead) ||
      !appendSeg(o, r2, c->headStepTop, r2, c->headTop, kOutlineTagHead)) {
    toolOutlineFree(o);
    return nullptr;
  }
  return o;
}

ToolOutline* toolOutlineFromKfy(const char* file, const char* name, double tolerance,
                                double baseHeight, int16_t type, int* status) {
  int dummy = 0;
  int& st = status != nullptr ? *status : dummy;
  st = 0;
  if (file == nullptr || name == nullptr) return nullptr;
  CurveRec* chain = kfyReadContours(file, tolerance);
  const CurveRec* c = chain;
  while (c != nullptr && std::strcmp(c->name, name) != 0) c = c->next;
  if (c == nullptr || c->count <= 0) {
    curveFree(chain);
    return nullptr;
  }
  const int n = c->count;
  const double scale = modelLoadLengthScale();
  std::vector<Vec2d> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) p[i] = {c->points[i].x * scale, c->points[i].y * scale};
  curveFree(chain);
  const double shift = baseHeight - p[0].y;
  for (Vec2d& q : p) q.y += shift;
  for (int i = 1; i < n; ++i) {
    p[i].x = std::max(p[i].x, p[i - 1].x);
    p[i].y = std::max(p[i].y, p[i - 1].y);
  }
  ToolOutline* o = toolOutlineNew(n + 1);
  if (o == nullptr) {
    st = -1;
    return nullptr;
  }
  bool ok = true;
  if (std::fabs(p[0].x) >= kGeoEqualTol) ok = appendSeg(o, 0.0, p[0].y, p[0].x, p[0].y, type);
  for (int i = 1; ok && i < n; ++i) {
    ok = appendSeg(o, std::fabs(p[i - 1].x), p[i - 1].y, std::fabs(p[i].x), p[i].y, type);
  }
  const Vec2d& last = p[static_cast<std::size_t>(n - 1)];
  if (ok && std::fabs(last.x) >= kGeoEqualTol) ok = appendSeg(o, last.x, last.y, 0.0, last.y, type);
  if (!ok) {
    toolOutlineFree(o);
    st = -1;
    return nullptr;
  }
  st = 1;
  return o;
}

ToolOutline* toolOutlineAddShank(ToolOutline* q, const HolderClearance* c, double width,
                                 int taperFlag, int* status) {
  if (status != nullptr) *status = 1;
  const bool hasQ = q != nullptr && q->count > 0;
  const double h = hasQ ? q->segments[0].y0 : c->freeLength;
  double a = std::fabs(width) < kGeoEqualTol ? c->shankDiameter : width;
  if (taperFlag != 0) {
    const double beta = c->taperAngle * std::numbers::pi / 180.0;
    const double rho = c->cornerRadius;
    a += 2.0 * std::tan(beta) * (rho * std::sin(beta) + c->cuttingLength) -
         2.0 * rho * (1.0 - std::cos(beta));
  }
  const double lc = c->cuttingLength >= -kGeoEqualTol ? c->cuttingLength : c->radius;
  const double shankR = c->shankDiameter / 2.0;

  ToolOutline* r = toolOutlineNew(kOutlineMinCapacity);
  if (r == nullptr) {
    if (status != nullptr) *status = -1;
    return q;
  }
  bool ok = true;
  Seg2 t = seg(a / 2.0, lc, shankR, lc + c->shankLength);
  const bool degenerate =
      std::fabs(t.x0 - t.x1) < kGeoEqualTol && std::fabs(t.y0 - t.y1) < kGeoEqualTol;
  if (!degenerate && std::fabs(t.y0 - h) >= kGeoEqualTol) {
    t.y0 = std::min(t.y0, h);
    t.y1 = std::min(t.y1, h);
    ok = toolOutlineAppend(r, &t, kOutlineTagHolder) == 1;
  }
  const Seg2 s = seg(t.x1, t.y1, shankR, std::min(c->freeLength, h));
  if (ok && std::fabs(s.y0 - h) >= kGeoEqualTol) ok = toolOutlineAppend(r, &s, kOutlineTagHolder) == 1;
  if (!ok) {
    toolOutlineFree(r);
    if (status != nullptr) *status = -1;
    return q;
  }
  if (q == nullptr) return r;
  if (r->count == 0 || q->minY - kGeoEqualTol < r->minY) {
    toolOutlineFree(r);
    return q;
  }
  if (q->count + r->count > q->capacity && !reserve(q, q->count + r->count + 10)) {
    toolOutlineFree(r);
    if (status != nullptr) *status = -1;
    return q;
  }
  if (q->count > 0) {
    q->segments[0].x0 = r->segments[r->count - 1].x1;
    q->segments[0].y0 = r->segments[r->count - 1].y1;
  }
  std::memmove(q->segments + r->count, q->segments, sizeof(Seg2) * static_cast<std::size_t>(q->count));
  std::memmove(q->types + r->count, q->types, sizeof(int16_t) * static_cast<std::size_t>(q->count));
  std::memcpy(q->segments, r->segments, sizeof(Seg2) * static_cast<std::size_t>(r->count));
  std::memcpy(q->types, r->types, sizeof(int16_t) * static_cast<std::size_t>(r->count));
  q->count += r->count;
  toolOutlineFree(r);
  toolOutlineUpdateBox(q);
  return q;
}
