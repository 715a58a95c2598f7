#include "formats/settings/pcf_file.h"

#include <cstring>
#include <string>

#include "base/input_files.h"
#include "base/memory.h"
#include "formats/kfy/kfy_file.h"

PcfReadCharFn pcfReadCharHook = [](FILE* file) { return std::fgetc(file); };

namespace {

// One pair being scanned.  The scanner keeps everything here, so a pair
// never leaks into the next one.
struct PcfScan {
  FILE* file;
  std::string name;
  std::string value;
  int last;        // the character consumed last (EOF before the first)
  int pending;     // a character read ahead and not yet consumed, or -2
  bool continued;  // a ">" asked for the next text to be appended
  bool complete;   // the pair ended normally (not through an error)
};

constexpr int kNoPending = -2;

enum PcfPairStates : int {
  kPcfStart = 0,
  kPcfBareName = 1,
  kPcfQuotedName = 2,
  kPcfAfterName = 3,
  kPcfEquals = 4,
  kPcfBeforeValue = 5,
  kPcfBareValue = 6,
  kPcfQuotedValue = 7,
  kPcfAfterValue = 8,
  kPcfComment = 9,
  kPcfContinuation = 10,
  kPcfEnd = 11,
  kPcfError = 12,
  kPcfStateCount = 13,
  kPcfDone = -1,
};

int pcfNext(PcfScan& s) {
  int c;
  if (s.pending != kNoPending) {
    c = s.pending;
    s.pending = kNoPending;
  } else {
    c = pcfReadCharHook(s.file);
  }
  s.last = c;
  return c;
}

void pcfUnread(PcfScan& s, int c) { s.pending = c; }

bool pcfIsBlank(int c) { return c == ' ' || c == '\t'; }
bool pcfIsLineEnd(int c) { return c == '\r' || c == '\n'; }

// The pair ends here: it counts when it has a name and a value.
int pcfFinish(PcfScan& s) {
  s.complete = true;
  return kPcfDone;
}

int pcfStateStart(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (pcfIsBlank(c) || pcfIsLineEnd(c)) continue;
    if (c == EOF) return kPcfDone;
    if (c == '"') return kPcfQuotedName;
    if (c == ';') return kPcfComment;
    pcfUnread(s, c);
    return kPcfBareName;
  }
}

int pcfStateBareName(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (pcfIsBlank(c)) return kPcfAfterName;
    if (c == ':') return kPcfEquals;
    if (c == EOF || pcfIsLineEnd(c)) return kPcfError;
    s.name.push_back(static_cast<char>(c));
  }
}

int pcfStateQuotedName(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (c == '"') return kPcfAfterName;
    if (c == EOF || pcfIsLineEnd(c)) return kPcfError;
    s.name.push_back(static_cast<char>(c));
  }
}

int pcfStateAfterName(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (pcfIsBlank(c)) continue;
    if (c == ':') return kPcfEquals;
    return kPcfError;
  }
}

int pcfStateEquals(PcfScan& s) { return pcfNext(s) == '=' ? kPcfBeforeValue : kPcfError; }

int pcfStateBeforeValue(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (pcfIsBlank(c)) continue;
    if (c == EOF || pcfIsLineEnd(c)) return kPcfError;
    if (c == '"') return kPcfQuotedValue;
    pcfUnread(s, c);
    return kPcfBareValue;
  }
}

// Bare text runs up to a blank, tab, ";", ">" or the line end; the
// character that ends it is consumed.
int pcfStateBareValue(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (c == EOF) return pcfFinish(s);
    if (pcfIsLineEnd(c)) return s.continued ? kPcfContinuation : kPcfEnd;
    if (c == ';') return kPcfComment;
    if (pcfIsBlank(c) || c == '>') return kPcfAfterValue;
    s.value.push_back(static_cast<char>(c));
  }
}

int pcfStateQuotedValue(PcfScan& s) {
  for (;;) {
    int c = pcfNext(s);
    if (c == EOF) return pcfFinish(s);
    // A line end inside the quotes ends the value and the pair, also when
    // the value is still empty: the next line is a pair of its own.
    if (pcfIsLineEnd(c)) return pcfFinish(s);
    if (c == '"') {
      c = pcfNext(s);
      if (c == EOF || pcfIsLineEnd(c)) return pcfFinish(s);
      return kPcfAfterValue;  // that character is consumed
    }
    if (c == '\\') {
      c = pcfNext(s);
      if (c == EOF || pcfIsLineEnd(c)) return pcfFinish(s);
      switch (c) {
        case 'b':
          c = 8;
          break;
        case 'n':
          c = 10;
          break;
        case 'r':
          c = 13;
          break;
        case 't':
          c = 9;
          break;
        default:
          break;
      }
    }
    s.value.push_back(static_cast<char>(c));
  }
}

int pcfStateAfterValue(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (pcfIsBlank(c)) continue;
    if (c == EOF) return pcfFinish(s);
    if (pcfIsLineEnd(c)) return s.continued ? kPcfContinuation : kPcfEnd;
    if (c == ';') return kPcfComment;
    if (c == '>') {
      s.continued = true;
      continue;
    }
    // Anything else: the rest of the line is ignored, the pair completes.
    int d = c;
    while (d != EOF && !pcfIsLineEnd(d)) d = pcfNext(s);
    return pcfFinish(s);
  }
}

int pcfStateComment(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (c == EOF) return pcfFinish(s);
    if (pcfIsLineEnd(c)) return kPcfEnd;
  }
}

int pcfStateContinuation(PcfScan& s) {
  for (;;) {
    const int c = pcfNext(s);
    if (pcfIsBlank(c) || pcfIsLineEnd(c)) continue;
    if (c == EOF) return pcfFinish(s);
    s.continued = false;
    if (c == '"') return kPcfQuotedValue;
    pcfUnread(s, c);
    return kPcfBareValue;
  }
}

// Standing on a line end: comment lines before a pair (nothing collected
// yet) start over; a continued value goes on; anything else ends the pair.
int pcfStateEnd(PcfScan& s) {
  if (s.continued) return kPcfContinuation;
  if (pcfIsLineEnd(s.last) && s.name.empty() && s.value.empty()) {
    return kPcfStart;
  }
  return pcfFinish(s);
}

// Skips the rest of the line, unless the error was found on its end.
int pcfStateError(PcfScan& s) {
  int c = s.last;
  while (c != EOF && !pcfIsLineEnd(c)) c = pcfNext(s);
  return kPcfDone;
}

using PcfStateFn = int (*)(PcfScan&);
constexpr PcfStateFn kPcfStates[kPcfStateCount] = {
    pcfStateStart,      pcfStateBareName,    pcfStateQuotedName,   pcfStateAfterName,
    pcfStateEquals,     pcfStateBeforeValue, pcfStateBareValue,    pcfStateQuotedValue,
    pcfStateAfterValue, pcfStateComment,     pcfStateContinuation, pcfStateEnd,
    pcfStateError,
};

char* pcfCopyText(const std::string& s) {
  char* copy = static_cast<char*>(memAllocZeroed(s.size() + 1));
  if (copy != nullptr) std::memcpy(copy, s.data(), s.size());
  return copy;
}

}  // namespace

FILE* pcfOpenFile(const char* path) {
  if (path == nullptr) return nullptr;
  if (std::strcmp(path, kKfyStdinName) == 0) return stdin;
  return fileOpenInput(kfyExpandHome(path).c_str(), "rb");
}

void pcfCloseFile(FILE* file) {
  // Every stream but standard input was opened by pcfOpenFile, so it is
  // closed whatever it is (a pipe opened by name would leak otherwise).
  if (file == nullptr || file == stdin) return;
  std::fclose(file);
}

int pcfScanPair(FILE* file, PcfPair* pair) {
  if (pair == nullptr) return 0;
  pcfPairClear(pair);
  if (file == nullptr) return 0;
  PcfScan s{file, {}, {}, EOF, kNoPending, false, false};
  int state = kPcfStart;
  while (state >= 0) state = kPcfStates[state](s);
  if (!s.complete || s.name.empty() || s.value.empty()) return 0;
  // Texts cut at an embedded NUL byte must still be non-empty.
  if (s.name[0] == '\0' || s.value[0] == '\0') return 0;
  pair->name = pcfCopyText(s.name);
  pair->value = pcfCopyText(s.value);
  if (pair->name == nullptr || pair->value == nullptr) {
    pcfPairClear(pair);
    return 0;
  }
  return 1;
}

int pcfReadPair(FILE* file, PcfPair* pair) { return pcfScanPair(file, pair); }

ParamList pcfReadFile(ParamList list, const char* path, int origin) {
  FILE* file = pcfOpenFile(path);
  if (file == nullptr) return list;
  // A file of many pairs must not cost a walk of the whole list per pair.
  ParamListIndex index(list);
  PcfPair pair{nullptr, nullptr};
  while (pcfReadPair(file, &pair) == 1) index.take(&pair, origin);
  pcfPairClear(&pair);
  pcfCloseFile(file);
  return index.list();
}
