// The main road of a profile finishing job, phase by phase: a height field
// z = 5 sin(x/7) cos(y/9) over 200 x 200 mm at about 10,000, 100,000 and
// 1,000,000 triangles, a ball of radius 3, lines along x with a stepover of
// 0.5 (400 lines) over the model box, precision 0.01.  For 1, 2, 4 and 8
// threads it prints the time of each phase (model and grids, line set,
// parallel loop with the spilling and display of its paths, the collection
// of the paths in line order, and the output: ordering, approach, retract
// and link moves of the facet link output, and the records of the output
// adapter, which are counted instead of written), lines and emitted points
// per second, the speed-up over one thread and the parallel loop's share of
// the run.  "(results differ!)" marks a thread count whose output records
// differ from one thread's.
//
// A plain program: main_road_bench [largest triangle count].
#include <omp.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundaries/bnd_file.h"
#include "boundaries/curve_boundary.h"
#include "cycle/cycle_descriptor.h"
#include "cycles/profile/line_set.h"
#include "cycles/profile/links/facet_link_output.h"
#include "cycles/profile/parallel_driver.h"
#include "cycles/profile/path_output.h"
#include "cycles/profile/profile_run.h"
#include "model/contact/contact_settings.h"
#include "model/drop/contact_drop.h"
#include "model/io/model_load.h"
#include "model/mesh/model_grid.h"
#include "output/adapter/output_adapter.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/test_models.h"

namespace {

constexpr double kSide = 200.0;
constexpr double kStepover = 0.5;
constexpr double kPrecision = 0.01;

long gPoints = 0;
long gRecords = 0;
double gDigest = 0.0;

// The writer of every channel: counts the records and the positions of the
// contour channel, and folds the positions into a digest.
int countRecord(CycleDescriptor*, OutputRecord* r) {
  ++gRecords;
  const bool position = r->code == kRecRapidAxes || r->code == kRecRapid5X ||
                        r->code == kRecLineAxes || r->code == kRecLine5X;
  if (!position) return 1;
  ++gPoints;
  const std::size_t values[3] = {kRecAxX, kRecAxY, kRecAxZ};
  const std::size_t flags[3] = {kRecAxFlagX, kRecAxFlagY, kRecAxFlagZ};
  for (int k = 0; k < 3; ++k) {
    if (outRecGetI32(r, flags[k]) != 0) gDigest += outRecGetF64(r, values[k]) * (1 + gPoints % 7);
  }
  return 1;
}

CycleDescriptor gOutput{};

void setUpOutput() {
  // The channels a profile run writes to.
  for (const uint16_t ch :
       {kChanStatus, kChanSettings, kChanComments, kChanArguments, kChanVariables, kChanMarkers,
        kChanContour, kChanGeometry36, kChanDisplayPolylines, kChanDisplayPoints}) {
    outRegisterChannel(&gOutput, ch, &countRecord, &countRecord, 1);
  }
  outSetContext(&gOutput);
  profSetOutputHooks();
  linkInstallFacetEmitters();
}

struct Phases {
  double model, lines, loop, collect, output;  // output: ordering, links, records
  double total() const { return model + lines + loop + collect + output; }
};

Phases runOnce(const std::string& stl, int threads, long* points, long* records, double* digest,
               int* lineCount) {
  omp_set_num_threads(threads);
  contactSettingsReset();
  Phases t{};
  double t0 = omp_get_wtime();
  ToolShape tool = testmodels::ballTool(3.0);
  ModelRec modelRec{};
  modelInit(&modelRec, kModelKindFacets);
  modelRec.tool = &tool;
  ModelRec* model = &modelRec;
  if (modelLoadFile(model, stl.c_str()) < 0 || modelBuildGrids(model) < 0) {
    std::fprintf(stderr, "cannot load %s\n", stl.c_str());
    std::exit(1);
  }
  model->candidates = modelCandidateListNew(kDriverCandidateCapacity);
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

  LinkParams params = linkParamsDefaults();
  params.stepMin = kPrecision;
  params.stepMax = 2.0;
  params.safetyPlane = 20.0;
  params.safetyDistance = 2.0;
  PlineList* list = plineListNew();
  const ProfLevelInput in{&lines, model, &params, box, 2, 1, 0, 2, "", 0};
  int failed = 0;
  profStopWord().store(0);
  ProfLevelTimes level;
  profParallelLevel(in, list, &failed, &level);
  t.loop = level.lines;
  t.collect = level.collect;

  t0 = omp_get_wtime();
  gPoints = 0;
  gRecords = 0;
  gDigest = 0.0;
  outAdapterResetRun();
  linkStateLoad();
  linkResetState();
  linkStartNewSection();
  plineListReverse(list);
  pathListOutputSorted(list, &params, model, 1, 2, 1, 1.5 * kStepover);
  linkFinishOutput(&params, model);
  t.output = omp_get_wtime() - t0;
  *points = gPoints;
  *records = gRecords;
  *digest = gDigest;

  plineListFree(list);
  lineSetFree(&lines);
  bndFreeList(box);
  contactListFree(model->candidates);
  model->candidates = nullptr;
  modelFreeSurfaces(model);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const long largest = argc > 1 ? std::atol(argv[1]) : 1000000;
  setUpOutput();
  char dir[] = "/tmp/main_road_benchXXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  for (const int n : {71, 224, 707}) {
    const long tris = 2L * n * n;
    if (tris > largest * 11 / 10) break;
    // The model reaches the run as a job's does: from a binary STL file.
    const std::string stl = std::string(dir) + "/field.stl";
    if (!testmodels::writeBinaryStl(
            stl, testmodels::heightField(
                     [](double x, double y) { return 5 * std::sin(x / 7) * std::cos(y / 9); }, 0,
                     kSide, 0, kSide, n, n))) {
      return 1;
    }
    std::printf("height field, %ld triangles, %d lines\n", tris,
                static_cast<int>(kSide / kStepover));
    std::printf(
        "threads   model   lines    loop collect  output   total  lines/s  points/s  speed-up  "
        "loop share\n");
    double serial = 0.0;
    double refDigest = 0.0;
    long refPoints = 0;
    long refRecords = 0;
    for (const int threads : {1, 2, 4, 8}) {
      long points = 0;
      long records = 0;
      double digest = 0.0;
      int lineCount = 0;
      const Phases t = runOnce(stl, threads, &points, &records, &digest, &lineCount);
      if (threads == 1) {
        serial = t.total();
        refDigest = digest;
        refPoints = points;
        refRecords = records;
      }
      std::printf("%7d %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %8.0f %9.0f %9.2f %10.0f%%%s\n", threads,
                  t.model, t.lines, t.loop, t.collect, t.output, t.total(), lineCount / t.total(),
                  points / t.total(), serial / t.total(), 100.0 * t.loop / t.total(),
                  (digest != refDigest || points != refPoints || records != refRecords)
                      ? "  (results differ!)"
                      : "");
    }
    std::printf("digest %.17g, %ld positions, %ld records\n", refDigest, refPoints, refRecords);
    std::remove(stl.c_str());
  }
  rmdir(dir);
  return 0;
}
