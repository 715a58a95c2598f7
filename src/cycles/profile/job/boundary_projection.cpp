#include "cycles/profile/job/boundary_projection.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/number_format.h"
#include "base/text_helpers.h"
#include "base/tolerances.h"
#include "boundaries/bnd_file.h"
#include "boundaries/curve_fit.h"
#include "cycles/profile/job/job_boundaries.h"
#include "geometry/curves/curve.h"
#include "geometry/curves/profile_file.h"
#include "geometry/frame/working_frame.h"
#include "model/contact/contact_settings.h"
#include "model/drop/drop_along_curve.h"
#include "model/io/model_load.h"
#include "model/mesh/model_grid.h"

namespace {

// Room of the path of one projected profile before it has to grow.
constexpr int kProjectedPathCapacity = 10000;
// Model tolerance and sample step of the projection's drops (in the
// projection's units).
constexpr double kProjectionTolerance = 0.008;
constexpr double kProjectionSampleStep = 1.0;
// Clearance above the part from which the tool comes down.
constexpr double kProjectionTopClearance = 10.0;
// Room of the paths of the generated files.
constexpr std::size_t kPathSize = 1024;

bool named(const char* text) { return text != nullptr && text[0] != '\0' && text[0] != ' '; }

const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }

struct PlineFree {
  void operator()(Pline* p) const { plineFree(p); }
};

// What a projection changes of the process-wide state besides the frame,
// put back when it ends: the contact settings' surface selection, which each
// drop sets to its own model (it would point into the freed projection model
// afterwards), and the loaders' diagonal-boxes switch, which the loads with
// clip surfaces switch off.
class ProcessStateKeeper {
 public:
  ProcessStateKeeper() : diagonalBoxes_(modelDiagonalBoxesOn()) { contactContextLoad(&saved_); }
  ~ProcessStateKeeper() {
    contactSetFacetModel(saved_.facets, saved_.facetCount, saved_.minCorners, saved_.maxCorners,
                         saved_.candidates, saved_.zFloor, saved_.zTop, saved_.keepUntouched);
    modelSetDiagonalBoxes(diagonalBoxes_);
  }
  ProcessStateKeeper(const ProcessStateKeeper&) = delete;
  ProcessStateKeeper& operator=(const ProcessStateKeeper&) = delete;

 private:
  ContactContext saved_{};
  int diagonalBoxes_;
};

// The projection's own model, tool and profiles, freed on every way out.
struct ProjectionModel {
  ModelRec model{};
  ToolShape tool{};
  CurveRec* curves = nullptr;

  ProjectionModel() {
    modelInit(&model, kModelKindFacets);
    model.tool = &tool;
  }
  ~ProjectionModel() {
    model.guideCurve = nullptr;
    curveFree(curves);
    modelFreeSurfaces(&model);
  }
  ProjectionModel(const ProjectionModel&) = delete;
  ProjectionModel& operator=(const ProjectionModel&) = delete;
};

// The part as the flags ask: with clip surfaces (and the extra surfaces
// beside them), merged with the extra surfaces, or alone.  The loader's code.
int loadPart(ModelRec* model, const char* partFile, const char* clipFile, const char* extraFile,
             int extraSurfaces, int multiPoly) {
  const char* part = orEmpty(partFile);
  const char* extra = extraSurfaces != 0 ? orEmpty(extraFile) : "";
  if (named(clipFile)) {
    return multiPoly != 0 ? modelLoadMultiWithClip(model, part, clipFile, extra, 0, 0.0)
                          : modelLoadWithClip(model, part, clipFile, extra, 0, 0.0);
  }
  if (extraSurfaces != 0) {
    return multiPoly != 0 ? modelLoadMultiMerged(model, part, extra, 0, 0)
                          : modelLoadMerged(model, part, extra);
  }
  return multiPoly != 0 ? modelLoadMultiFile(model, part, 0, 0) : modelLoadFile(model, part);
}

// One kFY contour of the path: a line per pair of consecutive points, in
// world coordinates.
void appendKfyContour(const Pline& path, std::string* text) {
  *text += "oContour[1]()\n{\n";
  for (int i = 1; i < path.count; ++i) {
    Vec3d a = path.points[i - 1];
    Vec3d b = path.points[i];
    framePtToolToWorld(&a);
    framePtToolToWorld(&b);
    *text += "  oL( x[" + numFixed(a.x, 6) + "/" + numFixed(b.x, 6) + "] y[" + numFixed(a.y, 6) +
             "/" + numFixed(b.y, 6) + "] z[" + numFixed(a.z, 6) + "/" + numFixed(b.z, 6) + "] )\n";
  }
  *text += "}\n";
}

}  // namespace

double bndProjectionScale(double toolRadius) {
  if (toolRadius < 1) return 25;
  if (toolRadius < 2) return 2;
  return 1;
}

void bndWriteProjectedBlock(const Pline& path, std::string* text) {
  *text += "**BND 1\n";
  for (int i = 0; i < path.count; ++i) *text += bndWorldPointLine(path.points[i]);
  *text += "**END\n";
}

int bndWriteProjectedFiles(ModelRec* model, const char* bndPath, const char* kfyPath) {
  const std::unique_ptr<Pline, PlineFree> path(plineNew(kProjectedPathCapacity, 1));
  // The drop keeps its contact points in the axes.
  if (path == nullptr || path->axes == nullptr) return -1;
  CurveRec* const head = model->guideCurve;
  std::string bnd;
  std::string kfy = bndDebugKfyHeader();
  bool dropped = true;
  for (CurveRec* c = head; c != nullptr && dropped; c = c->next) {
    model->guideCurve = c;
    path->count = 0;
    // A boundary that lost a profile would machine less than was asked
    // for, or more: no file then, rather than part of one.
    dropped = contactDropAlongCurve(model, path.get()) >= 0;
    if (!dropped) break;
    bndWriteProjectedBlock(*path, &bnd);
    appendKfyContour(*path, &kfy);
  }
  model->guideCurve = head;
  if (!dropped || !textWriteFile(bndPath, bnd)) return -1;
  if (named(kfyPath)) textWriteFile(kfyPath, kfy);
  return 1;
}

int bndProjectBoundaryFile(char* boundary, std::size_t cap, const char* partFile,
                           const char* clipFile, const char* extraFile, const char* tmpDir,
                           int extraSurfaces, int multiPoly, const Vec3d& direction,
                           double toolRadius) {
  if (!(toolRadius > kGeoEqualTol)) return -1;
  char bndPath[kPathSize];
  char kfyPath[kPathSize];
  if (pathJoin(bndPath, sizeof bndPath, orEmpty(tmpDir), "proj.bnd") != 0 ||
      pathJoin(kfyPath, sizeof kfyPath, orEmpty(tmpDir), "proj.kfy") != 0 ||
      std::strlen(bndPath) >= cap) {
    return -1;
  }

  const ProcessStateKeeper keeper;
  ProjectionModel p;
  if (frameSetFromDirection(&direction) < 0) return -1;
  // Small tools are dropped in a larger space; points come back to world
  // coordinates through the frame's scale.
  const double scale = bndProjectionScale(toolRadius);
  frameScaleMultiply(scale);
  const double r = toolRadius * scale;
  p.tool.type = kToolBall;
  p.tool.radius = r;
  p.tool.cornerRadius = r;
  p.tool.shankDiameter = 2 * toolRadius;

  if (loadPart(&p.model, partFile, clipFile, extraFile, extraSurfaces, multiPoly) < 0) return -1;
  if (modelBuildGrids(&p.model) < 0) return -1;
  std::vector<std::string> lines;
  if (prfLoadLines(boundary, &lines) < 0) return -1;
  p.curves = curveReadPrfAllLines(bndLinesWithoutCln(lines), boundary, nullptr, 0.0, 0, 0);
  if (p.curves == nullptr) return -1;
  // The profiles lie in the plane across the direction.
  for (CurveRec* c = p.curves; c != nullptr; c = c->next) {
    std::free(c->z);
    c->z = nullptr;
  }

  p.model.guideCurve = p.curves;
  p.model.topZ = p.model.boxMax.z + r + kProjectionTopClearance;
  p.model.floorZ = p.model.boxMin.z;
  p.model.minStep = kProjectionTolerance;
  p.model.maxStep = kProjectionSampleStep;

  jobTempFileNote(bndPath);
  jobTempFileNote(kfyPath);
  if (bndWriteProjectedFiles(&p.model, bndPath, kfyPath) > 0) {
    std::memcpy(boundary, bndPath, std::strlen(bndPath) + 1);
  }
  return 1;
}
