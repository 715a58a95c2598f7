#include "cycles/profile/plist_store.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_plines.h"

namespace {

using tsupport::PlinePtr;
using tsupport::TempDir;

struct StoreDeleter {
  void operator()(PlistStore* s) const { plistStoreFree(s); }
};
using StorePtr = std::unique_ptr<PlistStore, StoreDeleter>;
struct ListDeleter {
  void operator()(PlineList* l) const { plineListFree(l); }
};
using ListPtr = std::unique_ptr<PlineList, ListDeleter>;

// Line `index`: a few points whose coordinates name the line, tag = index.
PlinePtr lineNumbered(int index, int withAxes = 1) {
  std::vector<Vec3d> pts;
  const int n = 1 + index % 4;
  for (int i = 0; i < n; ++i) pts.push_back({double(index), double(i), 0.5 * index});
  PlinePtr pl = tsupport::plineThrough(pts, {}, withAxes);
  pl->tag = index;
  return pl;
}

std::vector<int> collectedTags(PlistStore* store, int* result) {
  ListPtr list(plineListNew());
  *result = plistStoreCollect(store, list.get());
  std::vector<int> out;
  for (const PlineListNode* n = list->first; n != nullptr; n = n->next) {
    out.push_back(n->pline->tag);
    // Every line comes back whole.
    EXPECT_EQ(n->pline->count, 1 + n->pline->tag % 4);
    EXPECT_EQ(n->pline->points[0].x, n->pline->tag);
  }
  return out;
}

std::vector<int> iota(int n) {
  std::vector<int> v(n);
  for (int i = 0; i < n; ++i) v[i] = i;
  return v;
}

std::string hex(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().string());
  return out;
}

TEST(PlistStore, TwoSlotsCollectInLineOrderForEveryCacheCount) {
  for (int cache : {0, 1, 2}) {
    TempDir tmp;
    StorePtr store(plistStoreNew(2, tmp.path().c_str(), cache));
    ASSERT_NE(store, nullptr);
    for (int i : {0, 2, 5}) ASSERT_EQ(plistStoreAdd(store.get(), 0, lineNumbered(i).get(), i), 1);
    for (int i : {1, 3, 4}) ASSERT_EQ(plistStoreAdd(store.get(), 1, lineNumbered(i).get(), i), 1);
    EXPECT_EQ(plistStoreSpilled(store.get()), cache > 0 ? 1 : 0);
    int result = 0;
    EXPECT_EQ(collectedTags(store.get(), &result), iota(6)) << "cache " << cache;
    EXPECT_EQ(result, 1);
  }
}

TEST(PlistStore, NeverSpillingTouchesNoDisk) {
  TempDir tmp;
  StorePtr store(plistStoreNew(3, tmp.path().c_str(), 0));
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(plistStoreAdd(store.get(), i % 3, lineNumbered(i).get(), i), 1);
  EXPECT_TRUE(entries(tmp.path()).empty());
  EXPECT_STREQ(plistStoreFileName(store.get(), 0), "");
}

TEST(PlistStore, FilesLiveInADirectoryOfTheirOwnAndGoWithTheStore) {
  TempDir tmp;
  StorePtr a(plistStoreNew(2, tmp.path().c_str(), 1));
  StorePtr b(plistStoreNew(2, (tmp.path() + "/").c_str(), 1));
  const std::string fa = plistStoreFileName(a.get(), 1);
  const std::string fb = plistStoreFileName(b.get(), 1);
  EXPECT_NE(fa, fb);
  EXPECT_EQ(std::filesystem::path(fa).filename(), "plist_2");
  EXPECT_EQ(std::filesystem::path(fa).parent_path().parent_path(), tmp.path());
  // Two stores over one directory do not interfere.
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(plistStoreAdd(a.get(), i % 2, lineNumbered(i).get(), i), 1);
    ASSERT_EQ(plistStoreAdd(b.get(), 1 - i % 2, lineNumbered(10 + i).get(), 10 + i), 1);
  }
  int ra = 0, rb = 0;
  EXPECT_EQ(collectedTags(a.get(), &ra), iota(6));
  std::vector<int> expectB;
  for (int i = 10; i < 16; ++i) expectB.push_back(i);
  EXPECT_EQ(collectedTags(b.get(), &rb), expectB);
  EXPECT_EQ(ra + rb, 2);
  EXPECT_EQ(entries(tmp.path()).size(), 2u);
  a.reset();
  b.reset();
  EXPECT_TRUE(entries(tmp.path()).empty());
}

TEST(PlistStore, AFilePlacedAtTheSpillNameFailsTheSpill) {
  TempDir tmp;
  StorePtr store(plistStoreNew(1, tmp.path().c_str(), 1));
  // Someone puts a link where the slot will write: the store never follows it.
  const std::string victim = tmp.file("victim");
  ASSERT_TRUE(tsupport::writeFile(victim, "keep"));
  ASSERT_EQ(symlink(victim.c_str(), plistStoreFileName(store.get(), 0)), 0);
  ASSERT_EQ(plistStoreAdd(store.get(), 0, lineNumbered(0).get(), 0), 1);
  EXPECT_EQ(plistStoreAdd(store.get(), 0, lineNumbered(1).get(), 1), -1);
  EXPECT_EQ(tsupport::readFile(victim), "keep");
  unlink(plistStoreFileName(store.get(), 0));
}

TEST(PlistStore, ADirectoryThatCannotBeMadeGivesNoStore) {
  TempDir tmp;
  // The job's temporary directory names a file, or does not exist.
  ASSERT_TRUE(tsupport::writeFile(tmp.file("plain"), "x"));
  EXPECT_EQ(plistStoreNew(2, tmp.file("plain").c_str(), 1), nullptr);
  EXPECT_EQ(plistStoreNew(2, tmp.file("none/deeper").c_str(), 1), nullptr);
  if (geteuid() != 0) {  // root writes into read-only directories
    ASSERT_EQ(chmod(tmp.path().c_str(), 0500), 0);
    EXPECT_EQ(plistStoreNew(2, tmp.path().c_str(), 1), nullptr);
    chmod(tmp.path().c_str(), 0700);
  }
  // Without spilling no directory is needed.
  StorePtr memOnly(plistStoreNew(2, tmp.file("plain").c_str(), 0));
  EXPECT_NE(memOnly, nullptr);
  EXPECT_EQ(plistStoreNew(0, tmp.path().c_str(), 1), nullptr);
  EXPECT_EQ(plistStoreNew(1, tmp.path().c_str(), -1), nullptr);
}

// Restores the file size limit and SIGXFSZ on scope exit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(PlistStore, AWriteThatDoesNotFitFailsTheAddAndTheCollection) {
  TempDir tmp;
  StorePtr store(plistStoreNew(1, tmp.path().c_str(), 2));
  std::vector<Vec3d> pts(200, Vec3d{1, 2, 3});
  PlinePtr big = tsupport::plineThrough(pts, {}, 1);
  {
    // A full disk as the writer sees it: no file may grow beyond 1000 bytes.
    FileSizeLimit limit(1000);
    ASSERT_EQ(plistStoreAdd(store.get(), 0, big.get(), 0), 1);
    ASSERT_EQ(plistStoreAdd(store.get(), 0, big.get(), 1), 1);
    EXPECT_EQ(plistStoreAdd(store.get(), 0, big.get(), 2), -1);
  }
  ListPtr list(plineListNew());
  // The lines that did not reach the file are not silently lost.
  EXPECT_EQ(plistStoreCollect(store.get(), list.get()), -1);
}

TEST(PlistStore, ATruncatedOrGrownFileFailsTheCollection) {
  struct Row {
    const char* name;
    long size_change;  // bytes cut off (negative) or added
  };
  for (const Row& row :
       {Row{"cut_record", -10}, Row{"cut_header", -(72 * 4 + 4)}, Row{"trailing_bytes", 3}}) {
    TempDir tmp;
    StorePtr store(plistStoreNew(1, tmp.path().c_str(), 1));
    for (int i = 0; i < 4; ++i)
      ASSERT_EQ(plistStoreAdd(store.get(), 0, lineNumbered(i).get(), i), 1);
    const std::string name = plistStoreFileName(store.get(), 0);
    // Collecting spills the last line, so the file grows by that line before
    // it is read: change the file after placing the last line there.
    ASSERT_EQ(plistStoreAdd(store.get(), 0, lineNumbered(7).get(), 7), 1);
    const auto size = std::filesystem::file_size(name);
    std::filesystem::resize_file(name, size + row.size_change);
    ListPtr list(plineListNew());
    EXPECT_EQ(plistStoreCollect(store.get(), list.get()), -1) << row.name;
  }
}

TEST(PlistReadPline, CountsThatPromiseMoreThanTheFileHoldsAreRefused) {
  struct Row {
    const char* name;
    std::string bytes;
    int result;
  };
  const std::string huge("\xff\xff\xff\x7f\0\0\0\0", 8);
  const std::string negative("\xfe\xff\xff\xff\0\0\0\0", 8);
  const std::string one("\x01\0\0\0\0\0\0\0", 8);
  const std::string zero("\0\0\0\0\x05\0\0\0", 8);
  for (const Row& row : {Row{"huge_count", huge, -1}, Row{"negative_count", negative, -1},
                         Row{"one_record_missing", one, -1},
                         Row{"one_record_short", one + std::string(71, '\0'), -1},
                         Row{"short_header", std::string(5, '\0'), -1}, Row{"empty_file", "", -1},
                         Row{"zero_points", zero, 1}}) {
    TempDir tmp;
    const std::string path = tmp.file("f");
    ASSERT_TRUE(tsupport::writeFile(path, row.bytes));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    PlinePtr pl(plineNew(0, 1));
    EXPECT_EQ(plistReadPline(pl.get(), f), row.result) << row.name;
    std::fclose(f);
    if (row.result == 1) {
      EXPECT_EQ(pl->count, 0);
      EXPECT_EQ(pl->tag, 5);
    }
  }
}

std::string writtenBytes(const Pline* pl) {
  TempDir tmp;
  const std::string path = tmp.file("f");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(plistWritePline(pl, f), 1);
  std::fclose(f);
  return tsupport::readFile(path);
}

TEST(PlistWritePline, GoldenBytes) {
  const std::vector<Vec3d> pts = {{1.0, -2.0, 0.5}};
  PlinePtr withAxes = tsupport::plineThrough(pts, {pointStatusMake(1, kPointSpecial)}, 1);
  withAxes->axes[0] = {0.0, 0.5, 2.0};
  withAxes->flags[0] = 0xab;
  withAxes->params[0] = 3.0;
  withAxes->tag = -3;
  EXPECT_EQ(hex(writtenBytes(withAxes.get())),
            "01000000"
            "fdffffff"
            "000000000000f03f"
            "00000000000000c0"
            "000000000000e03f"
            "0000000000000000"
            "000000000000e03f"
            "0000000000000040"
            "ab00000000000000"
            "0000000000000840"
            "010a000000000000");
  PlinePtr noAxes = tsupport::plineThrough(pts, {pointStatusMake(1, 0)}, 0);
  EXPECT_EQ(hex(writtenBytes(noAxes.get())),
            "01000000"
            "00000000"
            "000000000000f03f"
            "00000000000000c0"
            "000000000000e03f"
            "0000000000000000"
            "0000000000000000"
            "000000000000f03f"
            "0000000000000000"
            "0000000000000000"
            "0100000000000000");
  PlinePtr empty(plineNew(0, 0));
  empty->tag = 4;
  EXPECT_EQ(hex(writtenBytes(empty.get())), "0000000004000000");
}

TEST(PlistWritePline, RoundTripKeepsEveryField) {
  for (int withAxes : {0, 1}) {
    std::vector<Vec3d> pts;
    std::vector<PointStatus> st;
    for (int i = 0; i < 7; ++i) {
      pts.push_back({0.1 * i, -1e300 * i, 1.0 / (i + 1)});
      st.push_back(pointStatusMake(i % 2, i == 3 ? kPointSpecial : kPointCut));
    }
    PlinePtr src = tsupport::plineThrough(pts, st, withAxes);
    src->tag = -11;
    TempDir tmp;
    const std::string path = tmp.file("f");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_EQ(plistWritePline(src.get(), f), 1);
    ASSERT_EQ(plistWritePline(src.get(), f), 1);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    PlinePtr back(plineNew(0, 1));
    for (int rep = 0; rep < 2; ++rep) {
      ASSERT_EQ(plistReadPline(back.get(), f), 1);
      ASSERT_EQ(back->count, src->count);
      EXPECT_EQ(back->tag, -11);
      for (int i = 0; i < src->count; ++i) {
        EXPECT_EQ(back->points[i].x, src->points[i].x);
        EXPECT_EQ(back->points[i].y, src->points[i].y);
        EXPECT_EQ(back->points[i].z, src->points[i].z);
        EXPECT_EQ(back->params[i], src->params[i]);
        EXPECT_EQ(back->status[i], src->status[i]);
        EXPECT_EQ(back->axes[i].x, withAxes ? src->axes[i].x : 0.0);
        EXPECT_EQ(back->axes[i].z, 1.0);
        EXPECT_EQ(back->flags[i], withAxes ? src->flags[i] : 0);
      }
    }
    std::fclose(f);
  }
}

// The level's loop as the parallel driver runs it: one slot per thread of
// the team that runs, line indices handed out in ascending order.
std::vector<std::vector<double>> runLevel(int threads, int cache, int lines,
                                          const std::string& dir) {
  PlistStore* store = nullptr;
  int failures = 0;
#pragma omp parallel num_threads(threads)
  {
#pragma omp single
    store = plistStoreNew(omp_get_num_threads(), dir.c_str(), cache);
#pragma omp for schedule(monotonic : dynamic, 1) reduction(+ : failures)
    for (int i = 0; i < lines; ++i) {
      if (store == nullptr ||
          plistStoreAdd(store, omp_get_thread_num(), lineNumbered(i).get(), i) != 1) {
        ++failures;
      }
    }
  }
  EXPECT_EQ(failures, 0);
  ListPtr list(plineListNew());
  EXPECT_EQ(plistStoreCollect(store, list.get()), 1);
  plistStoreFree(store);
  std::vector<std::vector<double>> out;
  for (const PlineListNode* n = list->first; n != nullptr; n = n->next) {
    std::vector<double> v{double(n->pline->tag)};
    for (int i = 0; i < n->pline->count; ++i) v.push_back(n->pline->points[i].y);
    out.push_back(v);
  }
  return out;
}

TEST(PlistStore, SameLinesInLineOrderForAnyTeamAndCache) {
  constexpr int kLines = 12000;
  TempDir tmp;
  const auto reference = runLevel(1, 0, kLines, tmp.path());
  ASSERT_EQ(reference.size(), static_cast<size_t>(kLines));
  for (int i = 0; i < kLines; ++i) ASSERT_EQ(reference[i][0], i);
  for (int threads : {1, 8}) {
    for (int cache : {0, 1, 5000}) {
      EXPECT_EQ(runLevel(threads, cache, kLines, tmp.path()), reference)
          << threads << " threads, cache " << cache;
    }
  }
  EXPECT_TRUE(entries(tmp.path()).empty());
}

TEST(PlistStore, ALineIndexBelowTheSlotsLastIsRefused) {
  TempDir tmp;
  PlistStore* store = plistStoreNew(1, tmp.path().c_str(), 0);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(plistStoreAdd(store, 0, lineNumbered(5).get(), 5), 1);
  EXPECT_EQ(plistStoreAdd(store, 0, lineNumbered(3).get(), 3), -1);
  EXPECT_EQ(plistStoreAdd(store, 0, lineNumbered(7).get(), 7), 1);
  ListPtr list(plineListNew());
  EXPECT_EQ(plistStoreCollect(store, list.get()), 1);
  plistStoreFree(store);
  std::vector<int> tags;
  for (const PlineListNode* n = list->first; n != nullptr; n = n->next)
    tags.push_back(n->pline->tag);
  EXPECT_EQ(tags, (std::vector<int>{5, 7}));
}

TEST(IntArrayPush, GrowsByDoubling) {
  IntArray a{0, 0, nullptr};
  for (int i = 0; i < kPlistIndexCapacity + 1; ++i) ASSERT_EQ(intArrayPush(&a, i), 1);
  EXPECT_EQ(a.capacity, 2 * kPlistIndexCapacity);
  EXPECT_EQ(a.data[kPlistIndexCapacity], kPlistIndexCapacity);
  std::free(a.data);
}

}  // namespace
