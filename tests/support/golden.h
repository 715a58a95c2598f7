// Golden files of tests: the expected text of an output, kept under
// tests/data.  Goldens hold "@VERSION@" where the library's version text
// stands.  Set TESSARO_UPDATE_GOLDENS=1 to rewrite them from the current
// output.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/version_text.h"
#include "output/pof/pof_writer.h"
#include "support/temp_dir.h"

namespace tsupport {

inline std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
    s.replace(p, from.size(), to);
  }
  return s;
}

// The POF text with the values of the lines that differ between runs or
// builds by nature (clock, run id, release) replaced by "(...)".
inline std::string stablePof(const std::string& text) {
  std::string out;
  for (const std::string& line : splitLines(text)) {
    bool varies = false;
    for (const char* head : {"0: time(", "0: elapsed(", "0: ucid(", "0: release("}) {
      varies = varies || line.rfind(head, 0) == 0;
    }
    out += (varies ? line.substr(0, line.find('(')) + "(...)" : line) + "\n";
  }
  return out;
}

// Compares text with the golden file at name under tests/data (line by line,
// for a readable failure, then whole, for the line ends).  Inline, because
// the data directory is a definition of each test executable.
inline void expectGolden(const std::string& text, const std::string& name) {
  const std::string path = std::string(TESSARO_TEST_DATA) + "/" + name;
  const std::string version = cycVersionText();
  if (const char* u = std::getenv("TESSARO_UPDATE_GOLDENS"); u != nullptr && *u == '1') {
    writeFile(path, replaceAll(text, "-" + version + ")", "-@VERSION@)"));
  }
  const std::string golden = readFile(path);
  ASSERT_FALSE(golden.empty()) << "missing golden " << path;
  const std::string want = replaceAll(golden, "@VERSION@", version);
  EXPECT_EQ(splitLines(text), splitLines(want)) << name;
  EXPECT_EQ(text, want) << name << ": line ends differ";
}

// Pins the cycle header's time stamp and run id and a zero elapsed time, so
// that POF goldens hold no varying text; pofSetTestPins(nullptr) unpins.
inline void pinPofRunTexts() {
  const PofTestPins pins{"12/10/26 13:04:33 Thu Dec", "0a1b2c3d-0000-4000-8000-00000000abcd", true,
                         0};
  pofSetTestPins(&pins);
}

}  // namespace tsupport
