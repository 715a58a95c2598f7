// Throughput of the holder check on the two surfaces of the drop benchmark
// (about 100,000 triangles each): the box-tree test of the revolved holder
// against the model's surfaces, the holder and head mesh test at a tool
// position, and the lift search, at every point of an n x n position grid,
// at one thread and at all threads.  Prints collision tests per second, the
// share of positions that collide and the time to build the meshes and
// trees; "(results differ!)" marks a thread count whose answers differ from
// the single-threaded ones.
//
// A plain program: run it as it is (collision_bench), or with arguments
//   collision_bench [n [surface]]
// n: an n x n position grid; surface: run only the surfaces whose names
// contain this word.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/collision/coll_tree.h"
#include "model/collision/holder_clearance.h"
#include "model/collision/holder_meshes.h"
#include "support/test_models.h"

namespace {

struct Surface {
  const char* name;
  std::vector<Tri> tris;
  double x0, x1, y0, y1;  // position area
  double z;               // tool tip height of the positions
};

struct Timing {
  double seconds;
  std::vector<int> results;
};

template <class Test>
Timing timeTests(const Surface& s, int n, int threads, Test test) {
  omp_set_num_threads(threads);
  Timing t{0.0, std::vector<int>(static_cast<std::size_t>(n) * n)};
  const double t0 = omp_get_wtime();
#pragma omp parallel for schedule(dynamic, 4)
  for (int j = 0; j < n; ++j) {
    const double y = s.y0 + (s.y1 - s.y0) * j / (n - 1);
    for (int i = 0; i < n; ++i) {
      const Vec3d p{s.x0 + (s.x1 - s.x0) * i / (n - 1), y, s.z};
      t.results[static_cast<std::size_t>(j) * n + i] = test(p);
    }
  }
  t.seconds = omp_get_wtime() - t0;
  return t;
}

template <class Test>
void report(const char* what, const Surface& s, int n, int all, Test test) {
  const Timing one = timeTests(s, n, 1, test);
  const Timing many = timeTests(s, n, all, test);
  const double count = static_cast<double>(n) * n;
  const long hits = std::count_if(one.results.begin(), one.results.end(),
                                  [](int r) { return r == -2 || r == 1000; });
  std::printf(
      "  %-16s %10.0f tests/s at 1 thread, %10.0f tests/s at %d threads, speed-up %.2f"
      " (%.0f%% colliding)%s\n",
      what, count / one.seconds, count / many.seconds, all, one.seconds / many.seconds,
      100.0 * hits / count, one.results == many.results ? "" : "  (results differ!)");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int grid = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;
  const auto wanted = [&](const char* name) {
    return argc <= 2 || std::string(name).find(argv[2]) != std::string::npos;
  };
  const int all = omp_get_max_threads();

  std::vector<Surface> surfaces;
  surfaces.push_back(
      {"height field", testmodels::benchHeightField(), 0.0, 100.0, 0.0, 100.0, -34.0});
  surfaces.push_back(
      {"hemisphere on plate", testmodels::benchHemisphereOnPlate(), -60.0, 60.0, -60.0, 60.0, 0.0});

  // A ball R3 in a holder of nose 25 and body 40, a head of 80 and 120.
  const ToolShape tool = testmodels::ballTool(3.0);
  holderClearanceReset();
  HolderClearance clearance{};
  holderClearanceInit(&clearance, &tool, 0.0, 50.0, 20.0, 40.0, 40.0, 25.0);
  holderClearanceAddHead(&clearance, 0.0, 80.0, 50.0, 120.0, 100.0);

  std::printf("threads: %d (processors %d), %d x %d positions\n", all, omp_get_num_procs(), grid,
              grid);
  for (const Surface& s : surfaces) {
    if (!wanted(s.name)) continue;
    testmodels::TestModel tm(s.tris, kModelKindFacets, tool);
    tm.buildGrid(1.0);
    const double b0 = omp_get_wtime();
    const int built = holderBuildDefault(tm.model(), &clearance, holderClearanceMargin(), 0.0);
    const double buildSeconds = omp_get_wtime() - b0;
    const HolderMeshSet* set = holderMeshSet();
    if (built != 1) {
      std::printf("%s: holder build failed\n", s.name);
      continue;
    }
    std::printf("\n%s: %zu triangles; holder %d, head %d triangles; build %.3f s\n", s.name,
                s.tris.size(), set->holderMesh->count, set->headMesh->count, buildSeconds);

    report("box tree", s, grid, all, [set](const Vec3d& p) {
      CollTree moved = *set->holderTree;
      collTreeSetOffset(&moved, static_cast<float>(p.x), static_cast<float>(p.y),
                        static_cast<float>(p.z));
      return collTreeCollide(set->surfaceTree, &moved, 0, nullptr) != 0 ? -2 : 1;
    });
    report("holder mesh test", s, grid, all,
           [](const Vec3d& p) { return holderMeshesCollideAt(&p); });
    // The lift search is serialised by its callers; timed here per position
    // all the same.  A lifted position counts as colliding.
    report("lift search", s, std::max(2, grid / 4), all, [](const Vec3d& p) {
      double lift = 0.0;
      const int r = holderFindLift(&p, &lift);
      return r != 1 ? r : (lift > 0.0 ? 1000 : 1);
    });
    holderFreeModels();
  }
  return 0;
}
