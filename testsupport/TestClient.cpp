#include "testsupport/TestClient.h"

#include <ws2tcpip.h>

#include <cstdlib>

namespace {
constexpr DWORD kWaitLimitMs = 20000;
}

CTestClient::CTestClient(uint16_t port, int receiveBufferSize) {
    m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET) return;
    const DWORD limit = kWaitLimitMs;
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    const BOOL noDelay = TRUE;
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    if (receiveBufferSize > 0) {
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferSize),
                     sizeof receiveBufferSize);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

CTestClient::~CTestClient() {
    if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
}

uint16_t CTestClient::LocalPort() const {
    sockaddr_in address{};
    int length = sizeof address;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

bool CTestClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const int sent = ::send(m_socket, bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

bool CTestClient::SendByteByByte(std::string_view bytes) {
    for (const char byte : bytes) {
        if (!Send(std::string_view(&byte, 1))) return false;
    }
    return true;
}

void CTestClient::ShutdownSend() { ::shutdown(m_socket, SD_SEND); }

bool CTestClient::Fill(size_t needed, size_t pauseEvery) {
    char piece[65536];
    while (m_received.size() < needed) {
        const size_t want = pauseEvery ? std::min(pauseEvery, sizeof piece) : sizeof piece;
        const int got = ::recv(m_socket, piece, static_cast<int>(want), 0);
        if (got <= 0) return false;
        m_received.append(piece, static_cast<size_t>(got));
        if (pauseEvery) ::Sleep(1);
    }
    return true;
}

bool CTestClient::ReadReply(TestReply* reply, size_t pauseEvery) {
    size_t end;
    while ((end = m_received.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(m_received.size() + 1, 0)) return false;
    }
    reply->head = m_received.substr(0, end + 4);
    reply->statusLine = reply->head.substr(0, reply->head.find("\r\n"));
    reply->headers.clear();
    size_t line = reply->head.find("\r\n") + 2;
    while (line < end) {
        const size_t next = reply->head.find("\r\n", line);
        const std::string text = reply->head.substr(line, next - line);
        const size_t colon = text.find(": ");
        if (colon != std::string::npos) reply->headers[text.substr(0, colon)] = text.substr(colon + 2);
        line = next + 2;
    }
    const size_t length = std::strtoul(reply->headers["Content-Length"].c_str(), nullptr, 10);
    if (!Fill(end + 4 + length, pauseEvery)) return false;
    reply->body = m_received.substr(end + 4, length);
    m_received.erase(0, end + 4 + length);
    return true;
}

bool CTestClient::ClosedByServer() {
    char byte;
    return m_received.empty() && ::recv(m_socket, &byte, 1, 0) == 0;
}
