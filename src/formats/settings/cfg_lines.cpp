#include "formats/settings/cfg_lines.h"

#include <string>

#include "base/input_files.h"
#include "base/memory.h"

namespace {

// Buffers of the reader; cfgReadLine hands out pointers into them.
thread_local std::string tKeyword;
thread_local std::string tValue;

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int c) { return c == '\r' || c == '\n'; }

// A new node with copies of keyword and value, or null.
CfgLine* cfgNewLine(const char* keyword, const char* value, uint16_t origin) {
  auto* line = static_cast<CfgLine*>(memAllocZeroed(sizeof(CfgLine)));
  if (line == nullptr) return nullptr;
  line->keyword = strDuplicate(keyword);
  line->value = strDuplicate(value == nullptr ? "" : value);
  if (line->keyword == nullptr || line->value == nullptr) {
    memFree(line->keyword);
    memFree(line->value);
    memFree(line);
    return nullptr;
  }
  line->origin = origin;
  return line;
}

}  // namespace

int cfgReadLine(std::FILE* file, const char** keyword, const char** value) {
  tKeyword.clear();
  tValue.clear();
  if (file == nullptr) return 0;
  enum { kBeforeKeyword, kKeyword, kBeforeValue, kValue, kComment } state = kBeforeKeyword;
  std::size_t pendingBlanks = 0;
  for (;;) {
    const int c = std::fgetc(file);
    if (c == EOF || isLineEnd(c)) {
      if (!tKeyword.empty()) break;
      if (c == EOF) return 0;
      // An empty or comment-only line: go on with the next one.
      state = kBeforeKeyword;
      continue;
    }
    if (c == '\0') continue;  // a NUL byte would cut the texts short
    if (state == kComment) continue;
    if (c == '#') {
      state = kComment;
      continue;
    }
    switch (state) {
      case kBeforeKeyword:
        if (!isBlank(c)) {
          tKeyword.push_back(static_cast<char>(c));
          state = kKeyword;
        }
        break;
      case kKeyword:
        if (isBlank(c)) {
          state = kBeforeValue;
        } else {
          tKeyword.push_back(static_cast<char>(c));
        }
        break;
      case kBeforeValue:
        if (!isBlank(c)) {
          tValue.push_back(static_cast<char>(c));
          state = kValue;
        }
        break;
      case kValue:
        // Every later blank or tab becomes one blank; blanks are held back
        // until more value follows, which trims the end.
        if (isBlank(c)) {
          ++pendingBlanks;
        } else {
          tValue.append(pendingBlanks, ' ');
          pendingBlanks = 0;
          tValue.push_back(static_cast<char>(c));
        }
        break;
      case kComment:
        break;
    }
  }
  if (keyword != nullptr) *keyword = tKeyword.c_str();
  if (value != nullptr) *value = tValue.c_str();
  return 1;
}

CfgLine* cfgLinesAppend(CfgLine* list, const char* keyword, const char* value, uint16_t origin) {
  if (keyword == nullptr || *keyword == '\0') return list;
  CfgLine* line = cfgNewLine(keyword, value, origin);
  if (line == nullptr) return list;
  if (list == nullptr) return line;
  CfgLine* tail = list;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = line;
  return list;
}

CfgLine* cfgReadFile(CfgLine* list, const char* path, uint16_t origin) {
  if (path == nullptr) return list;
  std::FILE* file = fileOpenInput(path, "rb");
  if (file == nullptr) return list;
  // Append behind a kept tail pointer: long files must not cost a walk of
  // the whole list per line.
  CfgLine* tail = list;
  while (tail != nullptr && tail->next != nullptr) tail = tail->next;
  const char* keyword = nullptr;
  const char* value = nullptr;
  while (cfgReadLine(file, &keyword, &value) == 1) {
    CfgLine* line = cfgNewLine(keyword, value, origin);
    if (line == nullptr) continue;
    if (tail == nullptr) {
      list = line;
    } else {
      tail->next = line;
    }
    tail = line;
  }
  std::fclose(file);
  return list;
}

void cfgLinesFree(CfgLine* list) {
  while (list != nullptr) {
    CfgLine* next = list->next;
    memFree(list->keyword);
    memFree(list->value);
    memFree(list);
    list = next;
  }
}
