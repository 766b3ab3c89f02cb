#include "server/StoreQueue.h"

#include <algorithm>
#include <system_error>

uint32_t StoreWaitMs(uint64_t now, uint64_t lastMissAt, uint64_t oldestAt, uint64_t waitingBytes,
                     size_t waitingStores, bool hurried) {
    if (hurried || waitingBytes >= StoreDue::kMaxWaitingBytes || waitingStores >= StoreDue::kMaxWaitingStores) {
        return 0;
    }
    const uint64_t quiet = now > lastMissAt ? now - lastMissAt : 0;
    const uint64_t waited = now > oldestAt ? now - oldestAt : 0;
    if (quiet >= StoreDue::kQuietMs || waited >= StoreDue::kMaxWaitMs) return 0;
    return static_cast<uint32_t>(std::min(StoreDue::kQuietMs - quiet, StoreDue::kMaxWaitMs - waited));
}

bool StoreMayWait(uint64_t waitingBytes, size_t waitingStores, uint64_t bytes) {
    return waitingBytes + bytes <= StoreDue::kMaxWaitingBytes && waitingStores < StoreDue::kMaxWaitingStores;
}

uint64_t CStoreQueue::NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

CStoreQueue::~CStoreQueue() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_bEnding = m_bHurried = true;
    }
    m_due.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CStoreQueue::NoteMiss() { m_nLastMissAt = NowMs(); }

bool CStoreQueue::Add(Store store, uint64_t bytes) {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_bHurried || !StoreMayWait(m_nWaitingBytes, m_waiting.size(), bytes)) return false;
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([this] { Work(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    // The thread is woken only by the first: it times the rest itself.
    const bool first = m_waiting.empty();
    m_waiting.push_back({std::move(store), bytes, NowMs()});
    m_nWaitingBytes += bytes;
    if (first) m_due.notify_one();
    return true;
}

bool CStoreQueue::Hurry(uint32_t milliseconds) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_bHurried = true;
    m_due.notify_all();
    return m_done.wait_for(guard, std::chrono::milliseconds(milliseconds),
                           [this] { return m_waiting.empty() && !m_bStoring; });
}

void CStoreQueue::Work() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        if (m_waiting.empty()) {
            m_done.notify_all();
            if (m_bEnding) return;
            m_due.wait(guard);
            continue;
        }
        const uint32_t wait = StoreWaitMs(NowMs(), m_nLastMissAt, m_waiting.front().queuedAt, m_nWaitingBytes,
                                          m_waiting.size(), m_bHurried);
        if (wait > 0) {
            m_due.wait_for(guard, std::chrono::milliseconds(wait));
            continue;
        }
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_nWaitingBytes -= next.bytes;
        m_bStoring = true;
        guard.unlock();
        try {
            next.store();
        } catch (...) {
            // The store owns what it needs: nothing it throws leaves this thread.
        }
        next.store = nullptr;  // what it held goes before the next
        guard.lock();
        m_bStoring = false;
    }
}
