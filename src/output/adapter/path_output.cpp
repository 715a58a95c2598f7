#include "output/adapter/path_output.h"

#include <charconv>
#include <cmath>
#include <mutex>
#include <new>
#include <string>

#include "base/memory.h"
#include "base/messages.h"
#include "base/number_format.h"
#include "formats/settings/param_list.h"
#include "geometry/frame/working_frame.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/spline_output.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"

namespace {

constexpr int kMsgNoNcBuffer = 6000;
constexpr int kMsgNcBufferGrowth = 6001;

// Pi / 180.
constexpr double kDegToRad = 0.017453292519943295;

OutAdapterState& st() { return outAdapterState(); }

bool differs(double a, double b) { return std::fabs(a - b) >= kOutGeoTol; }

std::string num(double v) {
  char buf[kNumTextSize];
  return numFormat(buf, v);
}

void sendArg(const char* name, const char* value) { outSendArg(outGetContext(), name, value); }

// Sends an axis-flagged record of code on channel.
void sendFlagged(uint16_t channel, int32_t code, const bool flags[3], const Vec3d& p) {
  OutputRecord rec;
  outRecClear(&rec, code);
  outRecSetI32(&rec, kRecAxFlagX, flags[0] ? 1 : 0);
  outRecSetI32(&rec, kRecAxFlagY, flags[1] ? 1 : 0);
  outRecSetI32(&rec, kRecAxFlagZ, flags[2] ? 1 : 0);
  outRecSetF64(&rec, kRecAxX, p.x);
  outRecSetF64(&rec, kRecAxY, p.y);
  outRecSetF64(&rec, kRecAxZ, p.z);
  outSendRecord(outGetContext(), channel, &rec);
}

void sendPlainPoints(const Vec3d* points, int count) {
  const bool all[3] = {true, true, true};
  for (int i = 0; i < count; ++i) sendFlagged(kChanNcBlocks, kRecNcLineAxes, all, points[i]);
}

// Writes the buffer as one block of the current NC format, or as plain
// feed blocks when it holds 2 points or fewer.
void writeBuffered(const NcPointBuffer* buffer) {
  if (buffer->count > 2) {
    if (st().ncFormat == kNcPoly) {
      ncWritePolyBlock(buffer, st().splineFeed);
    } else {
      ncWriteSplineBlock(buffer, st().splineFeed);
    }
  } else {
    sendPlainPoints(buffer->items.get(), buffer->count);
  }
}

void newElementBuffer() {
  st().ncBuffer = ncPointBufferNew(kNcBufferInitial);
  if (!st().ncBuffer) msgSend(kMsgNoNcBuffer, nullptr);
}

// Writes p as a rapid with hold switched off for that call.
void writeHeld(const Vec3d& p) {
  OutAdapterState& s = st();
  const int hold = s.holdRapid;
  s.holdRapid = 0;
  outPathPoint(&p, kPointRapid);
  s.holdRapid = hold;
}

void announcePlunge() {
  sendArg("aliasUse", "FZ");
  sendArg("tr", "FZ");
}

// Feed choice of a feed point: 0 normal, 1 reduced, 2 plunge; -1 when the
// point does not move and is dropped.
int chooseFeed(const Vec3d& p) {
  const OutAdapterState& s = st();
  if (s.lastKind == -1) return kFeedNormal;
  const double dx = p.x - s.lastX;
  const double dy = p.y - s.lastY;
  const double dz = p.z - s.lastZ;
  // A move that is clearly longer than the tolerance and does not go down
  // is a normal feed whatever the rounding of its length; the exact rules
  // below decide every other move.
  constexpr double kClearlyLong = 4.0 * kOutGeoTol * kOutGeoTol;
  if (dz >= 0.0 && s.feedCosine >= 0.0 && dx * dx + dy * dy + dz * dz > kClearlyLong) {
    return kFeedNormal;
  }
  const double dxy = std::hypot(dx, dy);
  const double len = std::sqrt(dxy * dxy + dz * dz);
  if (len < kOutGeoTol) return -1;
  const bool steep = dz / len < -s.feedCosine;
  if (!steep) return kFeedNormal;
  if (dxy < kOutGeoTol) return kFeedPlunge;
  return s.feedReduced == s.feedFX ? kFeedNormal : kFeedReduced;
}

void applyFeedChoice(int choice) {
  OutAdapterState& s = st();
  if (s.forceReduced != 0) {
    choice = kFeedReduced;
    if (s.forceHold == 0) s.forceReduced = 0;
  }
  if (s.approachActive != 0 || s.infeedActive != 0) {
    if (s.infeedActive != 0 && s.approachActive == 0 && s.feedState != kFeedNormal) {
      s.feedCurrent = s.feedFX;
      outFeedEmit(0);
      s.feedState = kFeedNormal;
    }
    return;
  }
  if (choice != s.feedState) {
    switch (choice) {
      case kFeedPlunge:
        announcePlunge();
        break;
      case kFeedReduced:
        s.feedCurrent = s.feedReduced;
        s.aliasIndex = kAliasReduced;
        outFeedEmit(0);
        break;
      default:
        // Back at the normal feed, the alias names the normal feed too.
        s.feedCurrent = s.feedFX;
        s.aliasIndex = kAliasFX;
        outFeedEmit(0);
        break;
    }
    s.feedState = choice;
  } else if (s.reEmit != 0) {
    if (choice == kFeedPlunge) {
      announcePlunge();
    } else {
      outFeedEmit(0);
    }
  }
}

void macroFeedOff() {
  OutAdapterState& s = st();
  s.feedState = kFeedNormal;
  s.reEmit = 1;
  s.aliasIndex = kAliasFX;
  s.feedCurrent = s.feedFX;
}

void macroFeedOn(double rate, int on, int alias) {
  OutAdapterState& s = st();
  if (std::fabs(rate) < kOutGeoTol) return;
  if (on == 0) {
    s.approachActive = 0;
    macroFeedOff();
    return;
  }
  if (!differs(s.feedCurrent, rate)) return;
  s.feedCurrent = rate;
  s.approachActive = 1;
  s.aliasIndex = alias;
  outFeedEmit(0);
}

// "ppJobID" of the output cycle when it is a positive whole number, else 0.
long partNumber(CycleDescriptor* ctx) {
  char* text = paramListGet(ctx->params, "ppJobID", nullptr);
  if (text == nullptr) return 0;
  const char* b = text;
  while (*b == ' ' || *b == '\t') ++b;
  const char* e = b;
  while (*e != '\0') ++e;
  long v = 0;
  const auto [end, ec] = std::from_chars(b, e, v);
  const bool whole = ec == std::errc() && (end == e || *end == ' ' || *end == '\t');
  memFree(text);
  return whole && v > 0 ? v : 0;
}

}  // namespace

int outReset() {
  OutAdapterState& s = st();
  s.lastX = kOutNoPositionXY;
  s.lastY = kOutNoPositionXY;
  s.lastZ = kOutNoPositionZ;
  s.lastKind = -1;
  s.pointCount = 0;
  s.heldFlag = 0;
  s.holdRapid = 0;
  s.linkClosed = 0;
  s.feedFX = 0;
  s.feedReduced = 0;
  s.feedCurrent = 0;
  s.macroApproach = 0;
  s.macroRetract = 0;
  s.macroInfeed = 0;
  s.approachActive = 0;
  s.infeedActive = 0;
  s.feedChanged = 0;
  s.reEmit = 0;
  numSetPrecision(kNumDefaultPrecision);
  return 0;
}

void outSetNcFormat(int format) { st().ncFormat = format; }

void outSetFeedReductionAngle(double degrees) {
  const double c = std::cos(degrees * kDegToRad);
  st().feedCosine = c < kOutFeedCosineMax ? c : kOutFeedCosineMax;
}

void outSetToolRefShift(double shift) { st().toolRefShift = shift; }

int outPathPoint(const Vec3d* point, int kind) {
  if (point == nullptr) return 0;
  OutAdapterState& s = st();
  if (s.heldFlag != 0) {
    const Vec3d held = s.heldPoint;
    s.heldFlag = 0;
    writeHeld(held);
  }
  if (kind == kPointRapid && s.holdRapid != 0) {
    s.heldPoint = *point;
    s.heldFlag = 1;
    return 0;
  }
  if (s.stackMode == 0 && kind == kPointFeed) {
    const int choice = chooseFeed(*point);
    if (choice < 0) return 0;
    applyFeedChoice(choice);
  }
  outMoveRecord(point, kind);
  ++s.pointCount;
  s.lastKind = kind;
  return 0;
}

int outMoveRecord(const Vec3d* point, int kind) {
  if (point == nullptr) return 0;
  // The records of one move go out together.
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  OutAdapterState& s = st();
  // The caller's point stays as it is: a point written twice is shifted
  // once each time, never twice.
  Vec3d p = *point;
  if (std::fabs(s.toolRefShift) >= kOutGeoTol) p.z += s.toolRefShift;
  if (s.feedChanged != 0) {
    outFeedEmit(1);
    s.feedChanged = 0;
  }
  if (s.pointCount == 0 && frameToolAxisDiffers() != 0) s.moveCount = 0;

  bool flags[3] = {false, false, false};
  if (s.moveCount == 0) {
    flags[2] = true;
  } else if (s.moveCount == 1) {
    flags[0] = flags[1] = true;
  } else {
    flags[0] = differs(p.x, s.lastX);
    flags[1] = differs(p.y, s.lastY);
    flags[2] = std::fabs(p.z - s.lastZ) >= kOutZChangeTol;
  }
  if (flags[0]) s.lastX = p.x;
  if (flags[1]) s.lastY = p.y;
  if (flags[2]) s.lastZ = p.z;
  const bool rapid = kind == kPointRapid;
  sendFlagged(kChanContour, rapid ? kRecRapidAxes : kRecLineAxes, flags, p);

  bool sendOwn = true;
  if (s.ncFormat == kNcSpline || s.ncFormat == kNcPoly) {
    const bool breaksElement = rapid || s.moveCount < 2;
    bool buffered = false;
    if (s.ncBuffer) {
      if (breaksElement && s.ncBuffer->count > 0) {
        writeBuffered(s.ncBuffer.get());
        s.ncBuffer.reset();
        newElementBuffer();
      } else if (ncPointBufferAdd(s.ncBuffer.get(), &p) == 1) {
        buffered = true;
      } else {
        msgSend(kMsgNcBufferGrowth, nullptr);
        s.ncBuffer.reset();
      }
    }
    // A feed move that no buffer took goes out on its own, so that no
    // point is lost from the NC output.
    sendOwn = breaksElement || !buffered;
  }
  if (sendOwn && outChannelListened(outGetContext(), kChanNcBlocks) != 0) {
    sendFlagged(kChanNcBlocks, rapid ? kRecNcRapidAxes : kRecNcLineAxes, flags, p);
  }
  if (s.moveCount < 2) ++s.moveCount;
  return 0;
}

int outSplineBegin() {
  if (st().ncFormat == kNcSpline || st().ncFormat == kNcPoly) newElementBuffer();
  return 0;
}

int outSplineFlush() {
  CycleDescriptor* ctx = outGetContext();
  OutAdapterState& s = st();
  if (ctx == nullptr || (s.ncFormat != kNcSpline && s.ncFormat != kNcPoly)) return 0;
  OutputRecord rec;
  outRecClear(&rec, 111);
  outRecSetText(&rec, kRecName, "NCmode");
  outRecSetText(&rec, kRecValue, "literal");
  outSendRecord(ctx, kChanStatus, &rec);
  if (s.ncBuffer) {
    writeBuffered(s.ncBuffer.get());
    s.ncBuffer.reset();
  }
  outRecSetText(&rec, kRecValue, "standard");
  outSendRecord(ctx, kChanStatus, &rec);
  return 0;
}

int outPlainMoves() {
  const NcPointBuffer* b = st().ncBuffer.get();
  if (b != nullptr) sendPlainPoints(b->items.get(), b->count);
  return 0;
}

int outRawNcLine(const char* text) {
  outSendNcText(outGetContext(), text);
  return 0;
}

int outFinish() {
  CycleDescriptor* ctx = outGetContext();
  if (ctx == nullptr) return 0;
  OutAdapterState& s = st();
  if (s.heldFlag != 0) {
    const Vec3d held = s.heldPoint;
    s.heldFlag = 0;
    outContextBegin(ctx, "link", nullptr, nullptr);
    writeHeld(held);
    outContextEnd(ctx, "link", nullptr, nullptr);
  }
  if (const long part = partNumber(ctx); part > 0) {
    outPartEnd(ctx, static_cast<int>(part), nullptr, nullptr);
  }
  outClearAll(ctx);
  return 0;
}

void outFeedEmit(int force) {
  OutAdapterState& s = st();
  if (force == 0 && s.stackMode == 2) return;
  // A normal feed of 0 has no ratio: the current feed then reads as FX.
  const double factor = s.feedFX != 0.0 ? s.feedCurrent / s.feedFX : 1.0;
  const int alias = s.aliasIndex >= 0 && s.aliasIndex < kFeedAliasCount ? s.aliasIndex : kAliasFX;
  sendArg("aliasUse", FeedAliasTable[alias]);
  if (std::fabs(factor - 1.0) <= kOutGeoTol) {
    sendArg("tr", "FX");
  } else {
    sendArg("tr", ("FX*" + num(factor)).c_str());
  }
  s.reEmit = 0;
}

void outFeedReducedOnce(int on) {
  st().forceReduced = on;
  st().forceHold = 0;
}

void outFeedReducedHold(int on) {
  st().forceReduced = on;
  st().forceHold = on != 0 ? 1 : 0;
}

void outFeedSetMacroRates(double approach, double retract, double infeed) {
  st().macroApproach = approach;
  st().macroRetract = retract;
  st().macroInfeed = infeed;
}

void outFeedApproach(int on) { macroFeedOn(st().macroApproach, on, kAliasApproach); }
void outFeedRetract(int on) { macroFeedOn(st().macroRetract, on, kAliasRetract); }

void outFeedInfeed(int on) {
  OutAdapterState& s = st();
  if (std::fabs(s.macroInfeed) < kOutGeoTol) return;
  if (on != 0) {
    if (!differs(s.feedCurrent, s.macroInfeed)) return;
    s.feedCurrent = s.macroInfeed;
    s.infeedActive = 1;
    s.aliasIndex = kAliasInfeed;
    outFeedEmit(0);
    return;
  }
  s.approachActive = 0;
  s.infeedActive = 0;
  macroFeedOff();
}

int outFeedPush(double feed, int alias) {
  OutAdapterState& s = st();
  if (s.stackMode == 1 && feedStackPush(&s.stack, feed, alias) < 0) return -1;
  if (s.stackMode == 2 && feedStackPush(&s.stack, s.feedCurrent, s.aliasIndex) < 0) return -1;
  if (differs(feed, s.feedCurrent)) {
    s.aliasIndex = alias;
    s.feedCurrent = feed;
    s.feedChanged = 1;
  }
  return 1;
}

int outFeedPop() {
  OutAdapterState& s = st();
  FeedStackEntry e;
  if (feedStackPop(&s.stack, &e) < 0) return -1;
  if (differs(e.feed, s.feedCurrent)) {
    s.feedCurrent = e.feed;
    s.aliasIndex = e.alias;
    s.feedChanged = 1;
  }
  return 1;
}

void outFeedSetStackMode(int mode) { st().stackMode = mode; }

void feedStackReset(FeedStack* stack) {
  if (stack != nullptr) stack->top = -1;
}

int feedStackPush(FeedStack* stack, double feed, int alias) {
  if (stack == nullptr || stack->top + 1 >= kFeedStackSize) return -1;
  stack->items[++stack->top] = {feed, alias};
  return 1;
}

int feedStackPop(FeedStack* stack, FeedStackEntry* out) {
  if (stack == nullptr || stack->top < 0) return -1;
  if (out != nullptr) *out = stack->items[stack->top];
  --stack->top;
  return 1;
}

std::unique_ptr<NcPointBuffer> ncPointBufferNew(int capacity) {
  if (capacity <= 0) return nullptr;
  auto b = std::unique_ptr<NcPointBuffer>(new (std::nothrow) NcPointBuffer);
  if (!b) return nullptr;
  b->items.reset(new (std::nothrow) Vec3d[capacity]);
  if (!b->items) return nullptr;
  b->capacity = capacity;
  return b;
}

int ncPointBufferAdd(NcPointBuffer* buffer, const Vec3d* point) {
  if (buffer == nullptr || point == nullptr) return -1;
  if (buffer->count >= buffer->capacity) {
    if (buffer->capacity > INT32_MAX - kNcBufferGrowth) return -1;
    const int grown = buffer->capacity + kNcBufferGrowth;
    std::unique_ptr<Vec3d[]> items(new (std::nothrow) Vec3d[grown]);
    if (!items) return -1;
    for (int i = 0; i < buffer->count; ++i) items[i] = buffer->items[i];
    buffer->items = std::move(items);
    buffer->capacity = grown;
  }
  buffer->items[buffer->count++] = *point;
  return 1;
}

int ncWriteSplineBlock(const NcPointBuffer* buffer, double feed) {
  if (buffer == nullptr) return -1;
  Spline3dRec* spline = spline3dInterpolate(buffer->items.get(), buffer->count, kSplineChord);
  Spline3dLenTable* table = spline3dLenTableBuild(spline);
  if (spline != nullptr && table != nullptr) {
    spline3dWriteDSpline(spline, table, feed);
  } else {
    // No spline (points that do not move, no memory): the points still go out.
    sendPlainPoints(buffer->items.get(), buffer->count);
  }
  spline3dLenTableFree(table);
  spline3dFree(spline);
  return 1;
}

int ncWritePolyBlock(const NcPointBuffer* buffer, double feed) {
  if (buffer == nullptr) return -1;
  Spline3dRec* spline = spline3dInterpolate(buffer->items.get(), buffer->count, kSplineChord);
  if (spline != nullptr) {
    spline3dWritePoly(spline, feed);
  } else {
    sendPlainPoints(buffer->items.get(), buffer->count);
  }
  spline3dFree(spline);
  return 1;
}
