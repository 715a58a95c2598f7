#include "cycle/cycle_setup.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/memory.h"
#include "base/text_helpers.h"
#include "base/version_text.h"
#include "cycle/settings_loader.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"

namespace {

// Flags of the one-letter options ("-V", "/a", ...); 0 for other letters.
uint16_t optionLetterFlag(char c) {
  switch (c) {
    case '?':
      return kModeQuery;
    case 'A':
    case 'a':
      return kModeA;
    case 'D':
    case 'd':
      return kModeD;
    case 'P':
    case 'p':
      return kModeP;
    case 'V':
    case 'v':
      return kModeV;
    case 'Y':
    case 'y':
      return kModeY;
    default:
      return 0;
  }
}

// The level after "-M": an optional sign and decimal digits, like atoi;
// anything else gives 0.  Kept within the 16-bit field.
uint16_t parseDetailLevel(const char* text) {
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value < 0xFFFF) value = value * 10 + (*text - '0');
  }
  if (negative) return 0;
  return static_cast<uint16_t>(value > 0xFFFF ? 0xFFFF : value);
}

void freeArgs(CycleDescriptor* ctx) {
  if (ctx->args != nullptr) {
    for (uint16_t i = 0; i < ctx->argCount; ++i) memFree(ctx->args[i]);
    memFree(ctx->args);
  }
  ctx->args = nullptr;
  ctx->argCount = 0;
}

// Handles an option argument ("-..." or "/..."); returns false when it is
// positional after all.  Returns true with *failed set when a copy failed.
bool applyOption(CycleDescriptor* ctx, const char* arg, bool* failed) {
  const char* rest = arg + 1;
  const std::size_t restLen = std::strlen(rest);
  if (restLen == 0) return false;
  if (restLen == 1) {
    const uint16_t flag = optionLetterFlag(rest[0]);
    if (flag == 0) return false;
    ctx->modeFlags |= flag;
    return true;
  }
  switch (rest[0]) {
    case 'I':
    case 'i':
      // "IPC" with a process channel number: accepted, no effect.
      return strEqualsNoCase(std::string_view(rest).substr(0, 3), "IPC");
    case 'M':
    case 'm':
      ctx->detailLevel = parseDetailLevel(rest + 1);
      return true;
    case 'P':  // upper case only: "-pcf" stays a positional argument
      if (strEqualsNoCase(rest, "PCF")) {
        ctx->outputMode = kOutputKfy;
        return true;
      }
      if (strEqualsNoCase(rest, "POF")) {
        ctx->outputMode = kOutputPof;
        return true;
      }
      return false;
    case 'S':
    case 's': {
      char* copy = strDuplicate(rest + 1);
      if (copy == nullptr) {
        *failed = true;
        return true;
      }
      memFree(ctx->settingsFile);
      ctx->settingsFile = copy;
      ctx->modeFlags |= kModeSettingsFile;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

int cycInheritSlots(CycleDescriptor* ctx) {
  if (ctx->inherited != 0) return 1;
  CycleDescriptor* parent = ctx->parent;
  if (parent != nullptr) {
    if (parent->interfaceVersion != ctx->interfaceVersion) return 0;
    if (cycInheritSlots(parent) == 0) return 0;
    for (int i = 0; i < kSlotCount; ++i) {
      if (ctx->slots[i] == nullptr) ctx->slots[i] = parent->slots[i];
    }
  }
  ctx->inherited = 1;
  return 1;
}

int cycParseArgs(CycleDescriptor* ctx, char** argv, int argc) {
  freeArgs(ctx);
  ctx->modeFlags = 0;
  ctx->detailLevel = 0;
  ctx->firstRecord = 1;
  ctx->outputMode = kOutputPof;

  // The count is a 16-bit number; a vector that is not there, or a negative
  // count (which as 16 bits would send the reading far past the vector),
  // holds nothing.
  const uint16_t count = (argv != nullptr && argc > 0) ? static_cast<uint16_t>(argc) : 0;
  if (count == 0) return 1;
  ctx->args = static_cast<char**>(memAllocZeroed(count * sizeof(char*)));
  if (ctx->args == nullptr) return 0;

  for (uint16_t i = 0; i < count; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr) continue;
    if (arg[0] == '-' || arg[0] == '/') {
      bool failed = false;
      if (applyOption(ctx, arg, &failed)) {
        if (failed) return 0;
        continue;
      }
    } else if (arg[0] == '?') {
      ctx->modeFlags = kModeQuery;  // drops the flags of earlier options
      continue;
    }
    char* copy = strDuplicate(arg);
    // A lost argument would silently change the job: refuse the run.
    if (copy == nullptr) return 0;
    ctx->args[ctx->argCount++] = copy;
  }
  if (ctx->argCount == 0) {
    memFree(ctx->args);
    ctx->args = nullptr;
  }
  return 1;
}

int cycOnArgs(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOnArgs); }

int cycSetup(CycleDescriptor* ctx, char** argv, int argc, int inheritOnly) {
  if (ctx == nullptr) return 0;
  if (cycInheritSlots(ctx) == 0) return 0;
  if (inheritOnly != 0) return 1;

  // The text follows the descriptor that runs, never a parent that was only
  // set up for its slots.
  cycVersionFromDescriptor(ctx);
  cycVersionFromModule();

  if (cycParseArgs(ctx, argv, argc) == 0) {
    cycCleanup(ctx);
    return 0;
  }
  if (ctx->argCount > 0) cycOnArgs(ctx);
  if (ctx->modeFlags == 0) {
    ctx->modeFlags = kModeV | kModeQuery;
  }

  const int loaded = cycLoadSettings(ctx);
  if (ctx->outputMode == kOutputPof) {
    char* bypass = paramListGet(ctx->params, "POFbypass", nullptr);
    if (bypass != nullptr) {
      cycEchoBypassFile(bypass, kBypassLineLength);
      memFree(bypass);
    }
  }
  if (loaded == 0) {
    cycCleanup(ctx);
    return 0;
  }
  return 1;
}

void cycCleanup(CycleDescriptor* ctx) {
  if (ctx == nullptr) return;
  cycRaiseEvent(ctx, kEventCleanupBegin);
  freeArgs(ctx);
  memFree(ctx->settingsFile);
  ctx->settingsFile = nullptr;
  paramListFree(ctx->params);
  ctx->params = nullptr;
  cfgLinesFree(ctx->cfgLines);
  ctx->cfgLines = nullptr;
  cycRaiseEvent(ctx, kEventCleanupEnd);
}

int cycEchoBypassFile(const char* path, int lineLength) {
  if (path == nullptr) return 0;
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return 0;
  // Byte copies keep every line exactly as it is, whatever its length.
  std::vector<char> buffer(lineLength > 1 ? static_cast<std::size_t>(lineLength) : 2);
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    std::fwrite(buffer.data(), 1, n, stdout);
  }
  std::fclose(in);
  std::fflush(stdout);
  return 1;
}
