#include "formats/kfy/kfy_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "formats/kfy/kfy_scanner.h"

namespace {

// The first element of text; the caller clears it.
KfyElement parse(const std::string& text) {
  const char* cursor = text.c_str();
  KfyElement e;
  EXPECT_EQ(kfyReadElementFromString(&cursor, &e), 1) << text;
  return e;
}

std::string point(const KfyCoordText& p) { return std::string(p.x) + "," + p.y + "," + p.z; }

TEST(KfyElementCoords, SplitsPartsAndKeepsFieldsNotGiven) {
  KfyElementCoords c;
  kfyElementCoordsInit(&c, "0", "0", "0");
  KfyElement e = parse("oL( x[1/2/3] y[/5] )");
  EXPECT_EQ(kfyElementCoordsRead(&c, &e), 3);
  EXPECT_EQ(point(c.p0), "1,0,0");
  EXPECT_EQ(point(c.p1), "2,5,0");
  EXPECT_EQ(point(c.p2), "3,0,0");
  kfyElementClear(&e);

  // A reused record keeps what the next element does not give; a fourth
  // part and long keys are ignored; "o" names the element.
  e = parse("oL( z[7/8/9/10] xx[4] o[name] )");
  EXPECT_EQ(kfyElementCoordsRead(&c, &e), 4);
  EXPECT_EQ(point(c.p0), "1,0,7");
  EXPECT_EQ(point(c.p2), "3,0,9");
  EXPECT_STREQ(c.name, "name");
  kfyElementClear(&e);

  e = parse("oL()");
  EXPECT_EQ(kfyElementCoordsRead(&c, &e), 0);
  kfyElementClear(&e);
}

TEST(KfyElementCoords, PartsThatDoNotFitKeepTheField) {
  KfyElementCoords c;
  const std::string longDefault(30, '1');
  kfyElementCoordsInit(&c, longDefault.c_str(), nullptr, "");
  EXPECT_EQ(std::string(c.p1.x), std::string(23, '1'));  // defaults are cut
  EXPECT_STREQ(c.p1.y, "");
  KfyElement e = parse("oL( x[123456789012345678901234/2] )");
  EXPECT_EQ(kfyElementCoordsRead(&c, &e), 1);
  EXPECT_EQ(std::string(c.p0.x), std::string(23, '1'));  // 24 digits: kept as it was
  EXPECT_STREQ(c.p1.x, "2");
  kfyElementClear(&e);
}

struct SetsDeleter {
  void operator()(KfyPointSets* s) const { kfyPointSetsFree(s); }
};
using SetsPtr = std::unique_ptr<KfyPointSets, SetsDeleter>;

std::string at(const KfyPointSets* sets, int i, int j) {
  double x = -1, y = -1, z = -1;
  if (kfyPointSetsGet(sets, i, j, &x, &y, &z) != 1) return "none";
  return std::to_string(int(x)) + "," + std::to_string(int(y)) + "," + std::to_string(int(z));
}

TEST(KfyPointSets, UnwrittenStorageReadsAsZeros) {
  SetsPtr sets(kfyPointSetsGrow(nullptr, 0));
  ASSERT_NE(sets, nullptr);
  EXPECT_EQ(at(sets.get(), 0, 0), "none");  // nothing stored yet
  ASSERT_EQ(kfyPointSetsPut(sets.get(), 3, 2, 1, 2, 3), 1);
  EXPECT_EQ(at(sets.get(), 0, 0), "0,0,0");
  EXPECT_EQ(at(sets.get(), 0, 1), "none");
  EXPECT_EQ(at(sets.get(), 3, 1), "0,0,0");
  EXPECT_EQ(at(sets.get(), 3, 2), "1,2,3");
  EXPECT_EQ(at(sets.get(), 3, 3), "none");
  EXPECT_EQ(at(sets.get(), 4, 0), "none");
  EXPECT_EQ(at(sets.get(), -1, 0), "none");
  EXPECT_EQ(sets->maxIndex, 3);
  EXPECT_EQ(sets->capacity, 16);
  EXPECT_EQ(kfyPointSetsPut(nullptr, 0, 0, 1, 1, 1), 0);
  EXPECT_EQ(kfyPointSetsPut(sets.get(), 0, -1, 1, 1, 1), 0);
  EXPECT_EQ(kfyPointSetsGrow(sets.get(), 40)->capacity, 48);
}

TEST(KfyPointSets, SequentialPointsGrowInSteps) {
  SetsPtr sets(kfyPointSetsGrow(nullptr, 1));
  for (int j = 1; j <= 5000; ++j) ASSERT_EQ(kfyPointSetsPut(sets.get(), 1, j, j, -j, 2 * j), 1);
  const KfyPointSet& set = sets->entries.at(1);
  EXPECT_TRUE(set.farPoints.empty());
  EXPECT_EQ(set.capacity, 6144);  // 16, 32, 48, 64, 128, 192, 256, 512, ... 2048, 4096, 6144
  for (int j = 1; j <= 5000; ++j) {
    ASSERT_EQ(at(sets.get(), 1, j),
              std::to_string(j) + "," + std::to_string(-j) + "," + std::to_string(2 * j));
  }
}

// Ids from a hostile file must not allocate gigabytes: a huge id is kept
// apart, and ids that the dense array later reaches move into it.
TEST(KfyPointSets, HugeIdsAreStoredSparsely) {
  SetsPtr sets(kfyPointSetsGrow(nullptr, 1));
  ASSERT_EQ(kfyPointSetsPut(sets.get(), 29999999, 2000000000, 1, 2, 3), 1);
  EXPECT_EQ(at(sets.get(), 29999999, 2000000000), "1,2,3");
  EXPECT_EQ(at(sets.get(), 29999999, 1999999999), "0,0,0");
  EXPECT_LE(sets->entries.at(29999999).capacity, 16);

  for (int j = 1000; j < 4000; ++j) ASSERT_EQ(kfyPointSetsPut(sets.get(), 2, j, j, 0, 0), 1);
  const KfyPointSet& set = sets->entries.at(2);
  EXPECT_GT(set.capacity, 0);
  EXPECT_LT(set.farPoints.size(), 3000u);
  for (int j = 1000; j < 4000; ++j) ASSERT_EQ(at(sets.get(), 2, j), std::to_string(j) + ",0,0");
  EXPECT_EQ(at(sets.get(), 2, 999), "0,0,0");
}

bool gFailRealloc = false;
void* failingRealloc(void* block, std::size_t bytes) {
  return gFailRealloc ? nullptr : std::realloc(block, bytes);
}

// A reallocation that fails must keep the points stored before and fail
// only the put that needed it.
TEST(KfyPointSets, FailedGrowthKeepsStoredPoints) {
  SetsPtr sets(kfyPointSetsGrow(nullptr, 1));
  sets->reallocFn = failingRealloc;
  gFailRealloc = false;
  for (int j = 0; j < 16; ++j) ASSERT_EQ(kfyPointSetsPut(sets.get(), 0, j, j, j, j), 1);
  gFailRealloc = true;
  EXPECT_EQ(kfyPointSetsPut(sets.get(), 0, 16, 9, 9, 9), 0);
  EXPECT_EQ(kfyPointSetsPut(sets.get(), 5, 0, 9, 9, 9), 0);  // new set without storage
  EXPECT_EQ(sets->entries.at(0).capacity, 16);
  EXPECT_EQ(sets->entries.at(0).maxIndex, 15);
  EXPECT_EQ(sets->maxIndex, 0);
  for (int j = 0; j < 16; ++j)
    ASSERT_EQ(at(sets.get(), 0, j),
              std::to_string(j) + "," + std::to_string(j) + "," + std::to_string(j));
  EXPECT_EQ(at(sets.get(), 0, 16), "none");
  EXPECT_EQ(kfyPointSetsPut(sets.get(), 0, 3, 7, 7, 7), 1);  // within capacity
  gFailRealloc = false;
  EXPECT_EQ(kfyPointSetsPut(sets.get(), 0, 16, 9, 9, 9), 1);
  EXPECT_EQ(at(sets.get(), 0, 16), "9,9,9");
  EXPECT_EQ(at(sets.get(), 0, 3), "7,7,7");
}

struct CodecCase {
  const char* name;
  const char* alphabet;
  double scale;
  int radix;
  std::string text;
  double expected;
  bool ok;
};

void PrintTo(const CodecCase& c, std::ostream* os) { *os << c.name; }

class KfyCodecTable : public ::testing::TestWithParam<CodecCase> {};

const char kDefaultAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!#$%&?@_|~";

TEST_P(KfyCodecTable, DecodesReals) {
  const CodecCase& c = GetParam();
  KfyNumberCodec codec;
  kfyCodecSetAlphabet(&codec, c.alphabet);
  kfyCodecSetScale(&codec, c.scale, c.radix);
  bool ok = !c.ok;
  EXPECT_DOUBLE_EQ(kfyCodecDecodeReal(codec, c.text, &ok), c.expected);
  EXPECT_EQ(ok, c.ok);
}

INSTANTIATE_TEST_SUITE_P(
    Reals, KfyCodecTable,
    ::testing::Values(CodecCase{"Positive", "0123456789", 100, 10, "+1234", 12.34, true},
                      CodecCase{"Negative", "0123456789", 100, 10, "-5", -0.05, true},
                      CodecCase{"Star", "0123456789", 100, 10, "*", 0, true},
                      CodecCase{"StarWithDigits", "0123456789", 100, 10, "*99", 0, true},
                      CodecCase{"SignOnly", "0123456789", 100, 10, "+", 0, true},
                      CodecCase{"AnySignCharIsPositive", "0123456789", 1, 10, "x12", 12, true},
                      CodecCase{"Scale1000", "0123456789", 1000, 10, "+1234", 1.234, true},
                      CodecCase{"DefaultAlphabet", kDefaultAlphabet, 1, 10, "+~", 71, true},
                      CodecCase{"Radix72", kDefaultAlphabet, 1, 0, "+10", 72, true},
                      CodecCase{"TinyScaleKeepsDivisor", "0123456789", 1e-12, 10, "+5", 5, true},
                      CodecCase{"RadixAboveAlphabetKept", "01", 1, 10, "+11", 3, true},
                      CodecCase{"ByteAbove127IsDigitZero", "0123456789", 1, 10, "+1\xff", 10, true},
                      CodecCase{"OverflowRejected", "0123456789", 1, 10,
                                "+" + std::string(400, '9'), 0, false}),
    [](const ::testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

TEST(KfyCodec, DecodesIntegersAndRejectsOverflow) {
  KfyNumberCodec codec;
  kfyCodecSetAlphabet(&codec, kDefaultAlphabet);
  kfyCodecSetScale(&codec, 1, 10);
  bool ok = false;
  EXPECT_EQ(kfyCodecDecodeInt(codec, "123", &ok), 123);
  EXPECT_TRUE(ok);
  EXPECT_EQ(kfyCodecDecodeInt(codec, "", &ok), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(kfyCodecDecodeInt(codec, "2147483647", &ok), 2147483647);
  EXPECT_TRUE(ok);
  EXPECT_EQ(kfyCodecDecodeInt(codec, "2147483648", &ok), 0);
  EXPECT_FALSE(ok);

  // The process-wide codec has no alphabet until one is set.
  KfyNumberCodec* global = kfyCodecGlobal();
  const KfyNumberCodec saved = *global;
  kfyCodecSetAlphabet("0123456789");
  kfyCodecSetScale(100, 10);
  EXPECT_DOUBLE_EQ(kfyCodecDecodeReal("+1234"), 12.34);
  EXPECT_EQ(kfyCodecDecodeInt("42"), 42);
  EXPECT_DOUBLE_EQ(kfyCodecDecodeReal(nullptr), 0);
  *global = saved;
}

}  // namespace
