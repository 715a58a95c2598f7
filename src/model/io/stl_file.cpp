#include "model/io/stl_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "model/io/model_file_codec.h"

namespace {

// A vertex coordinate of a real model is 0 or has a size within these bounds;
// the other byte order of such a number almost always falls outside them
// (denormals, 1e30 and the like).
constexpr double kStlPlausibleMin = 1e-25;
constexpr double kStlPlausibleMax = 1e9;
// A stored normal counts as zero below this length, as unit length within
// this relative distance of 1, and as along the triangle's cross product when
// the cosine of their angle is at least this in size.
constexpr double kStlZeroNormal = 1e-6;
constexpr double kStlUnitNormalTol = 0.01;
constexpr double kStlParallelCos = 0.99;
// The fixed rule of the normal's size that decides between equally good
// orders: a component or a squared length above this means big-endian.
constexpr float kStlNormalLimit = 2.0f;

// Records read per block of the binary reader.
constexpr int kStlRecordsPerBlock = 4096;
// Rough bytes per facet of an ASCII file, to size the list before reading,
// and the most triangles room is made for up front (the list grows beyond).
constexpr long long kStlAsciiBytesPerFacet = 200;
constexpr long long kStlAsciiInitialMax = 1 << 20;

struct FileCloser {
  std::FILE* f;
  ~FileCloser() {
    if (f) std::fclose(f);
  }
};

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool containsNoCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (modelEqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

// The next whitespace-separated word of line from pos on (empty at the end);
// pos moves behind it.
std::string_view nextWord(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && isSpace(line[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < line.size() && !isSpace(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

// A number as "%lf" reads it (leading blanks, an optional sign), in the C
// locale.  false when no number starts there.
bool nextNumber(std::string_view line, std::size_t& pos, double* out) {
  while (pos < line.size() && isSpace(line[pos])) ++pos;
  std::size_t p = pos;
  if (p < line.size() && line[p] == '+') ++p;
  const char* first = line.data() + p;
  const char* last = line.data() + line.size();
  // from_chars takes no "+"; "+-1" must stay invalid.
  if (p > pos && first < last && *first == '-') return false;
  const auto res = std::from_chars(first, last, *out, std::chars_format::general);
  if (res.ec != std::errc()) return false;
  pos = res.ptr - line.data();
  return true;
}

// Lines of a file of any length; carriage returns are dropped.  Characters
// after the last line feed form no line.
class LineReader {
 public:
  explicit LineReader(std::FILE* f) : f_(f) {}

  bool next(std::string& line) {
    line.clear();
    for (;;) {
      if (pos_ == end_) {
        end_ = std::fread(buf_, 1, sizeof buf_, f_);
        pos_ = 0;
        if (end_ == 0) return false;
      }
      while (pos_ < end_) {
        const char c = buf_[pos_++];
        if (c == '\n') return true;
        if (c != '\r') line.push_back(c);
      }
    }
  }

 private:
  std::FILE* f_;
  char buf_[1 << 16];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

// The twelve floats of a record (normal, then three vertices).
void loadRecord(const unsigned char* rec, bool bigEndian, float out[12]) {
  for (int i = 0; i < 12; ++i) out[i] = modelLoadBytes<float>(rec + 4 * i, bigEndian);
}

// How much a record's floats look like a real record: -1 when a vertex is not
// finite; else 2 for sensible vertex coordinates plus 1 for a sensible normal.
int recordScore(const float f[12]) {
  const float* v = f + 3;
  bool verticesOk = true;
  for (int i = 0; i < 9; ++i) {
    if (!std::isfinite(v[i])) return -1;
    const double a = std::fabs(v[i]);
    if (a != 0.0 && (a < kStlPlausibleMin || a > kStlPlausibleMax)) verticesOk = false;
  }
  const double n[3] = {f[0], f[1], f[2]};
  bool normalOk = false;
  if (std::isfinite(n[0]) && std::isfinite(n[1]) && std::isfinite(n[2])) {
    const double nn = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (nn < kStlZeroNormal || std::fabs(nn - 1.0) < kStlUnitNormalTol) {
      normalOk = true;
    } else {
      // Some writers store the unnormalised cross product of the edges.
      const double e1[3] = {double(v[3]) - v[0], double(v[4]) - v[1], double(v[5]) - v[2]};
      const double e2[3] = {double(v[6]) - v[0], double(v[7]) - v[1], double(v[8]) - v[2]};
      const double c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                           e1[0] * e2[1] - e1[1] * e2[0]};
      const double cc = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
      const double dot = n[0] * c[0] + n[1] * c[1] + n[2] * c[2];
      normalOk = cc > 0.0 && std::isfinite(cc) && std::fabs(dot) >= kStlParallelCos * nn * cc;
    }
  }
  return (verticesOk ? 2 : 0) + (normalOk ? 1 : 0);
}

// Appends the vertices of the record; false when one is not finite or the
// list cannot grow.
bool appendRecord(TriList* list, const float f[12]) {
  double t[9];
  for (int i = 0; i < 9; ++i) {
    if (!std::isfinite(f[3 + i])) return false;
    t[i] = f[3 + i];
  }
  return listTriAppend(list, t) > 0;
}

}  // namespace

bool stlRecordIsBigEndian(const unsigned char record[kStlBinaryRecordSize]) {
  float le[12];
  float be[12];
  loadRecord(record, false, le);
  loadRecord(record, true, be);
  const int scoreLe = recordScore(le);
  const int scoreBe = recordScore(be);
  if (scoreLe != scoreBe) return scoreBe > scoreLe;
  const float sq = le[0] * le[0] + le[1] * le[1] + le[2] * le[2];
  return std::fabs(le[0]) > kStlNormalLimit || std::fabs(le[1]) > kStlNormalLimit ||
         std::fabs(le[2]) > kStlNormalLimit || sq > kStlNormalLimit;
}

TriList* stlReadFile(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  return stlIsBinary(name) ? stlReadBinary(name) : stlReadAscii(name);
}

int stlIsBinary(const char* name) {
  if (name == nullptr) return 0;
  std::FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return 0;
  FileCloser closer{f};
  char buf[kStlProbeSize];
  const std::size_t got = std::fread(buf, 1, sizeof buf, f);
  std::string_view text(buf, got);
  text = text.substr(0, text.find('\0'));
  // ASCII files from other programs may write their words in capitals.
  const bool ascii = text.size() >= 5 && modelEqualsNoCase(text.substr(0, 5), "solid") &&
                     containsNoCase(text, "facet") && containsNoCase(text, "normal");
  return ascii ? 0 : 1;
}

TriList* stlReadBinary(const char* name) {
  if (name == nullptr) return nullptr;
  std::FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return nullptr;
  FileCloser closer{f};
  const long long size = modelFileSize(f);
  if (size < kStlBinaryHeaderSize + kStlBinaryRecordSize) return nullptr;
  if (std::fseek(f, kStlBinaryHeaderSize, SEEK_SET) != 0) return nullptr;
  const long long records = (size - kStlBinaryHeaderSize) / kStlBinaryRecordSize;
  if (records > INT32_MAX) return nullptr;
  TriList* list = listTriNew(static_cast<int>(records));
  if (list == nullptr) return nullptr;

  std::vector<unsigned char> block(static_cast<std::size_t>(kStlRecordsPerBlock) *
                                   kStlBinaryRecordSize);
  bool first = true;
  bool bigEndian = false;
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), f);
    const std::size_t whole = got / kStlBinaryRecordSize;
    if (first && whole > 0) {
      bigEndian = stlRecordIsBigEndian(block.data());
      first = false;
    }
    for (std::size_t r = 0; r < whole; ++r) {
      float fl[12];
      loadRecord(block.data() + r * kStlBinaryRecordSize, bigEndian, fl);
      if (!appendRecord(list, fl)) {
        listPt3Free(list);
        return nullptr;
      }
    }
    // A short block is the end of the file; a cut-off record there is dropped.
    if (got < block.size()) break;
  }
  return list;
}

TriList* stlReadAscii(const char* name) {
  if (name == nullptr) return nullptr;
  std::FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return nullptr;
  FileCloser closer{f};
  const long long size = modelFileSize(f);
  if (size < 0) return nullptr;
  // The list grows as needed; the size only spares most of the regrowth.
  const long long guess = std::min(size / kStlAsciiBytesPerFacet, kStlAsciiInitialMax);
  TriList* list = listTriNew(static_cast<int>(guess));
  if (list == nullptr) return nullptr;

  LineReader lines(f);
  std::string line;
  while (lines.next(line)) {
    std::size_t pos = 0;
    const std::string_view word = nextWord(line, pos);
    if (modelEqualsNoCase(word, "end")) {
      if (nextWord(line, pos).empty()) break;
      continue;
    }
    if (!modelEqualsNoCase(word, "facet")) continue;

    // The facet body: "outer loop", three vertex lines, "endloop", "endfacet".
    double t[9];
    bool complete = lines.next(line);
    for (int k = 0; complete && k < 3; ++k) {
      complete = lines.next(line);
      if (!complete) break;
      std::size_t p = 0;
      nextWord(line, p);
      for (int c = 0; c < 3; ++c) {
        if (!nextNumber(line, p, &t[3 * k + c]) || !std::isfinite(t[3 * k + c])) {
          listPt3Free(list);
          return nullptr;
        }
      }
    }
    complete = complete && lines.next(line) && lines.next(line);
    if (!complete) break;  // the file ends inside this facet: keep the ones before
    if (listTriAppend(list, t) < 0) {
      listPt3Free(list);
      return nullptr;
    }
  }
  return list;
}
