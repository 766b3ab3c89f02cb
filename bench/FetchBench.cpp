// Times FetchUrl of one URL into a COutBuf and, as references, a bare WinINet
// read loop with 16 KiB and 1 MiB pieces into one buffer, and with 1 MiB
// pieces into a block that holds the whole body. Prints the best round of
// each in milliseconds, one "name ms" line each. bench/fetch drives it.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench/BestOf.h"
#include "common/OutBuf.h"
#include "net/Download.h"

namespace {

// The same request as FetchUrl, read and dropped in pieces of `piece` bytes:
// what the platform costs for that piece size.
bool BareRead(const char* url, DWORD piece) {
    std::vector<char> buffer(piece);
    HINTERNET internet = ::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0);
    HINTERNET request = ::InternetOpenUrlA(internet, url, "Accept: */*\r\n\r\n", 15, 0x84000100, 0);
    DWORD got = 0;
    bool any = false;
    while (request && ::InternetReadFile(request, buffer.data(), piece, &got) && got > 0) any = true;
    ::InternetCloseHandle(internet);
    return any;
}

// The same with 1 MiB reads laid one behind the other into a fresh block that
// holds the whole body, as FetchUrl must: the block's pages are faulted in as
// the bytes come, a cost of holding the body, not of reading it.
bool BareReadWhole(const char* url) {
    constexpr DWORD kPiece = 1 << 20;
    DWORD length = 0;
    DWORD size = sizeof length;
    HINTERNET internet = ::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0);
    HINTERNET request = ::InternetOpenUrlA(internet, url, "Accept: */*\r\n\r\n", 15, 0x84000100, 0);
    char* block = nullptr;
    size_t at = 0;
    if (request && ::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr)) {
        block = static_cast<char*>(std::malloc(length + kPiece));
        DWORD got = 0;
        while (block && at <= length && ::InternetReadFile(request, block + at, kPiece, &got) && got > 0) at += got;
    }
    ::InternetCloseHandle(internet);
    std::free(block);
    return at > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fetch_bench URL [ROUNDS]\n");
        return 2;
    }
    const char* url = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const double fetch = BestOf(rounds, [&] {
        COutBuf body;
        return FetchUrl(url, &body) == kFetchComplete;
    });
    const double bare16k = BestOf(rounds, [&] { return BareRead(url, 16384); });
    const double bare1m = BestOf(rounds, [&] { return BareRead(url, 1 << 20); });
    const double whole = BestOf(rounds, [&] { return BareReadWhole(url); });
    if (fetch < 0 || bare16k < 0 || bare1m < 0 || whole < 0) {
        std::fprintf(stderr, "a fetch failed\n");
        return 1;
    }
    std::printf("FetchUrl %.1f\nbare-16KiB %.1f\nbare-1MiB %.1f\nbare-whole %.1f\n", fetch, bare16k, bare1m, whole);
    return 0;
}
