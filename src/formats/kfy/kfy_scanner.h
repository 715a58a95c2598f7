// The kFY element scanner: reads one element at a time from a kFY file or
// from a text.
//
// Element syntax (white space is blank, tab, carriage return and line feed;
// ";" starts a comment up to the end of the line):
//   value   v NAME ( body )              vprecision(4)
//   object  o NAME [text] ( key[value] ... )   oL( x[/10] y[/20] )
//   method  m NAME [text] ( body )
//   blocks  {  and  }
// The bracketed text after a name is optional.
//
// Thread-safety: not reentrant.  One element is read at a time in the whole
// process; the trace file QZK.TXT is shared.
#pragma once

#include <cstdint>
#include <cstdio>

// Method bodies of up to this many characters are kept in the element; a
// longer body read from a seekable file is skipped and located through
// KfyElement::bodyFile, bodyStart and bodyEnd instead.
inline constexpr int kKfyBodyKeepMax = 4351;

// The file in the working directory that receives one trace line per method
// element whose name is followed by white space or a comment.
inline constexpr const char kKfyTraceFile[] = "QZK.TXT";

// One attribute of an object (key and bracketed value) or the body of a
// method (null key).  Strings are allocated with the memory helpers.
struct KfyAttr {
  char* key = nullptr;    // null for a method body
  char* value = nullptr;  // null when the brackets were empty
  KfyAttr* next = nullptr;
};

// Element kinds.
enum KfyElementKind : uint16_t {
  kKfyNone = 0,
  kKfyObject = 'o',
  kKfyMethod = 'm',
  kKfyValue = 'v',
  kKfyBlockOpen = '{',
  kKfyBlockClose = '}',
};

// One element.  The caller owns it and everything it points to until the
// next kfyElementClear (which every read calls first).  A default-made or
// cleared element holds nothing; an element that was read must be cleared
// before it goes out of scope.
struct KfyElement {
  uint16_t kind = kKfyNone;  // a KfyElementKind
  char* name = nullptr;      // the word after the kind letter; null for blocks
  // Objects and methods: the text in square brackets (null when absent).
  // Values: the body between "(" and ")".
  char* text = nullptr;
  // Objects: the attributes in file order.  Methods: one entry with a null
  // key whose value is the body.  Null when none.
  KfyAttr* attributes = nullptr;
  // Set only for a method whose body was too long to keep: the file being
  // read, the position just after the body's "(" and just after its ")".
  // Both positions are -1 otherwise.
  FILE* bodyFile = nullptr;
  int64_t bodyStart = -1;
  int64_t bodyEnd = -1;
};

// Frees name, text and all attributes, sets kind 0, bodyFile null and both
// body positions -1.  A null element is ignored.
void kfyElementClear(KfyElement* element);

// Reads the next element of file (after its header, see kfy_file.h) into
// element, which is cleared first.  Returns 1 when an element was read; 0
// at the end of the file, on a syntax error (the partial element is
// discarded; characters up to the error are consumed) or when an argument
// is null.  A file that ends inside a value or method body was cut off: that
// is a syntax error too.  A method body longer than kKfyBodyKeepMax
// characters is kept only when the file cannot be repositioned (a pipe);
// otherwise the element gets bodyFile/bodyStart/bodyEnd, no attributes, and
// the file is left after the body.
int kfyReadElement(FILE* file, KfyElement* element);

// The same over a NUL-terminated text: reads from *cursor and leaves it at
// the first character not consumed.  A NUL or the character 26 ends the
// text, and after the first character of a value or method body it also
// ends the body.  Method bodies are always kept whole.  Returns 0 when
// cursor or *cursor is null.
int kfyReadElementFromString(const char** cursor, KfyElement* element);
int kfyReadElementFromString(char** cursor, KfyElement* element);

// Whether the last read of this thread (kfyReadElement or
// kfyReadElementFromString) returned 0 because the input was malformed or
// memory ran out, rather than because the input ended between elements.
// Readers use it to tell a complete file from a damaged one.
bool kfyLastReadFailed();
