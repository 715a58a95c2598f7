#include "model/io/facet_client.h"

#include <dlfcn.h>

#include <climits>

namespace {

// Unloads the library when the call ends, whatever its outcome.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path)
      : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  void* symbol(const char* name) const { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

bool facetLibraryPath(const char* libraryDirectory, std::string* out) {
  std::string path;
  if (libraryDirectory != nullptr && libraryDirectory[0] != '\0' && libraryDirectory[0] != ' ') {
    path = libraryDirectory;
    if (path.back() != '/' && path.back() != '\\') path += '/';
  }
  path += kFacetLibraryFileName;
  if (path.size() >= static_cast<std::size_t>(PATH_MAX)) return false;
  *out = std::move(path);
  return true;
}

int poly3dfFacetKfyFile(const char* kfyFile, const char* outFile3df, const char* libraryDirectory,
                        double tolerance) {
  if (kfyFile == nullptr || outFile3df == nullptr) return kFacetLibraryUnavailable;
  std::string path;
  if (!facetLibraryPath(libraryDirectory, &path)) return kFacetLibraryUnavailable;
  LoadedLibrary library(path);
  if (!library.loaded()) return kFacetLibraryUnavailable;
  // The export is a C function; its address comes back as an object pointer.
  auto facet = reinterpret_cast<FacetKfyFileFn>(library.symbol(kFacetLibraryExport));
  if (facet == nullptr) return kFacetLibraryUnavailable;
  return facet(kfyFile, tolerance, outFile3df, kFacetLibraryMode);
}
