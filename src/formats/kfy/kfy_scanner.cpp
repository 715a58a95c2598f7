#include "formats/kfy/kfy_scanner.h"

#include <sys/types.h>

#include <array>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"

namespace {

// ---------------------------------------------------------------------------
// Character classes, indexed by unsigned char so that bytes above 127 can
// never index outside the tables; codes above 126 belong to no class.

struct CharClasses {
  std::array<bool, 256> name{};
  std::array<bool, 256> value{};
  std::array<bool, 256> body{};
};

constexpr CharClasses makeClasses() {
  CharClasses k;
  for (int c = 35; c <= 38; ++c) k.name[c] = true;  // # $ % &
  k.name['-'] = true;
  for (int c = '0'; c <= '9'; ++c) k.name[c] = true;
  for (int c = 64; c <= 90; ++c) k.name[c] = true;  // @ A-Z
  k.name['_'] = true;
  for (int c = 'a'; c <= 'z'; ++c) k.name[c] = true;

  k.value[21] = true;
  for (int c = 33; c <= 90; ++c) k.value[c] = true;
  k.value['\\'] = true;
  k.value[94] = true;
  k.value[95] = true;
  for (int c = 97; c <= 126; ++c) k.value[c] = true;

  k.body['\t'] = true;
  for (int c = 32; c <= 39; ++c) k.body[c] = true;
  for (int c = 42; c <= 95; ++c) k.body[c] = true;
  for (int c = 97; c <= 126; ++c) k.body[c] = true;
  return k;
}

constexpr CharClasses kClasses = makeClasses();

bool isName(int c) { return c >= 0 && kClasses.name[static_cast<unsigned char>(c)]; }
bool isValue(int c) { return c >= 0 && kClasses.value[static_cast<unsigned char>(c)]; }
bool isBody(int c) { return c >= 0 && kClasses.body[static_cast<unsigned char>(c)]; }
bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isLineEnd(int c) { return c == '\r' || c == '\n'; }
bool isBlankOrTab(int c) { return c == ' ' || c == '\t'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------
// Character sources.

class FileSource {
 public:
  explicit FileSource(FILE* file) : file_(file) {}
  int get() { return std::getc(file_); }
  int64_t tell() const { return static_cast<int64_t>(ftello(file_)); }
  FILE* file() const { return file_; }

 private:
  FILE* file_;
};

// Reads a NUL-terminated text; NUL and the character 26 end it and are
// never consumed, so the cursor cannot run past the terminator.
class StringSource {
 public:
  explicit StringSource(const char* text) : p_(text) {}
  int get() {
    const unsigned char c = static_cast<unsigned char>(*p_);
    if (c == 0 || c == 26) return EOF;
    ++p_;
    return c;
  }
  int64_t tell() const { return -1; }
  FILE* file() const { return nullptr; }
  const char* cursor() const { return p_; }

 private:
  const char* p_;
};

// ---------------------------------------------------------------------------
// The element state machine.

enum State : int {
  kError = 0,
  kStart = 1,
  kComment = 2,
  kValueName = 3,
  kAfterValueName = 4,
  kValueBody = 5,
  kObjectName = 6,
  kAfterObjectName = 7,
  kObjectText = 8,
  kAfterObjectText = 9,
  kAttributeList = 10,
  kKey = 11,
  kAfterKey = 12,
  kAttributeValue = 13,
  kMethodName = 14,
  kAfterMethodName = 15,
  kMethodText = 16,
  kAfterMethodText = 17,
  kMethodBody = 18,
  kLongBodyRest = 19,
  kDone = 20,
  kEnd = -1,  // end of input before an element: no element, no error
};

struct Attribute {
  std::optional<std::string> key;
  std::optional<std::string> value;
};

// The element being read, in C++ form until it is handed over.
struct PartialElement {
  uint16_t kind = kKfyNone;
  std::optional<std::string> name;
  std::optional<std::string> text;
  std::vector<Attribute> attributes;
  bool longBody = false;
  int64_t bodyStart = -1;
  int64_t bodyEnd = -1;
};

void appendTrace(const std::string& methodName) {
  FILE* trace = std::fopen(kKfyTraceFile, "a");
  if (trace == nullptr) return;
  std::fprintf(trace, " methode = '%s'\n", methodName.c_str());
  std::fclose(trace);
}

template <class Source>
class ElementScanner {
 public:
  // keepLongBodies: keep method bodies of any length.  A text ends where
  // its caller decided, so the end of input may close a body there; a file
  // that ends inside a body was cut off.
  ElementScanner(Source& source, bool keepLongBodies, bool endClosesBody)
      : src_(source), keepLongBodies_(keepLongBodies), endClosesBody_(endClosesBody) {}

  // Runs the states from the start; returns the final state: kDone (an
  // element), kEnd (the input ended between elements) or kError.
  int run() {
    int state = kStart;
    for (;;) {
      switch (state) {
        case kError:
        case kEnd:
        case kDone:
          return state;
        case kStart:
          state = start();
          break;
        case kComment:
          state = comment();
          break;
        case kValueName:
        case kObjectName:
        case kMethodName:
          state = elementName(state);
          break;
        case kAfterValueName:
          state = skipThen(state, '(', kValueBody, 0, kError);
          break;
        case kValueBody:
          state = valueBody();
          break;
        case kAfterObjectName:
          state = skipThen(state, '(', kAttributeList, '[', kObjectText);
          break;
        case kObjectText:
          state = bracketText(kAfterObjectText);
          break;
        case kAfterObjectText:
          state = skipThen(state, '(', kAttributeList, 0, kError);
          break;
        case kAttributeList:
          state = attributeList();
          break;
        case kKey:
          state = key();
          break;
        case kAfterKey:
          state = skipThen(state, '[', kAttributeValue, 0, kError);
          break;
        case kAttributeValue:
          state = attributeValue();
          break;
        case kAfterMethodName:
          state = skipThen(state, '(', kMethodBody, '[', kMethodText);
          break;
        case kMethodText:
          state = bracketText(kAfterMethodText);
          break;
        case kAfterMethodText:
          state = skipThen(state, '(', kMethodBody, 0, kError);
          break;
        case kMethodBody:
          state = methodBody();
          break;
        case kLongBodyRest:
          state = longBodyRest();
          break;
        default:
          return kError;
      }
    }
  }

  PartialElement& element() { return el_; }

 private:
  int start() {
    for (;;) {
      c_ = src_.get();
      if (isSpace(c_)) continue;
      switch (c_) {
        case 'v':
          el_.kind = kKfyValue;
          return kValueName;
        case 'o':
          el_.kind = kKfyObject;
          return kObjectName;
        case 'm':
          el_.kind = kKfyMethod;
          return kMethodName;
        case '{':
        case '}':
          el_.kind = static_cast<uint16_t>(c_);
          return kDone;
        case ';':
          commentReturn_ = kStart;
          return kComment;
        case EOF:
          return kEnd;
        default:
          return kError;
      }
    }
  }

  int comment() {
    for (;;) {
      c_ = src_.get();
      if (c_ == '\n') return commentReturn_;
      // A comment that runs to the end of the input ends the read cleanly
      // only between elements.
      if (c_ == EOF) return commentReturn_ == kStart ? kEnd : kError;
    }
  }

  // States 3, 6 and 14: the word after the kind letter.
  int elementName(int state) {
    tok_.clear();
    for (;;) {
      c_ = src_.get();
      if (tok_.empty() && isSpace(c_)) continue;
      if (isName(c_)) {
        tok_.push_back(static_cast<char>(c_));
        continue;
      }
      if (tok_.empty()) return kError;
      el_.name = tok_;
      const bool spaceOrComment = isSpace(c_) || c_ == ';';
      if (state == kValueName) {
        if (c_ == '(') return kValueBody;
        if (isSpace(c_)) return kAfterValueName;
        if (c_ == ';') return noteComment(kAfterValueName);
        return kError;
      }
      if (state == kObjectName) {
        if (c_ == '(') return kAttributeList;
        if (c_ == '[') return kObjectText;
        if (isSpace(c_)) return kAfterObjectName;
        if (c_ == ';') return noteComment(kAfterObjectName);
        return kError;
      }
      if (spaceOrComment) appendTrace(tok_);
      if (c_ == '[') return kMethodText;
      if (c_ == '(') return kMethodBody;
      if (isSpace(c_)) return kAfterMethodName;
      if (c_ == ';') return noteComment(kAfterMethodName);
      return kError;
    }
  }

  int noteComment(int returnState) {
    commentReturn_ = returnState;
    return kComment;
  }

  // The states that skip white space and comments and then expect one of at
  // most two characters (a zero character stands for none).
  int skipThen(int self, int c1, int next1, int c2, int next2) {
    for (;;) {
      c_ = src_.get();
      if (isSpace(c_)) continue;
      if (c_ == c1) return next1;
      if (c2 != 0 && c_ == c2) return next2;
      if (c_ == ';') return noteComment(self);
      return kError;
    }
  }

  // States 8 and 16: the bracketed text of an object or method; blanks and
  // tabs are dropped everywhere in it.
  int bracketText(int next) {
    tok_.clear();
    for (;;) {
      c_ = src_.get();
      if (isBlankOrTab(c_)) continue;
      if (isName(c_)) {
        tok_.push_back(static_cast<char>(c_));
        continue;
      }
      if (c_ == ']' || isLineEnd(c_)) {
        if (!tok_.empty()) el_.text = tok_;
        return next;
      }
      return kError;
    }
  }

  int valueBody() {
    tok_.clear();
    bool started = false;
    c_ = src_.get();
    for (;;) {
      if (!started) {
        if (c_ == EOF) return kError;
        // A ")" here is skipped: a value body cannot be empty.
        if (isSpace(c_) || c_ == ')') {
          c_ = src_.get();
          continue;
        }
      } else if (c_ == ')' || isLineEnd(c_)) {
        break;
      } else if (c_ == EOF) {
        if (!endClosesBody_) return kError;
        break;
      }
      started = true;
      if (c_ == '\\') {
        // The escape leaves in c_ the next character to handle.
        escape();
        continue;
      }
      if (isBlankOrTab(c_) || isValue(c_)) {
        tok_.push_back(static_cast<char>(c_));
      } else {
        return kError;
      }
      c_ = src_.get();
    }
    // Leading blanks and trailing blanks and tabs go.
    std::size_t first = 0;
    while (first < tok_.size() && tok_[first] == ' ') ++first;
    std::size_t last = tok_.size();
    while (last > first && (tok_[last - 1] == ' ' || tok_[last - 1] == '\t')) --last;
    el_.text = tok_.substr(first, last - first);
    return kDone;
  }

  // Called on a backslash inside a value body.  Appends what the escape
  // stands for and leaves the next unprocessed character in c_.
  void escape() {
    const int c2 = src_.get();
    if (c2 == EOF) {
      c_ = EOF;
      return;
    }
    if (c2 == '\\') {
      tok_.push_back('\\');
      c_ = src_.get();
      return;
    }
    if (isDigit(c2)) {
      int code = c2 - '0';
      int digits = 1;
      for (;;) {
        const int c3 = src_.get();
        if (isDigit(c3)) {
          code = code * 10 + (c3 - '0');
          if (++digits == 3) {
            tok_.push_back(static_cast<char>(code));
            c_ = src_.get();
            return;
          }
          continue;
        }
        if (c3 == '\\' || isBlankOrTab(c3) || isLineEnd(c3) || c3 == ')' || !isValue(c3)) {
          tok_.push_back(static_cast<char>(code));
        }
        // Any other VALUE character drops the digits read so far.
        c_ = c3;
        return;
      }
    }
    if (!isValue(c2)) {
      tok_.push_back(static_cast<char>(c2));
      c_ = src_.get();
      return;
    }
    // A VALUE character right after the backslash: the backslash is
    // dropped and the character handled as usual.
    c_ = c2;
  }

  int attributeList() {
    for (;;) {
      c_ = src_.get();
      if (isSpace(c_)) continue;
      if (c_ == ')') return kDone;
      if (c_ == ';') return noteComment(kAttributeList);
      if (c_ == '(' || c_ == '[' || c_ == ']' || c_ == EOF) return kError;
      return kKey;  // c_ is the key's first character
    }
  }

  int key() {
    tok_.clear();
    for (;;) {
      if (isName(c_)) {
        tok_.push_back(static_cast<char>(c_));
      } else if (!tok_.empty() && isSpace(c_)) {
        key_ = tok_;
        return kAfterKey;
      } else if (!tok_.empty() && c_ == '[') {
        key_ = tok_;
        return kAttributeValue;
      } else if (tok_.empty() && c_ == ';') {
        return noteComment(kKey);
      } else {
        return kError;
      }
      c_ = src_.get();
    }
  }

  int attributeValue() {
    const bool keepBlanks = key_ == "t";
    tok_.clear();
    bool started = false;
    for (;;) {
      c_ = src_.get();
      if (c_ == EOF) return kError;
      if (c_ == ']') break;
      if (isLineEnd(c_)) {
        if (started) break;
        continue;
      }
      if (isBlankOrTab(c_)) {
        if (keepBlanks || started) {
          tok_.push_back(static_cast<char>(c_));
          started = true;
        }
        continue;
      }
      if (!isValue(c_)) return kError;
      tok_.push_back(static_cast<char>(c_));
      started = true;
    }
    if (!keepBlanks) {
      while (!tok_.empty() && isBlankOrTab(static_cast<unsigned char>(tok_.back())))
        tok_.pop_back();
    }
    Attribute attr;
    attr.key = key_;
    if (!tok_.empty()) attr.value = tok_;
    el_.attributes.push_back(std::move(attr));
    return kAttributeList;
  }

  int methodBody() {
    el_.bodyStart = src_.tell();
    // Without a position to come back to, a long body must be kept.
    const bool keepAll = keepLongBodies_ || el_.bodyStart < 0;
    tok_.clear();
    bool started = false;
    for (;;) {
      c_ = src_.get();
      if (c_ == '\r') continue;
      if (c_ == ')') {
        if (!started) continue;
        break;
      }
      if (c_ == EOF) {
        if (!started || !endClosesBody_) return kError;
        break;
      }
      if (c_ == ' ' || c_ == '\t' || c_ == '\n' || isBody(c_)) {
        if (!keepAll && tok_.size() >= static_cast<std::size_t>(kKfyBodyKeepMax)) {
          el_.longBody = true;
          tok_.clear();
          tok_.shrink_to_fit();
          return kLongBodyRest;
        }
        tok_.push_back(static_cast<char>(c_));
        started = true;
        continue;
      }
      return kError;
    }
    el_.bodyStart = -1;
    Attribute attr;
    attr.value = tok_;
    el_.attributes.push_back(std::move(attr));
    return kDone;
  }

  int longBodyRest() {
    for (;;) {
      c_ = src_.get();
      if (c_ == EOF && !endClosesBody_) return kError;
      if (c_ == ')' || c_ == EOF) {
        el_.bodyEnd = src_.tell();
        return kDone;
      }
      if (isSpace(c_) || isBody(c_)) continue;
      return kError;
    }
  }

  Source& src_;
  const bool keepLongBodies_;
  const bool endClosesBody_;
  PartialElement el_;
  std::string tok_;
  std::string key_;
  int c_ = EOF;
  int commentReturn_ = kStart;
};

char* duplicate(const std::optional<std::string>& s, bool& failed) {
  if (!s) return nullptr;
  char* copy = strDuplicate(s->c_str());
  if (copy == nullptr) failed = true;
  return copy;
}

// Moves the scanned element into the caller's record.  False (and the
// record cleared) when an allocation fails.
bool handOver(const PartialElement& from, FILE* file, KfyElement* to) {
  bool failed = false;
  to->kind = from.kind;
  to->name = duplicate(from.name, failed);
  to->text = duplicate(from.text, failed);
  KfyAttr** tail = &to->attributes;
  for (const Attribute& a : from.attributes) {
    KfyAttr* node = new (std::nothrow) KfyAttr{};
    if (node == nullptr) {
      failed = true;
      break;
    }
    *tail = node;
    tail = &node->next;
    node->key = duplicate(a.key, failed);
    node->value = duplicate(a.value, failed);
  }
  if (from.longBody) {
    to->bodyFile = file;
    to->bodyStart = from.bodyStart;
    to->bodyEnd = from.bodyEnd;
  }
  if (failed) kfyElementClear(to);
  return !failed;
}

thread_local bool tLastReadFailed = false;

template <class Source>
int scanElement(Source& source, bool fromText, KfyElement* element) {
  try {
    ElementScanner<Source> scanner(source, fromText, fromText);
    const int state = scanner.run();
    if (state == kEnd) return 0;
    if (state == kDone && handOver(scanner.element(), source.file(), element)) return 1;
  } catch (const std::bad_alloc&) {
    kfyElementClear(element);
  }
  tLastReadFailed = true;
  return 0;
}

}  // namespace

bool kfyLastReadFailed() { return tLastReadFailed; }

void kfyElementClear(KfyElement* element) {
  if (element == nullptr) return;
  memFree(element->name);
  memFree(element->text);
  KfyAttr* a = element->attributes;
  while (a != nullptr) {
    KfyAttr* next = a->next;
    memFree(a->key);
    memFree(a->value);
    delete a;
    a = next;
  }
  *element = KfyElement{};
}

int kfyReadElement(FILE* file, KfyElement* element) {
  tLastReadFailed = false;
  if (element == nullptr) return 0;
  kfyElementClear(element);
  if (file == nullptr) return 0;
  FileSource source(file);
  return scanElement(source, false, element);
}

int kfyReadElementFromString(const char** cursor, KfyElement* element) {
  tLastReadFailed = false;
  if (element == nullptr) return 0;
  kfyElementClear(element);
  if (cursor == nullptr || *cursor == nullptr) return 0;
  StringSource source(*cursor);
  const int result = scanElement(source, true, element);
  *cursor = source.cursor();
  return result;
}

int kfyReadElementFromString(char** cursor, KfyElement* element) {
  if (cursor == nullptr)
    return kfyReadElementFromString(static_cast<const char**>(nullptr), element);
  const char* c = *cursor;
  const int result = kfyReadElementFromString(&c, element);
  if (*cursor != nullptr) *cursor += c - *cursor;
  return result;
}
