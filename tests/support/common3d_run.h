// Test runs of a cycle built on the 3D Common Cycle: its init, read-
// parameters and close slots are the 3D Common Cycle's own, the settings
// come from the test (PCF mode, "-Sjob") and the execute slot runs the
// test's action (or the 3D Common Cycle's execute when none is given).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/cycle_context.h"
#include "support/test_cycle.h"

namespace tsupport {

using Params = std::vector<std::pair<std::string, std::string>>;

// Runs one cycle (title "Adapter Test Cycle") through cycSetup and cycRun
// with "-Sjob" and the extra options.  Returns the run code, or -1 when the
// setup failed.  status, when not null, receives the status word.
int runOn3dCycle(const Params& params, const std::vector<std::string>& options,
                 std::function<void(CycleDescriptor*)> execute, int* status = nullptr);

}  // namespace tsupport
