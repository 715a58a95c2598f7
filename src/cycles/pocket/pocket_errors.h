// The pocket cycle's error table: errors reported by the pocket cycle (a
// text that begins with the error's key) become numbered messages.
#pragma once

#include <cstddef>

struct PocketErrorRow {
  int key;           // leading number of the error text
  int result;        // -1 error, 0 warning
  int number;        // message number sent
  const char* text;  // catalogue text (UTF-8)
};

constexpr std::size_t kPocketErrorRowCount = 42;
// Message sent for an error text without a table row.
constexpr int kPocketErrorUnknown = 1301;

// The rows in table order; the first row with a key wins.
const PocketErrorRow* pocketErrorTable();

// Maps errorText to a message: its leading decimal number is the key; the
// first row with that key sends message (9, number) with the value 0 and
// its result is returned.  An unknown key (or null text, or no leading
// number) sends message 1301 with the whole text and returns 0.
int pofPocketErrorMessage(const char* errorText);
