// Numbered messages, break polling and status words.
//
// A message names a level, a number, a catalogue text (documentation at the
// call site; never sent) and at most one value.  When its level passes the
// configured level, "number,value" goes out as a channel-0 "error" record
// (code 101) of the output cycle.
//
// Levels: the bit of value 8 is the trace flag, the other bits the level
// proper.  A call is suppressed (result 2) when its level proper exceeds the
// configured level proper.  Cycle messages use level 9 and pass at any
// configured level of 1 or more.
//
// The messages leave through a sink that the output layer installs when a
// cycle becomes the output cycle (outSetContext, output/output_channels.h);
// without a sink they go nowhere.
//
// Thread-safety: every message function may be called from any thread; the
// sink holds the dispatcher mutex while it sends.  The level, the sink and
// the break hook are set from the cycle thread.
#pragma once

#include <cstdint>

constexpr int kMsgTraceFlag = 8;
constexpr int kMsgDefaultLevel = 3;
// Number of trace messages.
constexpr int kMsgTraceNumber = 9999;
// Longest message text sent whole; longer texts are cut to one less.
constexpr int kMsgMaxText = 128;
// Reals smaller than this in size are sent as 0.
constexpr double kMsgRealZero = 0.00001;

// Takes a formatted message ("number,text") and sends it; returns 0 when
// it could not be sent, else the send's result.
using MsgSink = int (*)(const char* message);

// Installs the sink (null: messages go nowhere).  Cycle thread.
void msgSetSink(MsgSink sink);

// Sets the configured level (3 at load).  target is ignored.
void msgSetLevel(void* target, int level);
// No effect; returns 0.
int msgSetLogFile(const char* path);

// Sends "number,arg" ("number" for a null arg).  1 sent, 2 suppressed.
int msgNumbered(int level, int number, const char* catalogue, const char* arg);
// Sends "number,value" with the value in decimal.  1 or 2.
int msgNumberedInt(int level, int number, const char* catalogue, int64_t value);
// Sends "number,value" with the value in fixed notation with 6 decimals
// (C locale), or "number,0" when |value| < kMsgRealZero.  1 or 2.
int msgNumberedReal(int level, int number, const char* catalogue, double value);

// Formats format (a printf format with one int / one double conversion)
// and sends it as message 9999 when the trace flag is set in level or in the
// configured level.  1 when the level passes (sent or not), 2 when
// suppressed.
int msgTraceInt(int level, const char* format, int value);
int msgTraceReal(int level, const char* format, double value);

// Formats "number,text" ("number" for null text); a result longer than 128
// characters is cut to its first 127.  Hands it to the sink: 0 when none is
// installed, else the sink's result.
int msgSend(int number, const char* text);

// Break polling: the installed hook's result, 0 when none.  Non-zero means
// stop.  Any thread.
int cycCheckBreak();
// Installs the break hook (null removes it).  Cycle thread.
void cycSetBreakHook(int (*hook)());
