// The library's version text and its own file path.
//
// The version text starts as the running descriptor's version and date
// ("6.00-08.06.2001") and becomes final at the first setup that finds the
// library's file: then it is the file version text without blanks followed by
// the four file version numbers ("6.0.0.1-6.0.0.1").  The file version is
// compiled in from the project version (TESSARO_VERSION_MAJOR ... _TWEAK).
// Defining TESSARO_DESCRIPTOR_VERSION_TEXT keeps the descriptor form for
// good, so that golden outputs can pin it.
//
// This header is also used by the host program, which prints the same text;
// the inline part below needs nothing but the compile definitions.
#pragma once

#include <cstddef>
#include <cstdio>

#define TESSARO_VERSION_STR_(x) #x
#define TESSARO_VERSION_STR(x) TESSARO_VERSION_STR_(x)

// The file version text and numbers of this build.
inline constexpr char kFileVersionText[] =
    TESSARO_VERSION_STR(TESSARO_VERSION_MAJOR) "." TESSARO_VERSION_STR(
        TESSARO_VERSION_MINOR) "." TESSARO_VERSION_STR(TESSARO_VERSION_PATCH) "." TESSARO_VERSION_STR(TESSARO_VERSION_TWEAK);
inline constexpr int kFileVersionNumbers[4] = {TESSARO_VERSION_MAJOR, TESSARO_VERSION_MINOR,
                                               TESSARO_VERSION_PATCH, TESSARO_VERSION_TWEAK};

// Size of the version text buffer, terminator included.
constexpr std::size_t kVersionTextSize = 64;

// Writes the final version text of this build into out (outSize bytes,
// always terminated, cut when too small): kFileVersionText without blanks,
// then "-%d.%d.%d.%d" of kFileVersionNumbers.  Returns out.
inline char* cycFormatFileVersion(char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return out;
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "-%d.%d.%d.%d", kFileVersionNumbers[0],
                kFileVersionNumbers[1], kFileVersionNumbers[2], kFileVersionNumbers[3]);
  std::size_t n = 0;
  for (const char* p = kFileVersionText; *p != '\0' && n + 1 < outSize; ++p) {
    if (*p != ' ') out[n++] = *p;
  }
  for (const char* p = numbers; *p != '\0' && n + 1 < outSize; ++p) out[n++] = *p;
  out[n] = '\0';
  return out;
}

struct CycleDescriptor;

// The current version text (at most 63 characters).  The pointer stays valid
// for the whole process; the text changes only during cycle setup, on the
// cycle thread.
const char* cycVersionText();

// Unless the text is final: sets it from the descriptor as
// "%u.%02u-%02u.%02u.%u" of major, minor, day, month and year.
void cycVersionFromDescriptor(const CycleDescriptor* ctx);

// Unless the text is final: when the library's file path is known, makes the
// file version text (cycFormatFileVersion) the final text.  Returns 1 when
// the text is final afterwards, else 0 (the next setup tries again).
int cycVersionFromModule();

// 1 once the version text is final.
int cycVersionIsFinal();

// The file path of the module that holds the kernel (the shared library, or
// the program it is linked into), found once on first use and kept for the
// whole process; null when it cannot be found.  Thread-safe.
const char* cycModulePath();
