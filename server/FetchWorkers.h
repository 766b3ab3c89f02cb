// The threads that fetch missing assets from the CDN. A fetch runs apart from
// the connections that asked for it: at the CDN's pace, whatever their
// browsers do, and on after they have gone. No Windows header.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

class CFetchWorkers {
public:
    // An idle thread waits this long for the next job before it ends; no
    // more than kMaxIdle wait at once.
    static constexpr unsigned kIdleMs = 5000;
    static constexpr size_t kMaxIdle = 16;

    // At most maxRunning jobs run at once.
    explicit CFetchWorkers(size_t maxRunning);
    // Waits for every job given to end.
    ~CFetchWorkers();
    CFetchWorkers(const CFetchWorkers&) = delete;
    CFetchWorkers& operator=(const CFetchWorkers&) = delete;

    // Runs job on an idle thread or a new one. False, and job is not run,
    // while maxRunning jobs run already or when no thread can be started.
    // Nothing a job throws leaves its thread.
    bool Run(std::function<void()> job);

private:
    void Work(std::list<std::thread>::iterator self);
    void JoinFinishedLocked(std::unique_lock<std::mutex>& guard);

    const size_t m_nMaxRunning;
    std::mutex m_lock;  // guards everything below
    std::condition_variable m_jobReady;
    std::condition_variable m_threadEnded;
    std::deque<std::function<void()>> m_jobs;
    std::list<std::thread> m_threads;
    std::list<std::list<std::thread>::iterator> m_finished;  // threads past their last job, to be joined
    size_t m_nRunning = 0;  // jobs taken or queued for a thread
    size_t m_nIdle = 0;
    bool m_bStopping = false;
};
