#include "output/output_record.h"

#include <cassert>
#include <cstring>

namespace {

unsigned char* recBytes(OutputRecord* rec) { return reinterpret_cast<unsigned char*>(rec); }
const unsigned char* recBytes(const OutputRecord* rec) {
  return reinterpret_cast<const unsigned char*>(rec);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void outRecClear(OutputRecord* rec, int32_t code) {
  // Every record starts here.  Cleared in pieces of a cache line, the block
  // becomes a few vector stores; as one block, compilers make it a string
  // store that takes three times as long at this size.
  constexpr std::size_t kPiece = 64;
  constexpr std::size_t kWhole = sizeof(OutputRecord) / kPiece * kPiece;
  unsigned char* bytes = recBytes(rec);
  for (std::size_t at = 0; at < kWhole; at += kPiece) std::memset(bytes + at, 0, kPiece);
  std::memset(bytes + kWhole, 0, sizeof(OutputRecord) - kWhole);
  rec->code = code;
}

int32_t outRecGetI32(const OutputRecord* rec, std::size_t offset) {
  assert(offset + sizeof(int32_t) <= sizeof(OutputRecord));
  int32_t v;
  std::memcpy(&v, recBytes(rec) + offset, sizeof v);
  return v;
}

void outRecSetI32(OutputRecord* rec, std::size_t offset, int32_t v) {
  assert(offset + sizeof(int32_t) <= sizeof(OutputRecord));
  std::memcpy(recBytes(rec) + offset, &v, sizeof v);
}

double outRecGetF64(const OutputRecord* rec, std::size_t offset) {
  assert(offset + sizeof(double) <= sizeof(OutputRecord));
  double v;
  std::memcpy(&v, recBytes(rec) + offset, sizeof v);
  return v;
}

void outRecSetF64(OutputRecord* rec, std::size_t offset, double v) {
  assert(offset + sizeof(double) <= sizeof(OutputRecord));
  std::memcpy(recBytes(rec) + offset, &v, sizeof v);
}

const char* outRecText(const OutputRecord* rec, std::size_t offset) {
  assert(offset < sizeof(OutputRecord));
  return reinterpret_cast<const char*>(recBytes(rec) + offset);
}

char* outRecText(OutputRecord* rec, std::size_t offset) {
  assert(offset < sizeof(OutputRecord));
  return reinterpret_cast<char*>(recBytes(rec) + offset);
}

std::size_t outTextCutLength(const char* text, std::size_t maxChars) {
  std::size_t len = 0;
  while (text[len] != '\0') {
    // One unit: "\\", "\ddd", or a single character.
    std::size_t unit = 1;
    if (text[len] == '\\') {
      if (text[len + 1] == '\\') {
        unit = 2;
      } else if (isDigit(text[len + 1]) && isDigit(text[len + 2]) && isDigit(text[len + 3])) {
        unit = 4;
      }
    }
    if (len + unit > maxChars) break;
    len += unit;
  }
  return len;
}

std::size_t outRecSetText(OutputRecord* rec, std::size_t offset, const char* text,
                          std::size_t maxChars) {
  assert(offset + kRecTextField <= sizeof(OutputRecord));
  if (maxChars > kRecTextField - 1) maxChars = kRecTextField - 1;
  if (text == nullptr) text = "";
  const std::size_t len = outTextCutLength(text, maxChars);
  char* field = outRecText(rec, offset);
  std::memcpy(field, text, len);
  field[len] = '\0';
  return len;
}
