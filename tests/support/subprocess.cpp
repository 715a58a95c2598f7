#include "support/subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace tsupport {

namespace {

std::vector<std::string> buildEnv(const ProcessOptions& options) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    bool drop = false;
    for (const std::string& u : options.unsetEnv) drop = drop || u == name;
    for (const std::string& o : options.env) drop = drop || o.substr(0, o.find('=')) == name;
    if (!drop) env.push_back(entry);
  }
  for (const std::string& o : options.env) env.push_back(o);
  return env;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const ProcessOptions& options)
    : timeout_(options.timeoutSeconds) {
  if (argv.empty()) throw std::runtime_error("empty argument vector");
  char dirPattern[] = "/tmp/tessaro-proc-XXXXXX";
  if (mkdtemp(dirPattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = dirPattern;
  outPath_ = dir_ + "/out";
  errPath_ = dir_ + "/err";

  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls are allowed.
  std::vector<std::string> envStrings = buildEnv(options);
  std::vector<char*> args, env;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (std::string& e : envStrings) env.push_back(e.data());
  env.push_back(nullptr);
  const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || err < 0 || in < 0) throw std::runtime_error("cannot open output files");
  const char* workDir = options.workDir.empty() ? nullptr : options.workDir.c_str();

  pid_ = fork();
  if (pid_ == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (workDir != nullptr && chdir(workDir) != 0) _exit(126);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  close(out);
  close(err);
  close(in);
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void Process::signal(int sig) const {
  if (pid_ > 0) kill(pid_, sig);
}

ProcessResult Process::wait() {
  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0) return result;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
  result.out = readFile(outPath_);
  result.err = readFile(errPath_);
  return result;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  Process p(argv, options);
  return p.wait();
}

}  // namespace tsupport
