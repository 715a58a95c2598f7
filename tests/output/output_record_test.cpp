#include "output/output_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(OutputRecord, FieldsSitAtTheirByteOffsets) {
  OutputRecord rec;
  outRecClear(&rec, 3109);
  outRecSetI32(&rec, kRecAxFlagX, 1);
  outRecSetF64(&rec, kRecAxX, 1.5);
  outRecSetF64(&rec, kRecAxW, -2.25);
  outRecSetText(&rec, kRecText3, "third");

  unsigned char bytes[sizeof rec];
  std::memcpy(bytes, &rec, sizeof rec);
  const int32_t code = 3109, one = 1;
  const double x = 1.5, w = -2.25;
  EXPECT_EQ(std::memcmp(bytes + 0, &code, 4), 0);
  EXPECT_EQ(std::memcmp(bytes + 8, &one, 4), 0);
  EXPECT_EQ(std::memcmp(bytes + 24, &x, 8), 0);
  EXPECT_EQ(std::memcmp(bytes + 80, &w, 8), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 520), "third");
  EXPECT_STREQ(rec.body.text.text3, "third");
  EXPECT_EQ(outRecGetF64(&rec, 80), -2.25);

  // Marker layout over the same bytes.
  outRecClear(&rec, kRecMarkBegin);
  outRecSetI32(&rec, kRecMarkNumber, 7);
  outRecSetI32(&rec, kRecMarkKind, 4);
  outRecSetText(&rec, kRecMarkName, "link");
  outRecSetText(&rec, kRecMarkUsage, "poly");
  std::memcpy(bytes, &rec, sizeof rec);
  EXPECT_EQ(bytes[8], 7);
  EXPECT_EQ(bytes[12], 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 16), "link");
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 528), "poly");
}

struct CutCase {
  const char* name;
  std::string text;
  std::size_t maxChars;
  std::size_t kept;
};

class TextCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(TextCutTest, LongTextsStopAtAUnitBoundary) {
  const CutCase& c = GetParam();
  OutputRecord rec;
  std::memset(&rec, 'Z', sizeof rec);
  EXPECT_EQ(outRecSetText(&rec, kRecValue, c.text.c_str(), c.maxChars), c.kept);
  EXPECT_EQ(std::string(rec.body.text.value), c.text.substr(0, c.kept));
  EXPECT_EQ(rec.body.text.text3[0], 'Z');  // the next field is untouched
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextCutTest,
    ::testing::Values(
        CutCase{"fits", "short", 255, 5}, CutCase{"cut_to_field", std::string(400, 'a'), 255, 255},
        CutCase{"limit_above_field_is_clamped", std::string(400, 'a'), 1000, 255},
        CutCase{"escape_fits_exactly", std::string(251, 'a') + "\\040", 255, 255},
        CutCase{"escape_dropped_whole", std::string(253, 'a') + "\\040", 255, 253},
        CutCase{"double_backslash_dropped_whole", std::string(254, 'a') + "\\\\", 255, 254},
        CutCase{"marker_limit", std::string(300, 'm'), kRecMarkTextMax, 254},
        CutCase{"lone_backslash_is_one_char", std::string(254, 'a') + "\\x", 255, 255}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputRecord, NullTextIsEmpty) {
  OutputRecord rec;
  std::memset(&rec, 'Z', sizeof rec);
  EXPECT_EQ(outRecSetText(&rec, kRecName, nullptr), 0u);
  EXPECT_STREQ(rec.body.text.name, "");
}

// The sanitizer builds keep assertions live: a field offset past the record
// is a caller's bug and stops the program there instead of reading beyond it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESSARO_SANITIZER_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TESSARO_SANITIZER_BUILD 1
#endif
#endif

TEST(OutputRecordDeathTest, FieldOffsetPastTheRecordAssertsWhereAssertionsAreLive) {
#ifdef NDEBUG
#ifdef TESSARO_SANITIZER_BUILD
  FAIL() << "a sanitizer build compiles its assertions out";
#else
  GTEST_SKIP() << "assertions are compiled out in this build";
#endif
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  OutputRecord rec;
  outRecClear(&rec, 0);
  EXPECT_DEATH(outRecGetI32(&rec, sizeof(OutputRecord)), "offset");
  EXPECT_DEATH(outRecSetF64(&rec, sizeof(OutputRecord) - 4, 1.0), "offset");
#endif
}

}  // namespace
