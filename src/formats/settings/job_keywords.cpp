#include "formats/settings/job_keywords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "base/input_files.h"
#include "base/memory.h"
#include "base/text_helpers.h"
#include "formats/settings/cfg_lines.h"

namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Copies at most size - 1 characters of [first, last) into out.
void copyBounded(char* out, std::size_t size, const char* first, const char* last) {
  if (out == nullptr || size == 0) return;
  const std::size_t n = std::min(static_cast<std::size_t>(last - first), size - 1);
  std::memcpy(out, first, n);
  out[n] = '\0';
}

// The value token as a number: its longest numeric prefix, 0 without one.
double tokenNumber(const char* token) {
  char* end = nullptr;
  const double v = strToDoubleC(token, &end);
  return end == token ? 0.0 : v;
}

// Up to count numbers from text in sequence, as "%lf %lf ..." reads them:
// the first text that is no number ends the reading.
void readNumbers(const char* text, double* numbers, int count) {
  const char* p = text;
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    const double v = strToDoubleC(p, &end);
    if (end == p) return;
    numbers[i] = v;
    p = end;
  }
}

template <typename Int>
Int saturate(double v) {
  if (std::isnan(v)) return 0;
  const double t = std::trunc(v);
  if (t <= static_cast<double>(std::numeric_limits<Int>::min())) {
    return std::numeric_limits<Int>::min();
  }
  if (t >= static_cast<double>(std::numeric_limits<Int>::max())) {
    return std::numeric_limits<Int>::max();
  }
  return static_cast<Int>(t);
}

// Parses and stores one keyword line whose keyword is known; the number
// buffer carries over between the lines of one read.
bool applyValue(const JobKeywordTable* row, const JobEnumList* enums, const char* rest,
                const char* token, double numbers[4], bool report) {
  char valueText[kJobValueMax + 1];
  copyBounded(valueText, sizeof valueText, token, token + std::strlen(token));
  if (jobValueParse(enums, row->parseKind, rest, numbers, valueText, sizeof valueText) != 0) {
    return false;
  }
  return jobStoreValue(row, numbers, valueText, report) == 1;
}

}  // namespace

int jobKeywordFindIn(const JobKeywordTable* table, const char* keyword) {
  if (table == nullptr || keyword == nullptr || keyword[0] == '\0') return -1;
  for (int i = 0; table[i].keyword != nullptr; ++i) {
    if (strEqualsNoCase(table[i].keyword, keyword)) return i;
  }
  return -1;
}

void jobLineSplit(const char* line, char* keyword, std::size_t keywordSize, char* value,
                  std::size_t valueSize, const char** rest) {
  const char* p = line != nullptr ? line : "";
  while (isSeparator(*p)) ++p;
  const char* kwFirst = p;
  while (*p != '\0' && !isSeparator(*p)) ++p;
  const char* kwLast = p;
  copyBounded(keyword, keywordSize, kwFirst, kwLast);
  // The rest of the line starts one separator after the keyword.
  if (rest != nullptr) *rest = *p != '\0' ? p + 1 : p;
  while (isSeparator(*p)) ++p;
  const char* valFirst = p;
  while (*p != '\0' && !isSeparator(*p)) ++p;
  copyBounded(value, valueSize, valFirst, p);
}

int jobValueParse(const JobEnumList* enums, int parseKind, const char* rest, double numbers[4],
                  char* valueText, std::size_t valueSize) {
  const char* text = rest != nullptr ? rest : "";
  switch (parseKind) {
    case kJobParseNumber:
      numbers[0] = tokenNumber(valueText);
      return 0;
    case kJobParseToken:
      return 0;
    case kJobParseRest: {
      const char* p = text;
      while (isBlank(*p)) ++p;
      // A rest of nothing but blanks is kept as it is.
      if (*p == '\0') p = text;
      copyBounded(valueText, valueSize, p, p + std::strlen(p));
      return 0;
    }
    case kJobParse3:
      readNumbers(text, numbers, 3);
      return 0;
    case kJobParse4:
      readNumbers(text, numbers, 4);
      return 0;
    default:
      break;
  }
  for (const JobEnumList* e = enums; e != nullptr && e->kind != -1; ++e) {
    if (e->kind != parseKind) continue;
    for (const JobEnumWord* w = e->words; w != nullptr && w->word != nullptr; ++w) {
      if (strEqualsNoCase(w->word, valueText)) {
        numbers[0] = w->value;
        return 0;
      }
    }
    return -1;
  }
  return -1;
}

int jobStoreValue(const JobKeywordTable* row, const double numbers[4], const char* valueText,
                  bool report) {
  switch (row->storeType) {
    case kJobStoreI16: {
      const int16_t v = saturate<int16_t>(numbers[0]);
      std::memcpy(row->target, &v, sizeof v);
      return 1;
    }
    case kJobStoreI32: {
      const int32_t v = saturate<int32_t>(numbers[0]);
      std::memcpy(row->target, &v, sizeof v);
      return 1;
    }
    case kJobStoreF64:
      std::memcpy(row->target, numbers, sizeof(double));
      return 1;
    case kJobStoreText: {
      const char* text = valueText != nullptr ? valueText : "";
      copyBounded(static_cast<char*>(row->target), row->width, text, text + std::strlen(text));
      return 1;
    }
    case kJobStoreF64x3:
      std::memcpy(row->target, numbers, 3 * sizeof(double));
      return 1;
    case kJobStoreF64x4:
      std::memcpy(row->target, numbers, 4 * sizeof(double));
      return 1;
    default:
      // Standard output carries the POF stream: the complaint goes to the
      // error stream.
      if (report) std::fputs("Wrong Token Type\n", stderr);
      return 0;
  }
}

int jobReadFile(const JobKeywordTable* table, const JobEnumList* enums, const char* path,
                JobStoredFn stored, void* user) {
  if (table == nullptr) return 0;
  std::FILE* file = fileOpenInput(path, "r");
  if (file == nullptr) return 0;
  double numbers[4] = {0, 0, 0, 0};
  std::string line;
  char keyword[kJobValueMax + 1];
  char token[kJobValueMax + 1];
  bool more = true;
  while (more) {
    // Whole lines, however long: the tail of a long line is never read as
    // a line of its own.
    line.clear();
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    more = c != EOF;
    const std::size_t cut = line.find_first_of("\r\n");
    if (cut != std::string::npos) line.resize(cut);
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    if (line.empty()) continue;
    const char* rest = nullptr;
    jobLineSplit(line.c_str(), keyword, sizeof keyword, token, sizeof token, &rest);
    const int index = jobKeywordFindIn(table, keyword);
    if (index < 0) continue;
    if (applyValue(&table[index], enums, rest, token, numbers, true) && stored != nullptr) {
      stored(table, index, user);
    }
  }
  std::fclose(file);
  return 1;
}

int jobApplyLines(const JobKeywordTable* table, const JobEnumList* enums, const CfgLine* lines) {
  double numbers[4] = {0, 0, 0, 0};
  for (const CfgLine* l = lines; l != nullptr; l = l->next) {
    const int index = jobKeywordFindIn(table, l->keyword);
    if (index < 0) continue;
    char value[kJobValueMax + 1];
    const char* v = l->value != nullptr ? l->value : "";
    copyBounded(value, sizeof value, v, v + std::strlen(v));
    applyValue(&table[index], enums, value, value, numbers, false);
  }
  return 1;
}

StrList* strListNew(const char* text) {
  auto* node = static_cast<StrList*>(memAllocZeroed(sizeof(StrList)));
  if (node == nullptr) return nullptr;
  if (text != nullptr) {
    node->text = strDuplicate(text);
    if (node->text == nullptr) {
      memFree(node);
      return nullptr;
    }
  }
  return node;
}

int strListAppend(StrList* list, const char* text) {
  if (list == nullptr) return -1;
  if (list->text == nullptr) {
    if (text == nullptr) return 1;
    list->text = strDuplicate(text);
    return list->text != nullptr ? 1 : -1;
  }
  StrList* tail = list;
  while (tail->next != nullptr) tail = tail->next;
  StrList* node = strListNew(text);
  if (node == nullptr) return -1;
  tail->next = node;
  return 1;
}

void strListFree(StrList* list) {
  while (list != nullptr) {
    StrList* next = list->next;
    memFree(list->text);
    memFree(list);
    list = next;
  }
}
