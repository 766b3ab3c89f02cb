// A scripted HTTP origin on 127.0.0.1 for tests: it answers each request
// target with the raw bytes set for it (so a test can send anything, chunked
// or cut short), records what it was asked, and stops with the object.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <utility>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Initialises Winsock for the life of the object.
class CWinsockSession {
public:
    CWinsockSession();
    ~CWinsockSession();
    CWinsockSession(const CWinsockSession&) = delete;
    CWinsockSession& operator=(const CWinsockSession&) = delete;
};

class CTestOrigin {
public:
    // Listens on an ephemeral loopback port. A connection is closed after a
    // reply that says "Connection: close" (Reply does), and kept for the next
    // request after any other (KeptReply).
    CTestOrigin();
    ~CTestOrigin();
    CTestOrigin(const CTestOrigin&) = delete;
    CTestOrigin& operator=(const CTestOrigin&) = delete;

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by target.
    std::string Url(std::string_view target = "") const;

    // The raw reply for a target (path and query, exactly as requested).
    // Unknown targets get a 404 with a short body.
    void SetReply(const std::string& target, std::string reply);
    // Waits this long before it answers target.
    void SetReplyDelay(const std::string& target, unsigned milliseconds);
    // Sends target's reply in pieces of pieceBytes, one every intervalMs.
    void SetReplyPace(const std::string& target, size_t pieceBytes, unsigned intervalMs);
    // How many replies have gone out to their last byte.
    size_t RepliesSent() const { return m_nRepliesSent; }
    // From now on a kept connection that brings a second request is reset
    // instead of answered, as by a host that closed it just then.
    void ResetKeptConnections() { m_bResetKept = true; }
    // A reply of `status` with body and a matching Content-Length.
    static std::string Reply(int status, std::string_view body);
    // The same, keeping the connection for the next request.
    static std::string KeptReply(int status, std::string_view body);
    // A chunked reply with no Content-Length.
    static std::string ChunkedReply(std::string_view body);
    // A reply announcing `announced` bytes whose connection closes after body.
    static std::string CutReply(std::string_view body, size_t announced);

    // The request heads received so far, in order.
    std::vector<std::string> Requests() const;
    // The request targets received so far, in order.
    std::vector<std::string> Targets() const;
    size_t ConnectionCount() const { return m_connections; }

    // A loopback port on which nothing listens.
    static uint16_t ClosedPort();

private:
    void Serve();
    void Answer(SOCKET client);
    bool WaitReadable(SOCKET client);

    CWinsockSession m_winsock;  // first in, last out
    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<size_t> m_connections{0};
    std::atomic<bool> m_bResetKept{false};
    mutable std::mutex m_lock;
    std::map<std::string, std::string> m_replies;
    std::map<std::string, unsigned> m_delays;
    std::map<std::string, std::pair<size_t, unsigned>> m_paces;
    std::atomic<size_t> m_nRepliesSent{0};
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_workers;
    std::thread m_acceptor;
};

// A host on 127.0.0.1 that accepts connections and then answers never, or
// only a byte at a time: the hostile side of the download client's bounds.
class CStallingHost {
public:
    enum class Mode {
        kSilent,      // reads nothing, sends nothing
        kCrawlHead,   // sends a reply head one byte per interval, for ever
        kCrawlBody,   // sends a head announcing a long body, then one byte per interval
    };
    explicit CStallingHost(Mode mode, unsigned intervalMs = 1000);
    ~CStallingHost();
    CStallingHost(const CStallingHost&) = delete;
    CStallingHost& operator=(const CStallingHost&) = delete;

    // "http://127.0.0.1:<port>" followed by target.
    std::string Url(std::string_view target = "") const;
    size_t ConnectionCount() const { return m_connections; }

private:
    void Serve();
    void Crawl(SOCKET client);

    CWinsockSession m_winsock;  // first in, last out
    Mode m_mode;
    unsigned m_nIntervalMs;
    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<size_t> m_connections{0};
    std::mutex m_lock;
    std::vector<SOCKET> m_clients;
    std::vector<std::thread> m_crawlers;
    std::thread m_acceptor;
};
