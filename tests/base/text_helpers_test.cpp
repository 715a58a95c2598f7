#include "base/text_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "support/temp_dir.h"

namespace {

struct EscapeCase {
  const char* name;
  std::string in;
  std::string out;
};

class KfyEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(KfyEscapeTest, EscapesLikeTheValueScannerExpects) {
  const EscapeCase& c = GetParam();
  EXPECT_EQ(kfyEscapeText(c.in), c.out);
  // The bounded form writes the same text when it has room.
  char buf[256];
  EXPECT_EQ(kfyEscapeText(buf, sizeof buf, c.in.c_str()), c.out.size());
  EXPECT_EQ(std::string(buf), c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KfyEscapeTest,
    ::testing::Values(EscapeCase{"parentheses", "a(b)", "a\\040b\\041"},
                      EscapeCase{"kept_set", "@$%&#~|-+*/=<>!?^,;.:_'\" {}Az09",
                                 "@$%&#~|-+*/=<>!?^,;.:_'\" {}Az09"},
                      EscapeCase{"backslash_doubles", "C:\\tmp", "C:\\\\tmp"},
                      EscapeCase{"brackets", "[x]", "\\091x\\093"},
                      EscapeCase{"controls", "\t\r\n", "\\009\\013\\010"},
                      EscapeCase{"high_bytes", "\xc3\xa9\x7f", "\\195\\169\\127"},
                      EscapeCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KfyEscapeBounded, CutsBeforeAnEscapeThatDoesNotFit) {
  char buf[8];
  std::memset(buf, 'Z', sizeof buf);
  // "a" + "\040" = 5 characters fit in 6 bytes; the next "\041" would not.
  EXPECT_EQ(kfyEscapeText(buf, 6, "a()"), 5u);
  EXPECT_STREQ(buf, "a\\040");
  EXPECT_EQ(buf[6], 'Z');  // nothing written past the bound
  EXPECT_EQ(kfyEscapeText(buf, 4, "("), 0u);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(kfyEscapeText(buf, 3, "\\\\"), 2u);
  EXPECT_STREQ(buf, "\\\\");
  EXPECT_EQ(kfyEscapeText(buf, 1, "abc"), 0u);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(kfyEscapeText(buf, sizeof buf, nullptr), 0u);
  EXPECT_STREQ(buf, "");
}

TEST(KfyEscapeString, GrowsFourfoldWithoutLimit) {
  const std::string in(1000, '(');
  const std::string out = kfyEscapeText(in);
  ASSERT_EQ(out.size(), 4000u);
  EXPECT_EQ(out.substr(3996), "\\040");
}

struct ParseCase {
  const char* name;
  const char* text;
  int count;
  double a, b, c;
};

class ParseNumbersTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumbersTest, PicksUpToThreeNumbers) {
  const ParseCase& p = GetParam();
  double v[3] = {-7, -7, -7};
  EXPECT_EQ(strParseNumbers3(p.text, &v[0], &v[1], &v[2]), p.count);
  const double want[3] = {p.a, p.b, p.c};
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(v[i], want[i]) << "number " << i;
}

constexpr double kUnset = -7;  // targets without a number stay untouched
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Table, ParseNumbersTest,
    ::testing::Values(ParseCase{"blanks", "1 2 3", 3, 1, 2, 3},
                      ParseCase{"commas", "1,2.5,-3", 3, 1, 2.5, -3},
                      ParseCase{"words_between", "x=1.5e2 y=-.5", 2, 150, -0.5, kUnset},
                      ParseCase{"dash_joins_run", "1-2", 1, 1, kUnset, kUnset},
                      ParseCase{"plus_sign", "+5 +.25", 2, 5, 0.25, kUnset},
                      ParseCase{"not_a_number_is_zero", "-- 4", 2, 0, 4, kUnset},
                      ParseCase{"stops_at_three", "1 2 3 4", 3, 1, 2, 3},
                      ParseCase{"dangling_exponent", "2e x", 1, 2, kUnset, kUnset},
                      ParseCase{"overflow_is_inf", "1e999 -1e999 1e-999", 3, kInf, -kInf, 0},
                      ParseCase{"empty", "", 0, kUnset, kUnset, kUnset},
                      ParseCase{"null", nullptr, 0, kUnset, kUnset, kUnset}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseNumbers, NullTargetsAreSkipped) {
  double b = 0;
  EXPECT_EQ(strParseNumbers3("4 5 6", nullptr, &b, nullptr), 3);
  EXPECT_EQ(b, 5);
}

TEST(ReplaceChar, CopiesOrReplacesInPlace) {
  char dst[16] = "zzzzzzzzzzzzzzz";
  EXPECT_EQ(strReplaceChar(dst, "a\\b\\c", '\\', '/'), 2);
  EXPECT_STREQ(dst, "a/b/c");
  EXPECT_EQ(strReplaceChar(dst, "", 'a', 'b'), 0);
  EXPECT_STREQ(dst, "");
  EXPECT_EQ(strReplaceChar(dst, nullptr, 'a', 'b'), 0);
  EXPECT_STREQ(dst, "");

  char same[] = "a.b.c";
  EXPECT_EQ(strReplaceChar(same, same, '.', ','), 2);
  EXPECT_STREQ(same, "a,b,c");
  EXPECT_EQ(strReplaceChar(same, same, ',', ','), 0);
  EXPECT_STREQ(same, "a,b,c");
}

}  // namespace

TEST(NoCaseCompare, FoldsOnlyAsciiLetters) {
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } rows[] = {
      {"PCF", "pcf", true}, {"pOf", "POF", true},    {"PCF", "PCF ", false}, {"", "", true},
      {"a", "", false},     {"\xc4", "\xe4", false}, {"[", "{", false},  // 0x5b and 0x7b differ by
                                                                         // the case bit, but are no
                                                                         // letters
  };
  for (const auto& row : rows) {
    EXPECT_EQ(strEqualsNoCase(row.a, row.b), row.equal) << row.a << " " << row.b;
  }
  EXPECT_TRUE(strEndsWithNoCase("job.Cfg", ".CFG"));
  EXPECT_TRUE(strEndsWithNoCase(".CFG", ".cfg"));
  EXPECT_FALSE(strEndsWithNoCase("CFG", ".CFG"));
  EXPECT_FALSE(strEndsWithNoCase("job.CFGx", ".CFG"));
}

namespace {

TEST(TextWriteFile, WritesTheWholeTextOrNothing) {
  tsupport::TempDir dir;
  const std::string path = dir.file("out.txt");
  ASSERT_TRUE(tsupport::writeFile(path, "an older and longer text"));
  ASSERT_TRUE(textWriteFile(path.c_str(), std::string_view("a\0b\n", 4)));
  EXPECT_EQ(tsupport::readFile(path), std::string("a\0b\n", 4));
  EXPECT_FALSE(textWriteFile(dir.file("no/dir.txt").c_str(), "x"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("no/dir.txt")));
}

// A device that refuses the text (here a full device of the test's own) is
// not a cut-off file to be removed.
TEST(TextWriteFile, DeviceThatRefusesTheTextStays) {
  tsupport::TempDir dir;
  const std::string path = dir.file("full");
  if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
    GTEST_SKIP() << "no device node can be made here";
  }
  EXPECT_FALSE(textWriteFile(path.c_str(), "text"));
  EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
