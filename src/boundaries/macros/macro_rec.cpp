#include "boundaries/macros/macro_rec.h"

#include <atomic>

namespace {
// Written by the holder checks from inside parallel regions, so atomic.
std::atomic<int> gHolderCollided{0};
}  // namespace

void macroSetHolderCollided(int flag) { gHolderCollided.store(flag, std::memory_order_relaxed); }

int macroHolderCollided() { return gHolderCollided.load(std::memory_order_relaxed); }
