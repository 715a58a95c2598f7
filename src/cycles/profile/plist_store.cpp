#include "cycles/profile/plist_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// Template of the store's own directory under the job's temporary directory.
constexpr const char* kPlistDirTemplate = "plist_XXXXXX";

struct Slot {
  std::string fileName;
  bool fileMade = false;  // the file exists (created on the first spill)
  IntArray indices{0, 0, nullptr};
  PlineList* list = nullptr;  // lines not yet spilled
  int memCount = 0;
  std::FILE* reader = nullptr;
  PlineListNode* cursor = nullptr;
};

}  // namespace

struct PlistStore {
  int slotCount = 0;
  int cacheCount = 0;
  std::atomic<int> spilled{0};
  std::string dir;  // the store's own directory ("" when it never spills)
  std::vector<Slot> slots;
};

namespace {

void putU16(unsigned char* at, std::uint16_t v) {
  at[0] = static_cast<unsigned char>(v & 0xff);
  at[1] = static_cast<unsigned char>(v >> 8);
}
void putU32(unsigned char* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xff);
}
void putU64(unsigned char* at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xff);
}
void putF64(unsigned char* at, double v) { putU64(at, std::bit_cast<std::uint64_t>(v)); }
void putI32(unsigned char* at, int v) { putU32(at, static_cast<std::uint32_t>(v)); }

std::uint16_t getU16(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
std::uint32_t getU32(const unsigned char* at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  return v;
}
std::uint64_t getU64(const unsigned char* at) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(at[i]) << (8 * i);
  return v;
}
double getF64(const unsigned char* at) { return std::bit_cast<double>(getU64(at)); }
int getI32(const unsigned char* at) { return static_cast<int>(getU32(at)); }

// Bytes of the file from the current position to its end, or -1.
long long bytesLeft(std::FILE* file) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return -1;
  const long pos = std::ftell(file);
  if (pos < 0) return -1;
  return static_cast<long long>(st.st_size) - pos;
}

void freeSlotMemory(Slot& s) {
  std::free(s.indices.data);
  s.indices = {0, 0, nullptr};
  plineListFree(s.list);
  s.list = nullptr;
  if (s.reader != nullptr) std::fclose(s.reader);
  s.reader = nullptr;
  s.cursor = nullptr;
}

// Opens the slot's file for appending: created exclusively on the first
// spill, reopened without following links afterwards.
std::FILE* openForAppend(Slot& s) {
  const int flags = s.fileMade ? (O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC)
                               : (O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
  const int fd = open(s.fileName.c_str(), flags, 0600);
  if (fd < 0) return nullptr;
  s.fileMade = true;
  std::FILE* f = fdopen(fd, "ab");
  if (f == nullptr) close(fd);
  return f;
}

// Appends every line of the slot's in-memory list to its file and replaces
// the list by an empty one.  On failure the list is kept (the caller fails
// the level anyway; nothing is reported as written that was not).
int plistSpillSlot(Slot& s) {
  std::FILE* f = openForAppend(s);
  if (f == nullptr) return -1;
  int result = 1;
  for (PlineListNode* n = s.list->first; n != nullptr && result > 0; n = n->next) {
    if (plistWritePline(n->pline, f) < 0) result = -1;
  }
  if (std::fflush(f) != 0) result = -1;
  if (std::fclose(f) != 0) result = -1;
  if (result < 0) return -1;
  PlineList* fresh = plineListNew();
  if (fresh == nullptr) return -1;
  plineListFree(s.list);
  s.list = fresh;
  s.memCount = 0;
  return 1;
}

// The slot whose next line index is smallest among those with lines left
// (the lower slot wins a tie), or -1 when all are exhausted.
int plistNextSlot(const std::vector<int>& readPos, const PlistStore* store) {
  int best = -1;
  for (int k = 0; k < store->slotCount; ++k) {
    const IntArray& a = store->slots[k].indices;
    if (readPos[k] >= a.count) continue;
    if (best < 0 || a.data[readPos[k]] < store->slots[best].indices.data[readPos[best]]) best = k;
  }
  return best;
}

int collectMerged(PlistStore* store, PlineList* out) {
  const bool fromFiles = store->spilled.load() != 0;
  for (Slot& s : store->slots) {
    if (fromFiles) {
      if (s.indices.count == 0) continue;
      if (s.memCount > 0 && plistSpillSlot(s) < 0) return -1;
      const int fd = open(s.fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) return -1;
      s.reader = fdopen(fd, "rb");
      if (s.reader == nullptr) {
        close(fd);
        return -1;
      }
    } else {
      s.cursor = s.list->first;
    }
  }
  std::vector<int> readPos(store->slotCount, 0);
  std::unique_ptr<Pline, int (*)(Pline*)> work(plineNew(0, 1), plineFree);
  if (work == nullptr) return -1;
  for (int k; (k = plistNextSlot(readPos, store)) >= 0;) {
    Slot& s = store->slots[k];
    if (fromFiles) {
      if (plistReadPline(work.get(), s.reader) < 0) return -1;
      if (plineListAppendShown(out, work.get()) < 0) return -1;
    } else {
      if (s.cursor == nullptr) return -1;  // index array and list disagree
      // The slot's own copy moves on to the list: it is not needed here
      // any more, and a second copy of every line would cost the level.
      Pline* line = s.cursor->pline;
      s.cursor->pline = nullptr;
      s.cursor = s.cursor->next;
      if (plineListAppendShownTaken(out, line) < 0) return -1;
    }
    ++readPos[k];
  }
  // Every file must have been read to its end: bytes left over mean the
  // file does not hold what the slot wrote.
  if (fromFiles) {
    for (Slot& s : store->slots) {
      if (s.reader != nullptr && bytesLeft(s.reader) != 0) return -1;
    }
  }
  return 1;
}

}  // namespace

int intArrayPush(IntArray* array, int value) {
  if (array->count == array->capacity) {
    const long long cap =
        array->capacity > 0 ? 2LL * array->capacity : static_cast<long long>(kPlistIndexCapacity);
    if (cap > INT32_MAX) return -1;
    void* grown = std::realloc(array->data, static_cast<size_t>(cap) * sizeof(int));
    if (grown == nullptr) return -1;
    array->data = static_cast<int*>(grown);
    array->capacity = static_cast<int>(cap);
  }
  array->data[array->count++] = value;
  return 1;
}

PlistStore* plistStoreNew(int slotCount, const char* directory, int cacheCount) {
  if (slotCount < 1 || cacheCount < 0) return nullptr;
  std::unique_ptr<PlistStore> store(new (std::nothrow) PlistStore);
  if (store == nullptr) return nullptr;
  try {
    store->slotCount = slotCount;
    store->cacheCount = cacheCount;
    store->slots.resize(slotCount);
    if (cacheCount > 0) {
      std::string base = directory != nullptr ? directory : "";
      if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
      std::string templ = base + kPlistDirTemplate;
      if (mkdtemp(templ.data()) == nullptr) return nullptr;
      store->dir = templ;
    }
    for (int k = 0; k < slotCount; ++k) {
      Slot& s = store->slots[k];
      if (!store->dir.empty()) s.fileName = store->dir + "/plist_" + std::to_string(k + 1);
      s.indices.data = static_cast<int*>(std::malloc(kPlistIndexCapacity * sizeof(int)));
      s.list = plineListNew();
      if (s.indices.data == nullptr || s.list == nullptr) {
        plistStoreFree(store.release());
        return nullptr;
      }
      s.indices.capacity = kPlistIndexCapacity;
    }
  } catch (const std::bad_alloc&) {
    plistStoreFree(store.release());
    return nullptr;
  }
  return store.release();
}

int plistStoreAdd(PlistStore* store, int slot, const Pline* path, int lineIndex) {
  assert(store != nullptr && slot >= 0 && slot < store->slotCount);
  if (store == nullptr || slot < 0 || slot >= store->slotCount || path == nullptr) return -1;
  Slot& s = store->slots[slot];
  // The merge of the slots relies on every slot's lines coming in ascending
  // line index; a loop that hands them out otherwise would interleave the
  // lines wrongly, so it is refused instead.
  if (s.indices.count > 0 && lineIndex < s.indices.data[s.indices.count - 1]) return -1;
  if (store->cacheCount != 0 && s.memCount == store->cacheCount) {
    store->spilled.store(1);
    if (plistSpillSlot(s) < 0) return -1;
  }
  if (plineListAppendReduced(s.list, path) < 0) return -1;
  if (intArrayPush(&s.indices, lineIndex) < 0) {
    // Keep the list and the index array in step: take the line off again.
    PlineListNode* prev = nullptr;
    for (PlineListNode* n = s.list->first; n != s.list->last; n = n->next) prev = n;
    plineFree(s.list->last->pline);
    delete s.list->last;
    s.list->last = prev;
    if (prev != nullptr) {
      prev->next = nullptr;
    } else {
      s.list->first = nullptr;
    }
    return -1;
  }
  ++s.memCount;
  return 1;
}

int plistStoreCollect(PlistStore* store, PlineList* list) {
  if (store == nullptr || list == nullptr) return -1;
  int result = -1;
  try {
    result = collectMerged(store, list);
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  for (Slot& s : store->slots) {
    if (s.reader != nullptr) std::fclose(s.reader);
    s.reader = nullptr;
    s.cursor = nullptr;
  }
  return result;
}

void plistStoreFree(PlistStore* store) {
  if (store == nullptr) return;
  for (Slot& s : store->slots) {
    freeSlotMemory(s);
    if (s.fileMade) unlink(s.fileName.c_str());
  }
  if (!store->dir.empty()) rmdir(store->dir.c_str());
  delete store;
}

int plistStoreSpilled(const PlistStore* store) {
  return store != nullptr ? store->spilled.load() : 0;
}

const char* plistStoreFileName(const PlistStore* store, int slot) {
  if (store == nullptr || slot < 0 || slot >= store->slotCount) return "";
  return store->slots[slot].fileName.c_str();
}

int plistWritePline(const Pline* path, std::FILE* file) {
  unsigned char head[kPlistHeaderSize];
  putI32(head, path->count);
  putI32(head + 4, path->tag);
  if (std::fwrite(head, 1, sizeof head, file) != sizeof head) return -1;
  for (int i = 0; i < path->count; ++i) {
    unsigned char rec[kPlistRecordSize] = {};
    const Vec3d& p = path->points[i];
    const Vec3d axis = path->axes != nullptr ? path->axes[i] : Vec3d{0.0, 0.0, 1.0};
    putF64(rec + 0, p.x);
    putF64(rec + 8, p.y);
    putF64(rec + 16, p.z);
    putF64(rec + 24, axis.x);
    putF64(rec + 32, axis.y);
    putF64(rec + 40, axis.z);
    rec[48] = path->flags != nullptr ? path->flags[i] : 0;
    putF64(rec + 56, path->params[i]);
    putU16(rec + 64, path->status[i]);
    if (std::fwrite(rec, 1, sizeof rec, file) != sizeof rec) return -1;
  }
  return 1;
}

int plistReadPline(Pline* path, std::FILE* file) {
  path->count = 0;
  unsigned char head[kPlistHeaderSize];
  if (std::fread(head, 1, sizeof head, file) != sizeof head) return -1;
  const int n = getI32(head);
  path->tag = getI32(head + 4);
  if (n < 0) return -1;
  const long long left = bytesLeft(file);
  if (left < 0 || static_cast<long long>(n) * kPlistRecordSize > left) return -1;
  for (int i = 0; i < n; ++i) {
    unsigned char rec[kPlistRecordSize];
    if (std::fread(rec, 1, sizeof rec, file) != sizeof rec) return -1;
    const Vec3d p{getF64(rec), getF64(rec + 8), getF64(rec + 16)};
    const Vec3d axis{getF64(rec + 24), getF64(rec + 32), getF64(rec + 40)};
    if (plineAppend(path, getF64(rec + 56), &p, getU16(rec + 64), &axis, rec[48]) < 0) return -1;
  }
  return 1;
}
