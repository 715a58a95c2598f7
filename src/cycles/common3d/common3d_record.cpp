#include "cycles/common3d/common3d_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <map>
#include <memory>

namespace {

// The number at the start of text as the C runtime's atof reads it in the
// C locale: leading blanks skipped, the longest valid prefix, 0 when none.
double atofC(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') ++text;
  const bool plus = *text == '+';
  if (plus) ++text;
  double v = 0;
  std::from_chars(text, text + std::strlen(text), v);
  return v;
}

}  // namespace

Cyc3dRecord* cyc3dRecordOf(const CycleDescriptor* ctx) {
  static std::map<const CycleDescriptor*, std::unique_ptr<Cyc3dRecord>> records;
  if (ctx == nullptr) return nullptr;
  std::unique_ptr<Cyc3dRecord>& rec = records[ctx];
  if (!rec) {
    rec = std::make_unique<Cyc3dRecord>();
    // The profile finishing cycle keeps its own log file.
    if (ctx->id != nullptr && std::strcmp(ctx->id, "qzProf") == 0)
      rec->logFileName = "qzprofhc.loc";
  }
  return rec.get();
}

int cycParseXyz(const char* text, Vec3d* out) {
  if (text == nullptr || out == nullptr) return -1;
  const char* c1 = std::strchr(text, ',');
  if (c1 == nullptr) return -1;
  const char* c2 = std::strchr(c1 + 1, ',');
  if (c2 == nullptr) return -1;
  out->x = atofC(text);
  out->y = atofC(c1 + 1);
  out->z = atofC(c2 + 1);
  return 1;
}

int cycParseXy(double (*out)[2], const char* text) {
  if (text == nullptr || out == nullptr) return 0;
  const char* sep = std::strchr(text, ',');
  if (sep == nullptr) sep = std::strchr(text, '/');
  if (sep == nullptr) return 0;
  (*out)[0] = atofC(text);
  (*out)[1] = atofC(sep + 1);
  return 1;
}

std::string cycTempFileName(const std::string& directory, const char* extension) {
  std::string name = directory;
  if (!name.empty() && name.back() != '/' && name.back() != '\\') name += '/';
  name += std::to_string(static_cast<int>(getpid()));
  name += '.';
  name += extension != nullptr ? extension : "";
  return name;
}

std::string cyc3dTakeTempName(Cyc3dRecord* rec, const char* extension) {
  if (rec == nullptr) return std::string();
  const std::string base = cycTempFileName(rec->tempDirectory, extension);
  const std::size_t dot = base.size() - std::strlen(extension != nullptr ? extension : "") - 1;
  constexpr int kMaxTries = 1000;
  for (int n = 1; n <= kMaxTries; ++n) {
    const std::string name =
        n == 1 ? base : base.substr(0, dot) + "-" + std::to_string(n) + base.substr(dot);
    // O_EXCL: the name is ours only when this run made the file.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) continue;
    close(fd);
    rec->ownedTempFiles.push_back(name);
    return name;
  }
  return std::string();
}

CfgLineValue cfgLineGet(const CfgLine* list, const char* keyword) {
  CfgLineValue out;
  if (keyword == nullptr) return out;
  for (const CfgLine* l = list; l != nullptr; l = l->next) {
    if (std::strcmp(l->keyword, keyword) == 0) {
      out.found = true;
      out.value = l->value;
      out.origin = l->origin;
    }
  }
  return out;
}
