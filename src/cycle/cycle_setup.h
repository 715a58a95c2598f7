// The first half of every cycle run: slot inheritance, the argument vector,
// the version text and the settings; and the cleanup of a run's data.
//
// All functions run on the thread that runs the cycle.  A descriptor serves
// one run at a time.
#pragma once

#include "cycle/cycle_descriptor.h"

// Line buffer size of the bypass echo.
constexpr int kBypassLineLength = 512;

// Prepares ctx for a run:
//  1. inheritance, once per descriptor: the parent chain is set up first
//     (inheritOnly), then every empty slot takes the parent's slot.  A
//     parent of another interface version refuses the setup (0) at every
//     call; the descriptor then stays uninherited.  With inheritOnly = 1 the
//     call ends here (1 on success).
//  2. the version text: from ctx's own version and date unless final, then
//     from the library file (version_text.h);
//  3. the arguments (argv[0 .. argc-1], argc taken as a 16-bit count; a null
//     argv, a negative argc and null entries count as absent): the options set modeFlags,
//     detailLevel, outputMode and settingsFile; the other arguments are
//     copied into ctx->args and announced to slot 0 (events 111/119).  With
//     no option the flags become 3 (answer -V and -?).
//  4. the settings (cycLoadSettings); in POF mode the file named by the
//     parameter "POFbypass" is echoed to standard output.
// Returns 1 when the run can start.  On failure (the interface version, a
// failed allocation of the arguments, settings that do not load) the run
// data are freed (cycCleanup) and 0 is returned.  argv is only read; ctx
// owns its copies.
int cycSetup(CycleDescriptor* ctx, char** argv, int argc, int inheritOnly);

// The inheritance step of cycSetup on its own: 1 when ctx's slots are
// complete, 0 when a parent of another interface version stops it.
int cycInheritSlots(CycleDescriptor* ctx);

// Parses the argument vector into ctx (step 3 of cycSetup, without the call
// of slot 0): resets modeFlags, detailLevel, outputMode and firstRecord,
// replaces the positional arguments and, for -S, settingsFile.  Returns 1,
// or 0 when a copy could not be allocated (the run data are then partly
// filled; cycCleanup frees them).
int cycParseArgs(CycleDescriptor* ctx, char** argv, int argc);

// Slot 0 between events 111 and 119; returns the slot's result.
int cycOnArgs(CycleDescriptor* ctx);

// Frees the run data of ctx between events 411 and 419: the positional
// arguments (argCount 0), the settings file name, the parameter list and the
// cfg lines (each pointer null afterwards).  The channel registry is kept.
// Null ctx is ignored.
void cycCleanup(CycleDescriptor* ctx);

// Copies the file at path unchanged to standard output, lineLength bytes at
// a time.  An unreadable file (or a null path) writes nothing; returns 1 when
// the file was read, else 0.
int cycEchoBypassFile(const char* path, int lineLength);
