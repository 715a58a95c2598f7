// End-to-end runs of the tessaro host program, each in a fresh working
// directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/version_text.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace {

using tsupport::ProcessOptions;
using tsupport::ProcessResult;
using tsupport::TempDir;

const char kTitle[] = "Talvora 3D Profile Finishing Cycle";

ProcessResult runHost(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), TESSARO_HOST_PATH);
  ProcessOptions options;
  options.workDir = dir.path();
  options.env = {std::string("TESSARO_LIBRARY=") + TESSARO_LIBRARY_PATH};
  return tsupport::runProcess(args, options);
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

TEST(HostProgram, VersionPrintsTheVersionTextTheLibraryReports) {
  TempDir dir;
  const ProcessResult r = runHost(dir, {"--version"});
  char expected[kVersionTextSize];
  cycFormatFileVersion(expected, sizeof expected);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::string(expected) + "\n");
  // The library names the same text in the release line of a run.
  const ProcessResult run = runHost(dir, {"-Sjob"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(
      contains(tsupport::splitLines(run.out), "0: release(1001-" + std::string(expected) + ")"))
      << run.out;
}

struct OptionCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
};

class OptionMode : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionMode, ExitsWithTheStatusWordAndWritesNoPof) {
  TempDir dir;
  const ProcessResult r = runHost(dir, GetParam().args);
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionMode,
    ::testing::Values(OptionCase{"V", {"-V"}, 0}, OptionCase{"Query", {"-?"}, 0},
                      OptionCase{"NoArguments", {}, 0},
                      // No help file is named, so the help option fails: status 1.
                      OptionCase{"AlgorithmHelpMissing", {"-A"}, 1}),
    [](const ::testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST(HostProgram, PhaseRunWritesPofOnStdoutAndRecordsToTheLog) {
  TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), "comment_1 := \"say \\\"hi\\\"\"\n"));
  const ProcessResult r = runHost(dir, {"-Sjob", "--records", "records.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> pof = tsupport::splitLines(r.out);
  ASSERT_FALSE(pof.empty());
  EXPECT_TRUE(contains(pof, std::string("0: cycle(") + kTitle + ")"));
  EXPECT_EQ(pof.back(), std::string("0: cycleEnd(") + kTitle + ")");
  for (const std::string& line : pof) {
    EXPECT_EQ(line.find("fn"), std::string::npos) << "record log on stdout: " << line;
  }

  const std::vector<std::string> records =
      tsupport::splitLines(tsupport::readFile(dir.file("records.txt")));
  // Channel-0 records reach fn0 and fn1; the settings echo reaches fn1.
  EXPECT_TRUE(contains(records, std::string("fn0 0 103 \"cycle\" \"") + kTitle + "\" \"\""));
  EXPECT_TRUE(contains(records, std::string("fn1 0 103 \"cycle\" \"") + kTitle + "\" \"\""));
  EXPECT_TRUE(contains(records, "fn1 0 112 \"cfgSource\" \"job\" \"\""));
  // Quotes inside a text are escaped, so every record stays on one line.
  EXPECT_TRUE(
      contains(records, "fn1 1 201 \"call\" \"\\\"comment_1\\\":=\\\"say \\\"hi\\\"\\\"\" \"\""));
  EXPECT_EQ(records.back(), std::string("fn1 0 104 \"cycleEnd\" \"") + kTitle + "\" \"\"");
  for (const std::string& line : records) EXPECT_EQ(line.rfind("fn", 0), 0u) << line;
}

struct SettingsJobCase {
  const char* name;
  std::vector<std::string> files;  // copied from the test data's settings
  std::string option;
  std::vector<std::string> lines;  // expected among the POF lines
};

class SettingsJob : public ::testing::TestWithParam<SettingsJobCase> {};

// A settings job names its POF file, so standard output stays empty and
// the file holds the whole run from the cycle begin to the cycle end.
TEST_P(SettingsJob, RunsFromItsFilesIntoThePofFile) {
  const SettingsJobCase& c = GetParam();
  TempDir dir;
  for (const std::string& f : c.files) {
    const std::string text = tsupport::readFile(std::string(TESSARO_TEST_DATA) + "/settings/" + f);
    ASSERT_FALSE(text.empty()) << f;
    ASSERT_TRUE(tsupport::writeFile(dir.file(f), text));
  }
  const ProcessResult r = runHost(dir, {c.option});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> pof =
      tsupport::splitLines(tsupport::readFile(dir.file("out.pof")));
  ASSERT_FALSE(pof.empty());
  EXPECT_EQ(pof.front(), "10: tech(milling)");
  EXPECT_EQ(pof.back(), std::string("0: cycleEnd(") + kTitle + ")");
  for (const std::string& line : c.lines) EXPECT_TRUE(contains(pof, line)) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, SettingsJob,
    ::testing::Values(SettingsJobCase{"PcfWithDefaults",
                                      {"qzProf.def", "job.pcf"},
                                      "-Sjob",
                                      {"0: frameCs_o(10.00000000,20.00000000,30.00000000)",
                                       "0: cfgSource(job)", "1: call(\"feed\":=\"200\")",
                                       "1: def(\"precision\":=\"6\")", "0: sigstat(0,0)"}},
                      SettingsJobCase{
                          "CfgFile",
                          {"a.CFG"},
                          "-Sa.CFG",
                          {"10: nctx(BTC)", "0: frameComment(front \\040top\\041)",
                           "0: frameCs_id(54)", "0: frameCs_x(0.00000000,1.00000000,0.00000000)",
                           "1: cfg(*NCKO_O 1 2 3)", "0: sigstat(0,0)"}}),
    [](const ::testing::TestParamInfo<SettingsJobCase>& info) {
      return std::string(info.param.name);
    });

TEST(HostProgram, KfyModeDeliversNoRecords) {
  TempDir dir;
  const ProcessResult r = runHost(dir, {"-Sjob", "-PCF", "--records=records.txt"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(tsupport::readFile(dir.file("records.txt")), "");
}

TEST(HostProgram, BypassFileIsEchoedFirstInPofModeOnly) {
  TempDir dir;
  const std::string bypass = "line one\nline two without end";
  ASSERT_TRUE(tsupport::writeFile(dir.file("bypass.txt"), bypass));
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), "POFbypass := bypass.txt\n"));
  const ProcessResult pof = runHost(dir, {"-Sjob"});
  EXPECT_EQ(pof.exitCode, 0) << pof.err;
  EXPECT_EQ(pof.out.substr(0, bypass.size()), bypass);
  const ProcessResult kfy = runHost(dir, {"-Sjob", "-PCF"});
  EXPECT_EQ(kfy.exitCode, 0) << kfy.err;
  EXPECT_EQ(kfy.out.find("line one"), std::string::npos);
}

TEST(HostProgram, MissingLibraryMeansNoRun) {
  TempDir dir;
  ProcessOptions options;
  options.workDir = dir.path();
  options.env = {"TESSARO_LIBRARY=" + dir.file("missing.so")};
  const ProcessResult r = tsupport::runProcess({TESSARO_HOST_PATH, "-V"}, options);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("cannot load"), std::string::npos);
  EXPECT_EQ(r.out, "");
}

TEST(HostProgram, FindsTheLibraryBesideItself) {
  TempDir dir;
  ProcessOptions options;
  options.workDir = dir.path();
  options.unsetEnv = {"TESSARO_LIBRARY"};
  const ProcessResult r = tsupport::runProcess({TESSARO_HOST_PATH, "-V"}, options);
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(HostProgram, UnwritableRecordLogMeansNoRun) {
  TempDir dir;
  const ProcessResult r = runHost(dir, {"-V", "--records", dir.file("no/such/dir/log")});
  EXPECT_EQ(r.exitCode, 2);
}

TEST(HostProgram, CtrlCStopsTheRunWithStatus100) {
  TempDir dir;
  // The settings name a bypass file that is a pipe: the run waits in its
  // setup, with the interrupt handler in place, until the pipe is written.
  const std::string fifo = dir.file("bypass.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), "POFbypass := bypass.fifo\n"));
  ProcessOptions options;
  options.workDir = dir.path();
  options.env = {std::string("TESSARO_LIBRARY=") + TESSARO_LIBRARY_PATH};
  options.timeoutSeconds = 30;
  tsupport::Process host({TESSARO_HOST_PATH, "-Sjob"}, options);
  // Opening for writing succeeds once the host has opened the pipe; poll
  // rather than block, so that a host that never gets there fails the test.
  int fd = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (fd < 0 && std::chrono::steady_clock::now() < deadline) {
    fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(fd, 0) << "the host never opened the pipe";
  host.signal(SIGINT);
  // The watcher thread sets the signal word asynchronously; give it time
  // before the run goes on.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_EQ(write(fd, "echo\n", 5), 5);
  close(fd);
  const ProcessResult r = host.wait();
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.exitCode, 100) << r.err;
  EXPECT_EQ(r.out.substr(0, 5), "echo\n");
}

}  // namespace
