#include "output/output_channels.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "output/output_emitters.h"
#include "output/output_record.h"

namespace {

// Calls seen by the writers, listeners and the event hook of one test, as
// short tags in order.
std::vector<std::string> gCalls;

int pofWriterA(CycleDescriptor*, OutputRecord*) {
  gCalls.push_back("pofA");
  return 11;
}
int pofWriterB(CycleDescriptor*, OutputRecord*) {
  gCalls.push_back("pofB");
  return 12;
}
int kfyWriter(CycleDescriptor*, OutputRecord*) {
  gCalls.push_back("kfy");
  return 13;
}
int pofListener(CycleDescriptor*, OutputRecord*, intptr_t user) {
  gCalls.push_back(std::string("L") + std::to_string(user));
  return 1;
}
int kfyListener(CycleDescriptor*, OutputRecord*, intptr_t user) {
  gCalls.push_back(std::string("K") + std::to_string(user));
  return 1;
}
void recordEvent(CycleDescriptor*, int code, intptr_t) { gCalls.push_back(std::to_string(code)); }

class OutputChannelsTest : public ::testing::Test {
 protected:
  void SetUp() override { gCalls.clear(); }
  void TearDown() override { outFreeChannels(&ctx_); }

  int send(uint16_t channel) {
    OutputRecord rec;
    outRecClear(&rec, kRecComment);
    return outSendRecord(&ctx_, channel, &rec);
  }

  std::vector<uint16_t> registered() const {
    std::vector<uint16_t> out;
    for (const OutputChannel* c = ctx_.channels; c != nullptr; c = c->next)
      out.push_back(c->channel);
    return out;
  }

  CycleDescriptor ctx_{};
};

TEST_F(OutputChannelsTest, FirstRecordRaisesEventOnceEvenWithoutChannels) {
  ctx_.eventHook = &recordEvent;
  ctx_.firstRecord = 1;
  EXPECT_EQ(send(31), 0);
  EXPECT_EQ(send(31), 0);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"312"}));
  EXPECT_EQ(ctx_.firstRecord, 0);
}

TEST_F(OutputChannelsTest, ListenerAddedAtFirstRecordReceivesThatRecord) {
  // The host bridge adds its listeners from the 312 event; the record that
  // raised it must reach them.
  outRegisterChannel(&ctx_, 2, &pofWriterA, nullptr, 1);
  ctx_.firstRecord = 1;
  ctx_.eventHook = [](CycleDescriptor* ctx, int code, intptr_t) {
    if (code == kEventFirstRecord) outAddListener(ctx, 2, &pofListener, 5, nullptr, 0);
  };
  EXPECT_EQ(send(2), 11);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofA", "L5"}));
}

TEST_F(OutputChannelsTest, RegistryStaysInChannelOrderAndRaisesEvents) {
  ctx_.eventHook = &recordEvent;
  EXPECT_EQ(outRegisterChannel(&ctx_, 31, &pofWriterA, nullptr, 1), 1);
  EXPECT_EQ(outRegisterChannel(&ctx_, 0, &pofWriterA, nullptr, 1), 1);
  EXPECT_EQ(outRegisterChannel(&ctx_, 12, &pofWriterA, nullptr, 1), 1);
  EXPECT_EQ(outRegisterChannel(&ctx_, 42, &pofWriterA, nullptr, 1), 1);
  EXPECT_EQ(registered(), (std::vector<uint16_t>{0, 12, 31, 42}));
  EXPECT_EQ(gCalls.size(), 8u);
  EXPECT_EQ(gCalls[0], "131");
  EXPECT_EQ(gCalls[1], "139");
  outFreeChannels(&ctx_);
  EXPECT_EQ(ctx_.channels, nullptr);
  EXPECT_EQ(send(0), 0);
}

TEST_F(OutputChannelsTest, ReRegisteringKeepsListenersAndUsesNewWriters) {
  outRegisterChannel(&ctx_, 31, &pofWriterA, nullptr, 1);
  EXPECT_EQ(outAddListener(&ctx_, 31, &pofListener, 1, nullptr, 0), 1);
  EXPECT_EQ(outAddListener(&ctx_, 31, &pofListener, 2, nullptr, 0), 1);
  outRegisterChannel(&ctx_, 31, &pofWriterB, nullptr, 1);
  EXPECT_EQ(registered(), (std::vector<uint16_t>{31}));
  EXPECT_EQ(send(31), 12);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofB", "L1", "L2"}));
}

TEST_F(OutputChannelsTest, DisabledChannelCallsNothing) {
  outRegisterChannel(&ctx_, 1, &pofWriterA, &kfyWriter, 0);
  outRegisterChannel(&ctx_, 2, &pofWriterA, &kfyWriter, 2);  // only 1 means on
  outAddListener(&ctx_, 1, &pofListener, 1, &kfyListener, 1);
  outAddListener(&ctx_, 2, &pofListener, 2, &kfyListener, 2);
  EXPECT_EQ(send(1), 0);
  EXPECT_EQ(send(2), 0);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(OutputChannelsTest, ListenedOnlyWhereARecordWouldReachSomebodyInTheMode) {
  outRegisterChannel(&ctx_, 1, &pofWriterA, &kfyWriter, 0);  // off
  outRegisterChannel(&ctx_, 2, &pofWriterA, nullptr, 1);     // a POF writer only
  outRegisterChannel(&ctx_, 3, nullptr, nullptr, 1);
  outAddListener(&ctx_, 3, nullptr, 0, &kfyListener, 1);  // a kFY listener only
  outRegisterChannel(&ctx_, 4, nullptr, nullptr, 1);      // nobody
  struct Row {
    uint16_t channel;
    int pof;
    int kfy;
  };
  for (const Row& r : {Row{1, 0, 0}, Row{2, 1, 0}, Row{3, 0, 1}, Row{4, 0, 0}, Row{9, 0, 0}}) {
    ctx_.outputMode = 0;
    EXPECT_EQ(outChannelListened(&ctx_, r.channel), r.pof) << r.channel;
    ctx_.outputMode = kOutputKfy;
    EXPECT_EQ(outChannelListened(&ctx_, r.channel), r.kfy) << r.channel;
  }
  EXPECT_EQ(outChannelListened(nullptr, 2), 0);
  // The answer follows every change of the registry.
  ctx_.outputMode = 0;
  EXPECT_EQ(outChannelListened(&ctx_, 4), 0);
  outAddListener(&ctx_, 4, &pofListener, 1, nullptr, 0);
  EXPECT_EQ(outChannelListened(&ctx_, 4), 1);
  outRegisterChannel(&ctx_, 4, nullptr, nullptr, 0);
  EXPECT_EQ(outChannelListened(&ctx_, 4), 0);
  outRegisterChannel(&ctx_, 9, &pofWriterA, nullptr, 1);
  EXPECT_EQ(outChannelListened(&ctx_, 9), 1);
  outFreeChannels(&ctx_);
  EXPECT_EQ(outChannelListened(&ctx_, 9), 0);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(OutputChannelsTest, EachContextAndRegistryReachesItsOwnWriters) {
  CycleDescriptor other{};
  outRegisterChannel(&ctx_, 31, &pofWriterA, nullptr, 1);
  outRegisterChannel(&other, 31, &pofWriterB, nullptr, 1);
  OutputRecord rec;
  outRecClear(&rec, kRecComment);
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(outSendRecord(&ctx_, 31, &rec), 11);
    EXPECT_EQ(outSendRecord(&other, 31, &rec), 12);
  }
  // A context whose registry was taken away reaches nobody, and one that
  // registers again reaches its new writer.
  outFreeChannels(&other);
  EXPECT_EQ(outSendRecord(&other, 31, &rec), 0);
  other.channels = nullptr;
  outRegisterChannel(&other, 31, &pofWriterA, nullptr, 1);
  EXPECT_EQ(outSendRecord(&other, 31, &rec), 11);
  outFreeChannels(&other);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofA", "pofB", "pofA", "pofB", "pofA"}));
}

// A move's records alternate between channels; channels whose numbers
// share a lookup slot, and a channel registered anew between records, each
// reach their own writer.
TEST_F(OutputChannelsTest, AlternatingChannelsReachTheirOwnWriters) {
  outRegisterChannel(&ctx_, 1, &pofWriterA, nullptr, 1);
  outRegisterChannel(&ctx_, 17, &pofWriterB, nullptr, 1);
  outRegisterChannel(&ctx_, 33, &kfyWriter, nullptr, 1);
  EXPECT_EQ(send(1), 11);
  EXPECT_EQ(send(17), 12);
  EXPECT_EQ(send(1), 11);
  EXPECT_EQ(send(33), 13);
  EXPECT_EQ(send(49), 0);  // not registered
  outRegisterChannel(&ctx_, 1, &pofWriterB, nullptr, 1);
  EXPECT_EQ(send(17), 12);
  EXPECT_EQ(send(1), 12);
  outRegisterChannel(&ctx_, 49, &pofWriterA, nullptr, 1);
  EXPECT_EQ(send(49), 11);
}

// The thread that holds the dispatcher takes it again at once; any other
// thread waits until the outermost hold ends.
TEST(DispatchMutex, TakenAgainByItsHolderAndAwaitedByOthers) {
  DispatchMutex mutex;
  std::atomic<bool> entered{false};
  mutex.lock();
  mutex.lock();
  std::thread other([&] {
    std::lock_guard<DispatchMutex> hold(mutex);
    entered = true;
  });
  usleep(20000);
  EXPECT_FALSE(entered.load());
  mutex.unlock();
  usleep(20000);
  EXPECT_FALSE(entered.load());
  mutex.unlock();
  other.join();
  EXPECT_TRUE(entered.load());
  // Released by the other thread, it is free for this one again.
  std::lock_guard<DispatchMutex> again(mutex);
}

TEST_F(OutputChannelsTest, KfyModeNeverCallsPofFunctions) {
  outRegisterChannel(&ctx_, 0, &pofWriterA, &kfyWriter, 1);
  outAddListener(&ctx_, 0, &pofListener, 1, &kfyListener, 2);
  outAddListener(&ctx_, 0, &pofListener, 3, nullptr, 0);
  ctx_.outputMode = kOutputKfy;
  EXPECT_EQ(send(0), 13);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"kfy", "K2"}));
  gCalls.clear();
  ctx_.outputMode = kOutputPof;
  EXPECT_EQ(send(0), 11);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofA", "L1", "L3"}));
}

TEST_F(OutputChannelsTest, MissingWriterStillReachesListeners) {
  outRegisterChannel(&ctx_, 41, nullptr, nullptr, 1);
  outAddListener(&ctx_, 41, &pofListener, 9, nullptr, 0);
  EXPECT_EQ(send(41), 0);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"L9"}));
}

TEST_F(OutputChannelsTest, AddListenerNeedsAChannelAndAFunction) {
  EXPECT_EQ(outAddListener(&ctx_, 3, &pofListener, 1, nullptr, 0), 0);
  outRegisterChannel(&ctx_, 3, nullptr, nullptr, 1);
  EXPECT_EQ(outAddListener(&ctx_, 3, nullptr, 1, nullptr, 0), 0);
  EXPECT_EQ(outAddListener(&ctx_, 3, nullptr, 0, &kfyListener, 1), 1);
  EXPECT_EQ(outRegisterChannel(nullptr, 3, nullptr, nullptr, 1), 0);
  EXPECT_EQ(outSendRecord(nullptr, 3, nullptr), 0);
}

TEST_F(OutputChannelsTest, ListenerThatFreesTheRegistryEndsTheDispatchSafely) {
  // A host callback may start a nested run on the same context; its close
  // frees the registry while the outer dispatch is still walking it.
  static CycleDescriptor* freeing = nullptr;
  freeing = &ctx_;
  outRegisterChannel(&ctx_, 0, &pofWriterA, nullptr, 1);
  outRegisterChannel(&ctx_, 2, &pofWriterA, nullptr, 1);
  outAddListener(&ctx_, 0, &pofListener, 1, nullptr, 0);
  outAddListener(
      &ctx_, 0,
      [](CycleDescriptor*, OutputRecord*, intptr_t) {
        gCalls.push_back("free");
        outFreeChannels(freeing);
        outRegisterChannel(freeing, 0, &pofWriterB, nullptr, 1);
        return 1;
      },
      0, nullptr, 0);
  outAddListener(&ctx_, 0, &pofListener, 3, nullptr, 0);
  EXPECT_EQ(send(0), 11);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofA", "L1", "free"}));
  EXPECT_EQ(registered(), (std::vector<uint16_t>{0}));
  gCalls.clear();
  EXPECT_EQ(send(0), 12);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofB"}));
}

TEST_F(OutputChannelsTest, FreeingAnotherContextDoesNotCutTheDispatch) {
  static CycleDescriptor other{};
  outRegisterChannel(&other, 5, nullptr, nullptr, 1);
  outRegisterChannel(&ctx_, 0, &pofWriterA, nullptr, 1);
  outAddListener(
      &ctx_, 0,
      [](CycleDescriptor*, OutputRecord*, intptr_t) {
        outFreeChannels(&other);
        return 1;
      },
      0, nullptr, 0);
  outAddListener(&ctx_, 0, &pofListener, 2, nullptr, 0);
  EXPECT_EQ(send(0), 11);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"pofA", "L2"}));
  EXPECT_EQ(other.channels, nullptr);
}

TEST_F(OutputChannelsTest, WorkerThreadRecordsNeverOverlapInListeners) {
  static std::atomic<int> inside{0};
  static std::atomic<int> overlaps{0};
  static std::atomic<int> received{0};
  inside = overlaps = received = 0;
  const OutListenerFn checker = [](CycleDescriptor*, OutputRecord*, intptr_t) {
    if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
    received.fetch_add(1);
    std::this_thread::yield();
    inside.fetch_sub(1);
    return 1;
  };
  outRegisterChannel(&ctx_, kChanDisplayPolylines, nullptr, nullptr, 1);
  outRegisterChannel(&ctx_, kChanDisplayPoints, nullptr, nullptr, 1);
  outAddListener(&ctx_, kChanDisplayPolylines, checker, 0, nullptr, 0);
  outAddListener(&ctx_, kChanDisplayPoints, checker, 0, nullptr, 0);
  constexpr int kThreads = 8, kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i) {
        if ((i + t) % 2 == 0) {
          outDisplayPoint(&ctx_, t, i, 0);
        } else {
          outDisplayLineTo(&ctx_, t, i, 0);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(received.load(), kThreads * kEach);
  EXPECT_EQ(overlaps.load(), 0);
}

TEST(PofStream, OnlyRegularFilesBecomeTheStream) {
  EXPECT_EQ(pofGetStream(), stdout);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(pofSetStream(file), 1);
  EXPECT_EQ(pofGetStream(), file);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* pipeEnd = fdopen(fds[1], "w");
  EXPECT_EQ(pofSetStream(pipeEnd), 0);
  EXPECT_EQ(pofGetStream(), stdout);
  std::fclose(pipeEnd);
  close(fds[0]);

  EXPECT_EQ(pofSetStream(file), 1);
  EXPECT_EQ(pofSetStream(nullptr), 0);
  EXPECT_EQ(pofGetStream(), stdout);
  std::fclose(file);
}

}  // namespace
