// Job keyword tables: the rows that map a job keyword ("*FRRADIUS") to a
// field of a cycle's job record, with the way its value is parsed and
// stored, and the reading of job files and ".CFG" keyword lines through
// such a table.  The profile and the pocket cycle each keep one table.
//
// Numbers are read in the C locale whatever locale the host chose.  The
// functions keep no state of their own beyond the caller's buffers; a table
// and the fields it targets belong to the cycle thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct CfgLine;

// How a row stores its value.
enum JobStoreType : int32_t {
  kJobStoreI16 = 0,    // the number truncated towards zero
  kJobStoreF64 = 1,    // the number
  kJobStoreText = 2,   // the value text, cut to the field's width less one
  kJobStoreI32 = 3,    // the number truncated towards zero
  kJobStoreF64x3 = 4,  // three numbers
  kJobStoreF64x4 = 5,  // four numbers
};

// How a row parses its value.  Any other kind names an enumeration of the
// table's JobEnumList.
enum JobParseKind : int32_t {
  kJobParseNumber = 0,  // the value token as a decimal number (none: 0)
  kJobParseToken = 1,   // the value token unchanged
  kJobParseRest = 2,    // the rest of the line without its leading blanks
  kJobParse3 = 15,      // three numbers from the rest of the line
  kJobParse4 = 16,      // four numbers from the rest of the line
};

// One keyword row; a table ends with a row whose keyword is null.  Synonyms
// are rows of their own with the same target.  width is the size of a text
// field in bytes (terminator included), 0 for numbers.
struct JobKeywordTable {
  const char* keyword;
  int32_t storeType;
  int32_t flag;  // 0 or 1; read by nothing
  int32_t parseKind;
  void* target;
  std::size_t width;
};

// An enumeration word and its value; a word table ends with a null word.
struct JobEnumWord {
  const char* word;
  int32_t value;
};

// The enumerations of a table: {kind, words}, ended by kind -1.
struct JobEnumList {
  int32_t kind;
  const JobEnumWord* words;
};

// Longest value text that a keyword line passes on (CFG values are cut to
// it; job-file values longer than that are cut by their field's width).
constexpr std::size_t kJobValueMax = 256;

// Index of the first row whose keyword equals keyword regardless of case
// (ASCII), or -1 (also for a null or empty keyword).
int jobKeywordFindIn(const JobKeywordTable* table, const char* keyword);

// Splits line into its first two tokens separated by blanks, tabs or line
// ends: keyword (cut to keywordSize - 1) and value (cut to valueSize - 1);
// either is empty when the line holds no such token.  When rest is not null
// it receives the position in line where the rest of the line begins: one
// separator after the keyword, or the end of the line when the line ends
// right after the keyword.
void jobLineSplit(const char* line, char* keyword, std::size_t keywordSize, char* value,
                  std::size_t valueSize, const char** rest);

// Parses a value by parseKind: kinds 0 and 15/16 fill numbers (up to four
// doubles; kinds 15 and 16 leave the numbers the rest of the line does not
// give unchanged), kind 1 leaves valueText as it is, kind 2 rewrites it to
// rest without leading blanks (rest as it is when it is all blanks), and an
// enumeration kind stores the word's value in numbers[0].  valueText has
// room for valueSize bytes.  Returns 0, or -1 when the enumeration kind is
// unknown or its words do not hold the value token.
int jobValueParse(const JobEnumList* enums, int parseKind, const char* rest, double numbers[4],
                  char* valueText, std::size_t valueSize);

// Stores numbers or valueText into the row's target by its store type.
// Integers are truncated towards zero and saturate at the limits of their
// type (NaN stores 0).  Returns 1, or 0 for a store type the table cannot
// have (nothing is stored; "Wrong Token Type" goes to standard error when
// report is set).
int jobStoreValue(const JobKeywordTable* row, const double numbers[4], const char* valueText,
                  bool report);

// Called after a job-file line was stored into row index.
using JobStoredFn = void (*)(const JobKeywordTable* table, int index, void* user);

// Reads the job file at path through table: every line is read whole, cut
// at its first carriage return or line feed and then at its first "#";
// empty lines, lines without a known keyword and enumeration values not in
// their word table are skipped.  The number buffer of the three- and
// four-number kinds starts at 0 and carries over from line to line of the
// read.  stored (may be null) is called after every stored line.  Returns 0
// when path is not a regular file that can be opened for reading, else 1.
int jobReadFile(const JobKeywordTable* table, const JobEnumList* enums, const char* path,
                JobStoredFn stored, void* user);

// Applies (keyword, value) lines as a ".CFG" file gave them: the value (cut
// to kJobValueMax characters) stands for the value token and the rest of
// the line alike.  Unknown keywords and store types are skipped silently.
// Returns 1.
int jobApplyLines(const JobKeywordTable* table, const JobEnumList* enums, const CfgLine* lines);

// A singly linked list of owned texts.  The empty list is one node without
// text.
struct StrList {
  char* text;
  StrList* next;
};

// A node holding a copy of text (no text for null); null when out of
// memory.
StrList* strListNew(const char* text);
// Stores a copy of text in the head when the head has no text, else appends
// a node at the end.  1, or -1 when out of memory (the list is unchanged).
int strListAppend(StrList* list, const char* text);
// Frees every node and its text (null is ignored).
void strListFree(StrList* list);
