#include "support/job_records.h"

#include <cstddef>
#include <cstring>

namespace tsupport {

namespace {

std::size_t fieldSize(const JobKeywordTable& row) {
  switch (row.storeType) {
    case kJobStoreI16:
      return 2;
    case kJobStoreI32:
      return 4;
    case kJobStoreF64:
      return 8;
    case kJobStoreF64x3:
      return 24;
    case kJobStoreF64x4:
      return 32;
    default:
      return row.width;
  }
}

}  // namespace

std::string jobRecordDifferences(const JobRecord& a, const JobRecord& b) {
  const auto* base = reinterpret_cast<const char*>(&jobRecord);
  std::string out;
  for (const JobKeywordTable* row = profJobKeywords; row->keyword != nullptr; ++row) {
    const auto* target = static_cast<const char*>(row->target);
    if (target < base || target >= base + sizeof(JobRecord)) continue;
    const std::size_t offset = static_cast<std::size_t>(target - base);
    const auto* pa = reinterpret_cast<const char*>(&a) + offset;
    const auto* pb = reinterpret_cast<const char*>(&b) + offset;
    // Texts compare up to their terminator; bytes behind it are not values.
    const bool same = row->storeType == kJobStoreText ? std::strncmp(pa, pb, row->width) == 0
                                                      : std::memcmp(pa, pb, fieldSize(*row)) == 0;
    if (!same && out.find(row->keyword) == std::string::npos)
      out += std::string(row->keyword) + " ";
  }
  return out;
}

}  // namespace tsupport
