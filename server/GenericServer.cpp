#include "server/GenericServer.h"

#include <process.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

#include "common/OutBuf.h"

// One connection thread. It serves a connection, then waits a while to be
// handed the next one: starting and ending a thread for every connection
// costs more than serving it, above all under Wine. The worker owns the
// socket and event of its connection; the record only names the event, to
// wake the worker when it must close, and forgets it before either closes.
struct CGenericServer::Worker {
    CHandle thread;
    CHandle wake;                    // auto reset: a connection was handed over
    // Guarded by m_csWorkers:
    CSocket nextSocket;              // handed over by the listener, taken by the worker
    CWsaEvent nextEvent;
    WSAEVENT event = WSA_INVALID_EVENT;  // the event of the connection being served
    bool idle = false;               // between connections, ready to be handed one
    // Read without the lock by the listener, written by the worker:
    std::atomic<DWORD> lastCompletedTick{0};  // handed over, or its last reply went out
    std::atomic<bool> handling{false};        // inside HandleRequest
    std::atomic<bool> closeRequested{false};
};

// Handed to a new worker thread, which owns it.
struct CGenericServer::WorkerStart {
    CGenericServer* server = nullptr;
    std::list<Worker>::iterator worker;
};

// The state of one connection, on its thread's stack.
struct CGenericServer::Connection {
    Connection(CGenericServer& owner, SOCKET connected, WSAEVENT networkEvent, Worker& record)
        : server(owner),
          socket(connected),
          event(networkEvent),
          worker(record),
          framer([&owner](std::string_view text) { return owner.IsRequestComplete(text); },
                 [&owner](std::string_view text) { return owner.FrameBody(text); }) {}
    ~Connection() { server.ForgetKeptReplyBlock(*this); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    CGenericServer& server;
    SOCKET socket;
    WSAEVENT event;
    Worker& worker;
    CRequestFramer framer;
    COutBuf out;              // the reply being sent, or a block kept for the next one
    SharedBytes tail;         // sent behind out, when the reply has such bytes
    int32_t keptBytes = 0;    // out's block as counted in m_nKeptReplyBytes
    int32_t keepAlive = 0;
    bool sendPending = false;
    int32_t sent = 0;
    bool readPaused = false;  // FD_READ came while the framer wanted no more bytes
    bool peerClosed = false;
};

CGenericServer::CGenericServer() = default;

CGenericServer::~CGenericServer() {
    Stop();
}

BodyFraming CGenericServer::FrameBody(std::string_view) { return {}; }

bool CGenericServer::Start(uint16_t port) {
    if (m_bStarted) return false;
    CWinsockReference winsock;
    if (!winsock.Acquire()) return false;
    CWsaEvent stop(::WSACreateEvent());
    CHandle reap(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    CHandle started(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stop || !reap || !started) return false;

    m_nPort = port;
    m_winsock = std::move(winsock);
    m_hStopEvent = std::move(stop);
    m_hReapEvent = std::move(reap);
    m_hStartedEvent = std::move(started);
    m_bStarted = true;  // from here on, Stop undoes whatever was done
    m_hReaperThread.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, ServiceThread<&CGenericServer::RunReaper>, this, 0, nullptr)));
    if (m_hReaperThread) {
        m_hListenThread.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, ServiceThread<&CGenericServer::RunListener>, this, 0, nullptr)));
    }
    if (!m_hListenThread || !WaitUntilFirstAttempt()) {
        Stop();
        return false;
    }
    return m_bListening;
}

// A listener that ends before it signals has given up: there is no point in
// waiting out the rest of the time.
bool CGenericServer::WaitUntilFirstAttempt() {
    const HANDLE waitFor[2] = {m_hStartedEvent.get(), m_hListenThread.get()};
    return ::WaitForMultipleObjects(2, waitFor, FALSE, kStartTimeoutMs) == WAIT_OBJECT_0;
}

void CGenericServer::BeginStop() {
    if (m_hStopEvent) ::WSASetEvent(m_hStopEvent.get());
}

bool CGenericServer::WaitUntilStopped(DWORD milliseconds) {
    const ULONGLONG start = ::GetTickCount64();
    auto left = [&]() -> DWORD {
        if (milliseconds == INFINITE) return INFINITE;
        const ULONGLONG spent = ::GetTickCount64() - start;
        return spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
    };
    if (m_hListenThread && ::WaitForSingleObject(m_hListenThread.get(), left()) != WAIT_OBJECT_0) return false;
    for (;;) {
        {
            CCriticalSectionLock lock(m_csWorkers);
            if (m_workers.empty()) return true;
        }
        if (left() == 0) return false;
        ::Sleep(10);
    }
}

void CGenericServer::Stop() {
    if (!m_bStarted) return;
    BeginStop();
    WaitUntilStopped(INFINITE);
    if (m_hReaperThread) ::WaitForSingleObject(m_hReaperThread.get(), INFINITE);
    m_hListenThread.reset();
    m_hReaperThread.reset();
    // What the reaper had not closed yet: these threads are past their
    // connection and end by themselves.
    for (Worker& worker : m_finished) ::WaitForSingleObject(worker.thread.get(), INFINITE);
    m_finished.clear();
    m_hStopEvent.reset();
    m_hReapEvent.reset();
    m_hStartedEvent.reset();
    m_winsock.Reset();
    m_bListening = false;
    m_bStarted = false;
}

// The listener's and the reaper's thread procedure. Nothing leaves it; the
// owners have closed what was open.
template <void (CGenericServer::*Run)()>
unsigned __stdcall CGenericServer::ServiceThread(void* server) {
    try {
        (static_cast<CGenericServer*>(server)->*Run)();
    } catch (...) {
    }
    return kThreadExitCode;
}

// Listens, and listens again after a pause whenever that fails or the wait
// for connections breaks, until the server stops.
void CGenericServer::RunListener() {
    bool attempted = false;
    for (;;) {
        bool stopped = false;
        {
            CSocket listener;
            CWsaEvent acceptEvent;
            m_bListening = OpenListener(&listener, &acceptEvent);
            if (!std::exchange(attempted, true)) ::SetEvent(m_hStartedEvent.get());
            if (m_bListening) stopped = ServeAccepts(listener.get(), acceptEvent.get());
            m_bListening = false;
        }
        if (stopped || ::WaitForSingleObject(m_hStopEvent.get(), kRelistenPauseMs) != WAIT_TIMEOUT) return;
    }
}

bool CGenericServer::OpenListener(CSocket* listener, CWsaEvent* acceptEvent) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_nPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    listener->reset(::WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED));
    if (!*listener) return false;
    if (::bind(listener->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener->get(), SOMAXCONN) != 0) {
        return false;
    }
    acceptEvent->reset(::WSACreateEvent());
    return *acceptEvent && ::WSAEventSelect(listener->get(), acceptEvent->get(), FD_ACCEPT) == 0;
}

// Accepts until the server stops (true) or waiting breaks (false).
bool CGenericServer::ServeAccepts(SOCKET listener, WSAEVENT acceptEvent) {
    for (;;) {
        const WSAEVENT events[2] = {m_hStopEvent.get(), acceptEvent};
        const DWORD waited = ::WSAWaitForMultipleEvents(2, events, FALSE, kAcceptPollMs, FALSE);
        if (waited == WSA_WAIT_EVENT_0) return true;
        if (waited == WSA_WAIT_TIMEOUT) {
            // Under Wine, now and then, connections that arrive while others
            // are being accepted are never reported with FD_ACCEPT: they
            // would wait for the next one that is. Looking now and then
            // bounds that wait.
            AcceptWaiting(listener);
            continue;
        }
        if (waited != WSA_WAIT_EVENT_0 + 1) return false;
        WSANETWORKEVENTS network{};
        if (::WSAEnumNetworkEvents(listener, acceptEvent, &network) != 0) return false;
        if (network.lNetworkEvents & FD_ACCEPT) AcceptWaiting(listener);
    }
}

// What is waiting is taken in one go, a few at a time so that a stop is
// seen: one wait per connection would slow accepting down when many arrive.
void CGenericServer::AcceptWaiting(SOCKET listener) {
    for (int accepted = 0; accepted < kAcceptsPerWake; ++accepted) {
        try {
            if (!AcceptOne(listener)) return;
        } catch (...) {
            // Out of memory for this connection: it is closed, the listener goes on.
        }
    }
}

bool CGenericServer::AcceptOne(SOCKET listener) {
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    CSocket socket(::WSAAccept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength, nullptr, 0));
    if (!socket) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&peer.sin_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    AcceptConnection(std::move(socket), text, peer.sin_port);
    return true;
}

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
            CHandle newWake(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
            if (!newWake) return;
            worker = &m_workers.emplace_back();
            worker->wake = std::move(newWake);
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
        worker->event = event.get();
        worker->nextEvent = std::move(event);
        worker->nextSocket = std::move(socket);
        worker->lastCompletedTick = ::GetTickCount();
        worker->handling = false;
        worker->closeRequested = false;
        wake = worker->wake.get();
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
void CGenericServer::MakeRoomLocked() {
    const DWORD now = ::GetTickCount();
    size_t open = 0;
    Worker* victim = nullptr;
    DWORD victimAge = 0;
    bool victimHandling = false;
    for (Worker& worker : m_workers) {
        if (worker.event == WSA_INVALID_EVENT || worker.closeRequested) continue;
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
    ::WSASetEvent(victim->event);
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
        // Ends the connection even when serving it throws; the record forgets
        // the event before it is closed, so nobody signals a closed event.
        struct Forget {
            CGenericServer& server;
            Worker& worker;
            ~Forget() {
                CCriticalSectionLock lock(server.m_csWorkers);
                worker.event = WSA_INVALID_EVENT;
            }
        };
        {
            const Forget forget{*this, worker};
            if (socket) RunConnection(socket.get(), event.get(), worker);
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
    const HANDLE events[2] = {m_hStopEvent.get(), worker.wake.get()};
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

void CGenericServer::RunConnection(SOCKET socket, WSAEVENT event, Worker& worker) {
    Connection connection(*this, socket, event, worker);
    for (;;) {
        const WSAEVENT events[2] = {m_hStopEvent.get(), event};
        // A time-out means nothing happened for the whole idle time.
        if (::WSAWaitForMultipleEvents(2, events, FALSE, m_nIdleTimeoutMs, FALSE) != WSA_WAIT_EVENT_0 + 1) return;
        if (worker.closeRequested) return;
        WSANETWORKEVENTS network{};
        if (::WSAEnumNetworkEvents(socket, event, &network) != 0) return;

        if (network.lNetworkEvents & FD_CLOSE) connection.peerClosed = true;
        if (network.lNetworkEvents & (FD_READ | FD_CLOSE)) {
            if (connection.framer.WantsMoreBytes()) {
                ReadOnce(connection);
            } else {
                connection.readPaused = true;
            }
        }
        if ((network.lNetworkEvents & FD_WRITE) && connection.sendPending) {
            switch (SendReply(connection)) {
                case SendOutcome::kFailed: return;
                case SendOutcome::kPending: continue;
                case SendOutcome::kDone: break;
            }
            if (ReplySent(connection) == Flow::kClose) return Linger(connection);
        }
        switch (Pump(connection)) {
            case Flow::kGoOn: break;
            case Flow::kClose: return Linger(connection);
            case Flow::kBroken: return;
        }
    }
}

// One read of what the socket holds; the number of bytes taken. A peer that
// has closed, or a broken connection, reads as peerClosed.
size_t CGenericServer::ReadOnce(Connection& connection) {
    char piece[kReceivePiece];
    WSABUF buffer{sizeof piece, piece};
    DWORD received = 0;
    DWORD flags = 0;
    if (::WSARecv(connection.socket, &buffer, 1, &received, &flags, nullptr, nullptr) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) connection.peerClosed = true;
        return 0;
    }
    if (received == 0) connection.peerClosed = true;
    connection.framer.Receive(std::string_view(piece, received));
    return received;
}

// Answers what has arrived and reads on while there is room: reading stops
// while the framer holds its bound of pending bytes, and since Winsock
// reports FD_READ again only after a read, it is taken up here once the
// pending requests are answered.
CGenericServer::Flow CGenericServer::Pump(Connection& connection) {
    for (;;) {
        const Flow flow = ServeRequests(connection);
        if (flow != Flow::kGoOn || connection.sendPending) return flow;
        if (connection.peerClosed) {
            // Whatever it sent before closing is read and answered first.
            if (connection.framer.WantsMoreBytes() && ReadOnce(connection) > 0) continue;
            return Flow::kBroken;
        }
        if (!connection.readPaused || !connection.framer.WantsMoreBytes()) return Flow::kGoOn;
        connection.readPaused = false;
        if (ReadOnce(connection) == 0) return Flow::kGoOn;
    }
}

// Answers every whole request pending, one after the other, until one reply
// cannot go out at once.
CGenericServer::Flow CGenericServer::ServeRequests(Connection& connection) {
    std::string request;
    while (!connection.sendPending) {
        switch (connection.framer.TakeRequest(&request)) {
            case CRequestFramer::Next::kNeedMore: return Flow::kGoOn;
            case CRequestFramer::Next::kOverlong: return Flow::kClose;
            case CRequestFramer::Next::kRequest: break;
        }
        ForgetKeptReplyBlock(connection);
        connection.worker.handling = true;
        const bool handled = HandleRequest(request, &connection.out, &connection.tail, &connection.keepAlive);
        connection.worker.handling = false;
        if (!handled) return Flow::kClose;
        connection.sent = 0;
        switch (SendReply(connection)) {
            case SendOutcome::kFailed: return Flow::kBroken;
            case SendOutcome::kPending: return Flow::kGoOn;
            case SendOutcome::kDone: break;
        }
        const Flow flow = ReplySent(connection);
        if (flow != Flow::kGoOn) return flow;
    }
    return Flow::kGoOn;
}

CGenericServer::Flow CGenericServer::ReplySent(Connection& connection) {
    connection.worker.lastCompletedTick = ::GetTickCount();
    KeepOrFreeReplyBlock(connection);
    if (connection.keepAlive == 0 || connection.framer.ClosesAfterReply()) return Flow::kClose;
    return Flow::kGoOn;
}

// Sends the rest of the reply, out's bytes and then the tail's, in pieces of
// at most 2 MiB. A socket that cannot take more leaves the rest pending until
// it reports FD_WRITE.
CGenericServer::SendOutcome CGenericServer::SendReply(Connection& connection) {
    const int32_t headLength = connection.out.GetLength();
    const int32_t tailLength = connection.tail ? static_cast<int32_t>(connection.tail->size()) : 0;
    const int32_t length = headLength + tailLength;
    while (connection.sent < length) {
        WSABUF buffers[2];
        DWORD count = 0;
        int32_t room = kMaxSendPiece;
        if (connection.sent < headLength) {
            const int32_t piece = std::min(headLength - connection.sent, room);
            buffers[count++] = {static_cast<ULONG>(piece), connection.out.GetData() + connection.sent};
            room -= piece;
        }
        const int32_t tailSent = std::max(connection.sent - headLength, 0);
        if (room > 0 && tailSent < tailLength) {
            const int32_t piece = std::min(tailLength - tailSent, room);
            buffers[count++] = {static_cast<ULONG>(piece), const_cast<char*>(connection.tail->data()) + tailSent};
        }
        DWORD sent = 0;
        if (::WSASend(connection.socket, buffers, count, &sent, 0, nullptr, nullptr) != 0) {
            const int error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                connection.sendPending = true;
                return SendOutcome::kPending;
            }
            connection.sendPending = false;
            connection.keepAlive = 0;
            connection.tail.reset();
            return SendOutcome::kFailed;
        }
        connection.sent += static_cast<int32_t>(sent);
    }
    connection.sendPending = false;
    connection.tail.reset();
    OnSent(connection.sent);
    return SendOutcome::kDone;
}

// The server closes the connection: no more is sent, and what the peer still
// sends (the rest of a body, say) is read and dropped until it closes, for at
// most kLingerMs. Closing with bytes unread would reset the connection, and
// a reset can throw away a reply the peer has not read yet.
void CGenericServer::Linger(Connection& connection) {
    ::shutdown(connection.socket, SD_SEND);
    const ULONGLONG end = ::GetTickCount64() + kLingerMs;
    char scratch[4096];
    for (;;) {
        // Reads until nothing is left; a read skipped earlier means no
        // FD_READ would come for what waits.
        for (;;) {
            WSABUF buffer{sizeof scratch, scratch};
            DWORD received = 0;
            DWORD flags = 0;
            if (::WSARecv(connection.socket, &buffer, 1, &received, &flags, nullptr, nullptr) != 0) {
                if (::WSAGetLastError() != WSAEWOULDBLOCK) return;
                break;
            }
            if (received == 0) return;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        const WSAEVENT events[2] = {m_hStopEvent.get(), connection.event};
        const DWORD waited = ::WSAWaitForMultipleEvents(2, events, FALSE, static_cast<DWORD>(end - now), FALSE);
        if (waited != WSA_WAIT_EVENT_0 + 1 || connection.worker.closeRequested) return;
        WSANETWORKEVENTS network{};
        if (::WSAEnumNetworkEvents(connection.socket, connection.event, &network) != 0) return;
    }
}

// A reply block of ordinary size is kept for the next reply: allocating and
// faulting in a fresh one for every reply costs more than the reply itself.
// What all connections keep together is bounded, so idle connections hold
// little.
void CGenericServer::KeepOrFreeReplyBlock(Connection& connection) {
    const int32_t capacity = connection.out.GetCapacity();
    if (capacity > 0 && capacity <= kMaxKeptReplyBlock) {
        if (m_nKeptReplyBytes.fetch_add(capacity) + capacity <= kMaxKeptReplyBytes) {
            connection.out.Reset();
            connection.keptBytes = capacity;
            return;
        }
        m_nKeptReplyBytes -= capacity;
    }
    connection.out.Clear();
}

// The kept block is in use again (or goes with the connection).
void CGenericServer::ForgetKeptReplyBlock(Connection& connection) {
    m_nKeptReplyBytes -= std::exchange(connection.keptBytes, 0);
}
