// The model loader as a whole: the first byte picks the file name's
// extension (and so the kind choice by extension or by content), the loader
// and the model kind; the other bytes are the file.  Composite loads use the
// same file as part and as clip, extra or wall file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "geometry/frame/working_frame.h"
#include "model/io/model_load.h"
#include "model/mesh/model.h"
#include "model/mesh/model_grid.h"

namespace {

const char* const kNames[] = {"input",     "input.stl", "input.STL",  "input.kfy",
                              "input.3DF", "input.fct", "input.stlx", "input.prf"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const std::string path = fuzzWriteInput(data + 1, size - 1, kNames[choice & 7]);
  const char* name = path.c_str();

  ToolShape tool{};
  tool.type = kToolBall;
  tool.radius = 2;
  tool.cornerRadius = 2;
  tool.shankDiameter = 4;
  tool.length = 20;
  ModelRec model;
  modelInit(&model, (choice & 0x80) ? kModelKindFacets : kModelKindTriangles);
  model.tool = &tool;
  modelSetDiagonalBoxes((choice & 0x40) ? 1 : 0);
  switch ((choice >> 3) & 7) {
    case 0:
      modelLoadFile(&model, name);
      break;
    case 1:
      modelLoadMultiFile(&model, name, 0, 0);
      break;
    case 2:
      modelLoadMerged(&model, name, name);
      break;
    case 3:
      modelLoadMultiMerged(&model, name, name, 1, 0);
      break;
    case 4:
      modelLoadWithClip(&model, name, name, nullptr, 0, 0.5);
      break;
    case 5:
      modelLoadWithClipAndWall(&model, name, nullptr, nullptr, name, 1, 0.5, 0.2);
      break;
    case 6:
      modelLoadMultiWithClip(&model, name, name, name, 0, 0.5);
      break;
    default:
      modelAddSurfaceFile(&model, name, 0.1, 0, model.kind, 1);
      modelAddWallFile(&model, name, 0.1, 0, model.kind, 1);
      break;
  }
  modelFreeSurfaces(&model);
  modelFreeDiagonalExtents();
  modelSetDiagonalBoxes(0);
  modelLoadReset();
  frameReset();
  return 0;
}
