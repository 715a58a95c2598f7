// Cost of the tool-path polyline operations on long paths.  Each benchmark
// fits its times over path lengths of 1,000, 10,000 and 100,000 points to the
// expected complexity (the RMS column tells how well they fit): building,
// reversing, densifying, splitting and searching by parameter must stay
// linear (or n log n for n searches in random order) so that long paths never
// cost quadratic time.  The reductions run on drop-like paths of up to
// 200,000 points in each of their three modes; the shortest-span-first mode
// must not scan the whole path for every span it merges.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "geometry/pline/pline.h"
#include "geometry/pline/pline_reduce.h"

namespace {

struct PlineDeleter {
  void operator()(Pline* pl) const { plineFree(pl); }
};
using PlinePtr = std::unique_ptr<Pline, PlineDeleter>;

const int kCutStatus = pointStatusMake(kPointKindContact, kPointCut);

// A wavy path of n points with parameters 0, 1, 2, ... and axes.
PlinePtr makePath(int n) {
  PlinePtr pl(plineNewCapped(n, 1));
  for (int i = 0; i < n; ++i) {
    const Vec3d p{double(i), 0.1 * (i % 7), 0.05 * (i % 13)};
    const Vec3d a{0, 0, 1};
    plineAppend(pl.get(), i, &p, kCutStatus, &a, 1);
  }
  return pl;
}

void BM_PlineBuild(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    PlinePtr pl = makePath(n);
    benchmark::DoNotOptimize(pl->points);
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineBuild)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

void BM_PlineReverse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PlinePtr pl = makePath(n);
  for (auto _ : state) {
    plineReverse(pl.get());
    benchmark::ClobberMemory();
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineReverse)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// Every point looked up once, in path order (the way the drops walk a path).
void BM_PlineFindParamInOrder(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PlinePtr pl = makePath(n);
  for (auto _ : state) {
    int sum = 0;
    for (int i = 0; i < n; ++i) sum += plineFindParam(pl.get(), i, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(sum);
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineFindParamInOrder)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity(benchmark::oN);

// Every point looked up once, in random order.
void BM_PlineFindParamRandom(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PlinePtr pl = makePath(n);
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  for (auto _ : state) {
    int sum = 0;
    for (int i : order) sum += plineFindParam(pl.get(), i, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(sum);
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineFindParamRandom)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity(benchmark::oNLogN);

// The point at every half parameter of the path.
void BM_PlinePointAtParam(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PlinePtr pl = makePath(n);
  for (auto _ : state) {
    Vec3d out;
    for (int i = 0; i + 1 < n; ++i) plinePointAtParamFwd(pl.get(), i + 0.5, &out);
    benchmark::DoNotOptimize(out);
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlinePointAtParam)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity(benchmark::oNLogN);

// 100 splits spread over the path: each costs one move of the points behind
// it, so the total grows linearly with the path.
void BM_PlineSplit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PlinePtr base = makePath(n);
  PlinePtr pl(plineNew(n + 200, 1));
  for (auto _ : state) {
    state.PauseTiming();
    plineCopy(pl.get(), base.get());
    state.ResumeTiming();
    for (int k = 0; k < 100; ++k) {
      plineSplitAtParam(pl.get(), (n - 1) * (k + 0.5) / 100.0, 1e-6);
    }
    benchmark::DoNotOptimize(pl->count);
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineSplit)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// Densify that doubles the point count.
void BM_PlineDensify(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PlinePtr base = makePath(n);
  PlinePtr pl(plineNew(0, 1));
  for (auto _ : state) {
    state.PauseTiming();
    plineCopy(pl.get(), base.get());
    state.ResumeTiming();
    plineDensify(pl.get(), 0.6);
    benchmark::DoNotOptimize(pl->count);
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineDensify)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// A path as the drop leaves it: points 0.01 apart along a gently winding
// curve with a little height noise (fixed seed), for the reductions.
PlinePtr makeDropPath(int n) {
  PlinePtr pl(plineNewCapped(n, 0));
  std::mt19937 rng(102);
  std::normal_distribution<double> noise(0.0, 0.0002);
  for (int i = 0; i < n; ++i) {
    const double s = i * 0.01;
    const Vec3d p{s, 3.0 * std::sin(s * 0.2), 0.5 * std::sin(s * 0.7) + noise(rng)};
    plineAppend(pl.get(), s, &p, kCutStatus, nullptr, 0);
  }
  return pl;
}

// One reduction of a drop path (maximum chord 1, tolerance 0.001) by the
// mode in range(1); the counter tells how many points stay.
void BM_PlineReduce(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  PlinePtr pl = makeDropPath(n);
  plineReduceSetMode(mode);
  int kept = 0;
  for (auto _ : state) {
    plineReduce(pl.get(), 1.0, 0.001);
    benchmark::ClobberMemory();
  }
  for (int i = 0; i < pl->count; ++i) kept += pointStatusCode(pl->status[i]) != kPointDropped;
  plineReduceSetMode(kPlineReduceChord);
  state.counters["kept"] = kept;
  state.SetComplexityN(n);
}
BENCHMARK(BM_PlineReduce)
    ->ArgsProduct({{1000, 10000, 100000, 200000},
                   {kPlineReduceChord, kPlineReduceRanked, kPlineReduceShortestFirst}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
