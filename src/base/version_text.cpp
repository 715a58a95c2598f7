#include "base/version_text.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "base/cycle_context.h"

namespace {

char gVersionText[kVersionTextSize] = "";
bool gVersionFinal = false;

}  // namespace

const char* cycVersionText() { return gVersionText; }

void cycVersionFromDescriptor(const CycleDescriptor* ctx) {
  if (gVersionFinal || ctx == nullptr) return;
  std::snprintf(gVersionText, sizeof gVersionText, "%u.%02u-%02u.%02u.%u",
                static_cast<unsigned>(ctx->versionMajor), static_cast<unsigned>(ctx->versionMinor),
                static_cast<unsigned>(ctx->versionDay), static_cast<unsigned>(ctx->versionMonth),
                static_cast<unsigned>(ctx->versionYear));
}

int cycVersionFromModule() {
#ifdef TESSARO_DESCRIPTOR_VERSION_TEXT
  return 0;
#else
  if (gVersionFinal) return 1;
  if (cycModulePath() == nullptr) return 0;
  cycFormatFileVersion(gVersionText, sizeof gVersionText);
  gVersionFinal = true;
  return 1;
#endif
}

int cycVersionIsFinal() { return gVersionFinal ? 1 : 0; }

const char* cycModulePath() {
  // Taken once: the path cannot change while the module is loaded, and a
  // copy that is never replaced can be read from any thread.
  static std::once_flag once;
  static std::string path;
  static bool found = false;
  std::call_once(once, [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&cycModulePath), &info) != 0 &&
        info.dli_fname != nullptr && info.dli_fname[0] != '\0') {
      path = info.dli_fname;
      found = true;
    }
  });
  return found ? path.c_str() : nullptr;
}
