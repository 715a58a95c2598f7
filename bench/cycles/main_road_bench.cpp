// The main road of a profile finishing job, phase by phase: a height field
// z = 5 sin(x/7) cos(y/9) over 200 x 200 mm at about 10,000, 100,000 and
// 1,000,000 triangles, a ball of radius 3, lines along x with a stepover of
// 0.5 (400 lines) over the model box, precision 0.01.  For 1, 2, 4 and 8
// threads it prints the time of each phase (model and grids, line set,
// parallel loop with collection, ordering and output into a counting
// emitter), lines and emitted points per second, the speed-up over one
// thread and the parallel loop's share of the run.  "(results differ!)"
// marks a thread count whose emitted points differ from one thread's.
//
// A plain program: main_road_bench [largest triangle count].
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "boundaries/bnd_file.h"
#include "boundaries/curve_boundary.h"
#include "cycles/profile/line_set.h"
#include "cycles/profile/parallel_driver.h"
#include "cycles/profile/path_output.h"
#include "model/contact/contact_settings.h"
#include "support/test_models.h"

namespace {

constexpr double kSide = 200.0;
constexpr double kStepover = 0.5;
constexpr double kPrecision = 0.01;

long gPoints = 0;
double gDigest = 0.0;

int countPoints(Pline* path, LinkParams*, ModelRec*) {
  gPoints += path->count;
  for (int i = 0; i < path->count; ++i) gDigest += path->points[i].z * (1 + (i % 7));
  return 0;
}

struct Phases {
  double model, lines, loop, output;
  double total() const { return model + lines + loop + output; }
};

Phases runOnce(int n, int threads, long* points, double* digest, int* lineCount) {
  omp_set_num_threads(threads);
  contactSettingsReset();
  Phases t{};
  double t0 = omp_get_wtime();
  testmodels::TestModel tm(
      testmodels::heightField(
          [](double x, double y) { return 5 * std::sin(x / 7) * std::cos(y / 9); }, 0, kSide, 0,
          kSide, n, n),
      kModelKindFacets, testmodels::ballTool(3.0));
  tm.buildGrid();
  tm.enableCandidates();
  ModelRec* model = tm.model();
  model->maxStep = 1.0;
  model->minStep = kPrecision;
  model->floorZ = -100.0;
  model->topZ = 100.0;
  t.model = omp_get_wtime() - t0;

  t0 = omp_get_wtime();
  BoundaryRec* box = bndNewRect(0, kSide, 0, kSide);
  CurveRec* guide = curveNewStandardLine('x', box, 0, 0);
  LineSet lines{};
  lineSetInit(&lines, 1000);
  lineSetBuild(&lines, kStepover, guide, box, 0);
  curveFree(guide);
  *lineCount = lines.count;
  t.lines = omp_get_wtime() - t0;

  t0 = omp_get_wtime();
  LinkParams params = linkParamsDefaults();
  params.stepMin = kPrecision;
  params.stepMax = 2.0;
  PlineList* list = plineListNew();
  const ProfLevelInput in{&lines, model, &params, box, 2, 1, 0, 2, "", 0};
  int failed = 0;
  profStopWord().store(0);
  profParallelLevel(in, list, &failed);
  t.loop = omp_get_wtime() - t0;

  t0 = omp_get_wtime();
  gPoints = 0;
  gDigest = 0.0;
  plineListReverse(list);
  pathListOutputSorted(list, &params, model, 1, 2, 1, 1.5 * kStepover);
  t.output = omp_get_wtime() - t0;
  *points = gPoints;
  *digest = gDigest;

  plineListFree(list);
  lineSetFree(&lines);
  bndFreeList(box);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const long largest = argc > 1 ? std::atol(argv[1]) : 1000000;
  PathEmitters emitters;
  emitters.facets = countPoints;
  emitters.triangles = countPoints;
  pathOutputSetEmitters(emitters);
  for (const int n : {71, 224, 707}) {
    const long tris = 2L * n * n;
    if (tris > largest * 11 / 10) break;
    std::printf("height field, %ld triangles, %d lines\n", tris,
                static_cast<int>(kSide / kStepover));
    std::printf(
        "threads   model   lines    loop  output   total  lines/s  points/s  speed-up  loop "
        "share\n");
    double serial = 0.0;
    double refDigest = 0.0;
    long refPoints = 0;
    for (const int threads : {1, 2, 4, 8}) {
      long points = 0;
      double digest = 0.0;
      int lineCount = 0;
      const Phases t = runOnce(n, threads, &points, &digest, &lineCount);
      if (threads == 1) {
        serial = t.total();
        refDigest = digest;
        refPoints = points;
      }
      std::printf("%7d %7.3f %7.3f %7.3f %7.3f %7.3f %8.0f %9.0f %9.2f %10.0f%%%s\n", threads,
                  t.model, t.lines, t.loop, t.output, t.total(), lineCount / t.total(),
                  points / t.total(), serial / t.total(), 100.0 * t.loop / t.total(),
                  (digest != refDigest || points != refPoints) ? "  (results differ!)" : "");
    }
  }
  return 0;
}
