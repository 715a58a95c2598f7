// Line forms of the POF writers, literal blocks, user parameters, the alias
// gate, time stamps, run ids and the layer scan.  Records are handed to the
// writers directly or through the emitters; the POF stream is a file in a
// temporary directory.

#include "output/pof/pof_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "support/temp_dir.h"

namespace {

using tsupport::splitLines;

class PofWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pofResetLevels();
    PofTestPins pins{"12/10/26 13:04:33 Thu Dec", "0a1b2c3d-0000-4000-8000-00000000abcd", true, 0};
    pofSetTestPins(&pins);
    ctx_.title = "Test Cycle";
    ctx_.cycleNumber = 77;
    ctx_.firstRecord = 0;
    registerChannels();
  }

  void TearDown() override {
    outFreeChannels(&ctx_);
    paramListFree(ctx_.params);
    cfgLinesFree(ctx_.cfgLines);
    pofResetLevels();
    pofSetTestPins(nullptr);
  }

  void registerChannels() {
    outRegisterChannel(&ctx_, 0, pofWriteStatus, nullptr, 1);
    outRegisterChannel(&ctx_, 1, pofWriteSettingLine, nullptr, 1);
    outRegisterChannel(&ctx_, 2, pofWriteComment, nullptr, 1);
    outRegisterChannel(&ctx_, 10, pofWriteArg, nullptr, 1);
    outRegisterChannel(&ctx_, 11, pofWriteVariable, nullptr, 1);
    outRegisterChannel(&ctx_, 12, pofWriteMarker, nullptr, 1);
    outRegisterChannel(&ctx_, 30, pofWriteDrillPoint, nullptr, 1);
    outRegisterChannel(&ctx_, 31, pofWriteContourCh31, nullptr, 1);
    outRegisterChannel(&ctx_, 32, pofWriteNcBlock, nullptr, 1);
  }

  void setParam(const char* name, const char* value) {
    ctx_.params = paramListSet(ctx_.params, name, value, kParamOriginSettings);
  }
  void addCfg(const char* keyword, const char* value) {
    ctx_.cfgLines = cfgLinesAppend(ctx_.cfgLines, keyword, value, kCfgOriginSettingsFile);
  }
  // Replaces the settings: entries whose key begins with "*" become cfg
  // lines, the others parameters, in the given order.
  void useSettings(bool cfgMode, const std::vector<std::pair<const char*, const char*>>& entries) {
    paramListFree(ctx_.params);
    ctx_.params = nullptr;
    cfgLinesFree(ctx_.cfgLines);
    ctx_.cfgLines = nullptr;
    ctx_.cfgMode = cfgMode ? 1 : 0;
    for (const auto& [k, v] : entries) {
      if (k[0] == '*') {
        addCfg(k, v);
      } else {
        setParam(k, v);
      }
    }
  }

  // Everything fn writes on the POF stream.
  std::string capture(const std::function<void()>& fn) {
    const std::string path = dir_.file("capture.pof");
    std::FILE* f = std::fopen(path.c_str(), "w+");
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(pofSetStream(f), 1);
    fn();
    std::fflush(f);
    pofSetStream(stdout);
    std::fclose(f);
    return tsupport::readFile(path);
  }

  // The lines fn writes, without the argument lines of the first-position
  // bracket (tested on their own).
  std::vector<std::string> linesWithoutBracket(const std::function<void()>& fn) {
    std::vector<std::string> out;
    for (const std::string& l : splitLines(capture(fn))) {
      if (l.rfind("10: ", 0) != 0) out.push_back(l);
    }
    return out;
  }

  tsupport::TempDir dir_;
  CycleDescriptor ctx_{};
};

// --- record builders -------------------------------------------------------

struct F64 {
  std::size_t offset;
  double v;
};
struct I32 {
  std::size_t offset;
  int32_t v;
};

OutputRecord makeRecord(int code, std::vector<I32> ints, std::vector<F64> reals,
                        const char* name = nullptr, const char* value = nullptr) {
  OutputRecord r;
  outRecClear(&r, code);
  for (const I32& i : ints) outRecSetI32(&r, i.offset, i.v);
  for (const F64& f : reals) outRecSetF64(&r, f.offset, f.v);
  if (name != nullptr) outRecSetText(&r, kRecName, name);
  if (value != nullptr) outRecSetText(&r, kRecValue, value);
  return r;
}

struct LineCase {
  const char* name;
  unsigned channel;
  OutputRecord record;
  const char* expected;  // "" when nothing is written
};

// Geometry channel lines.  The move counter starts at 41 for every row.
std::vector<LineCase> geometryCases() {
  const std::vector<F64> xyz = {{40, 1.5}, {48, -2}, {56, 3}};
  return {
      {"ContourBeginNamed", 31, makeRecord(3001, {}, {}, "P1", "u[path]"),
       "31: oContour[P1]( u[path] )   {"},
      {"ContourBeginBare", 31, makeRecord(3001, {}, {}), "31: oContour( )   {"},
      {"ContourEnd", 31, makeRecord(3002, {}, {}), "31: }"},
      {"RapidXY", 31, makeRecord(3101, {}, xyz), "31: oM[42]( x[/1.5] y[/-2] )"},
      {"RapidZ", 31, makeRecord(3102, {}, xyz), "31: oM[42]( z[/3] )"},
      {"RapidXYZ", 31, makeRecord(3103, {}, xyz), "31: oM[42]( x[/1.5] y[/-2] z[/3] )"},
      {"RapidX", 31, makeRecord(3105, {}, xyz), "31: oM[42]( x[/1.5] )"},
      {"RapidY", 31, makeRecord(3106, {}, xyz), "31: oM[42]( y[/-2] )"},
      {"RapidFlaggedXZ", 31,
       makeRecord(3107, {{8, 1}, {12, 0}, {16, 1}}, {{24, 1}, {32, 2}, {40, 3}}),
       "31: oM[42]( x[/1] z[/3] )"},
      {"RapidFiveAxis", 31,
       makeRecord(3109, {{12, 1}, {48, 1}, {56, 1}}, {{32, 2}, {64, 0.5}, {80, -0.25}}),
       "31: oM[42]( y[/2] u[/0.50000000] w[/-0.25000000] )"},
      {"RapidUV", 31, makeRecord(3108, {}, {{40, 1}, {48, 2}, {64, 0.5}, {72, 0.25}}),
       "31: oM[42]( x[/1] y[/2] u[/0.5] v[/0.25] )"},
      {"LineXY", 31, makeRecord(3111, {}, xyz), "31: oL[42]( x[/1.5] y[/-2] )"},
      {"LineZ", 31, makeRecord(3112, {}, xyz), "31: oL[42]( z[/3] )"},
      {"LineXYZ", 31, makeRecord(3113, {}, xyz), "31: oL[42]( x[/1.5] y[/-2] z[/3] )"},
      {"LineFlaggedY", 31, makeRecord(3114, {{12, 1}}, {{32, 2}}), "31: oL[42]( y[/2] )"},
      {"LineX", 31, makeRecord(3115, {}, xyz), "31: oL[42]( x[/1.5] )"},
      {"LineY", 31, makeRecord(3116, {}, xyz), "31: oL[42]( y[/-2] )"},
      {"LineUV", 31, makeRecord(3117, {}, {{40, 1}, {48, 2}, {64, 0.5}, {72, 0.25}}),
       "31: oL[42]( x[/1] y[/2] u[/0.5] v[/0.25] )"},
      {"LineFiveAxisAll", 31,
       makeRecord(3118, {{8, 1}, {12, 1}, {16, 1}, {48, 1}, {52, 1}, {56, 1}},
                  {{24, 1}, {32, 2}, {40, 3}, {64, 0.123456789}, {72, 0}, {80, 1}}),
       "31: oL[42]( x[/1] y[/2] z[/3] u[/0.12345679] v[/0.00000000] w[/1.00000000] )"},
      {"ArcClockwise", 31, makeRecord(3121, {{8, 1}}, {{40, 1}, {48, 2}, {64, 0}, {72, 0.5}}),
       "31: oA[42]( o[-] x[/1/0] y[/2/0.5] )"},
      {"ArcOtherDirection", 31, makeRecord(3121, {{8, 2}}, {{40, 1}, {48, 2}, {64, 0}, {72, 0.5}}),
       "31: oA[42]( o[+] x[/1/0] y[/2/0.5] )"},
      {"Arc3D", 31,
       makeRecord(3122, {{8, 0}}, {{40, 1}, {48, 2}, {56, 3}, {64, 4}, {72, 5}, {80, 6}}),
       "31: oA[42]( o[+] x[/1/4] y[/2/5] z[/3/6] )"},
      {"Variable", 31, makeRecord(3131, {}, {}, "depth", "5"), "31: vdepth(5)"},
      {"PositionZ", 31, makeRecord(3141, {}, {{56, 7.25}}), "31: oPos( z[/7.25] )"},
      {"RawText", 31, makeRecord(3199, {}, {}, "note"), "31: ; note"},
      {"OtherChannel", 35, makeRecord(3102, {}, xyz), "35: oM[42]( z[/3] )"},
      {"DrillPointIgnored", 31, makeRecord(3104, {}, xyz), ""},
  };
}

TEST_F(PofWriterTest, GeometryLineForms) {
  for (LineCase& c : geometryCases()) {
    SCOPED_TRACE(c.name);
    pofResetLevels();
    pofSetMoveCounter(41);
    auto lines = linesWithoutBracket([&] { pofWriteContour(&ctx_, c.channel, &c.record); });
    if (*c.expected == '\0') {
      EXPECT_TRUE(lines.empty());
    } else {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0], c.expected);
    }
  }
}

TEST_F(PofWriterTest, OnlyNumberedMovesRaiseTheCounter) {
  for (LineCase& c : geometryCases()) {
    SCOPED_TRACE(c.name);
    pofSetMoveCounter(41);
    capture([&] { pofWriteContour(&ctx_, c.channel, &c.record); });
    const bool numbered = std::string(c.expected).find("[42]") != std::string::npos;
    EXPECT_EQ(pofMoveCounter(), numbered ? 42 : 41);
  }
}

TEST_F(PofWriterTest, NcLineForms) {
  const std::vector<F64> nc = {{8, 1}, {16, 2}, {24, 3}, {32, 0.5}, {40, -0.5}, {48, 4}};
  std::vector<LineCase> cases = {
      {"G0XY", 32, makeRecord(4001, {}, nc), "32: G0 X1 Y2"},
      {"G0Z", 32, makeRecord(4002, {}, nc), "32: G0 Z3"},
      {"G0XYZ", 32, makeRecord(4003, {}, nc), "32: G0 X1 Y2 Z3"},
      {"G1XY", 32, makeRecord(4004, {}, nc), "32: G1 X1 Y2"},
      {"G1Z", 32, makeRecord(4005, {}, nc), "32: G1 Z3"},
      {"G1XYZ", 32, makeRecord(4006, {}, nc), "32: G1 X1 Y2 Z3"},
      {"G1Flagged", 32, makeRecord(4007, {{8, 1}, {16, 1}}, {{24, 1}, {32, 2}, {40, 3}}),
       "32: G1 X1 Z3"},
      {"G0Flagged", 32, makeRecord(4016, {{12, 1}}, {{32, 2}}), "32: G0 Y2"},
      {"G0FiveAxis", 32, makeRecord(4019, {{8, 1}, {48, 1}}, {{24, 1}, {64, 0.5}}),
       "32: G0 X1 U0.50000000"},
      {"G1FiveAxis", 32,
       makeRecord(4020, {{8, 1}, {12, 1}, {16, 1}, {48, 1}, {52, 1}, {56, 1}},
                  {{24, 1}, {32, 2}, {40, 3}, {64, 0.5}, {72, 0.25}, {80, -1}}),
       "32: G1 X1 Y2 Z3 U0.50000000 V0.25000000 W-1.00000000"},
      {"G2", 32, makeRecord(4008, {}, nc), "32: G2 X1 Y2 I0.5 J-0.5"},
      {"G3", 32, makeRecord(4009, {}, nc), "32: G3 X1 Y2 I0.5 J-0.5"},
      {"G2Z", 32, makeRecord(4010, {}, nc), "32: G2 X1 Y2 Z3 I0.5 J-0.5 K4"},
      {"G3Z", 32, makeRecord(4011, {}, nc), "32: G3 X1 Y2 Z3 I0.5 J-0.5 K4"},
      {"G0X", 32, makeRecord(4012, {}, nc), "32: G0 X1"},
      {"G0Y", 32, makeRecord(4013, {}, nc), "32: G0 Y2"},
      {"G1X", 32, makeRecord(4014, {}, nc), "32: G1 X1"},
      {"G1Y", 32, makeRecord(4015, {}, nc), "32: G1 Y2"},
      {"G0UV", 32, makeRecord(4017, {}, nc), "32: G0 X1 Y2 U0.5 V-0.5"},
      {"G1UV", 32, makeRecord(4018, {}, nc), "32: G1 X1 Y2 U0.5 V-0.5"},
      {"G100", 32, makeRecord(4041, {}, nc), "32: G100 Z3"},
      {"Text", 32, makeRecord(4101, {}, {}, "M3 S1000"), "32: M3 S1000"},
      {"Unknown", 32, makeRecord(4099, {}, nc), ""},
  };
  for (LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    pofResetLevels();
    auto lines = linesWithoutBracket([&] { pofWriteNcBlock(&ctx_, &c.record); });
    if (*c.expected == '\0') {
      EXPECT_TRUE(lines.empty());
    } else {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0], c.expected);
    }
  }
}

TEST_F(PofWriterTest, SimpleWriterLineForms) {
  using Writer = int (*)(CycleDescriptor*, OutputRecord*);
  struct Case {
    const char* name;
    Writer writer;
    OutputRecord record;
    const char* expected;
  };
  std::vector<Case> cases = {
      {"SettingDef", pofWriteSettingLine, makeRecord(202, {}, {}, "def", "\"a\":=\"1\""),
       "1: def(\"a\":=\"1\")"},
      {"SettingCfg", pofWriteSettingLine, makeRecord(204, {}, {}, "cfg", "*APT x.pof"),
       "1: cfg(*APT x.pof)"},
      {"SettingOtherCode", pofWriteSettingLine, makeRecord(301, {}, {}, "a", "b"), ""},
      {"CommentEscaped", pofWriteComment, makeRecord(1001, {}, {}, "a(b)\tc"),
       "2: a\\040b\\041\\009c"},
      {"NcMark", pofWriteNcMark, makeRecord(1, {}, {}), "3: ---"},
      {"Detail1", pofWriteDetailMark1, makeRecord(7, {}, {}), "4: ---"},
      {"Detail2", pofWriteDetailMark2, makeRecord(7, {}, {}), "5: ---"},
      {"Detail3", pofWriteDetailMark3, makeRecord(7, {}, {}), "6: ---"},
      {"Variable", pofWriteVariable, makeRecord(3131, {}, {}, "toolAxis", "0,0,1"),
       "11: vtoolAxis(0,0,1)"},
      {"VariableText", pofWriteVariable, makeRecord(3199, {}, {}, "oTool[7]( ) {"),
       "11: oTool[7]( ) {"},
      {"DrillWithSize", pofWriteDrillPoint,
       makeRecord(3104, {{8, 1}}, {{40, 1}, {48, 2}, {56, 3}, {80, 2.5}}),
       "30: oP( x[1] y[2] z[3] s[2.5] u[d] )"},
      {"DrillWithoutSize", pofWriteDrillPoint,
       makeRecord(3104, {{8, 0}}, {{40, 1}, {48, 2}, {56, 3}, {80, 2.5}}),
       "30: oP( x[1] y[2] z[3] u[d] )"},
      {"DisplayWritesNothing", pofWriteNothing, makeRecord(3113, {}, {{40, 1}, {48, 2}, {56, 3}}),
       ""},
      {"ArgPlain", pofWriteArg, makeRecord(301, {}, {}, "F", "100"), "10: F(100)"},
      {"ArgFrame", pofWriteArg, makeRecord(301, {}, {}, "tr", "frameCs"), "10: tr(frameCs)"},
      {"ArgWorkplane", pofWriteArg, makeRecord(301, {}, {}, "workplane", "XY"),
       "10: workplane(XY)"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = capture([&] { EXPECT_EQ(c.writer(&ctx_, &c.record), 1); });
    EXPECT_EQ(out, *c.expected ? std::string(c.expected) + "\n" : std::string());
  }
}

TEST_F(PofWriterTest, MarkerLineForms) {
  auto marker = [](int code, int number, int kind, const char* name, const char* data,
                   const char* usage) {
    OutputRecord r;
    outRecClear(&r, code);
    outRecSetI32(&r, kRecMarkNumber, number);
    outRecSetI32(&r, kRecMarkKind, kind);
    outRecSetText(&r, kRecMarkName, name, kRecMarkTextMax);
    outRecSetText(&r, kRecMarkData, data, kRecMarkTextMax);
    outRecSetText(&r, kRecMarkUsage, usage, kRecMarkTextMax);
    return r;
  };
  struct Case {
    const char* name;
    OutputRecord record;
    const char* expected;
  };
  std::vector<Case> cases = {
      {"PartBegin", marker(5001, 7, 1, "", "d", "u"), "12: beg part 7 dat(d) usg(u)"},
      {"PartEnd", marker(5002, 7, 1, "", "", ""), "12: end part 7"},
      {"PartClear", marker(5003, 3, 1, "", "", ""), "12: clr part 3"},
      {"ContextBegin", marker(5001, 0, 4, "C1", "", "u"), "12: beg ctx C1 usg(u)"},
      {"ContextEnd", marker(5002, 0, 4, "C1", "d", ""), "12: end ctx C1 dat(d)"},
      {"ClearAll", marker(5004, 0, 0, "", "", ""), "12: clr all"},
      {"UnknownBeginKind", marker(5001, 1, 2, "", "", ""), ""},
  };
  const std::pair<int, const char*> kinds[] = {
      {101, "12: G 0 z+"},
      {102, "12: G 0 z-"},
      {103, "12: G 0 xy"},
      {104, "12: G 0 area"},
      {111, "12: G 1 apprch"},
      {112, "12: G 1 rtrct"},
      {113, "12: G 1 smth"},
      {114, "12: G 1 infd"},
      {115, "12: G 1 pth"},
      {121, "12: G x connection"},
      {116, ""},
  };
  for (const auto& [kind, text] : kinds) {
    cases.push_back({text, marker(5005, 0, kind, "", "", ""), text});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = capture([&] { pofWriteMarker(&ctx_, &c.record); });
    EXPECT_EQ(out, *c.expected ? std::string(c.expected) + "\n" : std::string());
  }
}

TEST_F(PofWriterTest, MarkersThroughEmittersKeepLongTextsBounded) {
  const std::string longData(600, 'd');
  std::string out = capture([&] { outPartBegin(&ctx_, 5, longData.c_str(), "path"); });
  EXPECT_EQ(out, "12: beg part 5 dat(" + std::string(kRecMarkTextMax, 'd') + ") usg(path)\n");
}

TEST_F(PofWriterTest, LongCommentIsCutAtAnEscapeBoundary) {
  // 255 "(" escape to 1020 characters; the line keeps whole escapes only.
  const std::string text(255, '(');
  std::string out = capture([&] { outSendComment(&ctx_, text.c_str()); });
  std::string expected = "2: ";
  for (int i = 0; i < 63; ++i) expected += "\\040";
  EXPECT_EQ(out, expected + "\n");
}

TEST_F(PofWriterTest, CompensationRegistersFollowTheToolNumber) {
  struct Case {
    const char* name;
    const char* reg1;
    const char* reg2;
    const char* comment;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"Both",
       "5",
       "6",
       "left",
       {"10: T(7)", "10: arg(I:\"compRegister\":=5)", "10: arg(I:\"compRegister2\":=6)",
        "10: arg(S:\"compRegisterComment\":=\"left\")", "10: arg(I:\"compRegisterChanged\":=1)"}},
      {"SecondOnly",
       nullptr,
       "6",
       nullptr,
       {"10: T(7)", "10: arg(I:\"compRegister2\":=6)", "10: arg(S:\"compRegisterComment\":=\"\")",
        "10: arg(I:\"compRegisterChanged\":=1)"}},
      {"None", nullptr, nullptr, "ignored", {"10: T(7)", "10: arg(I:\"compRegisterChanged\":=0)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    paramListFree(ctx_.params);
    ctx_.params = nullptr;
    if (c.reg1) setParam("compRegister", c.reg1);
    if (c.reg2) setParam("compRegister2", c.reg2);
    if (c.comment) setParam("compRegisterComment", c.comment);
    EXPECT_EQ(splitLines(capture([&] { outSendArg(&ctx_, "T", "7"); })), c.expected);
  }
}

TEST_F(PofWriterTest, LiteralBlockTakesTheFirstEntryOfEachIndexInIndexOrder) {
  const std::string longLiteral = "BFP:" + std::string(100, '(');
  std::string cutEscapes;
  for (int i = 0; i < 63; ++i) cutEscapes += "\\040";
  struct Case {
    const char* name;
    bool cfgMode;
    std::vector<std::pair<const char*, const char*>> entries;  // in insertion order
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"Parameters",
       false,
       {{"literal_2", "BFP:G0 (a)"},
        {"literal_1", "BFP:old"},
        {"literal_01", "BFP:new"},  // newest first: this one is the first of index 1
        {"literal_3", "AFP:M5"},
        {"literal_x", "BFP:bad index"},
        {"literal_4", "BFPX:other block"}},
       {"10: nctx(BFP)", "10: Gcode(new)", "10: Gcode(G0 \\040a\\041)", "10: nctx(0)"}},
      {"CfgLines",
       true,
       {{"*LITERAL_2", "BFP:G1"},
        {"*LITERAL_1", "BFP:G0"},
        {"*LITERAL_1", "BFP:dup"},
        {"literal_5", "BFP:not a cfg line"}},
       {"10: nctx(BFP)", "10: Gcode(G0)", "10: Gcode(G1)", "10: nctx(0)"}},
      {"Empty", false, {}, {"10: nctx(BFP)", "10: nctx(0)"}},
      // 100 "(" escape to 400 characters; the record keeps 63 whole escapes.
      {"LongLineCutAtAnEscape",
       false,
       {{"literal_1", longLiteral.c_str()}},
       {"10: nctx(BFP)", "10: Gcode(" + cutEscapes + ")", "10: nctx(0)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    useSettings(c.cfgMode, c.entries);
    int sent = -1;
    auto lines = splitLines(capture([&] { sent = pofWriteLiteralBlock(&ctx_, "BFP"); }));
    EXPECT_EQ(lines, c.expected);
    EXPECT_EQ(sent, static_cast<int>(c.expected.size()) - 2);
  }
}

TEST_F(PofWriterTest, UserParameters) {
  struct Case {
    const char* name;
    bool cfgMode;
    std::vector<std::pair<const char*, const char*>> entries;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"Parameters",
       false,
       {{"P3", "c"}, {"P1", "a"}, {"P21", "beyond"}, {"P0", "zero"}, {"Pfoo", "x"}},
       {"10: del(S:P%d[1;20;1])", "10: arg(S:P1:=\"a\")", "10: arg(S:P3:=\"c\")"}},
      {"CfgLinesSkipEmptyValues",
       true,
       {{"*P2", ""}, {"*P2", "b"}, {"*P20", "t"}, {"*P2", "late"}},
       {"10: del(S:P%d[1;20;1])", "10: arg(S:P2:=\"b\")", "10: arg(S:P20:=\"t\")"}},
      {"None", false, {}, {"10: del(S:P%d[1;20;1])"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    useSettings(c.cfgMode, c.entries);
    int n = -1;
    EXPECT_EQ(splitLines(capture([&] { n = pofWriteUserParams(&ctx_); })), c.expected);
    EXPECT_EQ(n, static_cast<int>(c.expected.size()) - 1);
  }
}

TEST_F(PofWriterTest, AliasRecordsPassOnlyWhenTheLevelWritesAliases) {
  struct Case {
    const char* name;
    bool cfgMode;
    const char* key;
    const char* value;
    bool written;
  };
  const Case cases[] = {
      {"ParamTrue", false, "writeAlias", "true", true},
      {"ParamFalse", false, "writeAlias", "false", false},
      {"ParamOtherCase", false, "writeAlias", "TRUE", false},
      {"ParamAbsent", false, nullptr, nullptr, false},
      {"CfgOne", true, "*WRITE_ALIAS", "1", true},
      {"CfgZero", true, "*WRITE_ALIAS", "0", false},
      {"CfgModeIgnoresParam", true, "writeAlias", "true", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pofResetLevels();
    useSettings(c.cfgMode, c.key != nullptr
                               ? std::vector<std::pair<const char*, const char*>>{{c.key, c.value}}
                               : std::vector<std::pair<const char*, const char*>>{});
    std::string out = capture([&] {
      OutputRecord begin = makeRecord(103, {}, {}, "cycle", "Test Cycle");
      outSendRecord(&ctx_, 0, &begin);
      outSendArg(&ctx_, "aliasUse", "reducedFeedrate");
      outSendAliasDef(&ctx_, "FX", "FX", "100", "");
      outSendArg(&ctx_, "F", "FX");
    });
    EXPECT_EQ(out.find("10: aliasUse(reducedFeedrate)\n") != std::string::npos, c.written);
    EXPECT_EQ(out.find("10: aliasDef(FX,FX,100,1)\n") != std::string::npos, c.written);
    EXPECT_NE(out.find("10: F(FX)\n"), std::string::npos);
  }
}

TEST_F(PofWriterTest, ScanLayersFindsChannel32) {
  const std::pair<const char*, int> cases[] = {{"3,30,32,33,12,35,36,41,42", 1},
                                               {"12,35,36,41,42", 0},
                                               {"32", 1},
                                               {"320", 0},
                                               {"132", 0},
                                               {"x32y", 1},
                                               {"3 2", 0},
                                               {"032", 1},
                                               {"", 0},
                                               {"999999999999999999999999932", 0}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(pofScanLayers(text), expected) << text;
  }
  EXPECT_EQ(pofScanLayers(nullptr), 0);
}

// True when text has the shape: '#' a decimal digit, 'x' a lower-case hex
// digit, 'v' one of 8, 9, a, b; every other shape character stands for
// itself.
bool fitsShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    switch (shape[i]) {
      case '#':
        if (!digit) return false;
        break;
      case 'x':
        if (!digit && !(c >= 'a' && c <= 'f')) return false;
        break;
      case 'v':
        if (std::string("89ab").find(c) == std::string::npos) return false;
        break;
      default:
        if (c != shape[i]) return false;
    }
  }
  return true;
}

TEST_F(PofWriterTest, RunUuidIsRandomVersion4) {
  pofSetTestPins(nullptr);
  const std::string form = "xxxxxxxx-xxxx-4xxx-vxxx-xxxxxxxxxxxx";
  std::set<std::string> seen;
  for (int i = 0; i < 16; ++i) {
    char buf[kPofUuidSize];
    std::string id = pofRunUuid(buf, sizeof(buf));
    EXPECT_TRUE(fitsShape(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 16u);
  char small[9];
  EXPECT_EQ(std::string(pofRunUuid(small, sizeof(small))).size(), 8u);
}

TEST_F(PofWriterTest, TimeStampIsLocalDateTimeWeekdayAndMonth) {
  pofSetTestPins(nullptr);
  char buf[kPofTimeStampSize];
  std::string stamp = pofTimeStamp(buf, sizeof(buf));
  // Date and time, then weekday and month as asctime writes them.
  ASSERT_EQ(stamp.size(), 25u) << stamp;
  ASSERT_TRUE(fitsShape(stamp.substr(0, 18), "##/##/## ##:##:## ")) << stamp;
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char asc[32];
  asctime_r(&t, asc);
  EXPECT_EQ(stamp.substr(stamp.size() - 7), std::string(asc, 7));
  EXPECT_EQ(std::stoi(stamp.substr(0, 2)), t.tm_mon + 1);
  char tiny[5];
  EXPECT_EQ(std::string(pofTimeStamp(tiny, sizeof(tiny))).size(), 4u);
}

}  // namespace
