#include "output/output_channels.h"

#include <sys/stat.h>

#include <atomic>
#include <new>
#include <vector>

#include "base/messages.h"
#include "output/output_emitters.h"

namespace {

std::atomic<std::FILE*> gPofStream{nullptr};

// Dispatch bookkeeping, guarded by the dispatcher mutex.  A listener may
// free the registry it is called from (a host callback that starts a nested
// run on the same context, whose close frees the channels): while a
// dispatch is in progress freed nodes are parked and released when the
// outermost dispatch ends, and the generation tells the dispatch to stop
// walking a registry that is gone.
int gDispatchDepth = 0;
uint64_t gRegistryGeneration = 0;
std::vector<OutputChannel*> gParkedRegistries;

void freeRegistry(OutputChannel* node) {
  while (node != nullptr) {
    OutputListener* listener = node->listeners;
    while (listener != nullptr) {
      OutputListener* next = listener->next;
      delete listener;
      listener = next;
    }
    OutputChannel* next = node->next;
    delete node;
    node = next;
  }
}

class DispatchScope {
 public:
  DispatchScope() { ++gDispatchDepth; }
  ~DispatchScope() {
    if (--gDispatchDepth == 0 && !gParkedRegistries.empty()) {
      for (OutputChannel* head : gParkedRegistries) freeRegistry(head);
      gParkedRegistries.clear();
    }
  }
  DispatchScope(const DispatchScope&) = delete;
  DispatchScope& operator=(const DispatchScope&) = delete;
};

// True while node belongs to ctx's registry.  Parked nodes are not freed
// during a dispatch, so no new node can take the address of a freed one.
bool stillRegistered(const CycleDescriptor* ctx, const OutputChannel* node, uint64_t generation) {
  if (gRegistryGeneration == generation) return true;
  for (const OutputChannel* c = ctx->channels; c != nullptr; c = c->next) {
    if (c == node) return true;
  }
  return false;
}

OutputChannel* findChannel(CycleDescriptor* ctx, uint16_t channel) {
  for (OutputChannel* node = ctx->channels; node != nullptr && node->channel <= channel;
       node = node->next) {
    if (node->channel == channel) return node;
  }
  return nullptr;
}

}  // namespace

namespace {

std::atomic<CycleDescriptor*> gOutputCycle{nullptr};

// One lock (the dispatcher's) for reading the output cycle and sending:
// messages come from worker threads too.
int sendMessage(const char* message) {
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  CycleDescriptor* ctx = gOutputCycle.load();
  if (ctx == nullptr) return 0;
  return outSendError(ctx, message);
}

}  // namespace

void outSetContext(CycleDescriptor* ctx) {
  gOutputCycle.store(ctx);
  msgSetSink(sendMessage);
}

CycleDescriptor* outGetContext() { return gOutputCycle.load(); }

DispatchMutex& outDispatchMutex() {
  // Never destroyed: worker threads may still dispatch while the process
  // exits.
  static auto* mutex = new DispatchMutex;
  return *mutex;
}

int outRegisterChannel(CycleDescriptor* ctx, uint16_t channel, OutWriterFn pofWriter,
                       OutWriterFn kfyWriter, int enabled) {
  if (ctx == nullptr) return 0;
  cycRaiseEvent(ctx, kEventChannelRegisterBegin);
  int result = 1;
  {
    std::lock_guard<DispatchMutex> lock(outDispatchMutex());
    if (OutputChannel* node = findChannel(ctx, channel)) {
      node->pofWriter = pofWriter;
      node->kfyWriter = kfyWriter;
      node->enabled = enabled;
      ++gRegistryGeneration;
    } else if (auto* fresh = new (std::nothrow)
                   OutputChannel{channel, enabled, pofWriter, kfyWriter, nullptr, nullptr}) {
      OutputChannel** link = &ctx->channels;
      while (*link != nullptr && (*link)->channel < channel) link = &(*link)->next;
      fresh->next = *link;
      *link = fresh;
      ++gRegistryGeneration;
    } else {
      result = 0;
    }
  }
  cycRaiseEvent(ctx, kEventChannelRegisterEnd);
  return result;
}

int outAddListener(CycleDescriptor* ctx, uint16_t channel, OutListenerFn pofFn, intptr_t user,
                   OutListenerFn kfyFn, intptr_t user2) {
  if (ctx == nullptr || (pofFn == nullptr && kfyFn == nullptr)) return 0;
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  OutputChannel* node = findChannel(ctx, channel);
  if (node == nullptr) return 0;
  auto* listener = new (std::nothrow) OutputListener{pofFn, user, kfyFn, user2, nullptr};
  if (listener == nullptr) return 0;
  OutputListener** link = &node->listeners;
  while (*link != nullptr) link = &(*link)->next;
  *link = listener;
  ++gRegistryGeneration;
  return 1;
}

void outFreeChannels(CycleDescriptor* ctx) {
  if (ctx == nullptr) return;
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  OutputChannel* head = ctx->channels;
  ctx->channels = nullptr;
  ++gRegistryGeneration;
  if (head == nullptr) return;
  if (gDispatchDepth > 0) {
    // A dispatch further up this thread's stack still walks these nodes.
    try {
      gParkedRegistries.push_back(head);
      return;
    } catch (const std::bad_alloc&) {
      // Leaking beats freeing memory that is still in use.
      return;
    }
  }
  freeRegistry(head);
}

namespace {

// The nodes of the channels looked up last, one slot per channel number
// modulo the slot count, valid while the context keeps its registry and the
// registry its generation: a move's records alternate between a few
// channels, and each of them skips the walk.  Guarded by the dispatcher
// mutex.
struct ChannelLookup {
  static constexpr int kSlots = 16;
  struct Slot {
    int channel = -1;
    OutputChannel* node = nullptr;
  };
  const CycleDescriptor* ctx = nullptr;
  const OutputChannel* head = nullptr;
  uint64_t generation = 0;
  Slot slots[kSlots];
};
ChannelLookup gLookups;

// findChannel through the lookups.  Call with the dispatcher mutex held.
OutputChannel* lookUpChannel(CycleDescriptor* ctx, uint16_t channel) {
  ChannelLookup& seen = gLookups;
  if (seen.ctx != ctx || seen.head != ctx->channels || seen.generation != gRegistryGeneration) {
    seen = ChannelLookup{};
    seen.ctx = ctx;
    seen.head = ctx->channels;
    seen.generation = gRegistryGeneration;
  }
  ChannelLookup::Slot& slot = seen.slots[channel % ChannelLookup::kSlots];
  if (slot.channel != channel) slot = ChannelLookup::Slot{channel, findChannel(ctx, channel)};
  return slot.node;
}

}  // namespace

int outSendRecord(CycleDescriptor* ctx, uint16_t channel, OutputRecord* record) {
  if (ctx == nullptr || record == nullptr) return 0;
  // One lock around the whole dispatch: display records arrive from worker
  // threads, and the host must never be entered twice at once.
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  DispatchScope scope;
  if (ctx->firstRecord == 1) {
    ctx->firstRecord = 0;
    cycRaiseEvent(ctx, kEventFirstRecord);
  }
  const OutputChannel* node = lookUpChannel(ctx, channel);
  if (node == nullptr || node->enabled != 1) return 0;
  const uint64_t generation = gRegistryGeneration;
  const bool kfyMode = ctx->outputMode == kOutputKfy;
  int result = 0;
  const OutWriterFn writer = kfyMode ? node->kfyWriter : node->pofWriter;
  if (writer != nullptr) result = writer(ctx, record);
  for (const OutputListener* l = node->listeners;
       l != nullptr && stillRegistered(ctx, node, generation); l = l->next) {
    if (kfyMode) {
      if (l->kfyFn != nullptr) l->kfyFn(ctx, record, l->user2);
    } else if (l->pofFn != nullptr) {
      l->pofFn(ctx, record, l->user);
    }
  }
  return result;
}

int outChannelListened(CycleDescriptor* ctx, uint16_t channel) {
  if (ctx == nullptr) return 0;
  std::lock_guard<DispatchMutex> lock(outDispatchMutex());
  const OutputChannel* node = lookUpChannel(ctx, channel);
  if (node == nullptr || node->enabled != 1) return 0;
  const bool kfyMode = ctx->outputMode == kOutputKfy;
  if ((kfyMode ? node->kfyWriter : node->pofWriter) != nullptr) return 1;
  for (const OutputListener* l = node->listeners; l != nullptr; l = l->next) {
    if ((kfyMode ? l->kfyFn != nullptr : l->pofFn != nullptr)) return 1;
  }
  return 0;
}

int pofSetStream(std::FILE* file) {
  struct stat st;
  if (file != nullptr && fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
    gPofStream.store(file);
    return 1;
  }
  gPofStream.store(nullptr);
  return 0;
}

std::FILE* pofGetStream() {
  std::FILE* file = gPofStream.load();
  return file != nullptr ? file : stdout;
}
