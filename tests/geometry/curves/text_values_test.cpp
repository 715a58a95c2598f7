#include "geometry/curves/text_values.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace {

struct LetterCase {
  const char* name;
  char letter;
  const char* line;
  int result;
  double value;  // expected value; 42 means untouched
};
void PrintTo(const LetterCase& c, std::ostream* os) { *os << c.name; }
class LetterValue : public testing::TestWithParam<LetterCase> {};

TEST_P(LetterValue, Table) {
  const LetterCase& c = GetParam();
  double value = 42;
  EXPECT_EQ(textGetLetterValue(c.letter, c.line, &value), c.result);
  EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, LetterValue,
                         testing::Values(LetterCase{"negative_fraction", 'Z', "X1 Y2 Z-0.5", 1,
                                                    -0.5},
                                         LetterCase{"first_letter", 'X', "X10.5 Y-3 Z 0", 1, 10.5},
                                         LetterCase{"after_blanks", 'Z', "X10.5 Y-3 Z   7", 1, 7},
                                         LetterCase{"exponent", 'Y', "Y1e2", 1, 100},
                                         LetterCase{"minus_point", 'X', "X -.25", 1, -0.25},
                                         LetterCase{"point_right_after", 'X', "X.5", 0, 42},
                                         LetterCase{"plus_right_after", 'X', "X+5", 0, 42},
                                         LetterCase{"plus_after_blank", 'X', "X +5", 1, 5},
                                         LetterCase{"two_signs", 'X', "X +-5", 0, 42},
                                         LetterCase{"only_first_occurrence", 'X', "XA X5", 0, 42},
                                         LetterCase{"letter_missing", 'C', "A1 B2", 0, 42},
                                         LetterCase{"blank_then_no_number", 'Z', "Z abc", 0, 42},
                                         LetterCase{"minus_then_no_number", 'Z', "Z-", 0, 42},
                                         LetterCase{"not_a_finite_number", 'Z', "Z nan", 0, 42},
                                         LetterCase{"letter_at_end", 'Z', "X1 Z", 0, 42}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LetterValueGuards, NullLineAndOddLetters) {
  double value = 42;
  EXPECT_EQ(textGetLetterValue('X', nullptr, &value), 0);
  EXPECT_EQ(textGetLetterValue(0, "X1", &value), 0);
  EXPECT_EQ(textGetLetterValue(-88, "X1", &value), 0);
  EXPECT_EQ(value, 42);
}

class CountLines : public testing::Test {
 protected:
  std::string write(const std::string& text) {
    const std::string name = dir_.file("f.txt");
    tsupport::writeFile(name, text);
    return name;
  }
  tsupport::TempDir dir_;
};

TEST_F(CountLines, LongLinesCountOncePerPiece) {
  EXPECT_EQ(textFileCountLines(write(std::string(300, 'a') + "\n").c_str()), 3);
  EXPECT_EQ(textFileCountLines(write(std::string(127, 'a') + "\n").c_str()), 1);
  EXPECT_EQ(textFileCountLines(write(std::string(128, 'a') + "\n").c_str()), 2);
  EXPECT_EQ(textFileCountLines(write("a\nb\nc\n").c_str()), 3);
  EXPECT_EQ(textFileCountLines(write("a\nb\nlast without end").c_str()), 3);
  EXPECT_EQ(textFileCountLines(write("").c_str()), 0);
}

TEST_F(CountLines, BadNamesGiveMinusOne) {
  EXPECT_EQ(textFileCountLines(nullptr), -1);
  EXPECT_EQ(textFileCountLines(""), -1);
  EXPECT_EQ(textFileCountLines(" f.txt"), -1);
  EXPECT_EQ(textFileCountLines(dir_.file("missing.txt").c_str()), -1);
}

}  // namespace
