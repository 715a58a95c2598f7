// The numbered-record stream: reads POF text line by line and hands the text
// of every record "<id>: text" to the handler registered for its id.
//
// Line grammar:
//  - Blanks and tabs before the ":" are ignored wherever they stand, also
//    between digits; one to five decimal digits then ":" give the record id
//    (0 to 99999, so "031:" is id 31).  A line that starts any other way (a
//    letter, a sixth digit, a ":" without digits) is skipped whole, and so
//    are empty lines.
//  - The text is every character after the ":" up to the line end, blanks
//    included, cut to the stream's lineSize.  A record with an empty text is
//    skipped.  A carriage return, a line feed, or a pair of them in either
//    order ends one line; a last line without a line end is still read.
//  - Record 0 of the form "include(file)" (blanks around the word allowed)
//    pushes that file: reading goes on in it and, at its end, resumes in the
//    including file after the include record.  The include record itself is
//    then delivered like any other record.  An include file that cannot be
//    opened is passed over.  Includes nest at most kPofIncludeMaxDepth deep,
//    and a file that is already being read (compared by file identity, not
//    by spelling) is never included again: either ends the run with -1.
//
// The name "| stdin" (exactly) reads standard input, which is never closed;
// an include inside it resumes standard input where it stood.  A name
// beginning with "+" names an in-memory line queue, which nothing fills: such
// a stream delivers no records.
//
// Thread-safety: a stream belongs to one caller and runs on its thread.
#pragma once

#include <cstdint>
#include <string_view>

struct PofStream;

// Handler of one record id: the record's text (NUL-terminated, writable, at
// most lineSize characters; valid only during the call) and the handler's
// user value.
using PofHandlerFn = void (*)(char* text, intptr_t user);

// One handler.  Made by pofHandlerNew; owned by the stream once added.
struct PofHandler {
  uint32_t recordId = 0;
  PofHandlerFn handler = nullptr;
  intptr_t user = 0;
  int calls = 0;  // records delivered in the current run
};

// Deepest include nesting (the first file is depth 0).
inline constexpr int kPofIncludeMaxDepth = 32;
// Largest record id (five digits).
inline constexpr uint32_t kPofMaxRecordId = 99999;
// Exact name that reads standard input.
inline constexpr const char kPofStdinName[] = "| stdin";

// A stream on path (copied) that keeps at most lineSize (0 to 65535)
// characters of each record's text.  The file is opened by pofStreamRun.  A
// null or empty path gives a stream that reads nothing.  Null when lineSize
// is out of range or memory runs out.  Free with pofStreamClose.
PofStream* pofStreamOpen(const char* path, int lineSize);

// A handler for recordId (at most kPofMaxRecordId) calling fn (not null) with
// user.  Null otherwise or on no memory.  The caller owns it until it hands
// it to pofStreamAddHandler; pofHandlerFree frees one that was never added.
PofHandler* pofHandlerNew(uint32_t recordId, PofHandlerFn fn, intptr_t user);
void pofHandlerFree(PofHandler* handler);

// Adds handler to the stream, which takes it over (it is freed with the
// stream, or here at once when stream is null).  A handler registered
// before for the same id is freed and replaced.  A null handler is ignored.
void pofStreamAddHandler(PofStream* stream, PofHandler* handler);

// Reads every record and dispatches it; records without a handler are
// skipped.  Call counts start at 0.  Returns 1 when the stream could be
// started and read to its end, 0 when it could not be started (no first
// file, no handler; nothing is read), -1 when reading stopped at an include
// that would nest too deep or read a file already being read.  Every file
// is closed by the end of the run.  Run a stream once.
int pofStreamRun(PofStream* stream);

// The handler registered for recordId, or null (to read its call count).
const PofHandler* pofStreamHandler(const PofStream* stream, uint32_t recordId);

// Closes any file still open, frees the handlers and the stream.  Null is
// ignored.
void pofStreamClose(PofStream* stream);

// Splits text of the form "name(argument)": blanks and tabs around the name
// are dropped, the argument is everything between the "(" and the first ")"
// after it.  Returns false (outputs untouched) when text has no "(" or no
// ")" after it.  The views point into text.
bool pofSplitCall(std::string_view text, std::string_view* name, std::string_view* argument);
