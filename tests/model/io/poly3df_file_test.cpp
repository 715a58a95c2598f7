#include "model/io/poly3df_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "geometry/frame/working_frame.h"
#include "model/io/model_test_files.h"

namespace {

using model_test::TempDir;
using model_test::writeText;

struct FacetSetDeleter {
  void operator()(PolyFacetSet* s) const {
    if (s != nullptr) {
      std::free(s->diagMin);
      std::free(s->diagMax);
    }
    poly3dfFreeFacetSets(s);
  }
};
struct TriSetDeleter {
  void operator()(PolyTriangleSet* s) const { poly3dfFreeTriangleSets(s); }
};
using FacetSetPtr = std::unique_ptr<PolyFacetSet, FacetSetDeleter>;
using TriSetPtr = std::unique_ptr<PolyTriangleSet, TriSetDeleter>;

// Each test works in its own directory (the kFY scanner may leave a trace
// file in the working directory) with the reader settings at their defaults.
class Poly3df : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
    ASSERT_EQ(chdir(dir_.file("").c_str()), 0);
  }
  void TearDown() override {
    poly3dfSetScaleXYZ(1, 1, 1);
    poly3dfClearFaceFilter();
    poly3dfSetPolyFrameInverse(nullptr);
    frameReset();
    EXPECT_EQ(chdir(oldDir_), 0);
  }

  // Writes a 3DF file with the given elements and returns its path.
  std::string file(const std::string& elements, const std::string& name = "p.3df") {
    const std::string path = dir_.file(name);
    writeText(path, std::string(kfyBanner) + "\nkFY-Version: 1.0\nPolyhedron\ntest\n" + elements);
    return path;
  }

  FacetSetPtr facets(const std::string& elements, int withDiagonals = 0) {
    return FacetSetPtr(poly3dfReadFacets(file(elements).c_str(), "POLY", 1, withDiagonals));
  }
  TriSetPtr triangles(const std::string& elements) {
    return TriSetPtr(poly3dfReadTriangles(file(elements).c_str(), "POLY", 1));
  }

  TempDir dir_;
  char oldDir_[4096];
};

void expectPoint(const Vec3d& p, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(p.x, x);
  EXPECT_DOUBLE_EQ(p.y, y);
  EXPECT_DOUBLE_EQ(p.z, z);
}

// A polyhedron block around the given elements.
std::string poly(const std::string& body, const std::string& name = "a") {
  return "oPolyhedron[" + name + "](nFace[4])\n{\n" + body + "\n}\n";
}

TEST_F(Poly3df, PackedPointsAndCompactNumbers) {
  struct Row {
    const char* name;
    std::string values;
    std::string packed;
    Vec3d p1, p2;
    double unit = 1;  // the packed +1 of the third point
  };
  const Row rows[] = {
      {"signed triples", "", "+1 +2 +3 -1 -2 -3", {1, 2, 3}, {-1, -2, -3}},
      {"signs end numbers", "", "+1+2+3\n-1-2\t-3", {1, 2, 3}, {-1, -2, -3}},
      {"increment", "vincrement(TRUE)", "+1 +2 +3 -1 -2 -3", {1, 2, 3}, {0, 0, 0}},
      {"increment off again",
       "vincrement(true)vincrement(no)",
       "+1+2+3+1+1+1",
       {1, 2, 3},
       {1, 1, 1}},
      {"stars are zeros", "", "*+5* +7+8+9", {0, 5, 0}, {7, 8, 9}},
      {"scale divides",
       "vscale(1000)",
       "+1234 -5 +0 +1+1+1",
       {1.234, -0.005, 0},
       {0.001, 0.001, 0.001},
       0.001},
      {"tiny scale is ignored", "vscale(1e-11)", "+12+3+4 +1+1+1", {12, 3, 4}, {1, 1, 1}},
      {"radix 16", "vbase(16)", "+FF +10 +A +1+1+1", {255, 16, 10}, {1, 1, 1}},
      {"radix of the alphabet",
       "vchrTab(01234567)vbase(99)",
       "+17 +10 +7 +1+1+1",
       {15, 8, 7},
       {1, 1, 1}},
      {"default alphabet radix 72", "vbase(0)", "+10 +~ +z +1+1+1", {72, 71, 61}, {1, 1, 1}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FacetSetPtr set =
        facets(r.values + poly("mP[1](" + r.packed + ")mP[2](+0+0+1)mV(1/1/1/2/2/1)"));
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->facets->count, 1);
    const Facet& f = set->facets->items[0];
    expectPoint(f.v[0], r.p1.x, r.p1.y, r.p1.z);
    expectPoint(f.v[1], r.p2.x, r.p2.y, r.p2.z);
    expectPoint(f.v[2], 0, 0, r.unit);
    expectPoint(f.v[3], 0, 0, r.unit);
    EXPECT_EQ(f.tag, 0);
  }
}

TEST_F(Poly3df, FaceReferencesKeepThePreviousSetOrPoint) {
  FacetSetPtr set =
      facets(poly("mP[1](+0+0+0+1+0+0+2+0+0+3+0+0+5+5+5+6+6+6+7+7+7)"
                  "mV(1/5//6//7)"
                  "oFace(vx[1/1] vx[/2] vx[/3] vx[1/])"));  // the last repeats point 3: a triangle
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 2);
  const Facet& top = set->facets->items[0];  // sorted: the face at z 7 first
  expectPoint(top.v[0], 5, 5, 5);
  expectPoint(top.v[1], 6, 6, 6);
  expectPoint(top.v[2], 7, 7, 7);
  const Facet& low = set->facets->items[1];
  expectPoint(low.v[0], 0, 0, 0);
  expectPoint(low.v[2], 2, 0, 0);
  expectPoint(low.v[3], 2, 0, 0);
}

TEST_F(Poly3df, FacesByTheirNumberOfDistinctVertices) {
  const std::string points = "mP[1](+0+0+0+1+0+0+1+1+0+0+1+0+0+0+1)";
  struct Row {
    const char* name;
    std::string face;
    int facets;  // -1: the file fails
  };
  const Row rows[] = {
      {"quadrangle", "mV(1/1/1/2/1/3/1/4)", 1},
      {"a vertex twice among four is a triangle", "mV(1/1/1/2/1/2/1/3)", 1},
      {"two distinct", "mV(1/1/1/2/1/1)", 0},
      {"five distinct fail", "mV(1/1/1/2/1/3/1/4/1/5)", -1},
      {"unknown point fails", "mV(1/1/1/2/1/9)", -1},
      {"unknown set fails", "mV(1/1/1/2/2/3)", -1},
      {"object face with five fails", "oFace(vx[1/1]vx[1/2]vx[1/3]vx[1/4]vx[1/5])", -1},
      {"undecimal reference fails", "oFace(vx[1/1]vx[1/x]vx[1/3])", -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FacetSetPtr set = facets(poly(points + r.face));
    if (r.facets < 0) {
      EXPECT_EQ(set, nullptr);
      continue;
    }
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->facets->count, r.facets);
  }
}

TEST_F(Poly3df, OnlyDegenerateFacesGiveAnEmptySet) {
  FacetSetPtr set = facets(poly("mP[1](+0+0+0+1+0+0)mV(1/1/1/2)mV(1/1/1/1/1/1)"));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->facets->count, 0);
  EXPECT_STREQ(set->name, "POLY");
  EXPECT_EQ(set->value, 1);
  TriSetPtr tris = triangles(poly("mP[1](+0+0+0+1+0+0)mV(1/1/1/2)"));
  ASSERT_NE(tris, nullptr);
  EXPECT_EQ(tris->triangles->count, 0);
}

TEST_F(Poly3df, PointObjectsBelongToTheirPointSetBlock) {
  const std::string pset =
      "oPset[2]()\n{\n oP[1](x[1] y[2] z[3])\n oP[2](x[4])\n oP[3](y[5/7] z[6])\n}\n";
  FacetSetPtr set = facets(poly(pset + "oFace(vx[2/1]vx[2/2]vx[2/3])"));
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 1);
  const Facet& f = set->facets->items[0];
  expectPoint(f.v[0], 1, 2, 3);
  expectPoint(f.v[1], 4, 2, 3);  // y and z kept from the point before
  expectPoint(f.v[2], 4, 5, 6);

  // Points outside a point-set block are not stored.
  EXPECT_EQ(facets(poly("oPset[2]() oP[1](x[1]) oP[2](x[2]) oP[3](x[3]) "
                        "oFace(vx[2/1]vx[2/2]vx[2/3])")),
            nullptr);
  // After its block the point set has ended.
  EXPECT_EQ(
      facets(poly("oPset[2](){oP[1](x[1])}oP[2](x[2])oP[3](x[3])oFace(vx[2/1]vx[2/2]vx[2/3])")),
      nullptr);
  // A point set at the outermost level keeps no points.
  EXPECT_EQ(facets("oPset[2](){oP[1](x[1])oP[2](x[2])oP[3](y[3])}" +
                   poly("oFace(vx[2/1]vx[2/2]vx[2/3])")),
            nullptr);
  // A coordinate that is not a finite number fails the file.
  EXPECT_EQ(
      facets(poly("oPset[2](){oP[1](x[nan])oP[2](x[2])oP[3](y[3])}oFace(vx[2/1]vx[2/2]vx[2/3])")),
      nullptr);
}

TEST_F(Poly3df, PolyhedronPointsEndWithItsBlockButFilePointsStay) {
  // File points (outside any polyhedron) serve faces that come after a
  // polyhedron's block; the polyhedron's own points do not.
  const std::string filePoints = "mP[1](+0+0+0+1+0+0+0+1+0)";
  FacetSetPtr set =
      facets(filePoints + poly("mP[1](+0+0+5+1+0+5+0+1+5)mV(1/1/1/2/1/3)") + "mV(1/1/1/2/1/3)");
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 2);  // the second face joined the polyhedron
  EXPECT_EQ(set->facets->items[0].v[0].z, 5);
  EXPECT_EQ(set->facets->items[1].v[0].z, 0);
  // Inside a polyhedron only its own points are looked up.
  EXPECT_EQ(facets(filePoints + poly("mV(1/1/1/2/1/3)")), nullptr);
}

TEST_F(Poly3df, ThePolyhedronStartedLastComesFirst) {
  // Equal top heights: the sort keeps the chain order.
  const std::string pts = "mP[1](+0+0+0+1+0+0+0+1+0)";
  FacetSetPtr set = facets(poly(pts + "mV(1/1/1/2/1/3)", "first") +
                           poly("mP[1](+5+0+0+6+0+0+5+1+0)mV(1/1/1/2/1/3)", "second"));
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 2);
  EXPECT_EQ(set->facets->items[0].v[0].x, 5);
  EXPECT_EQ(set->facets->items[1].v[0].x, 0);
}

TEST_F(Poly3df, TrianglesSplitQuadranglesAndPutTheTopVertexFirst) {
  TriSetPtr set =
      triangles(poly("mP[1](+0+0+0+1+0+1+1+1+2+0+1+3)"
                     "mV(1/1/1/2/1/3/1/4)"));
  ASSERT_NE(set, nullptr);
  const TriList* list = set->triangles;
  ASSERT_EQ(list->count, 2);
  // (P0, P1, P2) and (P2, P3, P0), each rotated to its highest vertex.
  const Tri& a = list->items[0];  // (P2, P3, P0): top 3
  expectPoint(a.v[0], 0, 1, 3);
  expectPoint(a.v[1], 0, 0, 0);
  expectPoint(a.v[2], 1, 1, 2);
  const Tri& b = list->items[1];  // (P0, P1, P2): top 2
  expectPoint(b.v[0], 1, 1, 2);
  expectPoint(b.v[1], 0, 0, 0);
  expectPoint(b.v[2], 1, 0, 1);
  EXPECT_EQ(set->maxCorners[0].z, 3);
  EXPECT_EQ(set->minCorners[1].x, 0);
  EXPECT_EQ(list->minX, 0);
  EXPECT_EQ(list->maxZ, 3);
}

TEST_F(Poly3df, FacetsSortedWithCornersBoxAndDiagonalExtents) {
  FacetSetPtr set = facets(poly("mP[1](+0+0+1+2+0+1+2+2+1+0+2+1+0+0+4+1+0+4+0+1+4+0+0+2)"
                                "mV(1/1/1/2/1/3/1/4)mV(1/5/1/6/1/7)mV(1/1/1/2/1/8)"),
                           1);
  ASSERT_NE(set, nullptr);
  const FacetList* list = set->facets;
  ASSERT_EQ(list->count, 3);
  EXPECT_EQ(facetTopZ(&list->items[0]), 4);
  EXPECT_EQ(facetTopZ(&list->items[1]), 2);
  EXPECT_EQ(facetTopZ(&list->items[2]), 1);
  expectPoint(list->boxMin, 0, 0, 1);
  expectPoint(list->boxMax, 2, 2, 4);
  expectPoint(set->maxCorners[2], 2, 2, 1);
  expectPoint(set->minCorners[2], 0, 0, 1);
  ASSERT_NE(set->diagMin, nullptr);
  ASSERT_NE(set->diagMax, nullptr);
  const double c = kModelDiagCos;
  // The square (0..2, 0..2): c*x - c*y from -2c to 2c, c*x + c*y from 0 to 4c.
  EXPECT_DOUBLE_EQ(set->diagMin[4], -2 * c);
  EXPECT_DOUBLE_EQ(set->diagMax[4], 2 * c);
  EXPECT_DOUBLE_EQ(set->diagMin[5], 0);
  EXPECT_DOUBLE_EQ(set->diagMax[5], 4 * c);
  FacetSetPtr plain = facets(poly("mP[1](+0+0+0+1+0+0+0+1+0)mV(1/1/1/2/1/3)"));
  EXPECT_EQ(plain->diagMin, nullptr);
}

TEST_F(Poly3df, FacetListBoxStartsAtTheFirstVertex) {
  // Every x lies beyond the sentinels of a new list.
  FacetSetPtr set =
      facets(poly("mP[1](+20000000000+0+0+20000000001+0+0+20000000000+1+0)mV(1/1/1/2/1/3)"));
  ASSERT_NE(set, nullptr);
  expectPoint(set->facets->boxMin, 2e10, 0, 0);
  expectPoint(set->facets->boxMax, 2e10 + 1, 1, 0);
}

TEST_F(Poly3df, VerticesAreMappedThroughFrameScaleAndWorkingFrame) {
  const std::string content = poly("mP[1](+1+1+1+2+1+1+1+2+1)mV(1/1/1/2/1/3)");
  poly3dfSetScaleXYZ(2, 2, 1);
  FacetSetPtr scaled = facets(content);
  ASSERT_NE(scaled, nullptr);
  expectPoint(scaled->facets->items[0].v[0], 2, 2, 1);

  // The inverse polyhedron frame comes first, then the scale.
  Mat4 inverse;
  const Vec3d shift{0, 0, 10};
  mat4FromTranslation(&shift, &inverse);
  poly3dfSetPolyFrameInverse(&inverse);
  FacetSetPtr shifted = facets(content);
  expectPoint(shifted->facets->items[0].v[0], 2, 2, 11);

  // Then the working frame, while it is active.
  const Vec3d origin{100, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  frameReset();
  frameSetToolSystem(&origin, &x, &y, &z);
  ASSERT_EQ(frameActivate(), 1);
  TriSetPtr tris = triangles(content);
  ASSERT_NE(tris, nullptr);
  expectPoint(tris->triangles->items[0].v[0], -98, 2, 11);
}

TEST_F(Poly3df, FaceFilterRefusesFacesOfTheFacetReaderOnly) {
  poly3dfSetFaceFilter([](int n, const double*, const double*, const double* z) {
    for (int k = 0; k < n; ++k) {
      if (z[k] > 5) return 0;
    }
    return 1;
  });
  const std::string content = poly(
      "mP[1](+0+0+0+1+0+0+0+1+0+0+0+6+1+1+7)mV(1/1/1/2/1/3)mV(1/1/1/2/1/4)"
      "mV(1/1/1/2/1/3/1/4/1/5)");  // five vertices, but refused first
  FacetSetPtr set = facets(content);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 1);
  EXPECT_EQ(facetTopZ(&set->facets->items[0]), 0);
  EXPECT_EQ(triangles(content), nullptr);  // no filter: the five-vertex face fails
}

TEST_F(Poly3df, LongPackedBodiesAreReadFromTheFile) {
  std::string packed;
  const int n = 3000;
  for (int i = 1; i <= n; ++i) {
    packed += '+';
    packed += std::to_string(i) + "+0+" + std::to_string(i % 7) + " ";
  }
  ASSERT_GT(packed.size(), 10000u);
  FacetSetPtr set = facets(poly("mP[1](" + packed + ")mV(1/1/1/1500/1/3000)"));
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 1);
  const Facet& f = set->facets->items[0];
  expectPoint(f.v[0], 1, 0, 1);
  expectPoint(f.v[1], 1500, 0, 1500 % 7);
  expectPoint(f.v[2], 3000, 0, 3000 % 7);
}

TEST_F(Poly3df, FilesThatGiveNothing) {
  struct Row {
    const char* name;
    std::string elements;
  };
  const Row rows[] = {
      {"no polyhedron", "mP[1](+0+0+0+1+0+0+0+1+0)"},
      {"unclosed block", "oPolyhedron[a](){mP[1](+0+0+0+1+0+0+0+1+0)mV(1/1/1/2/1/3)"},
      {"stray closing brace", poly("mP[1](+0+0+0+1+0+0+0+1+0)mV(1/1/1/2/1/3)") + "}"},
      {"compact number out of range", poly("mP[1](+" + std::string(400, '9') + "+0+0)")},
      {"compact integer out of range", poly("mP[1](+0+0+0+1+0+0+0+1+0)mV(1/1/1/2/1/99999999999)")},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(facets(r.elements), nullptr);
    EXPECT_EQ(triangles(r.elements), nullptr);
  }
  EXPECT_EQ(poly3dfReadFacets(dir_.file("missing").c_str(), "POLY", 1, 0), nullptr);
  EXPECT_EQ(poly3dfReadTriangles(nullptr, "POLY", 1), nullptr);
  writeText(dir_.file("bad"), "not a kFY file\n");
  EXPECT_EQ(poly3dfReadFacets(dir_.file("bad").c_str(), "POLY", 1, 0), nullptr);
}

TEST_F(Poly3df, ACutFileFailsUnlessItEndsAfterAPolyhedronBlock) {
  const std::string first = poly("mP[1](+0+0+0+1+0+0+0+1+0)mV(1/1/1/2/1/3)", "first");
  const std::string second = poly("mP[1](+0+0+1+1+0+1+0+1+1)mV(1/1/1/2/1/3)", "second");
  const std::string whole = first + second;
  for (std::size_t len = first.size() + 1; len < whole.size() - 1; ++len) {
    SCOPED_TRACE(len);
    EXPECT_EQ(facets(whole.substr(0, len)), nullptr);
  }
  FacetSetPtr one = facets(first);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->facets->count, 1);
  FacetSetPtr both = facets(whole);
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(both->facets->count, 2);
}

TEST_F(Poly3df, HugeIdsAndHintsCostNothing) {
  FacetSetPtr set = facets(
      "oPolyhedron[a](nFace[2000000000])\n{\n"
      "oPset[29999999](){oP[2000000000](x[1])oP[2000000001](y[1])oP[7](z[1])}"
      "oFace(vx[29999999/2000000000]vx[/2000000001]vx[/7])\n}\n");
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->facets->count, 1);
  expectPoint(set->facets->items[0].v[0], 1, 0, 0);
  expectPoint(set->facets->items[0].v[2], 1, 1, 1);
}

}  // namespace
