// Where the stores of small assets wait for a quiet moment. Storing a cache
// file takes a handful of file system calls, and under Wine every one of
// them goes through the one Wine server that every socket call of the
// connections goes through too: stored while the page still asks for more,
// they slow each of its next misses. So a small asset whose body is whole
// in memory is served from there, and its store waits on one thread of its
// own until no miss has begun for a while, or until it has waited long
// enough, or until what waits holds too much memory. No Windows header.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// When the next store is due. Times in milliseconds on one clock.
struct StoreDue {
    // The stores begin once no miss has begun for this long,
    static constexpr uint32_t kQuietMs = 150;
    // or once the oldest has waited this long,
    static constexpr uint32_t kMaxWaitMs = 10000;
    // or at once while the stores waiting hold this much or more,
    static constexpr uint64_t kMaxWaitingBytes = 32ull << 20;
    // or are this many.
    static constexpr size_t kMaxWaitingStores = 1024;
};

// How long the store thread is to wait before the oldest store: 0 for now.
// lastMissAt: when the last miss began; oldestAt: when the oldest store was
// queued; waitingBytes, waitingStores: what the waiting stores hold and how
// many they are; hurried: every store is due at once (the cache closes or
// goes).
uint32_t StoreWaitMs(uint64_t now, uint64_t lastMissAt, uint64_t oldestAt, uint64_t waitingBytes,
                     size_t waitingStores, bool hurried);
// Whether a store of bytes may wait beside waitingStores stores that hold
// waitingBytes: within both bounds with it.
bool StoreMayWait(uint64_t waitingBytes, size_t waitingStores, uint64_t bytes);

class CStoreQueue {
public:
    using Store = std::function<void()>;

    CStoreQueue() = default;
    // Runs every store still waiting, then ends its thread.
    ~CStoreQueue();
    CStoreQueue(const CStoreQueue&) = delete;
    CStoreQueue& operator=(const CStoreQueue&) = delete;

    // A miss began: the stores wait on.
    void NoteMiss();
    // Queues a store of bytes bytes, run on the store thread when due. False,
    // and store is not queued, when the waiting stores would hold more than
    // their bound of bytes with it or are as many as their bound, while the
    // queue is hurried, or when its thread cannot start: the caller stores
    // it itself.
    bool Add(Store store, uint64_t bytes);
    // Every store waiting is due now, and so is every one queued from now
    // on; waits up to milliseconds for them to be done. True when none is
    // left.
    bool Hurry(uint32_t milliseconds);

private:
    struct Waiting {
        Store store;
        uint64_t bytes;
        uint64_t queuedAt;
    };

    static uint64_t NowMs();
    void Work();

    std::atomic<uint64_t> m_nLastMissAt{0};
    std::mutex m_lock;  // guards everything below
    std::condition_variable m_due;
    std::condition_variable m_done;
    std::deque<Waiting> m_waiting;
    uint64_t m_nWaitingBytes = 0;
    bool m_bStoring = false;  // the thread runs a store it took
    bool m_bHurried = false;
    bool m_bEnding = false;
    std::thread m_thread;
};
