#include "output/readback/pof_reader.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "base/text_helpers.h"
#include "output/readback/pof_stream.h"

namespace {

constexpr int kPofMsgLevel = 9;
constexpr double kPofCentreTol = 0.00001;
constexpr double kPi = 3.14159265358979323846;

// Position state of record 31.
enum PofPosition { kPofNoPosition = 0, kPofStartPending = 1, kPofDrawing = 2 };
// The open element, shared by records 31 and 34.
enum PofOpen { kPofOpenNone = 0, kPofOpenPolyline = 2, kPofOpenPoints = 3 };

// Layers: name and colour.
struct PofLayer {
  const char* name;
  int colour;
};
constexpr PofLayer kPofLayerFeed = {"", 2};
constexpr PofLayer kPofLayerRapid = {"", 1};
constexpr PofLayer kPofLayerPath = {kPofLayerPathName, 3};

// Process-wide reader state.
struct PofReaderState {
  double p[3] = {0, 0, 0};  // current point of record 31
  double q[3] = {0, 0, 0};  // previous point of record 31
  int position = kPofNoPosition;
  int open = kPofOpenNone;
  int previousKind = kPofMoveRapid;
  int mask31 = 0;
  int mask34 = 0;
  double r[3] = {0, 0, 0};  // current point of record 34
  bool failed = false;
};

PofReaderState gState;
PofReaderCallbacks gLive{};
PofReaderCallbacks gBackup{};
PofErrorMapper gErrorMapper = nullptr;

bool pofHasXY(int mask) {
  return (mask & (kPofAxisBitX | kPofAxisBitY)) == (kPofAxisBitX | kPofAxisBitY);
}

void pofEndElement() {
  if (gLive.pofOnElementEnd != nullptr) gLive.pofOnElementEnd();
}

void pofPolylineBegin(const PofLayer& layer, const double xyz[3]) {
  if (gLive.pofOnPolylineBegin != nullptr) gLive.pofOnPolylineBegin(layer.name, layer.colour, xyz);
}

void pofVertex(const PofLayer& layer, const double xyz[3], double bulge) {
  if (gLive.pofOnPolylineVertex != nullptr) {
    gLive.pofOnPolylineVertex(layer.name, layer.colour, xyz, bulge);
  }
}

void pofPointsBegin(const PofLayer& layer) {
  if (gLive.pofOnPointsBegin != nullptr) gLive.pofOnPointsBegin(layer.name, layer.colour);
}

void pofPoint(const PofLayer& layer, const double xyz[3]) {
  if (gLive.pofOnPoint != nullptr) gLive.pofOnPoint(layer.name, layer.colour, xyz);
}

void pofCopy3(double dst[3], const double src[3]) {
  dst[0] = src[0];
  dst[1] = src[1];
  dst[2] = src[2];
}

int pofAxisIndex(const char* key) {
  if (key == nullptr) return -1;
  switch (key[0]) {
    case 'x':
      return 0;
    case 'y':
      return 1;
    case 'z':
      return 2;
    default:
      return -1;
  }
}

// The number at the start of part (blanks skipped), as atof reads it in the
// C locale; 0 when the part does not start with a number.
double pofNumber(std::string_view part) {
  while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
  if (part.empty() || std::strchr("+-.0123456789", part.front()) == nullptr) return 0.0;
  std::string text(part);
  double v = 0.0;
  strParseNumbers3(text.c_str(), &v, nullptr, nullptr);
  return v;
}

// Ends the open element (slot 2) and forgets both axis masks.
void pofCloseElement() {
  if (gState.open != kPofOpenNone) pofEndElement();
  gState.mask31 = 0;
  gState.mask34 = 0;
  gState.open = kPofOpenNone;
}

// pofParseMove; a malformed move sends message 1702.
int pofReadMove(const KfyElement& e, double point[3], double* bulge, int* kind, int* mask) {
  const int parsed = pofParseMove(&e, point, bulge, kind, mask);
  if (parsed == -1) msgNumberedReal(kPofMsgLevel, kPofMsgBadMove, "* Error in POF line", 0.0);
  return parsed;
}

// ---------------------------------------------------------------------------
// Record handlers.

void pofHandleControl(char* text, intptr_t /*user*/) {
  std::string_view name, argument;
  if (!pofSplitCall(text, &name, &argument)) return;
  if (name == "error" || name == "break") {
    if (gErrorMapper != nullptr) {
      const std::string arg(argument);
      if (gErrorMapper(arg.c_str()) < 0) gState.failed = true;
    }
  } else if (name == "cycle") {
    gState.p[2] = 1.0;
    gState.mask31 = 0;
    gState.mask34 = 0;
    gState.previousKind = kPofMoveRapid;
    gState.open = kPofOpenNone;
    gState.failed = false;
  } else if (name == "cycleEnd") {
    pofCloseElement();
  }
}

// Records 1, 10 and 32 carry nothing the reader needs.
void pofHandleIgnored(char* /*text*/, intptr_t /*user*/) {}

void pofHandleValue(const KfyElement& e) {
  const char* text = e.text != nullptr ? e.text : "";
  const std::string_view name = e.name != nullptr ? e.name : "";
  const int isStart = std::strcmp(text, "start") == 0 ? 1 : 0;
  if (name == "start") {
    if (gLive.pofOnSectionStart != nullptr) gLive.pofOnSectionStart(text);
  } else if (name == "full") {
    if (gLive.pofOnSectionFull != nullptr) gLive.pofOnSectionFull(text);
  } else if (name == "pocket") {
    if (gLive.pofOnPocket != nullptr) gLive.pofOnPocket(isStart);
  } else if (name == "end") {
    if (gLive.pofOnSectionEnd != nullptr) gLive.pofOnSectionEnd();
  } else if (name == "infeed") {
    if (gLive.pofOnInfeed != nullptr) gLive.pofOnInfeed(isStart);
  }
}

void pofPathMove(const KfyElement& e) {
  PofReaderState& st = gState;
  pofCopy3(st.q, st.p);
  double bulge = 0.0;
  int kind = kPofMoveRapid;
  const int parsed = pofReadMove(e, st.p, &bulge, &kind, &st.mask31);
  if (parsed < 0) return;
  if (!pofHasXY(st.mask31)) return;
  if (st.position == kPofNoPosition) {
    st.position = kPofStartPending;
    return;
  }

  const bool rapid = kind == kPofMoveRapid;
  const bool toPoints = rapid || parsed == 1;
  const bool kindChanged = rapid != (st.previousKind == kPofMoveRapid);
  const bool needNew =
      toPoints ? (st.open != kPofOpenPoints || kindChanged) : st.open != kPofOpenPolyline;
  if (needNew && st.open != kPofOpenNone) {
    pofEndElement();
    st.open = kPofOpenNone;
    st.position = kPofStartPending;
  }
  const PofLayer& layer = rapid ? kPofLayerRapid : kPofLayerFeed;

  if (!toPoints) {
    if (needNew) {
      pofPolylineBegin(layer, st.p);
      st.open = kPofOpenPolyline;
    }
    if (st.position == kPofStartPending) pofVertex(layer, st.q, 0.0);
    pofVertex(layer, st.p, bulge);
  } else {
    if (needNew) {
      pofPointsBegin(layer);
      st.open = kPofOpenPoints;
    }
    if (st.position == kPofStartPending) pofPoint(layer, st.q);
    if (kind == kPofMoveArcCw || kind == kPofMoveArcCcw) {
      double pts[kPofArcPointCount][3];
      pofArcPointsZ(st.q, st.p, bulge, pts);
      for (int i = 1; i < kPofArcPointCount; ++i) pofPoint(layer, pts[i]);
    } else {
      pofPoint(layer, st.p);
    }
  }
  st.previousKind = kind;
  st.position = kPofDrawing;
}

// Reads the elements of a record's text one by one.
template <typename Fn>
void pofForEachElement(char* text, Fn&& fn) {
  const char* cursor = text;
  KfyElement e;
  while (kfyReadElementFromString(&cursor, &e) == 1) fn(e);
  kfyElementClear(&e);
}

void pofHandlePath(char* text, intptr_t /*user*/) {
  pofForEachElement(text, [](const KfyElement& e) {
    if (e.kind == kKfyValue) {
      pofHandleValue(e);
    } else if (e.kind == kKfyObject) {
      pofPathMove(e);
    }
  });
}

void pofHandleLayerPath(char* text, intptr_t /*user*/) {
  pofForEachElement(text, [](const KfyElement& e) {
    PofReaderState& st = gState;
    if (e.kind == kKfyBlockClose) {
      pofCloseElement();
      return;
    }
    if (e.kind != kKfyObject) return;
    double bulge = 0.0;
    int kind = kPofMoveRapid;
    if (pofReadMove(e, st.r, &bulge, &kind, &st.mask34) < 0) return;
    if (kind == kPofMoveRapid) {
      if (st.open != kPofOpenNone) pofEndElement();
      pofPolylineBegin(kPofLayerPath, st.r);
      st.open = kPofOpenPolyline;
      if (pofHasXY(st.mask34)) pofVertex(kPofLayerPath, st.r, bulge);
    } else if (st.open == kPofOpenPolyline && pofHasXY(st.mask34)) {
      pofVertex(kPofLayerPath, st.r, bulge);
    }
  });
}

struct PofRecordRow {
  uint32_t id;
  PofHandlerFn handler;
};

constexpr PofRecordRow kPofRecordIds[] = {
    {0, pofHandleControl}, {1, pofHandleIgnored},  {10, pofHandleIgnored},
    {31, pofHandlePath},   {32, pofHandleIgnored}, {34, pofHandleLayerPath},
};

bool pofFileExists(const char* path) {
  if (std::strcmp(path, kPofStdinName) == 0) return true;
  struct stat st {};
  return stat(path, &st) == 0;
}

}  // namespace

void pofReaderSetErrorMapper(PofErrorMapper mapper) { gErrorMapper = mapper; }

int pofReadFile(const char* path) {
  gState.position = kPofNoPosition;
  gState.mask31 = 0;
  gState.mask34 = 0;
  if (path == nullptr || !pofFileExists(path)) {
    msgNumbered(kPofMsgLevel, kPofMsgNoFile, "* Error: cannot open POF file %s",
                path != nullptr ? path : "");
    return -1;
  }

  PofStream* stream = pofStreamOpen(path, kPofReaderLineSize);
  if (stream == nullptr) {
    std::fputs("Failed to create POF layer administration !\n", stdout);
  } else {
    for (const PofRecordRow& row : kPofRecordIds) {
      PofHandler* h = pofHandlerNew(row.id, row.handler, 0);
      if (h == nullptr) {
        std::printf("Failed to create POF layer #%u !\n", static_cast<unsigned>(row.id));
        continue;
      }
      pofStreamAddHandler(stream, h);
    }
    // The DXF side file holds an empty ENTITIES section.  When it cannot be
    // created, the POF file is read all the same.
    std::FILE* dxf = std::fopen(kPofDxfName, "w");
    if (dxf != nullptr) std::fputs("0\nSECTION\n2\nENTITIES\n0\n", dxf);
    if (pofStreamRun(stream) < 0) gState.failed = true;
    if (dxf != nullptr) {
      std::fputs("ENDSEC\n0\nEOF\n", dxf);
      std::fclose(dxf);
    }
    pofStreamClose(stream);
  }
  return gState.failed ? -1 : 0;
}

void pofCallbacksClear(PofReaderCallbacks* table) {
  if (table != nullptr) *table = PofReaderCallbacks{};
}

void pofCallbacksInstall(const PofReaderCallbacks* table) {
  gBackup = gLive;
  gLive = table != nullptr ? *table : PofReaderCallbacks{};
}

void pofCallbacksRestore() { gLive = gBackup; }

void pofReaderReset() {
  gState = PofReaderState{};
  gLive = PofReaderCallbacks{};
  gBackup = PofReaderCallbacks{};
}

// ---------------------------------------------------------------------------
// Helpers.

int pofCoordPick(const char* text, int n, double* value) {
  if (text == nullptr || n < 0) return -1;
  std::string_view rest(text);
  for (int i = 0; i < n; ++i) {
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return -1;
    rest.remove_prefix(slash + 1);
  }
  const std::string_view part = rest.substr(0, rest.find('/'));
  if (part.empty()) return 0;
  if (value != nullptr) *value = pofNumber(part);
  return 1;
}

int pofParseCoord(const char* key, const char* text, int n, double point[3]) {
  const int axis = pofAxisIndex(key);
  if (axis < 0) return -1;
  return pofCoordPick(text, n, &point[axis]);
}

int pofAxisMaskAdd(int mask, const char* key) {
  switch (pofAxisIndex(key)) {
    case 0:
      return mask | kPofAxisBitX;
    case 1:
      return mask | kPofAxisBitY;
    case 2:
      return mask | kPofAxisBitZ;
    default:
      return mask;
  }
}

int pofParseMove(const KfyElement* element, double point[3], double* bulge, int* kind, int* mask) {
  if (element == nullptr || element->name == nullptr) return -2;
  const char head = element->name[0];
  if (head != 'M' && head != 'L' && head != 'A') return -2;

  // Work on copies: a malformed element changes nothing.
  double p[3] = {point[0], point[1], point[2]};
  int m = mask != nullptr ? *mask : 0;
  bool zGiven = false;

  if (head == 'M' || head == 'L') {
    for (const KfyAttr* a = element->attributes; a != nullptr; a = a->next) {
      if (a->key == nullptr || pofAxisIndex(a->key) < 0) return -1;
      const int got = pofParseCoord(a->key, a->value, 1, p);
      if (got < 0) return -1;
      if (got == 1 && a->key[0] == 'z') zGiven = true;
      m = pofAxisMaskAdd(m, a->key);
    }
    if (bulge != nullptr) *bulge = 0.0;
    if (kind != nullptr) *kind = head == 'M' ? kPofMoveRapid : kPofMoveLine;
  } else {
    double centre[3] = {point[0], point[1], point[2]};
    int direction = 0;
    for (const KfyAttr* a = element->attributes; a != nullptr; a = a->next) {
      if (a->key == nullptr) continue;
      if (std::strcmp(a->key, "o") == 0) {
        direction = (a->value != nullptr && a->value[0] == '+') ? 1 : -1;
        continue;
      }
      if (pofAxisIndex(a->key) < 0) continue;
      const int got = pofParseCoord(a->key, a->value, 1, p);
      if (got < 0 || pofParseCoord(a->key, a->value, 2, centre) < 0) return -1;
      if (got == 1 && a->key[0] == 'z') zGiven = true;
      m = pofAxisMaskAdd(m, a->key);
    }
    if (bulge != nullptr) *bulge = pofBulgeFromArc(point, centre, p, direction);
    if (kind != nullptr) *kind = direction > 0 ? kPofMoveArcCcw : kPofMoveArcCw;
  }
  pofCopy3(point, p);
  if (mask != nullptr) *mask = m;
  return zGiven ? 1 : 0;
}

double pofBulgeFromArc(const double start[3], const double centre[3], const double end[3],
                       int direction) {
  if (std::fabs(start[0] - centre[0]) < kPofCentreTol &&
      std::fabs(start[1] - centre[1]) < kPofCentreTol) {
    return 0.0;
  }
  double sweep = std::atan2(end[1] - centre[1], end[0] - centre[0]) -
                 std::atan2(start[1] - centre[1], start[0] - centre[0]);
  while (sweep > kPi) sweep -= 2 * kPi;
  while (sweep < -kPi) sweep += 2 * kPi;
  if (direction > 0 && sweep < 0) sweep += 2 * kPi;
  if (direction < 0 && sweep > 0) sweep -= 2 * kPi;
  return std::tan(sweep / 4);
}

int pofArcFromBulge(const double start[3], const double end[3], double bulge, double centre[3],
                    double* radius, double* startAngle, double* endAngle) {
  if (!(std::fabs(bulge) >= kPofStraightBulge)) return 0;  // also NaN
  const double dx = end[0] - start[0];
  const double dy = end[1] - start[1];
  const double c = std::hypot(dx, dy);
  const double m = std::atan2(dy, dx);
  const double half = c / 2;
  const double e = half * (1 - bulge * bulge) / (2 * bulge);
  const double h = 2 * std::atan(bulge);
  centre[0] = (start[0] + end[0]) / 2 - e * std::sin(m);
  centre[1] = (start[1] + end[1]) / 2 + e * std::cos(m);
  centre[2] = end[2];
  *radius = std::sqrt(e * e + half * half);
  if (bulge > 0) {
    *startAngle = m - kPi / 2 - h;
    *endAngle = *startAngle + 2 * h;
  } else {
    *endAngle = m + kPi / 2 + h;
    *startAngle = *endAngle - 2 * h;
  }
  return 1;
}

void pofArcPoints(const double start[3], const double end[3], double bulge,
                  double out[kPofArcPointCount][3]) {
  double centre[3], radius = 0, a0 = 0, a1 = 0;
  const bool arc = pofArcFromBulge(start, end, bulge, centre, &radius, &a0, &a1) == 1;
  for (int i = 0; i < kPofArcPointCount; ++i) {
    const double t = static_cast<double>(i) / (kPofArcPointCount - 1);
    if (arc) {
      const double a = a0 + (a1 - a0) * t;
      out[i][0] = centre[0] + radius * std::cos(a);
      out[i][1] = centre[1] + radius * std::sin(a);
    } else {
      out[i][0] = start[0] + (end[0] - start[0]) * t;
      out[i][1] = start[1] + (end[1] - start[1]) * t;
    }
    out[i][2] = end[2];
  }
}

void pofArcPointsZ(const double start[3], const double end[3], double bulge,
                   double out[kPofArcPointCount][3]) {
  pofArcPoints(start, end, bulge, out);
  for (int i = 0; i < kPofArcPointCount; ++i) {
    const double t = static_cast<double>(i) / (kPofArcPointCount - 1);
    out[i][2] = start[2] + (end[2] - start[2]) * t;
  }
}
