#include "testsupport/TestOrigin.h"

#include <ws2tcpip.h>

namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool SendAll(SOCKET socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const int chunk = bytes.size() > (1 << 20) ? (1 << 20) : static_cast<int>(bytes.size());
        const int sent = ::send(socket, bytes.data(), chunk, 0);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

}  // namespace

CWinsockSession::CWinsockSession() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
}

CWinsockSession::~CWinsockSession() { ::WSACleanup(); }

CTestOrigin::CTestOrigin() {
    m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = LoopbackAddress(0);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listener, SOMAXCONN);
    int length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { Serve(); });
}

CTestOrigin::~CTestOrigin() {
    m_stopping = true;
    ::closesocket(m_listener);  // ends the blocking accept
    m_acceptor.join();
    for (std::thread& worker : m_workers) worker.join();
}

std::string CTestOrigin::Url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(target);
}

void CTestOrigin::SetReplyPace(const std::string& target, size_t pieceBytes, unsigned intervalMs) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_paces[target] = {pieceBytes, intervalMs};
}

void CTestOrigin::SetReply(const std::string& target, std::string reply) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_replies[target] = std::move(reply);
}

void CTestOrigin::SetReplyDelay(const std::string& target, unsigned milliseconds) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_delays[target] = milliseconds;
}

std::string CTestOrigin::KeptReply(int status, std::string_view body) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: keep-alive\r\n\r\n" + std::string(body);
}

std::string CTestOrigin::Reply(int status, std::string_view body) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: application/octet-stream\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + std::string(body);
}

std::string CTestOrigin::ChunkedReply(std::string_view body) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size());
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + std::string(size) + "\r\n" +
           std::string(body) + "\r\n0\r\n\r\n";
}

std::string CTestOrigin::CutReply(std::string_view body, size_t announced) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) + "\r\nConnection: close\r\n\r\n" +
           std::string(body);
}

std::vector<std::string> CTestOrigin::Requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

std::vector<std::string> CTestOrigin::Targets() const {
    std::vector<std::string> targets;
    for (const std::string& request : Requests()) {
        const size_t start = request.find(' ') + 1;
        targets.push_back(request.substr(start, request.find(' ', start) - start));
    }
    return targets;
}

uint16_t CTestOrigin::ClosedPort() {
    CWinsockSession winsock;
    SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = LoopbackAddress(0);
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(probe);
    return ntohs(address.sin_port);
}

void CTestOrigin::Serve() {
    for (;;) {
        const SOCKET client = ::accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            if (m_stopping) return;
            continue;
        }
        ++m_connections;
        std::lock_guard<std::mutex> guard(m_lock);
        m_workers.emplace_back([this, client] { Answer(client); });
    }
}

// Waits until client has bytes or has closed; false once the origin stops
// (a kept connection is waiting for its next request then) or after the
// receive bound.
bool CTestOrigin::WaitReadable(SOCKET client) {
    for (int waited = 0; waited < 10000 && !m_stopping; waited += 50) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval pause{0, 50000};
        if (::select(0, &readable, nullptr, nullptr, &pause) != 0) return true;
    }
    return false;
}

void CTestOrigin::Answer(SOCKET client) {
    // A bound on every wait, so a peer that never closes cannot hang a test.
    const DWORD timeoutMs = 10000;
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    std::string pending;
    char piece[4096];
    for (size_t answered = 0;; ++answered) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            const int got = WaitReadable(client) ? ::recv(client, piece, sizeof piece, 0) : 0;
            if (got <= 0) {
                ::closesocket(client);
                return;
            }
            pending.append(piece, static_cast<size_t>(got));
        }
        const std::string head = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        std::string reply;
        unsigned delayMs = 0;
        std::pair<size_t, unsigned> pace{reply.npos, 0};
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_requests.push_back(head);
            const size_t start = head.find(' ') + 1;
            const std::string target = head.substr(start, head.find(' ', start) - start);
            const auto found = m_replies.find(target);
            reply = found != m_replies.end() ? found->second : Reply(404, "no such asset");
            const auto delay = m_delays.find(target);
            if (delay != m_delays.end()) delayMs = delay->second;
            const auto paced = m_paces.find(target);
            if (paced != m_paces.end()) pace = paced->second;
        }
        if (answered > 0 && m_bResetKept) {
            const linger reset{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
            ::closesocket(client);
            return;
        }
        ::Sleep(delayMs);
        bool whole = true;
        for (size_t at = 0; whole && at < reply.size(); at += pace.first) {
            if (at > 0) ::Sleep(pace.second);
            whole = SendAll(client, std::string_view(reply).substr(at, pace.first));
        }
        if (whole) ++m_nRepliesSent;
        if (reply.find("\r\nConnection: close\r\n") != std::string::npos) break;
    }
    ::shutdown(client, SD_SEND);
    // Drain until the peer closes, so the reply is not reset away.
    while (::recv(client, piece, sizeof piece, 0) > 0) {
    }
    ::closesocket(client);
}

CStallingHost::CStallingHost(Mode mode, unsigned intervalMs) : m_mode(mode), m_nIntervalMs(intervalMs) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = LoopbackAddress(0);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listener, SOMAXCONN);
    int length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { Serve(); });
}

CStallingHost::~CStallingHost() {
    m_stopping = true;
    ::closesocket(m_listener);  // ends the blocking accept
    m_acceptor.join();
    for (std::thread& crawler : m_crawlers) crawler.join();
    for (SOCKET client : m_clients) ::closesocket(client);
}

std::string CStallingHost::Url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(target);
}

void CStallingHost::Serve() {
    for (;;) {
        const SOCKET client = ::accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            if (m_stopping) return;
            continue;
        }
        ++m_connections;
        std::lock_guard<std::mutex> guard(m_lock);
        m_clients.push_back(client);
        if (m_mode != Mode::kSilent) m_crawlers.emplace_back([this, client] { Crawl(client); });
    }
}

void CStallingHost::Crawl(SOCKET client) {
    std::string bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n";
    if (m_mode == Mode::kCrawlBody) {
        ::send(client, bytes.data(), static_cast<int>(bytes.size()), 0);
        bytes = std::string(1000000, 'c');
    }
    for (size_t at = 0; at < bytes.size() && !m_stopping; ++at) {
        if (::send(client, bytes.data() + at, 1, 0) != 1) return;
        for (unsigned waited = 0; waited < m_nIntervalMs && !m_stopping; waited += 50) ::Sleep(50);
    }
}
