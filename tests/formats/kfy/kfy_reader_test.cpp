#include "formats/kfy/kfy_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/memory.h"
#include "support/temp_dir.h"

namespace {

// The value of name as a std::string, "<none>" when absent.
std::string get(const KfyValueStore* store, const char* name) {
  char* v = kfyStoreGet(store, name);
  const std::string out = v != nullptr ? v : "<none>";
  memFree(v);
  return out;
}

struct StoreDeleter {
  void operator()(KfyValueStore* s) const { kfyStoreFree(s); }
};
using StorePtr = std::unique_ptr<KfyValueStore, StoreDeleter>;

TEST(KfyValueStore, BlocksRestoreOuterValues) {
  StorePtr store(kfyStoreNew());
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(get(store.get(), "objectCounter"), "1");
  EXPECT_EQ(kfyStoreSet(store.get(), "A", "0"), 0);
  EXPECT_EQ(kfyStoreSet(store.get(), "A", "1"), 1);
  EXPECT_EQ(get(store.get(), "A"), "1");

  ASSERT_EQ(kfyStorePushScope(store.get()), 1);
  EXPECT_EQ(store->level, 2);
  kfyStoreSet(store.get(), "A", "2");
  kfyStoreSet(store.get(), "B", "3");
  EXPECT_EQ(get(store.get(), "A"), "2");
  EXPECT_EQ(get(store.get(), "B"), "3");
  ASSERT_EQ(kfyStorePopScope(store.get()), 1);
  EXPECT_EQ(get(store.get(), "A"), "1");
  EXPECT_EQ(get(store.get(), "B"), "<none>");
  EXPECT_EQ(kfyStorePopScope(store.get()), 0);  // level 1 has nothing to pop
}

TEST(KfyValueStore, SeveralChangesInABlockRestoreTheValueFromBeforeIt) {
  StorePtr store(kfyStoreNew());
  kfyStoreSet(store.get(), "A", "1");
  kfyStorePushScope(store.get());
  kfyStoreSet(store.get(), "A", "2");
  kfyStorePushScope(store.get());
  kfyStoreSet(store.get(), "A", "3");
  kfyStoreSet(store.get(), "A", "4");
  kfyStorePopScope(store.get());
  EXPECT_EQ(get(store.get(), "A"), "2");
  kfyStoreSet(store.get(), "A", "5");
  kfyStorePopScope(store.get());
  EXPECT_EQ(get(store.get(), "A"), "1");
}

// An outer value changed only in an inner block of a nested pair must
// survive the close of the outer block too.
TEST(KfyValueStore, NestedBlocksKeepOuterValues) {
  StorePtr store(kfyStoreNew());
  kfyStoreSet(store.get(), "A", "1");
  kfyStorePushScope(store.get());
  kfyStoreSet(store.get(), "B", "2");
  kfyStorePushScope(store.get());
  kfyStoreSet(store.get(), "A", "3");
  kfyStoreSet(store.get(), "B", "4");
  kfyStoreSet(store.get(), "C", "5");
  kfyStorePopScope(store.get());
  EXPECT_EQ(get(store.get(), "A"), "1");
  EXPECT_EQ(get(store.get(), "B"), "2");
  EXPECT_EQ(get(store.get(), "C"), "<none>");
  kfyStorePopScope(store.get());
  EXPECT_EQ(get(store.get(), "A"), "1");
  EXPECT_EQ(get(store.get(), "B"), "<none>");
  EXPECT_EQ(store->values.size(), 3u);  // A and the two counters
}

TEST(KfyValueStore, RefusesBlocksBeyondTheDeepestLevel) {
  StorePtr store(kfyStoreNew());
  while (store->level < kKfyMaxLevel) ASSERT_EQ(kfyStorePushScope(store.get()), 1);
  EXPECT_EQ(kfyStorePushScope(store.get()), 0);
  EXPECT_EQ(store->level, kKfyMaxLevel);
  while (kfyStorePopScope(store.get()) == 1) {
  }
  EXPECT_EQ(store->level, 1);
  EXPECT_EQ(get(store.get(), "objectCounter"), "1");
}

TEST(KfyValueStore, IgnoresEmptyNamesAndValues) {
  StorePtr store(kfyStoreNew());
  EXPECT_EQ(kfyStoreSet(store.get(), "", "1"), 0);
  EXPECT_EQ(kfyStoreSet(store.get(), "A", ""), 0);
  EXPECT_EQ(kfyStoreSet(store.get(), nullptr, "1"), 0);
  EXPECT_EQ(kfyStoreSet(nullptr, "A", "1"), 0);
  EXPECT_EQ(get(store.get(), "A"), "<none>");
  EXPECT_EQ(kfyStoreGet(store.get(), ""), nullptr);
  EXPECT_EQ(kfyStorePushScope(nullptr), 0);
  kfyStoreFree(nullptr);
}

// Unnamed objects are numbered per block; the outer numbering continues
// after a block.  Methods count on their own.
TEST(KfyValueStore, NumbersUnnamedObjectsPerBlock) {
  StorePtr store(kfyStoreNew());
  std::vector<std::string> texts;
  auto number = [&](uint16_t kind, const char* text = nullptr) {
    KfyElement e;
    e.kind = kind;
    if (text != nullptr) e.text = strDuplicate(text);
    const int given = kind == kKfyMethod ? kfyStoreNumberMethod(store.get(), &e)
                                         : kfyStoreNumberObject(store.get(), &e);
    texts.push_back(std::string(e.text != nullptr ? e.text : "null") + ":" + std::to_string(given));
    kfyElementClear(&e);
  };
  number(kKfyObject);
  number(kKfyObject);
  number(kKfyMethod);
  kfyStorePushScope(store.get());
  number(kKfyObject);
  kfyStorePopScope(store.get());
  number(kKfyObject, "named");  // counts, keeps its name
  number(kKfyObject);
  number(kKfyValue);  // not numbered
  EXPECT_EQ(texts,
            (std::vector<std::string>{"1:1", "2:1", "1:1", "1:1", "named:0", "4:1", "null:0"}));
}

TEST(KfyNameTrie, IdsInOrderOfFirstInsertion) {
  KfyNameTrie* trie = kfyTrieNew();
  ASSERT_NE(trie, nullptr);
  EXPECT_EQ(kfyTrieInsert(trie, "P"), 1);
  EXPECT_EQ(kfyTrieInsert(trie, "Pset"), 2);
  EXPECT_EQ(kfyTrieInsert(trie, "P"), 1);
  EXPECT_EQ(kfyTrieLookup(trie, "Pset"), 2);
  EXPECT_EQ(kfyTrieLookup(trie, "Ps"), 0);
  EXPECT_EQ(kfyTrieLookup(trie, "Psets"), 0);
  EXPECT_EQ(kfyTrieLookup(trie, ""), 0);
  EXPECT_EQ(kfyTrieInsert(trie, ""), 0);
  EXPECT_EQ(kfyTrieInsert(nullptr, "x"), -1);
  kfyTrieFree(trie);
}

// What the handlers of a parse saw, in order.
struct Log {
  std::vector<std::string> lines;
  int stopAt = -1;  // the handler call (0-based) that returns 0
};

int logElement(KfyElement* e, KfyValueStore* store, void* user) {
  auto* log = static_cast<Log*>(user);
  std::string line(1, static_cast<char>(e->kind));
  line += std::string(" ") + (e->name != nullptr ? e->name : "") + "[" +
          (e->text != nullptr ? e->text : "") + "]";
  if (e->attributes != nullptr && e->attributes->key == nullptr) {
    line += std::string(" body=") + e->attributes->value;
  } else if (e->bodyFile != nullptr) {
    // A long body is read by the handler from the file, up to its ")".
    std::string body;
    for (int c; (c = std::fgetc(e->bodyFile)) != EOF && c != ')';) body.push_back(char(c));
    line += " file body of " + std::to_string(body.size()) + " starting " + body.substr(0, 3);
  }
  line += " level=" + std::to_string(store->level);
  log->lines.push_back(line);
  return static_cast<int>(log->lines.size()) - 1 == log->stopAt ? 0 : 1;
}

class KfyParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parser_ = kfyParserNew(&log_, nullptr, nullptr, nullptr);
    ASSERT_NE(parser_, nullptr);
    ASSERT_EQ(kfyParserOnObject(parser_, "P", logElement), 1);
    ASSERT_EQ(kfyParserOnMethod(parser_, "V", logElement), 1);
  }
  void TearDown() override { kfyParserFree(parser_); }

  int run(const std::string& elements, KfyHeaderCheck check = nullptr) {
    const std::string text =
        std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nTest\n" + elements;
    EXPECT_TRUE(tsupport::writeFile(dir_.file("p.kfy"), text));
    return kfyParserRun(dir_.file("p.kfy").c_str(), parser_, check);
  }

  tsupport::ScopedWorkDir dir_;
  Log log_;
  KfyParser* parser_ = nullptr;
};

TEST_F(KfyParserTest, HandsElementsToTheirHandlers) {
  EXPECT_EQ(run("vscale(100)\noQ[9]()\noP()\n{ vscale(5) oP[7](x[1]) mV(1/2) }\nmV(3)\noP()"), 1);
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{"o P[2] level=1", "o P[7] level=2", "m V[1] body=1/2 level=2",
                                      "m V[1] body=3 level=1", "o P[3] level=1"}));
  EXPECT_EQ(get(parser_->store, "scale"), "100");
}

TEST_F(KfyParserTest, HandlerResultStopsTheRun) {
  log_.stopAt = 0;
  EXPECT_EQ(run("oP() oP() oP()"), 0);
  EXPECT_EQ(log_.lines.size(), 1u);
}

TEST_F(KfyParserTest, LongMethodBodyIsReadFromTheFile) {
  const std::string body = "+1+2" + std::string(6000, '3');
  EXPECT_EQ(run("mV(" + body + ")\nmV(x)\n"), 1);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"m V[1] file body of 6004 starting +1+ level=1",
                                                  "m V[2] body=x level=1"}));
}

// A file cut off inside an element is not a complete file: the handlers
// see the elements before the cut, and the run fails.
TEST_F(KfyParserTest, CutOffElementFailsTheRun) {
  EXPECT_EQ(run("oP()\noP(x[1]"), 0);
  EXPECT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(run("oP()\nq(1)\noP()"), 0);
  EXPECT_EQ(run("oP() ; comment at the end"), 1);
}

int refuseHeader(const KfyHeader* h) { return std::string(h->fileType) == "Geometry" ? 7 : 1; }

TEST_F(KfyParserTest, NestingBeyondTheDeepestLevelFailsTheRun) {
  const std::string deep(kKfyMaxLevel, '{');
  EXPECT_EQ(run(deep + "oP()"), 0);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(KfyParserTest, HeaderCheckDecides) {
  EXPECT_EQ(run("oP()", refuseHeader), 7);
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(kfyParserRun(dir_.file("absent.kfy").c_str(), parser_, nullptr), 0);
  EXPECT_EQ(kfyParserRun(dir_.file("p.kfy").c_str(), nullptr, nullptr), 0);
}

TEST_F(KfyParserTest, RegistrationRules) {
  EXPECT_EQ(kfyParserOnObject(parser_, "", logElement), 0);
  EXPECT_EQ(kfyParserOnObject(nullptr, "P", logElement), 0);
  // A null handler registers the no-op; registering again replaces.
  EXPECT_EQ(kfyParserOnObject(parser_, "P", nullptr), 1);
  EXPECT_EQ(run("oP()"), 1);
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(kfyParserOnObject(parser_, "P", logElement), 1);
  EXPECT_EQ(run("oP()"), 1);
  EXPECT_EQ(log_.lines.size(), 1u);
}

}  // namespace
