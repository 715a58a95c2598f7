#include "capi/host_bridge.h"

#include <array>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

#include "output/output_channels.h"

namespace {

// Channels that carry host listeners, in the order they are added.
constexpr uint16_t kHostChannels[] = {0, 1, 2, 3, 10, 11, 12, 31, 35, 40, 41, 42};

// One listener function per channel, so that the record's channel reaches
// the host although the dispatcher does not pass it.
template <int Channel>
int hostChannelForward(CycleDescriptor* ctx, OutputRecord* record, intptr_t user) {
  return hostForwardRecord(ctx, Channel, record, reinterpret_cast<const HostCallbackSet*>(user));
}

template <std::size_t... I>
constexpr auto makeForwarders(std::index_sequence<I...>) {
  return std::array<OutListenerFn, sizeof...(I)>{&hostChannelForward<kHostChannels[I]>...};
}

constexpr auto kForwarders = makeForwarders(std::make_index_sequence<std::size(kHostChannels)>{});

struct RunStack {
  std::mutex mutex;
  CycleDescriptor* runs[kHostMaxNesting] = {};
  int depth = 0;
  std::thread::id owner;
};

RunStack& runStack() {
  static RunStack stack;
  return stack;
}

}  // namespace

void hostOnEvent(CycleDescriptor* ctx, int code, intptr_t user) {
  if (code != kEventFirstRecord) return;
  const auto* set = reinterpret_cast<const HostCallbackSet*>(user);
  if (set == nullptr || (set->fn0 == nullptr && set->fn1 == nullptr && set->fn2 == nullptr)) {
    return;
  }
  for (std::size_t i = 0; i < std::size(kHostChannels); ++i) {
    outAddListener(ctx, kHostChannels[i], kForwarders[i], user, nullptr, 0);
  }
}

int hostForwardRecord(CycleDescriptor* ctx, int channel, OutputRecord* record,
                      const HostCallbackSet* set) {
  if (set == nullptr) return 1;
  const auto call = [&](HostRecordFn fn, intptr_t user) {
    if (fn != nullptr) fn(ctx, channel, record, user);
  };
  switch (channel) {
    case 0:
      call(set->fn0, set->user0);
      call(set->fn1, set->user1);
      break;
    case 1:
    case 2:
      call(set->fn1, set->user1);
      break;
    case 3:
    case 40:
      call(set->fn2, set->user2);
      break;
    case 10:
    case 11:
    case 12:
    case 31:
    case 35:
    case 41:
    case 42:
      call(set->fn0, set->user0);
      break;
    default:
      break;
  }
  return 1;
}

int hostRunBegin(CycleDescriptor* ctx) {
  RunStack& s = runStack();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.depth >= kHostMaxNesting) return 0;
  if (s.depth > 0 && s.owner != std::this_thread::get_id()) return 0;
  for (int i = 0; i < s.depth; ++i) {
    if (s.runs[i] == ctx) return 0;
  }
  s.runs[s.depth++] = ctx;
  s.owner = std::this_thread::get_id();
  return 1;
}

void hostRunEnd(CycleDescriptor* ctx) {
  RunStack& s = runStack();
  std::lock_guard<std::mutex> lock(s.mutex);
  // Runs end in reverse order; search anyway so that a mismatch cannot
  // leave a stale entry behind.
  for (int i = s.depth - 1; i >= 0; --i) {
    if (s.runs[i] == ctx) {
      for (int j = i; j + 1 < s.depth; ++j) s.runs[j] = s.runs[j + 1];
      s.runs[--s.depth] = nullptr;
      break;
    }
  }
}

int hostNestingDepth() {
  RunStack& s = runStack();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.depth;
}
