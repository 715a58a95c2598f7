#include "formats/settings/pcf_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Every test runs in a fresh temporary working directory.
class PcfFileTest : public ::testing::Test {
 protected:
  static void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(tsupport::writeFile(name, text)) << name;
  }
  // Reads text as a PCF file; entries newest first.
  static Entries readText(const std::string& text, int origin = 21) {
    write("in.pcf", text);
    ParamList list = pcfReadFile(nullptr, "in.pcf", origin);
    Entries out;
    for (const ParamEntry* e = list; e != nullptr; e = e->next) {
      out.emplace_back(e->name, e->value);
      EXPECT_EQ(e->origin, origin);
    }
    paramListFree(list);
    return out;
  }
  tsupport::ScopedWorkDir work_;
};

struct PcfCase {
  const char* label;
  std::string text;
  Entries expected;  // newest first
};

class PcfSyntax : public PcfFileTest, public ::testing::WithParamInterface<PcfCase> {};

TEST_P(PcfSyntax, TextGivesList) { EXPECT_EQ(readText(GetParam().text), GetParam().expected); }

const PcfCase kPcfCases[] = {
    {"LaterPairReplacesEarlier", "a := 1\na := 2\n", {{"a", "2"}}},
    {"BlankInsideQuotesKept", "a:=\"x y\"\n", {{"a", "x y"}}},
    {"BareValueStopsAtBlank", "a:=x y\nb:=2\n", {{"b", "2"}, {"a", "x"}}},
    {"BlankAndMarkContinueValue", "a:=ab >\n  cd\n", {{"a", "abcd"}}},
    {"MarkGluedToBareValueDoesNotContinue", "a:=ab>\nb:=cd\n", {{"b", "cd"}, {"a", "ab"}}},
    {"ContinuationOverQuotedTexts", "a:=\"x \" >\n\n \"y\" >\n z\n", {{"a", "x yz"}}},
    {"MarkGluedToQuotedValueDoesNotContinue", "a:=\"x\">\nb:=2\n", {{"b", "2"}, {"a", "x"}}},
    {"ContinuationEndedByEndOfFile", "a:=x >", {{"a", "x"}}},
    {"TrailingComment", "a:=1 ; a note\nb:=2 ;\n", {{"b", "2"}, {"a", "1"}}},
    {"TextAfterQuotedValueIgnored", "a:=\"x\" y z\nb:=2\n", {{"b", "2"}, {"a", "x"}}},
    {"CommentAndBlankLinesPassedOver",
     "; head\n\n \t; more\n  a:=1\n;x\nb:=2",
     {{"b", "2"}, {"a", "1"}}},
    {"LineWithOnlyANameStopsReading", "a:=1\nb\nc:=3\n", {{"a", "1"}}},
    {"NameWithoutAssignStopsReading", "a:=1\nb = 2\nc:=3\n", {{"a", "1"}}},
    {"AssignWithBlankInsideStopsReading", "a:=1\nb: =2\nc:=3\n", {{"a", "1"}}},
    {"MissingValueStopsReading", "a:=1\nb:=\nc:=3\n", {{"a", "1"}}},
    {"ValueOfOnlyACommentStopsReading", "a:=1\nb:=;x\nc:=3\n", {{"a", "1"}}},
    {"QuotedNameKeepsBlanksAndColons", "\"my: name\" := v\n", {{"my: name", "v"}}},
    {"EmptyQuotedNameStopsReading", "\"\":=v\nb:=2\n", {}},
    {"Escapes", "a:=\"t\\tb\\\"q\\\\\\x\\b\\n\\r\"\n", {{"a", "t\tb\"q\\x\b\n\r"}}},
    {"LineEndInsideQuotesEndsThePair", "a:=\"xy\nb:=2\n", {{"b", "2"}, {"a", "xy"}}},
    {"CrLfLineEnds",
     "a:=1\r\nb:=\"x y\"\r\nc:=3 >\r\n 4\r\n;c\r\nd:=5",
     {{"d", "5"}, {"c", "34"}, {"b", "x y"}, {"a", "1"}}},
    {"BytesAbove127Kept", "n\xe4me:=v\xfc\xff\n", {{"n\xe4me", "v\xfc\xff"}}},
    {"NulByteEndsTheText", std::string("a:=x\0y\nb\0:=2\n", 13), {{"b", "2"}, {"a", "x"}}},
    {"NoFinalLineEnd", "a:=1", {{"a", "1"}}},
    {"EmptyFile", "", {}},
    {"OnlyComments", ";a\n;b", {}},
};

INSTANTIATE_TEST_SUITE_P(Pcf, PcfSyntax, ::testing::ValuesIn(kPcfCases),
                         [](const auto& info) { return std::string(info.param.label); });

// An empty quoted value ends its pair at the line end: the next line's name
// must never be glued onto the name collected so far.
TEST_F(PcfFileTest, EmptyQuotedValueNeverGluesTheNextLine) {
  for (const char* text :
       {"a:=\"\"\nb:=2\n", "a:=\"\nb:=2\n", "x:=1\na:=\"\"\r\nb:=2\n", "a:=\"\\\nb:=2\n"}) {
    SCOPED_TRACE(text);
    for (const auto& [name, value] : readText(text)) {
      EXPECT_TRUE(name == "x") << "unexpected entry " << name;
    }
  }
}

TEST_F(PcfFileTest, ReadPairReportsEachPairAndFreesThePrevious) {
  write("in.pcf", "a:=1\nb:=2\n");
  FILE* f = pcfOpenFile("in.pcf");
  ASSERT_NE(f, nullptr);
  PcfPair pair{strDuplicate("old"), strDuplicate("old")};
  ASSERT_EQ(pcfReadPair(f, &pair), 1);
  EXPECT_STREQ(pair.name, "a");
  ASSERT_EQ(pcfReadPair(f, &pair), 1);
  EXPECT_STREQ(pair.value, "2");
  EXPECT_EQ(pcfReadPair(f, &pair), 0);
  EXPECT_EQ(pair.name, nullptr);
  EXPECT_EQ(pcfReadPair(nullptr, &pair), 0);
  pcfCloseFile(f);
}

// Every prefix of a file reads cleanly; a prefix that ends with a line
// gives exactly the pairs of its lines.
TEST_F(PcfFileTest, TruncatedFileAtEveryLength) {
  const std::string full =
      "; settings\r\nprecision := 4\r\n\"a b\":=\"x\\ty\" >\r\n z ; c\r\n"
      "frameCs_x:=0,0,1\r\nq:=\"\xe4\"\r\n";
  const Entries all = readText(full);
  ASSERT_EQ(all.size(), 4u);
  for (size_t n = 0; n <= full.size(); ++n) {
    const Entries got = readText(full.substr(0, n));
    EXPECT_LE(got.size(), all.size()) << n;
  }
  EXPECT_EQ(readText(full.substr(0, full.find("frameCs"))), Entries(all.end() - 2, all.end()));
}

TEST_F(PcfFileTest, UnreadableFileLeavesListUnchanged) {
  ParamList list = paramListSet(nullptr, "a", "1", 13);
  EXPECT_EQ(pcfReadFile(list, "missing.pcf", 21), list);
  EXPECT_EQ(pcfReadFile(list, nullptr, 21), list);
  EXPECT_EQ(list->next, nullptr);
  paramListFree(list);
}

TEST_F(PcfFileTest, LaterFileReplacesPairsOfEarlierFile) {
  write("d.def", "a:=1\nb:=2\n");
  write("s.pcf", "b:=3\n");
  ParamList list = pcfReadFile(nullptr, "d.def", 13);
  list = pcfReadFile(list, "s.pcf", 21);
  short origin = 0;
  char* b = paramListGet(list, "b", &origin);
  EXPECT_STREQ(b, "3");
  EXPECT_EQ(origin, 21);
  memFree(b);
  paramListFree(list);
}

TEST_F(PcfFileTest, TildeExpandsToHome) {
  const char* oldHome = getenv("HOME");
  const std::optional<std::string> saved =
      oldHome ? std::optional<std::string>(oldHome) : std::nullopt;
  fs::create_directory("home");
  write("home/h.pcf", "a:=home\n");
  write("~h.pcf", "a:=literal\n");
  setenv("HOME", work_.file("home").c_str(), 1);
  ParamList list = pcfReadFile(nullptr, "~/h.pcf", 21);
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->value, "home");
  paramListFree(list);
  // Without HOME the name is taken as it stands.
  unsetenv("HOME");
  list = pcfReadFile(nullptr, "~h.pcf", 21);
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->value, "literal");
  paramListFree(list);
  if (saved) setenv("HOME", saved->c_str(), 1);
}

TEST_F(PcfFileTest, StdinNameReadsStandardInputAndLeavesItOpen) {
  EXPECT_EQ(pcfOpenFile("| stdin"), stdin);
  write("in.pcf", "a:=1\n");
  const int saved = dup(0);
  FILE* in = std::fopen("in.pcf", "rb");
  ASSERT_NE(in, nullptr);
  dup2(fileno(in), 0);
  std::fclose(in);
  clearerr(stdin);
  ParamList list = pcfReadFile(nullptr, "| stdin", 21);
  // The stream is still usable after the reader is done with it.
  EXPECT_EQ(std::fgetc(stdin), EOF);
  EXPECT_EQ(std::ferror(stdin), 0);
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->name, "a");
  paramListFree(list);
}

}  // namespace
