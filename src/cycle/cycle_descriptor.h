// Cycle descriptors: the kernel's root descriptor, the shared slot stubs,
// the help slots and the calling of slots with their begin and end events.
// The descriptor record itself is in base/cycle_context.h.
#pragma once

#include "base/cycle_context.h"

// The root of every parent chain ("Zyklenkern"): all sixteen slots hold the
// kernel defaults, and it counts as inherited from the start.
extern CycleDescriptor kernelCycleDescriptor;

// Status of a result: 100 for -2 (cancelled), 1 for any other negative
// result, 0 otherwise; stored in ctx->statusOut when ctx is not null.
// Returns the status.
int cycSetSignalOut(CycleDescriptor* ctx, int result);

// Shared stubs for slots and hooks: cycNoOp does nothing, cycNoOpOne returns
// 1 and cycNoOpZero returns 0.  ctx is not touched (null is fine).
void cycNoOp();
int cycNoOpOne(CycleDescriptor* ctx);
int cycNoOpZero(CycleDescriptor* ctx);

// Help slots of the options -P, -A and -Y: 1 when the help file named by the
// run's parameter "parameters", "algorithm" or "layers" has a block in the
// configured language, else 0 (langHelpText).  Cycle thread only.
int cycHelpParameters(CycleDescriptor* ctx);
int cycHelpAlgorithm(CycleDescriptor* ctx);
int cycHelpLayers(CycleDescriptor* ctx);

// The begin event of slot (0-15); the end event is begin + 8.
int cycSlotBeginEvent(int slot);

// Raises the slot's begin event, calls the slot with ctx, raises the end
// event (whatever the slot returned) and returns the slot's result.  An
// empty slot (possible only before inheritance) counts as a failure, 0.
int cycCallSlot(CycleDescriptor* ctx, int slot);
