// ".CFG" keyword-line files: lines of a keyword and a value, "#" comments.
#pragma once

#include <cstdint>
#include <cstdio>

// One keyword line; lists keep file order.
struct CfgLine {
  char* keyword;    // owned (strDuplicate), never empty
  char* value;      // owned; "" when the line had no value
  uint16_t origin;  // where the line came from (21: the settings file)
  CfgLine* next;
};

// Origin of the lines of a settings file.
constexpr uint16_t kCfgOriginSettingsFile = 21;

// Reads the next keyword line of file.  Carriage returns and line feeds end
// a line, empty lines are skipped, "#" starts a comment to the line end.
// The keyword is the first run of characters other than blank, tab, "#" and
// line ends; in the value, leading blanks and tabs are skipped, every later
// blank or tab becomes one blank, and trailing blanks are removed.
// Returns 1 and points *keyword and *value at the texts, or 0 at the end of
// the file.  The texts live in buffers of the reader that the next call
// overwrites; keywords and values of any length are kept whole.
// Not reentrant: one reader at a time per thread.
int cfgReadLine(std::FILE* file, const char** keyword, const char** value);

// Appends a line with copies of keyword and value (null or empty value: "")
// at the end of list and returns the list head.  A null or empty keyword,
// or a failed allocation, leaves the list as it was.
CfgLine* cfgLinesAppend(CfgLine* list, const char* keyword, const char* value, uint16_t origin);

// Appends every line of the file at path with the given origin and returns
// the list head.  A file that cannot be opened leaves the list unchanged.
CfgLine* cfgReadFile(CfgLine* list, const char* path, uint16_t origin);

// Frees a whole list (null is ignored).
void cfgLinesFree(CfgLine* list);
