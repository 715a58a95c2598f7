// Test-side writers of model files (binary facet files of both versions,
// binary STL in either byte order, ASCII STL) and a generated test surface.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "geometry/lists/lists.h"
#include "model/mesh/model.h"
#include "support/temp_dir.h"

namespace model_test {

using Bytes = std::vector<unsigned char>;

using tsupport::TempDir;

inline void writeBytes(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline void writeText(const std::string& path, const std::string& text) {
  tsupport::writeFile(path, text);
}

template <class T>
void put(Bytes& b, T v, bool bigEndian = false) {
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &v, sizeof(T));
  if (bigEndian) std::reverse(raw, raw + sizeof(T));
  b.insert(b.end(), raw, raw + sizeof(T));
}

template <class T>
void putAt(Bytes& b, std::size_t off, T v) {
  std::memcpy(b.data() + off, &v, sizeof(T));
}

// One surface descriptor of a version-2 file.
struct SurfaceDesc {
  int32_t count = 0;
  std::string name;  // up to 128 bytes; exactly 128 leaves no terminator
  double allowance = 0.0;
};

// A binary facet file of the given version.  countOverride replaces the
// header's facet count when not -1 (the default is the number of facets).
inline Bytes facetFileBytes(float version, const std::vector<Facet>& facets,
                            const std::vector<SurfaceDesc>& surfaces = {},
                            int64_t countOverride = -1) {
  Bytes b;
  put(b, version);
  Vec3d lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  for (const Facet& f : facets) {
    for (const Vec3d& v : f.v) {
      lo = Vec3d{std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = Vec3d{std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (double d : {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z}) put(b, d);
  }
  for (double d : {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2}) put(b, d);
  for (int i = 0; i < 16; ++i) put(b, i % 5 == 0 ? 1.0 : 0.0);
  const int32_t count = countOverride == -1 ? static_cast<int32_t>(facets.size())
                                            : static_cast<int32_t>(countOverride);
  put(b, count);
  if (version >= 2.0f) {
    put(b, int32_t{1300});
    put(b, int32_t{98});
    for (int s = 0; s < 7; ++s) {
      SurfaceDesc d = s < static_cast<int>(surfaces.size()) ? surfaces[s] : SurfaceDesc{};
      put(b, d.count);
      char name[128] = {};
      std::memcpy(name, d.name.data(), std::min<std::size_t>(d.name.size(), 128));
      b.insert(b.end(), name, name + 128);
      put(b, 0.0);
      put(b, d.allowance);
    }
  }
  for (const Facet& f : facets) {
    put(b, f.tag);
    for (const Vec3d& v : f.v) {
      put(b, v.x);
      put(b, v.y);
      put(b, v.z);
    }
  }
  return b;
}

inline Facet facetOf(const Tri& t, uint16_t tag = 0) {
  return Facet{tag, {t.v[0], t.v[1], t.v[2], t.v[2]}};
}

inline Vec3d unitNormal(const Tri& t) {
  const Vec3d a{t.v[1].x - t.v[0].x, t.v[1].y - t.v[0].y, t.v[1].z - t.v[0].z};
  const Vec3d b{t.v[2].x - t.v[0].x, t.v[2].y - t.v[0].y, t.v[2].z - t.v[0].z};
  Vec3d n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  const double len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (len > 0) n = Vec3d{n.x / len, n.y / len, n.z / len};
  return n;
}

// One 50-byte binary STL record with the given normal.
inline void putStlRecord(Bytes& b, const Vec3d& n, const Tri& t, bool bigEndian) {
  for (double d : {n.x, n.y, n.z}) put(b, static_cast<float>(d), bigEndian);
  for (const Vec3d& v : t.v) {
    for (double d : {v.x, v.y, v.z}) put(b, static_cast<float>(d), bigEndian);
  }
  put(b, uint16_t{0}, bigEndian);
}

// A binary STL file; the header text is padded with zeros to 80 bytes.
inline Bytes stlBinaryBytes(const std::vector<Tri>& tris, bool bigEndian,
                            const std::string& header = "binary test model",
                            int64_t countOverride = -1) {
  Bytes b(80, 0);
  std::memcpy(b.data(), header.data(), std::min<std::size_t>(header.size(), 80));
  const uint32_t count = static_cast<uint32_t>(
      countOverride == -1 ? static_cast<int64_t>(tris.size()) : countOverride);
  put(b, count, bigEndian);
  for (const Tri& t : tris) putStlRecord(b, unitNormal(t), t, bigEndian);
  return b;
}

// An ASCII STL file.  Coordinates are written with 17 significant digits, so
// they read back as exactly the same doubles.  upper writes every word in
// capitals; eol is the line end.
inline std::string stlAsciiText(const std::vector<Tri>& tris, bool upper = false,
                                const std::string& eol = "\n") {
  auto w = [&](std::string s) {
    if (upper) {
      for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
  };
  std::string out = w("solid test") + eol;
  char buf[200];
  for (const Tri& t : tris) {
    const Vec3d n = unitNormal(t);
    std::snprintf(buf, sizeof buf, " %.9g %.9g %.9g", n.x, n.y, n.z);
    out += w("  facet normal") + buf + eol + w("    outer loop") + eol;
    for (const Vec3d& v : t.v) {
      std::snprintf(buf, sizeof buf, " %.17g %.17g %.17g", v.x, v.y, v.z);
      out += w("      vertex") + buf + eol;
    }
    out += w("    endloop") + eol + w("  endfacet") + eol;
  }
  out += w("endsolid test") + eol;
  return out;
}

// Rounds every coordinate to the nearest float, so that the triangles survive
// a binary STL file unchanged.
inline Tri floatExact(Tri t) {
  // Through a float array: GCC 12 at -O2 drops the rounding of x and y when the
  // three fields are rounded in place (its SLP vectorizer).
  float f[9];
  for (int i = 0; i < 9; ++i) f[i] = static_cast<float>((&t.v[0].x)[i]);
  for (int k = 0; k < 3; ++k) t.v[k] = Vec3d{f[3 * k], f[3 * k + 1], f[3 * k + 2]};
  return t;
}

// A hemisphere of the given radius around the origin, in rings and sectors,
// with float-exact coordinates.
inline std::vector<Tri> hemisphere(double radius, int rings, int sectors) {
  const double kPi = 3.14159265358979323846;
  auto at = [&](int ring, int sector) {
    const double polar = (kPi / 2) * ring / rings;
    const double az = 2 * kPi * sector / sectors;
    return Vec3d{radius * std::sin(polar) * std::cos(az), radius * std::sin(polar) * std::sin(az),
                 radius * std::cos(polar)};
  };
  std::vector<Tri> out;
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < sectors; ++s) {
      const Vec3d a = at(r, s), b = at(r + 1, s), c = at(r + 1, s + 1), d = at(r, s + 1);
      out.push_back(floatExact(Tri{{a, b, c}}));
      if (r > 0) out.push_back(floatExact(Tri{{a, c, d}}));
    }
  }
  return out;
}

inline bool sameTri(const Tri& a, const Tri& b) { return std::memcmp(&a, &b, sizeof(Tri)) == 0; }

}  // namespace model_test
