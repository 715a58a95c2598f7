#include "base/messages.h"

#include <locale.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::atomic<MsgSink> gSink{nullptr};
std::atomic<int> gLevel{kMsgDefaultLevel};
std::atomic<int (*)()> gBreakHook{nullptr};

// Room for any formatted message before it is cut: the number, the comma
// and a text of the longest sent length, plus slack to tell "too long".
constexpr std::size_t kMsgFormatBuffer = 512;

// Formats a trace text in the C locale whatever locale the host chose, so
// "%f" always writes a decimal point.
template <typename T>
void formatTrace(char* out, std::size_t size, const char* format, T value) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  const locale_t previous = cLocale != static_cast<locale_t>(0) ? uselocale(cLocale) : nullptr;
  std::snprintf(out, size, format, value);
  if (previous != static_cast<locale_t>(0)) uselocale(previous);
}

bool levelPasses(int level) {
  return (level & ~kMsgTraceFlag) <= (gLevel.load(std::memory_order_relaxed) & ~kMsgTraceFlag);
}

bool traceOn(int level) {
  return ((level | gLevel.load(std::memory_order_relaxed)) & kMsgTraceFlag) != 0;
}

// The trace messages: 2 when the level is suppressed, else 1; the text is
// formatted and sent only while the trace flag is on.
template <typename T>
int sendTrace(int level, const char* format, T value) {
  if (!levelPasses(level)) return 2;
  if (traceOn(level) && format != nullptr) {
    char text[kMsgFormatBuffer];
    formatTrace(text, sizeof text, format, value);
    msgSend(kMsgTraceNumber, text);
  }
  return 1;
}

}  // namespace

void msgSetSink(MsgSink sink) { gSink.store(sink); }

void msgSetLevel(void* /*target*/, int level) { gLevel.store(level); }

int msgSetLogFile(const char* /*path*/) { return 0; }

int msgNumbered(int level, int number, const char* /*catalogue*/, const char* arg) {
  if (!levelPasses(level)) return 2;
  msgSend(number, arg);
  return 1;
}

int msgNumberedInt(int level, int number, const char* /*catalogue*/, int64_t value) {
  if (!levelPasses(level)) return 2;
  char text[24];
  *std::to_chars(text, text + sizeof text - 1, value).ptr = '\0';
  msgSend(number, text);
  return 1;
}

int msgNumberedReal(int level, int number, const char* /*catalogue*/, double value) {
  if (!levelPasses(level)) return 2;
  if (std::fabs(value) < kMsgRealZero) value = 0.0;
  // Fixed notation with 6 decimals, independent of the C locale; a value
  // as large as 1e308 needs about 320 characters.
  char text[400];
  const auto res = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 6);
  *res.ptr = '\0';
  // 0 is sent as "0", the form of a value too small to matter.
  msgSend(number, value == 0.0 ? "0" : text);
  return 1;
}

int msgTraceInt(int level, const char* format, int value) {
  return sendTrace(level, format, value);
}

int msgTraceReal(int level, const char* format, double value) {
  return sendTrace(level, format, value);
}

int msgSend(int number, const char* text) {
  std::string message = std::to_string(number);
  if (text != nullptr) message.append(",").append(text);
  if (message.size() > static_cast<std::size_t>(kMsgMaxText)) message.resize(kMsgMaxText - 1);
  const MsgSink sink = gSink.load();
  return sink != nullptr ? sink(message.c_str()) : 0;
}

int cycCheckBreak() {
  int (*hook)() = gBreakHook.load();
  return hook != nullptr ? hook() : 0;
}

void cycSetBreakHook(int (*hook)()) { gBreakHook.store(hook); }
