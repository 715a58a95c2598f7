// Cycle descriptors: the static record of one cycle, its run state and its
// sixteen method slots.  Every cycle of the library is one static
// CycleDescriptor; empty slots are inherited from the parent chain at the
// first setup.
#pragma once

#include <atomic>
#include <cstdint>

#include "tessaro.h"

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

// Column-major coordinate system: columns 0-2 hold the unit axes, column 3
// the origin; a point maps as M*p.  Element m[row][col].
struct CsMat {
  double m[4][4];
};

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

enum CycleOutputMode : int32_t {
  kOutputPof = 0,
  kOutputKfy = 1,
};

struct CycleDescriptor {
  CycleDescriptor* parent;
  int32_t inherited;
  uint16_t interfaceVersion;
  int32_t cycleNumber;
  uint16_t versionMajor, versionMinor;
  uint16_t versionYear, versionMonth, versionDay;
  const char* title;
  const char* id;

  // Run data, owned, from cycSetup to cycCleanup.
  char** args;
  uint16_t argCount;
  char* settingsFile;
  uint16_t modeFlags;
  uint16_t detailLevel;
  int32_t outputMode;
  int32_t firstRecord;
  OutputChannel* channels;
  ParamList params;
  int32_t cfgMode;
  CfgLine* cfgLines;
  int32_t toolOutput;
  CsMat frameCs;
  CsMat toolCs;

  CycleSlot slots[kSlotCount];

  CycleEventHook eventHook;
  intptr_t eventUser;

  // Written by the host from any thread, polled by worker threads.
  std::atomic<int32_t> signalIn;
  std::atomic<int32_t> statusOut;

  ToolRecord* toolRecord;
};
