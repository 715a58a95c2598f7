// Growth of the planar offset on long saw-tooth chains: an open chain of
// teeth 1 wide and 1 high offset by 50 (every raw offset segment then meets
// a hundred or so others), at 1,000, 4,000 and 16,000 segments.  Prints the
// time of the whole offset and of the self-crossing search on its raw
// chain, both also per n log2 n so that a quadratic step shows as a column
// that grows with n, and digests of the crossing records and of the result:
// equal digests across builds show that a change left every outcome the same,
// bit for bit.
//
// A plain program: run it as it is (offset_bench), or with the largest
// segment count as its argument (offset_bench 4000 for a quicker run).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "geometry/offset2d/planar_offset.h"
#include "geometry/offset2d/seg2_crossings.h"

namespace {

constexpr double kDistance = 50.0;

// FNV-1a over bytes, for digests that show whether two runs agree bit for bit.
void digestBytes(unsigned long long* h, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    *h ^= p[i];
    *h *= 1099511628211ULL;
  }
}

// n segments zig-zagging along x: (k, 0) to (k + 1, 1) to (k + 2, 0) ...
std::vector<Seg2> sawTooth(int n) {
  std::vector<Seg2> chain(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    chain[static_cast<std::size_t>(k)] = {double(k), double(k % 2), double(k + 1),
                                          double((k + 1) % 2)};
  }
  return chain;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int largest = argc > 1 ? std::atoi(argv[1]) : 16000;
  std::printf("saw-tooth chains offset by %.0f (left side)\n", kDistance);
  std::printf("%9s %12s %14s %10s %12s %14s %10s %18s %18s\n", "segments", "offset s",
              "us/(n log n)", "raw segs", "crossings s", "us/(n log n)", "crossings",
              "crossing digest", "result digest");
  for (const int n : {1000, 4000, 16000}) {
    if (n > largest) break;
    const std::vector<Seg2> chain = sawTooth(n);
    const double nLogN = n * std::log2(static_cast<double>(n));

    // The self-crossing search alone, on the raw offset the offset starts from.
    std::vector<Seg2> raw(static_cast<std::size_t>(offset2dResultCapacity(n)));
    int m = 0;
    offset2dSegChainRaw(kDistance, chain.data(), n, raw.data(), static_cast<int>(raw.size()), &m,
                        1);
    Seg2IsectArray* recs = seg2IsectArrayNew(1000);
    auto t0 = std::chrono::steady_clock::now();
    const int crossings = offset2dSelfCrossings(raw.data(), m, recs, 0);
    const double crossingSeconds = secondsSince(t0);
    unsigned long long crossingDigest = 14695981039346656037ULL;
    for (int i = 0; i < crossings; ++i) {
      // Field by field: the record's padding holds no value.
      const Seg2Isect& rec = recs->items[i];
      const double point[3] = {rec.x, rec.y, rec.param};
      const int numbers[3] = {rec.first, rec.second, rec.state};
      digestBytes(&crossingDigest, point, sizeof point);
      digestBytes(&crossingDigest, numbers, sizeof numbers);
    }
    seg2IsectArrayFree(recs);

    std::vector<Seg2> out(static_cast<std::size_t>(offset2dResultCapacity(n)));
    t0 = std::chrono::steady_clock::now();
    const int r =
        offset2dSegChain(chain.data(), n, kDistance, out.data(), static_cast<int>(out.size()), 1);
    const double offsetSeconds = secondsSince(t0);
    unsigned long long resultDigest = 14695981039346656037ULL;
    digestBytes(&resultDigest, &r, sizeof r);
    if (r > 0) digestBytes(&resultDigest, out.data(), sizeof(Seg2) * static_cast<std::size_t>(r));

    std::printf("%9d %12.3f %14.4f %10d %12.3f %14.4f %10d   %016llx   %016llx\n", n, offsetSeconds,
                1e6 * offsetSeconds / nLogN, m, crossingSeconds, 1e6 * crossingSeconds / nLogN,
                crossings, crossingDigest, resultDigest);
    std::fflush(stdout);
  }
  return 0;
}
