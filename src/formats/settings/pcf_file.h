// PCF parameter files: lines of a name, ":=" and a value.
//
// The reader is a table-driven state machine that reads characters through
// a replaceable hook.  Its state is process-wide: one PCF file is read at a
// time, never inside a parallel region.
#pragma once

#include <cstdio>

#include "formats/settings/param_list.h"

// Reads one character like std::fgetc (EOF at the end).  Tests may replace
// it to feed the scanner from memory; the default is std::fgetc.
using PcfReadCharFn = int (*)(FILE* file);
extern PcfReadCharFn pcfReadCharHook;

// Opens a PCF file for reading: "| stdin" (exactly) gives standard input; a
// leading "~" is replaced by the value of HOME (unchanged when HOME is
// unset); other names are opened in binary read mode.  Null when the file
// cannot be opened.  Close with pcfCloseFile.
FILE* pcfOpenFile(const char* path);

// Closes a file from pcfOpenFile; standard input stays open.  Null is
// ignored.
void pcfCloseFile(FILE* file);

// The scanner behind pcfReadPair: reads the next pair into pair (after
// freeing its previous strings).  1 when a name and a value were collected,
// else 0, and then it frees what it collected.
int pcfScanPair(FILE* file, PcfPair* pair);

// Reads the next pair: 1 when a pair with a non-empty name and value was
// read into pair, 0 at the end of the file, for a null file, or for a line
// that gave no complete pair.  The pair's previous strings are freed first.
int pcfReadPair(FILE* file, PcfPair* pair);

// Reads every pair of the file path into list with the given origin and
// returns the new head; a later pair of a name replaces an earlier one.
// Reading stops at the end of the file or at the first line that gives no
// complete pair (the pairs before it are kept).  A file that cannot be
// opened leaves the list unchanged.
ParamList pcfReadFile(ParamList list, const char* path, int origin);
