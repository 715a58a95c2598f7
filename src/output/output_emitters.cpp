#include "output/output_emitters.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/cs_matrix.h"
#include "base/memory.h"
#include "base/number_format.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_record.h"

namespace {

bool isGiven(const char* text) { return text != nullptr && *text != '\0'; }

int sendText(CycleDescriptor* ctx, uint16_t channel, int32_t code, const char* name,
             const char* value) {
  if (ctx == nullptr) return 0;
  OutputRecord rec;
  outRecClear(&rec, code);
  outRecSetText(&rec, kRecName, name);
  outRecSetText(&rec, kRecValue, value);
  return outSendRecord(ctx, channel, &rec);
}

// Value of a contour or display begin: "cmnt[c] u[u]", each part only when
// given.
std::string beginValue(const char* comment, const char* usage) {
  std::string value;
  if (isGiven(comment)) value.append("cmnt[").append(comment).append("]");
  if (isGiven(usage)) {
    if (!value.empty()) value.push_back(' ');
    value.append("u[").append(usage).append("]");
  }
  return value;
}

int sendBegin(CycleDescriptor* ctx, uint16_t channel, const char* name, const char* comment,
              const char* usage) {
  return sendText(ctx, channel, kRecContourBegin, name, beginValue(comment, usage).c_str());
}

int sendCode(CycleDescriptor* ctx, uint16_t channel, int32_t code) {
  if (ctx == nullptr) return 0;
  OutputRecord rec;
  outRecClear(&rec, code);
  return outSendRecord(ctx, channel, &rec);
}

// A record with up to three doubles at the given offsets.
int sendPoint(CycleDescriptor* ctx, uint16_t channel, int32_t code, std::size_t o1, double v1,
              std::size_t o2 = 0, double v2 = 0, std::size_t o3 = 0, double v3 = 0) {
  if (ctx == nullptr) return 0;
  OutputRecord rec;
  outRecClear(&rec, code);
  outRecSetF64(&rec, o1, v1);
  if (o2 != 0) outRecSetF64(&rec, o2, v2);
  if (o3 != 0) outRecSetF64(&rec, o3, v3);
  return outSendRecord(ctx, channel, &rec);
}

int sendMarker(CycleDescriptor* ctx, int32_t code, int number, int kind, const char* name,
               const char* data, const char* usage) {
  if (ctx == nullptr) return 0;
  OutputRecord rec;
  outRecClear(&rec, code);
  outRecSetI32(&rec, kRecMarkNumber, number);
  outRecSetI32(&rec, kRecMarkKind, kind);
  outRecSetText(&rec, kRecMarkName, name, kRecMarkTextMax);
  outRecSetText(&rec, kRecMarkData, data, kRecMarkTextMax);
  outRecSetText(&rec, kRecMarkUsage, usage, kRecMarkTextMax);
  return outSendRecord(ctx, kChanMarkers, &rec);
}

constexpr int kMarkKindPart = 1;
constexpr int kMarkKindContext = 4;

// The index of a parameter name of the form "comment_<i>" (i written as
// "%d" writes it: no sign, no leading zeros), or 0.
long commentIndex(const char* name) {
  static constexpr char kPrefix[] = "comment_";
  if (name == nullptr || std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return 0;
  const char* digits = name + sizeof kPrefix - 1;
  if (*digits < '1' || *digits > '9') return 0;
  long i = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || i > 100000000) return 0;
    i = i * 10 + (*p - '0');
  }
  return i;
}

int sendMoveKind(CycleDescriptor* ctx, int kind) {
  return sendMarker(ctx, kRecMarkMoveKind, 0, kind, nullptr, nullptr, nullptr);
}

}  // namespace

int outSendError(CycleDescriptor* ctx, const char* text) {
  return sendText(ctx, kChanStatus, kRecError, "error", text);
}

int outSendComment(CycleDescriptor* ctx, const char* text) {
  return sendText(ctx, kChanComments, kRecComment, text, nullptr);
}

int outContourBegin(CycleDescriptor* ctx, const char* name, const char* comment,
                    const char* usage) {
  return sendBegin(ctx, kChanContour, name, comment, usage);
}

int outContourEnd(CycleDescriptor* ctx) { return sendCode(ctx, kChanContour, kRecContourEnd); }

int outRapidXY(CycleDescriptor* ctx, double x, double y) {
  const int a = sendPoint(ctx, kChanContour, kRecRapidXY, kRecGeoX, x, kRecGeoY, y);
  const int b = sendPoint(ctx, kChanNcBlocks, kRecNcRapidXY, kRecNcX, x, kRecNcY, y);
  return std::max(a, b);
}

int outRapidZ(CycleDescriptor* ctx, double z) {
  const int a = sendPoint(ctx, kChanContour, kRecRapidZ, kRecGeoZ, z);
  const int b = sendPoint(ctx, kChanNcBlocks, kRecNcRapidZ, kRecNcZ, z);
  return std::max(a, b);
}

int outLineXY(CycleDescriptor* ctx, double x, double y) {
  const int a = sendPoint(ctx, kChanContour, kRecLineXY, kRecGeoX, x, kRecGeoY, y);
  const int b = sendPoint(ctx, kChanNcBlocks, kRecNcLineXY, kRecNcX, x, kRecNcY, y);
  return std::max(a, b);
}

int outLineZ(CycleDescriptor* ctx, double z) {
  const int a = sendPoint(ctx, kChanContour, kRecLineZ, kRecGeoZ, z);
  const int b = sendPoint(ctx, kChanNcBlocks, kRecNcLineZ, kRecNcZ, z);
  return std::max(a, b);
}

int outLineXYZ(CycleDescriptor* ctx, double x, double y, double z) {
  const int a = sendPoint(ctx, kChanContour, kRecLineXYZ, kRecGeoX, x, kRecGeoY, y, kRecGeoZ, z);
  const int b = sendPoint(ctx, kChanNcBlocks, kRecNcLineXYZ, kRecNcX, x, kRecNcY, y, kRecNcZ, z);
  return std::max(a, b);
}

int outArcXY(CycleDescriptor* ctx, int direction, double x, double y, double cx, double cy) {
  if (ctx == nullptr) return 0;
  OutputRecord geo;
  outRecClear(&geo, kRecArcXY);
  outRecSetI32(&geo, kRecGeoFlag, direction);
  outRecSetF64(&geo, kRecGeoX, x);
  outRecSetF64(&geo, kRecGeoY, y);
  outRecSetF64(&geo, kRecGeoU, cx);
  outRecSetF64(&geo, kRecGeoV, cy);
  const int a = outSendRecord(ctx, kChanContour, &geo);

  OutputRecord nc;
  outRecClear(&nc, direction == 1 ? kRecNcArcCw : kRecNcArcCcw);
  outRecSetF64(&nc, kRecNcX, x);
  outRecSetF64(&nc, kRecNcY, y);
  outRecSetF64(&nc, kRecNcI, cx);
  outRecSetF64(&nc, kRecNcJ, cy);
  const int b = outSendRecord(ctx, kChanNcBlocks, &nc);
  return std::max(a, b);
}

int outSendVariable(CycleDescriptor* ctx, const char* name, const char* value) {
  const int a = sendText(ctx, kChanContour, kRecVariable, name, value);
  std::string loc = "\"";
  loc.append(name == nullptr ? "" : name).append("\":=\"");
  loc.append(value == nullptr ? "" : value).append("\"");
  const int b = sendText(ctx, kChanSettings, kRecLoc, "loc", loc.c_str());
  return std::max(a, b);
}

int outSendArg(CycleDescriptor* ctx, const char* name, const char* value) {
  return sendText(ctx, kChanArguments, kRecArgument, name, value);
}

int outSendRealArg(CycleDescriptor* ctx, const char* name, double v) {
  char num[kNumTextSize];
  std::string value = "F:\"";
  value.append(name == nullptr ? "" : name).append("\":=").append(numFormat(num, v));
  return outSendArg(ctx, "arg", value.c_str());
}

int outSendAliasDef(CycleDescriptor* ctx, const char* name, const char* name2, const char* text,
                    const char* value) {
  std::string def;
  def.append(name == nullptr ? "" : name).push_back(',');
  def.append(name2 == nullptr ? "" : name2).push_back(',');
  def.append(text == nullptr ? "" : text).push_back(',');
  def.append(isGiven(value) ? value : "1");
  return outSendArg(ctx, "aliasDef", def.c_str());
}

int outSendVariableText(CycleDescriptor* ctx, const char* text) {
  return sendText(ctx, kChanVariables, kRecRawText, text, nullptr);
}

int outSendToolVariable(CycleDescriptor* ctx, const char* name, const char* value) {
  return sendText(ctx, kChanVariables, kRecVariable, name, value);
}

int outSendAxisVariable(CycleDescriptor* ctx, double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  // !(>) also refuses a NaN length.
  if (ctx == nullptr || !(len > kOutAxisMinLength)) return 0;
  char nx[kNumTextSize], ny[kNumTextSize], nz[kNumTextSize];
  std::string value = numFormat(nx, x / len);
  value.append(",").append(numFormat(ny, y / len)).append(",").append(numFormat(nz, z / len));
  return sendText(ctx, kChanVariables, kRecVariable, "toolAxis", value.c_str());
}

int outSendToolAxis(CycleDescriptor* ctx, double x, double y, double z) {
  if (ctx == nullptr) return 0;
  const double v[3] = {x, y, z};
  const auto& t = ctx->toolCs.m;
  double w[3];
  for (int r = 0; r < 3; ++r) w[r] = t[r][0] * v[0] + t[r][1] * v[1] + t[r][2] * v[2];
  CsMat frameInv;
  csMatInverse(&frameInv, &ctx->frameCs);
  const auto& f = frameInv.m;
  double u[3];
  for (int r = 0; r < 3; ++r) u[r] = f[r][0] * w[0] + f[r][1] * w[1] + f[r][2] * w[2];
  return outSendAxisVariable(ctx, u[0], u[1], u[2]);
}

int outSendNcText(CycleDescriptor* ctx, const char* text) {
  if (!isGiven(text)) return 0;
  return sendText(ctx, kChanNcBlocks, kRecNcText, text, nullptr);
}

int outSendParamComments(CycleDescriptor* ctx) {
  if (ctx == nullptr) return 0;
  char* last = paramListGet(ctx->params, "lastComment", nullptr);
  if (last == nullptr) return 0;
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(last, &end, 10);
  const bool valid = end != last && errno == 0;
  memFree(last);
  if (!valid || n < 1) return 0;
  // Collect "comment_<i>" for 1 <= i <= n from one walk of the list instead
  // of looking up every i: a huge "lastComment" must not make the run hang.
  std::vector<std::pair<long, const char*>> comments;
  for (const ParamEntry* e = ctx->params; e != nullptr; e = e->next) {
    const long i = commentIndex(e->name);
    if (i >= 1 && i <= n) comments.emplace_back(i, e->value);
  }
  std::sort(comments.begin(), comments.end());
  for (const auto& c : comments) outSendComment(ctx, c.second);
  return static_cast<int>(comments.size());
}

int outPartBegin(CycleDescriptor* ctx, int number, const char* data, const char* usage) {
  return sendMarker(ctx, kRecMarkBegin, number, kMarkKindPart, nullptr, data, usage);
}

int outPartEnd(CycleDescriptor* ctx, int number, const char* data, const char* usage) {
  return sendMarker(ctx, kRecMarkEnd, number, kMarkKindPart, nullptr, data, usage);
}

int outPartClear(CycleDescriptor* ctx, int number) {
  return sendMarker(ctx, kRecMarkClear, number, kMarkKindPart, nullptr, nullptr, nullptr);
}

int outContextBegin(CycleDescriptor* ctx, const char* name, const char* data, const char* usage) {
  if (!isGiven(name)) return 0;
  return sendMarker(ctx, kRecMarkBegin, 0, kMarkKindContext, name, data, usage);
}

int outContextEnd(CycleDescriptor* ctx, const char* name, const char* data, const char* usage) {
  if (!isGiven(name)) return 0;
  return sendMarker(ctx, kRecMarkEnd, 0, kMarkKindContext, name, data, usage);
}

int outClearAll(CycleDescriptor* ctx) { return sendCode(ctx, kChanMarkers, kRecMarkClearAll); }

int outKindRapidUp(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveRapidUp); }
int outKindRapidDown(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveRapidDown); }
int outKindRapidXY(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveRapidXY); }
int outKindRapidArea(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveRapidArea); }
int outKindApproach(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveApproach); }
int outKindRetract(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveRetract); }
int outKindSmooth(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveSmooth); }
int outKindInfeed(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveInfeed); }
int outKindPath(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMovePath); }
int outKindConnection(CycleDescriptor* ctx) { return sendMoveKind(ctx, kMoveConnection); }

int outDisplayBegin(CycleDescriptor* ctx, const char* name, const char* comment,
                    const char* usage) {
  return sendBegin(ctx, kChanDisplayPolylines, name, comment, usage);
}

int outDisplayEnd(CycleDescriptor* ctx) {
  return sendCode(ctx, kChanDisplayPolylines, kRecContourEnd);
}

int outDisplayMoveTo(CycleDescriptor* ctx, double x, double y, double z) {
  return sendPoint(ctx, kChanDisplayPolylines, kRecRapidXYZ, kRecGeoX, x, kRecGeoY, y, kRecGeoZ, z);
}

int outDisplayLineTo(CycleDescriptor* ctx, double x, double y, double z) {
  return sendPoint(ctx, kChanDisplayPolylines, kRecLineXYZ, kRecGeoX, x, kRecGeoY, y, kRecGeoZ, z);
}

int outDisplayPoint(CycleDescriptor* ctx, double x, double y, double z) {
  if (ctx == nullptr) return 0;
  OutputRecord rec;
  outRecClear(&rec, kRecDisplayPoint);
  outRecSetI32(&rec, kRecDisplayFlag, 0);
  for (const std::size_t at : {kRecDisplayPoint1, kRecDisplayPoint2, kRecDisplayPoint3}) {
    outRecSetF64(&rec, at, x);
    outRecSetF64(&rec, at + 8, y);
    outRecSetF64(&rec, at + 16, z);
  }
  return outSendRecord(ctx, kChanDisplayPoints, &rec);
}
