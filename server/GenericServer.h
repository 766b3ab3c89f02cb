// CGenericServer: a TCP server with one thread per connection, in Winsock 2's
// event-object style. It knows nothing of HTTP: a derived class says when
// received bytes form a request and what the reply holds.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <string_view>

#include "toolkit/CriticalSection.h"

class COutBuf;

class CGenericServer {
public:
    static constexpr int32_t kReceiveBufferSize = 524288;        // per read, on the connection's stack
    static constexpr int32_t kMaxSendPiece = 2097152;            // per WSASend
    static constexpr size_t kMaxUnfinishedRequest = 65536;       // request text bound
    static constexpr DWORD kDefaultIdleTimeoutMs = 120000;       // a quiet connection is closed
    static constexpr int32_t kMaxKeptReplyBlock = 4 << 20;       // reused between replies up to this size
    static constexpr DWORD kStartTimeoutMs = 30000;
    static constexpr DWORD kReaperPeriodMs = 100;
    static constexpr DWORD kReapWaitMs = 1000;
    static constexpr unsigned kThreadExitCode = 4660;

    CGenericServer();
    // Connection threads call the hooks below, so a derived class must Stop
    // the server in its own destructor, before its part of the object goes;
    // this destructor's Stop is only the last resort.
    virtual ~CGenericServer();
    CGenericServer(const CGenericServer&) = delete;
    CGenericServer& operator=(const CGenericServer&) = delete;

    // Listens on port on every IPv4 interface and starts the reaper. True once
    // both run; false on a second call, or as soon as the listener gives up
    // (for example when the port is taken).
    bool Start(uint16_t port);

    // Ends every server thread and waits for them. The program never stops its
    // server; tests do.
    void Stop();

    // How long a connection may stay without any network event before it is
    // closed. Set before Start.
    void SetIdleTimeout(DWORD milliseconds) { m_nIdleTimeoutMs = milliseconds; }

protected:
    // A connection was accepted from address ("a.b.c.d") and port (network
    // byte order), before its thread starts. On the listener thread.
    virtual void OnAccept(const char* address, uint16_t port) = 0;
    // A reply of byteCount bytes has gone out whole.
    virtual void OnSent(int32_t byteCount) = 0;
    // True when the text holds a whole request. Called on connection threads
    // with ever longer prefixes of what was received; the shortest accepted
    // prefix is the next request.
    virtual bool IsRequestComplete(std::string_view requestText) = 0;
    // Appends the whole reply to out and may set *keepAlive to 1. False closes
    // the connection without a reply. Called on many threads at once.
    virtual bool HandleRequest(std::string_view requestText, COutBuf* out, int32_t* keepAlive) = 0;

private:
    struct ThreadEntry {
        HANDLE handle;
        unsigned threadId;
    };
    struct ConnectionParams {
        CGenericServer* server;
        SOCKET socket;
    };
    struct Connection;
    enum class SendOutcome { kDone, kPending, kFailed };

    static unsigned __stdcall ListenThread(void* server);
    static unsigned __stdcall ReaperThread(void* server);
    static unsigned __stdcall ConnectionThread(void* params);

    bool WaitUntilStarted(HANDLE thread);
    void RunListener();
    void RunReaper();
    void AcceptConnection(SOCKET socket, const char* address, uint16_t port);
    void RunConnection(SOCKET socket, WSAEVENT event);
    void EndConnection(WSAEVENT event, SOCKET socket, ConnectionParams* params, DWORD threadId);
    void CloseListener(WSAEVENT acceptEvent, SOCKET listener);

    static void EmptyForNextReply(COutBuf& out);
    size_t CompleteRequestLength(Connection& connection);
    bool ServeCompleteRequests(Connection& connection);
    SendOutcome SendReply(Connection& connection);

    HANDLE m_hListenThread = nullptr;
    unsigned m_nListenThreadId = 0;
    HANDLE m_hReaperThread = nullptr;
    unsigned m_nReaperThreadId = 0;
    WSAEVENT m_hStopEvent = nullptr;
    HANDLE m_hStartedEvent = nullptr;
    std::list<ThreadEntry> m_liveThreads;
    std::deque<HANDLE> m_reapQueue;
    CCriticalSection m_csConnections;  // taken before m_csThreads, never after
    CCriticalSection m_csThreads;
    uint16_t m_nPort = 0;
    bool m_bStarted = false;
    DWORD m_nIdleTimeoutMs = kDefaultIdleTimeoutMs;
};
