#include "fuzz_input.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

namespace {

std::string gDir;

void removeDir() {
  std::error_code ignored;
  std::filesystem::remove_all(gDir, ignored);
}

const std::string& workDir() {
  if (gDir.empty()) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tessaro_fuzz_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    gDir = pattern;
    std::atexit(removeDir);
  }
  return gDir;
}

}  // namespace

std::string fuzzWriteInput(const uint8_t* data, std::size_t size, const char* name) {
  const std::string path = workDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}
