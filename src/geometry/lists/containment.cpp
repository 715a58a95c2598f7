#include "geometry/lists/containment.h"

#include <cstddef>

namespace {

int onesInRow(const int* data, std::size_t n, std::size_t row) {
  int ones = 0;
  for (std::size_t j = 0; j < n; ++j) ones += data[row * n + j] == 1 ? 1 : 0;
  return ones;
}

}  // namespace

int pktNestDirectParent(const CountedArray* m, int i) {
  if (m == nullptr || m->data == nullptr || m->count <= 0 || i < 0 || i >= m->count) return -1;
  const int* data = static_cast<const int*>(m->data);
  const std::size_t n = static_cast<std::size_t>(m->count);
  const std::size_t row = static_cast<std::size_t>(i);
  const int c = onesInRow(data, n, row);
  if (c == 0) return -1;
  for (std::size_t j = 0; j < n; ++j) {
    if (data[row * n + j] == 1 && onesInRow(data, n, j) == c - 1) return static_cast<int>(j);
  }
  return -1;
}
