// Opening of input files: only regular files are read.
//
// A named pipe would block the run in its open call (no Ctrl-C ends it
// there), a device such as /dev/zero never ends, and a directory reads as
// garbage on some systems.  Every reader of a file that the job names
// (models, clip, wall and extra surfaces, settings, boundaries, profiles,
// macros) opens it through inputFileOpen, which refuses such files before a
// single byte is read and reports them with message 337 and the file name.
// Outputs are not opened here: they may be pipes on purpose.
//
// Any thread.
#pragma once

#include <cstdio>

// Message sent (level 9, value the file name) for a named input that is not
// a regular file.
inline constexpr int kMsgNotRegularFile = 337;
inline constexpr int kMsgNotRegularFileLevel = 9;

// Opens name for reading in binary mode when it is a regular file.  Null when
// it cannot be opened (errno as open(2) left it) or is not a regular file
// (errno EINVAL; message 337 unless report is false).  The open never
// blocks on a pipe.  The caller closes the stream with fclose.
std::FILE* inputFileOpen(const char* name, bool report = true);

// True when name exists and is a regular file (or a link to one).  Sends
// nothing.
bool inputFileIsRegular(const char* name);

// True when name exists but is not a regular file (a pipe, a device, a
// directory, a socket).
bool inputFileIsSpecial(const char* name);
