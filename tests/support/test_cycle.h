// A scripted cycle descriptor for tests: every slot records its call and
// returns a result chosen by the test, optionally after an action.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "cycle/cycle_descriptor.h"
#include "tessaro.h"

namespace tsupport {

class TestCycle {
 public:
  // A descriptor with the given parent (the kernel by default) and the
  // library's interface version.  Every slot is set: the settings slots 2
  // and 3 read no files, the close slot 15 ends like the kernel's close
  // (cycle end record, registry freed) before it returns its result.
  explicit TestCycle(CycleDescriptor* parent = &kernelCycleDescriptor,
                     const char* title = "Test Cycle");
  ~TestCycle();
  TestCycle(const TestCycle&) = delete;
  TestCycle& operator=(const TestCycle&) = delete;

  CycleDescriptor* ctx() { return desc_.get(); }

  // The result slot returns (1 unless set).
  void setResult(int slot, int result) { results_[slot] = result; }
  // Runs before the slot returns its result.
  void setAction(int slot, std::function<void(CycleDescriptor*)> action) {
    actions_[slot] = std::move(action);
  }
  // Empties slot so that it is inherited from the parent at the first setup.
  void clearSlot(int slot);

  // Installs a hook that appends every event to events().
  void recordEvents();

  // Slot numbers in call order, and the recorded events.
  const std::vector<int>& slotCalls() const { return slotCalls_; }
  const std::vector<int>& events() const { return events_; }
  void clearLog() {
    slotCalls_.clear();
    events_.clear();
  }

  // Dispatch target of the slot functions.
  int callSlot(int slot, CycleDescriptor* ctx);
  void addEvent(int code) { events_.push_back(code); }

 private:
  std::unique_ptr<CycleDescriptor> desc_;
  int results_[kSlotCount];
  std::function<void(CycleDescriptor*)> actions_[kSlotCount];
  std::vector<int> slotCalls_;
  std::vector<int> events_;
};

// Registers each channel on ctx with a writer that writes nothing and
// returns 1.
void registerQuietChannels(CycleDescriptor* ctx, const std::vector<int>& channels);

// Sends a channel-0 style text record (code, name, value) on channel.
int sendTextRecord(CycleDescriptor* ctx, int channel, int code, const char* name,
                   const char* value);

}  // namespace tsupport
