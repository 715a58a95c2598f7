#include "cycles/profile/job/job_record.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/text_helpers.h"
#include "formats/settings/cfg_lines.h"
#include "support/temp_dir.h"

namespace {

class JobRecordTest : public testing::Test {
 protected:
  void SetUp() override { jobRecordReset(); }
  void TearDown() override { jobRecordReset(); }

  std::string write(const std::string& text) {
    const std::string path = dir_.file("job.txt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  tsupport::TempDir dir_;
};

std::vector<std::string> listed(const StrList* list) {
  std::vector<std::string> out;
  for (; list != nullptr; list = list->next) {
    if (list->text != nullptr) out.emplace_back(list->text);
  }
  return out;
}

TEST(JobKeywordTableTest, RowsAreUniqueAndStoreIntoFieldsOfTheirType) {
  int rows = 0;
  std::set<std::string> seen;
  const auto* first = reinterpret_cast<const char*>(&jobRecord);
  const auto* last = first + sizeof jobRecord;
  for (const JobKeywordTable* r = profJobKeywords; r->keyword != nullptr; ++r, ++rows) {
    std::string upper = r->keyword;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(seen.insert(upper).second) << r->keyword;
    EXPECT_EQ(r->keyword[0], '*') << r->keyword;
    const auto* target = static_cast<const char*>(r->target);
    const bool side = target == jobHbnd || target == jobHsync;
    EXPECT_TRUE(side || (target >= first && target < last)) << r->keyword;
    // Texts carry their width, numbers none; the parse kind fits the store.
    switch (r->storeType) {
      case kJobStoreText:
        EXPECT_TRUE(r->width == 129 || r->width == 132 || r->width == 136 || r->width == 256 ||
                    r->width == 257)
            << r->keyword;
        EXPECT_LE(r->parseKind, kJobParseRest) << r->keyword;
        break;
      case kJobStoreF64x3:
        EXPECT_EQ(r->parseKind, kJobParse3) << r->keyword;
        break;
      case kJobStoreF64x4:
        EXPECT_EQ(r->parseKind, kJobParse4) << r->keyword;
        break;
      default:
        EXPECT_EQ(r->parseKind, kJobParseNumber) << r->keyword;
        EXPECT_EQ(r->width, 0u) << r->keyword;
    }
  }
  EXPECT_EQ(rows, kProfJobKeywordCount);
}

TEST(JobKeywordTableTest, SynonymsShareTheirFieldAndLookupIgnoresCase) {
  const struct {
    const char* a;
    const char* b;
  } pairs[] = {{"*PROFIL", "*KFY"}, {"*VERTZUSTEL", "*STEP_DOWN"}, {"*HORIZUSTEL", "*HATCHDIST"},
               {"*A1", "*COMMENT"}, {"*INCH_MODE", "*INCH"},       {"*LENGTH3", "*HEAD_LENGTH2"}};
  for (const auto& p : pairs) {
    const int a = jobKeywordFind(p.a);
    const int b = jobKeywordFind(p.b);
    ASSERT_GE(a, 0) << p.a;
    ASSERT_GE(b, 0) << p.b;
    EXPECT_EQ(profJobKeywords[a].target, profJobKeywords[b].target) << p.a;
  }
  EXPECT_EQ(jobKeywordFind("*frradius"), jobKeywordFind("*FRRADIUS"));
  EXPECT_EQ(jobKeywordFind("*NO_SUCH_KEYWORD"), -1);
  EXPECT_EQ(jobKeywordFind(""), -1);
  EXPECT_EQ(jobKeywordFind(nullptr), -1);
}

TEST(JobRecordInitialTest, RecordStartsWithItsLoadValues) {
  jobRecordReset();
  EXPECT_EQ(jobRecord.frradius, 4.0);
  EXPECT_EQ(jobRecord.horizustel, 1.0);
  EXPECT_EQ(jobRecord.vertzustel, 10000.0);
  EXPECT_EQ(jobRecord.oberfl, 10000.0);
  EXPECT_EQ(jobRecord.tief, -10000.0);
  EXPECT_EQ(jobRecord.sichebene, 100.0);
  EXPECT_EQ(jobRecord.spiral, 1);
  EXPECT_EQ(jobRecord.maxfaces, 10000);
  EXPECT_STREQ(jobRecord.modName, "KORVANTA");
  EXPECT_STREQ(jobRecord.axs, "NONE");
  EXPECT_EQ(jobRecord.startpt[2], -100000.0);
  EXPECT_EQ(jobRecord.nckoX[0], 1.0);
  EXPECT_EQ(jobRecord.g1ColorRgb[1], 1.0);
  EXPECT_STRNE(jobRecord.prgDir, "");
}

TEST_F(JobRecordTest, JobFileEdgeCases) {
  const std::string path = write(
      "*frradius 2.5\n"                         // lower case keyword
      "*FRTYP 2.9\n"                            // i16 truncated
      "*LAUF -1.5\n"                            // towards zero
      "# *SICHEBENE 7\n"                        // comment line
      "*SICHDIST 3 # the rest is a comment\n"   //
      "*APPROX   model one.3df  # comment\r\n"  // rest of line, leading blanks cut
      "*TMP_DIR /tmp/a /tmp/b\n"                // first token only
      "*STARTPT 1 2 3\n"                        //
      "*NCKO_O 7 8\n"                           // third number from the line before
      "*ZVORSCHUB\n"                            // numeric alone: 0
      "*BOUNDARY\n"                             // text alone: empty
      "*XVORSCHUB abc\n"                        // no number: 0
      "*UNKNOWN_WORD 5\n"                       //
      "\n"
      "*PROFIL first.prf\n"
      "*KFY second.kfy\n"  // synonym, later line wins
      "*HBND a\n"
      "*HBND 0\n"
      "*HBND b\n"
      "*HSYNC  \n"
      "*HSYNC s1\n");
  jobRecord.boundary[0] = 'x';
  ASSERT_EQ(jobFileRead(path.c_str()), 1);
  EXPECT_EQ(jobRecord.frradius, 2.5);
  EXPECT_EQ(jobRecord.frtyp, 2);
  EXPECT_EQ(jobRecord.lauf, -1);
  EXPECT_EQ(jobRecord.sichebene, 100.0);
  EXPECT_EQ(jobRecord.sichdist, 3.0);
  EXPECT_STREQ(jobRecord.approx, "model one.3df  ");
  EXPECT_STREQ(jobRecord.tmpDir, "/tmp/a");
  EXPECT_EQ(jobRecord.startpt[0], 1.0);
  EXPECT_EQ(jobRecord.startpt[2], 3.0);
  EXPECT_EQ(jobRecord.nckoO[0], 7.0);
  EXPECT_EQ(jobRecord.nckoO[1], 8.0);
  EXPECT_EQ(jobRecord.nckoO[2], 3.0);
  EXPECT_EQ(jobRecord.zvorschub, 0.0);
  EXPECT_STREQ(jobRecord.boundary, "");
  EXPECT_EQ(jobRecord.xvorschub, 0.0);
  EXPECT_STREQ(jobRecord.profil, "second.kfy");
  EXPECT_STREQ(jobHbnd, "b");
  EXPECT_EQ(listed(jobHbndList()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(listed(jobHsyncList()), (std::vector<std::string>{"s1"}));
}

TEST_F(JobRecordTest, ThreeNumberBufferStartsAtZeroForEveryRead) {
  ASSERT_EQ(jobFileRead(write("*STARTPT 4 5 6\n").c_str()), 1);
  ASSERT_EQ(jobFileRead(write("*NCKO_O 1\n").c_str()), 1);
  EXPECT_EQ(jobRecord.nckoO[0], 1.0);
  EXPECT_EQ(jobRecord.nckoO[1], 0.0);
  EXPECT_EQ(jobRecord.nckoO[2], 0.0);
}

TEST_F(JobRecordTest, LongLinesAreReadWholeAndNeverSplitIntoKeywordLines) {
  // The value runs past any line buffer; its tail looks like a keyword line.
  std::string value(300, 'a');
  value += " *SICHEBENE 7";
  ASSERT_EQ(jobFileRead(write("*APPROX " + value + "\n*FRRADIUS 6\n").c_str()), 1);
  EXPECT_EQ(jobRecord.sichebene, 100.0);
  EXPECT_EQ(std::strlen(jobRecord.approx), sizeof jobRecord.approx - 1);
  EXPECT_EQ(jobRecord.frradius, 6.0);
}

TEST_F(JobRecordTest, IntegersSaturateInsteadOfWrapping) {
  ASSERT_EQ(jobFileRead(write("*PATH_CASH_CT 70000\n*FRTYP -1e9\n*WKZNUMMER 1e12\n"
                              "*JOBID nan\n")
                            .c_str()),
            1);
  EXPECT_EQ(jobRecord.pathCashCt, 32767);
  EXPECT_EQ(jobRecord.frtyp, -32768);
  EXPECT_EQ(jobRecord.wkznummer, 2147483647);
  EXPECT_EQ(jobRecord.jobid, 0);
}

TEST_F(JobRecordTest, NumbersIgnoreTheHostLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  // A locale with a decimal comma, when the machine has one.
  const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  const int read = jobFileRead(write("*FRRADIUS 2.75\n").c_str());
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_EQ(read, 1);
  EXPECT_EQ(jobRecord.frradius, 2.75) << (switched ? "under de_DE" : "C locale only");
}

TEST_F(JobRecordTest, FilesThatCannotBeReadGiveZero) {
  EXPECT_EQ(jobFileRead(dir_.file("missing.job").c_str()), 0);
  EXPECT_EQ(jobFileRead(dir_.path().c_str()), 0);  // a directory
  EXPECT_EQ(jobFileRead(nullptr), 0);
  EXPECT_EQ(jobRecord.frradius, 4.0);
}

TEST_F(JobRecordTest, CfgLinesKeepTheWholeValueForFirstTokenKeywords) {
  CfgLine* lines = nullptr;
  lines = cfgLinesAppend(lines, "*tmp_dir", "/tmp/a /tmp/b", kCfgOriginSettingsFile);
  lines = cfgLinesAppend(lines, "*FRRADIUS", "3.5", kCfgOriginSettingsFile);
  lines = cfgLinesAppend(lines, "*STARTPT", "1 2", kCfgOriginSettingsFile);
  lines = cfgLinesAppend(lines, "*APPROX", "  a.3df", kCfgOriginSettingsFile);
  lines = cfgLinesAppend(lines, "*HBND", "h1", kCfgOriginSettingsFile);
  lines = cfgLinesAppend(lines, "*NOPE", "1", kCfgOriginSettingsFile);
  EXPECT_EQ(jobApplyCfgLines(lines), 1);
  cfgLinesFree(lines);
  EXPECT_STREQ(jobRecord.tmpDir, "/tmp/a /tmp/b");
  EXPECT_EQ(jobRecord.frradius, 3.5);
  EXPECT_EQ(jobRecord.startpt[0], 1.0);
  EXPECT_EQ(jobRecord.startpt[1], 2.0);
  EXPECT_EQ(jobRecord.startpt[2], 0.0);
  EXPECT_STREQ(jobRecord.approx, "a.3df");
  EXPECT_STREQ(jobHbnd, "h1");
  EXPECT_EQ(jobHbndList(), nullptr);
}

}  // namespace
