// CGenericServer: a TCP server with a thread for each open connection (kept a
// while for the next one), in Winsock 2's event-object style. It knows
// nothing of HTTP: a derived class says when received bytes form a request,
// how a request's body is framed, and where the reply's bytes come from; the
// reply is sent as they come and as the socket takes them. It bounds what
// peers can make it hold: connections, the bytes pending per connection, and
// what a reply holds of its own while it goes out.
//
// Its parts: the listener (GenericServer.cpp), the workers and the handover
// of connections to them (ServerWorkers.cpp), and the connection
// (ServerConnection.cpp).
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "server/RequestFramer.h"
#include "server/SocketOwners.h"
#include "toolkit/CriticalSection.h"
#include "toolkit/ScopedResource.h"

class CReplySource;

class CGenericServer {
public:
    // Connections open at once. When one more arrives, the open connection
    // that has gone longest without completing a request is closed to make
    // room (one inside a request only when no other is left), so idle or
    // trickling peers cannot lock out a client that is being served.
    static constexpr size_t kMaxConnections = 128;
    // Connection threads at once, counting those told to close that are
    // still finishing a request and those waiting for the next connection; a
    // connection beyond this is closed at once.
    static constexpr size_t kMaxConnectionThreads = 2 * kMaxConnections;
    // A connection thread whose connection has ended waits this long to be
    // handed the next one, unless kMaxIdleWorkers wait already.
    static constexpr DWORD kIdleWorkerMs = 5000;
    static constexpr size_t kMaxIdleWorkers = 16;
    static constexpr int32_t kReceivePiece = 16384;           // per read
    static constexpr uint32_t kMaxSendPiece = 2097152;        // per WSASend
    static constexpr DWORD kDefaultIdleTimeoutMs = 120000;    // a quiet connection is closed
    // After its last reply a connection stops sending and reads (and drops)
    // what the peer still sends, for at most this long, so that closing with
    // unread bytes cannot reset the reply away.
    static constexpr DWORD kLingerMs = 2000;
    // A reply waiting for room in the socket of a peer that has closed its
    // side looks again this often: a peer that has gone entirely may never
    // make room, nor say so.
    static constexpr DWORD kPeerClosedPollMs = 250;
    static constexpr DWORD kStartTimeoutMs = 30000;
    static constexpr DWORD kRelistenPauseMs = 1000;           // between attempts to listen
    static constexpr int kAcceptsPerWake = 32;
    static constexpr DWORD kAcceptPollMs = 500;  // the listener looks for connections it was not told of
    static constexpr DWORD kReapRetryMs = 100;
    static constexpr unsigned kThreadExitCode = 4660;

    CGenericServer();
    // Connection threads call the hooks below, so a derived class must Stop
    // the server in its own destructor, before its part of the object goes;
    // this destructor's Stop is only the last resort.
    virtual ~CGenericServer();
    CGenericServer(const CGenericServer&) = delete;
    CGenericServer& operator=(const CGenericServer&) = delete;

    // Starts the reaper and the listener. True when the server listens on
    // port on every IPv4 interface. False on a second call; false, with
    // nothing left behind, when the threads cannot start; and false when the
    // port is taken: the listener then tries again about once a second until
    // it has the port or the server is stopped. Returns at once either way.
    bool Start(uint16_t port);
    // True from a Start that got its threads going until Stop.
    bool IsStarted() const { return m_bStarted; }
    // True while the port is held.
    bool IsListening() const { return m_bListening; }

    // Tells every server thread to end: the listener lets the port go at
    // once; connections end at their next wake-up, or once the request they
    // are handling is answered. Returns at once.
    void BeginStop();
    // After BeginStop: waits up to milliseconds (INFINITE: for good) for the
    // listener and every connection to end. True when all did.
    bool WaitUntilStopped(DWORD milliseconds);
    // Ends every server thread, waits for all of them and lets Winsock go.
    // The program never stops its server; tests do.
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
    // How the body behind a whole request is framed; its bytes are dropped
    // before the next request is read. There are none unless a derived class
    // says so.
    virtual BodyFraming FrameBody(std::string_view requestText);
    // The reply to a request: its source, which the connection sends from
    // as the bytes come. May set *keepAlive to 1 (keep the connection) or 0
    // (close it after the reply). None closes the connection without a
    // reply. Called on many threads at once; it should not wait on the
    // network: a reply whose bytes are still to come says so to the
    // connection instead. peerAddress: the IPv4 address the connection
    // came from, in host byte order (0 when unknown).
    virtual std::unique_ptr<CReplySource> HandleRequest(std::string_view requestText, int32_t* keepAlive,
                                                        uint32_t peerAddress) = 0;

private:
    struct Worker;
    struct WorkerStart;
    class Connection;

    template <void (CGenericServer::*Run)()>
    static unsigned __stdcall ServiceThread(void* server);
    static unsigned __stdcall WorkerThread(void* start);

    bool WaitUntilFirstAttempt();
    void RunListener();
    bool OpenListener(CSocket* listener, CWsaEvent* acceptEvent);
    bool ServeAccepts(SOCKET listener, WSAEVENT acceptEvent);
    void AcceptWaiting(SOCKET listener);
    // False when no connection was waiting.
    bool AcceptOne(SOCKET listener);
    void AcceptConnection(CSocket socket, const char* address, uint16_t port);
    void MakeRoomLocked();
    void RunReaper();

    void RunWorker(Worker& worker);
    bool WaitForNextConnection(Worker& worker);
    void EndWorker(std::list<Worker>::iterator worker);

    CWinsockReference m_winsock;           // held from Start until Stop: the last user lets it go
    CHandle m_hListenThread;
    CHandle m_hReaperThread;
    CWsaEvent m_hStopEvent;                // manual reset; set, it ends every server thread
    CHandle m_hReapEvent;                  // a connection has ended and waits to be reaped
    CHandle m_hStartedEvent;               // the listener has made its first attempt
    CCriticalSection m_csWorkers;          // guards the lists, m_nIdleWorkers and the guarded Worker fields
    std::list<Worker> m_workers;           // one per running connection thread
    std::list<Worker> m_finished;          // threads that have ended their work, to be closed
    size_t m_nIdleWorkers = 0;
    std::atomic<bool> m_bListening{false};
    uint16_t m_nPort = 0;
    bool m_bStarted = false;
    DWORD m_nIdleTimeoutMs = kDefaultIdleTimeoutMs;
};
