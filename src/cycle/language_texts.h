// Language text files: one block of text lines per language, found by
// keyword lines ("default", "language", "start", "end"), and the help-text
// check of the cycles' option slots.
//
// Up to four files are open at once, known by the handles 123 to 126.  The
// state is process-wide; use it from the host's calling thread only.
#pragma once

#include <cstddef>

#include "cycle/cycle_descriptor.h"

constexpr int kLangFirstHandle = 123;
constexpr int kLangMaxOpen = 4;

// Opens path and searches the block of language at once.  Returns the
// handle (123-126) when the file was opened, whether or not the block was
// found; -1 when four files are open; -2 when the file cannot be opened.
int langOpen(const char* path, const char* language);

// Reads the next text line of the block into out (at most outSize - 1
// characters, always terminated; a longer line is cut and its rest
// skipped).  1 with a line, 0 when the block has ended or was not found, or
// for a handle that is not open.  out is set to an empty text first.
int langReadLine(int handle, char* out, size_t outSize);

// Closes the file of handle and frees its slot; other handles are ignored.
void langClose(int handle);

// 1 when path has a block for language with at least one text line, else 0.
int langReadBlock(const char* path, const char* language);

// The help check of an option slot: langReadBlock for the file named by the
// parameter section of ctx->params and the language of "SystemLanguage"
// ("???" when unset); 0 when the section parameter is not set.
int langHelpText(CycleDescriptor* ctx, const char* section);
