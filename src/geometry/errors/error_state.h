// Error state, error log and temporary names of the geometry library.
//
// Reports: the contour, mesh, triangulation, list and collision modules report
// conditions with vyrErrSet (a code, a source text naming the reporting unit,
// and a number naming the reporting place); negative codes are failures,
// positive ones notes (1: a crossing was found).  Each thread has its own
// state (code, line, text): a report made on an OpenMP worker is seen by
// vyrErrGetCode on that worker only, so parallel reports never race and a
// module that resets, works and reads the code back sees its own result.
//
// Error log: when the debug marker file switches it on, every negative code is
// appended as one line "code = %d, line = %d, file = %s\n" to
// <work directory>/vyrerrno.txt.  Appends from several threads are serialised.
//
// Debug marker file: the path in the environment variable TESSARO_VYRDEBUG when
// set and non-empty, else "vyrdebug.info" in the work directory.  It is read
// once per process, at the first call of vyrDebugEnabled; the log is on when
// any of its lines, read in pieces of at most 49 characters, holds both
// "DEBUG" and "1".
//
// Work directory: process-wide, "./" at start; set by the cycle with
// vyrErrSetDir on the cycle thread before parallel work.  Reads and writes are
// locked, so workers may ask for temporary names at any time.
//
// Buffers: texts longer than the fixed buffers are cut, never overrun.
#pragma once

#include <cstdio>

inline constexpr int kVyrFileTextSize = 256;  // source or message text
inline constexpr int kVyrWorkDirSize = 1040;  // work directory
inline constexpr int kVyrNameSize = 1024;     // temporary names, with the terminator

// The per-thread part of the state.
struct VyrErrorState {
  int code;                     // last code set (0 at start)
  int line;                     // source line number given with it
  char file[kVyrFileTextSize];  // source or message text; "EMPTY" after a reset
};

// Copies dir (cut to 1039 characters) into the work directory; null is taken
// as "./".  Returns 1.
int vyrErrSetDir(const char* dir);

// Code 0, line 0, text "EMPTY" for the calling thread.  Returns 0.
int vyrErrReset();

// The calling thread's current code.
int vyrErrGetCode();

// Stores code, file text (null as "", cut to 255 characters) and line for the
// calling thread; when code < 0 and the debug marker is on, appends the state
// to the error log (a log that cannot be opened is skipped).  Returns 0.
int vyrErrSet(int code, const char* file, int line);

// Logs a message text as code -1 with line 0, then puts the previous code back
// (line 0 and the text stay).  Returns 0.
int vyrErrLogText(const char* text);

// Writes the calling thread's state as one log line to f and flushes it.
// Returns 0 (nothing is written for a null f).
int vyrErrWriteLine(std::FILE* f);

// 1 when the debug marker file switched the error log on, else 0 (also for a
// missing marker).  Thread-safe; the marker is read only on the first call.
int vyrDebugEnabled();

// Makes a new, empty file named <work directory>/<random hex><suffix> and
// writes its name to out (kVyrNameSize bytes).  The file is created
// exclusively, so no other thread or process sharing the directory gets the
// same name; the caller owns the file and removes it.  suffix may be null.
// Returns 1 on success; 0 after 200 names that all existed (out holds the
// last one tried), when the directory does not take new files, or when the name
// would not fit into out (out is then "").  Thread-safe.
int vyrTempFileName(char* out, const char* suffix);

// 1 when name is non-empty and the file opens for reading, else 0.
int vyrFileExists(const char* name);
