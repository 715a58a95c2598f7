#include "geometry/curves/kfy_contours.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "formats/kfy/kfy_reader.h"
#include "geometry/primitives/primitives.h"

namespace {

struct ContourFrame {
  Vec3d origin{0.0, 0.0, 0.0};
  Vec3d x{1.0, 0.0, 0.0};
  Vec3d y{0.0, 1.0, 0.0};
  Vec3d z{0.0, 0.0, 1.0};
};

ContourFrame frame;

// A number at the start of text as "%lf" reads it (leading blanks and a sign
// allowed, C locale).  False, out untouched, when there is none or it is not
// finite.
bool parseNumber(const char* text, double* out) {
  if (text == nullptr) return false;
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  if (*p == '+' && p[1] != '-') ++p;
  double v = 0.0;
  const auto r = std::from_chars(p, p + std::strlen(p), v, std::chars_format::general);
  if (r.ec != std::errc() || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

// atof in the C locale: the number at the start of text, 0 when there is none.
double numberOrZero(const char* text) {
  double v = 0.0;
  return parseNumber(text, &v) ? v : 0.0;
}

// Both fields are kKfyCoordField bytes and zero-terminated.
void copyText(char (&dst)[kKfyCoordField], const char (&src)[kKfyCoordField]) {
  std::memcpy(dst, src, kKfyCoordField);
}

bool appendPoint(Pt3List* list, double x, double y, double z) {
  const Vec3d p{x, y, z};
  return listPt3Append(list, &p) == 1;
}

// The coordinates of the line and arc elements of one read: the numbers of
// the last element (a text that does not convert keeps them) and the end
// point texts that default the next element.
struct ElementState {
  double start[3] = {0.0, 0.0, 0.0};
  double end[3] = {0.0, 0.0, 0.0};
  double centre[3] = {0.0, 0.0, 0.0};
  KfyCoordText defaults{};
};

// Reads the coordinates of a line or arc element; returns the arc direction
// (-1 clockwise, 1 otherwise).
int readMove(ElementState& s, const KfyElement* element) {
  KfyElementCoords c;
  kfyElementCoordsInit(&c, s.defaults.x, s.defaults.y, s.defaults.z);
  kfyElementCoordsRead(&c, element);
  const KfyCoordText* texts[3] = {&c.p0, &c.p1, &c.p2};
  double* values[3] = {s.start, s.end, s.centre};
  for (int k = 0; k < 3; ++k) {
    parseNumber(texts[k]->x, &values[k][0]);
    parseNumber(texts[k]->y, &values[k][1]);
    parseNumber(texts[k]->z, &values[k][2]);
  }
  copyText(s.defaults.x, c.p1.x);
  copyText(s.defaults.y, c.p1.y);
  copyText(s.defaults.z, c.p1.z);
  return std::strcmp(c.name, "-") == 0 ? -1 : 1;
}

void setFrameVector(const char* text, Vec3d* target) {
  if (text == nullptr) return;
  const std::size_t n = std::strlen(text);
  std::vector<char> copy(text, text + n + 1);
  kfyParseXyz(copy.data(), target);
}

bool nameIs(const KfyElement* e, const char* name) {
  return e->name != nullptr && std::strcmp(e->name, name) == 0;
}

}  // namespace

int kfyParseXyz(char* text, Vec3d* out) {
  if (text == nullptr || out == nullptr) return -1;
  char* c1 = std::strchr(text, ',');
  if (c1 == nullptr) return -1;
  *c1 = '\0';
  out->x = numberOrZero(text);
  char* c2 = std::strchr(c1 + 1, ',');
  if (c2 == nullptr) return -1;
  *c2 = '\0';
  out->y = numberOrZero(c1 + 1);
  out->z = numberOrZero(c2 + 1);
  return 1;
}

void kfyContourFrame(Vec3d* origin, Vec3d* x, Vec3d* y, Vec3d* z) {
  if (origin != nullptr) *origin = frame.origin;
  if (x != nullptr) *x = frame.x;
  if (y != nullptr) *y = frame.y;
  if (z != nullptr) *z = frame.z;
}

void kfyContourFrameReset() { frame = ContourFrame{}; }

int kfyContourAddLine(double x0, double y0, double z0, double x1, double y1, double z1,
                      Pt3List* list) {
  if (list == nullptr) return 0;
  if (list->count == 0 && !appendPoint(list, x0, y0, z0)) return 0;
  return appendPoint(list, x1, y1, z1) ? 1 : 0;
}

int kfyContourAddArc(double tolerance, double x0, double y0, double x1, double y1, double z,
                     double cx, double cy, int direction, Pt3List* list) {
  if (list == nullptr) return 0;
  const double vx = x0 - cx;
  const double vy = y0 - cy;
  const double r = std::hypot(vx, vy);
  if (!(r >= kKfyArcTol)) return 1;
  const bool clockwise = direction == -1 || direction == '-';
  double sweep = geo2dTurnAngle(x0, y0, cx, cy, x1, y1) + std::numbers::pi;
  if (clockwise) sweep -= 2.0 * std::numbers::pi;
  const double sweepSize = std::fabs(sweep);
  double step = 2.0 * std::acos(std::clamp((r - tolerance) / r, -1.0, 1.0));
  if (!(step >= kKfyArcMinStep)) step = kKfyArcMinStep;  // also a tolerance that is NaN
  const double sign = clockwise ? -1.0 : 1.0;
  if (list->count == 0 && !appendPoint(list, x0, y0, z)) return 0;
  for (double turned = step;; turned += step) {
    if (turned > sweepSize - kKfyArcTol) return appendPoint(list, x1, y1, z) ? 1 : 0;
    const double c = std::cos(sign * turned);
    const double s = std::sin(sign * turned);
    if (!appendPoint(list, cx + c * vx - s * vy, cy + s * vx + c * vy, z)) return 0;
  }
}

CurveRec* kfyContourToCurve(double surface, double depth, const Pt3List* list) {
  if (list == nullptr) return nullptr;
  CurveRec* curve = list->count > 0 ? curveNewOwned(list->count, kCurveKindPolyline, true)
                                    : curveNew(nullptr, 0, kCurveKindPolyline);
  if (curve == nullptr) return nullptr;
  curve->ownsPoints = 1;
  for (int i = 0; i < list->count; ++i) {
    const Vec3d& p = list->items[i];
    curve->points[i].x = p.x * frame.x.x + p.y * frame.y.x + p.z * frame.z.x + frame.origin.x;
    curve->points[i].y = p.x * frame.x.y + p.y * frame.y.y + p.z * frame.z.y + frame.origin.y;
    curve->z[i] = p.x * frame.x.z + p.y * frame.y.z + p.z * frame.z.z + frame.origin.z;
  }
  if (list->count > 0) curveUpdateLengths(curve);
  curve->firstStep = surface;
  curve->lastStep = surface - depth;
  return curve;
}

CurveRec* kfyReadContours(const char* path, double tolerance) {
  KfyHeader header;
  FILE* file = kfyOpenFile(path, &header);
  kfyHeaderFree(&header);
  if (file == nullptr) return nullptr;
  KfyValueStore* store = kfyStoreNew();
  CurveRec* first = nullptr;
  CurveRec** tail = &first;
  Pt3List* list = nullptr;
  std::string name;
  ElementState state;
  double surface = 0.0;
  double depth = 0.0;
  bool failed = store == nullptr;
  KfyElement element;
  while (!failed && kfyReadElement(file, &element) == 1) {
    switch (element.kind) {
      case kKfyObject:
        if (nameIs(&element, "Contour")) {
          name = element.text != nullptr ? element.text : "";
          listPt3Free(list);
          list = listPt3New(kKfyContourCapacity);
          failed = list == nullptr;
        } else if (nameIs(&element, "L") || nameIs(&element, "A")) {
          const bool arc = nameIs(&element, "A");
          const int direction = readMove(state, &element);
          if (list == nullptr) break;  // geometry outside a contour
          const double* a = state.start;
          const double* b = state.end;
          const int ok = arc ? kfyContourAddArc(tolerance, a[0], a[1], b[0], b[1], b[2],
                                                state.centre[0], state.centre[1], direction, list)
                             : kfyContourAddLine(a[0], a[1], a[2], b[0], b[1], b[2], list);
          failed = ok != 1;
        }
        break;
      case kKfyValue:
        if (element.name == nullptr) break;
        kfyStoreSet(store, element.name, element.text);
        if (nameIs(&element, "surface")) {
          surface = numberOrZero(element.text);
        } else if (nameIs(&element, "depth")) {
          depth = numberOrZero(element.text);
        } else if (nameIs(&element, "Cs_o")) {
          setFrameVector(element.text, &frame.origin);
        } else if (nameIs(&element, "Cs_x")) {
          setFrameVector(element.text, &frame.x);
        } else if (nameIs(&element, "Cs_y")) {
          setFrameVector(element.text, &frame.y);
        } else if (nameIs(&element, "Cs_z")) {
          setFrameVector(element.text, &frame.z);
        }
        break;
      case kKfyBlockOpen:
        kfyStorePushScope(store);
        break;
      case kKfyBlockClose: {
        kfyStorePopScope(store);
        if (list == nullptr) break;  // a block that no contour opened
        CurveRec* curve = kfyContourToCurve(surface, depth, list);
        listPt3Free(list);
        list = nullptr;
        if (curve == nullptr) {
          failed = true;
          break;
        }
        curveSetName(curve, name.c_str());
        *tail = curve;
        tail = &curve->next;
        break;
      }
      default:
        break;
    }
  }
  kfyElementClear(&element);
  kfyStoreFree(store);
  kfyCloseFile(file);
  listPt3Free(list);
  if (failed) {
    curveFree(first);
    return nullptr;
  }
  return first;
}
