#include "base/cycle_context.h"

void cycRaiseEvent(CycleDescriptor* ctx, int code) {
  if (ctx != nullptr && ctx->eventHook != nullptr) ctx->eventHook(ctx, code, ctx->eventUser);
}
