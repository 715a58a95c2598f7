// The text readers of the settings and help files on hostile input: random
// bytes drawn from the characters their scanners react to (with NUL, bytes
// above 127 and both line ends), CR-LF files and lines of a megabyte.  Each
// reader must stop cleanly and hand out only well-formed results; the
// sanitizer build turns any out-of-bounds access into a failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/memory.h"
#include "cycle/cycle_setup.h"
#include "cycle/language_texts.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "formats/settings/pcf_file.h"
#include "support/temp_dir.h"

namespace {

using tsupport::ScopedWorkDir;
using tsupport::writeFile;

// Characters that steer the scanners, plus NUL, high bytes and plain text.
const std::string kAlphabet =
    std::string("\0\r\n\t \"\\:=>;#*-enstartdfaulgXYZ019.,", 36) + "\x80\xff\xe4";

// count texts of up to maxLength bytes from kAlphabet, fixed seed.
std::vector<std::string> randomTexts(int count, std::size_t maxLength, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    std::string t(length(rng), ' ');
    for (char& c : t) c = kAlphabet[pick(rng)];
    texts.push_back(t);
  }
  return texts;
}

// Inputs every reader gets: random texts, a megabyte line, CR-LF lines.
std::vector<std::string> hostileTexts() {
  std::vector<std::string> texts = randomTexts(400, 200, 20261210);
  texts.push_back(std::string(1 << 20, 'a'));
  texts.push_back("a:=\"" + std::string(1 << 20, 'b'));
  texts.push_back("*KEY " + std::string(1 << 20, '\t') + "v");
  texts.push_back(">\r\n>\r\n\"\r\n:=\r\n");
  texts.push_back(std::string("a:=\"x\0y\"\r\nb:=2\r\n", 17));
  return texts;
}

// C text with at least one character, and no longer than the file it came
// from.
void expectText(const char* text, std::size_t fileSize) {
  ASSERT_NE(text, nullptr);
  EXPECT_NE(text[0], '\0');
  EXPECT_LE(std::strlen(text), fileSize);
}

TEST(HostileText, PcfReaderStopsWithWellFormedPairs) {
  ScopedWorkDir dir;
  for (const std::string& text : hostileTexts()) {
    ASSERT_TRUE(writeFile("h.pcf", text));
    ParamList list = pcfReadFile(nullptr, "h.pcf", kParamOriginSettings);
    std::size_t entries = 0;
    for (const ParamEntry* e = list; e != nullptr; e = e->next) {
      expectText(e->name, text.size());
      expectText(e->value, text.size());
      ++entries;
    }
    // Each pair needs at least "a:=b".
    EXPECT_LE(entries, text.size() / 4);
    paramListFree(list);
  }
}

// Each pair is looked up by name in a hash index, so a file of many
// distinct names reads in linear time (a walk of the list per pair took a
// minute for this file).
TEST(HostileText, PcfFileOfManyPairsReadsEveryPair) {
  ScopedWorkDir dir;
  constexpr int kPairs = 200000;
  std::string text;
  for (int i = 0; i < kPairs; ++i)
    text += "name" + std::to_string(i) + " := " + std::to_string(i) + "\n";
  text += "name7 := again\n";
  ASSERT_TRUE(writeFile("many.pcf", text));
  ParamList list = pcfReadFile(nullptr, "many.pcf", kParamOriginSettings);
  int count = 0;
  for (const ParamEntry* e = list; e != nullptr; e = e->next) ++count;
  EXPECT_EQ(count, kPairs);
  char* value = paramListGet(list, "name7", nullptr);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "again");
  memFree(value);
  paramListFree(list);
}

TEST(HostileText, PcfCrLfLinesReadLikeLfLines) {
  ScopedWorkDir dir;
  ASSERT_TRUE(writeFile("crlf.pcf", "a := 1\r\nb := \"two words\"\r\n; note\r\nc := 3\r\n"));
  ParamList list = pcfReadFile(nullptr, "crlf.pcf", kParamOriginSettings);
  std::vector<std::string> got;
  for (const ParamEntry* e = list; e != nullptr; e = e->next) {
    got.push_back(std::string(e->name) + "=" + e->value);
  }
  paramListFree(list);
  EXPECT_EQ(got, (std::vector<std::string>{"c=3", "b=two words", "a=1"}));
}

TEST(HostileText, CfgReaderKeepsEveryLineWellFormed) {
  ScopedWorkDir dir;
  for (const std::string& text : hostileTexts()) {
    ASSERT_TRUE(writeFile("h.CFG", text));
    CfgLine* lines = cfgReadFile(nullptr, "h.CFG", kCfgOriginSettingsFile);
    std::size_t count = 0;
    for (const CfgLine* l = lines; l != nullptr; l = l->next) {
      expectText(l->keyword, text.size());
      ASSERT_NE(l->value, nullptr);
      // Tabs become blanks, the end is trimmed, line ends never reach a
      // value.
      EXPECT_EQ(std::strpbrk(l->value, "\r\n\t"), nullptr);
      const std::size_t n = std::strlen(l->value);
      if (n > 0) {
        EXPECT_NE(l->value[n - 1], ' ');
      }
      ++count;
    }
    EXPECT_LE(count, text.size());
    cfgLinesFree(lines);
  }
}

TEST(HostileText, CfgCrLfLinesReadLikeLfLines) {
  ScopedWorkDir dir;
  ASSERT_TRUE(writeFile("crlf.CFG", "*A one \t two \r\n\r\n# c\r\n*B\r\n"));
  CfgLine* lines = cfgReadFile(nullptr, "crlf.CFG", kCfgOriginSettingsFile);
  std::vector<std::string> got;
  for (const CfgLine* l = lines; l != nullptr; l = l->next) {
    got.push_back(std::string(l->keyword) + "|" + l->value);
  }
  cfgLinesFree(lines);
  EXPECT_EQ(got, (std::vector<std::string>{"*A|one   two", "*B|"}));
}

TEST(HostileText, LanguageReaderEndsEveryBlock) {
  ScopedWorkDir dir;
  for (std::string text : hostileTexts()) {
    // Half of the inputs open a block first, so the line reader runs too.
    if (text.size() % 2 == 0) text = "start en\n" + text;
    ASSERT_TRUE(writeFile("h.txt", text));
    const int handle = langOpen("h.txt", "en");
    ASSERT_EQ(handle, kLangFirstHandle);
    char line[64];
    std::size_t lines = 0;
    while (langReadLine(handle, line, sizeof line) == 1) {
      ASSERT_LT(std::strlen(line), sizeof line);
      // Every text line consumes at least its ":" and so the file ends.
      ASSERT_LE(++lines, text.size());
    }
    langClose(handle);
  }
}

TEST(HostileText, LanguageCrLfBlockReadsItsLines) {
  ScopedWorkDir dir;
  ASSERT_TRUE(writeFile("crlf.txt", "default en\r\nstart en\r\n:one\r\n: two\r\nend en\r\n"));
  const int handle = langOpen("crlf.txt", "de");
  char line[64];
  std::vector<std::string> got;
  while (langReadLine(handle, line, sizeof line) == 1) got.push_back(line);
  langClose(handle);
  EXPECT_EQ(got, (std::vector<std::string>{"one", " two"}));
}

// Everything fn writes to standard output (file descriptor 1).
template <typename Fn>
std::string captureStdout(const ScopedWorkDir& dir, Fn fn) {
  const std::string path = dir.file("stdout.txt");
  std::fflush(stdout);
  const int saved = dup(1);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_GE(fd, 0);
  dup2(fd, 1);
  close(fd);
  fn();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  return tsupport::readFile(path);
}

TEST(HostileText, BypassEchoCopiesEveryByteUnchanged) {
  ScopedWorkDir dir;
  for (const std::string& text : hostileTexts()) {
    ASSERT_TRUE(writeFile("bypass.txt", text));
    int result = 0;
    const std::string out =
        captureStdout(dir, [&] { result = cycEchoBypassFile("bypass.txt", kBypassLineLength); });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(out.size(), text.size());
    EXPECT_TRUE(out == text);
  }
}

TEST(HostileText, MissingFilesAndDirectoriesReadAsNothing) {
  ScopedWorkDir dir;
  ASSERT_TRUE(writeFile("keep.pcf", "a := 1\n"));
  ParamList params = pcfReadFile(nullptr, "keep.pcf", kParamOriginSettings);
  CfgLine* lines = cfgLinesAppend(nullptr, "*A", "1", kCfgOriginSettingsFile);
  // "." is a directory: it opens on Linux, but reading it fails at once.
  for (const char* path : {"missing", "."}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(pcfReadFile(params, path, kParamOriginSettings), params);
    EXPECT_EQ(params->next, nullptr);
    EXPECT_EQ(cfgReadFile(lines, path, kCfgOriginSettingsFile), lines);
    EXPECT_EQ(lines->next, nullptr);
    const int handle = langOpen(path, "en");
    if (handle >= 0) {
      char line[16];
      EXPECT_EQ(langReadLine(handle, line, sizeof line), 0);
      langClose(handle);
    } else {
      EXPECT_EQ(handle, -2);
    }
    EXPECT_EQ(langReadBlock(path, "en"), 0);
    EXPECT_EQ(captureStdout(dir, [&] { cycEchoBypassFile(path, kBypassLineLength); }), "");
  }
  paramListFree(params);
  cfgLinesFree(lines);
}

}  // namespace
