// Client of the outside boundary library ("libqzZbnd.so"), loaded from the
// job's library directory for each call and released after it.  Before its
// main entry point each call hands the library the stored transformation
// ("SetTransformation", when exported); offset and outline calls also pass
// the allow-backdraft switch ("AllowBackdraft", when on and exported).
//
// The settings are process-wide; cycle thread only.
#pragma once

#include <cstddef>

// The transformation handed to the library: scale, origin and axes.
struct BndLibraryTransform {
  double scale;
  double origin[3], xAxis[3], yAxis[3], zAxis[3];
};

// Stores the transformation of the next calls.
void bndLibrarySetTransform(const BndLibraryTransform& t);
// Sets the allow-backdraft switch (0 at load).
void bndDllSetAllowBackdraft(int on);
// Puts the transformation (all zero) and the switch back to their load values.
void bndLibraryReset();

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

// Offset boundaries of the surfaces (kFY and 3DF file) around the tool
// (passed on as it is) from inputBnd into outputBnd through "OffsetBoundary":
// its result (the number of boundaries written), else that of
// "SetTransformation", else 0; -1 when the library cannot be loaded.
int bndDllOffsetBoundary(const char* dir, const char* kfyFile, const char* file3df,
                         const void* tool, double value, const char* inputBnd,
                         const char* outputBnd);
// Outline boundaries of the 3DF surfaces with the step into outputBnd
// through "OutLineBoundary": its result (the number of boundaries, negative
// on failure), else that of "SetTransformation", else 0; -1 when the
// library cannot be loaded.
int bndDllOutlineBoundary(const char* dir, const char* file3df, double step, const char* outputBnd);
