#include "base/messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cycle/cycle_descriptor.h"
#include "cycles/pocket/pocket_errors.h"
#include "output/output_channels.h"
#include "support/record_capture.h"

namespace {

// A context with channel 0 recording, made the output cycle for the test.
class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { outSetContext(&cap_.ctx); }
  void TearDown() override {
    outSetContext(nullptr);
    msgSetLevel(nullptr, kMsgDefaultLevel);
    cycSetBreakHook(nullptr);
  }

  // The values of the error records sent since the last call.
  std::vector<std::string> sent() {
    std::vector<std::string> out;
    for (const CapturedRecord& r : cap_.take()) {
      EXPECT_EQ(r.channel, 0);
      EXPECT_EQ(r.code, 101);
      EXPECT_EQ(r.name, "error");
      out.push_back(r.value);
    }
    return out;
  }

  RecordCapture cap_{0};
};

struct MsgCase {
  const char* name;
  int configured;
  std::function<int()> call;
  int result;
  std::vector<std::string> sent;
};

class MessageTableTest : public MessagesTest, public ::testing::WithParamInterface<MsgCase> {};

TEST_P(MessageTableTest, FiltersAndFormats) {
  const MsgCase& c = GetParam();
  msgSetLevel(nullptr, c.configured);
  EXPECT_EQ(c.call(), c.result);
  EXPECT_EQ(sent(), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageTableTest,
    ::testing::Values(
        MsgCase{"same_level_passes", 3, [] { return msgNumbered(3, 500, "", "x"); }, 1, {"500,x"}},
        MsgCase{"higher_level_suppressed", 3, [] { return msgNumbered(4, 500, "", "x"); }, 2, {}},
        MsgCase{"level9_is_1_with_trace_flag",
                3,
                [] { return msgNumbered(9, 500, "", "x"); },
                1,
                {"500,x"}},
        MsgCase{"trace_flag_ignored_in_level_test",
                11,
                [] { return msgNumbered(4, 1, "", "x"); },
                2,
                {}},
        MsgCase{"null_argument", 3, [] { return msgNumbered(9, 770, "", nullptr); }, 1, {"770"}},
        MsgCase{"int", 3, [] { return msgNumberedInt(9, 7, "", -42); }, 1, {"7,-42"}},
        MsgCase{"int_beyond_32_bits",
                3,
                [] { return msgNumberedInt(9, 7, "", 5000000000LL); },
                1,
                {"7,5000000000"}},
        MsgCase{
            "real_tiny_is_zero", 3, [] { return msgNumberedReal(9, 332, "", 1e-6); }, 1, {"332,0"}},
        MsgCase{"real_six_decimals",
                3,
                [] { return msgNumberedReal(9, 332, "", 2.5); },
                1,
                {"332,2.500000"}},
        MsgCase{"real_negative",
                3,
                [] { return msgNumberedReal(9, 332, "", -0.00002); },
                1,
                {"332,-0.000020"}},
        MsgCase{"real_suppressed", 1, [] { return msgNumberedReal(2, 332, "", 2.5); }, 2, {}},
        MsgCase{"trace_silent_without_flag", 3, [] { return msgTraceInt(3, "n=%d", 5); }, 1, {}},
        MsgCase{"trace_with_configured_flag",
                11,
                [] { return msgTraceInt(3, "n=%d", 5); },
                1,
                {"9999,n=5"}},
        MsgCase{"trace_with_call_flag",
                3,
                [] { return msgTraceReal(9, "v=%.2f", 2.5); },
                1,
                {"9999,v=2.50"}},
        MsgCase{"trace_suppressed", 3, [] { return msgTraceInt(4, "n=%d", 5); }, 2, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessagesTest, TextsAbove128CharactersAreCutTo127) {
  // "12," plus 125 characters is 128 characters: sent whole.
  EXPECT_EQ(msgSend(12, std::string(125, 'a').c_str()), 1);
  EXPECT_EQ(msgSend(12, std::string(126, 'a').c_str()), 1);
  EXPECT_EQ(msgSend(12, std::string(5000, 'a').c_str()), 1);
  const auto s = sent();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0], "12," + std::string(125, 'a'));
  EXPECT_EQ(s[1], "12," + std::string(124, 'a'));
  EXPECT_EQ(s[2], s[1]);
}

TEST_F(MessagesTest, NoOutputCycleDropsTheMessage) {
  outSetContext(nullptr);
  EXPECT_EQ(msgSend(1, "x"), 0);
  EXPECT_EQ(msgNumbered(9, 1, "", "x"), 1);  // passed the level, nowhere to go
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(msgSetLogFile("any.log"), 0);
}

TEST_F(MessagesTest, ConcurrentMessagesArriveWhole) {
  constexpr int kThreads = 8, kEach = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) msgNumberedInt(9, 1000 + t, "", i);
    });
  }
  for (auto& th : threads) th.join();
  const auto s = sent();
  ASSERT_EQ(s.size(), static_cast<std::size_t>(kThreads * kEach));
  // Per thread, the values arrive complete and in order.
  std::vector<int> next(kThreads, 0);
  for (const std::string& m : s) {
    const int t = std::stoi(m.substr(0, 4)) - 1000;
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(m, std::to_string(1000 + t) + "," + std::to_string(next[t]++));
  }
}

struct PocketCase {
  const char* name;
  const char* text;
  int result;
  std::string message;
};

class PocketErrorTest : public MessagesTest, public ::testing::WithParamInterface<PocketCase> {};

TEST_P(PocketErrorTest, MapsKeyToMessage) {
  const PocketCase& c = GetParam();
  EXPECT_EQ(pofPocketErrorMessage(c.text), c.result);
  EXPECT_EQ(sent(), std::vector<std::string>{c.message});
}

INSTANTIATE_TEST_SUITE_P(
    Table, PocketErrorTest,
    ::testing::Values(PocketCase{"warning", "1510 island without pocket", 0, "1510,0"},
                      PocketCase{"key_alone", "1514", 0, "1514,0"},
                      PocketCase{"error", "1101: bad geometry", -1, "1101,0"},
                      PocketCase{"key_differs_from_number", "100", 0, "1100,0"},
                      PocketCase{"short_key_not_a_prefix", "1", -1, "1001,0"},
                      PocketCase{"unknown", "4711 oops", 0, "1301,4711 oops"},
                      PocketCase{"no_number", "oops", 0, "1301,oops"},
                      PocketCase{"null", nullptr, 0, "1301"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PocketErrorTable, HoldsFortyTwoRowsInOrder) {
  const PocketErrorRow* rows = pocketErrorTable();
  EXPECT_EQ(rows[0].key, 1);
  EXPECT_EQ(rows[8].number, 1100);
  EXPECT_EQ(rows[kPocketErrorRowCount - 1].key, 1191);
  EXPECT_STREQ(rows[1].text, "* Zu kleines Zustellma\xc3\x9f");  // UTF-8
  int errors = 0;
  for (std::size_t i = 0; i < kPocketErrorRowCount; ++i) errors += rows[i].result == -1;
  EXPECT_EQ(errors, 28);
}

TEST(StatusWord, SignalOutMapsResults) {
  CycleDescriptor ctx{};
  const std::vector<std::pair<int, int>> table = {{-2, 100}, {-1, 1}, {-3, 1},
                                                  {0, 0},    {1, 0},  {5, 0}};
  for (const auto& [result, status] : table) {
    ctx.statusOut = 77;
    EXPECT_EQ(cycSetSignalOut(&ctx, result), status) << result;
    EXPECT_EQ(ctx.statusOut.load(), status) << result;
  }
  EXPECT_EQ(cycSetSignalOut(nullptr, -2), 100);
}

TEST(BreakPolling, HookDecides) {
  EXPECT_EQ(cycCheckBreak(), 0);
  cycSetBreakHook([] { return 2; });
  EXPECT_EQ(cycCheckBreak(), 2);
  cycSetBreakHook(nullptr);
  EXPECT_EQ(cycCheckBreak(), 0);
}

}  // namespace
