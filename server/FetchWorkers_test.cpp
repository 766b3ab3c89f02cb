#include "server/FetchWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// At the bound a job is refused, not queued; a thread whose job ended takes
// the next; the workers' end waits for every job.
TEST(FetchWorkers, BoundedJobsReuseIdleThreadsAndEndWaitsForAll) {
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    std::atomic<int> finished{0};
    auto blocking = [&] {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return release; });
        ++finished;
    };
    {
        CFetchWorkers workers(2);
        ASSERT_TRUE(workers.Run(blocking));
        ASSERT_TRUE(workers.Run(blocking));
        EXPECT_FALSE(workers.Run([&] { ++finished; }));
        {
            const std::lock_guard<std::mutex> guard(lock);
            release = true;
        }
        changed.notify_all();
        for (int i = 0; i < 500 && finished < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(finished.load(), 2);
        bool taken = false;
        for (int i = 0; i < 500 && !taken; ++i) {
            taken = workers.Run([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ++finished;
            });
            if (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(taken);
    }
    EXPECT_EQ(finished.load(), 3);
}

}  // namespace
