#include "cycle/settings_loader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/memory.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Echo {
  int channel;
  int code;
  std::string name;
  std::string value;
  bool operator==(const Echo&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Echo& e) {
  return os << e.channel << " " << e.code << " " << e.name << " [" << e.value << "]";
}

std::vector<Echo> gEchoes;

int captureChannel(int channel, OutputRecord* rec) {
  gEchoes.push_back({channel, outRecGetI32(rec, kRecCode), outRecText(rec, kRecName),
                     outRecText(rec, kRecValue)});
  return 1;
}
int captureStatus(CycleDescriptor*, OutputRecord* rec) { return captureChannel(0, rec); }
int captureSettings(CycleDescriptor*, OutputRecord* rec) { return captureChannel(1, rec); }

// Runs each test in its own temporary working directory with a fresh
// context of the cycle id "qzProf".
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = std::make_unique<CycleDescriptor>();
    ctx_->id = "qzProf";
    gEchoes.clear();
  }
  void TearDown() override {
    paramListFree(ctx_->params);
    cfgLinesFree(ctx_->cfgLines);
    outFreeChannels(ctx_.get());
    memFree(ctx_->settingsFile);
  }
  static void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(tsupport::writeFile(name, text)) << name;
  }
  static void copyData(const char* name) {
    fs::copy_file(fs::path(TESSARO_TEST_DATA) / "settings" / name, name);
  }
  int load(const char* settingsFile) {
    memFree(ctx_->settingsFile);
    ctx_->settingsFile = settingsFile ? strDuplicate(settingsFile) : nullptr;
    return cycLoadSettings(ctx_.get());
  }
  std::string param(const char* name, short* origin = nullptr) {
    char* v = paramListGet(ctx_->params, name, origin);
    std::string s = v ? v : "<none>";
    memFree(v);
    return s;
  }
  std::vector<Echo> echo() {
    outRegisterChannel(ctx_.get(), 0, captureStatus, captureStatus, 1);
    outRegisterChannel(ctx_.get(), 1, captureSettings, captureSettings, 1);
    cycEchoSettings(ctx_.get());
    return gEchoes;
  }
  void expectColumn(const CsMat& m, int col, double x, double y, double z) {
    EXPECT_DOUBLE_EQ(m.m[0][col], x) << "column " << col;
    EXPECT_DOUBLE_EQ(m.m[1][col], y) << "column " << col;
    EXPECT_DOUBLE_EQ(m.m[2][col], z) << "column " << col;
    EXPECT_DOUBLE_EQ(m.m[3][col], col == 3 ? 1.0 : 0.0) << "column " << col;
  }
  tsupport::ScopedWorkDir work_;
  std::unique_ptr<CycleDescriptor> ctx_;
};

struct NameCase {
  const char* label;
  const char* argument;  // the -S name; null for none
  int cfgMode;
  const char* readFile;  // the file that was read; null for none
};

class SettingsFileName : public SettingsTest, public ::testing::WithParamInterface<NameCase> {};

// Each candidate file names itself, so the parameters show which was read.
TEST_P(SettingsFileName, ChoosesModeAndFile) {
  for (const char* f :
       {"job", "job.pcf", "job.PCF", "job.PCF.pcf", ".CFG", ".CFG.pcf", "x.pcf.pcf", "x.pcf"}) {
    write(f, std::string("src := \"") + f + "\"\n");
  }
  for (const char* f : {"a.cfg", "a.cfg.CFG", "b.CFG", "b.CFG.CFG"}) {
    write(f, std::string("*APT ") + f + "\n");
  }
  const NameCase& c = GetParam();
  EXPECT_EQ(load(c.argument), 1);
  EXPECT_EQ(ctx_->cfgMode, c.cfgMode);
  const std::string read = param(c.cfgMode ? "pofFilename" : "src");
  EXPECT_EQ(read, c.readFile ? c.readFile : "<none>");
}

const NameCase kNameCases[] = {
    {"BareNameGetsPcfSuffix", "job", 0, "job.pcf"},
    {"UpperCasePcfSuffixKept", "job.PCF", 0, "job.PCF"},
    {"PcfSuffixKept", "x.pcf", 0, "x.pcf"},
    {"CfgSuffixAnyCaseIsCfgMode", "a.cfg", 1, "a.cfg"},
    {"UpperCaseCfg", "b.CFG", 1, "b.CFG"},
    {"FourCharacterCfgNameIsPcf", ".CFG", 0, ".CFG.pcf"},
    {"NoSettingsFile", nullptr, 0, nullptr},
    {"EmptySettingsName", "", 0, nullptr},
    {"MissingFile", "none", 0, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Settings, SettingsFileName, ::testing::ValuesIn(kNameCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SettingsTest, StdinNameReadsStandardInput) {
  write("in", "src := stdin\n");
  const int saved = dup(0);
  FILE* in = std::fopen("in", "rb");
  ASSERT_NE(in, nullptr);
  dup2(fileno(in), 0);
  std::fclose(in);
  clearerr(stdin);
  load("| stdin");
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  EXPECT_EQ(ctx_->cfgMode, 0);
  EXPECT_EQ(param("src"), "stdin");
}

std::vector<int> gEvents;
void recordEvent(CycleDescriptor*, int code, intptr_t) { gEvents.push_back(code); }
int slotSeven(CycleDescriptor*) {
  gEvents.push_back(7);
  return 7;
}

TEST_F(SettingsTest, LoadRunsTheInheritedSlotBetweenEvents) {
  gEvents.clear();
  ctx_->eventHook = recordEvent;
  ctx_->slots[kSlotLoadPcf] = slotSeven;
  EXPECT_EQ(load("job"), 7);
  EXPECT_EQ(gEvents, (std::vector<int>{121, 7, 129}));
  gEvents.clear();
  ctx_->slots[kSlotLoadCfg] = slotSeven;
  EXPECT_EQ(load("job.CFG"), 7);
  EXPECT_EQ(ctx_->cfgMode, 1);
  EXPECT_EQ(gEvents, (std::vector<int>{121, 7, 129}));
}

struct AxisCase {
  const char* label;
  const char* value;
  double x, y, z;
};

class SettingsAxis : public SettingsTest, public ::testing::WithParamInterface<AxisCase> {};

TEST_P(SettingsAxis, FrameAxisIsNormalisedOrIgnored) {
  const AxisCase& c = GetParam();
  write("job.pcf", std::string("frameCs_y := \"") + c.value + "\"\n");
  load("job");
  expectColumn(ctx_->frameCs, 1, c.x, c.y, c.z);
  expectColumn(ctx_->frameCs, 0, 1, 0, 0);
  expectColumn(ctx_->toolCs, 1, c.x, c.y, c.z);
}

const AxisCase kAxisCases[] = {
    {"LongAxisNormalised", "0,0,2", 0, 0, 1},
    {"BlankSeparated", "3 -4 0", 0.6, -0.8, 0},
    {"ZeroAxisIgnored", "0,0,0", 0, 1, 0},
    {"TinyAxisIgnored", "1e-9,0,0", 0, 1, 0},
    {"TwoNumbersIgnored", "1,2", 0, 1, 0},
    {"TextIgnored", "up", 0, 1, 0},
    {"OverflowingNumberIgnored", "1e999,0,0", 0, 1, 0},
};

INSTANTIATE_TEST_SUITE_P(Settings, SettingsAxis, ::testing::ValuesIn(kAxisCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SettingsTest, ToolFrameDefaultsToFrameAndOwnKeysWin) {
  write("qzProf.def", "frameCs_x := 0,1,0\nframeCs_o := 5,6,7\n");
  write("job.pcf", "frameCs_x := 0,0,3\ntoolCs_x := 1,1,0\n");
  load("job");
  expectColumn(ctx_->frameCs, 0, 0, 0, 1);  // the -S value replaced .def
  expectColumn(ctx_->frameCs, 3, 5, 6, 7);  // origins are not normalised
  expectColumn(ctx_->toolCs, 0, std::sqrt(0.5), std::sqrt(0.5), 0);
  expectColumn(ctx_->toolCs, 3, 5, 6, 7);
  short origin = 0;
  EXPECT_EQ(param("toolCs_x", &origin), "1,1,0");
  EXPECT_EQ(origin, kParamOriginSettings);
  EXPECT_EQ(param("toolCs_o", &origin), "5,6,7");
  EXPECT_EQ(origin, kParamOriginRuntime);
  EXPECT_EQ(param("toolCs_y"), "<none>");  // frameCs_y is not set either
}

// A ".def" file with a PCF file: every parameter once, newest first, the
// defaults as "def", the -S values and the added tool keys as "call".
TEST_F(SettingsTest, EchoOfDefAndPcfFilesIsExact) {
  copyData("qzProf.def");
  copyData("job.pcf");
  ASSERT_EQ(load("job"), 1);
  const std::vector<Echo> expected = {
      {0, 112, "cfgSource", "job"},
      {1, 201, "call", "\"toolCs_o\":=\"10,20,30\""},
      {1, 201, "call", "\"toolCs_z\":=\"0,0,2\""},
      {1, 201, "call", "\"toolCs_x\":=\"1,0,0\""},
      {1, 201, "call", "\"frameCs_o\":=\"10,20,30\""},
      {1, 201, "call", "\"frameCs_z\":=\"0,0,2\""},
      {1, 201, "call", "\"pofFilename\":=\"out.pof\""},
      {1, 202, "def", "\"SystemLanguage\":=\"en\""},
      {1, 202, "def", "\"frameCs_x\":=\"1,0,0\""},
      {1, 201, "call", "\"feed\":=\"200\""},
      {1, 202, "def", "\"precision\":=\"6\""},
  };
  EXPECT_EQ(echo(), expected);
  expectColumn(ctx_->frameCs, 2, 0, 0, 1);
  expectColumn(ctx_->frameCs, 3, 10, 20, 30);
}

TEST_F(SettingsTest, EchoOfCfgFileIsExact) {
  copyData("a.CFG");
  ASSERT_EQ(load("a.CFG"), 1);
  EXPECT_EQ(ctx_->cfgMode, 1);
  const std::vector<Echo> expected = {
      {0, 112, "cfgSource", "a.CFG"},
      {1, 201, "call", "\"frameComment\":=\"front \\040top\\041\""},
      {1, 201, "call", "\"zeroPointID\":=\"54\""},
      {1, 201, "call", "\"pofFilename\":=\"out.pof\""},
      {1, 204, "cfg", "*APT out.pof"},
      {1, 204, "cfg", "*FRAME_ID 54"},
      {1, 204, "cfg", "*FRAME_COMMENT front (top)"},
      {1, 204, "cfg", "*NCKO_X 0,0,2"},
      {1, 204, "cfg", "*NCKO_X 0,1,0"},
      {1, 204, "cfg", "*NCKO_O 1 2 3"},
      {1, 204, "cfg", "*WZKO_Z 1,0,0"},
      {1, 204, "cfg", "*EMPTY"},
      {1, 204, "cfg", "*NCKO_Y 0 0 5"},
  };
  EXPECT_EQ(echo(), expected);
  // Of the two *NCKO_X lines the second counts.
  expectColumn(ctx_->frameCs, 0, 0, 1, 0);
  expectColumn(ctx_->frameCs, 1, 0, 0, 1);
  expectColumn(ctx_->frameCs, 2, 0, 0, 1);
  expectColumn(ctx_->frameCs, 3, 1, 2, 3);
  expectColumn(ctx_->toolCs, 0, 0, 1, 0);
  expectColumn(ctx_->toolCs, 2, 1, 0, 0);
  expectColumn(ctx_->toolCs, 3, 1, 2, 3);
}

TEST_F(SettingsTest, CfgNameWithoutSuffixGetsIt) {
  write("a.cfg.CFG", "*FRAME_ID 7\n");
  ctx_->settingsFile = strDuplicate("a.cfg");
  EXPECT_EQ(cycLoadCfg(ctx_.get()), 1);
  EXPECT_EQ(param("zeroPointID"), "<none>");  // a.cfg ends in ".CFG"
  cfgLinesFree(ctx_->cfgLines);
  ctx_->cfgLines = nullptr;
  memFree(ctx_->settingsFile);
  ctx_->settingsFile = strDuplicate("a");
  write("a.CFG", "*FRAME_ID 8\n");
  cycLoadCfg(ctx_.get());
  EXPECT_EQ(param("zeroPointID"), "8");
}

// Echo texts longer than a record field are cut to it, never overflow it.
TEST_F(SettingsTest, LongEchoValuesAreCutToTheField) {
  const std::string longValue(1000, 'v');
  write("job.pcf", "long := " + longValue + "\n");
  write("c.CFG", "*LONG " + longValue + "\n");
  load("job");
  std::vector<Echo> got = echo();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].value.size(), kRecTextField - 1);
  EXPECT_EQ(got[1].value, ("\"long\":=\"" + longValue).substr(0, 255));

  paramListFree(ctx_->params);
  ctx_->params = nullptr;
  gEchoes.clear();
  load("c.CFG");
  cycEchoSettings(ctx_.get());
  ASSERT_EQ(gEchoes.size(), 2u);
  EXPECT_EQ(gEchoes[1].value, ("*LONG " + longValue).substr(0, 255));
}

// Hostile settings files load without harm at every truncated length.
TEST_F(SettingsTest, TruncatedSettingsFilesLoadCleanly) {
  copyData("job.pcf");
  copyData("a.CFG");
  for (const char* name : {"job.pcf", "a.CFG"}) {
    std::ifstream in(name, std::ios::binary);
    const std::string full((std::istreambuf_iterator<char>(in)), {});
    for (size_t n = 0; n <= full.size(); ++n) {
      write("cut.pcf", full.substr(0, n));
      write("cut.CFG", full.substr(0, n));
      EXPECT_EQ(load(std::strcmp(name, "a.CFG") == 0 ? "cut.CFG" : "cut"), 1);
      paramListFree(ctx_->params);
      ctx_->params = nullptr;
      cfgLinesFree(ctx_->cfgLines);
      ctx_->cfgLines = nullptr;
    }
  }
}

}  // namespace
