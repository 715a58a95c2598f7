// The cycle context record: the static record of one cycle, its run state
// and its sixteen method slots.  Every cycle of the library is one static
// CycleDescriptor; empty slots are inherited from the parent chain at the
// first setup (cycSetup, cycle/cycle_setup.h).  The record lives at the base
// of the library because the output channels and the messages address a run
// through it; the functions that run cycles are in cycle/cycle_descriptor.h.
//
// Thread-safety: a descriptor's run data, slots and hook belong to the thread
// that runs the cycle.  Only signalIn and statusOut may be touched from other
// threads (the host sets the signal word from anywhere, workers poll it).
#pragma once

#include <atomic>
#include <cstdint>

#include "base/cs_matrix.h"

struct OutputChannel;  // output_channels.h
struct ParamEntry;     // param_list.h
struct CfgLine;        // cfg_lines.h
struct ToolRecord;     // made by the tool definition output
struct CycleDescriptor;

// A method slot: 1 on success, 0 on failure.
using CycleSlot = int (*)(CycleDescriptor* ctx);
// The context's event hook (HostEventCode values), with its user value.
using CycleEventHook = void (*)(CycleDescriptor* ctx, int code, intptr_t user);

// The newest-first parameter list of a run.
using ParamList = ParamEntry*;

enum CycleSlotIndex : int {
  kSlotOnArgs = 0,
  kSlotInit = 1,
  kSlotLoadPcf = 2,
  kSlotLoadCfg = 3,
  kSlotOptionV = 4,
  kSlotOptionQuery = 5,
  kSlotOptionP = 6,
  kSlotOptionA = 7,
  kSlotOptionY = 8,
  kSlotOptionD = 9,
  kSlotReadPcfParams = 10,
  kSlotReadCfgParams = 11,
  kSlotPrepare = 12,
  kSlotExecute = 13,
  kSlotPostExecute = 14,
  kSlotClose = 15,
  kSlotCount = 16,
};

// Option flags of a run (modeFlags).
enum CycleModeFlag : uint16_t {
  kModeV = 1,
  kModeQuery = 2,
  kModeP = 4,
  kModeA = 8,
  kModeY = 16,
  kModeD = 32,
  kModeSettingsFile = 0x100,
};

// The flags that select the option mode of a run (all but kModeSettingsFile).
constexpr uint16_t kModeOptionMask = kModeV | kModeQuery | kModeP | kModeA | kModeY | kModeD;

enum CycleOutputMode : int32_t {
  kOutputPof = 0,
  kOutputKfy = 1,
};

// Events raised to the context's hook.  A begin code ends in 1, its end code
// in 9.  The registry and dispatcher events (131, 139, 312) are listed with
// the output channels (output_channels.h).
enum HostEventCode : int {
  kEventOnArgsBegin = 111,
  kEventOnArgsEnd = 119,
  kEventLoadSettingsBegin = 121,
  kEventLoadSettingsEnd = 129,
  kEventOptionVBegin = 211,
  kEventOptionVEnd = 219,
  kEventOptionQueryBegin = 221,
  kEventOptionQueryEnd = 229,
  kEventOptionPBegin = 231,
  kEventOptionPEnd = 239,
  kEventOptionABegin = 241,
  kEventOptionAEnd = 249,
  kEventOptionYBegin = 251,
  kEventOptionYEnd = 259,
  kEventOptionDBegin = 261,
  kEventOptionDEnd = 269,
  kEventInitBegin = 311,
  kEventInitEnd = 319,
  kEventReadParamsBegin = 321,
  kEventReadParamsEnd = 329,
  kEventPrepareBegin = 331,
  kEventPrepareEnd = 339,
  kEventExecuteBegin = 341,
  kEventExecuteEnd = 349,
  kEventPostExecuteBegin = 351,
  kEventPostExecuteEnd = 359,
  kEventCloseBegin = 391,
  kEventCloseEnd = 399,
  kEventCleanupBegin = 411,
  kEventCleanupEnd = 419,
};

// The interface version shared by every descriptor of the library.
constexpr uint16_t kCycleInterfaceVersion = 5;

// Every member has its start value, so a static descriptor names only its
// identity and its own slots (designated initialisers); the rest starts as
// before any run: no run data, identity frames, empty slots (inherited).
struct CycleDescriptor {
  CycleDescriptor* parent = nullptr;
  int32_t inherited = 0;
  uint16_t interfaceVersion = kCycleInterfaceVersion;
  int32_t cycleNumber = 0;
  uint16_t versionMajor = 0, versionMinor = 0;
  uint16_t versionYear = 0, versionMonth = 0, versionDay = 0;
  const char* title = nullptr;
  const char* id = nullptr;

  // Run data, owned, from cycSetup to cycCleanup.
  char** args = nullptr;
  uint16_t argCount = 0;
  char* settingsFile = nullptr;
  uint16_t modeFlags = 0;
  uint16_t detailLevel = 0;
  int32_t outputMode = kOutputPof;
  int32_t firstRecord = 1;
  OutputChannel* channels = nullptr;
  ParamList params = nullptr;
  int32_t cfgMode = 0;
  CfgLine* cfgLines = nullptr;
  int32_t toolOutput = 0;
  CsMat frameCs = kCsIdentity;
  CsMat toolCs = kCsIdentity;

  CycleSlot slots[kSlotCount] = {};

  CycleEventHook eventHook = nullptr;
  intptr_t eventUser = 0;

  // Written by the host from any thread, polled by worker threads.
  std::atomic<int32_t> signalIn{0};
  std::atomic<int32_t> statusOut{0};

  ToolRecord* toolRecord = nullptr;
};

// Raises event code to ctx's hook with the hook's user value; nothing when
// ctx or its hook is null.
void cycRaiseEvent(CycleDescriptor* ctx, int code);
