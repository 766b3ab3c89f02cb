// The workers of the server: the threads that serve connections, the
// handover of an accepted connection to one of them, room made at the
// connection bound, and the reaper that closes the threads that ended.
#include "server/GenericServer.h"

#include <process.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "server/GenericServerParts.h"

void CGenericServer::AcceptConnection(CSocket socket, const char* address, uint16_t port) {
    OnAccept(address, port);
    CWsaEvent event(::WSACreateEvent());
    if (!event || ::WSAEventSelect(socket.get(), event.get(), FD_READ | FD_WRITE | FD_CLOSE) != 0) return;
    auto start = std::make_unique<WorkerStart>();
    start->server = this;

    HANDLE wake = nullptr;
    HANDLE thread = nullptr;
    {
        CCriticalSectionLock lock(m_csWorkers);
        MakeRoomLocked();
        const auto idle = std::find_if(m_workers.begin(), m_workers.end(), [](const Worker& w) { return w.idle; });
        Worker* worker = idle != m_workers.end() ? &*idle : nullptr;
        if (!worker) {
            if (m_workers.size() >= kMaxConnectionThreads) return;
            CHandle signal(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
            if (!signal) return;
            worker = &m_workers.emplace_back();
            worker->signal = std::move(signal);
            start->worker = std::prev(m_workers.end());
            // Suspended, so that its record is complete before it runs.
            thread = reinterpret_cast<HANDLE>(
                ::_beginthreadex(nullptr, 0, WorkerThread, start.get(), CREATE_SUSPENDED, nullptr));
            if (!thread) {
                m_workers.pop_back();
                return;
            }
            worker->thread.reset(thread);
        } else {
            --m_nIdleWorkers;
        }
        worker->idle = false;
        worker->serving = true;
        worker->nextEvent = std::move(event);
        worker->nextSocket = std::move(socket);
        worker->lastCompletedTick = ::GetTickCount();
        worker->handling = false;
        worker->closeRequested = false;
        wake = worker->signal.get();
    }
    if (!thread) {
        ::SetEvent(wake);
        return;
    }
    if (::ResumeThread(thread) != static_cast<DWORD>(-1)) {
        start.release();  // the thread owns it now
        return;
    }
    // A thread that never ran holds nothing: ending it is safe.
    ::TerminateThread(thread, kThreadExitCode);
    ::WaitForSingleObject(thread, INFINITE);
    CCriticalSectionLock lock(m_csWorkers);
    m_workers.erase(start->worker);
}

// At the limit, the open connection that has gone longest without completing
// a request is told to close; one inside a request only when every other is.
// It is told through its signal, which it always looks at after a wake-up.
void CGenericServer::MakeRoomLocked() {
    const DWORD now = ::GetTickCount();
    size_t open = 0;
    Worker* victim = nullptr;
    DWORD victimAge = 0;
    bool victimHandling = false;
    for (Worker& worker : m_workers) {
        if (!worker.serving || worker.closeRequested) continue;
        ++open;
        const DWORD age = now - worker.lastCompletedTick;
        const bool handling = worker.handling;
        const bool better = !victim || (victimHandling && !handling) || (victimHandling == handling && age > victimAge);
        if (better) {
            victim = &worker;
            victimAge = age;
            victimHandling = handling;
        }
    }
    if (open < kMaxConnections || !victim) return;
    victim->closeRequested = true;
    ::SetEvent(victim->signal.get());
}

unsigned __stdcall CGenericServer::WorkerThread(void* param) {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(param));
    CGenericServer& server = *start->server;
    try {
        server.RunWorker(*start->worker);
    } catch (...) {
        // Out of memory inside a request: the worker ends, the server goes on.
    }
    server.EndWorker(start->worker);
    return kThreadExitCode;
}

// Serves the connection it was started for, and each one it is handed after.
void CGenericServer::RunWorker(Worker& worker) {
    for (;;) {
        CSocket socket;
        CWsaEvent event;
        {
            CCriticalSectionLock lock(m_csWorkers);
            socket = std::move(worker.nextSocket);
            event = std::move(worker.nextEvent);
        }
        // The record says the connection is over even when serving it throws.
        struct Forget {
            CGenericServer& server;
            Worker& worker;
            ~Forget() {
                CCriticalSectionLock lock(server.m_csWorkers);
                worker.serving = false;
            }
        };
        {
            const Forget forget{*this, worker};
            if (socket) Connection(*this, socket.get(), event.get(), worker).Run();
        }
        event.reset();
        socket.reset();
        if (!WaitForNextConnection(worker)) return;
    }
}

// Waits up to kIdleWorkerMs to be handed a connection; false when the worker
// ends instead. No more than kMaxIdleWorkers wait at once.
bool CGenericServer::WaitForNextConnection(Worker& worker) {
    {
        CCriticalSectionLock lock(m_csWorkers);
        if (m_nIdleWorkers >= kMaxIdleWorkers) return false;
        worker.idle = true;
        ++m_nIdleWorkers;
    }
    const HANDLE events[2] = {m_hStopEvent.get(), worker.signal.get()};
    const ULONGLONG end = ::GetTickCount64() + kIdleWorkerMs;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD waited = now >= end ? WAIT_TIMEOUT
                                        : ::WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(end - now));
        CCriticalSectionLock lock(m_csWorkers);
        if (worker.nextSocket) return true;  // handed over: the listener counted it out of the idle ones
        if (waited == WAIT_OBJECT_0 + 1) continue;
        worker.idle = false;
        --m_nIdleWorkers;
        return false;
    }
}

void CGenericServer::EndWorker(std::list<Worker>::iterator worker) {
    {
        CCriticalSectionLock lock(m_csWorkers);
        m_finished.splice(m_finished.end(), m_workers, worker);
    }
    ::SetEvent(m_hReapEvent.get());
}

// Closes the handles of connection threads that have ended. A thread that
// has queued itself may still be on its way out: it is looked at again a
// little later, never waited for under the lock, and never terminated.
void CGenericServer::RunReaper() {
    const HANDLE events[2] = {m_hStopEvent.get(), m_hReapEvent.get()};
    std::list<Worker> ending;
    for (;;) {
        const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, ending.empty() ? INFINITE : kReapRetryMs);
        if (waited == WAIT_OBJECT_0) break;
        if (waited == WAIT_FAILED) ::Sleep(kReapRetryMs);
        {
            CCriticalSectionLock lock(m_csWorkers);
            ending.splice(ending.end(), m_finished);
        }
        for (auto entry = ending.begin(); entry != ending.end();) {
            if (::WaitForSingleObject(entry->thread.get(), 0) == WAIT_OBJECT_0) {
                entry = ending.erase(entry);
            } else {
                ++entry;
            }
        }
    }
    CCriticalSectionLock lock(m_csWorkers);
    m_finished.splice(m_finished.end(), ending);
}
