#include "cycle/language_texts.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/memory.h"
#include "formats/settings/param_list.h"

namespace {

// Keyword values (language names) are cut to this many characters; longer
// ones are no language name anyway.
constexpr size_t kLangMaxValue = 240;
// Longer than the longest keyword: such a word can only be unknown.
constexpr size_t kLangMaxWord = 16;
// Text lines read only to count them are cut to this size.
constexpr size_t kLangLineBuffer = 260;

constexpr char kLangUnsetLanguage[] = "???";

enum LangKeyword : int {
  kLangNoKeyword = 0,
  kLangDefault = 1,
  kLangLanguage = 2,
  kLangStart = 3,
  kLangEnd = 4,
};

// How a scanner run ended.
enum LangRunResult : int {
  kLangRunNothing = 0,  // end of file, end of block, or an unknown keyword
  kLangRunFound = 1,    // the block of the chosen language begins
  kLangRunLine = 2,     // a text line was copied
};

enum LangTextStates : int {
  kLangStateNone = 0,
  kLangStateKeyword = 1,
  kLangStateValue = 2,
  kLangStateText = 3,
  kLangStateSkipLine = 4,
  kLangStateBlockLine = 5,
  kLangStateCount = 6,
  kLangStop = -1,
};

struct LangSlot {
  FILE* file;
  int readable;        // 1 while the block was found and not yet ended
  std::string asked;   // the language asked for
  std::string chosen;  // empty while no language is chosen
  bool defaultSeen;    // only the first "default" line counts
};

LangSlot gLangSlots[kLangMaxOpen];
int gLangOpenCount = 0;

// One run of the scanner over a slot's file.
struct LangRun {
  LangSlot* slot;
  int startState;  // 1 while searching, 5 while reading lines
  int keyword;     // LangKeyword of the word before the value
  int result;      // LangRunResult
  char* out;
  size_t outSize;
};

bool langIsBlank(int c) { return c == ' ' || c == '\t'; }
bool langIsLineEnd(int c) { return c == '\r' || c == '\n'; }

// The letters the four keywords are made of.
bool langIsKeywordLetter(int c) {
  switch (c) {
    case 'a':
    case 'd':
    case 'e':
    case 'f':
    case 'g':
    case 'l':
    case 'n':
    case 'r':
    case 's':
    case 't':
    case 'u':
      return true;
    default:
      return false;
  }
}

int langKeywordType(const std::string& word) {
  if (word == "default") return kLangDefault;
  if (word == "language") return kLangLanguage;
  if (word == "start") return kLangStart;
  if (word == "end") return kLangEnd;
  return kLangNoKeyword;
}

int langStateNone(LangRun& run) {
  run.result = kLangRunNothing;
  return kLangStop;
}

// Searching: skips white space and empty lines and collects a word of
// keyword letters.  A word ended by white space must be a keyword; a word
// ended by the line end is dropped; any other character skips the line.
int langStateKeyword(LangRun& run) {
  std::string word;
  for (;;) {
    const int c = std::fgetc(run.slot->file);
    if (c == EOF) return kLangStateNone;
    if (langIsKeywordLetter(c)) {
      if (word.size() < kLangMaxWord)
        word.push_back(static_cast<char>(c));
      else
        word.assign(kLangMaxWord + 1, '?');  // can be no keyword
      continue;
    }
    if (word.empty()) {
      if (langIsBlank(c) || langIsLineEnd(c)) continue;
      return kLangStateSkipLine;
    }
    if (langIsLineEnd(c)) {
      word.clear();
      continue;
    }
    if (langIsBlank(c)) {
      run.keyword = langKeywordType(word);
      return run.keyword == kLangNoKeyword ? kLangStateNone : kLangStateValue;
    }
    return kLangStateSkipLine;
  }
}

// The value after a keyword; applies the keyword.
int langStateValue(LangRun& run) {
  LangSlot& slot = *run.slot;
  int c = std::fgetc(slot.file);
  while (langIsBlank(c)) c = std::fgetc(slot.file);
  if (c == EOF) return kLangStateNone;
  if (langIsLineEnd(c)) return run.startState;  // no value: ignored
  if (c == ';') return kLangStateSkipLine;      // no value: ignored
  std::string value;
  while (c != EOF && !langIsBlank(c) && !langIsLineEnd(c) && c != ';') {
    if (value.size() < kLangMaxValue) value.push_back(static_cast<char>(c));
    c = std::fgetc(slot.file);
  }
  switch (run.keyword) {
    case kLangDefault:
      if (!slot.defaultSeen) {
        slot.defaultSeen = true;
        if (slot.chosen.empty()) slot.chosen = value;
      }
      break;
    case kLangLanguage:
      if (value == slot.asked) slot.chosen = value;
      break;
    case kLangStart:
      if (run.startState == kLangStateKeyword && (slot.chosen.empty() || value == slot.chosen)) {
        run.result = kLangRunFound;
        return kLangStop;
      }
      break;
    case kLangEnd:
      if (run.startState == kLangStateBlockLine) return kLangStateNone;
      break;
    default:
      break;
  }
  if (c == EOF) return kLangStateNone;
  if (c == ';') return kLangStateSkipLine;
  // After white space the rest of the line is read as a line of its own.
  return run.startState;
}

// A text line: everything after the ":" up to the line end.  The end of the
// file ends the last line too, so a file without a final line end keeps it.
int langStateText(LangRun& run) {
  size_t n = 0;
  for (;;) {
    const int c = std::fgetc(run.slot->file);
    if (c == EOF || langIsLineEnd(c)) break;
    if (run.out != nullptr && n + 1 < run.outSize) {
      run.out[n++] = static_cast<char>(c);
    }
  }
  if (run.out != nullptr && run.outSize > 0) run.out[n] = '\0';
  run.result = kLangRunLine;
  return kLangStop;
}

int langStateSkipLine(LangRun& run) {
  for (;;) {
    const int c = std::fgetc(run.slot->file);
    if (c == EOF) return kLangStateNone;
    if (langIsLineEnd(c)) return run.startState;
  }
}

// A line inside the block: ":" starts a text line; "end" with white space
// and a value ends the block; a bare word at the line end is dropped; other
// lines are skipped.
int langStateBlockLine(LangRun& run) {
  std::string word;
  for (;;) {
    const int c = std::fgetc(run.slot->file);
    if (c == EOF) return kLangStateNone;
    if (c == 'd' || c == 'e' || c == 'n') {
      if (word.size() < kLangMaxWord) word.push_back(static_cast<char>(c));
      continue;
    }
    if (word.empty()) {
      if (langIsBlank(c) || langIsLineEnd(c)) continue;
      if (c == ':') return kLangStateText;
      return kLangStateSkipLine;
    }
    if (langIsLineEnd(c)) {
      word.clear();
      continue;
    }
    if (langIsBlank(c) && word == "end") {
      run.keyword = kLangEnd;
      return kLangStateValue;
    }
    return kLangStateSkipLine;
  }
}

using LangStateFn = int (*)(LangRun&);
constexpr LangStateFn kLangStates[kLangStateCount] = {
    langStateNone, langStateKeyword,  langStateValue,
    langStateText, langStateSkipLine, langStateBlockLine,
};

int langRunScanner(LangSlot& slot, int start, char* out, size_t outSize) {
  LangRun run{&slot, start, kLangNoKeyword, kLangRunNothing, out, outSize};
  int state = start;
  while (state >= 0) state = kLangStates[state](run);
  return run.result;
}

LangSlot* langSlotOf(int handle) {
  const int i = handle - kLangFirstHandle;
  if (i < 0 || i >= kLangMaxOpen) return nullptr;
  LangSlot* slot = &gLangSlots[i];
  return slot->file != nullptr ? slot : nullptr;
}

}  // namespace

int langOpen(const char* path, const char* language) {
  if (gLangOpenCount >= kLangMaxOpen) return -1;
  if (gLangOpenCount == 0) {
    for (LangSlot& s : gLangSlots) s = LangSlot{};
  }
  if (path == nullptr) return -2;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return -2;
  int i = 0;
  while (gLangSlots[i].file != nullptr) ++i;  // a free slot exists
  LangSlot& slot = gLangSlots[i];
  slot = LangSlot{};
  slot.file = file;
  slot.asked = language != nullptr ? language : "";
  ++gLangOpenCount;
  slot.readable = langRunScanner(slot, kLangStateKeyword, nullptr, 0) == kLangRunFound;
  return kLangFirstHandle + i;
}

int langReadLine(int handle, char* out, size_t outSize) {
  if (out != nullptr && outSize > 0) out[0] = '\0';
  LangSlot* slot = langSlotOf(handle);
  if (slot == nullptr || !slot->readable) return 0;
  if (langRunScanner(*slot, kLangStateBlockLine, out, outSize) == kLangRunLine) {
    return 1;
  }
  slot->readable = 0;
  return 0;
}

void langClose(int handle) {
  LangSlot* slot = langSlotOf(handle);
  if (slot == nullptr) return;
  std::fclose(slot->file);
  *slot = LangSlot{};
  --gLangOpenCount;
}

int langReadBlock(const char* path, const char* language) {
  const int handle = langOpen(path, language);
  if (handle < 0) return 0;
  char line[kLangLineBuffer];
  int lines = 0;
  while (langReadLine(handle, line, sizeof line) == 1) ++lines;
  langClose(handle);
  return lines > 0 ? 1 : 0;
}

int langHelpText(CycleDescriptor* ctx, const char* section) {
  if (ctx == nullptr || section == nullptr) return 0;
  char* file = paramListGet(ctx->params, section, nullptr);
  if (file == nullptr) return 0;
  char* language = paramListGet(ctx->params, "SystemLanguage", nullptr);
  const int result = langReadBlock(file, language != nullptr ? language : kLangUnsetLanguage);
  memFree(language);
  memFree(file);
  return result;
}
