// What one small request costs through WinINet on one kept-alive connection:
// the fetch's own calls (InternetConnect, HttpOpenRequest with the fetch's
// flags, HttpSendRequest, the status and length queries, the read loop),
// one request after the other, with WinINet's cookie handling as the fetch
// has it and, as the comparison, with INTERNET_FLAG_NO_COOKIES. Prints one
// "name wall-ms cpu-ms" line per way, each per request, best of the rounds.
// bench/requests drives it.
//
//   request_cost_bench URL REQUESTS ROUNDS
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/AnsiText.h"

namespace {

double NowMs() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

// count requests of the URL on one session; false when one fails.
bool Requests(const URL_COMPONENTSW& parts, const std::wstring& host, const std::wstring& path, DWORD flags,
              int count) {
    HINTERNET internet = ::InternetOpenW(L"request_cost_bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!internet) return false;
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        HINTERNET connection =
            ::InternetConnectW(internet, host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        HINTERNET request = connection ? ::HttpOpenRequestW(connection, L"GET", path.c_str(), nullptr, nullptr,
                                                            nullptr, flags, 0)
                                       : nullptr;
        ok = request && ::HttpSendRequestW(request, L"Accept: */*\r\n", static_cast<DWORD>(-1), nullptr, 0);
        DWORD value = 0;
        DWORD size = sizeof value;
        ok = ok && ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) &&
             value == 200;
        size = sizeof value;
        ok = ok && ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
        while (ok) {
            DWORD available = 0;
            DWORD got = 0;
            if (!::InternetQueryDataAvailable(request, &available, 0, 0) || available == 0) break;
            ok = ::InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got) && got > 0;
        }
        if (request) ::InternetCloseHandle(request);
        if (connection) ::InternetCloseHandle(connection);
    }
    ::InternetCloseHandle(internet);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: request_cost_bench URL REQUESTS ROUNDS\n");
        return 2;
    }
    const std::wstring url = WidenAnsi(argv[1]);
    const int count = std::atoi(argv[2]);
    const int rounds = std::atoi(argv[3]);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    if (count <= 0 || rounds <= 0 || !::InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return 2;
    // The fetch's own flags, then the same without cookies.
    const struct {
        const char* name;
        DWORD flags;
    } ways[] = {
        {"fetch-flags", INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE},
        {"no-cookies",
         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES},
    };
    for (const auto& way : ways) {
        double bestWall = 1e300;
        double bestCpu = 1e300;
        for (int round = 0; round < rounds; ++round) {
            const double wall = NowMs();
            const double cpu = ProcessCpuMs();
            if (!Requests(parts, host, path, way.flags, count)) {
                std::fprintf(stderr, "%s: a request failed\n", way.name);
                return 1;
            }
            bestWall = std::min(bestWall, (NowMs() - wall) / count);
            bestCpu = std::min(bestCpu, (ProcessCpuMs() - cpu) / count);
        }
        std::printf("%s %.3f %.3f\n", way.name, bestWall, bestCpu);
    }
    return 0;
}
