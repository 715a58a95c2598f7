// The four functions the library exports.  Each is a firewall: no exception
// leaves it, and failures become the documented results.
#include "capi/host_bridge.h"
#include "cycle/cycle_setup.h"
#include "cycle/phase_runner.h"
#include "cycles/profile/profile_cycle_descriptor.h"
#include "tessaro.h"

#define TESSARO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Answer of the signal functions when there is no context.
constexpr int kNoContextSignal = 1;

CycleDescriptor* contextOf(void* ctx) {
  return ctx != nullptr ? static_cast<CycleDescriptor*>(ctx)
                        : static_cast<CycleDescriptor*>(qzCSgetCycle());
}

}  // namespace

TESSARO_EXPORT void* qzCSgetCycle(void) {
  // Filled once; a function-local static is safe to reach from any thread.
  static CycleDescriptor* const defaultContext = cycGetProfileCycle();
  return defaultContext;
}

TESSARO_EXPORT int qzCSexecCycle(void* handle, int argc, char** argv, HostCallbackSet* callbacks) {
  CycleDescriptor* ctx = nullptr;
  bool running = false;
  bool setUp = false;
  try {
    ctx = contextOf(handle);
    if (ctx == nullptr || hostRunBegin(ctx) == 0) return 0;
    running = true;
    if (cycSetup(ctx, argv, argc, 0) == 0) {
      hostRunEnd(ctx);
      return 0;
    }
    setUp = true;
    const CycleEventHook savedHook = ctx->eventHook;
    const intptr_t savedUser = ctx->eventUser;
    ctx->eventHook = hostOnEvent;
    ctx->eventUser = reinterpret_cast<intptr_t>(callbacks);
    cycRun(ctx);
    ctx->eventHook = savedHook;
    ctx->eventUser = savedUser;
    hostRunEnd(ctx);
    return 1;
  } catch (...) {
    // Nothing may cross into the host; an interrupted run counts as failed
    // and leaves nothing behind for the next run (run data, listeners,
    // open POF files and levels).
    try {
      if (ctx != nullptr && running) cycAbandonRun(ctx, hostNestingDepth() == 1);
    } catch (...) {
    }
    if (ctx != nullptr && setUp) {
      ctx->eventHook = nullptr;
      ctx->eventUser = 0;
      ctx->statusOut.store(1);
    }
    if (running) hostRunEnd(ctx);
    return setUp ? 1 : 0;
  }
}

TESSARO_EXPORT int qzCSsetSignal(void* handle, int value) {
  CycleDescriptor* ctx = contextOf(handle);
  if (ctx == nullptr) return kNoContextSignal;
  return ctx->signalIn.exchange(value);
}

TESSARO_EXPORT int qzCSgetSignal(void* handle) {
  CycleDescriptor* ctx = contextOf(handle);
  if (ctx == nullptr) return kNoContextSignal;
  return ctx->statusOut.load();
}
