#include "model/io/stl_file.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/input_files.h"
#include "base/messages.h"
#include "model/io/model_file_codec.h"

namespace {

// Records read per block of the binary reader.
constexpr std::size_t kStlRecordsPerBlock = 16384;
// Blocks of at least this many records are decoded by several threads.
constexpr int kStlParallelRecords = 1024;
// Chunks of such a block, decoded on their own.
constexpr int kStlChunksPerBlock = 16;
// Bytes read per block while looking for the word "facet".
constexpr std::size_t kStlScanBlock = 1 << 16;
// Rough bytes per facet of an ASCII file, to size the list before reading,
// and the most triangles room is made for up front (the list grows beyond).
constexpr long long kStlAsciiBytesPerFacet = 200;
constexpr long long kStlAsciiInitialMax = 1 << 20;

constexpr unsigned char kUtf8Bom[3] = {0xEF, 0xBB, 0xBF};

struct FileCloser {
  std::FILE* f;
  ~FileCloser() {
    if (f) std::fclose(f);
  }
};

struct ListDeleter {
  void operator()(TriList* list) const { listPt3Free(list); }
};
using ListPtr = std::unique_ptr<TriList, ListDeleter>;

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void sendMessage(int number, const char* catalogue, const std::string& value) {
  msgNumbered(kStlMsgLevel, number, catalogue, value.c_str());
}

void reportDamage(const char* name, const std::string& where, const std::string& what) {
  sendMessage(kStlMsgDamaged, "* Fehler: STL-Datei beschaedigt: %s",
              std::string(name) + ":" + where + ": " + what);
}

// True when triangle t has an area: the cross product of its edges is not
// the zero vector.
bool hasArea(const Tri& t) {
  const Vec3d* v = t.v;
  const double e1[3] = {v[1].x - v[0].x, v[1].y - v[0].y, v[1].z - v[0].z};
  const double e2[3] = {v[2].x - v[0].x, v[2].y - v[0].y, v[2].z - v[0].z};
  const double c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                       e1[0] * e2[1] - e1[1] * e2[0]};
  return !(c[0] == 0.0 && c[1] == 0.0 && c[2] == 0.0);
}

// Removes the triangles without area, keeping the order of the others; the
// number removed.
int dropFlat(TriList* list) {
  int kept = 0;
  for (int i = 0; i < list->count; ++i) {
    if (hasArea(list->items[i])) list->items[kept++] = list->items[i];
  }
  const int skipped = list->count - kept;
  list->count = kept;
  return skipped;
}

// Reports the skipped triangles without area (335) and a list without any
// triangle (336).  Null when nothing is left.
TriList* finishList(ListPtr list, const char* name, int skipped) {
  if (skipped > 0) {
    sendMessage(kStlMsgDegenerate, "* Warnung: %s Dreiecke ohne Flaeche uebergangen",
                std::string(name) + ": " + std::to_string(skipped));
  }
  if (list->count == 0) {
    sendMessage(kStlMsgNoTriangle, "* Fehler: STL-Datei ohne Dreieck: %s", name);
    return nullptr;
  }
  return list.release();
}

// finishList after removing the triangles without area.
TriList* finishCheckedList(ListPtr list, const char* name) {
  const int skipped = dropFlat(list.get());
  return finishList(std::move(list), name, skipped);
}

// ---- Form ------------------------------------------------------------------------

// True when the bytes at the start (after a byte-order mark and blanks)
// begin with "solid", any case.
bool startsWithSolid(const unsigned char* b, std::size_t n) {
  std::size_t i = 0;
  if (n >= 3 && std::equal(kUtf8Bom, kUtf8Bom + 3, b)) i = 3;
  while (i < n && isBlank(b[i])) ++i;
  if (n - i < 5) return false;
  return modelEqualsNoCase(std::string_view(reinterpret_cast<const char*>(b + i), 5), "solid");
}

// True when the rest of f holds the word "facet" in any case.
bool containsFacet(std::FILE* f) {
  static constexpr std::string_view kWord = "facet";
  std::vector<char> buf(kStlScanBlock + kWord.size());
  std::size_t carry = 0;
  for (;;) {
    const std::size_t got = std::fread(buf.data() + carry, 1, kStlScanBlock, f);
    if (got == 0) return false;
    const std::size_t n = carry + got;
    for (std::size_t i = 0; i + kWord.size() <= n; ++i) {
      if (modelEqualsNoCase(std::string_view(buf.data() + i, kWord.size()), kWord)) return true;
    }
    // The last few bytes may begin the word that the next block ends.
    carry = std::min(n, kWord.size() - 1);
    std::memmove(buf.data(), buf.data() + n - carry, carry);
  }
}

// The form of the open file f (positioned anywhere): 1 binary by its size,
// 0 ASCII, -1 neither.
int formOf(std::FILE* f) {
  const long long size = modelFileSize(f);
  if (size < 0) return -1;
  unsigned char head[kStlBinaryHeaderSize];
  const std::size_t got = std::fread(head, 1, sizeof head, f);
  if (got == sizeof head) {
    uint32_t count;
    bool bigEndian;
    bool both;
    if (stlBinaryCount(size, head, &count, &bigEndian, &both)) return 1;
  }
  if (!startsWithSolid(head, got)) return -1;
  if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
  return containsFacet(f) ? 0 : -1;
}

// ---- Binary ----------------------------------------------------------------------

// The nine vertex coordinates of a record.
void loadVertices(const unsigned char* rec, bool bigEndian, float out[9]) {
  for (int i = 0; i < 9; ++i) out[i] = modelLoadBytes<float>(rec + 12 + 4 * i, bigEndian);
}

// True when every record from the file's current position, read in the
// given order, has finite vertices of a plausible size.
bool recordsPlausible(std::FILE* f, uint32_t count, bool bigEndian) {
  std::vector<unsigned char> block(kStlRecordsPerBlock * kStlBinaryRecordSize);
  for (uint32_t done = 0; done < count;) {
    const std::size_t want = std::min<std::size_t>(kStlRecordsPerBlock, count - done);
    if (std::fread(block.data(), kStlBinaryRecordSize, want, f) != want) return false;
    for (std::size_t r = 0; r < want; ++r) {
      float v[9];
      loadVertices(block.data() + r * kStlBinaryRecordSize, bigEndian, v);
      for (float x : v) {
        if (!std::isfinite(x) || std::fabs(x) > kStlPlausibleMax) return false;
      }
    }
    done += static_cast<uint32_t>(want);
  }
  return true;
}

// What the decoding of some records found: the first damaged record (-1
// for none), the number of triangles without area, and the box of the
// vertices, each bound replaced only by a strictly smaller or larger value,
// as one reading in order does.
struct DecodedChunk {
  static constexpr double kInf = std::numeric_limits<double>::infinity();
  int damaged = -1;
  int flat = 0;
  double lo[3] = {kInf, kInf, kInf};
  double hi[3] = {-kInf, -kInf, -kInf};
};

void widenBounds(double lo[3], double hi[3], const double p[3]) {
  for (int k = 0; k < 3; ++k) {
    if (p[k] < lo[k]) lo[k] = p[k];
    if (p[k] > hi[k]) hi[k] = p[k];
  }
}

// Widens the list's box by the box of a chunk that came after the
// vertices already in it.
void widenBox(TriList* list, const DecodedChunk& d) {
  double* min[3] = {&list->minX, &list->minY, &list->minZ};
  double* max[3] = {&list->maxX, &list->maxY, &list->maxZ};
  for (int k = 0; k < 3; ++k) {
    if (d.lo[k] < *min[k]) *min[k] = d.lo[k];
    if (d.hi[k] > *max[k]) *max[k] = d.hi[k];
  }
}

// Decodes records [from, to) of a block into out[from, to); stops at the
// first damaged one.
DecodedChunk decodeRecords(const unsigned char* records, bool bigEndian, int from, int to,
                           Tri* out) {
  DecodedChunk d;
  for (int r = from; r < to; ++r) {
    float v[9];
    loadVertices(records + static_cast<std::size_t>(r) * kStlBinaryRecordSize, bigEndian, v);
    for (const float x : v) {
      if (!std::isfinite(x)) {
        d.damaged = r;
        return d;
      }
    }
    for (int k = 0; k < 3; ++k) {
      out[r].v[k] = Vec3d{v[3 * k], v[3 * k + 1], v[3 * k + 2]};
      const double p[3] = {out[r].v[k].x, out[r].v[k].y, out[r].v[k].z};
      widenBounds(d.lo, d.hi, p);
    }
    if (!hasArea(out[r])) ++d.flat;
  }
  return d;
}

TriList* readBinary(std::FILE* f, const char* name) {
  const long long size = modelFileSize(f);
  if (size < 0) return nullptr;
  unsigned char head[kStlBinaryHeaderSize];
  if (size < kStlBinaryHeaderSize ||
      std::fread(head, 1, sizeof head, f) != static_cast<std::size_t>(kStlBinaryHeaderSize)) {
    if (size == 0) {
      sendMessage(kStlMsgNoTriangle, "* Fehler: STL-Datei ohne Dreieck: %s", name);
    } else {
      sendMessage(kStlMsgTruncated, "* Fehler: STL-Datei kuerzer als angegeben: %s",
                  std::string(name) + ": " + std::to_string(size) + " bytes, header needs " +
                      std::to_string(kStlBinaryHeaderSize));
    }
    return nullptr;
  }
  uint32_t count = 0;
  bool bigEndian = false;
  bool both = false;
  if (!stlBinaryCount(size, head, &count, &bigEndian, &both)) {
    // Neither order fits: name the smaller size a count asks for.
    const uint32_t le = modelLoadBytes<uint32_t>(head + 80, false);
    const uint32_t be = modelLoadBytes<uint32_t>(head + 80, true);
    const long long needs =
        kStlBinaryHeaderSize + static_cast<long long>(kStlBinaryRecordSize) * std::min(le, be);
    sendMessage(kStlMsgTruncated, "* Fehler: STL-Datei kuerzer als angegeben: %s",
                std::string(name) + ": " + std::to_string(size) + " bytes, " +
                    std::to_string(std::min(le, be)) + " facets need " + std::to_string(needs));
    return nullptr;
  }
  if (both) {
    bigEndian = !recordsPlausible(f, count, false);
    if (bigEndian) {
      if (std::fseek(f, kStlBinaryHeaderSize, SEEK_SET) != 0) return nullptr;
      const uint32_t beCount = modelLoadBytes<uint32_t>(head + 80, true);
      // Neither order is plausible: the standard order, whose non-finite
      // vertices then refuse the file.
      if (recordsPlausible(f, beCount, true)) {
        count = beCount;
      } else {
        bigEndian = false;
      }
    }
    if (std::fseek(f, kStlBinaryHeaderSize, SEEK_SET) != 0) return nullptr;
  }
  if (count > static_cast<uint32_t>(INT32_MAX)) return nullptr;
  ListPtr list(listTriNew(static_cast<int>(std::max<uint32_t>(count, 1))));
  if (!list) return nullptr;

  std::vector<unsigned char> block(kStlRecordsPerBlock * kStlBinaryRecordSize);
  int flat = 0;
  for (uint32_t done = 0; done < count;) {
    const std::size_t want = std::min<std::size_t>(kStlRecordsPerBlock, count - done);
    if (std::fread(block.data(), kStlBinaryRecordSize, want, f) != want) {
      reportDamage(name, "record " + std::to_string(done + 1), "read error");
      return nullptr;
    }
    const int n = static_cast<int>(want);
    if (list->count + n > list->capacity) return nullptr;
    Tri* out = list->items + list->count;
    // The records of a block are decoded in chunks by several threads,
    // straight into the list (sized for the whole count).  Each chunk keeps
    // its first damaged record and the box of its vertices; the chunks are
    // then taken in order, so the damaged record named and the box are
    // those of one reading from the start, whatever the threads did.
    const int chunks = n >= kStlParallelRecords ? kStlChunksPerBlock : 1;
    DecodedChunk found[kStlChunksPerBlock];
#pragma omp parallel for schedule(static) if (chunks > 1)
    for (int c = 0; c < chunks; ++c) {
      found[c] = decodeRecords(block.data(), bigEndian, n * c / chunks, n * (c + 1) / chunks, out);
    }
    for (int c = 0; c < chunks; ++c) {
      const DecodedChunk& d = found[c];
      if (d.damaged >= 0) {
        reportDamage(name, "record " + std::to_string(done + d.damaged + 1), "vertex not a number");
        return nullptr;
      }
      flat += d.flat;
      widenBox(list.get(), d);
    }
    list->count += n;
    done += static_cast<uint32_t>(want);
  }
  const int skipped = flat > 0 ? dropFlat(list.get()) : 0;
  return finishList(std::move(list), name, skipped);
}

// ---- ASCII -----------------------------------------------------------------------

// Lines of a file of any length, counted from 1; carriage returns are
// dropped.  A last line without a line feed is a line too.
class LineReader {
 public:
  explicit LineReader(std::FILE* f) : f_(f) {}

  bool next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (pos_ == end_) {
        end_ = std::fread(buf_, 1, sizeof buf_, f_);
        pos_ = 0;
        if (end_ == 0) {
          if (any) ++number_;
          return any;
        }
      }
      any = true;
      while (pos_ < end_) {
        const char c = buf_[pos_++];
        if (c == '\n') {
          ++number_;
          return true;
        }
        if (c != '\r') line.push_back(c);
      }
    }
  }

  long long number() const { return number_; }

 private:
  std::FILE* f_;
  char buf_[1 << 16];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  long long number_ = 0;
};

// The next blank-separated word of line from pos on (empty at the end); pos
// moves behind it.
std::string_view nextWord(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && isBlank(static_cast<unsigned char>(line[pos]))) ++pos;
  const std::size_t start = pos;
  while (pos < line.size() && !isBlank(static_cast<unsigned char>(line[pos]))) ++pos;
  return line.substr(start, pos - start);
}

// A number of line as strtod reads it in the C locale, ending at a blank or
// the end of the line.  False when none starts there or it runs into other
// characters.  line must be zero-terminated behind its end.
bool nextNumber(const std::string& line, std::size_t& pos, double* out) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  while (pos < line.size() && isBlank(static_cast<unsigned char>(line[pos]))) ++pos;
  if (pos >= line.size()) return false;
  const char* first = line.c_str() + pos;
  char* end = nullptr;
  *out = strtod_l(first, &end, cLocale);
  if (end == first) return false;
  pos += static_cast<std::size_t>(end - first);
  return pos == line.size() || isBlank(static_cast<unsigned char>(line[pos]));
}

// The facet reader: a small state machine over the keyword of each line.
TriList* readAscii(std::FILE* f, const char* name) {
  const long long size = modelFileSize(f);
  if (size < 0) return nullptr;
  // The list grows as needed; the size only spares most of the regrowth.
  const long long guess = std::min(size / kStlAsciiBytesPerFacet, kStlAsciiInitialMax);
  ListPtr list(listTriNew(static_cast<int>(std::max(guess, 1LL))));
  if (!list) return nullptr;

  enum class State { kOutside, kFacet, kLoop, kFacetEnd };
  State state = State::kOutside;
  int vertices = 0;
  double t[9] = {};
  LineReader lines(f);
  std::string line;
  auto fail = [&](const std::string& what) {
    reportDamage(name, std::to_string(lines.number()), what);
    return nullptr;
  };
  while (lines.next(line)) {
    std::size_t pos = 0;
    if (lines.number() == 1 && line.size() >= 3 &&
        std::equal(kUtf8Bom, kUtf8Bom + 3, reinterpret_cast<const unsigned char*>(line.data()))) {
      pos = 3;
    }
    const std::string_view word = nextWord(line, pos);
    if (word.empty()) continue;
    auto is = [&](std::string_view keyword) { return modelEqualsNoCase(word, keyword); };
    switch (state) {
      case State::kOutside:
        if (is("solid") || is("endsolid")) break;
        if (is("end") && nextWord(line, pos).empty()) {
          return finishCheckedList(std::move(list), name);
        }
        if (!is("facet")) return fail("\"facet\" expected");
        state = State::kFacet;
        break;
      case State::kFacet:
        if (!is("outer")) return fail("\"outer loop\" expected");
        vertices = 0;
        state = State::kLoop;
        break;
      case State::kLoop:
        if (is("endloop")) {
          if (vertices != 3) return fail("facet with " + std::to_string(vertices) + " vertices");
          state = State::kFacetEnd;
          break;
        }
        if (!is("vertex")) return fail("\"vertex\" expected");
        if (vertices == 3) return fail("facet with more than 3 vertices");
        for (int c = 0; c < 3; ++c) {
          double& x = t[3 * vertices + c];
          if (!nextNumber(line, pos, &x)) return fail("three numbers expected");
          if (!std::isfinite(x)) return fail("vertex not a number");
        }
        ++vertices;
        break;
      case State::kFacetEnd:
        if (!is("endfacet")) return fail("\"endfacet\" expected");
        if (listTriAppend(list.get(), t) < 0) return nullptr;
        state = State::kOutside;
        break;
    }
  }
  if (state != State::kOutside) return fail("the file ends inside a facet");
  return finishCheckedList(std::move(list), name);
}

}  // namespace

bool stlBinaryCount(long long size, const unsigned char header[kStlBinaryHeaderSize],
                    uint32_t* count, bool* bigEndian, bool* bothFit) {
  const uint32_t counts[2] = {modelLoadBytes<uint32_t>(header + 80, false),
                              modelLoadBytes<uint32_t>(header + 80, true)};
  bool fits[2];
  bool exact[2];
  for (int k = 0; k < 2; ++k) {
    const long long needs =
        kStlBinaryHeaderSize + static_cast<long long>(kStlBinaryRecordSize) * counts[k];
    fits[k] = needs <= size;
    exact[k] = needs == size;
  }
  *bothFit = false;
  if (exact[0] != exact[1]) {
    *bigEndian = exact[1];
  } else if (fits[0] != fits[1]) {
    *bigEndian = fits[1];
  } else if (fits[0]) {
    // Both fit (the same count, or two that fit): the records decide.
    *bigEndian = false;
    *bothFit = counts[0] != counts[1] || counts[0] > 0;
  } else {
    return false;
  }
  *count = counts[*bigEndian ? 1 : 0];
  return true;
}

TriList* stlReadFile(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return nullptr;
  FileCloser closer{f};
  const int form = formOf(f);
  if (std::fseek(f, 0, SEEK_SET) != 0) return nullptr;
  return form == 0 ? readAscii(f, name) : readBinary(f, name);
}

int stlIsBinary(const char* name) { return stlContentForm(name) == 0 ? 0 : 1; }

int stlContentForm(const char* name) {
  std::FILE* f = fileProbeInput(name);
  if (f == nullptr) return -1;
  FileCloser closer{f};
  return formOf(f);
}

TriList* stlReadBinary(const char* name) {
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return nullptr;
  FileCloser closer{f};
  return readBinary(f, name);
}

TriList* stlReadAscii(const char* name) {
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return nullptr;
  FileCloser closer{f};
  return readAscii(f, name);
}
