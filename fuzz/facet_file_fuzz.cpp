// Reads the input as a binary facet file of either version, header and all
// facets, as the model loader does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "model/io/facet_file.h"

namespace {

void readAll(int version, const std::string& path) {
  FacetFileReader reader(version);
  if (reader.open(path.c_str(), kFacetFileModeRead) != kFacetFileHandle) return;
  FacetFileHeader header{};
  if (reader.readHeader(kFacetFileHandle, &header) == 0) {
    Facet facet{};
    // The header's count was checked against the file size.
    for (int32_t k = 0; k < header.facetCount; ++k) {
      if (reader.readFacet(kFacetFileHandle, &facet) != 0) break;
    }
  }
  reader.close(kFacetFileHandle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzzWriteInput(data, size, "input.fct");
  double version = 0;
  facetFileVersion(path.c_str(), &version);
  readAll(1, path);
  readAll(2, path);
  return 0;
}
