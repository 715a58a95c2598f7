#include "formats/kfy/kfy_scanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "support/temp_dir.h"

namespace {

std::string show(const char* s) {
  return s == nullptr ? "null" : std::string("'") + std::string(s) + "'";
}

// One line per element: kind, name, text and the attributes in order.
std::string render(const KfyElement& e) {
  std::string out(1, static_cast<char>(e.kind));
  out += std::string(" ") + show(e.name) + " " + show(e.text);
  for (const KfyAttr* a = e.attributes; a != nullptr; a = a->next) {
    out += std::string(" ") + show(a->key) + "=" + show(a->value);
  }
  if (e.bodyFile != nullptr) out += " <long body>";
  return out;
}

// Every element of text, then "END" when the reads stopped at the end of
// the input between elements or "ERROR" when they stopped at a malformed or
// cut-off element.
std::vector<std::string> scanAll(const std::string& text) {
  std::vector<std::string> out;
  const char* cursor = text.c_str();
  KfyElement e;
  while (kfyReadElementFromString(&cursor, &e) == 1) out.push_back(render(e));
  kfyElementClear(&e);
  out.push_back(kfyLastReadFailed() ? "ERROR" : "END");
  return out;
}

std::string header(const std::string& version = "1.0") {
  return std::string(kfyBanner) + "\nkFY-Version: " + version + "\nGeometry\nTitle\n";
}

struct ScanCase {
  const char* name;
  std::string text;
  std::vector<std::string> elements;  // renders, then "END" or "ERROR"
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class KfyScanTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(KfyScanTable, ReadsElementsFromText) {
  EXPECT_EQ(scanAll(GetParam().text), GetParam().elements) << GetParam().name;
}

const std::string kLongText(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Syntax, KfyScanTable,
    ::testing::Values(
        ScanCase{"Value", "vprecision(4)", {"v 'precision' '4'", "END"}},
        ScanCase{"ValueTrimmed", "v x( a b )", {"v 'x' 'a b'", "END"}},
        ScanCase{"ValueTrailingTabKeptInside", "vx(a\tb\t)", {"v 'x' 'a\tb'", "END"}},
        // An empty value cannot exist: the ")" is skipped and the body
        // continues on the next line.
        ScanCase{"EmptyParenthesesDoNotEndValue", "vx()\n  abc)", {"v 'x' 'abc'", "END"}},
        ScanCase{"ValueEndsAtLineEnd", "vk(abc\nvz(1)", {"v 'k' 'abc'", "v 'z' '1'", "END"}},
        ScanCase{"ObjectAttributesInOrder",
                 "oM[3]( x[/1] y[/2] )",
                 {"o 'M' '3' 'x'='/1' 'y'='/2'", "END"}},
        ScanCase{"KeyTKeepsBlanks",
                 "oT( t[ a b ] u[ a b ] )",
                 {"o 'T' null 't'=' a b ' 'u'='a b'", "END"}},
        ScanCase{
            "EmptyBracketsGiveNull", "oE( x[] y[  ] )", {"o 'E' null 'x'=null 'y'=null", "END"}},
        ScanCase{"BlanksDroppedInBracketText", "oA[ 1 2 ]()", {"o 'A' '12'", "END"}},
        ScanCase{"AttributeEndsAtLineEnd", "oA(x[1\n y[2])", {"o 'A' null 'x'='1' 'y'='2'", "END"}},
        ScanCase{"DigitAsName", "o7(a[1])", {"o '7' null 'a'='1'", "END"}},
        ScanCase{"BadFirstLetter", "q(1)", {"ERROR"}},
        ScanCase{"Blocks", "{ vk(1) }", {"{ null null", "v 'k' '1'", "} null null", "END"}},
        ScanCase{"Comments",
                 "; head\nvk(1) ; tail\noA( ; inside\n x[1] ) ; end",
                 {"v 'k' '1'", "o 'A' null 'x'='1'", "END"}},
        ScanCase{"CommentAfterNameBeforeBody", "vk ; c\n (1)", {"v 'k' '1'", "END"}},
        ScanCase{"CommentRightAfterKeyIsError", "oA(x;c\n[1])", {"ERROR"}},
        ScanCase{"CommentRunningToEndInsideElement", "vk ; c", {"ERROR"}},
        ScanCase{"Method", "mfoo[2](abc def)", {"m 'foo' '2' null='abc def'", "END"}},
        ScanCase{"MethodBodyDropsCarriageReturns",
                 "mf(\r\nab\r\n)",
                 {"m 'f' null null='\nab\n'", "END"}},
        ScanCase{"MethodSkipsLeadingParen", "mf()ab)", {"m 'f' null null='ab'", "END"}},
        ScanCase{"LongBodyFromTextKeptWhole",
                 "mP(" + kLongText + ") vk(1)",
                 {"m 'P' null null='" + kLongText + "'", "v 'k' '1'", "END"}},
        ScanCase{"Escapes", "vk(a\\041b\\\\c\\]d)", {"v 'k' 'a)b\\c]d'", "END"}},
        ScanCase{"EscapeEndsAtBlank", "vk(\\65 x)", {"v 'k' 'A x'", "END"}},
        ScanCase{"EscapeOfThreeDigits", "vk(\\1234)", {"v 'k' '{4'", "END"}},
        ScanCase{"EscapeDigitsDroppedBeforeLetter", "vk(\\65x)", {"v 'k' 'x'", "END"}},
        ScanCase{"EscapeBeforeParenEndsBody", "vk(\\65)vz(1)", {"v 'k' 'A'", "v 'z' '1'", "END"}},
        ScanCase{"CrLf",
                 "vk(1)\r\noM[2](x[1]\r\n y[2])\r\n",
                 {"v 'k' '1'", "o 'M' '2' 'x'='1' 'y'='2'", "END"}},
        ScanCase{"ByteAbove127InValue", "vk(\xc3\xa9)", {"ERROR"}},
        ScanCase{"ByteAbove127InName", "o\xe9(a[1])", {"ERROR"}},
        ScanCase{"ByteAbove127InBody", "mf(a\xff)", {"ERROR"}},
        ScanCase{"ByteAbove127InComment", "; \xff\xfe\nvk(1)", {"v 'k' '1'", "END"}},
        ScanCase{"ObjectCutAtEnd", "oA(x[1]", {"ERROR"}},
        ScanCase{"AttributeValueCutAtEnd", "oA(x[1", {"ERROR"}},
        ScanCase{"BracketAfterValueName", "vk[1](2)", {"ERROR"}},
        ScanCase{"Character26EndsText", "vk(1)\x1avz(2)", {"v 'k' '1'", "END"}}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(KfyScanner, CursorStopsAfterTheElement) {
  const std::string text = "vprecision(4) rest";
  const char* cursor = text.c_str();
  KfyElement e;
  ASSERT_EQ(kfyReadElementFromString(&cursor, &e), 1);
  EXPECT_STREQ(cursor, " rest");
  kfyElementClear(&e);
  EXPECT_EQ(e.kind, kKfyNone);
  EXPECT_EQ(e.bodyStart, -1);

  const char* none = nullptr;
  EXPECT_EQ(kfyReadElementFromString(&none, &e), 0);
  EXPECT_EQ(kfyReadElementFromString(static_cast<const char**>(nullptr), &e), 0);
  EXPECT_EQ(kfyReadElement(nullptr, &e), 0);
}

class KfyFileTest : public ::testing::Test {
 protected:
  tsupport::ScopedWorkDir dir_;

  // Writes text to name and reads all its elements through the file path.
  std::vector<std::string> readFileElements(const std::string& name, const std::string& text) {
    EXPECT_TRUE(tsupport::writeFile(dir_.file(name), text));
    KfyHeader h;
    FILE* f = kfyOpenFile(dir_.file(name).c_str(), &h);
    std::vector<std::string> out;
    if (f == nullptr) return {"NO FILE"};
    KfyElement e;
    while (kfyReadElement(f, &e) == 1) out.push_back(render(e));
    kfyElementClear(&e);
    out.push_back(kfyLastReadFailed() ? "ERROR" : "END");
    kfyHeaderFree(&h);
    kfyCloseFile(f);
    return out;
  }
};

// Every prefix of a sample file must end the reads cleanly, from a text
// and from a file, and every element read before the last one must equal
// the element of the whole file.
TEST_F(KfyFileTest, EveryTruncationStopsCleanly) {
  const std::string sample = tsupport::readFile(std::string(TESSARO_TEST_DATA) + "/kfy/sample.kfy");
  ASSERT_FALSE(sample.empty());
  const std::vector<std::string> whole = readFileElements("whole.kfy", sample);
  ASSERT_EQ(whole.back(), "END");
  ASSERT_GE(whole.size(), 15u);
  const std::size_t bodyStart = sample.find("\n\n") + 2;
  ASSERT_EQ(scanAll(sample.substr(bodyStart)), whole);
  for (std::size_t cut = 0; cut < sample.size(); ++cut) {
    const std::string prefix = sample.substr(0, cut);
    const std::vector<std::string> fromFile = readFileElements("cut.kfy", prefix);
    ASSERT_LE(fromFile.size(), whole.size()) << cut;
    for (std::size_t k = 0; k + 2 < fromFile.size(); ++k) ASSERT_EQ(fromFile[k], whole[k]) << cut;
    if (cut < bodyStart) continue;
    const std::vector<std::string> fromText = scanAll(prefix.substr(bodyStart));
    ASSERT_LE(fromText.size(), whole.size()) << cut;
    for (std::size_t k = 0; k + 2 < fromText.size(); ++k) ASSERT_EQ(fromText[k], whole[k]) << cut;
  }
}

struct HeaderCase {
  const char* name;
  std::string text;
  bool valid;
  const char* fileType;  // expected when valid
  const char* title;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class KfyHeaderTable : public KfyFileTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(KfyHeaderTable, AcceptsOnlyVersionsBelow1_1) {
  const HeaderCase& c = GetParam();
  ASSERT_TRUE(tsupport::writeFile(dir_.file("h.kfy"), c.text));
  KfyHeader h;
  FILE* f = kfyOpenFile(dir_.file("h.kfy").c_str(), &h);
  EXPECT_EQ(f != nullptr, c.valid);
  if (f != nullptr) {
    EXPECT_EQ(show(h.fileType), show(c.fileType));
    EXPECT_EQ(show(h.title), show(c.title));
    kfyCloseFile(f);
  } else {
    EXPECT_EQ(h.fileType, nullptr);
  }
  kfyHeaderFree(&h);
}

const std::string kBanner = kfyBanner;

INSTANTIATE_TEST_SUITE_P(
    Versions, KfyHeaderTable,
    ::testing::Values(
        HeaderCase{"V1_0", header("1.0"), true, "Geometry", "Title"},
        HeaderCase{"V0_9", header("0.9"), true, "Geometry", "Title"},
        HeaderCase{"V1_1", header("1.1"), false, nullptr, nullptr},
        HeaderCase{"V2_0", header("2.0"), false, nullptr, nullptr},
        HeaderCase{"Negative", header("-1.0"), false, nullptr, nullptr},
        HeaderCase{"UnreadableIsZero", header("x.y"), true, "Geometry", "Title"},
        HeaderCase{"MajorOnly", header("1"), true, "Geometry", "Title"},
        HeaderCase{"HugeMajor", header("99999999999999999999.0"), false, nullptr, nullptr},
        HeaderCase{"NoTitle", kBanner + "\nkFY-Version: 1.0\nGeometry\n", true, "Geometry",
                   nullptr},
        HeaderCase{"NoType", kBanner + "\nkFY-Version: 1.0\n", false, nullptr, nullptr},
        HeaderCase{"WrongBanner", "Some Other File\nkFY-Version: 1.0\nGeometry\nT\n", false,
                   nullptr, nullptr},
        HeaderCase{"MissingVersionPrefix", kBanner + "\nVersion: 1.0\nGeometry\nT\n", false,
                   nullptr, nullptr},
        HeaderCase{"BlanksAndEmptyLines",
                   "\n  " + kBanner + " \t\n\n\tkFY-Version:  1.0\n\n  Geometry  \n\n My title \n",
                   true, "Geometry", "My title"},
        HeaderCase{"CrLf", kBanner + "\r\nkFY-Version: 1.0\r\nGeometry\r\nT\r\n", true, "Geometry",
                   "T"},
        HeaderCase{"Empty", "", false, nullptr, nullptr},
        HeaderCase{"BinaryGarbage", std::string("\0\xff\x01\n\xfe", 5), false, nullptr, nullptr}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST_F(KfyFileTest, MissingFileOrNullHeaderGivesNull) {
  KfyHeader h;
  EXPECT_EQ(kfyOpenFile(dir_.file("absent.kfy").c_str(), &h), nullptr);
  ASSERT_TRUE(tsupport::writeFile(dir_.file("ok.kfy"), header()));
  EXPECT_EQ(kfyOpenFile(dir_.file("ok.kfy").c_str(), nullptr), nullptr);
  EXPECT_EQ(kfyOpenFile(nullptr, &h), nullptr);
}

TEST_F(KfyFileTest, TildeStandsForHome) {
  ASSERT_TRUE(tsupport::writeFile(dir_.file("home.kfy"), header()));
  const char* old = std::getenv("HOME");
  const std::string saved = old != nullptr ? old : "";
  setenv("HOME", dir_.path().c_str(), 1);
  KfyHeader h;
  FILE* f = kfyOpenFile("~/home.kfy", &h);
  EXPECT_NE(f, nullptr);
  kfyCloseFile(f);
  kfyHeaderFree(&h);

  // Without HOME the name is taken as it stands (a file named "~x.kfy").
  unsetenv("HOME");
  ASSERT_TRUE(tsupport::writeFile(dir_.file("~x.kfy"), header()));
  f = kfyOpenFile("~x.kfy", &h);
  EXPECT_NE(f, nullptr);
  kfyCloseFile(f);
  kfyHeaderFree(&h);
  if (old != nullptr) setenv("HOME", saved.c_str(), 1);
}

TEST_F(KfyFileTest, CloseLeavesPipesOpen) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE* f = fdopen(fds[0], "r");
  ASSERT_NE(f, nullptr);
  kfyCloseFile(f);
  EXPECT_NE(fcntl(fds[0], F_GETFD), -1);
  std::fclose(f);
  close(fds[1]);
  kfyCloseFile(stdin);
  EXPECT_NE(fcntl(STDIN_FILENO, F_GETFD), -1);
}

TEST_F(KfyFileTest, ElementsFollowTheHeader) {
  EXPECT_EQ(readFileElements("a.kfy", header() + "vprecision(4)\r\noA(x[1])\n; end\n"),
            (std::vector<std::string>{"v 'precision' '4'", "o 'A' null 'x'='1'", "END"}));
}

// A file that ends inside a body was cut off; a text may end a body.
TEST_F(KfyFileTest, FileEndingInsideABodyIsCutOff) {
  EXPECT_EQ(readFileElements("v.kfy", header() + "vk(1)\nvscale(10"),
            (std::vector<std::string>{"v 'k' '1'", "ERROR"}));
  EXPECT_EQ(readFileElements("m.kfy", header() + "mP(+1+2"), (std::vector<std::string>{"ERROR"}));
  EXPECT_EQ(readFileElements("l.kfy", header() + "mP(" + std::string(5000, '1')),
            (std::vector<std::string>{"ERROR"}));
  EXPECT_EQ(scanAll("vscale(10"), (std::vector<std::string>{"v 'scale' '10'", "END"}));
  EXPECT_EQ(scanAll("mP(+1+2"), (std::vector<std::string>{"m 'P' null null='+1+2'", "END"}));
}

struct BodyCase {
  const char* name;
  int length;
  bool kept;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class KfyLongBodyTable : public KfyFileTest, public ::testing::WithParamInterface<BodyCase> {};

// Bodies up to 4351 characters stay in the element; longer ones are
// located in the file, and the next element is read normally after them.
TEST_P(KfyLongBodyTable, LongBodiesAreLocatedInTheFile) {
  const BodyCase& c = GetParam();
  const std::string body(c.length, 'x');
  const std::string head = header();
  const std::string text = head + "mP[1](" + body + ")\nvk(1)\n";
  ASSERT_TRUE(tsupport::writeFile(dir_.file("b.kfy"), text));
  KfyHeader h;
  FILE* f = kfyOpenFile(dir_.file("b.kfy").c_str(), &h);
  ASSERT_NE(f, nullptr);
  KfyElement e;
  ASSERT_EQ(kfyReadElement(f, &e), 1);
  EXPECT_EQ(e.kind, kKfyMethod);
  if (c.kept) {
    ASSERT_NE(e.attributes, nullptr);
    EXPECT_EQ(std::string(e.attributes->value), body);
    EXPECT_EQ(e.bodyFile, nullptr);
    EXPECT_EQ(e.bodyStart, -1);
  } else {
    EXPECT_EQ(e.attributes, nullptr);
    EXPECT_EQ(e.bodyFile, f);
    const int64_t start = static_cast<int64_t>(head.size() + 6);
    EXPECT_EQ(e.bodyStart, start);
    EXPECT_EQ(e.bodyEnd, start + c.length + 1);
  }
  ASSERT_EQ(kfyReadElement(f, &e), 1);
  EXPECT_EQ(render(e), "v 'k' '1'");
  kfyElementClear(&e);
  kfyHeaderFree(&h);
  kfyCloseFile(f);
}

INSTANTIATE_TEST_SUITE_P(Lengths, KfyLongBodyTable,
                         ::testing::Values(BodyCase{"Longest4351Kept", 4351, true},
                                           BodyCase{"Body4352Skipped", 4352, false},
                                           BodyCase{"Body5000Skipped", 5000, false}),
                         [](const ::testing::TestParamInfo<BodyCase>& info) {
                           return std::string(info.param.name);
                         });

// A pipe cannot be repositioned, so a long body read from it is kept.
TEST_F(KfyFileTest, LongBodyFromPipeIsKept) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = "mP(" + std::string(5000, 'y') + ")";
  ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  FILE* f = fdopen(fds[0], "r");
  ASSERT_NE(f, nullptr);
  KfyElement e;
  ASSERT_EQ(kfyReadElement(f, &e), 1);
  ASSERT_NE(e.attributes, nullptr);
  EXPECT_EQ(std::string(e.attributes->value).size(), 5000u);
  EXPECT_EQ(e.bodyFile, nullptr);
  kfyElementClear(&e);
  std::fclose(f);
}

TEST_F(KfyFileTest, TraceLineForMethodNamesFollowedBySpaceOrComment) {
  const std::string text = "m foo (1)\nmbar(2)\nm baz;c\n(3)\nmq[1](4)\n";
  const char* cursor = text.c_str();
  KfyElement e;
  int count = 0;
  while (kfyReadElementFromString(&cursor, &e) == 1) ++count;
  kfyElementClear(&e);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(tsupport::readFile(dir_.file(kKfyTraceFile)), " methode = 'foo'\n methode = 'baz'\n");
}

}  // namespace
