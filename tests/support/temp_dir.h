// Temporary directories for tests.  The kernel writes files into the working
// directory and keeps process-wide state, so tests that run jobs do so in a
// fresh directory of their own.
#pragma once

#include <string>
#include <vector>

namespace tsupport {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// A TempDir that is the working directory for the object's lifetime; the
// previous working directory comes back afterwards.
class ScopedWorkDir {
 public:
  ScopedWorkDir();
  ~ScopedWorkDir();
  ScopedWorkDir(const ScopedWorkDir&) = delete;
  ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

  const std::string& path() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.file(name); }

 private:
  TempDir dir_;
  std::string previous_;
};

// Writes text to path (replacing it); false on failure.
bool writeFile(const std::string& path, const std::string& text);
// The whole content of path, or "" when it cannot be read.
std::string readFile(const std::string& path);
// Splits text at line feeds; a final line feed ends the last line (it does
// not start an empty one).
std::vector<std::string> splitLines(const std::string& text);

}  // namespace tsupport
