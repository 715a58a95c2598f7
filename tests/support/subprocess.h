// Running a program as a subprocess with its output captured.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tsupport {

struct ProcessResult {
  int exitCode = -1;   // exit status, or -1 when the process did not exit
  int termSignal = 0;  // the signal that ended it, 0 when it exited
  bool timedOut = false;
  std::string out;  // standard output
  std::string err;  // standard error
};

struct ProcessOptions {
  std::string workDir;                // "" keeps the current directory
  std::vector<std::string> env;       // "NAME=value" entries added or replaced
  std::vector<std::string> unsetEnv;  // names removed from the environment
  double timeoutSeconds = 60;         // killed (SIGKILL) when it runs longer
};

// A started process whose output goes to files until it is waited for.
class Process {
 public:
  // Starts argv[0] (a path) with argv.  Throws std::runtime_error when the
  // process cannot be started.
  Process(const std::vector<std::string>& argv, const ProcessOptions& options = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // Sends sig to the process.
  void signal(int sig) const;
  // Waits until the process ends (or the timeout passes) and collects the
  // result.  Call once.
  ProcessResult wait();

 private:
  pid_t pid_ = -1;
  double timeout_;
  std::string outPath_, errPath_, dir_;
};

// Starts the process and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace tsupport
