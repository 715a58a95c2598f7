// Reads the input as an STL file, through the format probe and through
// both readers directly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "geometry/lists/lists.h"
#include "model/io/stl_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzzWriteInput(data, size, "input.stl");
  listPt3Free(stlReadFile(path.c_str()));
  listPt3Free(stlReadAscii(path.c_str()));
  listPt3Free(stlReadBinary(path.c_str()));
  return 0;
}
