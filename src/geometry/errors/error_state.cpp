#include "geometry/errors/error_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>

namespace {

constexpr char kDefaultWorkDir[] = "./";
constexpr char kErrorLogName[] = "/vyrerrno.txt";
constexpr char kMarkerName[] = "/vyrdebug.info";
constexpr char kMarkerEnv[] = "TESSARO_VYRDEBUG";
constexpr char kResetText[] = "EMPTY";
constexpr char kLogFormat[] = "code = %d, line = %d, file = %s\n";
// The marker is read in pieces of at most this many characters.
constexpr int kMarkerPiece = 49;
constexpr int kTempNameTries = 200;

thread_local VyrErrorState tState = {0, 0, ""};

// Guards the work directory, the log appends and the name generator.
std::mutex gMutex;
char gWorkDir[kVyrWorkDirSize] = "./";

std::once_flag gMarkerOnce;
std::atomic<int> gDebugOn{0};

// Generator of temporary names: private, seeded once per process (again in a
// forked child, which would otherwise repeat its parent's names).
std::mt19937 gNameEngine;
pid_t gNameEnginePid = 0;

// Copies text into a buffer of size bytes, cutting it when longer.
void copyCut(char* out, int size, const char* text) {
  std::size_t n = std::strlen(text);
  if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
  std::memcpy(out, text, n);
  out[n] = '\0';
}

std::string workDirCopy() {
  std::lock_guard<std::mutex> lock(gMutex);
  return std::string(gWorkDir);
}

void readMarker() {
  const char* env = std::getenv(kMarkerEnv);
  const std::string path =
      (env != nullptr && env[0] != '\0') ? std::string(env) : workDirCopy() + kMarkerName;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return;
  char piece[kMarkerPiece + 1];
  while (std::fgets(piece, sizeof piece, f) != nullptr) {
    if (std::strstr(piece, "DEBUG") != nullptr && std::strchr(piece, '1') != nullptr) {
      gDebugOn.store(1);
      break;
    }
  }
  std::fclose(f);
}

void appendToLog(const VyrErrorState& state) {
  std::lock_guard<std::mutex> lock(gMutex);
  const std::string path = std::string(gWorkDir) + kErrorLogName;
  std::FILE* f = std::fopen(path.c_str(), "a+");
  if (f == nullptr) return;  // logging never fails visibly
  std::fprintf(f, kLogFormat, state.code, state.line, state.file);
  std::fflush(f);
  std::fclose(f);
}

void seedNameEngineLocked() {
  const pid_t pid = getpid();
  if (gNameEnginePid == pid) return;
  std::random_device device;
  const auto now = static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::seed_seq seq{device(), device(), static_cast<unsigned>(now),
                    static_cast<unsigned>(now >> 32), static_cast<unsigned>(pid)};
  gNameEngine.seed(seq);
  gNameEnginePid = pid;
}

}  // namespace

int vyrErrSetDir(const char* dir) {
  std::lock_guard<std::mutex> lock(gMutex);
  // An empty directory would put the log and temporary files at the root.
  copyCut(gWorkDir, kVyrWorkDirSize, (dir == nullptr || dir[0] == '\0') ? kDefaultWorkDir : dir);
  return 1;
}

int vyrErrReset() {
  tState.code = 0;
  tState.line = 0;
  copyCut(tState.file, kVyrFileTextSize, kResetText);
  return 0;
}

int vyrErrGetCode() { return tState.code; }

int vyrErrSet(int code, const char* file, int line) {
  tState.line = line;
  tState.code = code;
  copyCut(tState.file, kVyrFileTextSize, file != nullptr ? file : "");
  if (code < 0 && vyrDebugEnabled() == 1) appendToLog(tState);
  return 0;
}

int vyrErrLogText(const char* text) {
  const int previous = tState.code;
  vyrErrSet(-1, text, 0);
  tState.code = previous;
  return 0;
}

int vyrErrWriteLine(std::FILE* f) {
  if (f == nullptr) return 0;
  std::fprintf(f, kLogFormat, tState.code, tState.line, tState.file);
  std::fflush(f);
  return 0;
}

int vyrDebugEnabled() {
  std::call_once(gMarkerOnce, readMarker);
  return gDebugOn.load();
}

int vyrTempFileName(char* out, const char* suffix) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  std::lock_guard<std::mutex> lock(gMutex);
  seedNameEngineLocked();
  std::uniform_int_distribution<std::uint32_t> draw(1, 0x7fffffffu);
  for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(draw(gNameEngine)));
    std::string name = std::string(gWorkDir) + "/" + hex;
    if (suffix != nullptr) name += suffix;
    if (name.size() >= static_cast<std::size_t>(kVyrNameSize)) return 0;  // would not fit out
    std::memcpy(out, name.c_str(), name.size() + 1);
    // Creating the file exclusively is what reserves the name: no other thread
    // or process sharing the directory can be handed it afterwards.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      return 1;
    }
    if (errno != EEXIST && errno != EINTR) return 0;  // the directory takes no new files
  }
  return 0;
}

int vyrFileExists(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  std::FILE* f = std::fopen(name, "r");
  if (f == nullptr) return 0;
  std::fclose(f);
  return 1;
}
