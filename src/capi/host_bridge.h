// The bridge between a run's output channels and the host's callbacks, and
// the bookkeeping of runs in progress.
#pragma once

#include <cstdint>

#include "cycle/cycle_descriptor.h"
#include "tessaro.h"

// Deepest nesting of runs started through qzCSexecCycle.
constexpr int kHostMaxNesting = 8;

// The event hook of a host run; user is the run's HostCallbackSet*.  Acts on
// the first-record event (312) alone, and only when the set has at least one
// function: it appends a forwarding listener to each of the channels 0, 1,
// 2, 3, 10, 11, 12, 31, 35, 40, 41 and 42 of ctx that is registered (POF
// mode only; kFY output reaches no host function).  Cycle thread.
void hostOnEvent(CycleDescriptor* ctx, int code, intptr_t user);

// Forwards record of channel to the host functions of set in routing order:
// channel 0 to fn0 then fn1; 1 and 2 to fn1; 3 and 40 to fn2; 10, 11, 12,
// 31, 35, 41 and 42 to fn0.  Null functions, a null set and other channels
// are skipped.  Returns 1.
int hostForwardRecord(CycleDescriptor* ctx, int channel, OutputRecord* record,
                      const HostCallbackSet* set);

// Registers the start of a run of ctx through qzCSexecCycle.  Refused (0)
// when kHostMaxNesting runs are in progress, when ctx itself is one of them
// (a second run would free the data the first one is using), or when the
// runs in progress belong to another thread (concurrent runs would share
// the kernel's process-wide state).  Otherwise 1; hostRunEnd must follow.
int hostRunBegin(CycleDescriptor* ctx);
void hostRunEnd(CycleDescriptor* ctx);

// Number of qzCSexecCycle runs in progress (0 to 8).
int hostNestingDepth();
