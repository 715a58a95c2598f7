// Reads every element of the input as a kFY text until the scanner stops.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/kfy/kfy_points.h"
#include "formats/kfy/kfy_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* cursor = text.c_str();
  KfyElement element;
  KfyElementCoords coords;
  kfyElementCoordsInit(&coords, "0", "0", "0");
  while (kfyReadElementFromString(&cursor, &element) == 1) {
    kfyElementCoordsRead(&coords, &element);
  }
  kfyElementClear(&element);
  return 0;
}
