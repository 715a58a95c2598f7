#include "output/kfy/kfy_writer.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/number_format.h"
#include "base/text_helpers.h"
#include "formats/kfy/kfy_file.h"
#include "formats/settings/param_list.h"
#include "output/output_emitters.h"
#include "output/output_record.h"

namespace {

struct KfyWriterState {
  std::FILE* file = nullptr;
  std::vector<std::string> bypass;
  bool aborted = false;  // the run's bypass file was written
};

KfyWriterState gKfy;

std::string num(double v) {
  char buf[kNumTextSize];
  return numFormat(buf, v);
}

std::string text(const OutputRecord* r, std::size_t offset) {
  const char* t = outRecText(r, offset);
  return std::string(t, strnlen(t, kRecTextField));
}

void put(const std::string& line) {
  if (gKfy.file == nullptr) return;
  std::fputs(line.c_str(), gKfy.file);
  std::fputc('\n', gKfy.file);
}

// Appends the bypass lines to the bypass file.
void appendBypass() {
  if (gKfy.bypass.empty()) return;
  if (std::FILE* f = std::fopen(kPofBypassFile, "a")) {
    for (const std::string& line : gKfy.bypass) {
      std::fputs(line.c_str(), f);
      std::fputc('\n', f);
    }
    std::fclose(f);
  }
}

void closeFile() {
  if (gKfy.file != nullptr) std::fclose(gKfy.file);
  gKfy.file = nullptr;
}

std::string param(const CycleDescriptor* ctx, const char* name) {
  char* v = paramListGet(ctx->params, name, nullptr);
  std::string s = v != nullptr ? v : "";
  memFree(v);
  return s;
}

// True when a and b name the same existing file (or the same text).
bool sameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool namesJobInput(const CycleDescriptor* ctx, const std::string& out) {
  const char* inputs[] = {"sourceGeometry", "polySource"};
  bool isInput = ctx->settingsFile != nullptr && sameFile(out, ctx->settingsFile);
  for (const char* key : inputs) {
    isInput = isInput || sameFile(out, kfyExpandHome(param(ctx, key).c_str()));
  }
  return isInput;
}

// Makes the kFY file of a cycle begin record with title.  Returns the
// name of the output file when it was refused because it is one of the
// job's inputs (removing it would destroy the job before it is read), else
// "".
std::string openFile(CycleDescriptor* ctx, const std::string& title) {
  const std::string out = kfyExpandHome(param(ctx, "geoOut").c_str());
  if (out.empty()) return std::string();
  if (namesJobInput(ctx, out)) return out;
  std::remove(out.c_str());
  gKfy.file = std::fopen(out.c_str(), "w");
  if (gKfy.file == nullptr) return std::string();
  put(kfyBanner);
  put("kFY-Version: 1.0");
  put("Geometry");
  put(title);
  put("");
  const std::string precision = param(ctx, "precision");
  if (!precision.empty()) {
    put("vprecision(" + precision + ")");
    put("");
  }
  return std::string();
}

bool flag(const OutputRecord* r, std::size_t offset) { return outRecGetI32(r, offset) == 1; }

// " x[/v]" parts of the flagged axes of an axis-flagged record.
std::string flaggedAxes(const OutputRecord* r, bool nc) {
  std::string s;
  const char* names = nc ? "XYZ" : "xyz";
  const std::size_t flags[3] = {kRecAxFlagX, kRecAxFlagY, kRecAxFlagZ};
  const std::size_t values[3] = {kRecAxX, kRecAxY, kRecAxZ};
  for (int i = 0; i < 3; ++i) {
    if (!flag(r, flags[i])) continue;
    const std::string v = num(outRecGetF64(r, values[i]));
    s += nc ? std::string(" ") + names[i] + v : std::string(" ") + names[i] + "[/" + v + "]";
  }
  return s;
}

std::string axis(char name, double v) { return std::string(" ") + name + "[/" + num(v) + "]"; }

}  // namespace

int kfyOutputIsJobInput(const CycleDescriptor* ctx) {
  if (ctx == nullptr || ctx->outputMode != kOutputKfy) return 0;
  const std::string out = kfyExpandHome(param(ctx, "geoOut").c_str());
  return !out.empty() && namesJobInput(ctx, out) ? 1 : 0;
}

int kfyWriteStatus(CycleDescriptor* ctx, OutputRecord* record) {
  const int code = record->code;
  const std::string n = text(record, kRecName);
  const std::string v = text(record, kRecValue);
  std::string refused;
  if (code >= kRecError && code <= 111 && code != kRecCycleEnd && code != 110) {
    if (code == kRecCycleBegin) {
      gKfy.bypass.clear();
      gKfy.aborted = false;
      closeFile();
      refused = openFile(ctx, v);
    }
    pofBypassAdd(("0: " + n + "(" + v + ")").c_str());
  }
  if (!refused.empty()) {
    outSendError(ctx, ("geoOut names an input file of the job: " + refused).c_str());
  }
  if (code == kRecAbort) {
    // A run that reports several failures (one abort record per missing
    // key) keeps all of them: later aborts add to the bypass file.
    if (gKfy.aborted) {
      appendBypass();
    } else {
      pofBypassWrite();
    }
    gKfy.aborted = true;
  } else if (code == kRecCycleEnd) {
    put(" oPOF( L0[ " + n + "(" + v + ") ] )");
    closeFile();
  } else if (code >= 105 && code <= 108) {
    put("v" + n + "(" + v + ")");
  } else if (code != 110) {
    put(" oPOF( L0[ " + n + "(" + v + ") ] )");
  }
  if (code == kRecAbort || code == kRecCycleEnd) pofBypassFree();
  return 1;
}

int kfyWriteComment(CycleDescriptor*, OutputRecord* record) {
  if (record->code == kRecComment) {
    put(" oPOF( L2[" + kfyEscapeText(text(record, kRecName)) + "] )");
  }
  return 1;
}

int kfyWriteArg(CycleDescriptor*, OutputRecord* record) {
  if (record->code == kRecArgument) {
    put(" oPOF( L10[ " + text(record, kRecName) + "(" + text(record, kRecValue) + ") ] )");
  }
  return 1;
}

int kfyWriteVariable(CycleDescriptor*, OutputRecord* record) {
  if (record->code == kRecVariable) {
    put(" oPOF( L11[ v" + text(record, kRecName) + "(" + text(record, kRecValue) + ") ] )");
  } else if (record->code == kRecRawText) {
    put(" oPOF( L11[ " + text(record, kRecName) + " ] )");
  }
  return 1;
}

int kfyWriteDrillPoint(CycleDescriptor*, OutputRecord* record) {
  if (record->code != kRecDrillPoint) return 1;
  std::string line = "   oP( x[" + num(outRecGetF64(record, kRecGeoX)) + "] y[" +
                     num(outRecGetF64(record, kRecGeoY)) + "] z[" +
                     num(outRecGetF64(record, kRecGeoZ)) + "]";
  if (flag(record, kRecGeoFlag)) line += " s[" + num(outRecGetF64(record, kRecGeoW)) + "]";
  put(line + " u[d] )");
  return 1;
}

int kfyWriteContour(CycleDescriptor*, OutputRecord* r) {
  const double x = outRecGetF64(r, kRecGeoX), y = outRecGetF64(r, kRecGeoY);
  const double z = outRecGetF64(r, kRecGeoZ);
  const double u = outRecGetF64(r, kRecGeoU), v = outRecGetF64(r, kRecGeoV);
  std::string head;
  switch (r->code) {
    case kRecContourBegin: {
      const std::string name = text(r, kRecName), value = text(r, kRecValue);
      std::string line = "oContour";
      if (!name.empty()) line += "[" + name + "]";
      line += value.empty() ? "( )" : "( " + value + " )";
      put(line);
      put("{");
      return 1;
    }
    case kRecContourEnd:
      put("}");
      return 1;
    case kRecVariable:
      put("   v" + text(r, kRecName) + "( " + text(r, kRecValue) + " )");
      return 1;
    case kRecRawText:
      put(text(r, kRecName));
      return 1;
    case kRecRapidXY:
      head = "   oM(" + axis('x', x) + axis('y', y);
      break;
    case kRecRapidZ:
      head = "   oM(" + axis('z', z);
      break;
    case kRecRapidXYZ:
      head = "   oM(" + axis('x', x) + axis('y', y) + axis('z', z);
      break;
    case kRecDrillPoint:
      head = "   oP( x[" + num(x) + "] y[" + num(y) + "] z[" + num(z) + "]";
      break;
    case kRecRapidX:
      head = "   oM(" + axis('x', x);
      break;
    case kRecRapidY:
      head = "   oM(" + axis('y', y);
      break;
    case kRecRapidAxes:
      head = "   oM(" + flaggedAxes(r, false);
      break;
    case kRecLineAxes:
      head = "   oL(" + flaggedAxes(r, false);
      break;
    case kRecRapidUV:
      head = "   oM(" + axis('x', x) + axis('y', y) + axis('u', u) + axis('v', v);
      break;
    case kRecLineUV:
      head = "   oL(" + axis('x', x) + axis('y', y) + axis('u', u) + axis('v', v);
      break;
    case kRecLineXY:
      head = "   oL(" + axis('x', x) + axis('y', y);
      break;
    case kRecLineZ:
      head = "   oL(" + axis('z', z);
      break;
    case kRecLineXYZ:
      head = "   oL(" + axis('x', x) + axis('y', y) + axis('z', z);
      break;
    case kRecLineX:
      head = "   oL(" + axis('x', x);
      break;
    case kRecLineY:
      head = "   oL(" + axis('y', y);
      break;
    case kRecArcXY:
    case kRecArcXYZ: {
      const char dir = outRecGetI32(r, kRecGeoFlag) == 1 ? '-' : '+';
      head = std::string("   oA( o[") + dir + "] x[/" + num(x) + "/" + num(u) + "] y[/" + num(y) +
             "/" + num(v) + "]";
      if (r->code == kRecArcXYZ)
        head += " z[/" + num(z) + "/" + num(outRecGetF64(r, kRecGeoW)) + "]";
      break;
    }
    default:
      return 1;
  }
  put(head + " )");
  return 1;
}

int kfyWriteNcBlock(CycleDescriptor*, OutputRecord* r) {
  const auto f = [r](std::size_t offset) { return num(outRecGetF64(r, offset)); };
  const std::string x = f(kRecNcX), y = f(kRecNcY), z = f(kRecNcZ);
  const std::string i = f(kRecNcI), j = f(kRecNcJ), k = f(kRecNcK);
  std::string body;
  switch (r->code) {
    case kRecNcRapidXY:
      body = " G0 X" + x + " Y" + y;
      break;
    case kRecNcRapidZ:
      body = " G0 Z" + z;
      break;
    case kRecNcRapidXYZ:
      body = " G0 X" + x + " Y" + y + " Z" + z;
      break;
    case kRecNcLineXY:
      body = " G1 X" + x + " Y" + y;
      break;
    case kRecNcLineZ:
      body = " G1 Z" + z;
      break;
    case kRecNcLineXYZ:
      body = " G1 X" + x + " Y" + y + " Z" + z;
      break;
    case kRecNcArcCw:
    case kRecNcArcCcw:
      body = std::string(" G") + (r->code == kRecNcArcCw ? '2' : '3') + " X" + x + " Y" + y + " I" +
             i + " J" + j;
      break;
    case kRecNcArcCwZ:
    case kRecNcArcCcwZ:
      body = std::string(" G") + (r->code == kRecNcArcCwZ ? '2' : '3') + " X" + x + " Y" + y +
             " Z" + z + " I" + i + " J" + j + " K" + k;
      break;
    case kRecNcRapidAxes:
      body = " G0" + flaggedAxes(r, true);
      break;
    case kRecNcLineAxes:
      body = " G1" + flaggedAxes(r, true);
      break;
    case kRecNcRapidUV:
      body = " G0 X" + x + " Y" + y + " U" + i + " V" + j;
      break;
    case kRecNcLineUV:
      body = " G1 X" + x + " Y" + y + " U" + i + " V" + j;
      break;
    case kRecNcText:
      put(" oPOF( L32[" + text(r, kRecName) + "] )");
      return 1;
    default:
      return 1;
  }
  put(" oPOF( L32[" + body + " ] )");
  return 1;
}

void pofBypassAdd(const char* line) {
  if (line != nullptr) gKfy.bypass.emplace_back(line);
}

void pofBypassWrite() {
  std::remove(kPofBypassFile);
  appendBypass();
  closeFile();
}

void pofBypassFree() { gKfy.bypass.clear(); }

void kfyWritersReset() {
  closeFile();
  gKfy.bypass.clear();
  gKfy.aborted = false;
}
