// POF writers: shared helpers, the simple channel writers, literal blocks,
// user parameters, time stamps, run UUIDs and the layer scan.  The status
// writer with the level bookkeeping is in pof_status.cpp, the geometry and
// NC writers with the first-position bracket in pof_moves.cpp.

#include "output/pof/pof_writer.h"

#include <sys/random.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "base/number_format.h"
#include "base/text_helpers.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "output/pof/pof_internal.h"

namespace {

// Highest user parameter index.
constexpr long kPofUserParamMax = 20;

struct PofPinState {
  bool timePinned = false;
  std::string timeStamp;
  bool uuidPinned = false;
  std::string uuid;
};

PofPinState& pofPins() {
  static PofPinState pins;
  return pins;
}

// Parses the decimal index that follows prefix in text.  The rest must be
// a non-empty run of digits; returns false otherwise (also on overflow).
bool pofParseIndex(const char* text, std::string_view prefix, long* index) {
  if (text == nullptr) return false;
  std::string_view s(text);
  if (s.size() <= prefix.size() || s.substr(0, prefix.size()) != prefix) return false;
  std::string_view digits = s.substr(prefix.size());
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  long v = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (ec != std::errc() || end != digits.data() + digits.size()) return false;
  *index = v;
  return true;
}

// One indexed entry (literal line or user parameter) in list order.
struct PofIndexed {
  long index;
  std::string value;
};

// Entries whose name is prefix + index, in list order (parameters newest
// first, cfg lines in file order).
std::vector<PofIndexed> pofCollectIndexed(const CycleDescriptor* ctx, std::string_view paramPrefix,
                                          std::string_view cfgPrefix) {
  std::vector<PofIndexed> out;
  long k = 0;
  if (ctx->cfgMode == 1) {
    for (const CfgLine* l = ctx->cfgLines; l != nullptr; l = l->next) {
      if (pofParseIndex(l->keyword, cfgPrefix, &k)) out.push_back({k, l->value ? l->value : ""});
    }
  } else {
    for (const ParamEntry* e = ctx->params; e != nullptr; e = e->next) {
      if (pofParseIndex(e->name, paramPrefix, &k)) out.push_back({k, e->value ? e->value : ""});
    }
  }
  // Stable: the first entry of each index stays first among its equals.
  std::stable_sort(out.begin(), out.end(),
                   [](const PofIndexed& a, const PofIndexed& b) { return a.index < b.index; });
  return out;
}

void pofWriteFixedLine(const char* line) { pofPutLine(line); }

const char* const kPofWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kPofMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

// ---------------------------------------------------------------------------
// Shared helpers.

std::FILE* pofStream() {
  std::FILE* f = pofGetStream();
  return f != nullptr ? f : stdout;
}

void pofPutLine(std::string_view text) {
  std::FILE* f = pofStream();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fputc('\n', f);
}

std::string_view pofRecText(const OutputRecord* record, std::size_t offset) {
  const char* p = outRecText(record, offset);
  std::size_t room = std::min<std::size_t>(kRecTextField, sizeof(OutputRecord) - offset);
  return std::string_view(p, strnlen(p, room));
}

std::string pofNum(double v) {
  char buf[kNumTextSize];
  return numFormat(buf, v);
}

std::string pofFixed8(double v) {
  // to_chars is locale-independent and rounds like printf's "%.8f".
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::fixed, 8);
  if (ec != std::errc()) return "0.00000000";
  return std::string(buf, end);
}

const char* pofCfgValue(const CycleDescriptor* ctx, const char* keyword) {
  const char* found = nullptr;
  if (ctx == nullptr) return found;
  for (const CfgLine* l = ctx->cfgLines; l != nullptr; l = l->next) {
    if (l->keyword != nullptr && std::strcmp(l->keyword, keyword) == 0) found = l->value;
  }
  return found;
}

std::string pofParam(const CycleDescriptor* ctx, const char* name) {
  if (ctx == nullptr) return std::string();
  char* v = paramListGet(ctx->params, name, nullptr);
  if (v == nullptr) return std::string();
  std::string s(v);
  memFree(v);
  return s;
}

bool pofHasParam(const CycleDescriptor* ctx, const char* name) {
  if (ctx == nullptr) return false;
  for (const ParamEntry* e = ctx->params; e != nullptr; e = e->next) {
    if (e->name != nullptr && std::strcmp(e->name, name) == 0) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Simple writers.

int pofWriteSettingLine(CycleDescriptor*, OutputRecord* record) {
  if (record->code < kRecCall || record->code > kRecCfg) return 1;
  std::string line = "1: ";
  line += pofRecText(record, kRecName);
  line += '(';
  line += pofRecText(record, kRecValue);
  line += ')';
  pofPutLine(line);
  return 1;
}

int pofWriteComment(CycleDescriptor*, OutputRecord* record) {
  if (record->code != kRecComment) return 1;
  // The escaped text may grow fourfold; like every POF text it is kept to
  // one record field, cut where no escape is split.
  std::string src(pofRecText(record, kRecName));
  char escaped[kRecTextField];
  kfyEscapeText(escaped, sizeof(escaped), src.c_str());
  std::string line = "2: ";
  line += escaped;
  pofPutLine(line);
  return 1;
}

int pofWriteNcMark(CycleDescriptor*, OutputRecord*) {
  pofWriteFixedLine("3: ---");
  return 1;
}

int pofWriteDetailMark1(CycleDescriptor*, OutputRecord*) {
  pofWriteFixedLine("4: ---");
  return 1;
}

int pofWriteDetailMark2(CycleDescriptor*, OutputRecord*) {
  pofWriteFixedLine("5: ---");
  return 1;
}

int pofWriteDetailMark3(CycleDescriptor*, OutputRecord*) {
  pofWriteFixedLine("6: ---");
  return 1;
}

int pofWriteNothing(CycleDescriptor*, OutputRecord*) { return 1; }

int pofWriteVariable(CycleDescriptor*, OutputRecord* record) {
  std::string line;
  if (record->code == kRecVariable) {
    line = "11: v";
    line += pofRecText(record, kRecName);
    line += '(';
    line += pofRecText(record, kRecValue);
    line += ')';
  } else if (record->code == kRecRawText) {
    line = "11: ";
    line += pofRecText(record, kRecName);
  } else {
    return 1;
  }
  pofPutLine(line);
  return 1;
}

int pofWriteDrillPoint(CycleDescriptor*, OutputRecord* record) {
  if (record->code != kRecDrillPoint) return 1;
  std::string line = "30: oP( x[" + pofNum(outRecGetF64(record, 40)) + "] y[" +
                     pofNum(outRecGetF64(record, 48)) + "] z[" + pofNum(outRecGetF64(record, 56)) +
                     "]";
  if (outRecGetI32(record, 8) == 1) line += " s[" + pofNum(outRecGetF64(record, 80)) + "]";
  line += " u[d] )";
  pofPutLine(line);
  return 1;
}

int pofWriteMarker(CycleDescriptor*, OutputRecord* record) {
  const int kind = outRecGetI32(record, kRecMarkKind);
  const long number = outRecGetI32(record, kRecMarkNumber);
  std::string_view name = pofRecText(record, kRecMarkName);
  std::string_view data = pofRecText(record, kRecMarkData);
  std::string_view usage = pofRecText(record, kRecMarkUsage);
  std::string line;
  auto addDataUsage = [&] {
    if (!data.empty()) {
      line += " dat(";
      line += data;
      line += ')';
    }
    if (!usage.empty()) {
      line += " usg(";
      line += usage;
      line += ')';
    }
  };
  switch (record->code) {
    case kRecMarkBegin:
    case kRecMarkEnd: {
      const char* verb = record->code == kRecMarkBegin ? "beg" : "end";
      if (kind == 1) {
        line = std::string("12: ") + verb + " part " + std::to_string(number);
      } else if (kind == 4) {
        line = std::string("12: ") + verb + " ctx ";
        line += name;
      } else {
        return 1;
      }
      addDataUsage();
      break;
    }
    case kRecMarkClear:
      if (kind != 1) return 1;
      line = "12: clr part " + std::to_string(number);
      break;
    case kRecMarkClearAll:
      line = "12: clr all";
      break;
    case kRecMarkMoveKind:
      switch (kind) {
        case 101:
          line = "12: G 0 z+";
          break;
        case 102:
          line = "12: G 0 z-";
          break;
        case 103:
          line = "12: G 0 xy";
          break;
        case 104:
          line = "12: G 0 area";
          break;
        case 111:
          line = "12: G 1 apprch";
          break;
        case 112:
          line = "12: G 1 rtrct";
          break;
        case 113:
          line = "12: G 1 smth";
          break;
        case 114:
          line = "12: G 1 infd";
          break;
        case 115:
          line = "12: G 1 pth";
          break;
        case 121:
          line = "12: G x connection";
          break;
        default:
          return 1;
      }
      break;
    default:
      return 1;
  }
  pofPutLine(line);
  return 1;
}

namespace {

// The compensation register lines that follow a tool number argument.
void pofWriteCompRegisters(CycleDescriptor* ctx) {
  const bool has1 = pofHasParam(ctx, "compRegister");
  const bool has2 = pofHasParam(ctx, "compRegister2");
  if (!has1 && !has2) {
    pofPutLine("10: arg(I:\"compRegisterChanged\":=0)");
    return;
  }
  if (has1) pofPutLine("10: arg(I:\"compRegister\":=" + pofParam(ctx, "compRegister") + ")");
  if (has2) pofPutLine("10: arg(I:\"compRegister2\":=" + pofParam(ctx, "compRegister2") + ")");
  pofPutLine("10: arg(S:\"compRegisterComment\":=\"" + pofParam(ctx, "compRegisterComment") +
             "\")");
  pofPutLine("10: arg(I:\"compRegisterChanged\":=1)");
}

}  // namespace

int pofWriteArg(CycleDescriptor* ctx, OutputRecord* record) {
  if (record->code != kRecArgument) return 1;
  std::string_view n = pofRecText(record, kRecName);
  std::string_view v = pofRecText(record, kRecValue);
  PofLevelState* level = pofCurrentLevel();
  if ((n == "aliasDef" || n == "aliasUse") && level->writeAlias == 0) return 1;
  std::string line = "10: ";
  line += n;
  line += '(';
  line += v;
  line += ')';
  pofPutLine(line);
  if (n == "T") {
    pofWriteCompRegisters(ctx);
  } else if (n == "tr" && strEqualsNoCase(v, "5X")) {
    // Five-axis output starts a new first position that needs all six axes.
    level->geoAxes = 0;
    level->ncAxes = 0;
    level->targetAxes = kPofTarget5X;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Literal blocks and user parameters.

int pofWriteLiteralBlock(CycleDescriptor* ctx, const char* block) {
  if (ctx == nullptr || block == nullptr) return 0;
  const std::string head = std::string(block) + ":";
  std::vector<PofIndexed> entries = pofCollectIndexed(ctx, "literal_", "*LITERAL_");
  outSendArg(ctx, "nctx", block);
  int sent = 0;
  bool havePrev = false;
  long prev = 0;
  for (const PofIndexed& e : entries) {
    if (e.value.compare(0, head.size(), head) != 0) continue;
    if (havePrev && e.index == prev) continue;  // the first entry of an index counts
    havePrev = true;
    prev = e.index;
    char escaped[kRecTextField];
    kfyEscapeText(escaped, sizeof(escaped), e.value.c_str() + head.size());
    outSendArg(ctx, "Gcode", escaped);
    ++sent;
  }
  outSendArg(ctx, "nctx", "0");
  return sent;
}

int pofWriteUserParams(CycleDescriptor* ctx) {
  if (ctx == nullptr) return 0;
  pofPutLine("10: del(S:P%d[1;20;1])");
  std::vector<PofIndexed> entries = pofCollectIndexed(ctx, "P", "*P");
  int written = 0;
  bool havePrev = false;
  long prev = 0;
  for (const PofIndexed& e : entries) {
    if (e.index < 1 || e.index > kPofUserParamMax || e.value.empty()) continue;
    if (havePrev && e.index == prev) continue;
    havePrev = true;
    prev = e.index;
    pofPutLine("10: arg(S:P" + std::to_string(e.index) + ":=\"" + e.value + "\")");
    ++written;
  }
  return written;
}

// ---------------------------------------------------------------------------
// Time stamp, run UUID, layers.

char* pofTimeStamp(char* buf, std::size_t size) {
  if (buf == nullptr || size == 0) return buf;
  const PofPinState& pins = pofPins();
  if (pins.timePinned) {
    std::snprintf(buf, size, "%s", pins.timeStamp.c_str());
    return buf;
  }
  std::time_t now = std::time(nullptr);
  std::tm t{};
  if (localtime_r(&now, &t) == nullptr) {
    std::snprintf(buf, size, "00/00/00 00:00:00 ??? ???");
    return buf;
  }
  const char* wday = (t.tm_wday >= 0 && t.tm_wday < 7) ? kPofWeekdays[t.tm_wday] : "???";
  const char* mon = (t.tm_mon >= 0 && t.tm_mon < 12) ? kPofMonths[t.tm_mon] : "???";
  std::snprintf(buf, size, "%02d/%02d/%02d %02d:%02d:%02d %s %s", t.tm_mon + 1, t.tm_mday,
                t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec, wday, mon);
  return buf;
}

char* pofRunUuid(char* buf, std::size_t size) {
  if (buf == nullptr || size == 0) return buf;
  const PofPinState& pins = pofPins();
  if (pins.uuidPinned) {
    std::snprintf(buf, size, "%s", pins.uuid.c_str());
    return buf;
  }
  unsigned char b[16];
  std::size_t got = 0;
  while (got < sizeof(b)) {
    ssize_t r = getrandom(b + got, sizeof(b) - got, 0);
    if (r <= 0) break;  // no entropy source: no id rather than a weak one
    got += static_cast<std::size_t>(r);
  }
  if (got < sizeof(b)) {
    std::snprintf(buf, size, "null");
    return buf;
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
  std::snprintf(buf, size, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                b[13], b[14], b[15]);
  return buf;
}

int pofScanLayers(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (*p != '\0') {
    if (!std::isdigit(static_cast<unsigned char>(*p))) {
      ++p;
      continue;
    }
    const char* start = p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    // Compare the digit run as text, so long runs cannot overflow.
    std::string_view run(start, static_cast<std::size_t>(p - start));
    while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
    if (run == "32") return 1;
  }
  return 0;
}

void pofSetTestPins(const PofTestPins* pins) {
  PofPinState& s = pofPins();
  s = PofPinState();
  if (pins == nullptr) return;
  if (pins->timeStamp != nullptr) {
    s.timePinned = true;
    s.timeStamp = pins->timeStamp;
  }
  if (pins->uuid != nullptr) {
    s.uuidPinned = true;
    s.uuid = pins->uuid;
  }
  pofPinElapsed(pins->fixedElapsed, pins->elapsedMs);
}
