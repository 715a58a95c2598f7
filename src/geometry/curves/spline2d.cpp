#include "geometry/curves/spline2d.h"

#include <cstdlib>

// No spline builder exists yet, so no spline owns further blocks: the record
// is a single block.
void spline2dFree(Spline2dRec* spline) { std::free(spline); }
