#include "support/common3d_run.h"

#include "cycle/cycle_setup.h"
#include "cycle/phase_runner.h"
#include "cycles/common3d/common3d_record.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "formats/settings/param_list.h"

namespace tsupport {

int runOn3dCycle(const Params& params, const std::vector<std::string>& options,
                 std::function<void(CycleDescriptor*)> execute, int* status) {
  TestCycle cycle(&cyc3dCycleDescriptor, "Adapter Test Cycle");
  // A fresh record: an earlier test cycle may have had the same address.
  *cyc3dRecordOf(cycle.ctx()) = Cyc3dRecord{};
  cycle.clearSlot(kSlotInit);
  cycle.clearSlot(kSlotReadPcfParams);
  cycle.clearSlot(kSlotClose);
  cycle.setAction(kSlotLoadPcf, [params](CycleDescriptor* ctx) {
    for (const auto& [k, v] : params) {
      ctx->params = paramListSet(ctx->params, k.c_str(), v.c_str(), kParamOriginSettings);
    }
  });
  if (execute) {
    cycle.setAction(kSlotExecute, std::move(execute));
  } else {
    cycle.clearSlot(kSlotExecute);
  }
  std::string job = "-Sjob";
  std::vector<std::string> args = options;
  std::vector<char*> argv = {job.data()};
  for (std::string& a : args) argv.push_back(a.data());
  if (cycSetup(cycle.ctx(), argv.data(), static_cast<int>(argv.size()), 0) != 1) return -1;
  const int code = cycRun(cycle.ctx());
  if (status != nullptr) *status = cycle.ctx()->statusOut.load();
  return code;
}

}  // namespace tsupport
