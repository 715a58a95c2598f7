// The parameter list of a run: name/value texts with the place each value
// came from, newest entry first.
//
// The list is handled by value: every operation that may add an entry
// returns the new head and the caller stores it.  An empty list is null.
// Names compare exactly (case-sensitive); a list built by these functions
// holds each name at most once.  A list belongs to one run: it may be read
// from several threads at once but is changed on the cycle thread only.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

// Where a value came from.
enum ParamOrigin : uint16_t {
  kParamOriginLocal = 0,      // a local list of a component
  kParamOriginSetup = 2,      // set by the kernel at setup
  kParamOriginDefFile = 13,   // the cycle's default ".def" file
  kParamOriginSettings = 21,  // the settings file named by -S
  kParamOriginRuntime = 31,   // set by code at run time
};

struct ParamEntry {
  char* name;   // owned, non-empty
  char* value;  // owned, non-empty
  uint16_t origin;
  ParamEntry* next;
};

// Same alias as in cycle_descriptor.h.
using ParamList = ParamEntry*;

// One name/value pair read from a PCF file.  Both strings are owned by the
// pair (memory.h blocks, released with memFree) until a list takes them.
struct PcfPair {
  char* name;
  char* value;
};

// Sets name to a copy of value with the given origin and returns the new
// head.  Does nothing when name or value is null or empty.  An existing
// entry of that name gets the new value and origin in place; otherwise a new
// entry goes to the head.  When memory runs out the list is returned
// unchanged.
ParamList paramListSet(ParamList list, const char* name, const char* value, int origin);

// Like paramListSet, but the list takes the pair's strings instead of
// copying them: on replacement it takes the value (pair->value becomes null,
// the name stays with the pair); on insertion it takes both (both become
// null).  A pair with a null or empty name or value is left as it is.
ParamList paramListTake(ParamList list, PcfPair* pair, int origin);

// Many paramListTake calls in a row (a whole PCF file) without a walk of
// the list per call: the results are exactly those of paramListTake on the
// list, but the names are looked up in a hash index.  The index knows only
// the entries of the list it was made from and those it added itself, so
// nothing else may change the list while it is in use.  Cycle thread.
class ParamListIndex {
 public:
  explicit ParamListIndex(ParamList list);
  // As list = paramListTake(list, pair, origin).
  void take(PcfPair* pair, int origin);
  // The list with every pair taken so far.
  ParamList list() const { return head_; }

 private:
  ParamList head_;
  // Keys point at the entries' own names, which live as long as the entries.
  std::unordered_map<std::string_view, ParamEntry*> byName_;
};

// Returns a new copy of the value of name (the caller frees it with memFree),
// or null when the name is absent.  When origin is not null it receives the
// entry's origin.  name must not be null.
char* paramListGet(ParamList list, const char* name, short* origin);

// Frees every entry with its strings; null is ignored.
void paramListFree(ParamList list);

// Frees the strings of a pair and sets both fields to null.
void pcfPairClear(PcfPair* pair);
