// tessaro: a command-line host for libtessaro.so.
//
//   tessaro [--records FILE] [--quiet] [--version] [--help] OPTIONS...
//
// Loads the library, runs one cycle on its default context with OPTIONS
// passed through unchanged (for example -Sjob.CFG -POF) and exits with the
// run's status word (0 done, 100 stopped, other values failed), 2 when no
// run took place (usage, an unusable settings file, a library that cannot
// be loaded, a refused run) or 130 after a second Ctrl-C.  Standard output
// carries the POF text of the run and nothing else; every numbered message
// of the run and a closing summary line go to standard error.
//
// The usage text (kUsage below) is the user's reference.
#include <dlfcn.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
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

// Exit status when no run took place, and after a second Ctrl-C.
constexpr int kExitNoRun = 2;
constexpr int kExitInterrupted = 130;
// Signal word that asks a running cycle to stop.
constexpr int kStopSignal = 100;
// Seconds a run may take to stop after the first Ctrl-C before the process
// ends anyway (a run blocked in a system call never polls the signal word).
constexpr int kStopGraceSeconds = 5;
// Record code and channel of the numbered messages; the trace message.
constexpr int32_t kErrorRecordCode = 101;
constexpr int kMessageChannel = 0;
constexpr int kTraceMessageNumber = 9999;
// Bytes of a settings file looked at to tell text from binary data.
constexpr std::size_t kTextProbeBytes = 4096;
// Numbers of the host's own settings messages: a file that is not a regular
// one (as the library's readers number it), and one that cannot be read or
// is not text.
constexpr int kMsgNotRegularFile = 337;
constexpr int kMsgSettingsUnusable = 338;
// The library's name for PCF settings read from standard input.
constexpr std::string_view kStdinSettings = "| stdin";

const char kUsage[] =
    "usage: tessaro [--records FILE] [--quiet] [--version] [--help] OPTIONS...\n"
    "\n"
    "Runs the profile finishing cycle of libtessaro.so once, with OPTIONS passed to\n"
    "the library unchanged, for example:  tessaro -Sjob -POF\n"
    "\n"
    "Library options:\n"
    "  -SNAME   the settings.  A NAME that ends in .CFG (any case) is a CFG job file\n"
    "           read as it is (-Sa.CFG reads a.CFG).  Any other NAME reads the PCF\n"
    "           file NAME.pcf (NAME itself when it ends in .pcf) after the cycle's\n"
    "           defaults qzProf.def, both from the working directory: -Sjob reads\n"
    "           qzProf.def and job.pcf.  \"-S| stdin\" reads the PCF settings from\n"
    "           standard input.  A missing settings file leaves the defaults.\n"
    "  -POF     POF text output (the default);  -PCF  kFY output mode\n"
    "  -V -? -A -D -P -Y\n"
    "           option modes of the cycle (version, option query, help texts)\n"
    "           instead of a run\n"
    "\n"
    "Host options:\n"
    "  --records FILE  write one line per record received to FILE\n"
    "  --quiet         no summary line at the end\n"
    "  --version       print the version text and exit\n"
    "  --help, -h      print this text\n"
    "\n"
    "Output: the POF text goes to standard output, or is appended to the file\n"
    "that the settings name (pofFilename in a PCF file, *APT in a CFG file).\n"
    "Numbered messages (\"tessaro: message NUMBER: VALUE\") and a summary line go\n"
    "to standard error.\n"
    "\n"
    "Environment:\n"
    "  TESSARO_LIBRARY   the library to load (default: ../lib/libtessaro.so beside\n"
    "                    this program, then libtessaro.so from the loader's path)\n"
    "  TESSARO_VYRDEBUG  the debug marker file of the geometry library's error log\n"
    "\n"
    "Ctrl-C asks the run to stop (status 100); a second Ctrl-C, or a run that has\n"
    "not stopped 5 seconds after the first, ends the program with status 130.\n"
    "\n"
    "Exit status: 0 done; 100 stopped; 1 (or another status word of the cycle)\n"
    "failed; 2 no run (usage, an unusable settings file, a library that cannot be\n"
    "loaded, a run the library refused); 130 interrupted.\n";

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

// The address of the entry point name in the library, or null with the
// library and the function named on standard error.
void* entryPoint(const Library& lib, const std::string& path, const char* name) {
  dlerror();
  void* fn = dlsym(lib.handle, name);
  if (fn == nullptr) {
    std::fprintf(stderr,
                 "tessaro: error: %s is not the tessaro library: it lacks the function %s\n",
                 path.c_str(), name);
  }
  return fn;
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
  std::string loaded;
  for (const std::string& path : candidates) {
    lib->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib->handle != nullptr) {
      loaded = path;
      break;
    }
    const char* err = dlerror();
    errors += "\n  ";
    errors += err != nullptr ? err : path;
  }
  if (lib->handle == nullptr) {
    std::fprintf(stderr, "tessaro: error: cannot load the library:%s\n", errors.c_str());
    return false;
  }
  lib->getCycle = reinterpret_cast<GetCycleFn>(entryPoint(*lib, loaded, "qzCSgetCycle"));
  if (lib->getCycle == nullptr) return false;
  lib->execCycle = reinterpret_cast<ExecCycleFn>(entryPoint(*lib, loaded, "qzCSexecCycle"));
  if (lib->execCycle == nullptr) return false;
  lib->setSignal = reinterpret_cast<SetSignalFn>(entryPoint(*lib, loaded, "qzCSsetSignal"));
  if (lib->setSignal == nullptr) return false;
  lib->getSignal = reinterpret_cast<GetSignalFn>(entryPoint(*lib, loaded, "qzCSgetSignal"));
  return lib->getSignal != nullptr;
}

// ---------------------------------------------------------------------------
// Settings file check: the file that -S names, resolved as the library
// resolves it, is looked at before the run, so that a mistake is named on
// standard error instead of vanishing into a run with default settings.

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) !=
        std::tolower(static_cast<unsigned char>(suffix[i]))) {
      return false;
    }
  }
  return true;
}

// The file that the setting argument NAME of -SNAME reads ("" for standard
// input).
std::string settingsPath(const std::string& name) {
  if (name == kStdinSettings) return {};
  if (name.size() >= 5 && endsWithNoCase(name, ".CFG")) return name;
  if (name.size() >= 4 && endsWithNoCase(name, ".pcf")) return name;
  return name + ".pcf";
}

// False (with the error on standard error) when the settings file cannot be
// used; a missing file is a warning: the cycle then runs on its defaults.
bool checkSettingsFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) {
      std::fprintf(stderr, "tessaro: warning: settings file %s not found; defaults used\n",
                   path.c_str());
      return true;
    }
    std::fprintf(stderr, "tessaro: message %d: settings file %s: %s\n", kMsgSettingsUnusable,
                 path.c_str(), std::strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "tessaro: message %d: settings file %s is not a regular file\n",
                 kMsgNotRegularFile, path.c_str());
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "tessaro: message %d: settings file %s cannot be read: %s\n",
                 kMsgSettingsUnusable, path.c_str(), std::strerror(errno));
    return false;
  }
  char buf[kTextProbeBytes];
  const std::size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  if (std::memchr(buf, '\0', n) != nullptr) {
    std::fprintf(stderr, "tessaro: message %d: settings file %s is not a text file\n",
                 kMsgSettingsUnusable, path.c_str());
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Records: the log, the messages on standard error, and what the summary
// reports.

std::FILE* gRecordLog = nullptr;
std::mutex gRecordMutex;
long long gRecordCount = 0;
// Tool paths (move-kind markers of a cutting path) and tool positions
// (rapid and line moves of the contour channel) of the run.
long long gPathCount = 0;
long long gPointCount = 0;
constexpr int kMarkerChannel = 12;
constexpr int kContourChannel = 31;
constexpr int32_t kMoveKindRecord = 5005;
constexpr int32_t kMoveKindPath = 115;
constexpr std::size_t kMarkerKindOffset = 12;

bool isMoveRecord(int32_t code) {
  return code == 3107 || code == 3109 || code == 3114 || code == 3118;
}
std::string gOutputFile;

bool isTextRecord(int32_t code) {
  return (code >= 100 && code <= 112) || (code >= 201 && code <= 204) || code == 301 ||
         code == 1001 || code == 3001 || code == 3131 || code == 3199 || code == 4101;
}

bool isMarkerRecord(int32_t code) { return code >= 5001 && code <= 5005; }

// The text field at offset (at most 256 bytes, up to its terminator).
std::string fieldText(const OutputRecord* record, std::size_t offset) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(record);
  std::string out;
  for (std::size_t i = 0; i < 256 && offset + i < sizeof(OutputRecord); ++i) {
    const unsigned char c = bytes[offset + i];
    if (c == '\0') break;
    out += static_cast<char>(c);
  }
  return out;
}

// A copy of text in which quotes, backslashes and unprintable bytes are
// escaped, so that it stays on one line.
std::string escaped(const std::string& text, bool escapeQuotes) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (escapeQuotes && (c == '"' || c == '\\')) {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7f) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      out += esc;
    } else {
      out += ch;
    }
  }
  return out;
}

void appendText(std::string* line, const OutputRecord* record, std::size_t offset) {
  *line += " \"" + escaped(fieldText(record, offset), true) + "\"";
}

int32_t readI32(const OutputRecord* record, std::size_t offset) {
  int32_t v;
  std::memcpy(&v, reinterpret_cast<const unsigned char*>(record) + offset, sizeof v);
  return v;
}

// A numbered message ("number,value") as one line on standard error.
void printMessage(const std::string& text) {
  const std::size_t comma = text.find(',');
  const std::string number = text.substr(0, comma);
  if (number == std::to_string(kTraceMessageNumber)) return;
  if (comma == std::string::npos) {
    std::fprintf(stderr, "tessaro: message %s\n", escaped(number, false).c_str());
  } else {
    std::fprintf(stderr, "tessaro: message %s: %s\n", escaped(number, false).c_str(),
                 escaped(text.substr(comma + 1), false).c_str());
  }
}

// The POF file that the settings echo names (pofFilename, *APT).
void notePofFile(int32_t code, const std::string& value) {
  static const std::string kPcfKey = "\"pofFilename\":=\"";
  if ((code == 201 || code == 202) && value.rfind(kPcfKey, 0) == 0 &&
      value.size() > kPcfKey.size()) {
    gOutputFile = value.substr(kPcfKey.size(), value.size() - kPcfKey.size() - 1);
  } else if (code == 204 && value.rfind("*APT ", 0) == 0) {
    gOutputFile = value.substr(5);
  }
}

// The callbacks: user is the function's number (0, 1 or 2).  A channel-0
// record reaches fn0 and fn1; it is counted and shown once, by fn0.
int onRecord(void* /*ctx*/, int channel, OutputRecord* record, intptr_t user) {
  if (record == nullptr) return 1;
  const int32_t code = readI32(record, 0);
  std::lock_guard<std::mutex> lock(gRecordMutex);
  if (!(channel == kMessageChannel && user == 1)) ++gRecordCount;
  if (channel == kMarkerChannel && code == kMoveKindRecord &&
      readI32(record, kMarkerKindOffset) == kMoveKindPath) {
    ++gPathCount;
  }
  if (channel == kContourChannel && isMoveRecord(code)) ++gPointCount;
  if (channel == kMessageChannel && user == 0 && code == kErrorRecordCode) {
    printMessage(fieldText(record, 264));
  }
  if (user == 1 && channel == 1) notePofFile(code, fieldText(record, 264));
  if (gRecordLog == nullptr) return 1;
  std::string line =
      "fn" + std::to_string(user) + " " + std::to_string(channel) + " " + std::to_string(code);
  if (isTextRecord(code)) {
    appendText(&line, record, 8);
    appendText(&line, record, 264);
    appendText(&line, record, 520);
  } else if (isMarkerRecord(code)) {
    line += ' ';
    line += std::to_string(readI32(record, 8)) + " " + std::to_string(readI32(record, 12));
    appendText(&line, record, 16);
    appendText(&line, record, 272);
    appendText(&line, record, 528);
  }
  line += '\n';
  std::fputs(line.c_str(), gRecordLog);
  return 1;
}

// ---------------------------------------------------------------------------
// Ctrl-C: the first one only posts a semaphore (async-signal-safe), and a
// watcher thread turns it into the stop signal; the watcher ends the process
// when the run has not stopped kStopGraceSeconds later.  A second Ctrl-C
// ends the process in the handler itself.

sem_t gInterrupts;
std::atomic<bool> gRunOver{false};
std::atomic<int> gInterruptCount{0};

extern "C" void onInterrupt(int) {
  const int saved = errno;
  if (gInterruptCount.fetch_add(1) >= 1) {
    static const char kText[] = "\ntessaro: interrupted\n";
    const ssize_t ignored = write(STDERR_FILENO, kText, sizeof kText - 1);
    (void)ignored;
    _exit(kExitInterrupted);
  }
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
    while (sem_wait(&gInterrupts) != 0 && errno == EINTR) {
    }
    if (gRunOver.load()) return;
    lib.setSignal(ctx, kStopSignal);
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += kStopGraceSeconds;
    for (;;) {
      if (sem_timedwait(&gInterrupts, &deadline) == 0) return;  // the run is over
      if (errno == EINTR) continue;
      if (errno == ETIMEDOUT && !gRunOver.load()) {
        std::fprintf(stderr, "tessaro: the run did not stop within %d seconds; interrupted\n",
                     kStopGraceSeconds);
        std::fflush(stdout);
        _exit(kExitInterrupted);
      }
      return;
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

const char* statusText(int status) {
  if (status == 0) return "done";
  if (status == kStopSignal) return "stopped";
  return "failed";
}

int usageError(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "tessaro: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitNoRun;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  const char* recordsPath = nullptr;
  bool quiet = false;
  bool kfyMode = false;
  std::string settings;
  bool hasSettings = false;
  if (argc <= 1) return usageError("");
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-h") return usageError("");
    if (arg == "--version") {
      char text[kVersionTextSize];
      std::printf("%s\n", cycFormatFileVersion(text, sizeof text));
      return 0;
    }
    if (arg == "--quiet") {
      quiet = true;
      continue;
    }
    if (arg == "--records") {
      if (i + 1 >= argc) return usageError("--records needs a file name");
      recordsPath = argv[++i];
      continue;
    }
    if (arg.starts_with("--records=")) {
      recordsPath = argv[i] + std::strlen("--records=");
      continue;
    }
    if (arg.starts_with("--")) return usageError("unknown option " + std::string(arg));
    if (arg.size() > 2 && (arg[0] == '-' || arg[0] == '/') && (arg[1] == 'S' || arg[1] == 's')) {
      settings = std::string(arg.substr(2));
      hasSettings = true;
    }
    if (arg == "-PCF") kfyMode = true;
    if (arg == "-POF") kfyMode = false;
    args.push_back(argv[i]);
  }
  if (hasSettings) {
    const std::string path = settingsPath(settings);
    if (!path.empty() && !checkSettingsFile(path)) return kExitNoRun;
  }

  Library lib;
  if (!openLibrary(&lib)) return kExitNoRun;
  if (recordsPath != nullptr) {
    gRecordLog = std::fopen(recordsPath, "w");
    if (gRecordLog == nullptr) {
      std::fprintf(stderr, "tessaro: error: cannot write %s: %s\n", recordsPath,
                   std::strerror(errno));
      return kExitNoRun;
    }
  }

  const auto start = std::chrono::steady_clock::now();
  HostCallbackSet callbacks{onRecord, 0, onRecord, 1, onRecord, 2};
  void* ctx = lib.getCycle();
  Interrupts interrupts;
  startInterrupts(&interrupts, lib, ctx);
  args.push_back(nullptr);  // the library reads argc entries; the end mark is for safety
  const int ran = lib.execCycle(ctx, static_cast<int>(args.size() - 1), args.data(), &callbacks);
  stopInterrupts(&interrupts);

  std::fflush(stdout);
  if (gRecordLog != nullptr) std::fclose(gRecordLog);
  if (ran == 0) {
    std::fprintf(stderr, "tessaro: error: the library refused the run\n");
    return kExitNoRun;
  }
  const int status = lib.getSignal(ctx);
  if (!quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string output = kfyMode               ? std::string("kFY files (no records)")
                               : gOutputFile.empty() ? std::string("standard output")
                                                     : gOutputFile;
    std::fprintf(stderr,
                 "tessaro: %s (status %d), output %s, %lld paths, %lld points, %lld records, "
                 "%.2f s\n",
                 statusText(status), status, output.c_str(), gPathCount, gPointCount,
                 gRecordCount, seconds);
  }
  return status;
}
