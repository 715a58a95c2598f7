#include "model/io/facet_client.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "formats/kfy/kfy_file.h"
#include "model/io/model_load.h"
#include "model/mesh/model.h"
#include "support/temp_dir.h"

namespace {

// The stand-in library and a library of the same name without the export.
const std::string kLibraryDir = std::string(TESSARO_BINARY_DIR) + "/lib/facet_library";
const std::string kNoExportDir = std::string(TESSARO_BINARY_DIR) + "/lib/facet_library_no_export";

std::string kfyText(const std::string& elements) {
  return std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nsurfaces\n" + elements;
}

// One polyhedron of two faces: a triangle and a quadrangle.
const std::string kPolyhedron =
    "oPolyhedron[top](nFace[2])\n{\n oPset[1]()\n {\n"
    "  oP[1](x[0] y[0] z[1])\n  oP[2](x[10] y[0] z[1])\n  oP[3](x[10] y[10] z[2])\n"
    "  oP[4](x[0] y[10] z[2])\n  oP[5](x[20] y[0] z[3])\n }\n"
    " oFace(vx[1/1] vx[1/2] vx[1/3] vx[1/4])\n oFace(vx[1/2] vx[1/5] vx[1/3])\n}\n";

bool loadedNow(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h == nullptr) return false;
  dlclose(h);
  return true;
}

TEST(FacetLibraryPath, JoinsDirectoryAndFileName) {
  struct Row {
    const char* name;
    const char* dir;
    std::string path;
  };
  const std::string lib = kFacetLibraryFileName;
  const Row rows[] = {
      {"plain directory", "d", "d/" + lib},
      {"ends in slash", "d/", "d/" + lib},
      {"ends in backslash", "d\\", "d\\" + lib},
      {"begins with a blank", " d", lib},
      {"empty", "", lib},
      {"null", nullptr, lib},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string path = "unchanged";
    ASSERT_TRUE(facetLibraryPath(r.dir, &path));
    EXPECT_EQ(path, r.path);
  }
}

TEST(FacetLibraryPath, RefusesPathsOfPathMaxOrMore) {
  const std::size_t lib = std::string(kFacetLibraryFileName).size();
  // directory + "/" + file name: one below PATH_MAX fits, PATH_MAX does not.
  const std::string fits(PATH_MAX - 2 - lib, 'd');
  const std::string tooLong(PATH_MAX - 1 - lib, 'd');
  std::string path = "unchanged";
  EXPECT_TRUE(facetLibraryPath(fits.c_str(), &path));
  EXPECT_EQ(path.size(), static_cast<std::size_t>(PATH_MAX - 1));
  path = "unchanged";
  EXPECT_FALSE(facetLibraryPath(tooLong.c_str(), &path));
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(poly3dfFacetKfyFile("a.kfy", "a.3df", tooLong.c_str(), 0.01), -1);
}

class FacetClient : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& elements) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(tsupport::writeFile(path, kfyText(elements)));
    return path;
  }
  tsupport::ScopedWorkDir dir_;
};

// The library without the export is released again (it holds nothing that
// would pin it in the process).
TEST_F(FacetClient, MissingLibraryOrExportGivesMinusOne) {
  const std::string kfy = write("s.kfy", kPolyhedron);
  const std::string out = dir_.file("out.3df");
  EXPECT_EQ(poly3dfFacetKfyFile(kfy.c_str(), out.c_str(), dir_.path().c_str(), 0.01), -1);
  EXPECT_EQ(poly3dfFacetKfyFile(kfy.c_str(), out.c_str(), kNoExportDir.c_str(), 0.01), -1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(loadedNow(kNoExportDir + "/" + kFacetLibraryFileName));
}

TEST_F(FacetClient, NullFileNamesAreRefusedBeforeTheLibrary) {
  const std::string out = dir_.file("out.3df");
  EXPECT_EQ(poly3dfFacetKfyFile(nullptr, out.c_str(), kLibraryDir.c_str(), 0.01), -1);
  EXPECT_EQ(poly3dfFacetKfyFile("s.kfy", nullptr, kLibraryDir.c_str(), 0.01), -1);
}

// Polyhedra already faceted come out as a 3DF file that the model loads.
TEST_F(FacetClient, WrittenFileLoadsIntoAModel) {
  const std::string kfy = write("surfaces.kfy", kPolyhedron);
  const std::string out = dir_.file("clip.3df");
  ASSERT_EQ(poly3dfFacetKfyFile(kfy.c_str(), out.c_str(), kLibraryDir.c_str(), 0.01), 0);

  ModelRec model;
  modelInit(&model, kModelKindFacets);
  ASSERT_EQ(modelLoadFile(&model, out.c_str()), 0);
  EXPECT_EQ(model.facetCount, 2);
  EXPECT_DOUBLE_EQ(model.boxMax.z, 3.0);
  modelFreeSurfaces(&model);

  // The directory may also end in a slash; a second call loads afresh.
  ASSERT_EQ(poly3dfFacetKfyFile(kfy.c_str(), out.c_str(), (kLibraryDir + "/").c_str(), 0.01), 0);
}

TEST_F(FacetClient, LibraryFailuresPassThrough) {
  struct Row {
    const char* name;
    std::string file;  // written as the kFY file when not empty
    int result;
  };
  const Row rows[] = {
      {"a surface that is not a polyhedron", kfyText(kPolyhedron + "oSurface[7](kind[nurbs])\n"),
       3},
      {"a polyhedron the reader refuses",
       kfyText("oPolyhedron[p](nFace[1])\n{\n oFace(vx[1/1] vx[1/2] vx[1/3])\n}\n"), 3},
      {"no surface at all", kfyText("vprecision(4)\n"), 2},
      {"not a kFY file", "solid x\nendsolid x\n", 1},
      {"a cut element", kfyText("oPolyhedron[p](nFace[1])\n{\n oP[1](x[1"), 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string kfy = dir_.file("in.kfy");
    ASSERT_TRUE(tsupport::writeFile(kfy, r.file));
    const std::string out = dir_.file("out.3df");
    EXPECT_EQ(poly3dfFacetKfyFile(kfy.c_str(), out.c_str(), kLibraryDir.c_str(), 0.01), r.result);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST_F(FacetClient, UnwritableOutputLeavesNoFile) {
  const std::string kfy = write("s.kfy", kPolyhedron);
  const std::string out = dir_.file("missing/out.3df");
  EXPECT_EQ(poly3dfFacetKfyFile(kfy.c_str(), out.c_str(), kLibraryDir.c_str(), 0.01), 4);
  EXPECT_EQ(poly3dfFacetKfyFile(kfy.c_str(), "", kLibraryDir.c_str(), 0.01), 5);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
}

}  // namespace
