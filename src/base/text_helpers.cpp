#include "base/text_helpers.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/input_files.h"

namespace {

bool isNumberStart(unsigned char c) {
  return c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9');
}

bool isNumberChar(unsigned char c) { return isNumberStart(c) || c == 'e' || c == 'E'; }

// The value atof gives for token (a run of number characters), in the C
// locale: the longest valid prefix, 0 when there is none.
double parseNumberToken(const char* first, const char* last) {
  bool negative = false;
  if (first < last && *first == '+') {
    ++first;
    // "+-1" and "++1" are not numbers for atof.
    if (first < last && (*first == '+' || *first == '-')) return 0.0;
  } else if (first < last && *first == '-') {
    negative = true;
    ++first;
    if (first < last && (*first == '+' || *first == '-')) return 0.0;
  }
  double v = 0.0;
  const auto res = std::from_chars(first, last, v, std::chars_format::general);
  if (res.ec == std::errc::invalid_argument) return 0.0;
  if (res.ec == std::errc::result_out_of_range) {
    // Like strtod: overflow gives infinity, underflow zero.  A negative
    // exponent in the consumed text means underflow.
    bool tiny = false;
    for (const char* p = first; p < res.ptr; ++p) {
      if ((*p == 'e' || *p == 'E') && p + 1 < res.ptr && p[1] == '-') tiny = true;
    }
    v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -v : v;
}

// What one character becomes in escaped text.
enum class EscapeKind { kKeep, kBackslash, kCode };

EscapeKind escapeKind(unsigned char c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
    return EscapeKind::kKeep;
  }
  if (c == '\\') return EscapeKind::kBackslash;
  if (c != 0 && std::strchr("@$%&#~|-+*/=<>!?^,;.:_'\" {}", c) != nullptr) return EscapeKind::kKeep;
  return EscapeKind::kCode;
}

// Writes the escape unit of c into out (at least 4 bytes); returns its
// length.
std::size_t escapeUnit(unsigned char c, char* out) {
  switch (escapeKind(c)) {
    case EscapeKind::kKeep:
      out[0] = static_cast<char>(c);
      return 1;
    case EscapeKind::kBackslash:
      out[0] = '\\';
      out[1] = '\\';
      return 2;
    case EscapeKind::kCode:
      out[0] = '\\';
      out[1] = static_cast<char>('0' + c / 100);
      out[2] = static_cast<char>('0' + c / 10 % 10);
      out[3] = static_cast<char>('0' + c % 10);
      return 4;
  }
  return 0;
}

}  // namespace

int strParseNumbers3(const char* text, double* a, double* b, double* c) {
  if (text == nullptr) return 0;
  double* targets[3] = {a, b, c};
  int found = 0;
  const char* p = text;
  while (found < 3) {
    while (*p != '\0' && !isNumberStart(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\0') break;
    const char* start = p;
    while (*p != '\0' && isNumberChar(static_cast<unsigned char>(*p))) ++p;
    const double v = parseNumberToken(start, p);
    if (targets[found] != nullptr) *targets[found] = v;
    ++found;
  }
  return found;
}

double strToDoubleC(const char* text, char** end) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  if (cLocale == static_cast<locale_t>(0)) return std::strtod(text, end);
  return strtod_l(text, end, cLocale);
}

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool strEqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

bool strEndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         strEqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

int strReplaceChar(char* dst, const char* src, char from, char to) {
  if (src == nullptr) {
    if (dst != nullptr) *dst = '\0';
    return 0;
  }
  if (dst == nullptr) return 0;
  int count = 0;
  if (dst == src) {
    if (from == to) return 0;
    for (char* p = dst; *p != '\0'; ++p) {
      if (*p == from) {
        *p = to;
        ++count;
      }
    }
    return count;
  }
  std::size_t i = 0;
  for (; src[i] != '\0'; ++i) {
    if (src[i] == from) {
      dst[i] = to;
      ++count;
    } else {
      dst[i] = src[i];
    }
  }
  dst[i] = '\0';
  return count;
}

std::string kfyEscapeText(std::string_view src) {
  std::string out;
  out.reserve(src.size() + src.size() / 4 + 8);
  char unit[4];
  for (const char ch : src) {
    out.append(unit, escapeUnit(static_cast<unsigned char>(ch), unit));
  }
  return out;
}

std::size_t kfyEscapeText(char* dst, std::size_t dstSize, const char* src) {
  if (dst == nullptr || dstSize == 0) return 0;
  std::size_t len = 0;
  char unit[4];
  for (const char* p = src == nullptr ? "" : src; *p != '\0'; ++p) {
    const std::size_t n = escapeUnit(static_cast<unsigned char>(*p), unit);
    // Keep room for the terminator; drop a unit that would not fit whole.
    if (len + n > dstSize - 1) break;
    std::memcpy(dst + len, unit, n);
    len += n;
  }
  dst[len] = '\0';
  return len;
}

bool textWriteFile(const char* path, std::string_view text) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (written && closed) return true;
  // A pipe or a device that refused the text is not a cut-off file: it stays.
  if (fileIsRegular(path)) std::remove(path);
  return false;
}
