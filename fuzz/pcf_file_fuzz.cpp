// Reads the input as a PCF parameter file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/memory.h"
#include "formats/settings/param_list.h"
#include "formats/settings/pcf_file.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzzWriteInput(data, size, "input.pcf");
  ParamList list = pcfReadFile(nullptr, path.c_str(), 21);
  memFree(paramListGet(list, "frameCs_x", nullptr));
  paramListFree(list);
  return 0;
}
