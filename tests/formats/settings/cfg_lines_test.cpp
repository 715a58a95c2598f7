#include "formats/settings/cfg_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

// Every line cfgReadLine finds in content.
Lines readAll(const std::string& content) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  std::fwrite(content.data(), 1, content.size(), f);
  std::rewind(f);
  Lines lines;
  const char* k = nullptr;
  const char* v = nullptr;
  while (cfgReadLine(f, &k, &v) == 1) lines.emplace_back(k, v);
  std::fclose(f);
  return lines;
}

struct CfgCase {
  const char* name;
  std::string content;
  Lines lines;
};

class CfgReadLineTest : public ::testing::TestWithParam<CfgCase> {};

TEST_P(CfgReadLineTest, SplitsKeywordAndValue) {
  EXPECT_EQ(readAll(GetParam().content), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CfgReadLineTest,
    ::testing::Values(
        CfgCase{"plain", "*TOOL 12\n", {{"*TOOL", "12"}}},
        CfgCase{
            "tabs_become_blanks_and_end_is_trimmed", "  *A\t  x  y\tz \t \r\n", {{"*A", "x  y z"}}},
        CfgCase{"keyword_only", "*ONLY\n", {{"*ONLY", ""}}},
        CfgCase{"comment_after_value_ends_at_line_end",
                "*K v # note\n*NEXT 1\n",
                {{"*K", "v"}, {"*NEXT", "1"}}},
        CfgCase{"comment_glued_to_keyword", "*K#note\n", {{"*K", ""}}},
        CfgCase{"comment_and_empty_lines_skipped", "# head\n\n   \n\t# x\n*B 2\n", {{"*B", "2"}}},
        CfgCase{"last_line_without_end", "*A 1\n*B two words", {{"*A", "1"}, {"*B", "two words"}}},
        CfgCase{"cr_alone_ends_line", "*A 1\r*B 2\r\n", {{"*A", "1"}, {"*B", "2"}}},
        CfgCase{"star_inside_value", "*P a*b *c\n", {{"*P", "a*b *c"}}},
        CfgCase{"only_line_ends", "\r\n\r\n\n", {}}, CfgCase{"empty_file", "", {}},
        CfgCase{"nul_bytes_dropped", std::string("*A x\0y\n", 7), {{"*A", "xy"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CfgReadLine, LongLinesAreKeptWhole) {
  const std::string key(700, 'K');
  const std::string value(5000, 'v');
  EXPECT_EQ(readAll(key + " " + value + "\n"), (Lines{{key, value}}));
}

TEST(CfgLines, AppendKeepsOrderAndSkipsEmptyKeywords) {
  CfgLine* list = nullptr;
  list = cfgLinesAppend(list, "*A", "1", 21);
  list = cfgLinesAppend(list, "", "x", 21);
  list = cfgLinesAppend(list, nullptr, "x", 21);
  list = cfgLinesAppend(list, "*B", nullptr, 7);
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->keyword, "*A");
  EXPECT_STREQ(list->value, "1");
  EXPECT_EQ(list->origin, 21);
  ASSERT_NE(list->next, nullptr);
  EXPECT_STREQ(list->next->keyword, "*B");
  EXPECT_STREQ(list->next->value, "");
  EXPECT_EQ(list->next->origin, 7);
  EXPECT_EQ(list->next->next, nullptr);
  cfgLinesFree(list);
}

TEST(CfgLines, ReadFileAppendsBehindExistingLines) {
  char path[] = "/tmp/cfg_lines_testXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::FILE* f = fdopen(fd, "w");
  std::fputs("*X 1\n# c\n*Y  a  b\n", f);
  std::fclose(f);

  CfgLine* list = cfgLinesAppend(nullptr, "*FIRST", "0", 2);
  list = cfgReadFile(list, path, kCfgOriginSettingsFile);
  std::remove(path);
  Lines got;
  std::vector<int> origins;
  for (CfgLine* l = list; l != nullptr; l = l->next) {
    got.emplace_back(l->keyword, l->value);
    origins.push_back(l->origin);
  }
  EXPECT_EQ(got, (Lines{{"*FIRST", "0"}, {"*X", "1"}, {"*Y", "a  b"}}));
  EXPECT_EQ(origins, (std::vector<int>{2, 21, 21}));

  // A file that cannot be opened leaves the list as it was.
  EXPECT_EQ(cfgReadFile(list, "/nonexistent/dir/job.CFG", 21), list);
  EXPECT_EQ(cfgReadFile(nullptr, nullptr, 21), nullptr);
  cfgLinesFree(list);
}

}  // namespace
