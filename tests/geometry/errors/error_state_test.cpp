#include "geometry/errors/error_state.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using tsupport::readFile;
using tsupport::TempDir;
using tsupport::writeFile;

// The debug marker is read once per process, so every scenario that depends on
// it runs in a fresh process: this test program started again with
// VYR_SCENARIO set, which runs the scenario before any test and exits with
// its result.
int runScenario(const std::string& scenario, const std::string& dir, const std::string& marker,
                int code = 0) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("VYR_SCENARIO", scenario.c_str(), 1);
    setenv("VYR_DIR", dir.c_str(), 1);
    setenv("VYR_CODE", std::to_string(code).c_str(), 1);
    if (marker.empty()) {
      unsetenv("TESSARO_VYRDEBUG");
    } else {
      setenv("TESSARO_VYRDEBUG", marker.c_str(), 1);
    }
    char self[] = "/proc/self/exe";
    char filter[] = "--gtest_filter=FileExists.Table";  // environments run only with a test
    char* argv[] = {self, filter, nullptr};
    execv(self, argv);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int scenarioMain(const std::string& scenario) {
  const std::string dir = std::getenv("VYR_DIR");
  const int code = std::atoi(std::getenv("VYR_CODE"));
  vyrErrSetDir(dir.c_str());
  if (scenario == "set") {
    vyrErrSet(code, "QZVYR5\\kont2d", 77);
    return 0;
  }
  if (scenario == "log_text") {
    if (vyrDebugEnabled() != 1) return 1;
    vyrErrLogText("message");
    return vyrErrGetCode() == 0 ? 0 : 2;
  }
  if (scenario == "read_once") {
    vyrErrSet(-27, "first", 1);
    writeFile(std::getenv("TESSARO_VYRDEBUG"), "DEBUG=1\n");
    vyrErrSet(-28, "second", 2);
    return vyrDebugEnabled();
  }
  if (scenario == "threads") {
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
      workers.emplace_back([t] {
        for (int i = 0; i < 50; ++i) vyrErrSet(-1 - t, "worker", i);
      });
    }
    for (auto& w : workers) w.join();
    return 0;
  }
  return 3;
}

class ScenarioEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (const char* scenario = std::getenv("VYR_SCENARIO")) {
      std::fflush(nullptr);
      _exit(scenarioMain(scenario));
    }
  }
};

[[maybe_unused]] testing::Environment* const kScenarioEnvironment =
    testing::AddGlobalTestEnvironment(new ScenarioEnvironment);

std::string stateLine() {
  std::FILE* f = std::tmpfile();
  vyrErrWriteLine(f);
  std::rewind(f);
  char buf[512] = {};
  const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  return std::string(buf, n);
}

TEST(ErrorState, ResetWritesEmptyLine) {
  vyrErrSet(-5, "somewhere", 12);
  vyrErrReset();
  EXPECT_EQ(vyrErrGetCode(), 0);
  EXPECT_EQ(stateLine(), "code = 0, line = 0, file = EMPTY\n");
}

TEST(ErrorState, SetStoresCodeLineAndText) {
  vyrErrSet(3, "QZVYR5\\LISTS", 5218);
  EXPECT_EQ(vyrErrGetCode(), 3);
  EXPECT_EQ(stateLine(), "code = 3, line = 5218, file = QZVYR5\\LISTS\n");
  vyrErrSet(-2, nullptr, 1);
  EXPECT_EQ(stateLine(), "code = -2, line = 1, file = \n");
}

TEST(ErrorState, LogTextKeepsTheCode) {
  vyrErrSet(7, "unit", 40);
  vyrErrLogText("Triangulierung gescheitert");
  EXPECT_EQ(vyrErrGetCode(), 7);
  EXPECT_EQ(stateLine(), "code = 7, line = 0, file = Triangulierung gescheitert\n");
}

TEST(ErrorState, LongTextIsCutNotOverrun) {
  const std::string longText(600, 'x');
  vyrErrSet(-1, longText.c_str(), 9);
  EXPECT_EQ(stateLine(), "code = -1, line = 9, file = " + std::string(255, 'x') + "\n");
}

TEST(ErrorState, EachThreadHasItsOwnState) {
  vyrErrSet(4, "main", 1);
  std::vector<std::thread> workers;
  std::vector<int> seen(8, 0);
  for (int t = 0; t < 8; ++t) {
    workers.emplace_back([t, &seen] {
      vyrErrReset();
      vyrErrSet(-100 - t, "worker", t);
      seen[t] = vyrErrGetCode();
    });
  }
  for (auto& w : workers) w.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(seen[t], -100 - t);
  EXPECT_EQ(vyrErrGetCode(), 4);
}

// ---- Error log and debug marker (child processes) ------------------------------

struct LogCase {
  const char* name;
  const char* marker;  // marker file text, null for no marker file
  int code;
  const char* log;  // expected log text
};
void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class ErrorLog : public testing::TestWithParam<LogCase> {};

TEST_P(ErrorLog, AppendsOnlyNegativeCodesWithMarker) {
  const LogCase& c = GetParam();
  TempDir dir;
  const std::string marker = dir.file("marker.info");
  if (c.marker != nullptr) writeFile(marker, c.marker);
  ASSERT_EQ(runScenario("set", dir.path(), marker, c.code), 0);
  EXPECT_EQ(readFile(dir.file("vyrerrno.txt")), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorLog,
    testing::Values(LogCase{"error_with_marker", "DEBUG=1\n", -27,
                            "code = -27, line = 77, file = QZVYR5\\kont2d\n"},
                    LogCase{"error_without_marker", nullptr, -27, ""},
                    LogCase{"note_with_marker", "DEBUG=1\n", 1, ""},
                    LogCase{"zero_with_marker", "DEBUG=1\n", 0, ""},
                    LogCase{"marker_switched_off", "DEBUG=0\n", -27, ""},
                    LogCase{"marker_on_later_line", "# trace\nlevel 1 DEBUG\n", -3,
                            "code = -3, line = 77, file = QZVYR5\\kont2d\n"},
                    // "DEBUG" and "1" in different 49-character pieces of one line.
                    LogCase{"marker_words_in_different_pieces",
                            "DEBUG                                                       1\n", -27,
                            ""}),
    [](const testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

TEST(ErrorLog, MarkerInWorkDirectoryByDefault) {
  TempDir dir;
  writeFile(dir.file("vyrdebug.info"), "DEBUG 1\n");
  EXPECT_EQ(runScenario("log_text", dir.path(), ""), 0);
  EXPECT_EQ(readFile(dir.file("vyrerrno.txt")), "code = -1, line = 0, file = message\n");
}

TEST(ErrorLog, MarkerIsReadOnlyOnce) {
  TempDir dir;
  EXPECT_EQ(runScenario("read_once", dir.path(), dir.file("marker.info")), 0);
  EXPECT_FALSE(fs::exists(dir.file("vyrerrno.txt")));
}

TEST(ErrorLog, AppendsFromManyThreadsKeepWholeLines) {
  TempDir dir;
  const std::string marker = dir.file("marker.info");
  writeFile(marker, "DEBUG=1\n");
  ASSERT_EQ(runScenario("threads", dir.path(), marker), 0);
  std::ifstream in(dir.file("vyrerrno.txt"));
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    EXPECT_EQ(line.rfind("code = -", 0), 0u) << line;
    EXPECT_NE(line.find(", file = worker"), std::string::npos) << line;
  }
  EXPECT_EQ(lines, 400);
}

// ---- Temporary names ---------------------------------------------------------------

TEST(TempFileName, EightThreadsGetDistinctCreatedNames) {
  TempDir dir;
  vyrErrSetDir(dir.path().c_str());
  constexpr int kThreads = 8, kNames = 200;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kNames; ++i) {
        char out[kVyrNameSize];
        if (vyrTempFileName(out, ".prf") != 1) ++failures[t];
        names[t].push_back(out);
      }
    });
  }
  for (auto& w : workers) w.join();
  std::set<std::string> all;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], 0);
    for (const std::string& n : names[t]) {
      all.insert(n);
      EXPECT_EQ(n.rfind(dir.path() + "/", 0), 0u) << n;
      EXPECT_EQ(n.substr(n.size() - 4), ".prf");
      EXPECT_TRUE(fs::is_regular_file(n)) << n;
    }
  }
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kNames));
}

TEST(TempFileName, ProcessesSharingADirectoryGetDistinctNames) {
  TempDir dir;
  vyrErrSetDir(dir.path().c_str());
  char first[kVyrNameSize];
  ASSERT_EQ(vyrTempFileName(first, nullptr), 1);  // the parent's generator is seeded
  std::vector<pid_t> children;
  for (int c = 0; c < 4; ++c) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < 100; ++i) {
        char out[kVyrNameSize];
        if (vyrTempFileName(out, ".tmp") != 1) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 401);
}

// The initial work directory "./" (and an empty one, which stands for it)
// gives names that begin with "./" and a further "/".
TEST(TempFileName, CurrentWorkDirectoryGivesDotSlashSlash) {
  for (const char* workDir : {"./", ""}) {
    SCOPED_TRACE(workDir);
    tsupport::ScopedWorkDir cwd;
    vyrErrSetDir(workDir);
    char out[kVyrNameSize];
    ASSERT_EQ(vyrTempFileName(out, ".prf"), 1);
    EXPECT_EQ(std::string(out).rfind(".//", 0), 0u) << out;
    EXPECT_TRUE(fs::is_regular_file(cwd.file(std::string(out).substr(3)))) << out;
  }
}

TEST(TempFileName, MissingDirectoryIsNoFreeName) {
  TempDir dir;
  vyrErrSetDir((dir.path() + "/missing").c_str());
  char out[kVyrNameSize];
  EXPECT_EQ(vyrTempFileName(out, ".prf"), 0);
}

TEST(TempFileName, NameThatWouldNotFitFailsWithEmptyOut) {
  const std::string longDir(2000, 'd');
  vyrErrSetDir(longDir.c_str());  // cut to the 1039 characters the state holds
  char out[kVyrNameSize];
  out[0] = 'x';
  EXPECT_EQ(vyrTempFileName(out, ".prf"), 0);
  EXPECT_STREQ(out, "");
}

TEST(FileExists, Table) {
  TempDir dir;
  writeFile(dir.file("present.txt"), "x");
  EXPECT_EQ(vyrFileExists(""), 0);
  EXPECT_EQ(vyrFileExists(nullptr), 0);
  EXPECT_EQ(vyrFileExists(dir.file("absent.txt").c_str()), 0);
  EXPECT_EQ(vyrFileExists(dir.file("present.txt").c_str()), 1);
}

}  // namespace
