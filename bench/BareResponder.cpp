// bare_responder PORT BODY_BYTES [--events]: the floor cost of serving HTTP
// under this platform. One thread per connection, keep-alive, and every
// request answered with the same bytes from memory. Runs until killed.
// bare_responder PORT --file PATH --read|--transmit: every request answered
// with the file, sent from the disk each time in ReadFile pieces of 256 KiB
// or by TransmitFile, on blocking sockets: the floor of a hit from disk.
// Blocking sockets by default; with --events each connection waits as the
// asset server's must, so that a stop request or an idle time-out can end the
// wait: a non-blocking socket whose network events set an event object,
// waited on together with a second one, the events listed before each read.
#include <winsock2.h>
#include <mswsock.h>

#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace {

std::string g_reply;

bool SendAll(SOCKET client, const char* data, size_t left) {
    while (left > 0) {
        const int sent = ::send(client, data, static_cast<int>(left), 0);
        if (sent <= 0) return false;
        data += sent;
        left -= static_cast<size_t>(sent);
    }
    return true;
}

bool SendReply(SOCKET client) { return SendAll(client, g_reply.data(), g_reply.size()); }

// Answers every request on a blocking socket with Answer.
template <bool (*Answer)(SOCKET)>
void Serve(SOCKET client) {
    std::string pending;
    char buffer[65536];
    for (bool broken = false; !broken;) {
        const int got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        pending.append(buffer, static_cast<size_t>(got));
        size_t end;
        while (!broken && (end = pending.find("\r\n\r\n")) != std::string::npos) {
            pending.erase(0, end + 4);
            broken = !Answer(client);
        }
    }
    ::closesocket(client);
}

// Waits for one of the wanted network events of client; false when the
// connection is gone or nothing came for a minute. *readable notes an FD_READ
// seen meanwhile, which Winsock does not report again before the next read.
bool WaitForEvents(SOCKET client, WSAEVENT stop, WSAEVENT network, long wanted, bool* readable) {
    for (;;) {
        const WSAEVENT events[2] = {stop, network};
        if (::WSAWaitForMultipleEvents(2, events, FALSE, 60000, FALSE) != WSA_WAIT_EVENT_0 + 1) return false;
        WSANETWORKEVENTS happened{};
        if (::WSAEnumNetworkEvents(client, network, &happened) != 0) return false;
        if (happened.lNetworkEvents & (FD_READ | FD_CLOSE)) *readable = true;
        if (happened.lNetworkEvents & (wanted | FD_CLOSE)) return true;
    }
}

void ServeWithEvents(SOCKET client) {
    const WSAEVENT stop = ::WSACreateEvent();  // never set: stands in for the server's stop event
    const WSAEVENT network = ::WSACreateEvent();
    std::string pending;
    char buffer[65536];
    bool readable = false;
    if (::WSAEventSelect(client, network, FD_READ | FD_WRITE | FD_CLOSE) == 0) {
        for (;;) {
            if (!readable && !WaitForEvents(client, stop, network, FD_READ, &readable)) break;
            readable = false;
            const int got = ::recv(client, buffer, sizeof buffer, 0);
            if (got == 0 || (got < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)) break;
            if (got < 0) continue;
            pending.append(buffer, static_cast<size_t>(got));
            size_t end;
            bool broken = false;
            while (!broken && (end = pending.find("\r\n\r\n")) != std::string::npos) {
                pending.erase(0, end + 4);
                size_t at = 0;
                while (at < g_reply.size()) {
                    const int sent = ::send(client, g_reply.data() + at, static_cast<int>(g_reply.size() - at), 0);
                    if (sent > 0) {
                        at += static_cast<size_t>(sent);
                    } else if (::WSAGetLastError() != WSAEWOULDBLOCK ||
                               !WaitForEvents(client, stop, network, FD_WRITE, &readable)) {
                        broken = true;
                        break;
                    }
                }
            }
            if (broken) break;
        }
    }
    ::closesocket(client);
    ::WSACloseEvent(network);
    ::WSACloseEvent(stop);
}

std::wstring g_file;
bool g_transmit = false;

bool SendFile(SOCKET client) {
    const HANDLE file = ::CreateFileW(g_file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool sent = SendAll(client, g_reply.data(), g_reply.size());
    if (sent && g_transmit) {
        sent = ::TransmitFile(client, file, 0, 0, nullptr, nullptr, 0) != FALSE;
    } else if (sent) {
        static thread_local std::string piece(256 * 1024, '\0');
        DWORD read = 0;
        while (sent && ::ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr) && read > 0) {
            sent = SendAll(client, piece.data(), read);
        }
    }
    ::CloseHandle(file);
    return sent;
}

std::string ReplyHead(uint64_t length) {
    return "HTTP/1.0 200 OK\r\nDate: Tue, 08 Dec 2026 12:00:00 GMT\r\nServer: bare\r\nAccept-Ranges: bytes\r\n"
           "Content-Length: " + std::to_string(length) +
           "\r\nConnection: Keep-Alive\r\nContent-Type: application/octet-stream\r\n\r\n";
}

// A connection's thread: a Win32 thread whose handle is closed at once, as
// the asset server's are, not a detached std::thread, on which the responder
// was seen to fault under Wine as it started one.
struct Connection {
    void (*serve)(SOCKET);
    SOCKET client;
};

unsigned __stdcall RunConnection(void* owned) {
    const std::unique_ptr<Connection> connection(static_cast<Connection*>(owned));
    connection->serve(connection->client);
    return 0;
}

bool StartConnection(void (*serve)(SOCKET), SOCKET client) {
    std::unique_ptr<Connection> connection(new (std::nothrow) Connection{serve, client});
    if (!connection) return false;
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, RunConnection, connection.get(), 0, nullptr);
    if (!thread) return false;
    connection.release();  // the thread owns it now
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) return 2;
    const bool fromFile = argc == 5 && std::string(argv[2]) == "--file";
    const bool events = argc == 4 && std::string(argv[3]) == "--events";
    if (fromFile) {
        const std::string path = argv[3];
        g_file.assign(path.begin(), path.end());
        g_transmit = std::string(argv[4]) == "--transmit";
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (!::GetFileAttributesExW(g_file.c_str(), GetFileExInfoStandard, &info)) return 1;
        g_reply = ReplyHead((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    }
    if (!fromFile) {
        const std::string body(static_cast<size_t>(std::atol(argv[2])), 'b');
        g_reply = ReplyHead(body.size()) + body;
    }
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
        if (client == INVALID_SOCKET) continue;
        if (!StartConnection(fromFile ? Serve<SendFile> : events ? ServeWithEvents : Serve<SendReply>, client)) {
            ::closesocket(client);
        }
    }
}
