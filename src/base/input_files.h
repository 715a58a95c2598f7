// Opening input files: only regular files are read.  A named pipe (whose
// open would wait for a writer, beyond the reach of Ctrl-C), a device such
// as /dev/zero (which never ends) or a directory given as an input would
// block a run or be read as garbage, so they are refused before anything is
// read.  Every reader of a file that a job names (models, clip, wall and
// extra surfaces, settings, boundaries, profiles, macros) opens it here.
// Outputs are not opened here: they may be pipes on purpose.
//
// Any thread.
#pragma once

#include <cstdio>

// Message sent (level 9, value the path) for an input that exists but is
// not a regular file.
inline constexpr int kMsgNotRegularFile = 337;
inline constexpr int kMsgNotRegularFileLevel = 9;

// Opens path for reading (mode "r" or "rb") when it names a regular file;
// null for a null or empty path, a file that cannot be opened, or anything
// that is not a regular file (checked on the opened descriptor, so a file
// swapped after a check is refused as well; message 337 with the path).
// Opening does not block on a named pipe.  The caller closes the stream.
std::FILE* fileOpenInput(const char* path, const char* mode);

// As fileOpenInput in binary mode, but sends nothing: for looking at a file
// whose reader comes later and reports it.
std::FILE* fileProbeInput(const char* path);

// True when path names an existing regular file.
bool fileIsRegular(const char* path);
