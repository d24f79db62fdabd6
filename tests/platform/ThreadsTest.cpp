// Processor count and the odd-processor affinity mask of the destruction
// thread.
#include <gtest/gtest.h>

#include <atomic>
#include <sched.h>
#include <thread>

#include "platform/Threads.h"

namespace {

TEST(Processors, OddProcessorMask) {
  EXPECT_EQ(plat::OddProcessorMask(8), 0xAAu);
  EXPECT_EQ(plat::OddProcessorMask(3), 0x2u);
  EXPECT_EQ(plat::OddProcessorMask(2), 0x2u);
  // One processor (or none reported): processor 0 rather than an empty mask.
  EXPECT_EQ(plat::OddProcessorMask(1), 0x1u);
  EXPECT_EQ(plat::OddProcessorMask(0), 0x1u);
  EXPECT_EQ(plat::OddProcessorMask(-4), 0x1u);
  // More processors than mask bits: every odd bit of 64.
  EXPECT_EQ(plat::OddProcessorMask(200), 0xAAAAAAAAAAAAAAAAull);
}

TEST(Processors, AffinityRestrictsTheThread) {
  EXPECT_GE(plat::ProcessorCount(), 1);
  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof(allowed), &allowed), 0);
  int cpu = -1;
  for (int i = 0; i < 64 && cpu < 0; ++i)
    if (CPU_ISSET(i, &allowed)) cpu = i;
  ASSERT_GE(cpu, 0);

  std::atomic<bool> go{false};
  cpu_set_t seen;
  CPU_ZERO(&seen);
  std::thread worker([&] {
    while (!go.load()) std::this_thread::yield();
    sched_getaffinity(0, sizeof(seen), &seen);
  });
  EXPECT_TRUE(plat::SetThreadAffinity(worker, std::uint64_t{1} << cpu));
  go = true;
  worker.join();
  EXPECT_EQ(CPU_COUNT(&seen), 1);
  EXPECT_TRUE(CPU_ISSET(cpu, &seen));
}

TEST(Processors, ThreadIdsDifferBetweenThreads) {
  const auto mine = plat::CurrentThreadId();
  std::uint64_t other = mine;
  std::thread([&] { other = plat::CurrentThreadId(); }).join();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(other, mine);
}

}  // namespace
