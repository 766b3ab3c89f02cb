// Whether this process runs under Wine in one of the project's own test
// prefixes (build/wineprefix, 32-bit, or build/wineprefix64, which
// tools/lib/wine-env.sh sets), where the user's and the machine's settings
// belong to nobody. Header only.
#pragma once

#include <windows.h>

#include <string>

inline bool InPrivateWinePrefix() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !::GetProcAddress(ntdll, "wine_get_version")) return false;
    wchar_t prefix[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring path(prefix, length);
    while (!path.empty() && path.back() == L'/') path.pop_back();
    for (const std::wstring own : {L"/build/wineprefix", L"/build/wineprefix64"}) {
        if (path.size() >= own.size() && path.compare(path.size() - own.size(), own.size(), own) == 0) return true;
    }
    return false;
}
