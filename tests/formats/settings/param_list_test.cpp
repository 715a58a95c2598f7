#include "formats/settings/param_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries entriesOf(ParamList list) {
  Entries out;
  for (const ParamEntry* e = list; e != nullptr; e = e->next) {
    out.emplace_back(e->name, e->value);
  }
  return out;
}

TEST(ParamList, NewEntriesGoToTheHeadAndReplacementKeepsThePlace) {
  ParamList list = nullptr;
  list = paramListSet(list, "a", "1", kParamOriginDefFile);
  list = paramListSet(list, "b", "2", kParamOriginDefFile);
  list = paramListSet(list, "a", "3", kParamOriginSettings);
  EXPECT_EQ(entriesOf(list), (Entries{{"b", "2"}, {"a", "3"}}));
  EXPECT_EQ(list->next->origin, kParamOriginSettings);
  // Names compare case-sensitively and in full.
  list = paramListSet(list, "A", "4", kParamOriginLocal);
  list = paramListSet(list, "ab", "5", kParamOriginLocal);
  EXPECT_EQ(entriesOf(list).size(), 4u);
  paramListFree(list);
}

TEST(ParamList, SetWithoutNameOrValueChangesNothing) {
  ParamList list = paramListSet(nullptr, "a", "1", kParamOriginDefFile);
  const ParamList head = list;
  for (auto [name, value] : std::vector<std::pair<const char*, const char*>>{
           {"a", ""}, {"a", nullptr}, {"", "x"}, {nullptr, "x"}}) {
    list = paramListSet(list, name, value, kParamOriginRuntime);
    EXPECT_EQ(list, head);
  }
  EXPECT_EQ(entriesOf(list), (Entries{{"a", "1"}}));
  EXPECT_EQ(list->origin, kParamOriginDefFile);
  paramListFree(list);
}

TEST(ParamList, GetReturnsACopyAndTheOrigin) {
  ParamList list = paramListSet(nullptr, "precision", "4", kParamOriginDefFile);
  short origin = -1;
  char* value = paramListGet(list, "precision", &origin);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "4");
  EXPECT_EQ(origin, kParamOriginDefFile);
  value[0] = '9';
  memFree(value);
  char* again = paramListGet(list, "precision", nullptr);
  EXPECT_STREQ(again, "4");
  memFree(again);
  EXPECT_EQ(paramListGet(list, "missing", &origin), nullptr);
  EXPECT_EQ(paramListGet(nullptr, "precision", &origin), nullptr);
  paramListFree(list);
}

TEST(ParamList, TakeMovesTheStringsIntoTheList) {
  PcfPair pair{strDuplicate("a"), strDuplicate("1")};
  ParamList list = paramListTake(nullptr, &pair, kParamOriginSettings);
  EXPECT_EQ(pair.name, nullptr);  // inserted: the list took both
  EXPECT_EQ(pair.value, nullptr);

  pair = PcfPair{strDuplicate("a"), strDuplicate("2")};
  list = paramListTake(list, &pair, kParamOriginRuntime);
  ASSERT_NE(pair.name, nullptr);  // replaced: the name stays with the pair
  EXPECT_EQ(pair.value, nullptr);
  EXPECT_EQ(entriesOf(list), (Entries{{"a", "2"}}));
  EXPECT_EQ(list->origin, kParamOriginRuntime);
  pcfPairClear(&pair);

  // An incomplete pair is left with its owner.
  pair = PcfPair{strDuplicate("b"), strDuplicate("")};
  list = paramListTake(list, &pair, kParamOriginRuntime);
  EXPECT_NE(pair.name, nullptr);
  EXPECT_EQ(entriesOf(list).size(), 1u);
  pcfPairClear(&pair);
  EXPECT_EQ(pair.name, nullptr);
  paramListFree(list);
  paramListFree(nullptr);
}

PcfPair makePair(const std::string& name, const std::string& value) {
  return PcfPair{strDuplicate(name.c_str()), strDuplicate(value.c_str())};
}

TEST(ParamListIndex, TakesExactlyLikeTheListWalk) {
  std::mt19937 rng(1209);
  std::uniform_int_distribution<int> nameOf(0, 40);
  ParamList walked = paramListSet(nullptr, "n3", "old", kParamOriginDefFile);
  walked = paramListSet(walked, "n7", "old", kParamOriginDefFile);
  ParamList seed = paramListSet(nullptr, "n3", "old", kParamOriginDefFile);
  seed = paramListSet(seed, "n7", "old", kParamOriginDefFile);
  ParamListIndex index(seed);
  for (int i = 0; i < 500; ++i) {
    // Names repeat, so replacements of old and new entries mix with inserts;
    // every tenth pair has an empty value and must change nothing.
    std::string name = "n";
    name += std::to_string(nameOf(rng));
    const std::string value = i % 10 == 0 ? "" : std::to_string(i);
    const int origin = i % 2 == 0 ? kParamOriginSettings : kParamOriginRuntime;
    PcfPair a = makePair(name, value);
    PcfPair b = makePair(name, value);
    walked = paramListTake(walked, &a, origin);
    index.take(&b, origin);
    // The pair keeps the same strings either way.
    EXPECT_EQ(a.name == nullptr, b.name == nullptr);
    EXPECT_EQ(a.value == nullptr, b.value == nullptr);
    pcfPairClear(&a);
    pcfPairClear(&b);
  }
  EXPECT_EQ(entriesOf(index.list()), entriesOf(walked));
  std::vector<int> walkedOrigins, indexOrigins;
  for (const ParamEntry* e = walked; e != nullptr; e = e->next) walkedOrigins.push_back(e->origin);
  for (const ParamEntry* e = index.list(); e != nullptr; e = e->next) {
    indexOrigins.push_back(e->origin);
  }
  EXPECT_EQ(indexOrigins, walkedOrigins);
  paramListFree(walked);
  paramListFree(index.list());
}

}  // namespace
