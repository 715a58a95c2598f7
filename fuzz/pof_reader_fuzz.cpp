// Reads the input as a POF file through the POF reader, with callbacks that
// touch every value they are given.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "output/readback/pof_reader.h"

namespace {

double gSink = 0;

void take(const double xyz[3]) { gSink += xyz[0] + xyz[1] + xyz[2]; }

const PofReaderCallbacks kTouch = {
    [](const char*, int, const double xyz[3]) { take(xyz); },
    [](const char*, int) {},
    []() {},
    [](const char*, int, const double xyz[3], double bulge) {
      take(xyz);
      gSink += bulge;
    },
    [](const char*, int, const double xyz[3]) { take(xyz); },
    [](const char* text) { gSink += text[0]; },
    [](const char* text) { gSink += text[0]; },
    [](int isStart) { gSink += isStart; },
    []() {},
    [](int isStart) { gSink += isStart; },
};

int mapNothing(const char* text) { return text[0] == '-' ? -1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzzWriteInput(data, size, "input.pof");
  pofReaderReset();
  pofReaderSetErrorMapper(mapNothing);
  pofCallbacksInstall(&kTouch);
  pofReadFile(path.c_str());
  pofCallbacksRestore();
  pofReaderSetErrorMapper(nullptr);
  return 0;
}
