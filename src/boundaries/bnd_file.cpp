#include "boundaries/bnd_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/input_files.h"
#include "base/messages.h"
#include "base/text_helpers.h"
#include "boundaries/bnd_offset_retry.h"
#include "geometry/frame/working_frame.h"
#include "geometry/lists/containment.h"
#include "geometry/offset2d/planar_offset.h"
#include "geometry/offset2d/seg2_crossings.h"
#include "geometry/primitives/primitives.h"

namespace {

constexpr int kMsgLevel = 9;
constexpr int kMsgReduceFailed = 700;
constexpr int kMsgClnFailed = 706;

// Distance in x and y below which two points of a block are one.
constexpr double kBndPointTol = 0.00001;
// Smallest reduce offset that is applied.
constexpr double kBndMinOffset = 0.00001;

double gInternalScale = 1.0;
double gOuterExtraOffset = 0.0;
bool gDetectIslands = true;

enum class LineKind { kNone, kBnd, kCln, kEnd, kNext, kPoint };

// What the first token of a line makes of it.
LineKind classify(const std::string& line) {
  std::size_t a = line.find_first_not_of(" \t\r\f\v");
  if (a == std::string::npos) return LineKind::kNone;
  std::size_t b = line.find_first_of(" \t\r\f\v", a);
  const std::string token = line.substr(a, b == std::string::npos ? std::string::npos : b - a);
  if (token == "**BND") return LineKind::kBnd;
  if (token == "**CLN") return LineKind::kCln;
  if (token == "**END") return LineKind::kEnd;
  if (token == "**NEXT") return LineKind::kNext;
  return LineKind::kPoint;
}

// The coordinate after the first capital letter that is followed by a
// digit, "-" or a blank: a decimal number (sign, digits, point, exponent).
bool readCoordinate(const std::string& line, char letter, double* out) {
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    if (line[i] != letter) continue;
    const char c = line[i + 1];
    if (!((c >= '0' && c <= '9') || c == '-' || c == ' ')) continue;
    std::size_t p = i + 1;
    while (p < line.size() && line[p] == ' ') ++p;
    const std::size_t start = p;
    if (p < line.size() && (line[p] == '+' || line[p] == '-')) ++p;
    while (p < line.size() && std::isdigit(static_cast<unsigned char>(line[p]))) ++p;
    if (p < line.size() && line[p] == '.') ++p;
    while (p < line.size() && std::isdigit(static_cast<unsigned char>(line[p]))) ++p;
    if (p < line.size() && (line[p] == 'e' || line[p] == 'E')) {
      std::size_t q = p + 1;
      if (q < line.size() && (line[q] == '+' || line[q] == '-')) ++q;
      if (q < line.size() && std::isdigit(static_cast<unsigned char>(line[q]))) {
        while (q < line.size() && std::isdigit(static_cast<unsigned char>(line[q]))) ++q;
        p = q;
      }
    }
    const std::string number = line.substr(start, p - start);
    char* end = nullptr;
    const double v = strToDoubleC(number.c_str(), &end);
    *out = end == number.c_str() ? 0.0 : v;
    return true;
  }
  return false;
}

// A point line in file coordinates.  A coordinate whose letter is missing
// keeps the file value of the line before (0 on the first line of a block).
Vec3d readPoint(const std::string& line, Vec3d* previous) {
  Vec3d p = *previous;
  readCoordinate(line, 'X', &p.x);
  readCoordinate(line, 'Y', &p.y);
  readCoordinate(line, 'Z', &p.z);
  *previous = p;
  return p;
}

// Hands the points of the block that starts at line *i (file coordinates)
// to take, up to "**END" (which is passed over), the next "**BND" or
// "**CLN", or the end of the file; *i ends behind the block.  False when
// take refused a point (the block is then left where it stopped).
template <typename Take>
bool forEachBlockPoint(const std::vector<std::string>& lines, std::size_t* i, Take take) {
  Vec3d previous{0, 0, 0};
  for (; *i < lines.size(); ++*i) {
    const LineKind k = classify(lines[*i]);
    if (k == LineKind::kEnd) {
      ++*i;
      return true;
    }
    if (k == LineKind::kBnd || k == LineKind::kCln) return true;
    if (k != LineKind::kPoint) continue;
    if (!take(readPoint(lines[*i], &previous))) return false;
  }
  return true;
}

bool readLines(const char* path, std::vector<std::string>* lines) {
  std::FILE* file = fileOpenInput(path, "r");
  if (file == nullptr) return false;
  std::string line;
  int c;
  while ((c = std::fgetc(file)) != EOF) {
    if (c == '\n') {
      lines->push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!line.empty()) lines->push_back(line);
  std::fclose(file);
  return true;
}

BoundaryRec* newRecord() { return static_cast<BoundaryRec*>(std::calloc(1, sizeof(BoundaryRec))); }

void freeRecord(BoundaryRec* b) {
  BoundaryIslandNode* node = b->islands;
  while (node != nullptr) {
    BoundaryIslandNode* next = node->next;
    std::free(node);
    node = next;
  }
  std::free(b->segs);
  std::free(b->intervals);
  std::free(b->clnPoints);
  bndFreeList(b->holes);
  std::free(b);
}

// The closed contour of the kept points: segments between consecutive
// points, and a closing segment unless the last point repeats the first.
BoundaryRec* recordFromPoints(const std::vector<Vec3d>& kept) {
  if (kept.size() < 2) return nullptr;
  const Vec3d& first = kept.front();
  const Vec3d& last = kept.back();
  const bool closes =
      std::fabs(last.x - first.x) < kBndPointTol && std::fabs(last.y - first.y) < kBndPointTol;
  const std::size_t n = kept.size();
  const std::size_t segCount = closes ? n - 1 : n;
  BoundaryRec* b = newRecord();
  if (b == nullptr) return nullptr;
  b->segs = static_cast<Seg2*>(std::calloc(segCount, sizeof(Seg2)));
  if (b->segs == nullptr) {
    std::free(b);
    return nullptr;
  }
  for (std::size_t i = 0; i < segCount; ++i) {
    const Vec3d& a = kept[i];
    const Vec3d& c = kept[(i + 1) % n];
    b->segs[i] = Seg2{a.x, a.y, c.x, c.y};
  }
  b->segCount = static_cast<int32_t>(segCount);
  return b;
}

bool appendIsland(BoundaryRec* outer, BoundaryRec* island) {
  auto* node = static_cast<BoundaryIslandNode*>(std::calloc(1, sizeof(BoundaryIslandNode)));
  if (node == nullptr) return false;
  node->island = island;
  BoundaryIslandNode** tail = &outer->islands;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
  return true;
}

bool firstPointInside(const BoundaryRec* point, const BoundaryRec* contour) {
  const Vec2d p{point->segs[0].x0, point->segs[0].y0};
  return seg2ChainWinding(contour->segs, contour->segCount, &p) != 0;
}

bool contoursCross(const BoundaryRec* a, const BoundaryRec* b) {
  Seg2Isect one;
  return seg2ChainIntersect(a->segs, a->segCount, b->segs, b->segCount, &one, 1) != 0;
}

// Reduces every record by its reduce offset and sets its box anew.
void applyReduceOffsets(BoundaryRec* chain) {
  for (BoundaryRec* b = chain; b != nullptr; b = b->next) {
    double d = b->isOuter ? -b->reduceOffset : b->reduceOffset;
    if (std::fabs(d) < kBndMinOffset) continue;
    if (b->isOuter) d += gOuterExtraOffset;
    if (bndOffset(b, d) < 0)
      msgNumberedInt(kMsgLevel, kMsgReduceFailed,
                     "* Boundary fuer Kontaktpunkt nicht verkleinerbar", 0);
    bndSetBox(b);
  }
}

BoundaryRec* readFile(const char* path, double contactOffset, double reduceOffset) {
  std::vector<std::string> lines;
  if (path == nullptr || path[0] == '\0' || !readLines(path, &lines)) return nullptr;
  BoundaryRec* head = nullptr;
  BoundaryRec** tail = &head;
  BoundaryRec* lastKept = nullptr;  // record of the last "**BND" block, null when it failed
  int blocks = 0;
  std::size_t i = 0;
  while (i < lines.size()) {
    const LineKind kind = classify(lines[i++]);
    if (kind == LineKind::kBnd) {
      ++blocks;
      std::vector<Vec3d> kept;
      double zMin = 0.0;
      forEachBlockPoint(lines, &i, [&](Vec3d p) {
        framePtWorldToTool(&p);
        zMin = kept.empty() ? p.z : std::min(zMin, p.z);
        const bool repeats = !kept.empty() && std::fabs(p.x - kept.back().x) < kBndPointTol &&
                             std::fabs(p.y - kept.back().y) < kBndPointTol;
        if (!repeats) kept.push_back(p);
        return true;
      });
      lastKept = recordFromPoints(kept);
      if (lastKept == nullptr) continue;  // a block of fewer than two points is dropped
      BoundaryRec* b = lastKept;
      b->zMin = zMin / gInternalScale;
      b->isOuter = 1;
      b->contactOffset = contactOffset;
      b->reduceOffset = reduceOffset;
      b->originKind = kBndOriginRead;
      bndSetBox(b);
      *tail = b;
      tail = &b->next;
    } else if (kind == LineKind::kCln) {
      std::vector<Vec3d> points;
      const bool tooMany = !forEachBlockPoint(lines, &i, [&](const Vec3d& p) {
        if (static_cast<int>(points.size()) >= kBndClnMaxPoints) return false;
        points.push_back(p);
        return true;
      });
      if (tooMany) {
        msgNumberedInt(kMsgLevel, kMsgClnFailed, "* Fehler beim Einlesen von Curve %d", blocks);
        bndFreeList(head);
        return nullptr;
      }
      if (lastKept == nullptr) continue;  // no boundary to attach it to
      std::free(lastKept->clnPoints);
      lastKept->clnPoints = nullptr;
      lastKept->clnCount = 0;
      if (!points.empty()) {
        lastKept->clnPoints = static_cast<Vec3d*>(std::malloc(points.size() * sizeof(Vec3d)));
        if (lastKept->clnPoints == nullptr) {
          bndFreeList(head);
          return nullptr;
        }
        std::memcpy(lastKept->clnPoints, points.data(), points.size() * sizeof(Vec3d));
        lastKept->clnCount = static_cast<int32_t>(points.size());
      }
    }
  }
  return head;
}

}  // namespace

std::vector<std::string> bndLinesWithoutCln(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  bool inCln = false;
  for (const std::string& line : lines) {
    const LineKind kind = classify(line);
    if (kind == LineKind::kCln) {
      inCln = true;
      continue;
    }
    if (inCln && kind == LineKind::kEnd) {
      inCln = false;
      continue;
    }
    if (kind == LineKind::kBnd) inCln = false;
    if (!inCln) kept.push_back(line);
  }
  return kept;
}

void bndSetInternalScale(double scale) { gInternalScale = scale != 0.0 ? scale : 1.0; }

void bndSetOuterExtraOffset(double d) { gOuterExtraOffset = d; }

void bndFileReset() {
  gInternalScale = 1.0;
  gOuterExtraOffset = 0.0;
  gDetectIslands = true;
}

void bndSetBox(BoundaryRec* b) {
  if (b == nullptr || b->segCount <= 0 || b->segs == nullptr) return;
  b->xMin = b->xMax = b->segs[0].x0;
  b->yMin = b->yMax = b->segs[0].y0;
  for (int i = 0; i < b->segCount; ++i) {
    b->xMin = std::min(b->xMin, b->segs[i].x1);
    b->xMax = std::max(b->xMax, b->segs[i].x1);
    b->yMin = std::min(b->yMin, b->segs[i].y1);
    b->yMax = std::max(b->yMax, b->segs[i].y1);
  }
}

BoundaryRec* bndReadFile(const char* path, double contactOffset, double reduceOffset) {
  BoundaryRec* chain = readFile(path, contactOffset, reduceOffset);
  if (chain == nullptr) return nullptr;
  if (gDetectIslands) bndDetectIslands(chain);
  applyReduceOffsets(chain);
  return chain;
}

void bndDetectIslands(BoundaryRec* chain) {
  for (BoundaryRec* p = chain; p != nullptr; p = p->next) {
    for (BoundaryRec* q = p->next; q != nullptr; q = q->next) {
      if (contoursCross(p, q)) continue;
      if (p->isOuter && firstPointInside(q, p)) {
        q->isOuter = 0;
        appendIsland(p, q);
      }
      if (q->isOuter && firstPointInside(p, q)) {
        p->isOuter = 0;
        appendIsland(q, p);
      }
    }
  }
}

BoundaryRec* bndReadFileSorted(const char* path, double contactOffset, double reduceOffset,
                               int sign) {
  gDetectIslands = false;
  BoundaryRec* chain = readFile(path, contactOffset, reduceOffset);
  gDetectIslands = true;
  if (chain == nullptr) return nullptr;
  std::vector<BoundaryRec*> outers;
  std::vector<BoundaryRec*> islands;
  for (BoundaryRec* b = chain; b != nullptr; b = b->next) {
    b->isOuter = sign * seg2ChainOrientation(b->segs, b->segCount) > 0 ? 1 : 0;
    (b->isOuter ? outers : islands).push_back(b);
  }
  // Containment of the outers: (i, j) = 1 when outer i lies inside outer j.
  const int n = static_cast<int>(outers.size());
  std::vector<int> matrix(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j || !firstPointInside(outers[i], outers[j])) continue;
      matrix[static_cast<std::size_t>(i * n + j)] = 1;
      if (matrix[static_cast<std::size_t>(j * n + i)] != 1) {
        matrix[static_cast<std::size_t>(j * n + i)] = -1;
      }
    }
  }
  const CountedArray containment{n, matrix.data()};
  std::vector<int> parent(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    parent[static_cast<std::size_t>(i)] = pktNestDirectParent(&containment, i);
  // Depth-first order: the outers without a container, each followed by its
  // children in chain order.
  std::vector<int> order;
  std::vector<int> stack;
  for (int root = n - 1; root >= 0; --root) {
    if (parent[static_cast<std::size_t>(root)] < 0) stack.push_back(root);
  }
  while (!stack.empty()) {
    const int k = stack.back();
    stack.pop_back();
    order.push_back(k);
    for (int c = n - 1; c >= 0; --c) {
      if (parent[static_cast<std::size_t>(c)] == k) stack.push_back(c);
    }
  }
  // Each island belongs to the innermost outer that contains it.
  std::vector<BoundaryRec*> owner(islands.size(), nullptr);
  for (std::size_t k = 0; k < islands.size(); ++k) {
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      BoundaryRec* outer = outers[static_cast<std::size_t>(*it)];
      if (firstPointInside(islands[k], outer)) {
        owner[k] = outer;
        break;
      }
    }
  }
  for (BoundaryRec* outer : outers) {
    for (std::size_t k = 0; k < islands.size(); ++k) {
      if (owner[k] == outer && !appendIsland(outer, islands[k])) {
        bndFreeList(chain);
        return nullptr;
      }
    }
  }
  applyReduceOffsets(chain);
  return chain;
}

BoundaryRec* bndNewRect(double xMin, double xMax, double yMin, double yMax) {
  BoundaryRec* b = newRecord();
  if (b == nullptr) return nullptr;
  b->segs = static_cast<Seg2*>(std::calloc(4, sizeof(Seg2)));
  if (b->segs == nullptr) {
    std::free(b);
    return nullptr;
  }
  b->segs[0] = Seg2{xMin, yMin, xMax, yMin};
  b->segs[1] = Seg2{xMax, yMin, xMax, yMax};
  b->segs[2] = Seg2{xMax, yMax, xMin, yMax};
  b->segs[3] = Seg2{xMin, yMax, xMin, yMin};
  b->segCount = 4;
  b->originKind = kBndOriginRect;
  b->isOuter = 1;
  b->xMin = xMin;
  b->xMax = xMax;
  b->yMin = yMin;
  b->yMax = yMax;
  return b;
}

void bndFreeList(BoundaryRec* chain) {
  while (chain != nullptr) {
    BoundaryRec* next = chain->next;
    freeRecord(chain);
    chain = next;
  }
}

int bndOffset(BoundaryRec* boundary, double d) {
  if (boundary == nullptr || boundary->segs == nullptr || boundary->segCount < 1) return -1;
  const int o = seg2ChainOrientation(boundary->segs, boundary->segCount);
  if (o == 0) return -1;
  const int side = d > 0 ? -o : o;
  const int n = boundary->segCount;
  // Room for the planar offset and for the closed-loop steps of the retry.
  const int capacity = std::max(offset2dResultCapacity(n), bndOffsetRetryCapacity(n));
  auto* out = static_cast<Seg2*>(std::calloc(static_cast<std::size_t>(capacity), sizeof(Seg2)));
  if (out == nullptr) return -1;
  const double dist = std::fabs(d);
  int m = offset2dSegChain(boundary->segs, n, dist, out, capacity, side);
  if (m <= 0) m = bndOffsetRetry(boundary->segs, n, dist, out, capacity, side);
  if (m <= 0) m = bndOffsetRetry(boundary->segs, n, std::fabs(0.8 * d), out, capacity, side);
  if (m <= 0) {
    std::free(out);
    return -1;
  }
  std::free(boundary->segs);
  boundary->segs = out;
  boundary->segCount = m;
  if (d > 0) {
    boundary->xMin -= d;
    boundary->yMin -= d;
    boundary->xMax += d;
    boundary->yMax += d;
  }
  return 1;
}

BoundarySet* bndSetLoad(const char* path) {
  BoundaryRec* chain = bndReadFile(path, 0, 0);
  if (chain == nullptr) return nullptr;
  auto* set = static_cast<BoundarySet*>(std::calloc(1, sizeof(BoundarySet)));
  if (set == nullptr) {
    bndFreeList(chain);
    return nullptr;
  }
  set->boundaryChain = chain;
  set->polylines = arcLenPlineListReadFile(path);
  return set;
}

void bndSetFree(BoundarySet* set) {
  if (set == nullptr) return;
  bndFreeList(set->boundaryChain);
  arcLenPlineListFree(set->polylines);
  std::free(set);
}
