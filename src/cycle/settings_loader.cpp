#include "cycle/settings_loader.h"

#include <cmath>
#include <cstring>
#include <string>

#include "base/cs_matrix.h"
#include "base/memory.h"
#include "base/text_helpers.h"
#include "formats/kfy/kfy_file.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "formats/settings/pcf_file.h"
#include "output/output_channels.h"
#include "output/output_record.h"

namespace {

// An axis this short (or shorter) has no direction and is ignored.
constexpr double kCsAxisMinLength = 1e-8;

// The settings-source record of the status channel.
constexpr int32_t kRecSettingsSource = 112;
constexpr int kLastDefaultOrigin = 20;  // origins up to here echo as "def"

// True when name has at least minLength characters and ends in suffix,
// compared without regard to ASCII case.
bool endsWithNoCase(const std::string& name, const char* suffix, size_t minLength) {
  return name.size() >= minLength && strEndsWithNoCase(name, suffix);
}

// Parses "x,y,z" of a settings value.  False unless three finite numbers
// were found.
bool readTriple(const char* text, double v[3]) {
  if (strParseNumbers3(text, &v[0], &v[1], &v[2]) != 3) return false;
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

void applyAxis(CsMat* m, const char* text, int column) {
  double v[3] = {0, 0, 0};
  if (!readTriple(text, v)) return;
  const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  // An overflowing length is as unusable as a zero one.
  if (!(len > kCsAxisMinLength) || !std::isfinite(len)) return;
  for (int r = 0; r < 3; ++r) m->m[r][column] = v[r] / len;
}

void applyOrigin(CsMat* m, const char* text) {
  double v[3] = {0, 0, 0};
  if (!readTriple(text, v)) return;
  for (int r = 0; r < 3; ++r) m->m[r][3] = v[r];
}

const char* entryKey(const ParamEntry* e) { return e->name; }
const char* entryKey(const CfgLine* e) { return e->keyword; }

void readFrame(CsMat* m, const ParamEntry* list, const char* prefix) {
  const std::string p = prefix;
  cycReadAxis(m, list, (p + "x").c_str(), 1, 0);
  cycReadAxis(m, list, (p + "y").c_str(), 1, 1);
  cycReadAxis(m, list, (p + "z").c_str(), 1, 2);
  cycReadOrigin(m, list, (p + "o").c_str(), 1);
}

void readFrame(CsMat* m, const CfgLine* list, const char* prefix) {
  const std::string p = prefix;
  cycReadAxis(m, list, (p + "X").c_str(), 0, 0);
  cycReadAxis(m, list, (p + "Y").c_str(), 0, 1);
  cycReadAxis(m, list, (p + "Z").c_str(), 0, 2);
  cycReadOrigin(m, list, (p + "O").c_str(), 0);
}

void sendText(CycleDescriptor* ctx, uint16_t channel, int32_t code, const char* name,
              const std::string& value) {
  OutputRecord rec;
  outRecClear(&rec, code);
  outRecSetText(&rec, kRecName, name);
  // Bounded: a longer text is cut to the field.
  outRecSetText(&rec, kRecValue, value.c_str());
  outSendRecord(ctx, channel, &rec);
}

}  // namespace

template <typename Entry>
static void readAxisImpl(CsMat* m, const Entry* list, const char* key, int firstOnly, int column) {
  if (m == nullptr || key == nullptr || column < 0 || column > 2) return;
  for (const Entry* e = list; e != nullptr; e = e->next) {
    const char* k = entryKey(e);
    if (k == nullptr || std::strcmp(k, key) != 0) continue;
    applyAxis(m, e->value, column);
    if (firstOnly) return;
  }
}

template <typename Entry>
static void readOriginImpl(CsMat* m, const Entry* list, const char* key, int firstOnly) {
  if (m == nullptr || key == nullptr) return;
  for (const Entry* e = list; e != nullptr; e = e->next) {
    const char* k = entryKey(e);
    if (k == nullptr || std::strcmp(k, key) != 0) continue;
    applyOrigin(m, e->value);
    if (firstOnly) return;
  }
}

void cycReadAxis(CsMat* m, const ParamEntry* list, const char* key, int firstOnly, int column) {
  readAxisImpl(m, list, key, firstOnly, column);
}

void cycReadAxis(CsMat* m, const CfgLine* list, const char* key, int firstOnly, int column) {
  readAxisImpl(m, list, key, firstOnly, column);
}

void cycReadOrigin(CsMat* m, const ParamEntry* list, const char* key, int firstOnly) {
  readOriginImpl(m, list, key, firstOnly);
}

void cycReadOrigin(CsMat* m, const CfgLine* list, const char* key, int firstOnly) {
  readOriginImpl(m, list, key, firstOnly);
}

int cycLoadSettings(CycleDescriptor* ctx) {
  if (ctx == nullptr) return 0;
  const std::string name = ctx->settingsFile ? ctx->settingsFile : "";
  ctx->cfgMode = endsWithNoCase(name, ".CFG", 5) ? 1 : 0;
  cycRaiseEvent(ctx, kEventLoadSettingsBegin);
  const int index = ctx->cfgMode ? kSlotLoadCfg : kSlotLoadPcf;
  int result;
  if (ctx->slots[index] != nullptr) {
    result = ctx->slots[index](ctx);
  } else {
    // A descriptor set up without inheritance still loads like the kernel.
    result = ctx->cfgMode ? cycLoadCfg(ctx) : cycLoadPcf(ctx);
  }
  cycRaiseEvent(ctx, kEventLoadSettingsEnd);
  return result;
}

void cycDefaultToolCs(CycleDescriptor* ctx) {
  if (ctx == nullptr) return;
  static const char* const kAxes[] = {"x", "y", "z", "o"};
  for (const char* axis : kAxes) {
    const std::string toolKey = std::string("toolCs_") + axis;
    const std::string frameKey = std::string("frameCs_") + axis;
    char* tool = paramListGet(ctx->params, toolKey.c_str(), nullptr);
    if (tool == nullptr) {
      char* frame = paramListGet(ctx->params, frameKey.c_str(), nullptr);
      if (frame != nullptr) {
        ctx->params = paramListSet(ctx->params, toolKey.c_str(), frame, kParamOriginRuntime);
      }
      memFree(frame);
    }
    memFree(tool);
  }
}

int cycLoadPcf(CycleDescriptor* ctx) {
  if (ctx == nullptr) return 1;
  if (ctx->id != nullptr && ctx->id[0] != '\0') {
    const std::string defName = std::string(ctx->id) + ".def";
    ctx->params = pcfReadFile(ctx->params, defName.c_str(), kParamOriginDefFile);
  }
  if (ctx->settingsFile != nullptr && ctx->settingsFile[0] != '\0') {
    std::string name = ctx->settingsFile;
    if (name != kKfyStdinName && !endsWithNoCase(name, ".pcf", 4)) name += ".pcf";
    ctx->params = pcfReadFile(ctx->params, name.c_str(), kParamOriginSettings);
  }
  csMatIdentity(&ctx->frameCs);
  readFrame(&ctx->frameCs, ctx->params, "frameCs_");
  csMatCopy(&ctx->toolCs, &ctx->frameCs);
  cycDefaultToolCs(ctx);
  readFrame(&ctx->toolCs, ctx->params, "toolCs_");
  return 1;
}

int cycLoadCfg(CycleDescriptor* ctx) {
  if (ctx == nullptr) return 1;
  if (ctx->settingsFile != nullptr && ctx->settingsFile[0] != '\0') {
    std::string name = ctx->settingsFile;
    if (!endsWithNoCase(name, ".CFG", 4)) name += ".CFG";
    ctx->cfgLines = cfgReadFile(ctx->cfgLines, name.c_str(), kCfgOriginSettingsFile);
  }
  for (const CfgLine* line = ctx->cfgLines; line != nullptr; line = line->next) {
    const char* key = line->keyword;
    if (key == nullptr || key[0] != '*' || line->value == nullptr) continue;
    if (std::strcmp(key, "*APT") == 0) {
      ctx->params = paramListSet(ctx->params, "pofFilename", line->value, kParamOriginRuntime);
    } else if (std::strcmp(key, "*FRAME_ID") == 0) {
      ctx->params = paramListSet(ctx->params, "zeroPointID", line->value, kParamOriginRuntime);
    } else if (std::strcmp(key, "*FRAME_COMMENT") == 0) {
      const std::string escaped = kfyEscapeText(line->value);
      ctx->params = paramListSet(ctx->params, "frameComment", escaped.c_str(), kParamOriginRuntime);
    }
  }
  csMatIdentity(&ctx->frameCs);
  readFrame(&ctx->frameCs, ctx->cfgLines, "*NCKO_");
  csMatCopy(&ctx->toolCs, &ctx->frameCs);
  readFrame(&ctx->toolCs, ctx->cfgLines, "*WZKO_");
  return 1;
}

void cycEchoSettings(CycleDescriptor* ctx) {
  if (ctx == nullptr) return;
  sendText(ctx, kChanStatus, kRecSettingsSource, "cfgSource",
           ctx->settingsFile ? ctx->settingsFile : "");
  for (const ParamEntry* e = ctx->params; e != nullptr; e = e->next) {
    if (e->name == nullptr || e->value == nullptr) continue;
    const bool fromDefaults = e->origin <= kLastDefaultOrigin;
    std::string text = "\"";
    text += e->name;
    text += "\":=\"";
    text += e->value;
    text += '"';
    sendText(ctx, kChanSettings, fromDefaults ? kRecDef : kRecCall, fromDefaults ? "def" : "call",
             text);
  }
  for (const CfgLine* line = ctx->cfgLines; line != nullptr; line = line->next) {
    if (line->keyword == nullptr || line->value == nullptr) continue;
    std::string text = line->keyword;
    if (line->value[0] != '\0') {
      text += ' ';
      text += line->value;
    }
    sendText(ctx, kChanSettings, kRecCfg, "cfg", text);
  }
}
