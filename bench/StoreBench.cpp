// What flushing a cache file before its rename costs: stores COUNT files of
// SIZE bytes in FOLDER the way the asset cache does (a new temporary file,
// written, renamed over the final name), once without and once with
// FlushFileBuffers before the rename, alternating, and prints the mean
// milliseconds per file of each, one "name ms" line each. bench/server runs it.
//   store_bench FOLDER [COUNT] [SIZE]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/ScopedResource.h"

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Store(const std::wstring& folder, int index, const std::vector<char>& body, bool flush) {
    const std::wstring final = folder + L"\\" + std::to_wstring(index);
    const std::wstring temp = final + L".tmp";
    CHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), body.data(), static_cast<DWORD>(body.size()), &written, nullptr)) {
        return false;
    }
    if (flush && !::FlushFileBuffers(file.get())) return false;
    file.reset();
    return ::MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring folder = argv[1];
    const int count = argc > 2 ? _wtoi(argv[2]) : 200;
    const size_t size = argc > 3 ? static_cast<size_t>(_wtoi(argv[3])) : 65536;
    std::vector<char> body(size, 'b');
    ::CreateDirectoryW(folder.c_str(), nullptr);
    double spent[2] = {0, 0};
    for (int i = 0; i < 2 * count; ++i) {
        const bool flush = i % 2 == 1;
        const double start = Now();
        if (!Store(folder, i, body, flush)) {
            std::fprintf(stderr, "storing failed\n");
            return 1;
        }
        spent[flush] += Now() - start;
    }
    std::printf("unflushed %.3f\nflushed %.3f\n", spent[0] / count, spent[1] / count);
    return 0;
}
