#include "net/Download.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/OutBuf.h"
#include "net/AgentText.h"
#include "net/InternetHandle.h"
#include "net/Md5.h"
#include "toolkit/ScopedResource.h"

namespace {

// Always fetch from the server, never keep the reply in the WinINet cache,
// and tell proxies not to answer from theirs.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kOpenFlags == 0x84000100);

constexpr wchar_t kAcceptHeaderW[] = L"Accept: */*\r\n\r\n";
constexpr char kAcceptHeaderA[] = "Accept: */*\r\n\r\n";
constexpr DWORD kAcceptHeaderLength = 15;
static_assert(sizeof kAcceptHeaderA - 1 == kAcceptHeaderLength);

constexpr DWORD kBufferPiece = 4096;
constexpr DWORD kFetchPiece = 16384;

DWORD AccessTypeFor(DWORD connectionFlags) {
    return (connectionFlags & INTERNET_CONNECTION_PROXY) ? INTERNET_OPEN_TYPE_PRECONFIG
                                                         : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
}

// The internet handle of the two wide operations: none when the connection
// state says there is no connection. Behind a proxy the agent is "win".
CInternetHandle OpenWideSession() {
    DWORD flags = 0;
    if (!::InternetGetConnectedState(&flags, 0)) return CInternetHandle();
    const std::string agent = AgentText(::GetTickCount());
    const std::wstring wideAgent(agent.begin(), agent.end());
    const wchar_t* agentText = (flags & INTERNET_CONNECTION_PROXY) ? L"win" : wideAgent.c_str();
    return CInternetHandle(::InternetOpenW(agentText, AccessTypeFor(flags), nullptr, nullptr, 0));
}

// Opens the GET request of a wide operation; null on failure, including the
// "file not found" that WinINet may leave in the last error.
HINTERNET OpenWideRequest(HINTERNET internet, const wchar_t* url) {
    ::SetLastError(0);
    HINTERNET request = ::InternetOpenUrlW(internet, url, kAcceptHeaderW, kAcceptHeaderLength, kOpenFlags, 0);
    const DWORD error = ::GetLastError();
    if (!request || error == ERROR_FILE_NOT_FOUND) return nullptr;
    return request;
}

bool QueryContentLength(HINTERNET request, DWORD* length) {
    DWORD size = sizeof *length;
    return ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length, &size, nullptr) != FALSE;
}

int QueryStatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return static_cast<int>(status);
}

// Writes the bytes to a new or truncated file; a file that could not be
// written whole is removed again.
bool WriteWholeFile(const wchar_t* path, const void* bytes, DWORD length) {
    CHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file.get(), bytes, length, &written, nullptr);
    const bool closed = ::CloseHandle(file.release()) != FALSE;
    if (wrote && written == length && closed) return true;
    ::DeleteFileW(path);
    return false;
}

struct HeapBlock {
    void* bytes;
    ~HeapBlock() { std::free(bytes); }
};

}  // namespace

uint32_t DownloadToBuffer(const wchar_t* url, void* buffer, uint32_t capacity, int* httpStatus) {
    if (httpStatus) *httpStatus = 0;
    CInternetHandle internet = OpenWideSession();
    if (!internet) return 0;
    HINTERNET request = OpenWideRequest(internet.get(), url);
    if (!request) return 0;
    if (httpStatus) *httpStatus = QueryStatusCode(request);
    DWORD announced = 0;
    if (!QueryContentLength(request, &announced)) return 0;

    auto* destination = static_cast<char*>(buffer);
    uint32_t total = 0;
    char piece[kBufferPiece];
    DWORD got = 0;
    while (::InternetReadFile(request, piece, sizeof piece, &got) && got > 0) {
        // A body that does not fit is refused whole: a cut version file must
        // never be taken for a complete one.
        if (got > capacity - total) return 0;
        std::memcpy(destination + total, piece, got);
        total += got;
    }
    return total;
}

bool DownloadToFileChecked(const wchar_t* url, const wchar_t* path, const char* expectedMd5, const BodyCheck& check) {
    CInternetHandle internet = OpenWideSession();
    if (!internet) return false;
    HINTERNET request = OpenWideRequest(internet.get(), url);
    if (!request) return false;
    DWORD length = 0;
    if (!QueryContentLength(request, &length) || length == 0) return false;

    HeapBlock block{std::malloc(length)};
    if (!block.bytes) return false;
    auto* bytes = static_cast<char*>(block.bytes);
    DWORD received = 0;
    while (received < length) {
        DWORD got = 0;
        if (!::InternetReadFile(request, bytes + received, length - received, &got) || got == 0) return false;
        received += got;
    }
    internet.reset();

    if (!Md5HexMatches(expectedMd5, bytes, length)) return false;
    if (check && !check(bytes, length)) return false;
    return WriteWholeFile(path, bytes, length);
}

int FetchUrl(const char* url, COutBuf* sink, int* httpStatus) {
    if (httpStatus) *httpStatus = 0;
    DWORD flags = 0;
    ::InternetGetConnectedState(&flags, 0);
    if (flags & INTERNET_CONNECTION_OFFLINE) return kFetchOffline;
    const std::string agent = AgentText(::GetTickCount());
    CInternetHandle internet(::InternetOpenA(agent.c_str(), AccessTypeFor(flags), nullptr, nullptr, 0));
    if (!internet) return kFetchOffline;
    return FetchUrlOnHandle(internet.get(), url, sink, httpStatus);
}

int FetchUrlOnHandle(HINTERNET internet, const char* url, COutBuf* sink, int* httpStatus) {
    if (httpStatus) *httpStatus = 0;
    HINTERNET request = ::InternetOpenUrlA(internet, url, kAcceptHeaderA, kAcceptHeaderLength, kOpenFlags, 0);
    if (!request) return kFetchNoRequest;
    if (httpStatus) *httpStatus = QueryStatusCode(request);
    DWORD announced = 0;
    if (!QueryContentLength(request, &announced)) return kFetchNoRequest;

    // One allocation up front instead of a copy of the whole body per piece.
    // Without the memory the pieces still go in one by one.
    const int64_t wanted = (sink ? sink->GetLength() : 0) + static_cast<int64_t>(announced);
    if (sink && wanted <= INT32_MAX) sink->Reserve(static_cast<int32_t>(wanted));

    char piece[kFetchPiece];
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request, piece, sizeof piece, &got)) return kFetchCutShort;
        if (got == 0) {
            if (sink && static_cast<uint32_t>(sink->GetLength()) != announced) return kFetchCutShort;
            return kFetchComplete;
        }
        if (sink) sink->Append(piece, static_cast<int32_t>(got));
    }
}
