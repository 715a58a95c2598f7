// The kFY reader kit: a scoped name/value store that follows the "{" "}"
// blocks of a file and numbers unnamed objects and methods, name tries, and
// a parser that hands each element of a kFY file to a handler chosen by its
// kind and name.  Coordinates, point sets and the compact number codec are
// in kfy_points.h (included here).
//
// Thread-safety: stores, tries and parsers are plain objects of one owner;
// kfyParserRun uses the process-wide element scanner (kfy_scanner.h), so
// only one parse may run at a time in the process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "formats/kfy/kfy_points.h"
#include "formats/kfy/kfy_scanner.h"

// Deepest block a store follows; a deeper "{" is refused.
inline constexpr int32_t kKfyMaxLevel = 65535;

// Scoped values of one parse.  Use through the kfyStore* functions.
struct KfyValueStore {
  struct Value {
    std::string value;
    int32_t level = 1;  // the block depth at which the name was first set
  };
  struct Saved {
    std::string name;
    std::string value;
  };
  // What one open block changed: the outer values it replaced, in the order
  // they were saved, and the names first set inside it.
  struct Scope {
    std::vector<Saved> saved;
    std::vector<std::string> created;
  };
  std::unordered_map<std::string, Value> values;
  int32_t level = 1;          // current block depth, 1 at the outermost level
  std::vector<Scope> scopes;  // one per open block, innermost last
  int32_t objectCounter = 1;  // number for the next unnamed object
  int32_t methodCounter = 1;  // number for the next unnamed method
};

// A store at level 1 holding "objectCounter" = "1" and "methodCounter" =
// "1"; null when out of memory.  Free with kfyStoreFree.
KfyValueStore* kfyStoreNew();

// Sets name to a copy of value.  A name already set at an outer level is
// saved first, so that the end of the current block restores it.  Setting
// "objectCounter" or "methodCounter" also sets that counter (the value read
// as an integer).  Returns 1 when an existing entry was replaced, 0 when a
// new one was added or nothing was done (null store, null or empty name or
// value, no memory).
int kfyStoreSet(KfyValueStore* store, const char* name, const char* value);

// A new copy of the value of name (free with memFree); null when absent,
// for a null store or a null or empty name, or when out of memory.
char* kfyStoreGet(const KfyValueStore* store, const char* name);

// Opens a block: the counters are stored as the values "objectCounter" and
// "methodCounter", the level rises by one and both counters restart at 1.
// Returns 1; 0 for a null store, beyond kKfyMaxLevel or when out of memory
// (nothing changes then).
int kfyStorePushScope(KfyValueStore* store);

// Closes the innermost block: names first set inside it disappear, outer
// names changed inside it get their outer values back (with several changes
// the value from before the block wins) and stay, however deeply the block
// was nested, and the outer numbering of objects and methods continues.
// Returns 1; 0 at level 1 or with no open block.
int kfyStorePopScope(KfyValueStore* store);

// For an element of kind 'o' (kfyStoreNumberMethod: 'm') without text, the
// text becomes the decimal object (method) counter; the counter then rises
// by one whether or not the element had a text.  Returns 1 when a text was
// given to the element, else 0.  Elements of other kinds (or null
// arguments) are left alone (0).
int kfyStoreNumberObject(KfyValueStore* store, KfyElement* element);
int kfyStoreNumberMethod(KfyValueStore* store, KfyElement* element);

// Removes every value and block: level 1, both counters 1.  Null ignored.
void kfyStoreClear(KfyValueStore* store);

// Clears and frees the store.  Null is ignored.
void kfyStoreFree(KfyValueStore* store);

// A dictionary of names to ids 1, 2, 3, ... in order of first insertion.
struct KfyNameTrie {
  std::map<std::string, int32_t, std::less<>> ids;
  int32_t count = 0;  // ids issued
};

// A new empty trie (free with kfyTrieFree); null when out of memory.
KfyNameTrie* kfyTrieNew();

// The id of name; 0 for an unknown, null or empty name or a null trie.
int kfyTrieLookup(const KfyNameTrie* trie, const char* name);

// The id of name, issuing the next id when the name is new.  0 for a null
// or empty name, -1 for a null trie or when out of memory.
int kfyTrieInsert(KfyNameTrie* trie, const char* name);

// Frees the trie.  Null is ignored.
void kfyTrieFree(KfyNameTrie* trie);

// An element handler: returns 1 to go on; any other value stops the parse
// and becomes its result.  The element belongs to the parser.
using KfyHandler = int (*)(KfyElement* element, KfyValueStore* store, void* user);

// Checks a file's header before any element is read: 1 to read the file,
// any other value ends the parse with that result.
using KfyHeaderCheck = int (*)(const KfyHeader* header);

// The handler of names that were never registered: does nothing, returns 1.
int kfyHandlerNoOp(KfyElement* element, KfyValueStore* store, void* user);

// A handler table over one value store.  Use through the kfyParser*
// functions.
struct KfyParser {
  KfyValueStore* store = nullptr;  // owned
  KfyHandler valueHandler = nullptr;
  KfyHandler openHandler = nullptr;
  KfyHandler closeHandler = nullptr;
  KfyNameTrie* objectNames = nullptr;      // owned
  std::vector<KfyHandler> objectHandlers;  // by trie id; [0] kfyHandlerNoOp
  KfyNameTrie* methodNames = nullptr;      // owned
  std::vector<KfyHandler> methodHandlers;
  void* user = nullptr;  // passed to every handler
};

// A parser with its own value store.  A null handler gets its default:
// values are stored with kfyStoreSet (name, text) and "}" pops a scope of
// the store, both returning 1; "{" pushes a scope and returns the result of
// kfyStorePushScope, so that a file nested beyond kKfyMaxLevel (or a push
// without memory) stops the parse with 0.  Null when out of memory.
// Free with kfyParserFree.
KfyParser* kfyParserNew(void* user, KfyHandler valueHandler, KfyHandler openHandler,
                        KfyHandler closeHandler);

// Registers handler for objects (methods) named name; a null handler
// registers kfyHandlerNoOp and registering a name again replaces its
// handler.  Returns 1; 0 for a null parser, a null or empty name or when
// out of memory (nothing is registered then).
int kfyParserOnObject(KfyParser* parser, const char* name, KfyHandler handler);
int kfyParserOnMethod(KfyParser* parser, const char* name, KfyHandler handler);

// Reads the kFY file path (kfyOpenFile) and hands every element to its
// handler: values, "{" and "}" to the three store handlers; objects after
// kfyStoreNumberObject and methods after kfyStoreNumberMethod to the
// handler of their name.  For a method whose body was too long to keep,
// the file is positioned at the body's start before the handler runs (the
// handler reads the body from element->bodyFile up to its ")") and after
// the body's end afterwards.  When headerCheck is given and does not
// return 1, no element is read and its value is the result.  Otherwise the
// result is the first handler result other than 1 (one further element is
// read and dropped after it), else 0 when the reading stopped at a malformed
// or cut-off element (the handlers have seen the elements before it), else
// 1.  0 also for a null parser or when the file cannot be opened or its
// header is not valid.
int kfyParserRun(const char* path, KfyParser* parser, KfyHeaderCheck headerCheck);

// Frees the parser with its store and tries.  Returns 0 (also for null).
int kfyParserFree(KfyParser* parser);
