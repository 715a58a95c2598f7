// Runs the kFY element parser over the input as a file.  When the first
// byte is odd a valid header is put in front, so that the elements behind it
// are reached; otherwise the bytes are taken as they are and test the header.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/kfy/kfy_reader.h"
#include "fuzz_input.h"

namespace {

// Reads a long method body from the file up to its ")", as the polyhedron
// reader does, and decodes it.
int onMethod(KfyElement* element, KfyValueStore*, void*) {
  std::string body;
  if (element->attributes != nullptr && element->attributes->value != nullptr) {
    body = element->attributes->value;
  } else if (element->bodyFile != nullptr) {
    for (int c; (c = std::fgetc(element->bodyFile)) != EOF && c != ')';) {
      body.push_back(static_cast<char>(c));
    }
  }
  KfyNumberCodec codec;
  kfyCodecSetAlphabet(&codec, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  kfyCodecSetScale(&codec, 1000, 10);
  bool ok = false;
  kfyCodecDecodeReal(codec, body, &ok);
  kfyCodecDecodeInt(codec, body, &ok);
  return 1;
}

// Stores the coordinates of point objects in a point table.
int onPoint(KfyElement* element, KfyValueStore*, void* user) {
  KfyElementCoords coords;
  kfyElementCoordsInit(&coords, "0", "0", "0");
  kfyElementCoordsRead(&coords, element);
  const long id = element->text != nullptr ? std::strtol(element->text, nullptr, 10) : 0;
  auto* sets = static_cast<KfyPointSets*>(user);
  if (id >= 0 && id < 2000000000) {
    kfyPointSetsPut(sets, 1, static_cast<int32_t>(id), std::atof(coords.p0.x),
                    std::atof(coords.p0.y), std::atof(coords.p0.z));
  }
  double x = 0, y = 0, z = 0;
  kfyPointSetsGet(sets, 1, static_cast<int32_t>(id & 0xffff), &x, &y, &z);
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string text;
  if (size > 0 && (data[0] & 1) != 0) {
    text = std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nFuzz\n";
    text.append(reinterpret_cast<const char*>(data) + 1, size - 1);
  } else {
    text.assign(reinterpret_cast<const char*>(data), size);
  }
  const std::string path =
      fuzzWriteInput(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "input.kfy");
  KfyPointSets* sets = kfyPointSetsGrow(nullptr, 2);
  KfyParser* parser = kfyParserNew(sets, nullptr, nullptr, nullptr);
  if (parser != nullptr && sets != nullptr) {
    kfyParserOnMethod(parser, "P", onMethod);
    kfyParserOnMethod(parser, "V", onMethod);
    kfyParserOnObject(parser, "P", onPoint);
    kfyParserRun(path.c_str(), parser, nullptr);
  }
  kfyParserFree(parser);
  kfyPointSetsFree(sets);
  return 0;
}
