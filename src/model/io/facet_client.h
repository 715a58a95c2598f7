// Client of the facetting library: the outside shared library that turns the
// surfaces of a kFY file into a 3DF polyhedron file (model/poly3df_file.h).
//
// The library is loaded from the job's library directory for every call and
// unloaded after it, so no library state is kept between calls.  On Linux
// its file is "libkfy3dfdll.so" (kFacetLibraryFileName); it exports the C
// function facet_kfy_file:
//   int facet_kfy_file(const char* kfyFile, double tolerance,
//                      const char* outFile3df, int mode);
// called with mode 100 (kFacetLibraryMode); 0 means that outFile3df has been
// written and can be read by the 3DF readers, any other value that no usable
// file was written.
//
// Note: unloading gives no guarantee that a library loaded again starts from
// fresh static state (the platform may keep it loaded while other code holds
// it); the client only promises to hold no handle between calls.
//
// Threads: the client keeps no state of its own; it is called on the cycle's
// thread.  What the library itself tolerates is its own affair.
#pragma once

#include <string>

// File name of the facetting library and its export.
inline constexpr const char* kFacetLibraryFileName = "libkfy3dfdll.so";
inline constexpr const char* kFacetLibraryExport = "facet_kfy_file";
// The fourth argument the export is called with.
inline constexpr int kFacetLibraryMode = 100;
// Result when the library cannot be loaded, lacks the export, or its path
// cannot be built.
inline constexpr int kFacetLibraryUnavailable = -1;

// Signature of the export.
using FacetKfyFileFn = int (*)(const char* kfyFile, double tolerance, const char* outFile3df,
                               int mode);

// The path the library is loaded from.  With a libraryDirectory that is not
// null, not empty and does not begin with a blank: the directory, then "/"
// unless it already ends in "/" or "\", then the file name.  Otherwise the
// bare file name, which the platform's library search resolves.  false (out
// unchanged) when the path would be PATH_MAX characters or longer.
bool facetLibraryPath(const char* libraryDirectory, std::string* out);

// Facets the kFY file kfyFile into the 3DF file outFile3df with the chord
// tolerance: loads the library (facetLibraryPath), calls its export with
// (kfyFile, tolerance, outFile3df, 100), unloads it and returns the export's
// result.  -1 when the library cannot be loaded or lacks the export, when
// its path is too long, or when a file name is null (the library is then not
// called).  Sends no message: the callers report.
int poly3dfFacetKfyFile(const char* kfyFile, const char* outFile3df, const char* libraryDirectory,
                        double tolerance);
