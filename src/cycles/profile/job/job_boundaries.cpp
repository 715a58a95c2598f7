#include "cycles/profile/job/job_boundaries.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/number_format.h"
#include "base/text_helpers.h"
#include "boundaries/bnd_file.h"
#include "boundaries/bnd_library.h"
#include "boundaries/curve_fit.h"
#include "formats/kfy/kfy_file.h"
#include "geometry/curves/curve.h"
#include "geometry/errors/error_state.h"
#include "geometry/frame/working_frame.h"
#include "model/io/facet_client.h"

namespace {

// The outline step of the boundary library.
constexpr double kOutlineStep = 0.2;
// The offset value handed to the boundary library.
constexpr double kOffsetValue = 0.01;

constexpr int kMsgNoSurfaces = 6023;
constexpr int kMsgCreating = 875;
constexpr int kMsgNoBoundary = 304;
constexpr int kMsgBoundaryCount = 5007;

std::vector<std::string> gTempFiles;

bool named(const char* text) { return text != nullptr && text[0] != '\0' && text[0] != ' '; }

// Steps common to both generations: the 3DF surfaces (facetted from the kFY
// file when missing) into file3df, and the default output name.  -1 when the
// surfaces cannot be had.
int prepareSurfaces(const AutoBoundaryJob& job, char (&file3df)[1024]) {
  const bool given = named(job.file3df);
  if (given) {
    std::snprintf(file3df, sizeof file3df, "%s", job.file3df);
  } else if (pathJoin(file3df, sizeof file3df, job.workDir, "mill.3df") != 0) {
    return -1;
  }
  if (!given || vyrFileExists(file3df) == 0) {
    const int facetted = poly3dfFacetKfyFile(job.kfyFile, file3df, job.libraryDir, job.tolerance);
    jobTempFileNote(file3df);
    if (facetted != 0) {
      msgNumbered(9, kMsgNoSurfaces, "* No surfaces selected", nullptr);
      return -1;
    }
  }
  if (pathJoin(job.output, job.cap, job.workDir, "cbnd.bnd") != 0) return -1;
  msgNumbered(9, kMsgCreating, "* Creating boundaries", nullptr);
  return 1;
}

}  // namespace

std::string bndDebugKfyHeader() {
  return std::string(kfyBanner) +
         "\nkFY-Version: 1.0\ntemporary\nqzdrilhc\n\nvprecision(4) ; Nachkommastellen\n\n";
}

std::string bndWorldPointLine(Vec3d p) {
  framePtToolToWorld(&p);
  return std::string("X") + numFixed(p.x, 6) + " Y" + numFixed(p.y, 6) + " Z" + numFixed(p.z, 6) +
         "\n";
}

void jobTempFileNote(const char* path) {
  if (named(path)) gTempFiles.emplace_back(path);
}

void jobTempFilesRemove() {
  for (const std::string& f : gTempFiles) std::remove(f.c_str());
  gTempFiles.clear();
}

int pathJoin(char* out, size_t cap, const char* dir, const char* name) {
  const size_t len = std::strlen(dir);
  const bool sep = len == 0 || dir[len - 1] == '/' || dir[len - 1] == '\\';
  const int n = std::snprintf(out, cap, "%s%s%s", dir, sep ? "" : "/", name);
  return (n < 0 || static_cast<size_t>(n) >= cap) ? -1 : 0;
}

void profStoreTransformation(double scale, const double origin[3], const double xAxis[3],
                             const double yAxis[3], const double zAxis[3]) {
  BndLibraryTransform t{};
  t.scale = scale;
  std::copy(origin, origin + 3, t.origin);
  std::copy(xAxis, xAxis + 3, t.xAxis);
  std::copy(yAxis, yAxis + 3, t.yAxis);
  std::copy(zAxis, zAxis + 3, t.zAxis);
  bndLibrarySetTransform(t);
}

int bndAutoOffsetBoundaries(const AutoBoundaryJob& job) {
  char file3df[1024];
  if (prepareSurfaces(job, file3df) < 0) return -1;
  if (!named(job.boundary)) {
    if (pathJoin(job.boundary, job.cap, job.workDir, "mill.bnd") != 0) return -1;
    jobTempFileNote(job.boundary);
    if (bndDllOutlineBoundary(job.libraryDir, file3df, kOutlineStep, job.boundary) < 0) {
      msgNumbered(9, kMsgNoBoundary, "* Cannot generate boundary", nullptr);
      return -1;
    }
  }
  jobTempFileNote(job.output);
  const int n = bndDllOffsetBoundary(job.libraryDir, job.kfyFile, file3df, job.tool, kOffsetValue,
                                     job.boundary, job.output);
  if (n <= 0) {
    msgNumbered(9, kMsgNoBoundary, "* Cannot generate boundary", nullptr);
    return -1;
  }
  msgNumberedInt(9, kMsgBoundaryCount, "* Number of generated boundaries = %d", n);
  return 1;
}

int bndAutoOutlineBoundaries(const AutoBoundaryJob& job) {
  char file3df[1024];
  if (prepareSurfaces(job, file3df) < 0) return -1;
  if (named(job.boundary)) {
    std::snprintf(job.output, job.cap, "%s", job.boundary);
    return 1;
  }
  if (pathJoin(job.boundary, job.cap, job.workDir, "mill.bnd") != 0) return -1;
  jobTempFileNote(job.boundary);
  std::snprintf(job.output, job.cap, "%s", job.boundary);
  const int n = bndDllOutlineBoundary(job.libraryDir, file3df, kOutlineStep, job.boundary);
  if (n <= 0) {
    msgNumbered(9, kMsgNoBoundary, "* Cannot generate boundary", nullptr);
    return -1;
  }
  msgNumberedInt(9, kMsgBoundaryCount, "* Number of generated boundaries = %d", n);
  return 1;
}

int bndWriteBoxFile(const char* bndPath, const char* outPath, double margin) {
  BoundaryRec* chain = bndReadFile(bndPath, 0, 0);
  if (chain == nullptr) return -1;
  double xMin = chain->xMin;
  double yMin = chain->yMin;
  double xMax = chain->xMax;
  double yMax = chain->yMax;
  for (const BoundaryRec* b = chain->next; b != nullptr; b = b->next) {
    xMin = std::min(xMin, b->xMin);
    yMin = std::min(yMin, b->yMin);
    xMax = std::max(xMax, b->xMax);
    yMax = std::max(yMax, b->yMax);
  }
  bndFreeList(chain);
  xMin -= margin;
  yMin -= margin;
  xMax += margin;
  yMax += margin;
  const double corners[5][2] = {
      {xMin, yMin}, {xMax, yMin}, {xMax, yMax}, {xMin, yMax}, {xMin, yMin}};
  std::string text = "**BND 1\n";
  for (const auto& c : corners) text += bndWorldPointLine(Vec3d{c[0], c[1], 0});
  text += "**END\n";
  return textWriteFile(outPath, text) ? 1 : -1;
}

int bndWriteAsKfyContours(const char* prfPath, const char* outPath) {
  CurveRec* chain = curveReadPrfAll(prfPath, nullptr, 1, 0, 0);
  std::string text = bndDebugKfyHeader();
  for (const CurveRec* c = chain; c != nullptr; c = c->next) {
    text += "oContour[1]()\n{\n";
    for (int i = 1; c->points != nullptr && i <= c->count; ++i) {
      const auto& a = c->points[i - 1];
      const auto& b = c->points[i % c->count];
      text += "  oL( x[" + numFixed(a.x, 6) + "/" + numFixed(b.x, 6) + "] y[" + numFixed(a.y, 6) +
              "/" + numFixed(b.y, 6) + "] )\n";
    }
    text += "}\n";
  }
  curveFree(chain);
  return textWriteFile(outPath, text) ? 1 : 0;
}
