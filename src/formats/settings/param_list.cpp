#include "formats/settings/param_list.h"

#include <cstring>

#include "base/memory.h"

namespace {

char* paramDup(const char* s) { return strDuplicate(s); }

ParamEntry* paramFind(ParamList list, const char* name) {
  for (ParamEntry* e = list; e != nullptr; e = e->next) {
    // The first characters decide most mismatches without a full compare.
    if (e->name[0] == name[0] && std::strcmp(e->name, name) == 0) return e;
  }
  return nullptr;
}

bool paramUsable(const char* s) { return s != nullptr && s[0] != '\0'; }

}  // namespace

ParamList paramListSet(ParamList list, const char* name, const char* value, int origin) {
  if (!paramUsable(name) || !paramUsable(value)) return list;
  if (ParamEntry* e = paramFind(list, name)) {
    char* copy = paramDup(value);
    if (copy == nullptr) return list;  // keep the old value
    memFree(e->value);
    e->value = copy;
    e->origin = static_cast<uint16_t>(origin);
    return list;
  }
  auto* e = static_cast<ParamEntry*>(memAllocZeroed(sizeof(ParamEntry)));
  char* nameCopy = paramDup(name);
  char* valueCopy = paramDup(value);
  if (e == nullptr || nameCopy == nullptr || valueCopy == nullptr) {
    memFree(e);
    memFree(nameCopy);
    memFree(valueCopy);
    return list;
  }
  e->name = nameCopy;
  e->value = valueCopy;
  e->origin = static_cast<uint16_t>(origin);
  e->next = list;
  return e;
}

namespace {

// paramListTake once the entry of the pair's name (or null) is known.
ParamList paramTakeAt(ParamList list, ParamEntry* found, PcfPair* pair, int origin) {
  if (found != nullptr) {
    memFree(found->value);
    found->value = pair->value;
    found->origin = static_cast<uint16_t>(origin);
    pair->value = nullptr;
    return list;
  }
  auto* e = static_cast<ParamEntry*>(memAllocZeroed(sizeof(ParamEntry)));
  if (e == nullptr) return list;  // the pair keeps its strings
  e->name = pair->name;
  e->value = pair->value;
  e->origin = static_cast<uint16_t>(origin);
  e->next = list;
  pair->name = nullptr;
  pair->value = nullptr;
  return e;
}

}  // namespace

ParamList paramListTake(ParamList list, PcfPair* pair, int origin) {
  if (pair == nullptr || !paramUsable(pair->name) || !paramUsable(pair->value)) {
    return list;
  }
  return paramTakeAt(list, paramFind(list, pair->name), pair, origin);
}

ParamListIndex::ParamListIndex(ParamList list) : head_(list) {
  for (ParamEntry* e = list; e != nullptr; e = e->next) byName_.emplace(e->name, e);
}

void ParamListIndex::take(PcfPair* pair, int origin) {
  if (pair == nullptr || !paramUsable(pair->name) || !paramUsable(pair->value)) return;
  const auto it = byName_.find(pair->name);
  ParamEntry* found = it != byName_.end() ? it->second : nullptr;
  head_ = paramTakeAt(head_, found, pair, origin);
  // A new head took the pair's name: index it under its own (owned) text.
  if (found == nullptr && pair->name == nullptr) byName_.emplace(head_->name, head_);
}

char* paramListGet(ParamList list, const char* name, short* origin) {
  const ParamEntry* e = paramFind(list, name);
  if (e == nullptr) return nullptr;
  if (origin != nullptr) *origin = static_cast<short>(e->origin);
  return paramDup(e->value);
}

void paramListFree(ParamList list) {
  while (list != nullptr) {
    ParamEntry* next = list->next;
    memFree(list->name);
    memFree(list->value);
    memFree(list);
    list = next;
  }
}

void pcfPairClear(PcfPair* pair) {
  if (pair == nullptr) return;
  memFree(pair->name);
  memFree(pair->value);
  pair->name = nullptr;
  pair->value = nullptr;
}
