// Boundaries that the preparation of a job generates or rewrites for the
// drivers: automatic boundaries from the part surfaces through the outside
// boundary library, the box around outline boundaries, and boundaries handed
// to the pocket strategy as kFY profiles.  Cycle thread only.
#pragma once

#include <cstddef>
#include <string>

#include "geometry/primitives/vec.h"

// Joins dir and name with "/" (none when dir is empty or already ends in a
// separator) into out; -1 when the result does not fit.
int pathJoin(char* out, size_t cap, const char* dir, const char* name);

// The header of the kFY files that the boundary steps write for inspection:
// the banner, "kFY-Version: 1.0", "temporary", "qzdrilhc", an empty line,
// "vprecision(4) ; Nachkommastellen" and an empty line.
std::string bndDebugKfyHeader();

// The point line of a BND block, "X.. Y.. Z..\n" with six decimals in the C
// locale, for the internal point p mapped into world coordinates through the
// working frame.
std::string bndWorldPointLine(Vec3d p);

// The files that the preparation of a run generates in the job's temporary
// directory: noted as they are made, removed at the end of the run.
void jobTempFileNote(const char* path);
void jobTempFilesRemove();

// Stores the transformation that the boundary library gets before each call.
void profStoreTransformation(double scale, const double origin[3], const double xAxis[3],
                             const double yAxis[3], const double zAxis[3]);

// The surfaces and files of an automatic boundary generation.
struct AutoBoundaryJob {
  const char* libraryDir;  // where the boundary and facetting libraries lie
  const char* workDir;     // the job's temporary directory
  const char* kfyFile;     // the surfaces as kFY
  double tolerance;        // facetting tolerance
  char* boundary;          // boundary file given (empty: generated); cap bytes
  const void* tool;        // the cycle's tool, passed on to the library
  char* output;            // receives the name of the resulting boundary file
  const char* file3df;     // the surfaces as 3DF (empty: work directory's mill.3df)
  size_t cap;              // size of the boundary and output buffers
};

// Offset boundaries around the tool: the surfaces facetted into the 3DF
// file when it is missing (message 6023 when that fails), message 875, an
// outline into the work directory's "mill.bnd" when no boundary file is
// given, then the offset into "cbnd.bnd", named in job.output.  1 with
// message 5007 and the count; -1 on failure (message 304 when the library
// generates nothing).
int bndAutoOffsetBoundaries(const AutoBoundaryJob& job);
// Outline boundaries only: as above up to message 875; a given boundary file
// is the result as it is (1), otherwise the outline goes into "mill.bnd"
// (1 with message 5007 and the count, or message 304 and -1).  job.output
// receives the boundary file's name.
int bndAutoOutlineBoundaries(const AutoBoundaryJob& job);

// Reads the boundaries of bndPath, takes the box around all of them grown
// by margin (in the units the boundaries are read in) on every side and
// writes it as a one-block BND file at outPath, its corners mapped from the
// tool's into world coordinates.
// 1 written; -1 when no boundary was read or the file cannot be written
// whole (a partly written file is removed).
int bndWriteBoxFile(const char* bndPath, const char* outPath, double margin);

// Reads every profile (or BND block) of prfPath and writes each as a closed
// kFY contour of lines into outPath.  1 written (also when nothing was
// read); 0 when the file cannot be written whole (a partly written file is
// removed).
int bndWriteAsKfyContours(const char* prfPath, const char* outPath);
