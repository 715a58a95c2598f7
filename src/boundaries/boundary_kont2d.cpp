#include "boundaries/boundary_kont2d.h"

#include <new>
#include <vector>

#include "geometry/errors/error_state.h"

Kont2d* kontFromBoundary(const BoundaryRec* chain) {
  if (chain == nullptr || chain->segCount <= 0 || chain->segs == nullptr) return nullptr;
  std::vector<const Seg2*> segs;
  std::vector<int> counts;
  try {
    for (const BoundaryRec* b = chain; b != nullptr; b = b->next) {
      segs.push_back(b->segs);
      counts.push_back(b->segCount);
      for (const BoundaryRec* h = b->holes; h != nullptr; h = h->next) {
        segs.push_back(h->segs);
        counts.push_back(h->segCount);
      }
    }
  } catch (const std::bad_alloc&) {
    vyrErrSet(-1, "QZVYR5\\kont2d", 1);
    return nullptr;
  }
  return kontFromChains(segs.data(), counts.data(), static_cast<int>(segs.size()));
}
