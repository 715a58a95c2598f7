#include "cycles/common3d/geometry_convert.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/memory.h"
#include "base/text_helpers.h"
#include "cycles/common3d/common3d_record.h"
#include "formats/kfy/kfy_file.h"
#include "formats/kfy/kfy_points.h"
#include "formats/kfy/kfy_reader.h"
#include "formats/kfy/kfy_scanner.h"
#include "geometry/frame/working_frame.h"
#include "geometry/primitives/primitives.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct ConvertState {
  Cyc3dRecord* rec = nullptr;
  std::FILE* file = nullptr;
  int boundaries = 0, profiles = 0, syncs = 0, segments = 0, inclinations = 0;
  bool firstPointWritten = false;
  int appendProfiles = 0;
  int pointProfiles = 0;
};

ConvertState gConv;

// Opens name ("w" or "a+"); the file stays the open block file.
bool openBlockFile(const std::string& name, bool append) {
  if (name.empty()) return false;
  gConv.file = std::fopen(name.c_str(), append ? "a+" : "w");
  return gConv.file != nullptr;
}

// The name field of a kind, taken once per record.
std::string& takeName(std::string& field, const char* ext) {
  bool owned = false;
  for (const std::string& n : gConv.rec->ownedTempFiles) owned = owned || n == field;
  if (field.empty() || !owned) field = cyc3dTakeTempName(gConv.rec, ext);
  return field;
}

// v for a "%.6lf" field: values that round to zero are written as 0, never
// as "-0.000000".
double printable(double v) { return std::fabs(v) < 5e-7 ? 0.0 : v; }

void writePoint(const char* format, Vec3d p) {
  framePtToolToWorld(&p);
  std::fprintf(gConv.file, format, printable(p.x), printable(p.y), printable(p.z));
}

// The profile file of the next profile block: the prf file for the first
// (or every one with append-profiles), pr2 for the second, none after.
std::string* profileFileField() {
  if (gConv.profiles == 0 || gConv.appendProfiles != 0) return &gConv.rec->prfFile;
  if (gConv.profiles == 1) return &gConv.rec->pr2File;
  return nullptr;
}

int kindOfText(const char* text, bool emptyIsProfile) {
  if (text == nullptr || *text == '\0') return emptyIsProfile ? kContourProfile : kContourNone;
  const struct {
    const char* name;
    int kind;
  } kinds[] = {{"boundary", kContourBoundary},
               {"profile", kContourProfile},
               {"synch", kContourSynch},
               {"point", kContourPoint},
               {"inclination", kContourInclination},
               {"segment", kContourSegment}};
  for (const auto& k : kinds) {
    if (std::strcmp(text, k.name) == 0) return k.kind;
  }
  return kContourNone;
}

double coordNumber(const char* text) {
  double v = 0;
  strParseNumbers3(text, &v, nullptr, nullptr);
  return v;
}

struct ElementPoints {
  Vec3d start, end, centre;
  char direction;
};

// The points of a move element, every missing coordinate defaulting to the
// previous end point.
ElementPoints readPoints(const KfyElement& e, const Vec3d& previous) {
  char dx[32], dy[32], dz[32];
  std::snprintf(dx, sizeof dx, "%.17g", previous.x);
  std::snprintf(dy, sizeof dy, "%.17g", previous.y);
  std::snprintf(dz, sizeof dz, "%.17g", previous.z);
  KfyElementCoords c;
  kfyElementCoordsInit(&c, dx, dy, dz);
  kfyElementCoordsRead(&c, &e);
  ElementPoints p;
  p.start = {coordNumber(c.p0.x), coordNumber(c.p0.y), coordNumber(c.p0.z)};
  p.end = {coordNumber(c.p1.x), coordNumber(c.p1.y), coordNumber(c.p1.z)};
  p.centre = {coordNumber(c.p2.x), coordNumber(c.p2.y), coordNumber(c.p2.z)};
  p.direction = c.name[0];
  return p;
}

// A kFY point as a profile of one point.
void writePointProfile(const Vec3d& p) {
  std::string* field = profileFileField();
  // A point beyond the second profile without append-profiles gets no file.
  if (field == nullptr) return;
  cyc3dTempClose();
  ++gConv.profiles;
  if (!openBlockFile(takeName(*field, field == &gConv.rec->prfFile ? "prf" : "pr2"),
                     gConv.appendProfiles != 0)) {
    return;
  }
  std::fprintf(gConv.file, "**PRF %d\n", gConv.profiles);
  gConv.firstPointWritten = false;
  cyc3dTempLine(p.x, p.y, p.z, p.x, p.y, p.z);
}

class Converter {
 public:
  explicit Converter(Cyc3dRecord* rec) : rec_(rec) {}

  void element(KfyElement& e, KfyValueStore* store) {
    switch (e.kind) {
      case kKfyObject:
        object(e);
        break;
      case kKfyValue:
        value(e, store);
        break;
      case kKfyBlockOpen:
        kfyStorePushScope(store);
        plungeSet_ = false;
        kind_ = kContourNone;
        break;
      case kKfyBlockClose:
        kfyStorePopScope(store);
        cyc3dTempClose();
        ++closed_;
        break;
      default:
        break;
    }
  }

  int closed() const { return closed_; }

 private:
  void object(const KfyElement& e) {
    if (e.name == nullptr) return;
    if (std::strcmp(e.name, "Contour") == 0) {
      kind_ = kindOfText(e.text, true);
      return;
    }
    const bool line = std::strcmp(e.name, "L") == 0;
    const bool arc = std::strcmp(e.name, "A") == 0;
    const bool point = std::strcmp(e.name, "P") == 0;
    if (!line && !arc && !point) return;
    const ElementPoints p = readPoints(e, previous_);
    previous_ = p.end;
    if (line) {
      if (kind_ == kContourSynch || kind_ == kContourSegment) {
        cyc3dTempSegment(p.start.x, p.start.y, p.start.z, p.end.x, p.end.y, p.end.z);
      } else {
        cyc3dTempLine(p.start.x, p.start.y, p.start.z, p.end.x, p.end.y, p.end.z);
      }
    } else if (arc) {
      cyc3dTempArc(p.direction, p.start.x, p.start.y, p.start.z, p.end.x, p.end.y, p.end.z,
                   p.centre.x, p.centre.y);
    } else {
      rec_->startPoint = p.end;
      rec_->startPointSet = 1;
      if (gConv.pointProfiles != 0) writePointProfile(p.end);
    }
  }

  void value(const KfyElement& e, KfyValueStore* store) {
    if (e.name == nullptr) return;
    const char* v = e.text != nullptr ? e.text : "";
    kfyStoreSet(store, e.name, v);
    const std::string name = e.name;
    if (name == "surface") {
      rec_->surface = coordNumber(v);
    } else if (name == "depth") {
      rec_->depth = coordNumber(v);
    } else if (name == "3Dtype") {
      kind_ = kindOfText(v, false);
      if (kind_ != kContourPoint && kind_ != kContourNone) {
        cyc3dTempOpen(kind_);
        if (plungeSet_) cyc3dTempPlunge(&plunge_);
      }
    } else if (name == "sideOfCompensation" && kind_ == kContourProfile) {
      if (std::strcmp(v, "rightOfContour") == 0) rec_->infeedDirection = 1;
      if (std::strcmp(v, "leftOfContour") == 0) rec_->infeedDirection = 0;
    } else if (name == "plungePoint") {
      plungeSet_ = cycParseXy(&plunge_, v) == 1;
    }
  }

  Cyc3dRecord* rec_;
  int kind_ = kContourNone;
  bool plungeSet_ = false;
  double plunge_[2] = {0, 0};
  Vec3d previous_{0, 0, 0};
  int closed_ = 0;
};

}  // namespace

int cyc3dConvertGeometry(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec == nullptr) return -1;
  cyc3dTempClose();
  gConv.rec = rec;
  gConv.boundaries = gConv.profiles = gConv.syncs = gConv.segments = gConv.inclinations = 0;
  KfyHeader header;
  std::FILE* in = kfyOpenFile(rec->geoSource.c_str(), &header);
  if (in == nullptr) return -1;
  if (header.fileType == nullptr || std::strcmp(header.fileType, "Geometry") != 0) {
    kfyCloseFile(in);
    kfyHeaderFree(&header);
    return -1;
  }
  KfyValueStore* store = kfyStoreNew();
  Converter conv(rec);
  KfyElement e;
  while (kfyReadElement(in, &e) == 1) conv.element(e, store);
  cyc3dTempClose();
  kfyStoreFree(store);
  kfyElementClear(&e);
  kfyCloseFile(in);
  kfyHeaderFree(&header);
  return conv.closed();
}

void cyc3dSetProfileAppend(int on) { gConv.appendProfiles = on; }
void cyc3dSetPointProfiles(int on) { gConv.pointProfiles = on; }

int cyc3dTempOpen(int kind) {
  if (kind == kContourNone || gConv.rec == nullptr) return 1;
  // One block at a time: a block still open (a second "3Dtype") ends here.
  cyc3dTempClose();
  Cyc3dRecord* rec = gConv.rec;
  bool ok = true;
  switch (kind) {
    case kContourBoundary:
      ok = openBlockFile(takeName(rec->bndFile, "bnd"), ++gConv.boundaries > 1);
      if (ok) std::fprintf(gConv.file, "**BND %d\n", gConv.boundaries);
      break;
    case kContourSynch:
      ++gConv.syncs;
      rec->syncFileWritten = 1;
      ok = openBlockFile(takeName(rec->sncFile, "snc"), gConv.syncs > 1);
      if (ok) std::fprintf(gConv.file, "**SYN %d\n", gConv.syncs);
      break;
    case kContourInclination:
      ok = openBlockFile(takeName(rec->trcFile, "trc"), ++gConv.inclinations > 1);
      if (ok) std::fprintf(gConv.file, "**PRF %d\n", gConv.inclinations);
      break;
    case kContourSegment:
      ok = openBlockFile(takeName(rec->segmentFile, "snc"), ++gConv.segments > 1);
      if (ok) std::fprintf(gConv.file, "**SYN %d\n", gConv.segments);
      break;
    default: {
      std::string* field = profileFileField();
      if (field == nullptr) return 1;  // a third profile without append: dropped
      ++gConv.profiles;
      const bool append = kind == kContourProfile && gConv.appendProfiles != 0;
      ok = openBlockFile(takeName(*field, field == &rec->prfFile ? "prf" : "pr2"), append);
      if (ok) std::fprintf(gConv.file, "**PRF %d\n", gConv.profiles);
      break;
    }
  }
  gConv.firstPointWritten = false;
  return ok ? 1 : 0;
}

int cyc3dTempClose() {
  if (gConv.file == nullptr) return 0;
  std::fputs("**END\n", gConv.file);
  std::fclose(gConv.file);
  gConv.file = nullptr;
  return 1;
}

void cyc3dTempLine(double sx, double sy, double sz, double ex, double ey, double ez) {
  if (gConv.file == nullptr) return;
  if (!gConv.firstPointWritten) {
    writePoint("X%.6lf Y%.6lf Z%.6lf\n", {sx, sy, sz});
    gConv.firstPointWritten = true;
  }
  writePoint("X%.6lf Y%.6lf Z%.6lf\n", {ex, ey, ez});
}

void cyc3dTempSegment(double sx, double sy, double sz, double ex, double ey, double ez) {
  if (gConv.file == nullptr) return;
  Vec3d s{sx, sy, sz}, e{ex, ey, ez};
  framePtToolToWorld(&s);
  framePtToolToWorld(&e);
  std::fprintf(gConv.file, "x%.6lf y%.6lf z%.6lf X%.6lf Y%.6lf Z%.6lf\n", printable(s.x),
               printable(s.y), printable(s.z), printable(e.x), printable(e.y), printable(e.z));
}

void cyc3dTempArc(char direction, double sx, double sy, double, double ex, double ey, double ez,
                  double cx, double cy) {
  const double rx = sx - cx, ry = sy - cy;
  const double r = std::hypot(rx, ry);
  if (r < kCyc3dArcTol || gConv.rec == nullptr) return;
  double step = gConv.rec->circularMacroSegmentAngle;
  if (r > kCyc3dLargeArcRadius) step /= 10.0;
  step = step * kPi / 180.0;
  if (!(step >= kCyc3dMinArcStep)) step = kCyc3dMinArcStep;
  const bool clockwise = direction == '-';
  double sweep = geo2dTurnAngle(sx, sy, cx, cy, ex, ey) + kPi;
  if (clockwise) sweep -= 2 * kPi;
  double total = std::fabs(sweep);
  // An arc that ends where it starts is a full circle; the turn angle of its
  // opposite directions alone would make it half of one (or none).
  if (std::hypot(ex - sx, ey - sy) < kCyc3dArcTol) total = 2 * kPi;
  const double sign = clockwise ? -1.0 : 1.0;
  double px = sx, py = sy;
  for (double a = step;; a += step) {
    if (a >= total - kCyc3dArcTol) {
      cyc3dTempLine(px, py, ez, ex, ey, ez);
      return;
    }
    const double c = std::cos(sign * a), s = std::sin(sign * a);
    const double nx = cx + rx * c - ry * s, ny = cy + rx * s + ry * c;
    cyc3dTempLine(px, py, ez, nx, ny, ez);
    px = nx;
    py = ny;
  }
}

void cyc3dTempPlunge(const double (*xy)[2]) {
  if (gConv.file == nullptr || xy == nullptr) return;
  std::fprintf(gConv.file, "**PLUNGE X%.6lf Y%.6lf\n", printable((*xy)[0]), printable((*xy)[1]));
}
