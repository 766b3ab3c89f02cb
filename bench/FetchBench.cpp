// Times FetchUrl of one URL into a COutBuf and, as references, a bare WinINet
// read loop with 16 KiB and 1 MiB pieces. Prints the best round of each in
// milliseconds, one "name ms" line each. bench/fetch drives it.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "common/OutBuf.h"
#include "net/Download.h"

namespace {

double BestOf(int rounds, const std::function<bool()>& work) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        if (!work()) return -1;
        ::QueryPerformanceCounter(&end);
        const double ms =
            1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        if (ms < best) best = ms;
    }
    return best;
}

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
    if (fetch < 0 || bare16k < 0 || bare1m < 0) {
        std::fprintf(stderr, "a fetch failed\n");
        return 1;
    }
    std::printf("FetchUrl %.1f\nbare-16KiB %.1f\nbare-1MiB %.1f\n", fetch, bare16k, bare1m);
    return 0;
}
