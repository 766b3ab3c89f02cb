#include "server/GenericServer.h"

#include <process.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "common/OutBuf.h"

// The state of one connection, on its thread's stack.
struct CGenericServer::Connection {
    explicit Connection(SOCKET connected) : socket(connected) {}
    SOCKET socket;
    std::string pending;   // received bytes not yet taken as a request
    size_t scanned = 0;    // prefixes of pending up to this length are incomplete
    COutBuf out;           // the reply being sent
    int32_t keepAlive = 0;
    bool sendPending = false;
    int32_t sent = 0;
};

CGenericServer::CGenericServer() = default;

CGenericServer::~CGenericServer() {
    if (m_bStarted) Stop();
}

bool CGenericServer::Start(uint16_t port) {
    if (m_bStarted) return false;
    m_nPort = port;
    m_hStartedEvent = ::CreateEventW(nullptr, FALSE, TRUE, nullptr);
    if (!m_hStartedEvent) return false;
    ::ResetEvent(m_hStartedEvent);

    bool started = false;
    m_hListenThread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, ListenThread, this, 0, &m_nListenThreadId));
    if (m_hListenThread && WaitUntilStarted(m_hListenThread)) {
        ::ResetEvent(m_hStartedEvent);
        m_hReaperThread = reinterpret_cast<HANDLE>(
            ::_beginthreadex(nullptr, 0, ReaperThread, this, 0, &m_nReaperThreadId));
        started = m_hReaperThread && WaitUntilStarted(m_hReaperThread);
    }
    ::CloseHandle(m_hStartedEvent);
    m_hStartedEvent = nullptr;
    m_bStarted = started;
    return started;
}

// A thread that ends before it signals has given up: there is no point in
// waiting out the rest of the time.
bool CGenericServer::WaitUntilStarted(HANDLE thread) {
    const HANDLE waitFor[2] = {m_hStartedEvent, thread};
    return ::WaitForMultipleObjects(2, waitFor, FALSE, kStartTimeoutMs) == WAIT_OBJECT_0;
}

void CGenericServer::Stop() {
    if (!m_bStarted) return;
    // Keeps Winsock up until the last connection is gone, whatever the
    // listener does when it ends.
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    ::WSASetEvent(m_hStopEvent);
    for (HANDLE thread : {m_hListenThread, m_hReaperThread}) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
    m_hListenThread = m_hReaperThread = nullptr;
    // Connection threads see the stop event and queue themselves for reaping.
    for (;;) {
        std::vector<HANDLE> finished;
        bool anyLive;
        {
            CCriticalSectionLock lock(m_csThreads);
            anyLive = !m_liveThreads.empty();
            finished.assign(m_reapQueue.begin(), m_reapQueue.end());
            m_reapQueue.clear();
        }
        for (HANDLE thread : finished) {
            ::WaitForSingleObject(thread, INFINITE);
            ::CloseHandle(thread);
        }
        if (!anyLive) break;
        ::Sleep(10);
    }
    ::WSACloseEvent(m_hStopEvent);
    m_hStopEvent = nullptr;
    ::WSACleanup();
    m_bStarted = false;
}

unsigned __stdcall CGenericServer::ListenThread(void* server) {
    static_cast<CGenericServer*>(server)->RunListener();
    return kThreadExitCode;
}

void CGenericServer::RunListener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_nPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);

    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        ::WSACleanup();
        return;
    }
    const SOCKET listener = ::WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    WSAEVENT acceptEvent = nullptr;
    bool ready = listener != INVALID_SOCKET &&
                 ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(listener, SOMAXCONN) == 0;
    if (ready) {
        m_hStopEvent = ::WSACreateEvent();
        ready = m_hStopEvent != WSA_INVALID_EVENT;
    }
    if (ready) {
        acceptEvent = ::WSACreateEvent();
        ready = acceptEvent != WSA_INVALID_EVENT && ::WSAEventSelect(listener, acceptEvent, FD_ACCEPT) == 0;
    }
    if (!ready) {
        // Events not created are null (WSA_INVALID_EVENT), so they are skipped.
        if (m_hStopEvent) ::WSACloseEvent(m_hStopEvent);
        m_hStopEvent = nullptr;
        CloseListener(acceptEvent, listener);
        return;
    }
    ::SetEvent(m_hStartedEvent);

    for (;;) {
        const WSAEVENT events[2] = {m_hStopEvent, acceptEvent};
        const DWORD waited = ::WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
        if (waited != WSA_WAIT_EVENT_0 + 1) break;
        WSANETWORKEVENTS network;
        if (::WSAEnumNetworkEvents(listener, acceptEvent, &network) != 0) break;
        if (network.lNetworkEvents != FD_ACCEPT) continue;
        sockaddr_in peer{};
        int peerLength = sizeof peer;
        const SOCKET socket = ::WSAAccept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength, nullptr, 0);
        if (socket == INVALID_SOCKET) continue;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&peer.sin_addr);
        char text[16];
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
        AcceptConnection(socket, text, peer.sin_port);
    }
    // The stop event stays: connection threads still wait on it. Stop closes it.
    CloseListener(acceptEvent, listener);
}

void CGenericServer::CloseListener(WSAEVENT acceptEvent, SOCKET listener) {
    if (acceptEvent) ::WSACloseEvent(acceptEvent);
    if (listener != INVALID_SOCKET) ::closesocket(listener);
    ::WSACleanup();
}

void CGenericServer::AcceptConnection(SOCKET socket, const char* address, uint16_t port) {
    OnAccept(address, port);
    CCriticalSectionLock connections(m_csConnections);
    auto* params = new (std::nothrow) ConnectionParams{this, socket};
    unsigned threadId = 0;
    const HANDLE thread = params ? reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, ConnectionThread, params,
                                                                             0, &threadId))
                                 : nullptr;
    if (!thread) {
        // Nobody will serve this connection: let it go now.
        ::closesocket(socket);
        delete params;
        return;
    }
    CCriticalSectionLock threads(m_csThreads);
    m_liveThreads.push_back(ThreadEntry{thread, threadId});
}

unsigned __stdcall CGenericServer::ConnectionThread(void* param) {
    auto* params = static_cast<ConnectionParams*>(param);
    CGenericServer* server = params->server;
    const SOCKET socket = params->socket;
    WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT) event = nullptr;
    if (event && ::WSAEventSelect(socket, event, FD_READ | FD_WRITE | FD_CLOSE) == 0) {
        try {
            server->RunConnection(socket, event);
        } catch (...) {
            // Out of memory inside a request: the connection ends, the server goes on.
        }
    }
    server->EndConnection(event, socket, params, ::GetCurrentThreadId());
    return kThreadExitCode;
}

void CGenericServer::RunConnection(SOCKET socket, WSAEVENT event) {
    Connection connection(socket);
    char receiveBuffer[kReceiveBufferSize];
    for (;;) {
        const WSAEVENT events[2] = {event, m_hStopEvent};
        // A time-out means nothing happened for the whole idle time.
        if (::WSAWaitForMultipleEvents(2, events, FALSE, m_nIdleTimeoutMs, FALSE) != WSA_WAIT_EVENT_0) return;
        WSANETWORKEVENTS network;
        if (::WSAEnumNetworkEvents(socket, event, &network) != 0 || network.lNetworkEvents == 0) continue;

        if (network.lNetworkEvents & FD_READ) {
            WSABUF buffer{sizeof receiveBuffer, receiveBuffer};
            DWORD received = 0;
            DWORD flags = 0;
            if (::WSARecv(socket, &buffer, 1, &received, &flags, nullptr, nullptr) == 0) {
                connection.pending.append(receiveBuffer, received);
            }
        }
        if ((network.lNetworkEvents & FD_WRITE) && connection.sendPending) {
            const SendOutcome outcome = SendReply(connection);
            if (outcome != SendOutcome::kPending && connection.keepAlive == 0) return;
        }
        // Requests are answered in order: none while a reply is still going out.
        if (!connection.sendPending && !ServeCompleteRequests(connection)) return;
        if (connection.pending.size() > kMaxUnfinishedRequest) return;
        if (network.lNetworkEvents & FD_CLOSE) return;
    }
}

// A reply block of ordinary size is kept for the next reply: allocating and
// faulting in a fresh one for every reply costs more than the reply itself.
// A large one is let go, so an idle connection does not hold it.
void CGenericServer::EmptyForNextReply(COutBuf& out) {
    if (out.GetCapacity() <= kMaxKeptReplyBlock) {
        out.Reset();
    } else {
        out.Clear();
    }
}

size_t CGenericServer::CompleteRequestLength(Connection& connection) {
    const std::string_view pending = connection.pending;
    for (size_t length = connection.scanned + 1; length <= pending.size(); ++length) {
        if (IsRequestComplete(pending.substr(0, length))) return length;
    }
    connection.scanned = pending.size();
    return 0;
}

// Answers every complete request in the pending text, one after the other.
// False when the connection must close.
bool CGenericServer::ServeCompleteRequests(Connection& connection) {
    while (!connection.sendPending) {
        const size_t length = CompleteRequestLength(connection);
        if (length == 0) return true;
        const std::string request = connection.pending.substr(0, length);
        connection.pending.erase(0, length);
        connection.scanned = 0;
        EmptyForNextReply(connection.out);
        if (!HandleRequest(request, &connection.out, &connection.keepAlive)) return false;
        connection.sent = 0;
        if (SendReply(connection) == SendOutcome::kPending) return true;
        if (connection.keepAlive == 0) return false;
    }
    return true;
}

// Sends the rest of the reply in pieces of at most 2 MiB. A socket that cannot
// take more leaves the rest pending until it reports FD_WRITE.
CGenericServer::SendOutcome CGenericServer::SendReply(Connection& connection) {
    const int32_t length = connection.out.GetLength();
    char* data = connection.out.GetData();
    while (connection.sent < length) {
        const int32_t piece = std::min(length - connection.sent, kMaxSendPiece);
        WSABUF buffer{static_cast<ULONG>(piece), data + connection.sent};
        DWORD sent = 0;
        if (::WSASend(connection.socket, &buffer, 1, &sent, 0, nullptr, nullptr) != 0) {
            const int error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                connection.sendPending = true;
                return SendOutcome::kPending;
            }
            connection.sendPending = false;
            connection.keepAlive = 0;
            return SendOutcome::kFailed;
        }
        connection.sent += static_cast<int32_t>(sent);
    }
    connection.sendPending = false;
    OnSent(connection.sent);
    return SendOutcome::kDone;
}

void CGenericServer::EndConnection(WSAEVENT event, SOCKET socket, ConnectionParams* params, DWORD threadId) {
    if (event) ::WSACloseEvent(event);
    ::closesocket(socket);
    {
        CCriticalSectionLock connections(m_csConnections);
        delete params;
    }
    CCriticalSectionLock threads(m_csThreads);
    const auto entry = std::find_if(m_liveThreads.begin(), m_liveThreads.end(),
                                    [threadId](const ThreadEntry& e) { return e.threadId == threadId; });
    if (entry != m_liveThreads.end()) {
        m_reapQueue.push_back(entry->handle);
        m_liveThreads.erase(entry);
    }
}

unsigned __stdcall CGenericServer::ReaperThread(void* server) {
    static_cast<CGenericServer*>(server)->RunReaper();
    return kThreadExitCode;
}

void CGenericServer::RunReaper() {
    ::SetEvent(m_hStartedEvent);
    while (::WaitForSingleObject(m_hStopEvent, kReaperPeriodMs) == WAIT_TIMEOUT) {
        CCriticalSectionLock threads(m_csThreads);
        while (!m_reapQueue.empty()) {
            const HANDLE thread = m_reapQueue.front();
            if (::WaitForSingleObject(thread, kReapWaitMs) != WAIT_OBJECT_0) {
                ::TerminateThread(thread, kThreadExitCode);
            }
            ::CloseHandle(thread);
            m_reapQueue.pop_front();
        }
    }
}
