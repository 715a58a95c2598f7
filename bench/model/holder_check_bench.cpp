// Throughput of the holder, head and shank check of tool paths on the two
// surfaces of about 100,000 triangles of the drop benchmark.  The paths are
// the drops of a ball along 200 parallel lines; every path is then checked in
// mode 3 (the colliding points are marked), once with one thread and once
// with all threads: first path by path with the points of each path spread
// over the threads, then with the paths spread over the threads as the
// parallel driver calls the check.  Prints points checked per second and a
// digest of the marks of every path: equal digests show that the thread
// count changed nothing.
//
//   holder_check_bench [lines [surface]]
// lines: the number of paths per surface (200); surface: run only the
// surfaces whose names contain this word.
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundaries/links/link_params.h"
#include "geometry/curves/curve.h"
#include "geometry/pline/pline.h"
#include "model/collision/holder_check.h"
#include "model/collision/holder_clearance.h"
#include "model/collision/holder_meshes.h"
#include "model/contact/contact_settings.h"
#include "model/drop/drop_along_curve.h"
#include "support/test_models.h"

namespace {

struct Surface {
  const char* name;
  std::vector<Tri> tris;
  double x0, x1, y0, y1;
};

// FNV-1a over bytes.
void digestBytes(unsigned long long* h, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    *h ^= p[i];
    *h *= 1099511628211ULL;
  }
}

// The drops of the model's tool along lines parallel to x.
std::vector<Pline*> dropPaths(ModelRec* model, const Surface& s, int lines) {
  std::vector<Pline*> paths(static_cast<std::size_t>(lines), nullptr);
#pragma omp parallel for schedule(dynamic)
  for (int k = 0; k < lines; ++k) {
    const double y = s.y0 + (s.y1 - s.y0) * (k + 0.5) / lines;
    Vec2d pts[2] = {{s.x0, y}, {s.x1, y}};
    CurveRec* curve = curveNew(pts, 2, 'p');
    ModelRec* copy = modelCopy(model);
    copy->guideCurve = curve;
    ContactContext ctx;
    contactContextLoad(&ctx);
    Pline* path = plineNew(1000, 0);
    if (contactDropAlongCurveParallel(&ctx, copy, path) != 1) path->count = 0;
    paths[static_cast<std::size_t>(k)] = path;
    modelFreeCopy(copy);
    curveFree(curve);
  }
  return paths;
}

// Checks a copy of every path with the given threads; returns seconds, the
// points checked in *points and a digest of all marks in *digest.  With
// spreadPaths the paths are spread over the threads (as the parallel driver
// calls the check) and each check runs on its own thread; otherwise the
// paths run one after the other and each check spreads its points.
double timeChecks(ModelRec* model, const LinkParams* link, const std::vector<Pline*>& paths,
                  int threads, bool spreadPaths, long* points, unsigned long long* digest,
                  long* marked) {
  omp_set_num_threads(threads);
  holderCheckReset();
  std::vector<Pline*> work;
  for (const Pline* p : paths) {
    Pline* c = plineNew(p->count, 0);
    plineCopy(c, p);
    work.push_back(c);
  }
  long total = 0;
  for (const Pline* p : work) total += p->count;
  const int n = static_cast<int>(work.size());
  const double t0 = omp_get_wtime();
  if (spreadPaths) {
#pragma omp parallel for schedule(dynamic)
    for (int k = 0; k < n; ++k) {
      holderCheckPath(model, link, work[static_cast<std::size_t>(k)], kHolderModeMarkPoints, 6.0);
    }
  } else {
    for (Pline* p : work) holderCheckPath(model, link, p, kHolderModeMarkPoints, 6.0);
  }
  const double t = omp_get_wtime() - t0;
  *digest = 14695981039346656037ULL;
  *marked = 0;
  for (Pline* p : work) {
    digestBytes(digest, p->status, sizeof(p->status[0]) * static_cast<std::size_t>(p->count));
    for (int i = 0; i < p->count; ++i) *marked += pointStatusCode(p->status[i]) == kPointSpecial;
    plineFree(p);
  }
  *points = total;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const auto wanted = [&](const char* name) {
    return argc <= 2 || std::string(name).find(argv[2]) != std::string::npos;
  };
  const int all = omp_get_max_threads();
  contactSettingsReset();
  holderClearanceReset();

  std::vector<Surface> surfaces;
  surfaces.push_back({"height field", testmodels::benchHeightField(), 0.0, 100.0, 0.0, 100.0});
  surfaces.push_back(
      {"hemisphere on plate", testmodels::benchHemisphereOnPlate(), -60.0, 60.0, -60.0, 60.0});

  // A ball of radius 3, cutting length 10, shank 8 wide; 25 out of a holder
  // with a nose 30 wide and 20 long and a body 50 wide and 40 long; a head
  // 60 and then 100 wide.  Short enough that the holder reaches the
  // hemisphere's flanks.
  ToolShape tool = testmodels::ballTool(3.0);
  tool.length = 10.0;
  tool.shankDiameter = 8.0;

  std::printf("threads: %d (processors %d)\n", all, omp_get_num_procs());
  for (const Surface& s : surfaces) {
    if (!wanted(s.name)) continue;
    testmodels::TestModel tm(s.tris, kModelKindFacets, tool);
    tm.buildGrid(1.0);
    tm.enableCandidates();
    HolderClearance c{};
    holderClearanceInit(&c, tm.tool(), 0.0, 40.0, 20.0, 25.0, 50.0, 30.0);
    holderClearanceAddHead(&c, 0.0, 60.0, 40.0, 100.0, 50.0);
    const double b0 = omp_get_wtime();
    if (holderBuildDefault(tm.model(), &c, holderClearanceMargin(), 0.0) != 1) {
      std::printf("%s: holder meshes could not be built\n", s.name);
      continue;
    }
    const double build = omp_get_wtime() - b0;
    const std::vector<Pline*> paths = dropPaths(tm.model(), s, lines);
    LinkParams link{};
    int gridStandIn = 0;
    link.holderCollisionData = reinterpret_cast<HeightGrid*>(&gridStandIn);
    link.stepMax = 1.0;
    link.stepMin = 0.01;
    holderSetSkipReduce(1);

    std::printf("\n%s: %zu triangles, holder meshes built in %.2f s\n", s.name, s.tris.size(),
                build);
    for (const bool spread : {false, true}) {
      long p1 = 0, pn = 0, m1 = 0, mn = 0;
      unsigned long long d1 = 0, dn = 0;
      const double t1 = timeChecks(tm.model(), &link, paths, 1, spread, &p1, &d1, &m1);
      const double tn = timeChecks(tm.model(), &link, paths, all, spread, &pn, &dn, &mn);
      std::printf(
          "  %s: %10.0f points/s at 1 thread, %10.0f points/s at %d threads, speed-up %.2f\n"
          "    (%ld points in %d paths, %ld marked; marks %016llx)%s\n",
          spread ? "paths over the threads " : "points of a path spread",
          static_cast<double>(p1) / t1, static_cast<double>(pn) / tn, all, t1 / tn, p1, lines, m1,
          d1, d1 == dn && p1 == pn && m1 == mn ? "" : "  (marks differ!)");
    }
    std::fflush(stdout);
    for (Pline* p : paths) plineFree(p);
    holderFreeModels();
  }
  holderCheckReset();
  return 0;
}
