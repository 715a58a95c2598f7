// tessaro: a command-line host for libtessaro.so.
//
//   tessaro [--records FILE] [--version] ARGS...
//
// Loads the library, runs one cycle on its default context with ARGS passed
// through unchanged (for example -Sjob.CFG -POF) and exits with the run's
// status word (0 done, 100 stopped, other values failed), or 2 when no run
// took place (the library could not be loaded, or it refused the run).
// Standard output carries the POF text of the run and nothing else.
//
//   --records FILE  writes one line per record received on the callbacks:
//                   the receiving function, the channel, the code and the
//                   texts of the record.
//   --version       prints the version text and exits.
//
// Ctrl-C asks the running cycle to stop (signal word 100).
// The library is TESSARO_LIBRARY when set, else ../lib/libtessaro.so beside
// this program, else libtessaro.so from the loader's search path.
#include <dlfcn.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/version_text.h"
#include "tessaro.h"

namespace {

// Exit status when no run took place.
constexpr int kExitNoRun = 2;
// Signal word that asks a running cycle to stop.
constexpr int kStopSignal = 100;

using GetCycleFn = void* (*)();
using ExecCycleFn = int (*)(void*, int, char**, HostCallbackSet*);
using SetSignalFn = int (*)(void*, int);
using GetSignalFn = int (*)(void*);

struct Library {
  void* handle = nullptr;
  GetCycleFn getCycle = nullptr;
  ExecCycleFn execCycle = nullptr;
  SetSignalFn setSignal = nullptr;
  GetSignalFn getSignal = nullptr;
};

std::string executableDir() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  std::string path(buf);
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool openLibrary(Library* lib) {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("TESSARO_LIBRARY"); env != nullptr && env[0] != '\0') {
    candidates.emplace_back(env);
  } else {
    const std::string dir = executableDir();
    if (!dir.empty()) candidates.push_back(dir + "/../lib/libtessaro.so");
    candidates.emplace_back("libtessaro.so");
  }
  std::string errors;
  for (const std::string& path : candidates) {
    lib->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib->handle != nullptr) break;
    const char* err = dlerror();
    errors += "\n  ";
    errors += err != nullptr ? err : path;
  }
  if (lib->handle == nullptr) {
    std::fprintf(stderr, "tessaro: cannot load the library:%s\n", errors.c_str());
    return false;
  }
  lib->getCycle = reinterpret_cast<GetCycleFn>(dlsym(lib->handle, "qzCSgetCycle"));
  lib->execCycle = reinterpret_cast<ExecCycleFn>(dlsym(lib->handle, "qzCSexecCycle"));
  lib->setSignal = reinterpret_cast<SetSignalFn>(dlsym(lib->handle, "qzCSsetSignal"));
  lib->getSignal = reinterpret_cast<GetSignalFn>(dlsym(lib->handle, "qzCSgetSignal"));
  if (lib->getCycle == nullptr || lib->execCycle == nullptr || lib->setSignal == nullptr ||
      lib->getSignal == nullptr) {
    std::fprintf(stderr, "tessaro: the library lacks an entry point\n");
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Record log.

std::FILE* gRecordLog = nullptr;
std::mutex gRecordLogMutex;

bool isTextRecord(int32_t code) {
  return (code >= 100 && code <= 112) || (code >= 201 && code <= 204) || code == 301 ||
         code == 1001 || code == 3001 || code == 3131 || code == 3199 || code == 4101;
}

bool isMarkerRecord(int32_t code) { return code >= 5001 && code <= 5005; }

// Appends a quoted copy of the field at offset (at most 256 bytes, up to its
// terminator); quotes, backslashes and unprintable bytes are escaped so that
// every record stays on one line.
void appendText(std::string* line, const OutputRecord* record, std::size_t offset) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(record);
  *line += " \"";
  for (std::size_t i = 0; i < 256 && offset + i < sizeof(OutputRecord); ++i) {
    const unsigned char c = bytes[offset + i];
    if (c == '\0') break;
    if (c == '"' || c == '\\') {
      *line += '\\';
      *line += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      *line += esc;
    } else {
      *line += static_cast<char>(c);
    }
  }
  *line += '"';
}

int32_t readI32(const OutputRecord* record, std::size_t offset) {
  int32_t v;
  std::memcpy(&v, reinterpret_cast<const unsigned char*>(record) + offset, sizeof v);
  return v;
}

// The callbacks: user is the function's number (0, 1 or 2).
int logRecord(void* /*ctx*/, int channel, OutputRecord* record, intptr_t user) {
  if (gRecordLog == nullptr || record == nullptr) return 1;
  const int32_t code = readI32(record, 0);
  std::string line =
      "fn" + std::to_string(user) + " " + std::to_string(channel) + " " + std::to_string(code);
  if (isTextRecord(code)) {
    appendText(&line, record, 8);
    appendText(&line, record, 264);
    appendText(&line, record, 520);
  } else if (isMarkerRecord(code)) {
    line += " " + std::to_string(readI32(record, 8)) + " " + std::to_string(readI32(record, 12));
    appendText(&line, record, 16);
    appendText(&line, record, 272);
    appendText(&line, record, 528);
  }
  line += '\n';
  std::lock_guard<std::mutex> lock(gRecordLogMutex);
  std::fputs(line.c_str(), gRecordLog);
  return 1;
}

// ---------------------------------------------------------------------------
// Ctrl-C: the handler only posts a semaphore (async-signal-safe); a watcher
// thread turns each post into the stop signal.

sem_t gInterrupts;
std::atomic<bool> gRunOver{false};

extern "C" void onInterrupt(int) {
  const int saved = errno;
  sem_post(&gInterrupts);
  errno = saved;
}

struct Interrupts {
  std::thread watcher;
  bool installed = false;
  struct sigaction previous {};
};

void startInterrupts(Interrupts* in, const Library& lib, void* ctx) {
  if (sem_init(&gInterrupts, 0, 0) != 0) return;
  in->watcher = std::thread([&lib, ctx] {
    for (;;) {
      while (sem_wait(&gInterrupts) != 0 && errno == EINTR) {
      }
      if (gRunOver.load()) return;
      lib.setSignal(ctx, kStopSignal);
    }
  });
  struct sigaction sa {};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  in->installed = sigaction(SIGINT, &sa, &in->previous) == 0;
}

void stopInterrupts(Interrupts* in) {
  if (in->installed) sigaction(SIGINT, &in->previous, nullptr);
  if (in->watcher.joinable()) {
    gRunOver.store(true);
    sem_post(&gInterrupts);
    in->watcher.join();
    sem_destroy(&gInterrupts);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  const char* recordsPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--version") {
      char text[kVersionTextSize];
      std::printf("%s\n", cycFormatFileVersion(text, sizeof text));
      return 0;
    }
    if (arg == "--records") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "tessaro: --records needs a file name\n");
        return kExitNoRun;
      }
      recordsPath = argv[++i];
      continue;
    }
    if (arg.starts_with("--records=")) {
      recordsPath = argv[i] + std::strlen("--records=");
      continue;
    }
    args.push_back(argv[i]);
  }

  Library lib;
  if (!openLibrary(&lib)) return kExitNoRun;
  if (recordsPath != nullptr) {
    gRecordLog = std::fopen(recordsPath, "w");
    if (gRecordLog == nullptr) {
      std::fprintf(stderr, "tessaro: cannot write %s: %s\n", recordsPath, std::strerror(errno));
      return kExitNoRun;
    }
  }

  HostCallbackSet callbacks{logRecord, 0, logRecord, 1, logRecord, 2};
  void* ctx = lib.getCycle();
  Interrupts interrupts;
  startInterrupts(&interrupts, lib, ctx);
  args.push_back(nullptr);  // the library reads argc entries; the end mark is for safety
  const int ran = lib.execCycle(ctx, static_cast<int>(args.size() - 1), args.data(),
                                gRecordLog != nullptr ? &callbacks : nullptr);
  stopInterrupts(&interrupts);

  std::fflush(stdout);
  if (gRecordLog != nullptr) std::fclose(gRecordLog);
  if (ran == 0) {
    std::fprintf(stderr, "tessaro: the run was refused\n");
    return kExitNoRun;
  }
  return lib.getSignal(ctx);
}
