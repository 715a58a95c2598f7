#include "cycle/language_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/settings/param_list.h"
#include "support/temp_dir.h"

namespace {

using Lines = std::vector<std::string>;

// Every test runs in a fresh temporary working directory.
class LanguageTest : public ::testing::Test {
 protected:
  static void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(tsupport::writeFile(name, text)) << name;
  }
  // The text lines of the block of language in text, or null when the
  // block is not found.
  static std::unique_ptr<Lines> block(const std::string& text, const char* language) {
    write("t.txt", text);
    const int h = langOpen("t.txt", language);
    EXPECT_EQ(h, kLangFirstHandle);
    char line[300];
    auto lines = std::make_unique<Lines>();
    bool any = false;
    while (langReadLine(h, line, sizeof line) == 1) {
      lines->push_back(line);
      any = true;
    }
    EXPECT_STREQ(line, "");
    langClose(h);
    // An empty block and a missing one read the same way.
    return any ? std::move(lines) : nullptr;
  }
  tsupport::ScopedWorkDir work_;
};

const char kTwoBlocks[] =
    "default en\n"
    "start de\n:Hallo\n: Welt \nend de\n"
    "start en\n:Hello\nend en\n";

struct LangCase {
  const char* label;
  std::string text;
  const char* language;
  Lines expected;  // empty: no block
};

class LanguageBlock : public LanguageTest, public ::testing::WithParamInterface<LangCase> {};

TEST_P(LanguageBlock, FindsTheBlock) {
  const LangCase& c = GetParam();
  const std::unique_ptr<Lines> got = block(c.text, c.language);
  if (c.expected.empty()) {
    EXPECT_EQ(got, nullptr);
  } else {
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(*got, c.expected);
  }
}

const LangCase kLangCases[] = {
    {"DefaultChosenWithoutLanguageLine", kTwoBlocks, "de", {"Hello"}},
    {"LanguageLineChoosesAskedBlock",
     std::string("language de\n") + kTwoBlocks,
     "de",
     {"Hallo", " Welt "}},
    {"LanguageLineAfterDefault",
     std::string("default en\nlanguage fr\nlanguage de\n") + kTwoBlocks + "",
     "de",
     {"Hallo", " Welt "}},
    {"OnlyFirstDefaultCounts",
     "default en\ndefault de\nstart de\n:D\nend de\nstart en\n:E\nend en\n",
     "fr",
     {"E"}},
    {"NoDefaultTakesFirstBlock",
     "start de\n:Hallo\nend de\nstart en\n:Hello\nend en\n",
     "en",
     {"Hallo"}},
    {"BareEndDoesNotEndBlock",
     "start en\n:a\nend\n  end  \n:b\nend ;x\n:c\nend en\n:d\n",
     "en",
     {"a", "b", "c"}},
    {"OtherLinesInBlockSkipped",
     "start en\n:a\nnote this\n  ; comment\nended here\n\n\t:b\nend x\n",
     "en",
     {"a", "b"}},
    {"UnknownKeywordEndsSearch", "read x\nstart en\n:a\nend en\n", "en", {}},
    {"NonKeywordLetterSkipsLine", "ready x\nstart en\n:a\nend en\n", "en", {"a"}},
    {"KeywordWithoutValueIgnored",
     "default\ndefault ;de\nstart\nstart ; en\nstart en\n:a\n",
     "de",
     {"a"}},
    {"RestOfLineReadAsNewLine", "default en start en\n:a\n", "de", {"a"}},
    {"SemicolonSkipsRestOfLine", "default fr;start en\nstart en\n:a\n", "fr", {}},
    {"CommentAndForeignLinesOutsideSkipped",
     "# head\n; more\n:stray\n1 2\n\xfc\xe4\nstart en\n:a\n",
     "en",
     {"a"}},
    {"CrLfLineEnds", "default en\r\nstart en\r\n:a\r\n:\r\nend en\r\n", "de", {"a", ""}},
    {"BytesAbove127InText", "start en\n:\xe4\xff\n", "en", {"\xe4\xff"}},
    {"LastLineWithoutLineEndKept", "start en\n:a\n:b", "en", {"a", "b"}},
    {"EmptyFile", "", "en", {}},
    {"StartWithoutTextLines", "start en\nend en\n", "en", {}},
};

INSTANTIATE_TEST_SUITE_P(Language, LanguageBlock, ::testing::ValuesIn(kLangCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(LanguageTest, HandlesAreLimitedToFourOpenFiles) {
  write("t.txt", kTwoBlocks);
  std::vector<int> handles;
  for (int i = 0; i < kLangMaxOpen; ++i) handles.push_back(langOpen("t.txt", "de"));
  EXPECT_EQ(handles, (std::vector<int>{123, 124, 125, 126}));
  EXPECT_EQ(langOpen("t.txt", "de"), -1);
  langClose(124);
  EXPECT_EQ(langOpen("t.txt", "en"), 124);
  char line[64] = "junk";
  EXPECT_EQ(langReadLine(124, line, sizeof line), 1);
  EXPECT_STREQ(line, "Hello");
  // Other handles are refused and leave an empty text.
  for (int bad : {0, 122, 127, -1}) {
    std::strcpy(line, "junk");
    EXPECT_EQ(langReadLine(bad, line, sizeof line), 0);
    EXPECT_STREQ(line, "");
    langClose(bad);
  }
  for (int h : handles) langClose(h);
  langClose(123);  // already closed: ignored
  EXPECT_EQ(langOpen("missing.txt", "en"), -2);
  EXPECT_EQ(langOpen(nullptr, "en"), -2);
  const int h = langOpen("t.txt", nullptr);
  EXPECT_EQ(h, 123);
  langClose(h);
}

TEST_F(LanguageTest, LongTextLineIsCutAndTheNextLineReadWhole) {
  write("t.txt", "start en\n:" + std::string(1000, 'x') + "\n:next\n");
  const int h = langOpen("t.txt", "en");
  char line[16];
  ASSERT_EQ(langReadLine(h, line, sizeof line), 1);
  EXPECT_EQ(std::string(line), std::string(15, 'x'));
  ASSERT_EQ(langReadLine(h, line, sizeof line), 1);
  EXPECT_STREQ(line, "next");
  EXPECT_EQ(langReadLine(h, line, sizeof line), 0);
  EXPECT_EQ(langReadLine(h, line, sizeof line), 0);  // stays ended
  langClose(h);
  // Long keyword values and words are harmless.
  EXPECT_EQ(
      block("default " + std::string(5000, 'e') + "\n" + std::string(5000, 'e') + "\nstart e\n:a\n",
            "en"),
      nullptr);
}

TEST_F(LanguageTest, TruncatedFileAtEveryLength) {
  const std::string full =
      "default en\r\nlanguage de\r\nstart de\r\n:Zeile 1\r\nend\r\n"
      ":Zeile \xfc\r\nend de\r\n";
  for (size_t n = 0; n <= full.size(); ++n) {
    const std::unique_ptr<Lines> got = block(full.substr(0, n), "de");
    if (got) {
      EXPECT_LE(got->size(), 2u);
    }
  }
  ASSERT_NE(block(full, "de"), nullptr);
  EXPECT_EQ(*block(full, "de"), (Lines{"Zeile 1", "Zeile \xfc"}));
}

TEST_F(LanguageTest, HelpTextUsesSectionFileAndSystemLanguage) {
  write("algo.txt", kTwoBlocks);
  write("empty.txt", "default en\nstart en\nend en\n");
  write("firstonly.txt", "start de\n:x\n");
  CycleDescriptor ctx{};
  EXPECT_EQ(langHelpText(&ctx, "algorithm"), 0);  // no section parameter
  ctx.params = paramListSet(ctx.params, "algorithm", "algo.txt", 13);
  ctx.params = paramListSet(ctx.params, "layers", "empty.txt", 13);
  ctx.params = paramListSet(ctx.params, "parameters", "missing.txt", 13);
  // Unset language: "???" falls back to the default block.
  EXPECT_EQ(langHelpText(&ctx, "algorithm"), 1);
  EXPECT_EQ(langHelpText(&ctx, "layers"), 0);
  EXPECT_EQ(langHelpText(&ctx, "parameters"), 0);
  // The unset language is asked for as "???", which a file may name.
  write("unset.txt", "default en\nlanguage ???\nstart en\nend en\nstart ???\n:q\n");
  ctx.params = paramListSet(ctx.params, "algorithm", "unset.txt", 13);
  EXPECT_EQ(langHelpText(&ctx, "algorithm"), 1);
  ctx.params = paramListSet(ctx.params, "algorithm", "firstonly.txt", 13);
  EXPECT_EQ(langHelpText(&ctx, "algorithm"), 1);
  ctx.params = paramListSet(ctx.params, "SystemLanguage", "de", 13);
  EXPECT_EQ(langHelpText(&ctx, "algorithm"), 1);
  // Every file was closed again: four fresh opens still succeed.
  for (int i = 0; i < kLangMaxOpen; ++i) {
    EXPECT_EQ(langOpen("algo.txt", "de"), kLangFirstHandle + i);
  }
  for (int i = 0; i < kLangMaxOpen; ++i) langClose(kLangFirstHandle + i);
  paramListFree(ctx.params);
}

}  // namespace
