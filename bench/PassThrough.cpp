// The floor of a miss on this platform: what any client that passes assets
// on from the CDN with Winsock and WinINet must pay, and nothing more.
//
// pass_through serve CDN_BASE: listens on the asset server's port; a thread
// per connection, keep-alive as the asset server keeps it and no Nagle
// delay, each request read with the asset server's own request parser and
// answered with one WinINet GET of CDN_BASE + target, made with the fetch's
// flags, time-outs and Accept header on one internet handle shared by all
// (with the fetch session's connections-per-server option, so that its
// connections are kept alive and reused). The body is read in reads of
// 256 KiB (or what is left of it), each sent on at once; the head goes out
// with the first. No cache, no file, no coalescing. Runs until killed.
//
// With --no-cookies its requests leave out Wine's cookie handling
// (INTERNET_FLAG_NO_COOKIES), which the client keeps: what that costs.
//
// pass_through get URL FILE ROUNDS: one bare GET of URL the same way, its
// body written into FILE in the same pieces; prints the best round in ms.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <map>

#include "bench/BestOf.h"
#include "common/OutBuf.h"
#include "net/InternetHandle.h"
#include "server/ContentTypes.h"
#include "server/HttpReply.h"
#include "server/HttpRequest.h"

namespace {

constexpr uint16_t kPort = 12315;
constexpr DWORD kPiece = 256 * 1024;
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
DWORD g_extraFlags = 0;  // INTERNET_FLAG_NO_COOKIES with --no-cookies
constexpr DWORD kTimeoutMs = 30000;
constexpr DWORD kConnectionsPerServer = 128;
constexpr int kMaxConnections = 128;

// Where a URL points: its host, port and path with the query.
struct UrlTarget {
    std::string host;
    INTERNET_PORT port = 0;
    std::string path;
};

bool CrackTarget(const char* url, UrlTarget* target) {
    char host[256] = {};
    char path[4096] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (!::InternetCrackUrlA(url, 0, 0, &parts)) return false;
    *target = {host, parts.nPort, path};
    return true;
}

CInternetHandle g_internet;
UrlTarget g_cdn;
const std::map<std::string, std::string> g_types = MakeContentTypeTable();
// Connections served at once: no more than the asset server's bound.
std::atomic<int> g_connections{0};

bool OpenSession(const char* base) {
    if (!CrackTarget(base, &g_cdn)) return false;
    g_internet.reset(::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0));
    if (!g_internet) return false;
    for (const DWORD option : {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
        DWORD value = kConnectionsPerServer;
        ::InternetSetOptionA(g_internet.get(), option, &value, sizeof value);
    }
    return true;
}

// One GET: its connection, and its request, which closes first.
struct Get {
    CInternetHandle connection;
    CInternetHandle request;
    DWORD status = 0;
    DWORD length = 0;
};

bool Open(HINTERNET internet, const UrlTarget& url, Get* get) {
    get->connection.reset(
        ::InternetConnectA(internet, url.host.c_str(), url.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!get->connection) return false;
    get->request.reset(::HttpOpenRequestA(get->connection.get(), "GET", url.path.c_str(), nullptr, nullptr, nullptr,
                                          kOpenFlags | g_extraFlags, 0));
    if (!get->request) return false;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = kTimeoutMs;
        ::InternetSetOptionA(get->request.get(), option, &value, sizeof value);
    }
    if (!::HttpSendRequestA(get->request.get(), "Accept: */*\r\n\r\n", 15, nullptr, 0)) return false;
    DWORD size = sizeof get->status;
    if (!::HttpQueryInfoA(get->request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &get->status, &size,
                          nullptr)) {
        return false;
    }
    size = sizeof get->length;
    return ::HttpQueryInfoA(get->request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &get->length, &size,
                            nullptr) != FALSE;
}

bool SendAll(SOCKET peer, const char* data, size_t left) {
    while (left > 0) {
        const int sent = ::send(peer, data, static_cast<int>(left), 0);
        if (sent <= 0) return false;
        data += sent;
        left -= static_cast<size_t>(sent);
    }
    return true;
}

// The next piece of the body, up to 256 KiB: a synchronous read waits
// until it has all it asked for. 0 on failure.
DWORD ReadPiece(HINTERNET request, DWORD left, char* piece) {
    DWORD got = 0;
    return ::InternetReadFile(request, piece, left < kPiece ? left : kPiece, &got) ? got : 0;
}

// Answers one request; false when the connection is to close. The head goes
// out with the body's first piece, in one send.
bool Answer(SOCKET peer, const HttpRequestLine& request, bool keepAlive, char* piece) {
    Get get;
    const bool relative = request.target.empty() || request.target[0] != '/';
    const bool fetched = request.isGet && !relative &&
                         Open(g_internet.get(), {g_cdn.host, g_cdn.port, g_cdn.path + request.target}, &get);
    const char* status = relative            ? "400 Bad Request"
                         : !fetched          ? "502 Bad Gateway"
                         : get.status == 200 ? "200 OK"
                         : get.status == 404 ? "404 Not Found"
                                             : "502 Bad Gateway";
    const auto type = g_types.find(TargetExtension(request.target));
    COutBuf head;
    DWORD left = fetched ? get.length : 0;
    const DWORD first = left > 0 ? ReadPiece(get.request.get(), left, piece) : 0;
    if (left > 0 && first == 0) return false;
    if (!AppendReplyHeader(head, status, "Thu, 10 Dec 2026 00:00:00 GMT", static_cast<int32_t>(left), keepAlive,
                           type != g_types.end() ? type->second : kDefaultContentType)) {
        return false;
    }
    WSABUF buffers[2] = {{static_cast<ULONG>(head.GetLength()), const_cast<char*>(head.GetData())}, {first, piece}};
    DWORD sent = 0;  // a blocking send takes everything or fails
    if (::WSASend(peer, buffers, first > 0 ? 2 : 1, &sent, 0, nullptr, nullptr) != 0) return false;
    left -= first;
    while (left > 0) {
        const DWORD got = ReadPiece(get.request.get(), left, piece);
        if (got == 0 || !SendAll(peer, piece, got)) return false;
        left -= got;
    }
    return keepAlive;
}

void Serve(SOCKET peer) {
    std::string pending;
    std::string piece(kPiece, '\0');
    char buffer[16384];
    bool keepAlive = false;
    for (bool open = true; open;) {
        const int got = ::recv(peer, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        pending.append(buffer, static_cast<size_t>(got));
        size_t end;
        while (open && (end = pending.find("\r\n\r\n")) != std::string::npos) {
            HttpRequestLine request;
            open = ParseHttpRequest(std::string_view(pending).substr(0, end + 4), &request);
            pending.erase(0, end + 4);
            if (request.asksClose) keepAlive = false;
            if (request.asksKeepAlive) keepAlive = true;
            open = open && Answer(peer, request, keepAlive, piece.data());
        }
    }
    ::shutdown(peer, SD_SEND);
    ::closesocket(peer);
}

int RunServer(const char* base) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0 || !OpenSession(base)) return 1;
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        std::fprintf(stderr, "cannot listen on port %u\n", kPort);
        return 1;
    }
    for (;;) {
        const SOCKET peer = ::accept(listener, nullptr, nullptr);
        if (peer == INVALID_SOCKET) continue;
        // As the asset server: the body's pieces do not wait for the
        // browser's delayed acknowledgement of the head.
        const BOOL noDelay = TRUE;
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if (g_connections >= kMaxConnections) {
            ::closesocket(peer);
            continue;
        }
        ++g_connections;
        std::thread([peer] {
            Serve(peer);
            --g_connections;
        }).detach();
    }
}

int RunGet(const char* url, const char* path, int rounds) {
    UrlTarget target;
    if (!CrackTarget(url, &target)) return 2;
    std::string piece(kPiece, '\0');
    const double best = BestOf(rounds, [&] {
        const CInternetHandle internet(
            ::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0));
        const CHandle file(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        Get get;
        if (!internet || !file || !Open(internet.get(), target, &get)) return false;
        DWORD left = get.length;
        DWORD got = 0;
        DWORD written = 0;
        while (left > 0 && (got = ReadPiece(get.request.get(), left, piece.data())) > 0 &&
               ::WriteFile(file.get(), piece.data(), got, &written, nullptr) && written == got) {
            left -= got;
        }
        return left == 0;
    });
    if (best < 0) {
        std::fprintf(stderr, "the GET of %s failed\n", url);
        return 1;
    }
    std::printf("%.1f\n", best);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "serve") return RunServer(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "serve" && std::string(argv[3]) == "--no-cookies") {
        g_extraFlags = INTERNET_FLAG_NO_COOKIES;
        return RunServer(argv[2]);
    }
    if (argc == 5 && std::string(argv[1]) == "get") return RunGet(argv[2], argv[3], std::atoi(argv[4]));
    std::fprintf(stderr, "usage: pass_through serve CDN_BASE [--no-cookies] | pass_through get URL FILE ROUNDS\n");
    return 2;
}
