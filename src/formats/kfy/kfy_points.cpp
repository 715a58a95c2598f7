#include "formats/kfy/kfy_points.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "formats/kfy/kfy_scanner.h"

// ---------------------------------------------------------------------------
// Coordinates

namespace {

constexpr std::size_t kCoordChars = kKfyCoordField - 1;

void copyCut(char* field, const char* text) {
  const std::size_t n = text != nullptr ? strnlen(text, kCoordChars) : 0;
  if (n > 0) std::memcpy(field, text, n);
  field[n] = '\0';
}

char* axisField(KfyCoordText& p, char axis) { return axis == 'x' ? p.x : axis == 'y' ? p.y : p.z; }

}  // namespace

void kfyElementCoordsInit(KfyElementCoords* coords, const char* xDefault, const char* yDefault,
                          const char* zDefault) {
  if (coords == nullptr) return;
  std::memset(coords, 0, sizeof(*coords));
  for (KfyCoordText* p : {&coords->p0, &coords->p1, &coords->p2}) {
    copyCut(p->x, xDefault);
    copyCut(p->y, yDefault);
    copyCut(p->z, zDefault);
  }
}

int kfyElementCoordsRead(KfyElementCoords* coords, const KfyElement* element) {
  if (coords == nullptr || element == nullptr) return 0;
  int mask = 0;
  for (const KfyAttr* a = element->attributes; a != nullptr; a = a->next) {
    if (a->key == nullptr || a->key[0] == '\0' || a->key[1] != '\0') continue;
    const char axis = a->key[0];
    if (axis == 'o') {
      copyCut(coords->name, a->value);
      continue;
    }
    if (axis != 'x' && axis != 'y' && axis != 'z') continue;
    mask |= axis == 'x' ? 1 : axis == 'y' ? 2 : 4;
    if (a->value == nullptr) continue;
    KfyCoordText* points[3] = {&coords->p0, &coords->p1, &coords->p2};
    const char* part = a->value;
    for (int k = 0; k < 3; ++k) {
      const char* slash = std::strchr(part, '/');
      const std::size_t length =
          slash != nullptr ? static_cast<std::size_t>(slash - part) : std::strlen(part);
      // An empty part keeps the field; so does a part that does not fit,
      // since cutting a number changes its value.
      if (length > 0 && length <= kCoordChars) {
        char* field = axisField(*points[k], axis);
        std::memcpy(field, part, length);
        field[length] = '\0';
      }
      if (slash == nullptr) break;
      part = slash + 1;
    }
  }
  return mask;
}

// ---------------------------------------------------------------------------
// Point sets

namespace {

constexpr int64_t kSetStep = 16;
// Extra room the dense array of a set may have beyond twice its number of
// puts; ids far beyond that go to the sparse map.
constexpr int64_t kDenseSlack = 16;

int32_t clampCapacity(int64_t n) {
  constexpr int64_t kMax = (INT32_MAX / kSetStep) * kSetStep;
  return static_cast<int32_t>(n > kMax ? kMax : n);
}

int64_t roundUp16(int64_t n) { return (n + kSetStep - 1) / kSetStep * kSetStep; }

int64_t growthStep(int64_t capacity) {
  if (capacity < 64) return 16;
  if (capacity < 256) return 64;
  if (capacity < 2048) return 256;
  return 2048;
}

// The dense capacity that holds index j, following the growth steps.
int64_t denseTarget(const KfyPointSet& set, int64_t j) {
  if (set.points == nullptr) return roundUp16(j + 1);
  int64_t capacity = set.capacity;
  while (capacity < j + 1 && growthStep(capacity) < 2048) capacity += growthStep(capacity);
  // From here on every step is 2048: add them all at once.
  if (capacity < j + 1) capacity += (j + 1 - capacity + 2047) / 2048 * 2048;
  return capacity;
}

// Grows the dense array of set to hold index j.  On failure the old array
// and its points stay as they were.
bool growDense(KfyPointSet& set, int64_t j, KfyReallocFn reallocFn) {
  const int64_t target = denseTarget(set, j);
  if (target > INT32_MAX) return false;
  void* block = reallocFn(set.points, static_cast<std::size_t>(target) * sizeof(double[3]));
  if (block == nullptr) return false;
  auto* points = static_cast<double(*)[3]>(block);
  std::memset(points + set.capacity, 0,
              static_cast<std::size_t>(target - set.capacity) * sizeof(double[3]));
  set.points = points;
  set.capacity = static_cast<int32_t>(target);
  // Points that were kept apart move into the dense range they now fall in.
  const auto end = set.farPoints.lower_bound(set.capacity);
  for (auto it = set.farPoints.begin(); it != end; ++it) {
    std::memcpy(set.points[it->first], it->second.data(), sizeof(double[3]));
  }
  set.farPoints.erase(set.farPoints.begin(), end);
  return true;
}

void* defaultRealloc(void* block, std::size_t bytes) { return std::realloc(block, bytes); }

}  // namespace

KfyPointSet::~KfyPointSet() { std::free(points); }

KfyPointSets* kfyPointSetsGrow(KfyPointSets* sets, int32_t n) {
  if (sets == nullptr) {
    sets = new (std::nothrow) KfyPointSets;
    if (sets == nullptr) return nullptr;
    sets->capacity = n > 0 ? clampCapacity(roundUp16(n)) : 0;
    return sets;
  }
  if (sets->capacity < n) sets->capacity = clampCapacity(roundUp16(n));
  return sets;
}

int kfyPointSetsPut(KfyPointSets* sets, int32_t i, int32_t j, double x, double y, double z) {
  if (sets == nullptr || i < 0 || j < 0) return 0;
  if (i >= sets->capacity) kfyPointSetsGrow(sets, i == INT32_MAX ? INT32_MAX : i + 1);
  try {
    const auto [it, created] = sets->entries.try_emplace(i);
    KfyPointSet& set = it->second;
    bool stored = false;
    if (j < set.capacity) {
      stored = true;
    } else if (denseTarget(set, j) <= 2 * (set.putCount + 1) + kDenseSlack) {
      stored = growDense(set, j, sets->reallocFn != nullptr ? sets->reallocFn : defaultRealloc);
    } else {
      set.farPoints[j] = {x, y, z};
      stored = true;
    }
    if (!stored) {
      // Keep the table as it was: a set that only this put created goes.
      if (created) sets->entries.erase(it);
      return 0;
    }
    if (j < set.capacity) {
      set.points[j][0] = x;
      set.points[j][1] = y;
      set.points[j][2] = z;
    }
    ++set.putCount;
    if (j > set.maxIndex) set.maxIndex = j;
    if (i > sets->maxIndex) sets->maxIndex = i;
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int kfyPointSetsGet(const KfyPointSets* sets, int32_t i, int32_t j, double* x, double* y,
                    double* z) {
  if (sets == nullptr || sets->entries.empty() || i < 0 || j < 0 || i > sets->maxIndex) {
    return 0;
  }
  const double* point = nullptr;
  const auto it = sets->entries.find(i);
  if (it == sets->entries.end()) {
    // A set never written has only index 0, which reads as zeros.
    if (j > 0) return 0;
  } else {
    const KfyPointSet& set = it->second;
    if (j > set.maxIndex) return 0;
    if (j < set.capacity) {
      point = set.points[j];
    } else {
      const auto far = set.farPoints.find(j);
      if (far != set.farPoints.end()) point = far->second.data();
    }
  }
  if (x != nullptr) *x = point != nullptr ? point[0] : 0.0;
  if (y != nullptr) *y = point != nullptr ? point[1] : 0.0;
  if (z != nullptr) *z = point != nullptr ? point[2] : 0.0;
  return 1;
}

void kfyPointSetsFree(KfyPointSets* sets) { delete sets; }

// ---------------------------------------------------------------------------
// Compact numbers

namespace {

KfyNumberCodec gCodec;

constexpr double kScaleMin = 1e-10;

int32_t digitOf(const KfyNumberCodec& codec, char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 128 ? codec.digitMap[u] : 0;
}

std::string_view viewOf(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

}  // namespace

void kfyCodecSetAlphabet(KfyNumberCodec* codec, std::string_view text) {
  if (codec == nullptr) return;
  std::memset(codec->digitMap, 0, sizeof(codec->digitMap));
  const std::size_t length = text.size() < kKfyAlphabetMax ? text.size() : kKfyAlphabetMax;
  for (std::size_t k = 0; k < length; ++k) {
    const unsigned char u = static_cast<unsigned char>(text[k]);
    if (u < 128) codec->digitMap[u] = static_cast<int32_t>(k);
  }
  codec->alphabetLength = static_cast<int32_t>(length);
  codec->radix = codec->alphabetLength;
  codec->radixReal = codec->radix;
}

void kfyCodecSetScale(KfyNumberCodec* codec, double scale, int radix) {
  if (codec == nullptr) return;
  if (std::fabs(scale) > kScaleMin) codec->divisor = scale;
  if (radix > 0 && radix <= codec->alphabetLength) {
    codec->radix = radix;
    codec->radixReal = radix;
  }
}

double kfyCodecDecodeReal(const KfyNumberCodec& codec, std::string_view text, bool* ok) {
  if (ok != nullptr) *ok = true;
  if (text.size() < 2 || text[0] == '*') return 0.0;
  double value = 0.0;
  for (std::size_t k = 1; k < text.size(); ++k) {
    value = value * codec.radixReal + digitOf(codec, text[k]);
  }
  double result = value / codec.divisor;
  if (text[0] == '-') result = -result;
  if (!std::isfinite(result)) {
    if (ok != nullptr) *ok = false;
    return 0.0;
  }
  return result;
}

int kfyCodecDecodeInt(const KfyNumberCodec& codec, std::string_view text, bool* ok) {
  if (ok != nullptr) *ok = true;
  int64_t value = 0;
  for (const char c : text) {
    value = value * codec.radix + digitOf(codec, c);
    if (value > INT32_MAX) {
      if (ok != nullptr) *ok = false;
      return 0;
    }
  }
  return static_cast<int>(value);
}

KfyNumberCodec* kfyCodecGlobal() { return &gCodec; }

void kfyCodecSetAlphabet(const char* text) { kfyCodecSetAlphabet(&gCodec, viewOf(text)); }

void kfyCodecSetScale(double scale, int radix) { kfyCodecSetScale(&gCodec, scale, radix); }

double kfyCodecDecodeReal(const char* text, bool* ok) {
  return kfyCodecDecodeReal(gCodec, viewOf(text), ok);
}

int kfyCodecDecodeInt(const char* text, bool* ok) {
  return kfyCodecDecodeInt(gCodec, viewOf(text), ok);
}
