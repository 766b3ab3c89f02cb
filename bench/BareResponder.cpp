// bare_responder PORT BODY_BYTES: the floor cost of serving HTTP under this
// platform. One thread per connection, keep-alive, and every request answered
// with the same bytes from memory. Runs until killed.
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string g_reply;

void Serve(SOCKET client) {
    std::string pending;
    char buffer[65536];
    for (;;) {
        const int got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        pending.append(buffer, static_cast<size_t>(got));
        size_t end;
        while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
            pending.erase(0, end + 4);
            const char* data = g_reply.data();
            size_t left = g_reply.size();
            while (left > 0) {
                const int sent = ::send(client, data, static_cast<int>(left), 0);
                if (sent <= 0) {
                    ::closesocket(client);
                    return;
                }
                data += sent;
                left -= static_cast<size_t>(sent);
            }
        }
    }
    ::closesocket(client);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string body(static_cast<size_t>(std::atol(argv[2])), 'b');
    g_reply = "HTTP/1.0 200 OK\r\nDate: Tue, 08 Dec 2026 12:00:00 GMT\r\nServer: bare\r\nAccept-Ranges: bytes\r\n"
              "Content-Length: " + std::to_string(body.size()) +
              "\r\nConnection: Keep-Alive\r\nContent-Type: application/octet-stream\r\n\r\n" + body;
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    for (;;) {
        const SOCKET client = ::accept(listener, nullptr, nullptr);
        if (client != INVALID_SOCKET) std::thread(Serve, client).detach();
    }
}
