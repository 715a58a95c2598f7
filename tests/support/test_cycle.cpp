#include "support/test_cycle.h"

#include <map>
#include <mutex>
#include <utility>

#include "cycle/cycle_setup.h"
#include "cycle/phase_runner.h"
#include "output/output_channels.h"
#include "output/output_record.h"

namespace tsupport {

namespace {

std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}

std::map<CycleDescriptor*, TestCycle*>& registry() {
  static std::map<CycleDescriptor*, TestCycle*> r;
  return r;
}

TestCycle* lookup(CycleDescriptor* ctx) {
  std::lock_guard<std::mutex> lock(registryMutex());
  const auto it = registry().find(ctx);
  return it == registry().end() ? nullptr : it->second;
}

template <int Slot>
int slotFn(CycleDescriptor* ctx) {
  TestCycle* t = lookup(ctx);
  return t != nullptr ? t->callSlot(Slot, ctx) : 0;
}

template <std::size_t... I>
void fillSlots(CycleSlot* slots, std::index_sequence<I...>) {
  ((slots[I] = &slotFn<static_cast<int>(I)>), ...);
}

void recordingHook(CycleDescriptor* ctx, int code, intptr_t) {
  if (TestCycle* t = lookup(ctx)) t->addEvent(code);
}

int quietWriter(CycleDescriptor*, OutputRecord*) { return 1; }

}  // namespace

TestCycle::TestCycle(CycleDescriptor* parent, const char* title)
    : desc_(std::make_unique<CycleDescriptor>()) {
  // Everything else keeps the start values of a descriptor.
  CycleDescriptor* d = desc_.get();
  d->parent = parent;
  d->cycleNumber = 4711;
  d->versionMajor = 1;
  d->versionMinor = 2;
  d->versionYear = 2020;
  d->versionMonth = 1;
  d->versionDay = 2;
  d->title = title;
  fillSlots(d->slots, std::make_index_sequence<kSlotCount>{});
  for (int& r : results_) r = 1;
  std::lock_guard<std::mutex> lock(registryMutex());
  registry()[d] = this;
}

TestCycle::~TestCycle() {
  outFreeChannels(desc_.get());
  cycCleanup(desc_.get());
  std::lock_guard<std::mutex> lock(registryMutex());
  registry().erase(desc_.get());
}

void TestCycle::clearSlot(int slot) { desc_->slots[slot] = nullptr; }

void TestCycle::recordEvents() {
  desc_->eventHook = recordingHook;
  desc_->eventUser = 0;
}

int TestCycle::callSlot(int slot, CycleDescriptor* ctx) {
  slotCalls_.push_back(slot);
  if (actions_[slot]) actions_[slot](ctx);
  if (slot == kSlotClose) cycBaseClose(ctx);
  return results_[slot];
}

void registerQuietChannels(CycleDescriptor* ctx, const std::vector<int>& channels) {
  for (int c : channels)
    outRegisterChannel(ctx, static_cast<uint16_t>(c), quietWriter, quietWriter, 1);
}

int sendTextRecord(CycleDescriptor* ctx, int channel, int code, const char* name,
                   const char* value) {
  OutputRecord record;
  outRecClear(&record, code);
  outRecSetText(&record, kRecName, name);
  outRecSetText(&record, kRecValue, value);
  return outSendRecord(ctx, static_cast<uint16_t>(channel), &record);
}

}  // namespace tsupport
