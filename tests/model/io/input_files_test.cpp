// Every reader of a file that a job names opens only regular files: a named
// pipe (which would block the open until a writer comes), a device and a
// directory are refused at once with the reader's failure and message 337.
#include "base/input_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "boundaries/bnd_file.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/pcf_file.h"
#include "geometry/curves/profile_file.h"
#include "geometry/curves/text_values.h"
#include "geometry/lists/lists.h"
#include "model/io/facet_file.h"
#include "model/io/model_load.h"
#include "model/io/stl_file.h"
#include "model/mesh/model.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"

namespace {

struct Reader {
  const char* name;
  // True when the reader refused the file.
  std::function<bool(const std::string&)> refuses;
};

bool modelLoadRefuses(const std::string& path, int kind) {
  ToolShape tool{};
  tool.type = kToolBall;
  tool.radius = tool.cornerRadius = 1;
  ModelRec model;
  modelInit(&model, kind);
  model.tool = &tool;
  const int rc = modelLoadFile(&model, path.c_str());
  modelFreeSurfaces(&model);
  return rc == kModelLoadUnreadable;
}

const std::vector<Reader>& readers() {
  static const std::vector<Reader> all = {
      {"stl", [](const std::string& p) { return stlReadFile(p.c_str()) == nullptr; }},
      {"facet version",
       [](const std::string& p) {
         double v = 0;
         return facetFileVersion(p.c_str(), &v) == -1;
       }},
      {"model load facets", [](const std::string& p) { return modelLoadRefuses(p, 4); }},
      {"model load triangles", [](const std::string& p) { return modelLoadRefuses(p, 3); }},
      {"pcf settings",
       [](const std::string& p) { return pcfReadFile(nullptr, p.c_str(), 21) == nullptr; }},
      {"cfg settings",
       [](const std::string& p) { return cfgReadFile(nullptr, p.c_str(), 21) == nullptr; }},
      {"profile lines",
       [](const std::string& p) {
         std::vector<std::string> lines;
         return prfLoadLines(p.c_str(), &lines) == -1;
       }},
      {"text lines", [](const std::string& p) { return textFileCountLines(p.c_str()) == -1; }},
      {"boundary file",
       [](const std::string& p) {
         BoundaryRec* b = bndReadFile(p.c_str(), 0.0, 0.0);
         bndFreeList(b);
         return b == nullptr;
       }},
  };
  return all;
}

struct Special {
  const char* name;
  std::string (*make)(const tsupport::TempDir& dir, const std::string& ext);
};

const Special kSpecials[] = {
    {"NamedPipe",
     [](const tsupport::TempDir& d, const std::string& ext) {
       const std::string p = d.file("pipe" + ext);
       EXPECT_EQ(mkfifo(p.c_str(), 0600), 0);
       return p;
     }},
    {"Device",
     [](const tsupport::TempDir&, const std::string&) { return std::string("/dev/zero"); }},
    {"Directory",
     [](const tsupport::TempDir& d, const std::string& ext) {
       const std::string p = d.file("dir" + ext);
       std::filesystem::create_directory(p);
       return p;
     }},
};

class NonRegularInput : public ::testing::TestWithParam<Special> {};

TEST_P(NonRegularInput, EveryReaderRefusesItAtOnceWithMessage337) {
  for (const char* ext : {"", ".stl", ".kfy", ".pcf"}) {
    for (const Reader& r : readers()) {
      SCOPED_TRACE(std::string(r.name) + " " + ext);
      tsupport::TempDir dir;
      const std::string path = GetParam().make(dir, ext);
      tsupport::MessageCapture messages;
      EXPECT_TRUE(r.refuses(path));
      ASSERT_FALSE(messages.values.empty());
      EXPECT_EQ(messages.values[0], std::to_string(kMsgNotRegularFile) + "," + path);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, NonRegularInput, ::testing::ValuesIn(kSpecials),
                         [](const ::testing::TestParamInfo<Special>& info) {
                           return std::string(info.param.name);
                         });

TEST(InputFiles, RegularFilesOpenAndMissingOnesSendNothing) {
  tsupport::TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("a.txt"), "x"));
  tsupport::MessageCapture messages;
  std::FILE* f = fileOpenInput(dir.file("a.txt").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fgetc(f), 'x');
  std::fclose(f);
  EXPECT_EQ(fileOpenInput(dir.file("missing").c_str(), "rb"), nullptr);
  EXPECT_EQ(fileOpenInput("", "rb"), nullptr);
  EXPECT_TRUE(messages.values.empty());
}

}  // namespace
