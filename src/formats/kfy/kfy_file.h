// kFY exchange files: opening, the four header lines and closing.
//
// A kFY file starts with four header lines (banner, version, file type,
// title) and continues with elements that kfy_scanner.h reads.  The file
// type and the title are handed to the caller in a KfyHeader.
//
// Thread-safety: the functions here keep no state of their own; the element
// scanner that reads the rest of the file is process-wide (see
// kfy_scanner.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Line 1 of every kFY file: the format name, a blank and a fixed notice.
// The kFY-mode writers write it and kfyOpenFile requires it verbatim.
extern const char kfyBanner[];

// The prefix of header line 2, followed by "<major>.<minor>".
inline constexpr const char kKfyVersionPrefix[] = "kFY-Version:";

// The name that kfyOpenFile maps to standard input.
inline constexpr const char kKfyStdinName[] = "| stdin";

// What kfyOpenFile found in the header.  The texts are allocated with the
// memory helpers (free them with kfyHeaderFree or memFree) and owned by the
// caller.
struct KfyHeader {
  char* fileType = nullptr;   // line 3, e.g. "Geometry"; null when absent
  uint16_t versionMajor = 0;  // from line 2; 0 when absent or unreadable
  uint16_t versionMinor = 0;
  char* title = nullptr;  // line 4; null when absent
};

// Frees the header's texts and sets them to null and its version to 0.0.
// A null header is ignored.
void kfyHeaderFree(KfyHeader* header);

// The file name with a leading "~" replaced by the value of HOME; the name
// unchanged when it does not start with "~" or HOME is unset.  Null gives
// an empty name.
std::string kfyExpandHome(const char* path);

// Reads the four header lines from file into header (whose old texts are
// freed first).  Blank lines before a header line are skipped, and each
// line loses its leading and trailing blanks and tabs (and a carriage
// return before its line feed).  Returns 1 when the header is valid: line
// 1 equals kfyBanner, line 2 starts with "kFY-Version:" and gives a version
// below 1.1 (unreadable numbers count as 0.0), and line 3 is present.  A
// missing line 4 is fine.  0 otherwise, or for a null file or header.  The
// file is left just after the last header line read.
int kfyScanHeader(FILE* file, KfyHeader* header);

// Opens a kFY file and reads its header into header.  "| stdin" (exactly)
// gives standard input; a leading "~" stands for HOME (kfyExpandHome);
// other names are opened in binary read mode.  Returns the open file,
// positioned at the first element, or null when the file cannot be opened,
// header is null or the header is not valid (the file is then closed again
// with kfyCloseFile and the header left empty).  Close the result with kfyCloseFile.
FILE* kfyOpenFile(const char* path, KfyHeader* header);

// Closes file when it is a regular file whose position can be read;
// standard input, pipes and terminals stay open.  Null is ignored.
void kfyCloseFile(FILE* file);
