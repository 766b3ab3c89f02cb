#include "server/FetchWorkers.h"

#include <chrono>
#include <system_error>

CFetchWorkers::CFetchWorkers(size_t maxRunning) : m_nMaxRunning(maxRunning) {}

CFetchWorkers::~CFetchWorkers() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_bStopping = true;
    m_jobReady.notify_all();
    m_threadEnded.wait(guard, [&] { return m_finished.size() == m_threads.size(); });
    JoinFinishedLocked(guard);
}

bool CFetchWorkers::Run(std::function<void()> job) {
    std::unique_lock<std::mutex> guard(m_lock);
    JoinFinishedLocked(guard);
    if (m_bStopping || m_nRunning >= m_nMaxRunning) return false;
    m_jobs.push_back(std::move(job));
    ++m_nRunning;
    // An idle thread for each job waiting, this one included: one of them takes it.
    if (m_nIdle >= m_jobs.size()) {
        m_jobReady.notify_one();
        return true;
    }
    try {
        const auto self = m_threads.emplace(m_threads.end());
        try {
            *self = std::thread([this, self] { Work(self); });
        } catch (...) {
            m_threads.erase(self);
            throw;
        }
    } catch (...) {
        // No thread: the job is taken back.
        m_jobs.pop_back();
        --m_nRunning;
        return false;
    }
    return true;
}

// Takes jobs until none comes for kIdleMs, too many threads are idle, or the
// workers stop.
void CFetchWorkers::Work(std::list<std::thread>::iterator self) {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        while (!m_jobs.empty()) {
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            guard.unlock();
            try {
                job();
            } catch (...) {
                // Out of memory inside a fetch: the fetch ends, the thread goes on.
            }
            job = nullptr;  // what the job held goes before the next one
            guard.lock();
            --m_nRunning;
        }
        if (m_bStopping || m_nIdle >= kMaxIdle) break;
        ++m_nIdle;
        const bool woken = m_jobReady.wait_for(guard, std::chrono::milliseconds(kIdleMs),
                                               [&] { return !m_jobs.empty() || m_bStopping; });
        --m_nIdle;
        if (!woken) break;
    }
    m_finished.push_back(self);
    m_threadEnded.notify_all();
}

void CFetchWorkers::JoinFinishedLocked(std::unique_lock<std::mutex>& guard) {
    std::list<std::thread> ended;
    for (const auto finished : m_finished) ended.splice(ended.end(), m_threads, finished);
    m_finished.clear();
    guard.unlock();
    // Each has left Work or is about to: joining takes no time.
    for (std::thread& thread : ended) thread.join();
    guard.lock();
}
