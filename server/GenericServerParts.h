// The inner parts of CGenericServer, shared by its three sources: the record
// of a worker thread and the connection it serves. Not for other users.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>

#include "server/ConnectionState.h"
#include "server/GenericServer.h"
#include "server/ReplySource.h"

// One connection thread. It serves a connection, then waits a while to be
// handed the next one: starting and ending a thread for every connection
// costs more than serving it, above all under Wine. The worker owns the
// socket and event of its connection; the record only names the event.
struct CGenericServer::Worker {
    CHandle thread;
    // Auto reset, set to make the worker look again: a connection was handed
    // over, its connection must close, or its reply may have more bytes.
    // Unlike the connection's network event, reading the network events
    // never resets it, so no request to close can be lost.
    CHandle signal;
    // Guarded by m_csWorkers:
    CSocket nextSocket;              // handed over by the listener, taken by the worker
    CWsaEvent nextEvent;
    bool serving = false;            // a connection is being served
    bool idle = false;               // between connections, ready to be handed one
    // Read without the lock by the listener, written by the worker:
    std::atomic<DWORD> lastCompletedTick{0};  // handed over, or its last reply went out
    std::atomic<bool> handling{false};        // between a request and the end of its reply
    std::atomic<bool> closeRequested{false};
};

// Handed to a new worker thread, which owns it.
struct CGenericServer::WorkerStart {
    CGenericServer* server = nullptr;
    std::list<Worker>::iterator worker;
};

// One connection, on its worker's thread: one state (ConnectionState), and
// NextStep deciding the next after every step.
class CGenericServer::Connection {
public:
    Connection(CGenericServer& server, SOCKET socket, WSAEVENT event, Worker& worker);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Serves requests until the connection closes.
    void Run();

private:
    enum class Wake { kWork, kEnd };
    Wake WaitForWork();
    DWORD WaitBound() const;
    void NoteNetworkEvents(const WSANETWORKEVENTS& network);
    // Steps until one must wait, or the connection is closed.
    void Advance();
    ConnectionEvent Step();
    void Enter(ConnectionState next);

    ConnectionEvent ReadRequest();
    bool BeginReply(const std::string& request);
    ConnectionEvent SendReply();
    ConnectionEvent EndReply(ConnectionEvent how);
    ConnectionEvent Linger();
    // One read into the framer; false when nothing was read.
    bool ReadOnce();
    bool KeepsConnection() const;

    CGenericServer& m_server;
    const SOCKET m_socket;
    const uint32_t m_nPeerAddress;  // host byte order
    const WSAEVENT m_event;
    Worker& m_worker;
    CRequestFramer m_framer;
    ConnectionState m_state = ConnectionState::kReading;
    std::unique_ptr<CReplySource> m_reply;
    uint64_t m_nSent = 0;          // of the current reply
    int32_t m_nKeepAlive = 0;
    bool m_bReadable = false;      // bytes may wait to be read
    bool m_bReadEnded = false;     // the peer closed its side and every byte it sent was read
    bool m_bPeerFinished = false;  // the peer closed its side (FD_CLOSE without an error)
    bool m_bBroken = false;        // the peer reset, or a read failed
    bool m_bSocketFull = false;    // the last send found no room
    ULONGLONG m_nLingerEnd = 0;
};
