// Output channels of a context: the registry of writers and listeners, the
// record dispatcher, and the POF output stream.
//
// Each registered channel has a POF-mode writer, a kFY-mode writer and a
// list of listeners (the host's callbacks).  The context owns its registry
// (CycleDescriptor::channels), kept in ascending channel order.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "base/cycle_context.h"
#include "tessaro.h"

// Output channel numbers.
enum OutputChannelId : uint16_t {
  kChanStatus = 0,
  kChanSettings = 1,
  kChanComments = 2,
  kChanNcMark = 3,
  kChanDetail1 = 4,
  kChanDetail2 = 5,
  kChanDetail3 = 6,
  kChanArguments = 10,
  kChanVariables = 11,
  kChanMarkers = 12,
  kChanDrillPoints = 30,
  kChanContour = 31,
  kChanNcBlocks = 32,
  kChanOriginalPath = 33,
  kChanGeometry35 = 35,
  kChanGeometry36 = 36,
  kChanHostReserved = 40,
  kChanDisplayPolylines = 41,
  kChanDisplayPoints = 42,
};

// Kernel events raised by the registry and the dispatcher (to the context's
// eventHook).
enum OutputEventCode : int {
  kEventChannelRegisterBegin = 131,
  kEventChannelRegisterEnd = 139,
  kEventFirstRecord = 312,
};

// A channel writer: turns the record into the output of its mode.  Returns
// the dispatch result (1 written).
using OutWriterFn = int (*)(CycleDescriptor* ctx, OutputRecord* record);
// A listener function; its result is ignored.
using OutListenerFn = int (*)(CycleDescriptor* ctx, OutputRecord* record, intptr_t user);

struct OutputListener {
  OutListenerFn pofFn;  // called in POF mode
  intptr_t user;
  OutListenerFn kfyFn;  // called in kFY mode
  intptr_t user2;
  OutputListener* next;
};

struct OutputChannel {
  uint16_t channel;
  int32_t enabled;  // 1 = on
  OutWriterFn pofWriter;
  OutWriterFn kfyWriter;
  OutputListener* listeners;
  OutputChannel* next;
};

// Registers channel on ctx, raising events 131 before and 139 after.  An
// existing channel gets the new writers and enabled flag and keeps its
// listeners; otherwise a node is inserted in channel order.  Returns 1, or 0
// when ctx is null or the node cannot be allocated (the channel then stays
// unregistered).  Cycle thread only.
int outRegisterChannel(CycleDescriptor* ctx, uint16_t channel, OutWriterFn pofWriter,
                       OutWriterFn kfyWriter, int enabled);

// Appends a listener at the end of channel's list.  Returns 0 when the
// channel is not registered or both functions are null, else 1 (0 also on a
// failed allocation).  Cycle thread only.
int outAddListener(CycleDescriptor* ctx, uint16_t channel, OutListenerFn pofFn, intptr_t user,
                   OutListenerFn kfyFn, intptr_t user2);

// Frees every channel node and listener of ctx; the registry is empty
// afterwards.  Null ctx is ignored.  Cycle thread only.  When called from
// inside a dispatch (a listener that runs a nested cycle on the same
// context), the nodes are released when the outermost dispatch ends, and
// the dispatch calls no further listeners of the freed registry.
void outFreeChannels(CycleDescriptor* ctx);

// Dispatches record on channel of ctx:
//  1. the first record of a run (ctx->firstRecord == 1) clears the flag and
//     raises event 312, even when the channel is not registered;
//  2. an absent or disabled channel returns 0;
//  3. the writer of the output mode (kFY writer when ctx->outputMode is 1,
//     else the POF writer) runs when set; its result is the call's result
//     (0 without a writer);
//  4. the channel's listeners run in list order: their kFY function in kFY
//     mode, their POF function in POF mode, each when set.
// Thread-safety: callable from any thread (worker threads send the display
// channels 41 and 42).  Every dispatch holds the dispatcher mutex, so no two
// writers or host callbacks ever run at the same time; the mutex is
// recursive, so a listener may send records itself.
int outSendRecord(CycleDescriptor* ctx, uint16_t channel, OutputRecord* record);

// 1 when a record sent on channel now would reach a writer or a listener of
// the current output mode, else 0: senders of many records may skip making
// the ones nobody takes.  The answer holds while the caller keeps the
// dispatcher mutex.
int outChannelListened(CycleDescriptor* ctx, uint16_t channel);

// The output cycle: the context through which numbered messages (and the
// output adapter's path records) are sent.  Null at load; a cycle sets it
// at the start of its execute phase.  Setting it installs the message sink
// (base/messages.h), which sends each message as an error record of the
// output cycle under the dispatcher mutex.  Cycle thread only.
void outSetContext(CycleDescriptor* ctx);
CycleDescriptor* outGetContext();

// The dispatcher mutex.  Code that must keep several records together, or
// that formats shared state before sending (the message sink), holds it.
// The thread that holds it may take it again: a move's records pass
// through several nested holds, and only the outermost one touches the
// mutex itself.
class DispatchMutex {
 public:
  void lock() {
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }
  void unlock() {
    if (--depth_ > 0) return;
    // Cleared before the release: a thread that no longer holds the mutex
    // never reads its own id here again.
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // the holder's count of holds
};
DispatchMutex& outDispatchMutex();

// Makes file the POF output stream when it is an open regular file
// (returns 1); otherwise standard output becomes the stream (returns 0).
// The stream is not closed or owned here.
int pofSetStream(std::FILE* file);

// The current POF output stream: standard output until pofSetStream chose a
// file.
std::FILE* pofGetStream();
