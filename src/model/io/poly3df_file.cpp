#include "model/io/poly3df_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/kfy/kfy_reader.h"
#include "geometry/frame/working_frame.h"
#include "model/io/model_file_codec.h"

namespace {

// The default digit alphabet and radix of compact numbers.
constexpr char kDefaultAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!#$%&?@_|~";
constexpr int kDefaultRadix = 10;
// A scale of at most this size leaves the divisor as it was.
constexpr double kScaleMin = 1e-10;
// Point-set ids from here on stand for "no point set" (and "ended").
constexpr int32_t kNoPointSet = 30000000;
constexpr int32_t kEndedPointSet = 30000001;
// References of a face that are looked at, and the most vertices a face may
// have.
constexpr int kFaceRefsMax = 32;
constexpr int kFaceVerticesMax = 4;
// Capacity hints of a file (face counts) are only hints: the lists grow as
// needed, so a hostile hint never costs more than this many items up front.
constexpr std::size_t kCapacityHintMax = 1 << 16;

struct ReaderSettings {
  Mat4 polyInverse;
  double scale[3] = {1.0, 1.0, 1.0};
  Poly3dfFaceFilter filter = nullptr;
  ReaderSettings() { mat4Identity(&polyInverse); }
};

ReaderSettings& settings() {
  static ReaderSettings s;
  return s;
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// A decimal number filling the whole text (blanks around it allowed, a
// leading "+" too).  false for anything else.
template <class T>
bool parseDecimal(std::string_view s, T* out) {
  s = trimBlanks(s);
  if (s.size() > 1 && s.front() == '+' && s[1] != '-') s.remove_prefix(1);
  if (s.empty()) return false;
  T v{};
  std::from_chars_result r;
  if constexpr (std::is_floating_point_v<T>) {
    r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  } else {
    r = std::from_chars(s.data(), s.data() + s.size(), v);
  }
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  *out = v;
  return true;
}

std::string_view textOf(const char* s) { return s ? std::string_view(s) : std::string_view(); }

// One stored point per (set, point) id pair.  Sparse, so that huge ids in a
// file cost no more than small ones, and a lookup tells a point never stored
// from one stored at the origin.
class PointStore {
 public:
  void put(int32_t set, int32_t point, const Vec3d& p) { points_[key(set, point)] = p; }
  const Vec3d* find(int32_t set, int32_t point) const {
    const auto it = points_.find(key(set, point));
    return it == points_.end() ? nullptr : &it->second;
  }

 private:
  static uint64_t key(int32_t set, int32_t point) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(set)) << 32) | static_cast<uint32_t>(point);
  }
  std::unordered_map<uint64_t, Vec3d> points_;
};

struct FaceRef {
  int32_t set;
  int32_t point;
  bool operator==(const FaceRef&) const = default;
};

// The faces of one polyhedron while the file is read.
template <class Item>
struct PolyFaceList {
  std::string name;
  int added = 0;
  std::vector<Item> items;
};

// One parse of a 3DF file into the face lists of its polyhedra.  Item is Facet
// or Tri: the facet reader keeps faces whole, the triangle reader splits
// quadrangles.
template <class Item>
class Poly3dfParse {
 public:
  explicit Poly3dfParse(Poly3dfFaceFilter filter) : filter_(filter) {
    kfyElementCoordsInit(&coords_, nullptr, nullptr, nullptr);
  }

  // true when the file was read whole and made sense.
  bool run(const char* fileName) {
    KfyParser* parser = kfyParserNew(this, &onValue, &onOpen, &onClose);
    if (parser == nullptr) return false;
    bool ok = kfyParserOnObject(parser, "Polyhedron", &onPolyhedron) &&
              kfyParserOnObject(parser, "Pset", &onPset) &&
              kfyParserOnObject(parser, "P", &onPointObject) &&
              kfyParserOnObject(parser, "Face", &onFaceObject) &&
              kfyParserOnMethod(parser, "P", &onPointMethod) &&
              kfyParserOnMethod(parser, "V", &onFaceMethod);
    // A handler that fails, or a malformed element, stops the parse with 0.  A
    // file whose blocks do not close, or whose last polyhedron never got its
    // block, was cut short.
    ok = ok && kfyParserRun(fileName, parser, nullptr) == 1 && !failed_ && depth_ == 0 &&
         !polyPending_;
    kfyParserFree(parser);
    return ok;
  }

  // The polyhedra in the order they were started.
  std::vector<PolyFaceList<Item>> polys;

 private:
  static Poly3dfParse* self(void* user) { return static_cast<Poly3dfParse*>(user); }

  // Every handler turns an exception (no memory) into a failed parse.
  template <class Fn>
  static int guarded(void* user, Fn fn) {
    try {
      return fn(self(user)) ? 1 : self(user)->fail();
    } catch (const std::bad_alloc&) {
      return self(user)->fail();
    }
  }

  int fail() {
    failed_ = true;
    return 0;
  }

  static int onValue(KfyElement* e, KfyValueStore* store, void* user) {
    kfyStoreSet(store, e->name, e->text);
    return guarded(user,
                   [e](Poly3dfParse* p) { return p->value(textOf(e->name), textOf(e->text)); });
  }

  bool value(std::string_view name, std::string_view text) {
    if (name == "chrTab") {
      alphabet_ = text;
    } else if (name == "base") {
      int radix = 0;
      radix_ = parseDecimal(text, &radix) ? radix : 0;
    } else if (name == "scale") {
      double s = 0;
      if (parseDecimal(text, &s) && std::isfinite(s) && std::fabs(s) > kScaleMin) scale_ = s;
    } else if (name == "increment") {
      increment_ = modelEqualsNoCase(trimBlanks(text), "true");
    }
    return true;
  }

  static int onOpen(KfyElement*, KfyValueStore* store, void* user) {
    kfyStorePushScope(store);
    Poly3dfParse* p = self(user);
    ++p->depth_;
    if (p->psetPending_) {
      p->psetBlockDepth_ = p->depth_;
      p->psetPending_ = false;
    }
    if (p->polyPending_) {
      p->polyBlockDepth_ = p->depth_;
      p->polyPending_ = false;
    }
    return 1;
  }

  static int onClose(KfyElement*, KfyValueStore* store, void* user) {
    kfyStorePopScope(store);
    Poly3dfParse* p = self(user);
    if (p->depth_ == 0) return p->fail();  // a "}" without its "{"
    if (p->depth_ == p->psetBlockDepth_) {
      p->currentSet_ = kEndedPointSet;
      p->psetBlockDepth_ = -1;
    }
    if (p->depth_ == p->polyBlockDepth_) {
      // The polyhedron's own points end with its block; its faces stay.
      p->privateStore_.reset();
      p->polyBlockDepth_ = -1;
      p->polys.back().items.shrink_to_fit();
    }
    --p->depth_;
    return 1;
  }

  static int onPolyhedron(KfyElement* e, KfyValueStore*, void* user) {
    return guarded(user, [e](Poly3dfParse* p) {
      PolyFaceList<Item>& list = p->polys.emplace_back();
      list.name = textOf(e->text);
      for (const KfyAttr* a = e->attributes; a != nullptr; a = a->next) {
        int hint = 0;
        if (textOf(a->key) == "nFace" && parseDecimal(textOf(a->value), &hint) && hint > 0) {
          list.items.reserve(std::min<std::size_t>(hint, kCapacityHintMax));
        }
      }
      p->privateStore_ = std::make_unique<PointStore>();
      p->polyPending_ = true;
      p->polyBlockDepth_ = -1;
      p->pointsSincePoly_ = 0;
      return true;
    });
  }

  static int onPset(KfyElement* e, KfyValueStore*, void* user) {
    Poly3dfParse* p = self(user);
    int32_t id = 0;
    p->currentSet_ = parseDecimal(textOf(e->text), &id) && id >= 0 ? id : kNoPointSet;
    // Points of the set are kept only when the set lies inside a block.
    p->psetInBlock_ = p->depth_ > 0;
    p->psetPending_ = true;
    p->psetBlockDepth_ = -1;
    return 1;
  }

  PointStore& store() { return privateStore_ ? *privateStore_ : fileStore_; }

  // The axis text of a "P" object: empty (never given) counts as 0.
  static bool axisValue(const char* text, double* out) {
    if (trimBlanks(textOf(text)).empty()) {
      *out = 0.0;
      return true;
    }
    return parseDecimal(textOf(text), out) && std::isfinite(*out);
  }

  static int onPointObject(KfyElement* e, KfyValueStore*, void* user) {
    return guarded(user, [e](Poly3dfParse* p) {
      // The axes are taken even when the point is not stored: a later point
      // that leaves an axis out keeps this one's value.
      kfyElementCoordsRead(&p->coords_, e);
      const bool inSet = p->psetBlockDepth_ > 0 && p->depth_ >= p->psetBlockDepth_ &&
                         p->psetInBlock_ && p->currentSet_ < kNoPointSet;
      int32_t id = 0;
      if (!inSet || !parseDecimal(textOf(e->text), &id)) return true;
      Vec3d v;
      if (!axisValue(p->coords_.p0.x, &v.x) || !axisValue(p->coords_.p0.y, &v.y) ||
          !axisValue(p->coords_.p0.z, &v.z)) {
        return false;
      }
      p->store().put(p->currentSet_, id, v);
      ++p->pointsSincePoly_;
      return true;
    });
  }

  void applyCodec() {
    kfyCodecSetAlphabet(&codec_, alphabet_);
    kfyCodecSetScale(&codec_, scale_, radix_);
  }

  // The body of a method: kept in the element, or (when long) read from the
  // file up to its ")".
  static std::string methodBody(const KfyElement* e) {
    if (e->attributes != nullptr) return std::string(textOf(e->attributes->value));
    std::string body;
    if (e->bodyFile != nullptr && e->bodyStart >= 0) {
      for (int c = std::fgetc(e->bodyFile); c != EOF && c != ')'; c = std::fgetc(e->bodyFile)) {
        body.push_back(static_cast<char>(c));
      }
    }
    return body;
  }

  static int onPointMethod(KfyElement* e, KfyValueStore*, void* user) {
    return guarded(user, [e](Poly3dfParse* p) { return p->packedPoints(e); });
  }

  bool packedPoints(const KfyElement* e) {
    int32_t set = 0;
    if (!parseDecimal(textOf(e->text), &set)) set = 0;
    currentSet_ = set;
    applyCodec();
    const std::string body = methodBody(e);
    auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    auto startsNumber = [](char c) { return c == '+' || c == '-' || c == '*'; };
    double xyz[3];
    int axis = 0;
    int32_t id = 0;
    Vec3d last{0, 0, 0};
    std::size_t i = 0;
    while (i < body.size()) {
      if (isSeparator(body[i])) {
        ++i;
        continue;
      }
      // A number is its sign character and the digits up to a separator or the
      // next sign.
      const std::size_t start = i++;
      while (i < body.size() && !isSeparator(body[i]) && !startsNumber(body[i])) ++i;
      bool ok = false;
      xyz[axis] = kfyCodecDecodeReal(codec_, std::string_view(body).substr(start, i - start), &ok);
      if (!ok) return false;
      if (++axis < 3) continue;
      axis = 0;
      Vec3d v{xyz[0], xyz[1], xyz[2]};
      if (increment_ && id > 0) v = Vec3d{last.x + v.x, last.y + v.y, last.z + v.z};
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
      store().put(set, ++id, v);
      ++pointsSincePoly_;
      last = v;
    }
    return true;
  }

  static int onFaceObject(KfyElement* e, KfyValueStore*, void* user) {
    return guarded(user, [e](Poly3dfParse* p) {
      std::vector<FaceRef>& refs = p->refs_;
      refs.clear();
      for (const KfyAttr* a = e->attributes; a != nullptr; a = a->next) {
        if (textOf(a->key) != "vx") continue;
        const std::string_view v = textOf(a->value);
        const std::size_t slash = v.find('/');
        const std::string_view setPart = v.substr(0, slash);
        const std::string_view pointPart =
            slash == std::string_view::npos ? std::string_view() : v.substr(slash + 1);
        if (!p->decimalRefPart(setPart, &p->prevSet_) ||
            !p->decimalRefPart(pointPart, &p->prevPoint_)) {
          return false;
        }
        refs.push_back(FaceRef{p->prevSet_, p->prevPoint_});
      }
      return p->face(refs);
    });
  }

  // An empty part keeps the previous value.
  static bool decimalRefPart(std::string_view part, int32_t* value) {
    if (trimBlanks(part).empty()) return true;
    return parseDecimal(part, value);
  }

  static int onFaceMethod(KfyElement* e, KfyValueStore*, void* user) {
    return guarded(user, [e](Poly3dfParse* p) {
      p->applyCodec();
      std::string body = methodBody(e);
      std::erase_if(body, [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
      std::vector<FaceRef>& refs = p->refs_;
      refs.clear();
      std::size_t start = 0;
      for (int part = 0; start <= body.size(); ++part) {
        std::size_t end = body.find('/', start);
        if (end == std::string::npos) end = body.size();
        const std::string_view text = std::string_view(body).substr(start, end - start);
        int32_t* target = part % 2 == 0 ? &p->prevSet_ : &p->prevPoint_;
        if (!text.empty()) {
          bool ok = false;
          *target = kfyCodecDecodeInt(p->codec_, text, &ok);
          if (!ok) return false;
        }
        if (part % 2 == 1) refs.push_back(FaceRef{p->prevSet_, p->prevPoint_});
        start = end + 1;
      }
      return p->face(refs);
    });
  }

  // Adds one face to the current polyhedron; false when the file must fail.
  bool face(const std::vector<FaceRef>& refs) {
    // At most kFaceRefsMax references count, so fixed arrays hold a face.
    std::array<FaceRef, kFaceRefsMax> distinct;
    int n = 0;
    for (std::size_t i = 0; i < refs.size() && i < distinct.size(); ++i) {
      if (std::find(distinct.begin(), distinct.begin() + n, refs[i]) == distinct.begin() + n) {
        distinct[n++] = refs[i];
      }
    }
    if (n < 3) return true;
    std::array<Vec3d, kFaceRefsMax> v;
    std::array<double, kFaceRefsMax> x, y, z;
    for (int k = 0; k < n; ++k) {
      const Vec3d* point = store().find(distinct[k].set, distinct[k].point);
      if (point == nullptr) return false;
      v[k] = *point;
      x[k] = point->x;
      y[k] = point->y;
      z[k] = point->z;
    }
    if constexpr (std::is_same_v<Item, Facet>) {
      if (filter_ != nullptr && filter_(n, x.data(), y.data(), z.data()) == 0) return true;
    }
    if (n > kFaceVerticesMax) return false;
    if (polys.empty()) return true;  // no polyhedron to hold it
    PolyFaceList<Item>& list = polys.back();
    if constexpr (std::is_same_v<Item, Facet>) {
      list.items.push_back(Facet{0, {v[0], v[1], v[2], n == 4 ? v[3] : v[2]}});
    } else {
      if (list.added == 0 && pointsSincePoly_ > 0) {
        list.items.reserve(std::min<std::size_t>(pointsSincePoly_, kCapacityHintMax));
      }
      list.items.push_back(Tri{{v[0], v[1], v[2]}});
      if (n == 4) list.items.push_back(Tri{{v[2], v[3], v[0]}});
    }
    ++list.added;
    return true;
  }

  Poly3dfFaceFilter filter_;
  bool failed_ = false;
  int depth_ = 0;
  // Compact numbers.
  std::string alphabet_ = kDefaultAlphabet;
  int radix_ = kDefaultRadix;
  double scale_ = 1.0;
  bool increment_ = false;
  KfyNumberCodec codec_;
  // Point sets.
  int32_t currentSet_ = kNoPointSet;
  bool psetPending_ = false;
  bool psetInBlock_ = false;
  int psetBlockDepth_ = -1;
  PointStore fileStore_;
  std::unique_ptr<PointStore> privateStore_;
  bool polyPending_ = false;
  int polyBlockDepth_ = -1;
  long long pointsSincePoly_ = 0;
  KfyElementCoords coords_;
  int32_t prevSet_ = 0;
  int32_t prevPoint_ = 0;
  // The references of the face being read (reused from face to face).
  std::vector<FaceRef> refs_;
};

// File coordinates to working coordinates: inverse polyhedron frame, ScaleXYZ,
// then the working frame when it is active.  false when the result is not a
// finite point.
bool mapVertex(Vec3d* p) {
  const ReaderSettings& s = settings();
  mat4ApplyPoint(p, &s.polyInverse, p);
  p->x *= s.scale[0];
  p->y *= s.scale[1];
  p->z *= s.scale[2];
  if (frameCurrent().frameActive) framePtWorldToTool(p);
  return std::isfinite(p->x) && std::isfinite(p->y) && std::isfinite(p->z);
}

void copyName(char (&dst)[kPoly3dfNameSize], const char* src) {
  std::snprintf(dst, sizeof dst, "%s", src ? src : "");
}

template <class Item>
std::size_t totalItems(const std::vector<PolyFaceList<Item>>& polys) {
  std::size_t n = 0;
  for (const auto& p : polys) n += p.items.size();
  return n;
}

}  // namespace

FacetList* facetListNew(int n) {
  auto* list = static_cast<FacetList*>(std::malloc(sizeof(FacetList)));
  if (list == nullptr) return nullptr;
  list->count = 0;
  list->capacity = std::max(n, 2);
  list->boxMin = Vec3d{kModelEmptyBox, kModelEmptyBox, kModelEmptyBox};
  list->boxMax = Vec3d{-kModelEmptyBox, -kModelEmptyBox, -kModelEmptyBox};
  list->items = static_cast<Facet*>(std::malloc(sizeof(Facet) * list->capacity));
  if (list->items == nullptr) {
    std::free(list);
    return nullptr;
  }
  return list;
}

void facetListFree(FacetList* list) {
  if (list == nullptr) return;
  std::free(list->items);
  std::free(list);
}

void poly3dfFreeFacetSets(PolyFacetSet* chain) {
  while (chain != nullptr) {
    PolyFacetSet* next = chain->next;
    facetListFree(chain->facets);
    std::free(chain->minCorners);
    std::free(chain->maxCorners);
    std::free(chain);
    chain = next;
  }
}

void poly3dfFreeTriangleSets(PolyTriangleSet* chain) {
  while (chain != nullptr) {
    PolyTriangleSet* next = chain->next;
    listPt3Free(chain->triangles);
    std::free(chain->minCorners);
    std::free(chain->maxCorners);
    std::free(chain);
    chain = next;
  }
}

PolyFacetSet* poly3dfReadFacets(const char* fileName, const char* setName, int value,
                                int withDiagonals) {
  if (fileName == nullptr) return nullptr;
  PolyFacetSet* set = nullptr;
  try {
    Poly3dfParse<Facet> parse(settings().filter);
    if (!parse.run(fileName) || parse.polys.empty()) return nullptr;
    const std::size_t total = totalItems(parse.polys);
    if (total > static_cast<std::size_t>(INT32_MAX / 2)) return nullptr;
    const int n = static_cast<int>(total);

    set = static_cast<PolyFacetSet*>(std::calloc(1, sizeof(PolyFacetSet)));
    if (set == nullptr) return nullptr;
    copyName(set->name, setName);
    set->value = value;
    set->facets = facetListNew(n);
    set->minCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * std::max(n, 1)));
    set->maxCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * std::max(n, 1)));
    if (withDiagonals) {
      set->diagMin = static_cast<double*>(std::malloc(sizeof(double) * 2 * std::max(n, 1)));
      set->diagMax = static_cast<double*>(std::malloc(sizeof(double) * 2 * std::max(n, 1)));
    }
    FacetList* list = set->facets;
    bool ok = list != nullptr && set->minCorners != nullptr && set->maxCorners != nullptr &&
              (!withDiagonals || (set->diagMin != nullptr && set->diagMax != nullptr));
    // The most recently started polyhedron first.
    for (auto p = parse.polys.rbegin(); ok && p != parse.polys.rend(); ++p) {
      for (const Facet& f : p->items) list->items[list->count++] = f;
      std::vector<Facet>().swap(p->items);
    }
    const bool orient = withDiagonals && frameCurrent().frameActive;
    for (int i = 0; ok && i < n; ++i) {
      Facet& f = list->items[i];
      for (int k = 0; k < 4; ++k) {
        ok = ok && mapVertex(&f.v[k]);
        // The box starts at the first vertex: the new list's sentinels would
        // cap it for a model beyond them.
        if (i == 0 && k == 0) list->boxMin = list->boxMax = f.v[0];
        modelBoxWiden(&list->boxMin, &list->boxMax, &f.v[k]);
      }
      if (orient) facetOrientCcw(&f);
    }
    ok = ok && modelSortFacets(list->items, n);
    if (!ok) {
      std::free(set->diagMin);
      std::free(set->diagMax);
      poly3dfFreeFacetSets(set);
      return nullptr;
    }
    modelFacetCorners(list->items, n, set->minCorners, set->maxCorners);
    if (withDiagonals) modelFacetDiagExtents(list->items, n, set->diagMin, set->diagMax);
    return set;
  } catch (const std::bad_alloc&) {
    if (set != nullptr) {
      std::free(set->diagMin);
      std::free(set->diagMax);
    }
    poly3dfFreeFacetSets(set);
    return nullptr;
  }
}

PolyTriangleSet* poly3dfReadTriangles(const char* fileName, const char* setName, int value) {
  if (fileName == nullptr) return nullptr;
  PolyTriangleSet* set = nullptr;
  try {
    Poly3dfParse<Tri> parse(nullptr);
    if (!parse.run(fileName) || parse.polys.empty()) return nullptr;
    const std::size_t total = totalItems(parse.polys);
    if (total > static_cast<std::size_t>(INT32_MAX / 2)) return nullptr;
    const int n = static_cast<int>(total);

    set = static_cast<PolyTriangleSet*>(std::calloc(1, sizeof(PolyTriangleSet)));
    if (set == nullptr) return nullptr;
    copyName(set->name, setName);
    set->value = value;
    set->triangles = listTriNew(n);
    set->minCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * std::max(n, 1)));
    set->maxCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * std::max(n, 1)));
    TriList* list = set->triangles;
    bool ok = list != nullptr && set->minCorners != nullptr && set->maxCorners != nullptr;
    for (auto p = parse.polys.rbegin(); ok && p != parse.polys.rend(); ++p) {
      for (Tri t : p->items) {
        for (Vec3d& v : t.v) ok = ok && mapVertex(&v);
        // The list's own append keeps its box.
        ok = ok && listTriAppend(list, &t) > 0;
        if (ok) triTopVertexFirst(&list->items[list->count - 1]);
      }
      std::vector<Tri>().swap(p->items);
    }
    ok = ok && modelSortTris(list->items, n);
    if (!ok) {
      poly3dfFreeTriangleSets(set);
      return nullptr;
    }
    modelTriCorners(list->items, n, set->minCorners, set->maxCorners);
    return set;
  } catch (const std::bad_alloc&) {
    poly3dfFreeTriangleSets(set);
    return nullptr;
  }
}

void poly3dfSetScaleXYZ(double x, double y, double z) {
  settings().scale[0] = x;
  settings().scale[1] = y;
  settings().scale[2] = z;
}

void poly3dfSetFaceFilter(Poly3dfFaceFilter filter) { settings().filter = filter; }

void poly3dfClearFaceFilter() { settings().filter = nullptr; }

void poly3dfSetPolyFrameInverse(const Mat4* inverse) {
  if (inverse != nullptr) {
    settings().polyInverse = *inverse;
  } else {
    mat4Identity(&settings().polyInverse);
  }
}
