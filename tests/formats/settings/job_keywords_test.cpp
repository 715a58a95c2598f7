#include "formats/settings/job_keywords.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

TEST(JobLineSplitTest, TokensAndTheRestOfTheLine) {
  const struct {
    const char* line;
    const char* keyword;
    const char* value;
    const char* rest;
  } rows[] = {
      {"*A B C", "*A", "B", "B C"}, {"*A\t  B", "*A", "B", "  B"}, {"*A", "*A", "", ""},
      {"*A   ", "*A", "", "  "},    {"  *A x", "*A", "x", "x"},    {"", "", "", ""},
  };
  for (const auto& r : rows) {
    char kw[16], val[16];
    const char* rest = nullptr;
    jobLineSplit(r.line, kw, sizeof kw, val, sizeof val, &rest);
    EXPECT_STREQ(kw, r.keyword) << r.line;
    EXPECT_STREQ(val, r.value) << r.line;
    EXPECT_STREQ(rest, r.rest) << r.line;
  }
  char kw[4], val[4];
  jobLineSplit("*LONGKEY LONGVALUE", kw, sizeof kw, val, sizeof val, nullptr);
  EXPECT_STREQ(kw, "*LO");
  EXPECT_STREQ(val, "LON");
}

TEST(JobValueParseTest, KindsAndEnumerations) {
  const JobEnumWord words[] = {{"left", 1}, {"right", 2}, {nullptr, 0}};
  const JobEnumList enums[] = {{40, words}, {-1, nullptr}};
  double n[4] = {9, 9, 9, 9};
  char text[32] = "12.5x";
  EXPECT_EQ(jobValueParse(enums, kJobParseNumber, "", n, text, sizeof text), 0);
  EXPECT_EQ(n[0], 12.5);
  EXPECT_EQ(jobValueParse(enums, kJobParse3, "1 2 oops 4", n, text, sizeof text), 0);
  EXPECT_EQ(n[0], 1.0);
  EXPECT_EQ(n[1], 2.0);
  EXPECT_EQ(n[2], 9.0);  // not given: kept
  EXPECT_EQ(jobValueParse(enums, kJobParse4, "0x10 1e-400 -inf 3", n, text, sizeof text), 0);
  EXPECT_EQ(n[0], 16.0);
  EXPECT_EQ(n[1], 0.0);
  EXPECT_EQ(n[3], 3.0);
  EXPECT_EQ(jobValueParse(enums, kJobParseRest, "   a b  ", n, text, sizeof text), 0);
  EXPECT_STREQ(text, "a b  ");
  std::strcpy(text, "RIGHT");
  EXPECT_EQ(jobValueParse(enums, 40, "", n, text, sizeof text), 0);
  EXPECT_EQ(n[0], 2.0);
  std::strcpy(text, "up");
  EXPECT_EQ(jobValueParse(enums, 40, "", n, text, sizeof text), -1);
  EXPECT_EQ(jobValueParse(enums, 41, "", n, text, sizeof text), -1);
}

TEST(JobStoreValueTest, UnknownStoreTypeStoresNothing) {
  int32_t field = 5;
  const JobKeywordTable row{"*X", 9, 0, kJobParseNumber, &field, 0};
  const double n[4] = {1, 2, 3, 4};
  EXPECT_EQ(jobStoreValue(&row, n, "", false), 0);
  EXPECT_EQ(field, 5);
}

TEST(StrListTest, HeadTakesTheFirstTextThenNodesAppend) {
  StrList* list = strListNew(nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->text, nullptr);
  EXPECT_EQ(strListAppend(list, "a"), 1);
  EXPECT_EQ(strListAppend(list, "b"), 1);
  EXPECT_EQ(strListAppend(list, "c"), 1);
  std::string joined;
  for (const StrList* n = list; n != nullptr; n = n->next) joined += n->text;
  EXPECT_EQ(joined, "abc");
  strListFree(list);
  EXPECT_EQ(strListAppend(nullptr, "x"), -1);
}

}  // namespace
