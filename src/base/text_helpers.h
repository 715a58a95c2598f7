// Small text services: number picking, character replacement, the kFY text
// escaper that makes arbitrary text safe inside kFY and POF values, and the
// writing of a whole text file at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Picks up to three numbers out of text: each number starts at the next
// character of "+-.0123456789" and runs over characters of
// "+-.0123456789eE"; the run is converted like the C runtime's atof in the
// C locale (its longest valid prefix, 0 when there is none; so "1-2" is one
// run worth 1).  Any other character separates numbers.  Results go to a, b
// and c in order (each may be null); targets without a number are left
// untouched.  Returns how many numbers were found, 0 to 3 (0 for null text).
int strParseNumbers3(const char* text, double* a, double* b, double* c);

// strtod in the C locale whatever locale the host set: skips leading white
// space, reads the longest number (decimal, exponent, hexadecimal, inf, nan)
// and sets *end (when not null) behind it, or to text when there is none
// (result 0).  Overflow gives +-infinity, underflow 0 or a subnormal.
double strToDoubleC(const char* text, char** end);

// Copies src into dst with every character from replaced by to and returns
// the number of replacements.  dst must hold strlen(src) + 1 bytes.  When
// dst and src are the same block the replacement happens in place, and
// nothing is done (result 0) when from equals to.  A null src gives an empty
// dst (when dst is not null) and 0.
int strReplaceChar(char* dst, const char* src, char from, char to);

// True when a and b hold the same text without regard to the case of the
// ASCII letters (other bytes must match exactly).  Independent of the C
// locale.
bool strEqualsNoCase(std::string_view a, std::string_view b);

// True when text ends in suffix, compared as strEqualsNoCase does.
bool strEndsWithNoCase(std::string_view text, std::string_view suffix);

// kFY text escaping.  Letters, digits and the 27 characters
//   @ $ % & # ~ | - + * / = < > ! ? ^ , ; . : _ ' " blank { }
// are kept; a backslash becomes two backslashes; every other byte (among
// them ( ) [ ], tab, line ends and bytes above 126) becomes a backslash and
// its code as three decimal digits ("(" -> "\040").  The kFY value scanner
// turns the escapes back.
std::string kfyEscapeText(std::string_view src);

// Bounded form: escapes src (null counts as empty) into dst of dstSize
// bytes, always NUL-terminated when dstSize > 0.  When the escaped text does
// not fit, it is cut before the first escape unit (a kept character, "\\"
// or "\ddd") that would not fit, so dst never ends inside an escape.
// Returns the number of characters written, without the terminator.
std::size_t kfyEscapeText(char* dst, std::size_t dstSize, const char* src);

// Writes text into the file at path (created or replaced, bytes as given).
// True when the whole text was written and the file closed; otherwise false,
// and a partly written regular file is removed, so a reader never takes a
// cut-off file for a whole one (a pipe or device that refused the text is
// left alone).  Any thread, one writer per path.
bool textWriteFile(const char* path, std::string_view text);
