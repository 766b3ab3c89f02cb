// Reports from outside how many handles and threads a running program holds,
// as Windows counts them: "handles N threads M" for the first process whose
// image name is IMAGE (letter case ignored). Exit code 1 when there is none.
// The handles are counted in the system's handle table: Wine answers
// GetProcessHandleCount for another process with 0.
//   process_counts IMAGE
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <vector>

#include "toolkit/ScopedResource.h"

namespace {

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

// The handles the system's table lists for the process; -1 when it cannot be read.
long CountHandles(DWORD processId) {
    std::vector<unsigned char> table(1 << 16);
    NTSTATUS status;
    ULONG needed = 0;
    while ((status = ::NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(SystemHandleInformation),
                                                table.data(), static_cast<ULONG>(table.size()), &needed)) ==
           kInfoLengthMismatch) {
        table.resize(table.size() * 2);
    }
    if (status != 0) return -1;
    const auto* info = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(table.data());
    long count = 0;
    for (ULONG i = 0; i < info->Count; ++i) {
        if (info->Handle[i].OwnerPid == processId) ++count;
    }
    return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, argv[1], -1, TRUE) != CSTR_EQUAL) continue;
        const long handles = CountHandles(entry.th32ProcessID);
        if (handles < 0) return 1;
        std::printf("handles %ld threads %lu\n", handles, entry.cntThreads);
        return 0;
    }
    return 1;
}
