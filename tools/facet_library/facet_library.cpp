// Stand-in for the facetting library on Linux: the shared library
// "libkfy3dfdll.so" with the export facet_kfy_file.
//
// It facets only what needs no facetting: the surfaces of a kFY file that
// already holds their facets as polyhedra.  Every object at block depth 0 of
// the kFY file is a surface: a "Polyhedron" (with its block) is one whose
// facets the file holds; a "Pset" at depth 0 is a point set of the file, not
// a surface; any other object is a surface this stand-in cannot facet.
// Values and methods are carried along.  A file whose surfaces are all
// polyhedra is a 3DF file already, so it is copied unchanged to the output
// name once the 3DF reader has accepted it; the copy goes to a temporary name
// beside the output and is renamed into place, so a failed call never leaves
// a partial output file.  The tolerance and the mode are not needed.
//
// Results:
//   0  the 3DF file has been written
//   1  the kFY file cannot be opened, its header is not valid or its
//      elements cannot be read
//   2  the file holds no surface
//   3  the file holds a surface that cannot be faceted (a surface that is
//      not a polyhedron, or a polyhedron the 3DF reader refuses)
//   4  the output file cannot be written
//   5  a file name is null or empty
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "formats/kfy/kfy_scanner.h"
#include "model/io/poly3df_file.h"

namespace {

constexpr int kWritten = 0;
constexpr int kCannotRead = 1;
constexpr int kNoSurface = 2;
constexpr int kCannotFacet = 3;
constexpr int kCannotWrite = 4;
constexpr int kBadArguments = 5;

// Sorts the surfaces of the kFY file: kWritten when it holds polyhedra only,
// else the failure code.
int checkSurfaces(const char* kfyFile) {
  KfyHeader header;
  std::FILE* f = kfyOpenFile(kfyFile, &header);
  kfyHeaderFree(&header);
  if (f == nullptr) return kCannotRead;
  KfyElement e;
  int depth = 0;
  int polyhedra = 0;
  int others = 0;
  bool balanced = true;
  while (kfyReadElement(f, &e) == 1) {
    if (e.kind == kKfyBlockOpen) {
      ++depth;
    } else if (e.kind == kKfyBlockClose) {
      if (--depth < 0) balanced = false;
    } else if (e.kind == kKfyObject && depth == 0) {
      if (std::strcmp(e.name, "Polyhedron") == 0) {
        ++polyhedra;
      } else if (std::strcmp(e.name, "Pset") != 0) {
        ++others;
      }
    }
  }
  kfyElementClear(&e);
  // The scanner stops at the end of the file or at a malformed element.
  const bool complete = std::feof(f) != 0 && balanced && depth == 0;
  kfyCloseFile(f);
  if (!complete) return kCannotRead;
  if (others > 0) return kCannotFacet;
  if (polyhedra == 0) return kNoSurface;
  return kWritten;
}

// true when the 3DF triangle reader accepts the file.
bool readable3df(const char* name) {
  PolyTriangleSet* set = poly3dfReadTriangles(name, "CHECK", 0);
  poly3dfFreeTriangleSets(set);
  return set != nullptr;
}

// Copies the file in to out through a temporary file beside out.
bool copyFile(const char* in, const char* out) {
  std::FILE* src = std::fopen(in, "rb");
  if (src == nullptr) return false;
  std::string tmpl = std::string(out) + ".XXXXXX";
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back('\0');
  const int fd = mkstemp(tmp.data());
  if (fd < 0) {
    std::fclose(src);
    return false;
  }
  std::FILE* dst = fdopen(fd, "wb");
  if (dst == nullptr) {
    close(fd);
    std::remove(tmp.data());
    std::fclose(src);
    return false;
  }
  char buf[65536];
  bool ok = true;
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, src)) > 0) {
    if (std::fwrite(buf, 1, n, dst) != n) {
      ok = false;
      break;
    }
  }
  ok = ok && std::ferror(src) == 0;
  std::fclose(src);
  ok = std::fclose(dst) == 0 && ok;
  ok = ok && std::rename(tmp.data(), out) == 0;
  if (!ok) std::remove(tmp.data());
  return ok;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int facet_kfy_file(const char* kfyFile,
                                                                     double /*tolerance*/,
                                                                     const char* outFile3df,
                                                                     int /*mode*/) {
  if (kfyFile == nullptr || outFile3df == nullptr || kfyFile[0] == '\0' || outFile3df[0] == '\0') {
    return kBadArguments;
  }
  const int surfaces = checkSurfaces(kfyFile);
  if (surfaces != kWritten) return surfaces;
  if (!readable3df(kfyFile)) return kCannotFacet;
  return copyFile(kfyFile, outFile3df) ? kWritten : kCannotWrite;
}
