#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "support/subprocess.h"

namespace {

TEST(ExportedSymbols, LibraryExportsExactlyTheFourEntryPoints) {
  const tsupport::ProcessResult r =
      tsupport::runProcess({"/usr/bin/nm", "-D", "--defined-only", TESSARO_LIBRARY_PATH});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::set<std::string> names;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    // "<address> <type> <name>"; the name may carry a version ("@@V").
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    names.insert(name.substr(0, name.find('@')));
  }
  const std::set<std::string> expected = {"qzCSexecCycle", "qzCSgetCycle", "qzCSgetSignal",
                                          "qzCSsetSignal"};
  EXPECT_EQ(names, expected);
}

}  // namespace
