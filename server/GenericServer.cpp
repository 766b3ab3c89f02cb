// The server's start and stop, and its listener.
#include "server/GenericServer.h"

#include <process.h>

#include <cstdio>
#include <utility>

#include "server/GenericServerParts.h"

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
    // A reply goes out in whole pieces, the head as soon as it is known and
    // the body as it arrives. With Nagle's algorithm each piece after the
    // head would wait for the browser's delayed acknowledgement of the one
    // before (up to 40 ms, on every miss).
    const BOOL noDelay = TRUE;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&peer.sin_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    AcceptConnection(std::move(socket), text, peer.sin_port);
    return true;
}

