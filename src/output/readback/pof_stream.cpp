#include "output/readback/pof_stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// How the last line of a file ended: a carriage return or a line feed
// (0 for none yet).  The other one of the pair, when it comes next, belongs
// to the same line end.
struct PofLineEnd {
  int last = 0;
  long lines = 0;
};

// One file of the include stack.
struct PofFileNode {
  std::string path;
  std::FILE* file = nullptr;  // null while closed or when it could not be opened
  bool isStdin = false;
  bool identified = false;  // dev/ino below are valid
  dev_t dev = 0;
  ino_t ino = 0;
  long long savedPosition = 0;  // where to resume after an include
  PofLineEnd savedLineEnd;
};

enum class PofReadResult { kRecord, kEnd };

}  // namespace

struct PofStream {
  std::string path;
  int lineSize = 0;
  std::vector<char> line;  // lineSize + 1 bytes
  int lineLength = 0;
  uint32_t recordId = 0;
  // Sorted by record id, one per id.
  std::vector<std::unique_ptr<PofHandler>> handlers;
  // The include stack, outermost first.
  std::vector<PofFileNode> files;
  PofLineEnd lineEnd;  // of the innermost file
};

namespace {

bool pofIsBlank(int c) { return c == ' ' || c == '\t'; }
bool pofIsLineEnd(int c) { return c == '\r' || c == '\n'; }

// Reads one character of the innermost file, folding the second character
// of a CR LF or LF CR pair into the line end before it.
int pofGetChar(PofStream* s, std::FILE* f) {
  int c = std::getc(f);
  if (s->lineEnd.last != 0 && pofIsLineEnd(c) && c != s->lineEnd.last) {
    s->lineEnd.last = 0;
    c = std::getc(f);
  }
  s->lineEnd.last = 0;
  if (pofIsLineEnd(c)) {
    s->lineEnd.last = c;
    ++s->lineEnd.lines;
  }
  return c;
}

// Skips to the end of the line.  False at the end of the file.
bool pofSkipLine(PofStream* s, std::FILE* f) {
  for (;;) {
    const int c = pofGetChar(s, f);
    if (c == EOF) return false;
    if (pofIsLineEnd(c)) return true;
  }
}

// Reads the next record of f into s->recordId and s->line.
PofReadResult pofReadRecord(PofStream* s, std::FILE* f) {
  for (;;) {
    // Record id.
    int digits = 0;
    uint32_t id = 0;
    for (;;) {
      const int c = pofGetChar(s, f);
      if (c == EOF) return PofReadResult::kEnd;
      if (pofIsLineEnd(c)) {
        digits = 0;
        id = 0;
        continue;  // empty line
      }
      if (pofIsBlank(c)) continue;
      if (c >= '0' && c <= '9' && digits < 5) {
        id = id * 10 + static_cast<uint32_t>(c - '0');
        ++digits;
        continue;
      }
      if (c == ':' && digits > 0) {
        break;
      }
      // Anything else: a letter, a sixth digit, a ":" without digits.
      if (!pofSkipLine(s, f)) return PofReadResult::kEnd;
      digits = 0;
      id = 0;
    }

    // Text up to the line end, cut to lineSize.
    int len = 0;
    int c = 0;
    for (;;) {
      c = pofGetChar(s, f);
      if (c == EOF || pofIsLineEnd(c)) break;
      if (len < s->lineSize) s->line[static_cast<std::size_t>(len++)] = static_cast<char>(c);
    }
    s->line[static_cast<std::size_t>(len)] = '\0';
    s->lineLength = len;
    if (len > 0) {
      s->recordId = id;
      return PofReadResult::kRecord;
    }
    if (c == EOF) return PofReadResult::kEnd;
  }
}

PofHandler* pofFindHandler(const PofStream* s, uint32_t id) {
  auto it = std::lower_bound(
      s->handlers.begin(), s->handlers.end(), id,
      [](const std::unique_ptr<PofHandler>& h, uint32_t key) { return h->recordId < key; });
  if (it == s->handlers.end() || (*it)->recordId != id) return nullptr;
  return it->get();
}

// Opens node's file in binary read mode and records its identity.
void pofOpenNode(PofFileNode* node) {
  node->file = std::fopen(node->path.c_str(), "rb");
  if (node->file == nullptr) return;
  struct stat st {};
  if (fstat(fileno(node->file), &st) == 0) {
    node->identified = true;
    node->dev = st.st_dev;
    node->ino = st.st_ino;
  }
}

void pofCloseNode(PofFileNode* node) {
  if (node->file != nullptr && !node->isStdin) std::fclose(node->file);
  node->file = nullptr;
}

void pofCloseAll(PofStream* s) {
  for (PofFileNode& node : s->files) pofCloseNode(&node);
  s->files.clear();
}

enum class PofIncludeResult { kNone, kPushed, kRefused };

// Handles a record-0 include: pushes the named file after saving the state
// of the current one.  Refuses one that would nest too deep or read a file
// that is already on the stack (it would never end).
PofIncludeResult pofMaybeInclude(PofStream* s) {
  std::string_view name, argument;
  if (s->recordId != 0 || !pofSplitCall(s->line.data(), &name, &argument)) {
    return PofIncludeResult::kNone;
  }
  if (name != "include") return PofIncludeResult::kNone;
  if (static_cast<int>(s->files.size()) > kPofIncludeMaxDepth) return PofIncludeResult::kRefused;

  PofFileNode inner;
  inner.path.assign(argument.data(), argument.size());
  pofOpenNode(&inner);
  if (inner.identified) {
    for (const PofFileNode& node : s->files) {
      if (node.identified && node.dev == inner.dev && node.ino == inner.ino) {
        pofCloseNode(&inner);
        return PofIncludeResult::kRefused;
      }
    }
  }

  PofFileNode& outer = s->files.back();
  outer.savedLineEnd = s->lineEnd;
  if (!outer.isStdin && outer.file != nullptr) {
    outer.savedPosition = ftello(outer.file);
    pofCloseNode(&outer);
  }
  s->files.push_back(std::move(inner));
  s->lineEnd = PofLineEnd{};
  return PofIncludeResult::kPushed;
}

// Pops the innermost file and reopens its includer at the saved place.
// False when the stack is empty afterwards or the includer cannot be
// reopened.
bool pofResumeOuter(PofStream* s) {
  pofCloseNode(&s->files.back());
  s->files.pop_back();
  if (s->files.empty()) return false;
  PofFileNode& outer = s->files.back();
  s->lineEnd = outer.savedLineEnd;
  if (outer.isStdin) return true;
  pofOpenNode(&outer);
  if (outer.file == nullptr) return false;
  if (fseeko(outer.file, static_cast<off_t>(outer.savedPosition), SEEK_SET) != 0) return false;
  return true;
}

}  // namespace

bool pofSplitCall(std::string_view text, std::string_view* name, std::string_view* argument) {
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos) return false;
  const std::size_t close = text.find(')', open + 1);
  if (close == std::string_view::npos) return false;
  std::string_view n = text.substr(0, open);
  while (!n.empty() && pofIsBlank(n.front())) n.remove_prefix(1);
  while (!n.empty() && pofIsBlank(n.back())) n.remove_suffix(1);
  if (name != nullptr) *name = n;
  if (argument != nullptr) *argument = text.substr(open + 1, close - open - 1);
  return true;
}

PofStream* pofStreamOpen(const char* path, int lineSize) {
  if (lineSize < 0 || lineSize > 65535) return nullptr;
  auto* s = new (std::nothrow) PofStream;
  if (s == nullptr) return nullptr;
  try {
    if (path != nullptr) s->path = path;
    s->lineSize = lineSize;
    s->line.assign(static_cast<std::size_t>(lineSize) + 1, '\0');
  } catch (const std::bad_alloc&) {
    delete s;
    return nullptr;
  }
  return s;
}

PofHandler* pofHandlerNew(uint32_t recordId, PofHandlerFn fn, intptr_t user) {
  if (fn == nullptr || recordId > kPofMaxRecordId) return nullptr;
  auto* h = new (std::nothrow) PofHandler;
  if (h == nullptr) return nullptr;
  h->recordId = recordId;
  h->handler = fn;
  h->user = user;
  return h;
}

void pofHandlerFree(PofHandler* handler) { delete handler; }

void pofStreamAddHandler(PofStream* stream, PofHandler* handler) {
  if (handler == nullptr) return;
  std::unique_ptr<PofHandler> owned(handler);
  if (stream == nullptr) return;
  auto& hs = stream->handlers;
  auto it = std::lower_bound(
      hs.begin(), hs.end(), handler->recordId,
      [](const std::unique_ptr<PofHandler>& h, uint32_t key) { return h->recordId < key; });
  if (it != hs.end() && (*it)->recordId == handler->recordId) {
    if (it->get() == handler) {
      (void)owned.release();  // already registered: keep the one copy
      return;
    }
    *it = std::move(owned);
    return;
  }
  try {
    hs.insert(it, std::move(owned));
  } catch (const std::bad_alloc&) {
    // owned still holds the handler (insert gives the strong guarantee), and
    // frees it here: the stream runs without it.
  }
}

const PofHandler* pofStreamHandler(const PofStream* stream, uint32_t recordId) {
  if (stream == nullptr) return nullptr;
  return pofFindHandler(stream, recordId);
}

int pofStreamRun(PofStream* stream) {
  if (stream == nullptr) return 0;
  PofStream* s = stream;
  pofCloseAll(s);
  if (s->path.empty() || s->handlers.empty()) return 0;
  for (auto& h : s->handlers) h->calls = 0;
  // An in-memory line queue that nothing fills: no records.
  if (s->path[0] == '+') return 1;

  try {
    PofFileNode first;
    first.path = s->path;
    if (s->path == kPofStdinName) {
      first.file = stdin;
      first.isStdin = true;
    } else {
      pofOpenNode(&first);
      if (first.file == nullptr) return 0;
    }
    s->files.push_back(std::move(first));
    s->lineEnd = PofLineEnd{};

    int result = 1;
    while (!s->files.empty()) {
      PofFileNode& node = s->files.back();
      if (node.file == nullptr || pofReadRecord(s, node.file) == PofReadResult::kEnd) {
        if (!pofResumeOuter(s)) break;
        continue;
      }
      const PofIncludeResult inc = pofMaybeInclude(s);
      if (inc == PofIncludeResult::kRefused) {
        result = -1;
        break;
      }
      if (PofHandler* h = pofFindHandler(s, s->recordId)) {
        ++h->calls;
        h->handler(s->line.data(), h->user);
      }
    }
    pofCloseAll(s);
    return result;
  } catch (const std::bad_alloc&) {
    pofCloseAll(s);
    return -1;
  }
}

void pofStreamClose(PofStream* stream) {
  if (stream == nullptr) return;
  pofCloseAll(stream);
  delete stream;
}
