#include "boundaries/bnd_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kLibraryName = "libqzZbnd.so";
constexpr size_t kPathCap = 1024;

using ComputeZBoundaryFn = int (*)(const char*, double, const char*);

}  // namespace

int bndLibraryPath(const char* dir, char* out, size_t cap) {
  int n = 0;
  if (dir == nullptr || dir[0] == '\0' || dir[0] == ' ') {
    n = std::snprintf(out, cap, "%s", kLibraryName);
  } else {
    const size_t len = std::strlen(dir);
    const bool sep = dir[len - 1] == '/' || dir[len - 1] == '\\';
    n = std::snprintf(out, cap, "%s%s%s", dir, sep ? "" : "/", kLibraryName);
  }
  return (n < 0 || static_cast<size_t>(n) >= cap) ? -1 : 0;
}

int bndDllComputeZBoundary(const char* dir, const char* surfaceFile, double value,
                           const char* outputFile) {
  char path[kPathCap];
  if (bndLibraryPath(dir, path, sizeof path) != 0) return -1;
  void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return -1;
  const auto fn = reinterpret_cast<ComputeZBoundaryFn>(dlsym(lib, "ComputeZBoundary"));
  const int result = fn != nullptr ? fn(surfaceFile, value, outputFile) : -1;
  dlclose(lib);
  return result;
}
