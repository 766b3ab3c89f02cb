// A raw HTTP client for server tests: sends exactly the bytes it is given and
// reads replies by their Content-Length. Every wait is bounded.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "testsupport/TestOrigin.h"  // CWinsockSession

struct TestReply {
    std::string statusLine;                      // "HTTP/1.0 200 OK"
    std::string head;                            // everything before the body, blank line included
    std::map<std::string, std::string> headers;  // name -> value
    std::string body;
};

class CTestClient {
public:
    // Connects to 127.0.0.1:port; receiveBufferSize > 0 shrinks the socket's
    // receive buffer (a slow reader).
    explicit CTestClient(uint16_t port, int receiveBufferSize = 0);
    ~CTestClient();
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    bool Connected() const { return m_socket != INVALID_SOCKET; }
    uint16_t LocalPort() const;  // host byte order
    bool Send(std::string_view bytes);
    // Sends one byte per send call.
    bool SendByteByByte(std::string_view bytes);
    // Stops sending; the server sees the end of the stream.
    void ShutdownSend();
    // Reads one whole reply; false when the connection closed or stalled first.
    // pauseEvery > 0 sleeps 1 ms after each pauseEvery bytes (a slow reader).
    bool ReadReply(TestReply* reply, size_t pauseEvery = 0);
    // Reads until count bytes have come in all; false when the connection
    // closed or stalled first.
    bool ReadAtLeast(size_t count) { return Fill(count, 0); }
    // What has come and was not taken by ReadReply: after a ReadReply that
    // failed, the head and the part of the body that came.
    const std::string& Received() const { return m_received; }
    // True when the server closed the connection with nothing more sent.
    bool ClosedByServer();

private:
    bool Fill(size_t needed, size_t pauseEvery);

    CWinsockSession m_winsock;  // first in, last out
    SOCKET m_socket = INVALID_SOCKET;
    std::string m_received;
};
