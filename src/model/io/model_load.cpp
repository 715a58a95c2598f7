#include "model/io/model_load.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/input_files.h"
#include "base/memory.h"
#include "base/messages.h"
#include "boundaries/curve_fit.h"
#include "formats/kfy/kfy_file.h"
#include "geometry/curves/curve.h"
#include "geometry/frame/working_frame.h"
#include "model/io/facet_file.h"
#include "model/io/model_file_codec.h"
#include "model/io/poly3df_file.h"
#include "model/io/stl_file.h"
#include "model/mesh/model_grid.h"

namespace {

constexpr int kMsgLevel = 9;
constexpr const char* kMsgFileUnreadableText = "* Fehler beim lesen der Datei %s";

// Set name and value under which the model loads read 3DF files.
constexpr const char* kPolySetName = "POLY";
constexpr int kPolySetValue = 1;

// Bytes looked at to tell the kind of a file by its content.
constexpr std::size_t kProbeBytes = 1024;

// Largest item count a loader allocates for (twice it must still fit an int).
constexpr long long kMaxItems = INT_MAX / 2 - 1;

struct LoadOptions {
  int zLimitOn = 0;
  double zLimit = kModelNoZLimit;
  double lengthScale = 1.0;
};

LoadOptions gOptions;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using MallocPtr = std::unique_ptr<T[], FreeDeleter>;

struct TriListDeleter {
  void operator()(TriList* list) const { listPt3Free(list); }
};
using TriListPtr = std::unique_ptr<TriList, TriListDeleter>;

struct GroupDeleter {
  void operator()(SurfaceGroup* g) const { surfaceGroupFree(g); }
};
using GroupPtr = std::unique_ptr<SurfaceGroup, GroupDeleter>;

// n elements of T from malloc (at least one, so that null always means
// failure); null for a count out of range.
template <class T>
MallocPtr<T> mallocArray(long long n) {
  if (n < 0 || n > kMaxItems) return MallocPtr<T>();
  return MallocPtr<T>(
      static_cast<T*>(memAllocLarge(sizeof(T) * static_cast<std::size_t>(std::max(1LL, n)))));
}

bool nameEmpty(const char* name) { return name == nullptr || name[0] == '\0'; }

bool kindValid(int kind) { return kind == kModelKindFacets || kind == kModelKindTriangles; }

void reportSkipped(const char* name) {
  msgNumbered(kMsgLevel, kModelMsgFileUnreadable, kMsgFileUnreadableText, name);
}

// Chunks of the triangles of a load, mapped on their own by several threads.
constexpr int kLoadChunks = 16;

int chunkStart(int count, int chunk) {
  return static_cast<int>(static_cast<long long>(count) * chunk / kLoadChunks);
}

// A box that the first point widening it replaces.
struct Box {
  bool set = false;
  Vec3d lo{0, 0, 0};
  Vec3d hi{0, 0, 0};
  void add(const Vec3d& p) {
    if (!set) {
      lo = hi = p;
      set = true;
    } else {
      modelBoxWiden(&lo, &hi, &p);
    }
  }
};

void mapFacet(Facet* f) {
  for (Vec3d& v : f->v) framePtWorldToTool(&v);
}

void mapTri(Tri* t) {
  for (Vec3d& v : t->v) framePtWorldToTool(&v);
}

// The triangle a, b, c of a facet, z-snapped and top vertex first.
Tri snappedTri(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  Tri t{{a, b, c}};
  modelTriSnapZ(&t);
  triTopVertexFirst(&t);
  return t;
}

bool facetAboveLimit(const Facet& f) {
  if (!gOptions.zLimitOn) return false;
  for (const Vec3d& v : f.v) {
    if (v.z > gOptions.zLimit) return true;
  }
  return false;
}

// Face filter of the 3DF facet load: refuses a face with a vertex above the z
// limit after the world-to-working map.
int zLimitFaceFilter(int count, const double* x, const double* y, const double* z) {
  for (int i = 0; i < count; ++i) {
    Vec3d p{x[i], y[i], z[i]};
    framePtWorldToTool(&p);
    if (p.z > gOptions.zLimit) return 0;
  }
  return 1;
}

bool pointsEqual(const Vec3d& a, const Vec3d& b) {
  return std::fabs(a.x - b.x) < kModelTol && std::fabs(a.y - b.y) < kModelTol &&
         std::fabs(a.z - b.z) < kModelTol;
}

// ---- Binary facet files ---------------------------------------------------------

// One binary facet file read through the process-wide reader of its version;
// the file is closed when the session ends.
class FacetFileSession {
 public:
  FacetFileSession() = default;
  FacetFileSession(const FacetFileSession&) = delete;
  FacetFileSession& operator=(const FacetFileSession&) = delete;
  ~FacetFileSession() { close(); }

  // 0; -2 for an unreadable name or file; -4 for a version other than 1 or 2.
  int open(const char* name) {
    double v = 0.0;
    if (nameEmpty(name) || facetFileVersion(name, &v) != 1) return kModelLoadUnreadable;
    if (!(v >= 1.0 && v < 3.0)) return kModelLoadBadFile;
    version_ = v < 2.0 ? 1 : 2;
    const int handle = version_ == 1 ? facetFile1Open(name, kFacetFileModeRead)
                                     : facetFile2Open(name, kFacetFileModeRead);
    if (handle != kFacetFileHandle) return kModelLoadUnreadable;
    open_ = true;
    return kModelLoadOk;
  }

  // 0, or -4 for a header that cannot be read, whose counts the file cannot
  // hold, or that announces no facets.
  int readHeader(FacetFileHeader* header) {
    const int rc = version_ == 1 ? facetFile1ReadHeader(kFacetFileHandle, header)
                                 : facetFile2ReadHeader(kFacetFileHandle, header);
    if (rc != 0 || header->facetCount <= 0 || header->facetCount > kMaxItems) {
      return kModelLoadBadFile;
    }
    return kModelLoadOk;
  }

  // 0, or -4 for a facet that cannot be read.
  int readFacet(Facet* facet) {
    const int rc = version_ == 1 ? facetFile1ReadFacet(kFacetFileHandle, facet)
                                 : facetFile2ReadFacet(kFacetFileHandle, facet);
    return rc == 0 ? kModelLoadOk : kModelLoadBadFile;
  }

  void close() {
    if (!open_) return;
    if (version_ == 1) {
      facetFile1Close(kFacetFileHandle);
    } else {
      facetFile2Close(kFacetFileHandle);
    }
    open_ = false;
  }

  int version() const { return version_; }

 private:
  int version_ = 0;
  bool open_ = false;
};

// Opens the file and reads its header.  0 or a loader code.
int openFacetFile(FacetFileSession* session, const char* name, FacetFileHeader* header) {
  const int rc = session->open(name);
  return rc != kModelLoadOk ? rc : session->readHeader(header);
}

// ---- Handing items to the model ------------------------------------------------

// Sorts count facets (unless they come sorted), computes their corners and
// (withExtents) the rotated extents, and makes them the model's own.  0 or -1
// (nothing handed over).
int installModelFacets(ModelRec* model, MallocPtr<Facet> facets, int count, const Box& box,
                       bool withExtents, bool sorted) {
  if (!sorted && !modelSortFacets(facets.get(), count)) return kModelLoadNoMemory;
  MallocPtr<Vec3d> mins = mallocArray<Vec3d>(count);
  MallocPtr<Vec3d> maxs = mallocArray<Vec3d>(count);
  if (!mins || !maxs) return kModelLoadNoMemory;
  modelFacetCorners(facets.get(), count, mins.get(), maxs.get());
  if (withExtents && modelBuildDiagonalExtents(facets.get(), count) != 1) {
    return kModelLoadNoMemory;
  }
  model->facets = facets.release();
  model->facetCount = count;
  model->minCorners = mins.release();
  model->maxCorners = maxs.release();
  if (box.set) {
    model->boxMin = box.lo;
    model->boxMax = box.hi;
  }
  return kModelLoadOk;
}

// Sorts the triangles of list, computes their corners and makes them the
// model's own, the model box taken from the list.  0 or -1.
int installModelTris(ModelRec* model, TriListPtr list) {
  const int count = list->count;
  if (!modelSortTris(list->items, count)) return kModelLoadNoMemory;
  MallocPtr<Vec3d> mins = mallocArray<Vec3d>(count);
  MallocPtr<Vec3d> maxs = mallocArray<Vec3d>(count);
  if (!mins || !maxs) return kModelLoadNoMemory;
  modelTriCorners(list->items, count, mins.get(), maxs.get());
  if (count > 0) {
    model->boxMin = Vec3d{list->minX, list->minY, list->minZ};
    model->boxMax = Vec3d{list->maxX, list->maxY, list->maxZ};
  }
  model->triangles = list.release();
  model->minCorners = mins.release();
  model->maxCorners = maxs.release();
  return kModelLoadOk;
}

// A failed load into the model frees what the model holds.
int failLoad(ModelRec* model, int code) {
  modelFreeSurfaces(model);
  return code;
}

// ---- Groups ---------------------------------------------------------------------

int groupCount(const SurfaceGroup* g) {
  if (g->kind == kModelKindFacets) return g->facets != nullptr ? g->facetCount : 0;
  return g->triangles != nullptr ? g->triangles->count : 0;
}

// Sorts a group's items (when sort is set) and computes its corner arrays
// and its box from them.  false when sorting ran out of memory.
bool groupSortAndCorners(SurfaceGroup* g, bool sort) {
  const int n = groupCount(g);
  if (g->kind == kModelKindFacets) {
    if (sort && !modelSortFacets(g->facets, n)) return false;
    modelFacetCorners(g->facets, n, g->minCorners, g->maxCorners);
  } else {
    if (sort && !modelSortTris(g->triangles->items, n)) return false;
    modelTriCorners(g->triangles->items, n, g->minCorners, g->maxCorners);
  }
  if (n > 0) {
    g->boxMin = g->minCorners[0];
    g->boxMax = g->maxCorners[0];
    for (int i = 1; i < n; ++i) {
      modelBoxWiden(&g->boxMin, &g->boxMax, &g->minCorners[i]);
      modelBoxWiden(&g->boxMin, &g->boxMax, &g->maxCorners[i]);
    }
  }
  return true;
}

// Sorts, boxes and grids a group read from a file and appends it to the
// model.  1, or -1 (the group is freed and the model unchanged).
int finishReadGroup(ModelRec* model, GroupPtr g, bool sort) {
  if (!groupSortAndCorners(g.get(), sort)) return kModelLoadNoMemory;
  if (surfaceGroupBuildLoadGrid(g.get()) != 1) return kModelLoadNoMemory;
  modelAppendGroup(model, g.release());
  return 1;
}

// A group of a 3DF file: the reader's sorted items with their corners.
int readGroup3df(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                 int clip) {
  GroupPtr g(surfaceGroupNew(model, allowance, tipMode, kind, clip, 1));
  if (!g) return kModelLoadNoMemory;
  if (kind == kModelKindFacets) {
    PolyFacetSet* set = poly3dfReadFacets(name, kPolySetName, kPolySetValue, 0);
    if (set == nullptr) return kModelLoadUnreadable;
    const int n = set->facets->count;
    if (n > 0) {
      std::free(g->facets);
      std::free(g->minCorners);
      std::free(g->maxCorners);
      g->facets = set->facets->items;
      g->facetCount = n;
      g->minCorners = set->minCorners;
      g->maxCorners = set->maxCorners;
      set->facets->items = nullptr;
      set->minCorners = nullptr;
      set->maxCorners = nullptr;
    }
    poly3dfFreeFacetSets(set);
    if (n == 0) return kModelLoadUnreadable;
  } else {
    PolyTriangleSet* set = poly3dfReadTriangles(name, kPolySetName, kPolySetValue);
    if (set == nullptr) return kModelLoadUnreadable;
    const int n = set->triangles->count;
    if (n > 0) {
      listPt3Free(g->triangles);
      std::free(g->minCorners);
      std::free(g->maxCorners);
      g->triangles = set->triangles;
      g->minCorners = set->minCorners;
      g->maxCorners = set->maxCorners;
      set->triangles = nullptr;
      set->minCorners = nullptr;
      set->maxCorners = nullptr;
    }
    poly3dfFreeTriangleSets(set);
    if (n == 0) return kModelLoadUnreadable;
  }
  return finishReadGroup(model, std::move(g), false);
}

// A group of an STL file, its triangles treated as the model's STL loads treat
// them.
int readGroupStl(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                 int clip) {
  TriListPtr stl(stlReadFile(name));
  if (!stl || stl->count <= 0) return kModelLoadUnreadable;
  const int n = stl->count;
  GroupPtr g(surfaceGroupNew(model, allowance, tipMode, kind, clip, n));
  if (!g) return kModelLoadNoMemory;
  for (int i = 0; i < n; ++i) {
    Tri t = stl->items[i];
    mapTri(&t);
    if (kind == kModelKindFacets) {
      triTopVertexFirst(&t);
      g->facets[g->facetCount++] = Facet{0, {t.v[0], t.v[1], t.v[2], t.v[2]}};
    } else {
      modelTriSnapZ(&t);
      triTopVertexFirst(&t);
      if (listTriAppend(g->triangles, &t) < 0) return kModelLoadNoMemory;
    }
  }
  return finishReadGroup(model, std::move(g), true);
}

// A group of a binary facet file of either version: every facet, whatever its
// slot, mapped; triangle groups take both halves of every facet.
int readGroupFacets(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                    int clip) {
  FacetFileSession session;
  FacetFileHeader header{};
  int rc = openFacetFile(&session, name, &header);
  if (rc != kModelLoadOk) return rc;
  const long long n = header.facetCount;
  GroupPtr g(surfaceGroupNew(model, allowance, tipMode, kind, clip,
                             static_cast<int>(kind == kModelKindFacets ? n : 2 * n)));
  if (!g) return kModelLoadNoMemory;
  for (long long i = 0; i < n; ++i) {
    Facet f;
    rc = session.readFacet(&f);
    if (rc != kModelLoadOk) return rc;
    mapFacet(&f);
    if (kind == kModelKindFacets) {
      g->facets[g->facetCount++] = f;
    } else {
      const Tri first{{f.v[0], f.v[1], f.v[2]}};
      const Tri second{{f.v[0], f.v[2], f.v[3]}};
      if (listTriAppend(g->triangles, &first) < 0 || listTriAppend(g->triangles, &second) < 0) {
        return kModelLoadNoMemory;
      }
    }
  }
  session.close();
  return finishReadGroup(model, std::move(g), true);
}

int readSurfaceGroup(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                     int clip) {
  if (nameEmpty(name)) return kModelLoadUnreadable;
  switch (modelFileKind(name)) {
    case kModelFile3df:
      return readGroup3df(model, name, allowance, tipMode, kind, clip);
    case kModelFileStl:
      return readGroupStl(model, name, allowance, tipMode, kind, clip);
    default:
      return readGroupFacets(model, name, allowance, tipMode, kind, clip);
  }
}

struct CurveDeleter {
  void operator()(CurveRec* c) const { curveFree(c); }
};

int readWallGroup(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                  int clip) {
  if (nameEmpty(name)) return kModelLoadUnreadable;
  std::unique_ptr<CurveRec, CurveDeleter> chain(curveReadPrfAll(name, nullptr, 0.0, 0, 0));
  if (!chain) return kModelLoadUnreadable;
  long long segments = 0;
  for (const CurveRec* c = chain.get(); c != nullptr; c = c->next) {
    if (c->count >= 2 && c->points != nullptr) segments += c->count - 1;
  }
  if (segments == 0) return kModelLoadUnreadable;
  if (segments > kMaxItems) return kModelLoadNoMemory;
  GroupPtr g(surfaceGroupNew(model, allowance, tipMode, kind, clip, static_cast<int>(segments)));
  if (!g) return kModelLoadNoMemory;
  for (const CurveRec* c = chain.get(); c != nullptr; c = c->next) {
    if (c->count < 2 || c->points == nullptr) continue;
    auto pointAt = [c](int i) {
      return Vec3d{c->points[i].x, c->points[i].y, c->z != nullptr ? c->z[i] : 0.0};
    };
    for (int i = 0; i + 1 < c->count; ++i) {
      const Vec3d s = pointAt(i);
      const Vec3d e = pointAt(i + 1);
      if (kind == kModelKindFacets) {
        g->facets[g->facetCount++] = Facet{0, {s, e, e, e}};
      } else {
        const Tri t{{s, e, e}};
        if (listTriAppend(g->triangles, &t) < 0) return kModelLoadNoMemory;
      }
    }
  }
  return finishReadGroup(model, std::move(g), true);
}

// Loads the extra file into a working model and appends its items (the
// common tail of modelLoadMerged and modelLoadMultiMerged).
int appendExtraFile(ModelRec* model, const char* extraName) {
  if (nameEmpty(extraName)) return kModelLoadOk;
  ModelRec* copy = modelWorkingCopy(model);
  if (copy == nullptr) return failLoad(model, kModelLoadNoMemory);
  const int diagonal = modelDiagonalBoxesOn();
  modelSetDiagonalBoxes(0);
  const int rc = modelLoadFile(copy, extraName);
  modelSetDiagonalBoxes(diagonal);
  if (rc != kModelLoadOk) {
    reportSkipped(extraName);
    modelFreeWorkingCopy(copy);
    return kModelLoadOk;
  }
  const int appended = modelAppendSurfaces(model, copy);
  modelFreeWorkingCopy(copy);
  if (appended != kModelLoadOk) return failLoad(model, kModelLoadNoMemory);
  return kModelLoadOk;
}

// Adds a clip surface file as a clip group; a failure is reported and passed
// over.
void addClipFile(ModelRec* model, const char* name, int tipMode, double allowance) {
  if (nameEmpty(name)) return;
  if (modelAddSurfaceFile(model, name, allowance, tipMode, model->kind, 1) != 1) {
    reportSkipped(name);
  }
}

int countGroups(const ModelRec* model) {
  int n = 0;
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) ++n;
  return n;
}

// The kind that the characters after the last "." of the file's own name
// (not its directories) give, or -1 for no extension or an unknown one.
int kindByExtension(const char* name) {
  const char* base = std::strrchr(name, '/');
  base = base != nullptr ? base + 1 : name;
  const char* dot = std::strrchr(base, '.');
  if (dot == nullptr) return -1;
  std::string ext(dot + 1);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (ext == "kfy" || ext == "3df") return kModelFile3df;
  if (ext == "stl") return kModelFileStl;
  return -1;
}

// True when the bytes are the start of a binary facet file: a version of 1.x
// or 2.x whose header count the file size can hold.
bool looksLikeFacetFile(const unsigned char* b, std::size_t n, long long size) {
  if (n < static_cast<std::size_t>(kFacetFile1HeaderSize)) return false;
  const float version = modelLoadLe<float>(b);
  if (!(version >= 1.0f && version < 3.0f)) return false;
  const long long count = modelLoadLe<int32_t>(b + kFacetCountOffset);
  const long long header = version < 2.0f ? kFacetFile1HeaderSize : kFacetFile2HeaderSize;
  return count > 0 && header + count * kFacetRecordSize <= size;
}

// True when the bytes begin (after blank lines and leading blanks, as the kFY
// header scanner allows) with the kFY banner line.
bool startsWithKfyBanner(const unsigned char* b, std::size_t n) {
  std::size_t i = 0;
  while (i < n && (b[i] == ' ' || b[i] == '\t' || b[i] == '\r' || b[i] == '\n')) ++i;
  const std::size_t len = std::strlen(kfyBanner);
  if (n - i < len || std::memcmp(b + i, kfyBanner, len) != 0) return false;
  i += len;
  while (i < n && (b[i] == ' ' || b[i] == '\t')) ++i;
  return i == n || b[i] == '\r' || b[i] == '\n';
}

}  // namespace

ModelRec* modelWorkingCopy(const ModelRec* model) {
  ModelRec* copy = modelCopy(model);
  if (copy == nullptr) return nullptr;
  modelFreeGroups(copy);
  copy->facets = nullptr;
  copy->facetCount = 0;
  copy->triangles = nullptr;
  copy->minCorners = nullptr;
  copy->maxCorners = nullptr;
  copy->grid = nullptr;
  copy->boxMin = Vec3d{0, 0, 0};
  copy->boxMax = Vec3d{0, 0, 0};
  return copy;
}

void modelFreeWorkingCopy(ModelRec* copy) {
  if (copy == nullptr) return;
  std::free(copy->facets);
  listPt3Free(copy->triangles);
  std::free(copy->minCorners);
  std::free(copy->maxCorners);
  modelGridFree(copy->grid);
  for (SurfaceGroup* g = copy->groups; g != nullptr;) {
    SurfaceGroup* next = g->next;
    surfaceGroupFree(g);
    g = next;
  }
  copy->groups = nullptr;
  modelFreeCopy(copy);
}

// ---- Options ----------------------------------------------------------------------

void modelSetLoadZLimit(double z) {
  gOptions.zLimitOn = 1;
  gOptions.zLimit = z;
}

void modelSetLoadLengthScale(double scale) { gOptions.lengthScale = scale; }

double modelLoadLengthScale() { return gOptions.lengthScale; }

void modelLoadReset() { gOptions = LoadOptions{}; }

// ---- Helpers --------------------------------------------------------------------------

int modelFileKind(const char* name) {
  if (nameEmpty(name)) return kModelFileFacets;
  const int byExtension = kindByExtension(name);
  if (byExtension >= 0) return byExtension;
  // No known extension: the content decides.  A file that is not a regular
  // one is not probed (a pipe would block); its reader refuses it.
  std::FILE* f = fileProbeInput(name);
  if (f == nullptr) return kModelFileFacets;
  unsigned char b[kProbeBytes];
  const std::size_t n = std::fread(b, 1, sizeof b, f);
  const long long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  std::fclose(f);
  if (startsWithKfyBanner(b, n)) return kModelFile3df;
  if (looksLikeFacetFile(b, n, size)) return kModelFileFacets;
  if (stlContentForm(name) >= 0) return kModelFileStl;
  return kModelFileFacets;
}

int facetRepeatLast(Facet* facet) {
  Vec3d* p = facet->v;
  if (pointsEqual(p[3], p[2]) || pointsEqual(p[3], p[1]) || pointsEqual(p[3], p[0])) return 1;
  if (pointsEqual(p[2], p[1]) || pointsEqual(p[2], p[0])) {
    std::swap(p[2], p[3]);
    return 1;
  }
  if (pointsEqual(p[1], p[0])) {
    std::swap(p[0], p[3]);
    return 1;
  }
  return 0;
}

void modelTriSnapZ(Tri* tri) {
  static constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& pair : kPairs) {
    double& a = tri->v[pair[0]].z;
    double& b = tri->v[pair[1]].z;
    if (std::fabs(a - b) < kModelSnapZTol) a = b = std::max(a, b);
  }
}

// ---- Loads into the model itself -------------------------------------------------------

int modelLoad3dfTris(ModelRec* model, const char* name) {
  if (nameEmpty(name)) return failLoad(model, kModelLoadUnreadable);
  PolyTriangleSet* set = poly3dfReadTriangles(name, kPolySetName, kPolySetValue);
  if (set == nullptr) return failLoad(model, kModelLoadUnreadable);
  TriList* list = set->triangles;
  model->triangles = list;
  model->minCorners = set->minCorners;
  model->maxCorners = set->maxCorners;
  if (list->count > 0) {
    model->boxMin = Vec3d{list->minX, list->minY, list->minZ};
    model->boxMax = Vec3d{list->maxX, list->maxY, list->maxZ};
  }
  set->triangles = nullptr;
  set->minCorners = nullptr;
  set->maxCorners = nullptr;
  poly3dfFreeTriangleSets(set);
  return kModelLoadOk;
}

int modelLoad3dfFacets(ModelRec* model, const char* name) {
  if (nameEmpty(name)) return failLoad(model, kModelLoadUnreadable);
  const int diagonal = modelDiagonalBoxesOn();
  if (gOptions.zLimitOn) poly3dfSetFaceFilter(&zLimitFaceFilter);
  PolyFacetSet* set = poly3dfReadFacets(name, kPolySetName, kPolySetValue, diagonal);
  if (gOptions.zLimitOn) poly3dfClearFaceFilter();
  if (set == nullptr) return failLoad(model, kModelLoadUnreadable);
  FacetList* list = set->facets;
  model->facets = list->items;
  model->facetCount = list->count;
  model->minCorners = set->minCorners;
  model->maxCorners = set->maxCorners;
  if (list->count > 0) {
    model->boxMin = list->boxMin;
    model->boxMax = list->boxMax;
  }
  if (diagonal) {
    modelFreeDiagonalExtents();
    diagMin = set->diagMin;
    diagMax = set->diagMax;
  } else {
    std::free(set->diagMin);
    std::free(set->diagMax);
  }
  list->items = nullptr;
  set->minCorners = nullptr;
  set->maxCorners = nullptr;
  set->diagMin = nullptr;
  set->diagMax = nullptr;
  poly3dfFreeFacetSets(set);
  return kModelLoadOk;
}

int modelLoadStlTris(ModelRec* model, const char* name) {
  TriListPtr stl(nameEmpty(name) ? nullptr : stlReadFile(name));
  if (!stl || stl->count <= 0) return failLoad(model, kModelLoadUnreadable);
  TriListPtr out(listTriNew(stl->count));
  if (!out) return failLoad(model, kModelLoadNoMemory);
  for (int i = 0; i < stl->count; ++i) {
    Tri t = stl->items[i];
    mapTri(&t);
    modelTriSnapZ(&t);
    triTopVertexFirst(&t);
    if (listTriAppend(out.get(), &t) < 0) return failLoad(model, kModelLoadNoMemory);
  }
  stl.reset();
  const int rc = installModelTris(model, std::move(out));
  return rc == kModelLoadOk ? rc : failLoad(model, rc);
}

int modelLoadStlFacets(ModelRec* model, const char* name) {
  TriListPtr stl(nameEmpty(name) ? nullptr : stlReadFile(name));
  if (!stl || stl->count <= 0) return failLoad(model, kModelLoadUnreadable);
  const int n = stl->count;
  MallocPtr<Facet> facets = mallocArray<Facet>(n);
  MallocPtr<double> keys = mallocArray<double>(n);
  MallocPtr<int> order = mallocArray<int>(n);
  if (!facets || !keys || !order) return failLoad(model, kModelLoadNoMemory);
  // Each facet depends on its own triangle only.  The triangles are mapped
  // in place, and the facets made from them go straight to their sorted
  // places: the facet array is written once.  The box is widened chunk by
  // chunk, and by the chunks' boxes in chunk order: the box of one pass
  // over the triangles in order, for any team.
  Tri* in = stl->items;
  const auto facetOf = [](const Tri& t) { return Facet{0, {t.v[0], t.v[1], t.v[2], t.v[2]}}; };
  Box chunkBoxes[kLoadChunks];
#pragma omp parallel for schedule(static)
  for (int c = 0; c < kLoadChunks; ++c) {
    for (int i = chunkStart(n, c); i < chunkStart(n, c + 1); ++i) {
      mapTri(&in[i]);
      triTopVertexFirst(&in[i]);
      const Facet f = facetOf(in[i]);
      keys[i] = facetTopZ(&f);
      for (const Vec3d& v : in[i].v) chunkBoxes[c].add(v);
    }
  }
  Box box;
  for (const Box& b : chunkBoxes) {
    if (!b.set) continue;
    box.add(b.lo);
    box.add(b.hi);
  }
  if (!modelTopZOrder(keys.get(), n, order.get())) return failLoad(model, kModelLoadNoMemory);
  Facet* out = facets.get();
#pragma omp parallel for schedule(static)
  for (int k = 0; k < n; ++k) out[k] = facetOf(in[order[k]]);
  stl.reset();
  // STL facets get no rotated extents; extents of an earlier load would
  // describe other facets, so none stay.
  if (modelDiagonalBoxesOn()) modelFreeDiagonalExtents();
  const int rc = installModelFacets(model, std::move(facets), n, box, false, true);
  return rc == kModelLoadOk ? rc : failLoad(model, rc);
}

int modelLoadFacetFile(ModelRec* model, const char* name) {
  FacetFileSession session;
  FacetFileHeader header{};
  int rc = openFacetFile(&session, name, &header);
  if (rc != kModelLoadOk) return failLoad(model, rc);
  const int n = header.facetCount;
  MallocPtr<Facet> facets = mallocArray<Facet>(n);
  if (!facets) return failLoad(model, kModelLoadNoMemory);
  const bool diagonal = modelDiagonalBoxesOn() != 0;
  Box box;
  int stored = 0;
  for (int i = 0; i < n; ++i) {
    Facet f;
    rc = session.readFacet(&f);
    if (rc != kModelLoadOk) return failLoad(model, rc);
    mapFacet(&f);
    if (diagonal) facetOrientCcw(&f);
    if (facetAboveLimit(f)) continue;
    for (const Vec3d& v : f.v) box.add(v);
    facets[stored++] = f;
  }
  session.close();
  rc = installModelFacets(model, std::move(facets), stored, box, diagonal, false);
  return rc == kModelLoadOk ? rc : failLoad(model, rc);
}

int modelLoadFacetFileTris(ModelRec* model, const char* name) {
  FacetFileSession session;
  FacetFileHeader header{};
  int rc = openFacetFile(&session, name, &header);
  if (rc != kModelLoadOk) return failLoad(model, rc);
  const int n = header.facetCount;
  TriListPtr list(listTriNew(2 * n));
  if (!list) return failLoad(model, kModelLoadNoMemory);
  for (int i = 0; i < n; ++i) {
    Facet f;
    rc = session.readFacet(&f);
    if (rc != kModelLoadOk) return failLoad(model, rc);
    const bool triangle = facetRepeatLast(&f) == 1;
    mapFacet(&f);
    const Tri first = snappedTri(f.v[0], f.v[1], f.v[2]);
    if (listTriAppend(list.get(), &first) < 0) return failLoad(model, kModelLoadNoMemory);
    if (!triangle) {
      const Tri second = snappedTri(f.v[0], f.v[2], f.v[3]);
      if (listTriAppend(list.get(), &second) < 0) return failLoad(model, kModelLoadNoMemory);
    }
  }
  session.close();
  rc = installModelTris(model, std::move(list));
  return rc == kModelLoadOk ? rc : failLoad(model, rc);
}

int modelLoadFile(ModelRec* model, const char* name) {
  if (!kindValid(model->kind)) return kModelLoadWrongKind;
  model->maxCorners = nullptr;
  model->minCorners = nullptr;
  model->grid = nullptr;
  for (SurfaceGroup* g = model->groups; g != nullptr;) {
    SurfaceGroup* next = g->next;
    surfaceGroupFree(g);
    g = next;
  }
  model->groups = nullptr;
  const bool facets = model->kind == kModelKindFacets;
  switch (modelFileKind(name)) {
    case kModelFile3df:
      return facets ? modelLoad3dfFacets(model, name) : modelLoad3dfTris(model, name);
    case kModelFileStl:
      return facets ? modelLoadStlFacets(model, name) : modelLoadStlTris(model, name);
    default:
      return facets ? modelLoadFacetFile(model, name) : modelLoadFacetFileTris(model, name);
  }
}

int modelLoadMultiFile(ModelRec* model, const char* name, int tipMode, int /*spareArgument*/) {
  if (!kindValid(model->kind)) return kModelLoadWrongKind;
  model->maxCorners = nullptr;
  model->minCorners = nullptr;
  const bool facets = model->kind == kModelKindFacets;
  switch (modelFileKind(name)) {
    case kModelFileStl:
      return modelLoadFile(model, name);
    case kModelFile3df:
      return facets ? modelLoad3dfFacets(model, name) : modelLoad3dfTris(model, name);
    default:
      return facets ? modelLoadFacetGroups(model, name, tipMode)
                    : modelLoadFacetGroupsTris(model, name, tipMode);
  }
}

namespace {

// Part groups before clip groups: the first clip slot from the front is
// exchanged with the last part slot from the back until the two meet; empty
// slots are passed over.
void reorderSlotsPartFirst(SurfaceGroup* (&slots)[kFacetSurfaceSlots]) {
  int front = 0;
  int back = kFacetSurfaceSlots - 1;
  for (;;) {
    while (front < back && !(slots[front] != nullptr && slots[front]->clip)) ++front;
    while (back > front && !(slots[back] != nullptr && !slots[back]->clip)) --back;
    if (front >= back) break;
    std::swap(slots[front], slots[back]);
    ++front;
    --back;
  }
}

int loadFacetGroups(ModelRec* model, const char* name, int tipMode, int kind) {
  FacetFileSession session;
  int rc = session.open(name);
  if (rc != kModelLoadOk) return failLoad(model, rc);
  if (session.version() == 1) {
    session.close();
    return kind == kModelKindFacets ? modelLoadFacetFile(model, name)
                                    : modelLoadFacetFileTris(model, name);
  }
  FacetFileHeader header{};
  rc = session.readHeader(&header);
  if (rc != kModelLoadOk) return failLoad(model, rc);

  // Room per slot: its stored count + 1 facets.  A negative count cannot be
  // honoured and a slot that receives more than its room refuses the file.
  long long room[kFacetSurfaceSlots];
  for (int s = 0; s < kFacetSurfaceSlots; ++s) {
    const long long count = header.surfaces[s].facetCount;
    if (count < 0 || count + 1 > kMaxItems) return failLoad(model, kModelLoadBadFile);
    room[s] = count + 1;
  }

  struct Slots {
    SurfaceGroup* g[kFacetSurfaceSlots] = {};
    long long received[kFacetSurfaceSlots] = {};
    ~Slots() {
      for (SurfaceGroup* p : g) surfaceGroupFree(p);
    }
  } slots;
  Box box;
  const int n = header.facetCount;
  for (int i = 0; i < n; ++i) {
    Facet f;
    rc = session.readFacet(&f);
    if (rc != kModelLoadOk) return failLoad(model, rc);
    const int s = facetTagSlot(f.tag);
    if (s < 0) continue;
    if (++slots.received[s] > room[s]) return failLoad(model, kModelLoadBadFile);
    SurfaceGroup*& g = slots.g[s];
    if (g == nullptr) {
      const FacetSurfaceInfo& info = header.surfaces[s];
      if (!std::isfinite(info.allowance)) return failLoad(model, kModelLoadBadFile);
      const long long itemRoom = kind == kModelKindFacets ? room[s] : 2 * room[s];
      g = surfaceGroupNew(model, info.allowance * gOptions.lengthScale, tipMode, kind,
                          info.name[0] == '%' ? 1 : 0, static_cast<int>(itemRoom));
      if (g == nullptr) return failLoad(model, kModelLoadNoMemory);
    }
    mapFacet(&f);
    // The group's own box follows from its corners once it is complete.
    for (const Vec3d& v : f.v) box.add(v);
    if (kind == kModelKindFacets) {
      g->facets[g->facetCount++] = f;
    } else {
      const bool triangle = facetRepeatLast(&f) == 1;
      const Tri first = snappedTri(f.v[0], f.v[1], f.v[2]);
      if (listTriAppend(g->triangles, &first) < 0) return failLoad(model, kModelLoadNoMemory);
      if (!triangle) {
        const Tri second = snappedTri(f.v[0], f.v[2], f.v[3]);
        if (listTriAppend(g->triangles, &second) < 0) return failLoad(model, kModelLoadNoMemory);
      }
    }
  }
  session.close();

  reorderSlotsPartFirst(slots.g);
  for (SurfaceGroup* g : slots.g) {
    if (g != nullptr && !groupSortAndCorners(g, true)) return failLoad(model, kModelLoadNoMemory);
  }
  for (SurfaceGroup*& g : slots.g) {
    if (g == nullptr) continue;
    modelAppendGroup(model, g);
    g = nullptr;
  }
  if (box.set) {
    model->boxMin = box.lo;
    model->boxMax = box.hi;
  }
  return kModelLoadOk;
}

}  // namespace

int modelLoadFacetGroups(ModelRec* model, const char* name, int tipMode) {
  return loadFacetGroups(model, name, tipMode, kModelKindFacets);
}

int modelLoadFacetGroupsTris(ModelRec* model, const char* name, int tipMode) {
  return loadFacetGroups(model, name, tipMode, kModelKindTriangles);
}

// ---- Composite loaders ---------------------------------------------------------------

int modelLoadMerged(ModelRec* model, const char* partName, const char* extraName) {
  const int rc = modelLoadFile(model, partName);
  if (rc != kModelLoadOk) return rc;
  return appendExtraFile(model, extraName);
}

int modelLoadMultiMerged(ModelRec* model, const char* partName, const char* extraName, int tipMode,
                         int spareArgument) {
  const int rc = modelLoadMultiFile(model, partName, tipMode, spareArgument);
  if (rc != kModelLoadOk) return rc;
  return appendExtraFile(model, extraName);
}

int modelLoadWithClip(ModelRec* model, const char* partName, const char* clipName1,
                      const char* clipName2, int tipMode, double clipAllowance) {
  modelSetDiagonalBoxes(0);
  const int rc = modelAddSurfaceFile(model, partName, 0.0, tipMode, model->kind, 0);
  if (rc != 1) return rc;
  addClipFile(model, clipName1, tipMode, clipAllowance);
  addClipFile(model, clipName2, tipMode, clipAllowance);
  modelWidenBoxByGroups(model);
  return kModelLoadOk;
}

int modelLoadWithClipAndWall(ModelRec* model, const char* partName, const char* clipName1,
                             const char* clipName2, const char* wallName, int tipMode,
                             double clipAllowance, double wallAllowance) {
  const int rc = modelLoadWithClip(model, partName, clipName1, clipName2, tipMode, clipAllowance);
  if (rc != kModelLoadOk) return rc;
  if (!nameEmpty(wallName) &&
      modelAddWallFile(model, wallName, wallAllowance, tipMode, model->kind, 1) != 1) {
    reportSkipped(wallName);
  }
  return kModelLoadOk;
}

int modelLoadMultiWithClip(ModelRec* model, const char* partName, const char* clipName1,
                           const char* clipName2, int tipMode, double clipAllowance) {
  modelSetDiagonalBoxes(0);
  const int rc = modelLoadMultiFile(model, partName, tipMode, 0);
  if (rc != kModelLoadOk) return rc;
  if (!nameEmpty(clipName1)) {
    ModelRec* copy = modelWorkingCopy(model);
    if (copy == nullptr) {
      reportSkipped(clipName1);
    } else if (modelLoadMultiFile(copy, clipName1, tipMode, 0) != kModelLoadOk) {
      reportSkipped(clipName1);
      modelFreeWorkingCopy(copy);
    } else {
      // Every group of the copy moves, and its own items become one more
      // group; a group that could not be made is a lost clip surface.
      const int expected = countGroups(model) + countGroups(copy) +
                           (modelHasOwnItems(copy) && copy->kind == model->kind ? 1 : 0);
      modelMergeGroups(model, copy, tipMode, clipAllowance);
      if (countGroups(model) < expected) reportSkipped(clipName1);
      modelFreeWorkingCopy(copy);
    }
  }
  addClipFile(model, clipName2, tipMode, clipAllowance);
  modelWidenBoxByGroups(model);
  return kModelLoadOk;
}

// ---- Surface groups -------------------------------------------------------------------

int modelAddSurfaceFile(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                        int clip) {
  if (!kindValid(kind)) return kModelLoadWrongKind;
  return readSurfaceGroup(model, name, allowance, tipMode, kind, clip);
}

int modelAddWallFile(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                     int clip) {
  if (!kindValid(kind)) return kModelLoadWrongKind;
  return readWallGroup(model, name, allowance, tipMode, kind, clip);
}

int surfaceGroupReadFacets(ModelRec* model, const char* name, double allowance, int tipMode,
                           int clip) {
  return readSurfaceGroup(model, name, allowance, tipMode, kModelKindFacets, clip);
}

int surfaceGroupReadTris(ModelRec* model, const char* name, double allowance, int tipMode,
                         int clip) {
  return readSurfaceGroup(model, name, allowance, tipMode, kModelKindTriangles, clip);
}

int surfaceGroupWallFacets(ModelRec* model, const char* name, double allowance, int tipMode,
                           int clip) {
  return readWallGroup(model, name, allowance, tipMode, kModelKindFacets, clip);
}

int surfaceGroupWallTris(ModelRec* model, const char* name, double allowance, int tipMode,
                         int clip) {
  return readWallGroup(model, name, allowance, tipMode, kModelKindTriangles, clip);
}

int modelAppendSurfaces(ModelRec* model, const ModelRec* other) {
  if (model->kind != other->kind || !kindValid(model->kind)) return kModelLoadWrongKind;
  if (!modelHasOwnItems(other)) return kModelLoadOk;
  const bool hadItems = modelHasOwnItems(model) != 0;
  if (model->kind == kModelKindFacets) {
    const long long own = model->facets != nullptr ? model->facetCount : 0;
    const long long total = own + other->facetCount;
    if (total > kMaxItems) return kModelLoadNoMemory;
    const int n = static_cast<int>(total);
    MallocPtr<Facet> facets = mallocArray<Facet>(n);
    MallocPtr<Vec3d> mins = mallocArray<Vec3d>(n);
    MallocPtr<Vec3d> maxs = mallocArray<Vec3d>(n);
    if (!facets || !mins || !maxs) return kModelLoadNoMemory;
    if (own > 0) std::memcpy(facets.get(), model->facets, sizeof(Facet) * own);
    const bool diagonal = modelDiagonalBoxesOn() != 0;
    for (int i = 0; i < other->facetCount; ++i) {
      Facet f = other->facets[i];
      if (diagonal) facetOrientCcw(&f);
      facets[own + i] = f;
    }
    if (!modelSortFacets(facets.get(), n)) return kModelLoadNoMemory;
    modelFacetCorners(facets.get(), n, mins.get(), maxs.get());
    if (diagonal && modelBuildDiagonalExtents(facets.get(), n) != 1) return kModelLoadNoMemory;
    std::free(model->facets);
    std::free(model->minCorners);
    std::free(model->maxCorners);
    model->facets = facets.release();
    model->facetCount = n;
    model->minCorners = mins.release();
    model->maxCorners = maxs.release();
    if (hadItems || model->groups != nullptr) {
      modelBoxWiden(&model->boxMin, &model->boxMax, &other->boxMin);
      modelBoxWiden(&model->boxMin, &model->boxMax, &other->boxMax);
    } else {
      model->boxMin = other->boxMin;
      model->boxMax = other->boxMax;
    }
    return kModelLoadOk;
  }
  const TriList* mine = model->triangles;
  const long long own = mine != nullptr ? mine->count : 0;
  const long long total = own + other->triangles->count;
  if (total > kMaxItems) return kModelLoadNoMemory;
  const int n = static_cast<int>(total);
  TriListPtr list(listTriNew(n));
  MallocPtr<Vec3d> mins = mallocArray<Vec3d>(n);
  MallocPtr<Vec3d> maxs = mallocArray<Vec3d>(n);
  if (!list || !mins || !maxs) return kModelLoadNoMemory;
  for (int i = 0; i < own; ++i) listTriAppend(list.get(), &mine->items[i]);
  for (int i = 0; i < other->triangles->count; ++i) {
    listTriAppend(list.get(), &other->triangles->items[i]);
  }
  if (!modelSortTris(list->items, n)) return kModelLoadNoMemory;
  modelTriCorners(list->items, n, mins.get(), maxs.get());
  listPt3Free(model->triangles);
  std::free(model->minCorners);
  std::free(model->maxCorners);
  model->boxMin = Vec3d{list->minX, list->minY, list->minZ};
  model->boxMax = Vec3d{list->maxX, list->maxY, list->maxZ};
  model->triangles = list.release();
  model->minCorners = mins.release();
  model->maxCorners = maxs.release();
  return kModelLoadOk;
}
