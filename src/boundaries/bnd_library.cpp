#include "boundaries/bnd_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kLibraryName = "libqzZbnd.so";
constexpr size_t kPathCap = 1024;

using ComputeZBoundaryFn = int (*)(const char*, double, const char*);
using OffsetBoundaryFn = int (*)(const char*, const char*, const void*, double, const char*,
                                 const char*);
using OutLineBoundaryFn = int (*)(const char*, double, const char*);
using SetTransformationFn = int (*)(double, double*, double*, double*, double*);
using AllowBackdraftFn = int (*)(int);

BndLibraryTransform gTransform{};
int gAllowBackdraft = 0;

// The library of dir, loaded, or null.
void* loadLibrary(const char* dir) {
  char path[kPathCap];
  if (bndLibraryPath(dir, path, sizeof path) != 0) return nullptr;
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

template <typename Fn>
Fn entry(void* lib, const char* name) {
  return reinterpret_cast<Fn>(dlsym(lib, name));
}

// Hands the library the stored transformation when it takes one: the
// entry's result, or 0 when it is not exported.
int setTransformation(void* lib) {
  const auto fn = entry<SetTransformationFn>(lib, "SetTransformation");
  if (fn == nullptr) return 0;
  BndLibraryTransform t = gTransform;
  return fn(t.scale, t.origin, t.xAxis, t.yAxis, t.zAxis);
}

void allowBackdraft(void* lib) {
  if (gAllowBackdraft == 0) return;
  if (const auto fn = entry<AllowBackdraftFn>(lib, "AllowBackdraft")) fn(1);
}

}  // namespace

void bndLibrarySetTransform(const BndLibraryTransform& t) { gTransform = t; }

void bndDllSetAllowBackdraft(int on) { gAllowBackdraft = on; }

void bndLibraryReset() {
  gTransform = BndLibraryTransform{};
  gAllowBackdraft = 0;
}

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
  void* lib = loadLibrary(dir);
  if (lib == nullptr) return -1;
  setTransformation(lib);
  const auto fn = entry<ComputeZBoundaryFn>(lib, "ComputeZBoundary");
  const int result = fn != nullptr ? fn(surfaceFile, value, outputFile) : -1;
  dlclose(lib);
  return result;
}

int bndDllOffsetBoundary(const char* dir, const char* kfyFile, const char* file3df,
                         const void* tool, double value, const char* inputBnd,
                         const char* outputBnd) {
  void* lib = loadLibrary(dir);
  if (lib == nullptr) return -1;
  int result = setTransformation(lib);
  allowBackdraft(lib);
  if (const auto fn = entry<OffsetBoundaryFn>(lib, "OffsetBoundary")) {
    result = fn(kfyFile, file3df, tool, value, inputBnd, outputBnd);
  }
  dlclose(lib);
  return result;
}

int bndDllOutlineBoundary(const char* dir, const char* file3df, double step,
                          const char* outputBnd) {
  void* lib = loadLibrary(dir);
  if (lib == nullptr) return -1;
  int result = setTransformation(lib);
  allowBackdraft(lib);
  if (const auto fn = entry<OutLineBoundaryFn>(lib, "OutLineBoundary")) {
    result = fn(file3df, step, outputBnd);
  }
  dlclose(lib);
  return result;
}
