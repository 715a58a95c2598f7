#include "formats/kfy/kfy_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/input_files.h"
#include "base/memory.h"

const char kfyBanner[] = "Talvora Data Exchange File - generated data, do not edit";

namespace {

// A header line longer than this cannot be a header line: the scan stops
// instead of swallowing a binary file into memory.
constexpr std::size_t kHeaderLineMax = 65536;

enum class LineResult { kLine, kEnd, kTooLong };

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

// Reads the next non-blank line: blank lines and leading blanks are
// skipped, trailing blanks (and the carriage return of a CR-LF pair) are
// removed.  kEnd when the input ends before any character of a line.
LineResult readHeaderLine(FILE* file, std::string& line) {
  line.clear();
  int c = std::getc(file);
  for (;;) {
    while (isBlank(c)) c = std::getc(file);
    if (c == '\n') {
      c = std::getc(file);
      continue;
    }
    if (c == EOF) return LineResult::kEnd;
    break;
  }
  while (c != '\n' && c != EOF) {
    if (line.size() >= kHeaderLineMax) return LineResult::kTooLong;
    line.push_back(static_cast<char>(c));
    c = std::getc(file);
  }
  while (!line.empty() && isBlank(static_cast<unsigned char>(line.back()))) line.pop_back();
  return LineResult::kLine;
}

// Reads an optionally signed decimal integer after optional white space,
// like the C runtime's "%d" but saturating instead of overflowing.  Returns
// false when no digit follows.
bool readInt(const char*& p, long long& value) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (*p < '0' || *p > '9') return false;
  constexpr long long kSaturate = 1000000000000LL;
  value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < kSaturate) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  return true;
}

uint16_t toU16(long long v) {
  if (v < 0) return 0;
  return v > 65535 ? 65535 : static_cast<uint16_t>(v);
}

}  // namespace

void kfyHeaderFree(KfyHeader* header) {
  if (header == nullptr) return;
  memFree(header->fileType);
  memFree(header->title);
  header->fileType = nullptr;
  header->title = nullptr;
  header->versionMajor = 0;
  header->versionMinor = 0;
}

std::string kfyExpandHome(const char* path) {
  if (path == nullptr) return std::string();
  if (path[0] == '~') {
    const char* home = std::getenv("HOME");
    if (home != nullptr) return std::string(home) + (path + 1);
  }
  return std::string(path);
}

int kfyScanHeader(FILE* file, KfyHeader* header) {
  if (header == nullptr) return 0;
  kfyHeaderFree(header);
  if (file == nullptr) return 0;

  std::string line;
  if (readHeaderLine(file, line) != LineResult::kLine || line != kfyBanner) return 0;

  if (readHeaderLine(file, line) != LineResult::kLine) return 0;
  const std::size_t prefixLength = std::strlen(kKfyVersionPrefix);
  if (line.compare(0, prefixLength, kKfyVersionPrefix) != 0) return 0;
  // Numbers that cannot be read leave the version 0.0; a negative number
  // is readable and never a supported version.
  long long major = 0;
  long long minor = 0;
  const char* p = line.c_str() + prefixLength;
  if (readInt(p, major) && *p == '.') {
    ++p;
    if (!readInt(p, minor)) minor = 0;
  }
  header->versionMajor = toU16(major);
  header->versionMinor = toU16(minor);
  const bool versionOk = major >= 0 && minor >= 0 && (major < 1 || (major == 1 && minor < 1));

  if (readHeaderLine(file, line) != LineResult::kLine) return 0;
  header->fileType = strDuplicate(line.c_str());
  if (header->fileType == nullptr) return 0;

  const LineResult titleResult = readHeaderLine(file, line);
  if (titleResult == LineResult::kTooLong) return 0;
  if (titleResult == LineResult::kLine) {
    header->title = strDuplicate(line.c_str());
    if (header->title == nullptr) return 0;
  }
  return versionOk ? 1 : 0;
}

FILE* kfyOpenFile(const char* path, KfyHeader* header) {
  if (path == nullptr || header == nullptr) return nullptr;
  FILE* file = nullptr;
  if (std::strcmp(path, kKfyStdinName) == 0) {
    file = stdin;
  } else {
    file = fileOpenInput(kfyExpandHome(path).c_str(), "rb");
  }
  if (file == nullptr) return nullptr;
  if (kfyScanHeader(file, header) != 1) {
    kfyHeaderFree(header);
    kfyCloseFile(file);
    return nullptr;
  }
  return file;
}

void kfyCloseFile(FILE* file) {
  if (file == nullptr || file == stdin) return;
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (ftello(file) < 0) return;
  std::fclose(file);
}
