#include "geometry/curves/profile_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/input_files.h"
#include "geometry/curves/text_values.h"
#include "geometry/frame/working_frame.h"

namespace {

// Size of the blocks in which files are read.
constexpr std::size_t kReadBlock = 1 << 16;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool isBlankLine(const std::string& line) { return std::all_of(line.begin(), line.end(), isBlank); }

bool startsWithStar(const std::string& line) { return !line.empty() && line[0] == '*'; }

bool namePresent(const char* name) { return name != nullptr && name[0] != '\0'; }

// Reads one line of f (up to a line feed, which is dropped) into line.  False
// when f is at its end before any character.
bool readLine(std::FILE* f, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') return true;
    line->push_back(static_cast<char>(c));
  }
  return any;
}

// Points of successive lines that agree within the tolerance are one point.
bool samePoint(const Vec3d& a, const Vec3d& b, bool withZ) {
  return std::fabs(a.x - b.x) < kPrfPointTol && std::fabs(a.y - b.y) < kPrfPointTol &&
         (!withZ || std::fabs(a.z - b.z) < kPrfPointTol);
}

void setFlags(CurveRec* c, int reverse, int side) {
  c->reverse = static_cast<int16_t>(reverse != 0);
  c->side = static_cast<int16_t>(side != 0);
}

}  // namespace

int prfLoadLines(const char* name, std::vector<std::string>* lines) {
  if (!namePresent(name) || lines == nullptr) return -1;
  std::FILE* f = fileOpenInput(name, "rb");
  if (f == nullptr) return -1;
  int result = 1;
  try {
    lines->clear();
    std::string current;
    bool open = false;  // characters read since the last line feed
    std::vector<char> block(kReadBlock);
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) {
      for (std::size_t i = 0; i < n; ++i) {
        const char c = block[i];
        if (c == '\n') {
          lines->push_back(std::move(current));
          current.clear();
          open = false;
        } else {
          // A carriage return is a blank, so CR LF files read like LF files.
          current.push_back(c == '\r' ? ' ' : c);
          open = true;
        }
      }
    }
    if (std::ferror(f)) result = -1;
    if (open) lines->push_back(std::move(current));
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  std::fclose(f);
  if (result < 0) lines->clear();
  return result;
}

bool prfIsEndLine(const std::string& line) {
  std::size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  const std::size_t wordLen = std::strlen(kPrfEndWord);
  if (line.compare(i, wordLen, kPrfEndWord) != 0) return false;
  // The word must end right after "**END".
  const std::size_t after = i + wordLen;
  return after == line.size() || isBlank(line[after]);
}

int prfCountEndLines(const std::vector<std::string>& lines) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), prfIsEndLine));
}

std::vector<PrfRange> prfSplitProfiles(const std::vector<std::string>& lines) {
  std::vector<PrfRange> ranges;
  std::size_t i = 0;
  const std::size_t n = lines.size();
  while (i < n) {
    while (i < n && !startsWithStar(lines[i])) ++i;
    if (i == n) break;
    const std::size_t begin = i;
    // A start line that is itself an end line closes its profile at once, so
    // that every profile takes exactly one end line.
    while (i < n && !prfIsEndLine(lines[i])) ++i;
    if (i == n) {
      ranges.push_back(PrfRange{begin, n});
      break;
    }
    ranges.push_back(PrfRange{begin, i + 1});
    ++i;
  }
  return ranges;
}

int prfMultiProfileRanges(const std::vector<std::string>& lines, std::vector<PrfRange>* ranges) {
  ranges->clear();
  const int profiles = prfCountEndLines(lines);
  if (profiles < 2) return profiles;
  try {
    *ranges = prfSplitProfiles(lines);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (ranges->size() > static_cast<std::size_t>(profiles)) ranges->resize(profiles);
  return profiles;
}

std::vector<Vec3d> prfParsePoints(const std::vector<std::string>& lines, PrfRange range, bool withZ,
                                  std::size_t cap) {
  std::vector<Vec3d> points;
  // Letter values as written in the file; a letter missing from a point line
  // keeps the value of the previous point line.
  double file[3] = {0.0, 0.0, 0.0};
  const int letters[3] = {'X', 'Y', 'Z'};
  const std::size_t end = std::min(range.end, lines.size());
  for (std::size_t i = range.begin; i < end && points.size() < cap; ++i) {
    const std::string& line = lines[i];
    if (prfIsEndLine(line)) break;
    if (startsWithStar(line)) continue;
    // A blank line holds no point: taking it as a repeat would put a point at
    // the origin when it comes before the first point line.
    if (isBlankLine(line)) continue;
    for (int k = 0; k < 3; ++k) textGetLetterValue(letters[k], line.c_str(), &file[k]);
    Vec3d p{file[0], file[1], file[2]};
    framePtWorldToTool(&p);
    if (points.empty() || !samePoint(points.back(), p, withZ)) points.push_back(p);
  }
  return points;
}

CurveRec* prfCurveFromLines(const std::vector<std::string>& lines, PrfRange range,
                            const char* curveName, int reverse, int side, bool withZ) {
  std::vector<Vec3d> points;
  try {
    points = prfParsePoints(lines, range, withZ, range.end - range.begin);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  const int n = static_cast<int>(points.size());
  CurveRec* c = n > 0 ? curveNewOwned(n, kCurveKindPolyline, withZ)
                      : curveNew(nullptr, 0, kCurveKindPolyline);
  if (c == nullptr) return nullptr;
  c->ownsPoints = 1;
  for (int k = 0; k < n; ++k) {
    c->points[k] = Vec2d{points[k].x, points[k].y};
    if (withZ) c->z[k] = points[k].z;
  }
  curveUpdateLengths(c);
  curveSetName(c, curveName);
  setFlags(c, reverse, side);
  if (reverse) curveReverse(c);
  return c;
}

int prfReadPoints(Vec2d* points, double* z, const char* name, int cap) {
  std::vector<std::string> lines;
  if (prfLoadLines(name, &lines) < 0) return -1;
  if (cap <= 0 || points == nullptr) return 0;
  std::vector<Vec3d> read;
  try {
    read = prfParsePoints(lines, PrfRange{0, lines.size()}, z != nullptr,
                          static_cast<std::size_t>(cap));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (std::size_t k = 0; k < read.size(); ++k) {
    points[k] = Vec2d{read[k].x, read[k].y};
    if (z != nullptr) z[k] = read[k].z;
  }
  return static_cast<int>(read.size());
}

int prfCountProfiles(const char* name) {
  std::vector<std::string> lines;
  if (prfLoadLines(name, &lines) < 0) return -1;
  return prfCountEndLines(lines);
}

int prfCopyNextProfile(std::FILE* in, const char* outName) {
  if (in == nullptr || !namePresent(outName)) return -1;
  // Opening the output for writing truncates it: refuse when it is the file
  // being read.
  struct stat inStat;
  struct stat outStat;
  if (fstat(fileno(in), &inStat) == 0 && stat(outName, &outStat) == 0 &&
      inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino) {
    return -1;
  }
  std::FILE* out = std::fopen(outName, "w");
  if (out == nullptr) return -1;
  try {
    std::string line;
    bool copying = false;
    while (readLine(in, &line)) {
      if (!copying) {
        if (!startsWithStar(line)) continue;
        copying = true;
      }
      std::fwrite(line.data(), 1, line.size(), out);
      std::fputc('\n', out);
      if (prfIsEndLine(line)) break;
    }
  } catch (const std::bad_alloc&) {
    std::fclose(out);
    return -1;
  }
  std::fclose(out);
  return 1;
}

namespace {

// The step offsets s0 and s1 in ascending order, negated when side is set.
void setSteps(CurveRec* c, int side, double s0, double s1) {
  const double lo = std::min(s0, s1);
  const double hi = std::max(s0, s1);
  c->firstStep = side ? -lo : lo;
  c->lastStep = side ? -hi : hi;
}

// The names the line counter of the text helpers accepts.
bool nameAccepted(const char* name) {
  return namePresent(name) && name[0] != ' ' && name[0] != '\t';
}

// The first profile of the loaded lines as curveReadPrfOne makes it.
CurveRec* readFirstProfile(const std::vector<std::string>& lines, const char* name, int reverse,
                           int side, double s0, double s1) {
  CurveRec* c = prfCurveFromLines(lines, PrfRange{0, lines.size()}, name, reverse, side, false);
  if (c != nullptr) setSteps(c, side, s0, s1);
  return c;
}

}  // namespace

CurveRec* curveReadPrfOne(const char* name, int reverse, int side, double s0, double s1) {
  if (!nameAccepted(name)) return nullptr;
  std::vector<std::string> lines;
  if (prfLoadLines(name, &lines) < 0) return nullptr;
  return readFirstProfile(lines, name, reverse, side, s0, s1);
}

CurveRec* curveReadPrfChain(const char* name, const BoundaryRec* /*bnd*/, double /*step*/,
                            int reverse, int side, double s0, double s1) {
  std::vector<std::string> lines;
  if (prfLoadLines(name, &lines) < 0) return nullptr;
  std::vector<PrfRange> ranges;
  const int profiles = prfMultiProfileRanges(lines, &ranges);
  if (profiles < 0) return nullptr;
  if (profiles < 2) {
    return nameAccepted(name) ? readFirstProfile(lines, name, reverse, side, s0, s1) : nullptr;
  }
  CurveRec* head = nullptr;
  CurveRec** tail = &head;
  for (const PrfRange& range : ranges) {
    CurveRec* c = prfCurveFromLines(lines, range, kPrfSplitName, reverse, side, false);
    if (c == nullptr) break;
    setSteps(c, side, s0, s1);
    *tail = c;
    tail = &c->next;
  }
  return head;
}
