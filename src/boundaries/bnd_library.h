// Client of the outside boundary library ("libqzZbnd.so"), loaded from the
// job's library directory for each call and released after it.
#pragma once

#include <cstddef>

// Writes the library path for dir into out (cap bytes): dir with "/"
// appended unless it ends in "/" or "\", then "libqzZbnd.so"; the name
// alone when dir is null, empty or begins with a blank.  0 done, -1 when
// it does not fit.
int bndLibraryPath(const char* dir, char* out, size_t cap);

// Computes the z-boundaries of the surfaces in surfaceFile into outputFile
// through the library's "ComputeZBoundary"; its result, or -1 when the
// library cannot be loaded or lacks that entry point.
int bndDllComputeZBoundary(const char* dir, const char* surfaceFile, double value,
                           const char* outputFile);
