#include "base/job_scale.h"

#include <atomic>
#include <cmath>

namespace {
std::atomic<double> gJobLengthScale{1.0};
}  // namespace

double jobLengthScale() { return gJobLengthScale.load(std::memory_order_relaxed); }

void jobSetLengthScale(double scale) {
  const bool usable = std::isfinite(scale) && scale > 0.0;
  gJobLengthScale.store(usable ? scale : 1.0, std::memory_order_relaxed);
}
