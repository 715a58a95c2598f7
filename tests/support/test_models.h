// In-memory machining models for tests and benchmarks: triangle soups of
// simple closed-form surfaces and a holder that turns them into a facet model
// (kind 4) or a triangle-list model (kind 3) with sorted items, corners, box,
// tool, optional grid and candidate list.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "geometry/lists/lists.h"
#include "model/mesh/model.h"

namespace testmodels {

// ---- Surfaces (triangle soups) --------------------------------------------------

// One triangle.
std::vector<Tri> singleTriangle(const Vec3d& a, const Vec3d& b, const Vec3d& c);

// The height field z = f(x, y) over [x0, x1] x [y0, y1] on an nx x ny grid of
// quads, each split into two triangles.
std::vector<Tri> heightField(const std::function<double(double, double)>& f, double x0, double x1,
                             double y0, double y1, int nx, int ny);

// The plane z = tan(angle) x over [-half, half]^2 (n x n quads).
std::vector<Tri> tiltedPlane(double angleDeg, double half, int n);

// A roof z = height - tan(angle) |x| with its ridge on the y axis.
std::vector<Tri> roof(double angleDeg, double height, double half, int n);

// A V-groove z = tan(angle) |x| with its bottom on the y axis.
std::vector<Tri> vGroove(double angleDeg, double half, int n);

// A step: z = 0 for x < 0, z = height for x > 0, with the vertical wall at
// x = 0 (two triangles), over [-half, half]^2.
std::vector<Tri> step(double height, double half, int n);

// A closed box from lo to hi (12 triangles).
std::vector<Tri> box(const Vec3d& lo, const Vec3d& hi);

// A plate z = 0 over [-half, half]^2 (n x n quads) with a wall standing on it:
// the box from (wallX0, -half, 0) to (wallX1, half, wallHeight).
std::vector<Tri> plateWithWall(double half, int n, double wallX0, double wallX1, double wallHeight);

// A hemisphere of radius r at the origin (rings x segments quads) on a square
// plate z = 0 of half width plateHalf (plateN x plateN quads).
std::vector<Tri> hemisphereOnPlate(double r, int rings, int segments, double plateHalf, int plateN);

// The two surfaces of about 100,000 triangles of the benchmarks: a height
// field z = 5 sin(x/7) cos(y/9) over [0, 100]^2, and a hemisphere of radius
// 40 on a plate of half width 60.
std::vector<Tri> benchHeightField();
std::vector<Tri> benchHemisphereOnPlate();

// ---- Models ------------------------------------------------------------------------

// A model built from a triangle soup.  Owns everything it made; frees it in
// its destructor.
class TestModel {
 public:
  // kind: kModelKindFacets or kModelKindTriangles.  The items are sorted by
  // top z, the corner arrays and box are filled, the tool is copied.  With
  // quads, a facet model joins the two triangles of each quad as the
  // surfaces above split it (a, b, c and a, c, d) into one facet.
  TestModel(const std::vector<Tri>& tris, int kind, const ToolShape& tool, bool quads = false);
  ~TestModel();
  TestModel(const TestModel&) = delete;
  TestModel& operator=(const TestModel&) = delete;

  ModelRec* model() { return &model_; }
  ToolShape* tool() { return &tool_; }

  // Builds the model's grid (cellSize <= 0: the default rule).
  void buildGrid(double cellSize = 0.0);
  // Gives the model a candidate list (switches the candidate walk on).
  void enableCandidates();
  // Appends a surface group of the same kind made from tris, with the
  // model's tool grown by allowance, and a grid.
  SurfaceGroup* addGroup(const std::vector<Tri>& tris, double allowance, int clip);

 private:
  ModelRec model_{};
  ToolShape tool_{};
};

// Tools.
ToolShape ballTool(double r);
ToolShape flatTool(double r);
ToolShape torusTool(double r, double rc);

// The roof: two facets rising from z 0 at x 0 and x 40 to a ridge at x 20,
// z 10, over y 0..40 (two triangles each), as ASCII STL text.
std::string roofStl();

// Writes tris as a little-endian binary STL file; false on failure.
bool writeBinaryStl(const std::string& path, const std::vector<Tri>& tris);

}  // namespace testmodels
