#include "model/io/model_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/messages.h"
#include "formats/kfy/kfy_file.h"
#include "geometry/frame/working_frame.h"
#include "model/io/facet_client.h"
#include "model/io/model_test_files.h"
#include "model/io/stl_file.h"
#include "model/io/stl_file.h"
#include "model/mesh/model_grid.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/temp_dir.h"

namespace {

using model_test::Bytes;
using model_test::facetFileBytes;
using model_test::SurfaceDesc;
using model_test::writeBytes;

// Collects the values of the numbered messages sent while it exists.
class MessageCapture {
 public:
  MessageCapture() {
    outRegisterChannel(&ctx_, 0, &writeOne, &writeOne, 1);
    outAddListener(&ctx_, 0, &listen, reinterpret_cast<intptr_t>(this), &listen,
                   reinterpret_cast<intptr_t>(this));
    outSetContext(&ctx_);
  }
  ~MessageCapture() {
    outSetContext(nullptr);
    outFreeChannels(&ctx_);
  }
  std::vector<std::string> values;

 private:
  static int writeOne(CycleDescriptor*, OutputRecord*) { return 1; }
  static int listen(CycleDescriptor*, OutputRecord* rec, intptr_t user) {
    reinterpret_cast<MessageCapture*>(user)->values.push_back(outRecText(rec, kRecValue));
    return 1;
  }
  CycleDescriptor ctx_{};
};

// ---- Test-side writers --------------------------------------------------------

Facet quad(double z, uint16_t tag = 0, double x0 = 0) {
  return Facet{tag, {{x0, 0, z}, {x0 + 1, 0, z}, {x0 + 1, 1, z}, {x0, 1, z}}};
}

Facet triangle(Vec3d a, Vec3d b, Vec3d c, uint16_t tag = 0) { return Facet{tag, {a, b, c, c}}; }

// A 3DF file of one polyhedron whose faces are the given facets (a facet that
// repeats its third vertex is written as a triangle).
std::string poly3dfText(const std::vector<Facet>& faces) {
  std::string points, refs;
  int id = 0;
  char buf[160];
  for (const Facet& f : faces) {
    const int corners = std::memcmp(&f.v[2], &f.v[3], sizeof(Vec3d)) == 0 ? 3 : 4;
    refs += " oFace(";
    for (int k = 0; k < corners; ++k) {
      std::snprintf(buf, sizeof buf, "  oP[%d](x[%.17g] y[%.17g] z[%.17g])\n", ++id, f.v[k].x,
                    f.v[k].y, f.v[k].z);
      points += buf;
      refs += "vx[1/" + std::to_string(id) + "] ";
    }
    refs += ")\n";
  }
  return std::string(kfyBanner) + "\nkFY-Version: 1.0\nPolyhedron\ntest\noPolyhedron[p](nFace[" +
         std::to_string(faces.size()) + "])\n{\n oPset[1]()\n {\n" + points + " }\n" + refs + "}\n";
}

std::vector<Tri> trisOf(const std::vector<Facet>& facets) {
  std::vector<Tri> out;
  for (const Facet& f : facets) out.push_back(Tri{{f.v[0], f.v[1], f.v[2]}});
  return out;
}

double facetTop(const Facet& f) { return facetTopZ(&f); }

std::vector<const SurfaceGroup*> groupsOf(const ModelRec& m) {
  std::vector<const SurfaceGroup*> out;
  for (const SurfaceGroup* g = m.groups; g != nullptr; g = g->next) out.push_back(g);
  return out;
}

int itemsOf(const SurfaceGroup* g) {
  return g->kind == kModelKindFacets ? g->facetCount : g->triangles->count;
}

// Every test runs in its own working directory (readers may leave trace files
// there) with the loader options, the diagonal switch and the frame at rest.
class ModelLoad : public testing::Test {
 protected:
  ModelLoad() {
    tool_.type = kToolBall;
    tool_.radius = 5;
    tool_.cornerRadius = 5;
    tool_.shankDiameter = 10;
    tool_.length = 20;
  }
  void TearDown() override {
    for (ModelRec& m : models_) modelFreeSurfaces(&m);
    modelLoadReset();
    modelSetDiagonalBoxes(0);
    modelFreeDiagonalExtents();
    frameReset();
  }

  ModelRec& model(int kind) {
    models_.emplace_back();
    modelInit(&models_.back(), kind);
    models_.back().tool = &tool_;
    return models_.back();
  }
  std::string bytes(const std::string& name, const Bytes& b) {
    writeBytes(dir_.file(name), b);
    return dir_.file(name);
  }
  std::string text(const std::string& name, const std::string& t) {
    tsupport::writeFile(dir_.file(name), t);
    return dir_.file(name);
  }

  tsupport::ScopedWorkDir dir_;
  ToolShape tool_{};
  std::deque<ModelRec> models_;
};

// ---- File kinds --------------------------------------------------------------------

TEST_F(ModelLoad, FileKindByExtensionThenContent) {
  const std::vector<Facet> facets = {quad(1)};
  const Bytes v1 = facetFileBytes(1.0f, facets);
  const std::string poly = poly3dfText(facets);
  const std::string ascii = model_test::stlAsciiText(trisOf(facets));
  const Bytes binaryStl = model_test::stlBinaryBytes(trisOf(facets), false, "");
  const Bytes noise = {'x', 'y', 'z', 'w', 0, 1, 2, 3};
  // A free-text header whose first four bytes read as the float 1.5.
  Bytes versionLike = binaryStl;
  const float onePointFive = 1.5f;
  std::memcpy(versionLike.data(), &onePointFive, 4);
  struct Row {
    const char* name;
    std::string file;
    const Bytes* content;  // null: written as text
    std::string textContent;
    int kind;
  };
  const Row rows[] = {
      {"kfy upper case", "a.KFY", nullptr, poly, kModelFile3df},
      {"kfy", "a.kfy", nullptr, poly, kModelFile3df},
      {"3df upper case", "a.3DF", nullptr, poly, kModelFile3df},
      {"3df", "clip.3df", nullptr, poly, kModelFile3df},
      {"3DF text without extension", "mill", nullptr, poly, kModelFile3df},
      {"3DF text named stlx", "mill.stlx", nullptr, poly, kModelFile3df},
      {"ascii stl", "a.stl", nullptr, ascii, kModelFileStl},
      {"ascii stl without extension", "part", nullptr, ascii, kModelFileStl},
      {"binary stl", "a.Stl", &binaryStl, "", kModelFileStl},
      {"binary stl without extension", "part2", &binaryStl, "", kModelFileStl},
      {"binary stl whose header reads as a version", "v.stl", &versionLike, "", kModelFileStl},
      {"the same without extension", "v", &versionLike, "", kModelFileStl},
      {"facets named stlx", "a.stlx", &v1, "", kModelFileFacets},
      {"facets without a dot", "facets", &v1, "", kModelFileFacets},
      {"facets named 3df go to the 3DF reader", "wrong.3df", &v1, "", kModelFile3df},
      {"facets named kfy go to the 3DF reader", "wrong.kfy", &v1, "", kModelFile3df},
      {"facets named stl go to the STL reader", "wrong.stl", &v1, "", kModelFileStl},
      {"noise named kfy", "noise.kfy", &noise, "", kModelFile3df},
      {"noise without a dot", "noise", &noise, "", kModelFileFacets},
      {"a dot in the directory only", "d.stl/part", &v1, "", kModelFileFacets},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string path = dir_.file(r.file);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (r.content != nullptr) {
      writeBytes(path, *r.content);
    } else {
      tsupport::writeFile(path, r.textContent);
    }
    EXPECT_EQ(modelFileKind(path.c_str()), r.kind);
  }
  EXPECT_EQ(modelFileKind(dir_.file("missing.kfy").c_str()), kModelFile3df);
  EXPECT_EQ(modelFileKind(dir_.file("missing.STL").c_str()), kModelFileStl);
  EXPECT_EQ(modelFileKind(dir_.file("missing").c_str()), kModelFileFacets);
  EXPECT_EQ(modelFileKind(""), kModelFileFacets);
  EXPECT_EQ(modelFileKind(nullptr), kModelFileFacets);
}

// ---- Small helpers ----------------------------------------------------------------

TEST(FacetRepeatLast, MovesTheRepeatedVertexLast) {
  const Vec3d a{0, 0, 0}, b{1, 0, 0}, c{1, 1, 0}, d{0, 1, 0};
  const Vec3d aNear{0.000005, 0, 0};
  struct Row {
    const char* name;
    Facet in;
    int result;
    Facet out;
  };
  const Row rows[] = {
      {"fourth repeats third", {0, {a, b, c, c}}, 1, {0, {a, b, c, c}}},
      {"fourth repeats first", {0, {a, b, c, a}}, 1, {0, {a, b, c, a}}},
      {"fourth repeats second", {0, {a, b, c, b}}, 1, {0, {a, b, c, b}}},
      {"third repeats second", {0, {a, b, b, d}}, 1, {0, {a, b, d, b}}},
      {"third repeats first", {0, {a, b, a, d}}, 1, {0, {a, b, d, a}}},
      {"second repeats first", {0, {a, a, c, d}}, 1, {0, {d, a, c, a}}},
      {"equal within the tolerance", {0, {a, b, c, aNear}}, 1, {0, {a, b, c, aNear}}},
      {"quadrangle", {0, {a, b, c, d}}, 0, {0, {a, b, c, d}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Facet f = r.in;
    EXPECT_EQ(facetRepeatLast(&f), r.result);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(f.v[k].x, r.out.v[k].x) << k;
      EXPECT_EQ(f.v[k].y, r.out.v[k].y) << k;
    }
  }
}

TEST(ModelTriSnapZ, PairsInOrderSeeEarlierSnaps) {
  struct Row {
    const char* name;
    double in[3];
    double out[3];
  };
  const Row rows[] = {
      {"close pair takes the larger", {1.0, 1.00004, 5}, {1.00004, 1.00004, 5}},
      {"first vertex larger", {1.00004, 1.0, 5}, {1.00004, 1.00004, 5}},
      {"apart stays", {1.0, 1.0002, 1.0004}, {1.0, 1.0002, 1.0004}},
      {"a chain climbs", {0, 0.00006, 0.00012}, {0.00012, 0.00012, 0.00012}},
      {"order decides", {0, 0.00015, 0.00008}, {0.00008, 0.00015, 0.00015}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Tri t{{{0, 0, r.in[0]}, {1, 0, r.in[1]}, {0, 1, r.in[2]}}};
    modelTriSnapZ(&t);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t.v[k].z, r.out[k]) << k;
  }
}

// ---- Loads into the model itself -------------------------------------------------------

// An STL part file that is damaged, truncated or empty fails the load with
// -2 and the reader's message, never a model of the triangles read so far;
// as a clip file it is passed over with message 332.
TEST_F(ModelLoad, DamagedStlFailsTheLoadWithItsMessage) {
  const std::vector<Tri> tris = trisOf({quad(1), quad(2, 0, 5)});
  Bytes truncated = model_test::stlBinaryBytes(tris, false);
  truncated.resize(truncated.size() - 1);
  std::string fourVertices = model_test::stlAsciiText(tris);
  fourVertices.insert(fourVertices.find("endloop"), "vertex 9 9 9\n");
  const Bytes zeros(4000, 0);
  struct Row {
    const char* name;
    std::string path;
    int message;
  };
  const Row rows[] = {
      {"truncated", bytes("cut.stl", truncated), kStlMsgTruncated},
      {"four vertices", text("four.STL", fourVertices), kStlMsgDamaged},
      {"zeros without a name", bytes("zeros", zeros), kStlMsgNoTriangle},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    for (int kind : {kModelKindFacets, kModelKindTriangles}) {
      MessageCapture messages;
      ModelRec& m = model(kind);
      EXPECT_EQ(modelLoadFile(&m, r.path.c_str()), kModelLoadUnreadable);
      EXPECT_EQ(modelHasOwnItems(&m), 0);
      ASSERT_FALSE(messages.values.empty());
      EXPECT_EQ(messages.values[0].rfind(std::to_string(r.message) + ",", 0), 0u)
          << messages.values[0];
    }
    MessageCapture messages;
    ModelRec& clipped = model(kModelKindTriangles);
    const std::string part = text("part.stl", model_test::stlAsciiText(tris));
    EXPECT_EQ(modelLoadWithClip(&clipped, part.c_str(), r.path.c_str(), nullptr, 0, 0.5), 0);
    EXPECT_EQ(groupsOf(clipped).size(), 1u);
    ASSERT_FALSE(messages.values.empty());
    EXPECT_EQ(messages.values.back(), "332," + r.path);
  }
}

TEST_F(ModelLoad, EveryFileKindLoadsIntoBothModelKinds) {
  const std::vector<Facet> facets = {quad(1), triangle({0, 0, 5}, {2, 0, 3}, {0, 2, 4}),
                                     quad(3, 0, 5)};
  const std::string files[] = {
      bytes("part.bin", facetFileBytes(1.0f, facets)),
      bytes("part_v2", facetFileBytes(2.0f, facets)),
      text("part.kfy", poly3dfText(facets)),
      text("part.3df", poly3dfText(facets)),
      text("part.stl", model_test::stlAsciiText(trisOf(facets))),
  };
  // Facet models hold the facets as read (STL: its triangles); triangle
  // models split the quadrangles.
  const int facetCounts[] = {3, 3, 3, 3, 3};
  const int triCounts[] = {5, 5, 5, 5, 3};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(files[i]);
    ModelRec& f = model(kModelKindFacets);
    ASSERT_EQ(modelLoadFile(&f, files[i].c_str()), 0);
    ASSERT_EQ(f.facetCount, facetCounts[i]);
    EXPECT_EQ(f.groups, nullptr);
    EXPECT_DOUBLE_EQ(f.boxMax.z, 5);
    EXPECT_DOUBLE_EQ(f.boxMin.z, 1);
    for (int k = 1; k < f.facetCount; ++k) {
      EXPECT_GE(facetTop(f.facets[k - 1]), facetTop(f.facets[k]));
    }
    EXPECT_DOUBLE_EQ(f.maxCorners[0].z, 5);
    ModelRec& t = model(kModelKindTriangles);
    ASSERT_EQ(modelLoadFile(&t, files[i].c_str()), 0);
    ASSERT_EQ(t.triangles->count, triCounts[i]);
    const Tri& top = t.triangles->items[0];
    EXPECT_DOUBLE_EQ(top.v[0].z, 5);  // top vertex first
    EXPECT_DOUBLE_EQ(t.boxMax.z, 5);
    EXPECT_DOUBLE_EQ(t.minCorners[t.triangles->count - 1].z, 1);
  }
}

TEST_F(ModelLoad, WrongModelKindGivesMinusThree) {
  const std::string part = bytes("part.bin", facetFileBytes(1.0f, {quad(1)}));
  ModelRec& m = model(5);
  EXPECT_EQ(modelLoadFile(&m, part.c_str()), -3);
  EXPECT_EQ(modelLoadMultiFile(&m, part.c_str(), 0, 0), -3);
  EXPECT_EQ(modelAddSurfaceFile(&m, part.c_str(), 0, 0, 5, 0), -3);
  EXPECT_EQ(modelAddWallFile(&m, part.c_str(), 0, 0, 5, 1), -3);
  EXPECT_EQ(modelLoadWithClip(&m, part.c_str(), nullptr, nullptr, 0, 0), -3);
  EXPECT_EQ(modelIsEmpty(&m), 1);
}

TEST_F(ModelLoad, QuadrangleGivesTwoTrianglesRepeatedVertexOne) {
  const Vec3d a{0, 0, 1}, b{1, 0, 1.00004}, c{1, 1, 2}, d{0, 1, 1};
  struct Row {
    const char* name;
    Facet facet;
    int triangles;
  };
  const Row rows[] = {
      {"quadrangle", {0, {a, b, c, d}}, 2},
      {"fourth repeats first", {0, {a, b, c, a}}, 1},
      {"second repeats first", {0, {a, a, c, d}}, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string file = bytes("q.bin", facetFileBytes(1.0f, {r.facet}));
    ModelRec& m = model(kModelKindTriangles);
    ASSERT_EQ(modelLoadFile(&m, file.c_str()), 0);
    ASSERT_EQ(m.triangles->count, r.triangles);
    for (int i = 0; i < m.triangles->count; ++i) {
      const Tri& t = m.triangles->items[i];
      EXPECT_GE(t.v[0].z, t.v[1].z);
      EXPECT_GE(t.v[0].z, t.v[2].z);
      // 1 and 1.00004 never stay apart within a triangle.
      bool low = false, high = false;
      for (const Vec3d& v : t.v) {
        low = low || v.z == 1.0;
        high = high || v.z == 1.00004;
      }
      EXPECT_FALSE(low && high);
    }
  }
}

TEST_F(ModelLoad, BinaryAndStlVerticesAreMappedIntoWorkingCoordinates) {
  const Vec3d origin{0, 0, 5}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  frameSetToolSystem(&origin, &x, &y, &z);
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(2), 1);
  const std::vector<Facet> facets = {triangle({1, 2, 7}, {3, 2, 7}, {1, 4, 9})};
  const std::string files[] = {bytes("m.bin", facetFileBytes(1.0f, facets)),
                               text("m.stl", model_test::stlAsciiText(trisOf(facets)))};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    for (int kind : {kModelKindFacets, kModelKindTriangles}) {
      ModelRec& m = model(kind);
      ASSERT_EQ(modelLoadFile(&m, file.c_str()), 0);
      const Vec3d* v = kind == kModelKindFacets ? m.facets[0].v : m.triangles->items[0].v;
      const Vec3d top =
          *std::max_element(v, v + 3, [](const Vec3d& a, const Vec3d& b) { return a.z < b.z; });
      EXPECT_DOUBLE_EQ(top.x, 2);
      EXPECT_DOUBLE_EQ(top.y, 8);
      EXPECT_DOUBLE_EQ(top.z, 8);
      EXPECT_DOUBLE_EQ(m.boxMin.z, 4);
      EXPECT_DOUBLE_EQ(m.boxMax.x, 6);
    }
  }
}

// The limit drops a face with a vertex above it; a vertex exactly at it stays.
// Triangle loads ignore it, and a reset switches it off.
TEST_F(ModelLoad, ZLimitDropsFacetsAboveItInFacetLoads) {
  const std::vector<Facet> facets = {triangle({0, 0, 9}, {1, 0, 10.5}, {0, 1, 9}),
                                     triangle({0, 0, 9}, {1, 0, 10}, {0, 1, 9}), quad(3)};
  const std::string files[] = {bytes("z.bin", facetFileBytes(1.0f, facets)),
                               text("z.3df", poly3dfText(facets))};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    modelSetLoadZLimit(10);
    ModelRec& f = model(kModelKindFacets);
    ASSERT_EQ(modelLoadFile(&f, file.c_str()), 0);
    ASSERT_EQ(f.facetCount, 2);
    EXPECT_DOUBLE_EQ(facetTop(f.facets[0]), 10);
    EXPECT_DOUBLE_EQ(f.boxMax.z, 10);
    ModelRec& t = model(kModelKindTriangles);
    ASSERT_EQ(modelLoadFile(&t, file.c_str()), 0);
    EXPECT_EQ(t.triangles->count, 4);
    modelLoadReset();
    ModelRec& again = model(kModelKindFacets);
    ASSERT_EQ(modelLoadFile(&again, file.c_str()), 0);
    EXPECT_EQ(again.facetCount, 3);
  }
}

TEST_F(ModelLoad, FacetLoadWithDiagonalBoxesOrientsAndKeepsExtents) {
  // Clockwise seen from above.
  const std::vector<Facet> facets = {Facet{0, {{0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}}}};
  const std::string files[] = {bytes("d.bin", facetFileBytes(1.0f, facets)),
                               text("d.stl", model_test::stlAsciiText(trisOf(facets)))};
  modelSetDiagonalBoxes(1);
  ModelRec& m = model(kModelKindFacets);
  ASSERT_EQ(modelLoadFile(&m, files[0].c_str()), 0);
  ASSERT_NE(diagMin, nullptr);
  EXPECT_DOUBLE_EQ(m.facets[0].v[1].x, 1);  // vertices 1 and 3 exchanged
  double lo[2], hi[2];
  modelFacetDiagExtents(m.facets, 1, lo, hi);
  EXPECT_EQ(diagMin[0], lo[0]);
  EXPECT_EQ(diagMax[1], hi[1]);
  modelFreeSurfaces(&m);
  // Extents never outlive their facets: an STL facet load has none, and
  // extents left from other facets go.
  ASSERT_EQ(modelBuildDiagonalExtents(facets.data(), 1), 1);
  ASSERT_EQ(modelLoadFile(&m, files[1].c_str()), 0);
  EXPECT_EQ(diagMin, nullptr);
  EXPECT_EQ(diagMax, nullptr);
}

// ---- Bad files ----------------------------------------------------------------------

TEST_F(ModelLoad, BadBinaryFilesGiveTheirCodeAndLeaveTheModelEmpty) {
  const std::vector<Facet> facets = {quad(1), quad(2)};
  Bytes negativeSlot = facetFileBytes(2.0f, facets, {{-1, "a"}});
  // Slot 0 announces 1 facet (room for 2) and receives 3.
  const std::vector<Facet> three = {quad(1), quad(2), quad(3)};
  Bytes overrun = facetFileBytes(2.0f, three, {{1, "a"}});
  Bytes badAllowance = facetFileBytes(2.0f, facets, {{2, "a", std::nan("")}});
  Bytes nanVertex = facetFileBytes(1.0f, facets);
  const double nan = std::nan("");
  std::memcpy(nanVertex.data() + 256 + 98 + 2, &nan, sizeof nan);
  struct Row {
    const char* name;
    Bytes file;
    int result;
  };
  const Row rows[] = {
      {"version 1.9 is version 1", facetFileBytes(1.9f, facets), 0},
      {"version 2.5 is version 2", facetFileBytes(2.5f, facets, {{2, "a"}}), 0},
      {"version 3.0", facetFileBytes(3.0f, facets), -4},
      {"version 0.5", facetFileBytes(0.5f, facets), -4},
      {"three bytes", Bytes{1, 2, 3}, -2},
      {"no facets announced", facetFileBytes(1.0f, facets, {}, 0), -4},
      {"negative count", facetFileBytes(1.0f, facets, {}, -5), -4},
      {"count beyond the file", facetFileBytes(1.0f, facets, {}, 3), -4},
      {"huge count", facetFileBytes(2.0f, facets, {}, 0x7fffffff), -4},
      {"negative slot count", negativeSlot, -4},
      {"slot overrun", overrun, -4},
      {"allowance not a number", badAllowance, -4},
      {"vertex not a number", nanVertex, -4},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string file = bytes("bad", r.file);
    for (int kind : {kModelKindFacets, kModelKindTriangles}) {
      ModelRec& m = model(kind);
      EXPECT_EQ(modelLoadMultiFile(&m, file.c_str(), 0, 0), r.result);
      EXPECT_EQ(modelIsEmpty(&m), r.result == 0 ? 0 : 1);
      ModelRec& g = model(kind);
      const int added = modelAddSurfaceFile(&g, file.c_str(), 0, 0, kind, 1);
      // Groups read every facet whatever its slot: slot counts do not matter.
      if (r.result != 0 && std::string(r.name).find("slot") == std::string::npos &&
          std::string(r.name).find("allowance") == std::string::npos) {
        EXPECT_EQ(added, r.result);
        EXPECT_EQ(g.groups, nullptr);
      }
    }
  }
  ModelRec& m = model(kModelKindFacets);
  EXPECT_EQ(modelLoadFile(&m, dir_.file("missing").c_str()), -2);
  EXPECT_EQ(modelLoadFile(&m, ""), -2);
  EXPECT_EQ(modelLoadFile(&m, dir_.file("missing.stl").c_str()), -2);
  EXPECT_EQ(modelLoadFile(&m, dir_.file("missing.kfy").c_str()), -2);
}

// Every cut of a valid file is refused cleanly (run under the sanitizers).
TEST_F(ModelLoad, EveryTruncationOfAVersion2FileIsRefused) {
  std::vector<Facet> facets;
  for (int i = 0; i < 6; ++i) facets.push_back(quad(i, static_cast<uint16_t>(i % 3)));
  const Bytes whole = facetFileBytes(2.0f, facets, {{2, "a"}, {2, "%b"}, {2, "c"}});
  for (std::size_t len = 0; len < whole.size(); len += 7) {
    SCOPED_TRACE(len);
    const std::string file = bytes("cut", Bytes(whole.begin(), whole.begin() + len));
    ModelRec& m = model(kModelKindTriangles);
    const int rc = modelLoadMultiFile(&m, file.c_str(), 0, 0);
    EXPECT_EQ(rc, len < 4 ? -2 : -4);
    EXPECT_EQ(modelIsEmpty(&m), 1);
  }
  // Random bytes behind a valid header never crash a load.
  std::mt19937 rng(20261210);
  for (int round = 0; round < 40; ++round) {
    Bytes noisy = whole;
    for (int k = 0; k < 20; ++k) {
      noisy[1300 + rng() % (whole.size() - 1300)] = static_cast<unsigned char>(rng());
    }
    const std::string file = bytes("noisy", noisy);
    ModelRec& m = model(round % 2 ? kModelKindFacets : kModelKindTriangles);
    const int rc = modelLoadMultiFile(&m, file.c_str(), 0, 0);
    EXPECT_TRUE(rc == 0 || rc == -4) << rc;
  }
}

// ---- Version-2 files as groups ----------------------------------------------------------

TEST_F(ModelLoad, Version2SlotsBecomeGroupsPartFirst) {
  const std::vector<Facet> facets = {quad(1, 0), quad(7, 2), quad(100, 7), quad(2, 0)};
  const std::string file =
      bytes("v2", facetFileBytes(2.0f, facets, {{2, "part", 0.5}, {}, {1, "%clip", 0.25}}));
  modelSetLoadLengthScale(2);
  for (int kind : {kModelKindFacets, kModelKindTriangles}) {
    SCOPED_TRACE(kind);
    ModelRec& m = model(kind);
    ASSERT_EQ(modelLoadMultiFile(&m, file.c_str(), 0, 0), 0);
    EXPECT_FALSE(modelHasOwnItems(&m));
    const auto groups = groupsOf(m);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]->clip, 0);
    EXPECT_EQ(groups[1]->clip, 1);
    EXPECT_EQ(itemsOf(groups[0]), kind == kModelKindFacets ? 2 : 4);
    EXPECT_EQ(itemsOf(groups[1]), kind == kModelKindFacets ? 1 : 2);
    EXPECT_DOUBLE_EQ(groups[0]->boxMax.z, 2);
    EXPECT_DOUBLE_EQ(groups[1]->boxMin.z, 7);
    EXPECT_DOUBLE_EQ(groups[0]->tool.radius, 5 + 0.5 * 2);  // allowance x length scale
    EXPECT_DOUBLE_EQ(groups[1]->tool.radius, 5 + 0.25 * 2);
    EXPECT_EQ(groups[0]->grid, nullptr);  // grids come later
    if (kind == kModelKindFacets) {
      EXPECT_DOUBLE_EQ(facetTop(groups[0]->facets[0]), 2);  // sorted
    }
    EXPECT_DOUBLE_EQ(m.boxMax.z, 7);  // slot 7 is not read
  }
}

// Part groups before clip groups by exchanging the first clip slot from the
// front with the last part slot from the back: A% B C% D gives D B C% A%.
TEST_F(ModelLoad, Version2GroupOrderExchangesFromBothEnds) {
  struct Row {
    const char* name;
    std::vector<std::string> names;  // one per slot, "" unused
    std::vector<double> order;       // slot heights in group order
  };
  const Row rows[] = {
      {"alternating", {"%A", "B", "%C", "D"}, {3, 1, 2, 0}},
      {"clips first", {"%A", "%B", "C", "D"}, {3, 2, 1, 0}},
      {"parts first stay", {"A", "B", "%C", "%D"}, {0, 1, 2, 3}},
      {"gaps are passed over", {"%A", "", "", "B", "", "%C", "D"}, {6, 3, 5, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<Facet> facets;
    std::vector<SurfaceDesc> surfaces;
    for (std::size_t s = 0; s < r.names.size(); ++s) {
      surfaces.push_back({r.names[s].empty() ? 0 : 1, r.names[s]});
      if (!r.names[s].empty()) facets.push_back(quad(static_cast<double>(s), s));
    }
    const std::string file = bytes("order", facetFileBytes(2.0f, facets, surfaces));
    ModelRec& m = model(kModelKindFacets);
    ASSERT_EQ(modelLoadFacetGroups(&m, file.c_str(), 0), 0);
    const auto groups = groupsOf(m);
    ASSERT_EQ(groups.size(), r.order.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
      EXPECT_DOUBLE_EQ(groups[i]->boxMax.z, r.order[i]) << i;
      const std::string& name = r.names[static_cast<int>(r.order[i])];
      EXPECT_EQ(groups[i]->clip, name[0] == '%' ? 1 : 0) << i;
    }
  }
}

// A 3DF file loaded as a multi-surface file keeps the groups the model holds;
// a single-file load leaves none.
TEST_F(ModelLoad, GroupsSurviveOnlyAMultiFileLoadOf3df) {
  const std::string clip = bytes("clip.bin", facetFileBytes(1.0f, {quad(4)}));
  const std::string part = text("part.3df", poly3dfText({quad(1), quad(2)}));
  ModelRec& multi = model(kModelKindFacets);
  ASSERT_EQ(modelAddSurfaceFile(&multi, clip.c_str(), 0, 0, kModelKindFacets, 1), 1);
  ASSERT_EQ(modelLoadMultiFile(&multi, part.c_str(), 0, 0), 0);
  EXPECT_EQ(multi.facetCount, 2);
  EXPECT_EQ(groupsOf(multi).size(), 1u);
  ModelRec& single = model(kModelKindFacets);
  ASSERT_EQ(modelAddSurfaceFile(&single, clip.c_str(), 0, 0, kModelKindFacets, 1), 1);
  ASSERT_EQ(modelLoadFile(&single, part.c_str()), 0);
  EXPECT_EQ(single.facetCount, 2);
  EXPECT_EQ(single.groups, nullptr);
}

TEST_F(ModelLoad, Version1FileLoadsIntoTheModelItself) {
  const std::string file = bytes("v1", facetFileBytes(1.0f, {quad(1), quad(2)}));
  ModelRec& m = model(kModelKindFacets);
  ASSERT_EQ(modelLoadFacetGroups(&m, file.c_str(), 0), 0);
  EXPECT_EQ(m.facetCount, 2);
  EXPECT_EQ(m.groups, nullptr);
}

// ---- Composite loaders ------------------------------------------------------------------

class CompositeLoad : public ModelLoad {
 protected:
  void SetUp() override {
    part3df_ = text("part.3df", poly3dfText({quad(1), quad(2, 0, 3)}));
    partKfy_ = text("part.kfy", poly3dfText({quad(1), quad(2, 0, 3)}));
    partStl_ = text("part.stl", model_test::stlAsciiText(trisOf({quad(1), quad(2, 0, 3)})));
    partBin_ = bytes("part.bin", facetFileBytes(1.0f, {quad(1), quad(2, 0, 3)}));
    clip3df_ = text("clip.3df", poly3dfText({quad(5, 0, -4)}));
    clipStl_ = bytes("clip2.stl", model_test::stlBinaryBytes(trisOf({quad(6, 0, 8)}), false));
    wall_ = text("wall.prf", "**PRF 1\nX0 Y0 Z1\nX10 Y0 Z1\nX10 Y10 Z4\n**END\n");
  }
  std::string part3df_, partKfy_, partStl_, partBin_, clip3df_, clipStl_, wall_;
};

TEST_F(CompositeLoad, PartAndClipSurfacesOfEveryKindBecomeGroupsInOrder) {
  for (const std::string& part : {part3df_, partKfy_, partStl_, partBin_}) {
    for (int kind : {kModelKindFacets, kModelKindTriangles}) {
      SCOPED_TRACE(part + " kind " + std::to_string(kind));
      modelSetDiagonalBoxes(1);
      MessageCapture messages;
      ModelRec& m = model(kind);
      ASSERT_EQ(modelLoadWithClip(&m, part.c_str(), clip3df_.c_str(), clipStl_.c_str(), 1, 0.5), 0);
      EXPECT_EQ(modelDiagonalBoxesOn(), 0);
      EXPECT_FALSE(modelHasOwnItems(&m));
      const auto groups = groupsOf(m);
      ASSERT_EQ(groups.size(), 3u);
      EXPECT_EQ(groups[0]->clip, 0);
      EXPECT_DOUBLE_EQ(groups[0]->tool.radius, 5);
      EXPECT_DOUBLE_EQ(groups[0]->boxMax.z, 2);
      EXPECT_EQ(groups[1]->clip, 1);
      EXPECT_DOUBLE_EQ(groups[1]->tool.radius, 5.5);
      EXPECT_DOUBLE_EQ(groups[1]->boxMax.z, 5);
      EXPECT_EQ(groups[2]->clip, 1);
      EXPECT_DOUBLE_EQ(groups[2]->boxMax.z, 6);
      for (const SurfaceGroup* g : groups) EXPECT_NE(g->grid, nullptr);
      EXPECT_DOUBLE_EQ(m.boxMin.x, -4);
      EXPECT_DOUBLE_EQ(m.boxMax.x, 9);
      EXPECT_TRUE(messages.values.empty());
    }
  }
}

TEST_F(CompositeLoad, MissingClipFileIsReportedAndPassedOver) {
  const std::string missing = dir_.file("nowhere.3df");
  MessageCapture messages;
  ModelRec& m = model(kModelKindFacets);
  ASSERT_EQ(modelLoadWithClip(&m, partBin_.c_str(), missing.c_str(), "", 0, 0.5), 0);
  ASSERT_EQ(groupsOf(m).size(), 1u);
  EXPECT_EQ(m.groups->clip, 0);
  EXPECT_EQ(messages.values, std::vector<std::string>{"332," + missing});
}

TEST_F(CompositeLoad, MissingPartFailsTheLoad) {
  ModelRec& m = model(kModelKindTriangles);
  EXPECT_EQ(modelLoadWithClip(&m, dir_.file("none.bin").c_str(), clip3df_.c_str(), nullptr, 0, 0),
            -2);
  EXPECT_EQ(modelLoadMerged(&m, dir_.file("none.stl").c_str(), clip3df_.c_str()), -2);
  EXPECT_EQ(modelLoadMultiWithClip(&m, "", clip3df_.c_str(), nullptr, 0, 0), -2);
  EXPECT_EQ(modelIsEmpty(&m), 1);
}

TEST_F(CompositeLoad, WallBecomesALastClipGroupOfDegenerateItems) {
  for (int kind : {kModelKindFacets, kModelKindTriangles}) {
    SCOPED_TRACE(kind);
    ModelRec& m = model(kind);
    ASSERT_EQ(modelLoadWithClipAndWall(&m, partStl_.c_str(), clip3df_.c_str(), nullptr,
                                       wall_.c_str(), 0, 0.5, 0.25),
              0);
    const auto groups = groupsOf(m);
    ASSERT_EQ(groups.size(), 3u);
    const SurfaceGroup* wall = groups[2];
    EXPECT_EQ(wall->clip, 1);
    EXPECT_DOUBLE_EQ(wall->tool.radius, 5.25);
    ASSERT_EQ(itemsOf(wall), 2);
    EXPECT_DOUBLE_EQ(wall->boxMax.z, 4);
    EXPECT_DOUBLE_EQ(wall->boxMax.y, 10);
    if (kind == kModelKindFacets) {
      const Facet& top = wall->facets[0];  // (10,0,1) -> (10,10,4), sorted first
      EXPECT_DOUBLE_EQ(top.v[0].y, 0);
      for (int k = 1; k < 4; ++k) EXPECT_DOUBLE_EQ(top.v[k].z, 4);
    } else {
      const Tri& top = wall->triangles->items[0];
      EXPECT_DOUBLE_EQ(top.v[1].y, 10);
      EXPECT_DOUBLE_EQ(top.v[2].y, 10);
    }
  }
  MessageCapture messages;
  ModelRec& m = model(kModelKindFacets);
  const std::string missing = dir_.file("none.prf");
  ASSERT_EQ(modelLoadWithClipAndWall(&m, partStl_.c_str(), nullptr, nullptr, missing.c_str(), 0,
                                     0.5, 0.25),
            0);
  EXPECT_EQ(groupsOf(m).size(), 1u);
  EXPECT_EQ(messages.values, std::vector<std::string>{"332," + missing});
}

// Extra surfaces join the part's own items, sorted together.
TEST_F(CompositeLoad, ExtraSurfacesAreAppendedToThePart) {
  const std::string extra = text("extra.3df", poly3dfText({quad(9, 0, 20)}));
  for (int kind : {kModelKindFacets, kModelKindTriangles}) {
    SCOPED_TRACE(kind);
    modelSetDiagonalBoxes(kind == kModelKindFacets);
    ModelRec& m = model(kind);
    ASSERT_EQ(modelLoadMerged(&m, partBin_.c_str(), extra.c_str()), 0);
    EXPECT_EQ(modelDiagonalBoxesOn(), kind == kModelKindFacets ? 1 : 0);  // restored
    const int n = kind == kModelKindFacets ? m.facetCount : m.triangles->count;
    EXPECT_EQ(n, kind == kModelKindFacets ? 3 : 6);
    EXPECT_DOUBLE_EQ(m.maxCorners[0].z, 9);
    EXPECT_DOUBLE_EQ(m.boxMax.x, 21);
    EXPECT_DOUBLE_EQ(m.boxMin.z, 1);
    if (kind == kModelKindFacets) {
      ASSERT_NE(diagMin, nullptr);
      std::vector<double> lo(2 * n), hi(2 * n);
      modelFacetDiagExtents(m.facets, n, lo.data(), hi.data());
      EXPECT_EQ(std::vector<double>(diagMin, diagMin + 2 * n), lo);
    }
    modelFreeSurfaces(&m);
    modelSetDiagonalBoxes(0);
  }
  MessageCapture messages;
  ModelRec& m = model(kModelKindTriangles);
  const std::string missing = dir_.file("none.3df");
  ASSERT_EQ(modelLoadMultiMerged(&m, partStl_.c_str(), missing.c_str(), 0, 0), 0);
  EXPECT_EQ(m.triangles->count, 2);
  EXPECT_EQ(messages.values, std::vector<std::string>{"332," + missing});
  ModelRec& quiet = model(kModelKindTriangles);
  ASSERT_EQ(modelLoadMerged(&quiet, partStl_.c_str(), ""), 0);
  EXPECT_EQ(messages.values.size(), 1u);
}

// A multi-surface part, a multi-surface clip file moved in as clip groups,
// and a second clip file.
TEST_F(CompositeLoad, MultiSurfaceFilesWithClipKeepTheirGroupOrder) {
  const std::string part = bytes(
      "part_v2", facetFileBytes(2.0f, {quad(1, 0), quad(2, 1)}, {{1, "%fixture"}, {1, "wing"}}));
  const std::string clip =
      bytes("clip_v2", facetFileBytes(2.0f, {quad(3, 0), quad(4, 1)}, {{1, "a", 0.1}, {1, "b"}}));
  for (int kind : {kModelKindFacets, kModelKindTriangles}) {
    SCOPED_TRACE(kind);
    MessageCapture messages;
    ModelRec& m = model(kind);
    ASSERT_EQ(modelLoadMultiWithClip(&m, part.c_str(), clip.c_str(), clip3df_.c_str(), 0, 0.5), 0);
    const auto groups = groupsOf(m);
    ASSERT_EQ(groups.size(), 5u);
    const double tops[] = {2, 1, 3, 4, 5};
    const int clips[] = {0, 1, 1, 1, 1};
    const double radii[] = {5, 5, 5.6, 5.5, 5.5};
    for (int i = 0; i < 5; ++i) {
      EXPECT_DOUBLE_EQ(groups[i]->boxMax.z, tops[i]) << i;
      EXPECT_EQ(groups[i]->clip, clips[i]) << i;
      EXPECT_DOUBLE_EQ(groups[i]->tool.radius, radii[i]) << i;
    }
    EXPECT_DOUBLE_EQ(m.boxMax.z, 5);
    EXPECT_TRUE(messages.values.empty());
  }
  // A single-surface clip file becomes one clip group copied from its items.
  ModelRec& m = model(kModelKindFacets);
  ASSERT_EQ(modelLoadMultiWithClip(&m, partStl_.c_str(), clip3df_.c_str(), nullptr, 0, 0.5), 0);
  EXPECT_EQ(m.facetCount, 2);
  const auto groups = groupsOf(m);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0]->clip, 1);
  EXPECT_DOUBLE_EQ(groups[0]->boxMax.z, 5);
}

// The facetting client's output names end in ".3df": they load as 3DF files,
// both as the part and as clip or extra surfaces.
TEST_F(CompositeLoad, FacettedSurfacesLoadAsClipAndExtraSurfaces) {
  const std::string kfy = text("surfaces.kfy", poly3dfText({quad(5, 0, -4)}));
  const std::string libDir = std::string(TESSARO_BINARY_DIR) + "/lib/facet_library";
  ASSERT_EQ(poly3dfFacetKfyFile(kfy.c_str(), dir_.file("clip.3df").c_str(), libDir.c_str(), 0.01),
            0);
  ASSERT_EQ(poly3dfFacetKfyFile(kfy.c_str(), dir_.file("extra.3df").c_str(), libDir.c_str(), 0.01),
            0);
  ModelRec& clipped = model(kModelKindFacets);
  ASSERT_EQ(
      modelLoadWithClip(&clipped, partBin_.c_str(), dir_.file("clip.3df").c_str(), nullptr, 0, 0.5),
      0);
  ASSERT_EQ(groupsOf(clipped).size(), 2u);
  EXPECT_EQ(groupsOf(clipped)[1]->clip, 1);
  ModelRec& merged = model(kModelKindTriangles);
  ASSERT_EQ(modelLoadMerged(&merged, partBin_.c_str(), dir_.file("extra.3df").c_str()), 0);
  EXPECT_EQ(merged.triangles->count, 6);
}

// ---- Options -------------------------------------------------------------------------------

TEST_F(ModelLoad, ResetRestoresTheOptions) {
  modelSetLoadZLimit(1);
  modelSetLoadLengthScale(25.4);
  modelLoadReset();
  EXPECT_EQ(modelLoadLengthScale(), 1.0);
  const std::string file = bytes("high", facetFileBytes(1.0f, {quad(1e5)}));
  ModelRec& m = model(kModelKindFacets);
  ASSERT_EQ(modelLoadFile(&m, file.c_str()), 0);
  EXPECT_EQ(m.facetCount, 1);
}

}  // namespace
