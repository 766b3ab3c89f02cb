#include "server/StoreQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(StoreQueue, AStoreIsDueOnceTheMissesPauseOrItWaitedLongOrTooMuchWaits) {
    const uint64_t quiet = StoreDue::kQuietMs;
    // Misses keep coming: the wait is what is left of the quiet time.
    EXPECT_EQ(StoreWaitMs(1000, 1000 - 10, 990, 1, 1, false), quiet - 10);
    EXPECT_EQ(StoreWaitMs(1000, 1000 - quiet, 990, 1, 1, false), 0u);
    // Waited long enough, whatever the misses do; and no wait runs past it.
    const uint64_t due = 5 + StoreDue::kMaxWaitMs;
    EXPECT_EQ(StoreWaitMs(due, due, 5, 1, 1, false), 0u);
    EXPECT_EQ(StoreWaitMs(due - 3, due - 3, 5, 1, 1, false), 3u);
    // Too much waits, or the cache closes: at once.
    EXPECT_EQ(StoreWaitMs(1000, 1000, 1000, StoreDue::kMaxWaitingBytes, 1, false), 0u);
    EXPECT_EQ(StoreWaitMs(1000, 1000, 1000, 1, StoreDue::kMaxWaitingStores, false), 0u);
    EXPECT_EQ(StoreWaitMs(1000, 1000, 1000, 1, 1, true), 0u);
    // One more may wait only within both bounds.
    EXPECT_TRUE(StoreMayWait(StoreDue::kMaxWaitingBytes - 1, StoreDue::kMaxWaitingStores - 1, 1));
    EXPECT_FALSE(StoreMayWait(StoreDue::kMaxWaitingBytes - 1, StoreDue::kMaxWaitingStores - 1, 2));
    EXPECT_FALSE(StoreMayWait(0, StoreDue::kMaxWaitingStores, 1));
    // A clock that reads earlier than a mark does not wrap into a long wait.
    EXPECT_EQ(StoreWaitMs(1000, 1001, 1001, 1, 1, false), quiet);
}

// The queue's thread runs a store once the misses pause; hurrying runs what
// waits and refuses the rest; its end runs what is still waiting. Nothing
// here depends on how the threads are scheduled (when is the rule's, above).
TEST(StoreQueue, StoresRunOnItsThreadAndNoneIsLeftBehind) {
    std::atomic<int> stored{0};
    const auto count = [&] { ++stored; };
    {
        CStoreQueue queue;
        queue.NoteMiss();
        ASSERT_TRUE(queue.Add(count, 1));
        for (int i = 0; i < 1000 && stored == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(stored.load(), 1);

        queue.NoteMiss();
        ASSERT_TRUE(queue.Add(count, 1));
        EXPECT_TRUE(queue.Hurry(5000));
        EXPECT_EQ(stored.load(), 2);
        EXPECT_FALSE(queue.Add(count, 1));
    }
    {
        CStoreQueue queue;
        queue.NoteMiss();
        ASSERT_TRUE(queue.Add(count, 1));
    }
    EXPECT_EQ(stored.load(), 3);
}

}  // namespace
