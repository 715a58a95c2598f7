#include "output/tools/tool_contours.h"

#include <charconv>
#include <cstring>
#include <new>
#include <string>

#include "base/number_format.h"
#include "base/text_helpers.h"
#include "formats/kfy/kfy_file.h"
#include "formats/kfy/kfy_points.h"
#include "formats/kfy/kfy_scanner.h"
#include "output/output_emitters.h"

namespace {

// The number at the start of text (C locale, leading blanks skipped), 0 when
// there is none: the reading of a coordinate field.
double fieldNumber(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  double v = 0;
  std::from_chars(text, text + std::strlen(text), v);
  return v;
}

void append(ToolContourList* list, const ToolContourItem& item) {
  if (list->count == 0) return;
  if (list->count >= list->capacity) {
    const int32_t grown = list->capacity + kToolContourGrowth;
    std::unique_ptr<ToolContourItem[]> items(new (std::nothrow) ToolContourItem[grown]);
    if (!items) return;
    for (int32_t i = 0; i < list->count; ++i) items[i] = list->items[i];
    list->items = std::move(items);
    list->capacity = grown;
  }
  list->items[list->count++] = item;
}

void clearList(ToolContourList* list) {
  list->items.reset();
  list->count = 0;
  list->capacity = 0;
}

ToolContourList* listByName(ToolContours* c, const std::string& name) {
  if (strEqualsNoCase(name, "Tool")) return &c->tool;
  if (strEqualsNoCase(name, "Extrusion")) return &c->extrusion;
  if (strEqualsNoCase(name, "Holder")) return &c->holder;
  if (strEqualsNoCase(name, "Head")) return &c->head;
  return nullptr;
}

// One move element of a selected block.
void addElement(const KfyElementCoords& xy, const char* name, ToolContourList* list) {
  const double x = fieldNumber(xy.p1.x), y = fieldNumber(xy.p1.y);
  const double x0 = fieldNumber(xy.p0.x), y0 = fieldNumber(xy.p0.y);
  const double cx = fieldNumber(xy.p2.x), cy = fieldNumber(xy.p2.y);
  if (std::strcmp(name, "M") == 0) {
    toolContourStart(x, y, list);
  } else if (std::strcmp(name, "L") == 0) {
    if (list->count == 0) toolContourStart(x0, y0, list);
    toolContourLine(x, y, list);
  } else if (std::strcmp(name, "A") == 0) {
    if (list->count == 0) toolContourStart(x0, y0, list);
    if (xy.name[0] == '-') {
      toolContourArcCw(x, y, cx, cy, list);
    } else {
      toolContourArcCcw(x, y, cx, cy, list);
    }
  }
}

std::string num(double v) {
  char buf[kNumTextSize];
  return numFormat(buf, v);
}

}  // namespace

void toolReadContourFile(const char* path, ToolContours* contours) {
  if (contours == nullptr) return;
  // Earlier contents are released, not abandoned.
  toolContoursClear(contours);
  if (path == nullptr) return;
  KfyHeader header;
  FILE* file = kfyOpenFile(path, &header);
  if (file == nullptr) return;
  KfyElementCoords coords;
  kfyElementCoordsInit(&coords, nullptr, nullptr, nullptr);
  int depth = 0;
  std::string name;
  ToolContourList* list = nullptr;
  KfyElement element;
  while (kfyReadElement(file, &element) == 1) {
    switch (element.kind) {
      case kKfyObject:
        if (std::strcmp(element.name, "Contour") == 0) {
          if (depth == 0) name = element.text != nullptr ? element.text : "";
        } else if (depth == 1) {
          kfyElementCoordsRead(&coords, &element);
          if (list != nullptr) addElement(coords, element.name, list);
        }
        break;
      case kKfyBlockOpen:
        if (depth++ == 0) list = listByName(contours, name);
        break;
      case kKfyBlockClose:
        if (depth > 0 && --depth == 0) {
          name.clear();
          list = nullptr;
        }
        break;
      default:
        break;
    }
  }
  kfyElementClear(&element);
  kfyCloseFile(file);
  kfyHeaderFree(&header);
}

void toolContourStart(double x, double y, ToolContourList* list) {
  if (list == nullptr || list->count != 0) return;
  std::unique_ptr<ToolContourItem[]> items(new (std::nothrow) ToolContourItem[kToolContourGrowth]);
  if (!items) return;
  list->items = std::move(items);
  list->capacity = kToolContourGrowth;
  list->items[0] = {kToolContourStart, x, y, 0, 0};
  list->count = 1;
}

void toolContourLine(double x, double y, ToolContourList* list) {
  if (list != nullptr) append(list, {kToolContourLine, x, y, 0, 0});
}

void toolContourArcCw(double x, double y, double cx, double cy, ToolContourList* list) {
  if (list != nullptr) append(list, {kToolContourArcCw, x, y, cx, cy});
}

void toolContourArcCcw(double x, double y, double cx, double cy, ToolContourList* list) {
  if (list != nullptr) append(list, {kToolContourArcCcw, x, y, cx, cy});
}

void toolContoursClear(ToolContours* contours) {
  if (contours == nullptr) return;
  clearList(&contours->tool);
  clearList(&contours->extrusion);
  clearList(&contours->holder);
  clearList(&contours->head);
}

void toolWriteContour(CycleDescriptor* ctx, const char* prefix, const ToolContourList* list) {
  if (list == nullptr || list->count < 2) return;
  const std::string pre = prefix != nullptr ? prefix : "";
  outSendVariableText(ctx, (pre + "oContour( )  {").c_str());
  for (int32_t i = 0; i < list->count; ++i) {
    const ToolContourItem& it = list->items[i];
    const char* close = i == list->count - 1 ? "  }" : "";
    std::string line;
    switch (it.kind) {
      case kToolContourStart:
        line = pre + " oM( x[/" + num(it.x) + "] y[/" + num(it.y) + "] )";
        break;
      case kToolContourLine:
        line = pre + " oL( x[/" + num(it.x) + "] y[/" + num(it.y) + "] )" + close;
        break;
      case kToolContourArcCw:
      case kToolContourArcCcw:
        line = pre + " oA( o[" + (it.kind == kToolContourArcCw ? "-" : "+") + "] x[/" + num(it.x) +
               "/" + num(it.cx) + "] y[/" + num(it.y) + "/" + num(it.cy) + "] )" + close;
        break;
      default:
        continue;
    }
    outSendVariableText(ctx, line.c_str());
  }
}
