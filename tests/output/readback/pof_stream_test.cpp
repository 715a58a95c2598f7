// Numbered-record stream: the line grammar, handler dispatch and includes.

#include "output/readback/pof_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::vector<std::string> gRecords;

// Records "<user>|<text>"; the user value is the handler's record id.
void recordHandler(char* text, intptr_t user) {
  gRecords.push_back(std::to_string(user) + "|" + text);
}

void addHandler(PofStream* s, uint32_t id) {
  PofHandler* h = pofHandlerNew(id, recordHandler, static_cast<intptr_t>(id));
  ASSERT_NE(h, nullptr);
  pofStreamAddHandler(s, h);
}

// Runs the stream on path with handlers for ids and returns the records.
std::vector<std::string> runStream(const std::string& path, std::vector<uint32_t> ids,
                                   int* result = nullptr, int lineSize = 512) {
  gRecords.clear();
  PofStream* s = pofStreamOpen(path.c_str(), lineSize);
  EXPECT_NE(s, nullptr);
  for (uint32_t id : ids) addHandler(s, id);
  const int r = pofStreamRun(s);
  if (result != nullptr) *result = r;
  pofStreamClose(s);
  return gRecords;
}

struct GrammarCase {
  const char* name;
  std::string text;
  std::vector<std::string> records;
};

class PofStreamGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(PofStreamGrammar, DeliversTheRecordsOfTheLine) {
  tsupport::TempDir dir;
  const std::string path = dir.file("in.pof");
  ASSERT_TRUE(tsupport::writeFile(path, GetParam().text));
  int result = 0;
  EXPECT_EQ(runStream(path, {0, 1, 31, 99999}, &result, 8), GetParam().records);
  EXPECT_EQ(result, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PofStreamGrammar,
    ::testing::Values(GrammarCase{"plain", "31: a\n", {"31| a"}},
                      GrammarCase{"leading_blanks", "  31: a\n", {"31| a"}},
                      GrammarCase{"leading_zero", "031: a\n", {"31| a"}},
                      GrammarCase{"blanks_between_digits", "3 \t1 : a\n", {"31| a"}},
                      GrammarCase{"five_digits", "99999:z\n", {"99999|z"}},
                      GrammarCase{"six_digits_ignored", "000031: a\n1: b\n", {"1| b"}},
                      GrammarCase{"letter_first_ignored", "a31: a\n1: b\n", {"1| b"}},
                      GrammarCase{"colon_without_digits_ignored", ": a\n1: b\n", {"1| b"}},
                      GrammarCase{"no_handler_skipped", "7: a\n1: b\n", {"1| b"}},
                      GrammarCase{"empty_text_skipped", "1:\n\n\n1: b\n", {"1| b"}},
                      GrammarCase{"text_cut_to_line_size", "1:0123456789\n", {"1|01234567"}},
                      GrammarCase{"crlf", "1: a\r\n1: b\r\n", {"1| a", "1| b"}},
                      GrammarCase{"lfcr", "1: a\n\r1: b\n\r", {"1| a", "1| b"}},
                      GrammarCase{"cr_only", "1: a\r1: b\r", {"1| a", "1| b"}},
                      GrammarCase{"last_line_without_end", "1: a\n1: b", {"1| a", "1| b"}},
                      GrammarCase{"bytes_above_127", "1: \xe4\xf6\n", {"1| \xe4\xf6"}},
                      GrammarCase{"record_zero", "0: cyc(x)\n", {"0| cyc(x)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PofStream, ReturnsZeroWhenItCannotStart) {
  tsupport::TempDir dir;
  const std::string path = dir.file("in.pof");
  ASSERT_TRUE(tsupport::writeFile(path, "1: a\n"));
  int result = -5;
  EXPECT_TRUE(runStream(dir.file("missing.pof"), {1}, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(runStream(path, {}, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(runStream("", {1}, &result).empty());
  EXPECT_EQ(result, 0);
  // An in-memory queue that nothing fills delivers nothing.
  EXPECT_TRUE(runStream("+queue", {1}, &result).empty());
  EXPECT_EQ(result, 1);
}

TEST(PofStream, RejectsBadArguments) {
  EXPECT_EQ(pofStreamOpen("x", -1), nullptr);
  EXPECT_EQ(pofStreamOpen("x", 65536), nullptr);
  EXPECT_EQ(pofHandlerNew(100000, recordHandler, 0), nullptr);
  EXPECT_EQ(pofHandlerNew(1, nullptr, 0), nullptr);
  // A handler given to no stream is freed, not leaked; null is ignored.
  pofStreamAddHandler(nullptr, pofHandlerNew(1, recordHandler, 0));
  pofStreamAddHandler(nullptr, nullptr);
  pofStreamClose(nullptr);
  EXPECT_EQ(pofStreamRun(nullptr), 0);
}

TEST(PofStream, ReplacesTheHandlerOfAnIdAndCountsCalls) {
  tsupport::TempDir dir;
  const std::string path = dir.file("in.pof");
  ASSERT_TRUE(tsupport::writeFile(path, "5: a\n5: b\n6: c\n"));
  gRecords.clear();
  PofStream* s = pofStreamOpen(path.c_str(), 64);
  ASSERT_NE(s, nullptr);
  pofStreamAddHandler(s, pofHandlerNew(6, recordHandler, 6));
  pofStreamAddHandler(s, pofHandlerNew(5, recordHandler, 1));
  PofHandler* second = pofHandlerNew(5, recordHandler, 2);
  pofStreamAddHandler(s, second);
  pofStreamAddHandler(s, second);  // the same handler again keeps it
  EXPECT_EQ(pofStreamRun(s), 1);
  EXPECT_EQ(gRecords, (std::vector<std::string>{"2| a", "2| b", "6| c"}));
  ASSERT_NE(pofStreamHandler(s, 5), nullptr);
  EXPECT_EQ(pofStreamHandler(s, 5)->calls, 2);
  EXPECT_EQ(pofStreamHandler(s, 6)->calls, 1);
  EXPECT_EQ(pofStreamHandler(s, 7), nullptr);
  pofStreamClose(s);
}

TEST(PofSplitCall, SplitsNameAndArgument) {
  std::string_view name, arg;
  ASSERT_TRUE(pofSplitCall(" include ( a b)c)", &name, &arg));
  EXPECT_EQ(name, "include");
  EXPECT_EQ(arg, " a b");
  ASSERT_TRUE(pofSplitCall("x()", &name, &arg));
  EXPECT_EQ(arg, "");
  EXPECT_FALSE(pofSplitCall("include(a", &name, &arg));
  EXPECT_FALSE(pofSplitCall("cycle", &name, &arg));
  EXPECT_FALSE(pofSplitCall("a)b(", &name, &arg));
}

// Include records.

struct IncludeFiles {
  tsupport::TempDir dir;
  std::string put(const std::string& name, const std::string& text) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(tsupport::writeFile(path, text));
    return path;
  }
};

TEST(PofStreamInclude, ResumesTheOuterFilesAfterNestedIncludes) {
  IncludeFiles f;
  const std::string inner2 = f.put("inner2.pof", "1: d\n");
  const std::string inner = f.put("inner.pof", "1: c\n0: include(" + inner2 + ")\n");
  // CR LF line ends: the resumed file must not lose or repeat a line.
  const std::string outer = f.put("outer.pof", "1: a\r\n0: include(" + inner + ")\r\n1: b\r\n");
  int result = 0;
  EXPECT_EQ(runStream(outer, {0, 1}, &result),
            (std::vector<std::string>{"1| a", "0| include(" + inner + ")", "1| c",
                                      "0| include(" + inner2 + ")", "1| d", "1| b"}));
  EXPECT_EQ(result, 1);
}

TEST(PofStreamInclude, PassesOverAFileThatCannotBeOpened) {
  IncludeFiles f;
  const std::string outer =
      f.put("outer.pof", "1: a\n0: include(" + f.dir.file("none.pof") + ")\n1: b\n");
  int result = 0;
  EXPECT_EQ(runStream(outer, {1}, &result), (std::vector<std::string>{"1| a", "1| b"}));
  EXPECT_EQ(result, 1);
}

TEST(PofStreamInclude, AnIncludeNamedByAnotherWordIsAPlainRecord) {
  IncludeFiles f;
  const std::string other = f.put("other.pof", "1: x\n");
  const std::string outer = f.put("outer.pof", "0: included(" + other + ")\n1: b\n");
  EXPECT_EQ(runStream(outer, {0, 1}),
            (std::vector<std::string>{"0| included(" + other + ")", "1| b"}));
}

TEST(PofStreamInclude, ASelfIncludeEndsTheRunWithAnError) {
  IncludeFiles f;
  const std::string self = f.dir.file("self.pof");
  f.put("self.pof", "1: a\n0: include(" + self + ")\n1: b\n");
  int result = 0;
  EXPECT_EQ(runStream(self, {1}, &result), (std::vector<std::string>{"1| a"}));
  EXPECT_EQ(result, -1);
}

TEST(PofStreamInclude, AnIncludeCycleThroughOtherFilesAndSpellingsEndsWithAnError) {
  IncludeFiles f;
  const std::string a = f.dir.file("a.pof");
  const std::string b = f.dir.file("b.pof");
  f.put("a.pof", "1: a\n0: include(" + b + ")\n1: a2\n");
  // b names a by another spelling of the same file.
  f.put("b.pof", "1: b\n0: include(" + f.dir.path() + "/./a.pof)\n1: b2\n");
  int result = 0;
  EXPECT_EQ(runStream(a, {1}, &result), (std::vector<std::string>{"1| a", "1| b"}));
  EXPECT_EQ(result, -1);
}

TEST(PofStreamInclude, IncludesNestedTooDeepEndWithAnError) {
  IncludeFiles f;
  const int files = kPofIncludeMaxDepth + 3;
  for (int i = 0; i < files; ++i) {
    const std::string next = f.dir.file(std::string("f") + std::to_string(i + 1) + ".pof");
    f.put(std::string("f") + std::to_string(i) + ".pof",
          "1: " + std::to_string(i) + "\n0: include(" + next + ")\n");
  }
  int result = 0;
  const auto records = runStream(f.dir.file("f0.pof"), {1}, &result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(records.size(), static_cast<std::size_t>(kPofIncludeMaxDepth + 1));
}

TEST(PofStreamInclude, TheSameFileMayBeIncludedTwiceInSequence) {
  IncludeFiles f;
  const std::string part = f.put("part.pof", "1: p\n");
  const std::string outer =
      f.put("outer.pof", "0: include(" + part + ")\n0: include(" + part + ")\n1: e\n");
  int result = 0;
  EXPECT_EQ(runStream(outer, {1}, &result), (std::vector<std::string>{"1| p", "1| p", "1| e"}));
  EXPECT_EQ(result, 1);
}

}  // namespace
