#include "formats/kfy/kfy_reader.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/memory.h"

namespace {

constexpr const char kObjectCounterName[] = "objectCounter";
constexpr const char kMethodCounterName[] = "methodCounter";

bool isEmpty(const char* s) { return s == nullptr || s[0] == '\0'; }

// The counter value of a text, like the C runtime's strtol (0 for text
// that is no number), limited to the range of the counters.
int32_t counterFromText(const std::string& text) {
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void syncCounter(KfyValueStore* store, const std::string& name, const std::string& value) {
  if (name == kObjectCounterName) store->objectCounter = counterFromText(value);
  if (name == kMethodCounterName) store->methodCounter = counterFromText(value);
}

int32_t readCounter(const KfyValueStore* store, const char* name) {
  const auto it = store->values.find(name);
  return it == store->values.end() ? 1 : counterFromText(it->second.value);
}

int numberElement(KfyElement* element, uint16_t kind, int32_t& counter) {
  if (element == nullptr || element->kind != kind) return 0;
  int given = 0;
  if (element->text == nullptr) {
    const std::string text = std::to_string(counter);
    element->text = strDuplicate(text.c_str());
    given = element->text != nullptr ? 1 : 0;
  }
  if (counter < INT32_MAX) ++counter;
  return given;
}

int defaultValueHandler(KfyElement* element, KfyValueStore* store, void*) {
  kfyStoreSet(store, element->name, element->text);
  return 1;
}

int defaultOpenHandler(KfyElement*, KfyValueStore* store, void*) {
  return kfyStorePushScope(store);
}

int defaultCloseHandler(KfyElement*, KfyValueStore* store, void*) {
  kfyStorePopScope(store);
  return 1;
}

int registerHandler(KfyNameTrie* trie, std::vector<KfyHandler>& handlers, const char* name,
                    KfyHandler handler) {
  if (isEmpty(name)) return 0;
  // Room for the id first, so that a name never ends up in the trie
  // without a handler slot behind it.
  const bool known = kfyTrieLookup(trie, name) > 0;
  try {
    if (!known) handlers.reserve(static_cast<std::size_t>(trie->count) + 2);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const int id = kfyTrieInsert(trie, name);
  // A failed insertion (-1) must never become an index.
  if (id <= 0) return 0;
  if (handlers.size() <= static_cast<std::size_t>(id)) handlers.resize(id + 1, kfyHandlerNoOp);
  handlers[id] = handler != nullptr ? handler : kfyHandlerNoOp;
  return 1;
}

KfyHandler handlerFor(const KfyNameTrie* trie, const std::vector<KfyHandler>& handlers,
                      const char* name) {
  const int id = kfyTrieLookup(trie, name);
  if (id <= 0 || static_cast<std::size_t>(id) >= handlers.size()) return handlers[0];
  return handlers[id];
}

}  // namespace

// ---------------------------------------------------------------------------
// Value store

KfyValueStore* kfyStoreNew() {
  KfyValueStore* store = new (std::nothrow) KfyValueStore;
  if (store == nullptr) return nullptr;
  try {
    store->values.emplace(kObjectCounterName, KfyValueStore::Value{"1", 1});
    store->values.emplace(kMethodCounterName, KfyValueStore::Value{"1", 1});
  } catch (const std::bad_alloc&) {
    delete store;
    return nullptr;
  }
  return store;
}

int kfyStoreSet(KfyValueStore* store, const char* name, const char* value) {
  if (store == nullptr || isEmpty(name) || isEmpty(value)) return 0;
  try {
    const auto it = store->values.find(name);
    if (it == store->values.end()) {
      // Names first set inside a block go when it closes.
      if (store->level > 1 && !store->scopes.empty())
        store->scopes.back().created.emplace_back(name);
      const auto inserted =
          store->values.emplace(name, KfyValueStore::Value{value, store->level}).first;
      syncCounter(store, inserted->first, inserted->second.value);
      return 0;
    }
    KfyValueStore::Value& entry = it->second;
    if (entry.level < store->level && store->level > 1 && !store->scopes.empty()) {
      store->scopes.back().saved.push_back(KfyValueStore::Saved{it->first, entry.value});
    }
    entry.value = value;
    syncCounter(store, it->first, entry.value);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

char* kfyStoreGet(const KfyValueStore* store, const char* name) {
  if (store == nullptr || isEmpty(name)) return nullptr;
  try {
    const auto it = store->values.find(name);
    if (it == store->values.end()) return nullptr;
    return strDuplicate(it->second.value.c_str());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int kfyStorePushScope(KfyValueStore* store) {
  if (store == nullptr || store->level >= kKfyMaxLevel) return 0;
  try {
    kfyStoreSet(store, kObjectCounterName, std::to_string(store->objectCounter).c_str());
    kfyStoreSet(store, kMethodCounterName, std::to_string(store->methodCounter).c_str());
    store->scopes.emplace_back();
  } catch (const std::bad_alloc&) {
    return 0;
  }
  ++store->level;
  kfyStoreSet(store, kObjectCounterName, "1");
  kfyStoreSet(store, kMethodCounterName, "1");
  store->objectCounter = 1;
  store->methodCounter = 1;
  return 1;
}

int kfyStorePopScope(KfyValueStore* store) {
  if (store == nullptr || store->level <= 1 || store->scopes.empty()) return 0;
  --store->level;
  KfyValueStore::Scope scope = std::move(store->scopes.back());
  store->scopes.pop_back();
  // Newest first, so the value from before the block is restored last.  An
  // entry keeps the level at which it was first set: lowering it to the
  // current level would make the close of the enclosing block drop a name
  // that was set outside it.
  for (auto s = scope.saved.rbegin(); s != scope.saved.rend(); ++s) {
    auto it = store->values.find(s->name);
    if (it != store->values.end()) {
      it->second.value = std::move(s->value);
    } else {
      try {
        store->values.emplace(s->name, KfyValueStore::Value{std::move(s->value), store->level});
      } catch (const std::bad_alloc&) {
        // The outer value is lost; the block's own values still go below.
      }
    }
  }
  for (const std::string& name : scope.created) store->values.erase(name);
  store->objectCounter = readCounter(store, kObjectCounterName);
  store->methodCounter = readCounter(store, kMethodCounterName);
  return 1;
}

int kfyStoreNumberObject(KfyValueStore* store, KfyElement* element) {
  if (store == nullptr) return 0;
  return numberElement(element, kKfyObject, store->objectCounter);
}

int kfyStoreNumberMethod(KfyValueStore* store, KfyElement* element) {
  if (store == nullptr) return 0;
  return numberElement(element, kKfyMethod, store->methodCounter);
}

void kfyStoreClear(KfyValueStore* store) {
  if (store == nullptr) return;
  store->values.clear();
  store->scopes.clear();
  store->level = 1;
  store->objectCounter = 1;
  store->methodCounter = 1;
}

void kfyStoreFree(KfyValueStore* store) { delete store; }

// ---------------------------------------------------------------------------
// Name tries

KfyNameTrie* kfyTrieNew() { return new (std::nothrow) KfyNameTrie; }

int kfyTrieLookup(const KfyNameTrie* trie, const char* name) {
  if (trie == nullptr || isEmpty(name)) return 0;
  const auto it = trie->ids.find(std::string_view(name));
  return it == trie->ids.end() ? 0 : it->second;
}

int kfyTrieInsert(KfyNameTrie* trie, const char* name) {
  if (isEmpty(name)) return 0;
  if (trie == nullptr) return -1;
  const int known = kfyTrieLookup(trie, name);
  if (known > 0) return known;
  if (trie->count == INT32_MAX) return -1;
  try {
    trie->ids.emplace(name, trie->count + 1);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return ++trie->count;
}

void kfyTrieFree(KfyNameTrie* trie) { delete trie; }

// ---------------------------------------------------------------------------
// Parser

int kfyHandlerNoOp(KfyElement*, KfyValueStore*, void*) { return 1; }

KfyParser* kfyParserNew(void* user, KfyHandler valueHandler, KfyHandler openHandler,
                        KfyHandler closeHandler) {
  KfyParser* parser = new (std::nothrow) KfyParser;
  if (parser == nullptr) return nullptr;
  parser->user = user;
  parser->valueHandler = valueHandler != nullptr ? valueHandler : defaultValueHandler;
  parser->openHandler = openHandler != nullptr ? openHandler : defaultOpenHandler;
  parser->closeHandler = closeHandler != nullptr ? closeHandler : defaultCloseHandler;
  parser->store = kfyStoreNew();
  parser->objectNames = kfyTrieNew();
  parser->methodNames = kfyTrieNew();
  bool ok =
      parser->store != nullptr && parser->objectNames != nullptr && parser->methodNames != nullptr;
  if (ok) {
    try {
      parser->objectHandlers.assign(1, kfyHandlerNoOp);
      parser->methodHandlers.assign(1, kfyHandlerNoOp);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (!ok) {
    kfyParserFree(parser);
    return nullptr;
  }
  return parser;
}

int kfyParserOnObject(KfyParser* parser, const char* name, KfyHandler handler) {
  if (parser == nullptr) return 0;
  return registerHandler(parser->objectNames, parser->objectHandlers, name, handler);
}

int kfyParserOnMethod(KfyParser* parser, const char* name, KfyHandler handler) {
  if (parser == nullptr) return 0;
  return registerHandler(parser->methodNames, parser->methodHandlers, name, handler);
}

int kfyParserRun(const char* path, KfyParser* parser, KfyHeaderCheck headerCheck) {
  if (parser == nullptr) return 0;
  KfyHeader header;
  FILE* file = kfyOpenFile(path, &header);
  if (file == nullptr) return 0;

  int result = 1;
  if (headerCheck != nullptr) result = headerCheck(&header);
  if (result == 1) {
    KfyElement element;
    // The element is read before the result is looked at, so one element
    // after a stopping handler is read and dropped.
    while (kfyReadElement(file, &element) == 1 && result == 1) {
      switch (element.kind) {
        case kKfyValue:
          result = parser->valueHandler(&element, parser->store, parser->user);
          break;
        case kKfyBlockOpen:
          result = parser->openHandler(&element, parser->store, parser->user);
          break;
        case kKfyBlockClose:
          result = parser->closeHandler(&element, parser->store, parser->user);
          break;
        case kKfyObject:
          kfyStoreNumberObject(parser->store, &element);
          result = handlerFor(parser->objectNames, parser->objectHandlers, element.name)(
              &element, parser->store, parser->user);
          break;
        case kKfyMethod: {
          FILE* body = element.bodyFile;
          if (element.attributes == nullptr && body != nullptr && element.bodyStart >= 0) {
            fseeko(body, static_cast<off_t>(element.bodyStart), SEEK_SET);
          }
          kfyStoreNumberMethod(parser->store, &element);
          result = handlerFor(parser->methodNames, parser->methodHandlers, element.name)(
              &element, parser->store, parser->user);
          if (body != nullptr && element.bodyEnd >= 0) {
            fseeko(body, static_cast<off_t>(element.bodyEnd), SEEK_SET);
          }
          break;
        }
        default:
          break;
      }
    }
    // A file that breaks off inside an element, or holds a malformed one,
    // must not pass for a complete file: its reader would go on with part
    // of the content.
    if (result == 1 && kfyLastReadFailed()) result = 0;
    kfyElementClear(&element);
  }
  kfyHeaderFree(&header);
  kfyCloseFile(file);
  return result;
}

int kfyParserFree(KfyParser* parser) {
  if (parser == nullptr) return 0;
  kfyStoreFree(parser->store);
  kfyTrieFree(parser->objectNames);
  kfyTrieFree(parser->methodNames);
  delete parser;
  return 0;
}
