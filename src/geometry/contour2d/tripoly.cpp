#include "geometry/contour2d/tripoly.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "geometry/contour2d/seidel.h"
#include "geometry/errors/error_state.h"

namespace {

constexpr char kTripolySource[] = "QZVYR5\\TRIPOLY";
constexpr char kTripoly2Source[] = "QZVYR5\\tripoly2";
constexpr double kWeightTol = 1e-8;
constexpr double kFrameGrowth = 0.1;
constexpr double kSamePointTol = 1e-12;  // as the triangulation's point equality

struct EdgeRecord {
  int tri;
  int lo, hi;  // vertex indices, smaller first
  int slot;    // 0: na, 1: nb, 2: nc
};

int edgeOrder(const void* a, const void* b) {
  const auto* ea = static_cast<const EdgeRecord*>(a);
  const auto* eb = static_cast<const EdgeRecord*>(b);
  if (ea->lo != eb->lo) return ea->lo < eb->lo ? -1 : 1;
  if (ea->hi != eb->hi) return ea->hi < eb->hi ? -1 : 1;
  return 0;
}

int& neighbourSlot(TripolyTri& t, int slot) { return slot == 0 ? t.na : slot == 1 ? t.nb : t.nc; }

const Vec2d& meshPoint(const TripolyMesh* mesh, int i) { return mesh->points->items[i]; }

bool allInside(double w0, double w1, double w2) {
  return w0 >= 0.0 && w1 >= 0.0 && w2 > -kWeightTol;
}

void weightsOf(const TripolyMesh* mesh, int t, const Vec2d* p, double* w0, double* w1, double* w2) {
  tripolyBarycentric(mesh, t, p, w0, w1);
  *w2 = 1.0 - *w0 - *w1;
}

// A triangle without area holds no point.
bool holds(const TripolyMesh* mesh, int t, double w0, double w1, double w2) {
  return mesh->tris[t].invArea > 0.0 && allInside(w0, w1, w2);
}

void freeOne(TripolyMesh* mesh) {
  std::free(mesh->tris);
  listSeg2Free(mesh->points);
  std::free(mesh);
}

}  // namespace

TripolyMesh* tripolyNew(int capacity) {
  if (capacity <= 2) capacity = 3;
  auto* mesh = static_cast<TripolyMesh*>(std::calloc(1, sizeof(TripolyMesh)));
  if (mesh == nullptr) return nullptr;
  mesh->capacity = capacity;
  mesh->tris = static_cast<TripolyTri*>(
      std::malloc(sizeof(TripolyTri) * static_cast<std::size_t>(capacity)));
  mesh->points = listPt2New(capacity + 2);
  if (mesh->tris == nullptr || mesh->points == nullptr) {
    freeOne(mesh);
    return nullptr;
  }
  return mesh;
}

int tripolyFree(TripolyMesh* mesh) {
  while (mesh != nullptr) {
    TripolyMesh* next = mesh->next;
    freeOne(mesh);
    mesh = next;
  }
  return 1;
}

int tripolyAddTriangle(TripolyMesh* mesh, const TripolyTri* t) {
  if (mesh == nullptr || mesh->tris == nullptr || mesh->points == nullptr || t == nullptr)
    return -1;
  const int n = mesh->points->count;
  if (t->a < 0 || t->a >= n || t->b < 0 || t->b >= n || t->c < 0 || t->c >= n) return -1;
  if (mesh->count >= mesh->capacity) {
    int grown = static_cast<int>(mesh->capacity * 1.5);
    if (grown <= mesh->capacity) grown = mesh->capacity + 1;
    auto* tris = static_cast<TripolyTri*>(
        std::realloc(mesh->tris, sizeof(TripolyTri) * static_cast<std::size_t>(grown)));
    if (tris == nullptr) return -1;
    mesh->tris = tris;
    mesh->capacity = grown;
  }
  TripolyTri r = *t;
  const Vec2d& a = meshPoint(mesh, r.a);
  const Vec2d& b = meshPoint(mesh, r.b);
  const Vec2d& c = meshPoint(mesh, r.c);
  const double twice = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  if (twice < 0.0) std::swap(r.a, r.c);
  r.invArea = twice != 0.0 ? 1.0 / std::fabs(twice) : 0.0;
  mesh->tris[mesh->count++] = r;
  return 1;
}

int tripolyLinkNeighbours(TripolyMesh* mesh) {
  if (mesh == nullptr || mesh->count < 2) return 1;
  const int n = mesh->count;
  std::unique_ptr<EdgeRecord[]> edges(new (std::nothrow)
                                          EdgeRecord[3 * static_cast<std::size_t>(n)]);
  if (!edges) {
    for (int t = 0; t < n; ++t) mesh->tris[t].na = mesh->tris[t].nb = mesh->tris[t].nc = -1;
    return -1;
  }
  for (int t = 0; t < n; ++t) {
    const TripolyTri& tr = mesh->tris[t];
    const int ends[3][2] = {{tr.b, tr.c}, {tr.c, tr.a}, {tr.a, tr.b}};  // opposite a, b, c
    for (int s = 0; s < 3; ++s) {
      const int u = ends[s][0], v = ends[s][1];
      edges[3 * t + s] = {t, u < v ? u : v, u < v ? v : u, s};
    }
  }
  listSort(edges.get(), static_cast<unsigned>(3 * n), sizeof(EdgeRecord), edgeOrder);
  for (int i = 0; i < 3 * n;) {
    const EdgeRecord& e = edges[i];
    if (i + 1 < 3 * n && edgeOrder(&e, &edges[i + 1]) == 0) {
      const EdgeRecord& f = edges[i + 1];
      neighbourSlot(mesh->tris[e.tri], e.slot) = f.tri;
      neighbourSlot(mesh->tris[f.tri], f.slot) = e.tri;
      i += 2;
    } else {
      neighbourSlot(mesh->tris[e.tri], e.slot) = -1;
      ++i;
    }
  }
  return 1;
}

int tripolyBarycentric(const TripolyMesh* mesh, int t, const Vec2d* p, double* w0, double* w1) {
  const TripolyTri& tr = mesh->tris[t];
  const Vec2d& a = meshPoint(mesh, tr.a);
  const Vec2d& b = meshPoint(mesh, tr.b);
  const Vec2d& c = meshPoint(mesh, tr.c);
  const double f0 = (p->x - c.x) * (b.y - c.y) - (p->y - c.y) * (b.x - c.x);
  const double f1 = (p->y - c.y) * (a.x - c.x) - (p->x - c.x) * (a.y - c.y);
  *w0 = (f0 > -kWeightTol && f0 < kWeightTol) ? 0.0 : f0 * tr.invArea;
  *w1 = (f1 > -kWeightTol && f1 < kWeightTol) ? 0.0 : f1 * tr.invArea;
  return 1;
}

int tripolyLocate(const TripolyMesh* mesh, const Vec2d* p, double* w0, double* w1, double* w2) {
  if (mesh == nullptr || p == nullptr || mesh->count <= 0) return -1;
  int t = 0;
  weightsOf(mesh, t, p, w0, w1, w2);
  for (int steps = 0; !holds(mesh, t, *w0, *w1, *w2) && steps < mesh->count; ++steps) {
    const TripolyTri& tr = mesh->tris[t];
    int next;
    if (*w0 < 0.0 && *w0 <= *w1 && *w0 <= *w2) {
      next = tr.na;
    } else if (*w1 < 0.0 && *w1 <= *w2) {
      next = tr.nb;
    } else {
      next = tr.nc;
    }
    if (next < 0 || next >= mesh->count) break;
    t = next;
    weightsOf(mesh, t, p, w0, w1, w2);
  }
  if (holds(mesh, t, *w0, *w1, *w2)) return t;
  // The walk left the mesh or went round: scan.
  for (int i = 0; i < mesh->count; ++i) {
    weightsOf(mesh, i, p, w0, w1, w2);
    if (holds(mesh, i, *w0, *w1, *w2)) return i;
  }
  return -1;
}

int tripolyClassifyPoint(const TripolyMesh* mesh, const Vec2d* p) {
  if (mesh == nullptr) return -1;
  double w[3];
  const int t = tripolyLocate(mesh, p, &w[0], &w[1], &w[2]);
  if (t < 0) return 1;
  const TripolyTri& tr = mesh->tris[t];
  int bits = 1 << tr.region;
  const int across[3] = {tr.na, tr.nb, tr.nc};
  for (int k = 0; k < 3; ++k) {
    if (std::fabs(w[k]) >= kWeightTol) continue;
    // On the edge opposite vertex k: the triangle across it counts as well.
    bits |= across[k] >= 0 ? 1 << mesh->tris[across[k]].region : 1;
    break;
  }
  return bits;
}

TripolyMesh* seidelTriangulateContour(Kont2d* tree) {
  if (tree == nullptr || tree->segs == nullptr || tree->count <= 2) return nullptr;
  vyrErrReset();
  const int outerOrientation = kontOrientation(tree);

  std::vector<const Kont2d*> contours{tree};
  for (const Kont2d* h = tree->firstHole; h != nullptr; h = h->next) contours.push_back(h);
  long long total = 4;
  for (const Kont2d* k : contours) total += k->count;
  if (total > kTripolyMaxPoints) {
    vyrErrSet(-1, kTripoly2Source, 200);
    return nullptr;
  }
  const int m = static_cast<int>(total);
  const int s = m - 4;
  const int countsUsed = static_cast<int>(contours.size()) + 1;
  const int maxPerCall = m + 2 * countsUsed;

  std::unique_ptr<SeidelWork, void (*)(SeidelWork*)> work(seidelWorkNew(2 * s + 3), seidelWorkFree);
  TripolyMesh* mesh = tripolyNew(2 * s + 2);
  std::vector<int> mapping;  // call point number -> mesh point
  std::vector<Vec2d> callPoints;
  std::vector<int> callCounts;
  std::vector<int> out;
  auto fail = [&mesh](int line) -> TripolyMesh* {
    tripolyFree(mesh);
    vyrErrSet(-1, kTripoly2Source, line);
    return nullptr;
  };
  if (!work || mesh == nullptr) return fail(201);
  try {
    out.resize(3 * static_cast<std::size_t>(maxPerCall));
  } catch (const std::bad_alloc&) {
    return fail(202);
  }

  // Mesh points: the frame corners, then the contours' segment starts.
  const double gx = (tree->xmax - tree->xmin) * kFrameGrowth;
  const double gy = (tree->ymax - tree->ymin) * kFrameGrowth;
  const Vec2d frame[4] = {{tree->xmin - gx, tree->ymin - gy},
                          {tree->xmax + gx, tree->ymin - gy},
                          {tree->xmax + gx, tree->ymax + gy},
                          {tree->xmin - gx, tree->ymax + gy}};
  for (const Vec2d& v : frame) {
    if (listPt2Append(mesh->points, &v) != 1) return fail(203);
  }
  std::vector<int> firstIndex;
  std::vector<int> canonical;  // mesh point -> first mesh point at the same place
  try {
    for (const Kont2d* k : contours) {
      firstIndex.push_back(mesh->points->count);
      for (int i = 0; i < k->count; ++i) {
        const Vec2d v = seg2Start(k->segs[i]);
        if (listPt2Append(mesh->points, &v) != 1) return fail(204);
      }
    }
    // Points at one place (a hole touching the contour) are one vertex in all
    // three calls, so that the triangles on both sides of an edge share it.
    const Vec2d* pts = mesh->points->items;
    std::vector<int> order(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) order[static_cast<std::size_t>(i)] = i;
    std::sort(order.begin(), order.end(), [pts](int a, int b) {
      if (pts[a].y != pts[b].y) return pts[a].y < pts[b].y;
      if (pts[a].x != pts[b].x) return pts[a].x < pts[b].x;
      return a < b;
    });
    canonical.assign(static_cast<std::size_t>(m), 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
      const int i = order[k];
      const int prev = k > 0 ? order[k - 1] : -1;
      const bool same = prev >= 0 && std::fabs(pts[i].x - pts[prev].x) <= kSamePointTol &&
                        std::fabs(pts[i].y - pts[prev].y) <= kSamePointTol;
      canonical[static_cast<std::size_t>(i)] = same ? canonical[static_cast<std::size_t>(prev)] : i;
    }

    // Adds contour c (index into contours, -1 for the frame) to the call's
    // polygon, running counter-clockwise (ccw) or clockwise.
    auto addRing = [&](int c, bool ccw) {
      const int n = c < 0 ? 4 : contours[static_cast<std::size_t>(c)]->count;
      const int first = c < 0 ? 0 : firstIndex[static_cast<std::size_t>(c)];
      const int runs = c < 0 ? 1
                             : (c == 0 ? outerOrientation
                                       : kontOrientation(contours[static_cast<std::size_t>(c)]));
      const bool reverse = (runs > 0) != ccw;
      for (int i = 0; i < n; ++i) {
        const int idx = first + (reverse ? n - 1 - i : i);
        mapping.push_back(idx);
        callPoints.push_back(mesh->points->items[idx]);
      }
      callCounts.push_back(n);
    };
    auto runCall = [&](int region) -> bool {
      int written = 0;
      const int rc = triangulate_polygonm_seidel(
          work.get(), static_cast<int>(callCounts.size()), callCounts.data(), callPoints.data(),
          reinterpret_cast<int(*)[3]>(out.data()), maxPerCall, &written);
      if (rc != 1) {
        vyrErrSet(-35, kTripoly2Source, 210 + region);
        return false;
      }
      for (int t = 0; t < written; ++t) {
        TripolyTri tri{};
        int v[3];
        for (int k = 0; k < 3; ++k) {
          const int number = out[3 * static_cast<std::size_t>(t) + static_cast<std::size_t>(k)];
          if (number < 1 || number >= static_cast<int>(mapping.size())) return false;
          v[k] = canonical[static_cast<std::size_t>(mapping[static_cast<std::size_t>(number)])];
        }
        tri = {v[0], v[1], v[2], -1, -1, -1, region, 0.0};
        if (tripolyAddTriangle(mesh, &tri) != 1) return false;
      }
      return true;
    };
    auto startCall = [&]() {
      mapping.assign(1, -1);  // call point numbers are 1-based
      callPoints.assign(1, Vec2d{0.0, 0.0});
      callCounts.clear();
    };

    startCall();
    addRing(-1, true);
    addRing(0, false);
    if (!runCall(kTripolyFrame)) return fail(220);

    startCall();
    addRing(0, true);
    for (int c = 1; c < static_cast<int>(contours.size()); ++c) addRing(c, false);
    if (!runCall(kTripolyMaterial)) return fail(221);

    for (int c = 1; c < static_cast<int>(contours.size()); ++c) {
      startCall();
      addRing(c, true);
      if (!runCall(kTripolyHole)) return fail(222);
    }
  } catch (const std::bad_alloc&) {
    return fail(223);
  }

  // A mesh without neighbours would answer wrongly: fail instead.
  if (tripolyLinkNeighbours(mesh) != 1) return fail(224);
  return mesh;
}

TripolyMesh* tripolyTriangulate(Kont2d* tree) {
  if (kontCheck(tree, 3) < 0) {
    vyrErrSet(-34, kTripolySource, 300);
    return nullptr;
  }
  TripolyMesh* mesh = seidelTriangulateContour(tree);
  if (mesh == nullptr) vyrErrLogText("Triangulierung gescheitert");
  return mesh;
}
