#include "output/output_emitters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/number_format.h"
#include "formats/settings/param_list.h"
#include "support/record_capture.h"

namespace {

constexpr std::initializer_list<uint16_t> kAllChannels = {0, 1, 2, 10, 11, 12, 31, 32, 41, 42};

using Sent = SentText;

struct TextCase {
  const char* name;
  std::function<void(CycleDescriptor*)> emit;
  std::vector<Sent> sent;
};

class TextEmitterTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextEmitterTest, SendsValueForms) {
  RecordCapture cap(kAllChannels);
  GetParam().emit(&cap.ctx);
  std::vector<Sent> got;
  for (const CapturedRecord& r : cap.take()) got.push_back({r.channel, r.code, r.name, r.value});
  EXPECT_EQ(got, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextEmitterTest,
    ::testing::Values(
        TextCase{"error", [](auto c) { outSendError(c, "332,0"); }, {{0, 101, "error", "332,0"}}},
        TextCase{"comment", [](auto c) { outSendComment(c, "hi"); }, {{2, 1001, "hi", ""}}},
        TextCase{"contour_usage_only",
                 [](auto c) { outContourBegin(c, "P1", nullptr, "path"); },
                 {{31, 3001, "P1", "u[path]"}}},
        TextCase{"contour_comment_and_usage",
                 [](auto c) { outContourBegin(c, "P1", "c", "path"); },
                 {{31, 3001, "P1", "cmnt[c] u[path]"}}},
        TextCase{"contour_comment_only",
                 [](auto c) { outContourBegin(c, nullptr, "c", ""); },
                 {{31, 3001, "", "cmnt[c]"}}},
        TextCase{"contour_end", [](auto c) { outContourEnd(c); }, {{31, 3002, "", ""}}},
        TextCase{"variable",
                 [](auto c) { outSendVariable(c, "depth", "2.5"); },
                 {{31, 3131, "depth", "2.5"}, {1, 203, "loc", "\"depth\":=\"2.5\""}}},
        TextCase{"argument", [](auto c) { outSendArg(c, "tr", "FX"); }, {{10, 301, "tr", "FX"}}},
        TextCase{"real_argument",
                 [](auto c) { outSendRealArg(c, "stepOver", 0.25); },
                 {{10, 301, "arg", "F:\"stepOver\":=0.25"}}},
        TextCase{"alias_default_value",
                 [](auto c) { outSendAliasDef(c, "FX", "FX", "100", ""); },
                 {{10, 301, "aliasDef", "FX,FX,100,1"}}},
        TextCase{"alias_given_value",
                 [](auto c) { outSendAliasDef(c, "S", "S", "8000", "2"); },
                 {{10, 301, "aliasDef", "S,S,8000,2"}}},
        TextCase{"variable_text",
                 [](auto c) { outSendVariableText(c, "oTool[1]( ) {"); },
                 {{11, 3199, "oTool[1]( ) {", ""}}},
        TextCase{"tool_variable",
                 [](auto c) { outSendToolVariable(c, "T", "3"); },
                 {{11, 3131, "T", "3"}}},
        TextCase{"axis_unit_vector",
                 [](auto c) { outSendAxisVariable(c, 0, 0, 2); },
                 {{11, 3131, "toolAxis", "0,0,1"}}},
        TextCase{"axis_rounded",
                 [](auto c) { outSendAxisVariable(c, 1, 1, 0); },
                 {{11, 3131, "toolAxis", "0.707107,0.707107,0"}}},
        TextCase{"axis_too_short", [](auto c) { outSendAxisVariable(c, 0, 1e-9, 0); }, {}},
        TextCase{"axis_not_a_number", [](auto c) { outSendAxisVariable(c, NAN, 0, 1); }, {}},
        TextCase{"nc_text", [](auto c) { outSendNcText(c, "M8"); }, {{32, 4101, "M8", ""}}},
        TextCase{"nc_text_empty", [](auto c) { outSendNcText(c, ""); }, {}},
        TextCase{"display_begin_end",
                 [](auto c) {
                   outDisplayBegin(c, "drop", nullptr, "poly");
                   outDisplayEnd(c);
                 },
                 {{41, 3001, "drop", "u[poly]"}, {41, 3002, "", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Emitters, MovesFillGeometryAndNcFields) {
  RecordCapture cap(kAllChannels);
  outRapidXY(&cap.ctx, 1, 2);
  outRapidZ(&cap.ctx, 3);
  outLineXY(&cap.ctx, 4, 5);
  outLineZ(&cap.ctx, 6);
  outLineXYZ(&cap.ctx, 7, 8, 9);
  const auto r = cap.take();
  ASSERT_EQ(r.size(), 10u);
  const std::vector<std::pair<int, int>> channelCodes = {
      {31, 3101}, {32, 4001}, {31, 3102}, {32, 4002}, {31, 3111},
      {32, 4004}, {31, 3112}, {32, 4005}, {31, 3113}, {32, 4006}};
  for (std::size_t i = 0; i < r.size(); ++i) {
    EXPECT_EQ(std::make_pair(r[i].channel, r[i].code), channelCodes[i]) << i;
  }
  EXPECT_EQ(r[0].f64(40), 1);
  EXPECT_EQ(r[0].f64(48), 2);
  EXPECT_EQ(r[1].f64(8), 1);
  EXPECT_EQ(r[1].f64(16), 2);
  EXPECT_EQ(r[2].f64(56), 3);
  EXPECT_EQ(r[3].f64(24), 3);
  EXPECT_EQ(r[6].f64(56), 6);
  EXPECT_EQ(r[7].f64(24), 6);
  EXPECT_EQ(r[8].f64(40), 7);
  EXPECT_EQ(r[8].f64(56), 9);
  EXPECT_EQ(r[9].f64(8), 7);
  EXPECT_EQ(r[9].f64(24), 9);
}

TEST(Emitters, ArcDirectionOneIsClockwise) {
  RecordCapture cap(kAllChannels);
  for (int direction : {1, 0, -1, 2}) {
    outArcXY(&cap.ctx, direction, 10, 20, 5, 6);
    const auto r = cap.take();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].code, 3121);
    EXPECT_EQ(r[0].i32(8), direction);
    EXPECT_EQ(r[0].f64(40), 10);
    EXPECT_EQ(r[0].f64(48), 20);
    EXPECT_EQ(r[0].f64(64), 5);
    EXPECT_EQ(r[0].f64(72), 6);
    EXPECT_EQ(r[1].code, direction == 1 ? 4008 : 4009) << direction;
    EXPECT_EQ(r[1].f64(8), 10);
    EXPECT_EQ(r[1].f64(16), 20);
    EXPECT_EQ(r[1].f64(32), 5);
    EXPECT_EQ(r[1].f64(40), 6);
  }
}

TEST(Emitters, ToolAxisTurnsByToolThenBackByFrame) {
  RecordCapture cap(kAllChannels);
  // Tool system turned 90 degrees about x: its z axis points to -y.
  cap.ctx.toolCs = kCsIdentity;
  cap.ctx.toolCs.m[1][1] = 0;
  cap.ctx.toolCs.m[2][1] = 1;
  cap.ctx.toolCs.m[1][2] = -1;
  cap.ctx.toolCs.m[2][2] = 0;
  cap.ctx.toolCs.m[0][3] = 50;  // translations play no part
  outSendToolAxis(&cap.ctx, 0, 0, 1);
  // Frame turned 90 degrees about z, with an origin.
  cap.ctx.frameCs = kCsIdentity;
  cap.ctx.frameCs.m[0][0] = 0;
  cap.ctx.frameCs.m[1][0] = 1;
  cap.ctx.frameCs.m[0][1] = -1;
  cap.ctx.frameCs.m[1][1] = 0;
  cap.ctx.frameCs.m[0][3] = 5;
  cap.ctx.frameCs.m[2][3] = 7;
  outSendToolAxis(&cap.ctx, 0, 0, 1);
  const auto r = cap.take();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].value, "0,-1,0");
  EXPECT_EQ(r[1].value, "-1,0,0");
}

TEST(Emitters, MarkersCarryNumberKindAndCutTexts) {
  RecordCapture cap(kAllChannels);
  outPartBegin(&cap.ctx, 3, "d", "u");
  outPartEnd(&cap.ctx, 3, nullptr, nullptr);
  outPartClear(&cap.ctx, 4);
  outContextBegin(&cap.ctx, "link", std::string(300, 'x').c_str(), "poly");
  outContextEnd(&cap.ctx, "", "d", "u");  // no name: nothing
  outContextEnd(&cap.ctx, "link", nullptr, "poly");
  outClearAll(&cap.ctx);
  const auto r = cap.take();
  ASSERT_EQ(r.size(), 6u);
  struct Want {
    int code, number, kind;
    std::string name, data, usage;
  };
  const std::vector<Want> want = {
      {5001, 3, 1, "", "d", "u"},       {5002, 3, 1, "", "", ""},
      {5003, 4, 1, "", "", ""},         {5001, 0, 4, "link", std::string(254, 'x'), "poly"},
      {5002, 0, 4, "link", "", "poly"}, {5004, 0, 0, "", "", ""}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r[i].channel, 12);
    EXPECT_EQ(r[i].code, want[i].code);
    EXPECT_EQ(r[i].i32(kRecMarkNumber), want[i].number);
    EXPECT_EQ(r[i].i32(kRecMarkKind), want[i].kind);
    EXPECT_EQ(r[i].text(kRecMarkName), want[i].name);
    EXPECT_EQ(r[i].text(kRecMarkData), want[i].data);
    EXPECT_EQ(r[i].text(kRecMarkUsage), want[i].usage);
  }
}

TEST(Emitters, MoveKindMarkers) {
  RecordCapture cap(kAllChannels);
  const std::vector<std::pair<int (*)(CycleDescriptor*), int>> kinds = {
      {outKindRapidUp, 101},   {outKindRapidDown, 102}, {outKindRapidXY, 103},
      {outKindRapidArea, 104}, {outKindApproach, 111},  {outKindRetract, 112},
      {outKindSmooth, 113},    {outKindInfeed, 114},    {outKindPath, 115},
      {outKindConnection, 121}};
  for (const auto& [fn, kind] : kinds) {
    fn(&cap.ctx);
    const auto r = cap.take();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].channel, 12);
    EXPECT_EQ(r[0].code, 5005);
    EXPECT_EQ(r[0].i32(kRecMarkKind), kind);
  }
}

TEST(Emitters, DisplayPointsAndLines) {
  RecordCapture cap(kAllChannels);
  outDisplayMoveTo(&cap.ctx, 1, 2, 3);
  outDisplayLineTo(&cap.ctx, 4, 5, 6);
  outDisplayPoint(&cap.ctx, 7, 8, 9);
  const auto r = cap.take();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].channel, 41);
  EXPECT_EQ(r[0].code, 3103);
  EXPECT_EQ(r[0].f64(56), 3);
  EXPECT_EQ(r[1].code, 3113);
  EXPECT_EQ(r[1].f64(40), 4);
  EXPECT_EQ(r[2].channel, 42);
  EXPECT_EQ(r[2].code, 7001);
  EXPECT_EQ(r[2].i32(8), 0);
  for (std::size_t at : {16u, 40u, 64u}) {
    EXPECT_EQ(r[2].f64(at), 7);
    EXPECT_EQ(r[2].f64(at + 8), 8);
    EXPECT_EQ(r[2].f64(at + 16), 9);
  }
}

TEST(Emitters, ParamCommentsGoOutInOrderSkippingGaps) {
  RecordCapture cap(kAllChannels);
  ParamList params = nullptr;
  params = paramListSet(params, "comment_3", "third", 21);
  params = paramListSet(params, "comment_1", "first", 21);
  params = paramListSet(params, "comment_4", "beyond", 21);
  params = paramListSet(params, "comment_02", "not a canonical index", 21);
  params = paramListSet(params, "lastComment", "3", 21);
  cap.ctx.params = params;
  EXPECT_EQ(outSendParamComments(&cap.ctx), 2);
  std::vector<std::string> texts;
  for (const auto& r : cap.take()) texts.push_back(r.name);
  EXPECT_EQ(texts, (std::vector<std::string>{"first", "third"}));

  // A huge count costs no more than the list is long.
  params = paramListSet(params, "lastComment", "2000000000", 21);
  cap.ctx.params = params;
  EXPECT_EQ(outSendParamComments(&cap.ctx), 3);
  params = paramListSet(params, "lastComment", "none", 21);
  cap.ctx.params = params;
  EXPECT_EQ(outSendParamComments(&cap.ctx), 0);
  paramListFree(params);
}

TEST(Emitters, LongTextsAreCutToTheField) {
  RecordCapture cap(kAllChannels);
  const std::string longText(1000, 'c');
  outSendComment(&cap.ctx, longText.c_str());
  outSendVariable(&cap.ctx, longText.c_str(), longText.c_str());
  const auto r = cap.take();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].name, std::string(255, 'c'));
  EXPECT_EQ(r[1].value, std::string(255, 'c'));
  EXPECT_EQ(r[2].value, "\"" + std::string(254, 'c'));
  EXPECT_EQ(r[2].text(kRecText3), "");
}

TEST(Emitters, NullContextSendsNothing) {
  EXPECT_EQ(outSendError(nullptr, "x"), 0);
  EXPECT_EQ(outRapidXY(nullptr, 1, 2), 0);
  EXPECT_EQ(outSendToolAxis(nullptr, 0, 0, 1), 0);
  EXPECT_EQ(outSendParamComments(nullptr), 0);
  EXPECT_EQ(outDisplayPoint(nullptr, 0, 0, 0), 0);
}

}  // namespace
