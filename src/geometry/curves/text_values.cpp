#include "geometry/curves/text_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/input_files.h"

namespace {

// Reads are at most this many characters, so a longer line counts once per
// piece.
constexpr int kCountPiece = 128;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int textFileCountLines(const char* name) {
  if (name == nullptr || name[0] == '\0' || isBlank(name[0])) return -1;
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return -1;
  char piece[kCountPiece + 1];
  int count = 0;
  while (std::fgets(piece, sizeof piece, f) != nullptr) ++count;
  std::fclose(f);
  return count;
}

int textGetLetterValue(int letter, const char* line, double* value) {
  if (line == nullptr || value == nullptr || letter <= 0 || letter > 255) return 0;
  const char* at = std::strchr(line, letter);
  if (at == nullptr) return 0;
  const char* p = at + 1;
  if (!(isDigit(*p) || *p == '-' || isBlank(*p))) return 0;
  if (isBlank(*p)) {
    while (isBlank(*p)) ++p;
    if (*p == '+') {  // a sign after the blanks is part of the number
      ++p;
      if (*p == '-') return 0;
    }
  }
  // Plain decimal syntax only: an optional sign, then a digit or a point.  This
  // keeps "inf", "nan" and hexadecimal forms out of coordinates.
  const char* digits = *p == '-' ? p + 1 : p;
  if (!(isDigit(*digits) || (*digits == '.' && isDigit(digits[1])))) return 0;
  double v = 0.0;
  const auto result = std::from_chars(p, p + std::strlen(p), v, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(v)) return 0;
  *value = v;
  return 1;
}
