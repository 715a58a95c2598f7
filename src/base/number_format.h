// The process-wide number formatter through which every number of the text
// output (POF lines, kFY values, argument records) is written.
//
// Numbers are rounded to the current decimal count (1 to 8, 6 by default),
// trailing zeros and a trailing point are removed, and "-0" is written "0".
// The output never depends on the C locale.
#pragma once

#include <cstddef>
#include <string>

// Size of a buffer that holds any numFormat result with its terminator.
constexpr std::size_t kNumTextSize = 32;

// Default decimal count of the formatter.
constexpr int kNumDefaultPrecision = 6;

// Sets the decimal count.  The argument is taken as an unsigned 16-bit count
// (so -1 means 65535): values above 8 become 8, and 0 becomes 1.
// Thread-safety: call from the cycle thread outside parallel regions; the
// change is published atomically to later numFormat calls on any thread.
void numSetPrecision(int n);

// Writes x into buf (at least kNumTextSize bytes) and returns buf.
// The value is rounded to the current scale 10^n (half away from zero as
// floor(x*10^n + 0.5)), then written as integer part, ".", and the fraction
// with trailing zeros removed: with 6 decimals 2.5 -> "2.5", 2.0 -> "2",
// -0.25 -> "-0.25", 0.0000004 -> "0".  The integer part is 64-bit, so
// values such as 3e9 print exactly; values whose integer part does not fit
// 64 bits are written in the shortest round-trip exponent form
// ("1e+20").  Non-finite values are written "nan", "inf" or "-inf".
// Thread-safety: reads the formatter state only; any thread, own buffer.
char* numFormat(char* buf, double x);

// x as printf's "%.*f" writes it in the C locale (decimals digits after the
// point, no trimming), whatever locale the host set: the fixed-format
// numbers of BND and kFY files.  Any thread.
std::string numFixed(double x, int decimals);
