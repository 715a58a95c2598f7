// Comparison of job records field by field: a byte comparison of whole
// records would also compare the padding between fields, which copies need
// not keep.
#pragma once

#include <string>

#include "cycles/profile/job/job_record.h"

namespace tsupport {

// The keywords (one per field) whose values differ between a and b; empty
// when the records hold the same values.
std::string jobRecordDifferences(const JobRecord& a, const JobRecord& b);

}  // namespace tsupport
