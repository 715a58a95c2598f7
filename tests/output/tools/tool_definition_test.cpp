#include "output/tools/tool_definition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "output/tools/tool_contours.h"
#include "support/record_capture.h"
#include "support/temp_dir.h"

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;
using V = std::vector<std::string>;

// Records in a compact text form.
std::string brief(const CapturedRecord& r) {
  if (r.channel == 11 && r.code == 3199) return "11 " + r.name;
  if (r.channel == 11) return "11 v" + r.name + "(" + r.value + ")";
  if (r.channel == 2) return "2 " + r.name;
  return std::to_string(r.channel) + " " + r.name + "(" + r.value + ")";
}

class ToolDefinitionTest : public ::testing::Test {
 protected:
  void TearDown() override { reset(); }
  // A context without inputs again (its channels stay).
  void reset() {
    toolRecordRelease(cap_.ctx.toolRecord);
    cap_.ctx.toolRecord = nullptr;
    cfgLinesFree(cap_.ctx.cfgLines);
    cap_.ctx.cfgLines = nullptr;
    paramListFree(cap_.ctx.params);
    cap_.ctx.params = nullptr;
    cap_.ctx.toolCs = kCsIdentity;
  }

  V runCfg(const Lines& lines) {
    cap_.ctx.cfgMode = 1;
    for (const auto& [k, v] : lines) {
      cap_.ctx.cfgLines = cfgLinesAppend(cap_.ctx.cfgLines, k.c_str(), v.c_str(), 21);
    }
    return run();
  }
  V runPcf(const Lines& params) {
    cap_.ctx.cfgMode = 0;
    for (const auto& [k, v] : params) {
      cap_.ctx.params = paramListSet(cap_.ctx.params, k.c_str(), v.c_str(), 21);
    }
    return run();
  }
  V run() {
    cap_.ctx.toolOutput = 1;
    toolWriteDefinition(stdout, &cap_.ctx);
    V out;
    for (const CapturedRecord& r : cap_.take()) out.push_back(brief(r));
    return out;
  }
  // The lines of out that start with prefix.
  static V only(const V& out, const std::string& prefix) {
    V r;
    for (const std::string& s : out) {
      if (s.rfind(prefix, 0) == 0) r.push_back(s);
    }
    return r;
  }
  static bool has(const V& out, const std::string& line) {
    return std::find(out.begin(), out.end(), line) != out.end();
  }

  RecordCapture cap_{{0, 2, 10, 11}};
  tsupport::TempDir dir_;
};

TEST_F(ToolDefinitionTest, CfgBallMillWholeDefinition) {
  const V out = runCfg({{"*WKZNUMMER", "7"},
                        {"*FRTYP", "1"},
                        {"*FRRADIUS", "5"},
                        {"*FRLAENGE", "60"},
                        {"*DREHRICHT", "1"},
                        {"*KUEHLMITTEL", "3"},
                        {"*TOOL_TIP", "2"}});
  const V want = {
      "0 toolCs_x(1.00000000,0.00000000,0.00000000)",
      "0 toolCs_y(0.00000000,1.00000000,0.00000000)",
      "0 toolCs_z(0.00000000,0.00000000,1.00000000)",
      "0 toolCs_o(0.00000000,0.00000000,0.00000000)",
      "11 oTool[7]( type[ballMill] ) {",
      "11 vtoolDiameter(10.000000)",
      "11 vcornerRadius(5.000000)",
      "11 vtoolLength(60)",
      "11 vtoolRTCPlength(60)",
      "11 vspindleRotation(clockwise)",
      "11 vtoolReference(center)",
      "11 }",
      "10 toolReference(center)",
      "10 toolReferenceLength(5.000000)",
      "10 T(7)",
      "10 tr(TC)",
      "10 tr(toolReference)",
      "10 M8(0,1)",
      "10 M8add(0)",
      "10 tr(M8)",
  };
  EXPECT_EQ(out, want);
}

TEST_F(ToolDefinitionTest, CfgTypeCodes) {
  const struct {
    const char* value;
    const char* line;
  } rows[] = {
      {"1", "oTool[1]( type[ballMill] ) {"},
      {"11", "oTool[1]( type[ballMill] ) {"},
      {"6", "oTool[1]( type[ballMill] ) {"},
      {"18", "oTool[1]( type[ballMill] ) {"},
      {"2", "oTool[1]( type[endMill] ) {"},
      {"4", "oTool[1]( type[endMill] ) {"},
      {"10", "oTool[1]( type[endMill] ) {"},
      {"3", "oTool[1]( type[radiusMill] ) {"},
      {"5", "oTool[1]( type[drilTool] ) {"},
      {"17", "oTool[1]( type[Tslotcutter] ) {"},
      {"101", "oTool[1]( type[insertTtool] ) {"},
      {"1019", "oTool[1]( type[insertTtool] ) {"},
      {"104", "oTool[1]( type[axialRecessingTtool] ) {"},
  };
  for (const auto& row : rows) {
    reset();
    const V out = runCfg({{"*WKZNUMMER", "1"}, {"*FRTYP", row.value}});
    EXPECT_TRUE(has(out, std::string("11 ") + row.line)) << row.value;
  }
}

TEST_F(ToolDefinitionTest, TurningToolWritesInsertVariablesAndTurningReference) {
  const V out = runCfg({{"*WKZNUMMER", "9"},
                        {"*FRTYP", "101"},
                        {"*FRBOGEN", "0.4"},
                        {"*INSERT_TYPE", "1"},
                        {"*INSERT_ANGLE", "55"},
                        {"*SIDE_OF_INSERT", "-1"},
                        {"*SHAFT_DIAMETER2", "20"},
                        {"*TOOL_TIP", "3"},
                        {"*REFERENCE_OFFSET_Z", "1"}});
  EXPECT_EQ(only(out, "11"), (V{"11 oTool[9]( type[insertTtool] ) {", "11 vinsertType(rhombic)",
                                "11 vsideOfInsert(right)", "11 vcornerRadius(0.4)",
                                "11 vinsertAngle(55)", "11 vtoolShaftDiameter2(20)", "11 }"}));
  EXPECT_EQ(only(out, "10"), (V{"10 referenceOffsetZ(0)", "10 referenceOffsetX(0)",
                                "10 toolReference(left)", "10 T(9)", "10 tr(TC)",
                                "10 tr(toolReference)", "10 M8(0,0)", "10 M8add(0)", "10 tr(M8)"}));
}

TEST_F(ToolDefinitionTest, PcfDrillToolInCapitalsAndReferenceLength) {
  const V out = runPcf({{"toolName", "T12"},
                        {"toolType", "DRILLTOOL"},
                        {"toolDiameter", "8"},
                        {"TRef.gauge", "42.5"},
                        {"toolReference", "gauge"},
                        {"coolant", "1,1"},
                        {"NCstop", "true"}});
  EXPECT_TRUE(has(out, "11 oTool[T12]( type[drilTool] ) {"));
  EXPECT_TRUE(has(out, "11 vtoolDiameter(8.000000)"));
  EXPECT_TRUE(has(out, "11 vTRef.gauge(42.5)"));
  EXPECT_EQ(only(out, "10"),
            (V{"10 tr(M0)", "10 toolReference(gauge)", "10 toolReferenceLength(42.5)", "10 T(T12)",
               "10 tr(TC)", "10 tr(toolReference)", "10 M8(1,1)", "10 M8add(0)", "10 tr(M8)"}));
}

TEST_F(ToolDefinitionTest, WithoutIdentifierOnlyToolCsCommentAndStop) {
  const V out = runCfg(
      {{"*WKZKOMMENTAR", "rough"}, {"*FRTYP", "1"}, {"*NC_STOP", "1"}, {"*WZKO_O", "1,2,3"}});
  EXPECT_EQ(out, (V{"0 toolCs_x(1.00000000,0.00000000,0.00000000)",
                    "0 toolCs_y(0.00000000,1.00000000,0.00000000)",
                    "0 toolCs_z(0.00000000,0.00000000,1.00000000)",
                    "0 toolCs_o(1.00000000,2.00000000,3.00000000)", "2 rough", "10 tr(M0)",
                    "10 toolReference(center)", "10 toolReferenceLength(0.000000)"}));
}

TEST_F(ToolDefinitionTest, CommentIsCutBeforeEscapingAndTheAttributeNeverSplitsAnEscape) {
  // 300 characters, every third one escaped ("(" becomes "\040").
  std::string comment;
  for (int i = 0; i < 100; ++i) comment += "ab(";
  const V out = runCfg({{"*WKZNUMMER", "7"}, {"*FRTYP", "2"}, {"*WKZKOMMENTAR", comment}});
  const V tool = only(out, "11 oTool");
  ASSERT_EQ(tool.size(), 1u);
  const std::string& line = tool[0];
  EXPECT_LE(line.size() - 3, 255u) << "the line fits its record field";
  EXPECT_EQ(line.substr(line.size() - 4), " ) {");
  const std::size_t open = line.find(" cmnt[");
  ASSERT_NE(open, std::string::npos);
  const std::string cmnt = line.substr(open + 6, line.size() - 4 - 1 - (open + 6));
  EXPECT_LE(cmnt.size(), 246u);
  // Whole escapes only: every backslash is followed by its three digits.
  for (std::size_t i = cmnt.find('\\'); i != std::string::npos; i = cmnt.find('\\', i + 1)) {
    EXPECT_EQ(cmnt.substr(i, 4), "\\040") << i;
  }
}

TEST_F(ToolDefinitionTest, ShortCommentAttributeIsWrittenWhole) {
  const V out = runPcf({{"toolName", "3"}, {"toolComment", "rough (2)"}});
  EXPECT_TRUE(has(out, "11 oTool[3]( cmnt[rough \\0402\\041] ) {"));
  EXPECT_TRUE(has(out, "2 rough (2)"));
}

TEST_F(ToolDefinitionTest, HolderPresenceFromDimensionsOrContour) {
  V out = runCfg({{"*WKZNUMMER", "1"}, {"*LENGTH1", "0"}});
  EXPECT_FALSE(has(out, "11 oToolHolder( ) {")) << "a length of 0 is no holder";

  reset();
  const std::string path = dir_.file("tool.kfy");
  ASSERT_TRUE(tsupport::writeFile(
      path, std::string(kfyBanner) +
                "\nkFY-Version: 1.0\nGeometry\nt\noContour[Holder]( )\n{\n oL( x[0/5] y[0/0] )\n}\n"
                "oContour[Tool]( )\n{\n oL( x[0/2] y[0/0] )\n}\n"));
  out = runCfg({{"*WKZNUMMER", "1"},
                {"*TOOL_CONTOUR", path},
                {"*HOLDERTYP", "HSK 63"},
                {"*HEAD_DIAMETER1", "90"}});
  EXPECT_EQ(
      only(out, "11"),
      (V{"11 oTool[1]( type[endMill] ) {", "11 vtoolDiameter(0.000000)", "11  oContour( )  {",
         "11   oM( x[/0] y[/0] )", "11   oL( x[/2] y[/0] )  }", "11 oToolHolder( type[HSK 63] ) {",
         "11   oContour( )  {", "11    oM( x[/0] y[/0] )", "11    oL( x[/5] y[/0] )  }", "11   }",
         "11 oToolHead( ) {", "11 vdiameter1(90)", "11   }", "11 }"}));
}

TEST_F(ToolDefinitionTest, NoOutputFlagOrStreamWritesNothingButMakesTheRecord) {
  cap_.ctx.cfgMode = 1;
  cap_.ctx.cfgLines = cfgLinesAppend(nullptr, "*WKZNUMMER", "1", 21);
  cap_.ctx.toolOutput = 0;
  toolWriteDefinition(stdout, &cap_.ctx);
  EXPECT_NE(cap_.ctx.toolRecord, nullptr);
  cap_.ctx.toolOutput = 1;
  toolWriteDefinition(nullptr, &cap_.ctx);
  EXPECT_TRUE(cap_.take().empty());
  toolWriteDefinition(stdout, nullptr);
}

}  // namespace
