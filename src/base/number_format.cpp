#include "base/number_format.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kNumMaxPrecision = 8;

// 10^n for n = 0..8, as integer; the double scale is the same value.
constexpr int64_t kPow10[kNumMaxPrecision + 1] = {1,      10,      100,      1000,     10000,
                                                  100000, 1000000, 10000000, 100000000};

// Integer parts at or beyond this size do not fit int64 after rounding; such
// doubles are integers anyway, so the fraction carries no information.
constexpr double kNumInt64Limit = 9.2e18;

// From this size on doubles have no fraction bits.
constexpr double kNumWholeOnly = 4503599627370496.0;  // 2^52

std::atomic<int> gPrecision{kNumDefaultPrecision};

char* writeText(char* buf, const char* text) {
  std::strcpy(buf, text);
  return buf;
}

}  // namespace

void numSetPrecision(int n) {
  int count = static_cast<uint16_t>(n);
  if (count > kNumMaxPrecision) count = kNumMaxPrecision;
  if (count == 0) count = 1;
  gPrecision.store(count, std::memory_order_relaxed);
}

char* numFormat(char* buf, double x) {
  if (std::isnan(x)) return writeText(buf, "nan");
  if (std::isinf(x)) return writeText(buf, x < 0 ? "-inf" : "inf");

  const int n = gPrecision.load(std::memory_order_relaxed);
  const int64_t scaleInt = kPow10[n];
  const double scale = static_cast<double>(scaleInt);

  // 1. Round to the scale (half up, as floor(x*s + 0.5)).  From 2^52 on
  // every double is a whole number: scaling would only add error, or
  // overflow to infinity.
  const double r = std::fabs(x) >= kNumWholeOnly ? x : std::floor(x * scale + 0.5) / scale;
  if (!(std::fabs(r) < kNumInt64Limit)) {
    const auto res = std::to_chars(buf, buf + kNumTextSize - 1, r);
    *res.ptr = '\0';
    return buf;
  }

  // 2. Integer part toward zero, fraction digits rounded.
  int64_t ip = static_cast<int64_t>(r);
  int64_t frac =
      static_cast<int64_t>(std::floor(scale * std::fabs(r - static_cast<double>(ip)) + 0.5));
  // 3. Carry a fraction that rounded up to a whole unit.
  if (frac >= scaleInt) {
    ip += r < 0 ? -1 : 1;
    frac = 0;
  }

  char* p = buf;
  // 4. A negative value with integer part 0 still needs its sign.
  if (ip == 0 && r < 0) *p++ = '-';
  // 5. Integer part, ".", fraction as n digits with leading zeros.
  p = std::to_chars(p, buf + kNumTextSize, ip).ptr;
  *p++ = '.';
  char* fracEnd = p + n;
  for (char* q = fracEnd - 1; q >= p; --q) {
    *q = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  p = fracEnd;

  // 6. Trim trailing zeros, then a trailing point; "-0" becomes "0".
  while (p[-1] == '0') --p;
  if (p[-1] == '.') --p;
  *p = '\0';
  if (std::strcmp(buf, "-0") == 0) return writeText(buf, "0");
  return buf;
}

std::string numFixed(double x, int decimals) {
  // Room for the largest double in fixed form and its decimals.
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed,
                                 std::clamp(decimals, 0, 17));
  return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}
