// End-to-end runs of the tessaro host program, each in a fresh working
// directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/version_text.h"
#include "formats/kfy/kfy_file.h"
#include "support/golden.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace {

// Status word of a failed run: the jobs here name model files that do not
// exist (or none), so every profile run ends failed.
constexpr int kStatusFailed = 1;

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

// The keys every job of the default cycle must name in PCF mode.
constexpr char kRequiredKeys[] = "polySource := model.3df\ntoolDiameter := 10\n";

TEST(HostProgram, VersionPrintsTheVersionTextTheLibraryReports) {
  TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), kRequiredKeys));
  const ProcessResult r = runHost(dir, {"--version"});
  char expected[kVersionTextSize];
  cycFormatFileVersion(expected, sizeof expected);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::string(expected) + "\n");
  // The library names the same text in the release line of a run.
  const ProcessResult run = runHost(dir, {"-Sjob"});
  ASSERT_EQ(run.exitCode, kStatusFailed) << run.err;
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
                      // No arguments at all: the usage text (see HostUsage).
                      OptionCase{"NoArguments", {}, 2},
                      // No help file is named, so the help option fails: status 1.
                      OptionCase{"AlgorithmHelpMissing", {"-A"}, 1}),
    [](const ::testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST(HostProgram, PhaseRunWritesPofOnStdoutAndRecordsToTheLog) {
  TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(
      dir.file("job.pcf"), std::string("comment_1 := \"say \\\"hi\\\"\"\n") + kRequiredKeys));
  const ProcessResult r = runHost(dir, {"-Sjob", "--records", "records.txt"});
  ASSERT_EQ(r.exitCode, kStatusFailed) << r.err;
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
  std::string error;               // the run's error message on standard error
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
    // A PCF job of the default cycle names the keys it requires.
    ASSERT_TRUE(tsupport::writeFile(dir.file(f), f == "job.pcf" ? text + kRequiredKeys : text));
  }
  const ProcessResult r = runHost(dir, {c.option});
  EXPECT_EQ(r.exitCode, kStatusFailed) << r.err;
  EXPECT_EQ(r.out, "");
  // Standard error ends with the summary line; before it the run reports
  // that the job names no model, or a model that does not exist.
  const std::vector<std::string> err = tsupport::splitLines(r.err);
  ASSERT_FALSE(err.empty());
  EXPECT_TRUE(contains(err, c.error)) << r.err;
  EXPECT_EQ(err.back().rfind("tessaro: failed (status 1), output out.pof, ", 0), 0u) << err.back();
  EXPECT_NE(err.back().find(" records, "), std::string::npos) << err.back();
  // --quiet leaves out the summary line only.
  EXPECT_EQ(runHost(dir, {c.option, "--quiet"}).err, r.err.substr(0, r.err.rfind("tessaro: failed")));
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
                                       "1: def(\"precision\":=\"6\")", "0: sigstat(0,1)"},
                                      "tessaro: message 332: model.3df"},
                      SettingsJobCase{
                          "CfgFile",
                          {"a.CFG"},
                          "-Sa.CFG",
                          {"10: nctx(BTC)", "0: frameComment(front \\040top\\041)",
                           "0: frameCs_id(54)", "0: frameCs_x(0.00000000,1.00000000,0.00000000)",
                           "1: cfg(*NCKO_O 1 2 3)", "0: sigstat(0,1)"},
                          "tessaro: message 509"}),
    [](const ::testing::TestParamInfo<SettingsJobCase>& info) {
      return std::string(info.param.name);
    });

TEST(HostProgram, KfyModeDeliversNoRecords) {
  TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), kRequiredKeys));
  const ProcessResult r = runHost(dir, {"-Sjob", "-PCF", "--records=records.txt"});
  EXPECT_EQ(r.exitCode, kStatusFailed) << r.err;
  EXPECT_EQ(tsupport::readFile(dir.file("records.txt")), "");
}

TEST(HostProgram, BypassFileIsEchoedFirstInPofModeOnly) {
  TempDir dir;
  const std::string bypass = "line one\nline two without end";
  ASSERT_TRUE(tsupport::writeFile(dir.file("bypass.txt"), bypass));
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"),
                                  std::string("POFbypass := bypass.txt\n") + kRequiredKeys));
  const ProcessResult pof = runHost(dir, {"-Sjob"});
  EXPECT_EQ(pof.exitCode, kStatusFailed) << pof.err;
  EXPECT_EQ(pof.out.substr(0, bypass.size()), bypass);
  const ProcessResult kfy = runHost(dir, {"-Sjob", "-PCF"});
  EXPECT_EQ(kfy.exitCode, kStatusFailed) << kfy.err;
  EXPECT_EQ(kfy.out.find("line one"), std::string::npos);
}

// A ".CFG" job writes the tool definition with its contours from a kFY
// tool contour file at the cycle begin, between the literal blocks BTC and
// ATC.
TEST(HostProgram, CfgJobWritesItsToolDefinition) {
  TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(
      dir.file("tool.kfy"),
      std::string(kfyBanner) +
          "\nkFY-Version: 1.0\nGeometry\ntool\n"
          "oContour[Tool]( )\n{\n oL( x[0/3] y[0/0] )\n oA( o[-] x[/6/3] y[/3/3] )\n}\n"
          "oContour[Holder]( )\n{\n oM( x[/10] y[/40] )\n oL( x[/10] y[/80] )\n}\n"));
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.CFG"),
                                  "*APT out.pof\n"
                                  "*WKZNUMMER 12\n"
                                  "*WKZKOMMENTAR ball (6 mm)\n"
                                  "*FRTYP 1\n"
                                  "*FRRADIUS 3\n"
                                  "*FRLAENGE 45\n"
                                  "*DREHRICHT 1\n"
                                  "*TOOL_CONTOUR tool.kfy\n"
                                  "*HOLDERTYP HSK 63\n"
                                  "*TREF_gauge 30\n"
                                  "*TOOL_REFERENCE gauge\n"
                                  "*KUEHLMITTEL 4\n"
                                  "*LITERAL_1 BTC:T12 M6\n"));
  const ProcessResult r = runHost(dir, {"-Sjob.CFG"});
  EXPECT_EQ(r.exitCode, kStatusFailed) << r.err;
  tsupport::expectGolden(tsupport::stablePof(tsupport::readFile(dir.file("out.pof"))),
                         "pof/cfg_tool_job.pof");
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
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"),
                                  std::string("POFbypass := bypass.fifo\n") + kRequiredKeys));
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

// ---- User mistakes: each is named on standard error with a non-zero status ----

struct HostCase {
  const char* name;
  void (*prepare)(const TempDir& dir);  // may be null
  std::vector<std::string> args;
  std::string env;  // "NAME=value" added to the library setting, or ""
  int exitCode;
  std::string firstErrLine;  // the first line of standard error starts with this
  std::string outStarts;     // standard output starts with this ("" : is empty)
};

void writeJob(const TempDir& dir, const std::string& text) {
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), text));
}

const HostCase kHostCases[] = {
    {"Help", nullptr, {"--help"}, "", 0, "", "usage: tessaro "},
    {"ShortHelp", nullptr, {"-h"}, "", 2, "usage: tessaro ", ""},
    {"NoArguments", nullptr, {}, "", 2, "usage: tessaro ", ""},
    {"UnknownOption", nullptr, {"--bogus", "-Sjob"}, "", 2, "tessaro: unknown option --bogus", ""},
    // The run goes on with the defaults, which name no polygon source: it
    // fails in its read-parameters phase with status 1.
    {"MissingSettingsMeansDefaults",
     nullptr,
     {"-Snothere"},
     "",
     1,
     "tessaro: warning: settings file nothere.pcf not found; defaults used",
     "10: tech(milling)"},
    {"SettingsDirectory",
     [](const TempDir& d) { std::filesystem::create_directory(d.file("d.pcf")); },
     {"-Sd"},
     "",
     2,
     "tessaro: message 337: settings file d.pcf is not a regular file",
     ""},
    {"SettingsPipe",
     [](const TempDir& d) { ASSERT_EQ(mkfifo(d.file("p.CFG").c_str(), 0600), 0); },
     {"-Sp.CFG"},
     "",
     2,
     "tessaro: message 337: settings file p.CFG is not a regular file",
     ""},
    {"SettingsNotText",
     [](const TempDir& d) {
       ASSERT_TRUE(tsupport::writeFile(d.file("b.pcf"), std::string("a := 1\n\0\x01\x02", 10)));
     },
     {"-Sb"},
     "",
     2,
     "tessaro: message 338: settings file b.pcf is not a text file",
     ""},
    {"UnwritablePofFile",
     [](const TempDir& d) { writeJob(d, "pofFilename := no/such/dir/out.pof\n"); },
     {"-Sjob"},
     "",
     1,
     "tessaro: message 339: no/such/dir/out.pof",
     ""},
    {"LibraryWithoutTheEntryPoints",
     nullptr,
     {"-V"},
     "TESSARO_LIBRARY=libm.so.6",
     2,
     "tessaro: error: libm.so.6 is not the tessaro library: it lacks the function qzCSgetCycle",
     ""},
};

class HostMistake : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostMistake, IsNamedOnStandardErrorWithItsExitCode) {
  const HostCase& c = GetParam();
  TempDir dir;
  if (c.prepare != nullptr) c.prepare(dir);
  std::vector<std::string> args = c.args;
  args.insert(args.begin(), TESSARO_HOST_PATH);
  ProcessOptions options;
  options.workDir = dir.path();
  options.env = {c.env.empty() ? std::string("TESSARO_LIBRARY=") + TESSARO_LIBRARY_PATH : c.env};
  options.timeoutSeconds = 20;
  const ProcessResult r = tsupport::runProcess(args, options);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  const std::vector<std::string> err = tsupport::splitLines(r.err);
  if (c.firstErrLine.empty()) {
    EXPECT_EQ(r.err, "");
  } else {
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err[0].rfind(c.firstErrLine, 0), 0u) << err[0];
  }
  if (c.outStarts.empty()) {
    EXPECT_EQ(r.out, "");
  } else {
    EXPECT_EQ(r.out.rfind(c.outStarts, 0), 0u) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostMistake, ::testing::ValuesIn(kHostCases),
                         [](const ::testing::TestParamInfo<HostCase>& info) {
                           return std::string(info.param.name);
                         });

// A run blocked in a read of a pipe (a bypass file nobody writes): the host
// must never be left ignoring the keyboard.
class BlockedRun {
 public:
  explicit BlockedRun(const TempDir& dir) {
    fifo_ = dir.file("bypass.fifo");
    EXPECT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
    EXPECT_TRUE(tsupport::writeFile(dir.file("job.pcf"), "POFbypass := bypass.fifo\n"));
    ProcessOptions options;
    options.workDir = dir.path();
    options.env = {std::string("TESSARO_LIBRARY=") + TESSARO_LIBRARY_PATH};
    options.timeoutSeconds = 30;
    host_ = std::make_unique<tsupport::Process>(
        std::vector<std::string>{TESSARO_HOST_PATH, "-Sjob"}, options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fd_ < 0 && std::chrono::steady_clock::now() < deadline) {
      fd_ = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(fd_, 0) << "the host never opened the pipe";
  }
  ~BlockedRun() {
    if (fd_ >= 0) close(fd_);
  }
  tsupport::Process& host() { return *host_; }

 private:
  std::string fifo_;
  std::unique_ptr<tsupport::Process> host_;
  int fd_ = -1;
};

#if defined(__SANITIZE_THREAD__)
#define TESSARO_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSARO_THREAD_SANITIZER 1
#endif
#endif

TEST(HostProgram, SecondCtrlCEndsABlockedRunWithStatus130) {
#ifdef TESSARO_THREAD_SANITIZER
  // ThreadSanitizer holds a signal back while the thread it reaches waits in
  // a call it does not count as blocking (the run's read of the pipe, the
  // watcher's timed wait), here until the watcher's grace time is over.
  GTEST_SKIP() << "signals are held back under ThreadSanitizer";
#endif
  TempDir dir;
  BlockedRun run(dir);
  const auto start = std::chrono::steady_clock::now();
  run.host().signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  run.host().signal(SIGINT);
  const ProcessResult r = run.host().wait();
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_NE(r.err.find("tessaro: interrupted"), std::string::npos) << r.err;
}

TEST(HostProgram, RunStillBlockedAfterCtrlCEndsWithStatus130) {
#ifdef TESSARO_THREAD_SANITIZER
  // As above: a Ctrl-C that reaches the blocked run's thread or the waiting
  // watcher is held back for good, and the grace time never starts.
  GTEST_SKIP() << "signals are held back under ThreadSanitizer";
#endif
  TempDir dir;
  BlockedRun run(dir);
  run.host().signal(SIGINT);
  const ProcessResult r = run.host().wait();
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.err.find("did not stop"), std::string::npos) << r.err;
}

}  // namespace

namespace {

// A complete ".CFG" finishing job (model, tool, boundary) runs through its
// preparation and stops failed, with the missing-driver message only, where
// the path computation would begin.
TEST(HostProgram, CfgProfileJobWithAMissingModelFailsWithItsMessage) {
  TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("b.bnd"),
                                  "**BND 1\nX0.000000 Y0.000000 Z0.000000\n"
                                  "X50.000000 Y0.000000 Z0.000000\nX50.000000 Y40.000000 Z0.000000\n"
                                  "X0.000000 Y40.000000 Z0.000000\nX0.000000 Y0.000000 Z0.000000\n**END\n"));
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.CFG"),
                                  "*APT out.pof\n"
                                  "*APPROX model.3df\n"
                                  "*BOUNDARY b.bnd\n"
                                  "*FRTYP 1\n"
                                  "*FRRADIUS 3\n"
                                  "*HORIZUSTEL 0.5\n"
                                  "*PRECISION 0\n"
                                  "*ZUSTELL_ART 1\n"));
  const ProcessResult r = runHost(dir, {"-Sjob.CFG"});
  EXPECT_EQ(r.exitCode, kStatusFailed) << r.err;
  const std::vector<std::string> err = tsupport::splitLines(r.err);
  // The zero precision is corrected with its message; the model file named
  // by the job does not exist: the run fails with its message, and it is
  // neither reported as missing nor as a stopped run.
  EXPECT_TRUE(contains(err, "tessaro: message 514: 0.000100")) << r.err;
  EXPECT_TRUE(contains(err, "tessaro: message 332: model.3df")) << r.err;
  EXPECT_FALSE(contains(err, "tessaro: message 509")) << r.err;
  const std::vector<std::string> pof = tsupport::splitLines(tsupport::readFile(dir.file("out.pof")));
  EXPECT_TRUE(contains(pof, "0: error(332,model.3df)"));
  EXPECT_TRUE(contains(pof, "0: sigstat(0,1)"));
  ASSERT_FALSE(pof.empty());
  EXPECT_EQ(pof.back(), std::string("0: cycleEnd(") + kTitle + ")");
}

}  // namespace
