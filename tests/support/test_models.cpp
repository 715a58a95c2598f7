#include "test_models.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/drop/contact_drop.h"
#include "model/mesh/model_grid.h"

namespace testmodels {

namespace {

constexpr double kPi = 3.14159265358979323846;

void addQuad(std::vector<Tri>* out, const Vec3d& a, const Vec3d& b, const Vec3d& c,
             const Vec3d& d) {
  out->push_back(Tri{{a, b, c}});
  out->push_back(Tri{{a, c, d}});
}

// Fills items sorted by top z, corners and the box of a facet or triangle set.
// With quads, a facet model joins each triangle (a, b, c) with the next one
// when that one is (a, c, d), as a quad splits, into the facet a, b, c, d.
void fillItems(const std::vector<Tri>& tris, int kind, Facet** facets, int32_t* facetCount,
               TriList** triangles, Vec3d** minCorners, Vec3d** maxCorners, Vec3d* boxMin,
               Vec3d* boxMax, bool quads = false) {
  const int n = static_cast<int>(tris.size());
  *minCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * std::max(n, 1)));
  *maxCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * std::max(n, 1)));
  if (kind == kModelKindFacets) {
    if (*facets == nullptr)
      *facets = static_cast<Facet*>(std::malloc(sizeof(Facet) * std::max(n, 1)));
    const auto same = [](const Vec3d& a, const Vec3d& b) {
      return a.x == b.x && a.y == b.y && a.z == b.z;
    };
    int count = 0;
    for (int i = 0; i < n; ++i) {
      const Vec3d* v = tris[i].v;
      Vec3d d = v[2];
      const Vec3d* w = i + 1 < n ? tris[i + 1].v : nullptr;
      if (quads && w != nullptr && same(w[0], v[0]) && same(w[1], v[2])) d = tris[++i].v[2];
      (*facets)[count++] = Facet{0, {v[0], v[1], v[2], d}};
    }
    *facetCount = count;
    modelSortFacets(*facets, count);
    modelFacetCorners(*facets, count, *minCorners, *maxCorners);
  } else {
    if (*triangles == nullptr) *triangles = listTriNew(n);
    (*triangles)->count = 0;
    for (const Tri& t : tris) listTriAppend(*triangles, &t);
    modelSortTris((*triangles)->items, n);
    modelTriCorners((*triangles)->items, n, *minCorners, *maxCorners);
  }
  *boxMin = {1e300, 1e300, 1e300};
  *boxMax = {-1e300, -1e300, -1e300};
  const int items = kind == kModelKindFacets ? *facetCount : n;
  for (int i = 0; i < items; ++i) {
    boxMin->x = std::min(boxMin->x, (*minCorners)[i].x);
    boxMin->y = std::min(boxMin->y, (*minCorners)[i].y);
    boxMin->z = std::min(boxMin->z, (*minCorners)[i].z);
    boxMax->x = std::max(boxMax->x, (*maxCorners)[i].x);
    boxMax->y = std::max(boxMax->y, (*maxCorners)[i].y);
    boxMax->z = std::max(boxMax->z, (*maxCorners)[i].z);
  }
}

}  // namespace

std::vector<Tri> singleTriangle(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  return {Tri{{a, b, c}}};
}

std::vector<Tri> heightField(const std::function<double(double, double)>& f, double x0, double x1,
                             double y0, double y1, int nx, int ny) {
  std::vector<Tri> out;
  out.reserve(static_cast<std::size_t>(2 * nx * ny));
  auto at = [&](int i, int j) {
    const double x = x0 + (x1 - x0) * i / nx;
    const double y = y0 + (y1 - y0) * j / ny;
    return Vec3d{x, y, f(x, y)};
  };
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i)
      addQuad(&out, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
  }
  return out;
}

std::vector<Tri> tiltedPlane(double angleDeg, double half, int n) {
  const double m = std::tan(angleDeg * kPi / 180.0);
  return heightField([m](double x, double) { return m * x; }, -half, half, -half, half, n, n);
}

std::vector<Tri> roof(double angleDeg, double height, double half, int n) {
  const double m = std::tan(angleDeg * kPi / 180.0);
  auto f = [m, height](double x, double) { return height - m * std::fabs(x); };
  std::vector<Tri> out = heightField(f, -half, 0.0, -half, half, n, 2 * n);
  const std::vector<Tri> right = heightField(f, 0.0, half, -half, half, n, 2 * n);
  out.insert(out.end(), right.begin(), right.end());
  return out;
}

std::vector<Tri> vGroove(double angleDeg, double half, int n) {
  const double m = std::tan(angleDeg * kPi / 180.0);
  auto f = [m](double x, double) { return m * std::fabs(x); };
  std::vector<Tri> out = heightField(f, -half, 0.0, -half, half, n, 2 * n);
  const std::vector<Tri> right = heightField(f, 0.0, half, -half, half, n, 2 * n);
  out.insert(out.end(), right.begin(), right.end());
  return out;
}

std::vector<Tri> step(double height, double half, int n) {
  std::vector<Tri> out =
      heightField([](double, double) { return 0.0; }, -half, 0.0, -half, half, n, 2 * n);
  const std::vector<Tri> top =
      heightField([height](double, double) { return height; }, 0.0, half, -half, half, n, 2 * n);
  out.insert(out.end(), top.begin(), top.end());
  addQuad(&out, {0.0, -half, 0.0}, {0.0, half, 0.0}, {0.0, half, height}, {0.0, -half, height});
  return out;
}

std::vector<Tri> benchHeightField() {
  return heightField([](double x, double y) { return 5.0 * std::sin(x / 7.0) * std::cos(y / 9.0); },
                     0.0, 100.0, 0.0, 100.0, 224, 224);
}

std::vector<Tri> benchHemisphereOnPlate() { return hemisphereOnPlate(40.0, 50, 480, 60.0, 160); }

std::vector<Tri> box(const Vec3d& lo, const Vec3d& hi) {
  std::vector<Tri> out;
  const auto at = [&](int i, int j, int k) {
    return Vec3d{i ? hi.x : lo.x, j ? hi.y : lo.y, k ? hi.z : lo.z};
  };
  addQuad(&out, at(0, 0, 1), at(1, 0, 1), at(1, 1, 1), at(0, 1, 1));  // top
  addQuad(&out, at(0, 0, 0), at(0, 1, 0), at(1, 1, 0), at(1, 0, 0));  // bottom
  addQuad(&out, at(0, 0, 0), at(1, 0, 0), at(1, 0, 1), at(0, 0, 1));  // front
  addQuad(&out, at(0, 1, 0), at(0, 1, 1), at(1, 1, 1), at(1, 1, 0));  // back
  addQuad(&out, at(0, 0, 0), at(0, 0, 1), at(0, 1, 1), at(0, 1, 0));  // left
  addQuad(&out, at(1, 0, 0), at(1, 1, 0), at(1, 1, 1), at(1, 0, 1));  // right
  return out;
}

std::vector<Tri> plateWithWall(double half, int n, double wallX0, double wallX1,
                               double wallHeight) {
  std::vector<Tri> out =
      heightField([](double, double) { return 0.0; }, -half, half, -half, half, n, n);
  const std::vector<Tri> wall = box({wallX0, -half, 0.0}, {wallX1, half, wallHeight});
  out.insert(out.end(), wall.begin(), wall.end());
  return out;
}

std::vector<Tri> hemisphereOnPlate(double r, int rings, int segments, double plateHalf,
                                   int plateN) {
  std::vector<Tri> out = heightField([](double, double) { return 0.0; }, -plateHalf, plateHalf,
                                     -plateHalf, plateHalf, plateN, plateN);
  auto at = [&](int ring, int seg) {
    const double polar = 0.5 * kPi * ring / rings;  // 0 at the top
    const double az = 2.0 * kPi * seg / segments;
    return Vec3d{r * std::sin(polar) * std::cos(az), r * std::sin(polar) * std::sin(az),
                 r * std::cos(polar)};
  };
  for (int ring = 0; ring < rings; ++ring) {
    for (int seg = 0; seg < segments; ++seg) {
      const Vec3d a = at(ring, seg), b = at(ring + 1, seg), c = at(ring + 1, seg + 1),
                  d = at(ring, seg + 1);
      if (ring == 0) {
        out.push_back(Tri{{a, b, c}});
      } else {
        addQuad(&out, a, b, c, d);
      }
    }
  }
  return out;
}

TestModel::TestModel(const std::vector<Tri>& tris, int kind, const ToolShape& tool, bool quads)
    : tool_(tool) {
  modelInit(&model_, kind);
  model_.tool = &tool_;
  fillItems(tris, kind, &model_.facets, &model_.facetCount, &model_.triangles, &model_.minCorners,
            &model_.maxCorners, &model_.boxMin, &model_.boxMax, quads);
  model_.floorZ = model_.boxMin.z - 1.0;
  model_.topZ = model_.boxMax.z + 1000.0;
}

TestModel::~TestModel() {
  contactListFree(model_.candidates);
  model_.candidates = nullptr;
  modelFreeSurfaces(&model_);
}

void TestModel::buildGrid(double cellSize) { modelBuildGridsSized(&model_, cellSize); }

void TestModel::enableCandidates() {
  if (model_.candidates == nullptr) {
    model_.candidates = modelCandidateListNew(kContactCandidateCapacity);
  }
}

SurfaceGroup* TestModel::addGroup(const std::vector<Tri>& tris, double allowance, int clip) {
  const int n = static_cast<int>(tris.size());
  SurfaceGroup* g = surfaceGroupNew(&model_, allowance, 0, model_.kind, clip, n);
  if (g == nullptr) return nullptr;
  std::free(g->minCorners);
  std::free(g->maxCorners);
  fillItems(tris, g->kind, &g->facets, &g->facetCount, &g->triangles, &g->minCorners,
            &g->maxCorners, &g->boxMin, &g->boxMax);
  surfaceGroupBuildLoadGrid(g);
  modelAppendGroup(&model_, g);
  return g;
}

ToolShape ballTool(double r) {
  ToolShape t{};
  t.type = kToolBall;
  t.radius = r;
  t.cornerRadius = r;
  t.length = 30.0;
  t.shankDiameter = 2.0 * r;
  return t;
}

ToolShape flatTool(double r) {
  ToolShape t = ballTool(r);
  t.type = kToolFlat;
  t.cornerRadius = 0.0;
  return t;
}

ToolShape torusTool(double r, double rc) {
  ToolShape t = ballTool(r);
  t.type = kToolTorus;
  t.cornerRadius = rc;
  return t;
}

std::string roofStl() {
  const double v[4][2][3] = {{{0, 0, 0}, {20, 0, 10}},
                             {{0, 40, 0}, {20, 40, 10}},
                             {{40, 0, 0}, {20, 0, 10}},
                             {{40, 40, 0}, {20, 40, 10}}};
  auto vtx = [](const double* p) {
    return "vertex " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " +
           std::to_string(p[2]) + "\n";
  };
  auto tri = [&](const double* a, const double* b, const double* c) {
    return "facet normal 0 0 1\nouter loop\n" + vtx(a) + vtx(b) + vtx(c) + "endloop\nendfacet\n";
  };
  std::string text = "solid roof\n";
  text += tri(v[0][0], v[0][1], v[1][1]) + tri(v[0][0], v[1][1], v[1][0]);
  text += tri(v[2][0], v[3][0], v[3][1]) + tri(v[2][0], v[3][1], v[2][1]);
  return text + "endsolid roof\n";
}

bool writeBinaryStl(const std::string& path, const std::vector<Tri>& tris) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  unsigned char header[84] = {};
  const auto count = static_cast<uint32_t>(tris.size());
  std::memcpy(header + 80, &count, 4);
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  std::vector<unsigned char> block;
  block.reserve(50 * 4096);
  for (std::size_t t = 0; ok && t < tris.size(); ++t) {
    float v[12] = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 3; ++k) {
      v[3 + 3 * k] = static_cast<float>(tris[t].v[k].x);
      v[4 + 3 * k] = static_cast<float>(tris[t].v[k].y);
      v[5 + 3 * k] = static_cast<float>(tris[t].v[k].z);
    }
    unsigned char rec[50] = {};
    std::memcpy(rec, v, sizeof v);
    block.insert(block.end(), rec, rec + sizeof rec);
    if (block.size() >= 50 * 4096 || t + 1 == tris.size()) {
      ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
      block.clear();
    }
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace testmodels
