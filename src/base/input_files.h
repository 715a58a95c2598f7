// Opening input files: only regular files are read.  A named pipe, a device
// or a directory given as an input would block a run or be read as
// garbage, so they are refused before anything is read.
#pragma once

#include <cstdio>

// Opens path for reading (mode "r" or "rb") when it names a regular file;
// null for a null or empty path, a file that cannot be opened, or anything
// that is not a regular file (checked on the opened descriptor, so a file
// swapped after a check is refused as well).  Opening does not block on a
// named pipe.
std::FILE* fileOpenInput(const char* path, const char* mode);

// True when path names an existing regular file.
bool fileIsRegular(const char* path);
